#include "usagerecord.h"

#include "datetimecodec.h"

#include <utility>
#include <vector>

namespace {

// Rows of one log name few distinct days and seconds; their texts are made once and shared.
// Per thread, since readers may run side by side. Days go by their number in eleven years'
// slots, so that a log whose rows jump back and forth over a year or two keeps its texts; times
// by their second of the day, one slot each.
constexpr int kDaySlots = 1 << 12;
constexpr int kSecondsPerDay = 24 * 60 * 60;

struct DateSlot
{
    qint64 julianDay = -1;
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
    // A null text marks a second not met yet: a time's text is never empty.
    thread_local std::vector<QString> slots(kSecondsPerDay);
    const int second = dateTime.time().msecsSinceStartOfDay() / 1000;
    QString &slot = slots[size_t(second)];
    if (slot.isNull())
        slot = DateTimeCodec::timeText(dateTime);
    return slot;
}

} // namespace

UsageRecord::UsageRecord(QString userName, QString dogNum, const QDateTime &dateTime,
                         QString logAction)
    : m_dateTime(dateTime), m_userName(std::move(userName)), m_dogNum(std::move(dogNum)),
      m_dateText(dateTime.isValid() ? sharedDateText(dateTime) : QString()),
      m_timeText(dateTime.isValid() ? sharedTimeText(dateTime) : QString()),
      m_logAction(std::move(logAction))
{
}

void UsageRecord::takeNames(QString *userName, QString *dogNum)
{
    *userName = std::exchange(m_userName, QString());
    *dogNum = std::exchange(m_dogNum, QString());
}
