#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <QByteArray>
#include <QString>

// Small helpers shared by the test executables.
class TestSupport
{
public:
    // The folder of the checked-in fixtures.
    static QString dataPath(const QString &name = QString());
    // Writes bytes to a file, creating missing folders; false on failure.
    static bool writeFile(const QString &path, const QByteArray &bytes);
    static QByteArray readFile(const QString &path);
};

#endif // TESTSUPPORT_H
