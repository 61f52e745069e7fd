#include "localtimezone.h"

#include <QFileInfo>
#include <QtGlobal>

void LocalTimeZone::pin()
{
#if defined(Q_OS_LINUX)
    const char *const zoneFile = "/etc/localtime";
    if (!qEnvironmentVariableIsSet("TZ") && QFileInfo::exists(QString::fromLatin1(zoneFile)))
        qputenv("TZ", QByteArray(":") + zoneFile);
#endif
}
