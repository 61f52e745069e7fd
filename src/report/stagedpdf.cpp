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
    m_failure = FileFailure();
    if (QFileInfo(m_target).isDir()) {
        m_failure = FileFailure(FileFailure::FolderInTheWay);
        return false;
    }
    QTemporaryFile temporary(m_target + QStringLiteral(".XXXXXX.part"));
    if (!temporary.open()) {
        m_failure = FileFailure::diagnose(m_target, temporary.errorString());
        return false;
    }
    temporary.setAutoRemove(false);
    m_partial = temporary.fileName();
    return true;
}

bool StagedPdf::commit()
{
    if (m_partial.isEmpty())
        return false;
    if (!isCompletePdf(m_partial)) {
        discard();
        if (!m_failure.failed())
            m_failure = FileFailure::diagnose(m_target);
        return false;
    }
    std::error_code error;
    std::filesystem::rename(fileSystemPath(m_partial), fileSystemPath(m_target), error);
    if (error) {
        discard();
        m_failure = FileFailure::fromErrorNumber(error.value(), m_target);
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
