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
    switch (metric) {
    case PdmWidth:
        return m_device->width();
    case PdmHeight:
        return m_device->height();
    case PdmWidthMM:
        return m_device->widthMM();
    case PdmHeightMM:
        return m_device->heightMM();
    case PdmNumColors:
        return m_device->colorCount();
    case PdmDepth:
        return m_device->depth();
    case PdmDpiX:
        return m_device->logicalDpiX();
    case PdmDpiY:
        return m_device->logicalDpiY();
    case PdmPhysicalDpiX:
        return m_device->physicalDpiX();
    case PdmPhysicalDpiY:
        return m_device->physicalDpiY();
    case PdmDevicePixelRatio:
        return m_device->devicePixelRatio();
    case PdmDevicePixelRatioScaled:
        return qRound(m_device->devicePixelRatioF() * devicePixelRatioFScale());
    }
    return QPaintDevice::metric(metric);
}
