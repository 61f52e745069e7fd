#include "producttypefigures.h"

#include <QDateTime>

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

// The time spent at each level of the step function the events draw, handed on to the week.
class LevelTime
{
public:
    explicit LevelTime(WorkingWeek *week) : m_week(week) {}

    // The level that held until time.
    void reach(qint64 time, int level)
    {
        if (m_started && time > m_previous && level > 0) {
            if (size_t(level) >= m_seconds.size())
                m_seconds.resize(size_t(level) + 1, 0);
            m_seconds[size_t(level)] += time - m_previous;
            m_week->add(m_previous, time, level);
        }
        m_started = true;
        m_previous = time;
    }

    // Seconds at N or more, for N = 1 … the highest level reached.
    QVector<qint64> atLeast() const
    {
        QVector<qint64> seconds(int(m_seconds.empty() ? 0 : m_seconds.size() - 1), 0);
        qint64 sum = 0;
        for (int level = seconds.size(); level >= 1; --level) {
            sum += m_seconds[size_t(level)];
            seconds[level - 1] = sum;
        }
        return seconds;
    }

private:
    WorkingWeek *m_week;
    std::vector<qint64> m_seconds;
    qint64 m_previous = 0;
    bool m_started = false;
};

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
    figures.tallyDongles(sessions, tally);
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
    week = WorkingWeek(periodFirst, periodLast);
    LevelTime levels(&week);
    int level = 0;
    qint64 currentDay = std::numeric_limits<qint64>::min();
    for (const Event &event : tally.events) {
        levels.reach(event.key >> 1, level);
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
    secondsAtLeast = levels.atLeast();
    busySeconds = secondsAtLeast.value(0);
}

int ProductTypeFigures::licencesFor(double share) const
{
    const double allowed = (1.0 - share) * double(busySeconds);
    for (int licences = 0; licences < secondsAtLeast.size(); ++licences) {
        if (double(secondsAtLeast.at(licences)) <= allowed)
            return licences;
    }
    return secondsAtLeast.size();
}

qint64 ProductTypeFigures::secondsOver(int owned) const
{
    return owned >= 0 && owned < secondsAtLeast.size() ? secondsAtLeast.at(owned) : 0;
}

void ProductTypeFigures::tallyDongles(const UsageSessionList &sessions, const Tally &tally)
{
    QHash<QString, int> index;
    // Each dongle's users, as pairs of the dongle's and the user's numbers, counted once sorted:
    // a million sessions would otherwise mean a million set entries.
    std::vector<quint64> pairs;
    pairs.reserve(size_t(sessions.size()));
    // Each dongle's first and last start, in seconds.
    std::vector<std::pair<qint64, qint64>> starts;
    for (int at = 0; at < sessions.size(); ++at) {
        const UsageSession &session = sessions.at(at);
        if (session.dogNum().isEmpty())
            continue;
        auto found = index.constFind(session.dogNum());
        if (found == index.constEnd()) {
            found = index.insert(session.dogNum(), perDongle.size());
            Dongle entry;
            entry.name = session.dogNum();
            perDongle.append(entry);
        }
        Dongle &dongle = perDongle[found.value()];
        pairs.push_back((quint64(quint32(found.value())) << 32) |
                        quint32(tally.sessionUser[size_t(at)]));
        if (session.state() == UsageSession::Closed) {
            ++dongle.closedSessions;
            dongle.totalSeconds += session.seconds();
        }
        if (!session.start().isValid())
            continue;
        // Compared by the seconds kept beside them: a local date-time's seconds are not free.
        const size_t number = size_t(found.value());
        if (starts.size() <= number)
            starts.resize(number + 1, {0, 0});
        if (!dongle.firstStart.isValid() || session.startSeconds() < starts[number].first) {
            starts[number].first = session.startSeconds();
            dongle.firstStart = session.start();
        }
        if (!dongle.lastStart.isValid() || session.startSeconds() > starts[number].second) {
            starts[number].second = session.startSeconds();
            dongle.lastStart = session.start();
        }
    }
    std::sort(pairs.begin(), pairs.end());
    const auto last = std::unique(pairs.begin(), pairs.end());
    for (auto pair = pairs.begin(); pair != last; ++pair)
        ++perDongle[int(*pair >> 32)].users;
    std::stable_sort(perDongle.begin(), perDongle.end(), [](const Dongle &a, const Dongle &b) {
        if (a.totalSeconds != b.totalSeconds)
            return a.totalSeconds > b.totalSeconds;
        return a.name < b.name;
    });
}

void ProductTypeFigures::markIdleDongles(const QDate &periodLast, int idleDays)
{
    if (!periodLast.isValid())
        return;
    const qint64 end = QDateTime(periodLast.addDays(1), QTime(0, 0)).toSecsSinceEpoch();
    for (Dongle &dongle : perDongle)
        dongle.idle = !dongle.lastStart.isValid() ||
                      end - dongle.lastStart.toSecsSinceEpoch() > qint64(idleDays) * 86400;
}

void ProductTypeFigures::orderUsers()
{
    std::stable_sort(perUser.begin(), perUser.end(), [](const User &a, const User &b) {
        if (a.totalSeconds != b.totalSeconds)
            return a.totalSeconds > b.totalSeconds;
        return a.name < b.name;
    });
}
