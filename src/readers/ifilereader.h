#ifndef IFILEREADER_H
#define IFILEREADER_H

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
};

#endif // IFILEREADER_H
