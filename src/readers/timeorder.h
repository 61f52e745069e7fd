#ifndef TIMEORDER_H
#define TIMEORDER_H

#include <QDateTime>
#include <QtGlobal>

#include <limits>
#include <utility>
#include <vector>

// Puts items in the order of their moments: by whole seconds since 1970-01-01T00:00:00 UTC,
// items without a valid moment last, equal moments in the order given. A large table sorts
// quickest as pairs of a 32-bit key and a position (see SortKey); such keys reach from 1970 to
// 2106, which holds every moment of an ordinary log, so 64-bit keys are used only for a set
// with a moment outside that span.
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
        compact.reserve(size_t(count));
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

private:
    static bool fitsCompact(qint64 seconds);
    static quint32 compactKey(qint64 seconds);
    // The positions of the items in order; empty when they are in order already.
    static std::vector<int> positions(std::vector<std::pair<quint32, int>> &keys);
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

    // Moves the item at positions[k] to place k.
    template <typename List> static void place(List &items, const std::vector<int> &positions)
    {
        std::vector<bool> placed(positions.size(), false);
        for (size_t start = 0; start < positions.size(); ++start) {
            if (placed[start] || size_t(positions[start]) == start)
                continue;
            auto held = std::move(items[int(start)]);
            size_t to = start;
            for (size_t from = size_t(positions[to]); from != start; from = size_t(positions[to])) {
                items[int(to)] = std::move(items[int(from)]);
                placed[to] = true;
                to = from;
            }
            items[int(to)] = std::move(held);
            placed[to] = true;
        }
    }
};

#endif // TIMEORDER_H
