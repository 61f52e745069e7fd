#include "textscanner.h"

#include <QtAlgorithms>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define PLINTHRA_TEXTSCANNER_SSE2 1
#include <emmintrin.h>
#endif

TextScanner::TextScanner(const QVector<QByteArray> &texts) : m_texts(texts)
{
    for (const QByteArray &text : texts) {
        m_longest = std::max(m_longest, int(text.size()));
        m_hasEmpty = m_hasEmpty || text.isEmpty();
    }
}

bool TextScanner::startsAt(const char *data, int at, int end) const
{
    for (const QByteArray &text : m_texts) {
        const int length = int(text.size());
        if (length == 0)
            return true;
        if (length <= end - at && data[at] == text.at(0) &&
            std::memcmp(data + at, text.constData(), size_t(length)) == 0)
            return true;
    }
    return false;
}

int TextScanner::findPlainly(const char *data, int from, int end) const
{
    if (m_texts.isEmpty())
        return -1;
    for (int at = from; at < end; ++at) {
        if (startsAt(data, at, end))
            return at;
    }
    return -1;
}

int TextScanner::find(const char *data, int from, int end) const
{
    if (m_texts.isEmpty() || from >= end)
        return -1;
    if (m_hasEmpty)
        return from;
    int at = from;
#ifdef PLINTHRA_TEXTSCANNER_SSE2
    // Up to four texts side by side; more are rare enough to be found one position at a time.
    constexpr int kMostTexts = 4;
    const int count = int(m_texts.size());
    if (count <= kMostTexts) {
        __m128i first[kMostTexts];
        __m128i last[kMostTexts];
        int lastOffset[kMostTexts];
        for (int k = 0; k < count; ++k) {
            const QByteArray &text = m_texts.at(k);
            first[k] = _mm_set1_epi8(text.at(0));
            last[k] = _mm_set1_epi8(text.at(text.size() - 1));
            lastOffset[k] = int(text.size()) - 1;
        }
        // Every load of a block of sixteen starting at `at` (and at the last byte of the
        // longest text) stays inside [from, end).
        while (end - at >= 16 + m_longest - 1) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at));
            int mask = 0;
            for (int k = 0; k < count; ++k) {
                const __m128i tail =
                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at + lastOffset[k]));
                mask |= _mm_movemask_epi8(
                    _mm_and_si128(_mm_cmpeq_epi8(block, first[k]), _mm_cmpeq_epi8(tail, last[k])));
            }
            while (mask != 0) {
                const int bit = int(qCountTrailingZeroBits(quint32(mask)));
                if (startsAt(data, at + bit, end))
                    return at + bit;
                mask &= mask - 1;
            }
            at += 16;
        }
    }
#endif
    return findPlainly(data, at, end);
}
