#ifndef ARCHIVETEXT_H
#define ARCHIVETEXT_H

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

// How texts and moments are kept in the archive, the same on every engine.
class ArchiveText
{
public:
    // A text as it is stored: a NUL, which a server cannot hold, and a lone surrogate, which no
    // engine keeps as it is, each become U+FFFD; everything else is kept as read.
    static QString storable(const QString &text);

    // A moment as it is stored: text, instant and offset; all null for an invalid moment. Quick:
    // no time-zone lookup beyond the one the instant takes.
    struct Stored
    {
        QVariant text;
        QVariant epoch;
        QVariant offset;
    };
    static Stored stored(const QDateTime &moment);

    // The wall-clock text of a moment as the log wrote it, milliseconds only where it has them;
    // null for an invalid moment.
    static QVariant momentText(const QDateTime &moment);
    // The UTC instant and the offset from UTC that the ingesting machine gave the moment; null
    // for an invalid moment.
    static QVariant momentEpoch(const QDateTime &moment);
    static QVariant momentOffset(const QDateTime &moment);
    // The moment a stored text and offset stand for: the wall clock as logged, at the offset it
    // had there, so that its seconds do not depend on the zone of the machine that reports.
    // Without an offset the text is taken as local time.
    static QDateTime moment(const QVariant &text, const QVariant &offset);
    // The offset a moment had, from its stored text and instant.
    static qint64 offsetOf(const QString &text, qint64 epoch);

    // The fields, each length-prefixed, as one key: no two lists of texts share one.
    static QByteArray key(const QStringList &fields);
    // What a session or an unpaired end is filed by: its moment's instant (eight bytes that
    // sort as the instants do, so that a log's sessions go into the index side by side) and a
    // digest of its key and its rank among identical ones.
    static QByteArray identity(const QVariant &epoch, const QByteArray &key, int rank);
    // What identifies a moment in a digest: its instant when valid, else its text.
    static QString momentKey(const QVariant &text, const QVariant &epoch);
};

#endif // ARCHIVETEXT_H
