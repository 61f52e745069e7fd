#ifndef GROWTHESTIMATE_H
#define GROWTHESTIMATE_H

#include <QtGlobal>

#include <algorithm>
#include <limits>

// How large to make a list that a reader fills while it reads a file, once the list is full:
// what the part of the file read so far says the whole will need, and a little more, so that a
// large list is copied a few times while it grows instead of at every doubling. At least twice
// the items it must hold, and at most sixteen times: a file whose first lines are unlike the
// rest makes the list no more than that larger than what it already filled. At most what a
// QVector of items of itemSize bytes can hold.
inline int grownCapacity(qint64 needed, qint64 bytesRead, qint64 fileSize, qint64 itemSize)
{
    qint64 wanted = 2 * needed;
    if (bytesRead > 0 && fileSize > bytesRead) {
        const double estimate = double(needed) * double(fileSize) / double(bytesRead);
        wanted = std::max(wanted, qint64(std::min(estimate * 17 / 16, 16.0 * double(needed))));
    }
    // QVector counts its bytes in an int.
    const qint64 most = std::numeric_limits<int>::max() / itemSize / 2;
    return int(std::max(std::min(wanted, most), needed));
}

#endif // GROWTHESTIMATE_H
