#ifndef CULLINGPAINTENGINE_H
#define CULLINGPAINTENGINE_H

#include "paintstate.h"

#include <QBrush>
#include <QFont>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPen>
#include <QRectF>
#include <QTransform>
#include <QVector>

class QPainter;

// Hands every drawing on to a painter on the real device, except the shapes that lie wholly
// outside the clip. A document printed page by page draws a long table's outer frame for every
// page the table spans on each page; the PDF engine would write all those invisible pieces into
// every page, which makes printing grow with the square of the page count.
//
// The clip is kept in device coordinates exactly as the PDF engine keeps it, so that what reaches
// the real device is what the PDF engine would have shown.
class CullingPaintEngine : public QPaintEngine
{
public:
    // target must stay active while this engine paints.
    explicit CullingPaintEngine(QPainter *target);

    bool begin(QPaintDevice *device) override;
    bool end() override;
    Type type() const override;
    void updateState(const QPaintEngineState &state) override;

    void drawRects(const QRect *rects, int rectCount) override;
    void drawRects(const QRectF *rects, int rectCount) override;
    void drawLines(const QLine *lines, int lineCount) override;
    void drawLines(const QLineF *lines, int lineCount) override;
    void drawEllipse(const QRectF &rect) override;
    void drawEllipse(const QRect &rect) override;
    void drawPath(const QPainterPath &path) override;
    void drawPoints(const QPointF *points, int pointCount) override;
    void drawPoints(const QPoint *points, int pointCount) override;
    void drawPolygon(const QPointF *points, int pointCount, PolygonDrawMode mode) override;
    void drawPolygon(const QPoint *points, int pointCount, PolygonDrawMode mode) override;
    void drawPixmap(const QRectF &rect, const QPixmap &pixmap, const QRectF &source) override;
    void drawTextItem(const QPointF &position, const QTextItem &textItem) override;
    void drawTiledPixmap(const QRectF &rect, const QPixmap &pixmap, const QPointF &offset) override;
    void drawImage(const QRectF &rect, const QImage &image, const QRectF &source,
                   Qt::ImageConversionFlags flags) override;

    // How many shapes were dropped since begin(); for tests and measurements.
    int culledCount() const { return m_culled; }

private:
    // True when a shape whose bounds (in the painter's coordinates) are given can show.
    bool mayShow(const QRectF &bounds) const;
    // Hands a drawing on to the target when its bounds can show; counts it as dropped otherwise.
    template <typename Draw> void drawIfShown(const QRectF &bounds, Draw draw)
    {
        if (!mayShow(bounds)) {
            ++m_culled;
            return;
        }
        flush();
        draw();
    }
    void updateClip(const QPainterPath &path, Qt::ClipOperation operation);
    // Brings the target painter up to the state of the painter that draws here.
    void flush();

    QPainter *m_target;
    QPaintEngine::DirtyFlags m_dirty;
    PaintState m_state;

    bool m_clipEnabled = false;
    bool m_clipDirty = false;
    QVector<QPainterPath> m_clips;
    // The area every clip path leaves, in device coordinates; valid while clipping.
    QRectF m_clipBounds;
    int m_culled = 0;
};

#endif // CULLINGPAINTENGINE_H
