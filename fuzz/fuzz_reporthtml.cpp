// The report's HTML built from an arbitrary header block and usage table. Every text of the
// deployment or of a log must come out as text, never as markup: the document then holds
// exactly one table row per usage row and one header row per product type that has rows.
#include "fuzzsupport.h"

#include "usagereportwriter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

namespace {

constexpr int kMaxTexts = 64;

QString text(FuzzedDataProvider &input)
{
    const std::string bytes = input.ConsumeRandomLengthString(256);
    return QString::fromUtf8(bytes.data(), int(bytes.size()));
}

int occurrences(const QString &html, const QString &what)
{
    return html.count(what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);

    UsageReportWriter::Header header;
    const int headerKeys = input.ConsumeIntegralInRange(0, 9);
    for (int i = 0; i < headerKeys; ++i) {
        const QString key = i == 0 ? QStringLiteral("company") : QStringLiteral("line%1").arg(i);
        header.insert(input.ConsumeBool() ? key : text(input), text(input));
    }

    UsageTable table;
    int expectedRows = 0;
    const int types = input.ConsumeIntegralInRange(0, 4);
    for (int t = 0; t < types && input.remaining_bytes() > 0; ++t) {
        const QString productType = text(input);
        UsageRecordList &rows = table[productType];
        const int count = input.ConsumeIntegralInRange(0, kMaxTexts);
        for (int r = 0; r < count && input.remaining_bytes() > 0; ++r) {
            const QString userName = text(input);
            const QString dogNum = text(input);
            // Any 64-bit count of seconds, so dates far outside the usual years come along.
            const QDateTime moment =
                input.ConsumeBool()
                    ? QDateTime()
                    : QDateTime::fromSecsSinceEpoch(input.ConsumeIntegral<qint64>());
            rows.append(
                UsageRecord(userName, dogNum, moment,
                            input.ConsumeBool() ? QStringLiteral("In") : QStringLiteral("Out")));
        }
    }
    for (const UsageRecordList &rows : qAsConst(table)) {
        if (!rows.isEmpty())
            expectedRows += rows.size() + 1;
    }

    const QString html = UsageReportWriter(header).html(table);
    if (occurrences(html, QStringLiteral("<tr>")) != expectedRows)
        FuzzSupport::fail("a text added or removed table rows");
    if (occurrences(html, QStringLiteral("<td ")) != 5 * expectedRows)
        FuzzSupport::fail("a text added or removed table cells");
    if (occurrences(html, QStringLiteral("<header>")) != 1 ||
        occurrences(html, QStringLiteral("<body>")) != 1)
        FuzzSupport::fail("a text added markup");
    return 0;
}
