#include "reportrowappender.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>

#include <utility>

namespace {

// A cell text the import keeps exactly as it is: printable characters with single inner spaces.
// Anything else (runs of white space, line breaks, control characters) is reshaped by the import
// and is therefore taken from an import of its own.
bool isPlain(const QString &text)
{
    const int size = text.size();
    for (int i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char(' ')) {
            if (i == 0 || i == size - 1 || text.at(i - 1) == QLatin1Char(' '))
                return false;
        } else if (!c.isPrint() || c.isSpace()) {
            return false;
        }
    }
    return true;
}

QTextCharFormat withoutObjectIndex(QTextCharFormat format)
{
    format.clearProperty(QTextFormat::ObjectIndex);
    return format;
}

} // namespace

ReportRowAppender::ReportRowAppender(int columnCount, RowTableMarkup rowTableMarkup)
    : m_columnCount(columnCount), m_rowTableMarkup(std::move(rowTableMarkup))
{
    m_scratch.setUndoRedoEnabled(false);
    QStringList sample;
    for (int column = 0; column < columnCount; ++column)
        sample << QStringLiteral("x");
    QStringList texts;
    m_valid = importRow(m_rowTableMarkup(sample), &texts, &m_formats) && texts == sample;
}

bool ReportRowAppender::importRow(const QString &markup, QStringList *texts,
                                  QVector<CellFormats> *formats)
{
    m_scratch.clear();
    QTextCursor(&m_scratch).insertHtml(markup);
    const QList<QTextFrame *> frames = m_scratch.rootFrame()->childFrames();
    QTextTable *table = frames.isEmpty() ? nullptr : qobject_cast<QTextTable *>(frames.first());
    if (!table || table->columns() != m_columnCount || table->rows() < 1)
        return false;
    const int row = table->rows() - 1;
    texts->clear();
    formats->clear();
    for (int column = 0; column < m_columnCount; ++column) {
        const QTextTableCell cell = table->cellAt(row, column);
        const QTextBlock block = cell.firstCursorPosition().block();
        if (cell.rowSpan() != 1 || cell.columnSpan() != 1 ||
            block.position() + block.length() - 1 != cell.lastPosition())
            return false;
        CellFormats cellFormats{withoutObjectIndex(cell.format()), block.blockFormat(),
                                QTextCharFormat()};
        QString text;
        int runs = 0;
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it, ++runs) {
            text = it.fragment().text();
            cellFormats.text = it.fragment().charFormat();
        }
        if (runs > 1)
            return false;
        *texts << text;
        *formats << cellFormats;
    }
    return true;
}

bool ReportRowAppender::importedText(int column, const QString &text, QString *imported)
{
    QStringList sample;
    for (int other = 0; other < m_columnCount; ++other)
        sample << (other == column ? text : QStringLiteral("x"));
    QStringList texts;
    QVector<CellFormats> formats;
    if (!importRow(m_rowTableMarkup(sample), &texts, &formats))
        return false;
    const CellFormats &own = formats.at(column);
    const CellFormats &usual = m_formats.at(column);
    // An empty run carries no format; any other must be the usual one.
    if (own.cell != usual.cell || own.block != usual.block ||
        (!texts.at(column).isEmpty() && own.text != usual.text))
        return false;
    *imported = texts.at(column);
    return true;
}

bool ReportRowAppender::append(QTextTable *table, const QVector<QStringList> &rows)
{
    if (!m_valid || !table || table->columns() != m_columnCount)
        return false;
    if (rows.isEmpty())
        return true;
    const int firstRow = table->rows();
    table->appendRows(rows.size());

    QTextCursor cursor(table->document());
    cursor.beginEditBlock();
    bool appended = true;
    for (int row = 0; row < rows.size() && appended; ++row) {
        const QStringList &texts = rows.at(row);
        for (int column = 0; column < m_columnCount; ++column) {
            QString text = texts.value(column);
            if (!isPlain(text) && !importedText(column, text, &text)) {
                appended = false;
                break;
            }
            const CellFormats &formats = m_formats.at(column);
            QTextTableCell cell = table->cellAt(firstRow + row, column);
            cell.setFormat(formats.cell);
            QTextCursor at = cell.firstCursorPosition();
            at.setBlockFormat(formats.block);
            if (!text.isEmpty())
                at.insertText(text, formats.text);
        }
    }
    cursor.endEditBlock();
    return appended;
}
