#ifndef FOLDERHANDLE_H
#define FOLDERHANDLE_H

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// A folder opened once, so that every later step acts relative to the folder that was opened,
// whatever another account renames or swaps in the path meanwhile. POSIX only.
class FolderHandle
{
public:
    enum class LastComponent
    {
        // The folder of a file the command named: links on the way are the caller's to name.
        Follow,
        // A folder named as such (the export folder): a link there is refused, not followed.
        NoFollow,
    };

    FolderHandle() = default;
    ~FolderHandle();
    FolderHandle(const FolderHandle &) = delete;
    FolderHandle &operator=(const FolderHandle &) = delete;

    // Opens path as a folder; false, with errorNumber() telling why, when it cannot.
    bool open(const QString &path, LastComponent last = LastComponent::Follow);
    void close();
    bool isOpen() const { return m_descriptor >= 0; }
    int descriptor() const { return m_descriptor; }
    int errorNumber() const { return m_error; }

    // The folder is /dev or /proc (or of their file systems): nothing is ever created or
    // replaced there, since a name there may stand for a device or a process's descriptor.
    bool isSystemFolder() const;
    // Makes the folder's entries durable (a rename done before survives a power cut).
    bool sync() const;

    // Whether name, not followed, is the file that descriptor has open.
    bool names(const QByteArray &name, int descriptor) const;
    // Removes name when it is a regular file of this account that no live process holds
    // locked (a writer holds its temporary file and its lock so); false when it was left.
    bool removeDeadFile(const QByteArray &name) const;
    // Removes what an older version left for name: a private folder of this account holding
    // only a file of the target's name. Never anything else, never recursively.
    bool removeDeadFolder(const QByteArray &name, const QByteArray &fileName) const;

    // "a FIFO", "a folder", ... for a file type.
    static QString describe(mode_t mode);

private:
    int m_descriptor = -1;
    int m_error = 0;
};

#endif // FOLDERHANDLE_H
