#ifndef FILEIDENTITY_H
#define FILEIDENTITY_H

#include <QString>

// Which file a path names, whatever its spelling: the device and inode of an existing file
// (reached through any link), and the canonical folder with the name for one not yet there.
// Two paths that name the same file have the same identity.
class FileIdentity
{
public:
    explicit FileIdentity(const QString &path);
    FileIdentity() = default;

    // What the process's descriptor has open (standard output: 1).
    static FileIdentity ofDescriptor(int descriptor);

    bool sameFile(const FileIdentity &other) const;
    // Whether two spelled-out paths are one, as the platform compares names.
    static bool samePath(const QString &first, const QString &second);
    // /dev/null, which any number of outputs may share, standard output among them.
    bool isNullDevice() const { return m_null; }
    // A FIFO or a device: many outputs may share one (two outputs into /dev/null).
    bool isStream() const { return m_stream; }

private:
    bool m_exists = false;
    bool m_stream = false;
    bool m_null = false;
    quint64 m_device = 0;
    quint64 m_inode = 0;
    QString m_canonical;
};

#endif // FILEIDENTITY_H
