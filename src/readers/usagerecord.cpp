#include "usagerecord.h"

#include "datetimecodec.h"

UsageRecord::UsageRecord(const QString &userName, const QString &dogNum, const QDateTime &dateTime,
                         const QString &logAction)
    : m_dateTime(dateTime), m_userName(userName), m_dogNum(dogNum),
      m_dateText(DateTimeCodec::dateText(dateTime)), m_timeText(DateTimeCodec::timeText(dateTime)),
      m_logAction(logAction)
{
}
