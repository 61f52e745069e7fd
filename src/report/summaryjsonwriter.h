#ifndef SUMMARYJSONWRITER_H
#define SUMMARYJSONWRITER_H

#include "usagesummary.h"

#include <QByteArray>

// The usage answers as one JSON object, for scripts and dashboards.
class SummaryJsonWriter
{
public:
    // UTF-8, indented, ending with a line break. Moments are local times written
    // "yyyy-MM-ddTHH:mm:ss", or null. From an archive each product type also has perMachine:
    // the same members for each machine, named after it, without owned and secondsOverOwned.
    static QByteArray toJson(const UsageSummary &summary);
};

#endif // SUMMARYJSONWRITER_H
