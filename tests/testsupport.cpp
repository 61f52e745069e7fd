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

QStringList TestSupport::describe(const UsageTable &table)
{
    QStringList lines;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (it.value().isEmpty())
            lines << it.key() + QStringLiteral(": no rows");
        for (const UsageRecord &row : it.value()) {
            lines << QStringLiteral("%1: %2|%3|%4|%5|%6")
                         .arg(it.key(), row.userName(), row.dogNum(), row.dateText(),
                              row.timeText(), row.logAction());
        }
    }
    return lines;
}

QByteArray TestSupport::junk(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = char(seed >> 24);
    }
    return bytes;
}
