#ifndef CONCURRENCYCSVWRITER_H
#define CONCURRENCYCSVWRITER_H

#include "usagecsvwriter.h"
#include "usagesessions.h"

#include <QByteArray>

// The number of closed sessions running at once, as a step function for other tools: per
// product type, one line for each stretch of time at one level, from the first start to the
// last end, in the dialect of the sessions' CSV.
class ConcurrencyCsvWriter
{
public:
    // "Product type,From,To,Running"; moments as "yyyy-MM-dd HH:mm:ss"; a stretch covers
    // [From, To). Stretches of one level that touch are one line.
    static QByteArray
    toCsv(const UsageSessions &sessions,
          UsageCsvWriter::Formulas formulas = UsageCsvWriter::Formulas::Neutralised);
};

#endif // CONCURRENCYCSVWRITER_H
