#ifndef ZQFFILEREADER_H
#define ZQFFILEREADER_H

#include "ifilereader.h"

#include <QString>

// Reads a folder of "Log*.log" files. A run is complete once a file has given, in any order,
// a start line (moment, user name and product type), a dongle line and an end line; each
// complete run becomes an "In" and an "Out" row under the product type in force when the run
// completed.
class ZqfFileReader : public IFileReader
{
public:
    ZqfFileReader() = default;
    ~ZqfFileReader() override = default;

    // A folder that does not exist, or holds no matching file, gives an empty table. Every
    // matching file that opens leaves an entry under its product type (that of its last start
    // line, the empty key without one), possibly with no rows.
    UsageTable read(const QString &path) override;
    // Special files and files that cannot be opened are skipped and listed as unreadable.
    LocationRead readLocation(const QString &path) override;
};

#endif // ZQFFILEREADER_H
