#include "inifile.h"

#include "regularfile.h"

#include <QFile>
#include <QTextCodec>
#include <QVector>

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

IniFile IniFile::load(const QString &path)
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
    IniFile parsed = parse(text);
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

IniFile IniFile::parse(const QString &text)
{
    IniFile file;
    file.m_status = Status::Read;
    QMap<QString, QString> *group = &file.m_groups[QString()];
    int pos = 0;
    const int size = text.size();
    while (pos < size) {
        int end = pos;
        while (end < size && text.at(end) != QLatin1Char('\n') && text.at(end) != QLatin1Char('\r'))
            ++end;
        const QStringRef line = trimmedBlanks(text.midRef(pos, end - pos));
        pos = end + 1;
        if (end + 1 < size && text.at(end) == QLatin1Char('\r') &&
            text.at(end + 1) == QLatin1Char('\n'))
            ++pos;

        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            int close = line.indexOf(QLatin1Char(']'));
            if (close < 0)
                close = line.size();
            group = &file.m_groups[trimmedBlanks(line.mid(1, close - 1)).toString()];
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QStringRef key = trimmedBlanks(line.left(equals));
        QStringRef value = trimmedBlanks(line.mid(equals + 1));
        if (key.isEmpty())
            continue;
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) &&
            value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        // Values are never null, so that an empty value differs from an absent key.
        group->insert(key.toString(),
                      value.isEmpty() ? QString(QLatin1String("")) : value.toString());
    }
    return file;
}

QString IniFile::value(const QString &group, const QString &key) const
{
    const auto found = m_groups.constFind(group);
    if (found == m_groups.constEnd())
        return QString();
    return found->value(key);
}

QStringList IniFile::keys(const QString &group) const
{
    return m_groups.value(group).keys();
}
