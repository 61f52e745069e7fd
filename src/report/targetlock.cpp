#include "targetlock.h"

#include "folderhandle.h"
#include "temporaryfileregistry.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A lock file removed by its holder between our opening and our locking is retried; more than
// a few such turns in a row only happen under attack.
constexpr int kAttempts = 8;

} // namespace

TargetLock::~TargetLock()
{
    release();
}

TargetLock::State TargetLock::acquire(const FolderHandle &folder, const QByteArray &target)
{
    release();
    m_folder = &folder;
    m_name = lockName(target);
    m_obstacle.clear();
    m_error = 0;
    State state = State::InUse;
    for (int attempt = 0; attempt < kAttempts && state == State::InUse; ++attempt) {
        state = tryOnce(folder);
        // InUse here means the file was replaced under us, not that someone holds it.
        if (state == State::InUse && m_error == 0)
            continue;
        break;
    }
    if (state == State::Held)
        m_slot = TemporaryFileRegistry::add(folder.descriptor(), m_name);
    return state;
}

TargetLock::State TargetLock::tryOnce(const FolderHandle &folder)
{
    // Never blocks: O_NONBLOCK keeps a FIFO from hanging the open, O_NOFOLLOW keeps a link
    // from leading anywhere.
    const int file =
        ::openat(folder.descriptor(), m_name.constData(),
                 O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (file < 0) {
        struct stat status;
        if (::fstatat(folder.descriptor(), m_name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
            m_obstacle = status.st_uid == ::geteuid() || S_ISLNK(status.st_mode)
                             ? FolderHandle::describe(status.st_mode)
                             : FolderHandle::describe(status.st_mode) +
                                   QStringLiteral(" of another account");
            return State::InTheWay;
        }
        m_error = errno;
        return State::Failed;
    }
    struct stat status;
    if (::fstat(file, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::geteuid()) {
        m_obstacle = status.st_uid == ::geteuid() ? FolderHandle::describe(status.st_mode)
                                                  : FolderHandle::describe(status.st_mode) +
                                                        QStringLiteral(" of another account");
        ::close(file);
        return State::InTheWay;
    }
    if (::flock(file, LOCK_EX | LOCK_NB) != 0) {
        m_error = errno == EWOULDBLOCK ? EWOULDBLOCK : errno;
        ::close(file);
        return m_error == EWOULDBLOCK ? State::InUse : State::Failed;
    }
    if (!folder.names(m_name, file)) {
        // Its holder removed it as we opened it: ours is a file no one else will look at.
        ::close(file);
        m_error = 0;
        return State::InUse;
    }
    m_descriptor = file;
    return State::Held;
}

void TargetLock::release()
{
    TemporaryFileRegistry::remove(m_slot);
    m_slot = -1;
    if (m_descriptor < 0)
        return;
    // Removed while still held, and only while the name is still ours.
    if (m_folder && m_folder->names(m_name, m_descriptor))
        ::unlinkat(m_folder->descriptor(), m_name.constData(), 0);
    ::close(m_descriptor);
    m_descriptor = -1;
}
