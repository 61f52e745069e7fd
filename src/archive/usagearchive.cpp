#include "usagearchive.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <limits>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QString kFormatName = QStringLiteral("PlinthraUsageArchive");
const QString kOpen = QStringLiteral("open");
const QString kIn = QStringLiteral("In");
const QString kOut = QStringLiteral("Out");
// Rows per INSERT: one statement per round trip to a server carries many rows, and stays far
// below either engine's limit on bound values.
constexpr int kRowsPerInsert = 250;
// An arbitrary number that every copy of this program takes as its schema lock on a server.
constexpr qint64 kSchemaLockKey = 0x506c696e74687261;

QAtomicInt connectionCounter;

// Each version's statements, applied in order from the archive's version to the newest.
// "%ID%" stands for each engine's way of numbering rows itself.
const QVector<QStringList> &migrations()
{
    static const QVector<QStringList> steps = {
        {
            QStringLiteral(
                "CREATE TABLE archive_info (name TEXT PRIMARY KEY, value TEXT NOT NULL)"),
            QStringLiteral("CREATE TABLE sources (id %ID%, machine TEXT NOT NULL, "
                           "product_code TEXT NOT NULL, location TEXT NOT NULL, "
                           "UNIQUE (machine, product_code, location))"),
            // The place among the location's sessions of a type, with the user, the dongle
            // and the start text, is what makes a session the same one on every ingest: the
            // place alone would let a rotated log's new sessions pass for old ones.
            QStringLiteral("CREATE TABLE sessions (source_id BIGINT NOT NULL REFERENCES "
                           "sources (id), product_type TEXT NOT NULL, ordinal INTEGER NOT NULL, "
                           "user_name TEXT NOT NULL, dongle TEXT NOT NULL, start_text TEXT, "
                           "start_epoch BIGINT, end_text TEXT, end_epoch BIGINT, "
                           "state TEXT NOT NULL)"),
            QStringLiteral("CREATE UNIQUE INDEX sessions_key ON sessions (source_id, product_type, "
                           "ordinal, user_name, dongle, COALESCE(start_text, ''))"),
            QStringLiteral("CREATE INDEX sessions_start ON sessions (start_epoch)"),
            // A session that began before a period but ended in it gives the period an "Out"
            // row; this index finds those without reading all history.
            QStringLiteral("CREATE INDEX sessions_end ON sessions (end_epoch)"),
            QStringLiteral("CREATE TABLE unpaired_ends (source_id BIGINT NOT NULL REFERENCES "
                           "sources (id), product_type TEXT NOT NULL, ordinal INTEGER NOT NULL, "
                           "user_name TEXT NOT NULL, dongle TEXT NOT NULL, moment_text TEXT, "
                           "moment_epoch BIGINT)"),
            QStringLiteral("CREATE UNIQUE INDEX unpaired_ends_key ON unpaired_ends (source_id, "
                           "product_type, ordinal, user_name, dongle, COALESCE(moment_text, ''))"),
            QStringLiteral("CREATE INDEX unpaired_ends_moment ON unpaired_ends (moment_epoch)"),
        },
    };
    return steps;
}

// Local wall-clock time as the log wrote it, so a report made in another time zone still shows
// the logs' own times; milliseconds only where a log has them.
QVariant momentText(const QDateTime &moment)
{
    if (!moment.isValid())
        return QVariant(QVariant::String);
    const QTime time = moment.time();
    return moment.toString(time.msec() ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                       : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QVariant momentEpoch(const QDateTime &moment)
{
    return moment.isValid() ? QVariant(moment.toSecsSinceEpoch()) : QVariant(QVariant::LongLong);
}

// The parse of momentText's output; QDateTime::fromString is several times slower, and a
// month's report parses a row's moment or two for every session.
QDateTime parseMoment(const QVariant &value)
{
    if (value.isNull())
        return QDateTime();
    const QString text = value.toString();
    if (text.size() < 19)
        return QDateTime();
    const auto number = [&text](int at, int length) { return text.midRef(at, length).toInt(); };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2),
                     text.size() >= 23 ? number(20, 3) : 0);
    return QDateTime(date, time);
}

QString sessionKey(const QString &type, qint64 ordinal, const QString &user, const QString &dongle,
                   const QString &start)
{
    const QChar separator(0x1f);
    return type + separator + QString::number(ordinal) + separator + user + separator + dongle +
           separator + start;
}

// Collects rows for one table and sends them kRowsPerInsert at a time; a row already in the
// archive is passed over by the unique key.
class BatchInsert
{
public:
    BatchInsert(const QSqlDatabase &db, const QString &table, const QStringList &columns)
        : m_db(db), m_table(table), m_columns(columns), m_full(db)
    {
    }

    bool add(const QVariantList &row, QString *error)
    {
        m_pending += row;
        if (m_pending.size() < kRowsPerInsert * m_columns.size())
            return true;
        return flush(error);
    }

    bool flush(QString *error)
    {
        const int rows = m_pending.size() / m_columns.size();
        if (rows == 0)
            return true;
        QSqlQuery partial(m_db);
        QSqlQuery &query = rows == kRowsPerInsert ? m_full : partial;
        if ((&query == &partial || !m_fullPrepared) && !query.prepare(statement(rows))) {
            *error = query.lastError().text();
            return false;
        }
        if (&query == &m_full)
            m_fullPrepared = true;
        for (int index = 0; index < m_pending.size(); ++index)
            query.bindValue(index, m_pending.at(index));
        m_pending.clear();
        if (!query.exec()) {
            *error = query.lastError().text();
            return false;
        }
        return true;
    }

private:
    QString statement(int rows) const
    {
        QStringList marks;
        for (int column = 0; column < m_columns.size(); ++column)
            marks << QStringLiteral("?");
        const QString one = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
        QStringList values;
        for (int row = 0; row < rows; ++row)
            values << one;
        return QStringLiteral("INSERT INTO %1 (%2) VALUES %3 ON CONFLICT DO NOTHING")
            .arg(m_table, m_columns.join(QStringLiteral(", ")), values.join(QLatin1Char(',')));
    }

    QSqlDatabase m_db;
    QString m_table;
    QStringList m_columns;
    QSqlQuery m_full;
    bool m_fullPrepared = false;
    QVariantList m_pending;
};

// The epoch seconds to search between for moments dated in [from, to]. A day of slack on each
// side covers any time zone's midnight; the dates themselves are decided on the moments read,
// as they are for the logs.
QPair<qint64, qint64> epochBounds(const QDate &from, const QDate &to)
{
    const auto dayStart = [](const QDate &date) {
        return QDateTime(date, QTime(0, 0)).toSecsSinceEpoch();
    };
    return qMakePair(
        from.isNull() ? std::numeric_limits<qint64>::min() / 2 : dayStart(from.addDays(-1)),
        to.isNull() ? std::numeric_limits<qint64>::max() / 2 : dayStart(to.addDays(2)));
}

} // namespace

UsageArchive::UsageArchive()
    : m_connection(
          QStringLiteral("plinthra-archive-%1").arg(connectionCounter.fetchAndAddOrdered(1)))
{
}

UsageArchive::~UsageArchive()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool UsageArchive::isRegularFile(const QString &path)
{
#ifdef Q_OS_WIN
    return QFileInfo(path).isFile();
#else
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
#endif
}

QString UsageArchive::foreignCompanion(const QString &path)
{
#ifndef Q_OS_WIN
    // SQLite creates and writes these by name, following links: one planted by another account
    // would receive the journal.
    for (const char *suffix : {"-journal", "-wal", "-shm"}) {
        const QString companion = path + QLatin1String(suffix);
        struct stat status;
        if (::lstat(QFile::encodeName(companion).constData(), &status) != 0)
            continue;
        if (!S_ISREG(status.st_mode) || status.st_uid != ::geteuid())
            return companion;
    }
#else
    Q_UNUSED(path)
#endif
    return QString();
}

bool UsageArchive::isServerUrl(const QString &target)
{
    return target.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           target.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

bool UsageArchive::open(const QString &target, bool create)
{
    m_failure = Failure::None;
    m_errorText.clear();
    m_server = isServerUrl(target);
    if (!(m_server ? openServer(target) : openFile(target, create)))
        return false;
    return prepareSchema(create);
}

bool UsageArchive::isOpen() const
{
    return QSqlDatabase::contains(m_connection) &&
           QSqlDatabase::database(m_connection, false).isOpen();
}

bool UsageArchive::openFile(const QString &path, bool create)
{
    m_target = path;
    const QFileInfo info(path);
    if (info.isDir())
        return fail(Failure::Unavailable,
                    QStringLiteral("The archive %1 is a folder, not an archive file.").arg(path));
    if (!info.exists() && !create)
        return fail(Failure::Unavailable, QStringLiteral("There is no archive at %1.").arg(path));
    // SQLite would write its journal beside a device or a FIFO (/dev/null-journal); only a
    // regular file, or a name not yet taken, is an archive.
    if (info.exists() && !isRegularFile(path))
        return fail(Failure::Unavailable,
                    QStringLiteral("The archive %1 is not a regular file.").arg(path));
    const QString planted = foreignCompanion(path);
    if (!planted.isEmpty())
        return fail(Failure::Unavailable,
                    QStringLiteral("%1 beside the archive is not SQLite's own file (a link, or "
                                   "another account's): remove it, and keep the archive in a "
                                   "folder only its owner may write.")
                        .arg(planted));
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return fail(Failure::Unavailable,
                    QStringLiteral("SQLite support (the Qt SQL driver QSQLITE) is not installed."));
    // The write bits, not only access(): an administrator running as root should still find a
    // file marked read-only left alone.
    const QFileDevice::Permissions writeBits =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    m_readOnly = info.exists() && (!info.isWritable() || !(info.permissions() & writeBits));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    // Another machine's ingest holds the file for seconds at most; wait rather than fail.
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=120000");
    if (m_readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open())
        return fail(
            Failure::Unavailable,
            QStringLiteral("Could not open the archive %1: %2").arg(path, db.lastError().text()));
    return true;
}

bool UsageArchive::openServer(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.path().size() < 2)
        return fail(Failure::Unavailable, QStringLiteral("The archive URL %1 is not of the form "
                                                         "postgresql://user@host:port/database.")
                                              .arg(url.toDisplayString(QUrl::RemovePassword)));
    if (url.userInfo().contains(QLatin1Char(':')))
        return fail(Failure::Unavailable,
                    QStringLiteral("The archive URL holds a password, and a command line can be "
                                   "read by every user of the machine and is kept in logs and "
                                   "task definitions: remove it from the URL and put it in "
                                   "PGPASSWORD or the password file (~/.pgpass, or "
                                   "%APPDATA%\\postgresql\\pgpass.conf on Windows)."));
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return fail(Failure::Unavailable, QStringLiteral("PostgreSQL support (the Qt SQL driver "
                                                         "QPSQL) is not installed."));
    m_target = url.toDisplayString();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
    db.setHostName(QUrlQuery(url).hasQueryItem(QStringLiteral("host"))
                       ? QUrlQuery(url).queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded)
                       : url.host());
    db.setPort(url.port(5432));
    db.setUserName(url.userName(QUrl::FullyDecoded));
    db.setDatabaseName(url.path(QUrl::FullyDecoded).mid(1));
    // Without a password here, libpq takes PGPASSWORD or the password file itself.
    db.setConnectOptions(QStringLiteral("connect_timeout=15;application_name=PlinthraUsageExport"));
    if (!db.open())
        return fail(Failure::Unavailable,
                    QStringLiteral("Could not connect to the archive %1: %2")
                        .arg(m_target, db.lastError().databaseText().simplified()));
    return true;
}

int UsageArchive::storedVersion(bool *isArchive)
{
    *isArchive = false;
    QSqlQuery tables(QSqlDatabase::database(m_connection, false));
    tables.setForwardOnly(true);
    if (!tables.exec(m_server ? QStringLiteral("SELECT table_name FROM information_schema.tables "
                                               "WHERE table_schema = current_schema()")
                              : QStringLiteral("SELECT name FROM sqlite_master"))) {
        fail(Failure::Unavailable, QStringLiteral("%1 is not a usage archive, or it is damaged: %2")
                                       .arg(m_target, tables.lastError().text()));
        return -1;
    }
    QStringList names;
    while (tables.next())
        names << tables.value(0).toString();
    if (names.isEmpty()) {
        *isArchive = true;
        return 0;
    }
    QSqlQuery info(QSqlDatabase::database(m_connection, false));
    QString format;
    int version = -1;
    if (names.contains(QLatin1String("archive_info")) &&
        info.exec(QStringLiteral("SELECT name, value FROM archive_info"))) {
        while (info.next()) {
            if (info.value(0).toString() == QLatin1String("format"))
                format = info.value(1).toString();
            else if (info.value(0).toString() == QLatin1String("schema_version"))
                version = info.value(1).toString().toInt();
        }
    }
    *isArchive = format == kFormatName && version > 0;
    return version;
}

bool UsageArchive::prepareSchema(bool create)
{
    bool isArchive = false;
    int version = storedVersion(&isArchive);
    if (version < 0 && m_failure != Failure::None)
        return false;
    if (!isArchive)
        return fail(Failure::Unavailable,
                    QStringLiteral("%1 holds something other than a usage archive; it was left "
                                   "as it is.")
                        .arg(m_target));
    if (version > SchemaVersion)
        return fail(Failure::Unavailable,
                    QStringLiteral("The archive %1 was written by a newer version of this program "
                                   "(archive version %2, this program knows up to %3); it was "
                                   "left as it is. Update this program to use it.")
                        .arg(m_target)
                        .arg(version)
                        .arg(SchemaVersion));
    if (version == SchemaVersion)
        return true;
    if (version == 0 && !create)
        return fail(Failure::Unavailable, QStringLiteral("%1 holds no archive yet.").arg(m_target));
    if (m_readOnly)
        return fail(Failure::Unavailable,
                    QStringLiteral("The archive %1 is read-only and needs to be brought up to "
                                   "version %2 first.")
                        .arg(m_target)
                        .arg(SchemaVersion));
    // Two machines may meet an empty archive at once: the lock lets one create it, and the
    // other then finds it made.
    if (!begin())
        return false;
    QSqlQuery lock(QSqlDatabase::database(m_connection, false));
    if (m_server) {
        lock.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
        lock.addBindValue(kSchemaLockKey);
        if (!exec(lock, Failure::Unavailable, QStringLiteral("Could not lock the archive")))
            return finish(false);
    }
    version = storedVersion(&isArchive);
    if (!isArchive || version > SchemaVersion) {
        finish(false);
        return prepareSchema(create);
    }
    if (finish(createOrMigrate(version)))
        return true;
    m_failure = Failure::Unavailable;
    return false;
}

bool UsageArchive::createOrMigrate(int fromVersion)
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const QString id = m_server ? QStringLiteral("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY "
                                                 "KEY")
                                : QStringLiteral("INTEGER PRIMARY KEY");
    for (int version = fromVersion + 1; version <= SchemaVersion; ++version) {
        for (QString statement : migrations().at(version - 1)) {
            QSqlQuery query(db);
            if (!query.exec(statement.replace(QLatin1String("%ID%"), id)))
                return fail(Failure::Unavailable,
                            QStringLiteral("Could not bring the archive %1 to version %2: %3")
                                .arg(m_target)
                                .arg(version)
                                .arg(query.lastError().text()));
        }
    }
    QSqlQuery set(db);
    set.prepare(QStringLiteral("INSERT INTO archive_info (name, value) VALUES (?, ?) "
                               "ON CONFLICT (name) DO UPDATE SET value = excluded.value"));
    for (const auto &entry :
         {qMakePair(QStringLiteral("format"), kFormatName),
          qMakePair(QStringLiteral("schema_version"), QString::number(SchemaVersion))}) {
        set.bindValue(0, entry.first);
        set.bindValue(1, entry.second);
        if (!exec(set, Failure::Unavailable, QStringLiteral("Could not set the archive version")))
            return false;
    }
    return true;
}

bool UsageArchive::begin()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (m_server) {
        if (db.transaction())
            return true;
        return fail(Failure::WriteFailed, QStringLiteral("Could not start a transaction in %1: %2")
                                              .arg(m_target, db.lastError().text()));
    }
    // IMMEDIATE takes the write lock now: two deferred writers would each read, then find the
    // other in the way with no wait possible.
    QSqlQuery query(db);
    query.prepare(QStringLiteral("BEGIN IMMEDIATE"));
    return exec(query, Failure::WriteFailed, QStringLiteral("Could not start a transaction"));
}

bool UsageArchive::finish(bool ok)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (ok && db.commit())
        return true;
    if (ok)
        fail(Failure::WriteFailed,
             QStringLiteral("Could not complete the change to %1, so nothing of it was kept: %2")
                 .arg(m_target, db.lastError().text()));
    db.rollback();
    return false;
}

bool UsageArchive::exec(QSqlQuery &query, Failure failure, const QString &what)
{
    if (query.exec())
        return true;
    return fail(
        failure,
        QStringLiteral("%1 (%2): %3").arg(what, m_target, query.lastError().text().simplified()));
}

bool UsageArchive::fail(Failure failure, const QString &text)
{
    m_failure = failure;
    m_errorText = text;
    return false;
}

bool UsageArchive::ingest(const QString &machine, const QString &productCode,
                          const LocationSessions &locations)
{
    if (m_readOnly)
        return fail(Failure::WriteFailed,
                    QStringLiteral("The archive file %1 is read-only; nothing was added to it.")
                        .arg(m_target));
    if (!begin())
        return false;
    for (const auto &location : locations) {
        const qint64 id = sourceId(machine, productCode, location.first);
        if (id < 0 || !ingestLocation(id, location.second))
            return finish(false);
    }
    return finish(true);
}

qint64 UsageArchive::sourceId(const QString &machine, const QString &productCode,
                              const QString &location)
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO sources (machine, product_code, location) "
                                  "VALUES (?, ?, ?) ON CONFLICT DO NOTHING"));
    QSqlQuery select(db);
    select.prepare(QStringLiteral("SELECT id FROM sources WHERE machine = ? AND product_code = ? "
                                  "AND location = ?"));
    for (QSqlQuery *query : {&insert, &select}) {
        query->bindValue(0, machine);
        query->bindValue(1, productCode);
        query->bindValue(2, location);
        if (!exec(*query, Failure::WriteFailed, QStringLiteral("Could not add to the archive")))
            return -1;
    }
    if (!select.next()) {
        fail(Failure::WriteFailed, QStringLiteral("Could not add to the archive %1").arg(m_target));
        return -1;
    }
    return select.value(0).toLongLong();
}

bool UsageArchive::ingestLocation(qint64 sourceId, const UsageSessions &sessions)
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const QString failed = QStringLiteral("Could not add to the archive, so nothing of this "
                                          "ingest was kept");
    // A run still going at the last ingest may have ended since: its session is closed now.
    QSqlQuery open(db);
    open.setForwardOnly(true);
    open.prepare(QStringLiteral("SELECT product_type, ordinal, user_name, dongle, "
                                "COALESCE(start_text, '') FROM sessions "
                                "WHERE source_id = ? AND state = ?"));
    open.bindValue(0, sourceId);
    open.bindValue(1, kOpen);
    if (!exec(open, Failure::WriteFailed, failed))
        return false;
    QSet<QString> stillOpen;
    while (open.next())
        stillOpen.insert(sessionKey(open.value(0).toString(), open.value(1).toLongLong(),
                                    open.value(2).toString(), open.value(3).toString(),
                                    open.value(4).toString()));

    QSqlQuery close(db);
    close.prepare(QStringLiteral("UPDATE sessions SET end_text = ?, end_epoch = ?, state = ? "
                                 "WHERE source_id = ? AND product_type = ? AND ordinal = ? "
                                 "AND user_name = ? AND dongle = ? "
                                 "AND COALESCE(start_text, '') = ? AND state = ?"));
    BatchInsert inserts(db, QStringLiteral("sessions"),
                        {QStringLiteral("source_id"), QStringLiteral("product_type"),
                         QStringLiteral("ordinal"), QStringLiteral("user_name"),
                         QStringLiteral("dongle"), QStringLiteral("start_text"),
                         QStringLiteral("start_epoch"), QStringLiteral("end_text"),
                         QStringLiteral("end_epoch"), QStringLiteral("state")});
    QString error;
    for (auto entry = sessions.sessions().cbegin(); entry != sessions.sessions().cend(); ++entry) {
        const UsageSessionList &list = entry.value();
        for (int ordinal = 0; ordinal < list.size(); ++ordinal) {
            const UsageSession &session = list.at(ordinal);
            const bool isOpen = session.state() == UsageSession::Open;
            const QVariant start = momentText(session.start());
            const QVariant end = isOpen ? QVariant(QVariant::String) : momentText(session.end());
            const QVariant endEpoch =
                isOpen ? QVariant(QVariant::LongLong) : momentEpoch(session.end());
            const QString state = UsageSession::stateName(session.state());
            if (!isOpen && !stillOpen.isEmpty() &&
                stillOpen.contains(sessionKey(entry.key(), ordinal, session.userName(),
                                              session.dogNum(), start.toString()))) {
                const QVariantList values = {end,
                                             endEpoch,
                                             state,
                                             sourceId,
                                             entry.key(),
                                             ordinal,
                                             session.userName(),
                                             session.dogNum(),
                                             start.toString(),
                                             kOpen};
                for (int index = 0; index < values.size(); ++index)
                    close.bindValue(index, values.at(index));
                if (!exec(close, Failure::WriteFailed, failed))
                    return false;
                continue;
            }
            if (!inserts.add({sourceId, entry.key(), ordinal, session.userName(), session.dogNum(),
                              start, momentEpoch(session.start()), end, endEpoch, state},
                             &error))
                return fail(Failure::WriteFailed, failed + QStringLiteral(": ") + error);
        }
    }
    BatchInsert ends(db, QStringLiteral("unpaired_ends"),
                     {QStringLiteral("source_id"), QStringLiteral("product_type"),
                      QStringLiteral("ordinal"), QStringLiteral("user_name"),
                      QStringLiteral("dongle"), QStringLiteral("moment_text"),
                      QStringLiteral("moment_epoch")});
    const auto &endRows = sessions.unpairedEnds();
    for (auto entry = endRows.cbegin(); entry != endRows.cend(); ++entry) {
        for (int ordinal = 0; ordinal < entry.value().size(); ++ordinal) {
            const UsageRecord &row = entry.value().at(ordinal);
            if (!ends.add({sourceId, entry.key(), ordinal, row.userName(), row.dogNum(),
                           momentText(row.dateTime()), momentEpoch(row.dateTime())},
                          &error))
                return fail(Failure::WriteFailed, failed + QStringLiteral(": ") + error);
        }
    }
    if (!inserts.flush(&error) || !ends.flush(&error))
        return fail(Failure::WriteFailed, failed + QStringLiteral(": ") + error);
    return true;
}

bool UsageArchive::load(const QString &productCode, const QDate &from, const QDate &to,
                        UsageSessions *sessions, UsageTable *rows)
{
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const bool ranged = !from.isNull() || !to.isNull();
    const QPair<qint64, qint64> epochs = epochBounds(from, to);
    const QString failed = QStringLiteral("Could not read the archive");

    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!prepareSessionQuery(query, productCode, from, to, QString()) ||
        !exec(query, Failure::Unavailable, failed))
        return false;
    UsageSessions all;
    while (query.next()) {
        const QString type = query.value(0).toString();
        const QString user = query.value(1).toString();
        const QString dongle = query.value(2).toString();
        const QDateTime start = parseMoment(query.value(3));
        if (query.value(5).toString() == kOpen)
            all.addSession(type, UsageSession(user, dongle, start));
        else
            all.addSession(type, UsageSession(user, dongle, start, parseMoment(query.value(4))));
    }

    QSqlQuery ends(db);
    ends.setForwardOnly(true);
    ends.prepare(QStringLiteral("SELECT e.product_type, e.user_name, e.dongle, e.moment_text "
                                "FROM unpaired_ends e JOIN sources so ON so.id = e.source_id "
                                "WHERE so.product_code = ? %1 "
                                "ORDER BY so.id, e.product_type, e.ordinal")
                     .arg(ranged ? QStringLiteral("AND e.moment_epoch >= ? AND e.moment_epoch < ?")
                                 : QString()));
    const QVariantList bounds = {productCode, epochs.first, epochs.second};
    for (int index = 0; index < (ranged ? 3 : 1); ++index)
        ends.bindValue(index, bounds.at(index));
    if (!exec(ends, Failure::Unavailable, failed))
        return false;
    while (ends.next())
        all.addUnpairedEnd(ends.value(0).toString(), parseMoment(ends.value(3)),
                           ends.value(1).toString(), ends.value(2).toString());

    if (rows) {
        rows->clear();
        for (auto entry = all.sessions().cbegin(); entry != all.sessions().cend(); ++entry) {
            UsageRecordList &list = (*rows)[entry.key()];
            for (const UsageSession &session : entry.value()) {
                list.append(
                    UsageRecord(session.userName(), session.dogNum(), session.start(), kIn));
                if (session.state() != UsageSession::Open)
                    list.append(
                        UsageRecord(session.userName(), session.dogNum(), session.end(), kOut));
            }
        }
        const auto &endRows = all.unpairedEnds();
        for (auto entry = endRows.cbegin(); entry != endRows.cend(); ++entry)
            (*rows)[entry.key()] += entry.value();
    }
    *sessions = all.inDateRange(from, to);
    sessions->orderByStart();
    return true;
}

bool UsageArchive::prepareSessionQuery(QSqlQuery &query, const QString &productCode,
                                       const QDate &from, const QDate &to, const QString &prefix)
{
    const bool ranged = !from.isNull() || !to.isNull();
    const QPair<qint64, qint64> epochs = epochBounds(from, to);
    // Sources in the order they first came, each location's sessions in log order: the order
    // the logs of one machine give before sessions are ordered by start.
    QString where = QStringLiteral("so.product_code = ?");
    if (ranged)
        where += QStringLiteral(" AND ((s.start_epoch >= ? AND s.start_epoch < ?) OR "
                                "(s.end_epoch >= ? AND s.end_epoch < ?))");
    if (!query.prepare(prefix + QStringLiteral("SELECT s.product_type, s.user_name, s.dongle, "
                                               "s.start_text, s.end_text, s.state FROM sessions s "
                                               "JOIN sources so ON so.id = s.source_id WHERE %1 "
                                               "ORDER BY so.id, s.product_type, s.ordinal")
                                    .arg(where)))
        return fail(Failure::Unavailable, QStringLiteral("Could not read the archive %1: %2")
                                              .arg(m_target, query.lastError().text()));
    const QVariantList bounds = {productCode, epochs.first, epochs.second, epochs.first,
                                 epochs.second};
    for (int index = 0; index < (ranged ? 5 : 1); ++index)
        query.bindValue(index, bounds.at(index));
    return true;
}

QStringList UsageArchive::queryPlan(const QString &productCode, const QDate &from, const QDate &to)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    QStringList plan;
    if (m_server)
        return plan;
    if (!prepareSessionQuery(query, productCode, from, to, QStringLiteral("EXPLAIN QUERY PLAN ")) ||
        !exec(query, Failure::Unavailable, QStringLiteral("Could not read the archive")))
        return plan;
    while (query.next())
        plan << query.value(query.record().count() - 1).toString();
    return plan;
}

bool UsageArchive::listing(QVector<MachineShare> *shares)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT so.product_code, so.machine, COUNT(s.source_id), "
                                 "MIN(s.start_text), MAX(s.start_text) FROM sources so "
                                 "LEFT JOIN sessions s ON s.source_id = so.id "
                                 "GROUP BY so.product_code, so.machine "
                                 "ORDER BY so.product_code, so.machine"));
    if (!exec(query, Failure::Unavailable, QStringLiteral("Could not read the archive")))
        return false;
    shares->clear();
    while (query.next()) {
        MachineShare share;
        share.productCode = query.value(0).toString();
        share.machine = query.value(1).toString();
        share.sessions = query.value(2).toLongLong();
        share.firstDate = parseMoment(query.value(3)).date();
        share.lastDate = parseMoment(query.value(4)).date();
        shares->append(share);
    }
    return true;
}
