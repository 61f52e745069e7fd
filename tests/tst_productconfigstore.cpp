#include "inifile.h"
#include "productconfigstore.h"
#include "testsupport.h"

#include <QSettings>
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

    QString newIniPath()
    {
        const QString folder = m_dir.filePath(QStringLiteral("case%1").arg(++m_counter));
        QDir().mkpath(folder);
        return folder + QStringLiteral("/ProductConfig.ini");
    }

    QString writeIni(const QByteArray &content)
    {
        const QString path = newIniPath();
        TestSupport::writeFile(path, content);
        return path;
    }

    // Rows of readsFilesAsQSettingsDid, by topic.
    static void addRow(const char *name, const QByteArray &content, const QString &group,
                       const QString &key, const QString &expected,
                       const QString &difference = QString());
    // A row that reads Company of the group Main, whose lines are given.
    static void addCompanyRow(const char *name, const QByteArray &lines, const QString &expected,
                              const QString &difference = QString());
    static void addNameRows();
    static void addQuotedRows();
    static void addEscapeRows();
    static void addCommentAndCommaRows();
    static void addOtherValueRows();

    // The text the store made of a value when QSettings read the file: a list joined again,
    // anything else converted to text; a null text when the key is absent.
    static QString settingsText(const QString &path, const QString &group, const QString &key)
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        settings.beginGroup(group);
        if (!settings.contains(key))
            return QString();
        const QVariant value = settings.value(key);
        const QString text = value.type() == QVariant::StringList
                                 ? value.toStringList().join(QStringLiteral(", "))
                                 : value.toString();
        return text.isNull() ? QString(QLatin1String("")) : text;
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
    void readsFilesAsQSettingsDid_data();
    void readsFilesAsQSettingsDid();
    void configurationWrittenByQSettingsIsFound_data();
    void configurationWrittenByQSettingsIsFound();
    void instanceReadsFileBesideExecutable();
    void fileIsNeverWritten();
    void namesMatchAsThePlatformDid_data();
    void namesMatchAsThePlatformDid();
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

void TestProductConfigStore::readsFilesAsQSettingsDid_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("key");
    // A null text: the key is absent.
    QTest::addColumn<QString>("expected");
    // Empty where QSettings read the same; otherwise why we read otherwise.
    QTest::addColumn<QString>("difference");
    addNameRows();
    addQuotedRows();
    addEscapeRows();
    addCommentAndCommaRows();
    addOtherValueRows();
}

void TestProductConfigStore::addRow(const char *name, const QByteArray &content,
                                    const QString &group, const QString &key,
                                    const QString &expected, const QString &difference)
{
    QTest::newRow(name) << content << group << key << expected << difference;
}

void TestProductConfigStore::addCompanyRow(const char *name, const QByteArray &lines,
                                           const QString &expected, const QString &difference)
{
    addRow(name, "[Main]\n" + lines + "\n", "Main", "Company", expected, difference);
}

void TestProductConfigStore::addNameRows()
{
    addRow("group with a space", "[Daily%20Logs]\nCompany=x", "Daily Logs", "Company", "x");
    addRow("blanks around a group", "[ Daily%20Logs ]\nCompany=x", "Daily Logs", "Company", "x");
    addRow("group beyond Latin-1", "[%U6771%U4EAC]\nCompany=x", "東京", "Company", "x");
    addRow("group in Latin-1 code", "[M%FCller]\nCompany=x", "Müller", "Company", "x");
    addRow("group with a comma", "[a%2Cb]\nCompany=x", "a,b", "Company", "x");
    addRow("percent signs without a code", "[5%zz%U12%]\nCompany=x", "5%zz%U12%", "Company", "x");
    addRow("backslash in a group", "[Logs\\Daily]\nCompany=x", "Logs/Daily", "Company", "x");
    addRow("group General as QSettings writes it", "[%General]\nCompany=x", "General", "Company",
           "x");
    addRow("key with a space", "[Main]\nline%201=x", "Main", "line 1", "x");
    addRow("key beyond Latin-1", "[Main]\n%U4E2D=x", "Main", "中", "x");
    addRow("key with a comma", "[Main]\na%2Cb=x", "Main", "a,b", "x");
    addRow("group General by hand", "[General]\nCompany=x", "General", "Company", "x",
           "QSettings takes [General] for the keys outside any group");
    addRow("group in UTF-8", "[Müller]\nCompany=x", "Müller", "Company", "x",
           "QSettings reads the bytes of a name as Latin-1");
    addRow("line starting with #", "[Main]\n#Company=x", "Main", "#Company", QString(),
           "QSettings reads a line starting with # as a key");
}

void TestProductConfigStore::addQuotedRows()
{
    addCompanyRow("quoted, escaped quotes", "Company=\"Smith \\\"Ltd\\\"\"", "Smith \"Ltd\"");
    addCompanyRow("quoted, escaped backslash", "Company=\"Logs\\\\Daily\"", "Logs\\Daily");
    addCompanyRow("quoted, \\t and \\n", "Company=\"a\\tb\\nc\"", "a\tb\nc");
    addCompanyRow("quoted, commas", "Company=\"Acme, Inc.\"", "Acme, Inc.");
    addCompanyRow("quoted, semicolons", "Company=\"Acme ;Inc.; x\"", "Acme ;Inc.; x");
    addCompanyRow("quoted, blanks kept", "Company = \"  padded \"  ", "  padded ");
    addCompanyRow("quoted, then a comment", "Company=\"Acme\" ; note", "Acme");
    addCompanyRow("quoted part with a comma, then another", "Company=\"a,b\", c", "a,b, c");
    addCompanyRow("quoted, continued line", "Company=\"Acme \\\r\nLtd\"", "Acme Ltd");
    addCompanyRow("quote left open", "Company=5\" disk\nlog_name=x", "5\" disk",
                  "QSettings runs an open quote on through the next lines");
    addCompanyRow("text after a closing quote", "Company=\"Acme\" Ltd", "Acme Ltd",
                  "QSettings drops the blanks after a closing quote");
}

void TestProductConfigStore::addEscapeRows()
{
    addCompanyRow("escaped backslash", "Company=Logs\\\\Daily", "Logs\\Daily");
    addCompanyRow("escaped quotes", "Company=Smith \\\"Ltd\\\"", "Smith \"Ltd\"");
    addCompanyRow("hexadecimal and octal codes", "Company=M\\xfcller \\x6771\\x4eac \\101\\0z",
                  QString("Müller 東京 A") + QChar(0) + "z");
    addCompanyRow("a code takes every digit that follows", "Company=\\x4e2dabc",
                  QString(QChar(0xDABC)));
    addCompanyRow("one-character escapes", "Company=\\a\\b\\f\\v\\r\\?\\'", "\a\b\f\v\r?'");
    addCompanyRow("escaped blank kept at the end", "Company=Acme\\t \t", "Acme\t");
    addCompanyRow("continued line", "Company=Acme \\\n  Ltd", "Acme   Ltd");
    addCompanyRow("escaped backslash at a line end", "Company=a\\\\\nCompany=b\\\\", "b\\");
    addCompanyRow("backslash before a letter", "Company=Logs\\Daily", "Logs\\Daily",
                  "QSettings drops a backslash and the character after it");
}

void TestProductConfigStore::addCommentAndCommaRows()
{
    const QString commaMend = "a comma never makes a list";
    const QString semicolonMend = "a ; glued to text is text";
    addCompanyRow("comment after a blank", "Company=usage.csv ; written by the installer",
                  "usage.csv");
    addCompanyRow("comment after a tab", "Company=usage.csv\t;x", "usage.csv");
    addCompanyRow("comment at the value's start", "Company= ;x", "");
    addCompanyRow("comment lines", "; Company=x\n  ;Company=y", QString());
    addCompanyRow("hash inside a value", "Company=No. #4", "No. #4");
    addCompanyRow("semicolon glued to text", "Company=Smith &amp; Sons", "Smith &amp; Sons",
                  semicolonMend);
    addCompanyRow("semicolon glued to a file name", "Company=usage.csv;x", "usage.csv;x",
                  semicolonMend);
    addCompanyRow("commas with blanks", "Company=a, b ,c", "a, b ,c", commaMend);
    addCompanyRow("comma without blanks", "Company=u,v.csv", "u,v.csv", commaMend);
    addCompanyRow("comma and one blank", "Company=Acme, Inc.", "Acme, Inc.");
}

void TestProductConfigStore::addOtherValueRows()
{
    addCompanyRow("empty value", "Company=", "");
    addCompanyRow("empty quotes", "Company=\"\"", "");
    addCompanyRow("blanks around key and value", "  Company \t=\t Acme Ltd \t", "Acme Ltd");
    addCompanyRow("equals sign in a value", "Company=a=b", "a=b");
    addCompanyRow("last of a repeated key", "Company=a\n[Other]\n[Main]\nCompany=b", "b");
    addCompanyRow("UTF-8 text", "Company=Müller 東京", "Müller 東京");
    addCompanyRow("doubled @", "Company=@@Home", "@Home");
    addCompanyRow("@String", "Company=\"@String(a, b)\"", "a, b");
    addCompanyRow("@ByteArray", "Company=@ByteArray(Acme)", "Acme");
    addCompanyRow("@Invalid", "Company=@Invalid()", "");
    addCompanyRow("@Rect", "Company=@Rect(1 2 3 4)", "@Rect(1 2 3 4)",
                  "QSettings reads a rectangle, which is no text");
}

// Files that QSettings read are read alike, apart from the differences each row names; QSettings
// is asked too, so that the list of differences stays true.
void TestProductConfigStore::readsFilesAsQSettingsDid()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, group);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QFETCH(QString, difference);
    const QString path = writeIni(content);
    const QString ours = IniFile::load(path).value(group, key);
    QCOMPARE(ours, expected);
    QCOMPARE(ours.isNull(), expected.isNull());
    const QString theirs = settingsText(path, group, key);
    if (difference.isEmpty()) {
        QCOMPARE(theirs, expected);
        QCOMPARE(theirs.isNull(), expected.isNull());
    } else {
        QVERIFY2(theirs != expected || theirs.isNull() != expected.isNull(),
                 qPrintable("QSettings reads it alike: " + difference));
    }
}

void TestProductConfigStore::configurationWrittenByQSettingsIsFound_data()
{
    QTest::addColumn<QByteArray>("codec");
    // Without a codec QSettings writes every character beyond ASCII as an escape.
    QTest::newRow("QSettings' own encoding") << QByteArray();
    QTest::newRow("UTF-8") << QByteArray("UTF-8");
}

void TestProductConfigStore::configurationWrittenByQSettingsIsFound()
{
    QFETCH(QByteArray, codec);
    const QString path = newIniPath();
    const QMap<QString, ProductConfigStruct> written{
        {"Daily Logs", {"Smith \"Ltd\"; Sons, Partners", "@Home", " Müller ", "Logs\\Daily"}},
        {"東京 Werk", {"東京, Ltd", "Tool", "x64", "usage;1.csv"}},
    };
    {
        QSettings settings(path, QSettings::IniFormat);
        if (!codec.isEmpty())
            settings.setIniCodec(codec.constData());
        settings.setValue("PRODUCT/products", "PRX");
        settings.setValue("PRX/configs", "Daily Logs|東京 Werk");
        for (auto it = written.cbegin(); it != written.cend(); ++it) {
            settings.beginGroup(it.key());
            settings.setValue("Company", it->company);
            settings.setValue("product", it->product);
            settings.setValue("Platform_Code", it->platformCode);
            settings.setValue("log_name", it->logName);
            settings.endGroup();
        }
        settings.setValue("REPORT_HEADER/line 1", "1 Main St, Suite 2");
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
    }
    QVERIFY(TestSupport::readFile(path).contains("[Daily%20Logs]"));

    const ProductConfigStore store(path);
    QCOMPARE(store.configNames("PRX"), (QStringList{"Daily Logs", "東京 Werk"}));
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        const auto config = store.config(it.key());
        QVERIFY2(config, qPrintable(it.key()));
        QCOMPARE(config->company, it->company);
        QCOMPARE(config->product, it->product);
        QCOMPARE(config->platformCode, it->platformCode);
        QCOMPARE(config->logName, it->logName);
    }
    QCOMPARE(store.reportHeader().value("line 1"), QString("1 Main St, Suite 2"));
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

void TestProductConfigStore::namesMatchAsThePlatformDid_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("anyCase");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("keys");
    const QByteArray main = "[Main]\nCompany=Acme\nlog_name=a.log\n";
    QTest::newRow("exact, any case") << main << true << "Main"
                                     << "Company"
                                     << "Acme" << QStringList{"Company", "log_name"};
    QTest::newRow("other case, any case") << main << true << "main"
                                          << "COMPANY"
                                          << "Acme" << QStringList{"Company", "log_name"};
    QTest::newRow("other case, exact") << main << false << "main"
                                       << "Company" << QString() << QStringList();
    QTest::newRow("exact") << main << false << "Main"
                           << "Company"
                           << "Acme" << QStringList{"Company", "log_name"};
    // Two spellings of one name are one name where case does not count: the last value wins,
    // and the key keeps its first spelling.
    const QByteArray twice = "[Main]\nCompany=first\n[MAIN]\ncompany=second\n";
    QTest::newRow("written twice, any case") << twice << true << "mAiN"
                                             << "Company"
                                             << "second" << QStringList{"Company"};
    QTest::newRow("written twice, exact") << twice << false << "MAIN"
                                          << "company"
                                          << "second" << QStringList{"company"};
    QTest::newRow("percent-encoded, any case")
        << QByteArray("[Daily%20Logs]\nLog_Name=x\n") << true << "daily logs"
        << "log_name"
        << "x" << QStringList{"Log_Name"};
}

// QSettings matched group and key names whatever their case on Windows and exactly elsewhere;
// a file that worked on one platform keeps working there.
void TestProductConfigStore::namesMatchAsThePlatformDid()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, anyCase);
    QFETCH(QString, group);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QStringList, keys);
    const IniFile file =
        IniFile::parse(QString::fromUtf8(content),
                       anyCase ? IniFile::Names::CaseInsensitive : IniFile::Names::CaseSensitive);
    QCOMPARE(file.value(group, key), value);
    QCOMPARE(file.value(group, key).isNull(), value.isNull());
    QCOMPARE(file.keys(group), keys);
#ifdef Q_OS_WIN
    QCOMPARE(IniFile::platformNames(), IniFile::Names::CaseInsensitive);
#else
    QCOMPARE(IniFile::platformNames(), IniFile::Names::CaseSensitive);
#endif
}

QTEST_GUILESS_MAIN(TestProductConfigStore)
#include "tst_productconfigstore.moc"
