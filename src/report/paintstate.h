#ifndef PAINTSTATE_H
#define PAINTSTATE_H

#include <QBrush>
#include <QFont>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QTransform>

class QPaintEngineState;

// What a painter has told a paint engine of its state, clips aside: engines that hand drawing
// on or keep it need it whole at each drawing.
struct PaintState
{
    QTransform transform;
    QPen pen;
    QBrush brush;
    QPointF brushOrigin;
    QFont font;
    QBrush background;
    Qt::BGMode backgroundMode = Qt::TransparentMode;
    QPainter::RenderHints hints;
    QPainter::CompositionMode compositionMode = QPainter::CompositionMode_SourceOver;
    qreal opacity = 1.0;

    // Takes what state says has changed.
    void take(const QPaintEngineState &state);
};

#endif // PAINTSTATE_H
