#ifndef STEADYPAGE_H
#define STEADYPAGE_H

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
    static std::unique_ptr<SteadyPage> make(QTextDocument &document,
                                            const PagedDocumentPrinter &pages, qreal rowTop,
                                            const QStringList &texts, CellTextLayouts &layouts,
                                            bool *tooShort);

    int rowsPerPage() const { return m_origins.size(); }
    QFont pageNumberFont() const { return m_pageNumberFont; }
    // Draws a page of rows (rowsPerPage() of them), in the page's own coordinates.
    void paint(QPainter &painter, const QVector<QStringList> &rows, CellTextLayouts &layouts) const;

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

    QVector<ShapeRecorder::Shape> m_shapes;
    // Where each row's cells have their text layouts drawn, by row and column.
    QVector<QVector<QPointF>> m_origins;
    QFont m_pageNumberFont;
};

#endif // STEADYPAGE_H
