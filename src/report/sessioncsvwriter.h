#ifndef SESSIONCSVWRITER_H
#define SESSIONCSVWRITER_H

#include "usagecsvwriter.h"
#include "usagesessions.h"

#include <QByteArray>

// The sessions as comma-separated text, in the same dialect as the rows' CSV: one line per
// session with its product type, in key order and then session order.
class SessionCsvWriter
{
public:
    // Moments as "yyyy-MM-dd HH:mm:ss", empty when invalid or missing; the seconds only for a
    // closed session. Text fields are neutralised as UsageCsvWriter does, unless raw.
    static QByteArray
    toCsv(const UsageSessions &sessions,
          UsageCsvWriter::Formulas formulas = UsageCsvWriter::Formulas::Neutralised);
};

#endif // SESSIONCSVWRITER_H
