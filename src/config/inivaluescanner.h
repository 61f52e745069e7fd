#ifndef INIVALUESCANNER_H
#define INIVALUESCANNER_H

#include <QString>

// One value of ProductConfig.ini, from just after its "=" to the end of its line or of the last
// line it continues onto: escapes, quoted parts, comments and "@" marks, by the rules written
// above IniFile.
class IniValueScanner
{
public:
    // The value that starts at from in text; *end receives the position of the line end, or of
    // the end of the text, that closes it.
    static QString read(const QString &text, int from, int *end);

private:
    IniValueScanner(const QString &text, int from) : m_text(text), m_pos(from) {}

    void scan();
    bool atLineEnd() const;
    bool atLineEnd(int pos) const;
    // Past the line end at pos: CR LF counts as one.
    int afterLineEnd(int pos) const;
    bool closingQuoteFollows() const;
    void readPlain(QChar c);
    void readQuotedPart();
    void readEscape();
    bool readCharacterEscape(QChar code);
    bool readNumberEscape(QChar code);
    void readNumber(int base, int from);
    void skipComment();
    void chopTrailingBlanks();

    const QString &m_text;
    int m_pos;
    QString m_value;
    // The value up to here came from escapes or quotes: its blanks are never chopped.
    int m_kept = 0;
    // At the value's start, after a blank, after a closing quote or a continued line end: a ";"
    // here starts a comment.
    bool m_commentMayStart = true;
    // At the value's start or after a comma and blanks: a '"' here may open a quoted part.
    bool m_partStart = true;
};

#endif // INIVALUESCANNER_H
