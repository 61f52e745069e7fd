#ifndef USAGEARCHIVE_H
#define USAGEARCHIVE_H

#include "usagesessions.h"
#include "usagetable.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

class ArchiveBatch;
class QSqlQuery;

// The sessions and unpaired ends of many machines' logs, kept after the logs themselves are
// rotated away: an SQLite file by default, a PostgreSQL database for a site. A session is
// filed by its content (see ArchiveSchema), so feeding the same logs again adds nothing, a log
// that grew, rotated or lost its head adds only what is new and removes nothing, a session whose
// end became known is completed in place, and two machines feeding at once lose and duplicate
// nothing. Moments keep the offset the ingesting machine gave them, so a report from the archive
// is the same on every machine. Every ingest is one transaction: the archive holds all of it or
// none of it.
class UsageArchive
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

    // One line of the listing: a machine's share of one product code.
    struct MachineShare
    {
        QString productCode;
        QString machine;
        qint64 sessions = 0;
        // The dates of the first and the last dated session start; null when none is dated.
        QDate firstDate;
        QDate lastDate;
    };

    // Each log location of one product, as logLocation names it, with its sessions in the
    // order its log holds them.
    using LocationSessions = QVector<QPair<QString, UsageSessions>>;

    UsageArchive();
    ~UsageArchive();
    UsageArchive(const UsageArchive &) = delete;
    UsageArchive &operator=(const UsageArchive &) = delete;

    // target is a file path (SQLite, created when missing) or a postgresql://user@host:port/db
    // URL; the password comes from PGPASSWORD or the password file, never from the URL. Without
    // create, a missing file or an empty database is refused instead of made an archive.
    bool open(const QString &target, bool create = true);
    bool isOpen() const;

    // Adds what the logs hold under machine and productCode in one transaction. An empty
    // machine is this machine's default name: the host name at its first ingest, remembered by
    // the machine's unique ID.
    bool ingest(const QString &machine, const QString &productCode,
                const LocationSessions &locations);
    // The machine name the last ingest filed under.
    QString machine() const { return m_machine; }

    // The sessions of every machine that start in [from, to] (null bounds are open) ordered by
    // start, and, when rows is given, the report rows rebuilt from them: each session's "In"
    // and "Out" rows and the unpaired ends, every one dated in the range but some dated up to
    // a day beyond it, as the rows of the logs come: not yet limited or ordered by time.
    bool load(const QString &productCode, const QDate &from, const QDate &to,
              UsageSessions *sessions, UsageTable *rows = nullptr);

    // How SQLite finds the sessions load() reads, one line per step: shows whether the start
    // index is used. Empty for a server, which does not prepare EXPLAIN; psql shows its plan.
    QStringList queryPlan(const QString &productCode, const QDate &from, const QDate &to);

    // Every product code's machines, by code and machine.
    bool listing(QVector<MachineShare> *shares);

    Failure failure() const { return m_failure; }
    // One sentence saying what went wrong and, where it helps, what to do.
    QString errorText() const { return m_errorText; }

    // True when target names a server rather than a file.
    static bool isServerUrl(const QString &target);
    // An existing file that is a regular file, links followed.
    static bool isRegularFile(const QString &path);
    // A companion file of SQLite's beside the archive that is a link or another account's, or
    // empty.
    static QString foreignCompanion(const QString &path);

private:
    bool openFile(const QString &path, bool create);
    bool openServer(const QString &url);
    bool prepareSchema(bool create);
    bool createOrMigrate(int fromVersion);
    int storedVersion(bool *isArchive);
    bool begin();
    bool finish(bool ok);
    // Sends one location's sessions and unpaired ends, each filed by its identity.
    bool send(qint64 sourceId, const QString &productCode, const UsageSessions &sessions,
              ArchiveBatch *sessionRows, ArchiveBatch *endRows, QString *error) const;
    QString defaultMachine();
    bool writeFailed(const QString &error);
    bool failed(const QSqlQuery &query, Failure failure, const QString &what);
    qint64 sourceId(const QString &machine, const QString &productCode, const QString &location);
    bool prepareSessionQuery(QSqlQuery &query, const QString &productCode, const QDate &from,
                             const QDate &to, const QString &prefix);
    bool exec(QSqlQuery &query, Failure failure, const QString &what);
    bool fail(Failure failure, const QString &text);

    QString m_connection;
    // The file path, or the URL, for messages.
    QString m_target;
    bool m_server = false;
    bool m_readOnly = false;
    QString m_machine;
    Failure m_failure = Failure::None;
    QString m_errorText;
};

#endif // USAGEARCHIVE_H
