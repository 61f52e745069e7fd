#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include "usagetable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Small helpers shared by the test executables.
class TestSupport
{
public:
    // A byte literal that may hold NUL bytes.
    template <int N> static QByteArray bytes(const char (&literal)[N])
    {
        return QByteArray(literal, N - 1);
    }
    // Deterministic binary junk: the same bytes for the same seed on every run.
    static QByteArray junk(int size, quint32 seed);
    // One text per row, so a whole table compares in one go and a failure shows every row.
    static QStringList describe(const UsageTable &table);

    // The folder of the checked-in fixtures.
    static QString dataPath(const QString &name = QString());
    // Writes bytes to a file, creating missing folders; false on failure.
    static bool writeFile(const QString &path, const QByteArray &bytes);
    static QByteArray readFile(const QString &path);
};

#endif // TESTSUPPORT_H
