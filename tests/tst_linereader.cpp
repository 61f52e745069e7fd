#include "linereader.h"
#include "readcancel.h"
#include "testsupport.h"
#include "textscanner.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QVector<QByteArray> kCandidates{"MARK", "set User", "xx"};

QList<QByteArray> allLines(LineReader &reader)
{
    QList<QByteArray> lines;
    QByteArray line;
    while (reader.next(&line))
        lines << line;
    return lines;
}

// Lines of random length, a few very long, sprinkled with candidate texts, blanks, CR and NUL.
QByteArray generatedLog(quint32 seed, int lineCount, int longLine)
{
    QRandomGenerator random(seed);
    static const QByteArray alphabet = QByteArrayLiteral("abcx \r\0MARKset User");
    QByteArray log;
    for (int i = 0; i < lineCount; ++i) {
        const int length =
            random.bounded(8) == 0 ? int(random.bounded(longLine)) : int(random.bounded(12));
        for (int k = 0; k < length; ++k) {
            if (random.bounded(40) == 0)
                log += kCandidates.at(int(random.bounded(kCandidates.size())));
            else
                log += alphabet.at(int(random.bounded(alphabet.size())));
        }
        if (i + 1 < lineCount || random.bounded(2) == 0)
            log += random.bounded(4) == 0 ? "\r\n" : "\n";
    }
    return log;
}

bool holdsCandidate(const QByteArray &line)
{
    for (const QByteArray &text : kCandidates) {
        if (line.contains(text))
            return true;
    }
    return false;
}

} // namespace

class TestLineReader : public QObject
{
    Q_OBJECT

private slots:
    void linesAndLineEnds_data();
    void linesAndLineEnds();
    void sparseFileLineIsCut();
    void candidatesAreTheLinesThatHoldThem_data();
    void candidatesAreTheLinesThatHoldThem();
    void cancelStopsWithinABlock();
    void viewsAreTheLinesOfNext_data();
    void viewsAreTheLinesOfNext();
    void decodedViewsAreDecodedLines();
    void scannerFindsWhatAPlainSearchFinds();
};

void TestLineReader::linesAndLineEnds_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("maxLineLength");
    QTest::addColumn<QList<QByteArray>>("expected");
    const int big = LineReader::DefaultMaxLineLength;
    QTest::newRow("empty") << QByteArray() << big << QList<QByteArray>();
    QTest::newRow("CR LF becomes LF, lone CR kept")
        << QByteArray("a\r\nb\rc\n\r\n") << big << QList<QByteArray>{"a\n", "b\rc\n", "\n"};
    QTest::newRow("last line without end")
        << QByteArray("a\nb") << big << QList<QByteArray>{"a\n", "b"};
    QTest::newRow("shorter than the maximum")
        << QByteArray("abc\nde\n") << 4 << QList<QByteArray>{"abc\n", "de\n"};
    QTest::newRow("as long as the maximum is cut")
        << QByteArray("abcd\nef\n") << 4 << QList<QByteArray>{"abcd", "ef\n"};
    QTest::newRow("longer: the rest is skipped")
        << QByteArray("abcdefghij\nef\n") << 4 << QList<QByteArray>{"abcd", "ef\n"};
    QTest::newRow("cut at the end of the file")
        << QByteArray("abcdefghij") << 4 << QList<QByteArray>{"abcd"};
    QTest::newRow("cut line with CR LF")
        << QByteArray("abc\r\nz\n") << 4 << QList<QByteArray>{"abc\r", "z\n"};
    QTest::newRow("NUL bytes are kept")
        << TestSupport::bytes("a\0b\n\0\n") << big
        << QList<QByteArray>{TestSupport::bytes("a\0b\n"), TestSupport::bytes("\0\n")};
}

void TestLineReader::linesAndLineEnds()
{
    QFETCH(QByteArray, content);
    QFETCH(int, maxLineLength);
    QFETCH(QList<QByteArray>, expected);
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LineReader reader(&buffer, maxLineLength);
    QCOMPARE(allLines(reader), expected);
}

// A file of zeros with no line end, larger than the maximum: a file system stores it without
// using the space, and it used to be held whole in memory as one line.
void TestLineReader::sparseFileLineIsCut()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sparse.log"));
    const qint64 hole = 3 * qint64(LineReader::DefaultMaxLineLength);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("head") == 4);
        QVERIFY(file.resize(hole));
        QVERIFY(file.seek(hole));
        QVERIFY(file.write("\nnext\n") == 6);
    }
    for (const bool candidates : {false, true}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        LineReader reader(&file);
        reader.setCandidateTexts({"head", "next"});
        QByteArray line;
        QVERIFY(candidates ? reader.nextCandidate(&line) : reader.next(&line));
        QCOMPARE(line.size(), LineReader::DefaultMaxLineLength);
        QVERIFY(line.startsWith("head"));
        QCOMPARE(reader.cutLines(), qint64(1));
        QVERIFY(candidates ? reader.nextCandidate(&line) : reader.next(&line));
        QCOMPARE(line, QByteArray("next\n"));
        QVERIFY(!(candidates ? reader.nextCandidate(&line) : reader.next(&line)));
    }
}

void TestLineReader::candidatesAreTheLinesThatHoldThem_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("longLine");
    QTest::addColumn<int>("maxLineLength");
    QTest::newRow("short lines, no cut") << 1u << 100 << LineReader::DefaultMaxLineLength;
    QTest::newRow("long lines, no cut") << 2u << 3000000 << LineReader::DefaultMaxLineLength;
    QTest::newRow("cut at 5") << 3u << 100 << 5;
    QTest::newRow("cut at 9") << 4u << 100 << 9;
    QTest::newRow("cut at 64") << 5u << 1000 << 64;
    // Lines longer than a block of the reader, cut beyond it.
    QTest::newRow("cut at 1.5 MB") << 6u << 4000000 << 1500000;
}

void TestLineReader::candidatesAreTheLinesThatHoldThem()
{
    QFETCH(quint32, seed);
    QFETCH(int, longLine);
    QFETCH(int, maxLineLength);
    QByteArray content = generatedLog(seed, longLine > 100000 ? 40 : 3000, longLine);

    QBuffer whole(&content);
    QVERIFY(whole.open(QIODevice::ReadOnly));
    LineReader every(&whole, maxLineLength);
    QList<QByteArray> expected;
    for (const QByteArray &line : allLines(every)) {
        QVERIFY(line.size() <= maxLineLength);
        if (holdsCandidate(line))
            expected << line;
    }
    QVERIFY(expected.size() > 3);

    QBuffer scanned(&content);
    QVERIFY(scanned.open(QIODevice::ReadOnly));
    LineReader candidates(&scanned, maxLineLength);
    candidates.setCandidateTexts(kCandidates);
    QList<QByteArray> actual;
    QByteArray line;
    while (candidates.nextCandidate(&line))
        actual << line;
    QCOMPARE(actual.size(), expected.size());
    QVERIFY(actual == expected);
    QCOMPARE(candidates.cutLines() > 0, every.cutLines() > 0);
}

void TestLineReader::viewsAreTheLinesOfNext_data()
{
    candidatesAreTheLinesThatHoldThem_data();
}

// A line not copied is the line next() gives, without its line end; both ways count the bytes
// passed as the device's.
void TestLineReader::viewsAreTheLinesOfNext()
{
    QFETCH(quint32, seed);
    QFETCH(int, longLine);
    QFETCH(int, maxLineLength);
    QByteArray content = generatedLog(seed, longLine > 100000 ? 40 : 3000, longLine);
    const auto rebuilt = [](const LineReader::View &view) {
        return QByteArray(view.data, view.size) + (view.lineEnd ? "\n" : "");
    };
    for (const bool candidates : {false, true}) {
        QBuffer copied(&content);
        QBuffer viewed(&content);
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QVERIFY(viewed.open(QIODevice::ReadOnly));
        LineReader copying(&copied, maxLineLength);
        LineReader viewing(&viewed, maxLineLength);
        if (candidates) {
            copying.setCandidateTexts(kCandidates);
            viewing.setCandidateTexts(kCandidates);
        }
        QByteArray line;
        LineReader::View view;
        int lines = 0;
        for (;;) {
            const bool more = candidates ? copying.nextCandidate(&line) : copying.next(&line);
            const bool viewMore = candidates ? viewing.nextCandidate(&view) : viewing.next(&view);
            QCOMPARE(viewMore, more);
            if (!more)
                break;
            QCOMPARE(rebuilt(view), line);
            QCOMPARE(LineReader::decode(view), LineReader::decode(line));
            QVERIFY(view.size <= maxLineLength);
            QCOMPARE(viewing.consumed(), copying.consumed());
            ++lines;
        }
        QVERIFY(lines > 3);
        QCOMPARE(viewing.consumed(), qint64(content.size()));
        QCOMPARE(viewing.cutLines(), copying.cutLines());
    }
}

// Decoding a line in place gives what decoding its copy gives, whatever its bytes.
void TestLineReader::decodedViewsAreDecodedLines()
{
    QByteArray content = TestSupport::bytes("plain\n\xc3\xa9t\xc3\xa9\r\nbad \xff\xfe utf8\n"
                                            "nul\0after\nlone\rcr\n\x7f\x80\x01\nlast");
    content += generatedLog(99, 500, 40);
    QBuffer copied(&content);
    QBuffer viewed(&content);
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QVERIFY(viewed.open(QIODevice::ReadOnly));
    LineReader copying(&copied);
    LineReader viewing(&viewed);
    QByteArray line;
    LineReader::View view;
    int lines = 0;
    while (copying.next(&line)) {
        QVERIFY(viewing.next(&view));
        const QString expected = LineReader::decode(line);
        QCOMPARE(LineReader::decode(view), expected);
        QCOMPARE(LineReader::decode(view).isNull(), expected.isNull());
        ++lines;
    }
    QVERIFY(!viewing.next(&view));
    QVERIFY(lines > 500);
}

// The scanner's sixteen-at-a-time search against one position at a time: texts of one byte to
// many, sharing their first or last bytes, up to the end of the range and no further.
void TestLineReader::scannerFindsWhatAPlainSearchFinds()
{
    QRandomGenerator random(20261211);
    static const QByteArray alphabet = QByteArrayLiteral("abPRXset User:~\0\n\xff");
    int found = 0;
    for (int round = 0; round < 3000; ++round) {
        QVector<QByteArray> texts;
        const int count = int(random.bounded(1, 7));
        for (int k = 0; k < count; ++k) {
            QByteArray text;
            const int length = int(random.bounded(1, round % 5 == 0 ? 40 : 6));
            for (int i = 0; i < length; ++i)
                text += alphabet.at(int(random.bounded(alphabet.size())));
            texts << text;
        }
        QByteArray data;
        const int size = int(random.bounded(0, 300));
        for (int i = 0; i < size; ++i) {
            if (random.bounded(30) == 0)
                data += texts.at(int(random.bounded(texts.size())));
            else
                data += alphabet.at(int(random.bounded(alphabet.size())));
        }
        const TextScanner scanner(texts);
        for (int probe = 0; probe < 8; ++probe) {
            const int from = int(random.bounded(data.size() + 1));
            const int end = from + int(random.bounded(data.size() - from + 1));
            const int expected = scanner.findPlainly(data.constData(), from, end);
            QCOMPARE(scanner.find(data.constData(), from, end), expected);
            found += expected >= 0;
        }
    }
    QVERIFY(found > 1000);
    // An empty text is found at once; no text at all is never found.
    QCOMPARE(TextScanner({"abc", ""}).find("xyz", 1, 3), 1);
    QCOMPARE(TextScanner().find("xyz", 0, 3), -1);
}

QTEST_GUILESS_MAIN(TestLineReader)
#include "tst_linereader.moc"

// A cancelled export stops reading a large log within a block, not at its end.
void TestLineReader::cancelStopsWithinABlock()
{
    const QByteArray line = QByteArray(99, 'x') + '\n';
    const int total = 50000;
    QByteArray content = line.repeated(total);
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    std::atomic_bool cancel{false};
    const ReadCancel::Scope scope(&cancel);
    LineReader reader(&buffer);
    QByteArray read;
    int lines = 0;
    while (reader.next(&read)) {
        if (++lines == 10)
            cancel = true;
    }
    // The block already read is delivered: at most two blocks' lines.
    QVERIFY2(lines >= 10 && lines <= 2 * (1 << 20) / line.size(),
             qPrintable(QString::number(lines)));
    QVERIFY(lines < total);
    // Without a request the same log is read to its end.
    cancel = false;
    buffer.seek(0);
    LineReader again(&buffer);
    lines = 0;
    while (again.next(&read))
        ++lines;
    QCOMPARE(lines, total);
}
