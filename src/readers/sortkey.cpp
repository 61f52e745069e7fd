#include "sortkey.h"

quint32 SortKey::of(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return Invalid;
    const qint64 seconds = dateTime.toSecsSinceEpoch();
    // The last representable second is reserved for invalid date-times.
    if (seconds < 0 || seconds >= qint64(Invalid))
        return Invalid;
    return quint32(seconds);
}
