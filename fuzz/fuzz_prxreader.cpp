// The PRX log reader on arbitrary file contents. Besides crashes it checks that skipping lines
// by their marker texts (the fast scan) finds exactly the events that matching every line does.
#include "fuzzsupport.h"

#include "prxfilereader.h"

#include <QVector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = FuzzSupport::writeFile(QStringLiteral("activity.log"), data, size);
    PrxFileReader reader;
    QVector<LogEvent> fast;
    QVector<LogEvent> everyLine;
    if (!reader.readEvents(path, &fast, FileReaderByRegular::Scan::Fast) ||
        !reader.readEvents(path, &everyLine, FileReaderByRegular::Scan::EveryLine))
        FuzzSupport::fail("the log could not be opened");
    if (fast.size() != everyLine.size())
        FuzzSupport::fail("the fast scan found a different number of events");
    for (int i = 0; i < fast.size(); ++i) {
        if (fast.at(i).kind != everyLine.at(i).kind ||
            fast.at(i).dateTime != everyLine.at(i).dateTime ||
            fast.at(i).message != everyLine.at(i).message)
            FuzzSupport::fail("the fast scan found a different event");
    }
    const UsageTable table = reader.buildUsageTable(fast);
    for (const UsageRecordList &rows : table) {
        for (const UsageRecord &row : rows) {
            if (row.logAction() != QLatin1String("In") && row.logAction() != QLatin1String("Out"))
                FuzzSupport::fail("a row is neither In nor Out");
        }
    }
    return 0;
}
