#include "sortkey.h"
#include "timeorder.h"

#include <QRandomGenerator>
#include <QtTest>
#include <QVector>

#include <algorithm>

namespace {

struct Item
{
    qint64 seconds = 0;
    int label = 0;
    // Something that owns memory, so that the moves the ordering makes are real ones.
    QString text;
};

enum class Shape
{
    Random,
    // In order but for a few items moved at random.
    MostlyOrdered,
    // In order, then a second ordered run: what merging two logs gives.
    TwoRuns,
    Descending,
    // Few distinct moments, many items each.
    FewMoments,
};

// Seconds for count items: compact ones (1970 to 2106) of the shape given, with some invalid.
QVector<qint64> moments(Shape shape, int count, int invalidPerMille, QRandomGenerator &random)
{
    QVector<qint64> seconds;
    const qint64 base = 1704067200; // 2024-01-01
    for (int i = 0; i < count; ++i) {
        qint64 value = 0;
        switch (shape) {
        case Shape::Random:
            value = base + qint64(random.bounded(366 * 86400));
            break;
        case Shape::MostlyOrdered:
            // One item at least is out of place.
            value = random.bounded(100) == 0 || i == count / 2
                        ? base + qint64(random.bounded(count * 30))
                        : base + qint64(i) * 60;
            break;
        case Shape::TwoRuns:
            value = base + qint64(i % (count / 2 + 1)) * 37;
            break;
        case Shape::Descending:
            value = base + qint64(count - i) * 13;
            break;
        case Shape::FewMoments:
            value = base + qint64(random.bounded(5)) * 86400;
            break;
        }
        if (int(random.bounded(1000)) < invalidPerMille)
            value = TimeOrder::Invalid;
        seconds << value;
    }
    return seconds;
}

QVector<Item> items(const QVector<qint64> &seconds)
{
    QVector<Item> list;
    for (int i = 0; i < seconds.size(); ++i)
        list << Item{seconds.at(i), i, QString::number(i)};
    return list;
}

QVector<int> labels(const QVector<Item> &list)
{
    QVector<int> out;
    for (const Item &item : list)
        out << item.label;
    return out;
}

// The plain way: std::stable_sort by the same key, items without a moment last.
QVector<Item> plainlySorted(QVector<Item> list)
{
    std::stable_sort(list.begin(), list.end(),
                     [](const Item &a, const Item &b) { return a.seconds < b.seconds; });
    return list;
}

} // namespace

class TestTimeOrder : public QObject
{
    Q_OBJECT

private slots:
    void positionsSameAsStableSort_data();
    void positionsSameAsStableSort();
    void sortSameAsStableSort_data();
    void sortSameAsStableSort();
    void orderedSetsAreLeftAlone();
    void wideKeysStillCompared();
};

void TestTimeOrder::positionsSameAsStableSort_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("invalidPerMille");
    for (const int count : {256, 1000, 50000}) {
        for (const int invalid : {0, 10, 500}) {
            const QByteArray suffix = QByteArray::number(count) + " items, " +
                                      QByteArray::number(invalid) + " per mille invalid";
            QTest::newRow("random, " + suffix) << int(Shape::Random) << count << invalid;
            QTest::newRow("mostly ordered, " + suffix)
                << int(Shape::MostlyOrdered) << count << invalid;
            QTest::newRow("two runs, " + suffix) << int(Shape::TwoRuns) << count << invalid;
            QTest::newRow("descending, " + suffix) << int(Shape::Descending) << count << invalid;
            QTest::newRow("few moments, " + suffix) << int(Shape::FewMoments) << count << invalid;
        }
    }
}

// The radix sort puts compact keys where a stable comparison sort puts them, duplicates in the
// order given, keys of invalid moments last; the count shows that it did the work.
void TestTimeOrder::positionsSameAsStableSort()
{
    QFETCH(int, shape);
    QFETCH(int, count);
    QFETCH(int, invalidPerMille);
    QRandomGenerator random(quint32(shape * 1000003 + count + invalidPerMille));
    const QVector<qint64> seconds = moments(Shape(shape), count, invalidPerMille, random);
    std::vector<std::pair<quint32, int>> keys;
    for (int i = 0; i < seconds.size(); ++i) {
        const qint64 value = seconds.at(i);
        keys.emplace_back(
            value == TimeOrder::Invalid ? SortKey::Invalid : SortKey::ofSeconds(value), i);
    }
    std::vector<std::pair<quint32, int>> copy = keys;
    const std::vector<int> expected = TimeOrder::comparedPositions(copy);
    QVERIFY(!expected.empty());
    const quint64 before = TimeOrder::radixSorts();
    const std::vector<int> actual = TimeOrder::positions(keys);
    QCOMPARE(TimeOrder::radixSorts() - before, quint64(1));
    QVERIFY(actual == expected);
}

void TestTimeOrder::sortSameAsStableSort_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("radix");
    for (const int count : {2, 100, 255, 256, 20000}) {
        const bool radix = count >= 256;
        const QByteArray suffix = QByteArray::number(count) + " items";
        QTest::newRow("random, " + suffix) << int(Shape::Random) << count << radix;
        QTest::newRow("mostly ordered, " + suffix) << int(Shape::MostlyOrdered) << count << radix;
        QTest::newRow("few moments, " + suffix) << int(Shape::FewMoments) << count << radix;
    }
}

// The items themselves end up in the order of the stable sort, moved, not copied apart.
void TestTimeOrder::sortSameAsStableSort()
{
    QFETCH(int, shape);
    QFETCH(int, count);
    QFETCH(bool, radix);
    QRandomGenerator random(quint32(shape * 7919 + count));
    const QVector<qint64> seconds = moments(Shape(shape), count, 20, random);
    QVector<Item> list = items(seconds);
    const QVector<Item> expected = plainlySorted(list);
    const quint64 radixBefore = TimeOrder::radixSorts();
    const quint64 wideBefore = TimeOrder::wideSorts();
    TimeOrder::sort(list, [](const Item &item) { return item.seconds; });
    QCOMPARE(labels(list), labels(expected));
    for (const Item &item : qAsConst(list))
        QCOMPARE(item.text, QString::number(item.label));
    const bool ordered = labels(expected) == labels(items(seconds));
    QCOMPARE(TimeOrder::radixSorts() - radixBefore, quint64(radix && !ordered ? 1 : 0));
    QCOMPARE(TimeOrder::wideSorts() - wideBefore, quint64(0));
}

void TestTimeOrder::orderedSetsAreLeftAlone()
{
    QVector<Item> list;
    for (int i = 0; i < 10000; ++i)
        list << Item{1704067200 + i / 3, i, QString::number(i)};
    list << Item{TimeOrder::Invalid, 10000, QStringLiteral("10000")};
    const QVector<int> before = labels(list);
    const quint64 radixBefore = TimeOrder::radixSorts();
    TimeOrder::sort(list, [](const Item &item) { return item.seconds; });
    QCOMPARE(labels(list), before);
    QCOMPARE(TimeOrder::radixSorts(), radixBefore);
}

// Moments outside the compact span (before 1970, after 2106) keep the 64-bit comparison sort.
void TestTimeOrder::wideKeysStillCompared()
{
    QRandomGenerator random(42);
    QVector<qint64> seconds = moments(Shape::Random, 5000, 10, random);
    seconds[17] = -86400;
    seconds[4000] = qint64(SortKey::Invalid) + 5;
    QVector<Item> list = items(seconds);
    const QVector<Item> expected = plainlySorted(list);
    const quint64 wideBefore = TimeOrder::wideSorts();
    const quint64 radixBefore = TimeOrder::radixSorts();
    TimeOrder::sort(list, [](const Item &item) { return item.seconds; });
    QCOMPARE(labels(list), labels(expected));
    QCOMPARE(TimeOrder::wideSorts() - wideBefore, quint64(1));
    QCOMPARE(TimeOrder::radixSorts(), radixBefore);
}

QTEST_GUILESS_MAIN(TestTimeOrder)
#include "tst_timeorder.moc"
