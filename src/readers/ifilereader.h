#ifndef IFILEREADER_H
#define IFILEREADER_H

#include "locationread.h"
#include "usagetable.h"

#include <QString>

// Turns one log location (a file or a folder, as the product's reader expects) into usage
// rows. Readers keep no state between calls and never fail outward: a location that cannot
// be read gives an empty table.
class IFileReader
{
public:
    virtual ~IFileReader() = default;
    virtual UsageTable read(const QString &path) = 0;

    // The same rows as read(), with whether the location was read, missing or unreadable.
    // The product readers answer from the opened file; this fallback, for readers that only
    // implement read(), reports Read when something exists at path and Missing otherwise.
    virtual LocationRead readLocation(const QString &path);
};

#endif // IFILEREADER_H
