#include "exportjob.h"

#include "exportenvironment.h"
#include "fileidentity.h"
#include "sessioncsvwriter.h"
#include "stagedfile.h"
#include "stagedpdf.h"
#include "summaryjsonwriter.h"
#include "usagecsvwriter.h"
#include "usagereportwriter.h"
#include "usagesummary.h"
#include "usagesummarywriter.h"

#include <QDir>
#include <QFileInfo>

#include <memory>
#include <vector>

namespace {

// One text output: staged beside its target (see StagedFile) until everything else is
// written, or held for standard output.
class TextOutput
{
public:
    TextOutput(const QString &path, const QByteArray &data, bool withByteOrderMark)
        : m_path(path), m_data(data), m_file(path), m_withByteOrderMark(withByteOrderMark)
    {
    }

    QString path() const { return m_path; }
    QByteArray data() const { return m_data; }
    bool toStandardOutput() const { return m_path == QLatin1String("-"); }

    bool stage(FileFailure *failure)
    {
        if (toStandardOutput())
            return true;
        const QByteArray bom = m_withByteOrderMark ? UsageCsvWriter::byteOrderMark() : QByteArray();
        if (m_file.open() && m_file.write(bom) && m_file.write(m_data))
            return true;
        *failure = m_file.failure();
        m_file.discard();
        return false;
    }

    bool commit(FileFailure *failure)
    {
        if (toStandardOutput() || m_file.commit())
            return true;
        *failure = m_file.failure();
        return false;
    }

private:
    QString m_path;
    QByteArray m_data;
    StagedFile m_file;
    bool m_withByteOrderMark;
};

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

// Every file the export would read: the configuration and the logs, a folder's files among them.
QStringList inputFiles(const QString &configPath, const QStringList &locations)
{
    QStringList files{configPath};
    for (const QString &location : locations) {
        const QFileInfo info(location);
        if (!info.isDir()) {
            files << location;
            continue;
        }
        const QFileInfoList entries =
            QDir(location).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QFileInfo &entry : entries)
            files << entry.filePath();
    }
    return files;
}

// The first output that names the same file as an input or as an earlier output, and that
// other path; false when every output is a file of its own. FIFOs and devices may be shared
// by outputs (two outputs into /dev/null), never with an input.
bool findClash(const QStringList &outputs, const QStringList &inputs, QString *output,
               QString *other)
{
    QVector<FileIdentity> inputIdentities;
    for (const QString &input : inputs)
        inputIdentities << FileIdentity(input);
    QVector<FileIdentity> earlier;
    for (const QString &path : outputs) {
        const FileIdentity identity(path);
        for (int i = 0; i < inputs.size(); ++i) {
            if (identity.sameFile(inputIdentities.at(i))) {
                *output = path;
                *other = inputs.at(i);
                return true;
            }
        }
        for (int i = 0; i < earlier.size(); ++i) {
            if (identity.sameFile(earlier.at(i)) &&
                !(identity.isStream() && earlier.at(i).isStream())) {
                *output = path;
                *other = outputs.at(i);
                return true;
            }
        }
        earlier << identity;
    }
    return false;
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
    outcome.failure = failure;
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
    const QFileInfo folder(request.folder.isEmpty() ? QDir::currentPath() : request.folder);
    if (!request.writeFiles) {
        // Nothing is written, so no folder is asked for.
    } else if (!folder.exists()) {
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
    if (request.writeFiles) {
        QStringList outputs{UsageReportWriter::reportFilePath(request.folder, request.productCode)};
        if (request.summary)
            outputs << UsageSummaryWriter::summaryFilePath(request.folder, request.productCode);
        for (const QString &path :
             {request.csvPath, request.sessionsPath, request.summaryJsonPath}) {
            if (!path.isEmpty() && path != QLatin1String("-"))
                outputs << path;
        }
        const QStringList inputs =
            (request.readLogs ? inputFiles(environment.configPath(), locations) : QStringList()) +
            request.otherInputs;
        if (findClash(outputs, inputs, &outcome.path, &outcome.clashingPath)) {
            outcome.status = ExportOutcome::OutputIsInput;
            return outcome;
        }
    }
    // Without a single log the report would be empty: an unavailable share must not replace
    // last month's report with nothing.
    if (request.readLogs && !request.source && outcome.foundLocations.isEmpty()) {
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
    if (request.readLogs && !request.source && outcome.foundLocations.isEmpty()) {
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
    std::vector<std::unique_ptr<TextOutput>> outputs;
    if (!request.csvPath.isEmpty())
        outputs.push_back(std::make_unique<TextOutput>(
            request.csvPath, UsageCsvWriter::toCsv(table, formulas), true));
    if (!request.sessionsPath.isEmpty())
        outputs.push_back(std::make_unique<TextOutput>(
            request.sessionsPath, SessionCsvWriter::toCsv(inRange, formulas), true));
    if (!request.summaryJsonPath.isEmpty())
        outputs.push_back(std::make_unique<TextOutput>(request.summaryJsonPath,
                                                       SummaryJsonWriter::toJson(summary), false));
    for (const auto &output : outputs) {
        FileFailure failure;
        if (!output->stage(&failure))
            return failedWrite(outcome, output->path(), failure);
    }

    const QString reportPath =
        UsageReportWriter::reportFilePath(request.folder, request.productCode);
    const QString summaryPath =
        UsageSummaryWriter::summaryFilePath(request.folder, request.productCode);
    StagedPdf stagedSummary(summaryPath);
    if (request.summary) {
        const UsageSummaryWriter writer(environment.store().reportHeader());
        if (!stagedSummary.open())
            return failedWrite(outcome, summaryPath, stagedSummary.failure());
        if (!writer.print(summary, stagedSummary.temporaryPath()))
            return failedWrite(outcome, summaryPath, FileFailure::diagnose(summaryPath));
    }

    FileFailure reportFailure;
    const UsageReportWriter writer(environment.store().reportHeader());
    const bool written = writer.writeReport(
        request.folder, request.productCode, table,
        [&](int page, int pageCount) {
            if (cancelled(cancel))
                return false;
            if (progress)
                progress(Progress{Progress::Printing, page, pageCount});
            return true;
        },
        &reportFailure);
    if (!written)
        return failedWrite(outcome, reportPath, reportFailure);
    outcome.writtenPaths << reportPath;

    if (request.summary) {
        if (!stagedSummary.commit())
            return failedWrite(outcome, summaryPath, stagedSummary.failure());
        outcome.writtenPaths << summaryPath;
    }
    for (const auto &output : outputs) {
        FileFailure failure;
        if (!output->commit(&failure))
            return failedWrite(outcome, output->path(), failure);
        if (output->toStandardOutput())
            outcome.standardOutput = output->data();
    }
    outcome.status = outcome.unreadableLocations.isEmpty()
                         ? ExportOutcome::Written
                         : ExportOutcome::WrittenWithUnreadableLogs;
    return outcome;
}
