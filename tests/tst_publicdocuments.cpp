#include "publicdocuments.h"

#include <QDir>
#include <QtTest>

class TestPublicDocuments : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void folder_data();
    void folder();

private:
    QByteArray m_saved;
    bool m_wasSet = false;
};

void TestPublicDocuments::init()
{
#ifdef Q_OS_WIN
    QSKIP("Windows asks the shell; scripts/check-windows-known-folder covers it");
#endif
    m_wasSet = qEnvironmentVariableIsSet(PublicDocuments::environmentVariable());
    m_saved = qgetenv(PublicDocuments::environmentVariable());
}

void TestPublicDocuments::cleanup()
{
    if (m_wasSet)
        qputenv(PublicDocuments::environmentVariable(), m_saved);
    else
        qunsetenv(PublicDocuments::environmentVariable());
}

void TestPublicDocuments::folder_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    const QString home = QDir::homePath() + QStringLiteral("/Public");
    QTest::newRow("unset") << false << QString() << home;
    QTest::newRow("empty") << true << QString() << home;
    QTest::newRow("set, used as it stands")
        << true << QStringLiteral("/srv/shared docs/") << QStringLiteral("/srv/shared docs/");
}

void TestPublicDocuments::folder()
{
    QFETCH(bool, set);
    QFETCH(QString, value);
    QFETCH(QString, expected);

    if (set)
        qputenv(PublicDocuments::environmentVariable(), value.toLocal8Bit());
    else
        qunsetenv(PublicDocuments::environmentVariable());
    QCOMPARE(PublicDocuments::path(), expected);
}

QTEST_GUILESS_MAIN(TestPublicDocuments)
#include "tst_publicdocuments.moc"
