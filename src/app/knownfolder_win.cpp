// Compiled into the Windows build only; other systems have no known-folder service.
#ifdef _WIN32

#include "knownfolder_win.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

std::wstring knownPublicDocumentsFolder()
{
    PWSTR buffer = nullptr;
    // The status is not examined: without a path the answer is simply empty.
    SHGetKnownFolderPath(FOLDERID_PublicDocuments, 0, nullptr, &buffer);
    std::wstring path;
    if (buffer)
        path = buffer;
    // The shell allocates the buffer with the COM allocator, even on failure.
    CoTaskMemFree(buffer);
    return path;
}

#endif // _WIN32
