#include "exportjob.h"

#include "exportenvironment.h"
#include "outputclashes.h"
#include "sessioncsvwriter.h"
#include "stagedfile.h"
#include "stagedpdf.h"
#include "summaryjsonwriter.h"
#include "textoutput.h"
#include "usagecsvwriter.h"
#include "usagereportwriter.h"
#include "usagesummary.h"
#include "usagesummarywriter.h"

#include <QDir>
#include <QFileInfo>

#include <functional>
#include <memory>
#include <vector>

namespace {

// Keeps the rows whose date lies in [from, to]; a null bound is open. Rows without a valid
// date-time cannot be placed in any range and are left out.
UsageTable filterByDate(const UsageTable &table, const QDate &from, const QDate &to)
{
    UsageTable filtered;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        UsageRecordList rows;
        for (const UsageRecord &record : it.value()) {
            if (!record.dateTime().isValid())
                continue;
            const QDate date = record.dateTime().date();
            if ((from.isNull() || date >= from) && (to.isNull() || date <= to))
                rows.append(record);
        }
        filtered.insert(it.key(), rows);
    }
    return filtered;
}

bool cancelled(const std::atomic_bool *cancel)
{
    return cancel && cancel->load();
}

ExportOutcome failedWrite(ExportOutcome outcome, const QString &path, const FileFailure &failure)
{
    outcome.status = failure.kind() == FileFailure::Cancelled ? ExportOutcome::Cancelled
                                                              : ExportOutcome::WriteFailed;
    outcome.failedPath = path;
    outcome.failure = failure.failed() ? failure : FileFailure::diagnose(path);
    return outcome;
}

// One staged file to put in place at the end: its path and its two last steps.
struct PendingFile
{
    QString path;
    std::function<bool()> prepare;
    std::function<bool()> commit;
    std::function<FileFailure()> failure;
};

// Every output is printed and staged: the streams get their text now, then every staged file
// is made durable, and only then is any file replaced, so that a failure before the renames
// leaves every previous file as it was. A rename that still fails (rare: the folder changed
// under us) leaves the outcome saying which files are new and which were left as they were.
ExportOutcome finishOutputs(ExportOutcome outcome, const ExportRequest &request,
                            const std::vector<std::unique_ptr<TextOutput>> &texts,
                            const QVector<PendingFile> &pending, const std::atomic_bool *cancel)
{
    for (const auto &text : texts) {
        if (!text->stream())
            return failedWrite(outcome, text->path(), text->failure());
        if (text->toStandardOutput()) {
            QString error;
            if (!request.standardOutput)
                outcome.standardOutput = text->content();
            else if (!request.standardOutput(text->content(), &error))
                return failedWrite(outcome, QStringLiteral("standard output"),
                                   FileFailure(FileFailure::Other, error));
        }
    }
    for (const PendingFile &file : pending) {
        if (!file.prepare())
            return failedWrite(outcome, file.path, file.failure());
    }
    if (cancelled(cancel))
        return failedWrite(outcome, pending.value(0).path, FileFailure(FileFailure::Cancelled));
    QStringList written;
    for (int i = 0; i < pending.size(); ++i) {
        if (!pending.at(i).commit()) {
            outcome.writtenPaths = written;
            for (int j = i + 1; j < pending.size(); ++j)
                outcome.unchangedPaths << pending.at(j).path;
            return failedWrite(outcome, pending.at(i).path, pending.at(i).failure());
        }
        written << pending.at(i).path;
    }
    return outcome;
}

// Opens every output, prints the PDFs into their staged files, and puts everything in place.
ExportOutcome writeOutputs(const ExportEnvironment &environment, const ExportRequest &request,
                           const UsageTable &table, const UsageSummary &summary,
                           const std::vector<std::unique_ptr<TextOutput>> &texts,
                           const ExportJob::ProgressHandler &progress,
                           const std::atomic_bool *cancel, ExportOutcome outcome)
{
    QVector<PendingFile> pending;
    for (const auto &text : texts) {
        if (!text->open())
            return failedWrite(outcome, text->path(), text->failure());
    }
    const QString reportPath =
        UsageReportWriter::reportFilePath(request.folder, request.productCode);
    const QString summaryPath =
        UsageSummaryWriter::summaryFilePath(request.folder, request.productCode);
    StagedPdf stagedReport(reportPath);
    StagedPdf stagedSummary(summaryPath);
    const UsageReportWriter writer(environment.store().reportHeader());
    const bool printed =
        stagedReport.open() && writer.print(stagedReport, table, [&](int page, int pageCount) {
            if (cancelled(cancel))
                return false;
            if (progress)
                progress(ExportJob::Progress{ExportJob::Progress::Printing, page, pageCount});
            return true;
        });
    if (!printed)
        return failedWrite(outcome, reportPath, stagedReport.failure());
    pending.append({reportPath, [&] { return stagedReport.prepare(); },
                    [&] { return stagedReport.commit(); }, [&] { return stagedReport.failure(); }});
    if (request.summary) {
        const UsageSummaryWriter summaryWriter(environment.store().reportHeader());
        if (!stagedSummary.open() || !summaryWriter.print(summary, stagedSummary.device()))
            return failedWrite(outcome, summaryPath, stagedSummary.failure());
        pending.append({summaryPath, [&] { return stagedSummary.prepare(); },
                        [&] { return stagedSummary.commit(); },
                        [&] { return stagedSummary.failure(); }});
    } else {
        // What a killed export of the summary left is not kept until the summary is asked for.
        StagedFile::removeLeftovers(summaryPath);
    }
    for (const auto &text : texts) {
        if (text->toStandardOutput() || text->isDirect())
            continue;
        TextOutput *output = text.get();
        pending.append({output->path(), [output] { return output->prepare(); },
                        [output] { return output->commit(); },
                        [output] { return output->failure(); }});
    }
    for (const StagedPdf *pdf : {&stagedReport, &stagedSummary}) {
        if (!pdf->notice().isEmpty())
            outcome.notices << pdf->notice();
    }
    for (const auto &text : texts) {
        if (!text->notice().isEmpty())
            outcome.notices << text->notice();
    }
    outcome = finishOutputs(outcome, request, texts, pending, cancel);
    if (outcome.status == ExportOutcome::WriteFailed || outcome.status == ExportOutcome::Cancelled)
        return outcome;
    outcome.writtenPaths = QStringList{reportPath};
    if (request.summary)
        outcome.writtenPaths << summaryPath;
    outcome.status = outcome.unreadableLocations.isEmpty()
                         ? ExportOutcome::Written
                         : ExportOutcome::WrittenWithUnreadableLogs;
    return outcome;
}

} // namespace

QString ExportJob::Progress::text() const
{
    if (stage == Reading)
        return QStringLiteral("Reading log %1 of %2").arg(current).arg(total);
    return QStringLiteral("Printing page %1 of %2").arg(current).arg(total);
}

ExportOutcome ExportJob::run(const ExportEnvironment &environment, const ExportRequest &request,
                             const ProgressHandler &progress, const std::atomic_bool *cancel)
{
    ExportOutcome outcome;
    outcome.productCode = request.productCode;
    if (request.readLogs && !environment.hasConfiguration()) {
        outcome.status = ExportOutcome::NoConfiguration;
        outcome.path = environment.configPath();
        return outcome;
    }
    const QFileInfo folder(request.folder);
    if (!request.writeFiles) {
        // Nothing is written, so no folder is asked for.
    } else if (request.folder.isEmpty() || !folder.exists()) {
        outcome.status = ExportOutcome::NoExportFolder;
        outcome.path = request.folder;
        return outcome;
    } else if (!folder.isDir()) {
        outcome.status = ExportOutcome::NotAFolder;
        outcome.path = request.folder;
        return outcome;
    }
    if (request.readLogs && !environment.hasReader(request.productCode)) {
        outcome.status = ExportOutcome::NoReader;
        outcome.codesWithReader = environment.codesWithReader();
        return outcome;
    }

    const ExportDriver &driver = environment.driver();
    const QStringList locations =
        request.readLogs ? driver.logLocations(request.productCode) : QStringList();
    for (const QString &location : locations) {
        // A dangling link counts as missing; what exists is read, and the readers tell which
        // of it could not be.
        if (QFileInfo::exists(location))
            outcome.foundLocations << location;
        else
            outcome.missingLocations << location;
    }
    // Checked before anything is read or written: a log overwritten by this export's CSV would
    // be read as that CSV by the next one.
    QStringList outputs;
    if (request.writeFiles) {
        outputs << UsageReportWriter::reportFilePath(request.folder, request.productCode);
        if (request.summary)
            outputs << UsageSummaryWriter::summaryFilePath(request.folder, request.productCode);
        for (const QString &path :
             {request.csvPath, request.sessionsPath, request.summaryJsonPath}) {
            if (!path.isEmpty() && path != QLatin1String("-"))
                outputs << path;
        }
    }
    const QStringList inputs =
        (request.readLogs ? QStringList{environment.configPath()} + locations : QStringList()) +
        request.otherInputs;
    if (OutputClashes(inputs, request.otherOutputs)
            .find(outputs, &outcome.path, &outcome.clashingPath)) {
        outcome.status = ExportOutcome::OutputIsInput;
        return outcome;
    }
    // Without a single log the report would be empty: an unavailable share must not replace
    // last month's report with nothing. An ingest alone that finds no log has nothing to do
    // either, and a nightly job must hear of it before the logs rotate away.
    const bool logsOnly = !request.source || !request.writeFiles;
    if (request.readLogs && logsOnly && outcome.foundLocations.isEmpty()) {
        outcome.status = ExportOutcome::NoLogs;
        return outcome;
    }

    UsageSessions sessions;
    QVector<QPair<QString, UsageSessions>> located;
    bool hasReader = false;
    bool stopped = false;
    UsageTable table;
    if (request.readLogs)
        table = driver.collectUsage(
            request.productCode, &hasReader, request.wantsSessions() ? &sessions : nullptr,
            request.source ? &located : nullptr,
            [&](int index, int count) {
                if (cancelled(cancel)) {
                    stopped = true;
                    return false;
                }
                if (progress)
                    progress(Progress{Progress::Reading, index + 1, count});
                return true;
            },
            &outcome.unreadableLocations);
    if (stopped || cancelled(cancel)) {
        outcome.status = ExportOutcome::Cancelled;
        return outcome;
    }
    for (const QString &location : qAsConst(outcome.unreadableLocations))
        outcome.foundLocations.removeAll(location);
    // Nothing could be read at all: the same as no log, and nothing replaces the last report.
    if (request.readLogs && logsOnly && outcome.foundLocations.isEmpty()) {
        outcome.status = ExportOutcome::NoLogs;
        return outcome;
    }
    if (request.source && !request.source(located, &table, &sessions)) {
        outcome.status = ExportOutcome::SourceFailed;
        return outcome;
    }
    if (!request.writeFiles) {
        outcome.status = ExportOutcome::SourceOnly;
        return outcome;
    }
    const bool ranged = !request.from.isNull() || !request.to.isNull();
    if (ranged)
        table = filterByDate(table, request.from, request.to);
    for (const UsageRecordList &list : qAsConst(table)) {
        outcome.rows += list.size();
        outcome.productTypes += list.isEmpty() ? 0 : 1;
    }
    UsageSessions inRange;
    UsageSummary summary;
    if (request.wantsSessions()) {
        inRange = ranged ? sessions.inDateRange(request.from, request.to) : sessions;
        outcome.sessions = inRange.sessionCount();
        if (request.summary || !request.summaryJsonPath.isEmpty())
            summary = UsageSummary::compute(request.productCode, inRange, request.from, request.to);
    }

    const UsageCsvWriter::Formulas formulas =
        request.csvRaw ? UsageCsvWriter::Formulas::Raw : UsageCsvWriter::Formulas::Neutralised;
    const QByteArray bom = UsageCsvWriter::byteOrderMark();
    std::vector<std::unique_ptr<TextOutput>> texts;
    if (!request.csvPath.isEmpty())
        texts.push_back(std::make_unique<TextOutput>(request.csvPath,
                                                     UsageCsvWriter::toCsv(table, formulas), bom));
    if (!request.sessionsPath.isEmpty())
        texts.push_back(std::make_unique<TextOutput>(
            request.sessionsPath, SessionCsvWriter::toCsv(inRange, formulas), bom));
    if (!request.summaryJsonPath.isEmpty())
        texts.push_back(std::make_unique<TextOutput>(request.summaryJsonPath,
                                                     SummaryJsonWriter::toJson(summary)));
    return writeOutputs(environment, request, table, summary, texts, progress, cancel, outcome);
}
