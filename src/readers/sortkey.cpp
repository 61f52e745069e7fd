#include "sortkey.h"

#include "localepoch.h"

quint32 SortKey::of(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return Invalid;
    // Ordering asks every row; Qt would work the zone offset out afresh for each.
    return ofSeconds(LocalEpoch::seconds(dateTime));
}

quint32 SortKey::ofSeconds(qint64 seconds)
{
    // The last representable second is reserved for invalid date-times.
    if (seconds < 0 || seconds >= qint64(Invalid))
        return Invalid;
    return quint32(seconds);
}
