#ifndef SORTKEY_H
#define SORTKEY_H

#include <QDateTime>
#include <QtGlobal>

// Rows and events are ordered by whole seconds since 1970-01-01T00:00:00 UTC held in 32 bits.
class SortKey
{
public:
    // Invalid and out-of-range date-times give this value, so they sort last.
    static constexpr quint32 Invalid = 0xFFFFFFFFu;

    static quint32 of(const QDateTime &dateTime);
};

#endif // SORTKEY_H
