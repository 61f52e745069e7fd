#include "filereaderbyregular.h"

#include "datetimecodec.h"
#include "sortkey.h"

#include <QByteArray>
#include <QByteArrayMatcher>
#include <QFile>
#include <QRegExp>

#include <algorithm>
#include <cstring>

namespace {

const QString kStampFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

// A NUL byte ends the line's text.
QString decodeLine(const QByteArray &raw)
{
    return QString::fromUtf8(raw.constData(), int(qstrnlen(raw.constData(), uint(raw.size()))));
}

// The plain text a pattern stands for, when it has no character with a special meaning in
// QRegExp's default syntax; such a pattern is found exactly where its text stands.
bool literalText(const QString &pattern, QByteArray *text)
{
    static const QString special = QStringLiteral("\\^$.[]|()?*+{}");
    if (pattern.isEmpty())
        return false;
    for (const QChar c : pattern) {
        if (special.contains(c))
            return false;
    }
    *text = pattern.toUtf8();
    return true;
}

class LineSource
{
public:
    virtual ~LineSource() = default;
    // The next line, line end included, with a CR LF end delivered as LF.
    virtual bool next(QByteArray *line) = 0;
    // The next line that may hold an event; lines skipped here could never become one.
    virtual bool nextCandidate(QByteArray *line) { return next(line); }
};

class FileLineSource : public LineSource
{
public:
    explicit FileLineSource(QFile &file) : m_file(file) {}
    bool next(QByteArray *line) override
    {
        if (m_file.atEnd())
            return false;
        *line = m_file.readLine();
        return true;
    }

private:
    QFile &m_file;
};

// Reads the file in large blocks and finds candidate lines by searching the raw bytes for the
// plain texts of the event patterns, so ordinary lines are never decoded or matched. Memory
// stays bounded by the block size and the longest line.
class BlockLineSource : public LineSource
{
public:
    BlockLineSource(QFile &file, const QVector<QByteArray> &literals)
        : m_file(file), m_scanned(literals.size(), 0), m_hit(literals.size(), -1)
    {
        for (const QByteArray &literal : literals)
            m_matchers.append(QByteArrayMatcher(literal));
        for (const QByteArray &literal : literals)
            m_literalLengths.append(literal.size());
    }

    bool next(QByteArray *line) override
    {
        for (;;) {
            const char *data = m_buffer.constData();
            const void *nl = std::memchr(data + m_pos, '\n', size_t(m_buffer.size() - m_pos));
            if (nl) {
                const int end = int(static_cast<const char *>(nl) - data) + 1;
                takeLine(m_pos, end, line);
                return true;
            }
            if (m_eof) {
                if (m_pos >= m_buffer.size())
                    return false;
                takeLine(m_pos, m_buffer.size(), line);
                return true;
            }
            refill(m_pos);
        }
    }

    bool nextCandidate(QByteArray *line) override
    {
        for (;;) {
            int best = -1;
            for (int i = 0; i < m_matchers.size(); ++i) {
                if (m_hit[i] < m_pos) {
                    m_hit[i] = -1;
                    const int from = std::max(m_pos, m_scanned[i]);
                    const int found = m_matchers[i].indexIn(m_buffer, from);
                    if (found >= 0) {
                        m_hit[i] = found;
                    } else {
                        m_scanned[i] = std::max(from, m_buffer.size() - m_literalLengths[i] + 1);
                    }
                }
                if (m_hit[i] >= 0 && (best < 0 || m_hit[i] < best))
                    best = m_hit[i];
            }
            const char *data = m_buffer.constData();
            if (best >= 0) {
                int start = best;
                while (start > m_pos && data[start - 1] != '\n')
                    --start;
                const void *nl = std::memchr(data + best, '\n', size_t(m_buffer.size() - best));
                if (nl) {
                    const int end = int(static_cast<const char *>(nl) - data) + 1;
                    takeLine(start, end, line);
                    return true;
                }
                if (m_eof) {
                    takeLine(start, m_buffer.size(), line);
                    return true;
                }
                refill(start);
                continue;
            }
            if (m_eof) {
                m_pos = m_buffer.size();
                return false;
            }
            // No candidate in what is buffered: keep only the unfinished last line.
            int keep = m_buffer.size();
            while (keep > m_pos && data[keep - 1] != '\n')
                --keep;
            refill(keep);
        }
    }

private:
    static constexpr int BlockSize = 1 << 20;

    void takeLine(int start, int end, QByteArray *line)
    {
        *line = QByteArray(m_buffer.constData() + start, end - start);
        if (line->size() > 1 && line->endsWith("\r\n")) {
            line->chop(2);
            line->append('\n');
        }
        m_pos = end;
    }

    // Drops the bytes before keepFrom and appends the next block of the file.
    void refill(int keepFrom)
    {
        if (keepFrom > 0) {
            m_buffer.remove(0, keepFrom);
            m_pos -= keepFrom;
            for (int i = 0; i < m_hit.size(); ++i) {
                m_scanned[i] = std::max(0, m_scanned[i] - keepFrom);
                m_hit[i] = m_hit[i] >= keepFrom ? m_hit[i] - keepFrom : -1;
            }
        }
        const int oldSize = m_buffer.size();
        m_buffer.resize(oldSize + BlockSize);
        const qint64 got = m_file.read(m_buffer.data() + oldSize, BlockSize);
        m_buffer.resize(oldSize + int(std::max<qint64>(got, 0)));
        if (got <= 0)
            m_eof = true;
    }

    QFile &m_file;
    QVector<QByteArrayMatcher> m_matchers;
    QVector<int> m_literalLengths;
    // Per pattern: where the search for it may resume, and its next occurrence (-1: none known).
    QVector<int> m_scanned;
    QVector<int> m_hit;
    QByteArray m_buffer;
    int m_pos = 0;
    bool m_eof = false;
};

} // namespace

UsageTable FileReaderByRegular::read(const QString &path)
{
    QVector<LogEvent> events;
    if (!readEvents(path, &events))
        return UsageTable();
    return buildUsageTable(events);
}

bool FileReaderByRegular::readEvents(const QString &path, QVector<LogEvent> *events,
                                     Scan scan) const
{
    events->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;

    const int dateIndex = dateCaptureIndex();
    const int timeIndex = timeCaptureIndex();
    const int messageIndex = messageCaptureIndex();
    const QString startText = runStartPattern();
    const QString endText = runEndPattern();
    const QString userText = userSetPattern();
    const QRegExp startPattern(startText);
    const QRegExp endPattern(endText);
    const QRegExp userPattern(userText);
    QRegExp linePatternRe(linePattern());
    const DateTimeCodec stampCodec(kStampFormat);

    QVector<QByteArray> literals(3);
    const bool plainMarkers = literalText(startText, &literals[0]) &&
                              literalText(endText, &literals[1]) &&
                              literalText(userText, &literals[2]);

    FileLineSource plainSource(file);
    BlockLineSource blockSource(file, literals);
    LineSource &source = (scan == Scan::Fast && plainMarkers)
                             ? static_cast<LineSource &>(blockSource)
                             : static_cast<LineSource &>(plainSource);

    QString heldLine;
    bool hasHeldLine = false;
    QByteArray raw;
    for (;;) {
        QString line;
        if (hasHeldLine) {
            line = heldLine;
            hasHeldLine = false;
        } else if (source.nextCandidate(&raw)) {
            line = decodeLine(raw);
        } else {
            break;
        }

        if (linePatternRe.indexIn(line) < 0)
            continue;
        const QString dateText = linePatternRe.cap(dateIndex);
        const QString timeText = linePatternRe.cap(timeIndex);
        QString message = linePatternRe.cap(messageIndex);

        qint32 kind = None;
        if (startPattern.indexIn(message) >= 0)
            kind = RunStart;
        else if (endPattern.indexIn(message) >= 0)
            kind = RunEnd;
        else if (userPattern.indexIn(message) >= 0)
            kind = UserSet;
        else
            continue;

        if (kind == UserSet) {
            while (source.next(&raw)) {
                const QString continuation = decodeLine(raw);
                if (linePatternRe.indexIn(continuation) >= 0) {
                    heldLine = continuation;
                    hasHeldLine = true;
                    break;
                }
                message += continuation;
            }
        }

        LogEvent event;
        event.kind = kind;
        event.dateTime = stampCodec.parse(dateText + QLatin1Char(' ') + timeText);
        event.message = message;
        events->append(event);
    }

    // Events of the same second keep their file order, so results do not vary between runs.
    std::stable_sort(events->begin(), events->end(), [](const LogEvent &a, const LogEvent &b) {
        return SortKey::of(a.dateTime) < SortKey::of(b.dateTime);
    });
    return true;
}
