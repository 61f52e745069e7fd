#include "exportjob.h"

#include "concurrencycsvwriter.h"
#include "exportenvironment.h"
#include "licencefile.h"
#include "outputclashes.h"
#include "readcancel.h"
#include "sessioncsvwriter.h"
#include "stagedfile.h"
#include "stagedpdf.h"
#include "summaryjsonwriter.h"
#include "tablerelease.h"
#include "textoutput.h"
#include "usagecsvwriter.h"
#include "usagereportwriter.h"
#include "usagesummary.h"
#include "usagesummarywriter.h"

#include <QDir>
#include <QFileInfo>

#include <functional>
#include <memory>
#include <utility>

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

} // namespace

struct ExportJob::PendingFile
{
    QString path;
    std::function<bool()> prepare;
    std::function<bool()> commit;
    std::function<FileFailure()> failure;
};

QString ExportJob::Progress::text() const
{
    switch (stage) {
    case Reading:
        return QStringLiteral("Reading log %1 of %2").arg(current).arg(total);
    case LayingOut:
        return QStringLiteral("Laying out the report");
    case Printing:
        break;
    case PrintingSummary:
        return QStringLiteral("Printing the summary");
    }
    return (estimated ? QStringLiteral("Printing page %1 of about %2")
                      : QStringLiteral("Printing page %1 of %2"))
        .arg(current)
        .arg(total);
}

ExportJob::ExportJob(const ExportEnvironment &environment, const ExportRequest &request,
                     const ProgressHandler &progress, const std::atomic_bool *cancel)
    : m_environment(environment), m_request(request), m_progress(progress), m_cancel(cancel)
{
    m_outcome.productCode = request.productCode;
}

ExportJob::~ExportJob()
{
    // The sessions share the rows' names: let go of them first, so that the names are freed
    // with the table, in the order the table frees them.
    m_inRange = UsageSessions();
    m_located.clear();
    m_sessions = UsageSessions();
    m_summary = UsageSummary();
    TableRelease::release(m_table);
}

ExportOutcome ExportJob::run(const ExportEnvironment &environment, const ExportRequest &request,
                             const ProgressHandler &progress, const std::atomic_bool *cancel)
{
    ExportJob job(environment, request, progress, cancel);
    if (!job.checkRequest())
        return job.m_outcome;
    job.findLocations();
    if (!job.checkOutputs() || !job.readLogs() || !job.takeSource())
        return job.m_outcome;
    job.derive();
    job.makeTexts();
    job.writeOutputs();
    return job.m_outcome;
}

bool ExportJob::cancelled() const
{
    return m_cancel && m_cancel->load();
}

bool ExportJob::ends(ExportOutcome::Status status)
{
    m_outcome.status = status;
    return false;
}

bool ExportJob::failedWrite(const QString &path, const FileFailure &failure)
{
    m_outcome.failedPath = path;
    m_outcome.failure = failure.failed() ? failure : FileFailure::diagnose(path);
    return ends(failure.kind() == FileFailure::Cancelled ? ExportOutcome::Cancelled
                                                         : ExportOutcome::WriteFailed);
}

bool ExportJob::checkRequest()
{
    if (m_request.readLogs && !m_environment.hasConfiguration()) {
        m_outcome.path = m_environment.configPath();
        return ends(ExportOutcome::NoConfiguration);
    }
    // Nothing is written without writeFiles, so no folder is asked for then.
    const QFileInfo folder(m_request.folder);
    if (m_request.writeFiles && (m_request.folder.isEmpty() || !folder.exists())) {
        m_outcome.path = m_request.folder;
        return ends(ExportOutcome::NoExportFolder);
    }
    if (m_request.writeFiles && !folder.isDir()) {
        m_outcome.path = m_request.folder;
        return ends(ExportOutcome::NotAFolder);
    }
    if (m_request.readLogs && !m_environment.hasReader(m_request.productCode)) {
        m_outcome.codesWithReader = m_environment.codesWithReader();
        return ends(ExportOutcome::NoReader);
    }
    return true;
}

void ExportJob::findLocations()
{
    if (!m_request.readLogs)
        return;
    m_locations = m_environment.driver().logLocations(m_request.productCode);
    m_outcome.missingConfigs = m_environment.store().missingConfigs(m_request.productCode);
    for (const QString &location : qAsConst(m_locations)) {
        // A dangling link counts as missing; what exists is read, and the readers tell which
        // of it could not be.
        if (QFileInfo::exists(location))
            m_outcome.foundLocations << location;
        else
            m_outcome.missingLocations << location;
    }
}

// Checked before anything is read or written: a log overwritten by this export's CSV would be
// read as that CSV by the next one.
bool ExportJob::checkOutputs()
{
    QStringList outputs;
    if (m_request.writeFiles) {
        if (m_request.report)
            outputs << UsageReportWriter::reportFilePath(m_request.folder, m_request.productCode);
        if (m_request.summary)
            outputs << UsageSummaryWriter::summaryFilePath(m_request.folder, m_request.productCode);
        for (const QString &path : {m_request.csvPath, m_request.sessionsPath,
                                    m_request.summaryJsonPath, m_request.concurrencyPath}) {
            if (!path.isEmpty() && path != QLatin1String("-"))
                outputs << path;
        }
    }
    QStringList inputs = (m_request.readLogs ? QStringList{m_environment.configPath()} + m_locations
                                             : QStringList()) +
                         m_request.otherInputs;
    // The licence file is read too: no output may replace it.
    inputs << (m_request.licencesPath.isEmpty()
                   ? LicenceFile::defaultPath(m_environment.configPath())
                   : m_request.licencesPath);
    if (OutputClashes(inputs, m_request.otherOutputs)
            .find(outputs, &m_outcome.path, &m_outcome.clashingPath))
        return ends(ExportOutcome::OutputIsInput);
    return true;
}

bool ExportJob::readLogs()
{
    if (!m_request.readLogs)
        return true;
    // Without a single log the report would be empty: an unavailable share must not replace
    // last month's report with nothing. An ingest alone that finds no log has nothing to do
    // either, and a nightly job must hear of it before the logs rotate away.
    const bool logsOnly = !m_request.source || !m_request.writeFiles;
    if (logsOnly && m_outcome.foundLocations.isEmpty())
        return ends(ExportOutcome::NoLogs);
    bool stopped = false;
    const ReadCancel::Scope scope(m_cancel);
    m_table = m_environment.driver().collectUsage(
        m_request.productCode, nullptr, m_request.wantsSessions() ? &m_sessions : nullptr,
        m_request.source ? &m_located : nullptr,
        [&](int index, int count) {
            stopped = stopped || cancelled();
            if (!stopped && m_progress)
                m_progress(Progress{Progress::Reading, index + 1, count});
            return !stopped;
        },
        &m_outcome.unreadableLocations, &m_outcome.warnings);
    if (stopped || cancelled())
        return ends(ExportOutcome::Cancelled);
    for (const QString &location : qAsConst(m_outcome.unreadableLocations))
        m_outcome.foundLocations.removeAll(location);
    // Nothing could be read at all: the same as no log, and nothing replaces the last report.
    if (logsOnly && m_outcome.foundLocations.isEmpty())
        return ends(ExportOutcome::NoLogs);
    return true;
}

bool ExportJob::takeSource()
{
    if (m_request.source && !m_request.source(m_located, &m_table, &m_sessions))
        return ends(ExportOutcome::SourceFailed);
    if (!m_request.writeFiles)
        return ends(ExportOutcome::SourceOnly);
    return true;
}

void ExportJob::derive()
{
    const bool ranged = !m_request.from.isNull() || !m_request.to.isNull();
    if (ranged) {
        UsageTable inRange = filterByDate(m_table, m_request.from, m_request.to);
        TableRelease::release(m_table);
        m_table = std::move(inRange);
    }
    for (const UsageRecordList &list : qAsConst(m_table)) {
        m_outcome.rows += list.size();
        m_outcome.productTypes += list.isEmpty() ? 0 : 1;
    }
    if (!m_request.wantsSessions())
        return;
    m_inRange = ranged ? m_sessions.inDateRange(m_request.from, m_request.to) : m_sessions;
    m_outcome.sessions = m_inRange.sessionCount();
    if (!m_request.summary && m_request.summaryJsonPath.isEmpty())
        return;
    const LicenceFile licences = LicenceFile::load(
        m_request.licencesPath.isEmpty() ? LicenceFile::defaultPath(m_environment.configPath())
                                         : m_request.licencesPath);
    m_outcome.warnings += licences.problems(m_request.productCode);
    m_summary =
        UsageSummary::compute(m_request.productCode, m_inRange, m_request.from, m_request.to,
                              m_request.idleDays, licences.owned(m_request.productCode));
    m_summary.warnings = m_outcome.warnings;
}

void ExportJob::makeTexts()
{
    const UsageCsvWriter::Formulas formulas =
        m_request.csvRaw ? UsageCsvWriter::Formulas::Raw : UsageCsvWriter::Formulas::Neutralised;
    const QByteArray bom = UsageCsvWriter::byteOrderMark();
    if (!m_request.csvPath.isEmpty())
        m_texts.push_back(std::make_unique<TextOutput>(
            m_request.csvPath, UsageCsvWriter::toCsv(m_table, formulas), bom));
    if (!m_request.sessionsPath.isEmpty())
        m_texts.push_back(std::make_unique<TextOutput>(
            m_request.sessionsPath, SessionCsvWriter::toCsv(m_inRange, formulas), bom));
    if (!m_request.summaryJsonPath.isEmpty())
        m_texts.push_back(std::make_unique<TextOutput>(m_request.summaryJsonPath,
                                                       SummaryJsonWriter::toJson(m_summary)));
    if (!m_request.concurrencyPath.isEmpty())
        m_texts.push_back(std::make_unique<TextOutput>(
            m_request.concurrencyPath, ConcurrencyCsvWriter::toCsv(m_inRange, formulas), bom));
}

// Opens every output, prints the PDFs into their staged files, and puts everything in place.
void ExportJob::writeOutputs()
{
    for (const auto &text : m_texts) {
        if (!text->open()) {
            failedWrite(text->path(), text->failure());
            return;
        }
    }
    StagedPdf report(UsageReportWriter::reportFilePath(m_request.folder, m_request.productCode));
    StagedPdf summary(UsageSummaryWriter::summaryFilePath(m_request.folder, m_request.productCode));
    QVector<PendingFile> pending;
    if (m_request.report && !printReport(report, &pending))
        return;
    if (m_request.summary && !printSummary(summary, &pending))
        return;
    // What a killed export of the summary left is not kept until the summary is asked for.
    if (!m_request.summary)
        StagedFile::removeLeftovers(summary.target());
    QStringList written;
    for (const PendingFile &file : qAsConst(pending))
        written << file.path;
    for (const auto &text : m_texts) {
        if (!m_request.report && !m_request.summary)
            written << (text->toStandardOutput() ? QStringLiteral("standard output")
                                                 : text->path());
        if (text->toStandardOutput() || text->isDirect())
            continue;
        TextOutput *output = text.get();
        pending.append({output->path(), [output] { return output->prepare(); },
                        [output] { return output->commit(); },
                        [output] { return output->failure(); }});
    }
    for (const QString &notice : {report.notice(), summary.notice()}) {
        if (!notice.isEmpty())
            m_outcome.notices << notice;
    }
    for (const auto &text : m_texts) {
        if (!text->notice().isEmpty())
            m_outcome.notices << text->notice();
    }
    finishOutputs(pending);
    if (m_outcome.status == ExportOutcome::WriteFailed ||
        m_outcome.status == ExportOutcome::Cancelled)
        return;
    // The report, then the summary; the text files only when neither PDF was asked for.
    m_outcome.writtenPaths = written;
    m_outcome.status = m_outcome.unreadableLocations.isEmpty()
                           ? ExportOutcome::Written
                           : ExportOutcome::WrittenWithUnreadableLogs;
}

bool ExportJob::printReport(StagedPdf &staged, QVector<PendingFile> *pending)
{
    if (m_progress)
        m_progress(Progress{Progress::LayingOut, 0, 0});
    const UsageReportWriter writer(m_environment.store().reportHeader());
    const bool printed =
        staged.open() && writer.print(staged, m_table, [&](int page, int pageCount, bool exact) {
            if (cancelled())
                return false;
            if (m_progress)
                m_progress(Progress{Progress::Printing, page, pageCount, !exact});
            return true;
        });
    if (!printed)
        return failedWrite(staged.target(), staged.failure());
    pending->append({staged.target(), [&staged] { return staged.prepare(); },
                     [&staged] { return staged.commit(); },
                     [&staged] { return staged.failure(); }});
    return true;
}

bool ExportJob::printSummary(StagedPdf &staged, QVector<PendingFile> *pending)
{
    if (cancelled())
        return failedWrite(staged.target(), FileFailure(FileFailure::Cancelled));
    if (m_progress)
        m_progress(Progress{Progress::PrintingSummary, 0, 0});
    const UsageSummaryWriter writer(m_environment.store().reportHeader());
    if (!staged.open() || !writer.print(m_summary, staged.device()))
        return failedWrite(staged.target(), staged.failure());
    pending->append({staged.target(), [&staged] { return staged.prepare(); },
                     [&staged] { return staged.commit(); },
                     [&staged] { return staged.failure(); }});
    return true;
}

// The streams get their text first, then every staged file is made durable, and only then is
// any file replaced, so that a failure before the renames leaves every previous file as it
// was. A rename that still fails (rare: the folder changed under us) leaves the outcome saying
// which files are new and which were left as they were.
void ExportJob::finishOutputs(const QVector<PendingFile> &pending)
{
    for (const auto &text : m_texts) {
        if (!text->stream()) {
            failedWrite(text->path(), text->failure());
            return;
        }
        if (!text->toStandardOutput())
            continue;
        QString error;
        if (!m_request.standardOutput) {
            m_outcome.standardOutput = text->content();
        } else if (!m_request.standardOutput(text->content(), &error)) {
            failedWrite(QStringLiteral("standard output"), FileFailure(FileFailure::Other, error));
            return;
        }
    }
    for (const PendingFile &file : pending) {
        if (!file.prepare()) {
            failedWrite(file.path, file.failure());
            return;
        }
    }
    if (cancelled()) {
        failedWrite(pending.value(0).path, FileFailure(FileFailure::Cancelled));
        return;
    }
    for (int i = 0; i < pending.size(); ++i) {
        if (!pending.at(i).commit()) {
            for (int j = i + 1; j < pending.size(); ++j)
                m_outcome.unchangedPaths << pending.at(j).path;
            failedWrite(pending.at(i).path, pending.at(i).failure());
            return;
        }
        m_outcome.writtenPaths << pending.at(i).path;
    }
}
