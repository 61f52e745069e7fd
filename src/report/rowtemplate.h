#ifndef ROWTEMPLATE_H
#define ROWTEMPLATE_H

#include "shaperecorder.h"

#include <QPointF>
#include <QVector>

// One row in the middle of a table as the toolkit draws it, its texts aside: its rules and
// borders, and where its cells' texts start. Rows follow one another down a page, each the
// height its lines make it, but the last row on a page reaches down to the page's foot, so
// each edge of a border is kept from the row's top or from its bottom, whichever it is nearer.
// Heights are in 64ths of a unit, as the layout keeps them, so that rows add up exactly.
class RowTemplate
{
public:
    RowTemplate() = default;
    // From shapes (rectangles only, in page coordinates and without transform) drawn for a row
    // of shape (as CellTextLayouts::addShape gives it) whose box runs from top to bottom and
    // whose cells' texts start at textOrigins. Invalid when a shape is not a set of rectangles.
    RowTemplate(const QVector<ShapeRecorder::Shape> &shapes, qreal top, qreal bottom,
                const QVector<QPointF> &textOrigins, const QVector<int> &shape);

    // Only the rules and borders of shapes drawn for a box from top to bottom: the part of a row
    // that a page's foot or top cuts off. Drawn with appendShapes() from the box's top.
    static RowTemplate outline(const QVector<ShapeRecorder::Shape> &shapes, qreal top,
                               qreal bottom);

    bool isValid() const { return m_valid; }
    // A line of a cell: how far the next line starts below it, and how tall it is for breaking
    // pages.
    struct Line
    {
        qint64 advance64;
        qint64 height64;
    };
    // The lines of each cell of a row of shape.
    static QVector<QVector<Line>> cellLines(const QVector<int> &shape);
    // The least height of a cell's first line in a row of shape: one of them must fit above a
    // page's foot for the row to stay on the page. -1 for a shape of no lines.
    static qint64 firstLine64(const QVector<int> &shape);
    const QVector<QVector<Line>> &lines() const { return m_lines; }
    // What a row takes besides its tallest cell's lines.
    qint64 overhead64() const { return m_overhead64; }
    // From the top of one row's first text to the next row's.
    qint64 pitch64() const { return m_pitch64; }
    // From the row's box top to its first text's top.
    qreal textInset() const { return m_textInset; }

    // The shapes of this row with its first text's top at textTop and its box's bottom at bottom.
    void appendShapes(QVector<ShapeRecorder::Shape> *shapes, qreal textTop, qreal bottom) const;
    // Where each cell's text layout is drawn with the first text's top at textTop.
    QVector<QPointF> textOrigins(qreal textTop) const;
    // The bottom of the box of this row's shapes among shapes with its first text's top at
    // textTop, however far the box reaches down; false when they are not there.
    bool findBottom(const QVector<ShapeRecorder::Shape> &shapes, qreal textTop,
                    qreal *bottom) const;

private:
    // Where an edge is: so far below the row's top, or below its bottom.
    struct Edge
    {
        qreal offset;
        bool fromBottom;
        qreal at(qreal top, qreal bottom) const { return (fromBottom ? bottom : top) + offset; }
    };
    struct Box
    {
        qreal left;
        qreal right;
        Edge top;
        Edge bottom;
    };

    static Edge edge(qreal y, qreal top, qreal bottom);
    // Keeps shapes, each edge from top or bottom; false when one is not rectangles.
    bool keep(const QVector<ShapeRecorder::Shape> &shapes, qreal top, qreal bottom);
    // The shape at index with the row's box from top to bottom.
    ShapeRecorder::Shape shapeAt(int index, qreal top, qreal bottom) const;

    QVector<ShapeRecorder::Shape> m_shapes;
    QVector<QVector<Box>> m_boxes;
    QVector<QPointF> m_textOffsets;
    qreal m_textInset = 0;
    qint64 m_pitch64 = 0;
    QVector<QVector<Line>> m_lines;
    qint64 m_overhead64 = 0;
    bool m_valid = false;
};

#endif // ROWTEMPLATE_H
