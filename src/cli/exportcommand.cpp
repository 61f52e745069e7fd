#include "exportcommand.h"

#include "archiveexport.h"
#include "exportdriver.h"
#include "productconfigstore.h"
#include "publicdocuments.h"
#include "readerregistration.h"
#include "readerregistry.h"
#include "sessioncsvwriter.h"
#include "stagedpdf.h"
#include "summaryjsonwriter.h"
#include "usagecsvwriter.h"
#include "usagereportwriter.h"
#include "usagesummary.h"
#include "usagesummarywriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <memory>
#include <vector>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

void writeLine(QIODevice *device, const QString &line)
{
    device->write(line.toUtf8() + '\n');
}

int usageError(QIODevice *err, const QString &message)
{
    writeLine(err, QStringLiteral("PlinthraUsageExport: %1 (see --help)").arg(message));
    return ExportCommand::Usage;
}

bool parseDate(const QString &text, QDate *date)
{
    *date = QDate::fromString(text, kDateFormat);
    return date->isValid();
}

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

QString writeFailureReason(const QString &path)
{
    const QFileInfo target(path);
    if (target.isDir())
        return QStringLiteral("a folder of that name is in the way");
    const QFileInfo folder(target.absolutePath());
    if (!folder.isWritable())
        return QStringLiteral("the folder is not writable");
    if (target.exists() && !target.isWritable())
        return QStringLiteral("the existing file is read-only");
    return QStringLiteral("the file could not be replaced (in use by another program, or the "
                          "disk is full)");
}

// One text output: staged in a file beside its target until everything else is written, or
// held for standard output.
struct TextOutput
{
    TextOutput(const QString &path, const QByteArray &data, bool withByteOrderMark)
        : path(path), data(data), file(path), withByteOrderMark(withByteOrderMark)
    {
    }

    bool toStandardOutput() const { return path == QLatin1String("-"); }

    bool stage(QString *reason)
    {
        if (toStandardOutput())
            return true;
        const QByteArray bom = withByteOrderMark ? UsageCsvWriter::byteOrderMark() : QByteArray();
        if (file.open(QIODevice::WriteOnly) && file.write(bom) == bom.size() &&
            file.write(data) == data.size())
            return true;
        *reason = QFileInfo(path).isDir() ? QStringLiteral("a folder of that name is in the way")
                                          : file.errorString();
        return false;
    }

    bool commit(QString *reason)
    {
        if (toStandardOutput() || file.commit())
            return true;
        *reason = file.errorString();
        return false;
    }

    QString path;
    QByteArray data;
    QSaveFile file;
    bool withByteOrderMark;
};

QString listProducts(const ProductConfigStore &store, const QString &publicDocuments)
{
    QString text;
    const QStringList products = store.products();
    for (const QString &code : products) {
        text += QStringLiteral("%1\t%2\n").arg(code, readerKind(code));
        const QStringList names = store.configNames(code);
        for (const QString &name : names) {
            const auto config = store.config(name);
            if (!config)
                continue;
            const QString location =
                publicDocuments + QLatin1Char('/') + ExportDriver::logLocation(*config);
            text += QStringLiteral("  %1\t%2\n")
                        .arg(location, QFileInfo::exists(location) ? QStringLiteral("found")
                                                                   : QStringLiteral("missing"));
        }
    }
    return text;
}

} // namespace

int ExportCommand::run(const QStringList &arguments, QIODevice *out, QIODevice *err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes the usage report of one product as a PDF, as the window's Export "
                       "button does."));
    const QCommandLineOption configOption(
        QStringLiteral("config"),
        QStringLiteral("Product configuration (default: ProductConfig.ini beside the program)."),
        QStringLiteral("FILE"));
    const QCommandLineOption publicOption(
        QStringLiteral("public-documents"),
        QStringLiteral("Folder below which the log locations lie (default: the public documents "
                       "folder)."),
        QStringLiteral("DIR"));
    const QCommandLineOption csvOption(
        QStringLiteral("csv"),
        QStringLiteral("Also write the rows as CSV to FILE (- for standard output)."),
        QStringLiteral("FILE"));
    const QCommandLineOption fromOption(
        QStringLiteral("from"), QStringLiteral("Keep rows dated on or after DATE (yyyy-MM-dd)."),
        QStringLiteral("DATE"));
    const QCommandLineOption toOption(
        QStringLiteral("to"), QStringLiteral("Keep rows dated on or before DATE (yyyy-MM-dd)."),
        QStringLiteral("DATE"));
    const QCommandLineOption sessionsOption(
        QStringLiteral("sessions"),
        QStringLiteral("Also write the sessions (paired In and Out rows) as CSV to FILE (- for "
                       "standard output)."),
        QStringLiteral("FILE"));
    const QCommandLineOption summaryJsonOption(
        QStringLiteral("summary-json"),
        QStringLiteral("Also write the usage figures (hours, peak concurrent use, users) as JSON "
                       "to FILE (- for standard output)."),
        QStringLiteral("FILE"));
    const QCommandLineOption summaryOption(
        QStringLiteral("summary"),
        QStringLiteral("Also write <folder>/<code>_UsageSummary.pdf: the figures, a chart of "
                       "concurrent use and the users by hours."));
    const QCommandLineOption listOption(
        QStringLiteral("list-products"),
        QStringLiteral("List the configured products, their readers and log locations."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addOptions({configOption, publicOption, csvOption, sessionsOption, summaryJsonOption,
                       summaryOption, fromOption, toOption, listOption});
    const ArchiveExport archive(parser);
    parser.addPositionalArgument(QStringLiteral("PRODUCT_CODE"),
                                 QStringLiteral("Product code, as listed in the configuration."));
    parser.addPositionalArgument(QStringLiteral("EXPORT_FOLDER"),
                                 QStringLiteral("Existing folder that receives the report."));

    if (!parser.parse(arguments))
        return usageError(err, parser.errorText());
    if (parser.isSet(helpOption)) {
        out->write(parser.helpText().toUtf8());
        return Success;
    }
    if (parser.isSet(versionOption)) {
        writeLine(out,
                  QStringLiteral("PlinthraUsageExport %1").arg(QStringLiteral(PLINTHRA_VERSION)));
        return Success;
    }

    const QStringList positional = parser.positionalArguments();
    const bool listing = parser.isSet(listOption);
    if (listing && !positional.isEmpty())
        return usageError(err, QStringLiteral("--list-products takes no product code or folder"));
    if (!listing && positional.size() != archive.positionalCount())
        return usageError(err, archive.ingestOnly()
                                   ? QStringLiteral("--ingest-only expects PRODUCT_CODE alone")
                                   : QStringLiteral("expected PRODUCT_CODE and EXPORT_FOLDER"));
    if (!archive.usageError().isEmpty())
        return usageError(err, archive.usageError());

    QDate from;
    QDate to;
    if (parser.isSet(fromOption) && !parseDate(parser.value(fromOption), &from))
        return usageError(err, QStringLiteral("--from needs a date written yyyy-MM-dd"));
    if (parser.isSet(toOption) && !parseDate(parser.value(toOption), &to))
        return usageError(err, QStringLiteral("--to needs a date written yyyy-MM-dd"));
    int toStandardOutput = 0;
    for (const QCommandLineOption *option : {&csvOption, &sessionsOption, &summaryJsonOption}) {
        if (!parser.isSet(*option))
            continue;
        const QString value = parser.value(*option);
        if (value.isEmpty())
            return usageError(err, QStringLiteral("--%1 needs a file name, or - for standard "
                                                  "output")
                                       .arg(option->names().constFirst()));
        if (value == QLatin1String("-"))
            ++toStandardOutput;
    }
    if (toStandardOutput > 1)
        return usageError(err, QStringLiteral("only one of --csv, --sessions and --summary-json "
                                              "can write to standard output"));

    const QString configPath = parser.isSet(configOption) ? parser.value(configOption)
                                                          : ProductConfigStore::defaultFilePath();
    const QString publicDocuments =
        parser.isSet(publicOption) ? parser.value(publicOption) : PublicDocuments::path();
    const ProductConfigStore store(configPath);
    ReaderRegistry registry;
    registerReaders(store.products(), registry);
    const ExportDriver driver(store, registry, publicDocuments);

    if (listing) {
        out->write(listProducts(store, publicDocuments).toUtf8());
        return archive.isSet() ? archive.list(out, err) : Success;
    }

    const QString productCode = positional.at(0);
    const QString folder = positional.value(1);
    if (!archive.ingestOnly() && !driver.canExport(productCode, folder)) {
        writeLine(err, QStringLiteral("Export folder does not exist: %1").arg(folder));
        return NoExportFolder;
    }

    const bool wantsSessions = parser.isSet(sessionsOption) || parser.isSet(summaryJsonOption) ||
                               parser.isSet(summaryOption);
    bool hasReader = false;
    UsageSessions sessions;
    QVector<QPair<QString, UsageSessions>> located;
    UsageTable table =
        archive.fromArchive()
            ? UsageTable()
            : driver.collectUsage(productCode, &hasReader, wantsSessions ? &sessions : nullptr,
                                  archive.isSet() ? &located : nullptr);
    if (!hasReader && !archive.fromArchive()) {
        QStringList withReader;
        for (const QString &code : store.products()) {
            if (registry.readerFor(code))
                withReader << code;
        }
        writeLine(err, QStringLiteral("No reader is registered for product code \"%1\"; codes "
                                      "with a reader: %2")
                           .arg(productCode, withReader.isEmpty() ? QStringLiteral("none")
                                                                  : withReader.join(", ")));
        return NoReader;
    }
    if (archive.isSet()) {
        const int status = archive.run(productCode, located, from, to, &table, &sessions, err);
        if (status != Success || archive.ingestOnly())
            return status;
    }
    if (!from.isNull() || !to.isNull())
        table = filterByDate(table, from, to);

    UsageSessions ranged;
    if (wantsSessions)
        ranged = sessions.inDateRange(from, to);
    UsageSummary summary;
    if (parser.isSet(summaryJsonOption) || parser.isSet(summaryOption))
        summary = UsageSummary::compute(productCode, ranged, from, to);

    // Text files are staged first and put in place only after the PDFs are written, so a
    // failure anywhere leaves every previous file as it was.
    std::vector<std::unique_ptr<TextOutput>> outputs;
    if (parser.isSet(csvOption))
        outputs.push_back(std::make_unique<TextOutput>(parser.value(csvOption),
                                                       UsageCsvWriter::toCsv(table), true));
    if (parser.isSet(sessionsOption))
        outputs.push_back(std::make_unique<TextOutput>(parser.value(sessionsOption),
                                                       SessionCsvWriter::toCsv(ranged), true));
    if (parser.isSet(summaryJsonOption))
        outputs.push_back(std::make_unique<TextOutput>(parser.value(summaryJsonOption),
                                                       SummaryJsonWriter::toJson(summary), false));
    for (const auto &output : outputs) {
        QString reason;
        if (!output->stage(&reason)) {
            writeLine(err, QStringLiteral("Could not write %1: %2").arg(output->path, reason));
            return WriteFailed;
        }
    }

    const QString summaryPath = UsageSummaryWriter::summaryFilePath(folder, productCode);
    StagedPdf stagedSummary(summaryPath);
    if (parser.isSet(summaryOption)) {
        const UsageSummaryWriter writer(store.reportHeader());
        if (!stagedSummary.open() || !writer.print(summary, stagedSummary.temporaryPath())) {
            writeLine(err, QStringLiteral("Could not write %1: %2")
                               .arg(summaryPath, writeFailureReason(summaryPath)));
            return WriteFailed;
        }
    }

    const QString reportPath = UsageReportWriter::reportFilePath(folder, productCode);
    if (!driver.writeReport(folder, productCode, table)) {
        writeLine(err, QStringLiteral("Could not write %1: %2")
                           .arg(reportPath, writeFailureReason(reportPath)));
        return WriteFailed;
    }
    if (parser.isSet(summaryOption) && !stagedSummary.commit()) {
        writeLine(err, QStringLiteral("Wrote %1, but could not write %2: %3")
                           .arg(reportPath, summaryPath, writeFailureReason(summaryPath)));
        return WriteFailed;
    }
    for (const auto &output : outputs) {
        QString reason;
        if (!output->commit(&reason)) {
            writeLine(err, QStringLiteral("Wrote %1, but could not write %2: %3")
                               .arg(reportPath, output->path, reason));
            return WriteFailed;
        }
    }
    for (const auto &output : outputs) {
        if (output->toStandardOutput())
            out->write(output->data);
    }

    int rows = 0;
    int types = 0;
    for (const UsageRecordList &list : qAsConst(table)) {
        rows += list.size();
        types += list.isEmpty() ? 0 : 1;
    }
    QString written = reportPath;
    if (parser.isSet(summaryOption))
        written += QStringLiteral(" and ") + summaryPath;
    QString counts = QStringLiteral("%1 rows, %2 product types").arg(rows).arg(types);
    if (wantsSessions)
        counts += QStringLiteral(", %1 sessions").arg(ranged.sessionCount());
    writeLine(err, QStringLiteral("Wrote %1 (%2)").arg(written, counts));
    return Success;
}
