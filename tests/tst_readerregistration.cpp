#include "filereaderbycsv.h"
#include "prxfilereader.h"
#include "readerregistration.h"
#include "readerregistry.h"
#include "zqffilereader.h"

#include <QtTest>

class TestReaderRegistration : public QObject
{
    Q_OBJECT

private slots:
    void registersListedKnownCodes_data();
    void registersListedKnownCodes();
    void everyCodeGetsItsOwnReader();
    void readerKinds_data();
    void readerKinds();
};

void TestReaderRegistration::registersListedKnownCodes_data()
{
    QTest::addColumn<QStringList>("products");
    QTest::addColumn<QStringList>("registered");
    QTest::newRow("PRX alone") << QStringList{"PRX"} << QStringList{"PRX"};
    QTest::newRow("all five") << QStringList{"DLV", "HWN", "HWNK", "PRX", "ZQF"}
                              << QStringList{"DLV", "HWN", "HWNK", "PRX", "ZQF"};
    QTest::newRow("lower case is another code") << QStringList{"prx", "Zqf"} << QStringList();
    QTest::newRow("unknown code beside ZQF") << QStringList{"NEW", "ZQF"} << QStringList{"ZQF"};
    QTest::newRow("empty list entry") << QStringList{QString()} << QStringList();
    QTest::newRow("padded code") << QStringList{" PRX", "PRX "} << QStringList();
}

void TestReaderRegistration::registersListedKnownCodes()
{
    QFETCH(QStringList, products);
    QFETCH(QStringList, registered);
    ReaderRegistry registry;
    registerReaders(products, registry);
    QStringList found;
    for (const QString &code :
         QStringList{"DLV", "HWN", "HWNK", "PRX", "ZQF", "prx", "NEW", "Zqf", ""}) {
        if (registry.readerFor(code))
            found << code;
    }
    QCOMPARE(found, registered);
}

void TestReaderRegistration::everyCodeGetsItsOwnReader()
{
    ReaderRegistry registry;
    registerReaders({"ZQF", "HWNK", "HWN", "DLV", "PRX"}, registry);
    QVERIFY(registry.readerFor("PRX").dynamicCast<PrxFileReader>());
    QVERIFY(registry.readerFor("ZQF").dynamicCast<ZqfFileReader>());
    const auto dlv = registry.readerFor("DLV").dynamicCast<FileReaderByCSV>();
    const auto hwn = registry.readerFor("HWN").dynamicCast<FileReaderByCSV>();
    const auto hwnk = registry.readerFor("HWNK").dynamicCast<FileReaderByCSV>();
    QVERIFY(dlv && hwn && hwnk);
    QVERIFY(dlv != hwn && hwn != hwnk && dlv != hwnk);
    // Registering again keeps the first readers.
    registerReaders({"PRX"}, registry);
    QCOMPARE(registry.readerFor("DLV"), registry.readerFor("DLV"));
}

void TestReaderRegistration::readerKinds_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("kind");
    QTest::newRow("PRX") << "PRX"
                         << "PRX";
    QTest::newRow("DLV") << "DLV"
                         << "CSV";
    QTest::newRow("HWN") << "HWN"
                         << "CSV";
    QTest::newRow("HWNK") << "HWNK"
                          << "CSV";
    QTest::newRow("ZQF") << "ZQF"
                         << "directory";
    QTest::newRow("lower case") << "zqf"
                                << "none";
    QTest::newRow("empty") << ""
                           << "none";
}

void TestReaderRegistration::readerKinds()
{
    QFETCH(QString, code);
    QFETCH(QString, kind);
    QCOMPARE(readerKind(code), kind);
}

QTEST_GUILESS_MAIN(TestReaderRegistration)
#include "tst_readerregistration.moc"
