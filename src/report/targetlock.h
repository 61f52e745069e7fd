#ifndef TARGETLOCK_H
#define TARGETLOCK_H

#include <QByteArray>
#include <QString>

class FolderHandle;

// The lock that keeps two exports of one file from racing: "<name>.lock" beside it, a regular
// file of this account held with an advisory lock that the system drops when its holder ends,
// so a killed export never blocks the next one, whatever the file holds. Whatever else sits at
// that name (a link, a FIFO, another account's file) is never opened through, waited on or
// trusted: the export goes on without the lock and says what is in the way. POSIX only.
class TargetLock
{
public:
    enum class State
    {
        Unlocked,
        Held,
        // Another export of this account holds it.
        InUse,
        // Something not ours sits at the lock's name; see obstacle().
        InTheWay,
        // The folder refused the lock (not writable, full); see errorNumber().
        Failed,
    };

    TargetLock() = default;
    ~TargetLock();
    TargetLock(const TargetLock &) = delete;
    TargetLock &operator=(const TargetLock &) = delete;

    // Takes the lock of target (a name inside folder, which must stay open while it is held).
    State acquire(const FolderHandle &folder, const QByteArray &target);
    // Removes the lock file and lets it go.
    void release();

    // InTheWay: what sits at the lock's name, "a FIFO", "a file of another account".
    QString obstacle() const { return m_obstacle; }
    int errorNumber() const { return m_error; }

    static QByteArray lockName(const QByteArray &target) { return target + ".lock"; }

private:
    State tryOnce(const FolderHandle &folder);

    const FolderHandle *m_folder = nullptr;
    QByteArray m_name;
    int m_descriptor = -1;
    int m_slot = -1;
    int m_error = 0;
    QString m_obstacle;
};

#endif // TARGETLOCK_H
