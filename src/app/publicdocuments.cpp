#include "publicdocuments.h"

#include <QDir>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include "knownfolder_win.h"
#endif

QString PublicDocuments::path()
{
#ifdef Q_OS_WIN
    return QString::fromStdWString(knownPublicDocumentsFolder());
#else
    const QString configured = qEnvironmentVariable(environmentVariable());
    if (!configured.isEmpty())
        return configured;
    return QDir::homePath() + QStringLiteral("/Public");
#endif
}
