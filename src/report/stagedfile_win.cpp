#include "stagedfile.h"

#include <QFileInfo>
#include <QSaveFile>

// Windows: the staged file is a QSaveFile, created exclusively beside the target and moved
// over it by the system's replace call, which neither follows a link at the target nor leaves
// a half-written file; its errors are the system's own messages. Windows has no FIFOs to write
// into and no mode bits to carry over; a killed export's temporary file is left for the user.

namespace {

StagedFile::StepHook &stepHook()
{
    static StagedFile::StepHook hook;
    return hook;
}

} // namespace

struct StagedFile::Private
{
    QString target;
    Kind kind = Kind::Text;
    std::unique_ptr<QSaveFile> file;
    FileFailure failure;

    bool failWith(const FileFailure &why)
    {
        failure = why;
        if (file)
            file->cancelWriting();
        file.reset();
        return false;
    }
    void step(Step which) const
    {
        if (stepHook())
            stepHook()(which, target);
    }
};

StagedFile::StagedFile(const QString &target, Kind kind) : d(std::make_unique<Private>())
{
    d->target = target;
    d->kind = kind;
}

StagedFile::~StagedFile()
{
    discard();
}

bool StagedFile::open()
{
    discard();
    d->failure = FileFailure();
    const QFileInfo info(d->target);
    if (info.isDir())
        return d->failWith(FileFailure(FileFailure::FolderInTheWay));
    d->file = std::make_unique<QSaveFile>(d->target);
    d->file->setDirectWriteFallback(false);
    if (!d->file->open(QIODevice::WriteOnly))
        return d->failWith(FileFailure::diagnose(d->target, d->file->errorString()));
    d->step(Step::Opened);
    return true;
}

QIODevice *StagedFile::device() const
{
    return d->file.get();
}

bool StagedFile::isDirect() const
{
    return false;
}

bool StagedFile::write(const QByteArray &data)
{
    if (d->file && d->file->write(data) == data.size())
        return true;
    return d->failWith(
        FileFailure::diagnose(d->target, d->file ? d->file->errorString() : QString()));
}

bool StagedFile::prepare()
{
    if (d->file && d->file->flush())
        return true;
    return d->failWith(
        FileFailure::diagnose(d->target, d->file ? d->file->errorString() : QString()));
}

bool StagedFile::commit()
{
    if (!d->file)
        return false;
    d->step(Step::Committing);
    // Flushed to the disk (FlushFileBuffers) and moved over the target in one call.
    if (!d->file->commit()) {
        const QString error = d->file->errorString();
        d->file.reset();
        return d->failWith(FileFailure::diagnose(d->target, error));
    }
    d->file.reset();
    d->step(Step::Renamed);
    return true;
}

void StagedFile::discard()
{
    if (d->file)
        d->file->cancelWriting();
    d->file.reset();
}

FileFailure StagedFile::failure() const
{
    return d->failure;
}

void StagedFile::fail(const FileFailure &failure)
{
    d->failure = failure;
}

QString StagedFile::notice() const
{
    return QString();
}

void StagedFile::removeLeftovers(const QString &target)
{
    Q_UNUSED(target)
}

void StagedFile::setStepHook(const StepHook &hook)
{
    stepHook() = hook;
}
