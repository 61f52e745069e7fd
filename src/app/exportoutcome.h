#ifndef EXPORTOUTCOME_H
#define EXPORTOUTCOME_H

#include "filefailure.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

// What an export did, or why it wrote nothing, with one sentence a person can act on. Both
// programs show that sentence: the window in its status line, the command-line tool on
// standard error, with an exit status of its own for each status.
class ExportOutcome
{
public:
    enum Status
    {
        // Everything asked for was written.
        Written,
        // Written from the locations that could be read; some could not.
        WrittenWithUnreadableLogs,
        NoConfiguration,
        NoReader,
        NoExportFolder,
        NotAFolder,
        // No configured log location of the product exists: nothing was written.
        NoLogs,
        // An output names a file the export reads (a log, the configuration) or another
        // output: nothing was read or written.
        OutputIsInput,
        // A file could not be written; every previous file is as it was.
        WriteFailed,
        Cancelled,
        // The request's source refused to go on, and said why itself.
        SourceFailed,
        // Only the source was wanted, and it went well; it said what it did.
        SourceOnly,
    };

    Status status = Written;
    QString productCode;
    // The report, then the summary, when written; the text files when neither was asked for.
    QStringList writtenPaths;
    int rows = 0;
    int productTypes = 0;
    // -1 when sessions were not asked for.
    int sessions = -1;
    QStringList foundLocations;
    QStringList missingLocations;
    // Configuration names the product lists that have no group of that name.
    QStringList missingConfigs;
    QStringList unreadableLocations;
    // NoReader: the codes that have a reader. NoConfiguration, NoExportFolder, NotAFolder:
    // the path concerned.
    QStringList codesWithReader;
    QString path;
    // OutputIsInput: the input or other output that path names too.
    QString clashingPath;
    // WriteFailed: the file that could not be written, why, and what was written before it
    // (writtenPaths); when a late rename failed, the files left as they were after it.
    QString failedPath;
    FileFailure failure;
    QStringList unchangedPaths;
    // What the figures may get wrong and why: a log whose rows of several product types were
    // all counted as its first.
    QStringList warnings;
    // What the export went on despite: a name in the way of a lock, and the like.
    QStringList notices;
    // The text asked for on standard output.
    QByteArray standardOutput;

    bool succeeded() const { return status == Written || status == WrittenWithUnreadableLogs; }
    QString sentence() const;
};

Q_DECLARE_METATYPE(ExportOutcome)

#endif // EXPORTOUTCOME_H
