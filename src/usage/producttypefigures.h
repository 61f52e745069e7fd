#ifndef PRODUCTTYPEFIGURES_H
#define PRODUCTTYPEFIGURES_H

#include "usagesessions.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVector>

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

    // The counts, hours and users of every session, and the events of the closed ones.
    void tallySessions(const UsageSessionList &sessions, Tally *tally);
    int userOf(const UsageSession &session, QHash<QString, int> *userIndex);
    void countState(const UsageSession &session, User *user);
    // The peaks, overall, per user and per day, from the events in time order.
    void sweep(const UsageSessionList &sessions, const Tally &tally, const QDate &periodFirst,
               const QDate &periodLast);
    void orderUsers();
};

#endif // PRODUCTTYPEFIGURES_H
