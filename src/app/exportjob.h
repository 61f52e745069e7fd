#ifndef EXPORTJOB_H
#define EXPORTJOB_H

#include "exportoutcome.h"
#include "exportrequest.h"

#include <QString>

#include <atomic>
#include <functional>

class ExportEnvironment;

// The one road of an export, for the window and the command-line tool alike: checks the
// request, reads every log location of the product, writes what was asked for, and tells what
// happened. Every file is staged and put in place only once everything is written, so a
// failure or a cancel leaves every previous file as it was. May run on any thread.
class ExportJob
{
public:
    struct Progress
    {
        enum Stage
        {
            Reading,
            Printing,
        };
        Stage stage = Reading;
        // 1-based: log location current of total, or page current of total.
        int current = 0;
        int total = 0;

        // "Reading log 2 of 3", "Printing page 5 of 80".
        QString text() const;
    };
    using ProgressHandler = std::function<void(const Progress &)>;

    static ExportOutcome run(const ExportEnvironment &environment, const ExportRequest &request,
                             const ProgressHandler &progress = ProgressHandler(),
                             const std::atomic_bool *cancel = nullptr);
};

#endif // EXPORTJOB_H
