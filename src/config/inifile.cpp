#include "inifile.h"

#include "inivaluescanner.h"
#include "regularfile.h"

#include <QFile>
#include <QTextCodec>
#include <QVector>

#include <algorithm>

namespace {

// Far beyond any configuration; keeps a mistaken path to a huge file from filling memory.
constexpr qint64 kMaxFileSize = 16 << 20;

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QStringRef trimmedBlanks(const QStringRef &text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// The code of "%XX" or "%UXXXX" at pos, as QSettings writes a character of a name that is not a
// letter, a digit, "_", "-" or "."; -1 when no such code stands there.
int percentCode(const QStringRef &name, int pos, int *length)
{
    const bool wide = pos + 1 < name.size() && name.at(pos + 1) == QLatin1Char('U');
    const int first = pos + (wide ? 2 : 1);
    const int end = first + (wide ? 4 : 2);
    if (end > name.size())
        return -1;
    int code = 0;
    for (int i = first; i < end; ++i) {
        const int digit = hexDigit(name.at(i));
        if (digit < 0)
            return -1;
        code = code * 16 + digit;
    }
    *length = end - pos;
    return code;
}

// A group or key name as QSettings wrote it: percent codes decoded, a backslash standing for "/".
QString decodedName(const QStringRef &name)
{
    QString decoded;
    decoded.reserve(name.size());
    int pos = 0;
    while (pos < name.size()) {
        const QChar c = name.at(pos);
        int length = 1;
        const int code = c == QLatin1Char('%') ? percentCode(name, pos, &length) : -1;
        if (code >= 0)
            decoded += QChar(ushort(code));
        else
            decoded += c == QLatin1Char('\\') ? QLatin1Char('/') : c;
        pos += length;
    }
    return decoded;
}

// QSettings writes a group named General as "[%General]": its "[General]" holds the keys outside
// any group. Here "[General]" is the group General all the same, as whoever writes one by hand
// means it.
QString groupName(const QStringRef &line)
{
    int close = line.indexOf(QLatin1Char(']'));
    if (close < 0)
        close = line.size();
    const QStringRef name = trimmedBlanks(line.mid(1, close - 1));
    if (name.compare(QLatin1String("%General"), Qt::CaseInsensitive) == 0)
        return name.mid(1).toString();
    return decodedName(name);
}

// Where a key lives: its group's name and its own, joined by "/" and without empty steps, so that
// "[a]" with "b/c=" and "[a/b]" with "c=" name one key, as they did for QSettings.
QString pathOf(const QString &group, const QString &key)
{
    QString path;
    path.reserve(group.size() + key.size() + 1);
    for (const QString &name : {group, key}) {
        for (const QStringRef &step : name.splitRef(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            if (!path.isEmpty())
                path += QLatin1Char('/');
            path += step;
        }
    }
    return path;
}

QString fromUtf8(const QByteArray &bytes, int skip, int *invalid)
{
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    const QString text = QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData() + skip,
                                                                      bytes.size() - skip, &state);
    *invalid = state.invalidChars + state.remainingChars;
    return text;
}

// By hand, so that the byte order is the one the mark named and unpaired surrogates count as
// bad text.
QString fromUtf16(const QByteArray &bytes, bool littleEndian, int *invalid)
{
    const int count = (bytes.size() - 2) / 2;
    QString text(count, Qt::Uninitialized);
    QChar *out = text.data();
    const uchar *in = reinterpret_cast<const uchar *>(bytes.constData()) + 2;
    for (int i = 0; i < count; ++i, in += 2)
        out[i] = QChar(littleEndian ? ushort(in[0] | in[1] << 8) : ushort(in[0] << 8 | in[1]));
    *invalid = bytes.size() % 2;
    for (int i = 0; i < count; ++i) {
        if (out[i].isHighSurrogate() && i + 1 < count && out[i + 1].isLowSurrogate())
            ++i;
        else if (out[i].isSurrogate())
            ++*invalid;
    }
    return text;
}

} // namespace

IniFile IniFile::load(const QString &path, Names names)
{
    IniFile file;
    QFile device;
    switch (RegularFile::open(path, &device)) {
    case RegularFile::Outcome::Missing:
        file.m_problem = QStringLiteral("%1 does not exist").arg(path);
        return file;
    case RegularFile::Outcome::Unreadable:
        file.m_status = Status::Unreadable;
        file.m_problem = QStringLiteral("%1 is not a regular file that can be read").arg(path);
        return file;
    case RegularFile::Outcome::Opened:
        break;
    }
    const QByteArray bytes = device.read(kMaxFileSize + 1);
    if (bytes.size() > kMaxFileSize) {
        file.m_status = Status::Unreadable;
        file.m_problem = QStringLiteral("%1 is larger than 16 MiB").arg(path);
        return file;
    }
    QString problem;
    const QString text = decode(bytes, &problem);
    IniFile parsed = parse(text, names);
    parsed.m_status = Status::Read;
    if (!problem.isEmpty())
        parsed.m_problem = path + QLatin1Char(' ') + problem;
    return parsed;
}

QString IniFile::decode(const QByteArray &bytes, QString *problem)
{
    problem->clear();
    int invalid = 0;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool little = bytes.at(0) == '\xFF';
        const QString text = fromUtf16(bytes, little, &invalid);
        if (invalid > 0)
            *problem = QStringLiteral("is not valid UTF-16 text");
        return text;
    }
    const int skip = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const QString text = fromUtf8(bytes, skip, &invalid);
    if (bytes.indexOf('\0') >= 0) {
        *problem = QStringLiteral("holds NUL bytes; save it as UTF-8, or as UTF-16 with a "
                                  "byte-order mark");
    } else if (invalid > 0) {
        *problem = QStringLiteral("is not UTF-8 text (%1 bad bytes); save it as UTF-8, or as "
                                  "UTF-16 with a byte-order mark")
                       .arg(invalid);
    }
    return text;
}

IniFile::Names IniFile::platformNames()
{
#ifdef Q_OS_WIN
    return Names::CaseInsensitive;
#else
    return Names::CaseSensitive;
#endif
}

QString IniFile::lookup(const QString &path) const
{
    return m_names == Names::CaseInsensitive ? path.toCaseFolded() : path;
}

IniFile IniFile::parse(const QString &text, Names names)
{
    IniFile file;
    file.m_names = names;
    file.m_status = Status::Read;
    QString group;
    int pos = 0;
    while (pos < text.size())
        pos = file.readLine(text, pos, &group);
    return file;
}

int IniFile::readLine(const QString &text, int from, QString *group)
{
    int end = from;
    while (end < text.size() && text.at(end) != QLatin1Char('\n') &&
           text.at(end) != QLatin1Char('\r'))
        ++end;
    const QStringRef line = trimmedBlanks(text.midRef(from, end - from));
    if (line.startsWith(QLatin1Char('[')))
        *group = groupName(line);
    else if (!line.startsWith(QLatin1Char(';')) && !line.startsWith(QLatin1Char('#')))
        end = readEntry(text, line, *group, end);
    if (end + 1 < text.size() && text.at(end) == QLatin1Char('\r') &&
        text.at(end + 1) == QLatin1Char('\n'))
        return end + 2;
    return end + 1;
}

int IniFile::readEntry(const QString &text, const QStringRef &line, const QString &group,
                       int lineEnd)
{
    const int equals = line.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return lineEnd;
    const QString path = pathOf(group, decodedName(trimmedBlanks(line.left(equals))));
    int end = lineEnd;
    const QString value = IniValueScanner::read(text, line.position() + equals + 1, &end);
    // A key whose name is only slashes names nothing.
    if (path.isEmpty() || path == pathOf(group, QString()))
        return end;
    // Values are never null, so that an empty value differs from an absent key.
    Entry &entry = m_values[lookup(path)];
    if (entry.path.isNull())
        entry.path = path;
    entry.value = value.isNull() ? QString(QLatin1String("")) : value;
    return end;
}

QString IniFile::value(const QString &group, const QString &key) const
{
    return m_values.value(lookup(pathOf(group, key))).value;
}

QStringList IniFile::keys(const QString &group) const
{
    QString prefix = lookup(pathOf(group, QString()));
    if (!prefix.isEmpty())
        prefix += QLatin1Char('/');
    QStringList found;
    for (auto it = m_values.constBegin(); it != m_values.constEnd(); ++it) {
        if (it.key().startsWith(prefix) && it.key().indexOf(QLatin1Char('/'), prefix.size()) < 0)
            found.append(it->path.mid(it->path.lastIndexOf(QLatin1Char('/')) + 1));
    }
    std::sort(found.begin(), found.end());
    return found;
}
