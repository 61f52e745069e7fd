#include "tablerelease.h"

#include "hugepages.h"

#include <algorithm>
#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <malloc.h>
#endif
#include <atomic>
#include <vector>

namespace {

std::atomic<quint64> g_orderedNames{0};

// Names in address order closer than this are freed in any order: they share a stretch the
// caches hold anyway.
constexpr int kLeastShift = 16;

quintptr addressOf(QString &text)
{
    return reinterpret_cast<quintptr>(text.data_ptr());
}

std::vector<QString> emptyNames(size_t count)
{
    std::vector<QString> names;
    names.reserve(count);
    HugePages::advise(names.data(), count * sizeof(QString));
    names.resize(count);
    return names;
}

// The names moved out of the rows, in the rows' order.
std::vector<QString> takeNames(UsageRecordList &rows)
{
    std::vector<QString> names = emptyNames(size_t(rows.size()) * 2);
    QString *name = names.data();
    for (UsageRecord &row : rows) {
        row.takeNames(name, name + 1);
        name += 2;
    }
    return names;
}

// The names sorted by address, stretch by stretch (a counting sort), in at most as many
// stretches as there are names.
std::vector<QString> inAddressOrder(std::vector<QString> &names)
{
    quintptr lowest = ~quintptr(0);
    quintptr highest = 0;
    for (QString &name : names) {
        lowest = std::min(lowest, addressOf(name));
        highest = std::max(highest, addressOf(name));
    }
    int shift = kLeastShift;
    while (((highest - lowest) >> shift) >= names.size())
        ++shift;
    const auto stretchOf = [&](QString &name) {
        return size_t((addressOf(name) - lowest) >> shift);
    };
    std::vector<size_t> starts(size_t((highest - lowest) >> shift) + 2);
    for (QString &name : names)
        ++starts[stretchOf(name) + 1];
    for (size_t stretch = 1; stretch < starts.size(); ++stretch)
        starts[stretch] += starts[stretch - 1];
    std::vector<QString> sorted = emptyNames(names.size());
    for (QString &name : names)
        qSwap(sorted[starts[stretchOf(name)]++], name);
    return sorted;
}

// While it lives, the C library's allocator merges every block freed with its free neighbours
// at once. By default it keeps small freed blocks aside and merges them all at its next large
// allocation; for millions of names that is a pass of its own, 70 ms for two million.
class MergingAsFreed
{
public:
    MergingAsFreed()
    {
#if defined(Q_OS_LINUX) && defined(__GLIBC__)
        mallopt(M_MXFAST, 0);
#endif
    }
    ~MergingAsFreed()
    {
#if defined(Q_OS_LINUX) && defined(__GLIBC__)
        mallopt(M_MXFAST, kUsualFastBlock);
#endif
    }
    MergingAsFreed(const MergingAsFreed &) = delete;
    MergingAsFreed &operator=(const MergingAsFreed &) = delete;

private:
    static constexpr int kUsualFastBlock = 64 * int(sizeof(size_t)) / 4;
};

} // namespace

void TableRelease::release(UsageTable &table)
{
    // A table shared with another holder is only let go of: its lists stay with the other.
    if (table.isDetached()) {
        for (auto entry = table.begin(); entry != table.end(); ++entry)
            release(entry.value());
    }
    table.clear();
}

void TableRelease::release(UsageRecordList &rows)
{
    if (rows.size() < LeastRows || !rows.isDetached()) {
        rows = UsageRecordList();
        return;
    }
    std::vector<QString> names = takeNames(rows);
    // The rows hold only texts shared by many rows now, a few headers that stay in the caches.
    rows = UsageRecordList();
    std::vector<QString> sorted = inAddressOrder(names);
    names = std::vector<QString>();
    const MergingAsFreed merging;
    for (QString &name : sorted)
        name = QString();
    g_orderedNames.fetch_add(sorted.size(), std::memory_order_relaxed);
}

quint64 TableRelease::orderedNames()
{
    return g_orderedNames.load();
}
