#include "linereader.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

LineReader::LineReader(QIODevice *device) : m_device(device) {}

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
    for (;;) {
        const char *data = m_buffer.constData();
        const void *nl = std::memchr(data + m_pos, '\n', size_t(m_buffer.size() - m_pos));
        if (nl) {
            takeLine(m_pos, int(static_cast<const char *>(nl) - data) + 1, line);
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
            int start = best;
            while (start > m_pos && data[start - 1] != '\n')
                --start;
            const void *nl = std::memchr(data + best, '\n', size_t(m_buffer.size() - best));
            if (nl) {
                takeLine(start, int(static_cast<const char *>(nl) - data) + 1, line);
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
        // Nothing in what is buffered: keep only the unfinished last line.
        int keep = m_buffer.size();
        while (keep > m_pos && data[keep - 1] != '\n')
            --keep;
        refill(keep);
    }
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
    m_buffer.resize(oldSize + BlockSize);
    const qint64 got = m_device->read(m_buffer.data() + oldSize, BlockSize);
    m_buffer.resize(oldSize + int(std::max<qint64>(got, 0)));
    if (got <= 0)
        m_eof = true;
}
