#include "pdfreader.h"
#include "testsupport.h"
#include "usagereportwriter.h"

#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QtTest>

namespace {

const QString kCode = QStringLiteral("PRX");

UsageRecord row(const QString &user, const QString &dog, const QString &when, const QString &action)
{
    return UsageRecord(user, dog, QDateTime::fromString(when, Qt::ISODate), action);
}

// Collapses the layout's runs of spaces so that tests can look for the texts in reading order.
QString flat(const QString &text)
{
    return text.simplified();
}

// Every text in order, each after the one before.
bool inOrder(const QString &text, const QStringList &parts)
{
    int from = 0;
    for (const QString &part : parts) {
        const int at = text.indexOf(part, from);
        if (at < 0)
            return false;
        from = at + part.size();
    }
    return true;
}

// The document exactly as it would be printed with no care for speed: the HTML imported once
// and handed to the toolkit's document printing.
void printStraight(const QString &html, const QString &path)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertHtml(html);
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFileName(path);
    document.print(&printer);
}

UsageTable manyRows(int count)
{
    UsageTable table;
    const QDateTime start(QDate(2024, 3, 5), QTime(8, 0, 0));
    for (int i = 0; i < count; ++i) {
        table[i % 3 ? QStringLiteral("Pro") : QStringLiteral("Basic")].append(UsageRecord(
            QStringLiteral("user%1@example.com").arg(i), QStringLiteral("D%1").arg(i),
            start.addSecs(i * 97), i % 2 ? QStringLiteral("Out") : QStringLiteral("In")));
    }
    return table;
}

// Sections of the given sizes, keyed so that they come out in the given order.
UsageTable sections(const QVector<int> &sizes)
{
    UsageTable table;
    const QDateTime start(QDate(2024, 3, 5), QTime(8, 0, 0));
    for (int section = 0; section < sizes.size(); ++section) {
        const QString key = QStringLiteral("Type %1").arg(section);
        for (int i = 0; i < sizes.at(section); ++i) {
            table[key] << UsageRecord(QStringLiteral("user%1").arg(i % 7),
                                      QStringLiteral("D%1").arg(1000 + i), start.addSecs(i * 61),
                                      i % 2 ? QStringLiteral("Out") : QStringLiteral("In"));
        }
    }
    return table;
}

// One row per text, the text in every field of it.
UsageTable oddTexts(const QStringList &texts)
{
    UsageTable table;
    for (const QString &text : texts)
        table[QStringLiteral("Odd")] << UsageRecord(text, text, QDateTime(), text);
    return table;
}

QString describe(const QTextFormat &format)
{
    QString text;
    QDebug(&text) << format.type() << format.properties();
    return text;
}

// Everything of a document that its layout and drawing read: frames, table cells, blocks and
// runs, each with its text and format.
QStringList structure(const QTextDocument &document)
{
    QStringList lines;
    QList<QTextFrame *> frames{document.rootFrame()};
    while (!frames.isEmpty()) {
        QTextFrame *frame = frames.takeFirst();
        lines << QStringLiteral("frame %1-%2 %3")
                     .arg(frame->firstPosition())
                     .arg(frame->lastPosition())
                     .arg(describe(frame->frameFormat()));
        if (auto *table = qobject_cast<QTextTable *>(frame)) {
            for (int row = 0; row < table->rows(); ++row) {
                for (int column = 0; column < table->columns(); ++column) {
                    const QTextTableCell cell = table->cellAt(row, column);
                    lines << QStringLiteral("cell %1,%2 %3")
                                 .arg(row)
                                 .arg(column)
                                 .arg(describe(cell.format()));
                }
            }
        }
        frames << frame->childFrames();
    }
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        lines << QStringLiteral("block %1 %2 %3")
                     .arg(block.position())
                     .arg(describe(block.blockFormat()), describe(block.charFormat()));
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            lines << QStringLiteral("run \"%1\" %2")
                         .arg(it.fragment().text(), describe(it.fragment().charFormat()));
        }
    }
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(UsageTable)

class TestUsageReportWriter : public QObject
{
    Q_OBJECT

private slots:
    void reportFilePath_data();
    void reportFilePath();
    void reportLayout();
    void emptyTable_data();
    void emptyTable();
    void fieldTextsShownLiterally_data();
    void fieldTextsShownLiterally();
    void headerBlock_data();
    void headerBlock();
    void replacesPreviousReport();
    void failureKeepsPreviousReport_data();
    void failureKeepsPreviousReport();
    void looksLikeStraightPrint_data();
    void looksLikeStraightPrint();
    void sameDocumentAsImport_data();
    void sameDocumentAsImport();
    void cullsShapesOutsideThePage();
};

void TestUsageReportWriter::reportFilePath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "C:/Reports"
                           << "PRX"
                           << "C:/Reports/PRX_UsageReport.pdf";
    QTest::newRow("trailing slash kept") << "C:/Reports/"
                                         << "PRX"
                                         << "C:/Reports//PRX_UsageReport.pdf";
    QTest::newRow("code unchanged") << "out"
                                    << "hwnk"
                                    << "out/hwnk_UsageReport.pdf";
    QTest::newRow("empty folder") << ""
                                  << "ZQF"
                                  << "/ZQF_UsageReport.pdf";
}

void TestUsageReportWriter::reportFilePath()
{
    QFETCH(QString, folder);
    QFETCH(QString, code);
    QFETCH(QString, expected);
    QCOMPARE(UsageReportWriter::reportFilePath(folder, code), expected);
}

void TestUsageReportWriter::reportLayout()
{
    QTemporaryDir folder;
    UsageTable table;
    // Inserted out of order on purpose: the map's key order decides the sections' order.
    table[QStringLiteral("Zeta")] << row("zoe", "77", "2024-03-05T14:07:09", "In");
    table[QStringLiteral("Alpha")] << row("ann", "12345", "2024-03-05T09:00:00", "In")
                                   << row("bob", "67890", "2024-03-05T10:30:00", "Out");
    table[QStringLiteral("Empty")] = UsageRecordList();
    table[QString()] << row("nobody", "1", "2024-01-02T03:04:05", "Out");

    QVERIFY(UsageReportWriter().writeReport(folder.path(), kCode, table));
    const QString path = UsageReportWriter::reportFilePath(folder.path(), kCode);
    QCOMPARE(PdfReader::pageSize(path), QStringLiteral("595 x 842 pts (A4)"));

    const QString text = flat(PdfReader::text(path));
    const QString titles = QStringLiteral("Username Dongle No. Date Time Log");
    QVERIFY2(inOrder(text, {"USAGE REPORT", "Product type:", titles,
                            "nobody 1 2024-01-02 03:04:05 Out", "Product type: Alpha", titles,
                            "ann 12345 2024-03-05 09:00:00 In", "bob 67890 2024-03-05 10:30:00 Out",
                            "Product type: Zeta", titles, "zoe 77 2024-03-05 14:07:09 In"}),
             qPrintable(text));
    QCOMPARE(text.count(QStringLiteral("Product type:")), 3);
    QVERIFY(!text.contains(QStringLiteral("Empty")));
    // The key that is the empty text names no type.
    QVERIFY(text.contains(QStringLiteral("Product type: ") + titles));
}

void TestUsageReportWriter::emptyTable_data()
{
    QTest::addColumn<UsageTable>("table");
    QTest::newRow("no keys") << UsageTable();
    UsageTable emptyLists;
    emptyLists[QStringLiteral("A")] = UsageRecordList();
    emptyLists[QStringLiteral("B")] = UsageRecordList();
    QTest::newRow("only empty lists") << emptyLists;
}

void TestUsageReportWriter::emptyTable()
{
    QFETCH(UsageTable, table);
    QTemporaryDir folder;
    QVERIFY(UsageReportWriter().writeReport(folder.path(), kCode, table));
    const QString text =
        flat(PdfReader::text(UsageReportWriter::reportFilePath(folder.path(), kCode)));
    const UsageReportWriter::Header header = UsageReportWriter::defaultHeader();
    QVERIFY2(inOrder(text, {header.value("company"), header.value("line1"), header.value("line7"),
                            "USAGE REPORT"}),
             qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("Product type")));
    QVERIFY(!text.contains(QStringLiteral("Username")));
}

void TestUsageReportWriter::fieldTextsShownLiterally_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("tag") << QStringLiteral("<b>x</b>");
    QTest::newRow("entity") << QStringLiteral("a&amp;b");
    QTest::newRow("less-than and ampersand") << QStringLiteral("x<y&z");
    QTest::newRow("place marker") << QStringLiteral("100%1%2");
    QTest::newRow("quote") << QStringLiteral("o\"neil's");
}

void TestUsageReportWriter::fieldTextsShownLiterally()
{
    QFETCH(QString, field);
    QTemporaryDir folder;
    UsageTable table;
    table[QStringLiteral("type ") + field]
        << UsageRecord(QStringLiteral("user ") + field, QStringLiteral("dog ") + field,
                       QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)), QStringLiteral("In"));

    const UsageReportWriter writer;
    // A place marker in a field must survive the template filling untouched.
    QVERIFY(writer.html(table).contains(QStringLiteral("user ") + field.toHtmlEscaped()));
    QVERIFY(writer.writeReport(folder.path(), kCode, table));
    const QString text =
        flat(PdfReader::text(UsageReportWriter::reportFilePath(folder.path(), kCode)));
    QVERIFY2(inOrder(text, {QStringLiteral("Product type: type ") + field,
                            QStringLiteral("user ") + field, QStringLiteral("dog ") + field,
                            QStringLiteral("2024-03-05 14:07:09 In")}),
             qPrintable(text));
}

void TestUsageReportWriter::headerBlock_data()
{
    QTest::addColumn<QMap<QString, QString>>("header");
    QTest::addColumn<QStringList>("expected");

    UsageReportWriter::Header own;
    own.insert(QStringLiteral("company"), QStringLiteral("Smith & Sons <Tools>"));
    for (int line = 1; line <= 7; ++line)
        own.insert(QStringLiteral("line%1").arg(line), QStringLiteral("Own line %1").arg(line));
    QStringList ownExpected{QStringLiteral("Smith & Sons <Tools>")};
    for (int line = 1; line <= 7; ++line)
        ownExpected << QStringLiteral("Own line %1").arg(line);
    QTest::newRow("configured") << own << ownExpected;

    const UsageReportWriter::Header builtIn = UsageReportWriter::defaultHeader();
    QStringList builtInExpected{builtIn.value(QStringLiteral("company"))};
    for (int line = 1; line <= 7; ++line)
        builtInExpected << builtIn.value(QStringLiteral("line%1").arg(line));
    QTest::newRow("none configured") << UsageReportWriter::Header() << builtInExpected;
}

void TestUsageReportWriter::headerBlock()
{
    using Header = QMap<QString, QString>;
    QFETCH(Header, header);
    QFETCH(QStringList, expected);
    QTemporaryDir folder;
    QVERIFY(UsageReportWriter(header).writeReport(folder.path(), kCode, UsageTable()));
    const QString text = PdfReader::text(UsageReportWriter::reportFilePath(folder.path(), kCode));
    // One header line per text line, right-aligned above the title.
    QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString &line : lines)
        line = line.trimmed();
    lines.removeAll(QString());
    QVERIFY(lines.size() >= expected.size() + 1);
    QCOMPARE(lines.mid(0, expected.size()), expected);
    QCOMPARE(lines.at(expected.size()), QStringLiteral("USAGE REPORT"));
}

void TestUsageReportWriter::replacesPreviousReport()
{
    QTemporaryDir folder;
    UsageTable first;
    first[QStringLiteral("A")] << row("first", "1", "2024-03-05T09:00:00", "In");
    UsageTable second;
    second[QStringLiteral("A")] << row("second", "2", "2024-03-05T09:00:00", "In");
    const UsageReportWriter writer;
    QVERIFY(writer.writeReport(folder.path(), kCode, first));
    QVERIFY(writer.writeReport(folder.path(), kCode, second));
    const QString text = PdfReader::text(UsageReportWriter::reportFilePath(folder.path(), kCode));
    QVERIFY(text.contains(QStringLiteral("second")));
    QVERIFY(!text.contains(QStringLiteral("first")));
    // Nothing is left behind beside the report.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{kCode + "_UsageReport.pdf"});
}

void TestUsageReportWriter::failureKeepsPreviousReport_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("missing folder") << QStringLiteral("missing");
    QTest::newRow("report name is a folder") << QStringLiteral("directory");
    QTest::newRow("read-only folder") << QStringLiteral("read-only");
}

void TestUsageReportWriter::failureKeepsPreviousReport()
{
    QFETCH(QString, situation);
    QTemporaryDir base;
    QString folder = base.path() + QStringLiteral("/out");
    QVERIFY(QDir().mkpath(folder));
    const QString report = UsageReportWriter::reportFilePath(folder, kCode);
    const QByteArray previous = QByteArrayLiteral("%PDF-1.4 previous report\n%%EOF\n");

    if (situation == QLatin1String("missing")) {
        folder = base.path() + QStringLiteral("/not/there");
    } else if (situation == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(report + QStringLiteral("/inside")));
    } else {
        QVERIFY(TestSupport::writeFile(report, previous));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (QFile probe(folder + QStringLiteral("/probe")); probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
            QSKIP("Running with rights that ignore a read-only folder");
        }
    }

    UsageTable table;
    table[QStringLiteral("A")] << row("new", "1", "2024-03-05T09:00:00", "In");
    const bool written = UsageReportWriter().writeReport(folder, kCode, table);
    QFile::setPermissions(base.path() + QStringLiteral("/out"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(!written);

    if (situation == QLatin1String("read-only"))
        QCOMPARE(TestSupport::readFile(report), previous);
    if (situation == QLatin1String("directory"))
        QVERIFY(QFileInfo(report + QStringLiteral("/inside")).isDir());
    // No half-written report is left beside the old one.
    const QStringList left = QDir(base.path() + QStringLiteral("/out")).entryList(QDir::Files);
    QVERIFY2(left.filter(QStringLiteral(".part")).isEmpty(), qPrintable(left.join(", ")));
}

void TestUsageReportWriter::looksLikeStraightPrint_data()
{
    QTest::addColumn<UsageTable>("table");
    QTest::addColumn<int>("minimumPages");
    QTest::newRow("small") << manyRows(4) << 1;
    QTest::newRow("several pages") << manyRows(260) << 4;
    // The second and third tables start in the middle of a page, the second crosses pages.
    QTest::newRow("three tables") << sections({20, 75, 9}) << 3;
    QTest::newRow("odd texts") << oddTexts({QString(), QStringLiteral("  two  spaces "),
                                            QStringLiteral("tab\there"), QStringLiteral("a<b>&c")})
                               << 1;
}

void TestUsageReportWriter::looksLikeStraightPrint()
{
    QFETCH(UsageTable, table);
    QFETCH(int, minimumPages);
    QTemporaryDir folder;
    const UsageReportWriter writer;
    const QString straight = folder.path() + QStringLiteral("/straight.pdf");
    printStraight(writer.html(table), straight);
    QVERIFY(writer.writeReport(folder.path(), kCode, table));
    const QString ours = UsageReportWriter::reportFilePath(folder.path(), kCode);

    const QStringList expectedPages = PdfReader::renderPages(straight, folder.path(), "straight");
    const QStringList actualPages = PdfReader::renderPages(ours, folder.path(), "ours");
    QVERIFY(expectedPages.size() >= minimumPages);
    QCOMPARE(actualPages.size(), expectedPages.size());
    for (int page = 0; page < expectedPages.size(); ++page) {
        QVERIFY2(TestSupport::readFile(actualPages.at(page)) ==
                     TestSupport::readFile(expectedPages.at(page)),
                 qPrintable(QStringLiteral("page %1 differs").arg(page + 1)));
    }
}

void TestUsageReportWriter::sameDocumentAsImport_data()
{
    QTest::addColumn<UsageTable>("table");
    QTest::addColumn<bool>("quick");
    QTest::newRow("no rows") << UsageTable() << true;
    QTest::newRow("two types") << manyRows(12) << true;
    QTest::newRow("three types, one empty") << [] {
        UsageTable table = sections({3, 0, 5, 1});
        return table;
    }() << true;
    QTest::newRow("plain texts") << oddTexts({QStringLiteral("ann"), QStringLiteral("a b c"),
                                              QStringLiteral("x<y&z"), QStringLiteral("100%1%2"),
                                              QStringLiteral("o\"neil's"),
                                              QString::fromUtf8("Zo\xc3\xab \xe2\x82\xac")})
                                 << true;
    // Texts the import reshapes: empty, runs of white space, breaks and control characters.
    QTest::newRow("reshaped texts")
        << oddTexts({QString(), QStringLiteral(" "), QStringLiteral("  lead"),
                     QStringLiteral("trail  "), QStringLiteral("in  side"),
                     QStringLiteral("line\nbreak"), QStringLiteral("tab\tstop"),
                     QStringLiteral("cr\r\nlf"),
                     QString::fromUtf8("no\xc2\xa0"
                                       "break"),
                     QStringLiteral("bell\a"), QString(QChar(0x2029)) + QStringLiteral("para")})
        << false;
}

void TestUsageReportWriter::sameDocumentAsImport()
{
    QFETCH(UsageTable, table);
    QFETCH(bool, quick);
    const UsageReportWriter writer;
    QTextDocument imported;
    QTextCursor(&imported).insertHtml(writer.html(table));
    QTextDocument built;
    // The rows must go in the quick way, or a report of many rows costs minutes again.
    QCOMPARE(writer.fillDocument(built, table), quick);
    QCOMPARE(structure(built), structure(imported));
}

void TestUsageReportWriter::cullsShapesOutsideThePage()
{
    const UsageReportWriter writer;
    QTextDocument document;
    QVERIFY(writer.fillDocument(document, manyRows(260)));
    QTemporaryDir folder;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFileName(folder.filePath("culled.pdf"));
    int culled = 0;
    QVERIFY(PagedDocumentPrinter::print(document, printer, {}, &culled));
    QVERIFY(PdfReader::pageCount(folder.filePath("culled.pdf")) >= 4);
    // Every page would otherwise draw the whole document.
    QVERIFY2(culled > 0, qPrintable(QString::number(culled)));
}

QTEST_MAIN(TestUsageReportWriter)
#include "tst_usagereportwriter.moc"
