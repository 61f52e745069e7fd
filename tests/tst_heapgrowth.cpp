#include "heapgrowth.h"

#include <QFile>
#include <QtTest>

#include <memory>
#include <vector>

#if defined(Q_OS_LINUX) && defined(__GLIBC__) && !defined(PLINTHRA_SANITIZED_BUILD)
#include <unistd.h>
#define PLINTHRA_HEAP_WATCHED 1
#endif

class TestHeapGrowth : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void heapGrowsInLargeStepsWhileAGrowthLives_data();
    void heapGrowsInLargeStepsWhileAGrowthLives();
    void smallReadLeavesTheHeapAlone();
};

namespace {

#ifdef PLINTHRA_HEAP_WATCHED
quintptr heapEnd()
{
    return reinterpret_cast<quintptr>(sbrk(0));
}

// Allocates names until the heap grows, watching as a reader does; the step it grew by.
qint64 nextStep(std::vector<QString> *names, HeapGrowth *growth)
{
    const quintptr start = heapEnd();
    for (int count = 1; heapEnd() == start; ++count) {
        names->push_back(QStringLiteral("user%1.example").arg(count));
        if (growth)
            growth->watch();
    }
    for (int call = 0; growth && call < HeapGrowth::CallsPerLook; ++call)
        growth->watch();
    return qint64(heapEnd() - start);
}
#endif

constexpr qint64 kUsualStepAtMost = qint64(1) << 20;
constexpr qint64 kGrowthStepAtLeast = qint64(16) << 20;

} // namespace

void TestHeapGrowth::initTestCase()
{
#ifndef PLINTHRA_HEAP_WATCHED
    QSKIP("Only the C library's main heap on Linux is watched, and not under the sanitizers");
#endif
}

// A step seen while no growth lives must be the C library's usual small one: the large step
// is given back when the last growth ends, also when growths overlap.
void TestHeapGrowth::heapGrowsInLargeStepsWhileAGrowthLives_data()
{
    QTest::addColumn<int>("growths");
    QTest::newRow("one growth") << 1;
    QTest::newRow("two growths at once") << 2;
}

void TestHeapGrowth::heapGrowsInLargeStepsWhileAGrowthLives()
{
#ifdef PLINTHRA_HEAP_WATCHED
    QFETCH(int, growths);
    std::vector<QString> names;
    QVERIFY(nextStep(&names, nullptr) <= kUsualStepAtMost);

    std::vector<std::unique_ptr<HeapGrowth>> live;
    for (int index = 0; index < growths; ++index) {
        live.push_back(std::make_unique<HeapGrowth>(HeapGrowth::LeastBytes));
        QVERIFY(live.back()->isActive());
    }
    const quint64 advisedBefore = HeapGrowth::advisedBytes();
    const qint64 grown = nextStep(&names, live.front().get());
    QVERIFY2(grown >= kGrowthStepAtLeast, qPrintable(QString::number(grown)));
    const bool hugePagesBuiltIn = QFile::exists("/sys/kernel/mm/transparent_hugepage/enabled");
    if (hugePagesBuiltIn)
        QVERIFY(HeapGrowth::advisedBytes() - advisedBefore >= quint64(kGrowthStepAtLeast));

    // Still large while any growth lives.
    while (live.size() > 1) {
        live.pop_back();
        QVERIFY(nextStep(&names, live.front().get()) >= kGrowthStepAtLeast);
    }
    live.clear();
    const qint64 after = nextStep(&names, nullptr);
    QVERIFY2(after <= kUsualStepAtMost, qPrintable(QString::number(after)));
#endif
}

void TestHeapGrowth::smallReadLeavesTheHeapAlone()
{
#ifdef PLINTHRA_HEAP_WATCHED
    HeapGrowth growth(HeapGrowth::LeastBytes - 1);
    QVERIFY(!growth.isActive());
    const quint64 advisedBefore = HeapGrowth::advisedBytes();
    std::vector<QString> names;
    const qint64 step = nextStep(&names, &growth);
    QVERIFY2(step <= kUsualStepAtMost, qPrintable(QString::number(step)));
    QCOMPARE(HeapGrowth::advisedBytes(), advisedBefore);
#endif
}

QTEST_APPLESS_MAIN(TestHeapGrowth)
#include "tst_heapgrowth.moc"
