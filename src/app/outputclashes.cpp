#include "outputclashes.h"

#include "fileidentity.h"
#include "stagedfile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// The folder a path lies in, spelled one way whatever way it was given.
QString canonicalFolder(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absolutePath() : folder;
}

bool sameFolder(const QString &first, const QString &second)
{
    return FileIdentity::samePath(canonicalFolder(first), canonicalFolder(second));
}

} // namespace

OutputClashes::OutputClashes(const QStringList &inputs, const QStringList &changed)
    : m_changed(changed)
{
    for (const QString &input : inputs) {
        const QFileInfo info(input);
        if (!info.isDir()) {
            m_inputFiles << input;
            continue;
        }
        m_logFolders << input;
        const QFileInfoList entries =
            QDir(input).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QFileInfo &entry : entries)
            m_inputFiles << entry.filePath();
    }
}

bool OutputClashes::find(const QStringList &outputs, QString *output, QString *other) const
{
    // An archive that is a log or the configuration would be turned into an archive.
    for (const QString &changed : m_changed) {
        if (clashesWithInput(changed, other)) {
            *output = changed;
            return true;
        }
    }
    for (int i = 0; i < outputs.size(); ++i) {
        const QString &path = outputs.at(i);
        const FileIdentity identity(path);
        for (const QString &changed : m_changed) {
            if (identity.sameFile(FileIdentity(changed))) {
                *output = path;
                *other = changed;
                return true;
            }
        }
        if (clashesWithInput(path, other)) {
            *output = path;
            return true;
        }
        for (int j = 0; j < outputs.size(); ++j) {
            if (j == i)
                continue;
            if ((j < i && clashesWithOutput(path, outputs.at(j))) ||
                isOwnName(path, outputs.at(j))) {
                *output = path;
                *other = outputs.at(j);
                return true;
            }
        }
    }
    return false;
}

bool OutputClashes::clashesWithInput(const QString &output, QString *other) const
{
    const FileIdentity identity(output);
    for (const QString &input : m_inputFiles) {
        if (identity.sameFile(FileIdentity(input))) {
            *other = input;
            return true;
        }
    }
    // A new file in a log folder would be read as a log by the next export.
    for (const QString &folder : m_logFolders) {
        if (sameFolder(output, folder + QStringLiteral("/x"))) {
            *other = folder;
            return true;
        }
    }
    return false;
}

// FIFOs and devices may be shared by outputs (two outputs into /dev/null), files never.
bool OutputClashes::clashesWithOutput(const QString &output, const QString &earlier)
{
    const FileIdentity identity(output);
    const FileIdentity other(earlier);
    return identity.sameFile(other) && !(identity.isStream() && other.isStream());
}

// Whether name is one of the names output is written through: its lock, or a temporary name.
bool OutputClashes::isOwnName(const QString &name, const QString &output)
{
    if (FileIdentity(name).sameFile(FileIdentity(StagedFile::lockPath(output))))
        return true;
    const QRegularExpression temporary(
        QStringLiteral("^%1\\.[A-Za-z0-9]{6}%2$")
            .arg(QRegularExpression::escape(QFileInfo(output).fileName()),
                 QRegularExpression::escape(StagedFile::partSuffix())));
    return temporary.match(QFileInfo(name).fileName()).hasMatch() && sameFolder(name, output);
}
