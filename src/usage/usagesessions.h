#ifndef USAGESESSIONS_H
#define USAGESESSIONS_H

#include "usagesession.h"
#include "usagetable.h"

#include <QDate>
#include <QMap>
#include <QString>
#include <QVector>

using UsageSessionList = QVector<UsageSession>;

// The sessions of one product, grouped by product type in the report's key order, and the
// moments of the "Out" rows that closed no session. Read from an archive, each session and
// unpaired end also names its machine; read from logs, none does.
class UsageSessions
{
public:
    // Pairs the rows one reader returned for one log location, in the reader's order: an "In"
    // row directly followed by an "Out" row of the same user and dongle is one session. Readers
    // append a use's two rows together, so pairing by position is exact; rows are never paired
    // by time.
    static UsageSessions fromLocationRows(const UsageTable &rows);

    // Adds other's sessions and unpaired ends after this one's, type by type, and its machines
    // after this one's.
    void append(const UsageSessions &other);
    // Orders every type's sessions by start moment in whole seconds, keeping the order of
    // equal starts; sessions whose start is invalid come last.
    void orderByStart();
    // The sessions that start, and the unpaired ends that lie, on a date in [from, to]; a null
    // bound is open. With any bound given, what has no valid moment is left out.
    UsageSessions inDateRange(const QDate &from, const QDate &to) const;

    const QMap<QString, UsageSessionList> &sessions() const { return m_sessions; }
    // The "Out" rows that closed no session, with their user and dongle.
    const QMap<QString, UsageRecordList> &unpairedEnds() const { return m_unpairedEnds; }
    // Every product type with a session or an unpaired end, in key order.
    QStringList productTypes() const;
    int sessionCount() const;

    // The machines of an archive in the order first named; empty for sessions read from logs.
    // A session's machine() is a number into this list, and so is each unpaired end's.
    const QStringList &machines() const { return m_machines; }
    bool hasMachines() const { return !m_machines.isEmpty(); }
    // The machine of each unpaired end, one entry per end of unpairedEnds(); -1 for a log's.
    const QMap<QString, QVector<int>> &unpairedEndMachines() const { return m_endMachines; }
    // The number of the machine of this name, which is added when new.
    int machineNumber(const QString &machine);

    // The session keeps its machine(), which must be one of machines() or -1.
    void addSession(const QString &productType, const UsageSession &session);
    void addUnpairedEnd(const QString &productType, const QDateTime &moment,
                        const QString &userName = QString(), const QString &dogNum = QString(),
                        int machine = -1);

private:
    QMap<QString, UsageSessionList> m_sessions;
    QMap<QString, UsageRecordList> m_unpairedEnds;
    QStringList m_machines;
    // Beside m_unpairedEnds, entry for entry.
    QMap<QString, QVector<int>> m_endMachines;
    // The machine named last, which the next is most likely to be.
    int m_lastMachine = -1;
};

#endif // USAGESESSIONS_H
