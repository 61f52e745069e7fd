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
    // Whether a text field that a spreadsheet would run as a formula is defused.
    enum class Formulas
    {
        // A field beginning with =, +, -, @, TAB or CR gets a leading single quote: names
        // come from logs that anyone running a product writes.
        Neutralised,
        // Every field byte for byte as read.
        Raw,
    };

    // UTF-8 with LF line ends. A field holding a comma, a double quote, CR or LF is quoted
    // with its inner quotes doubled; every other field stands as it is.
    static QByteArray toCsv(const UsageTable &table, Formulas formulas = Formulas::Neutralised);

    // Marks a file's text as UTF-8 for spreadsheet programs; not used on standard output.
    static QByteArray byteOrderMark() { return QByteArrayLiteral("\xEF\xBB\xBF"); }

    // The field as one CSV field: neutralised (unless raw), then quoted when it must be.
    static QString quoteField(const QString &field, Formulas formulas = Formulas::Neutralised);
    // The field with a leading single quote when a spreadsheet would read it as a formula.
    static QString neutralised(const QString &field);
};

#endif // USAGECSVWRITER_H
