#include "usagesummary.h"

#include <algorithm>

namespace {

// The figures of each machine's sessions and unpaired ends of type, in the order of the
// machines' names.
QVector<ProductTypeFigures> machineFigures(const UsageSessions &sessions, const QString &type,
                                           const QDate &periodFirst, const QDate &periodLast,
                                           int idleDays)
{
    const QStringList &names = sessions.machines();
    QVector<UsageSessionList> lists(names.size());
    QVector<int> ends(names.size(), 0);
    for (const UsageSession &session : sessions.sessions().value(type)) {
        if (session.machine() >= 0)
            lists[session.machine()].append(session);
    }
    for (const int machine : sessions.unpairedEndMachines().value(type)) {
        if (machine >= 0)
            ++ends[machine];
    }
    QVector<int> machines;
    for (int machine = 0; machine < names.size(); ++machine) {
        if (!lists.at(machine).isEmpty() || ends.at(machine) > 0)
            machines << machine;
    }
    std::sort(machines.begin(), machines.end(),
              [&](int a, int b) { return names.at(a) < names.at(b); });
    QVector<ProductTypeFigures> figures;
    for (const int machine : qAsConst(machines)) {
        figures << ProductTypeFigures::compute(names.at(machine), lists.at(machine),
                                               ends.at(machine), periodFirst, periodLast);
        figures.last().markIdleDongles(periodLast, idleDays);
        // The list is no longer needed: a machine's copy of its sessions is let go at once.
        lists[machine] = UsageSessionList();
    }
    return figures;
}

} // namespace

UsageSummary UsageSummary::compute(const QString &productCode, const UsageSessions &sessions,
                                   const QDate &from, const QDate &to, int idleDays,
                                   const QHash<QString, int> &owned)
{
    UsageSummary summary;
    summary.productCode = productCode;
    summary.from = from;
    summary.to = to;

    QDate first = from;
    QDate last = to;
    if (from.isNull() || to.isNull()) {
        QDate earliest;
        QDate latest;
        auto widen = [&](const QDateTime &moment) {
            if (!moment.isValid())
                return;
            const QDate date = moment.date();
            if (!earliest.isValid() || date < earliest)
                earliest = date;
            if (!latest.isValid() || date > latest)
                latest = date;
        };
        for (const UsageSessionList &list : sessions.sessions()) {
            for (const UsageSession &session : list) {
                widen(session.start());
                if (session.state() == UsageSession::Closed)
                    widen(session.end());
            }
        }
        if (from.isNull())
            first = earliest;
        if (to.isNull())
            last = latest;
    }
    if (first.isValid() && last.isValid() && first <= last) {
        summary.periodFirst = first;
        summary.periodLast = last;
    }

    const QStringList types = sessions.productTypes();
    for (const QString &type : types) {
        ProductTypeFigures figures = ProductTypeFigures::compute(
            type, sessions.sessions().value(type), sessions.unpairedEnds().value(type).size(),
            summary.periodFirst, summary.periodLast);
        figures.markIdleDongles(summary.periodLast, idleDays);
        figures.owned = owned.value(type, -1);
        // The site's figures are over the sessions of every machine together, so that its peak
        // is the most sessions at one instant across the machines.
        if (sessions.hasMachines())
            figures.perMachine =
                machineFigures(sessions, type, summary.periodFirst, summary.periodLast, idleDays);
        summary.productTypes.append(figures);
    }
    return summary;
}
