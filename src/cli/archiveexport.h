#ifndef ARCHIVEEXPORT_H
#define ARCHIVEEXPORT_H

#include "usagesessions.h"
#include "usagetable.h"

#include <QCommandLineOption>
#include <QDate>
#include <QPair>
#include <QString>
#include <QVector>

class QCommandLineParser;
class QIODevice;

// The command line's archive options: adds the logs read to an archive and hands the command
// the rows and sessions of every machine in it instead of the logs' own.
class ArchiveExport
{
public:
    // Exit statuses of archive failures.
    enum ExitStatus
    {
        // Unreachable server, refused credentials, not an archive, damaged, newer version.
        Unavailable = 6,
        // Nothing of the ingest was kept: read-only file, full disk, connection lost.
        WriteFailed = 7,
    };

    // Adds --archive, --ingest-only, --from-archive and --machine to parser.
    explicit ArchiveExport(QCommandLineParser &parser);

    // After parsing: a misuse of the archive options, or an empty text.
    QString usageError() const;
    // PRODUCT_CODE and EXPORT_FOLDER, or only the code when nothing is written.
    int positionalCount() const { return ingestOnly() ? 1 : 2; }
    bool isSet() const;
    bool ingestOnly() const;
    bool fromArchive() const;

    // Adds the logs' sessions to the archive unless the report comes from the archive alone;
    // then, unless only ingesting, replaces rows and sessions with the archive's, rows limited
    // later by date as the logs' rows are. 0, or an exit status after a message on err.
    int run(const QString &productCode, const QVector<QPair<QString, UsageSessions>> &located,
            const QDate &from, const QDate &to, UsageTable *rows, UsageSessions *sessions,
            QIODevice *err) const;

    // Every product code's machines in the archive. 0, or an exit status after a message on
    // err.
    int list(QIODevice *out, QIODevice *err) const;

private:
    const QCommandLineParser &m_parser;
    QCommandLineOption m_archive;
    QCommandLineOption m_ingestOnly;
    QCommandLineOption m_fromArchive;
    QCommandLineOption m_machine;
};

#endif // ARCHIVEEXPORT_H
