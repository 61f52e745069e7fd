// The comma-separated usage log reader on arbitrary file contents.
#include "fuzzsupport.h"

#include "filereaderbycsv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = FuzzSupport::writeFile(QStringLiteral("usage.csv"), data, size);
    FileReaderByCSV reader;
    const UsageTable table = reader.read(path);
    // An opened file always gives exactly one entry, and every use an In and an Out row.
    if (table.size() != 1)
        FuzzSupport::fail("an opened file did not give exactly one entry");
    const UsageRecordList &rows = table.first();
    if (rows.size() % 2 != 0)
        FuzzSupport::fail("a use without its Out row");
    for (int i = 0; i < rows.size(); i += 2) {
        if (rows.at(i).logAction() != QLatin1String("In") ||
            rows.at(i + 1).logAction() != QLatin1String("Out") ||
            rows.at(i).userName() != rows.at(i + 1).userName() ||
            rows.at(i).dogNum() != rows.at(i + 1).dogNum())
            FuzzSupport::fail("a use's rows do not pair up");
    }
    return 0;
}
