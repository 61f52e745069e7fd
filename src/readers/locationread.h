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
};

#endif // LOCATIONREAD_H
