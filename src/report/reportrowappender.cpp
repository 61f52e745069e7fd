#include "reportrowappender.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>

#include <utility>

namespace {

QTextCharFormat withoutObjectIndex(QTextCharFormat format)
{
    format.clearProperty(QTextFormat::ObjectIndex);
    return format;
}

} // namespace

// A cell text the import keeps exactly as it is, in the same formats: printable characters with
// single inner spaces. Anything else (an empty text, runs of white space, line breaks, control
// characters) may be reshaped or formatted otherwise by the import, and is taken from an import
// of its own.
bool ReportRowAppender::isPlain(const QString &text)
{
    const int size = text.size();
    if (size == 0)
        return false;
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

ReportRowAppender::ReportRowAppender(int columnCount, RowTableMarkup rowTableMarkup)
    : m_columnCount(columnCount), m_rowTableMarkup(std::move(rowTableMarkup))
{
    m_scratch.setUndoRedoEnabled(false);
    const QString sampleText = QStringLiteral("x");
    QStringList sample;
    for (int column = 0; column < columnCount; ++column)
        sample << sampleText;
    m_valid = importRow(m_rowTableMarkup(sample), &m_plain);
    for (const Cell &cell : qAsConst(m_plain))
        m_valid = m_valid && cell.text == sampleText;
}

bool ReportRowAppender::importRow(const QString &markup, QVector<Cell> *cells)
{
    m_scratch.clear();
    QTextCursor(&m_scratch).insertHtml(markup);
    const QList<QTextFrame *> frames = m_scratch.rootFrame()->childFrames();
    QTextTable *table = frames.isEmpty() ? nullptr : qobject_cast<QTextTable *>(frames.first());
    if (!table || table->columns() != m_columnCount || table->rows() < 1)
        return false;
    const int row = table->rows() - 1;
    cells->clear();
    for (int column = 0; column < m_columnCount; ++column) {
        const QTextTableCell tableCell = table->cellAt(row, column);
        const QTextBlock block = tableCell.firstCursorPosition().block();
        if (tableCell.rowSpan() != 1 || tableCell.columnSpan() != 1 ||
            block.position() + block.length() - 1 != tableCell.lastPosition())
            return false;
        Cell cell{withoutObjectIndex(tableCell.format()), block.blockFormat(), QTextCharFormat(),
                  QString()};
        int runs = 0;
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it, ++runs) {
            cell.text = it.fragment().text();
            cell.run = it.fragment().charFormat();
        }
        if (runs > 1)
            return false;
        *cells << cell;
    }
    return true;
}

const ReportRowAppender::Cell *ReportRowAppender::importedCell(int column, const QString &text)
{
    const QPair<int, QString> key(column, text);
    auto known = m_imported.constFind(key);
    if (known != m_imported.constEnd())
        return &known.value();
    QStringList sample;
    for (int other = 0; other < m_columnCount; ++other)
        sample << (other == column ? text : m_plain.at(other).text);
    QVector<Cell> cells;
    if (!importRow(m_rowTableMarkup(sample), &cells))
        return nullptr;
    return &m_imported.insert(key, cells.at(column)).value();
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
            const QString text = texts.value(column);
            const Cell *imported = isPlain(text) ? &m_plain.at(column) : importedCell(column, text);
            if (!imported) {
                appended = false;
                break;
            }
            QTextTableCell cell = table->cellAt(firstRow + row, column);
            cell.setFormat(imported->cell);
            QTextCursor at = cell.firstCursorPosition();
            at.setBlockFormat(imported->block);
            const QString &shown = imported == &m_plain.at(column) ? text : imported->text;
            if (!shown.isEmpty())
                at.insertText(shown, imported->run);
        }
    }
    cursor.endEditBlock();
    return appended;
}

bool ReportRowAppender::appendable(const QStringList &texts)
{
    if (!m_valid)
        return false;
    for (int column = 0; column < m_columnCount; ++column) {
        const QString text = texts.value(column);
        if (!isPlain(text) && !importedCell(column, text))
            return false;
    }
    return true;
}
