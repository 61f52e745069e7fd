#include "stagedfile.h"

#include "folderhandle.h"
#include "targetlock.h"
#include "temporaryfileregistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

StagedFile::StepHook &stepHook()
{
    static StagedFile::StepHook hook;
    return hook;
}

// A FIFO nobody reads yet may get its reader a moment later (a script starting both ends);
// one that gets none in this time is reported rather than waited on for ever.
constexpr int kReaderWaitSteps = 50;
constexpr int kReaderWaitMilliseconds = 100;

QString randomTag()
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString tag;
    for (int i = 0; i < 6; ++i)
        tag += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(62)]);
    return tag;
}

// The mask the process creates files under, read without changing it: another thread may be
// creating a file meanwhile.
mode_t currentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(mask & 0777);
            }
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// The descriptor a name stands for (/dev/stdout, /dev/fd/3, /proc/self/fd/1), or -1. Such a
// name is written through the descriptor itself, at its offset and with its flags, as a
// shell's redirection meant.
int namedDescriptor(const QString &path)
{
    static const QRegularExpression pattern(
        QStringLiteral("^/(?:dev/(stdin|stdout|stderr)|dev/fd/(\\d+)|proc/(?:self|thread-self|"
                       "(\\d+))/fd/(\\d+))$"));
    const QRegularExpressionMatch match = pattern.match(QDir::cleanPath(path));
    if (!match.hasMatch())
        return -1;
    const QString stream = match.captured(1);
    if (!stream.isEmpty())
        return stream == QLatin1String("stdin") ? 0 : stream == QLatin1String("stdout") ? 1 : 2;
    if (!match.captured(2).isEmpty())
        return match.captured(2).toInt();
    if (!match.captured(3).isEmpty() && match.captured(3).toLongLong() != qint64(::getpid()))
        return -1;
    return match.captured(4).toInt();
}

bool isStream(mode_t mode)
{
    return S_ISFIFO(mode) || S_ISCHR(mode);
}

// Whose links and FIFOs are followed and written into: this account's and the system's. A
// link or FIFO another account planted could lead anywhere, or never be read.
bool trusted(const struct stat &status)
{
    return status.st_uid == ::geteuid() || status.st_uid == 0;
}

QString ofAnotherAccount(const struct stat &status)
{
    return FolderHandle::describe(status.st_mode) + QStringLiteral(" of another account");
}

} // namespace

struct StagedFile::Private
{
    QString target;
    QByteArray name;
    Kind kind = Kind::Text;
    FolderHandle folder;
    TargetLock lock;
    int descriptor = -1;
    bool direct = false;
    // Created without a name: it gets one only to be renamed.
    bool anonymous = false;
    QByteArray partName;
    int partSlot = -1;
    // The mode bits of the file replaced when it was ours, or -1.
    int keptMode = -1;
    bool prepared = false;
    std::unique_ptr<QFile> file;
    FileFailure failure;
    QString notice;

    bool failWith(const FileFailure &why)
    {
        failure = why;
        close();
        return false;
    }
    bool failWithError(int error) { return failWith(FileFailure::fromErrorNumber(error, target)); }

    void step(Step which) const
    {
        if (stepHook())
            stepHook()(which, target);
    }

    bool openFolder();
    bool classifyTarget();
    bool openDescriptor(int number);
    bool openStream(const QByteArray &path, const struct stat &seen, bool throughLink);
    bool openThroughLink(const struct stat &link);
    bool takeLock();
    void removeDeadParts() const;
    bool createStaged();
    bool createNamedPart();
    bool adopt(int handle);
    bool giveName();
    void removePart();
    void close();
};

bool StagedFile::Private::openFolder()
{
    const QFileInfo info(target);
    name = QFile::encodeName(info.fileName());
    if (name.isEmpty() || name == "." || name == "..")
        return failWith(FileFailure(FileFailure::FolderInTheWay));
    const QString path = target.contains(QLatin1Char('/')) ? info.path() : QStringLiteral(".");
    const auto last = kind == Kind::Report ? FolderHandle::LastComponent::NoFollow
                                           : FolderHandle::LastComponent::Follow;
    if (folder.open(path, last))
        return true;
    if (folder.errorNumber() == ELOOP || folder.errorNumber() == ENOTDIR)
        return failWith(
            FileFailure(FileFailure::Other, QStringLiteral("its folder is a symbolic link or not a "
                                                           "folder; name the folder itself")));
    return failWithError(folder.errorNumber());
}

bool StagedFile::Private::classifyTarget()
{
    struct stat status;
    if (::fstatat(folder.descriptor(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return failWithError(errno);
        if (folder.isSystemFolder())
            return failWith(FileFailure(FileFailure::Other,
                                        QStringLiteral("nothing is created in /dev or /proc")));
        return true;
    }
    if (S_ISDIR(status.st_mode))
        return failWith(FileFailure(FileFailure::FolderInTheWay));
    step(Step::Looked);
    if (kind == Kind::Text && S_ISLNK(status.st_mode) && trusted(status) &&
        !openThroughLink(status))
        return false;
    if (direct)
        return true;
    if (kind == Kind::Text && isStream(status.st_mode)) {
        if (!trusted(status))
            return failWith(FileFailure(FileFailure::NotARegularFile, ofAnotherAccount(status)));
        return openStream(name, status, false);
    }
    if (folder.isSystemFolder())
        return failWith(FileFailure(FileFailure::Other,
                                    QStringLiteral("nothing in /dev or /proc is replaced")));
    if (S_ISREG(status.st_mode) || S_ISLNK(status.st_mode)) {
        if (S_ISREG(status.st_mode) && status.st_uid == ::geteuid())
            keptMode = int(status.st_mode & 0777);
        return true;
    }
    return failWith(FileFailure(FileFailure::NotARegularFile,
                                trusted(status) ? FolderHandle::describe(status.st_mode)
                                                : ofAnotherAccount(status)));
}

bool StagedFile::Private::openDescriptor(int number)
{
    const int handle = ::fcntl(number, F_DUPFD_CLOEXEC, 3);
    if (handle < 0)
        return failWith(
            FileFailure(FileFailure::Other,
                        QStringLiteral("descriptor %1 of this process is not open").arg(number)));
    direct = true;
    return adopt(handle);
}

// Opens a FIFO or a device at path (relative to the folder) for writing; what was opened
// decides, so a name swapped since it was looked at is never written through.
bool StagedFile::Private::openStream(const QByteArray &path, const struct stat &seen,
                                     bool throughLink)
{
    const int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (throughLink ? 0 : O_NOFOLLOW);
    int handle = -1;
    for (int wait = 0; wait <= kReaderWaitSteps; ++wait) {
        handle = ::openat(folder.descriptor(), path.constData(), flags);
        if (handle >= 0 || errno != ENXIO || !S_ISFIFO(seen.st_mode))
            break;
        QThread::msleep(kReaderWaitMilliseconds);
    }
    if (handle < 0) {
        if (errno == ENXIO)
            return failWith(
                FileFailure(FileFailure::Other, QStringLiteral("nothing reads from the FIFO")));
        return failWithError(errno);
    }
    struct stat opened;
    if (::fstat(handle, &opened) != 0 || !isStream(opened.st_mode) ||
        (!throughLink && (opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino)) ||
        !trusted(opened)) {
        ::close(handle);
        // A link is then replaced like any other; a stream swapped under us is not written.
        if (throughLink)
            return true;
        return failWith(
            FileFailure(FileFailure::Other, QStringLiteral("it was replaced while being opened")));
    }
    ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    direct = true;
    return adopt(handle);
}

// A link of a trusted account that leads to a FIFO or a device (/dev/stdout's kind) is
// followed; the link is held open while it is read, so it cannot be swapped meanwhile.
bool StagedFile::Private::openThroughLink(const struct stat &link)
{
    const int pinned =
        ::openat(folder.descriptor(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (pinned < 0)
        return true;
    struct stat status;
    QByteArray text(PATH_MAX, '\0');
    const ssize_t size = ::fstat(pinned, &status) == 0 && S_ISLNK(status.st_mode) &&
                                 status.st_ino == link.st_ino && trusted(status)
                             ? ::readlinkat(pinned, "", text.data(), size_t(text.size()))
                             : -1;
    ::close(pinned);
    if (size <= 0 || size >= text.size())
        return true;
    text.resize(int(size));
    const int number = namedDescriptor(QString::fromLocal8Bit(text));
    if (number >= 0)
        return openDescriptor(number);
    struct stat reached;
    if (::fstatat(folder.descriptor(), text.constData(), &reached, 0) != 0 ||
        !isStream(reached.st_mode))
        return true;
    return openStream(text, reached, true);
}

bool StagedFile::Private::takeLock()
{
    switch (lock.acquire(folder, name)) {
    case TargetLock::State::Held:
    case TargetLock::State::Unlocked:
        return true;
    case TargetLock::State::InUse:
        return failWith(FileFailure(FileFailure::InUse));
    case TargetLock::State::InTheWay:
        notice = QStringLiteral("%1 is %2, not a lock of this account; %3 was written without "
                                "a lock")
                     .arg(StagedFile::lockPath(target), lock.obstacle(), target);
        return true;
    case TargetLock::State::Failed:
        break;
    }
    return failWithError(lock.errorNumber());
}

void StagedFile::Private::removeDeadParts() const
{
    const QRegularExpression pattern(
        QStringLiteral("^%1\\.[A-Za-z0-9]{6}%2$")
            .arg(QRegularExpression::escape(QFile::decodeName(name)),
                 QRegularExpression::escape(StagedFile::partSuffix())));
    const int listing = ::openat(folder.descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!entries) {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    QVector<QByteArray> dead;
    while (const dirent *entry = ::readdir(entries)) {
        if (pattern.match(QFile::decodeName(entry->d_name)).hasMatch())
            dead << QByteArray(entry->d_name);
    }
    ::closedir(entries);
    for (const QByteArray &part : qAsConst(dead)) {
        if (!folder.removeDeadFile(part))
            folder.removeDeadFolder(part, name);
    }
}

bool StagedFile::Private::createStaged()
{
    const int handle = ::openat(folder.descriptor(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (handle < 0) {
        // Not every file system has unnamed files; a fresh name created exclusively will do.
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOENT)
            return createNamedPart();
        return failWithError(errno);
    }
    anonymous = true;
    return adopt(handle);
}

bool StagedFile::Private::createNamedPart()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate =
            name + '.' + randomTag().toLatin1() + QFile::encodeName(StagedFile::partSuffix());
        const int handle =
            ::openat(folder.descriptor(), candidate.constData(),
                     O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (handle >= 0) {
            partName = candidate;
            partSlot = TemporaryFileRegistry::add(folder.descriptor(), partName);
            return adopt(handle);
        }
        if (errno != EEXIST)
            return failWithError(errno);
    }
    return failWith(FileFailure::diagnose(target));
}

bool StagedFile::Private::adopt(int handle)
{
    descriptor = handle;
    // Held for as long as it is written, so that no other export takes it for a dead one.
    if (!direct)
        ::flock(descriptor, LOCK_EX | LOCK_NB);
    file = std::make_unique<QFile>();
    const QIODevice::OpenMode mode =
        direct ? QIODevice::WriteOnly | QIODevice::Unbuffered : QIODevice::ReadWrite;
    if (!file->open(descriptor, mode, QFileDevice::DontCloseHandle))
        return failWith(FileFailure(FileFailure::Other, file->errorString()));
    return true;
}

// Gives an unnamed staged file a fresh name beside the target, to be renamed from.
bool StagedFile::Private::giveName()
{
    if (!anonymous)
        return true;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(descriptor);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate =
            name + '.' + randomTag().toLatin1() + QFile::encodeName(StagedFile::partSuffix());
        int linked = ::linkat(AT_FDCWD, self.constData(), folder.descriptor(),
                              candidate.constData(), AT_SYMLINK_FOLLOW);
        if (linked != 0 && errno == ENOENT)
            linked =
                ::linkat(descriptor, "", folder.descriptor(), candidate.constData(), AT_EMPTY_PATH);
        if (linked == 0) {
            partName = candidate;
            partSlot = TemporaryFileRegistry::add(folder.descriptor(), partName);
            anonymous = false;
            return true;
        }
        if (errno != EEXIST)
            return failWithError(errno);
    }
    return failWith(FileFailure::diagnose(target));
}

// Removes the staged file's name, only while it is still ours.
void StagedFile::Private::removePart()
{
    if (!partName.isEmpty() && descriptor >= 0 && folder.names(partName, descriptor))
        ::unlinkat(folder.descriptor(), partName.constData(), 0);
    TemporaryFileRegistry::remove(partSlot);
    partSlot = -1;
    partName.clear();
}

void StagedFile::Private::close()
{
    removePart();
    if (file)
        file->close();
    file.reset();
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
    anonymous = false;
    lock.release();
}

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
    d->notice.clear();
    d->keptMode = -1;
    d->direct = false;
    d->prepared = false;
    const int number = d->kind == Kind::Text ? namedDescriptor(d->target) : -1;
    if (number >= 0)
        return d->openDescriptor(number);
    if (!d->openFolder() || !d->classifyTarget())
        return false;
    if (d->direct)
        return true;
    if (!d->takeLock())
        return false;
    d->removeDeadParts();
    if (!d->createStaged())
        return false;
    d->step(Step::Opened);
    return true;
}

QIODevice *StagedFile::device() const
{
    return d->direct ? nullptr : d->file.get();
}

bool StagedFile::isDirect() const
{
    return d->direct;
}

bool StagedFile::write(const QByteArray &data)
{
    errno = 0;
    if (d->file && d->file->isOpen() && d->file->write(data) == data.size())
        return true;
    // The system's own reason when it gave one (a full device, a reader gone).
    const int error = errno;
    if (error != 0)
        return d->failWithError(error);
    return d->failWith(
        FileFailure::diagnose(d->target, d->file ? d->file->errorString() : QString()));
}

bool StagedFile::prepare()
{
    if (!d->file)
        return false;
    if (!d->file->flush())
        return d->failWith(FileFailure::diagnose(d->target, d->file->errorString()));
    d->prepared = d->direct;
    if (d->direct)
        return true;
    const mode_t mode = d->keptMode >= 0 ? mode_t(d->keptMode) : mode_t(0666 & ~currentUmask());
    if (::fsync(d->descriptor) != 0 || ::fchmod(d->descriptor, mode) != 0)
        return d->failWithError(errno);
    d->prepared = true;
    return true;
}

bool StagedFile::commit()
{
    if (!d->file || (!d->prepared && !prepare()))
        return false;
    if (d->direct) {
        d->close();
        return true;
    }
    d->step(Step::Committing);
    if (!d->giveName())
        return false;
    d->step(Step::Linked);
    // Renamed only while the name still holds what we wrote: a file swapped in meanwhile is
    // never put in place of the target.
    if (!d->folder.names(d->partName, d->descriptor)) {
        TemporaryFileRegistry::remove(d->partSlot);
        d->partSlot = -1;
        d->partName.clear();
        return d->failWith(
            FileFailure(FileFailure::Other, QStringLiteral("its temporary file was replaced by "
                                                           "another account")));
    }
    if (::renameat(d->folder.descriptor(), d->partName.constData(), d->folder.descriptor(),
                   d->name.constData()) != 0)
        return d->failWithError(errno);
    TemporaryFileRegistry::remove(d->partSlot);
    d->partSlot = -1;
    d->partName.clear();
    d->step(Step::Renamed);
    const bool synced = d->folder.sync();
    d->close();
    d->folder.close();
    if (!synced)
        d->failure = FileFailure(FileFailure::Other,
                                 QStringLiteral("its folder could not be synced to disk"));
    return synced;
}

void StagedFile::discard()
{
    d->close();
    d->folder.close();
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
    return d->notice;
}

void StagedFile::removeLeftovers(const QString &target)
{
    Private leftovers;
    leftovers.target = target;
    leftovers.kind = Kind::Report;
    if (!leftovers.openFolder())
        return;
    leftovers.removeDeadParts();
    // A lock no live export holds is only in the way.
    leftovers.folder.removeDeadFile(TargetLock::lockName(leftovers.name));
}

void StagedFile::setStepHook(const StepHook &hook)
{
    stepHook() = hook;
}
