#include "filereaderbycsv.h"
#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestFileReaderByCsv : public QObject
{
    Q_OBJECT

private slots:
    void workedIllustration();
    void equalNamesShareOneText();
    void lines_data();
    void lines();
    void junkGivesOneEntry_data();
    void junkGivesOneEntry();
    void unopenablePathGivesEmptyTable();
    void unreadableFileGivesEmptyTable();
    void otherProductTypesAreKept_data();
    void otherProductTypesAreKept();

private:
    QTemporaryDir m_dir;
};

void TestFileReaderByCsv::workedIllustration()
{
    FileReaderByCSV reader;
    const UsageTable table =
        reader.read(TestSupport::dataPath(QStringLiteral("csv/illustration.csv")));
    QCOMPARE(TestSupport::describe(table),
             QStringList({
                 QStringLiteral("Standard: alice|4711|2024-03-05|08:00:00|In"),
                 QStringLiteral("Standard: alice|4711|2024-03-05|09:30:00|Out"),
                 QStringLiteral("Standard: bob|4712|2024-03-06|13:15:00|In"),
                 QStringLiteral("Standard: bob|4712|2024-03-06|17:45:00|Out"),
             }));
    const UsageRecord &first = table.first().first();
    QCOMPARE(first.dateTime(), QDateTime(QDate(2024, 3, 5), QTime(8, 0), Qt::LocalTime));
}

void TestFileReaderByCsv::lines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty file") << QByteArray() << QStringList{": no rows"};
    QTest::newRow("no five-field line")
        << QByteArray("alice,4711,Standard,2024-03-05 08:00\n\nalice,4711,Standard,2024-03-05 "
                      "08:00,2024-03-05 09:30,\n")
        << QStringList{": no rows"};
    QTest::newRow("header line is a line like any other")
        << QByteArray("user,dongle,type,start,end\nalice,4711,Standard,2024-03-05 08:00,2024-03-05 "
                      "09:30\n")
        << QStringList{"type: user|dongle|||In", "type: user|dongle|||Out",
                       "type: alice|4711|2024-03-05|08:00:00|In",
                       "type: alice|4711|2024-03-05|09:30:00|Out"};
    QTest::newRow("key from first non-empty product type")
        << QByteArray(
               "ann,1,,2024-03-05 08:00,2024-03-05 09:00\nbo,2,Pro,2024-03-05 10:00,2024-03-05 "
               "11:00\ncy,3,Std,2024-03-05 12:00,2024-03-05 13:00\n")
        << QStringList{"Pro: ann|1|2024-03-05|08:00:00|In", "Pro: ann|1|2024-03-05|09:00:00|Out",
                       "Pro: bo|2|2024-03-05|10:00:00|In",  "Pro: bo|2|2024-03-05|11:00:00|Out",
                       "Pro: cy|3|2024-03-05|12:00:00|In",  "Pro: cy|3|2024-03-05|13:00:00|Out"};
    QTest::newRow("no product type at all")
        << QByteArray("ann,1,,2024-03-05 08:00,2024-03-05 09:00\n")
        << QStringList{": ann|1|2024-03-05|08:00:00|In", ": ann|1|2024-03-05|09:00:00|Out"};
    QTest::newRow("semicolons removed everywhere")
        << QByteArray("al;ice,47;11,Std,2024-03-05 08:00,2024-03-05 09:30;\n")
        << QStringList{"Std: alice|4711|2024-03-05|08:00:00|In",
                       "Std: alice|4711|2024-03-05|09:30:00|Out"};
    QTest::newRow("blanks kept, moment with blank is null")
        << QByteArray(" alice , 4711 ,Std, 2024-03-05 08:00,2024-03-05 09:30\n")
        << QStringList{"Std:  alice | 4711 |||In", "Std:  alice | 4711 |2024-03-05|09:30:00|Out"};
    QTest::newRow("seconds, both separators, bad day, hour 24")
        << QByteArray(
               "a,1,S,2024-03-05 08:00:00,2024-03-05/09:30\nb,2,S,2023-02-29 08:00,2024/03/05 "
               "24:00\nc,3,S,no moment,2024/02/29 23:59\n")
        << QStringList{"S: a|1|||In",  "S: a|1|||Out", "S: b|2|||In",
                       "S: b|2|||Out", "S: c|3|||In",  "S: c|3|2024-02-29|23:59:00|Out"};
    QTest::newRow("quotes are ordinary characters")
        << QByteArray(
               "\"alice\",4711,Std,2024-03-05 08:00,2024-03-05 09:30\n\"a,b\",4711,Std,2024-03-05 "
               "08:00,2024-03-05 09:30\n")
        << QStringList{"Std: \"alice\"|4711|2024-03-05|08:00:00|In",
                       "Std: \"alice\"|4711|2024-03-05|09:30:00|Out"};
    QTest::newRow("CRLF line ends")
        << QByteArray("alice,4711,Std,2024-03-05 08:00,2024-03-05 09:30\r\nbob,4712,Std,2024-03-06 "
                      "08:00,2024-03-06 09:30\r\n")
        << QStringList{
               "Std: alice|4711|2024-03-05|08:00:00|In", "Std: alice|4711|2024-03-05|09:30:00|Out",
               "Std: bob|4712|2024-03-06|08:00:00|In", "Std: bob|4712|2024-03-06|09:30:00|Out"};
    QTest::newRow("lone carriage returns are kept, on the first line and later ones alike")
        << QByteArray("a\rb,1,Std,2024-03-05 08:00,2024-03-05 09:30\r\r\n"
                      "c\rd,2,Std,2024-03-06 08:00,2024-03-06 09:30\n")
        << QStringList{"Std: a\rb|1|2024-03-05|08:00:00|In", "Std: a\rb|1|||Out",
                       "Std: c\rd|2|2024-03-06|08:00:00|In", "Std: c\rd|2|2024-03-06|09:30:00|Out"};
    QTest::newRow("NUL byte ends the line's text")
        << TestSupport::bytes("alice,4711,Std,2024-03-05 08:00,2024-03-05 09:30\0,x,y\n")
        << QStringList{"Std: alice|4711|2024-03-05|08:00:00|In",
                       "Std: alice|4711|2024-03-05|09:30:00|Out"};
    QTest::newRow("invalid UTF-8")
        << QByteArray("al\xff"
                      "ce,4711,St\xc3,2024-03-05 08:00,2024-03-05 09:30\n")
        << QStringList{QStringLiteral("St\uFFFD: al\uFFFDce|4711|2024-03-05|08:00:00|In"),
                       QStringLiteral("St\uFFFD: al\uFFFDce|4711|2024-03-05|09:30:00|Out")};
    QTest::newRow("100,000 commas, then a good line")
        << QByteArray(100000, ',') + "\nalice,4711,Std,2024-03-05 08:00,2024-03-05 09:30\n"
        << QStringList{"Std: alice|4711|2024-03-05|08:00:00|In",
                       "Std: alice|4711|2024-03-05|09:30:00|Out"};
    QTest::newRow("last line without line end")
        << QByteArray("alice,4711,Std,2024-03-05 08:00,2024-03-05 09:30")
        << QStringList{"Std: alice|4711|2024-03-05|08:00:00|In",
                       "Std: alice|4711|2024-03-05|09:30:00|Out"};
}

void TestFileReaderByCsv::lines()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    const QString path = m_dir.filePath(QStringLiteral("lines.csv"));
    QVERIFY(TestSupport::writeFile(path, content));
    QCOMPARE(TestSupport::describe(FileReaderByCSV().read(path)), expected);
}

void TestFileReaderByCsv::junkGivesOneEntry_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("binary junk") << TestSupport::junk(1 << 18, 12345);
    QTest::newRow("only NUL bytes") << QByteArray(4096, '\0');
    QTest::newRow("one long line of commas") << QByteArray(100000, ',');
    QTest::newRow("five-field lines of junk")
        << TestSupport::bytes("\x01,\xfe,\x80\x80,\xff/,-\x00\n").repeated(1000);
}

void TestFileReaderByCsv::junkGivesOneEntry()
{
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath(QStringLiteral("junk.csv"));
    QVERIFY(TestSupport::writeFile(path, content));
    const UsageTable table = FileReaderByCSV().read(path);
    QCOMPARE(table.size(), 1);
    QCOMPARE(table.first().size() % 2, 0);
}

void TestFileReaderByCsv::unopenablePathGivesEmptyTable()
{
    FileReaderByCSV reader;
    QVERIFY(reader.read(m_dir.filePath(QStringLiteral("missing.csv"))).isEmpty());
    QVERIFY(reader.read(m_dir.path()).isEmpty());
    QVERIFY(reader.read(QString()).isEmpty());
}

void TestFileReaderByCsv::unreadableFileGivesEmptyTable()
{
    const QString path = m_dir.filePath(QStringLiteral("locked.csv"));
    QVERIFY(TestSupport::writeFile(path, "alice,4711,Std,2024-03-05 08:00,2024-03-05 09:30\n"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly))
        QSKIP("This user can read a file without read permission.");
    QVERIFY(FileReaderByCSV().read(path).isEmpty());
}

// A year of a site's rows names a few users and dongles many thousand times; each name is held
// once.
void TestFileReaderByCsv::equalNamesShareOneText()
{
    const QString path = m_dir.filePath(QStringLiteral("shared.csv"));
    QVERIFY(TestSupport::writeFile(path, "anna,7,P,2024-03-05 08:00,2024-03-05 09:00\n"
                                         "bo,7,P,2024-03-05 08:10,2024-03-05 09:00\n"
                                         "anna,7,P,2024-03-06 08:00,2024-03-06 09:00\n"));
    const UsageRecordList rows = FileReaderByCSV().read(path).value(QStringLiteral("P"));
    QCOMPARE(rows.size(), 6);
    QCOMPARE(rows.at(4).userName(), QStringLiteral("anna"));
    QCOMPARE(rows.at(4).userName().constData(), rows.at(0).userName().constData());
    QCOMPARE(rows.at(5).dogNum().constData(), rows.at(2).dogNum().constData());
    QVERIFY(rows.at(2).userName().constData() != rows.at(0).userName().constData());
}

QTEST_GUILESS_MAIN(TestFileReaderByCsv)
#include "tst_filereaderbycsv.moc"

void TestFileReaderByCsv::otherProductTypesAreKept_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QStringList>("others");
    QTest::addColumn<bool>("more");
    QTest::newRow("one type") << QStringList{"Viewer", "Viewer"} << QStringList() << false;
    QTest::newRow("a viewer and professionals")
        << QStringList{"Viewer", "Pro", "Pro", "Pro"} << QStringList{"Pro"} << false;
    QTest::newRow("empty types pass unseen")
        << QStringList{"", "Viewer", "", "Pro", "Viewer", "Suite"} << QStringList{"Pro", "Suite"}
        << false;
    QStringList many;
    QStringList named;
    for (int i = 0; i <= 25; ++i) {
        many << QString("T%1").arg(i);
        if (i >= 1 && i <= 20)
            named << QString("T%1").arg(i);
    }
    QTest::newRow("more types than are named") << many << named << true;
}

// The rows of a log all go under its first product type; the other types it held are kept, so
// that the export can say so.
void TestFileReaderByCsv::otherProductTypesAreKept()
{
    QFETCH(QStringList, types);
    QFETCH(QStringList, others);
    QFETCH(bool, more);
    QByteArray content;
    for (const QString &type : qAsConst(types))
        content += "anna,D-1," + type.toUtf8() + ",2024-03-05 08:00,2024-03-05 09:00\n";
    const QString path = m_dir.filePath(QStringLiteral("mixed.csv"));
    QVERIFY(TestSupport::writeFile(path, content));
    const LocationRead read = FileReaderByCSV().readLocation(path);
    QCOMPARE(read.table.size(), 1);
    QCOMPARE(read.table.first().size(), 2 * types.size());
    QCOMPARE(read.otherProductTypes, others);
    QCOMPARE(read.moreProductTypes, more);
}
