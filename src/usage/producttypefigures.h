#ifndef PRODUCTTYPEFIGURES_H
#define PRODUCTTYPEFIGURES_H

#include "usagesessions.h"

#include <QDate>
#include <QDateTime>
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
    // Distinct non-empty texts over every session of the type.
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
};

#endif // PRODUCTTYPEFIGURES_H
