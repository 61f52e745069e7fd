#ifndef ARCHIVEREADER_H
#define ARCHIVEREADER_H

#include "usagesessions.h"
#include "usagetable.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

class ArchiveConnection;
class QSqlQuery;

// Reads sessions, the rows rebuilt from them, and the listing of machines out of an open
// archive. Every reading checks for errors to its end: a damaged page gives no partial answer.
class ArchiveReader
{
public:
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

    explicit ArchiveReader(ArchiveConnection &archive);

    // See UsageArchive::load.
    bool load(const QString &productCode, const QDate &from, const QDate &to,
              UsageSessions *sessions, UsageTable *rows);
    QStringList queryPlan(const QString &productCode, const QDate &from, const QDate &to);
    bool listing(QVector<MachineShare> *shares);

private:
    bool prepareSessionQuery(QSqlQuery &query, const QString &productCode, const QDate &from,
                             const QDate &to, const QString &prefix);
    bool readSessions(const QString &productCode, const QDate &from, const QDate &to,
                      UsageSessions *all);
    bool readEnds(const QString &productCode, const QDate &from, const QDate &to,
                  UsageSessions *all);
    static void rebuildRows(const UsageSessions &all, UsageTable *rows);

    ArchiveConnection &m_archive;
};

#endif // ARCHIVEREADER_H
