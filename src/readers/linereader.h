#ifndef LINEREADER_H
#define LINEREADER_H

#include <QByteArray>
#include <QByteArrayMatcher>
#include <QString>
#include <QVector>

class QIODevice;

// Splits a log into lines, reading the device in large blocks. A line is delivered with its
// line end; a carriage return and line feed arrive as a single line feed, and any other
// carriage return is kept as it stands. Memory stays bounded by the block size and the
// longest line.
//
// QIODevice's text mode is not used for this: it drops lone carriage returns in some lines
// and not in others, depending on its internal buffer, and can cut a long line in two.
class LineReader
{
public:
    explicit LineReader(QIODevice *device);

    // Texts whose bytes a line must hold to be returned by nextCandidate().
    void setCandidateTexts(const QVector<QByteArray> &texts);

    // A line's text: UTF-8, ending at the first NUL byte.
    static QString decode(const QByteArray &line);

    // The next line; false at the end of the device.
    bool next(QByteArray *line);
    // The next line holding one of the candidate texts, skipping all others without copying
    // them; false at the end of the device.
    bool nextCandidate(QByteArray *line);

private:
    static constexpr int BlockSize = 1 << 20;

    void takeLine(int start, int end, QByteArray *line);
    void refill(int keepFrom);

    QIODevice *m_device;
    QVector<QByteArrayMatcher> m_matchers;
    QVector<int> m_textLengths;
    // Per candidate text: where the search for it may resume, and its next occurrence
    // in the buffer (-1: none known).
    QVector<int> m_scanned;
    QVector<int> m_hit;
    QByteArray m_buffer;
    int m_pos = 0;
    bool m_eof = false;
};

#endif // LINEREADER_H
