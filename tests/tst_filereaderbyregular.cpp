#include "datetimecodec.h"
#include "linepatternmatcher.h"
#include "linereader.h"
#include "prxfilereader.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QRegExp>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <limits>

namespace {

// The product rules are not under test here: the table lists the events it was given.
class EventEchoReader : public PrxFileReader
{
public:
    UsageTable buildUsageTable(const QVector<LogEvent> &events) const override
    {
        UsageTable table;
        UsageRecordList &rows = table["events"];
        for (const LogEvent &event : events)
            rows.append(
                UsageRecord(event.message, QString::number(event.kind), event.dateTime, "In"));
        return table;
    }
};

// Patterns with special characters, other capture numbers and a message before the stamp.
class BracketPatternReader : public FileReaderByRegular
{
public:
    UsageTable buildUsageTable(const QVector<LogEvent> &) const override { return UsageTable(); }
    QString runStartPattern() const override { return "^begin\\b"; }
    QString runEndPattern() const override { return "^(end|stop)$"; }
    QString userSetPattern() const override { return "user=\\w+"; }
    QString linePattern() const override { return "<([^>]*)> T=(\\d+-\\d+-\\d+) (\\d+:\\d+:\\d+)"; }
    qint32 dateCaptureIndex() const override { return 2; }
    qint32 timeCaptureIndex() const override { return 3; }
    qint32 messageCaptureIndex() const override { return 1; }
};

QByteArray prxLine(const QByteArray &stamp, const QByteArray &message)
{
    return stamp + " 123.456[INFO][main][0x1f][facade.cpp:42]" + message + "\n";
}

const QByteArray kStart = "PRXUIPluginFacade::onStartup enter";
const QByteArray kEnd = "PRXUIPluginFacade::~PRXUIPluginFacade enter";

// The reader as it was before it read lines in place: every line copied and decoded, each
// pattern a QRegExp, every capture copied, the stamp parsed from the joined texts, and the
// events put in order by a stable sort on their seconds.
QVector<LogEvent> plainEvents(const FileReaderByRegular &reader, const QString &path)
{
    QVector<LogEvent> events;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return events;
    LineReader source(&file);
    LinePatternMatcher matcher(reader.linePattern());
    const QRegExp start(reader.runStartPattern());
    const QRegExp end(reader.runEndPattern());
    const QRegExp user(reader.userSetPattern());
    const DateTimeCodec codec(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QString held;
    bool hasHeld = false;
    QByteArray raw;
    for (;;) {
        QString line;
        if (hasHeld) {
            line = held;
            hasHeld = false;
        } else if (source.next(&raw)) {
            line = LineReader::decode(raw);
        } else {
            break;
        }
        if (!matcher.search(line))
            continue;
        const QString date = matcher.cap(reader.dateCaptureIndex());
        const QString time = matcher.cap(reader.timeCaptureIndex());
        QString message = matcher.cap(reader.messageCaptureIndex());
        qint32 kind = None;
        if (start.indexIn(message) >= 0)
            kind = RunStart;
        else if (end.indexIn(message) >= 0)
            kind = RunEnd;
        else if (user.indexIn(message) >= 0)
            kind = UserSet;
        else
            continue;
        if (kind == UserSet) {
            while (source.next(&raw)) {
                const QString continuation = LineReader::decode(raw);
                if (matcher.search(continuation)) {
                    held = continuation;
                    hasHeld = true;
                    break;
                }
                if (message.size() < (1 << 20))
                    message += continuation.leftRef((1 << 20) - message.size());
            }
        }
        LogEvent event;
        event.kind = kind;
        event.dateTime = codec.parse(date + QLatin1Char(' ') + time);
        event.message = message;
        events << event;
    }
    const auto seconds = [](const LogEvent &event) {
        return event.dateTime.isValid() ? event.dateTime.toSecsSinceEpoch()
                                        : std::numeric_limits<qint64>::max();
    };
    std::stable_sort(events.begin(), events.end(),
                     [&](const LogEvent &a, const LogEvent &b) { return seconds(a) < seconds(b); });
    return events;
}

QString describe(const QVector<LogEvent> &events)
{
    QStringList lines;
    for (const LogEvent &event : events) {
        lines << QStringLiteral("%1|%2|%3|%4")
                     .arg(event.kind)
                     .arg(event.dateTime.toString(Qt::ISODateWithMs))
                     .arg(event.dateTime.isNull() ? "null" : "set")
                     .arg(event.message);
    }
    return lines.join('\n');
}

} // namespace

class TestFileReaderByRegular : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_counter = 0;

    QString writeLog(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("log%1.txt").arg(++m_counter));
        TestSupport::writeFile(path, content);
        return path;
    }

    // Reads with both line strategies, checks that they agree and returns the events.
    QVector<LogEvent> events(const FileReaderByRegular &reader, const QByteArray &content)
    {
        const QString path = writeLog(content);
        QVector<LogEvent> fast;
        QVector<LogEvent> plain;
        const bool fastOk = reader.readEvents(path, &fast, FileReaderByRegular::Scan::Fast);
        const bool plainOk = reader.readEvents(path, &plain, FileReaderByRegular::Scan::EveryLine);
        if (fastOk != plainOk || describe(fast) != describe(plain))
            qWarning("line strategies disagree on %s", qPrintable(path));
        [&] { QCOMPARE(describe(fast), describe(plain)); }();
        // And both agree with the plain way of reading.
        const QString expected = describe(plainEvents(reader, path));
        if (describe(fast) != expected)
            qWarning("the reader and the plain way disagree on %s", qPrintable(path));
        [&] { QCOMPARE(describe(fast), expected); }();
        return plain;
    }

private slots:
    void unreadablePathsGiveEmptyTable_data();
    void unreadablePathsGiveEmptyTable();
    void emptyAndUnmatchedFilesGiveNoEvents();
    void classifiesMessages_data();
    void classifiesMessages();
    void continuationLinesJoinUserSetMessage();
    void continuationRunsToEndOfFile();
    void heldLineAtEndOfFileIsClassified();
    void userSetBlocksInARow();
    void eventsAreOrderedByTime();
    void equalSecondsKeepFileOrder();
    void crlfGivesSameEvents();
    void zeroByteCutsLine();
    void unparsableStampsSortLast();
    void bracketSplitFollowsQRegExp();
    void hooksDecidePatternsAndCaptures();
    void fastScanMatchesEveryLineScan();
};

void TestFileReaderByRegular::unreadablePathsGiveEmptyTable_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing") << m_dir.filePath("does-not-exist.log");
    QTest::newRow("directory") << m_dir.path();
    QTest::newRow("empty path") << QString();
}

void TestFileReaderByRegular::unreadablePathsGiveEmptyTable()
{
    QFETCH(QString, path);
    EventEchoReader reader;
    QVERIFY(reader.read(path).isEmpty());
    QVector<LogEvent> events;
    QVERIFY(!reader.readEvents(path, &events));
}

void TestFileReaderByRegular::emptyAndUnmatchedFilesGiveNoEvents()
{
    EventEchoReader reader;
    for (const QByteArray &content :
         {QByteArray(), QByteArray("no stamp here PRXUIPluginFacade::onStartup enter\n"),
          QByteArray("2024-03-05 08:00:01 no fields " + kStart + "\n")}) {
        const QString path = writeLog(content);
        const UsageTable table = reader.read(path);
        // The rules still run once, with no events.
        QCOMPARE(table.keys(), QStringList{"events"});
        QVERIFY(table.value("events").isEmpty());
    }
}

void TestFileReaderByRegular::classifiesMessages_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("kind");
    QTest::newRow("start") << prxLine("2024-03-05 08:00:01", " " + kStart) << int(RunStart);
    QTest::newRow("end") << prxLine("2024-03-05 08:00:01", " " + kEnd) << int(RunEnd);
    QTest::newRow("user") << prxLine("2024-03-05 08:00:01", " set User {}") << int(UserSet);
    QTest::newRow("start wins over end")
        << prxLine("2024-03-05 08:00:01", " " + kEnd + " " + kStart) << int(RunStart);
    QTest::newRow("end wins over user")
        << prxLine("2024-03-05 08:00:01", " set User " + kEnd) << int(RunEnd);
    QTest::newRow("text before stamp")
        << QByteArray("junk before ") + prxLine("2024-03-05 08:00:01", kStart) << int(RunStart);
    QTest::newRow("other message") << prxLine("2024-03-05 08:00:01", " hello") << int(None);
    QTest::newRow("case matters") << prxLine("2024-03-05 08:00:01", " Set user") << int(None);
    QTest::newRow("marker only in a field")
        << QByteArray("2024-03-05 08:00:01 1.2[" + kStart + "][b][c][d] plain\n") << int(None);
    QTest::newRow("single digit fields") << prxLine("2024-3-5 8:0:1", kStart) << int(RunStart);
}

void TestFileReaderByRegular::classifiesMessages()
{
    QFETCH(QByteArray, line);
    QFETCH(int, kind);
    const QVector<LogEvent> found = events(EventEchoReader(), line);
    if (kind == None) {
        QVERIFY(found.isEmpty());
    } else {
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.at(0).kind, kind);
    }
}

void TestFileReaderByRegular::continuationLinesJoinUserSetMessage()
{
    const QByteArray content = prxLine("2024-03-05 08:00:00", kStart) +
                               prxLine("2024-03-05 08:00:01", " set User {") +
                               "  \"email\": \"a@b.c\",\n\n  \"dognum\": \"1\" }\n" +
                               prxLine("2024-03-05 08:00:02", " " + kEnd);
    const QVector<LogEvent> found = events(EventEchoReader(), content);
    QCOMPARE(found.size(), 3);
    QCOMPARE(found.at(1).kind, int(UserSet));
    QCOMPARE(found.at(1).message,
             QString(" set User {\n  \"email\": \"a@b.c\",\n\n  \"dognum\": \"1\" }\n"));
    QCOMPARE(found.at(1).dateTime, QDateTime(QDate(2024, 3, 5), QTime(8, 0, 1)));
    // The stamped line that ended the block is an event of its own.
    QCOMPARE(found.at(2).kind, int(RunEnd));
}

void TestFileReaderByRegular::continuationRunsToEndOfFile()
{
    const QByteArray content =
        prxLine("2024-03-05 08:00:01", " set User") + "tail 1\n" + kStart + "\nlast without end";
    const QVector<LogEvent> found = events(EventEchoReader(), content);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.at(0).message, " set User\ntail 1\n" + QString(kStart) + "\nlast without end");
}

void TestFileReaderByRegular::heldLineAtEndOfFileIsClassified()
{
    const QByteArray content = prxLine("2024-03-05 08:00:01", " set User") + "more\n" +
                               prxLine("2024-03-05 08:00:05", kEnd).chopped(1);
    const QVector<LogEvent> found = events(EventEchoReader(), content);
    QCOMPARE(found.size(), 2);
    QCOMPARE(found.at(0).message, QString(" set User\nmore\n"));
    QCOMPARE(found.at(1).kind, int(RunEnd));
    QVERIFY(!found.at(1).message.endsWith('\n'));
}

void TestFileReaderByRegular::userSetBlocksInARow()
{
    const QByteArray content = prxLine("2024-03-05 08:00:01", " set User 1") + "a\n" +
                               prxLine("2024-03-05 08:00:02", " set User 2") + "b\n" +
                               prxLine("2024-03-05 08:00:03", " ordinary") + "orphan\n";
    const QVector<LogEvent> found = events(EventEchoReader(), content);
    QCOMPARE(found.size(), 2);
    QCOMPARE(found.at(0).message, QString(" set User 1\na\n"));
    QCOMPARE(found.at(1).message, QString(" set User 2\nb\n"));
}

void TestFileReaderByRegular::eventsAreOrderedByTime()
{
    // Stamps before 1970 and after 2106 are ordered by their time like any other.
    const QByteArray content =
        prxLine("2024-03-05 09:00:00", kEnd) + prxLine("2107-01-01 00:00:00", kEnd + " far") +
        prxLine("2024-03-05 08:00:00", kStart) + prxLine("2023-12-31 23:59:59", " set User") +
        prxLine("1969-12-31 23:00:00", " set User early");
    const QVector<LogEvent> found = events(EventEchoReader(), content);
    QCOMPARE(found.size(), 5);
    QCOMPARE(found.at(0).message, QStringLiteral(" set User early\n"));
    QCOMPARE(found.at(1).message, QStringLiteral(" set User\n"));
    QCOMPARE(found.at(2).kind, int(RunStart));
    QCOMPARE(found.at(3).message, QString(kEnd + "\n"));
    QCOMPARE(found.at(4).message, QString(kEnd + " far\n"));
}

void TestFileReaderByRegular::equalSecondsKeepFileOrder()
{
    QByteArray content;
    for (int i = 0; i < 40; ++i)
        content +=
            prxLine("2024-03-05 08:00:00", (i % 2 ? kEnd : kStart) + " #" + QByteArray::number(i));
    const QVector<LogEvent> found = events(EventEchoReader(), content);
    QCOMPARE(found.size(), 40);
    for (int i = 0; i < 40; ++i)
        QVERIFY(found.at(i).message.endsWith(QStringLiteral(" #%1\n").arg(i)));
}

void TestFileReaderByRegular::crlfGivesSameEvents()
{
    const QByteArray lf = prxLine("2024-03-05 08:00:00", kStart) +
                          prxLine("2024-03-05 08:00:01", " set User {") + "\"a\": 1}\n" +
                          prxLine("2024-03-05 08:00:02", kEnd);
    QByteArray crlf = lf;
    crlf.replace("\n", "\r\n");
    EventEchoReader reader;
    QCOMPARE(describe(events(reader, crlf)), describe(events(reader, lf)));
    // A lone carriage return is not a line end.
    const QVector<LogEvent> lone = events(reader, prxLine("2024-03-05 08:00:00", kStart + "\r x"));
    QCOMPARE(lone.size(), 1);
    QCOMPARE(lone.at(0).message, QString(kStart + "\r x\n"));
}

void TestFileReaderByRegular::zeroByteCutsLine()
{
    QByteArray cut = prxLine("2024-03-05 08:00:00", " note");
    cut.insert(cut.indexOf("note"), QByteArray(1, '\0'));
    cut.replace("note", " " + kStart);
    const QByteArray content = cut + prxLine("2024-03-05 08:00:01", " set User") +
                               QByteArray("abc\0def\n", 8) +
                               prxLine("2024-03-05 08:00:02", QByteArray(" x\0", 3) + kEnd);
    const QVector<LogEvent> found = events(EventEchoReader(), content);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.at(0).kind, int(UserSet));
    QCOMPARE(found.at(0).message, QString(" set User\nabc"));
}

void TestFileReaderByRegular::unparsableStampsSortLast()
{
    const QByteArray content =
        prxLine("2024-13-05 08:00:00", kStart) + prxLine("2023-02-29 08:00:00", kStart + " leap") +
        prxLine("2024-03-05 8:00:00", kEnd) + prxLine("2024-03-05 08:00:00", kEnd + " ok");
    const QVector<LogEvent> found = events(EventEchoReader(), content);
    QCOMPARE(found.size(), 4);
    QVERIFY(found.at(0).dateTime.isValid());
    QVERIFY(found.at(0).message.endsWith("ok\n"));
    for (int i = 1; i < 4; ++i)
        QVERIFY(!found.at(i).dateTime.isValid());
}

void TestFileReaderByRegular::bracketSplitFollowsQRegExp()
{
    // Where the message holds brackets, the fourth field ends at the first "]" after which
    // the rest can still match; a backtracking engine would cut at the last one instead.
    const QByteArray line =
        prxLine("2024-03-05 08:00:01", " [tag] set User [x] {\"email\":\"u@x\"}");
    const QVector<LogEvent> found = events(EventEchoReader(), line);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.at(0).message, QString(" [tag] set User [x] {\"email\":\"u@x\"}\n"));
    const QRegularExpression other(PrxFileReader().linePattern());
    QVERIFY(other.match(QString(line)).captured(3) != found.at(0).message);
}

void TestFileReaderByRegular::hooksDecidePatternsAndCaptures()
{
    const QByteArray content = "<begin now> T=2024-03-05 08:00:01\n"
                               "<user=ann> T=2024-03-05 08:00:02\n"
                               "continued\n"
                               "<end> T=2024-03-05 08:00:03\n"
                               "<stop now> T=2024-03-05 08:00:04\n";
    const QVector<LogEvent> found = events(BracketPatternReader(), content);
    QCOMPARE(found.size(), 3);
    QCOMPARE(found.at(0).kind, int(RunStart));
    QCOMPARE(found.at(0).message, QString("begin now"));
    QCOMPARE(found.at(1).kind, int(UserSet));
    QCOMPARE(found.at(1).message, QString("user=ann"
                                          "continued\n"));
    QCOMPARE(found.at(2).kind, int(RunEnd));
    QCOMPARE(found.at(2).dateTime, QDateTime(QDate(2024, 3, 5), QTime(8, 0, 3)));
}

void TestFileReaderByRegular::fastScanMatchesEveryLineScan()
{
    // Markers in odd places, continuation blocks, CRLF, invalid UTF-8, NUL bytes, bad stamps,
    // text before stamps and long lines, shuffled into many small logs.
    const QList<QByteArray> messages = {" " + kStart,
                                        " " + kEnd,
                                        " set User {\"email\":\"a@b\",\"dognum\":\"7\"}",
                                        " ordinary",
                                        " set User",
                                        " [x] " + kStart + " [y]",
                                        " set User " + kEnd,
                                        "x" + kStart,
                                        QByteArray(" \xff\xfe set User", 11),
                                        QByteArray(" a\0 set User", 12),
                                        " set Use",
                                        " \xe2\x82 " + kStart};
    const QList<QByteArray> stamps = {"2024-03-05 08:00:01", "2024-3-5 8:0:1",
                                      "2024-02-30 10:00:00", "2024-03-05 08:00:60",
                                      "2024-03-31 02:30:00", "2024-10-27 02:30:00"};
    const QList<QByteArray> loose = {"continued\n",
                                     "{\"a\": [1, 2]}\n",
                                     "\n",
                                     "\r\n",
                                     kStart + " without stamp\n",
                                     QByteArray("\0\0\n", 3),
                                     "\xc3\x28 bad utf8\n",
                                     "tail " + kEnd + "\r\r\n",
                                     QByteArray(20000, 'p') + " set User\n",
                                     "2024-03-05 08:00:01 1.2[a][" + kEnd + "][c][d] x\n"};
    QRandomGenerator random(20240305);
    EventEchoReader reader;
    for (int file = 0; file < 150; ++file) {
        QByteArray content;
        const int lines = int(random.bounded(1, 60));
        for (int i = 0; i < lines; ++i) {
            const quint32 pick = random.bounded(10);
            if (pick < 6) {
                QByteArray line = prxLine(stamps.at(int(random.bounded(stamps.size()))),
                                          messages.at(int(random.bounded(messages.size()))));
                if (random.bounded(5) == 0)
                    line.prepend("prefix ");
                if (random.bounded(4) == 0)
                    line.replace("\n", "\r\n");
                content += line;
            } else {
                content += loose.at(int(random.bounded(loose.size())));
            }
        }
        if (random.bounded(3) == 0 && content.endsWith('\n'))
            content.chop(1);
        events(reader, content);
        if (QTest::currentTestFailed()) {
            qWarning("failing content: %s", content.toPercentEncoding().constData());
            return;
        }
    }
    // Candidate lines that straddle the reader's internal blocks.
    QByteArray big;
    while (big.size() < 3 * (1 << 20)) {
        big += prxLine("2024-03-05 08:00:01", QByteArray(int(random.bounded(200)), 'z'));
        big += prxLine("2024-03-05 08:00:02", " " + kStart);
        big += prxLine("2024-03-05 08:00:03", " set User") + "cont\n";
    }
    QCOMPARE(events(reader, big).size() > 1000, true);
}

QTEST_GUILESS_MAIN(TestFileReaderByRegular)
#include "tst_filereaderbyregular.moc"
