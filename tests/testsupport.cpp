#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString TestSupport::dataPath(const QString &name)
{
    const QString base = QStringLiteral(PLINTHRA_TEST_DATA);
    return name.isEmpty() ? base : base + QLatin1Char('/') + name;
}

bool TestSupport::writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size() && file.flush();
}

QByteArray TestSupport::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}
