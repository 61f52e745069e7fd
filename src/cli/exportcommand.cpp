#include "exportcommand.h"

#include "archiveexport.h"
#include "exportenvironment.h"
#include "exportjob.h"
#include "fileidentity.h"
#include "publicdocuments.h"
#include "readerregistration.h"
#include "usagearchive.h"

#include <QCommandLineParser>
#include <QDate>
#include <QFileDevice>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

void writeLine(QIODevice *device, const QString &line)
{
    device->write(line.toUtf8() + '\n');
}

int exitCode(ExportOutcome::Status status)
{
    switch (status) {
    case ExportOutcome::Written:
    case ExportOutcome::SourceOnly:
        return ExportCommand::Success;
    case ExportOutcome::SourceFailed:
        return ExportCommand::WriteFailed;
    case ExportOutcome::WrittenWithUnreadableLogs:
        return ExportCommand::UnreadableLogs;
    case ExportOutcome::NoConfiguration:
        return ExportCommand::NoConfiguration;
    case ExportOutcome::NoReader:
        return ExportCommand::NoReader;
    case ExportOutcome::NoExportFolder:
    case ExportOutcome::NotAFolder:
        return ExportCommand::NoExportFolder;
    case ExportOutcome::NoLogs:
        return ExportCommand::NoLogs;
    case ExportOutcome::OutputIsInput:
        return ExportCommand::Usage;
    case ExportOutcome::WriteFailed:
    case ExportOutcome::Cancelled:
        return ExportCommand::WriteFailed;
    }
    return ExportCommand::WriteFailed;
}

// Whether everything written to the device reached the system.
bool flushed(QIODevice *device)
{
    auto *file = qobject_cast<QFileDevice *>(device);
    return !file || file->flush();
}

int usageError(QIODevice *err, const QString &message)
{
    writeLine(err, QStringLiteral("PlinthraUsageExport: %1 (see --help)").arg(message));
    return ExportCommand::Usage;
}

// A date written yyyy-MM-dd; *problem says what is wrong with any other text.
bool parseDate(const QString &option, const QString &text, QDate *date, QString *problem)
{
    *date = QDate::fromString(text, kDateFormat);
    if (date->isValid())
        return true;
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    *problem = shape.match(text).hasMatch()
                   ? QStringLiteral("%1 %2: there is no such date").arg(option, text)
                   : QStringLiteral("%1 needs a date written yyyy-MM-dd").arg(option);
    return false;
}

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
    parser.setApplicationDescription(QStringLiteral(
        "Writes the usage report of one product as a PDF, as the window's Export button does.\n"
        "\n"
        "Exit status: 0 written; 1 no reader for the product code; 2 the export folder does not\n"
        "exist or is not a folder; 3 a file could not be written (the previous files are\n"
        "untouched); 4 no log of the product was found (nothing written); 5 written, but some\n"
        "log could not be read; 6 the archive could not be used (left as it was); 7 nothing of\n"
        "the ingest went into the archive; 64 wrong usage, or an output names an input or\n"
        "another output; 66 the configuration is missing or unreadable."));
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
    const QCommandLineOption csvRawOption(
        QStringLiteral("csv-raw"),
        QStringLiteral("Write CSV fields byte for byte; by default a field beginning with =, +, "
                       "-, @, TAB or CR gets a leading ' so that spreadsheets do not run it."));
    const QCommandLineOption listOption(
        QStringLiteral("list-products"),
        QStringLiteral("List the configured products, their readers and log locations."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addOptions({configOption, publicOption, csvOption, sessionsOption, summaryJsonOption,
                       summaryOption, fromOption, toOption, csvRawOption, listOption});
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
    QString problem;
    if (parser.isSet(fromOption) &&
        !parseDate(QStringLiteral("--from"), parser.value(fromOption), &from, &problem))
        return usageError(err, problem);
    if (parser.isSet(toOption) &&
        !parseDate(QStringLiteral("--to"), parser.value(toOption), &to, &problem))
        return usageError(err, problem);
    if (!from.isNull() && !to.isNull() && from > to)
        return usageError(err, QStringLiteral("--from %1 lies after --to %2")
                                   .arg(from.toString(kDateFormat), to.toString(kDateFormat)));
    int toStandardOutput = 0;
    // What the names open counts, not their spelling: /dev/stdout and /proc/self/fd/1 are
    // standard output too.
    const FileIdentity standardOutput = FileIdentity::ofDescriptor(1);
    for (const QCommandLineOption *option : {&csvOption, &sessionsOption, &summaryJsonOption}) {
        if (!parser.isSet(*option))
            continue;
        const QString value = parser.value(*option);
        if (value.isEmpty())
            return usageError(err, QStringLiteral("--%1 needs a file name, or - for standard "
                                                  "output")
                                       .arg(option->names().constFirst()));
        if (value == QLatin1String("-") ||
            (!standardOutput.isNullDevice() && FileIdentity(value).sameFile(standardOutput)))
            ++toStandardOutput;
    }
    if (!listing && !archive.ingestOnly() && positional.value(1).isEmpty())
        return usageError(err, QStringLiteral("the export folder is empty; name a folder, . for "
                                              "the current one"));
    if (toStandardOutput > 1)
        return usageError(err, QStringLiteral("only one of --csv, --sessions and --summary-json "
                                              "can write to standard output"));

    const QString configPath = parser.isSet(configOption) ? parser.value(configOption)
                                                          : ProductConfigStore::defaultFilePath();
    const QString publicDocuments =
        parser.isSet(publicOption) ? parser.value(publicOption) : PublicDocuments::path();
    const ExportEnvironment environment(configPath, publicDocuments);

    if (listing) {
        if (!environment.hasConfiguration()) {
            ExportOutcome outcome;
            outcome.status = ExportOutcome::NoConfiguration;
            outcome.path = configPath;
            writeLine(err, outcome.sentence());
            return NoConfiguration;
        }
        out->write(listProducts(environment.store(), publicDocuments).toUtf8());
        return archive.isSet() ? archive.list(out, err) : Success;
    }

    ExportRequest request;
    request.productCode = positional.at(0);
    request.folder = positional.value(1);
    request.from = from;
    request.to = to;
    request.summary = parser.isSet(summaryOption);
    request.csvPath = parser.value(csvOption);
    request.sessionsPath = parser.value(sessionsOption);
    request.summaryJsonPath = parser.value(summaryJsonOption);
    request.csvRaw = parser.isSet(csvRawOption);
    // With an archive, the logs read go into it and what is written comes out of it: every
    // machine, all history. The archive says itself what went wrong, and how it ended.
    int archiveStatus = Success;
    if (archive.isSet()) {
        // SQLite keeps companions beside the file, removed and created as it goes.
        const QString archivePath = parser.value(QStringLiteral("archive"));
        if (!UsageArchive::isServerUrl(archivePath)) {
            for (const QString &suffix : {QString(), QStringLiteral("-journal"),
                                          QStringLiteral("-wal"), QStringLiteral("-shm")})
                request.otherOutputs << archivePath + suffix;
        }
        request.readLogs = !archive.fromArchive();
        request.writeFiles = !archive.ingestOnly();
        request.source = [&](const QVector<QPair<QString, UsageSessions>> &located,
                             UsageTable *rows, UsageSessions *sessions) {
            archiveStatus =
                archive.run(request.productCode, located, from, to, rows, sessions, err);
            return archiveStatus == Success;
        };
    }
    // A full disk or a closed pipe behind standard output is a failed write like any other.
    request.standardOutput = [out](const QByteArray &text, QString *error) {
        if (out->write(text) == text.size() && flushed(out))
            return true;
        *error = out->errorString();
        return false;
    };
    const ExportOutcome outcome = ExportJob::run(environment, request);
    if (outcome.status == ExportOutcome::SourceFailed)
        return archiveStatus;
    if (outcome.status == ExportOutcome::SourceOnly && !outcome.unreadableLocations.isEmpty()) {
        writeLine(err, QStringLiteral("Could not read %1; what could be read was archived")
                           .arg(outcome.unreadableLocations.join(QStringLiteral(", "))));
        return UnreadableLogs;
    }
    if (outcome.status != ExportOutcome::SourceOnly)
        writeLine(err, outcome.sentence());
    return exitCode(outcome.status);
}
