#include "tablerelease.h"

#include "hugepages.h"

#include <algorithm>
#include <atomic>
#include <vector>

#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <malloc.h>
#define PLINTHRA_TUNES_MALLOC 1
#endif

namespace {

std::atomic<quint64> g_orderedNames{0};

// Names in address order closer than this are freed in any order: they share a stretch the
// caches hold anyway.
constexpr int kLeastShift = 16;

quintptr addressOf(const QString &name)
{
    return reinterpret_cast<quintptr>(const_cast<QString &>(name).data_ptr());
}

// The names of the rows on the heap, taken out of them into stretches of addresses (a counting
// sort straight from the rows, in at most as many stretches as there are names); the rows keep
// only texts that many rows share.
class NamesByAddress
{
public:
    explicit NamesByAddress(UsageRecordList &rows)
    {
        for (const UsageRecord &row : qAsConst(rows)) {
            see(row.userName());
            see(row.dogNum());
        }
        if (m_count == 0)
            return;
        while (((m_highest - m_lowest) >> m_shift) >= m_count)
            ++m_shift;
        m_starts.resize(stretchOf(m_highest) + 2);
        for (const UsageRecord &row : qAsConst(rows)) {
            count(row.userName());
            count(row.dogNum());
        }
        for (size_t stretch = 1; stretch < m_starts.size(); ++stretch)
            m_starts[stretch] += m_starts[stretch - 1];
        m_names.reserve(m_count);
        HugePages::advise(m_names.data(), m_count * sizeof(QString));
        m_names.resize(m_count);
        QString userName;
        QString dogNum;
        for (UsageRecord &row : rows) {
            row.takeNames(&userName, &dogNum);
            place(&userName);
            place(&dogNum);
        }
    }

    std::vector<QString> &names() { return m_names; }

private:
    // Told apart by their addresses alone: a name's own header is a miss in the caches. An
    // empty name is the toolkit's static text, far from the heap, which would spread the
    // stretches.
    bool onHeap(const QString &name) const
    {
        return addressOf(name) != m_null && addressOf(name) != m_empty;
    }
    void see(const QString &name)
    {
        if (!onHeap(name))
            return;
        m_lowest = std::min(m_lowest, addressOf(name));
        m_highest = std::max(m_highest, addressOf(name));
        ++m_count;
    }
    size_t stretchOf(const QString &name) const { return stretchOf(addressOf(name)); }
    size_t stretchOf(quintptr address) const { return size_t((address - m_lowest) >> m_shift); }
    void count(const QString &name)
    {
        if (onHeap(name))
            ++m_starts[stretchOf(name) + 1];
    }
    void place(QString *name)
    {
        if (onHeap(*name))
            qSwap(m_names[m_starts[stretchOf(*name)]++], *name);
        *name = QString();
    }

    const quintptr m_null = addressOf(QString());
    const quintptr m_empty = addressOf(QString(QLatin1String("")));
    quintptr m_lowest = ~quintptr(0);
    quintptr m_highest = 0;
    size_t m_count = 0;
    int m_shift = kLeastShift;
    std::vector<size_t> m_starts;
    std::vector<QString> m_names;
};

// While it lives, the C library's allocator merges every block freed with its free neighbours
// at once. By default it keeps small freed blocks aside and merges them all at its next large
// allocation; for millions of names that is a pass of its own, 70 ms for two million.
class MergingAsFreed
{
public:
    MergingAsFreed()
    {
#if defined(PLINTHRA_TUNES_MALLOC)
        mallopt(M_MXFAST, 0);
#endif
    }
    ~MergingAsFreed()
    {
#if defined(PLINTHRA_TUNES_MALLOC)
        // glibc's own default.
        mallopt(M_MXFAST, 64 * int(sizeof(size_t)) / 4);
#endif
    }
    MergingAsFreed(const MergingAsFreed &) = delete;
    MergingAsFreed &operator=(const MergingAsFreed &) = delete;
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
    NamesByAddress byAddress(rows);
    rows = UsageRecordList();
    std::vector<QString> &names = byAddress.names();
    const MergingAsFreed merging;
    for (QString &name : names)
        name = QString();
    g_orderedNames.fetch_add(names.size(), std::memory_order_relaxed);
}

quint64 TableRelease::orderedNames()
{
    return g_orderedNames.load();
}
