#include "producttypefigures.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// One start or end of a closed session, ordered by one number: the second, doubled, plus one
// for a start. Ends thus sort before starts of the same second, so that touching sessions never
// count as running together.
struct Event
{
    qint64 key;
    int session;

    bool isStart() const { return key & 1; }
};

} // namespace

ProductTypeFigures ProductTypeFigures::compute(const QString &name,
                                               const UsageSessionList &sessions, int unpairedEnds,
                                               const QDate &periodFirst, const QDate &periodLast)
{
    ProductTypeFigures figures;
    figures.name = name;
    figures.unpairedEnds = unpairedEnds;

    QHash<QString, int> userIndex;
    QSet<QString> dongles;
    std::vector<int> sessionUser(size_t(sessions.size()), 0);
    std::vector<Event> starts;
    std::vector<Event> ends;
    // The seconds of each user's first and last start so far.
    std::vector<qint64> firstStart;
    std::vector<qint64> lastStart;

    for (int index = 0; index < sessions.size(); ++index) {
        const UsageSession &session = sessions.at(index);
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
                starts.push_back({session.startSeconds() * 2 + 1, index});
                ends.push_back({session.endSeconds() * 2, index});
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
    figures.users = int(userIndex.size()) - (userIndex.contains(QString()) ? 1 : 0);
    figures.dongles = dongles.size();

    // Sessions usually come ordered by start, so the starts are sorted already and only the
    // ends need sorting before the two are merged.
    const auto byKey = [](const Event &a, const Event &b) { return a.key < b.key; };
    for (std::vector<Event> *list : {&starts, &ends}) {
        if (!std::is_sorted(list->begin(), list->end(), byKey))
            std::sort(list->begin(), list->end(), byKey);
    }
    std::vector<Event> events(starts.size() + ends.size());
    std::merge(starts.begin(), starts.end(), ends.begin(), ends.end(), events.begin(), byKey);
    starts = std::vector<Event>();
    ends = std::vector<Event>();

    const bool withDays =
        periodFirst.isValid() && periodLast.isValid() && periodFirst <= periodLast;
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
        const int delta = event.isStart() ? 1 : -1;
        const QDateTime &moment = event.isStart() ? session.start() : session.end();
        if (withDays) {
            const qint64 day = moment.date().toJulianDay();
            if (day != currentDay) {
                if (level > 0 && currentDay != std::numeric_limits<qint64>::min()) {
                    for (qint64 d = std::max(currentDay + 1, firstDay); d < day && d <= lastDay;
                         ++d)
                        raiseDay(d, level);
                    if (moment.time() != QTime(0, 0))
                        raiseDay(day, level);
                }
                currentDay = day;
            }
        }
        level += delta;
        int &ownLevel = userLevel[size_t(sessionUser[size_t(event.session)])];
        ownLevel += delta;
        if (withDays)
            raiseDay(currentDay, level);
        if (event.isStart()) {
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
