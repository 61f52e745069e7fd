#include "folderhandle.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether status is of the folder at path or, when that folder is a mount of its own, of any
// folder on its file system.
bool within(const struct stat &status, const char *path)
{
    struct stat other;
    struct stat root;
    if (::stat(path, &other) != 0 || other.st_dev != status.st_dev)
        return false;
    const bool mounted = ::stat("/", &root) != 0 || root.st_dev != other.st_dev;
    return mounted || other.st_ino == status.st_ino;
}

} // namespace

FolderHandle::~FolderHandle()
{
    close();
}

bool FolderHandle::open(const QString &path, LastComponent last)
{
    close();
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (last == LastComponent::NoFollow)
        flags |= O_NOFOLLOW;
    const QByteArray name = QFile::encodeName(path.isEmpty() ? QStringLiteral(".") : path);
    m_descriptor = ::open(name.constData(), flags);
    m_error = m_descriptor < 0 ? errno : 0;
    return m_descriptor >= 0;
}

void FolderHandle::close()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}

bool FolderHandle::isSystemFolder() const
{
    struct stat status;
    if (m_descriptor < 0 || ::fstat(m_descriptor, &status) != 0)
        return false;
    return within(status, "/dev") || within(status, "/proc");
}

bool FolderHandle::sync() const
{
    // Some file systems cannot sync a folder (EINVAL); the rename itself has still happened.
    return m_descriptor >= 0 && (::fsync(m_descriptor) == 0 || errno == EINVAL);
}

bool FolderHandle::names(const QByteArray &name, int descriptor) const
{
    struct stat entry;
    struct stat open;
    return ::fstatat(m_descriptor, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(descriptor, &open) == 0 && entry.st_dev == open.st_dev &&
           entry.st_ino == open.st_ino;
}

bool FolderHandle::removeDeadFile(const QByteArray &name) const
{
    const int file = ::openat(m_descriptor, name.constData(),
                              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0)
        return false;
    struct stat status;
    // Held locked while it is removed, so that no writer can take it up meanwhile.
    const bool dead = ::fstat(file, &status) == 0 && S_ISREG(status.st_mode) &&
                      status.st_uid == ::geteuid() && ::flock(file, LOCK_EX | LOCK_NB) == 0 &&
                      names(name, file);
    const bool removed = dead && ::unlinkat(m_descriptor, name.constData(), 0) == 0;
    ::close(file);
    return removed;
}

bool FolderHandle::removeDeadFolder(const QByteArray &name, const QByteArray &fileName) const
{
    const int folder =
        ::openat(m_descriptor, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return false;
    struct stat status;
    // Only this account could have put anything into a folder of its own that no one else
    // may enter.
    bool removed = ::fstat(folder, &status) == 0 && status.st_uid == ::geteuid() &&
                   (status.st_mode & 077) == 0;
    if (removed) {
        FolderHandle inner;
        inner.m_descriptor = folder;
        inner.removeDeadFile(fileName);
        inner.m_descriptor = -1;
        removed = ::unlinkat(m_descriptor, name.constData(), AT_REMOVEDIR) == 0;
    }
    ::close(folder);
    return removed;
}

QString FolderHandle::describe(mode_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFREG:
        return QStringLiteral("a file");
    case S_IFDIR:
        return QStringLiteral("a folder");
    case S_IFLNK:
        return QStringLiteral("a symbolic link");
    case S_IFIFO:
        return QStringLiteral("a FIFO");
    case S_IFCHR:
        return QStringLiteral("a character device");
    case S_IFBLK:
        return QStringLiteral("a block device");
    case S_IFSOCK:
        return QStringLiteral("a socket");
    default:
        return QStringLiteral("a special file");
    }
}
