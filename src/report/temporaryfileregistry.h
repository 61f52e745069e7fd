#ifndef TEMPORARYFILEREGISTRY_H
#define TEMPORARYFILEREGISTRY_H

#include <QString>

// The temporary files and folders this process has made and not yet put in place or removed,
// kept so that a request to end the process (SIGTERM, SIGINT, SIGHUP) can remove them before
// the process ends, leaving every previous file as it was. The paths are held in fixed
// storage, because a signal handler may neither allocate nor lock.
class TemporaryFileRegistry
{
public:
    // The slot that holds path, or -1 when every slot is taken or the path is too long (the
    // file is then only cleaned up by the next export of the same target).
    static int add(const QString &path);
    static void remove(int slot);

    // Removes every registered file, then every registered (by then empty) folder. Safe to
    // call from a signal handler.
    static void removeAllNow();

    // Installs handlers that remove the registered files on SIGTERM, SIGINT and SIGHUP, then
    // end the process as the signal would have. Does nothing on Windows.
    static void removeOnTermination();
};

#endif // TEMPORARYFILEREGISTRY_H
