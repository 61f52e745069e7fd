#ifndef FILEREADERBYCSV_H
#define FILEREADERBYCSV_H

#include "ifilereader.h"

#include <QString>

// Reads a usage log of comma-separated lines, one line per use: user name, dongle number,
// product type, start moment and end moment. Each line becomes an "In" and an "Out" row, all
// filed under the first product type that the file names.
class FileReaderByCSV : public IFileReader
{
public:
    FileReaderByCSV() = default;
    ~FileReaderByCSV() override = default;

    // A file that cannot be opened gives an empty table; once the file is open the table
    // holds exactly one entry, possibly the empty key with no rows.
    UsageTable read(const QString &path) override;
    LocationRead readLocation(const QString &path) override;
};

#endif // FILEREADERBYCSV_H
