#ifndef TIMEORDER_H
#define TIMEORDER_H

#include "hugepages.h"

#include <QDateTime>
#include <QtGlobal>

#include <limits>
#include <utility>
#include <vector>

// Puts items in the order of their moments: by whole seconds since 1970-01-01T00:00:00 UTC,
// items without a valid moment last, equal moments in the order given. A large table sorts
// quickest as pairs of a 32-bit key and a position (see SortKey); such keys reach from 1970 to
// 2106, which holds every moment of an ordinary log, so 64-bit keys are used only for a set
// with a moment outside that span. A set in order already is left as it is; a large one that is
// not is sorted by radix on its compact keys, in time linear in its size.
class TimeOrder
{
public:
    // The seconds of an item without a valid moment.
    static constexpr qint64 Invalid = std::numeric_limits<qint64>::max();

    // Whole seconds since the epoch of a valid date-time, quick for local times; Invalid for an
    // invalid one.
    static qint64 secondsOf(const QDateTime &dateTime);

    // Orders the items of a QVector by secondsOf(item), which is asked once per item. Items
    // are moved into their places cycle by cycle, so a large list is never held twice.
    template <typename List, typename SecondsOf> static void sort(List &items, SecondsOf secondsOf)
    {
        const int count = int(items.size());
        std::vector<std::pair<quint32, int>> compact;
        reserveLarge(compact, size_t(count));
        for (int index = 0; index < count; ++index) {
            const qint64 seconds = secondsOf(items.at(index));
            if (!fitsCompact(seconds)) {
                place(items, widePositions(items, secondsOf));
                return;
            }
            compact.emplace_back(compactKey(seconds), index);
        }
        place(items, positions(compact));
    }

    // How many sorts of this thread needed 64-bit keys; lets tests see that ordinary sets keep
    // the quick way.
    static quint64 wideSorts();
    // How many sorts of this thread went by radix (large sets of compact keys not in order
    // already); lets tests see that the quick way is taken.
    static quint64 radixSorts();

    // The positions of the items of keys (compact key, position in the order given) in their
    // order; empty when they are in order already. Large sets are sorted by radix.
    static std::vector<int> positions(std::vector<std::pair<quint32, int>> &keys);
    // The same by comparisons (std::stable_sort), whatever the size; what positions() must give.
    static std::vector<int> comparedPositions(std::vector<std::pair<quint32, int>> &keys);

    // Room for count items, in huge pages where the system gives them (see HugePages).
    template <typename T> static void reserveLarge(std::vector<T> &list, size_t count)
    {
        list.reserve(count);
        HugePages::advise(list.data(), count * sizeof(T));
    }

private:
    static bool fitsCompact(qint64 seconds);
    static quint32 compactKey(qint64 seconds);
    static std::vector<int> positions(std::vector<std::pair<qint64, int>> &keys);

    template <typename List, typename SecondsOf>
    static std::vector<int> widePositions(const List &items, SecondsOf secondsOf)
    {
        std::vector<std::pair<qint64, int>> keys;
        keys.reserve(size_t(items.size()));
        for (int index = 0; index < int(items.size()); ++index)
            keys.emplace_back(secondsOf(items.at(index)), index);
        return positions(keys);
    }

    // Moves the item at positions[k] to place k, place by place: the item found at k is
    // swapped with the one that belongs there, and the place that wants the item so displaced
    // is told where it went. The items a few places ahead are fetched early, so that a table
    // in random order is put in place at the pace of memory rather than one miss after another.
    template <typename List> static void place(List &items, std::vector<int> positions)
    {
        const size_t count = positions.size();
        if (count == 0)
            return;
        // inverse[s]: the place that wants the item now at s.
        std::vector<int> inverse;
        reserveLarge(inverse, count);
        inverse.resize(count);
        for (size_t k = 0; k < count; ++k)
            inverse[size_t(positions[k])] = int(k);
        auto *data = items.data();
        constexpr size_t ahead = 8;
        for (size_t k = 0; k < count; ++k) {
            if (k + ahead < count) {
                // Only hints: a later step may change what these name.
                const size_t from = size_t(positions[k + ahead]);
                prefetch(data + from);
                prefetch(reinterpret_cast<const char *>(data + from + 1) - 1);
                prefetch(&inverse[from]);
                prefetch(&positions[size_t(inverse[k + ahead])]);
            }
            const size_t from = size_t(positions[k]);
            if (from == k)
                continue;
            std::swap(data[k], data[from]);
            const int wanting = inverse[k];
            positions[size_t(wanting)] = int(from);
            inverse[from] = wanting;
        }
    }

    static void prefetch(const void *address)
    {
#if defined(__GNUC__) || defined(__clang__)
        __builtin_prefetch(address);
#else
        Q_UNUSED(address);
#endif
    }
};

#endif // TIMEORDER_H
