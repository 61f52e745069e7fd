// The ZQF folder reader on a folder of a few files. The input is split at each line "@@file"
// into the contents of Log0.log, Log1.log, ...; a part that starts with "@@skip" goes into a
// file the reader must pass over.
#include "fuzzsupport.h"

#include "zqffilereader.h"

#include <QByteArray>
#include <QFile>

#include <cstring>

namespace {

const QByteArray kSeparator = QByteArrayLiteral("\n@@file\n");
const QByteArray kSkipMark = QByteArrayLiteral("@@skip");
constexpr int kMaxFiles = 8;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString folder = FuzzSupport::emptyFolder(QStringLiteral("Logs"));
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    int from = 0;
    int logFiles = 0;
    for (int index = 0; index < kMaxFiles && from <= input.size(); ++index) {
        int end = input.indexOf(kSeparator, from);
        if (end < 0 || index == kMaxFiles - 1)
            end = input.size();
        const QByteArray part = input.mid(from, end - from);
        from = end + kSeparator.size();
        const bool skipped = part.startsWith(kSkipMark);
        const QString name = skipped ? QStringLiteral("Logs/Note%1.txt").arg(index)
                                     : QStringLiteral("Logs/Log%1.log").arg(index);
        FuzzSupport::writeFile(name, reinterpret_cast<const uint8_t *>(part.constData()),
                               size_t(part.size()));
        if (!skipped)
            ++logFiles;
    }

    ZqfFileReader reader;
    const UsageTable table = reader.read(folder);
    // Every log file leaves an entry, so only a folder without one gives an empty table.
    if ((logFiles > 0) == table.isEmpty())
        FuzzSupport::fail("the table does not match the files");
    for (auto entry = table.constBegin(); entry != table.constEnd(); ++entry) {
        if (entry.value().size() % 2 != 0)
            FuzzSupport::fail("a run without its Out row");
        if (!entry.value().isEmpty() && entry.key().isEmpty())
            FuzzSupport::fail("rows under the empty product type");
    }
    return 0;
}
