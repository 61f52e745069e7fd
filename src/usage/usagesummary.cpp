#include "usagesummary.h"

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
        summary.productTypes.append(figures);
    }
    return summary;
}
