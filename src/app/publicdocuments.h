#ifndef PUBLICDOCUMENTS_H
#define PUBLICDOCUMENTS_H

#include <QString>

// The machine-wide shared public documents folder, below which every log location lies.
class PublicDocuments
{
public:
    // Windows: the shell's known folder, as the shell writes it; empty when it gives none.
    // Elsewhere: PLINTHRA_PUBLIC_DOCUMENTS when set and not empty, else "Public" in the home
    // folder. Asked afresh on every call.
    static QString path();

    // The environment variable that names the folder on systems without the Windows shell.
    static const char *environmentVariable() { return "PLINTHRA_PUBLIC_DOCUMENTS"; }
};

#endif // PUBLICDOCUMENTS_H
