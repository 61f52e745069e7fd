#include "stagedpdf.h"

#include <QIODevice>

namespace {

// A PDF whose writing stopped early (a full disk, a lost device) lacks its closing marker.
bool isCompletePdf(QIODevice *device)
{
    if (!device || !device->isOpen() || device->size() < 16)
        return false;
    // A staged file that cannot be read back (Windows) is trusted to the printer's own result.
    if (!device->isReadable())
        return true;
    const qint64 size = device->size();
    if (!device->seek(0) || device->read(5) != QByteArrayLiteral("%PDF-"))
        return false;
    const bool ended = device->seek(size - 16) && device->read(16).contains("%%EOF");
    return device->seek(size) && ended;
}

} // namespace

StagedPdf::StagedPdf(const QString &target)
    : m_target(target), m_file(target, StagedFile::Kind::Report)
{
}

bool StagedPdf::open()
{
    return m_file.open();
}

bool StagedPdf::prepare()
{
    if (!m_file.device())
        return false;
    if (!isCompletePdf(m_file.device())) {
        if (!m_file.failure().failed())
            m_file.fail(FileFailure::diagnose(m_target));
        m_file.discard();
        return false;
    }
    return m_file.prepare();
}
