#include "filefailure.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>

FileFailure FileFailure::fromErrorNumber(int error, const QString &target)
{
    switch (error) {
    case 0:
        return FileFailure(None);
    case EISDIR:
    case ENOTEMPTY:
    case EEXIST:
        return FileFailure(FolderInTheWay);
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return FileFailure(DiskFull);
    case EBUSY:
    case ETXTBSY:
        return FileFailure(FileLocked);
    case ENOENT:
        return FileFailure(Other, QStringLiteral("its folder does not exist"));
    case ELOOP:
        return FileFailure(Other, QStringLiteral("a symbolic link is in the way"));
    case EACCES:
    case EPERM:
    case EROFS:
        return diagnose(target);
    default:
        return FileFailure(Other, QString::fromLocal8Bit(std::strerror(error)));
    }
}

FileFailure FileFailure::diagnose(const QString &target, const QString &detail)
{
    const QFileInfo file(target);
    if (file.isDir())
        return FileFailure(FolderInTheWay);
    const QFileInfo folder(file.absolutePath());
    // A folder that is not there is not writable either, but that is not what to mend.
    if (!folder.exists())
        return FileFailure(Other, QStringLiteral("its folder does not exist"));
    if (!folder.isWritable())
        return FileFailure(FolderNotWritable);
    if (file.exists() && !file.isWritable())
        return FileFailure(FileLocked);
    const QStorageInfo storage(folder.absoluteFilePath());
    if (storage.isValid() && storage.bytesAvailable() < 1024 * 1024)
        return FileFailure(DiskFull);
    // Windows refuses to replace a file another program holds open.
    if (file.exists())
        return FileFailure(FileLocked, detail);
    return FileFailure(Other, detail);
}

QString FileFailure::reason() const
{
    switch (m_kind) {
    case None:
        return QString();
    case FolderInTheWay:
        return QStringLiteral("a folder of that name is in the way");
    case FolderNotWritable:
        return QStringLiteral("the folder is not writable");
    case FileLocked:
        return QStringLiteral("the existing file is read-only or in use by another program");
    case DiskFull:
        return QStringLiteral("the disk is full");
    case Cancelled:
        return QStringLiteral("the export was cancelled");
    case NotARegularFile:
        return m_detail.isEmpty() ? QStringLiteral("it is not a regular file")
                                  : QStringLiteral("it is %1, not a regular file").arg(m_detail);
    case InUse:
        return QStringLiteral("another export is writing it");
    case Other:
        break;
    }
    return m_detail.isEmpty() ? QStringLiteral("the file could not be written") : m_detail;
}
