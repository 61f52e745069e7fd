#include "hugepages.h"

#include <QtGlobal>

#include <cstdint>

#if defined(Q_OS_LINUX)
#include <sys/mman.h>
#endif

void HugePages::advise(const void *data, std::size_t bytes)
{
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
    if (bytes < 4 * kHugePage)
        return;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + bytes) & ~(kHugePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
}
