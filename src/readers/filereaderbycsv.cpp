#include "filereaderbycsv.h"

#include "datetimecodec.h"
#include "growthestimate.h"
#include "heapgrowth.h"
#include "hugepages.h"
#include "linereader.h"
#include "regularfile.h"
#include "textpool.h"

#include <QByteArray>
#include <QFile>
#include <QtAlgorithms>

#include <cstring>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define PLINTHRA_CSV_SSE2 1
#include <emmintrin.h>
#endif

namespace {

const QString kInAction = QStringLiteral("In");
const QString kOutAction = QStringLiteral("Out");
const QString kMomentTemplate = QStringLiteral("yyyy%1MM%1dd HH:mm");
// Tried in this order; a moment holding both ends up parsed with the last one.
const QString kDateSeparators[] = {QStringLiteral("-"), QStringLiteral("/")};
const char kDateSeparatorBytes[] = {'-', '/'};
constexpr char kFieldSeparatorByte = ',';
constexpr char kDroppedMarkByte = ';';
const QChar kDroppedMark = QLatin1Char(kDroppedMarkByte);
const QChar kLineEnd = QLatin1Char('\n');
constexpr int kFieldCount = 5;

QString textOf(const QStringRef &text)
{
    return text.toString();
}

QString textOf(QLatin1String text)
{
    return QString(text);
}

// The rows still go under the first type; the log's other types are kept to be said, a few
// of them: a log of a million types must not cost a million comparisons a line.
template <typename Text> void noteOtherType(const Text &type, LocationRead *read)
{
    for (const QString &known : qAsConst(read->otherProductTypes)) {
        if (type == known)
            return;
    }
    if (read->otherProductTypes.size() < LocationRead::kMostOtherTypes)
        read->otherProductTypes.append(textOf(type));
    else
        read->moreProductTypes = true;
}

// A line of ASCII without NUL bytes and without marks is its own text, byte for byte.
bool plainByte(char c)
{
    // NUL wraps round to 0xFF; 0x80 and above stay at 0x7F and above.
    return uchar(uchar(c) - 1) < 0x7F && c != kDroppedMarkByte;
}

enum class PlainLine
{
    No,
    FiveFields,
    OtherFields
};

// Whether the line is plain and, if it is, where its commas stand as findCommas says, in one
// pass over the bytes: sixteen at a time where SSE2 is available.
PlainLine scanPlainLine(const char *data, int size, int *cuts)
{
    cuts[0] = -1;
    int commas = 0;
    const auto comma = [&](int at) {
        if (++commas < kFieldCount)
            cuts[commas] = at;
    };
    int at = 0;
#ifdef PLINTHRA_CSV_SSE2
    const __m128i one = _mm_set1_epi8(1);
    const __m128i mark = _mm_set1_epi8(kDroppedMarkByte);
    const __m128i separator = _mm_set1_epi8(kFieldSeparatorByte);
    for (; at + 16 <= size; at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at));
        // Signed, NUL and every byte from 0x80 up are below 1.
        const __m128i other = _mm_or_si128(_mm_cmpgt_epi8(one, block), _mm_cmpeq_epi8(block, mark));
        if (_mm_movemask_epi8(other) != 0)
            return PlainLine::No;
        for (unsigned found = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, separator)));
             found != 0; found &= found - 1)
            comma(at + qCountTrailingZeroBits(found));
    }
#endif
    for (; at < size; ++at) {
        if (!plainByte(data[at]))
            return PlainLine::No;
        if (data[at] == kFieldSeparatorByte)
            comma(at);
    }
    if (commas != kFieldCount - 1)
        return PlainLine::OtherFields;
    cuts[kFieldCount] = size;
    return PlainLine::FiveFields;
}

// Where the four commas of a line of five fields stand, in cuts[1] to cuts[4], with cuts[0] -1
// and cuts[5] the length. The commas are found once; a line of many thousand commas is given
// up at the sixth.
bool findCommas(const QChar *chars, int length, int *cuts)
{
    cuts[0] = -1;
    int commas = 0;
    for (int i = 0; i < length && commas < kFieldCount; ++i) {
        if (chars[i] == QLatin1Char(kFieldSeparatorByte))
            cuts[++commas] = i;
    }
    if (commas != kFieldCount - 1)
        return false;
    cuts[kFieldCount] = length;
    return true;
}

} // namespace

UsageTable FileReaderByCSV::read(const QString &path)
{
    return readLocation(path).table;
}

LocationRead FileReaderByCSV::readLocation(const QString &path)
{
    LocationRead result;
    QFile file;
    // LineReader delivers a CR LF line end as LF.
    const RegularFile::Outcome outcome = RegularFile::open(path, &file);
    result.status = RegularFile::locationStatus(outcome);
    if (outcome != RegularFile::Outcome::Opened)
        return result;

    const int separatorCount = int(sizeof(kDateSeparators) / sizeof(kDateSeparators[0]));
    QVector<DateTimeCodec> codecs;
    for (const QString &separator : kDateSeparators)
        codecs.append(DateTimeCodec(kMomentTemplate.arg(separator)));

    UsageRecordList rows;
    QString tableKey;
    // One pool each: a log of distinct users may still repeat its dongles.
    TextPool userNames;
    TextPool dogNums;
    const qint64 fileSize = file.size();
    // A log of distinct names allocates about as many bytes again as it holds.
    HeapGrowth heap(fileSize);
    LineReader lines(&file);
    LineReader::View view;
    QString line;
    static_assert(sizeof(kDateSeparatorBytes) == sizeof(kDateSeparators) / sizeof(QString),
                  "one byte per date separator");
    for (; lines.next(&view); heap.watch()) {
        QDateTime start;
        QDateTime end;
        QString userName;
        QString dogNum;
        int cuts[kFieldCount + 1];
        const PlainLine plain = scanPlainLine(view.data, view.size, cuts);
        if (plain == PlainLine::OtherFields)
            continue;
        if (plain == PlainLine::FiveFields) {
            // ASCII without marks: the bytes are the text, and are read as they stand.
            const auto field = [&](int index) {
                return QLatin1String(view.data + cuts[index] + 1,
                                     cuts[index + 1] - cuts[index] - 1);
            };
            const QLatin1String productType = field(2);
            if (tableKey.isEmpty() && !productType.isEmpty())
                tableKey = QString(productType);
            else if (!productType.isEmpty() && productType != tableKey)
                noteOtherType(productType, &result);
            for (const int index : {3, 4}) {
                const QLatin1String text = field(index);
                QDateTime &moment = index == 3 ? start : end;
                for (int i = 0; i < separatorCount; ++i) {
                    if (std::memchr(text.data(), kDateSeparatorBytes[i], size_t(text.size())))
                        moment = codecs.at(i).parseLatin1(text.data(), text.size());
                }
            }
            userName = userNames.text(field(0));
            dogNum = dogNums.text(field(1));
        } else {
            // What is done with any line: decode, then drop every mark and line end.
            line = LineReader::decode(view);
            line.remove(kDroppedMark);
            line.remove(kLineEnd);
            if (!findCommas(line.constData(), line.size(), cuts))
                continue;
            const auto field = [&](int index) {
                return line.midRef(cuts[index] + 1, cuts[index + 1] - cuts[index] - 1);
            };
            const QStringRef productType = field(2);
            if (tableKey.isEmpty() && !productType.isEmpty())
                tableKey = productType.toString();
            else if (!productType.isEmpty() && productType != tableKey)
                noteOtherType(productType, &result);
            const QStringRef startText = field(3);
            const QStringRef endText = field(4);
            for (int i = 0; i < separatorCount; ++i) {
                if (startText.contains(kDateSeparators[i]))
                    start = codecs.at(i).parse(startText.unicode(), startText.size());
                if (endText.contains(kDateSeparators[i]))
                    end = codecs.at(i).parse(endText.unicode(), endText.size());
            }
            userName = userNames.text(field(0));
            dogNum = dogNums.text(field(1));
        }

        if (rows.size() + 2 > rows.capacity()) {
            rows.reserve(
                grownCapacity(rows.size() + 2, lines.consumed(), fileSize, sizeof(UsageRecord)));
            HugePages::advise(rows.constData(), size_t(rows.capacity()) * sizeof(UsageRecord));
        }
        rows.append(UsageRecord(userName, dogNum, start, kInAction));
        rows.append(UsageRecord(std::move(userName), std::move(dogNum), end, kOutAction));
    }

    result.table.insert(tableKey, rows);
    return result;
}
