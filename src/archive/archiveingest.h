#ifndef ARCHIVEINGEST_H
#define ARCHIVEINGEST_H

#include "usagesessions.h"

#include <QPair>
#include <QString>
#include <QVector>

class ArchiveBatch;
class ArchiveConnection;

// Adds one product's log readings to an open archive in one transaction, each session and
// unpaired end filed by its identity (see ArchiveSchema): a reading met again adds nothing, and
// a session whose end became known is completed in place.
class ArchiveIngest
{
public:
    // Each log location of one product, as logLocation names it, with its sessions in the
    // order its log holds them.
    using LocationSessions = QVector<QPair<QString, UsageSessions>>;

    explicit ArchiveIngest(ArchiveConnection &archive);

    // An empty machine is this machine's default name (see defaultMachine).
    bool run(const QString &machine, const QString &productCode, const LocationSessions &locations);
    // The machine name the last run filed under.
    QString machine() const { return m_machine; }

private:
    // The host name at this machine's first ingest, remembered by the machine's unique ID.
    QString defaultMachine();
    qint64 sourceId(const QString &machine, const QString &productCode, const QString &location);
    // Sends one location's sessions and unpaired ends, each filed by its identity.
    bool send(qint64 sourceId, const QString &productCode, const UsageSessions &sessions,
              ArchiveBatch *sessionRows, ArchiveBatch *endRows, QString *error) const;
    bool writeFailed(const QString &error);

    ArchiveConnection &m_archive;
    QString m_machine;
};

#endif // ARCHIVEINGEST_H
