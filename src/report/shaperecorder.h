#ifndef SHAPERECORDER_H
#define SHAPERECORDER_H

#include "paintstate.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QLineF>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QTransform>
#include <QVector>

// Keeps what a painter draws on it, measuring like another device: the shapes, to be drawn
// again as they were on any page, and the texts, to be compared with a drawing of one's own.
// Pictures and ellipses are not kept; a drawing that holds one is not isComplete().
class ShapeRecorder : public QPaintDevice, public QPaintEngine
{
public:
    struct Shape
    {
        enum Kind
        {
            Rects,
            Lines,
            Path,
            Polygon,
        };
        Kind kind;
        QTransform transform;
        QPen pen;
        QBrush brush;
        QPointF brushOrigin;
        QPainter::RenderHints hints;
        QVector<QRectF> rects;
        QVector<QLineF> lines;
        QPainterPath path;
        QPolygonF polygon;
        PolygonDrawMode mode = OddEvenMode;
        bool operator==(const Shape &other) const;
        // Where its rectangles lie, or its other figure.
        QRectF bounds() const;
    };

    struct Text
    {
        // Where the text starts on the device.
        QPointF position;
        QString text;
        QFont font;
        QColor color;
        bool operator==(const Text &other) const;
    };

    // Measures like like, which must outlive the recorder.
    explicit ShapeRecorder(const QPaintDevice &like);

    QPaintEngine *paintEngine() const override;

    bool begin(QPaintDevice *device) override;
    bool end() override;
    Type type() const override;
    void updateState(const QPaintEngineState &state) override;

    // The engine's own integer overloads hand rectangles, lines and polygons over to these.
    using QPaintEngine::drawLines;
    using QPaintEngine::drawPolygon;
    using QPaintEngine::drawRects;
    void drawRects(const QRectF *rects, int rectCount) override;
    void drawLines(const QLineF *lines, int lineCount) override;
    void drawPath(const QPainterPath &path) override;
    void drawPolygon(const QPointF *points, int pointCount, PolygonDrawMode mode) override;
    void drawEllipse(const QRectF &rect) override;
    void drawPixmap(const QRectF &rect, const QPixmap &pixmap, const QRectF &source) override;
    void drawTextItem(const QPointF &position, const QTextItem &textItem) override;
    void drawTiledPixmap(const QRectF &rect, const QPixmap &pixmap, const QPointF &offset) override;
    void drawImage(const QRectF &rect, const QImage &image, const QRectF &source,
                   Qt::ImageConversionFlags flags) override;

    const QVector<Shape> &shapes() const { return m_shapes; }
    const QVector<Text> &texts() const { return m_texts; }
    bool isComplete() const { return m_complete; }

    // The shapes with their transforms carried out on their rectangles; none when one is not
    // rectangles only moved.
    static QVector<Shape> withoutTransforms(const QVector<Shape> &shapes);
    // Whether one and other hold the same shapes, in any order, of those that reach into the
    // band from top to bottom.
    static bool sameShapes(const QVector<Shape> &one, const QVector<Shape> &other, qreal top,
                           qreal bottom);
    // Sorts texts by where they start.
    static void sortTexts(QVector<Text> &texts);
    // Draws the shapes kept, each with the transform and the pen and brush it had.
    static void replay(QPainter &painter, const QVector<Shape> &shapes);

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    Shape shape(Shape::Kind kind) const;

    const QPaintDevice &m_like;
    PaintState m_state;
    QVector<Shape> m_shapes;
    QVector<Text> m_texts;
    bool m_complete = true;
};

#endif // SHAPERECORDER_H
