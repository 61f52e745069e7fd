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

void LineReader::setCandidateTexts(const QVector<QByteArray> &texts)
{
    m_matchers.clear();
    m_textLengths.clear();
    for (const QByteArray &text : texts) {
        m_matchers.append(QByteArrayMatcher(text));
        m_textLengths.append(text.size());
    }
    m_scanned = QVector<int>(texts.size(), 0);
    m_hit = QVector<int>(texts.size(), -1);
}

bool LineReader::next(QByteArray *line)
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

bool LineReader::nextCandidate(QByteArray *line)
{
    for (;;) {
        skipRestOfCutLine();
        int best = -1;
        for (int i = 0; i < m_matchers.size(); ++i) {
            if (m_hit[i] < m_pos) {
                m_hit[i] = -1;
                const int from = std::max(m_pos, m_scanned[i]);
                const int found = m_matchers[i].indexIn(m_buffer, from);
                if (found >= 0)
                    m_hit[i] = found;
                else
                    m_scanned[i] = std::max(from, m_buffer.size() - m_textLengths[i] + 1);
            }
            if (m_hit[i] >= 0 && (best < 0 || m_hit[i] < best))
                best = m_hit[i];
        }
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
    for (int i = 0; i < m_matchers.size(); ++i) {
        const int found = m_matchers[i].indexIn(m_buffer.constData(), end, start);
        if (found >= 0)
            return true;
    }
    return false;
}

void LineReader::takeLine(int start, int end, QByteArray *line)
{
    int length = end - start;
    const char *data = m_buffer.constData() + start;
    if (length >= 2 && data[length - 1] == '\n' && data[length - 2] == '\r') {
        *line = QByteArray(data, length - 1);
        (*line)[length - 2] = '\n';
    } else {
        *line = QByteArray(data, length);
    }
    m_pos = end;
}

void LineReader::cutLine(int start, QByteArray *line)
{
    *line = QByteArray(m_buffer.constData() + start, m_maxLineLength);
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
        m_buffer.remove(0, keepFrom);
        m_pos -= keepFrom;
        for (int i = 0; i < m_hit.size(); ++i) {
            m_scanned[i] = std::max(0, m_scanned[i] - keepFrom);
            m_hit[i] = m_hit[i] >= keepFrom ? m_hit[i] - keepFrom : -1;
        }
    }
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
