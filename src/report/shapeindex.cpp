#include "shapeindex.h"

#include <algorithm>

ShapeIndex::ShapeIndex(const QVector<ShapeRecorder::Shape> &shapes)
    : m_shapes(shapes), m_taken(shapes.size(), false)
{
    for (int index = 0; index < shapes.size(); ++index)
        m_byCorner.insert(corner(shapes.at(index)), index);
}

QPair<qint64, qint64> ShapeIndex::corner(const ShapeRecorder::Shape &shape)
{
    const QRectF bounds = shape.bounds();
    return qMakePair(qRound64(bounds.left() * 64), qRound64(bounds.top() * 64));
}

int ShapeIndex::take(const ShapeRecorder::Shape &wanted)
{
    const auto candidates = m_byCorner.equal_range(corner(wanted));
    const auto found = std::find_if(candidates.first, candidates.second, [&](int index) {
        return !m_taken.at(index) && m_shapes.at(index) == wanted;
    });
    if (found == candidates.second)
        return -1;
    m_taken[*found] = true;
    return *found;
}
