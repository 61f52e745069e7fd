#include "usagerecord.h"

#include "datetimecodec.h"

#include <vector>

namespace {

// Rows of one log name few distinct days and seconds; their texts are made once and shared.
// Per thread, since readers may run side by side.
constexpr int kDaySlots = 1 << 8;
constexpr int kSecondSlots = 1 << 12;

struct DateSlot
{
    qint64 julianDay = -1;
    QString text;
};

struct TimeSlot
{
    int second = -1;
    QString text;
};

QString sharedDateText(const QDateTime &dateTime)
{
    thread_local std::vector<DateSlot> slots(kDaySlots);
    const qint64 julianDay = dateTime.date().toJulianDay();
    DateSlot &slot = slots[size_t(julianDay & (kDaySlots - 1))];
    if (slot.julianDay != julianDay) {
        slot.text = DateTimeCodec::dateText(dateTime);
        slot.julianDay = julianDay;
    }
    return slot.text;
}

QString sharedTimeText(const QDateTime &dateTime)
{
    thread_local std::vector<TimeSlot> slots(kSecondSlots);
    const int second = dateTime.time().msecsSinceStartOfDay() / 1000;
    TimeSlot &slot = slots[size_t(second & (kSecondSlots - 1))];
    if (slot.second != second) {
        slot.text = DateTimeCodec::timeText(dateTime);
        slot.second = second;
    }
    return slot.text;
}

} // namespace

UsageRecord::UsageRecord(const QString &userName, const QString &dogNum, const QDateTime &dateTime,
                         const QString &logAction)
    : m_dateTime(dateTime), m_userName(userName), m_dogNum(dogNum),
      m_dateText(dateTime.isValid() ? sharedDateText(dateTime) : QString()),
      m_timeText(dateTime.isValid() ? sharedTimeText(dateTime) : QString()), m_logAction(logAction)
{
}
