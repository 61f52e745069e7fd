#ifndef EXPORTOPTIONS_H
#define EXPORTOPTIONS_H

#include "archiveexport.h"
#include "exportrequest.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDate>
#include <QString>
#include <QStringList>

#include <memory>

class QIODevice;

// The command line of the export tool: its options, what each means, and the checks that need
// nothing but the arguments themselves.
class ExportOptions
{
public:
    ExportOptions();
    ExportOptions(const ExportOptions &) = delete;
    ExportOptions &operator=(const ExportOptions &) = delete;

    // Parses arguments (the program name first). False when the run ends here: help or the
    // version was printed on out, or a usage error on err; *status is then the exit status.
    bool parse(const QStringList &arguments, QIODevice *out, QIODevice *err, int *status);

    bool listing() const { return m_parser.isSet(m_list); }
    QString configPath() const;
    QString publicDocuments() const;
    // What to export, as far as the arguments say: no source and no standard output yet.
    ExportRequest request() const;
    const ArchiveExport &archive() const { return *m_archive; }
    // The archive's file and the companions SQLite keeps beside it; empty for a server.
    QStringList archiveFiles() const;

    // Writes "PlinthraUsageExport: <message> (see --help)" on err; the usage exit status.
    static int usageError(QIODevice *err, const QString &message);

private:
    // The first misuse of the arguments, or an empty text.
    QString misuse() const;
    QString dateMisuse();
    QString outputMisuse() const;
    QString figureMisuse() const;

    QCommandLineParser m_parser;
    QCommandLineOption m_config;
    QCommandLineOption m_publicDocuments;
    QCommandLineOption m_csv;
    QCommandLineOption m_sessions;
    QCommandLineOption m_summaryJson;
    QCommandLineOption m_concurrency;
    QCommandLineOption m_summary;
    QCommandLineOption m_noReport;
    QCommandLineOption m_licences;
    QCommandLineOption m_idleDays;
    QCommandLineOption m_from;
    QCommandLineOption m_to;
    QCommandLineOption m_csvRaw;
    QCommandLineOption m_list;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
    // Made after the options above, so that --help lists its options after them.
    std::unique_ptr<ArchiveExport> m_archive;
    QDate m_fromDate;
    QDate m_toDate;
};

#endif // EXPORTOPTIONS_H
