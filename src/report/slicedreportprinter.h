#ifndef SLICEDREPORTPRINTER_H
#define SLICEDREPORTPRINTER_H

#include "pageddocumentprinter.h"
#include "rowpagemodel.h"
#include "usagereportwriter.h"
#include "usagetable.h"

#include <QHash>
#include <QVector>

#include <memory>

class QPagedPaintDevice;
class CellTextLayouts;
class RowTemplate;
class QTextDocument;
class SteadyPage;

// Prints the usage report a few pages at a time. Laid out whole, one long table costs the
// toolkit's layout and drawing time that grows with rows times pages, and memory with the
// rows. Its rows are placed one after the other, though, and a row that starts a page sits at
// the same place on it whatever came before. So the report is laid out in pieces of a few
// pages: each piece starts at such a row, the toolkit lays it out exactly as it lays out the
// whole, its pages are printed but for the last, whose layout the next piece's rows may still
// change, and the next piece starts at the last row that starts a page. Each page is the
// toolkit's own, and time and memory go with the rows.
class SlicedReportPrinter
{
public:
    enum Outcome
    {
        Printed,
        // The printer failed or refused a page.
        Failed,
        // progress answered false.
        Stopped,
    };

    SlicedReportPrinter(const UsageReportWriter &writer, const UsageTable &table);
    ~SlicedReportPrinter();

    // Whether the report can be printed in pieces: false when a row's texts need the whole
    // markup imported. Asked before printing starts, so that the whole document can be printed
    // instead.
    bool prepare();

    // Prints every page; progress hears each page and an estimate of their count.
    Outcome print(QPagedPaintDevice &printer, const PagedDocumentPrinter::Progress &progress);

    // The pieces the last print() printed pages of: more than one on a report of many pages, or
    // the quick way was lost.
    int piecesLaidOut() const { return m_pieces; }
    // The pages the last print() drew from a steady page rather than a piece: most pages of a
    // long table of rows that lay out alike.
    int steadyPagesPainted() const { return m_steadyPages; }
    // The pages the last print() drew row by row from the templates of rows of several shapes.
    int rowPagesPainted() const { return m_rowPages; }

    // The data rows a piece starts with; it grows when a piece holds no row that starts a page.
    static constexpr int kPieceRows = 400;

private:
    // A row of the report: the product type (by index among those with rows) and the row.
    struct Place
    {
        int stretch;
        int row;
    };

    // The stretches of a piece of about rows rows from from; toTheEnd tells whether it holds
    // the report's last row.
    QVector<UsageReportWriter::Stretch> piece(const Place &from, bool restart, int rows,
                                              bool *toTheEnd) const;
    static void stretchHeaderRow(QTextDocument &document, qreal padding);
    // Where the text of the first row of a piece of one row lies in the document laid out,
    // with the header row's cells padded below by padding; -1 when it cannot be laid out.
    qreal firstRowTop(PagedDocumentPrinter &pages, UsageReportWriter::Stretch row,
                      qreal padding) const;
    // Finds the padding below the header row that carries a continued table's first row over
    // to the top of the second page of its piece; false when none does.
    bool findSpacer(PagedDocumentPrinter &pages);
    // The last row in document that starts a page other than the first, and that page; false
    // when there is none.
    bool lastPageStart(QTextDocument &document, const Place &from,
                       const QVector<UsageReportWriter::Stretch> &parts, qreal pageHeight,
                       qreal offset, Place *start, int *page) const;
    int estimatedPageCount(int printedPages, const Place &next) const;

    // Sets up the layouts of cell texts from a piece of one row whose texts are plain; false
    // when the report has no such row among its first.
    bool setUpCellLayouts(PagedDocumentPrinter &pages);
    // The texts of a row and the shape of their layouts; false when a text is not plain.
    bool rowShape(const Place &at, QStringList *texts, QVector<int> *shape);
    // The steady page of rows of shape like texts, made on first asking; null when there is
    // none.
    SteadyPage *steadyPage(PagedDocumentPrinter &pages, const QVector<int> &shape,
                           const QString &productType, const UsageRecord &record,
                           const QStringList &texts);
    // Whether the rows rows after from (the rows of a steady page and the row that starts the
    // next) are all of shape and in from's table; their texts are added to texts.
    bool alike(const Place &from, const QVector<int> &shape, int rows, QVector<QStringList> *texts);
    // The template of the row at, when the row model holds for its shape; null otherwise.
    const RowTemplate *rowTemplate(PagedDocumentPrinter &pages, const Place &at,
                                   QStringList *texts);
    // Sets up the row model for the shapes with steady pages, or checks it again with a shape
    // that has come since; false when it cannot be set up or does not draw as the toolkit.
    bool rowModelHolds(PagedDocumentPrinter &pages);
    struct Steady;
    // Rows of several shapes laid out from the top of a table's second page, to check the row
    // model with.
    struct SampleRows
    {
        UsageRecordList records;
        QVector<const RowTemplate *> rows;
        QVector<QStringList> texts;
        std::unique_ptr<QTextDocument> document;
    };
    bool layOutSample(PagedDocumentPrinter &pages, const QVector<Steady> &steady,
                      const QVector<const RowTemplate *> &kinds, bool splits,
                      SampleRows *sample) const;
    // How far below a page's top the first line of a row may end and stay on the page, and how
    // far it moves to the next, from a row of plain texts under a header row padded ever more.
    bool findFoot(PagedDocumentPrinter &pages, qint64 *staysUpTo64, qint64 *movesFrom64);
    // Bisects the header row's paddings (in 64ths) from low, under which the plain row's text
    // starts above limit, to high, under which it does not, down to the last that keeps it
    // above; lowTop is where the row starts then. False when a probe cannot be laid out.
    bool lastPaddingAbove(PagedDocumentPrinter &pages, qreal limit, qint64 *low, qint64 high,
                          qreal *lowTop) const;
    // Prints the page from from, row by row from the rows' templates, and moves from past it;
    // painted tells whether it could be drawn so.
    Outcome paintRowPage(PagedDocumentPrinter &pages, Place *from,
                         const PagedDocumentPrinter::Progress &progress, bool *painted);
    // Prints the next page, drawn without a document by draw in the page's own coordinates;
    // next is the row after it, for the estimate of pages.
    Outcome paintOwnPage(PagedDocumentPrinter &pages, const Place &next,
                         const PagedDocumentPrinter::Progress &progress,
                         const QFont &pageNumberFont, const std::function<void(QPainter &)> &draw);
    // Whether the pages from next, after a row continued from the page before, can be drawn row
    // by row up to one that ends with a whole row: the toolkit can only start at such a row.
    bool endsWithAWholeRow(PagedDocumentPrinter &pages, Place next,
                           RowPageModel::Continued continued);
    // Prints the pages from from, a row that starts a page, that are steady pages or row pages,
    // and moves from past them.
    // resumeSoon tells whether such pages may well follow again after a few rows: past the end
    // of a table, or past a row split across a page's foot.
    Outcome paintSteadyPages(PagedDocumentPrinter &pages, Place *from,
                             const PagedDocumentPrinter::Progress &progress, bool *resumeSoon);

    const UsageReportWriter &m_writer;
    QVector<UsageReportWriter::Stretch> m_stretches;
    int m_totalRows = 0;
    int m_pieces = 0;
    // The header row's padding below in a piece that continues a table.
    qreal m_spacerPadding = 0;
    // Where a row that starts a page has its first cell's text, below the page's top.
    qreal m_rowTop = -1;
    std::unique_ptr<CellTextLayouts> m_cellLayouts;
    // A data row of plain texts.
    UsageReportWriter::Stretch m_plainRow{};
    // A shape's steady page and a row of that shape.
    struct Steady
    {
        std::shared_ptr<SteadyPage> page;
        QString productType;
        // In the report's table, which outlives the printing.
        const UsageRecord *record = nullptr;
    };
    // By the shape of their rows; the page is null where there is none.
    QHash<QVector<int>, Steady> m_steady;
    int m_steadyPages = 0;
    std::unique_ptr<RowPageModel> m_rowModel;
    // The shapes the row model was checked with, and whether it failed for good.
    QVector<QVector<int>> m_modelShapes;
    // Shapes whose rows the row model did not draw as the toolkit.
    QVector<QVector<int>> m_refusedShapes;
    bool m_rowModelFailed = false;
    // The row the last page drawn row by row left for the next.
    RowPageModel::Continued m_continued;
    int m_rowPages = 0;
};

#endif // SLICEDREPORTPRINTER_H
