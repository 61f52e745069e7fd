#ifndef WORKINGWEEK_H
#define WORKINGWEEK_H

#include <QDate>
#include <QVector>

// Use by weekday and hour of the day over a period: for each of the 7 × 24 hours of the week,
// the average number of sessions running in it and the most running at once.
//
// Each second of the period belongs to the hour its local wall-clock time shows. The hour that
// daylight saving skips has no seconds and counts for nothing; the hour it repeats has twice
// the seconds, and its average is over all of them. The average of an hour of the week is the
// session-seconds that fell in it divided by the seconds it had in the period.
class WorkingWeek
{
public:
    struct Cell
    {
        double average = 0;
        int peak = 0;
    };

    // Over the local days [first, last]; an invalid period gathers nothing.
    WorkingWeek(const QDate &first, const QDate &last);
    WorkingWeek() = default;

    // level sessions ran during [from, to), in seconds since the epoch; called in time order.
    void add(qint64 from, qint64 to, int level);

    // Monday first, then by hour.
    Cell cell(int dayOfWeek, int hour) const;
    bool isEmpty() const { return m_boundaries.isEmpty(); }

private:
    // The hour of the week of the hour that starts at boundary index.
    int slotOf(int index) const;

    QDate m_first;
    // The instants at which the period's local hours start, and the period's end.
    QVector<qint64> m_boundaries;
    QVector<qint64> m_slotSeconds;
    QVector<qint64> m_sessionSeconds;
    QVector<int> m_peak;
    int m_next = 0;
};

#endif // WORKINGWEEK_H
