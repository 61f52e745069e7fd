#include "archiveexport.h"

#include "exportdriver.h"
#include "usagearchive.h"

#include <QCommandLineParser>
#include <QIODevice>

namespace {

void writeLine(QIODevice *device, const QString &line)
{
    device->write(line.toUtf8() + '\n');
}

// A name as one line of text: control characters (a newline would forge a line) shown as
// escapes.
QString printable(const QString &name)
{
    QString text;
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
}

// The bytes of a name, as the system gave them, must be UTF-8: two names of bytes that are not
// would both read as the same replacement characters and be taken for one machine.
bool isPlainName(const QString &name)
{
    return !name.contains(QChar(QChar::ReplacementCharacter)) && printable(name) == name;
}

int failed(const UsageArchive &archive, QIODevice *err)
{
    writeLine(err, archive.errorText());
    return archive.failure() == UsageArchive::Failure::WriteFailed ? ArchiveExport::WriteFailed
                                                                   : ArchiveExport::Unavailable;
}

} // namespace

ArchiveExport::ArchiveExport(QCommandLineParser &parser)
    : m_parser(parser),
      m_archive(QStringLiteral("archive"),
                QStringLiteral("Add the logs read to the usage archive DB, a file (created when "
                               "missing) or postgresql://user@host:port/database (password from "
                               "PGPASSWORD or the password file), and report every machine in "
                               "it."),
                QStringLiteral("DB")),
      m_ingestOnly(QStringLiteral("ingest-only"),
                   QStringLiteral("Only add the logs to the archive; write nothing else (no "
                                  "EXPORT_FOLDER).")),
      m_fromArchive(QStringLiteral("from-archive"),
                    QStringLiteral("Read no logs: report from the archive alone.")),
      m_machine(QStringLiteral("machine"),
                QStringLiteral("The name the logs are filed under in the archive (default: the "
                               "host name at this machine's first ingest, kept by its unique ID "
                               "when the host is renamed)."),
                QStringLiteral("NAME"))
{
    parser.addOptions({m_archive, m_ingestOnly, m_fromArchive, m_machine});
}

QString ArchiveExport::usageError() const
{
    for (const QCommandLineOption *option : {&m_ingestOnly, &m_fromArchive, &m_machine}) {
        if (m_parser.isSet(*option) && !isSet())
            return QStringLiteral("--%1 needs --archive DB").arg(option->names().constFirst());
    }
    if (isSet() && m_parser.value(m_archive).isEmpty())
        return QStringLiteral("--archive needs a file name or a postgresql:// URL");
    if (ingestOnly() && fromArchive())
        return QStringLiteral("--ingest-only and --from-archive exclude each other");
    if (fromArchive() && m_parser.isSet(m_machine))
        return QStringLiteral("--machine names the logs read, and --from-archive reads none");
    if (m_parser.isSet(m_machine) && m_parser.value(m_machine).trimmed().isEmpty())
        return QStringLiteral("--machine needs a name");
    if (m_parser.isSet(m_machine) && !isPlainName(m_parser.value(m_machine)))
        return QStringLiteral("--machine takes a name of printable text in UTF-8, without "
                              "control characters");
    if (ingestOnly()) {
        for (const char *name :
             {"csv", "sessions", "summary-json", "summary", "from", "to", "list-products"}) {
            if (m_parser.isSet(QString::fromLatin1(name)))
                return QStringLiteral("--ingest-only writes nothing, so --%1 has no use")
                    .arg(QString::fromLatin1(name));
        }
    }
    return QString();
}

bool ArchiveExport::isSet() const
{
    return m_parser.isSet(m_archive);
}

bool ArchiveExport::ingestOnly() const
{
    return m_parser.isSet(m_ingestOnly);
}

bool ArchiveExport::fromArchive() const
{
    return m_parser.isSet(m_fromArchive);
}

int ArchiveExport::run(const QString &productCode,
                       const QVector<QPair<QString, UsageSessions>> &located, const QDate &from,
                       const QDate &to, UsageTable *rows, UsageSessions *sessions,
                       QIODevice *err) const
{
    UsageArchive archive;
    if (!archive.open(m_parser.value(m_archive), !fromArchive()))
        return failed(archive, err);
    if (!fromArchive()) {
        const QString machine =
            m_parser.isSet(m_machine) ? m_parser.value(m_machine).trimmed() : QString();
        if (!archive.ingest(machine, productCode, located))
            return failed(archive, err);
        if (ingestOnly()) {
            int count = 0;
            for (const auto &location : located)
                count += location.second.sessionCount();
            writeLine(err, QStringLiteral("Archived %1 sessions of %2 from %3 log locations of "
                                          "%4 in %5")
                               .arg(count)
                               .arg(productCode)
                               .arg(located.size())
                               .arg(printable(archive.machine()), m_parser.value(m_archive)));
            return 0;
        }
    }
    if (!archive.load(productCode, from, to, sessions, rows))
        return failed(archive, err);
    ExportDriver::orderByTime(*rows);
    return 0;
}

int ArchiveExport::list(QIODevice *out, QIODevice *err) const
{
    UsageArchive archive;
    QVector<UsageArchive::MachineShare> shares;
    if (!archive.open(m_parser.value(m_archive), false) || !archive.listing(&shares))
        return failed(archive, err);
    const auto date = [](const QDate &day) {
        return day.isValid() ? day.toString(Qt::ISODate) : QStringLiteral("-");
    };
    QString text = QStringLiteral("Archive %1:\n").arg(m_parser.value(m_archive));
    QString code;
    for (const UsageArchive::MachineShare &share : qAsConst(shares)) {
        if (share.productCode != code)
            text += share.productCode + QLatin1Char('\n');
        code = share.productCode;
        text += QStringLiteral("  %1\t%2 sessions\t%3\t%4\n")
                    .arg(printable(share.machine))
                    .arg(share.sessions)
                    .arg(date(share.firstDate), date(share.lastDate));
    }
    out->write(text.toUtf8());
    return 0;
}
