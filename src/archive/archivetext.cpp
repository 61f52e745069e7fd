#include "archivetext.h"

#include <QCryptographicHash>

namespace {

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

QByteArray ArchiveText::digest(const QStringList &fields)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &field : fields) {
        const QByteArray bytes = field.toUtf8();
        const QByteArray length = QByteArray::number(bytes.size()) + ':';
        hash.addData(length);
        hash.addData(bytes);
    }
    return hash.result();
}

QString ArchiveText::momentKey(const QVariant &text, const QVariant &epoch)
{
    if (!epoch.isNull())
        return QLatin1Char('e') + QString::number(epoch.toLongLong());
    return QLatin1Char('t') + text.toString();
}
