// The text outputs' road: arbitrary fields through the CSV quoting, with and without the
// neutralising of formulas, and the resulting line written through StagedFile into a scratch
// folder whose target name may be a planted link. A neutralised field never starts a formula,
// a raw one comes back byte for byte, the file holds exactly what was written, the link's
// target stays untouched and nothing temporary is left behind. The PDF's cut texts are checked
// on the same fields.
#include "fuzzsupport.h"

#include "printedtext.h"
#include "stagedfile.h"
#include "usagecsvwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include <sys/stat.h>

namespace {

const QString kFormulaStarts = QStringLiteral("=+-@\t\r");

// The field a CSV reader gets back from one quoted or bare field.
QString unquoted(const QString &field)
{
    if (!field.startsWith(QLatin1Char('"')))
        return field;
    QString inner = field.mid(1, field.size() - 2);
    inner.replace(QStringLiteral("\"\""), QStringLiteral("\""));
    return inner;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    // What another account left at the target: nothing, a link to a victim's file, or a file of
    // ours with any mode (set-id bits included).
    const int planted = input.ConsumeIntegralInRange(0, 2);
    const bool plantLink = planted == 1;
    const int oldMode = input.ConsumeIntegralInRange(0, 07777) | 0600;
    QStringList line;
    while (input.remaining_bytes() > 0 && line.size() < 16) {
        const std::string bytes = input.ConsumeRandomLengthString(512);
        const QString field = QString::fromUtf8(bytes.data(), int(bytes.size()));

        const QString raw = UsageCsvWriter::quoteField(field, UsageCsvWriter::Formulas::Raw);
        if (unquoted(raw) != field)
            FuzzSupport::fail("a raw field did not come back as it was");
        const QString safe = unquoted(UsageCsvWriter::quoteField(field));
        if (!safe.isEmpty() && kFormulaStarts.contains(safe.at(0)))
            FuzzSupport::fail("a neutralised field starts a formula");
        if (safe != field && safe != QLatin1Char('\'') + field)
            FuzzSupport::fail("neutralising changed more than the start");
        line << UsageCsvWriter::quoteField(field);

        const QString cut = PrintedText::cut(field);
        if (cut.size() > PrintedText::kMaxLength ||
            (cut != field && !field.startsWith(cut.left(cut.size() - 1))))
            FuzzSupport::fail("a cut text is too long or not the start of the text");
    }
    const QByteArray bytes = line.join(QLatin1Char(',')).toUtf8() + '\n';

    const QString folder = FuzzSupport::emptyFolder(QStringLiteral("textoutput"));
    const QString target = folder + QStringLiteral("/out.csv");
    const QString victim = folder + QStringLiteral("/victim");
    const QByteArray victimText("not to be written through");
    if (plantLink) {
        QFile file(victim);
        if (!file.open(QIODevice::WriteOnly) || file.write(victimText) != victimText.size())
            FuzzSupport::fail("cannot write the scratch folder");
        file.close();
        QFile::link(victim, target);
    } else if (planted == 2) {
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly))
            FuzzSupport::fail("cannot write the scratch folder");
        file.close();
        if (::chmod(QFile::encodeName(target).constData(), mode_t(oldMode)) != 0)
            FuzzSupport::fail("cannot set the old file's mode");
    }
    {
        StagedFile staged(target);
        if (!staged.open() || !staged.write(bytes) || !staged.commit())
            FuzzSupport::fail("a text output could not be written");
    }
    if (QFileInfo(target).isSymLink() || readAll(target) != bytes)
        FuzzSupport::fail("the written file does not hold the text");
    if (plantLink && readAll(victim) != victimText)
        FuzzSupport::fail("the text was written through a link");
    struct stat status;
    if (::stat(QFile::encodeName(target).constData(), &status) != 0)
        FuzzSupport::fail("the written file is gone");
    // A replaced file of ours keeps its permissions, never its set-id or sticky bits.
    if (planted == 2 && (status.st_mode & 07777) != mode_t(oldMode & 0777))
        FuzzSupport::fail("the replaced file's mode was not kept, or kept its set-id bits");
    if (status.st_mode & 07000)
        FuzzSupport::fail("the written file has set-id or sticky bits");
    const QStringList left =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (left.size() != (plantLink ? 2 : 1))
        FuzzSupport::fail("a temporary file was left behind");
    return 0;
}
