#ifndef TEXTPOOL_H
#define TEXTPOOL_H

#include <QHash>
#include <QString>
#include <QStringRef>

#include <deque>

// Hands out one shared copy of each distinct text, so that the many rows naming the same user,
// dongle or product type share one allocation instead of holding one each. A pool lives for
// one read; past a bound of distinct texts it stops pooling and copies, so a log of only
// distinct names costs no more than it did without the pool.
class TextPool
{
public:
    QString text(const QStringRef &text);

    int size() const { return int(m_texts.size()); }

private:
    static constexpr int MaxTexts = 1 << 16;

    QString add(const QString &text);

    // Stable addresses: the keys refer to these strings.
    std::deque<QString> m_texts;
    QHash<QStringRef, int> m_index;
};

#endif // TEXTPOOL_H
