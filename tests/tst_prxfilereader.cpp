#include "flatjson.h"
#include "linepatternmatcher.h"
#include "prxfilereader.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {

const QByteArray kStart = "PRXUIPluginFacade::onStartup enter";
const QByteArray kEnd = "PRXUIPluginFacade::~PRXUIPluginFacade enter";

QByteArray line(const QByteArray &time, const QByteArray &message)
{
    return "2024-03-05 " + time + " 12.345[INFO][UI][0x1][Facade.cpp:1] " + message + "\n";
}

QByteArray user(const QByteArray &json)
{
    return "set User " + json;
}

// One row as text, for compact comparisons: key|user|dongle|date time|action.
QStringList rows(const UsageTable &table)
{
    QStringList out;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        for (const UsageRecord &record : it.value()) {
            out << QStringLiteral("%1|%2|%3|%4 %5|%6")
                       .arg(it.key(), record.userName(), record.dogNum(), record.dateText(),
                            record.timeText(), record.logAction());
        }
    }
    return out;
}

// The product's rules as they were written first: every user-set object read by QJsonDocument,
// rows appended run by run.
UsageTable plainRules(const QVector<LogEvent> &events)
{
    UsageTable table;
    const LogEvent *start = nullptr;
    const LogEvent *userEvent = nullptr;
    const auto append = [&](const LogEvent *end) {
        QString json = PrxFileReader::jsonText(userEvent->message);
        QString fields[3];
        if (!json.isNull()) {
            QByteArray bytes = json.toUtf8();
            if (bytes.indexOf('\0') >= 0)
                bytes.truncate(bytes.indexOf('\0'));
            const QJsonDocument document = QJsonDocument::fromJson(bytes);
            if (!document.isNull()) {
                const QJsonObject object = document.object();
                fields[0] = object.value("email").toString();
                fields[1] = object.value("dognum").toString();
                fields[2] = object.value("productType").toString();
            }
        }
        UsageRecordList &rows = table[fields[2]];
        rows << UsageRecord(fields[0], fields[1], start->dateTime, "In");
        if (end)
            rows << UsageRecord(fields[0], fields[1], end->dateTime, "Out");
    };
    for (const LogEvent &event : events) {
        if (event.kind == RunStart) {
            if (start && userEvent && !userEvent->message.isEmpty())
                append(nullptr);
            start = &event;
            userEvent = nullptr;
        } else if (event.kind == RunEnd && start) {
            if (userEvent && !userEvent->message.isEmpty())
                append(&event);
            start = nullptr;
            userEvent = nullptr;
        } else if (event.kind == UserSet && start) {
            userEvent = &event;
        }
    }
    return table;
}

// Every row's texts, with whether each is null, and its moment.
QStringList exactRows(const UsageTable &table)
{
    QStringList out;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        for (const UsageRecord &record : it.value()) {
            out << QStringLiteral("%1 %2|%3 %4|%5 %6|%7|%8")
                       .arg(it.key())
                       .arg(it.key().isNull())
                       .arg(record.userName())
                       .arg(record.userName().isNull())
                       .arg(record.dogNum())
                       .arg(record.dogNum().isNull())
                       .arg(record.dateTime().toString(Qt::ISODate))
                       .arg(record.logAction());
        }
    }
    return out;
}

const QByteArray kAnna = user(R"({"email":"anna@x.org","dognum":"D1","productType":"Pro"})");

} // namespace

class TestPrxFileReader : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_counter = 0;

    UsageTable readContent(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("prx%1.log").arg(++m_counter));
        TestSupport::writeFile(path, content);
        return PrxFileReader().read(path);
    }

private slots:
    void hooks();
    void sampleLog();
    void runRules_data();
    void runRules();
    void jsonOverSeveralLines();
    void nonAsciiUserAndProductType();
    void runsOfSeveralProductTypes();
    void badInput_data();
    void badInput();
    void longLineWithoutLineEnds();
    void continuationOfUserMessageIsBounded();
    void jsonTextIsWhatThePatternCaptures();
    void flatJsonSameAsQJsonDocument();
    void generatedLogSameAsPlainRules();
};

void TestPrxFileReader::hooks()
{
    const PrxFileReader reader;
    QCOMPARE(reader.runStartPattern(), QString(kStart));
    QCOMPARE(reader.runEndPattern(), QString(kEnd));
    QCOMPARE(reader.userSetPattern(), QString("set User"));
    QCOMPARE(reader.dateCaptureIndex(), 1);
    QCOMPARE(reader.timeCaptureIndex(), 2);
    QCOMPARE(reader.messageCaptureIndex(), 3);
    QCOMPARE(reader.linePattern(),
             QString("(\\d{4}-\\d{1,2}-\\d{1,2}) (\\d{1,2}:\\d{1,2}:\\d{1,2}) "
                     "\\d{1,3}\\.\\d{1,3}\\[[\\S\\s]+\\]\\[[\\S\\s]+\\]\\[[\\S\\s]+\\]"
                     "\\[[\\S\\s]+\\]([\\S\\s]+)"));
    // The reader's lines go through the linear scan, not QRegExp's quadratic retries.
    QVERIFY(LinePatternMatcher(reader.linePattern()).isLinear());
}

void TestPrxFileReader::sampleLog()
{
    PrxFileReader reader;
    const UsageTable table = reader.read(TestSupport::dataPath("prx/sample.log"));
    QCOMPARE(rows(table),
             (QStringList{
                 "Professional|anna.berg@example.com|D-10042|2024-03-05 08:00:01|In",
                 "Professional|anna.berg@example.com|D-10042|2024-03-05 09:30:10|Out",
                 // Closed by the next start-up: no end is known, so only its start is reported.
                 "Professional|anna.berg@example.com|D-10042|2024-03-05 12:00:00|In",
                 "Standard|li.wei@example.com|D-20077|2024-03-05 10:00:00|In",
                 "Standard|li.wei@example.com|D-20077|2024-03-05 11:45:30|Out",
             }));
}

void TestPrxFileReader::runRules_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("start, user, end")
        << line("08:00:00", kStart) + line("08:00:05", kAnna) + line("09:00:00", kEnd)
        << QStringList{"Pro|anna@x.org|D1|2024-03-05 08:00:00|In",
                       "Pro|anna@x.org|D1|2024-03-05 09:00:00|Out"};
    QTest::newRow("no user, no row")
        << line("08:00:00", kStart) + line("09:00:00", kEnd) << QStringList();
    QTest::newRow("second start closes run without Out")
        << line("08:00:00", kStart) + line("08:00:05", kAnna) + line("10:00:00", kStart)
        << QStringList{"Pro|anna@x.org|D1|2024-03-05 08:00:00|In"};
    QTest::newRow("open run at end is dropped")
        << line("08:00:00", kStart) + line("08:00:05", kAnna) << QStringList();
    QTest::newRow("user outside runs ignored")
        << line("07:00:00", kAnna) + line("08:00:00", kStart) + line("09:00:00", kEnd) +
               line("09:30:00", kAnna) + line("09:40:00", kEnd)
        << QStringList();
    QTest::newRow("later user wins")
        << line("08:00:00", kStart) + line("08:00:01", kAnna) +
               line("08:00:02", user(R"({"email":"bo@x.org","dognum":"D2","productType":"Std"})")) +
               line("09:00:00", kEnd)
        << QStringList{"Std|bo@x.org|D2|2024-03-05 08:00:00|In",
                       "Std|bo@x.org|D2|2024-03-05 09:00:00|Out"};
    QTest::newRow("no braces: empty fields")
        << line("08:00:00", kStart) + line("08:00:01", "set User anna") + line("09:00:00", kEnd)
        << QStringList{"|||2024-03-05 08:00:00|In", "|||2024-03-05 09:00:00|Out"};
    QTest::newRow("invalid json: empty fields")
        << line("08:00:00", kStart) + line("08:00:01", user("{email: anna}")) +
               line("09:00:00", kEnd)
        << QStringList{"|||2024-03-05 08:00:00|In", "|||2024-03-05 09:00:00|Out"};
    QTest::newRow("two objects do not parse")
        << line("08:00:00", kStart) + line("08:00:01", user(R"({"email":"a"} {"dognum":"1"})")) +
               line("09:00:00", kEnd)
        << QStringList{"|||2024-03-05 08:00:00|In", "|||2024-03-05 09:00:00|Out"};
    QTest::newRow("number dongle is empty")
        << line("08:00:00", kStart) +
               line("08:00:01", user(R"({"email":"a@x","dognum":4711,"productType":"P"})")) +
               line("09:00:00", kEnd)
        << QStringList{"P|a@x||2024-03-05 08:00:00|In", "P|a@x||2024-03-05 09:00:00|Out"};
    QTest::newRow("object and array members give empty texts")
        << line("08:00:00", kStart) +
               line("08:00:01", user(R"({"email":{"a":1},"dognum":["1"],"productType":"P"})")) +
               line("09:00:00", kEnd)
        << QStringList{"P|||2024-03-05 08:00:00|In", "P|||2024-03-05 09:00:00|Out"};
    QTest::newRow("events out of file order")
        << line("09:00:00", kEnd) + line("08:00:05", kAnna) + line("08:00:00", kStart)
        << QStringList{"Pro|anna@x.org|D1|2024-03-05 08:00:00|In",
                       "Pro|anna@x.org|D1|2024-03-05 09:00:00|Out"};
    QTest::newRow("unparsable end stamp sorts last")
        << line("08:00:00", kStart) + line("08:00:05", kAnna) +
               line("08:00:06", kEnd).replace("2024-03-05", "2024-02-30") + line("09:00:00", kEnd)
        << QStringList{"Pro|anna@x.org|D1|2024-03-05 08:00:00|In",
                       "Pro|anna@x.org|D1|2024-03-05 09:00:00|Out"};
    QTest::newRow("shutdown without run ignored")
        << line("07:00:00", kEnd) + line("08:00:00", kStart) + line("08:00:05", kAnna) +
               line("09:00:00", kEnd)
        << QStringList{"Pro|anna@x.org|D1|2024-03-05 08:00:00|In",
                       "Pro|anna@x.org|D1|2024-03-05 09:00:00|Out"};
}

void TestPrxFileReader::runRules()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    QCOMPARE(rows(readContent(content)), expected);
    // Windows line ends change nothing.
    QCOMPARE(rows(readContent(QByteArray(content).replace("\n", "\r\n"))), expected);
}

void TestPrxFileReader::jsonOverSeveralLines()
{
    const QByteArray content = line("08:00:00", kStart) + line("08:00:01", "set User {") +
                               "  \"email\": \"multi@x.org\",\n  \"dognum\": \"77\",\n" +
                               "  \"productType\": \"Lab\"\n}\n" + line("09:00:00", kEnd);
    QCOMPARE(rows(readContent(content)),
             (QStringList{"Lab|multi@x.org|77|2024-03-05 08:00:00|In",
                          "Lab|multi@x.org|77|2024-03-05 09:00:00|Out"}));
}

void TestPrxFileReader::nonAsciiUserAndProductType()
{
    // The JSON is read as UTF-8 whatever the machine's local encoding is.
    QTextCodec *previous = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    const QByteArray json =
        QStringLiteral(R"({"email":"jürgen.groß@x.de","dognum":"№7","productType":"Édition 東京"})")
            .toUtf8();
    const UsageTable table = readContent(line("08:00:00", kStart) + line("08:00:01", user(json)) +
                                         line("09:00:00", kEnd));
    QTextCodec::setCodecForLocale(previous);
    QCOMPARE(table.keys(), QStringList{QStringLiteral("Édition 東京")});
    const UsageRecordList list = table.first();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).userName(), QStringLiteral("jürgen.groß@x.de"));
    QCOMPARE(list.at(0).dogNum(), QStringLiteral("№7"));
}

void TestPrxFileReader::runsOfSeveralProductTypes()
{
    QByteArray content;
    const QList<QByteArray> types = {"b", "A", "", "b"};
    for (int i = 0; i < types.size(); ++i) {
        const QByteArray hour = QByteArray::number(10 + i);
        content +=
            line(hour + ":00:00", kStart) +
            line(hour + ":00:01", user(R"({"email":"u)" + QByteArray::number(i) +
                                       R"(","dognum":"1","productType":")" + types.at(i) + "\"}")) +
            line(hour + ":30:00", kEnd);
    }
    const UsageTable table = readContent(content);
    QCOMPARE(table.keys(), (QStringList{"", "A", "b"}));
    QCOMPARE(table.value("b").size(), 4);
    QCOMPARE(table.value("b").at(0).userName(), QString("u0"));
    QCOMPARE(table.value("b").at(2).userName(), QString("u3"));
}

void TestPrxFileReader::badInput_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("expectRows");
    const QByteArray junk = TestSupport::junk(64 * 1024, 12345);
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("binary junk") << junk << false;
    QTest::newRow("nul bytes") << QByteArray(100000, '\0') << false;
    QTest::newRow("invalid utf-8 in a user field")
        << line("08:00:00", kStart) + line("08:00:01", user("{\"email\":\"a\xff\xfe\"}")) +
               line("09:00:00", kEnd)
        << true;
    QTest::newRow("junk around a run")
        << junk + "\n" + line("08:00:00", kStart) + line("08:00:01", kAnna) +
               line("09:00:00", kEnd) + junk
        << true;
}

void TestPrxFileReader::badInput()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, expectRows);
    const UsageTable table = readContent(content);
    int count = 0;
    for (const UsageRecordList &list : table)
        count += list.size();
    QCOMPARE(count > 0, expectRows);
}

void TestPrxFileReader::longLineWithoutLineEnds()
{
    // Ten megabytes without a line end are one line: read once, matched once, no rows.
    QByteArray content = line("08:00:00", kStart);
    content.chop(1);
    content += QByteArray(10 * 1024 * 1024, 'x');
    QVERIFY(readContent(content).isEmpty());
    QVERIFY(PrxFileReader().read(m_dir.filePath("missing.log")).isEmpty());
    QVERIFY(PrxFileReader().read(m_dir.path()).isEmpty());
}

// Unstamped lines after a user-set line used to be joined into one message without end.
void TestPrxFileReader::continuationOfUserMessageIsBounded()
{
    const QByteArray userLine = line("08:00:01", kAnna);
    QByteArray unstamped;
    for (int i = 0; i < 40000; ++i)
        unstamped += "an unstamped line of a hundred characters or so, repeated many times over "
                     "and over again, ending\n";
    const QString path = m_dir.filePath(QStringLiteral("continued.log"));
    QVERIFY(TestSupport::writeFile(path, line("08:00:00", kStart) + userLine + unstamped +
                                             line("09:00:00", kEnd)));
    QVector<LogEvent> events;
    QVERIFY(PrxFileReader().readEvents(path, &events));
    QCOMPARE(events.size(), 3);
    QCOMPARE(events.at(1).kind, qint32(UserSet));
    QVERIFY(unstamped.size() > 3 * (1 << 20));
    QCOMPARE(events.at(1).message.size(), 1 << 20);
    QVERIFY(events.at(1).message.startsWith(
        QString::fromUtf8(" " + kAnna + "\n" + unstamped.left(99))));
    QCOMPARE(rows(PrxFileReader().read(path)),
             (QStringList{"Pro|anna@x.org|D1|2024-03-05 08:00:00|In",
                          "Pro|anna@x.org|D1|2024-03-05 09:00:00|Out"}));
}

void TestPrxFileReader::jsonTextIsWhatThePatternCaptures()
{
    const QRegExp pattern("(\\{[\\S\\s]+\\})");
    const QString alphabet = QStringLiteral("{}{}a \n\"é");
    quint32 seed = 99;
    for (int i = 0; i < 20000; ++i) {
        QString message;
        seed = seed * 1103515245u + 12345u;
        const int length = int(seed >> 28);
        for (int k = 0; k < length; ++k) {
            seed = seed * 1103515245u + 12345u;
            message += alphabet.at(int((seed >> 16) % uint(alphabet.size())));
        }
        const QString expected = pattern.indexIn(message) >= 0 ? pattern.cap(1) : QString();
        QCOMPARE(PrxFileReader::jsonText(message), expected);
        QCOMPARE(PrxFileReader::jsonText(message).isNull(), expected.isNull());
    }
}

// Where the direct reading of a user-set object answers, it answers what QJsonDocument does,
// missing members (null) and all; on the objects the product writes it does answer.
void TestPrxFileReader::flatJsonSameAsQJsonDocument()
{
    const QString keys[] = {QStringLiteral("email"), QStringLiteral("dognum"),
                            QStringLiteral("productType")};
    const QStringList names = {"\"email\"", "\"dognum\"",      "\"productType\"", "\"other\"",
                               "\"\"",      "\"e\\u006dail\"", "email",           "\"Email\""};
    const QStringList values = {"\"anna@x.org\"",
                                "\"D-1\"",
                                "\"Pro\"",
                                "\"\"",
                                "\" \"",
                                "\"a\\\"b\"",
                                "\"a\\u0041\"",
                                QString::fromUtf8("\"\xc3\xa9\""),
                                "5",
                                "true",
                                "null",
                                "{}",
                                "[\"x\"]",
                                "\"tab\there\"",
                                "\"x\x7fy\"",
                                "'single'"};
    const QStringList spaces = {"", " ", "\t", "\n  ", "\r\n", "\f", QString(QChar(0xA0))};
    QRandomGenerator random(20261211);
    int direct = 0;
    int compared = 0;
    for (int round = 0; round < 20000; ++round) {
        const auto space = [&] {
            return random.bounded(4) == 0 ? spaces.at(int(random.bounded(spaces.size())))
                                          : QString();
        };
        QString text = "{" + space();
        const int members = int(random.bounded(0, 6));
        for (int m = 0; m < members; ++m) {
            if (m > 0)
                text += space() + (random.bounded(40) == 0 ? ";" : ",") + space();
            // Mostly the three members with plain texts, as the product writes them.
            const bool plain = random.bounded(3) != 0;
            text += plain ? names.at(int(random.bounded(3)))
                          : names.at(int(random.bounded(names.size())));
            text += space() + (random.bounded(50) == 0 ? "" : ":") + space();
            text += plain ? values.at(int(random.bounded(3)))
                          : values.at(int(random.bounded(values.size())));
        }
        text += space() + (random.bounded(30) == 0 ? "," : "") + "}";
        if (random.bounded(20) == 0)
            text += space() + (random.bounded(2) ? "x" : "");
        if (random.bounded(20) == 0)
            text.prepend(space());

        QStringRef found[3];
        // Texts not read directly go to QJsonDocument as they did before; only those read are
        // compared (some malformed ones make Qt 5.15's parser leak, which the sanitizer build
        // would report).
        if (!FlatJson::stringMembers(QStringRef(&text), keys, 3, found))
            continue;
        ++direct;
        const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
        QVERIFY2(!document.isNull() && document.isObject(), qPrintable(text));
        const QJsonObject object = document.object();
        for (int k = 0; k < 3; ++k) {
            const QString expected = object.value(keys[k]).toString();
            QCOMPARE(found[k].toString(), expected);
            QCOMPARE(found[k].isNull(), expected.isNull());
            compared += !expected.isNull();
        }
    }
    QVERIFY2(direct > 2000 && compared > 2000, qPrintable(QString::number(direct)));

    const QString written = R"({"email":"user0000001@example.com",
  "dognum":"D-0000001",
  "productType":"Professional"})";
    QStringRef found[3];
    QVERIFY(FlatJson::stringMembers(QStringRef(&written), keys, 3, found));
    QCOMPARE(found[2].toString(), QStringLiteral("Professional"));
}

// Runs as a busy machine writes them, users written plainly or not, over one line or several:
// the rows are those of the plain rules.
void TestPrxFileReader::generatedLogSameAsPlainRules()
{
    QRandomGenerator random(20261212);
    const QList<QByteArray> odd = {
        R"({"email":"a@x","dognum":4711,"productType":"P"})",
        R"({"email":"","dognum":"D","productType":""})",
        R"({"email":"esc\"aped","dognum":"D\u0031","productType":"P"})",
        "{\"email\":\"\xc3\xa9@x\",\"dognum\":\"1\",\"productType\":\"\xc3\x9c\"}",
        R"({"email":"a","email":"b","productType":"P"})",
        R"({"email":"a", "dognum":"1", "productType":"P", "extra":{"x":[1,2]}})",
        R"({email: anna})",
        R"({"productType":"P"} trailing })",
        R"({"dognum":"only"})",
        "{}"};
    QByteArray content;
    int second = 0;
    const auto stamped = [&](const QByteArray &message) {
        second += int(random.bounded(3));
        const QTime time = QTime(0, 0).addSecs(second % 86400);
        return line(time.toString("hh:mm:ss").toUtf8(), message);
    };
    for (int run = 0; run < 3000; ++run) {
        if (random.bounded(10) != 0)
            content += stamped(kStart);
        for (int i = int(random.bounded(3)); i > 0; --i)
            content += stamped("Ordinary work [x]");
        if (random.bounded(8) != 0) {
            QByteArray json = random.bounded(6) == 0
                                  ? odd.at(int(random.bounded(odd.size())))
                                  : R"({"email":"user)" + QByteArray::number(run) +
                                        R"(@x.org","dognum":"D-)" + QByteArray::number(run) +
                                        R"(","productType":")" +
                                        QByteArray("ABC").mid(int(random.bounded(3)), 1) + "\"}";
            if (random.bounded(2))
                content += stamped("set User " + json);
            else
                content += stamped("set User") + json.replace(",", ",\n  ") + "\n";
        }
        if (random.bounded(10) != 0)
            content += stamped(kEnd);
    }
    const QString path = m_dir.filePath(QStringLiteral("generated.log"));
    QVERIFY(TestSupport::writeFile(path, content));
    PrxFileReader reader;
    QVector<LogEvent> events;
    QVERIFY(reader.readEvents(path, &events));
    const QStringList expected = exactRows(plainRules(events));
    QVERIFY(expected.size() > 3000);
    QCOMPARE(exactRows(reader.read(path)), expected);
}

QTEST_GUILESS_MAIN(TestPrxFileReader)
#include "tst_prxfilereader.moc"
