#ifndef PRODUCTTYPEFIGURES_H
#define PRODUCTTYPEFIGURES_H

#include "usagesessions.h"
#include "workingweek.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVector>

#include <utility>
#include <vector>

// The usage answers for one product type: how many sessions of each state, how many hours,
// how many licences were in use at once at the peak and when, and the same per user.
// Only closed sessions have hours and take part in concurrent use. A session covers
// [start, end): one that ends at 10:30 and one that starts at 10:30 never overlap, and a
// session of no length is never running.
struct ProductTypeFigures
{
    struct User
    {
        QString name;
        int closedSessions = 0;
        qint64 totalSeconds = 0;
        // The most of this user's sessions that ran at one instant.
        int peakConcurrent = 0;
        // Over every session of the user with a valid start; invalid when there is none.
        QDateTime firstStart;
        QDateTime lastStart;
    };

    QString name;
    int closedSessions = 0;
    int openSessions = 0;
    int undatedSessions = 0;
    int invalidSessions = 0;
    int unpairedEnds = 0;
    // Distinct user names over every session of the type, sessions without one counted as one
    // user, as perUser lists them; dongles: distinct non-empty texts.
    int users = 0;
    int dongles = 0;
    qint64 totalSeconds = 0;
    int peakConcurrent = 0;
    // The first moment the peak is reached; invalid when no session ever ran.
    QDateTime peakStart;
    // By total seconds, most first, then by name.
    QVector<User> perUser;
    // The licence a session used: its closed sessions and their seconds, the distinct users,
    // the first and last dated start, and whether it sat idle (see markIdleDongles).
    struct Dongle
    {
        QString name;
        int closedSessions = 0;
        qint64 totalSeconds = 0;
        int users = 0;
        QDateTime firstStart;
        QDateTime lastStart;
        bool idle = false;
    };
    // By total seconds, most first, then by name; sessions without a dongle are not listed.
    QVector<Dongle> perDongle;

    // The seconds during which at least one closed session ran.
    qint64 busySeconds = 0;
    // Entry N - 1: the seconds during which at least N sessions ran at once, N = 1 … peak.
    QVector<qint64> secondsAtLeast;
    // Use by weekday and hour over the period; empty without one.
    WorkingWeek week;

    // The licences the site owns of this type, from its licence file; -1 when not known.
    int owned = -1;

    // From an archive: the same figures for each machine with a session or an unpaired end of
    // the type, by machine name, each named after its machine and over the same period. The
    // licences owned are the site's, so a machine's owned stays -1. Empty from logs.
    QVector<ProductTypeFigures> perMachine;

    // The fewest licences that cover share (0 … 1) of the busy time: the smallest N whose
    // time at N + 1 or more is at most (1 - share) of it. 1 gives the peak.
    int licencesFor(double share) const;
    // The seconds during which more than owned sessions ran at once.
    qint64 secondsOver(int owned) const;
    // A dongle is idle when its last start lies more than idleDays before the end of the
    // period's last day, or it has no dated start.
    void markIdleDongles(const QDate &periodLast, int idleDays);

    // The most sessions running at one instant on each day from firstDay on, one entry a day;
    // empty when no period was asked for.
    QDate firstDay;
    QVector<int> dayPeaks;

    // The figures of sessions (any order) and the count of unpaired ends, with day peaks over
    // [periodFirst, periodLast] when both are valid.
    static ProductTypeFigures compute(const QString &name, const UsageSessionList &sessions,
                                      int unpairedEnds, const QDate &periodFirst,
                                      const QDate &periodLast);

private:
    struct Tally;

    // The counts, hours, users and dongles of every session, in one pass, and the events of
    // the closed ones.
    void tallySessions(const UsageSessionList &sessions, Tally *tally);
    void countState(const UsageSession &session, User *user);
    // Each dongle's distinct users from the (dongle, user) numbers of its sessions.
    void countDongleUsers(const std::vector<std::pair<int, int>> &pairs);
    // The peaks, overall, per user and per day, from the events in time order.
    void sweep(const UsageSessionList &sessions, const Tally &tally, const QDate &periodFirst,
               const QDate &periodLast);
    void orderUsers();
    void orderDongles();
};

#endif // PRODUCTTYPEFIGURES_H
