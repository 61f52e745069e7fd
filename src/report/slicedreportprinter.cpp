#include "slicedreportprinter.h"

#include "celltextlayouts.h"
#include "reportrowappender.h"
#include "rowpagemodel.h"
#include "rowtemplate.h"
#include "steadypage.h"

#include <QAbstractTextDocumentLayout>
#include <QPagedPaintDevice>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

QTextTable *tableAt(QTextDocument &document, int index)
{
    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    return index < frames.size() ? qobject_cast<QTextTable *>(frames.at(index)) : nullptr;
}

// How many shapes of rows get a steady page tried; a report whose rows take more shapes than
// this prints the rest in pieces.
const int kMostSteadyShapes = 32;
// The most copies of a row a steady page is looked for in.
const int kMostSteadyCopies = 4096;
// How many rows from the start a row of plain texts is looked for, to set the cells up from.
const int kPlainRowSearch = 1000;
// The pages of rows of mixed shapes the row model is checked on against the toolkit.
const int kRowModelSamplePages = 6;

QRectF firstTextOfCell(QTextDocument &document, QTextTable *table, int row, int column)
{
    const QTextBlock block = table->cellAt(row, column).firstCursorPosition().block();
    return document.documentLayout()->blockBoundingRect(block);
}

} // namespace

SlicedReportPrinter::SlicedReportPrinter(const UsageReportWriter &writer, const UsageTable &table)
    : m_writer(writer), m_stretches(UsageReportWriter::wholeReport(table))
{
    for (const UsageReportWriter::Stretch &stretch : qAsConst(m_stretches))
        m_totalRows += stretch.end;
}

SlicedReportPrinter::~SlicedReportPrinter() = default;

bool SlicedReportPrinter::prepare()
{
    // Cells break their texts at words or, where a word is too long, anywhere: no text makes a
    // column wider than the report gives it, and a piece's columns are the whole table's.
    for (const UsageReportWriter::Stretch &stretch : qAsConst(m_stretches)) {
        for (const UsageRecord &record : *stretch.records) {
            if (!m_writer.appendable(UsageReportWriter::cellTexts(record)))
                return false;
        }
    }
    return true;
}

QVector<UsageReportWriter::Stretch> SlicedReportPrinter::piece(const Place &from, bool restart,
                                                               int rows, bool *toTheEnd) const
{
    QVector<UsageReportWriter::Stretch> parts;
    int left = rows;
    for (int index = from.stretch; index < m_stretches.size() && left > 0; ++index) {
        UsageReportWriter::Stretch part = m_stretches.at(index);
        const int end = part.end;
        if (index == from.stretch) {
            part.begin = from.row;
            // Only the first piece starts where a table does; every other starts at a row that
            // begins a page, below the table's header row on an unprinted first page.
            part.opening = !restart;
        }
        part.end = std::min(end, part.begin + left);
        left -= part.end - part.begin;
        parts << part;
    }
    *toTheEnd = m_stretches.isEmpty() ||
                (!parts.isEmpty() && parts.constLast().records == m_stretches.constLast().records &&
                 parts.constLast().end == m_stretches.constLast().end);
    return parts;
}

void SlicedReportPrinter::stretchHeaderRow(QTextDocument &document, qreal padding)
{
    QTextTable *table = tableAt(document, 0);
    if (!table)
        return;
    for (int column = 0; column < table->columns(); ++column) {
        QTextTableCell cell = table->cellAt(0, column);
        QTextTableCellFormat format = cell.format().toTableCellFormat();
        format.setBottomPadding(padding);
        cell.setFormat(format);
    }
}

qreal SlicedReportPrinter::firstRowTop(PagedDocumentPrinter &pages, UsageReportWriter::Stretch row,
                                       qreal padding) const
{
    QTextDocument probe;
    row.end = row.begin + 1;
    row.opening = false;
    if (!m_writer.fillPiece(probe, false, {row}))
        return -1;
    stretchHeaderRow(probe, padding);
    pages.layOut(probe);
    QTextTable *table = tableAt(probe, 0);
    return table && table->rows() == 2 ? firstTextOfCell(probe, table, 1, 0).top() : -1;
}

bool SlicedReportPrinter::findSpacer(PagedDocumentPrinter &pages)
{
    // The header row is made as tall as moves the first row into the foot of the first page,
    // below the last place a row may start on it, so that the layout carries the row over to
    // the top of the second page: where the whole report has every row that starts a page.
    m_rowTop = -1;
    UsageReportWriter::Stretch first = m_stretches.constFirst();
    first.begin = 0;
    const qreal height = pages.pageHeight();
    const qreal top = firstRowTop(pages, first, 0);
    const qreal step = 100;
    const qreal perStep = firstRowTop(pages, first, step) - top;
    if (top < 0 || perStep <= 0)
        return false;
    const qreal foot = height - pages.marginHeight() / 2;
    m_spacerPadding = (foot - top) / perStep * step;
    const qreal moved = firstRowTop(pages, first, m_spacerPadding) - height;
    if (moved < 0 || moved >= height / 2)
        return false;
    m_rowTop = moved;
    return true;
}

bool SlicedReportPrinter::lastPageStart(QTextDocument &document, const Place &from,
                                        const QVector<UsageReportWriter::Stretch> &parts,
                                        qreal pageHeight, qreal offset, Place *start,
                                        int *page) const
{
    // From the end: the row wanted is nearly always on the last page or the one before.
    for (int part = parts.size() - 1; part >= 0; --part) {
        QTextTable *table = tableAt(document, part);
        if (!table)
            return false;
        // Row 0 is the header row.
        for (int row = table->rows() - 1; row >= 1; --row) {
            const qreal top = firstTextOfCell(document, table, row, 0).top();
            const int index = int(std::floor(top / pageHeight));
            if (index >= 1 && std::abs(top - index * pageHeight - offset) < 0.01) {
                *start = Place{from.stretch + part, parts.at(part).begin + row - 1};
                *page = index + 1;
                return true;
            }
        }
    }
    return false;
}

bool SlicedReportPrinter::setUpCellLayouts(PagedDocumentPrinter &pages)
{
    int searched = 0;
    for (int stretch = 0; stretch < m_stretches.size(); ++stretch) {
        const UsageReportWriter::Stretch &all = m_stretches.at(stretch);
        for (int row = 0; row < all.end && searched < kPlainRowSearch; ++row, ++searched) {
            QStringList texts;
            QVector<int> unused;
            const QStringList cells = UsageReportWriter::cellTexts(all.records->at(row));
            if (!std::all_of(cells.cbegin(), cells.cend(), ReportRowAppender::isPlain))
                continue;
            UsageReportWriter::Stretch one = all;
            one.begin = row;
            one.end = row + 1;
            one.opening = false;
            QTextDocument probe;
            if (!m_writer.fillPiece(probe, false, {one}))
                return false;
            pages.layOut(probe);
            QTextTable *table = tableAt(probe, 0);
            if (!table || table->rows() != 2)
                return false;
            QVector<CellTextLayouts::Column> columns;
            for (int column = 0; column < table->columns(); ++column) {
                const QTextBlock block = table->cellAt(1, column).firstCursorPosition().block();
                const QTextLayout *laid = block.layout();
                if (block.begin().atEnd() || !laid || laid->lineCount() < 1)
                    return false;
                columns << CellTextLayouts::Column{block.begin().fragment().charFormat().font(),
                                                   laid->lineAt(0).width(), laid->textOption()};
            }
            m_cellLayouts = std::make_unique<CellTextLayouts>(&pages.device(), columns);
            m_plainRow = one;
            return true;
        }
    }
    return false;
}

bool SlicedReportPrinter::rowShape(const Place &at, QStringList *texts, QVector<int> *shape)
{
    *texts = UsageReportWriter::cellTexts(m_stretches.at(at.stretch).records->at(at.row));
    shape->clear();
    if (texts->size() != m_cellLayouts->columnCount())
        return false;
    for (int column = 0; column < texts->size(); ++column) {
        if (!ReportRowAppender::isPlain(texts->at(column)))
            return false;
        m_cellLayouts->addShape(column, texts->at(column), shape);
    }
    return true;
}

SteadyPage *SlicedReportPrinter::steadyPage(PagedDocumentPrinter &pages, const QVector<int> &shape,
                                            const QString &productType, const UsageRecord &record,
                                            const QStringList &texts)
{
    const auto known = m_steady.constFind(shape);
    if (known != m_steady.constEnd())
        return known.value().page.get();
    if (m_steady.size() >= kMostSteadyShapes)
        return nullptr;
    std::shared_ptr<SteadyPage> made;
    // Copies enough for four pages; more when the rows are taller than thought.
    for (int copies = 64; copies <= kMostSteadyCopies; copies *= 2) {
        const QVector<UsageRecord> same(copies, record);
        QTextDocument document;
        if (!m_writer.fillPiece(document, false,
                                {UsageReportWriter::Stretch{productType, &same, 0, copies, false}}))
            break;
        stretchHeaderRow(document, m_spacerPadding);
        pages.layOut(document);
        bool tooShort = false;
        made = SteadyPage::make(document, pages, m_rowTop, texts, shape, *m_cellLayouts, &tooShort);
        if (!tooShort)
            break;
    }
    m_steady.insert(shape, Steady{made, productType, &record});
    return made.get();
}

const RowTemplate *SlicedReportPrinter::rowTemplate(PagedDocumentPrinter &pages, const Place &at,
                                                    QStringList *texts)
{
    const UsageReportWriter::Stretch &stretch = m_stretches.at(at.stretch);
    QVector<int> shape;
    if (m_rowModelFailed || at.row >= stretch.end || !rowShape(at, texts, &shape))
        return nullptr;
    SteadyPage *page =
        steadyPage(pages, shape, stretch.productType, stretch.records->at(at.row), *texts);
    if (!page || !page->rowTemplate().isValid() || m_refusedShapes.contains(shape))
        return nullptr;
    if (!m_modelShapes.contains(shape)) {
        m_modelShapes << shape;
        if (!rowModelHolds(pages)) {
            m_modelShapes.removeLast();
            m_refusedShapes << shape;
            return nullptr;
        }
    }
    return &page->rowTemplate();
}

bool SlicedReportPrinter::rowModelHolds(PagedDocumentPrinter &pages)
{
    QVector<Steady> steady;
    QVector<const RowTemplate *> kinds;
    for (const QVector<int> &shape : qAsConst(m_modelShapes)) {
        steady << m_steady.value(shape);
        kinds << &steady.constLast().page->rowTemplate();
    }
    if (!m_rowModel) {
        qint64 staysUpTo = 0;
        qint64 movesFrom = 0;
        if (!findFoot(pages, &staysUpTo, &movesFrom)) {
            m_rowModelFailed = true;
            return false;
        }
        m_rowModel =
            std::make_unique<RowPageModel>(*steady.first().page, m_rowTop, staysUpTo, movesFrom);
    }
    // Rows of every shape by turns, checked on pages against the toolkit's; split across a
    // page's foot too, once the model has learnt from such rows how the toolkit goes on.
    if (!m_rowModel->knowsSplits()) {
        SampleRows sample;
        if (layOutSample(pages, steady, kinds, true, &sample))
            m_rowModel->learnSplits(*sample.document, pages, sample.rows, sample.texts,
                                    kRowModelSamplePages, *m_cellLayouts);
    }
    SampleRows sample;
    return layOutSample(pages, steady, kinds, m_rowModel->knowsSplits(), &sample) &&
           m_rowModel->drawsAsTheToolkit(*sample.document, pages, sample.rows, sample.texts,
                                         kRowModelSamplePages, *m_cellLayouts);
}

bool SlicedReportPrinter::layOutSample(PagedDocumentPrinter &pages, const QVector<Steady> &steady,
                                       const QVector<const RowTemplate *> &kinds, bool splits,
                                       SampleRows *sample) const
{
    const QVector<int> picked = m_rowModel->sampleRows(kinds, kRowModelSamplePages, splits);
    for (int kind : picked) {
        sample->records << *steady.at(kind).record;
        sample->rows << kinds.at(kind);
        sample->texts << UsageReportWriter::cellTexts(sample->records.constLast());
    }
    sample->document = std::make_unique<QTextDocument>();
    if (picked.isEmpty() || !m_writer.fillPiece(*sample->document, false,
                                                {UsageReportWriter::Stretch{
                                                    steady.first().productType, &sample->records, 0,
                                                    int(sample->records.size()), false}}))
        return false;
    stretchHeaderRow(*sample->document, m_spacerPadding);
    pages.layOut(*sample->document);
    return true;
}

bool SlicedReportPrinter::findFoot(PagedDocumentPrinter &pages, qint64 *staysUpTo64,
                                   qint64 *movesFrom64)
{
    QVector<int> shape;
    for (int column = 0; column < m_cellLayouts->columnCount(); ++column)
        m_cellLayouts->addShape(
            column,
            UsageReportWriter::cellTexts(m_plainRow.records->at(m_plainRow.begin)).value(column),
            &shape);
    const qint64 firstLine = RowTemplate::firstLine64(shape);
    if (firstLine < 0)
        return false;
    // Paddings in 64ths of a unit: low keeps the row on the first page, high moves it on.
    const qreal height = pages.pageHeight();
    qint64 low = 0;
    const qint64 high = qCeil(m_spacerPadding * 64);
    qreal lowTop = firstRowTop(pages, m_plainRow, 0);
    if (lowTop < 0 || lowTop >= height || firstRowTop(pages, m_plainRow, high / 64.0) < height ||
        !lastPaddingAbove(pages, height, &low, high, &lowTop))
        return false;
    // The layout may round where rows go: the highest place above tells how far a step of it
    // moves the row, and so what the next place would be.
    qint64 above = 0;
    qreal aboveTop = firstRowTop(pages, m_plainRow, 0);
    if (aboveTop >= lowTop || !lastPaddingAbove(pages, lowTop, &above, low, &aboveTop))
        return false;
    *staysUpTo64 = qRound64(lowTop * 64) + firstLine;
    *movesFrom64 = *staysUpTo64 + qRound64((lowTop - aboveTop) * 64);
    return true;
}

bool SlicedReportPrinter::lastPaddingAbove(PagedDocumentPrinter &pages, qreal limit, qint64 *low,
                                           qint64 high, qreal *lowTop) const
{
    while (high - *low > 1) {
        const qint64 middle = (*low + high) / 2;
        const qreal top = firstRowTop(pages, m_plainRow, middle / 64.0);
        if (top < 0)
            return false;
        if (top < limit) {
            *low = middle;
            *lowTop = top;
        } else {
            high = middle;
        }
    }
    return true;
}

SlicedReportPrinter::Outcome SlicedReportPrinter::paintOwnPage(
    PagedDocumentPrinter &pages, const Place &next, const PagedDocumentPrinter::Progress &progress,
    const QFont &pageNumberFont, const std::function<void(QPainter &)> &draw)
{
    const int number = pages.printedPages() + 1;
    if (progress && !progress(number, estimatedPageCount(number, next), false))
        return Stopped;
    const bool painted = pages.paintPage(number, pageNumberFont, [&](QPainter &painter) {
        painter.save();
        painter.setClipRect(QRectF(0, 0, pages.device().width(), pages.pageHeight()));
        draw(painter);
        painter.restore();
    });
    return painted ? Printed : Failed;
}

bool SlicedReportPrinter::endsWithAWholeRow(PagedDocumentPrinter &pages, Place next,
                                            RowPageModel::Continued continued)
{
    // Rows split on page after page are rare; a page too many is left to the toolkit.
    const int kMostPages = 8;
    for (int page = 0; page < kMostPages; ++page) {
        QStringList texts;
        const RowPageModel::Page laid = m_rowModel->layOut(continued, [&](int index) {
            return rowTemplate(pages, Place{next.stretch, next.row + index}, &texts);
        });
        if (laid.rows < 0)
            return false;
        if (laid.splitAt.isEmpty())
            return true;
        next.row += laid.rows;
        continued.row = rowTemplate(pages, Place{next.stretch, next.row - 1}, &texts);
        continued.splitAt = laid.splitAt;
    }
    return false;
}

SlicedReportPrinter::Outcome
SlicedReportPrinter::paintRowPage(PagedDocumentPrinter &pages, Place *from,
                                  const PagedDocumentPrinter::Progress &progress, bool *painted)
{
    *painted = false;
    QVector<const RowTemplate *> rows;
    QVector<QStringList> texts;
    const auto rowAt = [&](int index) -> const RowTemplate * {
        while (rows.size() <= index) {
            QStringList rowTexts;
            const RowTemplate *row =
                rowTemplate(pages, Place{from->stretch, from->row + int(rows.size())}, &rowTexts);
            if (!row)
                return nullptr;
            rows << row;
            texts << rowTexts;
        }
        return rows.at(index);
    };
    // The first row's template sets the model up.
    if (!m_rowModel && (!rowAt(0) || !m_rowModel))
        return Printed;
    const RowPageModel::Page page = m_rowModel->layOut(m_continued, rowAt);
    if (page.rows < 0)
        return Printed;
    rows.resize(page.rows);
    texts.resize(page.rows);
    RowPageModel::Continued next;
    if (!page.splitAt.isEmpty()) {
        next = RowPageModel::Continued{rows.constLast(), page.splitAt, texts.constLast()};
        if (!endsWithAWholeRow(pages, Place{from->stretch, from->row + page.rows}, next))
            return Printed;
    }

    const Place after{from->stretch, from->row + page.rows};
    const Outcome outcome =
        paintOwnPage(pages, after, progress, m_rowModel->pageNumberFont(), [&](QPainter &painter) {
            m_rowModel->paint(painter, m_continued, rows, texts, page, *m_cellLayouts);
        });
    if (outcome != Printed)
        return outcome;
    ++m_rowPages;
    *painted = true;
    *from = after;
    m_continued = next;
    return Printed;
}

SlicedReportPrinter::Outcome
SlicedReportPrinter::paintSteadyPages(PagedDocumentPrinter &pages, Place *from,
                                      const PagedDocumentPrinter::Progress &progress,
                                      bool *resumeSoon)
{
    *resumeSoon = false;
    if (!m_cellLayouts)
        return Printed;
    QStringList texts;
    QVector<int> shape;
    // The row that starts the next page was shaped with the page before.
    bool shaped = false;
    while (true) {
        const UsageReportWriter::Stretch &stretch = m_stretches.at(from->stretch);
        if (m_continued.row) {
            // Only row by row can a page go on with a row split at the foot of the one before.
            bool painted = false;
            const Outcome outcome = paintRowPage(pages, from, progress, &painted);
            if (outcome != Printed || !painted)
                return outcome == Printed ? Failed : outcome;
            continue;
        }
        if (!shaped && !rowShape(*from, &texts, &shape))
            return Printed;
        shaped = false;
        SteadyPage *page =
            steadyPage(pages, shape, stretch.productType, stretch.records->at(from->row), texts);
        const int rows = page ? page->rowsPerPage() : 0;
        QVector<QStringList> pageRows{texts};
        if (!page || !alike(*from, shape, rows, &pageRows)) {
            // Rows of several shapes, or the table's end: drawn row by row, or by the toolkit.
            bool painted = false;
            const Outcome outcome = paintRowPage(pages, from, progress, &painted);
            if (outcome != Printed)
                return outcome;
            if (!painted) {
                // A short piece reaches the next table, or the rows past a split one.
                *resumeSoon = (page && from->row + rows >= stretch.end) || m_rowModel;
                return Printed;
            }
            continue;
        }
        texts = pageRows.takeLast();
        shaped = true;

        const Place next{from->stretch, from->row + rows};
        const Outcome outcome =
            paintOwnPage(pages, next, progress, page->pageNumberFont(), [&](QPainter &painter) {
                page->paint(painter, pageRows, *m_cellLayouts);
            });
        if (outcome != Printed)
            return outcome;
        ++m_steadyPages;
        *from = next;
    }
}

bool SlicedReportPrinter::alike(const Place &from, const QVector<int> &shape, int rows,
                                QVector<QStringList> *texts)
{
    // A row that would not fit below them as a copy might as a row of another shape: the next
    // row is held to the shape too, to be sure.
    if (from.row + rows >= m_stretches.at(from.stretch).end)
        return false;
    QStringList rowTexts;
    QVector<int> other;
    for (int row = from.row + 1; row <= from.row + rows; ++row) {
        if (!rowShape(Place{from.stretch, row}, &rowTexts, &other) || other != shape)
            return false;
        *texts << rowTexts;
    }
    return true;
}

int SlicedReportPrinter::estimatedPageCount(int printedPages, const Place &next) const
{
    int done = 0;
    for (int index = 0; index < next.stretch; ++index)
        done += m_stretches.at(index).end;
    done += next.row;
    if (done <= 0)
        return printedPages;
    return std::max(printedPages + 1,
                    int(std::ceil(double(printedPages) * m_totalRows / double(done))));
}

SlicedReportPrinter::Outcome
SlicedReportPrinter::print(QPagedPaintDevice &printer,
                           const PagedDocumentPrinter::Progress &progress)
{
    m_pieces = 0;
    m_steadyPages = 0;
    m_rowPages = 0;
    m_continued = RowPageModel::Continued();
    PagedDocumentPrinter pages(printer);
    if (!pages.isActive())
        return Failed;
    const bool spaced = !m_stretches.isEmpty() && findSpacer(pages);
    if (spaced && !setUpCellLayouts(pages))
        m_cellLayouts.reset();
    // Where steady pages may follow, a piece need only reach them; elsewhere a piece is long,
    // since each lays out a page it does not print and one it prints again.
    const int shortPiece = kPieceRows / 4;
    Place from{0, 0};
    bool restart = false;
    bool fresh = true;
    int rows = m_cellLayouts ? shortPiece : kPieceRows;
    while (true) {
        if (restart && fresh) {
            const int before = m_steadyPages + m_rowPages;
            bool resumeSoon = false;
            const Outcome steady = paintSteadyPages(pages, &from, progress, &resumeSoon);
            if (steady != Printed)
                return steady;
            rows = m_steadyPages + m_rowPages > before || resumeSoon ? shortPiece : kPieceRows;
        }
        fresh = false;
        bool toTheEnd = false;
        const QVector<UsageReportWriter::Stretch> parts = piece(from, restart, rows, &toTheEnd);
        QTextDocument document;
        if (!m_writer.fillPiece(document, !restart, parts))
            return Failed;
        // A piece that continues a table starts on a page of its own that is never printed.
        if (restart)
            stretchHeaderRow(document, m_spacerPadding);
        const int firstPage = restart ? 2 : 1;
        pages.layOut(document);
        const int pageCount = document.pageCount();
        int lastPage = pageCount;
        Place next = from;
        if (!toTheEnd) {
            int startPage = 0;
            if (!spaced ||
                !lastPageStart(document, from, parts, pages.pageHeight(), m_rowTop, &next,
                               &startPage) ||
                startPage <= firstPage) {
                // No row begins a later page: the piece is too short for its rows.
                rows *= 2;
                continue;
            }
            lastPage = startPage - 1;
        }
        ++m_pieces;
        const int estimate =
            toTheEnd ? pages.printedPages() + pageCount - firstPage + 1
                     : estimatedPageCount(pages.printedPages() + lastPage - firstPage + 1, next);
        for (int page = firstPage; page <= lastPage; ++page) {
            const int number = pages.printedPages() + 1;
            if (progress && !progress(number, estimate, toTheEnd))
                return Stopped;
            if (!pages.printPage(document, page, number))
                return Failed;
        }
        if (toTheEnd)
            break;
        from = next;
        restart = true;
        fresh = true;
    }
    return pages.finish() ? Printed : Failed;
}
