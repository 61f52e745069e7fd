#ifndef FILEREADERBYREGULAR_H
#define FILEREADERBYREGULAR_H

#include "ifilereader.h"
#include "logevent.h"

#include <QString>
#include <QVector>

// Reads one log file of time-stamped lines: picks out the lines whose message starts a run,
// ends a run or sets the user, orders those events by time and hands them to the product's
// rules. The product supplies the patterns and the rules through the hooks.
class FileReaderByRegular : public IFileReader
{
public:
    enum class Scan
    {
        // Skips lines that cannot hold an event without decoding them, when the three
        // event patterns are plain texts; otherwise the same as EveryLine.
        Fast,
        // Decodes and matches every line.
        EveryLine,
    };

    ~FileReaderByRegular() override = default;

    UsageTable read(const QString &path) final;
    LocationRead readLocation(const QString &path) final;

    // The file's events in time order; false when the file cannot be opened (it is missing,
    // or not a regular file), which status, when given, tells apart. Continuation lines are
    // joined to a user-set message only while it is shorter than 1 Mi characters.
    bool readEvents(const QString &path, QVector<LogEvent> *events, Scan scan = Scan::Fast,
                    LocationRead::Status *status = nullptr) const;

    virtual UsageTable buildUsageTable(const QVector<LogEvent> &events) const = 0;
    virtual QString runStartPattern() const = 0;
    virtual QString runEndPattern() const = 0;
    virtual QString userSetPattern() const = 0;
    virtual QString linePattern() const = 0;
    virtual qint32 dateCaptureIndex() const = 0;
    virtual qint32 timeCaptureIndex() const = 0;
    virtual qint32 messageCaptureIndex() const = 0;
};

#endif // FILEREADERBYREGULAR_H
