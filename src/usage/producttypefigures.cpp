#include "producttypefigures.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// One start or end of a closed session. Ends sort before starts of the same second, so that
// touching sessions never count as running together.
struct Event
{
    qint64 at;
    int delta;
    int session;
};

} // namespace

ProductTypeFigures ProductTypeFigures::compute(const QString &name,
                                               const UsageSessionList &sessions,
                                               const QVector<QDateTime> &unpairedEnds,
                                               const QDate &periodFirst, const QDate &periodLast)
{
    ProductTypeFigures figures;
    figures.name = name;
    figures.unpairedEnds = unpairedEnds.size();

    QHash<QString, int> userIndex;
    QSet<QString> userNames;
    QSet<QString> dongles;
    std::vector<int> sessionUser(size_t(sessions.size()), 0);
    std::vector<Event> events;
    // The seconds of each user's first and last start so far.
    std::vector<qint64> firstStart;
    std::vector<qint64> lastStart;

    for (int index = 0; index < sessions.size(); ++index) {
        const UsageSession &session = sessions.at(index);
        if (!session.userName().isEmpty())
            userNames.insert(session.userName());
        if (!session.dogNum().isEmpty())
            dongles.insert(session.dogNum());

        auto found = userIndex.constFind(session.userName());
        int user = 0;
        if (found == userIndex.constEnd()) {
            user = figures.perUser.size();
            userIndex.insert(session.userName(), user);
            User entry;
            entry.name = session.userName();
            figures.perUser.append(entry);
            firstStart.push_back(0);
            lastStart.push_back(0);
        } else {
            user = found.value();
        }
        sessionUser[size_t(index)] = user;
        User &perUser = figures.perUser[user];
        if (session.start().isValid()) {
            const qint64 start = session.startSeconds();
            if (!perUser.firstStart.isValid() || start < firstStart[size_t(user)]) {
                firstStart[size_t(user)] = start;
                perUser.firstStart = session.start();
            }
            if (!perUser.lastStart.isValid() || start > lastStart[size_t(user)]) {
                lastStart[size_t(user)] = start;
                perUser.lastStart = session.start();
            }
        }

        switch (session.state()) {
        case UsageSession::Closed:
            ++figures.closedSessions;
            ++perUser.closedSessions;
            figures.totalSeconds += session.seconds();
            perUser.totalSeconds += session.seconds();
            if (session.seconds() > 0) {
                events.push_back({session.startSeconds(), +1, index});
                events.push_back({session.endSeconds(), -1, index});
            }
            break;
        case UsageSession::Open:
            ++figures.openSessions;
            break;
        case UsageSession::Undated:
            ++figures.undatedSessions;
            break;
        case UsageSession::Invalid:
            ++figures.invalidSessions;
            break;
        }
    }
    figures.users = userNames.size();
    figures.dongles = dongles.size();

    std::sort(events.begin(), events.end(), [](const Event &a, const Event &b) {
        return a.at != b.at ? a.at < b.at : a.delta < b.delta;
    });

    const bool withDays = periodFirst.isValid() && periodLast.isValid() && periodFirst <= periodLast;
    const qint64 firstDay = withDays ? periodFirst.toJulianDay() : 0;
    const qint64 lastDay = withDays ? periodLast.toJulianDay() : -1;
    if (withDays) {
        figures.firstDay = periodFirst;
        figures.dayPeaks.fill(0, int(lastDay - firstDay + 1));
    }
    auto raiseDay = [&](qint64 day, int level) {
        if (day >= firstDay && day <= lastDay) {
            int &peak = figures.dayPeaks[int(day - firstDay)];
            peak = std::max(peak, level);
        }
    };

    // One sweep over the ends and starts in time order. The level only rises at a start, so
    // the peaks are checked there; a day's peak is also the level it begins with when a
    // session runs across its midnight.
    std::vector<int> userLevel(size_t(figures.perUser.size()), 0);
    int level = 0;
    qint64 currentDay = std::numeric_limits<qint64>::min();
    for (const Event &event : events) {
        const UsageSession &session = sessions.at(event.session);
        const QDateTime &moment = event.delta > 0 ? session.start() : session.end();
        if (withDays) {
            const qint64 day = moment.date().toJulianDay();
            if (day != currentDay) {
                if (level > 0 && currentDay != std::numeric_limits<qint64>::min()) {
                    for (qint64 d = std::max(currentDay + 1, firstDay);
                         d < day && d <= lastDay; ++d)
                        raiseDay(d, level);
                    if (moment.time() != QTime(0, 0))
                        raiseDay(day, level);
                }
                currentDay = day;
            }
        }
        level += event.delta;
        int &ownLevel = userLevel[size_t(sessionUser[size_t(event.session)])];
        ownLevel += event.delta;
        if (withDays)
            raiseDay(currentDay, level);
        if (event.delta > 0) {
            if (level > figures.peakConcurrent) {
                figures.peakConcurrent = level;
                figures.peakStart = moment;
            }
            User &user = figures.perUser[sessionUser[size_t(event.session)]];
            user.peakConcurrent = std::max(user.peakConcurrent, ownLevel);
        }
    }

    std::stable_sort(figures.perUser.begin(), figures.perUser.end(),
                     [](const User &a, const User &b) {
                         if (a.totalSeconds != b.totalSeconds)
                             return a.totalSeconds > b.totalSeconds;
                         return a.name < b.name;
                     });
    return figures;
}
