#include "flatjson.h"

#include <QStringRef>
#include <QVarLengthArray>

namespace {

class Scanner
{
public:
    explicit Scanner(const QStringRef &text) : m_text(text), m_at(0) {}

    bool atEnd() const { return m_at >= m_text.size(); }

    void skipSpace()
    {
        while (!atEnd()) {
            const ushort c = m_text.at(m_at).unicode();
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                return;
            ++m_at;
        }
    }

    bool take(char expected)
    {
        if (atEnd() || m_text.at(m_at) != QLatin1Char(expected))
            return false;
        ++m_at;
        return true;
    }

    // A string of printable ASCII other than the quote and the backslash, quotes included.
    bool string(QStringRef *inside)
    {
        if (!take('"'))
            return false;
        const int start = m_at;
        while (!atEnd()) {
            const ushort c = m_text.at(m_at).unicode();
            if (c == '"') {
                *inside = m_text.mid(start, m_at - start);
                ++m_at;
                return true;
            }
            if (c < 0x20 || c > 0x7E || c == '\\')
                return false;
            ++m_at;
        }
        return false;
    }

private:
    const QStringRef &m_text;
    int m_at;
};

} // namespace

bool FlatJson::stringMembers(const QStringRef &text, const QString *keys, int count,
                             QStringRef *values)
{
    Scanner scanner(text);
    QVarLengthArray<QStringRef, MostMembers> names;
    QVarLengthArray<QStringRef, MostMembers> texts;
    scanner.skipSpace();
    if (!scanner.take('{'))
        return false;
    scanner.skipSpace();
    if (!scanner.take('}')) {
        for (;;) {
            QStringRef name;
            QStringRef value;
            if (names.size() == MostMembers || !scanner.string(&name))
                return false;
            scanner.skipSpace();
            if (!scanner.take(':'))
                return false;
            scanner.skipSpace();
            if (!scanner.string(&value))
                return false;
            for (const QStringRef &seen : qAsConst(names)) {
                if (seen == name)
                    return false;
            }
            names.append(name);
            texts.append(value);
            scanner.skipSpace();
            if (scanner.take('}'))
                break;
            if (!scanner.take(','))
                return false;
            scanner.skipSpace();
        }
    }
    scanner.skipSpace();
    if (!scanner.atEnd())
        return false;

    for (int k = 0; k < count; ++k) {
        values[k] = QStringRef();
        for (int m = 0; m < names.size(); ++m) {
            if (names.at(m) == keys[k]) {
                if (texts.at(m).isEmpty())
                    return false;
                values[k] = texts.at(m);
            }
        }
    }
    return true;
}
