#ifndef LINEPATTERNMATCHER_H
#define LINEPATTERNMATCHER_H

#include <QRegExp>
#include <QString>

// Finds a line pattern in a line and gives its captures exactly as QRegExp does for that
// pattern. QRegExp retries a pattern from every position where it could start, so a long line
// holding many stamp-like texts costs quadratic time; the stamped-line pattern of the PRX log
// (a time stamp, a number, four bracketed fields and the message) is therefore matched by a
// linear scan that picks the same match and the same captures. Any other pattern goes to
// QRegExp.
class LinePatternMatcher
{
public:
    explicit LinePatternMatcher(const QString &pattern);

    // The pattern the linear scan stands in for.
    static QString stampedLinePattern();

    // Searches the line; false when the pattern is not found in it.
    bool search(const QString &line);
    // Capture n of the last successful search, numbered as by QRegExp::cap.
    QString cap(int n) const;
    // The same capture in the line searched, not copied; valid until the next search. Null
    // where cap(n) is null.
    QStringRef capRef(int n) const;

    bool isLinear() const { return m_linear; }

private:
    bool searchStamped(const QString &line);

    bool m_linear = false;
    QRegExp m_regExp;
    QString m_line;
    // Start and length of captures 0 to 3 of the last linear match.
    int m_capStart[4] = {};
    int m_capLength[4] = {};
};

#endif // LINEPATTERNMATCHER_H
