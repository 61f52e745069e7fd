#ifndef REGULARFILE_H
#define REGULARFILE_H

#include "locationread.h"

#include <QString>

class QFile;

// Opens logs and the configuration for reading only when they are regular files. A FIFO
// would block the open or the first read until some other process writes, and a device such
// as /dev/zero never ends; both would hang an export. The type is checked on the opened
// handle as well as on the name, so swapping the file between the two steps does not help.
class RegularFile
{
public:
    enum class Outcome
    {
        Opened,
        // Nothing exists under the name (or a folder on its way is missing).
        Missing,
        // Something exists but cannot be read as a file: not a regular file, or no permission.
        Unreadable,
    };

    // Opens path read-only into file, which must not be open.
    static Outcome open(const QString &path, QFile *file);
    // How a location whose file did not open is reported.
    static LocationRead::Status locationStatus(Outcome outcome);
};

#endif // REGULARFILE_H
