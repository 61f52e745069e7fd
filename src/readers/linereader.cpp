#include "linereader.h"

#include "readcancel.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

LineReader::LineReader(QIODevice *device, int maxLineLength)
    : m_device(device), m_maxLineLength(std::max(1, maxLineLength))
{
}

QString LineReader::decode(const QByteArray &line)
{
    return QString::fromUtf8(line.constData(), int(qstrnlen(line.constData(), uint(line.size()))));
}

QString LineReader::decode(const View &line)
{
    const uchar *bytes = reinterpret_cast<const uchar *>(line.data);
    QString text(line.size + (line.lineEnd ? 1 : 0), Qt::Uninitialized);
    QChar *out = text.data();
    bool other = false;
    for (int i = 0; i < line.size; ++i) {
        // NUL wraps round to 0xFF; 0x80 and above stay at 0x7F and above.
        other |= uchar(bytes[i] - 1) >= 0x7F;
        out[i] = QLatin1Char(char(bytes[i]));
    }
    if (other) {
        QByteArray copied;
        copy(line, &copied);
        return decode(copied);
    }
    if (line.lineEnd)
        out[line.size] = QLatin1Char('\n');
    return text;
}

void LineReader::setCandidateTexts(const QVector<QByteArray> &texts)
{
    m_candidates = TextScanner(texts);
    m_scanned = 0;
    m_hit = -1;
}

void LineReader::copy(const View &view, QByteArray *line)
{
    *line = QByteArray(view.data, view.size + (view.lineEnd ? 1 : 0));
    if (view.lineEnd)
        (*line)[view.size] = '\n';
}

bool LineReader::next(QByteArray *line)
{
    View view;
    if (!next(&view))
        return false;
    copy(view, line);
    return true;
}

bool LineReader::nextCandidate(QByteArray *line)
{
    View view;
    if (!nextCandidate(&view))
        return false;
    copy(view, line);
    return true;
}

bool LineReader::next(View *line)
{
    skipRestOfCutLine();
    for (;;) {
        const char *data = m_buffer.constData();
        const int from = std::max(m_pos, m_noLineEndBefore);
        const void *nl = std::memchr(data + from, '\n', size_t(m_buffer.size() - from));
        if (nl) {
            const int end = int(static_cast<const char *>(nl) - data) + 1;
            if (end - m_pos > m_maxLineLength)
                cutLine(m_pos, line);
            else
                takeLine(m_pos, end, line);
            return true;
        }
        if (m_buffer.size() - m_pos >= m_maxLineLength) {
            cutLine(m_pos, line);
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

bool LineReader::nextCandidate(View *line)
{
    for (;;) {
        skipRestOfCutLine();
        if (m_hit < m_pos) {
            m_hit = -1;
            const int from = std::max(m_pos, m_scanned);
            const int found = m_candidates.find(m_buffer.constData(), from, m_buffer.size());
            if (found >= 0)
                m_hit = found;
            else
                m_scanned = std::max(from, m_buffer.size() - m_candidates.longest() + 1);
        }
        const int best = m_hit;
        const char *data = m_buffer.constData();
        if (best >= 0) {
            const int start = lineStart(best);
            const void *nl = std::memchr(data + best, '\n', size_t(m_buffer.size() - best));
            const int end = nl ? int(static_cast<const char *>(nl) - data) + 1 : -1;
            if ((nl && end - start > m_maxLineLength) ||
                (!nl && m_buffer.size() - start >= m_maxLineLength)) {
                if (holdsCandidate(start, start + m_maxLineLength)) {
                    cutLine(start, line);
                    return true;
                }
                // What next() would deliver of this line holds no candidate text.
                m_pos = start + m_maxLineLength;
                m_skipping = true;
                continue;
            }
            if (nl) {
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
        // Nothing in what is buffered: keep only the unfinished last line, unless it is
        // already too long to be delivered with a candidate text in it.
        const int keep = lineStart(m_buffer.size());
        if (m_buffer.size() - keep >= m_maxLineLength) {
            m_pos = m_buffer.size();
            m_skipping = true;
            continue;
        }
        refill(keep);
    }
}

int LineReader::lineStart(int at) const
{
    const char *data = m_buffer.constData();
    const int low = std::max(m_pos, m_noLineEndBefore);
    for (int i = at; i > low; --i) {
        if (data[i - 1] == '\n')
            return i;
    }
    return m_pos;
}

bool LineReader::holdsCandidate(int start, int end) const
{
    return m_candidates.find(m_buffer.constData(), start, end) >= 0;
}

void LineReader::takeLine(int start, int end, View *line)
{
    int length = end - start;
    const char *data = m_buffer.constData() + start;
    line->data = data;
    line->lineEnd = length >= 1 && data[length - 1] == '\n';
    if (line->lineEnd) {
        --length;
        // A carriage return before the line feed belongs to the line end.
        if (length >= 1 && data[length - 1] == '\r')
            --length;
    }
    line->size = length;
    m_pos = end;
}

void LineReader::cutLine(int start, View *line)
{
    line->data = m_buffer.constData() + start;
    line->size = m_maxLineLength;
    line->lineEnd = false;
    m_pos = start + m_maxLineLength;
    m_skipping = true;
    ++m_cutLines;
}

// Passes over the rest of a cut line, holding no more than one block of it at a time.
void LineReader::skipRestOfCutLine()
{
    while (m_skipping) {
        const char *data = m_buffer.constData();
        const void *nl = std::memchr(data + m_pos, '\n', size_t(m_buffer.size() - m_pos));
        if (nl) {
            m_pos = int(static_cast<const char *>(nl) - data) + 1;
            m_skipping = false;
        } else if (m_eof) {
            m_pos = m_buffer.size();
            m_skipping = false;
        } else {
            refill(m_buffer.size());
        }
    }
}

// Drops the bytes before keepFrom and appends the next block of the device.
void LineReader::refill(int keepFrom)
{
    // Lines skipped before keepFrom are consumed.
    m_pos = std::max(m_pos, keepFrom);
    if (keepFrom > 0) {
        m_dropped += keepFrom;
        m_buffer.remove(0, keepFrom);
        m_pos -= keepFrom;
        m_scanned = std::max(0, m_scanned - keepFrom);
        m_hit = m_hit >= keepFrom ? m_hit - keepFrom : -1;
    }
    // Room for a block and what is kept of the last; reserved, the buffer is neither freed
    // when emptied nor moved when refilled, so that blocks are read into the same pages.
    if (m_buffer.capacity() < 2 * BlockSize)
        m_buffer.reserve(2 * BlockSize);
    const int oldSize = m_buffer.size();
    // Every caller has searched what it keeps for a line end and found none.
    m_noLineEndBefore = oldSize;
    // Checked once a block: a cancelled export stops within a megabyte of reading.
    if (ReadCancel::requested()) {
        m_eof = true;
        return;
    }
    m_buffer.resize(oldSize + BlockSize);
    const qint64 got = m_device->read(m_buffer.data() + oldSize, BlockSize);
    m_buffer.resize(oldSize + int(std::max<qint64>(got, 0)));
    if (got <= 0)
        m_eof = true;
}
