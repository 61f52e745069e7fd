#include "cullingpaintengine.h"

#include <QPainter>
#include <QPolygonF>
#include <QRegion>
#include <QTextItem>

#include <algorithm>

namespace {

const QPaintEngine::DirtyFlags kClipFlags =
    QPaintEngine::DirtyClipPath | QPaintEngine::DirtyClipRegion | QPaintEngine::DirtyClipEnabled;

// Room left around a shape for anti-aliasing and rounding, in device pixels.
const qreal kDeviceSlack = 2.0;

template <typename Point> QRectF pointBounds(const Point *points, int count)
{
    if (count <= 0)
        return QRectF();
    qreal left = points[0].x();
    qreal right = left;
    qreal top = points[0].y();
    qreal bottom = top;
    for (int i = 1; i < count; ++i) {
        left = std::min<qreal>(left, points[i].x());
        right = std::max<qreal>(right, points[i].x());
        top = std::min<qreal>(top, points[i].y());
        bottom = std::max<qreal>(bottom, points[i].y());
    }
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

template <typename Rect> QRectF rectBounds(const Rect *rects, int count)
{
    QRectF bounds;
    for (int i = 0; i < count; ++i)
        bounds |= QRectF(rects[i]).normalized();
    return bounds;
}

template <typename Line> QRectF lineBounds(const Line *lines, int count)
{
    QRectF bounds;
    for (int i = 0; i < count; ++i) {
        const QRectF line = QRectF(QPointF(lines[i].p1()), QPointF(lines[i].p2())).normalized();
        // A united empty rectangle is dropped, so a straight line is given some width first.
        bounds |= line.adjusted(-0.5, -0.5, 0.5, 0.5);
    }
    return bounds;
}

// A polygon in the engine's drawing mode, drawn through the painter's matching call.
template <typename Point>
void drawPolygonOn(QPainter *target, const Point *points, int pointCount,
                   QPaintEngine::PolygonDrawMode mode)
{
    switch (mode) {
    case QPaintEngine::PolylineMode:
        target->drawPolyline(points, pointCount);
        break;
    case QPaintEngine::ConvexMode:
        target->drawConvexPolygon(points, pointCount);
        break;
    case QPaintEngine::OddEvenMode:
        target->drawPolygon(points, pointCount, Qt::OddEvenFill);
        break;
    case QPaintEngine::WindingMode:
        target->drawPolygon(points, pointCount, Qt::WindingFill);
        break;
    }
}

} // namespace

CullingPaintEngine::CullingPaintEngine(QPainter *target)
    : QPaintEngine(QPaintEngine::AllFeatures), m_target(target)
{
}

bool CullingPaintEngine::begin(QPaintDevice *)
{
    m_dirty = {};
    m_state = PaintState();
    m_clipEnabled = false;
    m_clipDirty = false;
    m_clips.clear();
    m_culled = 0;
    return m_target && m_target->isActive();
}

bool CullingPaintEngine::end()
{
    return true;
}

QPaintEngine::Type CullingPaintEngine::type() const
{
    return QPaintEngine::User;
}

void CullingPaintEngine::updateState(const QPaintEngineState &state)
{
    const QPaintEngine::DirtyFlags flags = state.state();
    m_state.take(state);
    m_dirty |= flags & ~kClipFlags;

    if (flags & DirtyClipPath) {
        m_clipEnabled = true;
        updateClip(state.clipPath(), state.clipOperation());
    } else if (flags & DirtyClipRegion) {
        m_clipEnabled = true;
        QPainterPath path;
        for (const QRect &rect : state.clipRegion())
            path.addRect(rect);
        updateClip(path, state.clipOperation());
    } else if (flags & DirtyClipEnabled) {
        m_clipEnabled = state.isClipEnabled();
        m_clipDirty = true;
    }
}

void CullingPaintEngine::updateClip(const QPainterPath &path, Qt::ClipOperation operation)
{
    const QPainterPath devicePath = m_state.transform.map(path);
    switch (operation) {
    case Qt::NoClip:
        m_clipEnabled = false;
        m_clips.clear();
        break;
    case Qt::ReplaceClip:
        m_clips = {devicePath};
        break;
    case Qt::IntersectClip:
        m_clips.append(devicePath);
        break;
    }
    m_clipBounds = QRectF();
    for (int i = 0; i < m_clips.size(); ++i) {
        const QRectF bounds = m_clips.at(i).boundingRect();
        m_clipBounds = i == 0 ? bounds : m_clipBounds.intersected(bounds);
    }
    m_clipDirty = true;
}

bool CullingPaintEngine::mayShow(const QRectF &bounds) const
{
    if (!m_clipEnabled || m_clips.isEmpty())
        return true;
    // An empty clip path hides everything, as it does in the PDF engine.
    if (m_clipBounds.isEmpty())
        return false;
    qreal logicalSlack = 0;
    qreal deviceSlack = kDeviceSlack;
    if (m_state.pen.style() != Qt::NoPen) {
        const qreal width = std::max<qreal>(m_state.pen.widthF(), 1.0);
        // A mitred corner reaches out further than half the pen width.
        const qreal reach = width * std::max<qreal>(m_state.pen.miterLimit(), 1.0);
        if (m_state.pen.isCosmetic())
            deviceSlack += reach;
        else
            logicalSlack = reach;
    }
    const QRectF logical =
        bounds.adjusted(-logicalSlack, -logicalSlack, logicalSlack, logicalSlack);
    const QRectF device = m_state.transform.mapRect(logical).adjusted(-deviceSlack, -deviceSlack,
                                                                      deviceSlack, deviceSlack);
    return device.intersects(m_clipBounds);
}

void CullingPaintEngine::flush()
{
    if (m_clipDirty) {
        // The clip paths are in device coordinates already.
        m_target->setTransform(QTransform());
        if (!m_clipEnabled || m_clips.isEmpty()) {
            m_target->setClipping(false);
        } else {
            m_target->setClipPath(m_clips.first(), Qt::ReplaceClip);
            for (int i = 1; i < m_clips.size(); ++i)
                m_target->setClipPath(m_clips.at(i), Qt::IntersectClip);
        }
        m_dirty |= DirtyTransform;
        m_clipDirty = false;
    }
    if (!m_dirty)
        return;
    if (m_dirty & DirtyTransform)
        m_target->setTransform(m_state.transform);
    if (m_dirty & DirtyPen)
        m_target->setPen(m_state.pen);
    if (m_dirty & DirtyBrush)
        m_target->setBrush(m_state.brush);
    if (m_dirty & DirtyBrushOrigin)
        m_target->setBrushOrigin(m_state.brushOrigin);
    if (m_dirty & DirtyFont)
        m_target->setFont(m_state.font);
    if (m_dirty & DirtyBackground)
        m_target->setBackground(m_state.background);
    if (m_dirty & DirtyBackgroundMode)
        m_target->setBackgroundMode(m_state.backgroundMode);
    if (m_dirty & DirtyHints) {
        m_target->setRenderHints(m_target->renderHints() & ~m_state.hints, false);
        m_target->setRenderHints(m_state.hints, true);
    }
    if (m_dirty & DirtyCompositionMode)
        m_target->setCompositionMode(m_state.compositionMode);
    if (m_dirty & DirtyOpacity)
        m_target->setOpacity(m_state.opacity);
    m_dirty = {};
}

void CullingPaintEngine::drawRects(const QRect *rects, int rectCount)
{
    drawIfShown(rectBounds(rects, rectCount), [&] { m_target->drawRects(rects, rectCount); });
}

void CullingPaintEngine::drawRects(const QRectF *rects, int rectCount)
{
    drawIfShown(rectBounds(rects, rectCount), [&] { m_target->drawRects(rects, rectCount); });
}

void CullingPaintEngine::drawLines(const QLine *lines, int lineCount)
{
    drawIfShown(lineBounds(lines, lineCount), [&] { m_target->drawLines(lines, lineCount); });
}

void CullingPaintEngine::drawLines(const QLineF *lines, int lineCount)
{
    drawIfShown(lineBounds(lines, lineCount), [&] { m_target->drawLines(lines, lineCount); });
}

void CullingPaintEngine::drawEllipse(const QRectF &rect)
{
    drawIfShown(rect.normalized(), [&] { m_target->drawEllipse(rect); });
}

void CullingPaintEngine::drawEllipse(const QRect &rect)
{
    drawIfShown(QRectF(rect).normalized(), [&] { m_target->drawEllipse(rect); });
}

void CullingPaintEngine::drawPath(const QPainterPath &path)
{
    drawIfShown(path.controlPointRect(), [&] { m_target->drawPath(path); });
}

void CullingPaintEngine::drawPoints(const QPointF *points, int pointCount)
{
    drawIfShown(pointBounds(points, pointCount), [&] { m_target->drawPoints(points, pointCount); });
}

void CullingPaintEngine::drawPoints(const QPoint *points, int pointCount)
{
    drawIfShown(pointBounds(points, pointCount), [&] { m_target->drawPoints(points, pointCount); });
}

void CullingPaintEngine::drawPolygon(const QPointF *points, int pointCount, PolygonDrawMode mode)
{
    drawIfShown(pointBounds(points, pointCount),
                [&] { drawPolygonOn(m_target, points, pointCount, mode); });
}

void CullingPaintEngine::drawPolygon(const QPoint *points, int pointCount, PolygonDrawMode mode)
{
    drawIfShown(pointBounds(points, pointCount),
                [&] { drawPolygonOn(m_target, points, pointCount, mode); });
}

void CullingPaintEngine::drawPixmap(const QRectF &rect, const QPixmap &pixmap, const QRectF &source)
{
    flush();
    m_target->drawPixmap(rect, pixmap, source);
}

void CullingPaintEngine::drawTextItem(const QPointF &position, const QTextItem &textItem)
{
    flush();
    m_target->drawTextItem(position, textItem);
}

void CullingPaintEngine::drawTiledPixmap(const QRectF &rect, const QPixmap &pixmap,
                                         const QPointF &offset)
{
    flush();
    m_target->drawTiledPixmap(rect, pixmap, offset);
}

void CullingPaintEngine::drawImage(const QRectF &rect, const QImage &image, const QRectF &source,
                                   Qt::ImageConversionFlags flags)
{
    flush();
    m_target->drawImage(rect, image, source, flags);
}
