#include "producttypefigures.h"

#include <QDateTime>

#include <QHash>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

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
    figures.sweep(sessions, tally, periodFirst, periodLast);
    figures.orderUsers();
    figures.orderDongles();
    return figures;
}

namespace {

// The first and the last dated start of a user or a dongle: the sessions that hold them and
// their seconds. Moments are taken from the sessions once, at the end: a local date-time is
// dearer to copy than a number.
struct StartSpan
{
    int first = -1;
    int last = -1;
    qint64 firstSeconds = 0;
    qint64 lastSeconds = 0;

    // Ties keep the earlier session, as for the first and the last of equal starts.
    void add(int session, qint64 seconds)
    {
        if (first < 0 || seconds < firstSeconds) {
            first = session;
            firstSeconds = seconds;
        }
        if (last < 0 || seconds > lastSeconds) {
            last = session;
            lastSeconds = seconds;
        }
    }

    void put(const UsageSessionList &sessions, QDateTime *firstStart, QDateTime *lastStart) const
    {
        if (first >= 0)
            *firstStart = sessions.at(first).start();
        if (last >= 0)
            *lastStart = sessions.at(last).start();
    }
};

// Sessions ahead of the one being tallied whose texts are fetched from memory beforehand.
constexpr int kAhead = 16;

// Asks for the text's characters to be brought into the cache. The texts of a million sessions
// lie all over the heap, one allocation each, in the order they were read rather than by
// start: waiting for each in turn was most of the tally's time. Only the text's own pointer is
// read here, which lies in the session; the characters follow the header it points to.
inline void prefetchText(const QString &text)
{
    const void *header = const_cast<QString &>(text).data_ptr();
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(header);
#elif defined(_M_X64) || defined(_M_IX86)
    _mm_prefetch(static_cast<const char *>(header), _MM_HINT_T0);
#else
    Q_UNUSED(header);
#endif
}

// The number of each name, a new one (the count so far) for a name not met before.
class NameIndex
{
public:
    int find(const QString &name, bool *added)
    {
        auto found = m_index.constFind(name);
        *added = found == m_index.constEnd();
        if (*added)
            found = m_index.insert(name, m_index.size());
        return found.value();
    }

private:
    QHash<QString, int> m_index;
};

} // namespace

void ProductTypeFigures::tallySessions(const UsageSessionList &sessions, Tally *tally)
{
    NameIndex userIndex;
    NameIndex dongleIndex;
    tally->sessionUser.assign(size_t(sessions.size()), 0);
    std::vector<Event> starts;
    std::vector<Event> ends;
    std::vector<StartSpan> userStarts;
    std::vector<StartSpan> dongleStarts;
    // The dongle and the user of each session with a dongle, by their numbers: each dongle's
    // distinct users are counted from them at the end.
    std::vector<std::pair<int, int>> donglePairs;
    donglePairs.reserve(size_t(sessions.size()));
    bool added = false;
    for (int index = 0; index < sessions.size(); ++index) {
        if (index + kAhead < sessions.size()) {
            const UsageSession &ahead = sessions.at(index + kAhead);
            prefetchText(ahead.userName());
            prefetchText(ahead.dogNum());
        }
        const UsageSession &session = sessions.at(index);
        const int user = userIndex.find(session.userName(), &added);
        if (added) {
            User entry;
            entry.name = session.userName();
            perUser.append(entry);
            userStarts.emplace_back();
        }
        tally->sessionUser[size_t(index)] = user;
        User &own = perUser[user];
        const bool dated = session.start().isValid();
        if (dated)
            userStarts[size_t(user)].add(index, session.startSeconds());
        countState(session, &own);
        if (session.state() == UsageSession::Closed && session.seconds() > 0) {
            starts.push_back({session.startSeconds() * 2 + 1, index});
            ends.push_back({session.endSeconds() * 2, index});
        }
        if (session.dogNum().isEmpty())
            continue;
        const int dongle = dongleIndex.find(session.dogNum(), &added);
        if (added) {
            Dongle entry;
            entry.name = session.dogNum();
            perDongle.append(entry);
            dongleStarts.emplace_back();
        }
        Dongle &used = perDongle[dongle];
        donglePairs.emplace_back(dongle, user);
        if (session.state() == UsageSession::Closed) {
            ++used.closedSessions;
            used.totalSeconds += session.seconds();
        }
        if (dated)
            dongleStarts[size_t(dongle)].add(index, session.startSeconds());
    }
    for (int user = 0; user < perUser.size(); ++user)
        userStarts[size_t(user)].put(sessions, &perUser[user].firstStart, &perUser[user].lastStart);
    for (int dongle = 0; dongle < perDongle.size(); ++dongle)
        dongleStarts[size_t(dongle)].put(sessions, &perDongle[dongle].firstStart,
                                         &perDongle[dongle].lastStart);
    // Sessions without a user name are one user, listed as such: the count and the list agree.
    users = perUser.size();
    dongles = perDongle.size();
    countDongleUsers(donglePairs);
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

// The pairs are put in groups by dongle (a count, then a placing), and each group's users are
// told apart by the last dongle that marked them: linear in the sessions, where sorting the
// pairs of a million sessions took a tenth of a second.
void ProductTypeFigures::countDongleUsers(const std::vector<std::pair<int, int>> &pairs)
{
    std::vector<int> groupStart(size_t(perDongle.size()) + 1, 0);
    for (const auto &pair : pairs)
        ++groupStart[size_t(pair.first) + 1];
    for (size_t dongle = 1; dongle < groupStart.size(); ++dongle)
        groupStart[dongle] += groupStart[dongle - 1];
    std::vector<int> grouped(pairs.size());
    std::vector<int> next(groupStart.begin(), groupStart.end() - 1);
    for (const auto &pair : pairs)
        grouped[size_t(next[size_t(pair.first)]++)] = pair.second;
    std::vector<int> markedBy(size_t(perUser.size()), -1);
    for (int dongle = 0; dongle < perDongle.size(); ++dongle) {
        for (int at = groupStart[size_t(dongle)]; at < groupStart[size_t(dongle) + 1]; ++at) {
            int &mark = markedBy[size_t(grouped[size_t(at)])];
            if (mark != dongle) {
                mark = dongle;
                ++perDongle[dongle].users;
            }
        }
    }
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

void ProductTypeFigures::orderDongles()
{
    std::stable_sort(perDongle.begin(), perDongle.end(), [](const Dongle &a, const Dongle &b) {
        if (a.totalSeconds != b.totalSeconds)
            return a.totalSeconds > b.totalSeconds;
        return a.name < b.name;
    });
}

void ProductTypeFigures::orderUsers()
{
    std::stable_sort(perUser.begin(), perUser.end(), [](const User &a, const User &b) {
        if (a.totalSeconds != b.totalSeconds)
            return a.totalSeconds > b.totalSeconds;
        return a.name < b.name;
    });
}
