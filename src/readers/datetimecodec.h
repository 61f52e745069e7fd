#ifndef DATETIMECODEC_H
#define DATETIMECODEC_H

#include <QDateTime>
#include <QString>
#include <QVector>

#include <limits>

// Parses local date-times with one fixed format and gives exactly what
// QDateTime::fromString(text, format) gives on a thread of its own, invalid results included.
// Well-formed stamps of plain numeric formats are decoded directly, because the general parser
// costs microseconds a call; every other text is handed to QDateTime::fromString.
//
// On a day whose local offset from UTC changes, a local time may occur twice, and which of the
// two a made date-time gets depends on the conversion made just before it, in any thread. Qt's
// parser, converting field by field from the start of the day, gives the earlier one when
// nothing else converts meanwhile. Stamps of such days are therefore handed to Qt's parser, and
// a time that occurs twice is then placed at its earlier instant by means that do not depend
// on other conversions, so that readers on two threads get what one thread gets. (Where the
// repeated hour starts at the midnight that begins a month, as in Havana on some 1 November,
// Qt's parser gives the later instant; the codec keeps to the earlier one.)
//
// Making a local date-time asks the C library for the time zone each time, which on some
// systems costs a file-system call; logs repeat moments often, so the date-times made on the
// fast path are kept in a small table. A codec is meant to live for one pass over the input, so
// the time-zone rules cannot change under it. Not thread-safe: give each thread its own codec.
class DateTimeCodec
{
public:
    explicit DateTimeCodec(const QString &format);

    QDateTime parse(const QString &text) const;
    QDateTime parse(const QChar *text, int length) const;
    // The same for a text of Latin-1 bytes.
    QDateTime parseLatin1(const char *text, int length) const;

    QString format() const { return m_format; }
    bool hasFastPath() const { return m_fast; }
    // How many texts so far were handed to QDateTime::fromString: malformed ones, and those
    // of days on which the local offset from UTC changes.
    qint64 slowParses() const { return m_slowParses; }

    // "yyyy-MM-dd" of the date-time's date; empty when the date-time is invalid.
    static QString dateText(const QDateTime &dateTime);
    // "hh:mm:ss" of the date-time's time; empty when the date-time is invalid.
    static QString timeText(const QDateTime &dateTime);

private:
    enum Field : char
    {
        Literal,
        Year,
        Month,
        Day,
        Hour,
        Minute,
        Second
    };

    struct CachedMoment
    {
        quint64 key = 0;
        QDateTime dateTime;
    };

    struct CachedDay
    {
        qint64 julianDay = std::numeric_limits<qint64>::min();
        bool steady = false;
    };

    template <typename Char> QDateTime parseChars(const Char *text, int length) const;
    QDateTime localDateTime(const int *values) const;
    bool steadyDay(const QDate &date) const;

    QString m_format;
    // One entry per character of a well-formed stamp.
    QVector<Field> m_fields;
    QString m_literals;
    bool m_fast = false;
    // Direct-mapped by the packed fields; made on first use.
    mutable QVector<CachedMoment> m_cache;
    mutable QVector<CachedDay> m_days;
    mutable qint64 m_slowParses = 0;
};

#endif // DATETIMECODEC_H
