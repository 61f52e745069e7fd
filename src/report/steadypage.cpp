#include "steadypage.h"

#include "celltextlayouts.h"
#include "pageddocumentprinter.h"
#include "shapeindex.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

QTextBlock cellBlock(QTextTable *table, int row, int column)
{
    return table->cellAt(row, column).firstCursorPosition().block();
}

// The rows that start pages, by page index (from 0); the first row that does for each.
std::map<int, int> pageStarts(QTextDocument &document, QTextTable *table, qreal pageHeight,
                              qreal rowTop)
{
    std::map<int, int> starts;
    QAbstractTextDocumentLayout *layout = document.documentLayout();
    // Row 0 is the header row.
    for (int row = 1; row < table->rows(); ++row) {
        const qreal top = layout->blockBoundingRect(cellBlock(table, row, 0)).top();
        const int index = int(std::floor(top / pageHeight));
        if (index >= 1 && std::abs(top - index * pageHeight - rowTop) < 0.01)
            starts.emplace(index, row);
    }
    return starts;
}

// Whether block holds the lines layout holds, placed alike.
bool sameLines(const QTextLayout *block, const QTextLayout &layout)
{
    if (!block || block->lineCount() != layout.lineCount())
        return false;
    for (int line = 0; line < layout.lineCount(); ++line) {
        if (block->lineAt(line).position() != layout.lineAt(line).position() ||
            block->lineAt(line).textLength() != layout.lineAt(line).textLength())
            return false;
    }
    return true;
}

bool within(const ShapeRecorder::Shape &shape, qreal top, qreal bottom)
{
    const QRectF bounds = shape.bounds();
    return bounds.top() >= top && bounds.bottom() <= bottom;
}

} // namespace

std::unique_ptr<SteadyPage> SteadyPage::make(QTextDocument &document,
                                             const PagedDocumentPrinter &pages, qreal rowTop,
                                             const QStringList &texts, const QVector<int> &shape,
                                             CellTextLayouts &layouts, bool *tooShort)
{
    *tooShort = false;
    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    QTextTable *table = frames.size() == 1 ? qobject_cast<QTextTable *>(frames.first()) : nullptr;
    if (!table || table->columns() != layouts.columnCount() ||
        texts.size() != layouts.columnCount())
        return nullptr;
    int first = 0;
    int rows = 0;
    if (!steadyRows(document, table, pages.pageHeight(), rowTop, &first, &rows, tooShort))
        return nullptr;

    std::unique_ptr<SteadyPage> page(new SteadyPage);
    page->m_pageNumberFont = document.defaultFont();
    if (!page->placeTexts(document, table, first, rows, pages.pageHeight(), texts, layouts))
        return nullptr;
    ShapeRecorder toolkit(pages.device());
    QPainter painter(&toolkit);
    pages.drawPage(painter, document, 3);
    painter.end();
    page->m_shapes = toolkit.shapes();
    if (!toolkit.isComplete() ||
        !page->drawsAsTheToolkit(toolkit.texts(), texts, pages.device(), layouts))
        return nullptr;
    if (!page->splitRows(pages.pageHeight(), shape))
        page->m_row = RowTemplate();
    return page;
}

bool SteadyPage::splitRows(qreal pageHeight, const QVector<int> &shape)
{
    const int rows = rowsPerPage();
    const QVector<ShapeRecorder::Shape> shapes = ShapeRecorder::withoutTransforms(m_shapes);
    if (rows < 3 || shapes.isEmpty())
        return false;
    QVector<qreal> tops;
    for (const QVector<QPointF> &origins : qAsConst(m_origins))
        tops << origins.first().y();

    // The row's box starts above its text by the inset that puts the most shapes in the box of
    // the second row: one unit off, the box loses the rules along its sides.
    const qreal pitch = tops.at(1) - tops.at(0);
    qreal inset = -1;
    int most = 0;
    for (const ShapeRecorder::Shape &kept : shapes) {
        const qreal candidate = tops.at(1) - kept.bounds().top();
        if (candidate < 0 || candidate >= pitch / 2 || candidate == inset)
            continue;
        const int count = int(std::count_if(shapes.cbegin(), shapes.cend(), [&](const auto &one) {
            return within(one, tops.at(1) - candidate, tops.at(2) - candidate);
        }));
        if (count > most) {
            most = count;
            inset = candidate;
        }
    }
    if (inset < 0)
        return false;
    QVector<ShapeRecorder::Shape> second;
    for (const ShapeRecorder::Shape &kept : shapes) {
        if (within(kept, tops.at(1) - inset, tops.at(2) - inset))
            second << kept;
    }
    m_row = RowTemplate(second, tops.at(1) - inset, tops.at(2) - inset, m_origins.at(1), shape);
    if (!m_row.isValid())
        return false;
    return takeRows(shapes, tops, inset, pageHeight);
}

bool SteadyPage::takeRows(const QVector<ShapeRecorder::Shape> &shapes, const QVector<qreal> &tops,
                          qreal inset, qreal pageHeight)
{
    ShapeIndex index(shapes);
    // Every row is the template's where the template puts it; the last reaches further down.
    for (int row = 0; row < tops.size(); ++row) {
        const bool last = row + 1 == tops.size();
        qreal bottom = last ? 0 : tops.at(row + 1) - inset;
        if (last && !m_row.findBottom(shapes, tops.at(row), &bottom))
            return false;
        if (m_row.textOrigins(tops.at(row)) != m_origins.at(row))
            return false;
        QVector<ShapeRecorder::Shape> expected;
        m_row.appendShapes(&expected, tops.at(row), bottom);
        for (const ShapeRecorder::Shape &wanted : qAsConst(expected)) {
            if (index.take(wanted) < 0)
                return false;
        }
        if (last)
            m_lastRowBottom = bottom;
    }
    for (int at = 0; at < shapes.size(); ++at) {
        const QRectF bounds = shapes.at(at).bounds();
        if (!index.isTaken(at) && bounds.bottom() > 0 && bounds.top() < pageHeight)
            m_pageShapes << shapes.at(at);
    }
    return true;
}

bool SteadyPage::steadyRows(QTextDocument &document, QTextTable *table, qreal pageHeight,
                            qreal rowTop, int *first, int *rows, bool *tooShort)
{
    const std::map<int, int> starts = pageStarts(document, table, pageHeight, rowTop);
    // Page 3 is the steady one: full pages before and after it.
    const auto second = starts.find(1);
    const auto third = starts.find(2);
    const auto fourth = starts.find(3);
    if (second == starts.end() || third == starts.end() || fourth == starts.end()) {
        // More copies help only when these ran out before a fifth page.
        const QTextBlock last = cellBlock(table, table->rows() - 1, 0);
        *tooShort = document.documentLayout()->blockBoundingRect(last).top() < 4 * pageHeight;
        return false;
    }
    *first = third->second;
    *rows = fourth->second - third->second;
    return *rows >= 1 && third->second - second->second == *rows;
}

bool SteadyPage::placeTexts(QTextDocument &document, QTextTable *table, int first, int rows,
                            qreal pageHeight, const QStringList &texts, CellTextLayouts &layouts)
{
    const QPointF pageTop(0, 2 * pageHeight);
    for (int row = 0; row < rows; ++row) {
        QVector<QPointF> origins;
        for (int column = 0; column < texts.size(); ++column) {
            const QTextBlock block = cellBlock(table, first + row, column);
            if (!sameLines(block.layout(), layouts.layout(column, texts.at(column))))
                return false;
            // A cell's lines start at the left of its block, so the block's bounds start where
            // its layout is drawn.
            origins << document.documentLayout()->blockBoundingRect(block).topLeft() - pageTop;
        }
        m_origins << origins;
    }
    return true;
}

bool SteadyPage::drawsAsTheToolkit(const QVector<ShapeRecorder::Text> &drawn,
                                   const QStringList &texts, const QPaintDevice &device,
                                   CellTextLayouts &layouts) const
{
    ShapeRecorder own(device);
    QPainter painter(&own);
    paint(painter, QVector<QStringList>(rowsPerPage(), texts), layouts);
    painter.end();
    QVector<ShapeRecorder::Text> expected = drawn;
    QVector<ShapeRecorder::Text> actual = own.texts();
    ShapeRecorder::sortTexts(expected);
    ShapeRecorder::sortTexts(actual);
    return own.isComplete() && actual == expected && own.shapes().size() == m_shapes.size();
}

void SteadyPage::paint(QPainter &painter, const QVector<QStringList> &rows,
                       CellTextLayouts &layouts) const
{
    ShapeRecorder::replay(painter, m_shapes);
    painter.save();
    // Black text, as the document is drawn: it is paper.
    painter.setPen(QColor(Qt::black));
    for (int row = 0; row < m_origins.size(); ++row) {
        const QVector<QPointF> &origins = m_origins.at(row);
        const QStringList &texts = rows.at(row);
        for (int column = 0; column < origins.size(); ++column)
            layouts.layout(column, texts.at(column)).draw(&painter, origins.at(column));
    }
    painter.restore();
}
