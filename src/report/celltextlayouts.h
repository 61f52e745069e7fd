#ifndef CELLTEXTLAYOUTS_H
#define CELLTEXTLAYOUTS_H

#include <QFont>
#include <QHash>
#include <QString>
#include <QTextOption>
#include <QVector>

#include <memory>

class QPaintDevice;
class QTextLayout;

// Lays out the texts of a table's cells as the document layout lays out a cell's only paragraph
// of one plain run, and keeps them: names, dongles, dates and actions come back row after row,
// and a layout kept is drawn again without being shaped again.
class CellTextLayouts
{
public:
    // How one column's cells lay out their text.
    struct Column
    {
        QFont font;
        qreal lineWidth;
        QTextOption option;
    };

    // How many layouts one column keeps by default before it starts again.
    static constexpr int kKeptPerColumn = 4096;

    // device measures the text; it must outlive this.
    CellTextLayouts(QPaintDevice *device, const QVector<Column> &columns,
                    int keptPerColumn = kKeptPerColumn);
    ~CellTextLayouts();

    int columnCount() const { return m_columns.size(); }
    // The layout of text in column: its lines placed one below the other from the top left.
    // Valid until the next call.
    const QTextLayout &layout(int column, const QString &text);
    // Appends to shape what of text's layout decides a row's layout: its direction and the
    // heights of its lines.
    void addShape(int column, const QString &text, QVector<int> *shape);

private:
    struct Laid;
    const Laid &laid(int column, const QString &text);

    QPaintDevice *m_device;
    QVector<Column> m_columns;
    int m_keptPerColumn;
    QVector<QHash<QString, std::shared_ptr<Laid>>> m_kept;
};

#endif // CELLTEXTLAYOUTS_H
