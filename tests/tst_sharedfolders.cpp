#include "exportcommand.h"
#include "exportsite.h"
#include "stagedfile.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryFile>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray kOld = "the previous file\n";
const QByteArray kSecret = "the victim's own words\n";
constexpr uid_t kNobody = 65534;

// What a path is, not followed: enough to see any change another account could have steered.
struct Entry
{
    mode_t mode = 0;
    uid_t owner = 0;
    QByteArray content;

    bool operator==(const Entry &other) const
    {
        return mode == other.mode && owner == other.owner && content == other.content;
    }
};

Entry entryOf(const QString &path)
{
    Entry entry;
    struct stat status;
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &status) != 0)
        return entry;
    entry.mode = status.st_mode;
    entry.owner = status.st_uid;
    if (S_ISLNK(status.st_mode))
        entry.content = QFile::symLinkTarget(path).toUtf8();
    else if (S_ISREG(status.st_mode))
        entry.content = TestSupport::readFile(path);
    return entry;
}

// Every entry below root, links not followed.
QMap<QString, Entry> snapshot(const QString &root)
{
    QMap<QString, Entry> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        entries.insert(path.mid(root.size()), entryOf(path));
    }
    return entries;
}

// The entries below root with a set-user-ID or set-group-ID bit, or writable by everyone
// while owned by this account: modes no other account may steer ours into.
QStringList steeredModes(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const Entry entry = entryOf(path);
        if (!S_ISREG(entry.mode))
            continue;
        if ((entry.mode & 06000) || (entry.owner == ::geteuid() && (entry.mode & 0002)))
            found << QStringLiteral("%1 %2").arg(path).arg(entry.mode & 07777, 0, 8);
    }
    return found;
}

// Runs step as another account (nobody) in a child process; the step may only make system
// calls on names prepared before. Its failures are the attacker's, not the test's.
void asAttacker(const std::function<void()> &step)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        step();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
}

// The names an attack touches, prepared before it runs.
struct Names
{
    QByteArray folder;
    QByteArray report;
    QByteArray lock;
    QByteArray csv;
    QByteArray secret;
    QByteArray docs;
    QByteArray shared;
    QByteArray moved;
    QByteArray part;
    QByteArray stolen;
};

// The attacks: what another account does, before the export or at one of its steps.
void plant(const QString &attack, const Names &n)
{
    asAttacker([&] {
        if (attack == "FIFO at the lock") {
            ::mkfifo(n.lock.constData(), 0666);
        } else if (attack == "lock links to /dev/zero") {
            ::symlink("/dev/zero", n.lock.constData());
        } else if (attack == "lock of another account") {
            const int file = ::open(n.lock.constData(), O_CREAT | O_WRONLY, 0600);
            ::write(file, "1\nx\nelsewhere\n", 14);
            ::close(file);
        } else if (attack == "FIFO at the report") {
            ::mkfifo(n.report.constData(), 0666);
        } else if (attack == "report made set-user-ID by another account") {
            const int file = ::open(n.report.constData(), O_CREAT | O_WRONLY, 0777);
            ::fchmod(file, 04777);
            ::close(file);
        } else if (attack == "dead temporary folder leading to the victim") {
            ::mkdir(n.part.constData(), 0700);
            ::symlink(n.docs.constData(), (n.part + "/DLV_UsageReport.pdf").constData());
            ::symlink(n.docs.constData(), (n.part + "/docs").constData());
            ::symlink(n.docs.constData(), n.stolen.constData());
        } else if (attack == "CSV is another account's link to the victim") {
            ::symlink(n.secret.constData(), n.csv.constData());
        } else if (attack == "CSV is another account's FIFO") {
            ::mkfifo(n.csv.constData(), 0666);
        }
    });
}

void strike(const QString &attack, const Names &n)
{
    asAttacker([&] {
        if (attack == "staged file swapped for a link") {
            ::rename(n.part.constData(), n.stolen.constData());
            ::symlink(n.secret.constData(), n.part.constData());
        } else if (attack == "report swapped for a link") {
            ::unlink(n.report.constData());
            ::symlink(n.secret.constData(), n.report.constData());
        } else if (attack == "folder swapped") {
            ::rename(n.folder.constData(), n.moved.constData());
            ::mkdir(n.folder.constData(), 0777);
            ::symlink(n.secret.constData(), n.report.constData());
        } else if (attack == "CSV link to /dev/null swapped") {
            ::unlink(n.csv.constData());
            ::symlink(n.secret.constData(), n.csv.constData());
        }
    });
}

// A temporary name of target's in its folder, or empty.
QString partOf(const QString &target)
{
    const QFileInfo info(target);
    const QStringList parts = QDir(info.path())
                                  .entryList({info.fileName() + ".*" + StagedFile::partSuffix()},
                                             QDir::AllEntries | QDir::Hidden);
    return parts.isEmpty() ? QString() : info.path() + "/" + parts.constFirst();
}

// The command-line tool's environment: no display, and no leak report from a process the test
// ends.
void offscreen(QProcess &process)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
    process.setProcessEnvironment(environment);
}

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// The command-line tool itself, in a process of its own, standard output into outFile when
// given.
Run runProgram(const QStringList &arguments, const QString &outFile = QString())
{
    QProcess process;
    offscreen(process);
    if (!outFile.isEmpty())
        process.setStandardOutputFile(outFile);
    process.start(QStringLiteral(PLINTHRA_BINARY_DIR "/src/PlinthraUsageExport"), arguments);
    Run run;
    if (!process.waitForFinished(120000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

Run runInProcess(const QStringList &arguments)
{
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    Run run;
    run.status = ExportCommand::run(QStringList{"PlinthraUsageExport"} + arguments, &out, &err);
    run.out = out.data();
    run.err = err.data();
    return run;
}

QStringList siteArguments(const ExportSite &site)
{
    return {"--config", site.config(), "--public-documents", site.publicDocuments()};
}

// A DLV log with long names: its CSV is larger than a pipe holds, from few rows.
QByteArray largeLog()
{
    QByteArray log;
    for (int i = 0; i < 300; ++i)
        log += QStringLiteral("%1%2,%3,Suite,2024-03-05 08:00,2024-03-05 09:00\n")
                   .arg(QString(200, QLatin1Char('u')))
                   .arg(i)
                   .arg(1000 + i)
                   .toUtf8();
    return log;
}

} // namespace

class TestSharedFolders : public QObject
{
    Q_OBJECT

private slots:
    void anotherAccountSteersNothing_data();
    void anotherAccountSteersNothing();
    void standardOutputNamesAreItsDescriptor_data();
    void standardOutputNamesAreItsDescriptor();
    void standardOutputErrorsAreReported_data();
    void standardOutputErrorsAreReported();
    void oneStandardOutputWhateverItsName_data();
    void oneStandardOutputWhateverItsName();
    void streamFailureReplacesNothing();
    void namesOfInputsAreRefused_data();
    void namesOfInputsAreRefused();
    void archiveMustBeARegularFile();
    void plantedArchiveJournalIsRefused();
    void emptyExportFolderIsAUsageError();
    void killedExportLeavesNothingForLater();
};

void TestSharedFolders::anotherAccountSteersNothing_data()
{
    QTest::addColumn<QString>("attack");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("steppedTarget");
    QTest::addColumn<bool>("sticky");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("reportAt");

    const int before = -1;
    const int linked = int(StagedFile::Step::Linked);
    const int opened = int(StagedFile::Step::Opened);
    const int looked = int(StagedFile::Step::Looked);
    for (const bool sticky : {false, true}) {
        const char *mode = sticky ? "sticky" : "team";
        auto row = [&](const char *attack, int step, const char *target, const char *expected,
                       const char *reportAt) {
            QTest::addRow("%s, %s", attack, mode)
                << QString(attack) << step << QString(target) << sticky << QString(expected)
                << QString(reportAt);
        };
        // Renaming another account's files takes a folder without the sticky bit: there the
        // swap happens and is caught; in a sticky folder it cannot happen at all.
        row("staged file swapped for a link", linked, "report", sticky ? "written" : "refused",
            sticky ? "out" : "");
        row("report swapped for a link", opened, "report", "written", "out");
        row("folder swapped", opened, "report", "written", sticky ? "out" : "moved");
        row("CSV link to /dev/null swapped", looked, "csv", "written", "out");
        row("FIFO at the lock", before, "", "written", "out");
        row("lock links to /dev/zero", before, "", "written", "out");
        row("lock of another account", before, "", "written", "out");
        row("FIFO at the report", before, "", "refused", "");
        row("report made set-user-ID by another account", before, "", "written", "out");
        row("dead temporary folder leading to the victim", before, "", "written", "out");
        row("CSV is another account's link to the victim", before, "", "written", "out");
        row("CSV is another account's FIFO", before, "", "refused", "");
    }
}

void TestSharedFolders::anotherAccountSteersNothing()
{
    QFETCH(QString, attack);
    QFETCH(int, step);
    QFETCH(QString, steppedTarget);
    QFETCH(bool, sticky);
    QFETCH(QString, expected);
    QFETCH(QString, reportAt);
    if (::geteuid() != 0)
        QSKIP("another account's moves need the test to run as root");

    ExportSite site;
    site.openToOthers();
    // shared/out: the export folder, in a folder others may write as well.
    const QString shared = site.path("shared");
    const QString folder = shared + "/out";
    QVERIFY(QDir().mkpath(folder));
    const mode_t folderMode = sticky ? 01777 : 0777;
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), folderMode), 0);
    QCOMPARE(::chmod(QFile::encodeName(folder).constData(), folderMode), 0);
    // The victim's files, outside everything the export names.
    const QString victim = site.path("victim");
    QVERIFY(TestSupport::writeFile(victim + "/secret", kSecret));
    QVERIFY(TestSupport::writeFile(victim + "/docs/a.txt", kSecret));
    QVERIFY(TestSupport::writeFile(victim + "/docs/sub/b.txt", kSecret));
    QVERIFY(QFile::setPermissions(victim + "/secret",
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const QString report = folder + "/DLV_UsageReport.pdf";
    const QString csv = folder + "/p.csv";
    const bool hooked = step >= 0;
    if (hooked)
        QVERIFY(TestSupport::writeFile(report, kOld));
    if (attack == "CSV link to /dev/null swapped")
        QVERIFY(QFile::link("/dev/null", csv));

    Names names;
    names.folder = QFile::encodeName(folder);
    names.report = QFile::encodeName(report);
    names.lock = QFile::encodeName(StagedFile::lockPath(report));
    names.csv = QFile::encodeName(csv);
    names.secret = QFile::encodeName(victim + "/secret");
    names.docs = QFile::encodeName(victim + "/docs");
    names.shared = QFile::encodeName(shared);
    names.moved = QFile::encodeName(shared + "/moved");
    names.part = QFile::encodeName(report + ".AAAAAA" + StagedFile::partSuffix());
    names.stolen = QFile::encodeName(report + ".BBBBBB" + StagedFile::partSuffix());
    if (!hooked)
        plant(attack, names);
    const QMap<QString, Entry> victimBefore = snapshot(victim);

    bool struck = false;
    StagedFile::setStepHook([&](StagedFile::Step at, const QString &target) {
        const QString wanted = steppedTarget == "csv" ? csv : report;
        if (struck || int(at) != step || target != wanted)
            return;
        struck = true;
        if (at == StagedFile::Step::Linked)
            names.part = QFile::encodeName(partOf(report));
        strike(attack, names);
    });
    ExportRequest request;
    request.folder = folder;
    request.csvPath = csv;
    const ExportOutcome outcome = site.run(request);
    StagedFile::setStepHook({});

    QVERIFY(!hooked || struck);
    QCOMPARE(snapshot(victim).keys(), victimBefore.keys());
    for (const QString &name : victimBefore.keys())
        QVERIFY2(snapshot(victim).value(name) == victimBefore.value(name), qPrintable(name));
    QCOMPARE(steeredModes(site.path("")), QStringList());
    if (expected == "written")
        QVERIFY2(outcome.succeeded(), qPrintable(outcome.sentence()));
    else
        QVERIFY2(outcome.status == ExportOutcome::WriteFailed, qPrintable(outcome.sentence()));
    if (!reportAt.isEmpty()) {
        const QString written = shared + "/" + reportAt + "/DLV_UsageReport.pdf";
        const Entry entry = entryOf(written);
        QVERIFY2(S_ISREG(entry.mode), qPrintable(written));
        QCOMPARE(entry.owner, ::geteuid());
        QCOMPARE(int(entry.mode & 07777), 0644);
        QVERIFY(entry.content.startsWith("%PDF-"));
    }
    // In a sticky folder our own link to /dev/null cannot be swapped, and is written through.
    const bool csvStaysLink = attack == "CSV link to /dev/null swapped" && sticky;
    if (attack.startsWith("CSV") && expected == "written" && !csvStaysLink) {
        const Entry entry = entryOf(csv);
        QVERIFY(S_ISREG(entry.mode));
        QVERIFY(entry.content.contains("Product type,"));
    }
    // A planted lock stays as it was, and the export said what was in its way.
    if (attack.contains("lock")) {
        QVERIFY(QFileInfo::exists(QFile::decodeName(names.lock)) ||
                QFileInfo(QFile::decodeName(names.lock)).isSymLink());
        QVERIFY2(outcome.sentence().contains("not a lock of this account"),
                 qPrintable(outcome.sentence()));
    }
}

void TestSharedFolders::standardOutputNamesAreItsDescriptor_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("/dev/stdout") << "/dev/stdout";
    QTest::newRow("/proc/self/fd/1") << "/proc/self/fd/1";
    QTest::newRow("/dev/fd/1") << "/dev/fd/1";
}

void TestSharedFolders::standardOutputNamesAreItsDescriptor()
{
    QFETCH(QString, name);
    // Standard output redirected to a file: the name stands for that file, which gets the text;
    // nothing in /dev or /proc is replaced.
    const ExportSite site;
    const QString redirected = site.path("redirected.csv");
    const Entry before = entryOf("/dev/stdout");
    const Run run =
        runProgram(siteArguments(site) + QStringList{"--csv", name, "DLV", site.out()}, redirected);
    QVERIFY2(run.status == 0, run.err.constData());
    QVERIFY(TestSupport::readFile(redirected).contains("Product type,Username"));
    QCOMPARE(entryOf("/dev/stdout"), before);
    QVERIFY(S_ISLNK(before.mode));
}

void TestSharedFolders::standardOutputErrorsAreReported_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("into");
    QTest::newRow("--csv into a full device") << "--csv"
                                              << "/dev/full";
    QTest::newRow("--summary-json into a full device") << "--summary-json"
                                                       << "/dev/full";
    QTest::newRow("--sessions into a closed pipe") << "--sessions"
                                                   << "closed pipe";
}

void TestSharedFolders::standardOutputErrorsAreReported()
{
    QFETCH(QString, option);
    QFETCH(QString, into);
    const ExportSite site(largeLog());
    TestSupport::writeFile(site.report(), kOld);
    QProcess process;
    offscreen(process);
    const QStringList arguments =
        QStringList{QStringLiteral(PLINTHRA_BINARY_DIR "/src/PlinthraUsageExport")} +
        siteArguments(site) + QStringList{option, "-", "DLV", site.out()};
    if (into == "/dev/full") {
        process.setStandardOutputFile(into);
        process.start(arguments.constFirst(), arguments.mid(1));
    } else {
        // A reader that is gone long before anything is written: the tool's status, not the
        // reader's, is the pipeline's.
        process.start("bash", QStringList{"-c", "\"$@\" | true; exit ${PIPESTATUS[0]}", "bash"} +
                                  arguments);
    }
    QVERIFY(process.waitForStarted());
    QVERIFY(process.waitForFinished(120000));
    const QByteArray errors = process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == ExportCommand::WriteFailed, errors.constData());
    QVERIFY2(errors.contains("Could not write standard output"), errors.constData());
    QVERIFY(!errors.contains("Wrote"));
    // Standard output failed before anything was replaced.
    QCOMPARE(TestSupport::readFile(site.report()), kOld);
}

void TestSharedFolders::oneStandardOutputWhateverItsName_data()
{
    QTest::addColumn<QStringList>("outputs");
    QTest::newRow("/dev/stdout and /proc/self/fd/1")
        << QStringList{"--sessions", "/dev/stdout", "--summary-json", "/proc/self/fd/1"};
    QTest::newRow("- and /dev/fd/1") << QStringList{"--csv", "-", "--sessions", "/dev/fd/1"};
}

void TestSharedFolders::oneStandardOutputWhateverItsName()
{
    QFETCH(QStringList, outputs);
    const ExportSite site;
    const Run run = runProgram(siteArguments(site) + outputs + QStringList{"DLV", site.out()},
                               site.path("redirected"));
    QCOMPARE(run.status, int(ExportCommand::Usage));
    QVERIFY2(run.err.contains("only one of"), run.err.constData());
    QCOMPARE(TestSupport::readFile(site.path("redirected")), QByteArray());
}

void TestSharedFolders::streamFailureReplacesNothing()
{
    // The CSV goes into a full device: the report and the summary printed before it stay
    // staged and are never put in place.
    const ExportSite site;
    const QString summary = site.out() + "/DLV_UsageSummary.pdf";
    TestSupport::writeFile(site.report(), kOld);
    TestSupport::writeFile(summary, kOld);
    const Run run = runInProcess(siteArguments(site) +
                                 QStringList{"--summary", "--csv", "/dev/full", "DLV", site.out()});
    QCOMPARE(run.status, int(ExportCommand::WriteFailed));
    QVERIFY2(run.err.startsWith("Could not write /dev/full: the disk is full"),
             run.err.constData());
    QCOMPARE(TestSupport::readFile(site.report()), kOld);
    QCOMPARE(TestSupport::readFile(summary), kOld);
    QCOMPARE(site.strays(site.out(), {"DLV_UsageReport.pdf", "DLV_UsageSummary.pdf"}),
             QStringList());
}

void TestSharedFolders::namesOfInputsAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("untouched");
    const ExportSite names;
    const QString out = "@OUT@";
    QTest::newRow("a new file in a log folder")
        << QStringList{"--csv", "@ZQF@/Log20991231.log", "ZQF", out} << "@ZQF@/Log20991231.log";
    QTest::newRow("the archive is the log")
        << QStringList{"--archive", "@LOG@", "DLV", out} << "@LOG@";
    QTest::newRow("the archive is the log, ingest only")
        << QStringList{"--archive", "@LOG@", "--ingest-only", "DLV"} << "@LOG@";
    QTest::newRow("an output is the archive's journal")
        << QStringList{"--archive", "@OUT@/a.sqlite", "--csv", "@OUT@/a.sqlite-journal", "DLV", out}
        << "@OUT@/a.sqlite-journal";
    QTest::newRow("an output is the report's lock")
        << QStringList{"--csv", "@OUT@/DLV_UsageReport.pdf.lock", "DLV", out}
        << "@OUT@/DLV_UsageReport.pdf.lock";
    QTest::newRow("an output is a temporary name of another")
        << QStringList{"--sessions", "@OUT@/s.csv", "--csv", "@OUT@/s.csv.Ab12Cd.part", "DLV", out}
        << "@OUT@/s.csv.Ab12Cd.part";
}

void TestSharedFolders::namesOfInputsAreRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, untouched);
    const ExportSite site;
    auto resolve = [&](QString text) {
        return text.replace("@OUT@", site.out())
            .replace("@ZQF@", site.zqfFolder())
            .replace("@LOG@", site.dlvLogPath());
    };
    for (QString &argument : arguments)
        argument = resolve(argument);
    untouched = resolve(untouched);
    const Entry before = entryOf(untouched);
    const Run run = runInProcess(siteArguments(site) + arguments);
    QCOMPARE(run.status, int(ExportCommand::Usage));
    QVERIFY2(run.err.contains("is the same file as"), run.err.constData());
    QCOMPARE(entryOf(untouched), before);
    QVERIFY(!QFileInfo::exists(site.report()));
}

void TestSharedFolders::archiveMustBeARegularFile()
{
    const ExportSite site;
    const bool hadJournal = QFileInfo::exists("/dev/null-journal");
    const Run run = runInProcess(siteArguments(site) +
                                 QStringList{"--archive", "/dev/null", "--ingest-only", "DLV"});
    QCOMPARE(run.status, int(ExportCommand::ArchiveUnavailable));
    QVERIFY2(run.err.contains("not a regular file"), run.err.constData());
    QCOMPARE(QFileInfo::exists("/dev/null-journal"), hadJournal);
    QCOMPARE(entryOf("/dev/null").mode & S_IFMT, mode_t(S_IFCHR));
}

void TestSharedFolders::plantedArchiveJournalIsRefused()
{
    if (::geteuid() != 0)
        QSKIP("another account's moves need the test to run as root");
    ExportSite site;
    site.openToOthers();
    const QString shared = site.path("shared");
    QVERIFY(QDir().mkpath(shared));
    QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    const QString victim = site.path("victim");
    QVERIFY(TestSupport::writeFile(victim, kSecret));
    const QByteArray journal = QFile::encodeName(shared + "/a.sqlite-journal");
    const QByteArray target = QFile::encodeName(victim);
    asAttacker([&] { ::symlink(target.constData(), journal.constData()); });
    QVERIFY(QFileInfo(QFile::decodeName(journal)).isSymLink());
    const Run run =
        runInProcess(siteArguments(site) +
                     QStringList{"--archive", shared + "/a.sqlite", "--ingest-only", "DLV"});
    QCOMPARE(run.status, int(ExportCommand::ArchiveUnavailable));
    QVERIFY2(run.err.contains("is not SQLite's own file"), run.err.constData());
    QCOMPARE(TestSupport::readFile(victim), kSecret);
}

void TestSharedFolders::emptyExportFolderIsAUsageError()
{
    const ExportSite site;
    const bool hadReport = QFileInfo::exists("/DLV_UsageReport.pdf");
    const Run run = runInProcess(siteArguments(site) + QStringList{"DLV", ""});
    QCOMPARE(run.status, int(ExportCommand::Usage));
    QVERIFY2(run.err.contains("export folder is empty"), run.err.constData());
    QCOMPARE(QFileInfo::exists("/DLV_UsageReport.pdf"), hadReport);
}

void TestSharedFolders::killedExportLeavesNothingForLater()
{
    // Killed outright while its CSV waits on a FIFO: nothing it staged has a name, and the
    // locks it left are taken up by the next export, with or without the summary.
    const ExportSite site(largeLog());
    const QString fifo = site.path("stream.csv");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    QProcess process;
    offscreen(process);
    process.start(QStringLiteral(PLINTHRA_BINARY_DIR "/src/PlinthraUsageExport"),
                  siteArguments(site) + QStringList{"--summary", "--sessions",
                                                    site.out() + "/s.csv", "--csv", fifo, "DLV",
                                                    site.out()});
    QVERIFY(process.waitForStarted());
    pollfd waiting{reader, POLLIN, 0};
    while (::poll(&waiting, 1, 1000) == 0)
        QVERIFY2(process.state() == QProcess::Running, process.readAllStandardError().constData());
    const QStringList held = site.strays(site.out(), {});
    QCOMPARE(::kill(pid_t(process.processId()), SIGKILL), 0);
    QVERIFY(process.waitForFinished(-1));
    ::close(reader);
    QCOMPARE(held,
             (QStringList{"DLV_UsageReport.pdf.lock", "DLV_UsageSummary.pdf.lock", "s.csv.lock"}));

    const ExportOutcome outcome = site.run(ExportRequest());
    QVERIFY2(outcome.succeeded(), qPrintable(outcome.sentence()));
    QVERIFY(outcome.notices.isEmpty());
    QCOMPARE(site.strays(site.out(), {"DLV_UsageReport.pdf"}), QStringList{"s.csv.lock"});
}

QTEST_MAIN(TestSharedFolders)
#include "tst_sharedfolders.moc"
