#include "usagesessions.h"

#include "timeorder.h"

#include <algorithm>

namespace {

// The readers give the two rows of one use the same texts, so a shared text settles most
// comparisons without reading the characters.
bool sameText(const QString &a, const QString &b)
{
    return a.constData() == b.constData() || a == b;
}

bool isIn(const QString &action)
{
    return action.size() == 2 && action.at(0) == QLatin1Char('I') &&
           action.at(1) == QLatin1Char('n');
}

bool isOut(const QString &action)
{
    return action.size() == 3 && action.at(0) == QLatin1Char('O') &&
           action.at(1) == QLatin1Char('u') && action.at(2) == QLatin1Char('t');
}

bool inRange(const QDateTime &moment, const QDate &from, const QDate &to)
{
    if (!moment.isValid())
        return false;
    const QDate date = moment.date();
    return (from.isNull() || date >= from) && (to.isNull() || date <= to);
}

} // namespace

UsageSessions UsageSessions::fromLocationRows(const UsageTable &rows)
{
    UsageSessions result;
    for (auto entry = rows.cbegin(); entry != rows.cend(); ++entry) {
        const UsageRecordList &list = entry.value();
        UsageSessionList &sessions = result.m_sessions[entry.key()];
        sessions.reserve(sessions.size() + list.size() / 2 + 1);
        for (int index = 0; index < list.size(); ++index) {
            const UsageRecord &row = list.at(index);
            if (isIn(row.logAction())) {
                const UsageRecord *next = index + 1 < list.size() ? &list.at(index + 1) : nullptr;
                if (next && isOut(next->logAction()) &&
                    sameText(next->userName(), row.userName()) &&
                    sameText(next->dogNum(), row.dogNum())) {
                    sessions.append(UsageSession(row.userName(), row.dogNum(), row.dateTime(),
                                                 next->dateTime()));
                    ++index;
                } else {
                    sessions.append(UsageSession(row.userName(), row.dogNum(), row.dateTime()));
                }
            } else if (isOut(row.logAction())) {
                result.m_unpairedEnds[entry.key()].append(row);
                result.m_endMachines[entry.key()].append(-1);
            }
        }
        if (sessions.isEmpty())
            result.m_sessions.remove(entry.key());
    }
    return result;
}

void UsageSessions::append(const UsageSessions &other)
{
    // Other's machine numbers as this one's; sessions are renumbered only where they differ.
    QVector<int> numbers;
    bool renumbered = false;
    for (int index = 0; index < other.m_machines.size(); ++index) {
        numbers << machineNumber(other.m_machines.at(index));
        renumbered = renumbered || numbers.last() != index;
    }
    const auto numberOf = [&](int machine) { return machine < 0 ? machine : numbers.at(machine); };
    for (auto entry = other.m_sessions.cbegin(); entry != other.m_sessions.cend(); ++entry) {
        UsageSessionList &list = m_sessions[entry.key()];
        const int first = list.size();
        list += entry.value();
        if (renumbered) {
            for (int index = first; index < list.size(); ++index)
                list[index].setMachine(numberOf(list.at(index).machine()));
        }
    }
    for (auto entry = other.m_unpairedEnds.cbegin(); entry != other.m_unpairedEnds.cend(); ++entry)
        m_unpairedEnds[entry.key()] += entry.value();
    for (auto entry = other.m_endMachines.cbegin(); entry != other.m_endMachines.cend(); ++entry) {
        QVector<int> &list = m_endMachines[entry.key()];
        for (const int machine : entry.value())
            list.append(numberOf(machine));
    }
}

void UsageSessions::orderByStart()
{
    for (auto entry = m_sessions.begin(); entry != m_sessions.end(); ++entry) {
        TimeOrder::sort(entry.value(), [](const UsageSession &session) {
            return session.start().isValid() ? session.startSeconds() : TimeOrder::Invalid;
        });
    }
}

UsageSessions UsageSessions::inDateRange(const QDate &from, const QDate &to) const
{
    if (from.isNull() && to.isNull())
        return *this;
    UsageSessions result;
    result.m_machines = m_machines;
    for (auto entry = m_sessions.cbegin(); entry != m_sessions.cend(); ++entry) {
        UsageSessionList kept;
        for (const UsageSession &session : entry.value()) {
            if (inRange(session.start(), from, to))
                kept.append(session);
        }
        if (!kept.isEmpty())
            result.m_sessions.insert(entry.key(), kept);
    }
    for (auto entry = m_unpairedEnds.cbegin(); entry != m_unpairedEnds.cend(); ++entry) {
        const QVector<int> machines = m_endMachines.value(entry.key());
        for (int index = 0; index < entry.value().size(); ++index) {
            const UsageRecord &row = entry.value().at(index);
            if (inRange(row.dateTime(), from, to)) {
                result.m_unpairedEnds[entry.key()].append(row);
                result.m_endMachines[entry.key()].append(machines.value(index, -1));
            }
        }
    }
    return result;
}

QStringList UsageSessions::productTypes() const
{
    QStringList types = m_sessions.keys();
    for (auto entry = m_unpairedEnds.cbegin(); entry != m_unpairedEnds.cend(); ++entry) {
        if (!m_sessions.contains(entry.key()))
            types.append(entry.key());
    }
    std::sort(types.begin(), types.end());
    return types;
}

int UsageSessions::sessionCount() const
{
    int count = 0;
    for (const UsageSessionList &list : m_sessions)
        count += list.size();
    return count;
}

void UsageSessions::addSession(const QString &productType, const UsageSession &session)
{
    m_sessions[productType].append(session);
}

void UsageSessions::addUnpairedEnd(const QString &productType, const QDateTime &moment,
                                   const QString &userName, const QString &dogNum, int machine)
{
    m_unpairedEnds[productType].append(
        UsageRecord(userName, dogNum, moment, QStringLiteral("Out")));
    m_endMachines[productType].append(machine);
}

int UsageSessions::machineNumber(const QString &machine)
{
    if (m_lastMachine >= 0 && m_machines.at(m_lastMachine) == machine)
        return m_lastMachine;
    m_lastMachine = int(m_machines.indexOf(machine));
    if (m_lastMachine < 0) {
        m_lastMachine = int(m_machines.size());
        m_machines.append(machine);
    }
    return m_lastMachine;
}
