#include "exportoptions.h"

#include "fileidentity.h"
#include "productconfigstore.h"
#include "publicdocuments.h"
#include "usagearchive.h"

#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

void writeLine(QIODevice *device, const QString &line)
{
    device->write(line.toUtf8() + '\n');
}

// A date written yyyy-MM-dd; the text says what is wrong with any other.
QString parseDate(const QString &option, const QString &text, QDate *date)
{
    *date = QDate::fromString(text, kDateFormat);
    if (date->isValid())
        return QString();
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (shape.match(text).hasMatch())
        return QStringLiteral("%1 %2: there is no such date").arg(option, text);
    // The date forgotten, the next argument was taken for it.
    return QStringLiteral("%1 needs a date written yyyy-MM-dd, not \"%2\"").arg(option, text);
}

} // namespace

ExportOptions::ExportOptions()
    : m_config(QStringLiteral("config"),
               QStringLiteral("Product configuration (default: ProductConfig.ini beside the "
                              "program)."),
               QStringLiteral("FILE")),
      m_publicDocuments(QStringLiteral("public-documents"),
                        QStringLiteral("Folder below which the log locations lie (default: the "
                                       "public documents folder)."),
                        QStringLiteral("DIR")),
      m_csv(QStringLiteral("csv"),
            QStringLiteral("Also write the rows as CSV to FILE (- for standard output)."),
            QStringLiteral("FILE")),
      m_sessions(QStringLiteral("sessions"),
                 QStringLiteral("Also write the sessions (paired In and Out rows) as CSV to FILE "
                                "(- for standard output)."),
                 QStringLiteral("FILE")),
      m_summaryJson(QStringLiteral("summary-json"),
                    QStringLiteral("Also write the usage figures (hours, peak concurrent use, "
                                   "users) as JSON to FILE (- for standard output)."),
                    QStringLiteral("FILE")),
      m_concurrency(QStringLiteral("concurrency"),
                    QStringLiteral("Also write how many sessions ran at once, as CSV stretches of "
                                   "time, to FILE (- for standard output)."),
                    QStringLiteral("FILE")),
      m_summary(QStringLiteral("summary"),
                QStringLiteral("Also write <folder>/<code>_UsageSummary.pdf: the figures, a chart "
                               "of concurrent use and the users by hours.")),
      m_noReport(QStringLiteral("no-report"),
                 QStringLiteral("Write no report PDF: only the summary, the JSON, the sessions "
                                "or the CSV asked for.")),
      m_licences(QStringLiteral("licences"),
                 QStringLiteral("The licences owned, per product code and type, for the summary "
                                "(default: Licences.ini beside the configuration, when there)."),
                 QStringLiteral("FILE")),
      m_idleDays(QStringLiteral("idle-days"),
                 QStringLiteral("A dongle not started in the last N days of the period is idle "
                                "(default: 30)."),
                 QStringLiteral("N")),
      m_from(QStringLiteral("from"),
             QStringLiteral("Keep rows dated on or after DATE (yyyy-MM-dd)."),
             QStringLiteral("DATE")),
      m_to(QStringLiteral("to"), QStringLiteral("Keep rows dated on or before DATE (yyyy-MM-dd)."),
           QStringLiteral("DATE")),
      m_csvRaw(QStringLiteral("csv-raw"),
               QStringLiteral("Write CSV fields byte for byte; by default a field beginning with "
                              "=, +, -, @, TAB or CR gets a leading ' so that spreadsheets do not "
                              "run it.")),
      m_list(QStringLiteral("list-products"),
             QStringLiteral("List the configured products, their readers and log locations.")),
      m_help(m_parser.addHelpOption()), m_version(m_parser.addVersionOption())
{
    m_parser.setApplicationDescription(QStringLiteral(
        "Writes the usage report of one product as a PDF, as the window's Export button does.\n"
        "\n"
        "Exit status: 0 written; 1 no reader for the product code; 2 the export folder does not\n"
        "exist or is not a folder; 3 a file could not be written (the previous files are\n"
        "untouched); 4 no log of the product was found (nothing written); 5 written, but some\n"
        "log could not be read; 6 the archive could not be used (left as it was); 7 nothing of\n"
        "the ingest went into the archive; 64 wrong usage, or an output names an input or\n"
        "another output; 66 the configuration is missing or unreadable."));
    m_parser.addOptions({m_config, m_publicDocuments, m_csv, m_sessions, m_summaryJson,
                         m_concurrency, m_summary, m_noReport, m_licences, m_idleDays, m_from, m_to,
                         m_csvRaw, m_list});
    m_archive = std::make_unique<ArchiveExport>(m_parser);
    m_parser.addPositionalArgument(QStringLiteral("PRODUCT_CODE"),
                                   QStringLiteral("Product code, as listed in the configuration."));
    m_parser.addPositionalArgument(QStringLiteral("EXPORT_FOLDER"),
                                   QStringLiteral("Existing folder that receives the report."));
}

int ExportOptions::usageError(QIODevice *err, const QString &message)
{
    writeLine(err, QStringLiteral("PlinthraUsageExport: %1 (see --help)").arg(message));
    return 64;
}

bool ExportOptions::parse(const QStringList &arguments, QIODevice *out, QIODevice *err, int *status)
{
    *status = 0;
    if (!m_parser.parse(arguments)) {
        *status = usageError(err, m_parser.errorText());
        return false;
    }
    if (m_parser.isSet(m_help)) {
        out->write(m_parser.helpText().toUtf8());
        return false;
    }
    if (m_parser.isSet(m_version)) {
        writeLine(out,
                  QStringLiteral("PlinthraUsageExport %1").arg(QStringLiteral(PLINTHRA_VERSION)));
        return false;
    }
    QString problem = dateMisuse();
    if (problem.isEmpty())
        problem = misuse();
    if (problem.isEmpty())
        return true;
    *status = usageError(err, problem);
    return false;
}

QString ExportOptions::dateMisuse()
{
    QString problem;
    if (m_parser.isSet(m_from))
        problem = parseDate(QStringLiteral("--from"), m_parser.value(m_from), &m_fromDate);
    if (problem.isEmpty() && m_parser.isSet(m_to))
        problem = parseDate(QStringLiteral("--to"), m_parser.value(m_to), &m_toDate);
    if (problem.isEmpty() && !m_fromDate.isNull() && !m_toDate.isNull() && m_fromDate > m_toDate)
        problem = QStringLiteral("--from %1 lies after --to %2")
                      .arg(m_fromDate.toString(kDateFormat), m_toDate.toString(kDateFormat));
    return problem;
}

QString ExportOptions::misuse() const
{
    const QStringList positional = m_parser.positionalArguments();
    if (listing())
        return positional.isEmpty()
                   ? QString()
                   : QStringLiteral("--list-products takes no product code or folder");
    if (positional.size() != m_archive->positionalCount())
        return m_archive->ingestOnly() ? QStringLiteral("--ingest-only expects PRODUCT_CODE alone")
                                       : QStringLiteral("expected PRODUCT_CODE and EXPORT_FOLDER");
    if (!m_archive->usageError().isEmpty())
        return m_archive->usageError();
    const QString outputs = outputMisuse();
    if (!outputs.isEmpty())
        return outputs;
    const QString figures = figureMisuse();
    if (!figures.isEmpty())
        return figures;
    if (!m_archive->ingestOnly() && positional.value(1).isEmpty())
        return QStringLiteral("the export folder is empty; name a folder, . for the current one");
    return QString();
}

QString ExportOptions::outputMisuse() const
{
    int toStandardOutput = 0;
    // What the names open counts, not their spelling: /dev/stdout and /proc/self/fd/1 are
    // standard output too.
    const FileIdentity standardOutput = FileIdentity::ofDescriptor(1);
    for (const QCommandLineOption *option : {&m_csv, &m_sessions, &m_summaryJson, &m_concurrency}) {
        if (!m_parser.isSet(*option))
            continue;
        const QString value = m_parser.value(*option);
        if (value.isEmpty())
            return QStringLiteral("--%1 needs a file name, or - for standard output")
                .arg(option->names().constFirst());
        if (value == QLatin1String("-") ||
            (!standardOutput.isNullDevice() && FileIdentity(value).sameFile(standardOutput)))
            ++toStandardOutput;
    }
    if (toStandardOutput > 1)
        return QStringLiteral("only one of --csv, --sessions, --summary-json and --concurrency "
                              "can write to standard output");
    const bool somethingElse = m_parser.isSet(m_summary) || m_parser.isSet(m_csv) ||
                               m_parser.isSet(m_sessions) || m_parser.isSet(m_summaryJson) ||
                               m_parser.isSet(m_concurrency);
    if (m_parser.isSet(m_noReport) && !somethingElse && !m_archive->ingestOnly())
        return QStringLiteral("--no-report leaves nothing to write; add --summary, "
                              "--summary-json, --concurrency, --sessions or --csv");
    return QString();
}

QString ExportOptions::figureMisuse() const
{
    if (m_parser.isSet(m_licences) && !QFileInfo(m_parser.value(m_licences)).isFile())
        return QStringLiteral("--licences %1: there is no such file")
            .arg(m_parser.value(m_licences));
    bool ok = true;
    if (m_parser.isSet(m_idleDays) && (m_parser.value(m_idleDays).toInt(&ok) < 0 || !ok))
        return QStringLiteral("--idle-days needs a number of days, not \"%1\"")
            .arg(m_parser.value(m_idleDays));
    return QString();
}

QString ExportOptions::configPath() const
{
    return m_parser.isSet(m_config) ? m_parser.value(m_config)
                                    : ProductConfigStore::defaultFilePath();
}

QString ExportOptions::publicDocuments() const
{
    return m_parser.isSet(m_publicDocuments) ? m_parser.value(m_publicDocuments)
                                             : PublicDocuments::path();
}

QStringList ExportOptions::archiveFiles() const
{
    QStringList files;
    const QString path = m_parser.value(QStringLiteral("archive"));
    if (!m_archive->isSet() || UsageArchive::isServerUrl(path))
        return files;
    // SQLite keeps companions beside the file, removed and created as it goes.
    for (const QString &suffix :
         {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
        files << path + suffix;
    return files;
}

ExportRequest ExportOptions::request() const
{
    const QStringList positional = m_parser.positionalArguments();
    ExportRequest request;
    request.productCode = positional.value(0);
    request.folder = positional.value(1);
    request.from = m_fromDate;
    request.to = m_toDate;
    request.report = !m_parser.isSet(m_noReport);
    request.summary = m_parser.isSet(m_summary);
    request.csvPath = m_parser.value(m_csv);
    request.sessionsPath = m_parser.value(m_sessions);
    request.summaryJsonPath = m_parser.value(m_summaryJson);
    request.concurrencyPath = m_parser.value(m_concurrency);
    request.csvRaw = m_parser.isSet(m_csvRaw);
    request.licencesPath = m_parser.value(m_licences);
    if (m_parser.isSet(m_idleDays))
        request.idleDays = m_parser.value(m_idleDays).toInt();
    request.otherOutputs = archiveFiles();
    return request;
}
