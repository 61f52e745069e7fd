#include "rowpagemodel.h"

#include "celltextlayouts.h"
#include "pageddocumentprinter.h"
#include "shapeindex.h"
#include "steadypage.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>

namespace {

QVector<ShapeRecorder::Text> onPage(const QVector<ShapeRecorder::Text> &texts, qreal pageHeight)
{
    QVector<ShapeRecorder::Text> kept;
    for (const ShapeRecorder::Text &text : texts) {
        if (text.position.y() >= 0 && text.position.y() <= pageHeight)
            kept << text;
    }
    return kept;
}

} // namespace

RowPageModel::RowPageModel(const SteadyPage &page, qreal firstTextTop, qint64 staysUpTo64,
                           qint64 movesFrom64)
    : m_pageShapes(page.pageShapes()), m_pageNumberFont(page.pageNumberFont()),
      m_lastRowBottom(page.lastRowBottom()), m_firstTextTop64(qRound64(firstTextTop * 64)),
      m_staysUpTo64(staysUpTo64), m_movesFrom64(movesFrom64)
{
}

RowPageModel::Fit RowPageModel::fit(qint64 top64, const RowTemplate &row,
                                    QVector<int> *splitAt) const
{
    splitAt->clear();
    bool firstFits = false;
    bool allFit = true;
    for (const QVector<RowTemplate::Line> &cell : row.lines()) {
        if (cell.isEmpty())
            return Unknown;
        // A line that does not fit goes on to the next page, and the cell's lines below it.
        int at = int(cell.size());
        qint64 lineTop = top64;
        for (int line = 0; line < cell.size(); ++line) {
            const qint64 bottom = lineTop + cell.at(line).height64;
            if (bottom >= m_movesFrom64) {
                at = line;
                break;
            }
            if (bottom > m_staysUpTo64)
                return Unknown;
            lineTop += cell.at(line).advance64;
        }
        firstFits = firstFits || at > 0;
        allFit = allFit && at == cell.size();
        *splitAt << at;
    }
    if (splitAt->isEmpty())
        return Unknown;
    if (!firstFits)
        return Moves;
    return allFit ? Stays : Splits;
}

qint64 RowPageModel::firstTop64(const Continued &continued) const
{
    if (!continued.row)
        return m_firstTextTop64;
    // The lines that went on start where a row's first line would; the row is as tall as the
    // most of them in a cell.
    qint64 tallest = 0;
    const QVector<QVector<RowTemplate::Line>> &cells = continued.row->lines();
    for (int cell = 0; cell < cells.size() && cell < continued.splitAt.size(); ++cell) {
        qint64 depth = 0;
        for (int line = continued.splitAt.at(cell); line < cells.at(cell).size(); ++line)
            depth += cells.at(cell).at(line).advance64;
        tallest = std::max(tallest, depth);
    }
    return m_firstTextTop64 - m_movedInset64 + tallest + continued.row->overhead64();
}

RowPageModel::Page RowPageModel::layOut(const Continued &continued, const Rows &rows) const
{
    return layOut(continued, rows, m_splitsKnown);
}

RowPageModel::Page RowPageModel::layOut(const Continued &continued, const Rows &rows,
                                        bool splits) const
{
    Page page;
    qint64 top = firstTop64(continued);
    for (int index = 0;; ++index) {
        const RowTemplate *row = rows(index);
        if (!row)
            return page;
        QVector<int> splitAt;
        switch (fit(top, *row, &splitAt)) {
        case Stays:
            top += row->pitch64();
            break;
        case Moves:
            // A row continued that leaves no room for another is left to the toolkit.
            if (index > 0)
                page.rows = index;
            return page;
        case Splits:
            if (!splits)
                return page;
            page.rows = index + 1;
            page.splitAt = splitAt;
            return page;
        case Unknown:
            return page;
        }
    }
}

QVector<RowPageModel::Box> RowPageModel::boxes(const Continued &continued,
                                               const QVector<const RowTemplate *> &rows,
                                               const QVector<QStringList> &texts,
                                               const Page &page) const
{
    QVector<Box> all;
    const qreal pageFirstTop = m_firstTextTop64 / 64.0;
    qint64 top = firstTop64(continued);
    if (continued.row) {
        Box box{continued.row,
                &m_head,
                &continued.texts,
                pageFirstTop - continued.row->textInset(),
                top / 64.0 - continued.row->textInset(),
                continued.splitAt,
                {},
                (m_firstTextTop64 - m_movedInset64) / 64.0};
        for (const QVector<RowTemplate::Line> &cell : continued.row->lines())
            box.end << int(cell.size());
        all << box;
    }
    for (int index = 0; index < rows.size(); ++index) {
        const RowTemplate *row = rows.at(index);
        const bool last = index + 1 == rows.size();
        const bool split = last && !page.splitAt.isEmpty();
        const qreal textTop = top / 64.0;
        Box box{row,
                split ? &m_tail : nullptr,
                &texts.at(index),
                textTop - row->textInset(),
                split  ? m_tailBottom
                : last ? m_lastRowBottom
                       : (top + row->pitch64()) / 64.0 - row->textInset(),
                {},
                {},
                textTop};
        for (int cell = 0; cell < row->lines().size(); ++cell) {
            box.first << 0;
            box.end << (split ? page.splitAt.value(cell) : int(row->lines().at(cell).size()));
        }
        all << box;
        top += row->pitch64();
    }
    return all;
}

void RowPageModel::paint(QPainter &painter, const Continued &continued,
                         const QVector<const RowTemplate *> &rows,
                         const QVector<QStringList> &texts, const Page &page,
                         CellTextLayouts &layouts) const
{
    const QVector<Box> all = boxes(continued, rows, texts, page);
    QVector<ShapeRecorder::Shape> shapes = m_pageShapes;
    for (const Box &box : all) {
        if (!box.outline)
            box.row->appendShapes(&shapes, box.top + box.row->textInset(), box.bottom);
        else if (box.outline->isValid())
            box.outline->appendShapes(&shapes, box.top, box.bottom);
    }
    ShapeRecorder::replay(painter, shapes);

    painter.save();
    // Black text, as the document is drawn: it is paper.
    painter.setPen(QColor(Qt::black));
    for (const Box &box : all) {
        const QVector<QPointF> origins = box.row->textOrigins(box.firstTop);
        for (int cell = 0; cell < box.first.size() && cell < box.texts->size(); ++cell) {
            const QTextLayout &layout = layouts.layout(cell, box.texts->at(cell));
            const int first = box.first.at(cell);
            const int end = std::min(box.end.at(cell), layout.lineCount());
            const QPointF origin = origins.value(cell);
            if (first == 0 && end == layout.lineCount()) {
                layout.draw(&painter, origin);
                continue;
            }
            // Lines moved to this page start at its top, the first of them where a row's first
            // line would.
            const QPointF shift = first < end ? QPointF(0, layout.lineAt(first).y()) : QPointF();
            for (int line = first; line < end; ++line)
                layout.lineAt(line).draw(&painter, origin - shift);
        }
    }
    painter.restore();
}

QVector<int> RowPageModel::sampleRows(const QVector<const RowTemplate *> &kinds, int pages,
                                      bool splits) const
{
    QVector<int> picked;
    quint32 state = 12345;
    qint64 top = m_firstTextTop64;
    while (pages >= 0) {
        state = state * 1103515245u + 12345u;
        const int start = int((state >> 16) % quint32(kinds.size()));
        const bool splitHere = splits && pages % 2 == 0;
        // A kind that splits here, on pages that want one; else the first kind from start
        // whose place is known.
        int kind = -1;
        Fit where = Unknown;
        QVector<int> splitAt;
        for (int pass = splitHere ? 0 : 1; pass < 2 && kind < 0; ++pass) {
            for (int step = 0; step < kinds.size() && kind < 0; ++step) {
                const int candidate = (start + step) % kinds.size();
                where = fit(top, *kinds.at(candidate), &splitAt);
                const bool wanted =
                    pass == 0 ? where == Splits
                              : where == Stays || where == Moves || (splits && where == Splits);
                if (wanted)
                    kind = candidate;
            }
        }
        if (kind < 0)
            return {};
        picked << kind;
        switch (where) {
        case Moves:
            --pages;
            top = m_firstTextTop64 + kinds.at(kind)->pitch64();
            break;
        case Splits:
            --pages;
            top = firstTop64(Continued{kinds.at(kind), splitAt, {}});
            break;
        default:
            top += kinds.at(kind)->pitch64();
            break;
        }
    }
    return picked;
}

bool RowPageModel::drawsAsTheToolkit(QTextDocument &document, const PagedDocumentPrinter &pages,
                                     const QVector<const RowTemplate *> &rows,
                                     const QVector<QStringList> &texts, int pageCount,
                                     CellTextLayouts &layouts)
{
    return walkPages(document, pages, rows, texts, pageCount, layouts, false);
}

bool RowPageModel::learnSplits(QTextDocument &document, const PagedDocumentPrinter &pages,
                               const QVector<const RowTemplate *> &rows,
                               const QVector<QStringList> &texts, int pageCount,
                               CellTextLayouts &layouts)
{
    m_splitsKnown = false;
    m_movedInset64 = 0;
    m_tail = RowTemplate();
    m_head = RowTemplate();
    if (walkPages(document, pages, rows, texts, pageCount, layouts, true))
        return true;
    m_splitsKnown = false;
    m_movedInset64 = 0;
    return false;
}

bool RowPageModel::walkPages(QTextDocument &document, const PagedDocumentPrinter &pages,
                             const QVector<const RowTemplate *> &rows,
                             const QVector<QStringList> &texts, int pageCount,
                             CellTextLayouts &layouts, bool learn)
{
    Continued continued;
    int first = 0;
    bool measured = false;
    for (int page = 2; page < 2 + pageCount; ++page) {
        const Page laid = layOut(
            continued,
            [&](int index) {
                return first + index < rows.size() ? rows.at(first + index) : nullptr;
            },
            learn || m_splitsKnown);
        if (laid.rows < 0)
            return false;
        // Where the split's lines go on decides where the next page's rows start.
        if (learn && !laid.splitAt.isEmpty() && !measured) {
            if (!measureMovedLines(document, pages.pageHeight(), first + laid.rows, page,
                                   laid.splitAt))
                return false;
            measured = true;
        }
        const QVector<const RowTemplate *> pageRows = rows.mid(first, laid.rows);
        const QVector<QStringList> pageTexts = texts.mid(first, laid.rows);
        QVector<ShapeRecorder::Shape> drawn;
        QVector<ShapeRecorder::Shape> own;
        if (!drawBoth(document, pages, page, continued, pageRows, pageTexts, laid, layouts, &drawn,
                      &own))
            return false;
        if (learn) {
            const QVector<Box> all = boxes(continued, pageRows, pageTexts, laid);
            if (continued.row && !m_head.isValid() &&
                !learnPart(drawn, own, pages.pageHeight(), false, all.first().top,
                           all.first().bottom))
                return false;
            if (!laid.splitAt.isEmpty() && !m_tail.isValid() &&
                !learnPart(drawn, own, pages.pageHeight(), true, all.last().top, 0))
                return false;
            if (m_head.isValid() && m_tail.isValid()) {
                m_splitsKnown = true;
                return true;
            }
        } else if (!ShapeRecorder::sameShapes(drawn, own, 0, pages.pageHeight())) {
            return false;
        }
        first += laid.rows;
        continued = laid.splitAt.isEmpty()
                        ? Continued()
                        : Continued{rows.at(first - 1), laid.splitAt, texts.at(first - 1)};
    }
    return !learn;
}

bool RowPageModel::drawBoth(QTextDocument &document, const PagedDocumentPrinter &pages, int page,
                            const Continued &continued, const QVector<const RowTemplate *> &rows,
                            const QVector<QStringList> &texts, const Page &laid,
                            CellTextLayouts &layouts, QVector<ShapeRecorder::Shape> *drawn,
                            QVector<ShapeRecorder::Shape> *own) const
{
    ShapeRecorder toolkit(pages.device());
    QPainter drawing(&toolkit);
    pages.drawPage(drawing, document, page);
    drawing.end();
    ShapeRecorder model(pages.device());
    drawing.begin(&model);
    paint(drawing, continued, rows, texts, laid, layouts);
    drawing.end();

    // The toolkit draws a split cell's lines on both pages; those off the page never show.
    QVector<ShapeRecorder::Text> expected = onPage(toolkit.texts(), pages.pageHeight());
    QVector<ShapeRecorder::Text> actual = onPage(model.texts(), pages.pageHeight());
    ShapeRecorder::sortTexts(expected);
    ShapeRecorder::sortTexts(actual);
    *drawn = ShapeRecorder::withoutTransforms(toolkit.shapes());
    *own = model.shapes();
    return toolkit.isComplete() && expected == actual && !drawn->isEmpty();
}

bool RowPageModel::measureMovedLines(QTextDocument &document, qreal pageHeight, int row, int page,
                                     const QVector<int> &splitAt)
{
    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    QTextTable *table = frames.size() == 1 ? qobject_cast<QTextTable *>(frames.first()) : nullptr;
    if (!table || row >= table->rows())
        return false;
    bool found = false;
    for (int cell = 0; cell < splitAt.size() && cell < table->columns(); ++cell) {
        const QTextBlock block = table->cellAt(row, cell).firstCursorPosition().block();
        const QTextLayout *layout = block.layout();
        if (!layout || splitAt.at(cell) >= layout->lineCount())
            continue;
        // The next page starts page heights down, page counting from 1.
        const qreal top = document.documentLayout()->blockBoundingRect(block).top() +
                          layout->lineAt(splitAt.at(cell)).y() - layout->lineAt(0).y() -
                          page * pageHeight;
        const qint64 inset = m_firstTextTop64 - qRound64(top * 64);
        if (found && inset != m_movedInset64)
            return false;
        m_movedInset64 = inset;
        found = true;
    }
    return found;
}

bool RowPageModel::learnPart(const QVector<ShapeRecorder::Shape> &drawn,
                             const QVector<ShapeRecorder::Shape> &own, qreal pageHeight, bool tail,
                             qreal top, qreal bottom)
{
    ShapeIndex index(drawn);
    for (const ShapeRecorder::Shape &shape : own) {
        if (index.take(shape) < 0)
            return false;
    }
    QVector<ShapeRecorder::Shape> part;
    qreal lowest = top;
    for (int at = 0; at < drawn.size(); ++at) {
        const QRectF bounds = drawn.at(at).bounds();
        if (index.isTaken(at) || bounds.bottom() <= 0 || bounds.top() >= pageHeight)
            continue;
        part << drawn.at(at);
        lowest = std::max(lowest, bounds.bottom());
    }
    if (part.isEmpty())
        return false;
    if (tail) {
        m_tailBottom = lowest;
        m_tail = RowTemplate::outline(part, top, lowest);
        return m_tail.isValid();
    }
    m_head = RowTemplate::outline(part, top, bottom);
    return m_head.isValid();
}
