#include "exportenvironment.h"
#include "exportjob.h"
#include "productconfigstore.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

struct FileState
{
    QByteArray sha;
    qint64 size = 0;
    QDateTime modified;
    bool operator==(const FileState &other) const
    {
        return sha == other.sha && size == other.size && modified == other.modified;
    }
};

// Every file below a folder with its content hash, size and modification time.
QMap<QString, FileState> snapshot(const QString &root)
{
    QMap<QString, FileState> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        FileState state;
        state.sha =
            QCryptographicHash::hash(TestSupport::readFile(path), QCryptographicHash::Sha256);
        state.size = info.size();
        state.modified = info.lastModified();
        files.insert(path.mid(root.size()), state);
    }
    return files;
}

bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + path.mid(from.size());
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(path, target))
            return false;
    }
    return true;
}

bool isCompletePdf(const QByteArray &bytes)
{
    return bytes.startsWith("%PDF-") && bytes.trimmed().endsWith("%%EOF");
}

} // namespace

class TestExportSafety : public QObject
{
    Q_OBJECT

private slots:
    void exportsChangeNothingButTheReports();
    void interruptedExportLeavesOldOrNewReport();
};

void TestExportSafety::exportsChangeNothingButTheReports()
{
    // The bundled examples: every product, two configurations of one, a folder of logs.
    QTemporaryDir dir;
    const QString site = dir.filePath("site");
    QVERIFY(copyTree(TestSupport::dataPath("../../examples"), site));
    const QString out = dir.filePath("out");
    QVERIFY(QDir().mkpath(out));
    const QMap<QString, FileState> before = snapshot(site);
    QVERIFY(before.size() >= 10);
    QVERIFY(before.contains("/ProductConfig.ini"));

    const ExportEnvironment environment(site + "/ProductConfig.ini", site + "/PublicDocuments");
    QStringList expected;
    for (const QString &code : environment.store().products()) {
        ExportRequest request;
        request.productCode = code;
        request.folder = out;
        QVERIFY2(ExportJob::run(environment, request).succeeded(), qPrintable(code));
        // Twice: replacing a report must not disturb anything either.
        QVERIFY(ExportJob::run(environment, request).succeeded());
        expected << code + "_UsageReport.pdf";
    }
    QCOMPARE(snapshot(site), before);
    expected.sort();
    QStringList written = QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    QCOMPARE(written, expected);
    for (const QString &name : written)
        QVERIFY(isCompletePdf(TestSupport::readFile(out + "/" + name)));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{"out", "site"}));
}

void TestExportSafety::interruptedExportLeavesOldOrNewReport()
{
#ifdef _WIN32
    QSKIP("uses POSIX signals");
#else
    QTemporaryDir dir;
    const QString config = dir.filePath("ProductConfig.ini");
    TestSupport::writeFile(config, "[PRODUCT]\nproducts=DLV\n[DLV]\nconfigs=Main\n"
                                   "[Main]\nCompany=Acme\nproduct=DLV\nPlatform_Code=x64\n"
                                   "log_name=usage.csv\n");
    // Enough rows for a report of many pages, so a kill can land mid-print; fewer where the
    // sanitizers make every run many times slower.
#ifdef PLINTHRA_SANITIZED_BUILD
    const int rows = 300;
#else
    const int rows = 3000;
#endif
    QByteArray log;
    for (int i = 0; i < rows; ++i) {
        log += QStringLiteral("user%1,%2,Suite,2024-03-%3 08:%4,2024-03-%3 09:%4\n")
                   .arg(i)
                   .arg(1000 + i)
                   .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                   .arg(i % 60, 2, 10, QLatin1Char('0'))
                   .toUtf8();
    }
    TestSupport::writeFile(dir.filePath("public/Acme/DLV/x64/usage.csv"), log);
    const QString out = dir.filePath("out");
    QVERIFY(QDir().mkpath(out));
    const QString report = out + "/DLV_UsageReport.pdf";
    const QByteArray old = "%PDF-1.4\n% the previous report\n%%EOF\n";
    TestSupport::writeFile(report, old);

    const QString program = QStringLiteral(PLINTHRA_BINARY_DIR "/src/PlinthraUsageExport");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // Killed children cannot report leaks anyway, and full allocation stacks would make a
    // sanitizer build's run take minutes; no effect on other builds.
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") +
                                           ":fast_unwind_on_malloc=1:detect_leaks=0");
    const QStringList arguments = {"--config", config, "--public-documents", dir.filePath("public"),
                                   "DLV",      out};

    // One whole run first: it must replace the report, and it tells how long a run takes on
    // this build (a sanitizer build is many times slower), so the kills below land mid-run.
    QElapsedTimer timer;
    timer.start();
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(-1));
        QCOMPARE(process.exitCode(), 0);
    }
    const qint64 whole = timer.elapsed();
    QVERIFY(isCompletePdf(TestSupport::readFile(report)));

    int sawOld = 0;
    int sawNew = 0;
    for (const double fraction : {0.05, 0.2, 0.4, 0.6, 0.8, 0.95}) {
        TestSupport::writeFile(report, old);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        QVERIFY(process.waitForStarted());
        if (!process.waitForFinished(int(whole * fraction))) {
            ::kill(pid_t(process.processId()), SIGKILL);
            QVERIFY(process.waitForFinished(10000));
        }
        const QByteArray now = TestSupport::readFile(report);
        if (now == old) {
            ++sawOld;
        } else {
            QVERIFY2(isCompletePdf(now), qPrintable(QStringLiteral("killed at %1").arg(fraction)));
            ++sawNew;
        }
    }
    qInfo("a whole run took %lld ms; killed runs kept the old report %d times and left a "
          "complete new one %d times",
          whole, sawOld, sawNew);
    QVERIFY(sawOld >= 1);
    // Nothing but the report, the killed runs' unfinished temporary files and the lock of the
    // last one is left.
    const QStringList left =
        QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : left) {
        QVERIFY2(name == "DLV_UsageReport.pdf" || name.endsWith(".part") ||
                     name == "DLV_UsageReport.pdf.lock",
                 qPrintable(name));
    }
    // The next whole run finds their owners dead and removes them.
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(-1));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"DLV_UsageReport.pdf"});
#endif
}

QTEST_MAIN(TestExportSafety)
#include "tst_exportsafety.moc"
