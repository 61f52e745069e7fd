#include "tablerelease.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <numeric>

class TestTableRelease : public QObject
{
    Q_OBJECT

private slots:
    void releaseFreesOnlyWhatNobodyElseHolds_data();
    void releaseFreesOnlyWhatNobodyElseHolds();
    void sharedTableIsOnlyLetGo();
};

namespace {

const QString kType = QStringLiteral("Delivery Suite");

// Rows of distinct names in the order of their moments, which is not the order the names were
// made in: as a table is once ordered by time.
UsageRecordList shuffledRows(int count)
{
    UsageRecordList rows;
    rows.reserve(count);
    const QDateTime first(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC);
    for (int index = 0; index < count; index += 2) {
        const QString user = QStringLiteral("user%1").arg(index);
        const QString dog = QStringLiteral("D%1").arg(index);
        rows.append(UsageRecord(user, dog, first.addSecs(index), QStringLiteral("In")));
        rows.append(UsageRecord(user, dog, first.addSecs(index + 1), QStringLiteral("Out")));
    }
    std::vector<int> order(size_t(rows.size()));
    std::iota(order.begin(), order.end(), 0);
    QRandomGenerator random(7);
    std::shuffle(order.begin(), order.end(), random);
    UsageRecordList shuffled;
    shuffled.reserve(rows.size());
    for (const int index : order)
        shuffled.append(rows.at(index));
    return shuffled;
}

} // namespace

void TestTableRelease::releaseFreesOnlyWhatNobodyElseHolds_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("keptEvery");
    QTest::addColumn<bool>("listShared");
    QTest::addColumn<bool>("ordered");

    const int large = TableRelease::LeastRows + 2;
    QTest::newRow("small table") << 64 << 0 << false << false;
    QTest::newRow("large table") << large << 0 << false << true;
    // As the date filter does: some rows copied out, the table then released.
    QTest::newRow("large, some rows kept") << large << 3 << false << true;
    QTest::newRow("large, list shared") << large << 0 << true << false;
}

void TestTableRelease::releaseFreesOnlyWhatNobodyElseHolds()
{
    QFETCH(int, rows);
    QFETCH(int, keptEvery);
    QFETCH(bool, listShared);
    QFETCH(bool, ordered);

    UsageTable table;
    table.insert(kType, shuffledRows(rows));
    table.insert(QString(), UsageRecordList());
    const QStringList before = TestSupport::describe(table);

    UsageRecordList kept;
    QStringList keptBefore;
    for (int index = 0; keptEvery > 0 && index < rows; index += keptEvery)
        kept.append(qAsConst(table)[kType].at(index));
    for (const UsageRecord &row : qAsConst(kept))
        keptBefore << row.userName() + QLatin1Char('|') + row.dogNum();
    const UsageRecordList sharer = listShared ? table.value(kType) : UsageRecordList();

    const quint64 orderedBefore = TableRelease::orderedNames();
    TableRelease::release(table);

    QVERIFY(table.isEmpty());
    QCOMPARE(TableRelease::orderedNames() - orderedBefore, quint64(ordered ? 2 * rows : 0));
    QStringList keptAfter;
    for (const UsageRecord &row : qAsConst(kept))
        keptAfter << row.userName() + QLatin1Char('|') + row.dogNum();
    QCOMPARE(keptAfter, keptBefore);
    if (listShared) {
        UsageTable other;
        other.insert(kType, sharer);
        other.insert(QString(), UsageRecordList());
        QCOMPARE(TestSupport::describe(other), before);
    }
}

void TestTableRelease::sharedTableIsOnlyLetGo()
{
    UsageTable table;
    table.insert(kType, shuffledRows(TableRelease::LeastRows + 2));
    const UsageTable copy = table;
    const QStringList before = TestSupport::describe(copy);
    const quint64 orderedBefore = TableRelease::orderedNames();

    TableRelease::release(table);

    QVERIFY(table.isEmpty());
    QCOMPARE(TableRelease::orderedNames(), orderedBefore);
    QCOMPARE(TestSupport::describe(copy), before);
}

QTEST_APPLESS_MAIN(TestTableRelease)
#include "tst_tablerelease.moc"
