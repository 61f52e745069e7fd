#include "datetimecodec.h"
#include "producttypefigures.h"
#include "summaryjsonwriter.h"
#include "timeorder.h"
#include "usagesessions.h"
#include "usagesummary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimeZone>
#include <QtTest>

namespace {

const QString kType = QStringLiteral("Suite");

QDateTime at(const QString &text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
}

// Rows written compactly: "In anna 1 2024-03-05 08:00"; a moment of "-" is invalid.
UsageRecordList rows(const QStringList &lines)
{
    UsageRecordList list;
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char(' '));
        const QDateTime moment = parts.at(3) == QLatin1String("-")
                                     ? QDateTime()
                                     : at(parts.at(3) + QLatin1Char(' ') + parts.value(4));
        list.append(UsageRecord(parts.at(1), parts.at(2), moment, parts.at(0)));
    }
    return list;
}

// One text per session: "user dongle state seconds".
QStringList describe(const UsageSessionList &sessions)
{
    QStringList texts;
    for (const UsageSession &session : sessions)
        texts << QStringLiteral("%1 %2 %3 %4")
                     .arg(session.userName(), session.dogNum(),
                          UsageSession::stateName(session.state()))
                     .arg(session.seconds());
    return texts;
}

// A paired session of user from start for minutes.
UsageSession closed(const QString &user, const QString &start, int minutes)
{
    const QDateTime begin = at(start);
    return UsageSession(user, QStringLiteral("1"), begin, begin.addSecs(minutes * 60));
}

} // namespace

class TestUsageSessions : public QObject
{
    Q_OBJECT

private slots:
    void pairing_data();
    void pairing();
    void sessionsOfLocationsAreOrderedByStart();
    void orderByStart_data();
    void orderByStart();
    void dateRangeKeepsStartsInRange();
    void concurrency_data();
    void concurrency();
    void peakMatchesBruteForce();
    void perUserFigures();
    void dayPeaksCarryAcrossMidnight();
    void summaryPeriodAndEmptyTypes();
    void daylightSavingChanges();
    void licenceFiguresMatchACountOfEverySecond_data();
    void licenceFiguresMatchACountOfEverySecond();
    void donglesAndIdleOnes();
    void perMachineFigures();
    void machinesSurviveAppendAndRange();
};

void TestUsageSessions::pairing_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("sessions");
    QTest::addColumn<int>("unpairedEnds");

    QTest::newRow("adjacent In and Out")
        << QStringList{"In anna 1 2024-03-05 08:00", "Out anna 1 2024-03-05 09:30"}
        << QStringList{"anna 1 closed 5400"} << 0;
    QTest::newRow("run without its end is open")
        << QStringList{"In anna 1 2024-03-05 08:00", "In bo 2 2024-03-05 08:10",
                       "Out bo 2 2024-03-05 08:40"}
        << QStringList{"anna 1 open 0", "bo 2 closed 1800"} << 0;
    QTest::newRow("Out without its In is an unpaired end")
        << QStringList{"Out anna 1 2024-03-05 09:30", "In bo 2 2024-03-05 10:00",
                       "Out bo 2 2024-03-05 10:01"}
        << QStringList{"bo 2 closed 60"} << 1;
    QTest::newRow("another user's Out does not close the run")
        << QStringList{"In anna 1 2024-03-05 08:00", "Out bo 1 2024-03-05 09:00"}
        << QStringList{"anna 1 open 0"} << 1;
    QTest::newRow("another dongle's Out does not close the run")
        << QStringList{"In anna 1 2024-03-05 08:00", "Out anna 2 2024-03-05 09:00"}
        << QStringList{"anna 1 open 0"} << 1;
    QTest::newRow("never paired by time across rows")
        << QStringList{"In anna 1 2024-03-05 08:00", "In anna 1 2024-03-05 09:00",
                       "Out anna 1 2024-03-05 10:00"}
        << QStringList{"anna 1 open 0", "anna 1 closed 3600"} << 0;
    QTest::newRow("invalid start or end is undated")
        << QStringList{"In anna 1 - -", "Out anna 1 2024-03-05 10:00", "In bo 2 2024-03-05 08:00",
                       "Out bo 2 - -"}
        << QStringList{"anna 1 undated 0", "bo 2 undated 0"} << 0;
    QTest::newRow("end before start is invalid")
        << QStringList{"In anna 1 2024-03-05 10:00", "Out anna 1 2024-03-05 09:00"}
        << QStringList{"anna 1 invalid 0"} << 0;
    QTest::newRow("no length is closed")
        << QStringList{"In anna 1 2024-03-05 10:00", "Out anna 1 2024-03-05 10:00"}
        << QStringList{"anna 1 closed 0"} << 0;
    QTest::newRow("only Out rows")
        << QStringList{"Out anna 1 2024-03-05 10:00", "Out anna 1 2024-03-05 11:00"}
        << QStringList{} << 2;
}

void TestUsageSessions::pairing()
{
    QFETCH(QStringList, input);
    QFETCH(QStringList, sessions);
    QFETCH(int, unpairedEnds);
    const UsageSessions result = UsageSessions::fromLocationRows(UsageTable{{kType, rows(input)}});
    QCOMPARE(describe(result.sessions().value(kType)), sessions);
    QCOMPARE(result.unpairedEnds().value(kType).size(), unpairedEnds);
    QCOMPARE(result.productTypes().isEmpty(), sessions.isEmpty() && unpairedEnds == 0);
}

void TestUsageSessions::sessionsOfLocationsAreOrderedByStart()
{
    // Pairing happens per location: the second location's Out never closes the first's In.
    UsageSessions all = UsageSessions::fromLocationRows(
        {{kType, rows({"In anna 1 2024-03-05 10:00", "In carl 3 - -", "Out carl 3 - -",
                       "In bo 2 2024-03-05 08:00"})}});
    all.append(UsageSessions::fromLocationRows(
        {{kType, rows({"Out bo 2 2024-03-05 09:00", "In dora 4 2024-03-05 10:00",
                       "Out dora 4 2024-03-05 11:00"})},
         {QStringLiteral("Lite"),
          rows({"In eve 5 2024-03-04 10:00", "Out eve 5 2024-03-04 10:30"})}}));
    all.orderByStart();
    QCOMPARE(all.productTypes(), QStringList({"Lite", "Suite"}));
    // Equal starts keep the locations' order; the undated session comes last.
    QCOMPARE(
        describe(all.sessions().value(kType)),
        QStringList({"bo 2 open 0", "anna 1 open 0", "dora 4 closed 3600", "carl 3 undated 0"}));
    QCOMPARE(all.unpairedEnds().value(kType).size(), 1);
}

void TestUsageSessions::orderByStart_data()
{
    // "user yyyy-MM-dd HH:mm" for each open session, "user -" for an invalid start; then the
    // users in the order expected, and whether the set needs more than 32-bit seconds.
    QTest::addColumn<QStringList>("sessions");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("wide");

    QTest::newRow("ordinary, in order") << QStringList{"a 2024-03-05 08:00", "b 2024-03-05 09:00"}
                                        << QStringList{"a", "b"} << false;
    QTest::newRow("ordinary, equal starts keep their order")
        << QStringList{"a 2024-03-05 10:00", "b 2024-03-05 08:00", "c 2024-03-05 10:00",
                       "d 2024-03-05 08:00"}
        << QStringList{"b", "d", "a", "c"} << false;
    QTest::newRow("invalid last") << QStringList{"a 2024-03-05 08:00", "b -", "c 2024-03-05 07:00"}
                                  << QStringList{"c", "a", "b"} << false;
    QTest::newRow("before 1970") << QStringList{"a 2024-03-05 08:00", "b -", "c 1969-12-31 23:00"}
                                 << QStringList{"c", "a", "b"} << true;
    QTest::newRow("after 2106") << QStringList{"a -", "b 2107-01-01 00:00", "c 2024-03-05 08:00"}
                                << QStringList{"c", "b", "a"} << true;
    QTest::newRow("either side of the end of 32-bit seconds")
        << QStringList{"a -", "b 2106-02-08 00:00", "c 2106-02-06 00:00"}
        << QStringList{"c", "b", "a"} << true;
    QTest::newRow("equal starts before 1970 keep their order")
        << QStringList{"a 1969-12-31 23:00", "b 1969-12-31 23:00", "c 1969-12-31 22:00"}
        << QStringList{"c", "a", "b"} << true;
    QTest::newRow("mixed") << QStringList{"a 2024-03-05 08:00",
                                          "b -",
                                          "c 2200-01-01 00:00",
                                          "d 1969-07-20 20:17",
                                          "e 2024-03-05 08:00",
                                          "f 1900-01-01 00:00",
                                          "g -",
                                          "h 2107-01-01 00:00",
                                          "i 1970-01-02 00:00"}
                           << QStringList{"f", "d", "i", "a", "e", "h", "c", "b", "g"} << true;
}

// Sessions are ordered by their start in whole seconds, whatever the year; the quick 32-bit
// keys serve every set whose starts lie between 1970 and 2106.
void TestUsageSessions::orderByStart()
{
    QFETCH(QStringList, sessions);
    QFETCH(QStringList, expected);
    QFETCH(bool, wide);
    UsageSessions all;
    for (const QString &text : sessions) {
        const QString user = text.section(QLatin1Char(' '), 0, 0);
        const QString start = text.section(QLatin1Char(' '), 1);
        const QDateTime moment = start == QLatin1String("-") ? QDateTime() : at(start);
        QCOMPARE(moment.isValid(), start != QLatin1String("-"));
        all.addSession(kType, UsageSession(user, QStringLiteral("1"), moment));
    }
    const quint64 wideBefore = TimeOrder::wideSorts();
    all.orderByStart();
    QStringList users;
    for (const UsageSession &session : all.sessions().value(kType))
        users << session.userName();
    QCOMPARE(users, expected);
    QCOMPARE(TimeOrder::wideSorts() - wideBefore, quint64(wide ? 1 : 0));
}

void TestUsageSessions::dateRangeKeepsStartsInRange()
{
    const UsageSessions all = UsageSessions::fromLocationRows(
        {{kType, rows({"In anna 1 2024-03-04 23:00", "Out anna 1 2024-03-05 01:00",
                       "In bo 2 2024-03-05 08:00", "Out bo 2 2024-03-06 09:00", "In carl 3 - -",
                       "Out carl 3 2024-03-05 10:00", "Out dora 4 2024-03-05 12:00",
                       "Out eve 5 2024-03-07 12:00"})}});
    const UsageSessions day = all.inDateRange(QDate(2024, 3, 5), QDate(2024, 3, 5));
    // A session belongs to the day it starts; one without a start belongs to none.
    QCOMPARE(describe(day.sessions().value(kType)), QStringList{"bo 2 closed 90000"});
    QCOMPARE(day.unpairedEnds().value(kType).size(), 1);
    QCOMPARE(all.inDateRange(QDate(), QDate()).sessionCount(), 3);
    QCOMPARE(all.inDateRange(QDate(2024, 3, 1), QDate()).sessionCount(), 2);
}

void TestUsageSessions::concurrency_data()
{
    // "user yyyy-MM-dd HH:mm minutes"; "open" in place of the minutes for a run without end,
    // negative minutes for an end before the start.
    QTest::addColumn<QStringList>("sessions");
    QTest::addColumn<int>("peak");
    QTest::addColumn<QString>("peakStart");

    QTest::newRow("none") << QStringList{} << 0 << QString();
    QTest::newRow("touching do not overlap")
        << QStringList{"a 2024-03-05 09:00 90", "b 2024-03-05 10:30 30"} << 1 << "2024-03-05 09:00";
    QTest::newRow("nested") << QStringList{"a 2024-03-05 09:00 180", "b 2024-03-05 10:00 30",
                                           "c 2024-03-05 10:10 5"}
                            << 3 << "2024-03-05 10:10";
    QTest::newRow("identical intervals")
        << QStringList{"a 2024-03-05 09:00 60", "b 2024-03-05 09:00 60"} << 2 << "2024-03-05 09:00";
    QTest::newRow("no length never runs")
        << QStringList{"a 2024-03-05 09:00 0", "b 2024-03-05 09:00 0"} << 0 << QString();
    QStringList many{"early 2024-03-05 11:00 10"};
    for (int i = 0; i < 50; ++i)
        many << QStringLiteral("u%1 2024-03-05 12:00 %2").arg(i).arg(1 + i);
    QTest::newRow("many at one instant") << many << 50 << "2024-03-05 12:00";
    QTest::newRow("open and invalid do not count")
        << QStringList{"a 2024-03-05 09:00 60", "b 2024-03-05 09:10 open", "c 2024-03-05 09:20 -80"}
        << 1 << "2024-03-05 09:00";
}

void TestUsageSessions::concurrency()
{
    QFETCH(QStringList, sessions);
    QFETCH(int, peak);
    QFETCH(QString, peakStart);
    UsageSessionList list;
    for (const QString &text : sessions) {
        const QStringList parts = text.split(QLatin1Char(' '));
        const QString start = parts.at(1) + QLatin1Char(' ') + parts.at(2);
        if (parts.at(3) == QLatin1String("open"))
            list << UsageSession(parts.at(0), "1", at(start));
        else
            list << closed(parts.at(0), start, parts.at(3).toInt());
    }
    const ProductTypeFigures figures =
        ProductTypeFigures::compute(kType, list, 0, QDate(), QDate());
    QCOMPARE(figures.peakConcurrent, peak);
    QCOMPARE(figures.peakStart, peakStart.isEmpty() ? QDateTime() : at(peakStart));
}

void TestUsageSessions::peakMatchesBruteForce()
{
    // The sweep against a count at every start moment, on sessions made to collide often.
    QRandomGenerator random(20261210);
    for (int round = 0; round < 40; ++round) {
        UsageSessionList sessions;
        const int count = 1 + int(random.bounded(60));
        for (int i = 0; i < count; ++i) {
            const QDateTime start = at("2024-03-05 08:00").addSecs(60 * random.bounded(600));
            sessions << UsageSession(QStringLiteral("u%1").arg(random.bounded(5)), "1", start,
                                     start.addSecs(60 * random.bounded(120)));
        }
        int expected = 0;
        QDateTime expectedStart;
        for (const UsageSession &probe : sessions) {
            if (probe.seconds() == 0)
                continue;
            int running = 0;
            for (const UsageSession &other : sessions) {
                if (other.startSeconds() <= probe.startSeconds() &&
                    probe.startSeconds() < other.endSeconds())
                    ++running;
            }
            if (running > expected ||
                (running == expected && probe.startSeconds() < expectedStart.toSecsSinceEpoch())) {
                expected = running;
                expectedStart = probe.start();
            }
        }
        const ProductTypeFigures figures =
            ProductTypeFigures::compute(kType, sessions, 0, QDate(2024, 3, 5), QDate(2024, 3, 6));
        QCOMPARE(figures.peakConcurrent, expected);
        QCOMPARE(figures.peakStart, expectedStart);
        QCOMPARE(figures.dayPeaks, QVector<int>({expected, 0}));
    }
}

void TestUsageSessions::perUserFigures()
{
    const UsageSessionList sessions{
        closed("bo", "2024-03-05 09:00", 60),
        closed("bo", "2024-03-05 09:30", 60),
        closed("anna", "2024-03-05 08:00", 60),
        closed("anna", "2024-03-06 08:00", 60),
        UsageSession("anna", "7", at("2024-03-07 08:00")),
        UsageSession("", "", at("2024-03-02 08:00"), at("2024-03-02 07:00")),
        closed("carl", "2024-03-05 09:10", 30)};
    const ProductTypeFigures figures =
        ProductTypeFigures::compute(kType, sessions, 1, QDate(), QDate());
    QCOMPARE(figures.closedSessions, 5);
    QCOMPARE(figures.openSessions, 1);
    QCOMPARE(figures.invalidSessions, 1);
    QCOMPARE(figures.unpairedEnds, 1);
    // The sessions without a user name are one user: the count agrees with the list below.
    QCOMPARE(figures.users, 4);
    QCOMPARE(figures.dongles, 2);
    QCOMPARE(figures.totalSeconds, qint64(4 * 3600 + 1800));
    QCOMPARE(figures.peakConcurrent, 3);
    QCOMPARE(figures.peakStart, at("2024-03-05 09:30"));

    // Most hours first, equal hours by name; every user, the nameless one included.
    QStringList order;
    for (const ProductTypeFigures::User &user : figures.perUser)
        order << user.name;
    QCOMPARE(order, QStringList({"anna", "bo", "carl", ""}));
    QCOMPARE(figures.users, figures.perUser.size());
    const ProductTypeFigures::User &anna = figures.perUser.at(0);
    QCOMPARE(anna.closedSessions, 2);
    QCOMPARE(anna.peakConcurrent, 1);
    QCOMPARE(anna.firstStart, at("2024-03-05 08:00"));
    QCOMPARE(anna.lastStart, at("2024-03-07 08:00"));
    QCOMPARE(figures.perUser.at(1).peakConcurrent, 2);
}

void TestUsageSessions::dayPeaksCarryAcrossMidnight()
{
    // a runs from the 4th into the 7th; b ends at midnight of the 6th exactly, c sits on the 6th.
    const UsageSessionList sessions{
        UsageSession("a", "1", at("2024-03-04 22:00"), at("2024-03-07 01:00")),
        UsageSession("b", "2", at("2024-03-04 23:00"), at("2024-03-06 00:00")),
        closed("c", "2024-03-06 10:00", 60)};
    const ProductTypeFigures figures =
        ProductTypeFigures::compute(kType, sessions, 0, QDate(2024, 3, 3), QDate(2024, 3, 8));
    QCOMPARE(figures.firstDay, QDate(2024, 3, 3));
    QCOMPARE(figures.dayPeaks, QVector<int>({0, 2, 2, 2, 1, 0}));
}

void TestUsageSessions::summaryPeriodAndEmptyTypes()
{
    UsageSessions sessions = UsageSessions::fromLocationRows(
        {{kType, rows({"In anna 1 2024-03-05 22:00", "Out anna 1 2024-03-06 02:00"})},
         {QStringLiteral("Only open"), rows({"In bo 2 2024-03-08 08:00"})},
         {QStringLiteral("Nothing"), rows({})}});
    const UsageSummary open = UsageSummary::compute("DLV", sessions, QDate(), QDate());
    QCOMPARE(open.periodFirst, QDate(2024, 3, 5));
    QCOMPARE(open.periodLast, QDate(2024, 3, 8));
    QCOMPARE(open.productTypes.size(), 2);
    QCOMPARE(open.productTypes.at(0).name, QStringLiteral("Only open"));
    QCOMPARE(open.productTypes.at(0).openSessions, 1);
    QCOMPARE(open.productTypes.at(0).peakStart, QDateTime());
    QCOMPARE(open.productTypes.at(1).dayPeaks, QVector<int>({1, 1, 0, 0}));

    const UsageSummary ranged =
        UsageSummary::compute("DLV", UsageSessions(), QDate(2024, 1, 1), QDate(2024, 12, 31));
    QCOMPARE(ranged.periodFirst, QDate(2024, 1, 1));
    QCOMPARE(ranged.periodLast, QDate(2024, 12, 31));
    QVERIFY(ranged.productTypes.isEmpty());
}

void TestUsageSessions::daylightSavingChanges()
{
    const QTimeZone zone = QTimeZone::systemTimeZone();
    if (zone.offsetFromUtc(QDateTime(QDate(2024, 3, 30), QTime(12, 0), Qt::UTC)) ==
        zone.offsetFromUtc(QDateTime(QDate(2024, 4, 1), QTime(12, 0), Qt::UTC)))
        QSKIP("the local zone has no change on 2024-03-31 (CTest runs this under Europe/Berlin)");
    // Stamps read the way the readers read them.
    const DateTimeCodec codec(QStringLiteral("yyyy-MM-dd HH:mm"));
    const auto session = [&](const char *start, const char *end) {
        return UsageSession("a", "1", codec.parse(QString::fromLatin1(start)),
                            codec.parse(QString::fromLatin1(end)));
    };
    // Two hours on the wall clock: one really passed in spring, three in autumn.
    const UsageSession spring = session("2024-03-31 01:30", "2024-03-31 03:30");
    QCOMPARE(spring.state(), UsageSession::Closed);
    QCOMPARE(spring.seconds(), qint64(3600));
    const UsageSession autumn = session("2024-10-27 01:30", "2024-10-27 03:30");
    QCOMPARE(autumn.state(), UsageSession::Closed);
    QCOMPARE(autumn.seconds(), qint64(3 * 3600));
    // The skipped hour names no moment; the repeated one is its first, summer-time occurrence.
    QCOMPARE(session("2024-03-31 02:30", "2024-03-31 04:00").state(), UsageSession::Undated);
    const UsageSession repeated = session("2024-10-27 02:30", "2024-10-27 02:45");
    QCOMPARE(repeated.seconds(), qint64(15 * 60));
    QCOMPARE(repeated.start().offsetFromUtc(), 7200);
    // Both run at once by real time.
    const ProductTypeFigures figures = ProductTypeFigures::compute(
        kType, {autumn, repeated}, 0, QDate(2024, 10, 27), QDate(2024, 10, 27));
    QCOMPARE(figures.peakConcurrent, 2);
    QCOMPARE(figures.totalSeconds, qint64(3 * 3600 + 15 * 60));
}

namespace {

// A session of user on dongle from start for minutes, filed under machine.
UsageSession onMachine(UsageSessions *sessions, const QString &machine, const QString &user,
                       const QString &dongle, const QString &start, int minutes)
{
    const QDateTime begin = at(start);
    UsageSession session(user, dongle, begin, begin.addSecs(minutes * 60));
    session.setMachine(sessions->machineNumber(machine));
    return session;
}

} // namespace

// From an archive each product type has each machine's figures beside the site's, by machine
// name; the site's are over every machine's sessions together, so its peak is across machines
// at one instant: two machines that each ran one session at a time ran two at once.
void TestUsageSessions::perMachineFigures()
{
    UsageSessions sessions;
    // ws2 is named first, yet listed second.
    sessions.addSession(kType, onMachine(&sessions, "ws2", "carl", "D-3", "2024-03-04 09:00", 90));
    sessions.addSession(kType, onMachine(&sessions, "ws1", "anna", "D-1", "2024-03-04 08:00", 120));
    sessions.addSession(kType, onMachine(&sessions, "ws1", "bo", "D-2", "2024-03-04 10:00", 60));
    UsageSession open("dora", "D-4", at("2024-03-05 08:00"));
    open.setMachine(sessions.machineNumber("ws2"));
    sessions.addSession(kType, open);
    sessions.addUnpairedEnd(kType, at("2024-03-04 12:00"), "emil", "D-5",
                            sessions.machineNumber("ws1"));
    sessions.addSession("Other",
                        onMachine(&sessions, "ws2", "anna", "D-1", "2024-03-04 08:00", 10));
    sessions.orderByStart();
    QCOMPARE(sessions.machines(), QStringList({"ws2", "ws1"}));

    const UsageSummary summary = UsageSummary::compute("DLV", sessions, QDate(2024, 3, 1),
                                                       QDate(2024, 3, 31), 10, {{kType, 1}});
    QCOMPARE(summary.productTypes.size(), 2);
    const ProductTypeFigures &other = summary.productTypes.at(0);
    QCOMPARE(other.perMachine.size(), 1);
    QCOMPARE(other.perMachine.at(0).name, QStringLiteral("ws2"));
    const ProductTypeFigures &site = summary.productTypes.at(1);
    QCOMPARE(site.name, kType);
    QCOMPARE(site.peakConcurrent, 2);
    QCOMPARE(site.peakStart, at("2024-03-04 09:00"));
    QCOMPARE(site.busySeconds, qint64(3 * 3600));
    QCOMPARE(site.secondsAtLeast, QVector<qint64>({3 * 3600, 90 * 60}));
    QCOMPARE(site.closedSessions, 3);
    QCOMPARE(site.owned, 1);
    QCOMPARE(site.perMachine.size(), 2);

    const ProductTypeFigures &ws1 = site.perMachine.at(0);
    QCOMPARE(ws1.name, QStringLiteral("ws1"));
    QCOMPARE(ws1.peakConcurrent, 1);
    QCOMPARE(ws1.busySeconds, qint64(3 * 3600));
    QCOMPARE(ws1.secondsAtLeast, QVector<qint64>({3 * 3600}));
    QCOMPARE(ws1.closedSessions, 2);
    QCOMPARE(ws1.openSessions, 0);
    QCOMPARE(ws1.unpairedEnds, 1);
    QCOMPARE(ws1.users, 2);
    QCOMPARE(ws1.perDongle.size(), 2);
    QCOMPARE(ws1.licencesFor(1.0), 1);
    QCOMPARE(ws1.owned, -1);
    QVERIFY(ws1.perMachine.isEmpty());
    // Over the site's period: the same days and hours of the week, and idle as the site counts
    // it (10 days).
    QCOMPARE(ws1.firstDay, QDate(2024, 3, 1));
    QCOMPARE(ws1.dayPeaks.size(), 31);
    QCOMPARE(ws1.week.cell(1, 9).peak, 1);
    QCOMPARE(site.week.cell(1, 9).peak, 2);
    QVERIFY(ws1.perDongle.at(0).idle);
    QVERIFY(site.perDongle.at(0).idle);

    const ProductTypeFigures &ws2 = site.perMachine.at(1);
    QCOMPARE(ws2.name, QStringLiteral("ws2"));
    QCOMPARE(ws2.peakConcurrent, 1);
    QCOMPARE(ws2.busySeconds, qint64(90 * 60));
    QCOMPARE(ws2.closedSessions, 1);
    QCOMPARE(ws2.openSessions, 1);
    QCOMPARE(ws2.unpairedEnds, 0);
    QCOMPARE(ws2.dongles, 2);

    // In the JSON: beside every member of the site's, the machines' without the licences owned.
    const QJsonObject type = QJsonDocument::fromJson(SummaryJsonWriter::toJson(summary))
                                 .object()
                                 .value("productTypes")
                                 .toArray()
                                 .at(1)
                                 .toObject();
    QCOMPARE(type.value("peakConcurrent").toInt(), 2);
    QCOMPARE(type.value("owned").toInt(), 1);
    const QJsonArray machines = type.value("perMachine").toArray();
    QCOMPARE(machines.size(), 2);
    const QJsonObject first = machines.at(0).toObject();
    QCOMPARE(first.value("name").toString(), QStringLiteral("ws1"));
    QCOMPARE(first.value("peakConcurrent").toInt(), 1);
    QCOMPARE(first.value("busySeconds").toDouble(), 3 * 3600.0);
    QCOMPARE(first.value("unpairedEnds").toInt(), 1);
    QVERIFY(!first.contains("owned") && !first.contains("secondsOverOwned"));
    QVERIFY(!first.contains("perMachine"));
    QStringList members = type.keys();
    members.removeAll("owned");
    members.removeAll("secondsOverOwned");
    members.removeAll("perMachine");
    QCOMPARE(first.keys(), members);

    // From logs no session names a machine, and the JSON has no perMachine at all.
    UsageSessions logs;
    logs.addSession(kType, closed("anna", "2024-03-04 08:00", 60));
    const UsageSummary fromLogs = UsageSummary::compute("DLV", logs, QDate(), QDate());
    QVERIFY(fromLogs.productTypes.at(0).perMachine.isEmpty());
    QVERIFY(!SummaryJsonWriter::toJson(fromLogs).contains("perMachine"));
}

// Sets of sessions with machines of their own, appended, keep each session's and unpaired
// end's machine by name, and a date range keeps them too.
void TestUsageSessions::machinesSurviveAppendAndRange()
{
    UsageSessions first;
    first.addSession(kType, onMachine(&first, "a", "anna", "1", "2024-03-04 08:00", 60));
    UsageSessions second;
    second.addSession(kType, onMachine(&second, "b", "bo", "2", "2024-03-05 08:00", 60));
    second.addSession(kType, onMachine(&second, "a", "carl", "3", "2024-03-06 08:00", 60));
    second.addUnpairedEnd(kType, at("2024-03-06 09:00"), "dora", "4", second.machineNumber("a"));
    UsageSessions all = first;
    all.append(second);
    QCOMPARE(all.machines(), QStringList({"a", "b"}));
    const auto machineOf = [&](const UsageSessions &set, int index) {
        return set.machines().value(set.sessions().value(kType).at(index).machine());
    };
    QCOMPARE(machineOf(all, 0), QStringLiteral("a"));
    QCOMPARE(machineOf(all, 1), QStringLiteral("b"));
    QCOMPARE(machineOf(all, 2), QStringLiteral("a"));
    QCOMPARE(all.unpairedEndMachines().value(kType), QVector<int>({0}));
    // The original is left as it was.
    QCOMPARE(second.sessions().value(kType).at(0).machine(), 0);

    const UsageSessions ranged = all.inDateRange(QDate(2024, 3, 5), QDate(2024, 3, 6));
    QCOMPARE(ranged.machines(), all.machines());
    QCOMPARE(ranged.sessionCount(), 2);
    QCOMPARE(machineOf(ranged, 0), QStringLiteral("b"));
    QCOMPARE(machineOf(ranged, 1), QStringLiteral("a"));
    QCOMPARE(ranged.unpairedEndMachines().value(kType), QVector<int>({0}));

    // Logs' sessions appended to nothing name no machine.
    UsageSessions logs;
    logs.append(UsageSessions::fromLocationRows(
        {{kType, rows({"In anna 1 2024-03-05 08:00", "Out anna 1 2024-03-05 09:00",
                       "Out bo 2 2024-03-05 10:00"})}}));
    QVERIFY(!logs.hasMachines());
    QCOMPARE(logs.sessions().value(kType).at(0).machine(), -1);
    QCOMPARE(logs.unpairedEndMachines().value(kType), QVector<int>({-1}));
}

QTEST_GUILESS_MAIN(TestUsageSessions)
#include "tst_usagesessions.moc"

void TestUsageSessions::licenceFiguresMatchACountOfEverySecond_data()
{
    QTest::addColumn<QDate>("first");
    QTest::addColumn<quint32>("seed");
    // Under TZ=Europe/Berlin these weeks hold the skipped and the repeated hour.
    QTest::newRow("week of the spring change") << QDate(2024, 3, 25) << 7u;
    QTest::newRow("week of the autumn change") << QDate(2024, 10, 21) << 11u;
    QTest::newRow("an ordinary week, crowded") << QDate(2024, 6, 3) << 13u;
}

// The time at each level, the busy time, the licences for each share and the working week,
// against a count of every second of a week (in minutes for the local hour, which changes only
// on whole minutes), under the zone the test runs in.
void TestUsageSessions::licenceFiguresMatchACountOfEverySecond()
{
    QFETCH(QDate, first);
    QFETCH(quint32, seed);
    const QDate last = first.addDays(6);
    const qint64 begin = QDateTime(first, QTime(0, 0)).toSecsSinceEpoch();
    const qint64 end = QDateTime(last.addDays(1), QTime(0, 0)).toSecsSinceEpoch();
    QRandomGenerator random(seed);
    UsageSessionList sessions;
    const int count =
        QTest::currentDataTag() == QLatin1String("an ordinary week, crowded") ? 60 : 25;
    for (int i = 0; i < count; ++i) {
        const qint64 start = begin + random.bounded(int(end - begin - 4 * 3600));
        const qint64 length = random.bounded(4 * 3600);
        sessions << UsageSession(QStringLiteral("u%1").arg(i % 5), QStringLiteral("%1").arg(i % 3),
                                 QDateTime::fromSecsSinceEpoch(start),
                                 QDateTime::fromSecsSinceEpoch(start + length));
    }
    const ProductTypeFigures figures = ProductTypeFigures::compute(kType, sessions, 0, first, last);

    QVector<qint64> atLevel(count + 2, 0);
    double sessionSeconds[7][24] = {};
    qint64 slotSeconds[7][24] = {};
    int peak[7][24] = {};
    QDateTime local;
    for (qint64 t = begin; t < end; ++t) {
        if (t == begin || t % 60 == 0)
            local = QDateTime::fromSecsSinceEpoch(t);
        int level = 0;
        for (const UsageSession &session : qAsConst(sessions))
            level += session.startSeconds() <= t && t < session.endSeconds() ? 1 : 0;
        ++atLevel[level];
        const int day = local.date().dayOfWeek() - 1;
        const int hour = local.time().hour();
        ++slotSeconds[day][hour];
        sessionSeconds[day][hour] += level;
        peak[day][hour] = std::max(peak[day][hour], level);
    }
    QVector<qint64> atLeast;
    for (int level = count; level >= 1; --level) {
        const qint64 above = atLeast.isEmpty() ? 0 : atLeast.first();
        if (atLevel[level] + above > 0 || !atLeast.isEmpty())
            atLeast.prepend(atLevel[level] + above);
    }
    QCOMPARE(figures.secondsAtLeast, atLeast);
    QCOMPARE(figures.busySeconds, atLeast.value(0));
    QCOMPARE(figures.secondsAtLeast.size(), figures.peakConcurrent);
    for (const double share : {0.95, 0.99, 1.0}) {
        int licences = 0;
        while (atLeast.value(licences) > (1.0 - share) * double(atLeast.value(0)))
            ++licences;
        QCOMPARE(figures.licencesFor(share), licences);
    }
    QCOMPARE(figures.licencesFor(1.0), figures.peakConcurrent);
    for (int day = 0; day < 7; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            const WorkingWeek::Cell cell = figures.week.cell(day + 1, hour);
            const double average =
                slotSeconds[day][hour] ? sessionSeconds[day][hour] / slotSeconds[day][hour] : 0;
            QVERIFY2(qAbs(cell.average - average) < 1e-9,
                     qPrintable(QString("day %1 hour %2: %3 against %4")
                                    .arg(day + 1)
                                    .arg(hour)
                                    .arg(cell.average)
                                    .arg(average)));
            QCOMPARE(cell.peak, peak[day][hour]);
        }
    }
}

// Each dongle's sessions, hours, users and starts; idle when its last start lies more than the
// idle days before the end of the period's last day.
void TestUsageSessions::donglesAndIdleOnes()
{
    const UsageSessionList sessions{
        UsageSession("anna", "D-1", at("2024-03-01 08:00"), at("2024-03-01 10:00")),
        UsageSession("bo", "D-1", at("2024-03-20 08:00"), at("2024-03-20 09:00")),
        UsageSession("bo", "D-2", at("2024-02-28 23:00"), at("2024-02-29 01:00")),
        UsageSession("carl", "D-3", at("2024-03-02 00:00")),
        UsageSession("dora", "", at("2024-03-05 08:00"), at("2024-03-05 09:00")),
        UsageSession("emil", "D-4", QDateTime(), at("2024-03-05 09:00"))};
    UsageSessions all;
    for (const UsageSession &session : sessions)
        all.addSession(kType, session);
    // The period ends with 31 March: 30 days before its end is 1 March, 24:00.
    const UsageSummary summary =
        UsageSummary::compute("DLV", all, QDate(2024, 2, 1), QDate(2024, 3, 31));
    const QVector<ProductTypeFigures::Dongle> dongles = summary.productTypes.at(0).perDongle;
    QStringList described;
    for (const ProductTypeFigures::Dongle &dongle : dongles)
        described << QString("%1 %2 %3 %4 %5 %6 %7")
                         .arg(dongle.name)
                         .arg(dongle.closedSessions)
                         .arg(dongle.totalSeconds)
                         .arg(dongle.users)
                         .arg(dongle.firstStart.toString("MM-dd HH:mm"),
                              dongle.lastStart.toString("MM-dd HH:mm"))
                         .arg(dongle.idle ? "idle" : "used");
    QCOMPARE(described,
             (QStringList{"D-1 2 10800 2 03-01 08:00 03-20 08:00 used",
                          "D-2 1 7200 1 02-28 23:00 02-28 23:00 idle",
                          "D-3 0 0 1 03-02 00:00 03-02 00:00 used", "D-4 0 0 1   idle"}));
    const UsageSummary longer =
        UsageSummary::compute("DLV", all, QDate(2024, 2, 1), QDate(2024, 3, 31), 12);
    QCOMPARE(longer.productTypes.at(0).perDongle.at(0).idle, false);
    QCOMPARE(longer.productTypes.at(0).perDongle.at(2).idle, true);
}
