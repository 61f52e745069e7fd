#include "usagereportwriter.h"

#include "pageddocumentprinter.h"
#include "printedtext.h"
#include "reportrowappender.h"
#include "slicedreportprinter.h"
#include "stagedpdf.h"

#include <QByteArray>
#include <QPageSize>
#include <QPdfWriter>
#include <QStringList>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

namespace {

struct Column
{
    QString title;
    int width;
    const QString &(UsageRecord::*text)() const;
};

const QVector<Column> &columns()
{
    static const QVector<Column> table = {
        {QStringLiteral("Username"), 109, &UsageRecord::userName},
        {QStringLiteral("Dongle No."), 153, &UsageRecord::dogNum},
        {QStringLiteral("Date"), 109, &UsageRecord::dateText},
        {QStringLiteral("Time"), 109, &UsageRecord::timeText},
        {QStringLiteral("Log"), 102, &UsageRecord::logAction},
    };
    return table;
}

// The markup below is the report's fixed look; its odd spacing ("< /span>", "lang = EN - US")
// is part of it, since the HTML import reads it the way the report has always looked.
const QString kBodyOpen = QStringLiteral("<body>");
const QString kArticleOpen = QStringLiteral("<article>");
const QString kArticleClose = QStringLiteral("</article>");
const QString kDivOpen = QStringLiteral("<div style='layout-grid:15.6pt'>");
const QString kTitle = QStringLiteral(
    "<p align=center style='text-align:center'><b style='mso-bidi-font-weight:normal'><span "
    "lang = EN - US style = 'font-size:28.0pt;font-family:\"Times New Roman\"'>USAGE REPORT< "
    "/span></b></p>");
const QString kProductTypeTemplate =
    QStringLiteral("<p class=MsoBodyText><span lang=EN-US style='font-size:14.0pt;font-family:"
                   "\"Times New Roman\"'>%1< /span>< /p>");
const QString kProductTypePrefix = QStringLiteral("Product type: ");
const QString kTableOpen =
    QStringLiteral("<table border=1 cellspacing=0 cellpadding=2 bordercolor=black>");
const QString kRowOpen = QStringLiteral("<tr>");
const QString kRowClose = QStringLiteral("</tr>");
const QString kHeaderCellTemplate = QStringLiteral(
    "<td width=%1 valign=top style='background:#0070C0;width:99.65pt;border:solid windowtext "
    "1.0pt;padding:0cm 5.4pt 0cm 5.4pt'><p class = MsoNormal align = center style = "
    "'text-align:center'><b><span lang = EN - US style = 'color:white;font-size:10.0pt;"
    "font-family:\"Arial\",sans-serif'>%2< /span>< /b>< /p>< /td>");
const QString kDataCellTemplate = QStringLiteral(
    "<td width=%1 valign=top style='width:99.65pt;border:solid windowtext 1.0pt;border - "
    "top:none; padding:0cm 5.4pt 0cm 5.4pt'><p class = MsoNormal align = center style = "
    "'text-align:center'><span lang = EN - US style = 'font-size:9.0pt'>%2< /span>< /p>< /td>");
const QString kTableClose = QStringLiteral("</table>");
const QString kDivClose = QStringLiteral("</div>");
const QString kBodyClose = QStringLiteral("</body>");

const QString kHeaderOpen = QStringLiteral(
    "<header><p align=right style='text-align:right'><b style='mso-bidi-font-weight:normal'>"
    "<span lang=EN-US style='font-size:8.0pt;font-family:\"Times New Roman\",serif;"
    "color:#0070C0'>");
const QString kHeaderCompanyEnd = QStringLiteral(" <br></span></b>");
const QString kHeaderLinesOpen = QStringLiteral(
    "<span lang=EN-US style='font-size:8.0pt;font-family:\"Times New Roman\",serif'>");
const QString kHeaderClose = QStringLiteral("</span></p></header>");
const QString kLineBreak = QStringLiteral("<br>");
const QString kCompanyKey = QStringLiteral("company");
const int kHeaderLineCount = 7;

const QString kReportSuffix = QStringLiteral("_UsageReport.pdf");

// Width first, then the text: the text goes in last, so a place marker inside it stays as it
// is. The text is escaped so that the cell shows it literally, never as markup.
QString cell(const QString &cellTemplate, int width, const QString &text)
{
    return cellTemplate.arg(width).arg(text.toHtmlEscaped());
}

QStringList rowTexts(const UsageRecord &record)
{
    QStringList texts;
    for (const Column &column : columns())
        texts << PrintedText::cut((record.*column.text)());
    return texts;
}

void appendHeaderRow(QStringList &fragments)
{
    fragments << kRowOpen;
    for (const Column &column : columns())
        fragments << cell(kHeaderCellTemplate, column.width, column.title);
    fragments << kRowClose;
}

void appendDataRow(QStringList &fragments, const QStringList &texts)
{
    fragments << kRowOpen;
    const QVector<Column> &cols = columns();
    for (int i = 0; i < cols.size(); ++i)
        fragments << cell(kDataCellTemplate, cols.at(i).width, texts.value(i));
    fragments << kRowClose;
}

void setUp(QPdfWriter &printer)
{
    printer.setResolution(UsageReportWriter::kResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
}

} // namespace

UsageReportWriter::UsageReportWriter() : m_header(defaultHeader()) {}

UsageReportWriter::~UsageReportWriter() = default;

UsageReportWriter::UsageReportWriter(const Header &header)
    : m_header(header.isEmpty() ? defaultHeader() : header)
{
}

UsageReportWriter::Header UsageReportWriter::defaultHeader()
{
    return Header{
        {kCompanyKey, QStringLiteral("Company Name")},
        {QStringLiteral("line1"), QStringLiteral("Street Address, Line 1")},
        {QStringLiteral("line2"), QStringLiteral("Street Address, Line 2")},
        {QStringLiteral("line3"), QStringLiteral("City, Postal Code")},
        {QStringLiteral("line4"), QStringLiteral("Tel: +00 000 000 000")},
        {QStringLiteral("line5"), QStringLiteral("Fax: +00 000 000 000")},
        {QStringLiteral("line6"), QStringLiteral("www.example.com")},
        {QStringLiteral("line7"), QStringLiteral("Company Registration No.: 00000000")},
    };
}

QString UsageReportWriter::reportFilePath(const QString &folder, const QString &productCode)
{
    return folder + QLatin1Char('/') + productCode + kReportSuffix;
}

QString UsageReportWriter::headerBlock() const
{
    // The header is the deployment's text, not markup: a "&" in a company name stays a "&".
    QStringList lines;
    for (int line = 1; line <= kHeaderLineCount; ++line)
        lines
            << PrintedText::cut(m_header.value(QStringLiteral("line%1").arg(line))).toHtmlEscaped();
    return kHeaderOpen + PrintedText::cut(m_header.value(kCompanyKey)).toHtmlEscaped() +
           kHeaderCompanyEnd + kHeaderLinesOpen + lines.join(kLineBreak) + kHeaderClose;
}

QString UsageReportWriter::html(const UsageTable &table) const
{
    return markup(table, true);
}

QString UsageReportWriter::markup(const UsageTable &table, bool withDataRows) const
{
    QStringList fragments;
    fragments << kBodyOpen << kArticleOpen << headerBlock() << kArticleClose << kDivOpen << kTitle;
    for (auto entry = table.constBegin(); entry != table.constEnd(); ++entry) {
        if (entry.value().isEmpty())
            continue;
        fragments << kProductTypeTemplate.arg(kProductTypePrefix +
                                              PrintedText::cut(entry.key()).toHtmlEscaped());
        fragments << kTableOpen;
        appendHeaderRow(fragments);
        if (withDataRows) {
            for (const UsageRecord &record : entry.value())
                appendDataRow(fragments, rowTexts(record));
        }
        fragments << kTableClose;
    }
    fragments << kDivClose << kBodyClose;
    return fragments.join(QString());
}

bool UsageReportWriter::fillDocument(QTextDocument &document, const UsageTable &table) const
{
    // Nothing here is ever undone; the undo history would only cost memory.
    document.setUndoRedoEnabled(false);
    if (buildDocument(document, table))
        return true;
    // Texts the quick way cannot reproduce: the whole markup is imported instead.
    document.clear();
    QTextCursor(&document).insertHtml(html(table));
    return false;
}

QVector<UsageReportWriter::Stretch> UsageReportWriter::wholeReport(const UsageTable &table)
{
    QVector<Stretch> stretches;
    for (auto entry = table.constBegin(); entry != table.constEnd(); ++entry) {
        if (!entry.value().isEmpty())
            stretches << Stretch{entry.key(), &entry.value(), 0, int(entry.value().size()), true};
    }
    return stretches;
}

QString UsageReportWriter::pieceMarkup(bool withHead, const QVector<Stretch> &stretches) const
{
    QStringList fragments{kBodyOpen};
    if (withHead)
        fragments << kArticleOpen << headerBlock() << kArticleClose;
    fragments << kDivOpen;
    if (withHead)
        fragments << kTitle;
    for (const Stretch &stretch : stretches) {
        if (stretch.opening)
            fragments << kProductTypeTemplate.arg(
                kProductTypePrefix + PrintedText::cut(stretch.productType).toHtmlEscaped());
        fragments << kTableOpen;
        appendHeaderRow(fragments);
        fragments << kTableClose;
    }
    fragments << kDivClose << kBodyClose;
    return fragments.join(QString());
}

bool UsageReportWriter::fillPiece(QTextDocument &document, bool withHead,
                                  const QVector<Stretch> &stretches) const
{
    document.setUndoRedoEnabled(false);
    // The frame, the product-type paragraphs and the header rows come from the markup itself;
    // the data rows are appended in the formats the same markup would give them.
    QTextCursor(&document).insertHtml(pieceMarkup(withHead, stretches));
    ReportRowAppender &appender = rowAppender();
    if (!appender.isValid())
        return false;

    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    if (frames.size() != stretches.size())
        return false;
    for (int next = 0; next < stretches.size(); ++next) {
        const Stretch &stretch = stretches.at(next);
        auto *section = qobject_cast<QTextTable *>(frames.at(next));
        QVector<QStringList> rows;
        rows.reserve(stretch.end - stretch.begin);
        for (int row = stretch.begin; row < stretch.end; ++row)
            rows << rowTexts(stretch.records->at(row));
        if (!section || !appender.append(section, rows))
            return false;
    }
    return true;
}

bool UsageReportWriter::buildDocument(QTextDocument &document, const UsageTable &table) const
{
    return fillPiece(document, true, wholeReport(table));
}

ReportRowAppender &UsageReportWriter::rowAppender() const
{
    if (!m_appender) {
        m_appender =
            std::make_unique<ReportRowAppender>(columns().size(), [](const QStringList &texts) {
                QStringList fragments{kTableOpen};
                appendHeaderRow(fragments);
                appendDataRow(fragments, texts);
                fragments << kTableClose;
                return fragments.join(QString());
            });
    }
    return *m_appender;
}

bool UsageReportWriter::appendable(const QStringList &texts) const
{
    ReportRowAppender &appender = rowAppender();
    return appender.isValid() && appender.appendable(texts);
}

QStringList UsageReportWriter::cellTexts(const UsageRecord &record)
{
    return rowTexts(record);
}

bool UsageReportWriter::print(StagedPdf &staged, const UsageTable &table,
                              const PagedDocumentPrinter::Progress &progress) const
{
    bool stopped = false;
    const PagedDocumentPrinter::Progress heard = [&](int page, int pageCount, bool exact) {
        stopped = progress && !progress(page, pageCount, exact);
        return !stopped;
    };
    QPdfWriter printer(staged.device());
    setUp(printer);
    bool printed = false;
    SlicedReportPrinter pieces(*this, table);
    m_piecesLaidOut = 0;
    m_steadyPagesPainted = 0;
    m_rowPagesPainted = 0;
    if (pieces.prepare()) {
        printed = pieces.print(printer, heard) == SlicedReportPrinter::Printed;
        m_piecesLaidOut = pieces.piecesLaidOut();
        m_steadyPagesPainted = pieces.steadyPagesPainted();
        m_rowPagesPainted = pieces.rowPagesPainted();
    } else {
        QTextDocument document;
        fillDocument(document, table);
        printed = PagedDocumentPrinter::print(document, printer, heard);
    }
    if (stopped)
        staged.fail(FileFailure(FileFailure::Cancelled));
    else if (!printed)
        staged.fail(FileFailure::diagnose(staged.target()));
    return printed && !stopped;
}

bool UsageReportWriter::writeReport(QString folder, QString productCode, const UsageTable &table,
                                    const PagedDocumentPrinter::Progress &progress,
                                    FileFailure *failure) const
{
    // Printed into a staged file first, so that the old report is replaced only by a complete
    // new one and a failure leaves it as it was.
    StagedPdf staged(reportFilePath(folder, productCode));
    const bool written =
        staged.open() && print(staged, table, progress) && staged.prepare() && staged.commit();
    if (failure)
        *failure = written ? FileFailure() : staged.failure();
    return written;
}
