#include "shaperecorder.h"

#include "cullingpaintdevice.h"

#include "shapeindex.h"

#include <QTextItem>

#include <algorithm>

namespace {

QVector<ShapeRecorder::Shape> inBand(const QVector<ShapeRecorder::Shape> &shapes, qreal top,
                                     qreal bottom)
{
    QVector<ShapeRecorder::Shape> kept;
    for (const ShapeRecorder::Shape &shape : shapes) {
        const QRectF bounds = shape.bounds();
        if (bounds.bottom() > top && bounds.top() < bottom)
            kept << shape;
    }
    return kept;
}

} // namespace

bool ShapeRecorder::Text::operator==(const Text &other) const
{
    return position == other.position && text == other.text && font == other.font &&
           color == other.color;
}

bool ShapeRecorder::Shape::operator==(const Shape &other) const
{
    return kind == other.kind && rects == other.rects && transform == other.transform &&
           pen == other.pen && brush == other.brush && brushOrigin == other.brushOrigin &&
           hints == other.hints && lines == other.lines && path == other.path &&
           polygon == other.polygon && mode == other.mode;
}

QRectF ShapeRecorder::Shape::bounds() const
{
    QRectF all;
    switch (kind) {
    case Rects:
        for (const QRectF &rect : rects)
            all = all.isNull() ? rect : all.united(rect);
        break;
    case Lines:
        for (const QLineF &line : lines)
            all = all.united(QRectF(line.p1(), line.p2()).normalized());
        break;
    case Path:
        all = path.boundingRect();
        break;
    case Polygon:
        all = polygon.boundingRect();
        break;
    }
    return all;
}

ShapeRecorder::ShapeRecorder(const QPaintDevice &like)
    : QPaintEngine(QPaintEngine::AllFeatures), m_like(like)
{
}

QPaintEngine *ShapeRecorder::paintEngine() const
{
    return const_cast<ShapeRecorder *>(this);
}

bool ShapeRecorder::begin(QPaintDevice *)
{
    m_state = PaintState();
    return true;
}

bool ShapeRecorder::end()
{
    return true;
}

QPaintEngine::Type ShapeRecorder::type() const
{
    return QPaintEngine::User;
}

void ShapeRecorder::updateState(const QPaintEngineState &state)
{
    m_state.take(state);
    // Anything else would change how a shape shows.
    m_complete = m_complete && m_state.compositionMode == QPainter::CompositionMode_SourceOver &&
                 m_state.opacity == 1.0 && m_state.backgroundMode == Qt::TransparentMode;
}

ShapeRecorder::Shape ShapeRecorder::shape(Shape::Kind kind) const
{
    Shape kept;
    kept.kind = kind;
    kept.transform = m_state.transform;
    kept.pen = m_state.pen;
    kept.brush = m_state.brush;
    kept.brushOrigin = m_state.brushOrigin;
    kept.hints = m_state.hints;
    return kept;
}

void ShapeRecorder::drawRects(const QRectF *rects, int rectCount)
{
    Shape kept = shape(Shape::Rects);
    kept.rects = QVector<QRectF>(rects, rects + rectCount);
    m_shapes << kept;
}

void ShapeRecorder::drawLines(const QLineF *lines, int lineCount)
{
    Shape kept = shape(Shape::Lines);
    kept.lines = QVector<QLineF>(lines, lines + lineCount);
    m_shapes << kept;
}

void ShapeRecorder::drawPath(const QPainterPath &path)
{
    Shape kept = shape(Shape::Path);
    kept.path = path;
    m_shapes << kept;
}

void ShapeRecorder::drawPolygon(const QPointF *points, int pointCount, PolygonDrawMode mode)
{
    Shape kept = shape(Shape::Polygon);
    kept.polygon = QPolygonF(QVector<QPointF>(points, points + pointCount));
    kept.mode = mode;
    m_shapes << kept;
}

void ShapeRecorder::drawEllipse(const QRectF &)
{
    m_complete = false;
}

void ShapeRecorder::drawPixmap(const QRectF &, const QPixmap &, const QRectF &)
{
    m_complete = false;
}

void ShapeRecorder::drawTextItem(const QPointF &position, const QTextItem &textItem)
{
    m_texts << Text{m_state.transform.map(position), textItem.text(), textItem.font(),
                    m_state.pen.color()};
}

void ShapeRecorder::drawTiledPixmap(const QRectF &, const QPixmap &, const QPointF &)
{
    m_complete = false;
}

void ShapeRecorder::drawImage(const QRectF &, const QImage &, const QRectF &,
                              Qt::ImageConversionFlags)
{
    m_complete = false;
}

QVector<ShapeRecorder::Shape> ShapeRecorder::withoutTransforms(const QVector<Shape> &shapes)
{
    QVector<Shape> moved;
    moved.reserve(shapes.size());
    for (Shape kept : shapes) {
        if (kept.kind != Shape::Rects || kept.transform.type() > QTransform::TxTranslate)
            return {};
        for (QRectF &rect : kept.rects)
            rect = kept.transform.mapRect(rect);
        kept.transform = QTransform();
        moved << kept;
    }
    return moved;
}

bool ShapeRecorder::sameShapes(const QVector<Shape> &one, const QVector<Shape> &other, qreal top,
                               qreal bottom)
{
    const QVector<Shape> ones = inBand(one, top, bottom);
    const QVector<Shape> others = inBand(other, top, bottom);
    if (ones.size() != others.size())
        return false;
    ShapeIndex index(others);
    return std::all_of(ones.cbegin(), ones.cend(),
                       [&](const Shape &shape) { return index.take(shape) >= 0; });
}

void ShapeRecorder::sortTexts(QVector<Text> &texts)
{
    std::sort(texts.begin(), texts.end(), [](const Text &one, const Text &other) {
        if (one.position.y() != other.position.y())
            return one.position.y() < other.position.y();
        if (one.position.x() != other.position.x())
            return one.position.x() < other.position.x();
        return one.text < other.text;
    });
}

void ShapeRecorder::replay(QPainter &painter, const QVector<Shape> &shapes)
{
    painter.save();
    for (const Shape &kept : shapes) {
        painter.setTransform(kept.transform);
        painter.setPen(kept.pen);
        painter.setBrush(kept.brush);
        painter.setBrushOrigin(kept.brushOrigin);
        painter.setRenderHints(~QPainter::RenderHints(), false);
        painter.setRenderHints(kept.hints, true);
        switch (kept.kind) {
        case Shape::Rects:
            painter.drawRects(kept.rects.constData(), kept.rects.size());
            break;
        case Shape::Lines:
            painter.drawLines(kept.lines.constData(), kept.lines.size());
            break;
        case Shape::Path:
            painter.drawPath(kept.path);
            break;
        case Shape::Polygon:
            switch (kept.mode) {
            case PolylineMode:
                painter.drawPolyline(kept.polygon);
                break;
            case ConvexMode:
                painter.drawConvexPolygon(kept.polygon);
                break;
            case OddEvenMode:
                painter.drawPolygon(kept.polygon, Qt::OddEvenFill);
                break;
            case WindingMode:
                painter.drawPolygon(kept.polygon, Qt::WindingFill);
                break;
            }
            break;
        }
    }
    painter.restore();
}

int ShapeRecorder::metric(PaintDeviceMetric metric) const
{
    return CullingPaintDevice::metricOf(m_like, metric);
}
