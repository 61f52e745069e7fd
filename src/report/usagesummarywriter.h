#ifndef USAGESUMMARYWRITER_H
#define USAGESUMMARYWRITER_H

#include "usagereportwriter.h"
#include "usagesummary.h"

#include <QString>

// Prints the usage answers as an A4 PDF beside the usage report: the report's header block, the
// title, the period, then for every product type its figures, a chart of concurrent use over
// the period and its users by hours.
class QIODevice;

class UsageSummaryWriter
{
public:
    // At most this many users are listed per product type; a last line counts the rest.
    static constexpr int MaxListedUsers = 40;

    // An empty header means the report's built-in block.
    explicit UsageSummaryWriter(const UsageReportWriter::Header &header);

    // folder, "/", productCode, "_UsageSummary.pdf", joined as they stand.
    static QString summaryFilePath(const QString &folder, const QString &productCode);

    // Prints the summary into the file at path; false when the printer fails.
    bool print(const UsageSummary &summary, const QString &path) const;
    // Prints the summary into an open device; false when the printer fails.
    bool print(const UsageSummary &summary, QIODevice *device) const;

    // The days each bar of a chart over days days stands for: 1, 7 or 0 for calendar months.
    static int bucketDays(int days);

private:
    UsageReportWriter::Header m_header;
};

#endif // USAGESUMMARYWRITER_H
