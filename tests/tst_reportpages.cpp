#include "celltextlayouts.h"
#include "exportdriver.h"
#include "filereaderbycsv.h"
#include "pdfreader.h"
#include "printedtext.h"
#include "productconfigstore.h"
#include "prxfilereader.h"
#include "readerregistration.h"
#include "readerregistry.h"
#include "testsupport.h"
#include "usagereportwriter.h"
#include "zqffilereader.h"

#include <QImage>
#include <QPageSize>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

// The report printed a few pages at a time against the toolkit's own printing of the whole
// document: the same pages, on reports of every shape. Set PLINTHRA_FULL_PAGE_CORPUS=1 for the
// long reports too (minutes).
namespace {

const QString kCode = QStringLiteral("PRX");
const QString kExamples = QStringLiteral(PLINTHRA_TEST_DATA "/../../examples");

// The document exactly as it would be printed with no care for speed: the HTML imported once
// and handed to the toolkit's document printing.
void printStraight(const QString &html, const QString &path)
{
    QTextDocument document;
    QTextCursor(&document).insertHtml(html);
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFileName(path);
    document.print(&printer);
}

// A page image as pdftoppm writes it (binary PPM).
struct Image
{
    int width = 0;
    int height = 0;
    QByteArray pixels;

    static Image read(const QString &path)
    {
        const QByteArray data = TestSupport::readFile(path);
        const QList<QByteArray> head = data.left(64).split('\n');
        Image image;
        if (head.size() < 4 || head.at(0) != "P6")
            return image;
        const QList<QByteArray> size = head.at(1).split(' ');
        image.width = size.value(0).toInt();
        image.height = size.value(1).toInt();
        const int offset = head.at(0).size() + head.at(1).size() + head.at(2).size() + 3;
        image.pixels = data.mid(offset);
        return image;
    }

    bool differs(int x, int y, const Image &other) const
    {
        const int at = (y * width + x) * 3;
        return pixels.mid(at, 3) != other.pixels.mid(at, 3);
    }
};

// How two page images differ: the pixels that do, and whether any difference is wider than a
// pixel of anti-aliasing (a block of 2 × 2 pixels that all differ).
struct PageDifference
{
    int pixels = 0;
    bool wide = false;

    static PageDifference of(const Image &a, const Image &b)
    {
        PageDifference difference;
        if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size()) {
            difference.wide = true;
            return difference;
        }
        if (a.pixels == b.pixels)
            return difference;
        for (int y = 0; y < a.height; ++y) {
            for (int x = 0; x < a.width; ++x) {
                if (!a.differs(x, y, b))
                    continue;
                ++difference.pixels;
                if (x + 1 < a.width && y + 1 < a.height && a.differs(x + 1, y, b) &&
                    a.differs(x, y + 1, b) && a.differs(x + 1, y + 1, b))
                    difference.wide = true;
            }
        }
        return difference;
    }
};

UsageRecord record(const QString &user, const QString &dongle, int minute, bool in)
{
    return UsageRecord(user, dongle, QDateTime(QDate(2024, 3, 4), QTime(7, 0)).addSecs(minute * 60),
                       in ? QStringLiteral("In") : QStringLiteral("Out"));
}

// count rows under one product type, the user of each row from name.
UsageTable rows(int count, const std::function<QString(int)> &name, const QString &type = "Pro")
{
    UsageTable table;
    UsageRecordList &list = table[type];
    for (int i = 0; i < count; ++i)
        list << record(name(i), QString::number(4000 + i % 53), i, i % 2 == 0);
    return table;
}

// Sections of the given sizes, keyed so that they come out in the given order.
UsageTable sections(const QVector<int> &sizes)
{
    UsageTable table;
    for (int section = 0; section < sizes.size(); ++section) {
        UsageRecordList &list = table[QStringLiteral("Type %1").arg(section, 2, 10, QChar('0'))];
        for (int i = 0; i < sizes.at(section); ++i)
            list << record(QStringLiteral("user%1").arg(i % 7), QString::number(1000 + i), i,
                           i % 2 == 0);
    }
    return table;
}

// tables product types, each of some rows of two lines and then a few of one line; each
// table has one tall row more than the one before.
UsageTable tallThenShort(int tables)
{
    UsageTable table;
    for (int type = 0; type < tables; ++type) {
        UsageRecordList &list = table[QStringLiteral("Type %1").arg(type, 2, 10, QChar('0'))];
        const int tall = 120 + type;
        for (int i = 0; i < tall + 4; ++i)
            list << record(i < tall ? QStringLiteral("Anna Maria Lindqvist")
                                    : QStringLiteral("u%1").arg(i),
                           QString::number(1000 + i), i, i % 2 == 0);
    }
    return table;
}

UsageTable merged(const QVector<UsageTable> &tables)
{
    UsageTable all;
    for (const UsageTable &table : tables)
        ExportDriver::merge(all, table);
    return all;
}

UsageTable examples(const QString &code)
{
    const ProductConfigStore store(kExamples + QStringLiteral("/ProductConfig.ini"));
    ReaderRegistry registry;
    registerReaders({code}, registry);
    return ExportDriver(store, registry, kExamples + QStringLiteral("/PublicDocuments"))
        .collectUsage(code);
}

bool fullCorpus()
{
    return qEnvironmentVariableIntValue("PLINTHRA_FULL_PAGE_CORPUS") == 1;
}

} // namespace

Q_DECLARE_METATYPE(UsageTable)

class TestReportPages : public QObject
{
    Q_OBJECT

private slots:
    void sameAsTheWholeDocument_data();
    void sameAsTheWholeDocument();
    void fallsBackForTextsTheImportReshapes();
    void progressHearsEveryPageAndMayStop_data();
    void progressHearsEveryPageAndMayStop();
    void cellLayoutsAreKeptAndStartAgain();
};

void TestReportPages::sameAsTheWholeDocument_data()
{
    QTest::addColumn<UsageTable>("table");
    // More than one piece, or the report was not printed piece by piece at all.
    QTest::addColumn<int>("leastPieces");
    // Pages drawn as steady pages, without a document, at least.
    QTest::addColumn<int>("leastSteady");
    // Pages drawn row by row from rows of several shapes, at least.
    QTest::addColumn<int>("leastRowPages");

    for (const char *code : {"PRX", "DLV", "HWN", "HWNK", "ZQF"})
        QTest::addRow("example %s", code) << examples(code) << 1 << 0 << 0;
    QTest::newRow("fixture csv") << FileReaderByCSV().read(PLINTHRA_TEST_DATA
                                                           "/csv/illustration.csv")
                                 << 1 << 0 << 0;
    QTest::newRow("fixture prx") << PrxFileReader().read(PLINTHRA_TEST_DATA "/prx/sample.log") << 1
                                 << 0 << 0;
    QTest::newRow("fixture zqf") << ZqfFileReader().read(PLINTHRA_TEST_DATA "/zqf/illustration")
                                 << 1 << 0 << 0;

#ifdef PLINTHRA_SANITIZED_BUILD
    // The whole-document reference slows down tenfold under the sanitizers.
    const int size = 300;
    const int many = 2;
    const QVector<int> someEmpty{40, 0, 300, 3, 0, 60};
#else
    const int size = fullCorpus() ? 6000 : 1200;
    const int many = 2;
    const QVector<int> someEmpty{40, 0, 700, 3, 0, 90, 55, 1, 300, 0, 120};
#endif
    QTest::newRow("one type") << rows(size, [](int i) { return QStringLiteral("u%1").arg(i % 9); })
                              << many << size / 100 << 0;
    QTest::newRow("two types") << sections({size / 3, size}) << many << size / 100 << 0;
    QTest::newRow("many types, some empty") << sections(someEmpty) << 2 << 1 << 0;
    // Rows of two lines; then rows of one and two lines by turns, drawn row by row.
    QTest::newRow("shapes change in the table") << rows(size, [size](int i) {
        if (i < size / 2 || i >= size * 3 / 4)
            return QStringLiteral("Anna Maria %1 Lindqvist").arg(i);
        return i % 2 ? QStringLiteral("u%1").arg(i)
                     : QStringLiteral("Anna Maria %1 Lindqvist").arg(i);
    }) << many << size / 100 << size / 150;
    // Rows of one and two lines mixed on every page, some split across a page's foot.
    QTest::newRow("one and two lines mixed") << rows(size, [](int i) {
        return i % 3 ? QStringLiteral("Anna Maria %1 Lindqvist").arg(i)
                     : QStringLiteral("u%1").arg(i);
    }) << many << 0 << size / 60;
    // A font the text falls back to, and text from right to left.
    QTest::newRow("another font, steadily") << rows(size, [](int i) {
        return QString::fromUtf8("\xe6\x9d\xb1\xe4\xba\xac") + QString::number(i % 13);
    }) << many << size / 100 << 0;
    QTest::newRow("right to left") << rows(size, [](int i) {
        return QString::fromUtf8("\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d ") + QString::number(i % 13);
    }) << many << size / 100 << 0;
#ifdef PLINTHRA_SANITIZED_BUILD
    // Under the sanitizers the shapes above stand for the rest, which the plain build runs.
    QTest::newRow("wrapped names") << rows(size, [](int i) {
        return i % 7 == 3 ? QStringLiteral("Anna Maria Theresa von Hohenberg-Lindqvist %1").arg(i)
                          : QStringLiteral("jo%1").arg(i);
    }) << many << 0 << 0;
    return;
#endif
    // Tall rows then short ones, the change at every place on a page in one table or another:
    // a short row may fit where a tall one would not.
    QTest::newRow("short rows after tall ones")
        << tallThenShort(fullCorpus() ? 40 : 24) << 2 << 20 << 0;
    // Rows of one and two lines in two tables: each table's end is left to the pieces.
    QTest::newRow("mixed rows in two tables")
        << merged({rows(
                       size / 2,
                       [](int i) {
                           return i % 4 ? QStringLiteral("Anna Maria %1 Lindqvist").arg(i)
                                        : QStringLiteral("u%1").arg(i);
                       },
                       "Alpha"),
                   rows(
                       size,
                       [](int i) {
                           return i % 2 ? QStringLiteral("Jo %1").arg(i)
                                        : QStringLiteral("Anna Maria %1 Lindqvist").arg(i);
                       },
                       "Beta")})
        << many << 0 << size / 100;
    // Names in a font the text falls back to, whose lines are taller, among names of two lines:
    // at a page's foot a row may keep some cells' first lines and move another's.
    QTest::newRow("taller lines among others") << rows(size, [](int i) {
        return i % 3 == 0 ? QString::fromUtf8("\xe6\x9d\xb1\xe4\xba\xac") + QString::number(i)
                          : QStringLiteral("Anna Maria %1 Lindqvist").arg(i);
    }) << many << 0 << size / 60;
    // A long address widens the first column for the whole table, though it comes late.
    QTest::newRow("wide word late in the table") << rows(size, [size](int i) {
        return i == size * 4 / 5 ? QStringLiteral("someone.with.a.long.name@example-company.com")
                                 : QStringLiteral("user%1@example.com").arg(i % 40);
    }) << many << 0 << 0;
    // Names that wrap to two and three lines: rows of several heights, some split by a page end.
    QTest::newRow("wrapped names") << rows(size, [](int i) {
        return i % 7 == 3   ? QStringLiteral("Anna Maria Theresa von Hohenberg-Lindqvist %1").arg(i)
               : i % 5 == 1 ? QStringLiteral("Jo Ng %1 and a team of many people").arg(i)
                            : QStringLiteral("jo%1").arg(i);
    }) << many << 0 << 0;
    // A word too wide for the page: the whole table's words are then broken anywhere.
    QTest::newRow("word wider than the page") << rows(size, [size](int i) {
        return i == size / 2 ? QString(PrintedText::kMaxLength * 2, QLatin1Char('W'))
                             : QStringLiteral("user%1").arg(i % 11);
    }) << many << 0 << 0;
    QTest::newRow("markup-like texts") << rows(size, [](int i) {
        const QStringList texts{"<b>bold</b>", "a&amp;b", "x<y", "&lt;tag&gt;", "100%1", "\"q\""};
        return texts.at(i % texts.size());
    }) << many << 0 << 0;
    QTest::newRow("other scripts") << rows(size, [](int i) {
        const QStringList texts{
            QString::fromUtf8("\xe6\x9d\xb1\xe4\xba\xac\xe5\xb7\xa5\xe5\xa0\xb4"),
            QString::fromUtf8("\xd0\x98\xd0\xb2\xd0\xb0\xd0\xbd\xd0\xbe\xd0\xb2"),
            QString::fromUtf8("Zo\xc3\xab"), QStringLiteral("plain")};
        return texts.at(i % texts.size()) + QString::number(i % 13);
    }) << many << 0 << 0;
    QTest::newRow("reshaped texts") << rows(size, [](int i) {
        const QStringList texts{"  lead",
                                "in  side",
                                "tab\tstop",
                                "line\nbreak",
                                QString::fromUtf8("no\xc2\xa0"
                                                  "break"),
                                "trail  "};
        return texts.at(i % texts.size());
    }) << many << 0 << 0;
    QTest::newRow("empty names") << rows(size, [](int i) {
        return i % 3 ? QString() : QStringLiteral("someone");
    }) << 2 << 0 << 0;
    if (fullCorpus()) {
        QTest::newRow("long, several kinds")
            << merged({rows(20000,
                            [](int i) { return QStringLiteral("user%1@example.com").arg(i % 37); }),
                       rows(
                           3000,
                           [](int i) { return QStringLiteral("Anna Maria %1 Lindqvist").arg(i); },
                           "Viewer")})
            << 20 << 200 << 0;
    }
}

void TestReportPages::sameAsTheWholeDocument()
{
    QFETCH(UsageTable, table);
    QFETCH(int, leastPieces);
    QFETCH(int, leastSteady);
    QFETCH(int, leastRowPages);
    QTemporaryDir folder;
    const UsageReportWriter writer;
    const QString straight = folder.filePath("straight.pdf");
    printStraight(writer.html(table), straight);
    QVERIFY(writer.writeReport(folder.path(), kCode, table));
    const QString ours = UsageReportWriter::reportFilePath(folder.path(), kCode);
    QVERIFY2(writer.piecesLaidOut() >= leastPieces,
             qPrintable(QString::number(writer.piecesLaidOut())));
    QVERIFY2(writer.steadyPagesPainted() >= leastSteady,
             qPrintable(QString::number(writer.steadyPagesPainted())));
    QVERIFY2(writer.rowPagesPainted() >= leastRowPages,
             qPrintable(QString::number(writer.rowPagesPainted())));

    const QStringList expected = PdfReader::renderPages(straight, folder.path(), "straight");
    const QStringList actual = PdfReader::renderPages(ours, folder.path(), "ours");
    QCOMPARE(actual.size(), expected.size());
    QStringList differing;
    bool wide = false;
    for (int page = 0; page < expected.size(); ++page) {
        const PageDifference difference =
            PageDifference::of(Image::read(expected.at(page)), Image::read(actual.at(page)));
        if (difference.pixels > 0 || difference.wide)
            differing << QStringLiteral("page %1: %2 pixels%3")
                             .arg(page + 1)
                             .arg(difference.pixels)
                             .arg(difference.wide ? QStringLiteral(", wider than one") : QString());
        wide = wide || difference.wide;
    }
    if (!differing.isEmpty())
        qInfo("%d of %d pages differ: %s", int(differing.size()), int(expected.size()),
              qPrintable(differing.join("; ")));
    QVERIFY2(!wide, qPrintable(differing.join("; ")));
}

// Texts that an import of their own markup reshapes cannot be appended piece by piece; the
// whole document is printed instead, and it is the same report.
void TestReportPages::fallsBackForTextsTheImportReshapes()
{
    const UsageTable table = rows(300, [](int i) {
        return i == 150 ? QString(QChar(0x2029)) + QStringLiteral("para")
                        : QStringLiteral("u%1").arg(i % 5);
    });
    QTemporaryDir folder;
    const UsageReportWriter writer;
    QVERIFY(writer.writeReport(folder.path(), kCode, table));
    QCOMPARE(writer.piecesLaidOut(), 0);
    QVERIFY(
        PdfReader::text(UsageReportWriter::reportFilePath(folder.path(), kCode)).contains("u4"));
}

// Pages are told one by one as they are printed, their count estimated until the last piece is
// laid out; stopping at a page stops the printing there and keeps the report there was.
void TestReportPages::progressHearsEveryPageAndMayStop_data()
{
    QTest::addColumn<UsageTable>("table");
    QTest::newRow("steady pages") << sections({1500, 900});
    QTest::newRow("rows of one and two lines") << rows(2400, [](int i) {
        return i % 3 ? QStringLiteral("Anna Maria %1 Lindqvist").arg(i)
                     : QStringLiteral("u%1").arg(i);
    });
}

void TestReportPages::progressHearsEveryPageAndMayStop()
{
    QFETCH(UsageTable, table);
    QTemporaryDir folder;
    const UsageReportWriter writer;
    QVector<int> pages;
    QVector<int> counts;
    QVector<bool> exact;
    QVERIFY(writer.writeReport(folder.path(), kCode, table, [&](int page, int count, bool known) {
        pages << page;
        counts << count;
        exact << known;
        return true;
    }));
    const int pageCount =
        PdfReader::pageCount(UsageReportWriter::reportFilePath(folder.path(), kCode));
    QVERIFY(pageCount > 20);
    QCOMPARE(pages.size(), pageCount);
    for (int index = 0; index < pages.size(); ++index) {
        QCOMPARE(pages.at(index), index + 1);
        QVERIFY2(counts.at(index) >= pages.at(index),
                 qPrintable(QStringLiteral("%1 of %2").arg(pages.at(index)).arg(counts.at(index))));
    }
    QVERIFY(!exact.constFirst());
    QVERIFY(exact.constLast());
    QCOMPARE(counts.constLast(), pageCount);
    // The estimate is near the count well before the end.
    const int half = pageCount / 2;
    QVERIFY2(qAbs(counts.at(half) - pageCount) <= pageCount / 10,
             qPrintable(QStringLiteral("%1 against %2").arg(counts.at(half)).arg(pageCount)));

    // Stopped in the first piece, and among pages drawn without a document.
    for (const int stop : {5, pageCount / 2}) {
        QVERIFY(TestSupport::writeFile(UsageReportWriter::reportFilePath(folder.path(), kCode),
                                       "earlier report"));
        int asked = 0;
        FileFailure failure;
        QVERIFY(!writer.writeReport(
            folder.path(), kCode, table,
            [&](int page, int, bool) {
                asked = page;
                return page < stop;
            },
            &failure));
        QCOMPARE(asked, stop);
        QCOMPARE(failure.kind(), FileFailure::Cancelled);
        QCOMPARE(TestSupport::readFile(UsageReportWriter::reportFilePath(folder.path(), kCode)),
                 QByteArray("earlier report"));
        if (stop > 5)
            QVERIFY(writer.steadyPagesPainted() + writer.rowPagesPainted() > 0);
    }
}

QTEST_MAIN(TestReportPages)
// A column keeps a few layouts, then drops them all and starts again; whichever way a text's
// layout comes, it is that text's, broken into the lines a fresh layout has.
void TestReportPages::cellLayoutsAreKeptAndStartAgain()
{
    QImage device(100, 100, QImage::Format_RGB32);
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QFont font(QStringLiteral("DejaVu Sans"), 9);
    const qreal width = 60;
    CellTextLayouts layouts(&device, {{font, width, option}}, 2);
    const QStringList texts{"short", "a name long enough for a few lines", "x",
                            QString::fromUtf8("\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d"), "short"};
    QVector<int> shortShape;
    for (int round = 0; round < 2; ++round) {
        for (const QString &text : texts) {
            const QTextLayout &laid = layouts.layout(0, text);
            QCOMPARE(laid.text(), text);
            QTextLayout fresh(text, font, &device);
            fresh.setTextOption(option);
            fresh.beginLayout();
            for (QTextLine line = fresh.createLine(); line.isValid(); line = fresh.createLine())
                line.setLineWidth(width);
            fresh.endLayout();
            QCOMPARE(laid.lineCount(), fresh.lineCount());
            for (int line = 0; line < fresh.lineCount(); ++line)
                QCOMPARE(laid.lineAt(line).textLength(), fresh.lineAt(line).textLength());
            QVector<int> shape;
            layouts.addShape(0, text, &shape);
            // Direction, line count, then two heights a line.
            QCOMPARE(shape.size(), 2 + 2 * fresh.lineCount());
            QCOMPARE(shape.at(0), int(text.isRightToLeft()));
            if (text == QLatin1String("short")) {
                if (shortShape.isEmpty())
                    shortShape = shape;
                QCOMPARE(shape, shortShape);
            }
        }
    }
    QVERIFY(layouts.layout(0, texts.at(1)).lineCount() >= 3);
}

#include "tst_reportpages.moc"
