#ifndef USAGECSVWRITER_H
#define USAGECSVWRITER_H

#include "usagetable.h"

#include <QByteArray>
#include <QString>

// The merged, ordered rows as comma-separated text for spreadsheets and scripts: a header
// line, then one line per row with its product type, in the table's key order.
class UsageCsvWriter
{
public:
    // UTF-8 with LF line ends. A field holding a comma, a double quote, CR or LF is quoted
    // with its inner quotes doubled; every other field stands exactly as it is.
    static QByteArray toCsv(const UsageTable &table);

    // Marks a file's text as UTF-8 for spreadsheet programs; not used on standard output.
    static QByteArray byteOrderMark() { return QByteArrayLiteral("\xEF\xBB\xBF"); }

    static QString quoteField(const QString &field);
};

#endif // USAGECSVWRITER_H
