#include "exportcommand.h"

#include "archiveexport.h"
#include "exportenvironment.h"
#include "exportjob.h"
#include "exportoptions.h"
#include "fileidentity.h"
#include "publicdocuments.h"
#include "readerregistration.h"
#include "usagearchive.h"

#include <QFileDevice>
#include <QFileInfo>

namespace {

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

// What stands at a log location, for the listing: "found" only when it is what the reader
// reads, a folder for a folder reader and a file for the others.
QString locationState(const QString &location, bool readsFolder)
{
    const QFileInfo info(location);
    if (!info.exists())
        return QStringLiteral("missing");
    if (readsFolder != info.isDir())
        return readsFolder ? QStringLiteral("not a folder")
                           : QStringLiteral("a folder, not a file");
    return QStringLiteral("found");
}

QString listProducts(const ExportEnvironment &environment)
{
    const ProductConfigStore &store = environment.store();
    QString text;
    const QStringList products = store.products();
    for (const QString &code : products) {
        const QString kind = readerKind(code);
        text += QStringLiteral("%1\t%2\n").arg(code, kind);
        const QStringList names = store.configNames(code);
        for (const QString &name : names) {
            const auto config = store.config(name);
            if (!config || (!name.isEmpty() && !store.hasGroup(name))) {
                if (!name.isEmpty())
                    text +=
                        QStringLiteral("  [%1]\tno such group in the configuration\n").arg(name);
                continue;
            }
            const QString location = environment.publicDocuments() + QLatin1Char('/') +
                                     ExportDriver::logLocation(*config);
            text += QStringLiteral("  %1\t%2\n")
                        .arg(location, locationState(location, kind == QLatin1String("directory")));
        }
    }
    return text;
}

} // namespace

int ExportCommand::run(const QStringList &arguments, QIODevice *out, QIODevice *err)
{
    ExportOptions options;
    int status = Success;
    if (!options.parse(arguments, out, err, &status))
        return status;
    const ExportEnvironment environment(options.configPath(), options.publicDocuments());
    if (!environment.hasConfiguration() && (options.listing() || !options.archive().fromArchive()))
        return noConfiguration(environment, err);
    if (options.listing()) {
        out->write(listProducts(environment).toUtf8());
        return options.archive().isSet() ? options.archive().list(out, err) : Success;
    }
    const QString misplaced = misplacedArgument(environment, options.request());
    if (!misplaced.isEmpty())
        return ExportOptions::usageError(err, misplaced);
    return exportProduct(environment, options, out, err);
}

int ExportCommand::noConfiguration(const ExportEnvironment &environment, QIODevice *err)
{
    ExportOutcome outcome;
    outcome.status = ExportOutcome::NoConfiguration;
    outcome.path = environment.configPath();
    writeLine(err, outcome.sentence() + QStringLiteral("; name another with --config FILE"));
    return NoConfiguration;
}

QString ExportCommand::misplacedArgument(const ExportEnvironment &environment,
                                         const ExportRequest &request)
{
    const QStringList products = environment.store().products();
    const QString &code = request.productCode;
    if (products.contains(code))
        return QString();
    if (!request.folder.isEmpty() && products.contains(request.folder))
        return QStringLiteral("\"%1\" is a product code and \"%2\" is not: PRODUCT_CODE comes "
                              "first, then EXPORT_FOLDER")
            .arg(request.folder, code);
    if (code.contains(QLatin1Char('/')) || code.contains(QLatin1Char('\\')) ||
        QFileInfo(code).isDir())
        return QStringLiteral("\"%1\" looks like a folder, not a product code: PRODUCT_CODE "
                              "comes first, then EXPORT_FOLDER")
            .arg(code);
    return QString();
}

int ExportCommand::exportProduct(const ExportEnvironment &environment, const ExportOptions &options,
                                 QIODevice *out, QIODevice *err)
{
    ExportRequest request = options.request();
    // With an archive, the logs read go into it and what is written comes out of it: every
    // machine, all history. The archive says itself what went wrong, and how it ended.
    int archiveStatus = Success;
    const ArchiveExport &archive = options.archive();
    if (archive.isSet()) {
        request.readLogs = !archive.fromArchive();
        request.writeFiles = !archive.ingestOnly();
        request.source = [&](const QVector<QPair<QString, UsageSessions>> &located,
                             UsageTable *rows, UsageSessions *sessions) {
            archiveStatus = archive.run(request.productCode, located, request.from, request.to,
                                        rows, sessions, err);
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
    return report(environment, outcome, err);
}

int ExportCommand::report(const ExportEnvironment &environment, const ExportOutcome &outcome,
                          QIODevice *err)
{
    if (outcome.status == ExportOutcome::SourceOnly) {
        if (outcome.unreadableLocations.isEmpty())
            return Success;
        writeLine(err, QStringLiteral("Could not read %1; what could be read was archived")
                           .arg(outcome.unreadableLocations.join(QStringLiteral(", "))));
        return UnreadableLogs;
    }
    QString sentence = outcome.sentence();
    // Swapped arguments where the folder named is also a product code.
    if (outcome.status == ExportOutcome::NoExportFolder &&
        environment.store().products().contains(QFileInfo(outcome.path).fileName()))
        sentence += QStringLiteral(" (%1 is a product code: PRODUCT_CODE comes first, then "
                                   "EXPORT_FOLDER)")
                        .arg(outcome.path);
    writeLine(err, sentence);
    return exitCode(outcome.status);
}
