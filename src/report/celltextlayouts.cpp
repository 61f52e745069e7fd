#include "celltextlayouts.h"

#include <QTextLayout>
#include <QtMath>

struct CellTextLayouts::Laid
{
    QTextLayout layout;
    QVector<int> shape;

    Laid(const QString &text, const QFont &font, QPaintDevice *device) : layout(text, font, device)
    {
    }
};

CellTextLayouts::CellTextLayouts(QPaintDevice *device, const QVector<Column> &columns,
                                 int keptPerColumn)
    : m_device(device), m_columns(columns), m_keptPerColumn(keptPerColumn), m_kept(columns.size())
{
}

CellTextLayouts::~CellTextLayouts() = default;

const CellTextLayouts::Laid &CellTextLayouts::laid(int column, const QString &text)
{
    QHash<QString, std::shared_ptr<Laid>> &kept = m_kept[column];
    const auto known = kept.constFind(text);
    if (known != kept.constEnd())
        return *known.value();
    if (kept.size() >= m_keptPerColumn)
        kept.clear();

    const Column &settings = m_columns.at(column);
    auto made = std::make_shared<Laid>(text, settings.font, m_device);
    QTextOption option = settings.option;
    // The block of a cell takes its direction from its text, as the layout of a document does.
    const bool rightToLeft = text.isRightToLeft();
    option.setTextDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    made->layout.setTextOption(option);
    // Kept glyphs are what makes drawing a kept layout again cheap.
    made->layout.setCacheEnabled(true);
    made->shape << int(rightToLeft) << 0;
    made->layout.beginLayout();
    qreal top = 0;
    for (QTextLine line = made->layout.createLine(); line.isValid();
         line = made->layout.createLine()) {
        line.setLineWidth(settings.lineWidth);
        line.setPosition(QPointF(0, top));
        // A document moves down by the line's height with its leading, which may be negative,
        // rounded up; it breaks pages by the line's height.
        const qreal advance = qCeil(line.ascent() + line.descent() + line.leading());
        top += advance;
        // Heights are in 64ths of a unit in the layout, so these are exact.
        made->shape << qRound(advance * 64) << qRound(line.height() * 64);
        ++made->shape[1];
    }
    made->layout.endLayout();
    return *kept.insert(text, made).value();
}

const QTextLayout &CellTextLayouts::layout(int column, const QString &text)
{
    return laid(column, text).layout;
}

void CellTextLayouts::addShape(int column, const QString &text, QVector<int> *shape)
{
    *shape += laid(column, text).shape;
}
