#ifndef LINEREADER_H
#define LINEREADER_H

#include "textscanner.h"

#include <QByteArray>
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

    // A line in the reader's buffer, valid until the reader is next asked for a line: the bytes
    // next() would deliver without their line end, and whether there was one. So next() gives
    // the bytes followed by a line feed when lineEnd is true.
    struct View
    {
        const char *data = nullptr;
        int size = 0;
        bool lineEnd = false;
    };

    // Texts whose bytes a line must hold to be returned by nextCandidate().
    void setCandidateTexts(const QVector<QByteArray> &texts);

    // A line's text: UTF-8, ending at the first NUL byte.
    static QString decode(const QByteArray &line);
    // The text decode() gives for the line next() delivers (line end included), made in one
    // allocation when the line is ASCII without NUL bytes, as most log lines are.
    static QString decode(const View &line);

    // The next line; false at the end of the device.
    bool next(QByteArray *line);
    // The same line, not copied.
    bool next(View *line);
    // The next line holding one of the candidate texts, skipping all others without copying
    // them; false at the end of the device. Gives exactly the lines of next() that hold one
    // (a cut line only when its delivered part holds one).
    bool nextCandidate(QByteArray *line);
    bool nextCandidate(View *line);

    // How many lines were cut so far.
    qint64 cutLines() const { return m_cutLines; }
    // How many bytes of the device were delivered or passed over so far.
    qint64 consumed() const { return m_dropped + m_pos; }

private:
    static constexpr int BlockSize = 1 << 20;

    static void copy(const View &view, QByteArray *line);
    void takeLine(int start, int end, View *line);
    void cutLine(int start, View *line);
    void skipRestOfCutLine();
    bool holdsCandidate(int start, int end) const;
    // Where the line holding position `at` starts.
    int lineStart(int at) const;
    void refill(int keepFrom);

    QIODevice *m_device;
    int m_maxLineLength;
    TextScanner m_candidates;
    // Where the search for candidate texts may resume, and the next occurrence of one in the
    // buffer (-1: none known).
    int m_scanned = 0;
    int m_hit = -1;
    QByteArray m_buffer;
    int m_pos = 0;
    // Bytes dropped from the front of the buffer so far.
    qint64 m_dropped = 0;
    // The bytes from m_pos up to here hold no line feed: a long line is searched once.
    int m_noLineEndBefore = 0;
    bool m_skipping = false;
    bool m_eof = false;
    qint64 m_cutLines = 0;
};

#endif // LINEREADER_H
