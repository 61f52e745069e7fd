#include "regularfile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

RegularFile::Outcome RegularFile::open(const QString &path, QFile *file)
{
    // Qt would warn about a file without a name; it simply cannot be opened.
    if (path.isEmpty())
        return Outcome::Missing;
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    // Looking first keeps us from opening devices at all, since opening some has effects.
    struct stat byName;
    if (::stat(name.constData(), &byName) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Outcome::Missing : Outcome::Unreadable;
    if (!S_ISREG(byName.st_mode))
        return Outcome::Unreadable;
    // Non-blocking, so that a FIFO put in place after the look cannot stall the open.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? Outcome::Missing : Outcome::Unreadable;
    struct stat opened;
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        !file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Outcome::Unreadable;
    }
    return Outcome::Opened;
#else
    const QFileInfo info(path);
    if (!info.exists())
        return Outcome::Missing;
    file->setFileName(path);
    if (!info.isFile() || !file->open(QIODevice::ReadOnly))
        return Outcome::Unreadable;
    // The handle's own view, in case the name was changed after the look.
    if (!QFileInfo(*file).isFile() || file->isSequential()) {
        file->close();
        return Outcome::Unreadable;
    }
    return Outcome::Opened;
#endif
}

LocationRead::Status RegularFile::locationStatus(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Opened:
        return LocationRead::Status::Read;
    case Outcome::Missing:
        return LocationRead::Status::Missing;
    case Outcome::Unreadable:
        break;
    }
    return LocationRead::Status::Unreadable;
}
