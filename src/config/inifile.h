#ifndef INIFILE_H
#define INIFILE_H

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

// ProductConfig.ini by rules of our own, so that every value comes back exactly as written.
//
// - The file is UTF-8 (a byte-order mark is allowed) or UTF-16 with a byte-order mark.
// - Lines end at LF, CR LF or CR. A line whose first non-blank character is ";" or "#" is a
//   comment; elsewhere both are ordinary characters of a value.
// - "[name]" starts a group; the name is what stands between the brackets, without the blanks
//   around it. Keys before the first group belong to the group with the empty name. A group
//   written twice is one group.
// - "key=value": the key and the value lose the spaces and tabs around them, and nothing else.
//   Commas, semicolons, backslashes and quotes inside the value are kept; only a pair of double
//   quotes around the whole value is taken off. The last of a key written twice counts.
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

    // Reads the file at path; a file that is not a regular file is never opened further.
    static IniFile load(const QString &path);
    // The groups of a text already decoded.
    static IniFile parse(const QString &text);
    // The bytes of a file as text. When they are neither UTF-8 nor UTF-16 with a byte-order
    // mark, they are decoded as UTF-8 all the same and *problem says why they are not text.
    static QString decode(const QByteArray &bytes, QString *problem);

    Status status() const { return m_status; }
    // Empty when the file was read as text; otherwise a sentence naming the file and the fault.
    QString problem() const { return m_problem; }

    // The value as written; a null text when the group or the key is absent.
    QString value(const QString &group, const QString &key) const;
    // The group's keys in ascending order.
    QStringList keys(const QString &group) const;

private:
    Status m_status = Status::Missing;
    QString m_problem;
    QHash<QString, QMap<QString, QString>> m_groups;
};

#endif // INIFILE_H
