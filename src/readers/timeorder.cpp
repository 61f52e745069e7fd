#include "timeorder.h"

#include "localepoch.h"
#include "sortkey.h"

#include <algorithm>

namespace {

thread_local quint64 wideSortCount = 0;

template <typename Key> std::vector<int> stablePositions(std::vector<std::pair<Key, int>> &keys)
{
    const auto byKey = [](const auto &a, const auto &b) { return a.first < b.first; };
    if (std::is_sorted(keys.begin(), keys.end(), byKey))
        return std::vector<int>();
    std::stable_sort(keys.begin(), keys.end(), byKey);
    std::vector<int> positions;
    positions.reserve(keys.size());
    for (const auto &key : keys)
        positions.push_back(key.second);
    return positions;
}

} // namespace

qint64 TimeOrder::secondsOf(const QDateTime &dateTime)
{
    // Ordering asks every item; Qt would work the zone offset out afresh for each.
    return dateTime.isValid() ? LocalEpoch::seconds(dateTime) : Invalid;
}

quint64 TimeOrder::wideSorts()
{
    return wideSortCount;
}

bool TimeOrder::fitsCompact(qint64 seconds)
{
    return seconds == Invalid || SortKey::ofSeconds(seconds) != SortKey::Invalid;
}

quint32 TimeOrder::compactKey(qint64 seconds)
{
    return seconds == Invalid ? SortKey::Invalid : SortKey::ofSeconds(seconds);
}

std::vector<int> TimeOrder::positions(std::vector<std::pair<quint32, int>> &keys)
{
    return stablePositions(keys);
}

std::vector<int> TimeOrder::positions(std::vector<std::pair<qint64, int>> &keys)
{
    ++wideSortCount;
    return stablePositions(keys);
}
