#include "concurrencycsvwriter.h"

#include <algorithm>
#include <vector>

namespace {

const QString kHeader = QStringLiteral("Product type,From,To,Running");
const QString kMomentFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// A start or an end of a closed session; ends sort before starts of the same second, so that
// touching sessions never run together.
struct Change
{
    qint64 seconds;
    int delta;
    const QDateTime *moment;

    bool operator<(const Change &other) const
    {
        return seconds != other.seconds ? seconds < other.seconds : delta < other.delta;
    }
};

std::vector<Change> changesOf(const UsageSessionList &sessions)
{
    std::vector<Change> changes;
    for (const UsageSession &session : sessions) {
        if (session.state() != UsageSession::Closed || session.seconds() <= 0)
            continue;
        changes.push_back({session.startSeconds(), 1, &session.start()});
        changes.push_back({session.endSeconds(), -1, &session.end()});
    }
    std::stable_sort(changes.begin(), changes.end());
    return changes;
}

} // namespace

QByteArray ConcurrencyCsvWriter::toCsv(const UsageSessions &sessions,
                                       UsageCsvWriter::Formulas formulas)
{
    QString text = kHeader + QLatin1Char('\n');
    const QChar comma = QLatin1Char(',');
    for (auto entry = sessions.sessions().cbegin(); entry != sessions.sessions().cend(); ++entry) {
        const QString type = UsageCsvWriter::quoteField(entry.key(), formulas);
        const std::vector<Change> changes = changesOf(entry.value());
        // The stretch being drawn: where it began and at which level.
        const Change *stretch = nullptr;
        int stretchLevel = 0;
        int level = 0;
        for (size_t index = 0; index < changes.size(); ++index) {
            const Change &change = changes[index];
            level += change.delta;
            // Every change of one second is taken before the level after it is known.
            if (index + 1 < changes.size() && changes[index + 1].seconds == change.seconds)
                continue;
            if (stretch && level == stretchLevel)
                continue;
            if (stretch)
                text += type + comma + stretch->moment->toString(kMomentFormat) + comma +
                        change.moment->toString(kMomentFormat) + comma +
                        QString::number(stretchLevel) + QLatin1Char('\n');
            stretch = &change;
            stretchLevel = level;
        }
    }
    return text.toUtf8();
}
