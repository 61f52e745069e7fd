#include "exportcommand.h"
#include "pdfreader.h"
#include "testsupport.h"
#include "usagecsvwriter.h"
#include "usagesummary.h"
#include "usagesummarywriter.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

const QByteArray kIni =
    "[PRODUCT]\nproducts=DLV|NEW|ZQF\n"
    "[DLV]\nconfigs=Main|Second\n"
    "[Main]\nCompany=Acme\nproduct=DLV\nPlatform_Code=x64\nlog_name=usage.csv\n"
    "[Second]\nCompany=Acme\nproduct=DLV\nPlatform_Code=x86\nlog_name=usage.csv\n"
    "[ZQF]\nconfigs=Logs\n"
    "[Logs]\nCompany=Acme\nproduct=ZQF\nPlatform_Code=x64\nlog_name=Logs\n";

// Three uses on three days, one with a start moment that does not parse, and user names that
// need quoting in CSV.
const QByteArray kMainCsv = "anna,4711,Suite,2024-03-05 08:00,2024-03-05 09:30\n"
                            "\"bo\" b,4712,Suite,2024-03-06 13:15,2024-03-06 17:45\n"
                            "carl,  9 ,Suite,2024-03-07 10:00:00,2024-03-07 11:00\n";
const QByteArray kSecondCsv = "dora,4714,Suite,2024/03/05 07:00,2024/03/05 07:30\n";

struct Result
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class TestExportCommand : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_config;
    QString m_public;

    Result run(const QStringList &arguments, bool withPaths = true)
    {
        QStringList all{"PlinthraUsageExport"};
        if (withPaths)
            all << "--config" << m_config << "--public-documents" << m_public;
        all << arguments;
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        Result result;
        result.code = ExportCommand::run(all, &out, &err);
        result.out = out.data();
        result.err = err.data();
        return result;
    }

    QString newFolder()
    {
        static int counter = 0;
        const QString path = m_dir.filePath(QStringLiteral("out%1").arg(++counter));
        QDir().mkpath(path);
        return path;
    }

private slots:
    void initTestCase();
    void writesReport();
    void dateRangeAndCsv_data();
    void dateRangeAndCsv();
    void csvFileHasByteOrderMark();
    void sessionsCsv_data();
    void sessionsCsv();
    void summaryJson();
    void summaryPdf();
    void unwritableSummaryKeepsEverything();
    void outcomes_data();
    void outcomes();
    void unreadableLogs();
    void noReader_data();
    void noReader();
    void missingExportFolder();
    void unwritableTargetsKeepPreviousFiles();
    void usageErrors_data();
    void usageErrors();
    void listProducts();
    void messagesSayWhatToDo_data();
    void messagesSayWhatToDo();
    void noReportWritesOnlyTheRest();
    void severalProductTypesInOneLogAreSaid();
    void licencesOwnedAndIdleDays();
    void summaryKeepsEachTypesChartsOnOnePage();
    void concurrencyAsStretches();
    void sameLogUnderAnotherSpelling_data();
    void sameLogUnderAnotherSpelling();
    void helpAndVersion();
    void runsWithoutDisplay();
};

void TestExportCommand::initTestCase()
{
    m_config = m_dir.filePath("ProductConfig.ini");
    m_public = m_dir.filePath("public");
    TestSupport::writeFile(m_config, kIni);
    TestSupport::writeFile(m_public + "/Acme/DLV/x64/usage.csv", kMainCsv);
    TestSupport::writeFile(m_public + "/Acme/DLV/x86/usage.csv", kSecondCsv);
}

void TestExportCommand::writesReport()
{
    const QString folder = newFolder();
    const Result result = run({"DLV", folder});
    QCOMPARE(result.code, int(ExportCommand::Success));
    const QString report = folder + "/DLV_UsageReport.pdf";
    QCOMPARE(result.err, QString("Wrote %1 (8 rows, 1 product type)\n").arg(report).toUtf8());
    QVERIFY(result.out.isEmpty());
    QVERIFY(TestSupport::readFile(report).startsWith("%PDF"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"DLV_UsageReport.pdf"});
}

void TestExportCommand::dateRangeAndCsv_data()
{
    QTest::addColumn<QStringList>("range");
    QTest::addColumn<QByteArray>("csv");
    const QByteArray header = "Product type,Username,Dongle No.,Date,Time,Log\n";
    QTest::newRow("everything, in time order, unparsable last")
        << QStringList()
        << header + "Suite,dora,4714,2024-03-05,07:00:00,In\n"
                    "Suite,dora,4714,2024-03-05,07:30:00,Out\n"
                    "Suite,anna,4711,2024-03-05,08:00:00,In\n"
                    "Suite,anna,4711,2024-03-05,09:30:00,Out\n"
                    "Suite,\"\"\"bo\"\" b\",4712,2024-03-06,13:15:00,In\n"
                    "Suite,\"\"\"bo\"\" b\",4712,2024-03-06,17:45:00,Out\n"
                    "Suite,carl,  9 ,2024-03-07,11:00:00,Out\n"
                    "Suite,carl,  9 ,,,In\n";
    QTest::newRow("one day") << QStringList{"--from", "2024-03-06", "--to", "2024-03-06"}
                             << header + "Suite,\"\"\"bo\"\" b\",4712,2024-03-06,13:15:00,In\n"
                                         "Suite,\"\"\"bo\"\" b\",4712,2024-03-06,17:45:00,Out\n";
    QTest::newRow("from only drops undated rows")
        << QStringList{"--from", "2024-03-07"}
        << header + "Suite,carl,  9 ,2024-03-07,11:00:00,Out\n";
    QTest::newRow("empty range") << QStringList{"--from", "2024-03-08", "--to", "2024-03-09"}
                                 << header;
}

void TestExportCommand::dateRangeAndCsv()
{
    QFETCH(QStringList, range);
    QFETCH(QByteArray, csv);
    const QString folder = newFolder();
    const Result result = run(range + QStringList{"--csv", "-", "DLV", folder});
    QCOMPARE(result.code, int(ExportCommand::Success));
    QCOMPARE(result.out, csv);
    const int rows = csv.count('\n') - 1;
    QVERIFY2(result.err.contains(QByteArray("(") + QByteArray::number(rows) +
                                 (rows == 1 ? " row," : " rows,")),
             result.err.constData());
}

void TestExportCommand::csvFileHasByteOrderMark()
{
    const QString folder = newFolder();
    const QString csvPath = folder + "/usage.csv";
    const Result result = run({"--csv", csvPath, "--to", "2024-03-05", "DLV", folder});
    QCOMPARE(result.code, int(ExportCommand::Success));
    QVERIFY(result.out.isEmpty());
    QCOMPARE(TestSupport::readFile(csvPath),
             QByteArray("\xEF\xBB\xBF"
                        "Product type,Username,Dongle No.,Date,Time,Log\n"
                        "Suite,dora,4714,2024-03-05,07:00:00,In\n"
                        "Suite,dora,4714,2024-03-05,07:30:00,Out\n"
                        "Suite,anna,4711,2024-03-05,08:00:00,In\n"
                        "Suite,anna,4711,2024-03-05,09:30:00,Out\n"));
}

void TestExportCommand::sessionsCsv_data()
{
    QTest::addColumn<QStringList>("range");
    QTest::addColumn<QByteArray>("csv");
    const QByteArray header = "Product type,Username,Dongle No.,Start,End,Seconds,State\n";
    // Each location's rows are paired on their own, then ordered by start, undated last.
    QTest::newRow("everything")
        << QStringList()
        << header + "Suite,dora,4714,2024-03-05 07:00:00,2024-03-05 07:30:00,1800,closed\n"
                    "Suite,anna,4711,2024-03-05 08:00:00,2024-03-05 09:30:00,5400,closed\n"
                    "Suite,\"\"\"bo\"\" b\",4712,2024-03-06 13:15:00,2024-03-06 17:45:00,16200,"
                    "closed\n"
                    "Suite,carl,  9 ,,2024-03-07 11:00:00,,undated\n";
    QTest::newRow("a range drops what has no start")
        << QStringList{"--from", "2024-03-06"}
        << header + "Suite,\"\"\"bo\"\" b\",4712,2024-03-06 13:15:00,2024-03-06 17:45:00,16200,"
                    "closed\n";
}

void TestExportCommand::sessionsCsv()
{
    QFETCH(QStringList, range);
    QFETCH(QByteArray, csv);
    const QString folder = newFolder();
    const Result toOut = run(range + QStringList{"--sessions", "-", "DLV", folder});
    QCOMPARE(toOut.code, int(ExportCommand::Success));
    QCOMPARE(toOut.out, csv);
    const int sessions = csv.count('\n') - 1;
    QVERIFY2(toOut.err.endsWith(QByteArray(", ") + QByteArray::number(sessions) +
                                (sessions == 1 ? " session)\n" : " sessions)\n")),
             toOut.err.constData());

    const Result toFile = run(range + QStringList{"--sessions", folder + "/s.csv", "DLV", folder});
    QCOMPARE(toFile.code, int(ExportCommand::Success));
    QCOMPARE(TestSupport::readFile(folder + "/s.csv"), "\xEF\xBB\xBF" + csv);
}

void TestExportCommand::summaryJson()
{
    const QString folder = newFolder();
    const Result result = run({"--summary-json", "-", "--to", "2024-03-31", "DLV", folder});
    QCOMPARE(result.code, int(ExportCommand::Success));
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(result.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(root.value("product").toString(), QString("DLV"));
    QVERIFY(root.value("from").isNull());
    QCOMPARE(root.value("to").toString(), QString("2024-03-31"));
    const QJsonArray types = root.value("productTypes").toArray();
    QCOMPARE(types.size(), 1);
    const QJsonObject suite = types.at(0).toObject();
    const QJsonObject expected{
        {"name", "Suite"},
        {"closedSessions", 3},
        {"openSessions", 0},
        {"undatedSessions", 0},
        {"invalidSessions", 0},
        {"unpairedEnds", 0},
        {"users", 3},
        {"dongles", 3},
        {"totalSeconds", 23400},
        {"peakConcurrent", 1},
        {"peakStart", "2024-03-05T07:00:00"},
    };
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QCOMPARE(suite.value(it.key()), it.value());
    const QJsonArray users = suite.value("perUser").toArray();
    QCOMPARE(users.size(), 3);
    QCOMPARE(users.at(0).toObject(), QJsonObject({{"name", "\"bo\" b"},
                                                  {"closedSessions", 1},
                                                  {"totalSeconds", 16200},
                                                  {"peakConcurrent", 1},
                                                  {"firstStart", "2024-03-06T13:15:00"},
                                                  {"lastStart", "2024-03-06T13:15:00"}}));
    QCOMPARE(users.at(2).toObject().value("name").toString(), QString("dora"));
}

void TestExportCommand::summaryPdf()
{
    const QString folder = newFolder();
    const Result result = run({"--summary", "DLV", folder});
    QCOMPARE(result.code, int(ExportCommand::Success));
    const QString summary = folder + "/DLV_UsageSummary.pdf";
    QVERIFY2(result.err.contains(" and " + summary.toUtf8()), result.err.constData());
    QCOMPARE(PdfReader::pageSize(summary), QString("595 x 842 pts (A4)"));
    const QString text = PdfReader::text(summary);
    for (const char *expected :
         {"USAGE SUMMARY", "Product: DLV", "Period: 2024-03-05 to 2024-03-06",
          "Product type: Suite", "Total hours: 6.5",
          "Peak concurrent use: 1 at 2024-03-05 07:00:00", "Users by hours", "\"bo\" b"})
        QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
    // The report itself is the one a plain export writes.
    const QString plain = newFolder();
    QCOMPARE(run({"DLV", plain}).code, int(ExportCommand::Success));
    QCOMPARE(PdfReader::text(folder + "/DLV_UsageReport.pdf"),
             PdfReader::text(plain + "/DLV_UsageReport.pdf"));
}

void TestExportCommand::unwritableSummaryKeepsEverything()
{
    const QString folder = newFolder();
    TestSupport::writeFile(folder + "/DLV_UsageReport.pdf", "previous report");
    TestSupport::writeFile(folder + "/s.csv", "previous sessions");
    QVERIFY(QDir().mkpath(folder + "/DLV_UsageSummary.pdf"));
    const Result result = run({"--summary", "--sessions", folder + "/s.csv", "DLV", folder});
    QCOMPARE(result.code, int(ExportCommand::WriteFailed));
    QVERIFY2(result.err.startsWith("Could not write " + folder.toUtf8() + "/DLV_UsageSummary.pdf"),
             result.err.constData());
    QCOMPARE(TestSupport::readFile(folder + "/DLV_UsageReport.pdf"), QByteArray("previous report"));
    QCOMPARE(TestSupport::readFile(folder + "/s.csv"), QByteArray("previous sessions"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList({"DLV_UsageReport.pdf", "s.csv"}));
}

void TestExportCommand::outcomes_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("publicFolder");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("sentence");
    QTest::newRow("no configuration") << "none.ini"
                                      << "public"
                                      << "folder" << 66 << "Cannot read the product configuration ";
    QTest::newRow("no log of the product") << "ProductConfig.ini"
                                           << "elsewhere"
                                           << "folder" << 4 << "No log of DLV was found";
    QTest::newRow("export folder is a file") << "ProductConfig.ini"
                                             << "public"
                                             << "file" << 2 << "Export folder is not a folder: ";
}

void TestExportCommand::outcomes()
{
    QFETCH(QString, config);
    QFETCH(QString, publicFolder);
    QFETCH(QString, target);
    QFETCH(int, code);
    QFETCH(QString, sentence);
    const QString folder = newFolder();
    TestSupport::writeFile(folder + "/DLV_UsageReport.pdf", "last month's report");
    TestSupport::writeFile(folder + "/file", "a file");
    const Result result =
        run({"--config", m_dir.filePath(config), "--public-documents", m_dir.filePath(publicFolder),
             "DLV", target == "file" ? folder + "/file" : folder},
            false);
    QCOMPARE(result.code, code);
    QVERIFY2(result.err.startsWith(sentence.toUtf8()), result.err.constData());
    QCOMPARE(result.err.count('\n'), 1);
    // Nothing replaces the last good report.
    QCOMPARE(TestSupport::readFile(folder + "/DLV_UsageReport.pdf"),
             QByteArray("last month's report"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList({"DLV_UsageReport.pdf", "file"}));
}

void TestExportCommand::unreadableLogs()
{
#ifdef Q_OS_UNIX
    // One location is a FIFO (reading it would wait forever), the other a regular log.
    const QString publicFolder = m_dir.filePath("public-fifo");
    QVERIFY(TestSupport::writeFile(publicFolder + "/Acme/DLV/x64/usage.csv", kMainCsv));
    QVERIFY(QDir().mkpath(publicFolder + "/Acme/DLV/x86"));
    const QString fifo = publicFolder + "/Acme/DLV/x86/usage.csv";
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = newFolder();
    Result result =
        run({"--config", m_config, "--public-documents", publicFolder, "DLV", folder}, false);
    QCOMPARE(result.code, int(ExportCommand::UnreadableLogs));
    QVERIFY2(
        result.err.endsWith("(6 rows, 1 product type); could not read " + fifo.toUtf8() + "\n"),
        result.err.constData());
    QVERIFY(QFileInfo::exists(folder + "/DLV_UsageReport.pdf"));

    // With nothing readable at all, nothing replaces the last report.
    QVERIFY(QFile::remove(publicFolder + "/Acme/DLV/x64/usage.csv"));
    TestSupport::writeFile(folder + "/DLV_UsageReport.pdf", "last month's report");
    result = run({"--config", m_config, "--public-documents", publicFolder, "DLV", folder}, false);
    QCOMPARE(result.code, int(ExportCommand::NoLogs));
    QVERIFY2(result.err.contains("could not read " + fifo.toUtf8()), result.err.constData());
    QCOMPARE(TestSupport::readFile(folder + "/DLV_UsageReport.pdf"),
             QByteArray("last month's report"));
#endif
}

void TestExportCommand::noReader_data()
{
    QTest::addColumn<QString>("code");
    QTest::newRow("configured but unknown") << "NEW";
    QTest::newRow("known but not configured") << "PRX";
    QTest::newRow("lower case") << "dlv";
}

void TestExportCommand::noReader()
{
    QFETCH(QString, code);
    const QString folder = newFolder();
    const Result result = run({code, folder});
    QCOMPARE(result.code, int(ExportCommand::NoReader));
    QVERIFY(result.err.contains("codes with a reader: DLV, ZQF"));
    QCOMPARE(result.err.count('\n'), 1);
    QVERIFY(QDir(folder).entryList(QDir::Files).isEmpty());
}

void TestExportCommand::missingExportFolder()
{
    const Result result = run({"DLV", m_dir.filePath("nowhere")});
    QCOMPARE(result.code, int(ExportCommand::NoExportFolder));
    QCOMPARE(result.err.count('\n'), 1);
    QVERIFY(!QFileInfo::exists(m_dir.filePath("nowhere")));
}

void TestExportCommand::unwritableTargetsKeepPreviousFiles()
{
    const QString folder = newFolder();
    const QString csvPath = folder + "/usage.csv";
    TestSupport::writeFile(csvPath, "previous csv");
    // A folder where the report should go: the report cannot be written, so the CSV stays too.
    QVERIFY(QDir().mkpath(folder + "/DLV_UsageReport.pdf"));
    Result result = run({"--csv", csvPath, "DLV", folder});
    QCOMPARE(result.code, int(ExportCommand::WriteFailed));
    QCOMPARE(result.err.count('\n'), 1);
    QCOMPARE(TestSupport::readFile(csvPath), QByteArray("previous csv"));
    QVERIFY(QFileInfo(folder + "/DLV_UsageReport.pdf").isDir());

    // A CSV path that is a folder: nothing is written, the previous report stays.
    const QString other = newFolder();
    TestSupport::writeFile(other + "/DLV_UsageReport.pdf", "previous report");
    QVERIFY(QDir().mkpath(other + "/csv"));
    result = run({"--csv", other + "/csv", "DLV", other});
    QCOMPARE(result.code, int(ExportCommand::WriteFailed));
    QCOMPARE(TestSupport::readFile(other + "/DLV_UsageReport.pdf"), QByteArray("previous report"));
    QCOMPARE(QDir(other).entryList(QDir::Files), QStringList{"DLV_UsageReport.pdf"});
}

void TestExportCommand::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"--bogus", "DLV", "/tmp"};
    QTest::newRow("missing folder argument") << QStringList{"DLV"};
    QTest::newRow("too many arguments") << QStringList{"DLV", "/tmp", "extra"};
    QTest::newRow("bad date") << QStringList{"--from", "2024-13-01", "DLV", "/tmp"};
    QTest::newRow("date in another form") << QStringList{"--to", "05.03.2024", "DLV", "/tmp"};
    QTest::newRow("option without value") << QStringList{"DLV", "/tmp", "--csv"};
    QTest::newRow("list with arguments") << QStringList{"--list-products", "DLV"};
    QTest::newRow("a date that does not exist")
        << QStringList{"--from", "2024-02-30", "DLV", "/tmp"};
    QTest::newRow("reversed range")
        << QStringList{"--from", "2024-03-08", "--to", "2024-03-01", "DLV", "/tmp"};
    QTest::newRow("two outputs on standard output")
        << QStringList{"--csv", "-", "--sessions", "-", "DLV", "/tmp"};
    QTest::newRow("summary JSON and sessions on standard output")
        << QStringList{"--summary-json", "-", "--sessions", "-", "DLV", "/tmp"};
    QTest::newRow("sessions without a file name") << QStringList{"--sessions=", "DLV", "/tmp"};
    QTest::newRow("no report and nothing else") << QStringList{"--no-report", "DLV", "/tmp"};
    QTest::newRow("licence file that is not there")
        << QStringList{"--licences", "/nonexistent/Licences.ini", "--summary", "DLV", "/tmp"};
    QTest::newRow("idle days not a number")
        << QStringList{"--idle-days", "a month", "--summary", "DLV", "/tmp"};
    QTest::newRow("idle days below zero") << QStringList{"--idle-days=-1", "DLV", "/tmp"};
    QTest::newRow("concurrency and CSV on standard output")
        << QStringList{"--concurrency", "-", "--csv", "-", "DLV", "/tmp"};
}

void TestExportCommand::usageErrors()
{
    QFETCH(QStringList, arguments);
    const Result result = run(arguments);
    QCOMPARE(result.code, int(ExportCommand::Usage));
    QCOMPARE(result.err.count('\n'), 1);
}

void TestExportCommand::listProducts()
{
    QDir().mkpath(m_public + "/Acme/ZQF/x64/Logs");
    const Result result = run({"--list-products"});
    QCOMPARE(result.code, int(ExportCommand::Success));
    const QString p = m_public;
    QCOMPARE(QString::fromUtf8(result.out), QString("DLV\tCSV\n"
                                                    "  %1/Acme/DLV/x64/usage.csv\tfound\n"
                                                    "  %1/Acme/DLV/x86/usage.csv\tfound\n"
                                                    "NEW\tnone\n"
                                                    "ZQF\tdirectory\n"
                                                    "  %1/Acme/ZQF/x64/Logs\tfound\n")
                                                .arg(p));
    // A name without its group, and locations that are not what their reader reads, are not
    // "found".
    TestSupport::writeFile(m_dir.filePath("list.ini"),
                           "[PRODUCT]\nproducts=DLV|ZQF\n[DLV]\nconfigs=Main|Lost|Dir\n"
                           "[ZQF]\nconfigs=File\n"
                           "[Main]\nCompany=Acme\nproduct=DLV\nPlatform_Code=x64\n"
                           "log_name=usage.csv\n"
                           "[Dir]\nCompany=Acme\nproduct=DLV\nPlatform_Code=x64\nlog_name=.\n"
                           "[File]\nCompany=Acme\nproduct=DLV\nPlatform_Code=x64\n"
                           "log_name=usage.csv\n");
    const Result states = run(
        {"--config", m_dir.filePath("list.ini"), "--public-documents", m_public, "--list-products"},
        false);
    QCOMPARE(QString::fromUtf8(states.out), QString("DLV\tCSV\n"
                                                    "  %1/Acme/DLV/x64/usage.csv\tfound\n"
                                                    "  [Lost]\tno such group in the configuration\n"
                                                    "  %1/Acme/DLV/x64/.\ta folder, not a file\n"
                                                    "ZQF\tdirectory\n"
                                                    "  %1/Acme/DLV/x64/usage.csv\tnot a folder\n")
                                                .arg(p));
    // Without a configuration there is nothing to list, and the tool says why.
    const Result missing = run({"--config", m_dir.filePath("none.ini"), "--list-products"}, false);
    QCOMPARE(missing.code, int(ExportCommand::NoConfiguration));
    QVERIFY(missing.out.isEmpty());
    QVERIFY2(missing.err.startsWith("Cannot read the product configuration"),
             missing.err.constData());
}

// Each message names what went wrong in the words of what the user typed, and what to do.
void TestExportCommand::messagesSayWhatToDo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    const QString folder = newFolder();
    QTest::newRow("date forgotten after --from")
        << QStringList{"--from", "DLV", folder} << int(ExportCommand::Usage)
        << "--from needs a date written yyyy-MM-dd, not \"DLV\"";
    QTest::newRow("arguments swapped, folder exists")
        << QStringList{folder, "DLV"} << int(ExportCommand::Usage)
        << QString("\"DLV\" is a product code and \"%1\" is not: PRODUCT_CODE comes first")
               .arg(folder);
    QTest::newRow("arguments swapped, folder missing")
        << QStringList{"reports/march", "DLV"} << int(ExportCommand::Usage)
        << "\"DLV\" is a product code and \"reports/march\" is not";
    QTest::newRow("a path for the code")
        << QStringList{folder, folder + "/x"} << int(ExportCommand::Usage)
        << QString("\"%1\" looks like a folder, not a product code").arg(folder);
    QTest::newRow("folder named like a product code")
        << QStringList{"DLV", "ZQF"} << int(ExportCommand::NoExportFolder)
        << "Export folder does not exist: ZQF (ZQF is a product code: PRODUCT_CODE comes first";
    QTest::newRow("CSV into a folder that does not exist")
        << QStringList{"--csv", m_dir.filePath("nowhere/x.csv"), "DLV", folder}
        << int(ExportCommand::WriteFailed)
        << QString("Could not write %1: its folder does not exist")
               .arg(m_dir.filePath("nowhere/x.csv"));
    QTest::newRow("configuration missing")
        << QStringList{"--config", m_dir.filePath("none.ini"), "DLV", folder}
        << int(ExportCommand::NoConfiguration) << "name another with --config FILE";
    QTest::newRow("configuration name without its group")
        << QStringList{"--config", m_dir.filePath("lost-group.ini"), "DLV", folder}
        << int(ExportCommand::Success) << "the configuration lists Lost but has no group [Lost]";
    QTest::newRow("only names without their group")
        << QStringList{"--config", m_dir.filePath("lost-group.ini"), "HWN", folder}
        << int(ExportCommand::NoLogs)
        << "No log of HWN was found (the configuration lists Gone, Lost but has no groups "
           "[Gone], [Lost]); nothing was written";
}

void TestExportCommand::messagesSayWhatToDo()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, message);
    TestSupport::writeFile(m_dir.filePath("lost-group.ini"),
                           "[PRODUCT]\nproducts=DLV|HWN\n[DLV]\nconfigs=Main|Lost\n"
                           "[HWN]\nconfigs=Gone|Lost\n"
                           "[Main]\nCompany=Acme\nproduct=DLV\nPlatform_Code=x64\n"
                           "log_name=usage.csv\n");
    const Result result = run(arguments);
    QVERIFY2(QString::fromUtf8(result.err).contains(message), result.err.constData());
    QCOMPARE(result.code, code);
    QCOMPARE(result.err.count('\n'), 1);
}

// Only the summary, and no report: a report already there is left as it was.
void TestExportCommand::noReportWritesOnlyTheRest()
{
    const QString folder = newFolder();
    TestSupport::writeFile(folder + "/DLV_UsageReport.pdf", "last month's report");
    const Result result =
        run({"--no-report", "--summary", "--csv", folder + "/rows.csv", "DLV", folder});
    QCOMPARE(result.code, int(ExportCommand::Success));
    const QString summary = folder + "/DLV_UsageSummary.pdf";
    QVERIFY2(result.err.startsWith("Wrote " + summary.toUtf8() + " ("), result.err.constData());
    QCOMPARE(TestSupport::readFile(folder + "/DLV_UsageReport.pdf"),
             QByteArray("last month's report"));
    QVERIFY(PdfReader::text(summary).contains("USAGE SUMMARY"));
    QVERIFY(QFileInfo(folder + "/rows.csv").size() > 0);
    // Text alone: the sentence names what was written.
    const Result json =
        run({"--no-report", "--summary-json", folder + "/figures.json", "DLV", folder});
    QCOMPARE(json.code, int(ExportCommand::Success));
    QVERIFY2(json.err.startsWith("Wrote " + folder.toUtf8() + "/figures.json ("),
             json.err.constData());
}

// One CSV log of a viewer's use and three professional uses: all are counted as the viewer,
// as the logs of one type per file have always been read, and the outcome, the summary PDF and
// the JSON say so.
void TestExportCommand::severalProductTypesInOneLogAreSaid()
{
    const QString config = m_dir.filePath("mixed.ini");
    TestSupport::writeFile(config, "[PRODUCT]\nproducts=DLV\n[DLV]\nconfigs=Main\n"
                                   "[Main]\nCompany=Mixed\nproduct=DLV\nPlatform_Code=x64\n"
                                   "log_name=usage.csv\n");
    const QString log = m_public + "/Mixed/DLV/x64/usage.csv";
    TestSupport::writeFile(log, "anna,1,Delivery Viewer,2024-03-05 08:00,2024-03-05 09:00\n"
                                "bo,2,Delivery Suite Professional,2024-03-05 08:00,2024-03-05 "
                                "09:00\n"
                                "carl,3,Delivery Suite Professional,2024-03-05 08:00,2024-03-05 "
                                "09:00\n"
                                "dora,4,Delivery Suite Professional,2024-03-05 08:00,2024-03-05 "
                                "09:00\n");
    const QString folder = newFolder();
    const Result result = run({"--config", config, "--summary", "--summary-json",
                               folder + "/figures.json", "DLV", folder});
    QCOMPARE(result.code, int(ExportCommand::Success));
    const QString warning = log + " holds rows of Delivery Suite Professional besides Delivery "
                                  "Viewer; all of them were counted as Delivery Viewer";
    QVERIFY2(result.err.endsWith("; warning: " + warning.toUtf8() + "\n"), result.err.constData());
    const QJsonObject json =
        QJsonDocument::fromJson(TestSupport::readFile(folder + "/figures.json")).object();
    QCOMPARE(json.value("warnings").toArray(), QJsonArray{warning});
    QCOMPARE(json.value("productTypes").toArray().at(0).toObject().value("peakConcurrent").toInt(),
             4);
    // The PDF's text joins "f" and "i" of a path as one ligature; compatibility form splits it.
    const QString text = PdfReader::text(folder + "/DLV_UsageSummary.pdf")
                             .normalized(QString::NormalizationForm_KC)
                             .simplified()
                             .remove(' ');
    QVERIFY2(text.contains(QString("Warning: " + warning).remove(' ')), qPrintable(text));
    // A log of one type has none.
    const Result plain = run({"--summary-json", "-", "DLV", newFolder()});
    QCOMPARE(QJsonDocument::fromJson(plain.out).object().value("warnings").toArray(), QJsonArray());
}

// The licence file beside the configuration is read for the summary: what is owned, the time
// over it, and a line that is not a count said and left out. A dongle is idle by --idle-days.
void TestExportCommand::licencesOwnedAndIdleDays()
{
    QDir().mkpath(m_dir.filePath("owned"));
    const QString config = m_dir.filePath("owned/ProductConfig.ini");
    QVERIFY(QFile::copy(m_config, config));
    TestSupport::writeFile(m_dir.filePath("owned/Licences.ini"),
                           "[DLV]\nSuite = 0\nViewer = many\n[PRX]\nPro = 3\n");
    const QString folder = newFolder();
    const Result result = run({"--config", config, "--summary", "--summary-json", "-",
                               "--idle-days", "1", "DLV", folder});
    QCOMPARE(result.code, int(ExportCommand::Success));
    const QString problem = QDir::toNativeSeparators(m_dir.filePath("owned/Licences.ini")) +
                            ": \"Viewer = many\" in [DLV] is not a number of licences; it was "
                            "left out";
    QVERIFY2(result.err.contains("; warning: " + problem.toUtf8()), result.err.constData());
    const QJsonObject json = QJsonDocument::fromJson(result.out).object();
    const QJsonObject suite = json.value("productTypes").toArray().at(0).toObject();
    QCOMPARE(suite.value("owned").toInt(-1), 0);
    QCOMPARE(suite.value("secondsOverOwned").toDouble(), 6.5 * 3600);
    QCOMPARE(suite.value("busySeconds").toDouble(), 6.5 * 3600);
    QCOMPARE(suite.value("coverage").toArray().at(1).toObject().value("licences").toInt(), 1);
    QCOMPARE(json.value("warnings").toArray(), QJsonArray{problem});
    // The period ends on 6 March: only what started on its last day is in use; carl's dongle
    // has no dated start at all.
    QStringList idle;
    for (const QJsonValue &dongle : suite.value("perDongle").toArray()) {
        if (dongle.toObject().value("idle").toBool())
            idle << dongle.toObject().value("name").toString();
    }
    QCOMPARE(idle, (QStringList{"4711", "4714", "  9 "}));
    const QString text = PdfReader::text(folder + "/DLV_UsageSummary.pdf");
    for (const char *line :
         {"Licences for 99% of busy time: 1", "Licences owned: 0; over 0 for 6.5 hours",
          "Utilisation: share of busy time with at least N sessions running", "0 owned",
          "The working week: sessions running on average, by weekday and hour",
          "Busiest hour: Tue 08:00 to 09:00, 1.00 running on average, at most 1 at once",
          "Idle dongles", "never used"})
        QVERIFY2(text.contains(line), qPrintable(text));
    // Without a licence file nothing is owned, and the JSON says it is not known.
    const Result plain = run({"--summary-json", "-", "DLV", newFolder()});
    const QJsonObject unknown = QJsonDocument::fromJson(plain.out)
                                    .object()
                                    .value("productTypes")
                                    .toArray()
                                    .at(0)
                                    .toObject();
    QVERIFY(unknown.value("owned").isNull() && unknown.value("secondsOverOwned").isNull());
    // The licence file is read, never replaced by an output.
    const Result clash = run({"--config", config, "--summary", "--csv",
                              m_dir.filePath("owned/Licences.ini"), "DLV", newFolder()});
    QCOMPARE(clash.code, int(ExportCommand::Usage));
}

// How many sessions ran at once, one line for each stretch at one level, gaps at none
// included: from the logs of two locations, and with sessions that touch (an end and a start
// in one second are one change) and one of no length (never running).
void TestExportCommand::concurrencyAsStretches()
{
    const Result result = run({"--concurrency", "-", "DLV", newFolder()});
    QCOMPARE(result.code, int(ExportCommand::Success));
    QCOMPARE(QString::fromUtf8(result.out),
             QString("Product type,From,To,Running\n"
                     "Suite,2024-03-05 07:00:00,2024-03-05 07:30:00,1\n"
                     "Suite,2024-03-05 07:30:00,2024-03-05 08:00:00,0\n"
                     "Suite,2024-03-05 08:00:00,2024-03-05 09:30:00,1\n"
                     "Suite,2024-03-05 09:30:00,2024-03-06 13:15:00,0\n"
                     "Suite,2024-03-06 13:15:00,2024-03-06 17:45:00,1\n"));
    const QString config = m_dir.filePath("overlap.ini");
    TestSupport::writeFile(config, "[PRODUCT]\nproducts=DLV\n[DLV]\nconfigs=Main\n"
                                   "[Main]\nCompany=Overlap\nproduct=DLV\nPlatform_Code=x64\n"
                                   "log_name=usage.csv\n");
    TestSupport::writeFile(m_public + "/Overlap/DLV/x64/usage.csv",
                           "a,1,=Pro,2024-03-05 08:00,2024-03-05 10:00\n"
                           "b,2,=Pro,2024-03-05 09:00,2024-03-05 10:00\n"
                           "c,3,=Pro,2024-03-05 10:00,2024-03-05 11:00\n"
                           "d,4,=Pro,2024-03-05 10:30,2024-03-05 10:30\n");
    const QString file = newFolder() + "/steps.csv";
    QCOMPARE(run({"--config", config, "--concurrency", file, "DLV", newFolder()}).code,
             int(ExportCommand::Success));
    QCOMPARE(TestSupport::readFile(file),
             UsageCsvWriter::byteOrderMark() +
                 QByteArray("Product type,From,To,Running\n"
                            "'=Pro,2024-03-05 08:00:00,2024-03-05 09:00:00,1\n"
                            "'=Pro,2024-03-05 09:00:00,2024-03-05 10:00:00,2\n"
                            "'=Pro,2024-03-05 10:00:00,2024-03-05 11:00:00,1\n"));
}

void TestExportCommand::sameLogUnderAnotherSpelling_data()
{
    QTest::addColumn<QByteArray>("platform");
    QTest::newRow("a dot segment") << QByteArray("x64/.");
    QTest::newRow("a doubled separator") << QByteArray("x64//");
    QTest::newRow("a link to the folder") << QByteArray("link64");
}

// The log reached twice by two spellings is read once: its rows are not counted twice.
void TestExportCommand::sameLogUnderAnotherSpelling()
{
    QFETCH(QByteArray, platform);
    QFile::link(m_public + "/Acme/DLV/x64", m_public + "/Acme/DLV/link64");
    const QString config = m_dir.filePath("alias.ini");
    TestSupport::writeFile(config, "[PRODUCT]\nproducts=DLV\n[DLV]\nconfigs=Main|Alias\n"
                                   "[Main]\nCompany=Acme\nproduct=DLV\nPlatform_Code=x64\n"
                                   "log_name=usage.csv\n"
                                   "[Alias]\nCompany=Acme\nproduct=DLV\nPlatform_Code=" +
                                       platform + "\nlog_name=usage.csv\n");
    const QString folder = newFolder();
    const Result result = run({"--config", config, "DLV", folder});
    QCOMPARE(result.code, int(ExportCommand::Success));
    QVERIFY2(result.err.contains("(6 rows, 1 product type)"), result.err.constData());
}

void TestExportCommand::helpAndVersion()
{
    const Result help = run({"--help"}, false);
    QCOMPARE(help.code, int(ExportCommand::Success));
    for (const char *option : {"--config", "--public-documents", "--csv", "--from", "--to",
                               "--list-products", "PRODUCT_CODE", "EXPORT_FOLDER"})
        QVERIFY2(help.out.contains(option), option);
    const Result version = run({"--version"}, false);
    QCOMPARE(version.code, int(ExportCommand::Success));
    QVERIFY(version.out.startsWith("PlinthraUsageExport "));
}

void TestExportCommand::runsWithoutDisplay()
{
    const QString program = QStringLiteral(PLINTHRA_BINARY_DIR "/src/PlinthraUsageExport");
    QVERIFY(QFileInfo::exists(program));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORMTHEME"})
        environment.remove(name);
    const QString folder = newFolder();
    struct Case
    {
        QStringList arguments;
        int code;
    };
    const QList<Case> cases = {
        {{"--config", m_config, "--public-documents", m_public, "DLV", folder}, 0},
        {{"--config", m_config, "--public-documents", m_public, "NEW", folder}, 1},
        {{"--config", m_config, "DLV", m_dir.filePath("nowhere")}, 2},
        {{"--from", "x", "DLV", folder}, 64},
    };
    for (const Case &c : cases) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, c.arguments);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), c.code);
        QCOMPARE(process.readAllStandardError().count('\n'), 1);
    }
    QVERIFY(QFileInfo::exists(folder + "/DLV_UsageReport.pdf"));
}

QTEST_MAIN(TestExportCommand)
// A product type's figures and its three charts share one page, whatever the tables before them
// took: the page goes on a slide. The tables of many users run on over the next pages.
void TestExportCommand::summaryKeepsEachTypesChartsOnOnePage()
{
    UsageSessions sessions;
    const QStringList types{"Alpha", "Beta", "Gamma"};
    const QDateTime monday(QDate(2024, 3, 4), QTime(8, 0));
    for (const QString &type : types) {
        for (int user = 0; user < 45; ++user) {
            const QDateTime start = monday.addSecs(user * 600);
            sessions.addSession(type,
                                UsageSession(QString("user%1").arg(user), QString::number(user % 7),
                                             start, start.addSecs(3600 + user * 60)));
        }
    }
    const UsageSummary summary = UsageSummary::compute("DLV", sessions, {}, {});
    const QString path = m_dir.filePath("slides.pdf");
    QVERIFY(UsageSummaryWriter(UsageReportWriter::defaultHeader()).print(summary, path));
    const QStringList pages = PdfReader::text(path).split(QLatin1Char('\f'));
    QVERIFY2(pages.size() > 4, qPrintable(QString::number(pages.size())));
    for (const QString &type : types) {
        int holding = 0;
        for (const QString &page : pages) {
            if (!page.contains("Product type: " + type))
                continue;
            ++holding;
            for (const char *part :
                 {"Total hours:", "Licences for 99% of busy time:",
                  "Sessions running at once: the peak of each day",
                  "Utilisation:", "The working week:", "Busiest hour:", "running on average: 0"})
                QVERIFY2(page.contains(part), qPrintable(type + ": " + part + "\n" + page));
        }
        QCOMPARE(holding, 1);
    }
}

#include "tst_exportcommand.moc"
