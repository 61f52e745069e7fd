#include "linepatternmatcher.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// Compares the matcher with plain QRegExp::indexIn on one line: found or not, and captures.
bool sameAsQRegExp(const QString &line, QString *difference)
{
    QRegExp reference(LinePatternMatcher::stampedLinePattern());
    LinePatternMatcher matcher(LinePatternMatcher::stampedLinePattern());
    const bool expected = reference.indexIn(line) >= 0;
    const bool found = matcher.search(line);
    if (expected != found) {
        *difference = QStringLiteral("found %1, QRegExp %2").arg(found).arg(expected);
        return false;
    }
    if (!found)
        return true;
    for (int n = 0; n <= 3; ++n) {
        if (matcher.cap(n) != reference.cap(n)) {
            *difference = QStringLiteral("cap %1: '%2' vs QRegExp '%3'")
                              .arg(n)
                              .arg(matcher.cap(n), reference.cap(n));
            return false;
        }
    }
    return true;
}

} // namespace

class TestLinePatternMatcher : public QObject
{
    Q_OBJECT

private slots:
    void usesLinearScanOnlyForStampedPattern();
    void knownLines_data();
    void knownLines();
    void generatedLinesMatchQRegExp();
    void otherPatternsUseQRegExp();
};

void TestLinePatternMatcher::usesLinearScanOnlyForStampedPattern()
{
    QVERIFY(LinePatternMatcher(LinePatternMatcher::stampedLinePattern()).isLinear());
    QVERIFY(!LinePatternMatcher("(\\d+) (.*)").isLinear());
}

void TestLinePatternMatcher::knownLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("plain") << "2024-03-05 08:00:01 12.345[a][b][c][d] msg\n"
                           << " msg\n";
    QTest::newRow("brackets in message")
        << "2024-03-05 08:00:01 12.345[a][b][c][d] [x] set User [y]\n"
        << " [x] set User [y]\n";
    QTest::newRow("text before stamp") << "xx 2024-3-5 8:0:1 1.2[a][b][c][d]m"
                                       << "m";
    QTest::newRow("year with five digits first") << "12024-03-05 08:00:01 1.2[a][b][c][d]m"
                                                 << "m";
    QTest::newRow("empty field not allowed") << "2024-03-05 08:00:01 1.2[][b][c][d][e]m"
                                             << "m";
    QTest::newRow("nothing after fields") << "2024-03-05 08:00:01 1.2[a][b][c][d]" << QString();
    QTest::newRow("too many fraction digits")
        << "2024-03-05 08:00:01 1.2345[a][b][c][d]m" << QString();
    QTest::newRow("non-ascii digits")
        << QStringLiteral("٢٠٢٤-03-05 08:00:01 1.2[a][b][c][d]m") << "m";
}

void TestLinePatternMatcher::knownLines()
{
    QFETCH(QString, line);
    QFETCH(QString, message);
    QString difference;
    QVERIFY2(sameAsQRegExp(line, &difference), qPrintable(difference));
    LinePatternMatcher matcher(LinePatternMatcher::stampedLinePattern());
    QCOMPARE(matcher.search(line), !message.isNull());
    if (!message.isNull())
        QCOMPARE(matcher.cap(3), message);
}

void TestLinePatternMatcher::generatedLinesMatchQRegExp()
{
    // Lines built from the pieces that decide a match: stamps whole and broken, brackets,
    // separators, digits of several scripts.
    const QStringList pieces = {"2024-03-05 08:00:01 12.345[",
                                "2024-3-5 8:0:1 1.2",
                                "99-1-1 1:1:1 1.1[",
                                "[",
                                "]",
                                "][",
                                "]]",
                                "[[",
                                "a",
                                " ",
                                "-",
                                ":",
                                ".",
                                "7",
                                "12",
                                "2024",
                                QStringLiteral("٣"),
                                "\n",
                                "\t",
                                "x][",
                                "a][",
                                "b][",
                                "c]",
                                "d][e"};
    QRandomGenerator random(7);
    int matches = 0;
    LinePatternMatcher matcher(LinePatternMatcher::stampedLinePattern());
    for (int i = 0; i < 30000; ++i) {
        QString line;
        const int count = int(random.bounded(1, 28));
        const int stampAt = i % 2 ? int(random.bounded(count)) : -1;
        for (int k = 0; k < count; ++k)
            line += k == stampAt ? pieces.at(0) : pieces.at(int(random.bounded(pieces.size())));
        QString difference;
        if (!sameAsQRegExp(line, &difference))
            QFAIL(qPrintable(QStringLiteral("%1 for line '%2'").arg(difference, line)));
        matches += matcher.search(line) ? 1 : 0;
    }
    // Enough of the lines match for the captures to be compared often.
    QVERIFY2(matches > 3000, qPrintable(QString::number(matches)));
}

void TestLinePatternMatcher::otherPatternsUseQRegExp()
{
    LinePatternMatcher matcher("(\\d+)-(\\w+)");
    QVERIFY(matcher.search("x 12-ab"));
    QCOMPARE(matcher.cap(0), QString("12-ab"));
    QCOMPARE(matcher.cap(2), QString("ab"));
    QVERIFY(!matcher.search("none"));
}

QTEST_GUILESS_MAIN(TestLinePatternMatcher)
#include "tst_linepatternmatcher.moc"
