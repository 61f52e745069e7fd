#include "rowtemplate.h"

#include <QtMath>

#include <algorithm>

RowTemplate::RowTemplate(const QVector<ShapeRecorder::Shape> &shapes, qreal top, qreal bottom,
                         const QVector<QPointF> &textOrigins, const QVector<int> &shape)
{
    if (textOrigins.isEmpty())
        return;
    const qreal textTop = textOrigins.first().y();
    m_textInset = textTop - top;
    for (const QPointF &origin : textOrigins)
        m_textOffsets << origin - QPointF(0, textTop);
    if (!keep(shapes, top, bottom))
        return;
    m_pitch64 = qRound64((bottom - top) * 64);
    m_valid = firstLine64(shape) >= 0;
    m_lines = cellLines(shape);
    qint64 tallest = 0;
    for (const QVector<Line> &cell : qAsConst(m_lines)) {
        qint64 depth = 0;
        for (const Line &line : cell)
            depth += line.advance64;
        tallest = std::max(tallest, depth);
    }
    m_overhead64 = m_pitch64 - tallest;
}

RowTemplate RowTemplate::outline(const QVector<ShapeRecorder::Shape> &shapes, qreal top,
                                 qreal bottom)
{
    RowTemplate made;
    made.m_valid = made.keep(shapes, top, bottom);
    made.m_pitch64 = qRound64((bottom - top) * 64);
    return made;
}

bool RowTemplate::keep(const QVector<ShapeRecorder::Shape> &shapes, qreal top, qreal bottom)
{
    for (const ShapeRecorder::Shape &kept : shapes) {
        if (kept.kind != ShapeRecorder::Shape::Rects || !kept.transform.isIdentity())
            return false;
        QVector<Box> boxes;
        for (const QRectF &rect : kept.rects)
            boxes << Box{rect.left(), rect.right(), edge(rect.top(), top, bottom),
                         edge(rect.bottom(), top, bottom)};
        m_shapes << kept;
        m_boxes << boxes;
    }
    return true;
}

QVector<QVector<RowTemplate::Line>> RowTemplate::cellLines(const QVector<int> &shape)
{
    // The shape holds, for each cell, its direction, its line count and then each line's
    // advance and height.
    QVector<QVector<Line>> cells;
    for (int at = 0; at + 1 < shape.size();) {
        const int count = shape.at(at + 1);
        at += 2;
        QVector<Line> lines;
        for (int line = 0; line < count && at + 1 < shape.size(); ++line, at += 2)
            lines << Line{shape.at(at), shape.at(at + 1)};
        cells << lines;
    }
    return cells;
}

qint64 RowTemplate::firstLine64(const QVector<int> &shape)
{
    qint64 least = -1;
    for (const QVector<Line> &cell : cellLines(shape)) {
        if (!cell.isEmpty() && (least < 0 || cell.first().height64 < least))
            least = cell.first().height64;
    }
    return least;
}

RowTemplate::Edge RowTemplate::edge(qreal y, qreal top, qreal bottom)
{
    return y - top <= bottom - y ? Edge{y - top, false} : Edge{y - bottom, true};
}

ShapeRecorder::Shape RowTemplate::shapeAt(int index, qreal top, qreal bottom) const
{
    ShapeRecorder::Shape placed = m_shapes.at(index);
    const QVector<Box> &boxes = m_boxes.at(index);
    for (int i = 0; i < boxes.size(); ++i) {
        const Box &box = boxes.at(i);
        placed.rects[i] = QRectF(QPointF(box.left, box.top.at(top, bottom)),
                                 QPointF(box.right, box.bottom.at(top, bottom)));
    }
    return placed;
}

void RowTemplate::appendShapes(QVector<ShapeRecorder::Shape> *shapes, qreal textTop,
                               qreal bottom) const
{
    const qreal top = textTop - m_textInset;
    for (int index = 0; index < m_shapes.size(); ++index)
        *shapes << shapeAt(index, top, bottom);
}

QVector<QPointF> RowTemplate::textOrigins(qreal textTop) const
{
    QVector<QPointF> origins;
    origins.reserve(m_textOffsets.size());
    for (const QPointF &offset : m_textOffsets)
        origins << offset + QPointF(0, textTop);
    return origins;
}

bool RowTemplate::findBottom(const QVector<ShapeRecorder::Shape> &shapes, qreal textTop,
                             qreal *bottom) const
{
    const qreal top = textTop - m_textInset;
    for (int index = 0; index < m_shapes.size(); ++index) {
        const QVector<Box> &boxes = m_boxes.at(index);
        if (boxes.size() != 1 || !boxes.first().bottom.fromBottom || boxes.first().top.fromBottom)
            continue;
        // Anything like it but for its bottom tells where the bottom is.
        const ShapeRecorder::Shape wanted = shapeAt(index, top, top + m_pitch64 / 64.0);
        for (const ShapeRecorder::Shape &kept : shapes) {
            if (kept.kind != wanted.kind || kept.rects.size() != 1 || kept.pen != wanted.pen ||
                kept.brush != wanted.brush || kept.transform != wanted.transform)
                continue;
            const QRectF &rect = kept.rects.first();
            const QRectF &like = wanted.rects.first();
            if (rect.left() == like.left() && rect.right() == like.right() &&
                rect.top() == like.top() && rect.bottom() > like.top()) {
                *bottom = rect.bottom() - boxes.first().bottom.offset;
                return true;
            }
        }
    }
    return false;
}
