#include "testsupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// Runs the built program itself, from a folder of its own, the way a user starts it.
class TestApplication : public QObject
{
    Q_OBJECT

private slots:
    void startsAndClosesCleanly_data();
    void startsAndClosesCleanly();
};

void TestApplication::startsAndClosesCleanly_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::newRow("no configuration") << QByteArray();
    QTest::newRow("all products") << QByteArray("[PRODUCT]\nproducts=PRX|DLV|HWN|HWNK|ZQF|NEW\n");
    QTest::newRow("no known code") << QByteArray("[PRODUCT]\nproducts=prx|NEW\n");
    QTest::newRow("binary junk") << QByteArray("\0\xff[PRODUCT\n\x01=\n", 15);
}

void TestApplication::startsAndClosesCleanly()
{
#ifdef _WIN32
    QSKIP("closing the window from outside needs a desktop session");
#else
    QFETCH(QByteArray, ini);
    const QString built = QStringLiteral(PLINTHRA_BINARY_DIR "/src/PlinthraUsageTool");
    QVERIFY2(QFileInfo::exists(built), qPrintable(built));
    QTemporaryDir dir;
    const QString program = dir.filePath("PlinthraUsageTool");
    QVERIFY(QFile::copy(built, program));
    if (!ini.isNull())
        QVERIFY(TestSupport::writeFile(dir.filePath("ProductConfig.ini"), ini));

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.remove("QT_QPA_PLATFORMTHEME");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir.path());
    process.start(program, QStringList());
    QVERIFY(process.waitForStarted());
    // Still running after a moment: the window is up and waiting for the user.
    QVERIFY(!process.waitForFinished(1500));
    ::kill(pid_t(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    // The program writes nothing beside itself.
    QStringList entries = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    entries.removeAll("PlinthraUsageTool");
    entries.removeAll("ProductConfig.ini");
    QCOMPARE(entries, QStringList());
    if (!ini.isNull())
        QCOMPARE(TestSupport::readFile(dir.filePath("ProductConfig.ini")), ini);
#endif
}

QTEST_GUILESS_MAIN(TestApplication)
#include "tst_application.moc"
