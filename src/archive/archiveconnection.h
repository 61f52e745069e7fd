#ifndef ARCHIVECONNECTION_H
#define ARCHIVECONNECTION_H

#include <QSqlDatabase>
#include <QString>

class QSqlQuery;

// One open archive: an SQLite file or a PostgreSQL database, checked to be an archive of a
// version this program knows (an older one is brought forward first), with its transactions
// and the first failure met on it.
class ArchiveConnection
{
public:
    // What went wrong, so that callers can tell "could not use the archive at all" from "could
    // not add to it".
    enum class Failure
    {
        None,
        // Unreachable, refused credentials, not an archive, damaged, newer than this program.
        Unavailable,
        // The archive is fine but the ingest did not go in (read-only, disk full, connection
        // lost); nothing of it was kept.
        WriteFailed,
    };

    ArchiveConnection();
    ~ArchiveConnection();
    ArchiveConnection(const ArchiveConnection &) = delete;
    ArchiveConnection &operator=(const ArchiveConnection &) = delete;

    // See UsageArchive::open.
    bool open(const QString &target, bool create);
    bool isOpen() const;

    QSqlDatabase database() const;
    bool isServer() const { return m_server; }
    bool isReadOnly() const { return m_readOnly; }
    // The file path, or the URL without secrets, for messages.
    QString target() const { return m_target; }

    // A write transaction; finish(false) rolls it back, finish(true) commits it.
    bool begin();
    bool finish(bool ok);

    // Runs query; on failure records it as failure (or as Unavailable when the file is
    // damaged), with what in front of the engine's words.
    bool exec(QSqlQuery &query, Failure failure, const QString &what);
    // Records the error query met; always false.
    bool failed(const QSqlQuery &query, Failure failure, const QString &what);
    // Records text as the failure; always false.
    bool fail(Failure failure, const QString &text);

    Failure failure() const { return m_failure; }
    QString errorText() const { return m_errorText; }

    static bool isServerUrl(const QString &target);
    static bool isRegularFile(const QString &path);
    static QString foreignCompanion(const QString &path);

private:
    bool openFile(const QString &path, bool create);
    bool openServer(const QString &url);
    bool prepareSchema(bool create);
    bool createOrMigrate(int fromVersion);
    int storedVersion(bool *isArchive);

    QString m_connection;
    QString m_target;
    bool m_server = false;
    bool m_readOnly = false;
    Failure m_failure = Failure::None;
    QString m_errorText;
};

#endif // ARCHIVECONNECTION_H
