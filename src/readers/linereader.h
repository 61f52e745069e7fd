#ifndef LINEREADER_H
#define LINEREADER_H

#include <QByteArray>
#include <QByteArrayMatcher>
#include <QString>
#include <QVector>

class QIODevice;

// Splits a log into lines, reading the device in large blocks. A line is delivered with its
// line end; a carriage return and line feed arrive as a single line feed, and any other
// carriage return is kept as it stands.
//
// A line of maxLineLength bytes or more is cut: its first maxLineLength bytes are delivered,
// without line end, and the rest of it, up to and including its line end, is skipped without
// being stored. So memory stays bounded by the block size and the maximum, whatever the file
// holds, and every byte is looked at a bounded number of times.
//
// QIODevice's text mode is not used for this: it drops lone carriage returns in some lines
// and not in others, depending on its internal buffer, and can cut a long line in two.
class LineReader
{
public:
    // No log line of any product comes near this; a file with longer ones is damaged.
    static constexpr int DefaultMaxLineLength = 16 << 20;

    explicit LineReader(QIODevice *device, int maxLineLength = DefaultMaxLineLength);

    // Texts whose bytes a line must hold to be returned by nextCandidate().
    void setCandidateTexts(const QVector<QByteArray> &texts);

    // A line's text: UTF-8, ending at the first NUL byte.
    static QString decode(const QByteArray &line);

    // The next line; false at the end of the device.
    bool next(QByteArray *line);
    // The next line holding one of the candidate texts, skipping all others without copying
    // them; false at the end of the device. Gives exactly the lines of next() that hold one
    // (a cut line only when its delivered part holds one).
    bool nextCandidate(QByteArray *line);

    // How many lines were cut so far.
    qint64 cutLines() const { return m_cutLines; }

private:
    static constexpr int BlockSize = 1 << 20;

    void takeLine(int start, int end, QByteArray *line);
    void cutLine(int start, QByteArray *line);
    void skipRestOfCutLine();
    bool holdsCandidate(int start, int end) const;
    // Where the line holding position `at` starts.
    int lineStart(int at) const;
    void refill(int keepFrom);

    QIODevice *m_device;
    int m_maxLineLength;
    QVector<QByteArrayMatcher> m_matchers;
    QVector<int> m_textLengths;
    // Per candidate text: where the search for it may resume, and its next occurrence
    // in the buffer (-1: none known).
    QVector<int> m_scanned;
    QVector<int> m_hit;
    QByteArray m_buffer;
    int m_pos = 0;
    // The bytes from m_pos up to here hold no line feed: a long line is searched once.
    int m_noLineEndBefore = 0;
    bool m_skipping = false;
    bool m_eof = false;
    qint64 m_cutLines = 0;
};

#endif // LINEREADER_H
