#include "usagearchive.h"

#include "archivebatch.h"
#include "archiveschema.h"
#include "archivetext.h"
#include "archiveurl.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

#include <cstring>
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
// An arbitrary number that every copy of this program takes as its schema lock on a server.
constexpr qint64 kSchemaLockKey = 0x506c696e74687261;

QAtomicInt connectionCounter;

const QStringList &sessionColumns()
{
    static const QStringList columns = {
        QStringLiteral("identity"),   QStringLiteral("source_id"),   QStringLiteral("product_type"),
        QStringLiteral("ordinal"),    QStringLiteral("user_name"),   QStringLiteral("dongle"),
        QStringLiteral("start_text"), QStringLiteral("start_epoch"), QStringLiteral("start_offset"),
        QStringLiteral("end_text"),   QStringLiteral("end_epoch"),   QStringLiteral("end_offset"),
        QStringLiteral("state"),      QStringLiteral("completeness")};
    return columns;
}

const QStringList &endColumns()
{
    static const QStringList columns = {
        QStringLiteral("identity"),     QStringLiteral("source_id"),
        QStringLiteral("product_type"), QStringLiteral("ordinal"),
        QStringLiteral("user_name"),    QStringLiteral("dongle"),
        QStringLiteral("moment_text"),  QStringLiteral("moment_epoch"),
        QStringLiteral("moment_offset")};
    return columns;
}

// A later, more complete reading of a session wins, whatever order two ingests commit in.
const QString kCompleteSession = QStringLiteral(
    "ON CONFLICT (identity) DO UPDATE SET end_text = excluded.end_text, "
    "end_epoch = excluded.end_epoch, end_offset = excluded.end_offset, state = excluded.state, "
    "completeness = excluded.completeness WHERE excluded.completeness > sessions.completeness");

// Damage to the file is the archive being unusable, whatever statement met it.
bool isDamage(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("11") || code == QLatin1String("26") ||
           error.text().contains(QLatin1String("malformed"), Qt::CaseInsensitive);
}

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
    // An ingest touches the indexes of a million sessions; SQLite's default 2 MB of cache
    // would read their pages again and again.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = -65536"));
    return true;
}

bool UsageArchive::openServer(const QString &text)
{
    const ArchiveUrl url(text);
    if (!url.isValid())
        return fail(Failure::Unavailable, url.error());
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return fail(Failure::Unavailable, QStringLiteral("PostgreSQL support (the Qt SQL driver "
                                                         "QPSQL) is not installed."));
    m_target = url.display();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
    db.setHostName(url.host());
    db.setPort(url.port());
    db.setUserName(url.user());
    db.setDatabaseName(url.database());
    // Without a password here, libpq takes PGPASSWORD or the password file itself.
    db.setConnectOptions(url.options());
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
    if (tables.lastError().isValid()) {
        fail(Failure::Unavailable,
             QStringLiteral("%1 is damaged: %2").arg(m_target, tables.lastError().text()));
        return -1;
    }
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
        if (info.lastError().isValid()) {
            fail(Failure::Unavailable,
                 QStringLiteral("%1 is damaged: %2").arg(m_target, info.lastError().text()));
            return -1;
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
    if (version > ArchiveSchema::Version)
        return fail(Failure::Unavailable,
                    QStringLiteral("The archive %1 was written by a newer version of this program "
                                   "(archive version %2, this program knows up to %3); it was "
                                   "left as it is. Update this program to use it.")
                        .arg(m_target)
                        .arg(version)
                        .arg(ArchiveSchema::Version));
    if (version == ArchiveSchema::Version)
        return true;
    if (version == 0 && !create)
        return fail(Failure::Unavailable, QStringLiteral("%1 holds no archive yet.").arg(m_target));
    if (m_readOnly)
        return fail(Failure::Unavailable,
                    QStringLiteral("The archive %1 is read-only and needs to be brought up to "
                                   "version %2 first.")
                        .arg(m_target)
                        .arg(ArchiveSchema::Version));
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
    if (!isArchive || version > ArchiveSchema::Version) {
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
    QString error;
    if (!ArchiveSchema::migrate(db, m_server, fromVersion, &error))
        return fail(Failure::Unavailable, QStringLiteral("Could not bring the archive %1 to "
                                                         "version %2: %3")
                                              .arg(m_target)
                                              .arg(ArchiveSchema::Version)
                                              .arg(error));
    QSqlQuery set(db);
    set.prepare(QStringLiteral("INSERT INTO archive_info (name, value) VALUES (?, ?) "
                               "ON CONFLICT (name) DO UPDATE SET value = excluded.value"));
    for (const auto &entry :
         {qMakePair(QStringLiteral("format"), kFormatName),
          qMakePair(QStringLiteral("schema_version"), QString::number(ArchiveSchema::Version))}) {
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
    return failed(query, failure, what);
}

bool UsageArchive::failed(const QSqlQuery &query, Failure failure, const QString &what)
{
    const QSqlError error = query.lastError();
    return fail(isDamage(error) ? Failure::Unavailable : failure,
                QStringLiteral("%1 (%2): %3").arg(what, m_target, error.text().simplified()));
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
    m_machine = machine.isEmpty() ? defaultMachine() : ArchiveText::storable(machine);
    if (m_machine.isEmpty())
        return finish(false);
    const QString code = ArchiveText::storable(productCode);
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const int limit = ArchiveBatch::maxBoundValues(db);
    ArchiveBatch sessions(db, QStringLiteral("sessions"), sessionColumns(), kCompleteSession,
                          limit);
    ArchiveBatch ends(db, QStringLiteral("unpaired_ends"), endColumns(),
                      QStringLiteral("ON CONFLICT (identity) DO NOTHING"), limit);
    QString error;
    for (const auto &location : locations) {
        const qint64 id = sourceId(m_machine, code, ArchiveText::storable(location.first));
        if (id < 0)
            return finish(false);
        if (!send(id, code, location.second, &sessions, &ends, &error))
            return finish(writeFailed(error));
    }
    if (!sessions.flush(&error) || !ends.flush(&error))
        return finish(writeFailed(error));
    return finish(true);
}

bool UsageArchive::writeFailed(const QString &error)
{
    return fail(error.contains(QLatin1String("malformed"), Qt::CaseInsensitive)
                    ? Failure::Unavailable
                    : Failure::WriteFailed,
                QStringLiteral("Could not add to the archive, so nothing of this ingest was "
                               "kept: %1")
                    .arg(error));
}

QString UsageArchive::defaultMachine()
{
    // The host name at this machine's first ingest, remembered by the machine's unique ID: a
    // new host name later must not make its sessions new ones.
    const QString id = QString::fromLatin1(QSysInfo::machineUniqueId());
    const QString host = ArchiveText::storable(QSysInfo::machineHostName());
    if (id.isEmpty())
        return host;
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO machine_ids (machine_id, machine) VALUES (?, ?) "
                                  "ON CONFLICT DO NOTHING"));
    insert.addBindValue(id);
    insert.addBindValue(host);
    QSqlQuery select(db);
    select.prepare(QStringLiteral("SELECT machine FROM machine_ids WHERE machine_id = ?"));
    select.addBindValue(id);
    const QString failedText = QStringLiteral("Could not add to the archive");
    if (!exec(insert, Failure::WriteFailed, failedText) ||
        !exec(select, Failure::WriteFailed, failedText))
        return QString();
    if (!select.next()) {
        failed(select, Failure::WriteFailed, failedText);
        return QString();
    }
    return select.value(0).toString();
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
        failed(select, Failure::WriteFailed, QStringLiteral("Could not add to the archive"));
        return -1;
    }
    return select.value(0).toLongLong();
}

namespace {

// Sessions identical in everything the identity holds are told apart by their rank within
// one reading of one location; ranks counts them by 64 bits of the first one's digest, which
// keeps a million sessions' counts small.
QByteArray rankedIdentity(const QVariant &epoch, const QByteArray &key, QHash<quint64, int> *ranks)
{
    const QByteArray first = ArchiveText::identity(epoch, key, 0);
    quint64 digest = 0;
    std::memcpy(&digest, first.constData() + 8, sizeof digest);
    int &seen = (*ranks)[digest];
    return seen++ == 0 ? first : ArchiveText::identity(epoch, key, seen - 1);
}

} // namespace

bool UsageArchive::send(qint64 sourceId, const QString &productCode, const UsageSessions &sessions,
                        ArchiveBatch *sessionRows, ArchiveBatch *endRows, QString *error) const
{
    QHash<quint64, int> ranks;
    for (auto entry = sessions.sessions().cbegin(); entry != sessions.sessions().cend(); ++entry) {
        const QString type = ArchiveText::storable(entry.key());
        const UsageSessionList &list = entry.value();
        for (int ordinal = 0; ordinal < list.size(); ++ordinal) {
            const UsageSession &session = list.at(ordinal);
            const bool isOpen = session.state() == UsageSession::Open;
            const QString user = ArchiveText::storable(session.userName());
            const QString dongle = ArchiveText::storable(session.dogNum());
            const ArchiveText::Stored start = ArchiveText::stored(session.start());
            const ArchiveText::Stored end =
                ArchiveText::stored(isOpen ? QDateTime() : session.end());
            const QByteArray key =
                ArchiveText::key({QStringLiteral("s"), m_machine, productCode, type, user, dongle,
                                  ArchiveText::momentKey(start.text, start.epoch)});
            const QByteArray identity = rankedIdentity(start.epoch, key, &ranks);
            const QString state = UsageSession::stateName(session.state());
            const int completeness = ArchiveSchema::completeness(state);
            const QVariantList row = {identity,  sourceId,   type,        ordinal,      user,
                                      dongle,    start.text, start.epoch, start.offset, end.text,
                                      end.epoch, end.offset, state,       completeness};
            if (!sessionRows->add(row, error))
                return false;
        }
    }
    const auto &ends = sessions.unpairedEnds();
    for (auto entry = ends.cbegin(); entry != ends.cend(); ++entry) {
        const QString type = ArchiveText::storable(entry.key());
        for (int ordinal = 0; ordinal < entry.value().size(); ++ordinal) {
            const UsageRecord &record = entry.value().at(ordinal);
            const QString user = ArchiveText::storable(record.userName());
            const QString dongle = ArchiveText::storable(record.dogNum());
            const ArchiveText::Stored moment = ArchiveText::stored(record.dateTime());
            const QByteArray key =
                ArchiveText::key({QStringLiteral("u"), m_machine, productCode, type, user, dongle,
                                  ArchiveText::momentKey(moment.text, moment.epoch)});
            const QByteArray identity = rankedIdentity(moment.epoch, key, &ranks);
            if (!endRows->add({identity, sourceId, type, ordinal, user, dongle, moment.text,
                               moment.epoch, moment.offset},
                              error))
                return false;
        }
    }
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
        const QDateTime start = ArchiveText::moment(query.value(3), query.value(6));
        if (query.value(5).toString() == kOpen)
            all.addSession(type, UsageSession(user, dongle, start));
        else
            all.addSession(type, UsageSession(user, dongle, start,
                                              ArchiveText::moment(query.value(4), query.value(7))));
    }
    // A damaged page ends the reading early: no partial answer.
    if (query.lastError().isValid())
        return this->failed(query, Failure::Unavailable, failed);

    QSqlQuery ends(db);
    ends.setForwardOnly(true);
    ends.prepare(QStringLiteral(
                     "SELECT e.product_type, e.user_name, e.dongle, e.moment_text, "
                     "e.moment_offset FROM unpaired_ends e JOIN sources so ON so.id = e.source_id "
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
        all.addUnpairedEnd(ends.value(0).toString(),
                           ArchiveText::moment(ends.value(3), ends.value(4)),
                           ends.value(1).toString(), ends.value(2).toString());
    if (ends.lastError().isValid())
        return this->failed(ends, Failure::Unavailable, failed);

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
                                               "s.start_text, s.end_text, s.state, s.start_offset, "
                                               "s.end_offset FROM sessions s "
                                               "JOIN sources so ON so.id = s.source_id WHERE %1 "
                                               "ORDER BY so.id, s.product_type, s.ordinal, s.id")
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
        share.firstDate = ArchiveText::moment(query.value(3), QVariant(0)).date();
        share.lastDate = ArchiveText::moment(query.value(4), QVariant(0)).date();
        shares->append(share);
    }
    if (query.lastError().isValid())
        return failed(query, Failure::Unavailable, QStringLiteral("Could not read the archive"));
    return true;
}
