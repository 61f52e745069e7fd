#ifndef LOCALEPOCH_H
#define LOCALEPOCH_H

#include <QDateTime>
#include <QtGlobal>

// Seconds since the epoch of a date-time, exactly as QDateTime::toSecsSinceEpoch gives them,
// but quick for local times. Qt works the zone offset out again on every call for a local
// date-time, which costs more than everything else a session needs. A local day whose offset is
// the same just before, at, and at the end of it and just after it holds no transition (no
// zone changes its offset and back within one day), so one offset serves the whole day. The
// days of a daylight-saving change, and date-times not in local time, are handed to Qt. The offsets
// are kept per thread for the life of the process: the local zone must not change while it runs
// (see LocalTimeZone::pin).
class LocalEpoch
{
public:
    static qint64 seconds(const QDateTime &dateTime);

    // How many calls of this thread were answered from a known day; lets tests see that the
    // quick way is taken.
    static quint64 quickAnswers();
};

#endif // LOCALEPOCH_H
