#include "pageddocumentprinter.h"

#include "cullingpaintdevice.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetrics>
#include <QMarginsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPalette>
#include <QTextDocument>
#include <QTextFrame>

namespace {

// The margins, in millimetres, that printing gives a printer that has none.
const qreal kDefaultPrinterMargin = 2.0;
// The document's own margin on every side of a page, in centimetres.
const qreal kPageMarginCm = 2.0;

void printPage(int index, QPainter &painter, QTextDocument &document, const QRectF &body,
               const QPointF &pageNumberPosition)
{
    painter.save();
    painter.translate(body.left(), body.top() - (index - 1) * body.height());
    const QRectF view(0, (index - 1) * body.height(), body.width(), body.height());

    QAbstractTextDocumentLayout::PaintContext context;
    painter.setClipRect(view);
    context.clip = view;
    // Black text whatever the platform's palette says: it is paper.
    context.palette.setColor(QPalette::Text, Qt::black);
    document.documentLayout()->draw(&painter, context);

    painter.setClipping(false);
    painter.setFont(QFont(document.defaultFont()));
    const QString pageString = QString::number(index);
    painter.drawText(
        qRound(pageNumberPosition.x() - painter.fontMetrics().horizontalAdvance(pageString)),
        qRound(pageNumberPosition.y() + view.top()), pageString);
    painter.restore();
}

} // namespace

bool PagedDocumentPrinter::print(QTextDocument &document, QPagedPaintDevice &printer,
                                 const Progress &progress, int *culledShapes)
{
    // A null page size keeps the layout from running before it knows its paint device.
    document.setPageSize(QSizeF(0, 0));

    QMarginsF margins = printer.pageLayout().margins(QPageLayout::Millimeter);
    if (margins.left() == 0. && margins.right() == 0. && margins.top() == 0. &&
        margins.bottom() == 0.) {
        margins = QMarginsF(kDefaultPrinterMargin, kDefaultPrinterMargin, kDefaultPrinterMargin,
                            kDefaultPrinterMargin);
        printer.setPageMargins(margins, QPageLayout::Millimeter);
    }

    QPainter target(&printer);
    if (!target.isActive())
        return false;

    QAbstractTextDocumentLayout *layout = document.documentLayout();
    layout->setPaintDevice(&printer);

    const int dpiY = printer.logicalDpiY();
    const int margin = int((kPageMarginCm / 2.54) * dpiY);
    QTextFrameFormat rootFormat = document.rootFrame()->frameFormat();
    rootFormat.setMargin(margin);
    document.rootFrame()->setFrameFormat(rootFormat);

    const QRectF body(0, 0, printer.width(), printer.height());
    const QPointF pageNumberPosition(body.width() - margin,
                                     body.height() - margin +
                                         QFontMetrics(document.defaultFont(), &printer).ascent() +
                                         5 * dpiY / 72.0);
    document.setPageSize(body.size());
    const int pageCount = document.pageCount();

    CullingPaintDevice culling(&target);
    QPainter painter(&culling);
    if (!painter.isActive())
        return false;
    bool printed = true;
    for (int page = 1; page <= pageCount; ++page) {
        if (progress && !progress(page, pageCount)) {
            printed = false;
            break;
        }
        if (page > 1 && !printer.newPage()) {
            printed = false;
            break;
        }
        printPage(page, painter, document, body, pageNumberPosition);
    }
    painter.end();
    if (culledShapes)
        *culledShapes = culling.culledCount();
    return target.end() && printed;
}
