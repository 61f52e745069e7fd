#include "exportcommand.h"
#include "exportenvironment.h"
#include "exportjob.h"
#include "exportsite.h"
#include "printedtext.h"
#include "testsupport.h"
#include "usagecsvwriter.h"
#include "usagereportwriter.h"

#include <QBuffer>
#include <QDirIterator>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray kOld = "the previous file\n";

bool isSymLink(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISLNK(status.st_mode);
}

mode_t fileType(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & S_IFMT : 0;
}

int modeBits(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777)
                                                                     : -1;
}

using Site = ExportSite;

// Sets one output of a request by name.
void setOutput(ExportRequest &request, const QString &output, const QString &path)
{
    if (output == "csv")
        request.csvPath = path;
    else if (output == "sessions")
        request.sessionsPath = path;
    else if (output == "json")
        request.summaryJsonPath = path;
    else if (output == "summary")
        request.summary = true;
}

QString outputPath(const Site &site, const QString &output)
{
    if (output == "report")
        return site.report();
    if (output == "summary")
        return site.out() + "/DLV_UsageSummary.pdf";
    return site.out() + "/" + output + ".out";
}

QByteArray dlvLog(int users, const QString &name = QString())
{
    QByteArray log;
    for (int i = 0; i < users; ++i) {
        log += QStringLiteral("%1,%2,Suite,2024-03-%3 08:%4,2024-03-%3 09:%4\n")
                   .arg(name.isEmpty() ? QStringLiteral("user%1").arg(i) : name)
                   .arg(1000 + i)
                   .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                   .arg(i % 60, 2, 10, QLatin1Char('0'))
                   .toUtf8();
    }
    return log;
}

// The command-line tool's status for the arguments; what it says on standard error in errors.
int runCommand(const QStringList &arguments, QByteArray *errors)
{
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int status = ExportCommand::run(arguments, &out, &err);
    *errors = err.data();
    return status;
}

class Umask
{
public:
    explicit Umask(mode_t mask) : m_old(::umask(mask)) {}
    ~Umask() { ::umask(m_old); }

private:
    mode_t m_old;
};

} // namespace

class TestExportWrites : public QObject
{
    Q_OBJECT

private slots:
    void linkIsReplacedNotFollowed_data();
    void linkIsReplacedNotFollowed();
    void stagesWithoutAName();
    void streamIsWrittenDirectly_data();
    void streamIsWrittenDirectly();
    void socketIsNeverReplaced();
    void outputNamingInputIsRefused_data();
    void outputNamingInputIsRefused();
    void outputNamingInputExitsWithUsage_data();
    void outputNamingInputExitsWithUsage();
    void modeFollowsUmaskOrOldFile_data();
    void modeFollowsUmaskOrOldFile();
    void deadPartsAreRemoved();
    void liveExportOfSameReportIsRefused();
    void formulasAreNeutralised_data();
    void formulasAreNeutralised();
    void everyCsvIsNeutralisedUnlessRaw_data();
    void everyCsvIsNeutralisedUnlessRaw();
    void longTextsAreCutInPdfOnly_data();
    void longTextsAreCutInPdfOnly();
    void terminationRemovesTemporaryFiles_data();
    void terminationRemovesTemporaryFiles();
};

void TestExportWrites::linkIsReplacedNotFollowed_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("dangling");
    for (const char *output : {"report", "summary", "csv", "sessions", "json"}) {
        QTest::addRow("%s to a file", output) << QString(output) << false;
        QTest::addRow("%s dangling", output) << QString(output) << true;
    }
}

void TestExportWrites::linkIsReplacedNotFollowed()
{
    QFETCH(QString, output);
    QFETCH(bool, dangling);
    const Site site;
    const QString victim = site.path("victim/.profile");
    if (!dangling)
        QVERIFY(TestSupport::writeFile(victim, kOld));
    else
        QVERIFY(QDir().mkpath(site.path("victim")));
    const QString target = outputPath(site, output);
    QVERIFY(QFile::link(victim, target));

    ExportRequest request;
    setOutput(request, output, target);
    const ExportOutcome outcome = site.run(request);
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.sentence()));

    QVERIFY(!isSymLink(target));
    QVERIFY(QFileInfo(target).size() > 0);
    if (dangling)
        QVERIFY(!QFileInfo::exists(victim));
    else
        QCOMPARE(TestSupport::readFile(victim), kOld);
}

void TestExportWrites::stagesWithoutAName()
{
    // A staged file that has a name in a shared folder can be renamed away and replaced while
    // it is printed; one without a name cannot. Only the lock, ours and private, is there.
    const Site site;
    QStringList names;
    bool checked = false;
    const ExportOutcome outcome =
        site.run(ExportRequest(), [&](const ExportJob::Progress &progress) {
            if (progress.stage != ExportJob::Progress::Printing || checked)
                return;
            checked = true;
            names = site.strays(site.out(), {});
            const QString lock = site.report() + ".lock";
            QCOMPARE(fileType(lock), mode_t(S_IFREG));
            QCOMPARE(modeBits(lock), 0600);
        });
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.sentence()));
    QVERIFY(checked);
    QCOMPARE(names, QStringList{"DLV_UsageReport.pdf.lock"});
    QCOMPARE(site.strays(site.out(), {"DLV_UsageReport.pdf"}), QStringList());
}

void TestExportWrites::streamIsWrittenDirectly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("/dev/null") << "null";
    QTest::newRow("link to /dev/null") << "link";
}

void TestExportWrites::streamIsWrittenDirectly()
{
    QFETCH(QString, kind);
    const Site site;
    QString target = "/dev/null";
    int reader = -1;
    if (kind == "fifo") {
        target = site.path("stream.csv");
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        // Open before the export, so that its opening for writing does not wait.
        reader = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
    } else if (kind == "link") {
        target = site.path("null.csv");
        QVERIFY(QFile::link("/dev/null", target));
    }
    const mode_t typeBefore = fileType(target);

    ExportRequest request;
    request.csvPath = target;
    // Both into /dev/null is fine: nothing is read from it.
    if (kind != "fifo")
        request.sessionsPath = target;
    const ExportOutcome outcome = site.run(request);
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.sentence()));
    QCOMPARE(fileType(target), typeBefore);
    QCOMPARE(fileType("/dev/null"), mode_t(S_IFCHR));
    if (reader >= 0) {
        QByteArray received(1 << 16, '\0');
        const ssize_t size = ::read(reader, received.data(), size_t(received.size()));
        ::close(reader);
        QVERIFY(size > 0);
        received.resize(int(size));
        QVERIFY(received.startsWith(UsageCsvWriter::byteOrderMark() + "Product type,"));
        QVERIFY(received.contains("anna,9627"));
    }
    QCOMPARE(site.strays(site.out(), {"DLV_UsageReport.pdf"}), QStringList());
}

void TestExportWrites::socketIsNeverReplaced()
{
    const Site site;
    const QString socket = site.path("socket.csv");
    const int handle = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(handle >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(socket);
    QVERIFY(size_t(name.size()) < sizeof address.sun_path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    QCOMPARE(::bind(handle, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    TestSupport::writeFile(site.report(), kOld);
    ExportRequest request;
    request.csvPath = socket;
    const ExportOutcome outcome = site.run(request);
    QCOMPARE(outcome.status, ExportOutcome::WriteFailed);
    QCOMPARE(outcome.failure.kind(), FileFailure::NotARegularFile);
    QCOMPARE(fileType(socket), mode_t(S_IFSOCK));
    QCOMPARE(TestSupport::readFile(site.report()), kOld);
    ::close(handle);
}

void TestExportWrites::outputNamingInputIsRefused_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("output");
    // How the output names the input, relative to the site's folder.
    QTest::addColumn<QString>("spelling");
    QTest::addColumn<QString>("input");
    QTest::newRow("csv is the log") << "DLV"
                                    << "csv"
                                    << "public/P/DLV/x64/usage.csv"
                                    << "public/P/DLV/x64/usage.csv";
    QTest::newRow("csv is the log, spelled otherwise") << "DLV"
                                                       << "csv"
                                                       << "out/../public/P/DLV/./x64/usage.csv"
                                                       << "public/P/DLV/x64/usage.csv";
    QTest::newRow("sessions is a link to the log") << "DLV"
                                                   << "sessions"
                                                   << "link"
                                                   << "public/P/DLV/x64/usage.csv";
    QTest::newRow("json is a hard link of the log") << "DLV"
                                                    << "json"
                                                    << "hard"
                                                    << "public/P/DLV/x64/usage.csv";
    QTest::newRow("csv is a file of the ZQF folder") << "ZQF"
                                                     << "csv"
                                                     << "public/P/ZQF/x64/Logs/Log20240305.log"
                                                     << "public/P/ZQF/x64/Logs/Log20240305.log";
    QTest::newRow("csv is the configuration") << "DLV"
                                              << "csv"
                                              << "ProductConfig.ini"
                                              << "ProductConfig.ini";
    QTest::newRow("csv is the report") << "DLV"
                                       << "csv"
                                       << "out/DLV_UsageReport.pdf"
                                       << "out/DLV_UsageReport.pdf";
    QTest::newRow("json is the summary, not yet there") << "DLV"
                                                        << "json"
                                                        << "out/./DLV_UsageSummary.pdf"
                                                        << "";
}

void TestExportWrites::outputNamingInputIsRefused()
{
    QFETCH(QString, product);
    QFETCH(QString, output);
    QFETCH(QString, spelling);
    QFETCH(QString, input);
    const Site site;
    TestSupport::writeFile(site.report(product), kOld);
    QString path = site.path(spelling);
    if (spelling == "link") {
        path = site.path("out/link.csv");
        QVERIFY(QFile::link(site.path(input), path));
    } else if (spelling == "hard") {
        path = site.path("out/hard.json");
        QCOMPARE(::link(QFile::encodeName(site.path(input)).constData(),
                        QFile::encodeName(path).constData()),
                 0);
    }
    const QByteArray before =
        input.isEmpty() ? QByteArray() : TestSupport::readFile(site.path(input));

    ExportRequest request;
    request.productCode = product;
    request.summary = true;
    setOutput(request, output, path);
    const ExportOutcome outcome = site.run(request);
    QCOMPARE(outcome.status, ExportOutcome::OutputIsInput);
    QCOMPARE(outcome.path, path);
    if (!input.isEmpty())
        QCOMPARE(TestSupport::readFile(site.path(input)), before);
    QCOMPARE(TestSupport::readFile(site.report(product)), kOld);
    QVERIFY(!QFileInfo::exists(site.out() + "/" + product + "_UsageSummary.pdf"));
}

void TestExportWrites::outputNamingInputExitsWithUsage_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("named");
    QTest::newRow("csv is the log")
        << QStringList{"--csv", "public/P/DLV/x64/usage.csv"} << "usage.csv";
    QTest::newRow("csv is the archive")
        << QStringList{"--archive", "usage.sqlite", "--csv", "out/../usage.sqlite"}
        << "usage.sqlite";
}

void TestExportWrites::outputNamingInputExitsWithUsage()
{
    QFETCH(QStringList, options);
    QFETCH(QString, named);
    const Site site;
    QStringList arguments{"PlinthraUsageExport", "--config", site.config(), "--public-documents",
                          site.publicDocuments()};
    for (int i = 0; i < options.size(); ++i)
        arguments << (i % 2 == 0 ? options.at(i) : site.path(options.at(i)));
    arguments << "DLV" << site.out();
    QByteArray errors;
    QCOMPARE(runCommand(arguments, &errors), int(ExportCommand::Usage));
    QVERIFY2(errors.contains(named.toUtf8()), errors.constData());
    QVERIFY(!QFileInfo::exists(site.report()));
    QVERIFY(!QFileInfo::exists(site.path("usage.sqlite")));
}

void TestExportWrites::modeFollowsUmaskOrOldFile_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("mask");
    // -1: no file before.
    QTest::addColumn<int>("oldMode");
    QTest::addColumn<int>("expected");
    for (const char *output : {"report", "summary", "csv", "json"}) {
        QTest::addRow("%s new, umask 022", output) << QString(output) << 022 << -1 << 0644;
        QTest::addRow("%s new, umask 002", output) << QString(output) << 002 << -1 << 0664;
        QTest::addRow("%s new, umask 077", output) << QString(output) << 077 << -1 << 0600;
        QTest::addRow("%s replaced 0640", output) << QString(output) << 022 << 0640 << 0640;
        QTest::addRow("%s replaced 0604", output) << QString(output) << 077 << 0604 << 0604;
    }
}

void TestExportWrites::modeFollowsUmaskOrOldFile()
{
    QFETCH(QString, output);
    QFETCH(int, mask);
    QFETCH(int, oldMode);
    QFETCH(int, expected);
    const Site site;
    const QString target = outputPath(site, output);
    if (oldMode >= 0) {
        QVERIFY(TestSupport::writeFile(target, kOld));
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), mode_t(oldMode)), 0);
    }
    ExportRequest request;
    setOutput(request, output, target);
    ExportOutcome outcome;
    {
        const Umask scoped{mode_t(mask)};
        outcome = site.run(request);
    }
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.sentence()));
    QVERIFY(TestSupport::readFile(target) != kOld);
    QCOMPARE(QString::number(modeBits(target), 8), QString::number(expected, 8));
}

void TestExportWrites::deadPartsAreRemoved()
{
    const Site site;
    const QString out = site.out();
    // What killed exports leave: a private folder with its file (older versions), a file
    // and the lock of a process that is gone.
    QVERIFY(TestSupport::writeFile(out + "/DLV_UsageReport.pdf.Ab12Cd.part/DLV_UsageReport.pdf",
                                   "%PDF-1.4 half"));
    QVERIFY(QFile::setPermissions(out + "/DLV_UsageReport.pdf.Ab12Cd.part",
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner));
    QVERIFY(TestSupport::writeFile(out + "/DLV_UsageReport.pdf.Zz9yX8.part", "%PDF-1.4 half"));
    QProcess gone;
    gone.start("true", QStringList());
    QVERIFY(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    QVERIFY(deadPid > 0);
    QVERIFY(gone.waitForFinished(-1));
    QVERIFY(TestSupport::writeFile(out + "/DLV_UsageReport.pdf.lock",
                                   QByteArray::number(deadPid) + "\ntrue\n" +
                                       QSysInfo::machineHostName().toUtf8() + "\n"));
    // Not of this report: left alone.
    QVERIFY(TestSupport::writeFile(out + "/HWN_UsageReport.pdf.Ab12Cd.part", "other"));
    QVERIFY(TestSupport::writeFile(out + "/DLV_UsageReport.pdf.notes.part", "mine"));
    // Named like ours but not ours to remove: a folder others may enter (it may hold anything),
    // and a link (removing through it would remove what it leads to).
    QVERIFY(QDir().mkpath(out + "/DLV_UsageReport.pdf.Open00.part/inner"));
    QVERIFY(TestSupport::writeFile(site.path("kept.txt"), kOld));
    QVERIFY(QFile::link(site.path("kept.txt"), out + "/DLV_UsageReport.pdf.Link00.part"));

    const ExportOutcome outcome = site.run(ExportRequest());
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.sentence()));
    QCOMPARE(site.strays(out, {"DLV_UsageReport.pdf"}),
             (QStringList{"DLV_UsageReport.pdf.Link00.part", "DLV_UsageReport.pdf.notes.part",
                          "DLV_UsageReport.pdf.Open00.part", "HWN_UsageReport.pdf.Ab12Cd.part"}));
    QCOMPARE(TestSupport::readFile(site.path("kept.txt")), kOld);
    QVERIFY(QFileInfo::exists(out + "/DLV_UsageReport.pdf.Open00.part/inner"));
}

void TestExportWrites::liveExportOfSameReportIsRefused()
{
    const Site site;
    TestSupport::writeFile(site.report(), kOld);
    QLockFile lock(site.report() + ".lock");
    QVERIFY(lock.tryLock(0));
    const ExportOutcome outcome = site.run(ExportRequest());
    QCOMPARE(outcome.status, ExportOutcome::WriteFailed);
    QCOMPARE(outcome.failure.kind(), FileFailure::InUse);
    QCOMPARE(TestSupport::readFile(site.report()), kOld);
    lock.unlock();
    QVERIFY(site.run(ExportRequest()).succeeded());
}

void TestExportWrites::formulasAreNeutralised_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("neutralised");
    QTest::addColumn<QString>("raw");
    QTest::newRow("plain") << "anna"
                           << "anna"
                           << "anna";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("=") << "=HYPERLINK(\"x\")"
                       << "\"'=HYPERLINK(\"\"x\"\")\""
                       << "\"=HYPERLINK(\"\"x\"\")\"";
    QTest::newRow("+") << "+1"
                       << "'+1"
                       << "+1";
    QTest::newRow("-") << "-2+3"
                       << "'-2+3"
                       << "-2+3";
    QTest::newRow("@") << "@SUM(A1)"
                       << "'@SUM(A1)"
                       << "@SUM(A1)";
    QTest::newRow("tab") << "\t=1"
                         << "'\t=1"
                         << "\t=1";
    QTest::newRow("cr") << "\r=1"
                        << "\"'\r=1\""
                        << "\"\r=1\"";
    QTest::newRow("inside") << "a=b-c"
                            << "a=b-c"
                            << "a=b-c";
    QTest::newRow("comma") << "=cmd|' /C calc'!A0,x"
                           << "\"'=cmd|' /C calc'!A0,x\""
                           << "\"=cmd|' /C calc'!A0,x\"";
}

void TestExportWrites::formulasAreNeutralised()
{
    QFETCH(QString, field);
    QFETCH(QString, neutralised);
    QFETCH(QString, raw);
    QCOMPARE(UsageCsvWriter::quoteField(field), neutralised);
    QCOMPARE(UsageCsvWriter::quoteField(field, UsageCsvWriter::Formulas::Raw), raw);
}

void TestExportWrites::everyCsvIsNeutralisedUnlessRaw_data()
{
    QTest::addColumn<bool>("raw");
    QTest::newRow("neutralised") << false;
    QTest::newRow("--csv-raw") << true;
}

void TestExportWrites::everyCsvIsNeutralisedUnlessRaw()
{
    QFETCH(bool, raw);
    const Site site("=HYPERLINK(1),@9,Suite,2024-03-04 08:00,2024-03-04 09:00\n");
    const QString csv = site.path("rows.csv");
    const QString sessions = site.path("sessions.csv");
    QStringList arguments{"PlinthraUsageExport",
                          "--config",
                          site.config(),
                          "--public-documents",
                          site.publicDocuments(),
                          "--csv",
                          csv,
                          "--sessions",
                          sessions};
    if (raw)
        arguments << "--csv-raw";
    arguments << "DLV" << site.out();
    QByteArray errors;
    QCOMPARE(runCommand(arguments, &errors), int(ExportCommand::Success));
    const QByteArray expected = raw ? "Suite,=HYPERLINK(1),@9," : "Suite,'=HYPERLINK(1),'@9,";
    QVERIFY2(TestSupport::readFile(csv).contains(expected), TestSupport::readFile(csv).constData());
    QVERIFY2(TestSupport::readFile(sessions).contains(expected),
             TestSupport::readFile(sessions).constData());
}

void TestExportWrites::longTextsAreCutInPdfOnly_data()
{
    QTest::addColumn<bool>("summary");
    QTest::newRow("report") << false;
    QTest::newRow("summary") << true;
}

void TestExportWrites::longTextsAreCutInPdfOnly()
{
    QFETCH(bool, summary);
    const QString name = QString(200000, QLatin1Char('n'));
    const Site site(dlvLog(3, name));
    const QString csv = site.path("rows.csv");
    ExportRequest request;
    request.summary = summary;
    request.csvPath = csv;
    const ExportOutcome outcome = site.run(request);
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.sentence()));
    QVERIFY(TestSupport::readFile(csv).contains(name.toUtf8()));
    // Whole, the name fills a hundred pages; cut, the file is about what three rows cost.
    const QString pdf = summary ? site.out() + "/DLV_UsageSummary.pdf" : site.report();
    QVERIFY2(QFileInfo(pdf).size() < 200000, qPrintable(QString::number(QFileInfo(pdf).size())));

    UsageReportWriter::Header header = UsageReportWriter::defaultHeader();
    header.insert("line3", name);
    const QString html = UsageReportWriter(header).html(UsageTable());
    QVERIFY(html.size() < 20000);
    QVERIFY(html.contains(QString(PrintedText::kMaxLength - 1, QLatin1Char('n')) + QChar(0x2026)));
}

void TestExportWrites::terminationRemovesTemporaryFiles_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestExportWrites::terminationRemovesTemporaryFiles()
{
    QFETCH(int, signalNumber);
    // The CSV goes into a FIFO last, and is larger than a pipe holds: the export stops there,
    // with the sessions and the figures staged, until the test reads. Long names make it large
    // with few rows, so that the report before it prints quickly.
    const Site site(dlvLog(300, QString(200, QLatin1Char('u'))));
    const QString sessions = site.out() + "/sessions.csv";
    const QString json = site.out() + "/figures.json";
    TestSupport::writeFile(sessions, kOld);
    TestSupport::writeFile(json, kOld);
    const QString fifoName = QFileInfo(site.path("")).fileName() + "-stream.csv";
    const QString fifo = site.path(fifoName);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PLINTHRA_BINARY_DIR "/src/PlinthraUsageExport"),
                  {"--config", site.config(), "--public-documents", site.publicDocuments(), "--csv",
                   fifo, "--sessions", sessions, "--summary-json", json, "DLV", site.out()});
    QVERIFY(process.waitForStarted());
    pollfd waiting{reader, POLLIN, 0};
    while (::poll(&waiting, 1, 1000) == 0)
        QVERIFY2(process.state() == QProcess::Running, process.readAllStandardError().constData());
    QVERIFY(waiting.revents & POLLIN);
    QVERIFY(!site.strays(site.out(), {"DLV_UsageReport.pdf", "sessions.csv", "figures.json"})
                 .isEmpty());

    QCOMPARE(::kill(pid_t(process.processId()), signalNumber), 0);
    QVERIFY(process.waitForFinished(-1));
    ::close(reader);
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(TestSupport::readFile(sessions), kOld);
    QCOMPARE(TestSupport::readFile(json), kOld);
    QCOMPARE(site.strays(site.out(), {"DLV_UsageReport.pdf", "sessions.csv", "figures.json"}),
             QStringList());
    QCOMPARE(QDir::temp().entryList({fifoName + "*"}, QDir::AllEntries | QDir::Hidden),
             QStringList());
}

QTEST_MAIN(TestExportWrites)
#include "tst_exportwrites.moc"
