#include "workingweek.h"

#include <QDateTime>

#include <algorithm>
#include <limits>

namespace {

constexpr int kSlots = 7 * 24;
constexpr qint64 kSkipped = std::numeric_limits<qint64>::min();

// The instant the local hour starts, or kSkipped when the clocks jump over it: a local time in
// the gap is moved by the conversion, and must not be taken for another hour's start.
qint64 hourStart(const QDate &day, int hour)
{
    const qint64 start = QDateTime(day, QTime(hour, 0)).toSecsSinceEpoch();
    const QDateTime local = QDateTime::fromSecsSinceEpoch(start);
    return local.date() == day && local.time() == QTime(hour, 0) ? start : kSkipped;
}

} // namespace

WorkingWeek::WorkingWeek(const QDate &first, const QDate &last)
    : m_first(first), m_slotSeconds(kSlots, 0), m_sessionSeconds(kSlots, 0), m_peak(kSlots, 0)
{
    if (!first.isValid() || !last.isValid() || last < first)
        return;
    const qint64 days = first.daysTo(last) + 1;
    m_boundaries.reserve(int(days * 24 + 1));
    // A day of 24 hours of 3600 seconds needs no conversion but its midnight; only the days the
    // clocks change are converted hour by hour.
    qint64 midnight = QDateTime(first, QTime(0, 0)).toSecsSinceEpoch();
    for (QDate day = first; day <= last; day = day.addDays(1)) {
        const qint64 next = QDateTime(day.addDays(1), QTime(0, 0)).toSecsSinceEpoch();
        for (int hour = 0; hour < 24; ++hour)
            m_boundaries << (next - midnight == 24 * 3600 ? midnight + hour * 3600
                                                          : hourStart(day, hour));
        midnight = next;
    }
    m_boundaries << QDateTime(last.addDays(1), QTime(0, 0)).toSecsSinceEpoch();
    // A skipped hour starts where the next one does, and holds no second; a repeated one runs
    // from its first occurrence to the next hour.
    for (int index = m_boundaries.size() - 2; index >= 0; --index) {
        if (m_boundaries[index] == kSkipped)
            m_boundaries[index] = m_boundaries[index + 1];
    }
    for (int index = 0; index + 1 < m_boundaries.size(); ++index)
        m_slotSeconds[slotOf(index)] +=
            std::max<qint64>(0, m_boundaries[index + 1] - m_boundaries[index]);
}

int WorkingWeek::slotOf(int index) const
{
    const int dayOfWeek = (m_first.dayOfWeek() - 1 + index / 24) % 7;
    return dayOfWeek * 24 + index % 24;
}

void WorkingWeek::add(qint64 from, qint64 to, int level)
{
    if (m_boundaries.size() < 2 || level <= 0 || to <= from)
        return;
    // Calls come in time order: the hour reached last is where the next one starts looking.
    if (m_next > 0 && m_boundaries[m_next] > from)
        m_next = 0;
    const auto firstAfter =
        std::upper_bound(m_boundaries.cbegin() + m_next, m_boundaries.cend(), from);
    int index = std::max(0, int(firstAfter - m_boundaries.cbegin()) - 1);
    m_next = index;
    for (; index + 1 < m_boundaries.size() && m_boundaries[index] < to; ++index) {
        const qint64 start = std::max(from, m_boundaries[index]);
        const qint64 end = std::min(to, m_boundaries[index + 1]);
        if (end <= start)
            continue;
        const int slot = slotOf(index);
        m_sessionSeconds[slot] += (end - start) * level;
        m_peak[slot] = std::max(m_peak[slot], level);
    }
}

WorkingWeek::Cell WorkingWeek::cell(int dayOfWeek, int hour) const
{
    Cell cell;
    if (m_boundaries.isEmpty() || dayOfWeek < 1 || dayOfWeek > 7 || hour < 0 || hour > 23)
        return cell;
    const int slot = (dayOfWeek - 1) * 24 + hour;
    if (m_slotSeconds[slot] > 0)
        cell.average = double(m_sessionSeconds[slot]) / double(m_slotSeconds[slot]);
    cell.peak = m_peak[slot];
    return cell;
}
