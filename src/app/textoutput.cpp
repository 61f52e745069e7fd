#include "textoutput.h"

TextOutput::TextOutput(const QString &path, const QByteArray &content, const QByteArray &prefix)
    : m_path(path), m_content(content), m_prefix(prefix), m_file(path)
{
}

bool TextOutput::open()
{
    if (toStandardOutput())
        return true;
    if (!m_file.open())
        return false;
    return m_file.isDirect() || (m_file.write(m_prefix) && m_file.write(m_content));
}

bool TextOutput::stream()
{
    return toStandardOutput() || !m_file.isDirect() ||
           (m_file.write(m_prefix) && m_file.write(m_content) && m_file.prepare());
}

bool TextOutput::prepare()
{
    return toStandardOutput() || m_file.isDirect() || m_file.prepare();
}

bool TextOutput::commit()
{
    return toStandardOutput() || m_file.commit();
}
