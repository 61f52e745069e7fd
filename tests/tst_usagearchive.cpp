// The usage archive on both engines it supports: every case runs once on an SQLite file and once
// on the PostgreSQL server that scripts/test starts (PLINTHRA_TEST_PGURL); without that server
// the PostgreSQL rows fail.

#include "testsupport.h"
#include "usagearchive.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSqlite = QStringLiteral("sqlite");
const QString kPostgres = QStringLiteral("postgresql");

struct Outcome
{
    int status = -1;
    QString err;
};

QString program()
{
    return QStringLiteral(PLINTHRA_BINARY_DIR "/src/PlinthraUsageExport");
}

QString examples(const QString &name)
{
    return QStringLiteral(PLINTHRA_TEST_DATA "/../../examples/") + name;
}

// A connection of the test's own to the server database of url, beside the archive's.
QSqlDatabase serverConnection(const QString &text, const QString &name)
{
    const QUrl url(text);
    QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
    db.setHostName(url.host());
    db.setPort(url.port());
    db.setUserName(url.userName());
    db.setDatabaseName(url.path().mid(1));
    return db;
}

// A CSV log of sessions closed one a minute.
QByteArray csvLog(int sessions)
{
    QByteArray text;
    text.reserve(sessions * 60);
    const QDateTime first(QDate(2023, 1, 1), QTime(8, 0));
    for (int index = 0; index < sessions; ++index) {
        const QDateTime start = first.addSecs(60 * index);
        text += "user" + QByteArray::number(index % 97) + ',' + QByteArray::number(index % 13) +
                ",Delivery Suite," + start.toString("yyyy-MM-dd HH:mm").toUtf8() + ',' +
                start.addSecs(3000).toString("yyyy-MM-dd HH:mm").toUtf8() + '\n';
    }
    return text;
}

// The summary JSON without the figures per machine that only an archive gives, written as the
// program writes it.
QByteArray withoutMachines(const QByteArray &json)
{
    QJsonObject root = QJsonDocument::fromJson(json).object();
    QJsonArray types;
    for (const QJsonValue &type : root.value("productTypes").toArray()) {
        QJsonObject object = type.toObject();
        object.remove("perMachine");
        types.append(object);
    }
    root.insert("productTypes", types);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

} // namespace

class TestUsageArchive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reportEqualsLogs_data();
    void reportEqualsLogs();
    void logLifecycle_data() { backends(); }
    void logLifecycle();
    void openSessionCloses_data() { backends(); }
    void openSessionCloses();
    void concurrentIngest_data() { backends(); }
    void concurrentIngest();
    void refused_data();
    void refused();
    void readOnlyFile();
    void interruptedIngest_data();
    void interruptedIngest();
    void historyKeepsEverySessionOnce_data() { backends(); }
    void historyKeepsEverySessionOnce();
    void zqfFolderChanges_data() { backends(); }
    void zqfFolderChanges();
    void staleIngestNeverReopens_data() { backends(); }
    void staleIngestNeverReopens();
    void anyLogTextIsStorable_data() { backends(); }
    void anyLogTextIsStorable();
    void versionOneIsMigrated();
    void damageGivesNoPartialAnswer_data();
    void damageGivesNoPartialAnswer();
    void ingestOnlyStatuses_data();
    void ingestOnlyStatuses();
    void serverUrls_data();
    void serverUrls();
    void machineNames_data();
    void machineNames();
    void defaultMachineIsRemembered();
    void perMachineFigures_data() { backends(); }
    void perMachineFigures();

private:
    static void backends();
    // A new, empty archive of the backend: a file path or a URL of a fresh database.
    QString freshArchive(const QString &backend);
    // Runs the command with the test's configuration and logs.
    Outcome run(const QStringList &arguments, const QStringList &environment = {});
    static qint64 sessionCount(const QString &archive, const QString &productCode,
                               int *open = nullptr);
    void writeCsvLog(int sessions);

    QTemporaryDir m_work;
    QString m_config;
    QString m_public;
    int m_databases = 0;
};

void TestUsageArchive::initTestCase()
{
    QVERIFY(m_work.isValid());
    m_config = m_work.filePath("ProductConfig.ini");
    m_public = m_work.filePath("public");
    QVERIFY(TestSupport::writeFile(m_config,
                                   "[PRODUCT]\nproducts=DLV|ZQF\n[DLV]\nconfigs=DLV_A|DLV_B\n"
                                   "[ZQF]\nconfigs=ZQF_A\n"
                                   "[DLV_A]\nCompany=T\nproduct=DLV\nPlatform_Code=x64\n"
                                   "log_name=usage.csv\n"
                                   "[DLV_B]\nCompany=T\nproduct=DLV\nPlatform_Code=x86\n"
                                   "log_name=usage.csv\n"
                                   "[ZQF_A]\nCompany=T\nproduct=ZQF\nPlatform_Code=x64\n"
                                   "log_name=Logs\n"));
}

void TestUsageArchive::backends()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << kSqlite;
    QTest::newRow("postgresql") << kPostgres;
}

QString TestUsageArchive::freshArchive(const QString &backend)
{
    const QString name = QStringLiteral("archive%1").arg(++m_databases);
    if (backend == kSqlite)
        return m_work.filePath(name + ".sqlite");
    const QUrl server(qEnvironmentVariable("PLINTHRA_TEST_PGURL"));
    if (server.isEmpty()) {
        qWarning("PLINTHRA_TEST_PGURL is not set: run the tests through scripts/test");
        return QString();
    }
    QString error;
    {
        QSqlDatabase admin = serverConnection(server.toString(), "admin");
        QSqlQuery query(admin);
        if (!admin.open())
            error = admin.lastError().text();
        else if (!query.exec("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)") ||
                 !query.exec("CREATE DATABASE " + name))
            error = query.lastError().text();
    }
    QSqlDatabase::removeDatabase("admin");
    if (!error.isEmpty()) {
        qWarning("%s", qPrintable(error));
        return QString();
    }
    QUrl url = server;
    url.setPath("/" + name);
    return url.toString();
}

Outcome TestUsageArchive::run(const QStringList &arguments, const QStringList &environment)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : environment)
        env.insert(entry.section('=', 0, 0), entry.section('=', 1));
    process.setProcessEnvironment(env);
    process.start(program(),
                  QStringList{"--config", m_config, "--public-documents", m_public} + arguments);
    Outcome outcome;
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit)
        return outcome;
    outcome.status = process.exitCode();
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

qint64 TestUsageArchive::sessionCount(const QString &archive, const QString &productCode, int *open)
{
    UsageArchive reader;
    UsageSessions sessions;
    if (!reader.open(archive, false) || !reader.load(productCode, {}, {}, &sessions)) {
        qWarning("%s", qPrintable(reader.errorText()));
        return -1;
    }
    if (open) {
        *open = 0;
        for (const UsageSessionList &list : sessions.sessions()) {
            for (const UsageSession &session : list)
                *open += session.state() == UsageSession::Open ? 1 : 0;
        }
    }
    return sessions.sessionCount();
}

void TestUsageArchive::writeCsvLog(int sessions)
{
    QVERIFY(TestSupport::writeFile(m_public + "/T/DLV/x64/usage.csv", csvLog(sessions)));
}

void TestUsageArchive::reportEqualsLogs_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QStringList>("range");
    // A range per product that cuts through its logs' days.
    const QVector<QPair<QString, QStringList>> ranges = {
        {"PRX", {"--from", "2024-03-05", "--to", "2024-03-05"}},
        {"DLV", {"--from", "2024-03-05"}},
        {"HWN", {"--to", "2024-03-06"}},
        {"HWNK", {"--from", "2024-03-09", "--to", "2024-03-09"}},
        {"ZQF", {"--from", "2024-03-05", "--to", "2024-03-06"}},
    };
    for (const QString &backend : {kSqlite, kPostgres}) {
        for (const auto &range : ranges) {
            QTest::addRow("%s %s", qPrintable(backend), qPrintable(range.first))
                << backend << range.first << QStringList();
            QTest::addRow("%s %s %s", qPrintable(backend), qPrintable(range.first),
                          qPrintable(range.second.join(' ')))
                << backend << range.first << range.second;
        }
    }
}

// An archive that holds exactly one machine's current logs gives the same report, rows,
// sessions and figures as the logs themselves.
void TestUsageArchive::reportEqualsLogs()
{
    QFETCH(QString, backend);
    QFETCH(QString, product);
    QFETCH(QStringList, range);
    const QString archive = freshArchive(backend);
    QVERIFY(!archive.isEmpty());
    const QStringList config{"--config", examples("ProductConfig.ini"), "--public-documents",
                             examples("PublicDocuments")};
    const auto outputs = [&](const QString &name) {
        const QString folder = m_work.filePath(name);
        QDir().mkpath(folder);
        return QStringList{
            "--csv",          folder + "/rows.csv",     "--sessions", folder + "/sessions.csv",
            "--summary-json", folder + "/summary.json", product,      folder};
    };
    QCOMPARE(run(config + range + outputs("logs")).status, 0);
    QCOMPARE(run(config + QStringList{"--archive", archive, "--ingest-only", product}).status, 0);
    const Outcome fromArchive = run(
        config + range + QStringList{"--archive", archive, "--from-archive"} + outputs("archive"));
    QVERIFY2(fromArchive.status == 0, qPrintable(fromArchive.err));
    for (const char *file : {"rows.csv", "sessions.csv"}) {
        const QByteArray logs = TestSupport::readFile(m_work.filePath("logs/") + file);
        QVERIFY(logs.count('\n') > 1);
        QCOMPARE(TestSupport::readFile(m_work.filePath("archive/") + file), logs);
    }
    // The summary is the logs' with each product type's one machine beside it, whose figures
    // are the site's but for the licences owned, which are the site's alone.
    const QByteArray logs = TestSupport::readFile(m_work.filePath("logs/summary.json"));
    QVERIFY(!logs.contains("perMachine"));
    const QByteArray json = TestSupport::readFile(m_work.filePath("archive/summary.json"));
    QCOMPARE(withoutMachines(json), logs);
    const QJsonArray types = QJsonDocument::fromJson(json).object().value("productTypes").toArray();
    QVERIFY(!types.isEmpty());
    for (const QJsonValue &value : types) {
        QJsonObject type = value.toObject();
        const QJsonArray machines = type.value("perMachine").toArray();
        QCOMPARE(machines.size(), 1);
        QJsonObject machine = machines.at(0).toObject();
        QCOMPARE(machine.value("name").toString(), QSysInfo::machineHostName());
        for (const char *member : {"name", "owned", "secondsOverOwned", "perMachine"})
            type.remove(member);
        machine.remove("name");
        QCOMPARE(machine, type);
    }
}

// Feeding the same log again adds nothing; a log that grew adds what is new; a log rotated
// away leaves its sessions behind.
void TestUsageArchive::logLifecycle()
{
    QFETCH(QString, backend);
    const QString archive = freshArchive(backend);
    QVERIFY(!archive.isEmpty());
    const QStringList ingest{"--archive", archive, "--ingest-only", "--machine", "ws1", "DLV"};
    const QString log = m_public + "/T/DLV/x64/usage.csv";
    const QByteArray grown = csvLog(5);
    QVERIFY(TestSupport::writeFile(log, grown.left(grown.indexOf("user3,"))));
    for (int pass = 0; pass < 2; ++pass) {
        const Outcome outcome = run(ingest);
        QVERIFY2(outcome.status == 0, qPrintable(outcome.err));
        QCOMPARE(sessionCount(archive, "DLV"), 3);
    }
    QVERIFY(TestSupport::writeFile(log, grown));
    QCOMPARE(run(ingest).status, 0);
    QCOMPARE(sessionCount(archive, "DLV"), 5);

    // The log starts afresh: its first line sits where an archived one sat, yet is new.
    QVERIFY(TestSupport::writeFile(log, "user0,0,Delivery Suite,2024-04-01 08:00,"
                                        "2024-04-01 09:00\n"));
    QCOMPARE(run(ingest).status, 0);
    QCOMPARE(sessionCount(archive, "DLV"), 6);
    // Nothing to read is said as an export says it, and takes nothing away.
    QVERIFY(QFile::remove(log));
    QCOMPARE(run(ingest).status, 4);
    QCOMPARE(sessionCount(archive, "DLV"), 6);
}

// A run that was still going at one ingest and has ended by the next is closed in place, not
// added a second time.
void TestUsageArchive::openSessionCloses()
{
    QFETCH(QString, backend);
    const QString archive = freshArchive(backend);
    QVERIFY(!archive.isEmpty());
    const QDateTime start(QDate(2024, 3, 4), QTime(8, 0));
    const UsageSession first("anna", "D-1", start.addSecs(-7200), start.addSecs(-3600));
    UsageSessions before;
    before.addSession("Standard", first);
    before.addSession("Standard", UsageSession("omar", "D-2", start));
    UsageSessions after;
    after.addSession("Standard", first);
    after.addSession("Standard", UsageSession("omar", "D-2", start, start.addSecs(1800)));
    after.addUnpairedEnd("Standard", start.addSecs(3600), "li", "D-3");
    UsageArchive writer;
    QVERIFY2(writer.open(archive), qPrintable(writer.errorText()));
    QVERIFY(writer.ingest("ws1", "PRX", {{"log", before}}));
    int open = -1;
    QCOMPARE(sessionCount(archive, "PRX", &open), 2);
    QCOMPARE(open, 1);
    QVERIFY(writer.ingest("ws1", "PRX", {{"log", after}}));
    QVERIFY(writer.ingest("ws1", "PRX", {{"log", after}}));
    QCOMPARE(sessionCount(archive, "PRX", &open), 2);
    QCOMPARE(open, 0);
    UsageSessions loaded;
    UsageTable rows;
    QVERIFY(writer.load("PRX", {}, {}, &loaded, &rows));
    QCOMPARE(loaded.sessions().value("Standard").at(1).seconds(), 1800);
    QCOMPARE(loaded.unpairedEnds().value("Standard").size(), 1);
    QCOMPARE(loaded.unpairedEnds().value("Standard").at(0).userName(), QString("li"));
}

// Three ingests at once, two of them of the same machine: the archive gets each machine's
// sessions exactly once.
void TestUsageArchive::concurrentIngest()
{
    QFETCH(QString, backend);
    const QString archive = freshArchive(backend);
    QVERIFY(!archive.isEmpty());
    const int sessions = 20000;
    writeCsvLog(sessions);
    QVector<QProcess *> processes;
    for (const char *machine : {"ws1", "ws2", "ws1"}) {
        auto *process = new QProcess(this);
        process->start(program(),
                       {"--config", m_config, "--public-documents", m_public, "--archive", archive,
                        "--ingest-only", "--machine", machine, "DLV"});
        processes << process;
    }
    for (QProcess *process : qAsConst(processes)) {
        QVERIFY(process->waitForFinished(300000));
        QVERIFY2(process->exitCode() == 0, process->readAllStandardError().constData());
        delete process;
    }
    UsageArchive reader;
    QVector<UsageArchive::MachineShare> shares;
    QVERIFY(reader.open(archive, false));
    QVERIFY(reader.listing(&shares));
    QCOMPARE(shares.size(), 2);
    for (const UsageArchive::MachineShare &share : qAsConst(shares))
        QCOMPARE(share.sessions, qint64(sessions));
}

void TestUsageArchive::refused_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<QString>("message");
    for (const QString &backend : {kSqlite, kPostgres}) {
        QTest::addRow("%s newer version", qPrintable(backend)) << backend << "newer"
                                                               << "written by a newer version";
        QTest::addRow("%s other tables", qPrintable(backend))
            << backend << "foreign"
            << "something other than a usage archive";
    }
    QTest::newRow("sqlite not a database") << kSqlite << "text"
                                           << "is not a usage archive";
    QTest::newRow("postgresql password in URL") << kPostgres << "password"
                                                << "holds a password";
    QTest::newRow("postgresql unreachable") << kPostgres << "unreachable"
                                            << "Connection refused";
    QTest::newRow("postgresql wrong password") << kPostgres << "wrongPassword"
                                               << "password authentication failed";
}

// An archive that cannot be used is refused with a message and status 6, and left as it was.
void TestUsageArchive::refused()
{
    QFETCH(QString, backend);
    QFETCH(QString, prepare);
    QFETCH(QString, message);
    QString archive = freshArchive(backend);
    QVERIFY(!archive.isEmpty());
    QStringList environment;
    const auto change = [&](const QString &statement) {
        const QString connection = QStringLiteral("change");
        {
            QSqlDatabase db;
            if (backend == kSqlite) {
                db = QSqlDatabase::addDatabase("QSQLITE", connection);
                db.setDatabaseName(archive);
            } else {
                db = serverConnection(archive, connection);
            }
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY2(query.exec(statement), qPrintable(query.lastError().text()));
        }
        QSqlDatabase::removeDatabase(connection);
    };
    if (prepare == "newer") {
        UsageArchive create;
        QVERIFY2(create.open(archive), qPrintable(create.errorText()));
        change("UPDATE archive_info SET value = '99' WHERE name = 'schema_version'");
    } else if (prepare == "foreign") {
        change("CREATE TABLE invoices (number INTEGER)");
    } else if (prepare == "text") {
        QVERIFY(TestSupport::writeFile(archive, "number,total\n1,20\n"));
    } else if (prepare == "password") {
        QUrl url(archive);
        url.setPassword("secret");
        archive = url.toString();
    } else if (prepare == "unreachable") {
        QUrl url(archive);
        url.setPort(1);
        archive = url.toString();
    } else if (prepare == "wrongPassword") {
        environment << "PGPASSWORD=wrong";
    }
    const QByteArray before = backend == kSqlite ? TestSupport::readFile(archive) : QByteArray();
    writeCsvLog(1);
    const Outcome outcome = run({"--archive", archive, "--ingest-only", "DLV"}, environment);
    QCOMPARE(outcome.status, 6);
    QVERIFY2(outcome.err.contains(message), qPrintable(outcome.err));
    QVERIFY2(!outcome.err.contains("secret"), qPrintable(outcome.err));
    if (backend == kSqlite)
        QCOMPARE(TestSupport::readFile(archive), before);
    if (prepare == "newer") {
        UsageArchive reader;
        QVERIFY(!reader.open(archive, false));
    }
}

// A write-protected archive file still gives reports, and an ingest into it fails with status
// 7 and changes nothing.
void TestUsageArchive::readOnlyFile()
{
    const QString archive = freshArchive(kSqlite);
    writeCsvLog(1);
    QCOMPARE(run({"--archive", archive, "--ingest-only", "DLV"}).status, 0);
    QVERIFY(QFile::setPermissions(archive, QFile::ReadOwner | QFile::ReadGroup));
    const QByteArray before = TestSupport::readFile(archive);
    writeCsvLog(3);
    const Outcome ingest = run({"--archive", archive, "--ingest-only", "DLV"});
    QCOMPARE(ingest.status, 7);
    QVERIFY2(ingest.err.contains("read-only"), qPrintable(ingest.err));
    QCOMPARE(TestSupport::readFile(archive), before);
    const Outcome report = run({"--archive", archive, "--from-archive", "DLV", m_work.path()});
    QVERIFY2(report.status == 0, qPrintable(report.err));
    QVERIFY(QFile::exists(archive));
}

void TestUsageArchive::interruptedIngest_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("restartServer");
    QTest::newRow("sqlite killed") << kSqlite << false;
    QTest::newRow("postgresql killed") << kPostgres << false;
    QTest::newRow("postgresql restarted") << kPostgres << true;
}

// An ingest cut off in its transaction leaves the archive without any of it, and the next
// ingest brings all of it.
void TestUsageArchive::interruptedIngest()
{
    QFETCH(QString, backend);
    QFETCH(bool, restartServer);
    const QString archive = freshArchive(backend);
    QVERIFY(!archive.isEmpty());
    {
        UsageArchive create;
        QVERIFY(create.open(archive));
    }
    // Long enough an ingest to be cut inside its transaction; the sanitizer build runs several
    // times slower, and the whole function must still end within the test's time limit.
#ifdef PLINTHRA_SANITIZED_BUILD
    const int sessions = 40000;
#else
    const int sessions = 300000;
#endif
    writeCsvLog(sessions);

    // Inside the ingest's transaction: SQLite's rollback journal exists, or the server holds
    // a transaction that has written.
    QSqlDatabase watch;
    if (backend == kPostgres) {
        watch = serverConnection(archive, "watch");
        QVERIFY(watch.open());
    }
    const auto inTransaction = [&] {
        if (backend == kSqlite)
            return QFile::exists(archive + "-journal");
        QSqlQuery query(watch);
        return query.exec("SELECT count(*) FROM pg_stat_activity WHERE application_name = "
                          "'PlinthraUsageExport' AND backend_xid IS NOT NULL") &&
               query.next() && query.value(0).toInt() > 0;
    };

    QProcess process;
    process.start(program(), {"--config", m_config, "--public-documents", m_public, "--archive",
                              archive, "--ingest-only", "DLV"});
    QVERIFY(process.waitForStarted());
    while (!inTransaction() && process.state() == QProcess::Running)
        QThread::msleep(2);
    QVERIFY2(process.state() == QProcess::Running, "the ingest ended before it could be cut");
    if (restartServer) {
        watch.close();
        QCOMPARE(QProcess::execute("sh", {"-c", qEnvironmentVariable("PLINTHRA_TEST_PGRESTART")}),
                 0);
        QVERIFY(process.waitForFinished(300000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 7);
        QVERIFY(process.readAllStandardError().contains("nothing of"));
    } else {
        process.kill();
        QVERIFY(process.waitForFinished(300000));
    }
    watch = QSqlDatabase();
    QSqlDatabase::removeDatabase("watch");

    const qint64 kept = sessionCount(archive, "DLV");
    QVERIFY2(kept == 0 || kept == sessions, qPrintable(QString::number(kept)));
    QCOMPARE(run({"--archive", archive, "--ingest-only", "DLV"}).status, 0);
    QCOMPARE(sessionCount(archive, "DLV"), sessions);
}

namespace {

// One CSV log line: user, dongle, start and end as the log writes them.
QByteArray line(const char *user, const char *start, const char *end)
{
    return QByteArray(user) + ",D-" + user + ",Delivery Suite," + start + ',' + end + '\n';
}

} // namespace

// A machine's log over months, ingested every night: first run, growth and a completed end,
// rotation, a head trimmed, a line put at the top, a fresh file, two identical sessions in one
// reading, and the sessions of the daylight-saving changes. After the last night the archive
// holds exactly the union of everything the log ever held, as reading all of it at once gives,
// timed as the logging machine timed it and reported the same from other zones.
void TestUsageArchive::historyKeepsEverySessionOnce()
{
    QFETCH(QString, backend);
    const QString archive = freshArchive(backend);
    QVERIFY(!archive.isEmpty());
    const QByteArray a = line("anna", "2024-03-04 08:00", "2024-03-04 09:00");
    const QByteArray b = line("bo", "2024-03-04 10:00", "2024-03-04 11:30");
    const QByteArray cOpen = line("carl", "2024-03-05 08:00", "");
    const QByteArray c = line("carl", "2024-03-05 08:00", "2024-03-05 12:00");
    const QByteArray d = line("dora", "2024-03-06 09:00", "2024-03-06 09:45");
    const QByteArray e = line("emil", "2024-03-07 07:00", "2024-03-07 08:00");
    const QByteArray top = line("anna", "2024-03-03 08:00", "2024-03-03 08:30");
    // Across the spring change (one real hour), inside the repeated autumn hour (its first
    // occurrence) and across the autumn change (three real hours).
    const QByteArray spring = line("fritz", "2024-03-31 01:30", "2024-03-31 03:30");
    const QByteArray repeated = line("gina", "2024-10-27 02:10", "2024-10-27 02:50");
    const QByteArray autumn = line("hans", "2024-10-27 01:30", "2024-10-27 03:30");
    const QByteArray twin = line("ivo", "2024-11-04 08:00", "2024-11-04 09:00");
    const QVector<QByteArray> nights = {
        a + b + cOpen,
        a + b + c + d,
        c + d + e,
        top + c + d + e,
        spring + repeated + autumn,
        spring + repeated + autumn + twin + twin,
    };
    const QByteArray everything =
        top + a + b + c + d + e + spring + repeated + autumn + twin + twin;
    const QString log = m_public + "/T/DLV/x64/usage.csv";
    const QStringList berlin{"TZ=Europe/Berlin"};
    for (const QByteArray &night : nights) {
        QVERIFY(TestSupport::writeFile(log, night));
        const Outcome outcome =
            run({"--archive", archive, "--ingest-only", "--machine", "ws1", "DLV"}, berlin);
        QVERIFY2(outcome.status == 0, qPrintable(outcome.err));
    }
    const QString out = m_work.filePath("history-" + backend);
    QDir().mkpath(out);
    QVERIFY(TestSupport::writeFile(log, everything));
    QCOMPARE(run({"--sessions", out + "/logs.csv", "DLV", out}, berlin).status, 0);
    QVERIFY(QFile::remove(log));
    const QByteArray logs = TestSupport::readFile(out + "/logs.csv");
    for (const char *zone : {"Europe/Berlin", "America/New_York", "Asia/Kolkata"}) {
        const QString file = out + "/archive-" + QString(zone).replace('/', '-') + ".csv";
        const Outcome report =
            run({"--archive", archive, "--from-archive", "--sessions", file, "DLV", out},
                {QStringLiteral("TZ=") + zone});
        QVERIFY2(report.status == 0, qPrintable(report.err));
        QCOMPARE(TestSupport::readFile(file), logs);
    }
    QVERIFY(logs.contains("fritz,D-fritz,2024-03-31 01:30:00,2024-03-31 03:30:00,3600,closed"));
    QVERIFY(logs.contains("hans,D-hans,2024-10-27 01:30:00,2024-10-27 03:30:00,10800,closed"));
    QVERIFY(logs.contains("gina,D-gina,2024-10-27 02:10:00,2024-10-27 02:50:00,2400,closed"));
    QCOMPARE(sessionCount(archive, "DLV"), 11);
}

// A ZQF folder whose oldest file is deleted, or which gains a file that sorts first, adds only
// what is new.
void TestUsageArchive::zqfFolderChanges()
{
    QFETCH(QString, backend);
    const QString archive = freshArchive(backend);
    QVERIFY(!archive.isEmpty());
    const QString folder = m_public + "/T/ZQF/x64/Logs";
    QDir(folder).removeRecursively();
    QVERIFY(QDir().mkpath(folder));
    const QString examplesLogs = examples("PublicDocuments/Plinthra/ZQF/x64/Logs/");
    const QStringList names{"Log20240304.log", "Log20240305.log", "Log20240306.log"};
    for (const QString &name : names)
        QVERIFY(QFile::copy(examplesLogs + name, folder + "/" + name));
    const QStringList ingest{"--archive", archive, "--ingest-only", "--machine", "ws1", "ZQF"};
    QCOMPARE(run(ingest).status, 0);
    const qint64 all = sessionCount(archive, "ZQF");
    QVERIFY(all > 3);
    QVERIFY(QFile::remove(folder + "/" + names.at(0)));
    QCOMPARE(run(ingest).status, 0);
    QCOMPARE(sessionCount(archive, "ZQF"), all);
    // Sorts before every other file: every later session moves down one place.
    QVERIFY(TestSupport::writeFile(folder + "/Log1.log",
                                   "2024-03-01 08:00:00.000 [main] Session opened "
                                   "userName=new,productType=Survey\n"
                                   "2024-03-01 08:00:01.000 [licence] Dongle found,dogNum is 1\n"
                                   "2024-03-01 09:00:00.000 [main] Application run end\n"));
    QCOMPARE(run(ingest).status, 0);
    QCOMPARE(sessionCount(archive, "ZQF"), all + 1);
}

// Two ingests of one machine at once, one with a stale reading where a session is still open,
// one with the current reading where it is closed: both are held at the sessions table until
// both have started, so they meet inside their transactions and commit in whichever order the
// engine gives. The stale one never reopens what the current one closed.
void TestUsageArchive::staleIngestNeverReopens()
{
    QFETCH(QString, backend);
    const QString archive = freshArchive(backend);
    QVERIFY(!archive.isEmpty());
    {
        UsageArchive create;
        QVERIFY2(create.open(archive), qPrintable(create.errorText()));
    }
    QSqlDatabase blocker = backend == kSqlite ? QSqlDatabase::addDatabase("QSQLITE", "blocker")
                                              : serverConnection(archive, "blocker");
    if (backend == kSqlite)
        blocker.setDatabaseName(archive);
    QVERIFY(blocker.open());
    const int rounds = 8;
    for (int round = 0; round < rounds; ++round) {
        const QDateTime start(QDate(2024, 3, 4), QTime(8, round));
        UsageSessions stale;
        stale.addSession("Standard", UsageSession("omar", "D-2", start));
        UsageSessions current;
        current.addSession("Standard", UsageSession("omar", "D-2", start, start.addSecs(1800)));
        QSqlQuery hold(blocker);
        QVERIFY2(hold.exec(backend == kSqlite ? "BEGIN EXCLUSIVE" : "BEGIN"),
                 qPrintable(hold.lastError().text()));
        if (backend == kPostgres)
            QVERIFY(hold.exec("LOCK TABLE sessions IN EXCLUSIVE MODE"));
        bool ok[2] = {false, false};
        const auto ingester = [&](int which, const UsageSessions &reading) {
            return QThread::create([&, which, reading] {
                UsageArchive archiveWriter;
                ok[which] = archiveWriter.open(archive) &&
                            archiveWriter.ingest("ws1", "PRX", {{"log", reading}});
            });
        };
        // Alternate which one asks first, so that both commit orders come up.
        QScopedPointer<QThread> first(ingester(0, round % 2 ? stale : current));
        QScopedPointer<QThread> second(ingester(1, round % 2 ? current : stale));
        first->start();
        second->start();
        if (backend == kPostgres) {
            QSqlQuery waiting(blocker);
            QTRY_VERIFY_WITH_TIMEOUT(waiting.exec("SELECT count(*) FROM pg_locks WHERE NOT "
                                                  "granted") &&
                                         waiting.next() && waiting.value(0).toInt() >= 2,
                                     30000);
        } else {
            QThread::msleep(200);
        }
        QVERIFY(hold.exec("COMMIT"));
        QVERIFY(first->wait(60000));
        QVERIFY(second->wait(60000));
        QVERIFY(ok[0] && ok[1]);
    }
    blocker.close();
    blocker = QSqlDatabase();
    QSqlDatabase::removeDatabase("blocker");
    int open = -1;
    QCOMPARE(sessionCount(archive, "PRX", &open), rounds);
    QCOMPARE(open, 0);
}

// Whatever text a log holds goes in on both engines and comes back the same way: a 3,000
// character name, a NUL, a lone surrogate. The other users' sessions of that log go in too.
void TestUsageArchive::anyLogTextIsStorable()
{
    QFETCH(QString, backend);
    const QString archive = freshArchive(backend);
    QVERIFY(!archive.isEmpty());
    const QDateTime start(QDate(2024, 3, 4), QTime(8, 0));
    const QString longName(3000, QLatin1Char('x'));
    const QString withNul = QStringLiteral("mallory") + QChar(0);
    const QString surrogate = QStringLiteral("sur") + QChar(0xd800) + QStringLiteral("rogate");
    UsageSessions sessions;
    int minute = 0;
    for (const QString &user : {longName, withNul, surrogate, QStringLiteral("anna")}) {
        const QDateTime at = start.addSecs(60 * minute++);
        sessions.addSession("Standard", UsageSession(user, "D-1", at, at.addSecs(30)));
    }
    UsageArchive writer;
    QVERIFY2(writer.open(archive), qPrintable(writer.errorText()));
    QVERIFY2(writer.ingest("ws1", "PRX", {{"log", sessions}}), qPrintable(writer.errorText()));
    QVERIFY2(writer.ingest("ws1", "PRX", {{"log", sessions}}), qPrintable(writer.errorText()));
    UsageSessions loaded;
    QVERIFY(writer.load("PRX", {}, {}, &loaded));
    QStringList users;
    for (const UsageSession &session : loaded.sessions().value("Standard"))
        users << session.userName();
    const QString replacement(QChar(QChar::ReplacementCharacter));
    QCOMPARE(users, (QStringList{longName, "mallory" + replacement, "sur" + replacement + "rogate",
                                 "anna"}));
}

// An archive written by the first version, with the copies a rotation made, is brought to the
// current version in one go, each session once, the completed end kept.
void TestUsageArchive::versionOneIsMigrated()
{
    const QString archive = m_work.filePath("v1.sqlite");
    QVERIFY(QFile::copy(TestSupport::dataPath("archive/v1-rotated.sqlite"), archive));
    QVERIFY(QFile::setPermissions(archive, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    UsageArchive reader;
    QVERIFY2(reader.open(archive), qPrintable(reader.errorText()));
    QVector<UsageArchive::MachineShare> shares;
    QVERIFY(reader.listing(&shares));
    QCOMPARE(shares.size(), 2);
    QCOMPARE(shares.at(0).machine, QString("alpha"));
    QCOMPARE(shares.at(0).sessions, qint64(5));
    QCOMPARE(shares.at(1).machine, QString("beta"));
    QCOMPARE(shares.at(1).sessions, qint64(4));
    UsageSessions sessions;
    QVERIFY(reader.load("DLV", {}, {}, &sessions));
    QStringList seen;
    for (const UsageSession &session : sessions.sessions().value("Delivery Suite"))
        seen << session.userName() + " " + UsageSession::stateName(session.state());
    QCOMPARE(seen.count("omar closed"), 2);
    QCOMPARE(seen.count("omar undated"), 0);
}

void TestUsageArchive::damageGivesNoPartialAnswer_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("truncated") << "truncated";
    QTest::newRow("overwritten table page") << "table";
    QTest::newRow("overwritten index page") << "index";
}

// A damaged file ends a report with exit 6 and writes nothing; an ingest leaves it as it was.
void TestUsageArchive::damageGivesNoPartialAnswer()
{
    QFETCH(QString, damage);
    const QString archive = freshArchive(kSqlite);
    writeCsvLog(20000);
    QCOMPARE(run({"--archive", archive, "--ingest-only", "--machine", "ws1", "DLV"}).status, 0);
    qint64 page = 0;
    qint64 pageSize = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "damage");
        db.setDatabaseName(archive);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QString("SELECT rootpage FROM sqlite_master WHERE name = '%1'")
                               .arg(damage == "index" ? "sessions_start" : "sessions")));
        QVERIFY(query.next());
        page = query.value(0).toLongLong();
        QVERIFY(query.exec("PRAGMA page_size") && query.next());
        pageSize = query.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase("damage");
    QFile file(archive);
    QVERIFY(file.open(QIODevice::ReadWrite));
    if (damage == "truncated") {
        QVERIFY(file.resize(file.size() / 2));
    } else {
        // The page a table or an index begins at, overwritten at its end, where its first
        // cells lie.
        QVERIFY(file.seek(page * pageSize - 16));
        QCOMPARE(file.write(QByteArray(16, '\xa5')), qint64(16));
    }
    file.close();
    const QByteArray damaged = TestSupport::readFile(archive);
    const QString out = m_work.filePath("damaged-" + damage);
    QDir().mkpath(out);
    // A report that reads no damaged page (an index a whole reading passes by) is whole and
    // right; one that meets the damage writes nothing.
    if (damage != "index") {
        const Outcome report = run({"--archive", archive, "--from-archive", "--sessions",
                                    out + "/sessions.csv", "DLV", out});
        QVERIFY2(report.status == 6, qPrintable(report.err));
        QVERIFY(!QFileInfo::exists(out + "/sessions.csv"));
        QVERIFY(!QFileInfo::exists(out + "/DLV_UsageReport.pdf"));
    }
    // A second machine's sessions go into every part of the indexes.
    const Outcome ingest = run({"--archive", archive, "--ingest-only", "--machine", "ws2", "DLV"});
    QVERIFY2(ingest.status == 6, qPrintable(ingest.err));
    QCOMPARE(TestSupport::readFile(archive), damaged);
}

void TestUsageArchive::ingestOnlyStatuses_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<bool>("secondLog");
    QTest::addColumn<int>("status");
    QTest::newRow("missing") << "missing" << false << 4;
    QTest::newRow("a FIFO") << "fifo" << false << 4;
    QTest::newRow("a folder") << "folder" << false << 4;
    QTest::newRow("a FIFO beside a readable log") << "fifo" << true << 5;
}

// A nightly ingest that cannot read its logs says so, as an export does: 4 when nothing could
// be read (nothing ingested), 5 when some location could not (the rest ingested).
void TestUsageArchive::ingestOnlyStatuses()
{
    QFETCH(QString, log);
    QFETCH(bool, secondLog);
    QFETCH(int, status);
    const QString archive = freshArchive(kSqlite);
    const QString path = m_public + "/T/DLV/x64/usage.csv";
    const QString second = m_public + "/T/DLV/x86/usage.csv";
    QFile::remove(path);
    QDir(path).removeRecursively();
    QDir().mkpath(QFileInfo(path).path());
    if (log == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (log == "folder")
        QVERIFY(QDir().mkpath(path));
    if (secondLog)
        QVERIFY(TestSupport::writeFile(second, csvLog(4)));
    const Outcome outcome = run({"--archive", archive, "--ingest-only", "--machine", "ws1", "DLV"});
    QFile::remove(path);
    QFile::remove(second);
    QDir(path).removeRecursively();
    QVERIFY2(outcome.status == status, qPrintable(outcome.err));
    QCOMPARE(outcome.err.contains("Could not read " + path), secondLog);
    if (secondLog)
        QCOMPARE(sessionCount(archive, "DLV"), qint64(4));
    else
        QVERIFY(!QFileInfo::exists(archive));
}

void TestUsageArchive::serverUrls_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("sslmode=disable") << "sslmode=disable"
                                     << "";
    QTest::newRow("connect_timeout and application_name")
        << "connect_timeout=5&application_name=nightly"
        << "";
    QTest::newRow("sslmode=require on a plaintext server") << "sslmode=require"
                                                           << "SSL";
    QTest::newRow("sslmode of no meaning") << "sslmode=sometimes"
                                           << "not understood";
    QTest::newRow("password parameter") << "password=hunter2"
                                        << "carries a secret";
    QTest::newRow("sslpassword parameter") << "sslpassword=hunter2"
                                           << "carries a secret";
    QTest::newRow("unknown parameter") << "target_session_attrs=any"
                                       << "not understood";
    QTest::newRow("option smuggled in a value") << "application_name=a;sslmode=disable"
                                                << "cannot be passed on";
}

// The connection parameters a PostgreSQL user expects, with their meaning; anything else is
// refused, and no secret is ever shown.
void TestUsageArchive::serverUrls()
{
    QFETCH(QString, query);
    QFETCH(QString, refusal);
    QString archive = freshArchive(kPostgres);
    QVERIFY(!archive.isEmpty());
    archive += "?" + query;
    UsageArchive writer;
    const bool opened = writer.open(archive);
    QVERIFY(!writer.errorText().contains("hunter2"));
    if (refusal.isEmpty()) {
        QVERIFY2(opened, qPrintable(writer.errorText()));
    } else {
        QVERIFY(!opened);
        QVERIFY2(writer.errorText().contains(refusal), qPrintable(writer.errorText()));
    }
}

void TestUsageArchive::machineNames_data()
{
    QTest::addColumn<QString>("machine");
    QTest::newRow("newline") << "ws1\nArchive forged:";
    QTest::newRow("not UTF-8") << QString::fromLocal8Bit("a\xff\xfe"
                                                         "b");
    QTest::newRow("tab") << "a\tb";
}

// A machine name is one line of UTF-8 text: names of other bytes would collapse into one, and
// a newline would forge a line of the listing.
void TestUsageArchive::machineNames()
{
    QFETCH(QString, machine);
    const QString archive = freshArchive(kSqlite);
    writeCsvLog(3);
    const Outcome outcome =
        run({"--archive", archive, "--ingest-only", "--machine", machine, "DLV"});
    QCOMPARE(outcome.status, 64);
    QVERIFY2(outcome.err.contains("--machine takes a name"), qPrintable(outcome.err));
}

// Without --machine an ingest files under this machine's remembered name, kept by its unique
// ID: the host renamed (in a namespace of its own) files under the same name, adding nothing.
void TestUsageArchive::defaultMachineIsRemembered()
{
    if (QStandardPaths::findExecutable("unshare").isEmpty() || ::geteuid() != 0)
        QSKIP("renaming the host takes unshare and root");
    const QString archive = freshArchive(kSqlite);
    writeCsvLog(5);
    QCOMPARE(run({"--archive", archive, "--ingest-only", "DLV"}).status, 0);
    QProcess renamed;
    renamed.start("unshare",
                  QStringList{"--uts", "sh", "-c", "hostname renamed-host && exec \"$@\"", "sh",
                              program(), "--config", m_config, "--public-documents", m_public,
                              "--archive", archive, "--ingest-only", "DLV"});
    QVERIFY(renamed.waitForFinished(60000));
    QVERIFY2(renamed.exitCode() == 0, renamed.readAllStandardError().constData());
    UsageArchive reader;
    QVector<UsageArchive::MachineShare> shares;
    QVERIFY(reader.open(archive, false) && reader.listing(&shares));
    QCOMPARE(shares.size(), 1);
    QCOMPARE(shares.at(0).machine, QSysInfo::machineHostName());
    QCOMPARE(shares.at(0).sessions, qint64(5));
}

// From an archive of two machines the summary JSON gives each machine's figures beside the
// site's, by machine name, and the site's peak is across the machines at one instant: each ran
// one session at a time, together they ran two.
void TestUsageArchive::perMachineFigures()
{
    QFETCH(QString, backend);
    const QString archive = freshArchive(backend);
    QVERIFY(!archive.isEmpty());
    const QString log = m_public + "/T/DLV/x64/usage.csv";
    QVERIFY(TestSupport::writeFile(log, "carl,D-3,Delivery Suite,2024-03-04 09:00,"
                                        "2024-03-04 10:30\n"));
    QCOMPARE(run({"--archive", archive, "--ingest-only", "--machine", "ws2", "DLV"}).status, 0);
    QVERIFY(TestSupport::writeFile(log, "anna,D-1,Delivery Suite,2024-03-04 08:00,"
                                        "2024-03-04 10:00\n"
                                        "bo,D-2,Delivery Suite,2024-03-04 10:00,"
                                        "2024-03-04 11:00\n"));
    QCOMPARE(run({"--archive", archive, "--ingest-only", "--machine", "ws1", "DLV"}).status, 0);
    const QString json = m_work.filePath(QStringLiteral("machines%1.json").arg(m_databases));
    const QString steps = m_work.filePath(QStringLiteral("machines%1.csv").arg(m_databases));
    const Outcome outcome =
        run({"--archive", archive, "--from-archive", "--no-report", "--summary-json", json,
             "--concurrency", steps, "DLV", m_work.path()});
    QVERIFY2(outcome.status == 0, qPrintable(outcome.err));
    // The step function of the site: the machines' sessions together.
    QCOMPARE(TestSupport::readFile(steps),
             QByteArray("\xEF\xBB\xBFProduct type,From,To,Running\n"
                        "Delivery Suite,2024-03-04 08:00:00,2024-03-04 09:00:00,1\n"
                        "Delivery Suite,2024-03-04 09:00:00,2024-03-04 10:30:00,2\n"
                        "Delivery Suite,2024-03-04 10:30:00,2024-03-04 11:00:00,1\n"));

    const QJsonArray types = QJsonDocument::fromJson(TestSupport::readFile(json))
                                 .object()
                                 .value("productTypes")
                                 .toArray();
    QCOMPARE(types.size(), 1);
    const QJsonObject site = types.at(0).toObject();
    QCOMPARE(site.value("closedSessions").toInt(), 3);
    QCOMPARE(site.value("peakConcurrent").toInt(), 2);
    QCOMPARE(site.value("peakStart").toString(), QStringLiteral("2024-03-04T09:00:00"));
    QCOMPARE(site.value("busySeconds").toDouble(), 3 * 3600.0);
    QCOMPARE(site.value("concurrency").toArray().size(), 2);
    QCOMPARE(site.value("concurrency").toArray().at(1).toObject().value("seconds").toDouble(),
             90 * 60.0);
    QVERIFY(site.contains("owned"));
    const QJsonArray machines = site.value("perMachine").toArray();
    QCOMPARE(machines.size(), 2);
    struct Expected
    {
        const char *name;
        int sessions;
        double busy;
        int dongles;
    };
    const Expected expected[] = {{"ws1", 2, 3 * 3600.0, 2}, {"ws2", 1, 90 * 60.0, 1}};
    for (int index = 0; index < 2; ++index) {
        const QJsonObject machine = machines.at(index).toObject();
        QCOMPARE(machine.value("name").toString(), QString(expected[index].name));
        QCOMPARE(machine.value("closedSessions").toInt(), expected[index].sessions);
        QCOMPARE(machine.value("peakConcurrent").toInt(), 1);
        QCOMPARE(machine.value("busySeconds").toDouble(), expected[index].busy);
        QCOMPARE(machine.value("concurrency").toArray().size(), 1);
        QCOMPARE(machine.value("perDongle").toArray().size(), expected[index].dongles);
        QCOMPARE(machine.value("week").toArray().size(), 7);
        const QJsonArray coverage = machine.value("coverage").toArray();
        QCOMPARE(coverage.size(), 3);
        QCOMPARE(coverage.at(2).toObject().value("licences").toInt(), 1);
        QVERIFY(!machine.contains("owned") && !machine.contains("secondsOverOwned"));
    }
    // Monday 09:00 to 10:00: one session on each machine, two on the site.
    QCOMPARE(site.value("week").toArray().at(0).toArray().at(9).toObject().value("peak").toInt(),
             2);
    QCOMPARE(machines.at(0)
                 .toObject()
                 .value("week")
                 .toArray()
                 .at(0)
                 .toArray()
                 .at(9)
                 .toObject()
                 .value("peak")
                 .toInt(),
             1);
}

QTEST_GUILESS_MAIN(TestUsageArchive)
#include "tst_usagearchive.moc"
