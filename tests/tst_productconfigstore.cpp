#include "productconfigstore.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>

Q_DECLARE_METATYPE(ProductConfigStore::FileStatus)

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
    void valuesAreReadAsWritten_data();
    void valuesAreReadAsWritten();
    void encodings_data();
    void encodings();
    void onlyRegularFilesAreRead_data();
    void onlyRegularFilesAreRead();
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
    QTest::newRow("comma without blank") << QByteArray("Acme,Inc.") << QString("Acme,Inc.");
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

void TestProductConfigStore::valuesAreReadAsWritten_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("logName");
    QTest::newRow("comma kept") << QByteArray("log_name=u,v.csv") << QString() << "u,v.csv";
    QTest::newRow("empty list items kept") << QByteArray("Company=a,,b") << "a,,b" << QString();
    QTest::newRow("blanks around a comma kept")
        << QByteArray("Company=a , b") << "a , b" << QString();
    QTest::newRow("semicolon inside a value")
        << QByteArray("Company=Plinthra;x") << "Plinthra;x" << QString();
    QTest::newRow("escaped ampersand with semicolon")
        << QByteArray("Company=A &amp; B") << "A &amp; B" << QString();
    QTest::newRow("hash inside a value") << QByteArray("Company=No. #4") << "No. #4" << QString();
    QTest::newRow("backslash kept")
        << QByteArray("log_name=Logs\\Daily") << QString() << "Logs\\Daily";
    QTest::newRow("blanks around key and value")
        << QByteArray("  Company \t=  Acme Ltd \t") << "Acme Ltd" << QString();
    QTest::newRow("quotes around the value")
        << QByteArray("Company=\" Acme; Inc. \"") << " Acme; Inc. " << QString();
    QTest::newRow("quote inside kept") << QByteArray("Company=5\" disk") << "5\" disk" << QString();
    QTest::newRow("comment lines")
        << QByteArray("; Company=x\n  # log_name=y\nCompany=z") << "z" << QString();
    QTest::newRow("last of a repeated key")
        << QByteArray("Company=a\nCompany=b") << "b" << QString();
    QTest::newRow("equals sign in a value") << QByteArray("log_name=a=b") << QString() << "a=b";
    QTest::newRow("CR line ends") << QByteArray("Company=a\rlog_name=b") << "a"
                                  << "b";
    QTest::newRow("line without equals sign")
        << QByteArray("Company\nlog_name=b") << QString() << "b";
    QTest::newRow("empty value") << QByteArray("Company=") << "" << QString();
}

// Values used to be rebuilt from a list at every comma and cut at the first semicolon.
void TestProductConfigStore::valuesAreReadAsWritten()
{
    QFETCH(QByteArray, lines);
    QFETCH(QString, company);
    QFETCH(QString, logName);
    const ProductConfigStore store(writeIni("[PRODUCT]\nproducts=PRX\n[PRX]\nconfigs=Main\n"
                                            "[ Main ]\n" +
                                            lines + "\n[REPORT_HEADER]\n" + lines + "\n"));
    QVERIFY(store.config("Main"));
    QCOMPARE(store.config("Main")->company, company);
    QCOMPARE(store.config("Main")->logName, logName);
    QCOMPARE(store.reportHeader().value("Company"), company);
    QCOMPARE(store.fileStatus(), ProductConfigStore::FileStatus::Read);
    QCOMPARE(store.problem(), QString());
}

void TestProductConfigStore::encodings_data()
{
    const QString text = QStringLiteral("[PRODUCT]\r\nproducts=PRX\r\n[PRX]\r\nconfigs=Main\r\n"
                                        "[Main]\r\nCompany=Müller, 東京\r\n");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("problem");
    // Written by hand: the toolkit's UTF-16 encoders add a byte-order mark of their own.
    auto utf16 = [&](bool littleEndian) {
        QByteArray bytes;
        for (const QChar c : text) {
            const char high = char(c.unicode() >> 8);
            const char low = char(c.unicode() & 0xFF);
            bytes += littleEndian ? low : high;
            bytes += littleEndian ? high : low;
        }
        return bytes;
    };
    QTest::newRow("UTF-8") << text.toUtf8() << "Müller, 東京" << QString();
    QTest::newRow("UTF-8 with byte-order mark")
        << "\xEF\xBB\xBF" + text.toUtf8() << "Müller, 東京" << QString();
    QTest::newRow("UTF-16 LE with byte-order mark")
        << "\xFF\xFE" + utf16(true) << "Müller, 東京" << QString();
    QTest::newRow("UTF-16 BE with byte-order mark")
        << "\xFE\xFF" + utf16(false) << "Müller, 東京" << QString();
    QTest::newRow("UTF-16 without byte-order mark")
        << utf16(true) << QString() << "holds NUL bytes";
    QTest::newRow("Latin-1") << QByteArray("[PRODUCT]\nproducts=PRX\n[PRX]\nconfigs=Main\n"
                                           "[Main]\nCompany=M\xFCller\n")
                             << QString::fromUtf8("M\xEF\xBF\xBDller") << "is not UTF-8 text";
    QTest::newRow("binary junk") << TestSupport::junk(4000, 7) << QString() << "holds NUL bytes";
    QTest::newRow("binary junk without NUL bytes")
        << TestSupport::junk(4000, 7).replace('\0', 'x') << QString() << "is not UTF-8 text";
}

// UTF-16, as some editors on Windows save, used to read as an empty file; what is not text
// now says so.
void TestProductConfigStore::encodings()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, company);
    QFETCH(QString, problem);
    const QString path = writeIni(content);
    const ProductConfigStore store(path);
    QCOMPARE(store.fileStatus(), ProductConfigStore::FileStatus::Read);
    if (company.isEmpty()) {
        QVERIFY(!store.config("Main") || store.config("Main")->company.isEmpty());
    } else {
        QCOMPARE(store.products(), QStringList{"PRX"});
        QVERIFY(store.config("Main"));
        QCOMPARE(store.config("Main")->company, company);
    }
    if (problem.isEmpty()) {
        QCOMPARE(store.problem(), QString());
    } else {
        QVERIFY2(store.problem().startsWith(path + QLatin1Char(' ') + problem),
                 qPrintable(store.problem()));
    }
}

void TestProductConfigStore::onlyRegularFilesAreRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<ProductConfigStore::FileStatus>("status");
    using S = ProductConfigStore::FileStatus;
    QTest::newRow("missing") << "missing" << S::Missing;
    QTest::newRow("FIFO") << "FIFO" << S::Unreadable;
    QTest::newRow("link to /dev/zero") << "/dev/zero" << S::Unreadable;
    QTest::newRow("link to /dev/urandom") << "/dev/urandom" << S::Unreadable;
    QTest::newRow("folder") << "folder" << S::Unreadable;
}

// A FIFO or a device as the configuration used to hang the program at start.
void TestProductConfigStore::onlyRegularFilesAreRead()
{
    QFETCH(QString, kind);
    QFETCH(ProductConfigStore::FileStatus, status);
    const QString folder = m_dir.filePath(QStringLiteral("special%1").arg(++m_counter));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/ProductConfig.ini");
    if (kind == QLatin1String("FIFO"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));
    else if (kind.startsWith(QLatin1String("/dev/")))
        QVERIFY(QFile::link(kind, path));
    const ProductConfigStore store(path);
    QCOMPARE(store.fileStatus(), status);
    QVERIFY(store.problem().startsWith(path + QLatin1Char(' ')));
    QCOMPARE(store.products(), QStringList{QString()});
    QVERIFY(store.reportHeader().isEmpty());
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
