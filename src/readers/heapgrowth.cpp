#include "heapgrowth.h"

#include <atomic>
#include <cstdint>

#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
// Under the sanitizers the heap is theirs, not the C library's.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define PLINTHRA_WATCHES_HEAP 1
#include <QMutex>
#include <QMutexLocker>
#endif
#endif

namespace {

std::atomic<quint64> g_advisedBytes{0};
std::atomic<quint64> g_looks{0};

#if defined(PLINTHRA_WATCHES_HEAP)
// The C library's own step, restored when the last growth ends.
constexpr int kUsualPad = 128 * 1024;
// Sixteen huge pages a step: few enough faults in small pages between two looks. Setting the
// step also ends glibc's adjusting of its threshold for mapping large blocks apart, for the
// rest of the process; measured, the report prints no slower for it.
constexpr int kGrowthPad = 32 << 20;
constexpr std::uintptr_t kPage = 4096;

QMutex &growthLock()
{
    static QMutex lock;
    return lock;
}

int g_liveGrowths = 0;
// The end of the heap as far as it has been advised.
std::atomic<std::uintptr_t> g_advisedEnd{0};

std::uintptr_t heapEnd()
{
    return reinterpret_cast<std::uintptr_t>(sbrk(0));
}
#endif

} // namespace

HeapGrowth::HeapGrowth(qint64 expectedBytes)
{
#if defined(PLINTHRA_WATCHES_HEAP)
    if (expectedBytes < LeastBytes)
        return;
    QMutexLocker locker(&growthLock());
    if (g_liveGrowths++ == 0) {
        mallopt(M_TOP_PAD, kGrowthPad);
        // What the heap holds already is faulted in; only what it gains from now on is advised.
        g_advisedEnd.store(heapEnd());
    }
    m_active = true;
#else
    Q_UNUSED(expectedBytes);
#endif
}

HeapGrowth::~HeapGrowth()
{
#if defined(PLINTHRA_WATCHES_HEAP)
    if (!m_active)
        return;
    QMutexLocker locker(&growthLock());
    if (--g_liveGrowths == 0)
        mallopt(M_TOP_PAD, kUsualPad);
#endif
}

void HeapGrowth::look()
{
    m_untilLook = CallsPerLook;
#if defined(PLINTHRA_WATCHES_HEAP)
    if (!m_active)
        return;
    g_looks.fetch_add(1, std::memory_order_relaxed);
    const std::uintptr_t end = heapEnd();
    std::uintptr_t advised = g_advisedEnd.load(std::memory_order_relaxed);
    if (end == advised || !g_advisedEnd.compare_exchange_strong(advised, end))
        return;
    // The heap gave memory back: what it takes again is advised from its new end.
    if (end < advised)
        return;
    // brk moves in whole pages, but the first end may not sit on one.
    const std::uintptr_t from = (advised + kPage - 1) & ~(kPage - 1);
    if (end > from && madvise(reinterpret_cast<void *>(from), end - from, MADV_HUGEPAGE) == 0)
        g_advisedBytes.fetch_add(end - from, std::memory_order_relaxed);
#endif
}

quint64 HeapGrowth::advisedBytes()
{
    return g_advisedBytes.load();
}

quint64 HeapGrowth::looks()
{
    return g_looks.load();
}
