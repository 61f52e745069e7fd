#ifndef SUMMARYJSONWRITER_H
#define SUMMARYJSONWRITER_H

#include "usagesummary.h"

#include <QByteArray>

// The usage answers as one JSON object, for scripts and dashboards.
class SummaryJsonWriter
{
public:
    // UTF-8, indented, ending with a line break. Moments are local times written
    // "yyyy-MM-ddTHH:mm:ss", or null.
    static QByteArray toJson(const UsageSummary &summary);
};

#endif // SUMMARYJSONWRITER_H
