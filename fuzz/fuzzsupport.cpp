#include "fuzzsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

QString FuzzSupport::scratchPath()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/plinthra-fuzz-XXXXXX"));
    if (!folder.isValid())
        fail("cannot make the scratch folder");
    return folder.path();
}

QString FuzzSupport::writeFile(const QString &name, const uint8_t *data, size_t size)
{
    const QString path = scratchPath() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail("cannot write an input file");
    const qint64 length = qint64(size);
    if (length > 0 && file.write(reinterpret_cast<const char *>(data), length) != length)
        fail("cannot write an input file");
    return path;
}

QString FuzzSupport::emptyFolder(const QString &name)
{
    const QString path = scratchPath() + QLatin1Char('/') + name;
    QDir folder(path);
    if ((folder.exists() && !folder.removeRecursively()) || !QDir().mkpath(path))
        fail("cannot make an input folder");
    return path;
}

void FuzzSupport::fail(const char *what)
{
    std::fprintf(stderr, "fuzz harness: %s\n", what);
    std::abort();
}
