#include "archiveconnection.h"

#include "archiveschema.h"
#include "archiveurl.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QString kFormatName = QStringLiteral("PlinthraUsageArchive");
// An arbitrary number that every copy of this program takes as its schema lock on a server.
constexpr qint64 kSchemaLockKey = 0x506c696e74687261;

QAtomicInt connectionCounter;

// Damage to the file is the archive being unusable, whatever statement met it.
bool isDamage(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("11") || code == QLatin1String("26") ||
           error.text().contains(QLatin1String("malformed"), Qt::CaseInsensitive);
}

} // namespace

ArchiveConnection::ArchiveConnection()
    : m_connection(
          QStringLiteral("plinthra-archive-%1").arg(connectionCounter.fetchAndAddOrdered(1)))
{
}

ArchiveConnection::~ArchiveConnection()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool ArchiveConnection::isRegularFile(const QString &path)
{
#ifdef Q_OS_WIN
    return QFileInfo(path).isFile();
#else
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
#endif
}

QString ArchiveConnection::foreignCompanion(const QString &path)
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

bool ArchiveConnection::isServerUrl(const QString &target)
{
    return target.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           target.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

bool ArchiveConnection::open(const QString &target, bool create)
{
    m_failure = Failure::None;
    m_errorText.clear();
    m_server = isServerUrl(target);
    if (!(m_server ? openServer(target) : openFile(target, create)))
        return false;
    return prepareSchema(create);
}

QSqlDatabase ArchiveConnection::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool ArchiveConnection::isOpen() const
{
    return QSqlDatabase::contains(m_connection) &&
           QSqlDatabase::database(m_connection, false).isOpen();
}

bool ArchiveConnection::openFile(const QString &path, bool create)
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
    QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = -32768"));
    return true;
}

bool ArchiveConnection::openServer(const QString &text)
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

int ArchiveConnection::storedVersion(bool *isArchive)
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

bool ArchiveConnection::prepareSchema(bool create)
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

bool ArchiveConnection::createOrMigrate(int fromVersion)
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

bool ArchiveConnection::begin()
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

bool ArchiveConnection::finish(bool ok)
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

bool ArchiveConnection::exec(QSqlQuery &query, Failure failure, const QString &what)
{
    if (query.exec())
        return true;
    return failed(query, failure, what);
}

bool ArchiveConnection::failed(const QSqlQuery &query, Failure failure, const QString &what)
{
    const QSqlError error = query.lastError();
    return fail(isDamage(error) ? Failure::Unavailable : failure,
                QStringLiteral("%1 (%2): %3").arg(what, m_target, error.text().simplified()));
}

bool ArchiveConnection::fail(Failure failure, const QString &text)
{
    m_failure = failure;
    m_errorText = text;
    return false;
}
