#ifndef SORTKEY_H
#define SORTKEY_H

#include <QDateTime>
#include <QtGlobal>

// The compact key by which sets of ordinary moments are ordered (see TimeOrder): whole seconds
// since 1970-01-01T00:00:00 UTC held in 32 bits.
class SortKey
{
public:
    // Invalid and out-of-range date-times give this value.
    static constexpr quint32 Invalid = 0xFFFFFFFFu;

    static quint32 of(const QDateTime &dateTime);
    // The key of whole seconds since the epoch; Invalid when the key cannot hold them.
    static quint32 ofSeconds(qint64 seconds);
};

#endif // SORTKEY_H
