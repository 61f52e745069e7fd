#ifndef CULLINGPAINTDEVICE_H
#define CULLINGPAINTDEVICE_H

#include "cullingpaintengine.h"

#include <QPaintDevice>

class QPainter;

// A stand-in for the device a painter is active on: it measures like that device, so that
// fonts and layouts come out the same, and paints through a CullingPaintEngine onto it.
class CullingPaintDevice : public QPaintDevice
{
public:
    // target must stay active while a painter paints on this device.
    explicit CullingPaintDevice(QPainter *target);
    ~CullingPaintDevice() override;

    QPaintEngine *paintEngine() const override;

    int culledCount() const { return m_engine.culledCount(); }

    // What device measures for metric, as a device standing in for it answers.
    static int metricOf(const QPaintDevice &device, PaintDeviceMetric metric);

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QPaintDevice *m_device;
    mutable CullingPaintEngine m_engine;
};

#endif // CULLINGPAINTDEVICE_H
