#include "readcancel.h"
#include "testsupport.h"
#include "usagesessions.h"
#include "zqffilereader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

const QByteArray kStart = "2024-03-05 08:00:01.250 userName=alice,productType=Standard\n";
const QByteArray kDongle = "2024-03-05 08:00:02.010 dogNum is 4711\n";
const QByteArray kEnd = "2024-03-05 09:30:00.500 Application run end\n";

QByteArray run(const QString &user, const QString &type, const QString &dongle, int hour)
{
    const QString stamp =
        QStringLiteral("2024-03-05 %1:00:00.000 ").arg(hour, 2, 10, QLatin1Char('0'));
    return (stamp + QStringLiteral("userName=%1,productType=%2\n").arg(user, type) + stamp +
            QStringLiteral("dogNum is %1\n").arg(dongle) + stamp.left(19) +
            QStringLiteral(".999 Application run end\n"))
        .toUtf8();
}

// One use of user on dongle from start to end, both "yyyy-MM-dd hh:mm:ss".
QByteArray use(const QString &user, const QString &dongle, const QString &start, const QString &end)
{
    return (start + QStringLiteral(".000 userName=%1,productType=Std\n").arg(user) + start +
            QStringLiteral(".100 dogNum is %1\n").arg(dongle) + end +
            QStringLiteral(".000 Application run end\n"))
        .toUtf8();
}

// Every session in start order with the instants the zone gives its moments, then every row
// in the reader's order with its instant: what a report is made of.
QStringList describeInstants(const UsageTable &table)
{
    UsageSessions sessions = UsageSessions::fromLocationRows(table);
    sessions.orderByStart();
    QStringList texts;
    for (const UsageSessionList &list : sessions.sessions()) {
        for (const UsageSession &session : list)
            texts << QStringLiteral("%1 %2 %3 %4")
                         .arg(session.userName(), UsageSession::stateName(session.state()))
                         .arg(session.startSeconds())
                         .arg(session.seconds());
    }
    for (const UsageRecordList &rows : table) {
        for (const UsageRecord &row : rows)
            texts << row.userName() + QLatin1Char(' ') + row.logAction() + QLatin1Char(' ') +
                         QString::number(row.dateTime().toSecsSinceEpoch());
    }
    return texts;
}

} // namespace

class TestZqfFileReader : public QObject
{
    Q_OBJECT

private slots:
    void workedIllustration();
    void lineOrderDoesNotMatter_data();
    void lineOrderDoesNotMatter();
    void oneFile_data();
    void oneFile();
    void folder_data();
    void folder();
    void junkDoesNoHarm_data();
    void junkDoesNoHarm();
    void nothingToReadGivesEmptyTable();
    void manyNonMatchingFiles();
    void unreadableFileIsSkipped();
    void twoThreadsReadWhatOneReads();
    void twoThreadsPlaceTheRepeatedHourAsOneDoes();
    void cancelledReadStopsInBothThreads_data();
    void cancelledReadStopsInBothThreads();
};

void TestZqfFileReader::workedIllustration()
{
    const UsageTable table =
        ZqfFileReader().read(TestSupport::dataPath(QStringLiteral("zqf/illustration")));
    QCOMPARE(TestSupport::describe(table),
             QStringList({
                 QStringLiteral("Standard: alice| 4711|2024-03-05|08:00:01|In"),
                 QStringLiteral("Standard: alice| 4711|2024-03-05|09:30:00|Out"),
             }));
    QCOMPARE(table.first().at(0).dateTime(),
             QDateTime(QDate(2024, 3, 5), QTime(8, 0, 1), Qt::LocalTime));
}

void TestZqfFileReader::lineOrderDoesNotMatter_data()
{
    QTest::addColumn<QByteArray>("content");
    QList<QByteArray> lines{kStart, kDongle, kEnd};
    std::sort(lines.begin(), lines.end());
    int order = 0;
    do {
        QTest::addRow("order %d", ++order) << lines.join();
    } while (std::next_permutation(lines.begin(), lines.end()));
}

void TestZqfFileReader::lineOrderDoesNotMatter()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QVERIFY(TestSupport::writeFile(dir.filePath(QStringLiteral("Log1.log")), content));
    QCOMPARE(TestSupport::describe(ZqfFileReader().read(dir.path())),
             QStringList({QStringLiteral("Standard: alice| 4711|2024-03-05|08:00:01|In"),
                          QStringLiteral("Standard: alice| 4711|2024-03-05|09:30:00|Out")}));
}

void TestZqfFileReader::oneFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    const QString in = QStringLiteral("Standard: alice| 4711|2024-03-05|08:00:01|In");
    const QString out = QStringLiteral("Standard: alice| 4711|2024-03-05|09:30:00|Out");

    QTest::newRow("no start line") << kDongle + kEnd << QStringList{": no rows"};
    QTest::newRow("start lines, no complete run")
        << kStart + "2024-03-05 08:00:05.000 userName=bob,productType=Pro\n"
        << QStringList{"Pro: no rows"};
    QTest::newRow("CRLF line ends")
        << QByteArray(kStart + kDongle + kEnd).replace("\n", "\r\n") << QStringList{in, out};
    QTest::newRow("two userName items: only the dongle and end parts count")
        << "2024-03-05 07:00:00.000 userName=x,userName=y,productType=Other,dogNum is 9\n" +
               kStart + kEnd
        << QStringList{"Standard: alice| 9|2024-03-05|08:00:01|In",
                       "Standard: alice| 9|2024-03-05|09:30:00|Out"};
    QTest::newRow("user and product type in one item")
        << "2024-03-05 08:00:01.250 userName=alice productType=Standard\n" + kDongle + kEnd
        << QStringList{"alice productType: alice productType| 4711|2024-03-05|08:00:01|In",
                       "alice productType: alice productType| 4711|2024-03-05|09:30:00|Out"};
    QTest::newRow("second start line replaces the first")
        << "2024-03-05 07:00:00.000 userName=bob,productType=Standard\n" + kStart + kDongle + kEnd
        << QStringList{in, out};
    QTest::newRow("end line before dongle line") << kStart + kEnd + kDongle << QStringList{in, out};
    QTest::newRow("dongle of an earlier incomplete run is kept")
        << "2024-03-05 07:00:00.000 userName=bob,productType=Standard\n" + kDongle + kStart + kEnd
        << QStringList{in, out};
    QTest::newRow("stamp without fraction does not parse")
        << "2024-03-05 08:00:01 userName=alice,productType=Standard\n" + kDongle + kEnd
        << QStringList{"Standard: no rows"};
    QTest::newRow("every is cuts the dongle item")
        << kStart + "2024-03-05 08:00:02.010 Dispatcher dogNum is 4711\n" + kEnd
        << QStringList{"Standard: alice|patcher dogNum |2024-03-05|08:00:01|In",
                       "Standard: alice|patcher dogNum |2024-03-05|09:30:00|Out"};
    QTest::newRow("values without separator stay empty until supplied")
        << "2024-03-05 08:00:01.250 userName,productType=Standard\n"
           "2024-03-05 08:00:01.250 userName=alice,productType=\n"
           "2024-03-05 08:00:02.010 dogNum=4711\n"
           "2024-03-05 08:00:02.010 dogNum is\n" +
               kEnd + kStart + kDongle
        << QStringList{in, out};
    QTest::newRow("two runs, each needs its own lines")
        << kStart + kDongle + kEnd + "2024-03-05 10:00:00.000 userName=bob,productType=Standard\n" +
               "2024-03-05 11:00:00.000 Application run end\n" + kDongle
        << QStringList{in, out, "Standard: bob| 4711|2024-03-05|10:00:00|In",
                       "Standard: bob| 4711|2024-03-05|11:00:00|Out"};
    QTest::newRow("rows filed under the type in force at completion")
        << kStart + kDongle + kEnd + "2024-03-05 10:00:00.000 userName=bob,productType=Pro\n"
        << QStringList{"Pro: no rows", in, out};
    QTest::newRow("a lone product type does not count")
        << kStart + kDongle + "2024-03-05 09:00:00.000 productType=Pro\n" + kEnd
        << QStringList{in, out};
    QTest::newRow("NUL byte ends the line's text")
        << TestSupport::bytes("2024-03-05 08:00:01.250 userName=alice\0,productType=Standard\n") +
               kDongle + kEnd
        << QStringList{": no rows"};
    QTest::newRow("invalid UTF-8")
        << "2024-03-05 08:00:01.250 userName=al\xff"
           "ce,productType=Std\xc3\n" +
               kDongle + kEnd
        << QStringList{QStringLiteral("Std\uFFFD: al\uFFFDce| 4711|2024-03-05|08:00:01|In"),
                       QStringLiteral("Std\uFFFD: al\uFFFDce| 4711|2024-03-05|09:30:00|Out")};
}

void TestZqfFileReader::oneFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QVERIFY(TestSupport::writeFile(dir.filePath(QStringLiteral("Log1.log")), content));
    QCOMPARE(TestSupport::describe(ZqfFileReader().read(dir.path())), expected);
}

void TestZqfFileReader::folder_data()
{
    // File name, then its content, for each file.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("expected");

    const QString alice = QString::fromUtf8(
        run(QStringLiteral("alice"), QStringLiteral("Std"), QStringLiteral("1"), 8));
    const QString bob = QString::fromUtf8(
        run(QStringLiteral("bob"), QStringLiteral("Std"), QStringLiteral("2"), 10));
    const QString carol = QString::fromUtf8(
        run(QStringLiteral("carol"), QStringLiteral("Pro"), QStringLiteral("3"), 12));
    const QStringList aliceRows{"Std: alice| 1|2024-03-05|08:00:00|In",
                                "Std: alice| 1|2024-03-05|08:00:00|Out"};
    const QStringList bobRows{"Std: bob| 2|2024-03-05|10:00:00|In",
                              "Std: bob| 2|2024-03-05|10:00:00|Out"};
    const QStringList carolRows{"Pro: carol| 3|2024-03-05|12:00:00|In",
                                "Pro: carol| 3|2024-03-05|12:00:00|Out"};

    QTest::newRow("one type, rows in listing order, Log10 before Log2")
        << QStringList{"Log2.log", alice, "Log10.log", bob} << bobRows + aliceRows;
    QTest::newRow("name matched without regard to case")
        << QStringList{"log1.LOG", alice, "LOG2.log", bob} << aliceRows + bobRows;
    QTest::newRow("two types keep their own rows")
        << QStringList{"Log1.log", alice, "Log2.log", carol, "Log3.log", bob}
        << carolRows + aliceRows + bobRows;
    QTest::newRow("a file without start line adds the empty key")
        << QStringList{"Log1.log", alice, "Log2.log", QStringLiteral("nothing here\n")}
        << QStringList{": no rows"} + aliceRows;
    QTest::newRow("a run never continues into the next file")
        << QStringList{"Log1.log", QString::fromUtf8(kStart + kDongle), "Log2.log",
                       QString::fromUtf8(kEnd)}
        << QStringList{": no rows", "Standard: no rows"};
    QTest::newRow("other names and subfolders are not read")
        << QStringList{"app.log",           alice, "Log1.txt", alice, "sub/Log1.log", alice,
                       "Log1.log/Log2.log", alice, "Log3.log", carol}
        << carolRows;
}

void TestZqfFileReader::folder()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    for (int i = 0; i + 1 < files.size(); i += 2)
        QVERIFY(TestSupport::writeFile(dir.filePath(files.at(i)), files.at(i + 1).toUtf8()));
    QCOMPARE(TestSupport::describe(ZqfFileReader().read(dir.path())), expected);
}

void TestZqfFileReader::junkDoesNoHarm_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("binary junk") << TestSupport::junk(1 << 18, 777);
    QTest::newRow("only NUL bytes") << QByteArray(4096, '\0');
    QTest::newRow("one long line of commas") << QByteArray(100000, ',');
    QTest::newRow("keys between many commas") << QByteArray(50000, ',') +
                                                     "userName=" + QByteArray(50000, ',') +
                                                     "productType=,dogNum is\n";
}

void TestZqfFileReader::junkDoesNoHarm()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QVERIFY(TestSupport::writeFile(dir.filePath(QStringLiteral("Log1.log")), content));
    QVERIFY(TestSupport::writeFile(
        dir.filePath(QStringLiteral("Log2.log")),
        run(QStringLiteral("alice"), QStringLiteral("Std"), QStringLiteral("1"), 8)));
    const UsageTable table = ZqfFileReader().read(dir.path());
    QVERIFY(table.contains(QStringLiteral("Std")));
    QCOMPARE(table.value(QStringLiteral("Std")).size(), 2);
}

void TestZqfFileReader::nothingToReadGivesEmptyTable()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Log1.log"));
    QVERIFY(TestSupport::writeFile(file, kStart + kDongle + kEnd));
    ZqfFileReader reader;
    QVERIFY(reader.read(dir.filePath(QStringLiteral("missing"))).isEmpty());
    QVERIFY(reader.read(file).isEmpty());
    QVERIFY(reader.read(QString()).isEmpty());
    QTemporaryDir empty;
    QVERIFY(reader.read(empty.path()).isEmpty());
}

void TestZqfFileReader::manyNonMatchingFiles()
{
    QTemporaryDir dir;
    for (int i = 0; i < 10000; ++i) {
        QFile file(dir.filePath(QStringLiteral("app%1.log").arg(i)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kStart + kDongle + kEnd);
    }
    QVERIFY(ZqfFileReader().read(dir.path()).isEmpty());
}

void TestZqfFileReader::unreadableFileIsSkipped()
{
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("Log2.log"));
    QVERIFY(TestSupport::writeFile(
        dir.filePath(QStringLiteral("Log1.log")),
        run(QStringLiteral("alice"), QStringLiteral("Std"), QStringLiteral("1"), 8)));
    QVERIFY(TestSupport::writeFile(
        locked, run(QStringLiteral("carol"), QStringLiteral("Pro"), QStringLiteral("3"), 12)));
    QVERIFY(TestSupport::writeFile(
        dir.filePath(QStringLiteral("Log3.log")),
        run(QStringLiteral("bob"), QStringLiteral("Std"), QStringLiteral("2"), 10)));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
    QFile probe(locked);
    if (probe.open(QIODevice::ReadOnly))
        QSKIP("This user can read a file without read permission.");
    QCOMPARE(TestSupport::describe(ZqfFileReader().read(dir.path())),
             QStringList(
                 {"Std: alice| 1|2024-03-05|08:00:00|In", "Std: alice| 1|2024-03-05|08:00:00|Out",
                  "Std: bob| 2|2024-03-05|10:00:00|In", "Std: bob| 2|2024-03-05|10:00:00|Out"}));
}

void TestZqfFileReader::twoThreadsReadWhatOneReads()
{
    // Files that end mid-run, name no start, switch product type, hold CR LF and junk: the
    // halves must join to exactly the table of one reader going through them in order.
    QTemporaryDir dir;
    const int files = ZqfFileReader::ParallelFileCount * 2 + 7;
    for (int i = 0; i < files; ++i) {
        QByteArray content;
        const QString type = i % 3 == 0 ? QStringLiteral("Pro") : QStringLiteral("Std");
        for (int r = 0; r < i % 5; ++r)
            content += run(QStringLiteral("u%1").arg((i * 7 + r) % 11), type,
                           QString::number(i % 13), (i + r) % 24);
        if (i % 4 == 1)
            content += kStart + kDongle;
        if (i % 6 == 2)
            content.replace("\n", "\r\n");
        if (i % 9 == 3)
            content += TestSupport::junk(300, quint32(i));
        QVERIFY(TestSupport::writeFile(dir.filePath(QStringLiteral("Log%1.log").arg(i)), content));
    }
    ZqfFileReader one;
    one.setMaxThreads(1);
    const QStringList expected = TestSupport::describe(one.read(dir.path()));
    QCOMPARE(one.lastThreadCount(), 1);
    ZqfFileReader two;
    two.setMaxThreads(2);
    QCOMPARE(TestSupport::describe(two.read(dir.path())), expected);
    // The second core must really be used, or the speed-up is gone.
    QCOMPARE(two.lastThreadCount(), 2);
    QVERIFY(expected.size() > files);
}

void TestZqfFileReader::twoThreadsPlaceTheRepeatedHourAsOneDoes()
{
    // Guards the comparison: it means something only where 02:00 to 03:00 of 2024-10-27 occurs
    // twice.
    if (qgetenv("TZ") != "Europe/Berlin")
        QSKIP("Runs only under TZ=Europe/Berlin.");
    // Each file: a summer use, two uses inside the repeated hour and a winter use. The summer
    // and winter moments differ from file to file, so that each thread keeps converting new
    // ordinary moments while the other meets the repeated hour.
    QTemporaryDir dir;
    const int files = 200;
    for (int i = 0; i < files; ++i) {
        const QString user = QStringLiteral("u%1").arg(i);
        const QString dongle = QString::number(i);
        const QTime ordinary = QTime(9, 0).addSecs(i * 7);
        const QString summer = QDate(2024, 7, 1 + i % 28).toString(Qt::ISODate) + QLatin1Char(' ');
        const QString winter = QDate(2024, 12, 1 + i % 28).toString(Qt::ISODate) + QLatin1Char(' ');
        const QString change = QStringLiteral("2024-10-27 ");
        QVERIFY(TestSupport::writeFile(
            dir.filePath(QStringLiteral("Log%1.log").arg(i, 3, 10, QLatin1Char('0'))),
            use(user, dongle, summer + ordinary.toString(Qt::ISODate),
                summer + ordinary.addSecs(3600).toString(Qt::ISODate)) +
                use(user, dongle, change + QStringLiteral("02:10:00"),
                    change + QStringLiteral("02:50:00")) +
                use(user, dongle, change + QStringLiteral("02:20:00"),
                    change + QStringLiteral("02:40:00")) +
                use(user, dongle, winter + ordinary.toString(Qt::ISODate),
                    winter + ordinary.addSecs(1800).toString(Qt::ISODate))));
    }
    ZqfFileReader one;
    one.setMaxThreads(1);
    const QStringList expected = describeInstants(one.read(dir.path()));
    QCOMPARE(expected.size(), files * 4 + files * 8);
    // Both uses of the repeated hour are taken in summer time, as one thread reads them.
    QVERIFY(expected.contains(QStringLiteral("u7 closed 1729987800 2400")));
    QVERIFY(expected.contains(QStringLiteral("u7 closed 1729988400 1200")));
    ZqfFileReader two;
    two.setMaxThreads(2);
    for (int round = 0; round < 20; ++round) {
        const QStringList got = describeInstants(two.read(dir.path()));
        QCOMPARE(two.lastThreadCount(), 2);
        if (got == expected)
            continue;
        // The first difference, with its place, says more than the whole lists.
        for (int k = 0; k < expected.size(); ++k)
            QCOMPARE(QStringLiteral("round %1, line %2: ").arg(round).arg(k) + got.value(k),
                     QStringLiteral("round %1, line %2: ").arg(round).arg(k) + expected.at(k));
        QCOMPARE(got.size(), expected.size());
    }
}

QTEST_GUILESS_MAIN(TestZqfFileReader)
#include "tst_zqffilereader.moc"

void TestZqfFileReader::cancelledReadStopsInBothThreads_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("one thread") << 1;
    QTest::newRow("two threads") << 2;
}

// A cancelled export reads nothing more, in the helper thread too.
void TestZqfFileReader::cancelledReadStopsInBothThreads()
{
    QFETCH(int, threads);
    QTemporaryDir dir;
    for (int i = 0; i < ZqfFileReader::ParallelFileCount * 2; ++i)
        QVERIFY(TestSupport::writeFile(
            dir.filePath(QStringLiteral("Log%1.log").arg(i)),
            run(QStringLiteral("u%1").arg(i), QStringLiteral("Pro"), QStringLiteral("7"), i % 24)));
    ZqfFileReader reader;
    reader.setMaxThreads(threads);
    QVERIFY(!TestSupport::describe(reader.read(dir.path())).isEmpty());
    const std::atomic_bool cancel{true};
    const ReadCancel::Scope scope(&cancel);
    QCOMPARE(TestSupport::describe(reader.read(dir.path())), QStringList());
    QCOMPARE(reader.lastThreadCount(), threads);
}
