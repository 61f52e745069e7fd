#ifndef USAGEREPORTWRITER_H
#define USAGEREPORTWRITER_H

#include "filefailure.h"
#include "pageddocumentprinter.h"
#include "usagetable.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class QTextDocument;
class ReportRowAppender;
class StagedPdf;

// Lays a merged usage table out as the A4 PDF usage report: the company header block, the
// title and one table per product type.
class UsageReportWriter
{
public:
    // The header block keys: "company" and "line1" to "line7".
    using Header = QMap<QString, QString>;

    // Uses the neutral built-in header block.
    UsageReportWriter();
    // Uses the given header block; an empty one means the built-in block.
    explicit UsageReportWriter(const Header &header);
    ~UsageReportWriter();
    UsageReportWriter(const UsageReportWriter &) = delete;
    UsageReportWriter &operator=(const UsageReportWriter &) = delete;

    // One product type's rows [begin, end) in a piece of the report. An opening stretch has
    // the product type's paragraph above its table, as where the type begins; the rest of a
    // table continued from an earlier page has none. Both tables start with the header row.
    struct Stretch
    {
        QString productType;
        const UsageRecordList *records;
        int begin;
        int end;
        bool opening;
    };

    // Prints the report to reportFilePath(folder, productCode). The new report replaces an
    // existing one only once it is complete; false when it could not be written, and the
    // previous report is then left as it was. progress hears of every page and may stop the
    // printing; failure tells why nothing was written.
    bool writeReport(QString folder, QString productCode, const UsageTable &table,
                     const PagedDocumentPrinter::Progress &progress = {},
                     FileFailure *failure = nullptr) const;

    // Prints the report into an opened staged PDF (not yet prepared or committed); false, with
    // the staged file told why, when the printing failed or progress stopped it.
    bool print(StagedPdf &staged, const UsageTable &table,
               const PagedDocumentPrinter::Progress &progress = {}) const;

    // The pieces the last print() laid out the report in; 0 when it was laid out whole.
    int piecesLaidOut() const { return m_piecesLaidOut; }
    // The pages of the last report printed that were drawn without a document, as steady pages.
    int steadyPagesPainted() const { return m_steadyPagesPainted; }
    // The pages the last print drew row by row from rows of several shapes.
    int rowPagesPainted() const { return m_rowPagesPainted; }

    // The report is laid out at this resolution whatever the screen, so that every machine
    // and both programs print the same pages.
    static constexpr int kResolution = 96;

    // folder, "/", productCode, "_UsageReport.pdf", joined as they stand.
    static QString reportFilePath(const QString &folder, const QString &productCode);

    // The document's HTML text, exactly as it is imported.
    QString html(const UsageTable &table) const;

    // Fills an empty document with the report: the same document that importing html(table)
    // gives, built without importing every row's markup. False when the rows' texts made it
    // fall back to importing the whole markup.
    bool fillDocument(QTextDocument &document, const UsageTable &table) const;

    // The header block used when the deployment configures none.
    static Header defaultHeader();

    // Fills an empty document with a piece of the report, built as fillDocument() builds the
    // whole: the header block and title when withHead, then the stretches in order. False when
    // a text needs the whole markup imported.
    bool fillPiece(QTextDocument &document, bool withHead, const QVector<Stretch> &stretches) const;
    // Every product type with rows, whole and opening.
    static QVector<Stretch> wholeReport(const UsageTable &table);
    // The texts a record shows in its row's cells, and whether fillPiece() can append them.
    static QStringList cellTexts(const UsageRecord &record);
    bool appendable(const QStringList &texts) const;

private:
    QString headerBlock() const;
    QString pieceMarkup(bool withHead, const QVector<Stretch> &stretches) const;
    ReportRowAppender &rowAppender() const;
    // The document's markup, with or without the data rows of the tables.
    QString markup(const UsageTable &table, bool withDataRows) const;
    // The document html() describes, built the quick way; false when the quick way cannot
    // reproduce it, and the document must then be cleared.
    bool buildDocument(QTextDocument &document, const UsageTable &table) const;

    Header m_header;
    // Made on first use and kept: it learns the formats of a row once per writer.
    mutable std::unique_ptr<ReportRowAppender> m_appender;
    mutable int m_piecesLaidOut = 0;
    mutable int m_steadyPagesPainted = 0;
    mutable int m_rowPagesPainted = 0;
};

#endif // USAGEREPORTWRITER_H
