#include "productconfigstore.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QtTest>

// Every case writes its own file: QSettings caches a parsed file per path within a process.
class TestProductConfigStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_counter = 0;

    QString writeIni(const QByteArray &content)
    {
        const QString path =
            m_dir.filePath(QStringLiteral("case%1/ProductConfig.ini").arg(++m_counter));
        TestSupport::writeFile(path, content);
        return path;
    }

private slots:
    void productsAreSortedAndUnique_data();
    void productsAreSortedAndUnique();
    void configNamesKeepFileOrderAndEmptyNames();
    void sharedConfigurationNameIsOneRecord();
    void missingGroupAndKeysGiveEmptyTexts();
    void missingFileReadsAsEmpty();
    void unknownNamesGiveNothing();
    void valuesWithCommasComeBackAsText_data();
    void valuesWithCommasComeBackAsText();
    void nonAsciiValuesSurvive();
    void reportHeaderGroup();
    void instanceReadsFileBesideExecutable();
    void fileIsNeverWritten();
};

void TestProductConfigStore::productsAreSortedAndUnique_data()
{
    QTest::addColumn<QByteArray>("products");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("ascending, not file order")
        << QByteArray("ZQF|PRX") << QStringList{"PRX", "ZQF"};
    QTest::newRow("duplicate listed once")
        << QByteArray("PRX|DLV|PRX") << QStringList{"DLV", "PRX"};
    QTest::newRow("trailing bar adds empty code first")
        << QByteArray("PRX|") << QStringList{"", "PRX"};
    QTest::newRow("upper case before lower case")
        << QByteArray("prx|PRX|Zqf") << QStringList{"PRX", "Zqf", "prx"};
    QTest::newRow("empty value") << QByteArray("") << QStringList{""};
}

void TestProductConfigStore::productsAreSortedAndUnique()
{
    QFETCH(QByteArray, products);
    QFETCH(QStringList, expected);
    const ProductConfigStore store(writeIni("[PRODUCT]\nproducts=" + products + "\n"));
    QCOMPARE(store.products(), expected);
}

void TestProductConfigStore::configNamesKeepFileOrderAndEmptyNames()
{
    const ProductConfigStore store(writeIni("[PRODUCT]\nproducts=PRX|ZQF\n"
                                            "[PRX]\nconfigs=B||A\n"
                                            "[ZQF]\n"
                                            "[B]\nCompany=c\n"));
    QCOMPARE(store.configNames("PRX"), (QStringList{"B", "", "A"}));
    // A product without a configs key lists one empty name and reads no configuration.
    QCOMPARE(store.configNames("ZQF"), QStringList{QString()});
    QVERIFY(store.config("B"));
    QVERIFY(store.config("A"));
    // The empty name listed between the others is read like any other name.
    QVERIFY(store.config(""));
    QCOMPARE(store.configNames("prx"), QStringList());
}

void TestProductConfigStore::sharedConfigurationNameIsOneRecord()
{
    const ProductConfigStore store(writeIni("[PRODUCT]\nproducts=DLV|HWN|DLV\n"
                                            "[DLV]\nconfigs=Main\n"
                                            "[HWN]\nconfigs=Main|Other\n"
                                            "[Main]\nCompany=Acme\nproduct=Tools\n"
                                            "Platform_Code=x64\nlog_name=usage.log\n"));
    const auto main = store.config("Main");
    QVERIFY(main);
    QCOMPARE(main->company, QString("Acme"));
    QCOMPARE(main->product, QString("Tools"));
    QCOMPARE(main->platformCode, QString("x64"));
    QCOMPARE(main->logName, QString("usage.log"));
    // Every lookup hands out a share of the same record.
    QCOMPARE(store.config("Main").data(), main.data());
    QCOMPARE(store.configNames("DLV"), QStringList{"Main"});
}

void TestProductConfigStore::missingGroupAndKeysGiveEmptyTexts()
{
    const ProductConfigStore store(writeIni("[PRODUCT]\nproducts=PRX\n[PRX]\nconfigs=Gone|Half\n"
                                            "[Half]\nlog_name=prx.log\n"));
    const auto gone = store.config("Gone");
    QVERIFY(gone);
    QVERIFY(gone->company.isEmpty() && gone->product.isEmpty() && gone->platformCode.isEmpty() &&
            gone->logName.isEmpty());
    const auto half = store.config("Half");
    QVERIFY(half);
    QCOMPARE(half->company, QString());
    QCOMPARE(half->logName, QString("prx.log"));
}

void TestProductConfigStore::missingFileReadsAsEmpty()
{
    const ProductConfigStore store(m_dir.filePath("nowhere/ProductConfig.ini"));
    QCOMPARE(store.products(), QStringList{QString()});
    QCOMPARE(store.configNames(QString()), QStringList{QString()});
    QVERIFY(!store.config(QString()));
    QVERIFY(!store.config("Main"));
    QVERIFY(store.reportHeader().isEmpty());
}

void TestProductConfigStore::unknownNamesGiveNothing()
{
    const ProductConfigStore store(writeIni("[PRODUCT]\nproducts=PRX\n[PRX]\nconfigs=Main\n"));
    QCOMPARE(store.configNames("ZQF"), QStringList());
    QVERIFY(!store.config("main"));
    QVERIFY(!store.config("Other"));
}

void TestProductConfigStore::valuesWithCommasComeBackAsText_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("comma") << QByteArray("Acme, Inc.") << QString("Acme, Inc.");
    QTest::newRow("comma without blank") << QByteArray("Acme,Inc.") << QString("Acme, Inc.");
    QTest::newRow("quoted keeps text") << QByteArray("\"Acme,Inc.\"") << QString("Acme,Inc.");
    QTest::newRow("plain") << QByteArray("Acme") << QString("Acme");
    QTest::newRow("empty") << QByteArray("") << QString();
}

void TestProductConfigStore::valuesWithCommasComeBackAsText()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, expected);
    const ProductConfigStore store(
        writeIni("[PRODUCT]\nproducts=PRX\n[PRX]\nconfigs=Main\n[Main]\nCompany=" + value + "\n"));
    QVERIFY(store.config("Main"));
    QCOMPARE(store.config("Main")->company, expected);
}

void TestProductConfigStore::nonAsciiValuesSurvive()
{
    const ProductConfigStore store(writeIni(QStringLiteral("[PRODUCT]\nproducts=ZQF\n[ZQF]\n"
                                                           "configs=Main\n[Main]\nCompany=Müller "
                                                           "Ångström\nproduct=Straße\n")
                                                .toUtf8()));
    QVERIFY(store.config("Main"));
    QCOMPARE(store.config("Main")->company, QStringLiteral("Müller Ångström"));
    QCOMPARE(store.config("Main")->product, QStringLiteral("Straße"));
}

void TestProductConfigStore::reportHeaderGroup()
{
    const ProductConfigStore store(
        writeIni("[PRODUCT]\nproducts=PRX\n"
                 "[REPORT_HEADER]\ncompany=Acme, Inc.\nline1=1 Main St\n"));
    const QMap<QString, QString> header = store.reportHeader();
    QCOMPARE(header.value("company"), QString("Acme, Inc."));
    QCOMPARE(header.value("line1"), QString("1 Main St"));
    QVERIFY(!header.contains("line2"));
}

void TestProductConfigStore::instanceReadsFileBesideExecutable()
{
    QCOMPARE(ProductConfigStore::defaultFilePath(),
             QCoreApplication::applicationDirPath() + "/ProductConfig.ini");
    QCOMPARE(ProductConfigStore::instance().filePath(), ProductConfigStore::defaultFilePath());
    QCOMPARE(&ProductConfigStore::instance(), &ProductConfigStore::instance());
}

void TestProductConfigStore::fileIsNeverWritten()
{
    const QByteArray content = "[PRODUCT]\r\nproducts=PRX|ZQF\r\n[PRX]\r\nconfigs=Main\r\n"
                               "; a comment\r\n[Main]\r\nCompany=Acme, Inc.\r\n";
    const QString path = writeIni(content);
    const QDateTime before = QFileInfo(path).lastModified();
    {
        const ProductConfigStore store(path);
        QCOMPARE(store.products(), (QStringList{"PRX", "ZQF"}));
    }
    QCOMPARE(TestSupport::readFile(path), content);
    QCOMPARE(QFileInfo(path).lastModified(), before);
}

QTEST_GUILESS_MAIN(TestProductConfigStore)
#include "tst_productconfigstore.moc"
