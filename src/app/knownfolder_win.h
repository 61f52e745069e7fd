#ifndef KNOWNFOLDER_WIN_H
#define KNOWNFOLDER_WIN_H

#include <string>

// The machine-wide shared public documents folder as the Windows shell names it, without a
// trailing separator; empty when the shell gives no path. Plain C++ without Qt, so that the
// call can be cross-compiled and tried on its own.
std::wstring knownPublicDocumentsFolder();

#endif // KNOWNFOLDER_WIN_H
