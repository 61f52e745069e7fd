#include "localepoch.h"

#include <QRandomGenerator>
#include <QTimeZone>
#include <QtTest>

// LocalEpoch must answer exactly what QDateTime::toSecsSinceEpoch answers; CTest runs this
// under UTC and under a zone with daylight saving.
class TestLocalEpoch : public QObject
{
    Q_OBJECT

private slots:
    void agreesWithQtOnGeneratedMoments();
    void agreesWithQtAroundEveryChange();
    void otherTimeSpecs();
};

void TestLocalEpoch::agreesWithQtOnGeneratedMoments()
{
    QRandomGenerator random(1210);
    const quint64 quickBefore = LocalEpoch::quickAnswers();
    const int count = 200000;
    for (int i = 0; i < count; ++i) {
        // Mostly clustered moments, as logs give them, and now and then one far away.
        const bool far = random.bounded(20) == 0;
        const QDate date = far ? QDate(1900, 1, 1).addDays(random.bounded(200 * 366))
                               : QDate(2023, 1, 1).addDays(random.bounded(3 * 366));
        const QTime time = QTime::fromMSecsSinceStartOfDay(random.bounded(86400 * 1000));
        const QDateTime moment(date, time, Qt::LocalTime);
        QCOMPARE(LocalEpoch::seconds(moment), moment.toSecsSinceEpoch());
    }
    // The quick way must answer the ordinary moments, or the speed-up is gone.
    QVERIFY2(LocalEpoch::quickAnswers() - quickBefore > quint64(count) * 9 / 10,
             qPrintable(QString::number(LocalEpoch::quickAnswers() - quickBefore)));
}

void TestLocalEpoch::agreesWithQtAroundEveryChange()
{
    // Every minute, and the seconds next to each hour, of the days around each offset change of
    // the local zone: gaps, repeated hours and the days on either side.
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime from(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    const QDateTime to(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    const QTimeZone::OffsetDataList changes = zone.transitions(from, to);
    QList<QDate> days{QDate(2024, 3, 31), QDate(2024, 10, 27)};
    for (const QTimeZone::OffsetData &change : changes)
        days << change.atUtc.toLocalTime().date();
    for (const QDate &day : qAsConst(days)) {
        for (int offset = -1; offset <= 1; ++offset) {
            for (int minute = 0; minute < 24 * 60; ++minute) {
                for (int second : {0, 59}) {
                    const QDateTime moment(day.addDays(offset),
                                           QTime(minute / 60, minute % 60, second), Qt::LocalTime);
                    QCOMPARE(LocalEpoch::seconds(moment), moment.toSecsSinceEpoch());
                }
            }
        }
    }
}

void TestLocalEpoch::otherTimeSpecs()
{
    const QDate date(2024, 10, 27);
    const QTime time(2, 30);
    for (const QDateTime &moment :
         {QDateTime(date, time, Qt::UTC), QDateTime(date, time, Qt::OffsetFromUTC, 5400),
          QDateTime(date, time, QTimeZone("America/New_York")), QDateTime()})
        QCOMPARE(LocalEpoch::seconds(moment), moment.toSecsSinceEpoch());
}

QTEST_GUILESS_MAIN(TestLocalEpoch)
#include "tst_localepoch.moc"
