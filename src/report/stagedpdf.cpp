#include "stagedpdf.h"

#include <QFile>

namespace {

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

StagedPdf::StagedPdf(const QString &target) : m_target(target), m_file(target) {}

bool StagedPdf::open()
{
    return m_file.open();
}

bool StagedPdf::commit()
{
    if (m_file.temporaryPath().isEmpty())
        return false;
    if (!isCompletePdf(m_file.temporaryPath())) {
        if (!m_file.failure().failed())
            m_file.fail(FileFailure::diagnose(m_target));
        m_file.discard();
        return false;
    }
    return m_file.commit();
}
