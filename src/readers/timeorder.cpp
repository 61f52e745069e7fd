#include "timeorder.h"

#include "localepoch.h"
#include "sortkey.h"

#include <algorithm>
#include <limits>

namespace {

thread_local quint64 wideSortCount = 0;
thread_local quint64 radixSortCount = 0;

// Sets of fewer items sort as quickly by comparisons.
constexpr size_t kRadixFrom = 256;
// Digits of at most this many bits: a count table of 2,048 fits the first-level cache.
constexpr int kMostDigitBits = 11;

template <typename Key> bool inOrder(const std::vector<std::pair<Key, int>> &keys)
{
    const auto byKey = [](const auto &a, const auto &b) { return a.first < b.first; };
    return std::is_sorted(keys.begin(), keys.end(), byKey);
}

template <typename Key> std::vector<int> stablePositions(std::vector<std::pair<Key, int>> &keys)
{
    const auto byKey = [](const auto &a, const auto &b) { return a.first < b.first; };
    std::stable_sort(keys.begin(), keys.end(), byKey);
    std::vector<int> positions;
    positions.reserve(keys.size());
    for (const auto &key : keys)
        positions.push_back(key.second);
    return positions;
}

// What stablePositions gives for compact keys, by a least-significant-digit radix sort, which
// is stable: the items without a moment are set aside in their order and put last, the others
// are sorted on their distance from the earliest moment, in as few digits as the span needs
// (a year of seconds: three of nine bits).
std::vector<int> radixPositions(std::vector<std::pair<quint32, int>> &keys)
{
    std::vector<int> invalid;
    quint32 low = std::numeric_limits<quint32>::max();
    quint32 high = 0;
    for (const auto &key : keys) {
        if (key.first == SortKey::Invalid)
            continue;
        low = std::min(low, key.first);
        high = std::max(high, key.first);
    }
    size_t valid = 0;
    for (const auto &key : keys) {
        if (key.first == SortKey::Invalid)
            invalid.push_back(key.second);
        else
            keys[valid++] = std::make_pair(key.first - low, key.second);
    }
    keys.resize(valid);

    int bits = 0;
    if (valid > 0) {
        for (quint32 span = high - low; span != 0; span >>= 1)
            ++bits;
    }
    const int passes = (bits + kMostDigitBits - 1) / kMostDigitBits;
    std::vector<std::pair<quint32, int>> other;
    if (passes > 0) {
        TimeOrder::reserveLarge(other, valid);
        other.resize(valid);
    }
    std::vector<size_t> counts;
    for (int pass = 0, shift = 0; pass < passes; ++pass) {
        // Equal widths: 25 bits go in three digits of nine rather than 11, 11 and 3.
        const int width = (bits - shift + (passes - pass) - 1) / (passes - pass);
        const quint32 mask = (quint32(1) << width) - 1;
        counts.assign(size_t(mask) + 1, 0);
        for (const auto &key : keys)
            ++counts[(key.first >> shift) & mask];
        size_t total = 0;
        for (size_t &count : counts) {
            const size_t here = count;
            count = total;
            total += here;
        }
        for (const auto &key : keys)
            other[counts[(key.first >> shift) & mask]++] = key;
        keys.swap(other);
        shift += width;
    }

    std::vector<int> positions;
    TimeOrder::reserveLarge(positions, valid + invalid.size());
    for (const auto &key : keys)
        positions.push_back(key.second);
    positions.insert(positions.end(), invalid.begin(), invalid.end());
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

quint64 TimeOrder::radixSorts()
{
    return radixSortCount;
}

std::vector<int> TimeOrder::positions(std::vector<std::pair<quint32, int>> &keys)
{
    if (inOrder(keys))
        return std::vector<int>();
    if (keys.size() < kRadixFrom)
        return stablePositions(keys);
    ++radixSortCount;
    return radixPositions(keys);
}

std::vector<int> TimeOrder::positions(std::vector<std::pair<qint64, int>> &keys)
{
    ++wideSortCount;
    if (inOrder(keys))
        return std::vector<int>();
    return stablePositions(keys);
}

std::vector<int> TimeOrder::comparedPositions(std::vector<std::pair<quint32, int>> &keys)
{
    if (inOrder(keys))
        return std::vector<int>();
    return stablePositions(keys);
}
