#ifndef TEMPORARYFILEREGISTRY_H
#define TEMPORARYFILEREGISTRY_H

#include <QByteArray>

// The names this process has put in shared folders and not yet renamed or removed (its locks,
// a temporary name between its linking and its renaming), kept so that a request to end the
// process (SIGTERM, SIGINT, SIGHUP) can remove them before the process ends, leaving every
// previous file as it was. Each is a name inside a folder held open, removed relative to that
// folder, never by a path someone could have swapped. The names are held in fixed storage,
// because a signal handler may neither allocate nor lock.
class TemporaryFileRegistry
{
public:
    // The slot that holds the name inside the open folder, or -1 when every slot is taken or
    // the name is too long (it is then only cleaned up by the next export of the same target).
    // The folder must stay open until remove(slot).
    static int add(int folder, const QByteArray &name);
    static void remove(int slot);

    // Removes every registered name. Safe to call from a signal handler.
    static void removeAllNow();

    // Installs handlers that remove the registered names on SIGTERM, SIGINT and SIGHUP, then
    // end the process as the signal would have. Does nothing on Windows.
    static void removeOnTermination();
};

#endif // TEMPORARYFILEREGISTRY_H
