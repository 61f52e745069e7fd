#include "fileidentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

FileIdentity::FileIdentity(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    m_canonical = info.exists() ? info.canonicalFilePath()
                                : (folder.isEmpty() ? info.absoluteFilePath()
                                                    : folder + QLatin1Char('/') + info.fileName());
#ifndef Q_OS_WIN
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) == 0) {
        m_exists = true;
        m_device = quint64(status.st_dev);
        m_inode = quint64(status.st_ino);
        m_stream = S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode);
        m_null = S_ISCHR(status.st_mode) && status.st_rdev == makedev(1, 3);
    }
#endif
}

FileIdentity FileIdentity::ofDescriptor(int descriptor)
{
    FileIdentity identity;
#ifndef Q_OS_WIN
    struct stat status;
    if (::fstat(descriptor, &status) == 0) {
        identity.m_exists = true;
        identity.m_device = quint64(status.st_dev);
        identity.m_inode = quint64(status.st_ino);
        identity.m_stream = S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode);
        identity.m_null = S_ISCHR(status.st_mode) && status.st_rdev == makedev(1, 3);
    }
#else
    Q_UNUSED(descriptor)
#endif
    return identity;
}

bool FileIdentity::sameFile(const FileIdentity &other) const
{
    if (m_exists && other.m_exists)
        return m_device == other.m_device && m_inode == other.m_inode;
    return samePath(m_canonical, other.m_canonical);
}

bool FileIdentity::samePath(const QString &first, const QString &second)
{
    return QString::compare(first, second,
#ifdef Q_OS_WIN
                            Qt::CaseInsensitive
#else
                            Qt::CaseSensitive
#endif
                            ) == 0;
}
