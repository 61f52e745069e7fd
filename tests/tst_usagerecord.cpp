#include "sortkey.h"
#include "usagerecord.h"
#include "usagetable.h"

#include <QRandomGenerator>
#include <QtTest>

class TestUsageRecord : public QObject
{
    Q_OBJECT

private slots:
    void derivedTexts_data();
    void derivedTexts();
    void invalidDateTimeGivesEmptyTexts();
    void copiesStayConsistent();
    void sharedTextsSameAsQt();
    void tableKeyOrder();
    void appendAndReplaceRows();
    void sortKey_data();
    void sortKey();
};

void TestUsageRecord::derivedTexts_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<QString>("dateText");
    QTest::addColumn<QString>("timeText");
    QTest::newRow("zero padded") << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)) << "2024-03-05"
                                 << "14:07:09";
    QTest::newRow("midnight") << QDateTime(QDate(2024, 12, 31), QTime(0, 0, 0)) << "2024-12-31"
                              << "00:00:00";
    QTest::newRow("milliseconds ignored")
        << QDateTime(QDate(2024, 1, 2), QTime(23, 59, 59, 999)) << "2024-01-02"
        << "23:59:59";
    QTest::newRow("early year") << QDateTime(QDate(812, 7, 4), QTime(1, 2, 3)) << "0812-07-04"
                                << "01:02:03";
}

void TestUsageRecord::derivedTexts()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(QString, dateText);
    QFETCH(QString, timeText);
    const UsageRecord record("alice", "4711", dateTime, "In");
    QCOMPARE(record.dateText(), dateText);
    QCOMPARE(record.timeText(), timeText);
    QCOMPARE(record.dateText(), dateTime.date().toString("yyyy-MM-dd"));
    QCOMPARE(record.timeText(), dateTime.time().toString("hh:mm:ss"));
    QCOMPARE(record.userName(), QString("alice"));
    QCOMPARE(record.dogNum(), QString("4711"));
    QCOMPARE(record.logAction(), QString("In"));
    QCOMPARE(record.dateTime(), dateTime);
}

void TestUsageRecord::invalidDateTimeGivesEmptyTexts()
{
    const UsageRecord record(" bob ", "", QDateTime::fromString("junk", "yyyy"), "Out");
    QVERIFY(record.dateText().isEmpty());
    QVERIFY(record.timeText().isEmpty());
    QCOMPARE(record.userName(), QString(" bob "));
    QCOMPARE(record.dogNum(), QString());
    QCOMPARE(record.logAction(), QString("Out"));
}

void TestUsageRecord::copiesStayConsistent()
{
    const UsageRecord first("a", "1", QDateTime(QDate(2024, 3, 5), QTime(8, 0)), "In");
    UsageRecord second("b", "2", QDateTime(), "Out");
    const UsageRecord copy(first);
    second = first;
    for (const UsageRecord *record : {&copy, static_cast<const UsageRecord *>(&second)}) {
        QCOMPARE(record->userName(), QString("a"));
        QCOMPARE(record->dateText(), QString("2024-03-05"));
        QCOMPARE(record->timeText(), QString("08:00:00"));
        QCOMPARE(record->logAction(), QString("In"));
    }
}

void TestUsageRecord::tableKeyOrder()
{
    UsageTable table;
    for (const QString &key : {QString("b"), QString("A"), QString(), QString("a"), QString("Z")})
        table[key];
    QCOMPARE(table.keys(), (QStringList{"", "A", "Z", "a", "b"}));
}

void TestUsageRecord::appendAndReplaceRows()
{
    UsageTable table;
    const QDateTime when(QDate(2024, 1, 1), QTime(9, 0));
    table["K"].append(UsageRecord("first", "1", when, "In"));
    QCOMPARE(table.value("K").size(), 1);
    table["K"].append(UsageRecord("second", "1", when, "Out"));
    QCOMPARE(table.value("K").at(0).userName(), QString("first"));
    QCOMPARE(table.value("K").at(1).userName(), QString("second"));
    table.insert("K", UsageRecordList{UsageRecord("only", "2", when, "In")});
    QCOMPARE(table.value("K").size(), 1);
    QCOMPARE(table.value("K").at(0).userName(), QString("only"));
}

void TestUsageRecord::sortKey_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<quint32>("key");
    QTest::newRow("epoch") << QDateTime::fromSecsSinceEpoch(0, Qt::UTC) << quint32(0);
    QTest::newRow("milliseconds dropped")
        << QDateTime::fromMSecsSinceEpoch(1709625609999, Qt::UTC) << quint32(1709625609);
    QTest::newRow("last valid second")
        << QDateTime::fromSecsSinceEpoch(4294967294LL, Qt::UTC) << quint32(4294967294u);
    QTest::newRow("past the range")
        << QDateTime::fromSecsSinceEpoch(4294967295LL, Qt::UTC) << SortKey::Invalid;
    QTest::newRow("before 1970") << QDateTime::fromSecsSinceEpoch(-1, Qt::UTC) << SortKey::Invalid;
    QTest::newRow("invalid") << QDateTime() << SortKey::Invalid;
}

void TestUsageRecord::sortKey()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(quint32, key);
    QCOMPARE(SortKey::of(dateTime), key);
    QCOMPARE(SortKey::of(dateTime.toLocalTime()), key);
}

// Rows share the texts of their day and second through small tables; a run of many moments,
// some colliding in the tables, must still give every row Qt's own texts.
void TestUsageRecord::sharedTextsSameAsQt()
{
    QRandomGenerator random(7);
    const QDateTime base(QDate(2024, 1, 1), QTime(0, 0), Qt::LocalTime);
    const QString user = QStringLiteral("u");
    for (int i = 0; i < 40000; ++i) {
        // A year and more, then days decades apart that meet in the tables' slots.
        const bool far = i >= 20000;
        const quint32 span = far ? 60u * 366 * 86400 : 400u * 86400;
        const QDateTime when =
            base.addSecs(qint64(random.bounded(span)) - (far ? qint64(span / 2) : 0));
        const UsageRecord first(user, user, when, user);
        const UsageRecord second(user, user, when, user);
        QCOMPARE(first.dateText(), when.toString(QStringLiteral("yyyy-MM-dd")));
        QCOMPARE(first.timeText(), when.toString(QStringLiteral("hh:mm:ss")));
        QCOMPARE(second.dateText().constData(), first.dateText().constData());
        QCOMPARE(second.timeText().constData(), first.timeText().constData());
    }
}

QTEST_GUILESS_MAIN(TestUsageRecord)
#include "tst_usagerecord.moc"
