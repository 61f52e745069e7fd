#include "textpool.h"

QString TextPool::text(const QStringRef &text)
{
    if (!m_pooling)
        return text.toString();
    if (++m_lookups == ProbeLookups) {
        if (m_found < ProbeLookups / 8)
            m_pooling = false;
        m_lookups = 0;
        m_found = 0;
    }
    const auto found = m_index.constFind(text);
    if (found != m_index.constEnd()) {
        ++m_found;
        return m_texts[size_t(found.value())];
    }
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

QString TextPool::text(QLatin1String text)
{
    if (!m_pooling)
        return QString(text);
    m_wide.resize(text.size());
    QChar *out = m_wide.data();
    for (int i = 0; i < text.size(); ++i)
        out[i] = QLatin1Char(text.data()[i]);
    return this->text(QStringRef(&m_wide));
}
