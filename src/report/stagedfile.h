#ifndef STAGEDFILE_H
#define STAGEDFILE_H

#include "filefailure.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QFile;
class QLockFile;

// One file we write, staged so that nothing is ever written through a name another account
// may have planted: the new content goes into a file created exclusively inside a private
// (0700) folder made beside the target, and is renamed over the target only once complete.
// A symbolic link at the target is replaced, not followed. An existing FIFO or character
// device at the target is written into directly, since that is what naming one asks for;
// nothing else that is not a regular file is ever replaced. A new file gets the mode a plain
// create gives under the umask; a replaced file keeps its mode. A lock file beside the target
// keeps two exports of it from racing and lets the next one remove what a killed one left.
class StagedFile
{
public:
    explicit StagedFile(const QString &target);
    ~StagedFile();
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;

    // Creates the temporary file; false, with failure() telling why, when it cannot.
    bool open();
    // The temporary file, once open() succeeded; it lies in a folder no one else can enter,
    // so it may be opened again by name (as a printer does).
    QString temporaryPath() const { return m_partial; }
    // Appends to the temporary file.
    bool write(const QByteArray &data);
    // Puts the temporary file's content in place of the target; false, and the temporary file
    // removed, when that fails.
    bool commit();
    // Removes the temporary file and its folder.
    void discard();
    FileFailure failure() const { return m_failure; }
    // Records a failure of the writing between open() and commit().
    void fail(const FileFailure &failure) { m_failure = failure; }

    // The suffix of the private folders; what is left of a killed export ends so.
    static QString partSuffix() { return QStringLiteral(".part"); }

private:
    bool openStaging(const QString &folder);
    bool copyIntoTarget();
    void removeDeadParts() const;

    QString m_target;
    QString m_folder;
    QString m_partial;
    // The target is a FIFO or a character device, written into directly.
    bool m_direct = false;
    // The mode bits of the file replaced, or -1 for a new file.
    int m_keptMode = -1;
    FileFailure m_failure;
    std::unique_ptr<QFile> m_file;
    std::unique_ptr<QLockFile> m_lock;
    int m_folderSlot = -1;
    int m_fileSlot = -1;
    int m_lockSlot = -1;
};

#endif // STAGEDFILE_H
