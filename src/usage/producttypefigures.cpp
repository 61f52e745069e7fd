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

// Sessions usually come ordered by start, so the starts are sorted already and only the ends
// need sorting before the two are merged.
std::vector<Event> mergedEvents(std::vector<Event> *starts, std::vector<Event> *ends)
{
    const auto byKey = [](const Event &a, const Event &b) { return a.key < b.key; };
    for (std::vector<Event> *list : {starts, ends}) {
        if (!std::is_sorted(list->begin(), list->end(), byKey))
            std::sort(list->begin(), list->end(), byKey);
    }
    std::vector<Event> events(starts->size() + ends->size());
    std::merge(starts->begin(), starts->end(), ends->begin(), ends->end(), events.begin(), byKey);
    return events;
}

} // namespace

// What one pass over the sessions gathers for the sweep over time.
struct ProductTypeFigures::Tally
{
    std::vector<int> sessionUser;
    std::vector<Event> events;
};

ProductTypeFigures ProductTypeFigures::compute(const QString &name,
                                               const UsageSessionList &sessions, int unpairedEnds,
                                               const QDate &periodFirst, const QDate &periodLast)
{
    ProductTypeFigures figures;
    figures.name = name;
    figures.unpairedEnds = unpairedEnds;
    Tally tally;
    figures.tallySessions(sessions, &tally);
    figures.sweep(sessions, tally, periodFirst, periodLast);
    figures.orderUsers();
    return figures;
}

int ProductTypeFigures::userOf(const UsageSession &session, QHash<QString, int> *userIndex)
{
    auto found = userIndex->constFind(session.userName());
    if (found != userIndex->constEnd())
        return found.value();
    const int user = perUser.size();
    userIndex->insert(session.userName(), user);
    User entry;
    entry.name = session.userName();
    perUser.append(entry);
    return user;
}

void ProductTypeFigures::tallySessions(const UsageSessionList &sessions, Tally *tally)
{
    QHash<QString, int> userIndex;
    QSet<QString> dongleNames;
    tally->sessionUser.assign(size_t(sessions.size()), 0);
    std::vector<Event> starts;
    std::vector<Event> ends;
    // The seconds of each user's first and last start so far.
    QVector<qint64> firstSeconds;
    QVector<qint64> lastSeconds;
    for (int index = 0; index < sessions.size(); ++index) {
        const UsageSession &session = sessions.at(index);
        if (!session.dogNum().isEmpty())
            dongleNames.insert(session.dogNum());
        const int user = userOf(session, &userIndex);
        firstSeconds.resize(perUser.size());
        lastSeconds.resize(perUser.size());
        tally->sessionUser[size_t(index)] = user;
        User &own = perUser[user];
        if (session.start().isValid()) {
            const qint64 start = session.startSeconds();
            if (!own.firstStart.isValid() || start < firstSeconds[user]) {
                firstSeconds[user] = start;
                own.firstStart = session.start();
            }
            if (!own.lastStart.isValid() || start > lastSeconds[user]) {
                lastSeconds[user] = start;
                own.lastStart = session.start();
            }
        }
        countState(session, &own);
        if (session.state() == UsageSession::Closed && session.seconds() > 0) {
            starts.push_back({session.startSeconds() * 2 + 1, index});
            ends.push_back({session.endSeconds() * 2, index});
        }
    }
    // Sessions without a user name are one user, listed as such: the count and the list agree.
    users = perUser.size();
    dongles = dongleNames.size();
    tally->events = mergedEvents(&starts, &ends);
}

void ProductTypeFigures::countState(const UsageSession &session, User *user)
{
    switch (session.state()) {
    case UsageSession::Closed:
        ++closedSessions;
        ++user->closedSessions;
        totalSeconds += session.seconds();
        user->totalSeconds += session.seconds();
        break;
    case UsageSession::Open:
        ++openSessions;
        break;
    case UsageSession::Undated:
        ++undatedSessions;
        break;
    case UsageSession::Invalid:
        ++invalidSessions;
        break;
    }
}

// One sweep over the ends and starts in time order. The level only rises at a start, so the
// peaks are checked there; a day's peak is also the level it begins with when a session runs
// across its midnight.
void ProductTypeFigures::sweep(const UsageSessionList &sessions, const Tally &tally,
                               const QDate &periodFirst, const QDate &periodLast)
{
    const bool withDays =
        periodFirst.isValid() && periodLast.isValid() && periodFirst <= periodLast;
    const qint64 firstJulian = withDays ? periodFirst.toJulianDay() : 0;
    const qint64 lastJulian = withDays ? periodLast.toJulianDay() : -1;
    if (withDays) {
        firstDay = periodFirst;
        dayPeaks.fill(0, int(lastJulian - firstJulian + 1));
    }
    auto raiseDay = [&](qint64 day, int level) {
        if (day >= firstJulian && day <= lastJulian) {
            int &peak = dayPeaks[int(day - firstJulian)];
            peak = std::max(peak, level);
        }
    };

    std::vector<int> userLevel(size_t(perUser.size()), 0);
    int level = 0;
    qint64 currentDay = std::numeric_limits<qint64>::min();
    for (const Event &event : tally.events) {
        const UsageSession &session = sessions.at(event.session);
        const int delta = event.isStart() ? 1 : -1;
        const QDateTime &moment = event.isStart() ? session.start() : session.end();
        if (withDays) {
            const qint64 day = moment.date().toJulianDay();
            if (day != currentDay) {
                if (level > 0 && currentDay != std::numeric_limits<qint64>::min()) {
                    for (qint64 d = std::max(currentDay + 1, firstJulian);
                         d < day && d <= lastJulian; ++d)
                        raiseDay(d, level);
                    if (moment.time() != QTime(0, 0))
                        raiseDay(day, level);
                }
                currentDay = day;
            }
        }
        level += delta;
        int &ownLevel = userLevel[size_t(tally.sessionUser[size_t(event.session)])];
        ownLevel += delta;
        if (withDays)
            raiseDay(currentDay, level);
        if (event.isStart()) {
            if (level > peakConcurrent) {
                peakConcurrent = level;
                peakStart = moment;
            }
            User &user = perUser[tally.sessionUser[size_t(event.session)]];
            user.peakConcurrent = std::max(user.peakConcurrent, ownLevel);
        }
    }
}

void ProductTypeFigures::orderUsers()
{
    std::stable_sort(perUser.begin(), perUser.end(), [](const User &a, const User &b) {
        if (a.totalSeconds != b.totalSeconds)
            return a.totalSeconds > b.totalSeconds;
        return a.name < b.name;
    });
}
