#ifndef REPORTROWAPPENDER_H
#define REPORTROWAPPENDER_H

#include <QHash>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QVector>

#include <functional>

class QTextTable;

// Appends data rows to a table imported from the report's markup, cell by cell with the formats
// that importing the rows' own markup gives them. Importing tens of thousands of rows at once
// costs seconds and half a gigabyte for the parse tree alone; the rows differ in their texts only,
// so the formats are taken once from a small import of one row.
class ReportRowAppender
{
public:
    // The markup of a whole table holding one data row with the given cell texts, exactly as the
    // report writes such a table.
    using RowTableMarkup = std::function<QString(const QStringList &texts)>;

    ReportRowAppender(int columnCount, RowTableMarkup rowTableMarkup);

    // False when the import of a sample row does not have the plain shape (one paragraph of one
    // text run per cell) that appending relies on.
    bool isValid() const { return m_valid; }

    // Appends one row per entry of rows (each holding columnCount texts) to table. False when a
    // text is imported in a way that appending cannot reproduce; the table must then be thrown
    // away.
    bool append(QTextTable *table, const QVector<QStringList> &rows);
    // Whether the import keeps text exactly as it is, in the formats of any other such text:
    // printable characters with single inner spaces.
    static bool isPlain(const QString &text);
    // Whether append() can take a row of these texts.
    bool appendable(const QStringList &texts);

private:
    // What the import makes of one cell: its formats and the text of its only run.
    struct Cell
    {
        QTextCharFormat cell;
        QTextBlockFormat block;
        QTextCharFormat run;
        QString text;
    };

    // The import of text in column, or null when it is more than one paragraph of one run.
    const Cell *importedCell(int column, const QString &text);
    // The cells of the last row of the first table that markup imports to, or false when a cell
    // is more than one paragraph of at most one run.
    bool importRow(const QString &markup, QVector<Cell> *cells);

    int m_columnCount;
    RowTableMarkup m_rowTableMarkup;
    // The import of a plain text in each column, the text aside.
    QVector<Cell> m_plain;
    // Imports of texts that are not plain, by column and text; an empty field is common.
    QHash<QPair<int, QString>, Cell> m_imported;
    QTextDocument m_scratch;
    bool m_valid = false;
};

#endif // REPORTROWAPPENDER_H
