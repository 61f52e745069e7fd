#include "filereaderbyregular.h"

#include "datetimecodec.h"
#include "growthestimate.h"
#include "heapgrowth.h"
#include "linepatternmatcher.h"
#include "linereader.h"
#include "regularfile.h"
#include "timeorder.h"

#include <QByteArray>
#include <QFile>
#include <QRegExp>
#include <QVarLengthArray>

#include <algorithm>

namespace {

const QString kStampFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");
// A user-set message is one JSON object of a few hundred characters; beyond this its
// continuation lines are passed over, not joined, so a log without stamps cannot fill memory.
constexpr int kMaxMessageLength = 1 << 20;

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

// One of the three event patterns. A plain text is looked up directly, which is what QRegExp
// finds for it, in linear time whatever the message holds.
class EventPattern
{
public:
    explicit EventPattern(const QString &pattern)
        : m_plain(literalText(pattern, &m_bytes)), m_text(pattern), m_regExp(pattern)
    {
    }

    bool foundIn(const QStringRef &message) const
    {
        if (m_plain)
            return message.contains(m_text);
        return m_regExp.indexIn(message.toString()) >= 0;
    }

private:
    QByteArray m_bytes;
    bool m_plain;
    QString m_text;
    QRegExp m_regExp;
};

} // namespace

UsageTable FileReaderByRegular::read(const QString &path)
{
    return readLocation(path).table;
}

LocationRead FileReaderByRegular::readLocation(const QString &path)
{
    LocationRead result;
    QVector<LogEvent> events;
    if (readEvents(path, &events, Scan::Fast, &result.status))
        result.table = buildUsageTable(events);
    return result;
}

bool FileReaderByRegular::readEvents(const QString &path, QVector<LogEvent> *events, Scan scan,
                                     LocationRead::Status *status) const
{
    events->clear();
    QFile file;
    // Line ends are handled by LineReader, which delivers CR LF as LF.
    const RegularFile::Outcome outcome = RegularFile::open(path, &file);
    if (status)
        *status = RegularFile::locationStatus(outcome);
    if (outcome != RegularFile::Outcome::Opened)
        return false;

    const int dateIndex = dateCaptureIndex();
    const int timeIndex = timeCaptureIndex();
    const int messageIndex = messageCaptureIndex();
    const QString startText = runStartPattern();
    const QString endText = runEndPattern();
    const QString userText = userSetPattern();
    const EventPattern startPattern(startText);
    const EventPattern endPattern(endText);
    const EventPattern userPattern(userText);
    LinePatternMatcher linePatternRe(linePattern());
    const DateTimeCodec stampCodec(kStampFormat);

    QVector<QByteArray> literals(3);
    const bool plainMarkers = literalText(startText, &literals[0]) &&
                              literalText(endText, &literals[1]) &&
                              literalText(userText, &literals[2]);

    LineReader source(&file);
    const bool skipLines = scan == Scan::Fast && plainMarkers;
    if (skipLines)
        source.setCandidateTexts(literals);

    QString heldLine;
    bool hasHeldLine = false;
    LineReader::View view;
    QVarLengthArray<QChar, 64> stamp;
    QString lastMessage[UserSet + 1];
    // Every event of a long log keeps its texts; see HeapGrowth.
    HeapGrowth heap(file.size());
    for (;; heap.watch()) {
        QString line;
        if (hasHeldLine) {
            line = heldLine;
            hasHeldLine = false;
        } else if (skipLines ? source.nextCandidate(&view) : source.next(&view)) {
            line = LineReader::decode(view);
        } else {
            break;
        }

        if (!linePatternRe.search(line))
            continue;
        const QStringRef messageText = linePatternRe.capRef(messageIndex);
        qint32 kind = None;
        if (startPattern.foundIn(messageText))
            kind = RunStart;
        else if (endPattern.foundIn(messageText))
            kind = RunEnd;
        else if (userPattern.foundIn(messageText))
            kind = UserSet;
        else
            continue;

        // The stamp is the date, a blank and the time, as captured.
        const QStringRef dateText = linePatternRe.capRef(dateIndex);
        const QStringRef timeText = linePatternRe.capRef(timeIndex);
        stamp.resize(dateText.size() + 1 + timeText.size());
        std::copy(dateText.begin(), dateText.end(), stamp.begin());
        stamp[dateText.size()] = QLatin1Char(' ');
        std::copy(timeText.begin(), timeText.end(), stamp.begin() + dateText.size() + 1);
        LogEvent event;
        event.kind = kind;
        event.dateTime = stampCodec.parse(stamp.constData(), stamp.size());
        // Start-up and shutdown lines repeat one message; the events share its text.
        QString message =
            kind != UserSet && !lastMessage[kind].isNull() && messageText == lastMessage[kind]
                ? lastMessage[kind]
                : messageText.toString();
        if (kind != UserSet)
            lastMessage[kind] = message;

        if (kind == UserSet) {
            while (source.next(&view)) {
                const QString continuation = LineReader::decode(view);
                if (linePatternRe.search(continuation)) {
                    heldLine = continuation;
                    hasHeldLine = true;
                    break;
                }
                if (message.size() < kMaxMessageLength)
                    message += continuation.leftRef(kMaxMessageLength - message.size());
            }
        }

        event.message = message;
        if (events->size() == events->capacity())
            events->reserve(grownCapacity(events->size() + 1, source.consumed(), file.size(),
                                          sizeof(LogEvent)));
        events->append(std::move(event));
    }

    // Events of the same second keep their file order, so results do not vary between runs.
    TimeOrder::sort(*events,
                    [](const LogEvent &event) { return TimeOrder::secondsOf(event.dateTime); });
    return true;
}
