#ifndef EXPORTCOMMAND_H
#define EXPORTCOMMAND_H

#include <QStringList>

class ExportEnvironment;
class ExportOptions;
class ExportOutcome;
class QIODevice;
struct ExportRequest;

// The command-line companion: runs the window's export (same pre-check, same driver) for
// scheduled and scripted reports, optionally filtered by date and also written as CSV.
class ExportCommand
{
public:
    enum ExitCode
    {
        Success = 0,
        NoReader = 1,
        NoExportFolder = 2,
        WriteFailed = 3,
        NoLogs = 4,
        UnreadableLogs = 5,
        // The archive could not be opened, or was refused (see ArchiveExport).
        ArchiveUnavailable = 6,
        // Nothing of an ingest went into the archive.
        ArchiveWriteFailed = 7,
        Usage = 64,
        NoConfiguration = 66,
    };

    // arguments as the process got them, the program name first. out takes listings, help and
    // CSV for "-"; err takes the one-line outcome.
    static int run(const QStringList &arguments, QIODevice *out, QIODevice *err);

private:
    static int noConfiguration(const ExportEnvironment &environment, QIODevice *err);
    // Arguments in each other's place: a usage message, or an empty text.
    static QString misplacedArgument(const ExportEnvironment &environment,
                                     const ExportRequest &request);
    static int exportProduct(const ExportEnvironment &environment, const ExportOptions &options,
                             QIODevice *out, QIODevice *err);
    // Says how the export ended on err; its exit status.
    static int report(const ExportEnvironment &environment, const ExportOutcome &outcome,
                      QIODevice *err);
};

#endif // EXPORTCOMMAND_H
