#ifndef LOCATIONREAD_H
#define LOCATIONREAD_H

#include "usagetable.h"

#include <QStringList>

// What reading one log location gave: its rows and whether the location could be read, so
// that a caller can say which locations were missing and which were there but unreadable.
struct LocationRead
{
    enum class Status
    {
        // The location was read; its table may still be empty.
        Read,
        // Nothing exists at the location.
        Missing,
        // Something exists there but could not be read: a special file (FIFO, device), a file
        // where a folder is expected or the other way round, or no permission.
        Unreadable,
    };

    UsageTable table;
    Status status = Status::Missing;
    // Files inside a folder location that exist but could not be read and were skipped; the
    // folder's own status stays Read.
    QStringList unreadableFiles;
    // A log of one product type per file that held rows of other types too: every row was
    // filed under the first type (the key of table), and these are the others, as first met.
    // At most kMostOtherTypes are named; moreProductTypes tells that there were others still.
    QStringList otherProductTypes;
    bool moreProductTypes = false;
    static constexpr int kMostOtherTypes = 20;
};

#endif // LOCATIONREAD_H
