// Prints the public documents folder as the Windows build finds it, in UTF-8, so that a script
// can check the known-folder call on a machine without Windows.
#include "knownfolder_win.h"

#include <windows.h>

#include <cstdio>
#include <string>

int main()
{
    const std::wstring folder = knownPublicDocumentsFolder();
    if (folder.empty())
        return 1;
    const int size = WideCharToMultiByte(CP_UTF8, 0, folder.c_str(), int(folder.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, folder.c_str(), int(folder.size()), &text[0], size, nullptr,
                        nullptr);
    std::printf("%s\n", text.c_str());
    return 0;
}
