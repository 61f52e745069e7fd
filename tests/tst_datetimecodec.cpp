#include "datetimecodec.h"
#include "usagerecord.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

const QString kSecondsFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

// The numeric stamps that the readers see, valid and nearly valid.
QStringList generatedStamps(const QString &format, int count)
{
    QRandomGenerator random(20240305);
    const bool withSeconds = format.contains(QLatin1String("ss"));
    const QChar dateSeparator = format.at(4);
    auto stamp = [&](int y, int mo, int d, int h, int mi, int s) {
        QString text = QStringLiteral("%1%2%3%2%4 %5:%6")
                           .arg(y, 4, 10, QLatin1Char('0'))
                           .arg(dateSeparator)
                           .arg(mo, 2, 10, QLatin1Char('0'))
                           .arg(d, 2, 10, QLatin1Char('0'))
                           .arg(h, 2, 10, QLatin1Char('0'))
                           .arg(mi, 2, 10, QLatin1Char('0'));
        if (withSeconds)
            text += QStringLiteral(":%1").arg(s, 2, 10, QLatin1Char('0'));
        return text;
    };

    QStringList stamps;
    // Daylight-saving changes in Europe: the gap in spring, the repeated hour in autumn.
    for (int year = 1990; year <= 2037; ++year) {
        for (int day = 24; day <= 31; ++day) {
            for (int month : {3, 10}) {
                for (int hour = 0; hour <= 4; ++hour) {
                    stamps << stamp(year, month, day, hour, 30, 15)
                           << stamp(year, month, day, hour, 0, 0)
                           << stamp(year, month, day, hour, 59, 59);
                }
            }
        }
    }
    // Named corner cases.
    stamps << stamp(2023, 2, 29, 10, 0, 0) << stamp(2024, 2, 29, 10, 0, 0)
           << stamp(2024, 1, 1, 24, 0, 0) << stamp(2024, 1, 1, 23, 60, 0)
           << stamp(2024, 1, 1, 23, 59, 60) << stamp(2024, 13, 1, 0, 0, 0)
           << stamp(2024, 0, 1, 0, 0, 0) << stamp(2024, 1, 0, 0, 0, 0) << stamp(0, 1, 1, 0, 0, 0)
           << stamp(999, 12, 31, 23, 59, 59) << stamp(1, 1, 1, 0, 0, 0)
           << stamp(1969, 12, 31, 23, 59, 59) << stamp(1970, 1, 1, 0, 0, 0)
           << stamp(2038, 1, 19, 3, 14, 8) << stamp(2106, 2, 7, 6, 28, 16)
           << stamp(9999, 12, 31, 23, 59, 59);
    stamps << QString() << QStringLiteral(" ") << QStringLiteral("abc")
           << QStringLiteral("2024-03-05") << QStringLiteral("2024/03/05 08:00:00")
           << QStringLiteral("2024-03-05 08:00:00.250") << QStringLiteral("2024-03-05T08:00:00")
           << QString::fromUtf8("\xd9\xa2\xd9\xa0\xd9\xa2\xd9\xa4-03-05 08:00:00:00");

    while (stamps.size() < count) {
        const int y = 1900 + int(random.bounded(300));
        const int mo = 1 + int(random.bounded(12));
        const int d = 1 + int(random.bounded(31));
        const int h = int(random.bounded(24));
        const int mi = int(random.bounded(60));
        const int s = int(random.bounded(60));
        QString text = stamp(y, mo, d, h, mi, s);
        // Most stay well-formed; the rest are damaged in one of the ways logs damage them.
        switch (random.bounded(12)) {
        case 0: // a digit too few
            text.remove(int(random.bounded(text.size())), 1);
            break;
        case 1: // a digit too many
            text.insert(int(random.bounded(text.size() + 1)), QLatin1Char('7'));
            break;
        case 2: // blanks around or inside
            text.insert(int(random.bounded(text.size() + 1)), QLatin1Char(' '));
            break;
        case 3: // seconds where the format has none, or a second pair of them
            text += QStringLiteral(":00");
            break;
        case 4: // a letter, a sign or another separator in place of a character
            text[int(random.bounded(text.size()))] =
                QStringLiteral("x+-/: .0T").at(int(random.bounded(9)));
            break;
        default:
            break;
        }
        stamps << text;
    }
    return stamps;
}

QString describe(const QDateTime &dateTime)
{
    return QStringLiteral("valid %1 null %2 timeSpec %3 ms %4 date %5 time %6 text %7")
        .arg(dateTime.isValid())
        .arg(dateTime.isNull())
        .arg(int(dateTime.timeSpec()))
        .arg(dateTime.isValid() ? dateTime.toMSecsSinceEpoch() : 0)
        .arg(dateTime.date().toString(Qt::ISODate), dateTime.time().toString(Qt::ISODate),
             dateTime.toString(kSecondsFormat));
}

} // namespace

class TestDateTimeCodec : public QObject
{
    Q_OBJECT

private slots:
    void sameAsQt_data();
    void sameAsQt();
    void daylightSavingGapIsInvalid();
    void sequencesSameAsQt_data();
    void sequencesSameAsQt();
    void repeatedHourWhileAnotherThreadConverts();
    void fastPathIsTaken();
    void rowTextsSameAsQt_data();
    void rowTextsSameAsQt();
};

void TestDateTimeCodec::sameAsQt_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("with seconds") << kSecondsFormat;
    QTest::newRow("dashes, 24 hours") << QStringLiteral("yyyy-MM-dd HH:mm");
    QTest::newRow("slashes, 24 hours") << QStringLiteral("yyyy/MM/dd HH:mm");
}

void TestDateTimeCodec::sameAsQt()
{
    QFETCH(QString, format);
    const DateTimeCodec codec(format);
    QVERIFY(codec.hasFastPath());
    const QStringList stamps = generatedStamps(format, 60000);
    // The second pass is answered from the codec's table of recent moments.
    for (int pass = 0; pass < 2; ++pass) {
        for (const QString &stamp : stamps) {
            const QDateTime expected = QDateTime::fromString(stamp, format);
            const QDateTime actual = codec.parse(stamp);
            if (actual.isValid() != expected.isValid() || actual.isNull() != expected.isNull() ||
                actual.timeSpec() != expected.timeSpec() ||
                (expected.isValid() &&
                 actual.toMSecsSinceEpoch() != expected.toMSecsSinceEpoch()) ||
                actual.date() != expected.date() || actual.time() != expected.time()) {
                QCOMPARE(stamp + QLatin1String(": ") + describe(actual),
                         stamp + QLatin1String(": ") + describe(expected));
            }
            const QString padded = QLatin1Char('[') + stamp + QLatin1Char(']');
            const QDateTime fromRange = codec.parse(padded.constData() + 1, stamp.size());
            if (describe(fromRange) != describe(expected))
                QCOMPARE(stamp + QLatin1String(": ") + describe(fromRange),
                         stamp + QLatin1String(": ") + describe(expected));
            // The same text as Latin-1 bytes, as the CSV reader hands plain lines over.
            const bool latin1 = std::all_of(stamp.cbegin(), stamp.cend(),
                                            [](QChar c) { return c.unicode() < 0x100; });
            if (latin1) {
                const QByteArray bytes = '[' + stamp.toLatin1() + ']';
                const QDateTime fromBytes = codec.parseLatin1(bytes.constData() + 1, stamp.size());
                if (describe(fromBytes) != describe(expected))
                    QCOMPARE(stamp + QLatin1String(": ") + describe(fromBytes),
                             stamp + QLatin1String(": ") + describe(expected));
            }
        }
    }
}

void TestDateTimeCodec::daylightSavingGapIsInvalid()
{
    // Guards the differential test: under a zone with daylight saving it must meet the gap.
    if (qgetenv("TZ") != "Europe/Berlin")
        QSKIP("Runs only under TZ=Europe/Berlin.");
    const DateTimeCodec codec(kSecondsFormat);
    QVERIFY(!codec.parse(QStringLiteral("2024-03-31 02:30:00")).isValid());
    QVERIFY(codec.parse(QStringLiteral("2024-03-31 03:30:00")).isValid());
}

void TestDateTimeCodec::sequencesSameAsQt_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("primer");
    QTest::newRow("after a summer date") << kSecondsFormat << QStringLiteral("2024-08-01 12:00:00");
    QTest::newRow("after a winter date") << kSecondsFormat << QStringLiteral("2024-01-15 12:00:00");
    QTest::newRow("minutes, after a summer date")
        << QStringLiteral("yyyy-MM-dd HH:mm") << QStringLiteral("2024-08-01 12:00");
    QTest::newRow("minutes, after a winter date")
        << QStringLiteral("yyyy-MM-dd HH:mm") << QStringLiteral("2024-01-15 12:00");
}

// Which of the two occurrences of a repeated autumn hour a made date-time gets used to depend
// on what was converted before it, and the codec's table kept whichever came first. Each
// stamp of the days of change follows a primer, through a fresh codec and through one that
// has seen everything before.
void TestDateTimeCodec::sequencesSameAsQt()
{
    QFETCH(QString, format);
    QFETCH(QString, primer);
    const QStringList stamps = generatedStamps(format, 0);
    QVERIFY(stamps.size() > 1000);
    const DateTimeCodec shared(format);
    for (const QString &stamp : stamps) {
        (void)QDateTime::fromString(primer, format).toMSecsSinceEpoch();
        const QString expected = describe(QDateTime::fromString(stamp, format));
        const DateTimeCodec fresh(format);
        const QDateTime primed = fresh.parse(primer);
        QVERIFY(primed.isValid());
        (void)primed.toMSecsSinceEpoch();
        (void)shared.parse(primer).toMSecsSinceEpoch();
        const QString fromFresh = describe(fresh.parse(stamp));
        const QString fromShared = describe(shared.parse(stamp));
        if (fromFresh != expected || fromShared != expected) {
            QCOMPARE(stamp + QLatin1String(": ") + fromFresh,
                     stamp + QLatin1String(": ") + expected);
            QCOMPARE(stamp + QLatin1String(": ") + fromShared,
                     stamp + QLatin1String(": ") + expected);
        }
    }
}

// The C library starts each conversion from the offset of the one before, in whichever thread
// that was; the folder reader parses on two threads. A stamp of the repeated autumn hour must
// come out as on one thread while the other thread keeps converting winter moments.
void TestDateTimeCodec::repeatedHourWhileAnotherThreadConverts()
{
    if (qgetenv("TZ") != "Europe/Berlin")
        QSKIP("Runs only under TZ=Europe/Berlin.");
    const QStringList stamps{QStringLiteral("2024-10-27 02:00:00"),
                             QStringLiteral("2024-10-27 02:10:00"),
                             QStringLiteral("2024-10-27 02:59:59")};
    QStringList expected;
    for (const QString &stamp : stamps) {
        const QDateTime alone = QDateTime::fromString(stamp, kSecondsFormat);
        QCOMPARE(alone.offsetFromUtc(), 7200);
        expected << stamp + QLatin1String(": ") + describe(alone);
    }
    std::atomic<bool> stop{false};
    std::thread other([&stop] {
        for (int i = 0; !stop.load(); ++i)
            (void)QDateTime(QDate(2024, 12, 1 + i % 28), QTime(9, 0).addSecs(i % 3600),
                            Qt::LocalTime)
                .isValid();
    });
    const DateTimeCodec codec(kSecondsFormat);
    QStringList differing;
    for (int i = 0; i < 6000 && differing.isEmpty(); ++i) {
        for (int k = 0; k < stamps.size(); ++k) {
            const QString got =
                stamps.at(k) + QLatin1String(": ") + describe(codec.parse(stamps.at(k)));
            if (got != expected.at(k))
                differing << got;
        }
    }
    stop = true;
    other.join();
    QVERIFY2(differing.isEmpty(), qPrintable(differing.join(QLatin1Char('\n'))));
}

void TestDateTimeCodec::fastPathIsTaken()
{
    const DateTimeCodec codec(kSecondsFormat);
    QVERIFY(codec.parse(QStringLiteral("2024-03-05 08:00:00")).isValid());
    QVERIFY(codec.parse(QStringLiteral("2024-07-05 23:59:59")).isValid());
    QCOMPARE(codec.slowParses(), qint64(0));
    QVERIFY(!codec.parse(QStringLiteral("2024-03-05 08:00")).isValid());
    QCOMPARE(codec.slowParses(), qint64(1));
    // Under a zone with daylight saving, the days of change go to Qt's parser.
    (void)codec.parse(QStringLiteral("2024-10-27 02:30:00"));
    QCOMPARE(codec.slowParses(), qint64(qgetenv("TZ") == "Europe/Berlin" ? 2 : 1));
}

void TestDateTimeCodec::rowTextsSameAsQt_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::newRow("null") << QDateTime();
    QTest::newRow("invalid date") << QDateTime(QDate(2023, 2, 29), QTime(10, 0), Qt::LocalTime);
    QTest::newRow("ordinary") << QDateTime(QDate(2024, 3, 5), QTime(8, 0, 1, 250), Qt::LocalTime);
    QTest::newRow("midnight") << QDateTime(QDate(2024, 12, 31), QTime(0, 0), Qt::LocalTime);
    QTest::newRow("last second") << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59),
                                              Qt::LocalTime);
    QTest::newRow("year 999") << QDateTime(QDate(999, 1, 2), QTime(3, 4, 5), Qt::LocalTime);
    QTest::newRow("year 10000") << QDateTime(QDate(10000, 1, 2), QTime(3, 4, 5), Qt::LocalTime);
    QTest::newRow("before the epoch")
        << QDateTime(QDate(1900, 6, 7), QTime(8, 9, 10), Qt::LocalTime);
    QTest::newRow("UTC") << QDateTime(QDate(2024, 3, 5), QTime(8, 0), Qt::UTC);
}

void TestDateTimeCodec::rowTextsSameAsQt()
{
    QFETCH(QDateTime, dateTime);
    const UsageRecord row(QStringLiteral("alice"), QStringLiteral("4711"), dateTime,
                          QStringLiteral("In"));
    QCOMPARE(row.dateText(),
             dateTime.isValid() ? dateTime.toString(QStringLiteral("yyyy-MM-dd")) : QString());
    QCOMPARE(row.timeText(),
             dateTime.isValid() ? dateTime.toString(QStringLiteral("hh:mm:ss")) : QString());
}

QTEST_GUILESS_MAIN(TestDateTimeCodec)
#include "tst_datetimecodec.moc"
