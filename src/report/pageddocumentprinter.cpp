#include "pageddocumentprinter.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetrics>
#include <QMarginsF>
#include <QPagedPaintDevice>
#include <QPalette>
#include <QTextDocument>
#include <QTextFrame>

namespace {

// The margins, in millimetres, that printing gives a printer that has none.
const qreal kDefaultPrinterMargin = 2.0;
// The document's own margin on every side of a page, in centimetres.
const qreal kPageMarginCm = 2.0;

void giveMargins(QPagedPaintDevice &printer)
{
    const QMarginsF margins = printer.pageLayout().margins(QPageLayout::Millimeter);
    if (margins.left() == 0. && margins.right() == 0. && margins.top() == 0. &&
        margins.bottom() == 0.) {
        printer.setPageMargins(QMarginsF(kDefaultPrinterMargin, kDefaultPrinterMargin,
                                         kDefaultPrinterMargin, kDefaultPrinterMargin),
                               QPageLayout::Millimeter);
    }
}

} // namespace

PagedDocumentPrinter::PagedDocumentPrinter(QPagedPaintDevice &printer) : m_printer(printer)
{
    giveMargins(printer);
    if (!m_target.begin(&printer))
        return;
    const int dpiY = printer.logicalDpiY();
    m_margin = int((kPageMarginCm / 2.54) * dpiY);
    m_body = QRectF(0, 0, printer.width(), printer.height());
    m_culling = std::make_unique<CullingPaintDevice>(&m_target);
    m_painter.begin(m_culling.get());
}

PagedDocumentPrinter::~PagedDocumentPrinter()
{
    if (m_painter.isActive())
        m_painter.end();
    if (m_target.isActive())
        m_target.end();
}

bool PagedDocumentPrinter::isActive() const
{
    return m_target.isActive() && m_painter.isActive();
}

void PagedDocumentPrinter::layOut(QTextDocument &document) const
{
    // A null page size keeps the layout from running before it knows its paint device.
    document.setPageSize(QSizeF(0, 0));
    document.documentLayout()->setPaintDevice(&m_printer);
    QTextFrameFormat rootFormat = document.rootFrame()->frameFormat();
    rootFormat.setMargin(m_margin);
    document.rootFrame()->setFrameFormat(rootFormat);
    document.setPageSize(m_body.size());
}

bool PagedDocumentPrinter::printPage(QTextDocument &document, int page, int number)
{
    return paintPage(number, document.defaultFont(),
                     [&](QPainter &painter) { drawPage(painter, document, page); });
}

void PagedDocumentPrinter::drawPage(QPainter &painter, QTextDocument &document, int page) const
{
    painter.save();
    painter.translate(m_body.left(), m_body.top() - (page - 1) * m_body.height());
    const QRectF view(0, (page - 1) * m_body.height(), m_body.width(), m_body.height());
    QAbstractTextDocumentLayout::PaintContext context;
    painter.setClipRect(view);
    context.clip = view;
    // Black text whatever the platform's palette says: it is paper.
    context.palette.setColor(QPalette::Text, Qt::black);
    document.documentLayout()->draw(&painter, context);
    painter.restore();
}

bool PagedDocumentPrinter::paintPage(int number, const QFont &pageNumberFont,
                                     const std::function<void(QPainter &painter)> &content)
{
    if (m_failed || (m_printed > 0 && !m_printer.newPage())) {
        m_failed = true;
        return false;
    }
    ++m_printed;
    content(m_painter);

    const qreal dpiY = m_printer.logicalDpiY();
    const QPointF pageNumberPosition(m_body.width() - m_margin,
                                     m_body.height() - m_margin +
                                         QFontMetrics(pageNumberFont, &m_printer).ascent() +
                                         5 * dpiY / 72.0);
    m_painter.save();
    m_painter.setFont(pageNumberFont);
    const QString pageString = QString::number(number);
    m_painter.drawText(
        qRound(pageNumberPosition.x() - m_painter.fontMetrics().horizontalAdvance(pageString)),
        qRound(pageNumberPosition.y() + m_body.top()), pageString);
    m_painter.restore();
    return true;
}

QPaintDevice &PagedDocumentPrinter::device() const
{
    return m_printer;
}

bool PagedDocumentPrinter::finish()
{
    if (m_painter.isActive())
        m_painter.end();
    const bool ended = m_target.isActive() && m_target.end();
    return ended && !m_failed;
}

int PagedDocumentPrinter::culledCount() const
{
    return m_culling ? m_culling->culledCount() : 0;
}

bool PagedDocumentPrinter::print(QTextDocument &document, QPagedPaintDevice &printer,
                                 const Progress &progress, int *culledShapes)
{
    PagedDocumentPrinter pages(printer);
    if (!pages.isActive())
        return false;
    pages.layOut(document);
    const int pageCount = document.pageCount();
    bool printed = true;
    for (int page = 1; page <= pageCount && printed; ++page)
        printed =
            (!progress || progress(page, pageCount, true)) && pages.printPage(document, page, page);
    const bool finished = pages.finish();
    if (culledShapes)
        *culledShapes = pages.culledCount();
    return finished && printed;
}
