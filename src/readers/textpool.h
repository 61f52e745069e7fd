#ifndef TEXTPOOL_H
#define TEXTPOOL_H

#include <QHash>
#include <QLatin1String>
#include <QString>
#include <QStringRef>

#include <deque>

// Hands out one shared copy of each distinct text, so that the many rows naming the same user,
// dongle or product type share one allocation instead of holding one each. A pool lives for
// one read; past a bound of distinct texts it stops pooling and copies, so a log of only
// distinct names costs no more than it did without the pool.
//
// A pool that does not pay stops looking texts up: when fewer than one in eight of a round of
// ProbeLookups lookups found its text already there, every later text is simply copied. A log
// whose users are all distinct then costs a copy per name, as it did without a pool, instead
// of a lookup in a table that keeps growing as well.
class TextPool
{
public:
    static constexpr int ProbeLookups = 1 << 12;

    QString text(const QStringRef &text);
    // The same for a text of Latin-1 bytes.
    QString text(QLatin1String text);

    int size() const { return int(m_texts.size()); }
    // False once the pool gave up looking texts up.
    bool isPooling() const { return m_pooling; }

private:
    static constexpr int MaxTexts = 1 << 16;

    QString add(const QString &text);

    // Stable addresses: the keys refer to these strings.
    std::deque<QString> m_texts;
    QHash<QStringRef, int> m_index;
    // A Latin-1 text widened, to be looked up.
    QString m_wide;
    bool m_pooling = true;
    // Lookups and texts found in the current round.
    int m_lookups = 0;
    int m_found = 0;
};

#endif // TEXTPOOL_H
