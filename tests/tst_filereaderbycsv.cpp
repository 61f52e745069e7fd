#include "datetimecodec.h"
#include "filereaderbycsv.h"
#include "heapgrowth.h"
#include "linereader.h"
#include "testsupport.h"
#include "textpool.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The reader as it was before it read plain lines as bytes: every line decoded, its marks and
// line end dropped, split at its commas, each moment parsed in the form its separator names.
LocationRead plainlyRead(const QByteArray &content)
{
    LocationRead result;
    QByteArray copy = content;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const QString separators[] = {QStringLiteral("-"), QStringLiteral("/")};
    const DateTimeCodec codecs[] = {DateTimeCodec(QStringLiteral("yyyy-MM-dd HH:mm")),
                                    DateTimeCodec(QStringLiteral("yyyy/MM/dd HH:mm"))};
    UsageRecordList rows;
    QString tableKey;
    LineReader lines(&buffer);
    QByteArray raw;
    while (lines.next(&raw)) {
        QString line = LineReader::decode(raw);
        line.remove(QLatin1Char(';'));
        line.remove(QLatin1Char('\n'));
        const QStringList fields = line.split(QLatin1Char(','));
        if (fields.size() != 5)
            continue;
        const QString &type = fields.at(2);
        if (tableKey.isEmpty() && !type.isEmpty()) {
            tableKey = type;
        } else if (!type.isEmpty() && type != tableKey &&
                   !result.otherProductTypes.contains(type)) {
            if (result.otherProductTypes.size() < LocationRead::kMostOtherTypes)
                result.otherProductTypes << type;
            else
                result.moreProductTypes = true;
        }
        QDateTime moments[2];
        for (int m = 0; m < 2; ++m) {
            for (int i = 0; i < 2; ++i) {
                if (fields.at(3 + m).contains(separators[i]))
                    moments[m] = codecs[i].parse(fields.at(3 + m));
            }
        }
        rows << UsageRecord(fields.at(0), fields.at(1), moments[0], QStringLiteral("In"))
             << UsageRecord(fields.at(0), fields.at(1), moments[1], QStringLiteral("Out"));
    }
    result.table.insert(tableKey, rows);
    return result;
}

// Lines as logs hold them, and as they should not: plain ones of both moment forms, marks,
// letters beyond ASCII, NUL bytes, carriage returns, missing and extra fields, bad moments.
QByteArray generatedLog(quint32 seed, int lineCount, bool distinctNames)
{
    QRandomGenerator random(seed);
    const QList<QByteArray> oddities = {";",  "\xc3\xa9", "\xff", QByteArray(1, '\0'),
                                        "\r", ",",        " ",    "\xe2\x82\xac"};
    const auto moment = [&]() -> QByteArray {
        const char separator = random.bounded(2) ? '-' : '/';
        QByteArray text = QByteArray::number(2020 + random.bounded(6)) + separator +
                          QByteArray::number(random.bounded(1, 14)).rightJustified(2, '0') +
                          separator +
                          QByteArray::number(random.bounded(1, 32)).rightJustified(2, '0') + ' ' +
                          QByteArray::number(random.bounded(25)).rightJustified(2, '0') + ':' +
                          QByteArray::number(random.bounded(61)).rightJustified(2, '0');
        switch (random.bounded(12)) {
        case 0:
            return text + ":00";
        case 1:
            return text.replace(' ', 'T');
        case 2:
            return QByteArray();
        case 3:
            return text.left(int(random.bounded(text.size())));
        default:
            return text;
        }
    };
    QByteArray log;
    for (int i = 0; i < lineCount; ++i) {
        QByteArray user = distinctNames ? "u" + QByteArray::number(i)
                                        : "user" + QByteArray::number(random.bounded(20));
        QByteArray dongle =
            distinctNames ? QByteArray::number(100000 + i) : QByteArray::number(random.bounded(5));
        QByteArray type = random.bounded(20) == 0 ? "T" + QByteArray::number(random.bounded(30))
                                                  : QByteArray("Suite");
        QByteArray line = user + ',' + dongle + ',' + type + ',' + moment() + ',' + moment();
        if (random.bounded(6) == 0) {
            const int at = int(random.bounded(line.size() + 1));
            line.insert(at, oddities.at(int(random.bounded(oddities.size()))));
        }
        log += line + (random.bounded(5) == 0 ? "\r\n" : "\n");
    }
    if (random.bounded(2))
        log.chop(1);
    return log;
}

QStringList moments(const UsageTable &table)
{
    QStringList out;
    for (const UsageRecordList &rows : table) {
        for (const UsageRecord &row : rows)
            out << QStringLiteral("%1 %2 %3")
                       .arg(row.dateTime().toString(Qt::ISODate))
                       .arg(row.dateTime().isValid())
                       .arg(row.dateTime().isNull());
    }
    return out;
}

} // namespace

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
    void sameAsPlainReading_data();
    void sameAsPlainReading();
    void poolGivesUpOnDistinctNames();
    void largeLogOfDistinctNamesIsReadWatchingTheHeap();

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

void TestFileReaderByCsv::sameAsPlainReading_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("distinct");
    QTest::newRow("repeated names") << 1u << 3000 << false;
    QTest::newRow("distinct names") << 2u << 3000 << true;
    // Enough lines for the pools to look at what they are worth, and for rows to grow by
    // estimate more than once.
    QTest::newRow("many distinct names") << 3u << 60000 << true;
    QTest::newRow("many repeated names") << 4u << 60000 << false;
}

// Lines read as bytes give what decoding them gives, row for row and moment for moment.
void TestFileReaderByCsv::sameAsPlainReading()
{
    QFETCH(quint32, seed);
    QFETCH(int, lines);
    QFETCH(bool, distinct);
    const QByteArray content = generatedLog(seed, lines, distinct);
    const QString path = m_dir.filePath(QStringLiteral("generated%1.csv").arg(seed));
    QVERIFY(TestSupport::writeFile(path, content));
    const LocationRead actual = FileReaderByCSV().readLocation(path);
    const LocationRead expected = plainlyRead(content);
    QCOMPARE(TestSupport::describe(actual.table), TestSupport::describe(expected.table));
    QCOMPARE(moments(actual.table), moments(expected.table));
    QCOMPARE(actual.table.firstKey(), expected.table.firstKey());
    QCOMPARE(actual.table.firstKey().isNull(), expected.table.firstKey().isNull());
    QCOMPARE(actual.otherProductTypes, expected.otherProductTypes);
    QCOMPARE(actual.moreProductTypes, expected.moreProductTypes);
    QVERIFY(actual.table.first().size() > lines);
}

// A pool that finds few of its texts again stops looking them up; its texts stay the same.
void TestFileReaderByCsv::poolGivesUpOnDistinctNames()
{
    TextPool distinct;
    TextPool repeated;
    for (int i = 0; i < 3 * TextPool::ProbeLookups; ++i) {
        const QString name = QStringLiteral("user%1").arg(i);
        QCOMPARE(distinct.text(QStringRef(&name)), name);
        const QByteArray latin = "user" + QByteArray::number(i % 50);
        QCOMPARE(repeated.text(QLatin1String(latin)), QString::fromLatin1(latin));
    }
    QVERIFY(!distinct.isPooling());
    QCOMPARE(distinct.size(), TextPool::ProbeLookups);
    QVERIFY(repeated.isPooling());
    QCOMPARE(repeated.size(), 50);
    const QString again = QStringLiteral("user7");
    QCOMPARE(repeated.text(QStringRef(&again)).constData(),
             repeated.text(QLatin1String("user7")).constData());
}

// Every name its own allocation: the heap is watched while such a log is read, so that what it
// gains is advised to use huge pages, and the rows are the same as ever.
void TestFileReaderByCsv::largeLogOfDistinctNamesIsReadWatchingTheHeap()
{
    QByteArray content;
    int lines = 0;
    for (; content.size() < HeapGrowth::LeastBytes; ++lines) {
        content += "user" + QByteArray::number(lines) + ".example,D" +
                   QByteArray::number(1000000 + lines) + ",Delivery Suite," +
                   (lines % 2 ? "2024-06-06 23:20,2024/06/07 06:06\n"
                              : "2024/02/16 07:03,2024-02-16 13:54\n");
    }
    const QString path = m_dir.filePath(QStringLiteral("large.csv"));
    QVERIFY(TestSupport::writeFile(path, content));
    const quint64 looksBefore = HeapGrowth::looks();

    const LocationRead read = FileReaderByCSV().readLocation(path);

    const UsageRecordList rows = read.table.value(QStringLiteral("Delivery Suite"));
    QCOMPARE(rows.size(), 2 * lines);
    for (const int line : {0, lines / 2, lines - 1}) {
        const UsageRecord &out = rows.at(2 * line + 1);
        QCOMPARE(out.userName(), QStringLiteral("user%1.example").arg(line));
        QCOMPARE(out.dogNum(), QStringLiteral("D%1").arg(1000000 + line));
        QCOMPARE(out.dateText(), QString(line % 2 ? "2024-06-07" : "2024-02-16"));
    }
#if defined(Q_OS_LINUX) && defined(__GLIBC__) && !defined(PLINTHRA_SANITIZED_BUILD)
    QVERIFY(HeapGrowth::looks() - looksBefore >= quint64(lines / HeapGrowth::CallsPerLook));
#else
    Q_UNUSED(looksBefore);
#endif
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
