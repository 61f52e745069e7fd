#include "stagedpdf.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace {

std::filesystem::path fileSystemPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// A PDF whose writing stopped early (a full disk, a lost device) lacks its closing marker.
bool isCompletePdf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 16)
        return false;
    if (file.read(5) != QByteArrayLiteral("%PDF-"))
        return false;
    if (!file.seek(file.size() - 16))
        return false;
    return file.read(16).contains("%%EOF");
}

} // namespace

StagedPdf::StagedPdf(const QString &target) : m_target(target) {}

StagedPdf::~StagedPdf()
{
    discard();
}

bool StagedPdf::open()
{
    discard();
    // A folder in the way would only be found at the rename, after everything was printed
    // and other files were perhaps already replaced.
    if (QFileInfo(m_target).isDir())
        return false;
    QTemporaryFile temporary(m_target + QStringLiteral(".XXXXXX.part"));
    if (!temporary.open())
        return false;
    temporary.setAutoRemove(false);
    m_partial = temporary.fileName();
    return true;
}

bool StagedPdf::commit()
{
    if (m_partial.isEmpty())
        return false;
    std::error_code error;
    if (isCompletePdf(m_partial))
        std::filesystem::rename(fileSystemPath(m_partial), fileSystemPath(m_target), error);
    else
        error = std::make_error_code(std::errc::io_error);
    if (error) {
        discard();
        return false;
    }
    m_partial.clear();
    return true;
}

void StagedPdf::discard()
{
    if (!m_partial.isEmpty())
        QFile::remove(m_partial);
    m_partial.clear();
}
