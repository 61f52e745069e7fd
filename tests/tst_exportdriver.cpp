#include "exportdriver.h"
#include "pdfreader.h"
#include "productconfigstore.h"
#include "prxfilereader.h"
#include "readerregistry.h"
#include "sortkey.h"
#include "testsupport.h"
#include "timeorder.h"
#include "usagereportwriter.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <limits>

namespace {

const QString kPublic = QStringLiteral("/pub");

// Answers every location with the table prepared for it and remembers what it was asked.
class CannedReader : public IFileReader
{
public:
    UsageTable read(const QString &path) override
    {
        asked << path;
        return tables.value(path);
    }

    QMap<QString, UsageTable> tables;
    QStringList asked;
};

UsageRecord row(const QString &user, const QDateTime &when, const QString &action = "In")
{
    return UsageRecord(user, QStringLiteral("42"), when, action);
}

QDateTime at(const QString &text)
{
    return QDateTime::fromString(text, Qt::ISODateWithMs);
}

QStringList users(const UsageRecordList &rows)
{
    QStringList names;
    for (const UsageRecord &record : rows)
        names << record.userName();
    return names;
}

// A configuration file with the given text in a folder that lives as long as the test.
class ConfigFixture
{
public:
    explicit ConfigFixture(const QByteArray &ini) { TestSupport::writeFile(path(), ini); }
    QString path() const { return m_folder.path() + QStringLiteral("/ProductConfig.ini"); }
    QString folder() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
};

const QByteArray kTwoConfigs = "[PRODUCT]\n"
                               "products=PRX|ABC\n"
                               "[PRX]\n"
                               "configs=Main|Second\n"
                               "[ABC]\n"
                               "configs=Main\n"
                               "[Main]\n"
                               "Company=Maker\nproduct=Tool\nPlatform_Code=x64\nlog_name=a.log\n"
                               "[Second]\n"
                               "Company=Maker\nproduct=Tool\nPlatform_Code=x86\nlog_name=b.log\n";

} // namespace

class TestExportDriver : public QObject
{
    Q_OBJECT

private slots:
    void logLocation_data();
    void logLocation();
    void readsEveryConfigurationWithOneReader();
    void readsEachLocationOnce_data();
    void readsEachLocationOnce();
    void mergesAndOrdersByTime();
    void keepsKeyWithEmptyList();
    void mergeByMoveSameAsByCopy();
    void orderInPlaceSameAsStableSort();
    void unknownCodeReadsNothing();
    void canExport_data();
    void canExport();
    void reportCarriesConfiguredHeader();
    void readingTwiceReadsAfresh();
};

void TestExportDriver::logLocation_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("logName");
    QTest::addColumn<QString>("expected");
    QTest::newRow("all set") << "Maker"
                             << "Tool"
                             << "x64"
                             << "run.log"
                             << "Maker/Tool/x64/run.log";
    QTest::newRow("empty members") << ""
                                   << ""
                                   << ""
                                   << "x"
                                   << "///x";
    QTest::newRow("separators kept") << "A/"
                                     << "\\B"
                                     << "C"
                                     << "D/"
                                     << "A//\\B/C/D/";
}

void TestExportDriver::logLocation()
{
    QFETCH(QString, company);
    QFETCH(QString, product);
    QFETCH(QString, platform);
    QFETCH(QString, logName);
    QFETCH(QString, expected);
    const ProductConfigStruct config{company, product, platform, logName};
    QCOMPARE(ExportDriver::logLocation(config), expected);
}

void TestExportDriver::readsEveryConfigurationWithOneReader()
{
    const ConfigFixture ini(
        "[PRODUCT]\nproducts=PRX\n[PRX]\nconfigs=Main|Bare\n"
        "[Main]\nCompany=Maker\nproduct=Tool\nPlatform_Code=x64\nlog_name=a.log\n"
        "[Bare]\nlog_name=x\n");
    const ProductConfigStore store(ini.path());
    ReaderRegistry registry;
    QSharedPointer<CannedReader> reader(new CannedReader);
    registry.registerReader(QStringLiteral("PRX"), reader);

    bool hasReader = false;
    ExportDriver(store, registry, kPublic).collectUsage(QStringLiteral("PRX"), &hasReader);
    QVERIFY(hasReader);
    QCOMPARE(reader->asked, QStringList({"/pub/Maker/Tool/x64/a.log", "/pub////x"}));

    // Without a public documents folder every location starts with the separator.
    reader->asked.clear();
    ExportDriver(store, registry, QString()).collectUsage(QStringLiteral("PRX"));
    QCOMPARE(reader->asked, QStringList({"/Maker/Tool/x64/a.log", "////x"}));
}

void TestExportDriver::readsEachLocationOnce_data()
{
    QTest::addColumn<QByteArray>("configs");
    QTest::addColumn<QStringList>("asked");
    const QString a = QStringLiteral("/pub/Maker/Tool/x64/a.log");
    const QString b = QStringLiteral("/pub/Maker/Tool/x86/b.log");
    QTest::newRow("one configuration listed twice") << QByteArray("Main|Main") << QStringList{a};
    QTest::newRow("two names for one location") << QByteArray("Main|Same") << QStringList{a};
    QTest::newRow("listed again later")
        << QByteArray("Main|Second|Same|Main|Second") << QStringList{a, b};
}

// The same location listed twice used to be read twice, and every one of its rows counted
// twice.
void TestExportDriver::readsEachLocationOnce()
{
    QFETCH(QByteArray, configs);
    QFETCH(QStringList, asked);
    const ConfigFixture ini(kTwoConfigs +
                            "[Same]\nCompany=Maker\nproduct=Tool\n"
                            "Platform_Code=x64\nlog_name=a.log\n"
                            "[PRX]\nconfigs=" +
                            configs + "\n");
    const ProductConfigStore store(ini.path());
    ReaderRegistry registry;
    QSharedPointer<CannedReader> reader(new CannedReader);
    registry.registerReader(QStringLiteral("PRX"), reader);
    reader->tables["/pub/Maker/Tool/x64/a.log"][QStringLiteral("K")]
        << row("anna", at("2024-03-05T08:00:00"));
    UsageSessions sessions;
    const UsageTable merged =
        ExportDriver(store, registry, kPublic).collectUsage("PRX", nullptr, &sessions);
    QCOMPARE(reader->asked, asked);
    QCOMPARE(users(merged.value("K")), QStringList{"anna"});
}

void TestExportDriver::mergesAndOrdersByTime()
{
    const ConfigFixture ini(kTwoConfigs);
    const ProductConfigStore store(ini.path());
    ReaderRegistry registry;
    QSharedPointer<CannedReader> reader(new CannedReader);
    registry.registerReader(QStringLiteral("PRX"), reader);

    UsageTable first;
    first[QStringLiteral("K")] << row("k-late", at("2024-03-05T12:00:00"))
                               << row("k-invalid", QDateTime())
                               << row("k-early", at("2024-03-05T08:00:00"));
    first[QStringLiteral("L")] << row("l-late", at("2024-03-06T00:00:00"));
    UsageTable second;
    second[QStringLiteral("K")] << row("k-middle", at("2024-03-05T10:00:00"))
                                << row("k-same-second", at("2024-03-05T12:00:00.900"))
                                << row("k-before-1970", at("1969-12-31T00:00:00"))
                                << row("k-after-2106", at("2107-01-01T00:00:00"));
    second[QStringLiteral("L")] << row("l-early", at("2024-03-01T00:00:00"));
    reader->tables.insert("/pub/Maker/Tool/x64/a.log", first);
    reader->tables.insert("/pub/Maker/Tool/x86/b.log", second);

    const UsageTable merged = ExportDriver(store, registry, kPublic).collectUsage("PRX");
    QCOMPARE(merged.keys(), QStringList({"K", "L"}));
    // Equal seconds keep their merged order, whatever the year; invalid date-times go last.
    QCOMPARE(users(merged.value("K")),
             QStringList({"k-before-1970", "k-early", "k-middle", "k-late", "k-same-second",
                          "k-after-2106", "k-invalid"}));
    QCOMPARE(users(merged.value("L")), QStringList({"l-early", "l-late"}));
}

void TestExportDriver::keepsKeyWithEmptyList()
{
    UsageTable merged;
    merged[QStringLiteral("B")] << row("b", at("2024-03-05T12:00:00"));
    UsageTable part;
    part[QStringLiteral("A")] = UsageRecordList();
    part[QStringLiteral("B")] = UsageRecordList();
    ExportDriver::merge(merged, part);
    QCOMPARE(merged.keys(), QStringList({"A", "B"}));
    QVERIFY(merged.value("A").isEmpty());
    QCOMPARE(users(merged.value("B")), QStringList{"b"});
}

// Parts of several keys, some empty, some new to the merged table.
void TestExportDriver::mergeByMoveSameAsByCopy()
{
    QVector<UsageTable> parts(4);
    for (int p = 0; p < parts.size(); ++p) {
        for (int k = 0; k <= p; ++k) {
            UsageRecordList &rows = parts[p][QStringLiteral("K%1").arg(k)];
            for (int r = 0; r < (p + k) % 3 * 2; ++r)
                rows << row(QStringLiteral("p%1k%2r%3").arg(p).arg(k).arg(r),
                            at("2024-03-05T12:00:00").addSecs((p * 7 + r * 5) % 11));
        }
    }
    UsageTable byCopy;
    UsageTable byMove;
    for (const UsageTable &part : parts) {
        ExportDriver::merge(byCopy, part);
        ExportDriver::merge(byMove, UsageTable(part));
    }
    QCOMPARE(TestSupport::describe(byMove), TestSupport::describe(byCopy));
    QVERIFY(TestSupport::describe(byCopy).size() > 10);
}

// The rows are put in order in place, cycle by cycle; any permutation must come out as the
// plain stable sort by seconds since the epoch gives it, invalid last. Sets of ordinary dates
// keep the quick 32-bit keys; a row before 1970 or after 2106 needs the wide ones.
void TestExportDriver::orderInPlaceSameAsStableSort()
{
    QRandomGenerator random(99);
    const auto seconds = [](const UsageRecord &record) {
        return record.dateTime().isValid() ? record.dateTime().toSecsSinceEpoch()
                                           : std::numeric_limits<qint64>::max();
    };
    for (const bool far : {false, true}) {
        for (int size : {0, 1, 2, 7, 100, 2000}) {
            UsageTable table;
            UsageRecordList &rows = table[QStringLiteral("K")];
            for (int i = 0; i < size; ++i) {
                QDateTime when = random.bounded(10) == 0
                                     ? QDateTime()
                                     : at("2024-03-05T12:00:00").addSecs(random.bounded(50));
                if (far && random.bounded(4) == 0)
                    when = at("1969-12-31T23:59:30")
                               .addYears(random.bounded(2) * 138)
                               .addSecs(random.bounded(50));
                rows << row(QString::number(i), when);
            }
            UsageRecordList expected = rows;
            std::stable_sort(expected.begin(), expected.end(),
                             [&](const UsageRecord &a, const UsageRecord &b) {
                                 return seconds(a) < seconds(b);
                             });
            const bool needsWide = std::any_of(rows.begin(), rows.end(), [&](const UsageRecord &r) {
                return r.dateTime().isValid() &&
                       (seconds(r) < 0 || seconds(r) >= qint64(SortKey::Invalid));
            });
            const quint64 wideBefore = TimeOrder::wideSorts();
            ExportDriver::orderByTime(table);
            QCOMPARE(users(table.value("K")), users(expected));
            QCOMPARE(TimeOrder::wideSorts() - wideBefore, quint64(needsWide ? 1 : 0));
            // Guards the comparison: the far sets do hold rows the 32-bit keys cannot.
            QVERIFY(needsWide == (far && size >= 100) || size < 100);
        }
    }
}

void TestExportDriver::unknownCodeReadsNothing()
{
    const ConfigFixture ini(kTwoConfigs);
    const ProductConfigStore store(ini.path());
    ReaderRegistry registry;
    QSharedPointer<CannedReader> reader(new CannedReader);
    registry.registerReader(QStringLiteral("PRX"), reader);

    const ExportDriver driver(store, registry, kPublic);
    // ABC is configured, but no reader serves it; prx is not PRX.
    for (const QString code : {"ABC", "prx", ""}) {
        bool hasReader = true;
        QVERIFY(driver.collectUsage(code, &hasReader).isEmpty());
        QVERIFY(!hasReader);
    }
    QVERIFY(reader->asked.isEmpty());
}

void TestExportDriver::canExport_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("expected");
    QTest::newRow("existing") << QDir::tempPath() << true;
    QTest::newRow("missing") << QDir::tempPath() + "/plinthra-no-such-folder/x" << false;
    QTest::newRow("empty text is the working folder") << QString() << true;
    QTest::newRow("a file") << QStringLiteral(PLINTHRA_TEST_DATA "/../CMakeLists.txt") << false;
}

void TestExportDriver::canExport()
{
    QFETCH(QString, folder);
    QFETCH(bool, expected);
    const ConfigFixture ini(kTwoConfigs);
    const ProductConfigStore store(ini.path());
    ReaderRegistry registry;
    const ExportDriver driver(store, registry, kPublic);
    QCOMPARE(driver.canExport(QStringLiteral("PRX"), folder), expected);
    QCOMPARE(driver.canExport(QStringLiteral("unknown"), folder), expected);
}

void TestExportDriver::reportCarriesConfiguredHeader()
{
    const ConfigFixture ini(kTwoConfigs +
                            "[REPORT_HEADER]\ncompany=Plinth Works\nline1=1 Quarry Lane\n"
                            "line7=Reg. 123\n");
    const ProductConfigStore store(ini.path());
    ReaderRegistry registry;
    QSharedPointer<CannedReader> reader(new CannedReader);
    reader->tables["/pub/Maker/Tool/x64/a.log"]["K"] << row("ann", at("2024-03-05T12:00:00"));
    registry.registerReader(QStringLiteral("PRX"), reader);
    QTemporaryDir out;

    // The header block the export road hands the report writer.
    const ExportDriver driver(store, registry, kPublic);
    QVERIFY(UsageReportWriter(store.reportHeader())
                .writeReport(out.path(), "PRX", driver.collectUsage("PRX")));
    const QString text = PdfReader::text(UsageReportWriter::reportFilePath(out.path(), "PRX"));
    QVERIFY2(text.contains("Plinth Works") && text.contains("1 Quarry Lane") &&
                 text.contains("Reg. 123") && !text.contains("Company Name"),
             qPrintable(text));
}

void TestExportDriver::readingTwiceReadsAfresh()
{
    const ConfigFixture ini(kTwoConfigs);
    const ProductConfigStore store(ini.path());
    ReaderRegistry registry;
    QSharedPointer<CannedReader> reader(new CannedReader);
    registry.registerReader(QStringLiteral("PRX"), reader);
    const ExportDriver driver(store, registry, kPublic);

    reader->tables["/pub/Maker/Tool/x64/a.log"]["K"] << row("before", at("2024-03-05T12:00:00"));
    QCOMPARE(users(driver.collectUsage("PRX").value("K")), QStringList{"before"});
    reader->tables["/pub/Maker/Tool/x64/a.log"]["K"] = {row("after", at("2024-03-05T12:00:00"))};
    QCOMPARE(users(driver.collectUsage("PRX").value("K")), QStringList{"after"});
    QCOMPARE(reader->asked.size(), 4);
}

QTEST_MAIN(TestExportDriver)
#include "tst_exportdriver.moc"
