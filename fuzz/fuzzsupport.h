#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

#include <QString>

#include <cstddef>
#include <cstdint>

// The readers take paths, so every input goes through a file. The files live in one temporary
// folder per process, removed at exit; point TMPDIR at a memory file system for speed.
class FuzzSupport
{
public:
    // The process's scratch folder; aborts when it cannot be made, since no input could run.
    static QString scratchPath();
    // Writes the bytes to the file below the scratch folder, replacing it; aborts on failure.
    static QString writeFile(const QString &name, const uint8_t *data, size_t size);
    // An empty folder below the scratch folder (emptied when it existed); aborts on failure.
    static QString emptyFolder(const QString &name);
    // Stops the process the way a sanitizer does, so libFuzzer keeps the input as a crash.
    [[noreturn]] static void fail(const char *what);
};

#endif // FUZZSUPPORT_H
