#ifndef STEADYPAGE_H
#define STEADYPAGE_H

#include "rowtemplate.h"
#include "shaperecorder.h"

#include <QFont>
#include <QPointF>
#include <QStringList>
#include <QVector>

#include <memory>

class CellTextLayouts;
class PagedDocumentPrinter;
class QPainter;
class QTextDocument;
class QTextTable;

// A page in the middle of a table whose rows all lay out alike: the same number of lines in
// each cell, of the same heights. Such a page holds the same number of rows as any other, its
// rules and borders are the same, and each cell's text starts at the same place; only the
// texts differ. So the toolkit lays out and draws one such page of copies of a row once, its
// shapes are kept, and every other page of rows like it is drawn from them and the rows' own
// text layouts, without a document. It is kept only when drawing the copied row that way gives
// the toolkit's own texts, at the toolkit's own places.
class SteadyPage
{
public:
    // From document: a table that continues onto the top of its second page (its first page is
    // never printed) holding copies of a row of texts, laid out by pages. A row that starts a
    // page has the top of its first cell's text rowTop below the page's top. Null when there is
    // no steady page in it or its drawing cannot be matched; tooShort then tells whether more
    // copies would find one.
    // shape is the row's, as CellTextLayouts::addShape gives it.
    static std::unique_ptr<SteadyPage> make(QTextDocument &document,
                                            const PagedDocumentPrinter &pages, qreal rowTop,
                                            const QStringList &texts, const QVector<int> &shape,
                                            CellTextLayouts &layouts, bool *tooShort);

    int rowsPerPage() const { return m_origins.size(); }
    QFont pageNumberFont() const { return m_pageNumberFont; }
    // Draws a page of rows (rowsPerPage() of them), in the page's own coordinates.
    void paint(QPainter &painter, const QVector<QStringList> &rows, CellTextLayouts &layouts) const;

    // A row of this page alone, to be set among rows of other shapes; invalid when this page's
    // shapes do not part into rows.
    const RowTemplate &rowTemplate() const { return m_row; }
    // What the page holds besides its rows, in page coordinates.
    const QVector<ShapeRecorder::Shape> &pageShapes() const { return m_pageShapes; }
    // Where the box of the last row on the page ends.
    qreal lastRowBottom() const { return m_lastRowBottom; }

private:
    SteadyPage() = default;
    // The first row of page 3 and the rows on it, when pages 2 to 4 hold alike many rows each
    // and start with a row at rowTop.
    static bool steadyRows(QTextDocument &document, QTextTable *table, qreal pageHeight,
                           qreal rowTop, int *first, int *rows, bool *tooShort);
    // Finds where the texts of page 3's rows are drawn; false when the document's lines are not
    // those of the layouts.
    bool placeTexts(QTextDocument &document, QTextTable *table, int first, int rows,
                    qreal pageHeight, const QStringList &texts, CellTextLayouts &layouts);
    // Whether the texts the toolkit drew are those paint() draws for copies of texts.
    bool drawsAsTheToolkit(const QVector<ShapeRecorder::Text> &drawn, const QStringList &texts,
                           const QPaintDevice &device, CellTextLayouts &layouts) const;

    // Parts the shapes into the rows' and the page's own; false when they do not part so.
    bool splitRows(qreal pageHeight, const QVector<int> &shape);
    // Takes each row's shapes from shapes, the first texts of the rows at tops and their boxes
    // inset above them; what is left on the page is the page's own.
    bool takeRows(const QVector<ShapeRecorder::Shape> &shapes, const QVector<qreal> &tops,
                  qreal inset, qreal pageHeight);

    QVector<ShapeRecorder::Shape> m_shapes;
    RowTemplate m_row;
    QVector<ShapeRecorder::Shape> m_pageShapes;
    qreal m_lastRowBottom = 0;
    // Where each row's cells have their text layouts drawn, by row and column.
    QVector<QVector<QPointF>> m_origins;
    QFont m_pageNumberFont;
};

#endif // STEADYPAGE_H
