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
    ZqfFileReader();
    ~ZqfFileReader() override = default;

    // A folder that does not exist, or holds no matching file, gives an empty table. Every
    // matching file that opens leaves an entry under its product type (that of its last start
    // line, the empty key without one), possibly with no rows.
    UsageTable read(const QString &path) override;
    // Special files and files that cannot be opened are skipped and listed as unreadable.
    LocationRead readLocation(const QString &path) override;

    // A folder of at least this many files is read by two threads, each taking its share of
    // the files; the result is the same as reading them one by one.
    static constexpr int ParallelFileCount = 64;
    // At most this many threads (at least 1); by default as many as the machine has cores, up
    // to two.
    void setMaxThreads(int threads) { m_maxThreads = threads < 1 ? 1 : threads; }
    // How many threads the last read used.
    int lastThreadCount() const { return m_lastThreadCount; }

private:
    int m_maxThreads = 0;
    int m_lastThreadCount = 0;
};

#endif // ZQFFILEREADER_H
