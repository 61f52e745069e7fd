#include "stagedfile.h"

#include "temporaryfileregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <filesystem>
#include <system_error>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::filesystem::path fileSystemPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

enum class TargetKind
{
    Missing,
    Regular,
    // A symbolic link to anything but a FIFO or a device: replaced, never followed.
    Link,
    Direct,
    Folder,
    Other,
};

TargetKind classify(const QString &target, int *mode)
{
#ifdef Q_OS_WIN
    // Windows keeps no mode bits worth carrying over.
    Q_UNUSED(mode)
    const QFileInfo info(target);
    if (info.isSymLink())
        return TargetKind::Link;
    if (!info.exists())
        return TargetKind::Missing;
    if (info.isDir())
        return TargetKind::Folder;
    return TargetKind::Regular;
#else
    const QByteArray name = QFile::encodeName(target);
    struct stat status;
    if (::lstat(name.constData(), &status) != 0)
        return TargetKind::Missing;
    if (S_ISREG(status.st_mode)) {
        *mode = int(status.st_mode & 07777);
        return TargetKind::Regular;
    }
    if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode))
        return TargetKind::Direct;
    if (S_ISDIR(status.st_mode))
        return TargetKind::Folder;
    if (!S_ISLNK(status.st_mode))
        return TargetKind::Other;
    // A link to a FIFO or a device is how /dev/stdout and its kind are named.
    if (::stat(name.constData(), &status) == 0 &&
        (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)))
        return TargetKind::Direct;
    return TargetKind::Link;
#endif
}

// A new folder only this account can enter; false when the name is taken.
bool makePrivateFolder(const QString &path)
{
#ifdef Q_OS_WIN
    return QDir().mkdir(path);
#else
    return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0;
#endif
}

QString randomTag()
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString tag;
    for (int i = 0; i < 6; ++i)
        tag += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(62)]);
    return tag;
}

} // namespace

StagedFile::StagedFile(const QString &target) : m_target(target) {}

StagedFile::~StagedFile()
{
    discard();
}

bool StagedFile::open()
{
    discard();
    m_failure = FileFailure();
    m_keptMode = -1;
    m_direct = false;
    switch (classify(m_target, &m_keptMode)) {
    case TargetKind::Missing:
    case TargetKind::Regular:
    case TargetKind::Link:
        break;
    case TargetKind::Direct:
        // Nothing beside a device or a FIFO is ours to write into (/dev is not).
        m_direct = true;
        return openStaging(QDir::tempPath());
    case TargetKind::Folder:
        m_failure = FileFailure(FileFailure::FolderInTheWay);
        return false;
    case TargetKind::Other:
        m_failure = FileFailure(FileFailure::NotARegularFile);
        return false;
    }

    m_lock = std::make_unique<QLockFile>(m_target + QStringLiteral(".lock"));
    // An export may take longer than any age; only a dead owner makes a lock stale.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        const QLockFile::LockError error = m_lock->error();
        m_lock.reset();
        m_failure = error == QLockFile::LockFailedError ? FileFailure(FileFailure::InUse)
                                                        : FileFailure::diagnose(m_target);
        return false;
    }
    m_lockSlot = TemporaryFileRegistry::add(m_target + QStringLiteral(".lock"));
    removeDeadParts();
    return openStaging(QFileInfo(m_target).absolutePath());
}

bool StagedFile::openStaging(const QString &folder)
{
    const QString name = QFileInfo(m_target).fileName();
    for (int attempt = 0; attempt < 100 && m_folder.isEmpty(); ++attempt) {
        const QString candidate =
            folder + QLatin1Char('/') + name + QLatin1Char('.') + randomTag() + partSuffix();
        if (makePrivateFolder(candidate)) {
            m_folder = candidate;
        } else if (errno != EEXIST) {
            m_failure = FileFailure::fromErrorNumber(errno, m_target);
            discard();
            return false;
        }
    }
    if (m_folder.isEmpty()) {
        m_failure = FileFailure::diagnose(m_target);
        discard();
        return false;
    }
    m_folderSlot = TemporaryFileRegistry::add(m_folder);
    m_partial = m_folder + QLatin1Char('/') + name;
    m_fileSlot = TemporaryFileRegistry::add(m_partial);
    m_file = std::make_unique<QFile>(m_partial);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        m_failure = FileFailure::diagnose(m_target, m_file->errorString());
        discard();
        return false;
    }
    return true;
}

bool StagedFile::write(const QByteArray &data)
{
    if (m_file && m_file->isOpen() && m_file->write(data) == data.size())
        return true;
    m_failure = FileFailure::diagnose(m_target, m_file ? m_file->errorString() : QString());
    return false;
}

bool StagedFile::commit()
{
    if (m_partial.isEmpty())
        return false;
    bool flushed = m_file->flush();
#ifndef Q_OS_WIN
    flushed = flushed && ::fsync(m_file->handle()) == 0;
    if (flushed && m_keptMode >= 0)
        flushed = ::chmod(QFile::encodeName(m_partial).constData(), mode_t(m_keptMode)) == 0;
#endif
    const QString flushError = m_file->errorString();
    m_file->close();
    if (!flushed) {
        m_failure = FileFailure::diagnose(m_target, flushError);
        discard();
        return false;
    }
    if (m_direct) {
        const bool copied = copyIntoTarget();
        discard();
        return copied;
    }
    std::error_code error;
    std::filesystem::rename(fileSystemPath(m_partial), fileSystemPath(m_target), error);
    if (error) {
        m_failure = FileFailure::fromErrorNumber(error.value(), m_target);
        discard();
        return false;
    }
    discard();
    return true;
}

bool StagedFile::copyIntoTarget()
{
    QFile in(m_partial);
    QFile out(m_target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        m_failure = FileFailure(FileFailure::Other, out.errorString());
        return false;
    }
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 16);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            m_failure = FileFailure(FileFailure::Other, out.errorString());
            return false;
        }
    }
    return true;
}

void StagedFile::discard()
{
    if (m_file)
        m_file->close();
    m_file.reset();
    if (!m_partial.isEmpty())
        QFile::remove(m_partial);
    TemporaryFileRegistry::remove(m_fileSlot);
    m_fileSlot = -1;
    if (!m_folder.isEmpty())
        QDir(m_folder).removeRecursively();
    TemporaryFileRegistry::remove(m_folderSlot);
    m_folderSlot = -1;
    m_partial.clear();
    m_folder.clear();
    // Forgotten first: once unlocked, the name may be another export's lock.
    TemporaryFileRegistry::remove(m_lockSlot);
    m_lockSlot = -1;
    m_lock.reset();
}

void StagedFile::removeDeadParts() const
{
    // Called with the lock held: no live export of this target can own what matches.
    const QFileInfo target(m_target);
    const QRegularExpression pattern(QStringLiteral("^%1\\.[A-Za-z0-9]{6}%2$")
                                         .arg(QRegularExpression::escape(target.fileName()),
                                              QRegularExpression::escape(partSuffix())));
    const QDir folder(target.absolutePath());
    const QStringList names =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (!pattern.match(name).hasMatch())
            continue;
        const QFileInfo part(folder.filePath(name));
        if (part.isDir() && !part.isSymLink())
            QDir(part.filePath()).removeRecursively();
        else
            QFile::remove(part.filePath());
    }
}
