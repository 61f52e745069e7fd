#include "datetimecodec.h"

namespace {

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

void putDigits(QChar *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = QLatin1Char(char('0' + value % 10));
        value /= 10;
    }
}

// The instant of the date-time's wall clock, read as if it were UTC, in milliseconds.
qint64 wallClockMsecs(const QDateTime &dateTime)
{
    return QDateTime(dateTime.date(), dateTime.time(), Qt::UTC).toMSecsSinceEpoch();
}

// A local time that occurs twice, the day the clocks go back, at the earlier of its two
// instants. Which of the two a conversion gives depends on the C library's guess from the
// conversion made just before it, process-wide; another thread converting in between changes
// it. Qt's parser, reading a stamp field by field, converts the start of the day first, which
// leaves the guess before the change; the earlier instant is what it gives on its own.
// Here it is found from the offsets of the days around, which hold no such guess, and the
// conversions made with a known daylight-saving state, which do not depend on it.
QDateTime firstOccurrence(const QDateTime &parsed)
{
    if (!parsed.isValid() || parsed.timeSpec() != Qt::LocalTime)
        return parsed;
    const qint64 wallClock = wallClockMsecs(parsed);
    QDateTime earliest = parsed;
    qint64 earliestMsecs = parsed.toMSecsSinceEpoch();
    const QTime noon(12, 0);
    for (const QDate &side : {parsed.date().addDays(-1), parsed.date().addDays(1)}) {
        const qint64 offset = QDateTime(side, noon, Qt::LocalTime).offsetFromUtc();
        const qint64 candidate = wallClock - offset * 1000;
        if (candidate >= earliestMsecs)
            continue;
        const QDateTime other = QDateTime::fromMSecsSinceEpoch(candidate, Qt::LocalTime);
        if (other.isValid() && wallClockMsecs(other) == wallClock) {
            earliest = other;
            earliestMsecs = candidate;
        }
    }
    return earliest;
}

// Enough for the distinct moments of a busy stretch of log, small enough to stay in cache. (A
// larger table does not pay for a log whose moments come in no order: measured 2026-12-11, one
// of 2^16 or more moments cost more in missed caches than the date-times it saved.)
constexpr int kCacheSize = 1 << 12;
// Every day of eleven years: a log need not move forward through its days (a usage log written
// as uses end, or one merged from several machines, jumps back and forth over months).
constexpr int kDayCacheSize = 1 << 12;

} // namespace

DateTimeCodec::DateTimeCodec(const QString &format) : m_format(format)
{
    // Only fixed-width numeric sections are decoded directly: yyyy MM dd hh HH mm ss and
    // separators that are neither letters nor quotes. Anything else uses Qt's parser.
    struct Token
    {
        const char *text;
        Field field;
    };
    static const Token tokens[] = {{"yyyy", Year}, {"MM", Month},  {"dd", Day},   {"hh", Hour},
                                   {"HH", Hour},   {"mm", Minute}, {"ss", Second}};
    bool seen[7] = {};
    int i = 0;
    bool ok = true;
    while (ok && i < format.size()) {
        const QChar c = format.at(i);
        if (isAsciiLetter(c)) {
            ok = false;
            for (const Token &token : tokens) {
                const int len = int(qstrlen(token.text));
                if (format.midRef(i, len) == QLatin1String(token.text) &&
                    (i + len >= format.size() || format.at(i + len) != c)) {
                    if (seen[token.field])
                        break;
                    seen[token.field] = true;
                    for (int k = 0; k < len; ++k) {
                        m_fields.append(token.field);
                        m_literals.append(QChar());
                    }
                    i += len;
                    ok = true;
                    break;
                }
            }
        } else if (c == QLatin1Char('\'') || c.isDigit() || c.unicode() > 0x7e ||
                   c.unicode() < 0x20) {
            ok = false;
        } else {
            m_fields.append(Literal);
            m_literals.append(c);
            ++i;
        }
    }
    m_fast = ok && seen[Year] && seen[Month] && seen[Day];
}

QDateTime DateTimeCodec::parse(const QString &text) const
{
    return parse(text.constData(), text.size());
}

namespace {

ushort codeOf(QChar c)
{
    return c.unicode();
}

ushort codeOf(char c)
{
    return uchar(c);
}

QString textOf(const QChar *text, int length)
{
    return QString(text, length);
}

QString textOf(const char *text, int length)
{
    return QString::fromLatin1(text, length);
}

} // namespace

template <typename Char> QDateTime DateTimeCodec::parseChars(const Char *text, int length) const
{
    if (m_fast && length == m_fields.size()) {
        int values[7] = {0, 0, 0, 0, 0, 0, 0};
        bool wellFormed = true;
        for (int i = 0; i < length && wellFormed; ++i) {
            const ushort u = codeOf(text[i]);
            const Field field = m_fields.at(i);
            if (field == Literal) {
                wellFormed = (u == m_literals.at(i).unicode());
            } else if (u >= '0' && u <= '9') {
                values[field] = values[field] * 10 + (u - '0');
            } else {
                wellFormed = false;
            }
        }
        if (wellFormed && QDate::isValid(values[Year], values[Month], values[Day]) &&
            QTime::isValid(values[Hour], values[Minute], values[Second], 0)) {
            const QDateTime result = localDateTime(values);
            // A local time in a daylight-saving gap is invalid; let Qt decide what it gives.
            if (result.isValid())
                return result;
        }
    }
    ++m_slowParses;
    return firstOccurrence(QDateTime::fromString(textOf(text, length), m_format));
}

QDateTime DateTimeCodec::parse(const QChar *text, int length) const
{
    return parseChars(text, length);
}

QDateTime DateTimeCodec::parseLatin1(const char *text, int length) const
{
    return parseChars(text, length);
}

QDateTime DateTimeCodec::localDateTime(const int *values) const
{
    // Never 0 for a valid date, since the year is at least 1.
    const quint64 key = quint64(values[Year]) << 26 | quint64(values[Month]) << 22 |
                        quint64(values[Day]) << 17 | quint64(values[Hour]) << 12 |
                        quint64(values[Minute]) << 6 | quint64(values[Second]);
    if (m_cache.isEmpty())
        m_cache.resize(kCacheSize);
    const quint64 mixed = key * Q_UINT64_C(0x9E3779B97F4A7C15);
    CachedMoment &slot = m_cache[int(mixed >> 52) & (kCacheSize - 1)];
    if (slot.key == key)
        return slot.dateTime;
    const QDate date(values[Year], values[Month], values[Day]);
    // Invalid: the caller asks Qt's parser instead.
    if (!steadyDay(date))
        return QDateTime();
    const QDateTime result(date, QTime(values[Hour], values[Minute], values[Second]),
                           Qt::LocalTime);
    if (result.isValid()) {
        slot.key = key;
        slot.dateTime = result;
    }
    return result;
}

// True when every local time of the date occurs exactly once: the offset from UTC is the same
// from noon of the day before to noon of the day after. Zones change their offset by less than
// a day, and never twice within two days.
bool DateTimeCodec::steadyDay(const QDate &date) const
{
    if (m_days.isEmpty())
        m_days.resize(kDayCacheSize);
    const qint64 julianDay = date.toJulianDay();
    CachedDay &slot = m_days[int(julianDay & (kDayCacheSize - 1))];
    if (slot.julianDay != julianDay) {
        const QTime noon(12, 0);
        const QDateTime before(date.addDays(-1), noon, Qt::LocalTime);
        const QDateTime after(date.addDays(1), noon, Qt::LocalTime);
        slot.julianDay = julianDay;
        slot.steady =
            before.isValid() && after.isValid() && before.offsetFromUtc() == after.offsetFromUtc();
    }
    return slot.steady;
}

QString DateTimeCodec::dateText(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return QString();
    const QDate date = dateTime.date();
    const int year = date.year();
    if (year < 1000 || year > 9999)
        return date.toString(QStringLiteral("yyyy-MM-dd"));
    QString text(10, Qt::Uninitialized);
    QChar *out = text.data();
    putDigits(out, year, 4);
    out[4] = QLatin1Char('-');
    putDigits(out + 5, date.month(), 2);
    out[7] = QLatin1Char('-');
    putDigits(out + 8, date.day(), 2);
    return text;
}

QString DateTimeCodec::timeText(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return QString();
    const QTime time = dateTime.time();
    QString text(8, Qt::Uninitialized);
    QChar *out = text.data();
    putDigits(out, time.hour(), 2);
    out[2] = QLatin1Char(':');
    putDigits(out + 3, time.minute(), 2);
    out[5] = QLatin1Char(':');
    putDigits(out + 6, time.second(), 2);
    return text;
}
