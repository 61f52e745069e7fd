#ifndef USAGEARCHIVE_H
#define USAGEARCHIVE_H

#include "archiveconnection.h"
#include "archiveingest.h"
#include "archivereader.h"
#include "usagesessions.h"
#include "usagetable.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

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
    using Failure = ArchiveConnection::Failure;
    using MachineShare = ArchiveReader::MachineShare;
    using LocationSessions = ArchiveIngest::LocationSessions;

    UsageArchive();
    UsageArchive(const UsageArchive &) = delete;
    UsageArchive &operator=(const UsageArchive &) = delete;

    // target is a file path (SQLite, created when missing) or a postgresql://user@host:port/db
    // URL; the password comes from PGPASSWORD or the password file, never from the URL. Without
    // create, a missing file or an empty database is refused instead of made an archive.
    bool open(const QString &target, bool create = true)
    {
        return m_connection.open(target, create);
    }
    bool isOpen() const { return m_connection.isOpen(); }

    // Adds what the logs hold under machine and productCode in one transaction. An empty
    // machine is this machine's default name: the host name at its first ingest, remembered by
    // the machine's unique ID.
    bool ingest(const QString &machine, const QString &productCode,
                const LocationSessions &locations)
    {
        return m_ingest.run(machine, productCode, locations);
    }
    // The machine name the last ingest filed under.
    QString machine() const { return m_ingest.machine(); }

    // The sessions of every machine that start in [from, to] (null bounds are open) ordered by
    // start, each session and unpaired end naming its machine (see UsageSessions::machines),
    // and, when rows is given, the report rows rebuilt from them: each session's "In" and "Out"
    // rows and the unpaired ends, every one dated in the range but some dated up to a day
    // beyond it, as the rows of the logs come: not yet limited or ordered by time.
    bool load(const QString &productCode, const QDate &from, const QDate &to,
              UsageSessions *sessions, UsageTable *rows = nullptr)
    {
        return m_reader.load(productCode, from, to, sessions, rows);
    }

    // How SQLite finds the sessions load() reads, one line per step: shows whether the start
    // index is used. Empty for a server, which does not prepare EXPLAIN; psql shows its plan.
    QStringList queryPlan(const QString &productCode, const QDate &from, const QDate &to)
    {
        return m_reader.queryPlan(productCode, from, to);
    }

    // Every product code's machines, by code and machine.
    bool listing(QVector<MachineShare> *shares) { return m_reader.listing(shares); }

    Failure failure() const { return m_connection.failure(); }
    // One sentence saying what went wrong and, where it helps, what to do.
    QString errorText() const { return m_connection.errorText(); }

    // True when target names a server rather than a file.
    static bool isServerUrl(const QString &target)
    {
        return ArchiveConnection::isServerUrl(target);
    }
    // An existing file that is a regular file, links followed.
    static bool isRegularFile(const QString &path)
    {
        return ArchiveConnection::isRegularFile(path);
    }
    // A companion file of SQLite's beside the archive that is a link or another account's, or
    // empty.
    static QString foreignCompanion(const QString &path)
    {
        return ArchiveConnection::foreignCompanion(path);
    }

private:
    ArchiveConnection m_connection;
    ArchiveIngest m_ingest;
    ArchiveReader m_reader;
};

#endif // USAGEARCHIVE_H
