#ifndef FILEFAILURE_H
#define FILEFAILURE_H

#include <QString>

// Why a file could not be written, in terms a user can act on.
class FileFailure
{
public:
    enum Kind
    {
        None,
        FolderInTheWay,
        FolderNotWritable,
        FileLocked,
        DiskFull,
        Cancelled,
        // A socket, a block device or the like: never replaced.
        NotARegularFile,
        // Another export is writing the same file.
        InUse,
        Other,
    };

    FileFailure() = default;
    FileFailure(Kind kind, const QString &detail = QString()) : m_kind(kind), m_detail(detail) {}

    // The failure an operating-system error number stands for when writing target.
    static FileFailure fromErrorNumber(int error, const QString &target);
    // The failure of a write into target that stopped for a reason not told: the folder, the
    // file and the free space are looked at.
    static FileFailure diagnose(const QString &target, const QString &detail = QString());

    Kind kind() const { return m_kind; }
    bool failed() const { return m_kind != None; }
    // "the folder is not writable", "the disk is full", ...
    QString reason() const;

private:
    Kind m_kind = None;
    QString m_detail;
};

#endif // FILEFAILURE_H
