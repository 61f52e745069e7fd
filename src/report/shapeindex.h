#ifndef SHAPEINDEX_H
#define SHAPEINDEX_H

#include "shaperecorder.h"

#include <QMultiHash>
#include <QPair>
#include <QVector>

// Finds shapes among many by where they start, each at most once: a page holds thousands, and
// comparing every one with every other would cost seconds.
class ShapeIndex
{
public:
    explicit ShapeIndex(const QVector<ShapeRecorder::Shape> &shapes);

    // The index of a shape equal to wanted that was not taken before, now taken; -1 when none.
    int take(const ShapeRecorder::Shape &wanted);
    bool isTaken(int index) const { return m_taken.at(index); }

private:
    static QPair<qint64, qint64> corner(const ShapeRecorder::Shape &shape);

    const QVector<ShapeRecorder::Shape> &m_shapes;
    QMultiHash<QPair<qint64, qint64>, int> m_byCorner;
    QVector<bool> m_taken;
};

#endif // SHAPEINDEX_H
