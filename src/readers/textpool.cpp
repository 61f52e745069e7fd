#include "textpool.h"

QString TextPool::text(const QStringRef &text)
{
    const auto found = m_index.constFind(text);
    if (found != m_index.constEnd())
        return m_texts[size_t(found.value())];
    return add(text.toString());
}

QString TextPool::add(const QString &text)
{
    if (int(m_texts.size()) >= MaxTexts)
        return text;
    m_texts.push_back(text);
    m_index.insert(QStringRef(&m_texts.back()), int(m_texts.size()) - 1);
    return m_texts.back();
}
