#include "archivetext.h"

#include "localepoch.h"

#include <QCryptographicHash>

#include <cstdio>

namespace {

constexpr qint64 kUnixEpochJulianDay = 2440588;

// The parse of momentText's output; QDateTime::fromString is several times slower, and a
// month's report parses a moment or two for every session.
bool parseWallClock(const QString &text, QDate *date, QTime *time)
{
    if (text.size() < 19)
        return false;
    const auto number = [&text](int at, int length) { return text.midRef(at, length).toInt(); };
    *date = QDate(number(0, 4), number(5, 2), number(8, 2));
    *time =
        QTime(number(11, 2), number(14, 2), number(17, 2), text.size() >= 23 ? number(20, 3) : 0);
    return date->isValid() && time->isValid();
}

} // namespace

QString ArchiveText::storable(const QString &text)
{
    QString result;
    const int size = text.size();
    for (int i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        const bool pairStart =
            c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate();
        if (pairStart) {
            if (!result.isNull()) {
                result += c;
                result += text.at(i + 1);
            }
            ++i;
            continue;
        }
        const bool bad = c.isNull() || c.isSurrogate();
        if (bad && result.isNull())
            result = text.left(i);
        if (bad)
            result += QChar(QChar::ReplacementCharacter);
        else if (!result.isNull())
            result += c;
    }
    return result.isNull() ? text : result;
}

ArchiveText::Stored ArchiveText::stored(const QDateTime &moment)
{
    if (!moment.isValid())
        return {QVariant(QVariant::String), QVariant(QVariant::LongLong), QVariant(QVariant::Int)};
    const QDate date = moment.date();
    const QTime time = moment.time();
    char text[32];
    const int length =
        time.msec()
            ? std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", date.year(),
                            date.month(), date.day(), time.hour(), time.minute(), time.second(),
                            time.msec())
            : std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.year(),
                            date.month(), date.day(), time.hour(), time.minute(), time.second());
    const qint64 epoch = LocalEpoch::seconds(moment);
    // The wall clock read as if it were UTC, less the instant: the offset there and then.
    const qint64 wallClock = (date.toJulianDay() - kUnixEpochJulianDay) * 86400 +
                             time.hour() * 3600 + time.minute() * 60 + time.second();
    return {QString::fromLatin1(text, length), epoch, int(wallClock - epoch)};
}

QVariant ArchiveText::momentText(const QDateTime &moment)
{
    if (!moment.isValid())
        return QVariant(QVariant::String);
    return moment.toString(moment.time().msec() ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                                : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QVariant ArchiveText::momentEpoch(const QDateTime &moment)
{
    return moment.isValid() ? QVariant(moment.toSecsSinceEpoch()) : QVariant(QVariant::LongLong);
}

QVariant ArchiveText::momentOffset(const QDateTime &moment)
{
    return moment.isValid() ? QVariant(moment.offsetFromUtc()) : QVariant(QVariant::Int);
}

QDateTime ArchiveText::moment(const QVariant &text, const QVariant &offset)
{
    QDate date;
    QTime time;
    if (text.isNull() || !parseWallClock(text.toString(), &date, &time))
        return QDateTime();
    if (offset.isNull())
        return QDateTime(date, time);
    return QDateTime(date, time, Qt::OffsetFromUTC, offset.toInt());
}

qint64 ArchiveText::offsetOf(const QString &text, qint64 epoch)
{
    QDate date;
    QTime time;
    if (!parseWallClock(text, &date, &time))
        return 0;
    return QDateTime(date, QTime(time.hour(), time.minute(), time.second()), Qt::UTC)
               .toSecsSinceEpoch() -
           epoch;
}

QByteArray ArchiveText::key(const QStringList &fields)
{
    QByteArray key;
    key.reserve(256);
    for (const QString &field : fields) {
        const QByteArray bytes = field.toUtf8();
        key += QByteArray::number(bytes.size());
        key += ':';
        key += bytes;
    }
    return key;
}

QByteArray ArchiveText::identity(const QVariant &epoch, const QByteArray &key, int rank)
{
    // Biased so that moments before 1970 sort before later ones; 0 for no moment.
    const quint64 instant = epoch.isNull() ? 0 : quint64(epoch.toLongLong()) + (quint64(1) << 62);
    QByteArray identity(8, '\0');
    for (int i = 0; i < 8; ++i)
        identity[i] = char((instant >> (56 - 8 * i)) & 0xff);
    // The first of identical ones is the key's digest; each later one the digest of the one
    // before it and its rank, so one digest serves the common case.
    QByteArray digest = QCryptographicHash::hash(key, QCryptographicHash::Sha256).left(16);
    for (int step = 1; step <= rank; ++step)
        digest =
            QCryptographicHash::hash(digest + QByteArray::number(step), QCryptographicHash::Sha256)
                .left(16);
    return identity + digest;
}

QString ArchiveText::momentKey(const QVariant &text, const QVariant &epoch)
{
    if (!epoch.isNull())
        return QLatin1Char('e') + QString::number(epoch.toLongLong());
    return QLatin1Char('t') + text.toString();
}
