#include "localepoch.h"

#include <array>
#include <limits>

namespace {

constexpr qint64 kMsecsPerDay = 24 * 3600 * 1000;
constexpr qint64 kUnixEpochJulianDay = 2440588;
constexpr qint64 kUnstable = std::numeric_limits<qint64>::min();
constexpr int kSlots = 4096;

struct DayOffset
{
    qint64 day = std::numeric_limits<qint64>::min();
    // Local minus UTC milliseconds for every moment of the day, or kUnstable.
    qint64 offset = kUnstable;
};

struct Cache
{
    std::array<DayOffset, kSlots> slots;
    quint64 quick = 0;
};

thread_local Cache cache;

qint64 floorDiv(qint64 value, qint64 divisor)
{
    const qint64 quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

// Local milliseconds since 1970-01-01T00:00 of the date-time's own wall clock.
qint64 localMsecs(const QDateTime &dateTime)
{
    return (dateTime.date().toJulianDay() - kUnixEpochJulianDay) * kMsecsPerDay +
           dateTime.time().msecsSinceStartOfDay();
}

qint64 offsetAt(qint64 local)
{
    const qint64 day = floorDiv(local, kMsecsPerDay);
    const QDateTime probe(QDate::fromJulianDay(day + kUnixEpochJulianDay),
                          QTime::fromMSecsSinceStartOfDay(int(local - day * kMsecsPerDay)),
                          Qt::LocalTime);
    if (!probe.isValid() || localMsecs(probe) != local)
        return kUnstable;
    return local - probe.toMSecsSinceEpoch();
}

qint64 dayOffset(qint64 day)
{
    const qint64 start = day * kMsecsPerDay;
    const qint64 offset = offsetAt(start);
    if (offset == kUnstable)
        return kUnstable;
    for (const qint64 local : {start - 1, start + kMsecsPerDay - 1, start + kMsecsPerDay}) {
        if (offsetAt(local) != offset)
            return kUnstable;
    }
    return offset;
}

} // namespace

qint64 LocalEpoch::seconds(const QDateTime &dateTime)
{
    if (dateTime.timeSpec() != Qt::LocalTime || !dateTime.isValid())
        return dateTime.toSecsSinceEpoch();
    const qint64 local = localMsecs(dateTime);
    const qint64 day = floorDiv(local, kMsecsPerDay);
    DayOffset &slot = cache.slots[size_t(quint64(day) % kSlots)];
    if (slot.day != day) {
        slot.day = day;
        slot.offset = dayOffset(day);
    }
    if (slot.offset == kUnstable)
        return dateTime.toSecsSinceEpoch();
    ++cache.quick;
    // The same rounding as Qt's: milliseconds divided towards zero.
    return (local - slot.offset) / 1000;
}

quint64 LocalEpoch::quickAnswers()
{
    return cache.quick;
}
