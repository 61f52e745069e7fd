#include "cullingpaintdevice.h"

#include <QPainter>

CullingPaintDevice::CullingPaintDevice(QPainter *target)
    : m_device(target->device()), m_engine(target)
{
}

CullingPaintDevice::~CullingPaintDevice() = default;

QPaintEngine *CullingPaintDevice::paintEngine() const
{
    return &m_engine;
}

int CullingPaintDevice::metric(PaintDeviceMetric metric) const
{
    return metricOf(*m_device, metric);
}

int CullingPaintDevice::metricOf(const QPaintDevice &device, PaintDeviceMetric metric)
{
    switch (metric) {
    case PdmWidth:
        return device.width();
    case PdmHeight:
        return device.height();
    case PdmWidthMM:
        return device.widthMM();
    case PdmHeightMM:
        return device.heightMM();
    case PdmNumColors:
        return device.colorCount();
    case PdmDepth:
        return device.depth();
    case PdmDpiX:
        return device.logicalDpiX();
    case PdmDpiY:
        return device.logicalDpiY();
    case PdmPhysicalDpiX:
        return device.physicalDpiX();
    case PdmPhysicalDpiY:
        return device.physicalDpiY();
    case PdmDevicePixelRatio:
        return device.devicePixelRatio();
    case PdmDevicePixelRatioScaled:
        return qRound(device.devicePixelRatioF() * devicePixelRatioFScale());
    }
    return 0;
}
