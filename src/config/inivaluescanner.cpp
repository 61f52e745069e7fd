#include "inivaluescanner.h"

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// The escapes of one character after a backslash, each with what it stands for.
constexpr char kCharacterEscapes[][2] = {
    {'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},  {'r', '\r'},  {'t', '\t'},
    {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'},
};

int digitValue(QChar c, int base)
{
    const ushort u = c.unicode();
    int digit = -1;
    if (u >= '0' && u <= '9')
        digit = u - '0';
    else if (u >= 'a' && u <= 'f')
        digit = u - 'a' + 10;
    else if (u >= 'A' && u <= 'F')
        digit = u - 'A' + 10;
    return digit < base ? digit : -1;
}

// QSettings doubles the "@" of a text that begins with one, and wraps some values in a mark of
// their type. The marks of texts and bytes are taken off; the other types (@Variant, @Rect, ...)
// are no text, so such a value stays as written.
QString withoutTypeMark(const QString &value)
{
    if (!value.startsWith(QLatin1Char('@')))
        return value;
    if (value.endsWith(QLatin1Char(')'))) {
        if (value.startsWith(QLatin1String("@String(")))
            return value.mid(8, value.size() - 9);
        if (value.startsWith(QLatin1String("@ByteArray(")))
            return value.mid(11, value.size() - 12);
        if (value == QLatin1String("@Invalid()"))
            return QString();
    }
    if (value.startsWith(QLatin1String("@@")))
        return value.mid(1);
    return value;
}

} // namespace

QString IniValueScanner::read(const QString &text, int from, int *end)
{
    IniValueScanner scanner(text, from);
    scanner.scan();
    *end = scanner.m_pos;
    return withoutTypeMark(scanner.m_value);
}

void IniValueScanner::scan()
{
    while (!atLineEnd() && isBlank(m_text.at(m_pos)))
        ++m_pos;
    while (!atLineEnd()) {
        const QChar c = m_text.at(m_pos);
        if (c == QLatin1Char('"') && m_partStart && closingQuoteFollows())
            readQuotedPart();
        else if (c == QLatin1Char('\\'))
            readEscape();
        else if (c == QLatin1Char(';') && m_commentMayStart)
            skipComment();
        else
            readPlain(c);
    }
    chopTrailingBlanks();
}

bool IniValueScanner::atLineEnd() const
{
    return atLineEnd(m_pos);
}

bool IniValueScanner::atLineEnd(int pos) const
{
    if (pos >= m_text.size())
        return true;
    const QChar c = m_text.at(pos);
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

int IniValueScanner::afterLineEnd(int pos) const
{
    if (pos >= m_text.size())
        return pos;
    if (m_text.at(pos) == QLatin1Char('\r') && pos + 1 < m_text.size() &&
        m_text.at(pos + 1) == QLatin1Char('\n'))
        return pos + 2;
    return pos + 1;
}

// An opening quote without its closing one on the same line is an ordinary character: QSettings
// ran on to the next quote however many lines later, taking those lines into the value.
bool IniValueScanner::closingQuoteFollows() const
{
    int pos = m_pos + 1;
    while (!atLineEnd(pos)) {
        const QChar c = m_text.at(pos);
        if (c == QLatin1Char('"'))
            return true;
        if (c != QLatin1Char('\\'))
            ++pos;
        else if (atLineEnd(pos + 1))
            pos = afterLineEnd(pos + 1);
        else
            pos += 2;
    }
    return false;
}

// Commas and blanks stay as written: a comma never makes a list.
void IniValueScanner::readPlain(QChar c)
{
    m_value += c;
    ++m_pos;
    m_commentMayStart = isBlank(c);
    m_partStart = c == QLatin1Char(',') || (m_partStart && isBlank(c));
}

void IniValueScanner::readQuotedPart()
{
    ++m_pos;
    while (!atLineEnd() && m_text.at(m_pos) != QLatin1Char('"')) {
        if (m_text.at(m_pos) == QLatin1Char('\\'))
            readEscape();
        else
            m_value += m_text.at(m_pos++);
    }
    if (!atLineEnd())
        ++m_pos;
    m_kept = m_value.size();
    m_commentMayStart = true;
    m_partStart = false;
}

// A backslash at the end of a line continues the value on the next one, whose blanks are kept.
void IniValueScanner::readEscape()
{
    if (atLineEnd(m_pos + 1)) {
        m_pos = afterLineEnd(m_pos + 1);
        m_kept = m_value.size();
        m_commentMayStart = true;
        return;
    }
    const QChar code = m_text.at(m_pos + 1);
    if (!readCharacterEscape(code) && !readNumberEscape(code)) {
        // QSettings dropped both characters, which lost the backslashes of Windows paths.
        m_value += m_text.midRef(m_pos, 2);
        m_pos += 2;
    }
    m_kept = m_value.size();
    m_commentMayStart = false;
    m_partStart = false;
}

bool IniValueScanner::readCharacterEscape(QChar code)
{
    for (const auto &escape : kCharacterEscapes) {
        if (code == QLatin1Char(escape[0])) {
            m_value += QLatin1Char(escape[1]);
            m_pos += 2;
            return true;
        }
    }
    return false;
}

bool IniValueScanner::readNumberEscape(QChar code)
{
    if (digitValue(code, 8) >= 0) {
        readNumber(8, m_pos + 1);
        return true;
    }
    if (code == QLatin1Char('x') && m_pos + 2 < m_text.size() &&
        digitValue(m_text.at(m_pos + 2), 16) >= 0) {
        readNumber(16, m_pos + 2);
        return true;
    }
    return false;
}

// As many digits as follow, as QSettings reads them; the code is kept to its low 16 bits.
void IniValueScanner::readNumber(int base, int from)
{
    uint code = 0;
    m_pos = from;
    int digit = 0;
    while (m_pos < m_text.size() && (digit = digitValue(m_text.at(m_pos), base)) >= 0) {
        code = (code * uint(base) + uint(digit)) & 0xFFFF;
        ++m_pos;
    }
    m_value += QChar(ushort(code));
}

void IniValueScanner::skipComment()
{
    while (!atLineEnd())
        ++m_pos;
}

void IniValueScanner::chopTrailingBlanks()
{
    int size = m_value.size();
    while (size > m_kept && isBlank(m_value.at(size - 1)))
        --size;
    m_value.truncate(size);
}
