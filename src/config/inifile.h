#ifndef INIFILE_H
#define INIFILE_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringRef>

// ProductConfig.ini read as QSettings read it in its INI format, but for two mends: a comma never
// makes a list, and a ";" glued to the text before it is text.
//
// - The file is UTF-8 (a byte-order mark is allowed) or UTF-16 with a byte-order mark.
// - Lines end at LF, CR LF or CR. A line whose first non-blank character is ";" or "#" is a
//   comment.
// - "[name]" starts a group: the name is what stands between "[" and the first "]", without the
//   blanks around it. Keys before the first group belong to the group with the empty name. A
//   group written twice is one group.
// - Group and key names are read as QSettings writes them: "%XX" and "%UXXXX" stand for the
//   character of that hexadecimal code ("[Daily%20Logs]" is "Daily Logs"), "\" stands for "/",
//   and "/" separates nested groups ("b/c" in "[a]" is "c" in "[a/b]"). "[%General]" is the
//   group General, and so is "[General]". Any other character stands for itself.
// - "key=value": the key loses the blanks around it, the value its leading blanks and the
//   unquoted blanks it ends with. The last of a key written twice counts.
// - In a value a backslash starts an escape as in C: \a \b \f \n \r \t \v \" \' \? \\, "\x" with
//   hexadecimal digits and "\" with octal digits (all the digits that follow, the code kept to
//   16 bits). A backslash at the end of a line continues the value on the next line. A
//   backslash before any other character stays, and so does that character.
// - A value, or a part of it after a comma, that starts with '"' and has its closing '"' on the
//   same line is quoted: between the quotes blanks, commas and ";" are text, escapes still
//   count. Any other '"' is text.
// - Outside quotes, a ";" at the value's start, after a blank or after a closing quote starts a
//   comment up to the line's end; a ";" glued to text ("A &amp; B") is text. "#" is text.
// - Commas are text as written: "a, b ,c" is that text, never a list.
// - "@@x" is "@x"; "@String(x)" and "@ByteArray(x)" are "x"; "@Invalid()" is empty. Other values
//   that begin with "@" (QSettings' marks of types that are no text) stay as written.
// - Any other line is passed over.
class IniFile
{
public:
    enum class Status
    {
        Read,
        Missing,
        // Something exists but is not a regular file that could be read, or is too large.
        Unreadable,
    };

    // How group and key names are matched: QSettings matched them whatever their case on
    // Windows, and exactly elsewhere.
    enum class Names
    {
        CaseSensitive,
        CaseInsensitive,
    };
    static Names platformNames();

    // Reads the file at path; a file that is not a regular file is never opened further.
    static IniFile load(const QString &path, Names names = platformNames());
    // The groups of a text already decoded.
    static IniFile parse(const QString &text, Names names = platformNames());
    // The bytes of a file as text. When they are neither UTF-8 nor UTF-16 with a byte-order
    // mark, they are decoded as UTF-8 all the same and *problem says why they are not text.
    static QString decode(const QByteArray &bytes, QString *problem);

    Status status() const { return m_status; }
    // Empty when the file was read as text; otherwise a sentence naming the file and the fault.
    QString problem() const { return m_problem; }

    // The value as read; a null text when the group or the key is absent.
    QString value(const QString &group, const QString &key) const;
    // The group's keys in ascending order, as written (the first spelling of a name matched
    // whatever its case).
    QStringList keys(const QString &group) const;

private:
    // Reads the line that starts at from, and the lines it continues onto; returns where the
    // next line starts.
    int readLine(const QString &text, int from, QString *group);
    // A "key=value" line; returns the position of the line end that closes its value.
    int readEntry(const QString &text, const QStringRef &line, const QString &group, int lineEnd);

    Status m_status = Status::Missing;
    QString m_problem;
    // The name a path is looked up by: the path itself, or its case folded.
    QString lookup(const QString &path) const;

    struct Entry
    {
        // The group's and the key's names joined with "/", as first written.
        QString path;
        QString value;
    };
    Names m_names = Names::CaseSensitive;
    // Every value by the lookup of its path.
    QHash<QString, Entry> m_values;
};

#endif // INIFILE_H
