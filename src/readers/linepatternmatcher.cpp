#include "linepatternmatcher.h"

#include <QVector>

namespace {

const QString kStampedLinePattern = QStringLiteral(
    "(\\d{4}-\\d{1,2}-\\d{1,2}) (\\d{1,2}:\\d{1,2}:\\d{1,2}) "
    "\\d{1,3}\\.\\d{1,3}\\[[\\S\\s]+\\]\\[[\\S\\s]+\\]\\[[\\S\\s]+\\]\\[[\\S\\s]+\\]([\\S\\s]+)");

// QRegExp's \d is QChar::isDigit, which takes more than ASCII digits.
bool isDigit(const QChar *s, int n, int i)
{
    return i < n && s[i].isDigit();
}

// Reads min to max digits at i; QRegExp's bounded repetition is followed here by a literal
// that is not a digit, so the number of digits taken is the only one that can match.
int digits(const QChar *s, int n, int i, int min, int max)
{
    int count = 0;
    while (count < max && isDigit(s, n, i + count))
        ++count;
    if (count < min || isDigit(s, n, i + count))
        return -1;
    return count;
}

bool literal(const QChar *s, int n, int i, char c)
{
    return i < n && s[i] == QLatin1Char(c);
}

} // namespace

LinePatternMatcher::LinePatternMatcher(const QString &pattern)
    : m_linear(pattern == kStampedLinePattern), m_regExp(pattern)
{
}

QString LinePatternMatcher::stampedLinePattern()
{
    return kStampedLinePattern;
}

bool LinePatternMatcher::search(const QString &line)
{
    if (!m_linear) {
        m_line = line;
        return m_regExp.indexIn(line) >= 0;
    }
    return searchStamped(line);
}

QStringRef LinePatternMatcher::capRef(int n) const
{
    if (!m_linear) {
        const int at = m_regExp.pos(n);
        if (at < 0)
            return QStringRef();
        return m_line.midRef(at, m_regExp.cap(n).size());
    }
    if (n < 0 || n > 3)
        return QStringRef();
    return m_line.midRef(m_capStart[n], m_capLength[n]);
}

QString LinePatternMatcher::cap(int n) const
{
    if (!m_linear)
        return m_regExp.cap(n);
    if (n < 0 || n > 3)
        return QString();
    return m_line.mid(m_capStart[n], m_capLength[n]);
}

// The line is: stamp prefix at i ending in "[" at p, then X1 "][" X2 "][" X3 "][" X4 "]" Y with
// every X and Y at least one character of any kind. Whether such fields can follow a position
// depends only on where the separators stand, so it is worked out once per line from the
// right; the match is the leftmost start whose prefix fits and whose fields can follow, and the
// message is the longest that QRegExp's leftmost-longest captures give: every field closes at
// its earliest possible separator.
bool LinePatternMatcher::searchStamped(const QString &line)
{
    const QChar *s = line.constData();
    const int n = line.size();

    // last[k]: the last position where the separator closing field k+1 may stand so that the
    // remaining fields can still follow (-1 when none can).
    int last[4] = {-1, -1, -1, -1};
    for (int j = n - 2; j >= 0; --j) {
        if (s[j] == QLatin1Char(']')) {
            last[3] = j;
            break;
        }
    }
    for (int k = 2; k >= 0; --k) {
        if (last[k + 1] < 0)
            break;
        for (int j = last[k + 1] - 3; j >= 0; --j) {
            if (s[j] == QLatin1Char(']') && s[j + 1] == QLatin1Char('[')) {
                last[k] = j;
                break;
            }
        }
    }
    if (last[0] < 0)
        return false;

    for (int i = 0; i + 1 < n; ++i) {
        if (!s[i].isDigit())
            continue;
        int at = i;
        int lengths[6];
        const char separators[6] = {'-', '-', ' ', ':', ':', ' '};
        const int minimum[6] = {4, 1, 1, 1, 1, 1};
        const int maximum[6] = {4, 2, 2, 2, 2, 2};
        bool fits = true;
        for (int part = 0; part < 6 && fits; ++part) {
            lengths[part] = digits(s, n, at, minimum[part], maximum[part]);
            fits = lengths[part] >= 0 && literal(s, n, at + lengths[part], separators[part]);
            at += lengths[part] + 1;
        }
        if (!fits)
            continue;
        const int whole = digits(s, n, at, 1, 3);
        if (whole < 0 || !literal(s, n, at + whole, '.'))
            continue;
        at += whole + 1;
        const int fraction = digits(s, n, at, 1, 3);
        if (fraction < 0 || !literal(s, n, at + fraction, '['))
            continue;
        const int open = at + fraction;
        // The first field needs at least one character before its closing separator.
        if (last[0] < open + 2)
            continue;

        int from = open + 2;
        int close = -1;
        for (int k = 0; k < 3; ++k) {
            close = -1;
            for (int j = from; j <= last[k]; ++j) {
                if (s[j] == QLatin1Char(']') && s[j + 1] == QLatin1Char('[')) {
                    close = j;
                    break;
                }
            }
            from = close + 3;
        }
        close = -1;
        for (int j = from; j <= last[3]; ++j) {
            if (s[j] == QLatin1Char(']')) {
                close = j;
                break;
            }
        }
        const int dateLength = lengths[0] + lengths[1] + lengths[2] + 2;
        const int timeStart = i + dateLength + 1;
        const int timeLength = lengths[3] + lengths[4] + lengths[5] + 2;
        m_line = line;
        m_capStart[0] = i;
        m_capLength[0] = n - i;
        m_capStart[1] = i;
        m_capLength[1] = dateLength;
        m_capStart[2] = timeStart;
        m_capLength[2] = timeLength;
        m_capStart[3] = close + 1;
        m_capLength[3] = n - close - 1;
        return true;
    }
    return false;
}
