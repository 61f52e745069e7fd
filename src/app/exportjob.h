#ifndef EXPORTJOB_H
#define EXPORTJOB_H

#include "exportoutcome.h"
#include "exportrequest.h"
#include "usagesessions.h"
#include "usagesummary.h"
#include "usagetable.h"

#include <QPair>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class ExportEnvironment;
class StagedPdf;
class TextOutput;

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
            // The report's rows laid out into pages: no count of its own.
            LayingOut,
            Printing,
            // The summary PDF: no count of its own.
            PrintingSummary,
        };
        Stage stage = Reading;
        // 1-based: log location current of total, or page current of total.
        int current = 0;
        int total = 0;
        // The page count is worked out from the pages printed so far: a long report is laid
        // out a few pages at a time.
        bool estimated = false;

        // "Reading log 2 of 3", "Laying out the report", "Printing page 5 of 80" (of about 80
        // while estimated), "Printing the summary".
        QString text() const;
    };
    using ProgressHandler = std::function<void(const Progress &)>;

    static ExportOutcome run(const ExportEnvironment &environment, const ExportRequest &request,
                             const ProgressHandler &progress = ProgressHandler(),
                             const std::atomic_bool *cancel = nullptr);

private:
    // A staged file to put in place at the end: its path and its two last steps.
    struct PendingFile;

    ExportJob(const ExportEnvironment &environment, const ExportRequest &request,
              const ProgressHandler &progress, const std::atomic_bool *cancel);
    ~ExportJob();

    // Each step answers false when the export ends there, with the outcome saying why.
    bool checkRequest();
    void findLocations();
    bool checkOutputs();
    bool readLogs();
    bool takeSource();
    void derive();
    void makeTexts();
    void writeOutputs();
    bool printReport(StagedPdf &staged, QVector<PendingFile> *pending);
    bool printSummary(StagedPdf &staged, QVector<PendingFile> *pending);
    void finishOutputs(const QVector<PendingFile> &pending);

    bool cancelled() const;
    bool ends(ExportOutcome::Status status);
    bool failedWrite(const QString &path, const FileFailure &failure);

    const ExportEnvironment &m_environment;
    const ExportRequest &m_request;
    const ProgressHandler &m_progress;
    const std::atomic_bool *m_cancel;
    ExportOutcome m_outcome;
    QStringList m_locations;
    UsageTable m_table;
    UsageSessions m_sessions;
    QVector<QPair<QString, UsageSessions>> m_located;
    UsageSessions m_inRange;
    UsageSummary m_summary;
    std::vector<std::unique_ptr<TextOutput>> m_texts;
};

#endif // EXPORTJOB_H
