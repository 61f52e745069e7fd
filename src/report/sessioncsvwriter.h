#ifndef SESSIONCSVWRITER_H
#define SESSIONCSVWRITER_H

#include "usagesessions.h"

#include <QByteArray>

// The sessions as comma-separated text, in the same dialect as the rows' CSV: one line per
// session with its product type, in key order and then session order.
class SessionCsvWriter
{
public:
    // Moments as "yyyy-MM-dd HH:mm:ss", empty when invalid or missing; the seconds only for a
    // closed session.
    static QByteArray toCsv(const UsageSessions &sessions);
};

#endif // SESSIONCSVWRITER_H
