#ifndef STAGEDFILE_H
#define STAGEDFILE_H

#include "filefailure.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;

// One file we write into a folder that other accounts may write too, while we may run as root.
// The folder is opened once and every step acts relative to it: the new content goes into a
// file created there already open (unnamed where the system allows, else under a fresh name
// created exclusively), is written, flushed and given its mode through that descriptor, and is
// renamed over the target only by commit(). A symbolic link at the target is replaced, never
// followed; nothing that is not a regular file is ever replaced. A text output may name a FIFO,
// a character device or one of the process's descriptors (/dev/stdout): that is written into
// directly, decided on what was opened, never on a name looked at earlier. A new file gets the
// mode a plain create gives under the umask; a replaced file keeps its mode only when it was
// this account's, and never its set-id or sticky bits.
class StagedFile
{
public:
    enum class Kind
    {
        // A file named by the command: may be a stream written directly.
        Text,
        // A file of ours in the export folder (a report): a regular file or nothing, inside a
        // folder that is not itself a link.
        Report,
    };

    // The steps a test may interpose another account's moves between.
    enum class Step
    {
        // The target was looked at, and is about to be opened or replaced.
        Looked,
        // The staged file is open and the lock taken.
        Opened,
        Committing,
        Linked,
        Renamed,
    };
    using StepHook = std::function<void(Step, const QString &target)>;

    explicit StagedFile(const QString &target, Kind kind = Kind::Text);
    ~StagedFile();
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;

    // Opens the target's folder, takes the lock and creates the staged file (or opens the
    // stream); false, with failure() telling why, when it cannot.
    bool open();
    // The open staged file, for reading and writing (a printer writes into it); null for a
    // stream and before open().
    QIODevice *device() const;
    // Written into a stream rather than staged.
    bool isDirect() const;
    // Appends to the staged file, or writes into the stream.
    bool write(const QByteArray &data);
    // Makes the staged content durable with its final mode, ready to be renamed; true for a
    // stream once flushed. Nothing is yet replaced.
    bool prepare();
    // Renames the staged file over the target (prepared first, when it was not) and makes the
    // rename durable; false, and the staged file removed, when that fails. A stream needs no
    // commit.
    bool commit();
    // Removes the staged file and lets the lock go.
    void discard();

    FileFailure failure() const;
    // Records a failure of the writing between open() and commit().
    void fail(const FileFailure &failure);
    // Something the export went on despite ("a FIFO sits at ….lock"), or empty.
    QString notice() const;

    // What a staged file is called when it must have a name until it is renamed; left by a
    // killed export, it is removed by the next one of the same target.
    static QString partSuffix() { return QStringLiteral(".part"); }
    // The lock's name for a target.
    static QString lockPath(const QString &target) { return target + QStringLiteral(".lock"); }
    // Removes what killed exports of target left in its folder, without exporting it.
    static void removeLeftovers(const QString &target);

    // For tests: called at each step with the target.
    static void setStepHook(const StepHook &hook);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

#endif // STAGEDFILE_H
