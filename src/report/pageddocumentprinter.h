#ifndef PAGEDDOCUMENTPRINTER_H
#define PAGEDDOCUMENTPRINTER_H

#include "cullingpaintdevice.h"

#include <QFont>
#include <QPainter>
#include <QRectF>

#include <functional>
#include <memory>

class QPagedPaintDevice;
class QTextDocument;

// Prints documents that have no page size of their own page by page, the way
// QTextDocument::print lays such a document out and draws it (2 cm margins, the page number at
// the bottom right), but faster for long documents: a document is laid out once, for the
// printer, instead of being copied and laid out again, and shapes that fall outside a page are
// dropped before they reach the PDF engine. Pages may come from several documents in turn, each
// laid out for the same printer.
class PagedDocumentPrinter
{
public:
    // Told the page about to be printed and the page count, which is an estimate until exact
    // says otherwise; answers false to stop printing.
    using Progress = std::function<bool(int page, int pageCount, bool exact)>;

    // Lays document out for printer (the document keeps that layout) and prints every page.
    // False when the printer could not be started, refused a page, or progress stopped it.
    // culledShapes, when given, counts the shapes dropped for lying outside their page: on a
    // report of several pages it is never zero, or the quick way was lost.
    static bool print(QTextDocument &document, QPagedPaintDevice &printer,
                      const Progress &progress = Progress(), int *culledShapes = nullptr);

    // Starts printing on printer; isActive() says whether it could.
    explicit PagedDocumentPrinter(QPagedPaintDevice &printer);
    ~PagedDocumentPrinter();

    bool isActive() const;
    // Lays document out as one of the printer's pages would hold it.
    void layOut(QTextDocument &document) const;
    // The height of a page in the layout's coordinates.
    qreal pageHeight() const { return m_body.height(); }
    // The document's margin at the top and the bottom of a page, in the same coordinates.
    qreal marginHeight() const { return m_margin; }
    // Prints page (from 1) of a document laid out by layOut() as the next page of the file,
    // numbered number. False when the printer refused a new page.
    bool printPage(QTextDocument &document, int page, int number);
    // Prints the next page of the file, numbered number in pageNumberFont, with what content
    // draws in the page's own coordinates. False when the printer refused a new page.
    bool paintPage(int number, const QFont &pageNumberFont,
                   const std::function<void(QPainter &painter)> &content);
    // Draws page (from 1) of a document laid out by layOut() with painter, at the top of the
    // painter's device and clipped to the page, as printPage() draws it.
    void drawPage(QPainter &painter, QTextDocument &document, int page) const;
    // The device printed on, for measuring and for devices that stand in for it.
    QPaintDevice &device() const;
    int printedPages() const { return m_printed; }
    // Ends the file; false when it could not be finished.
    bool finish();
    int culledCount() const;

private:
    QPagedPaintDevice &m_printer;
    QPainter m_target;
    std::unique_ptr<CullingPaintDevice> m_culling;
    QPainter m_painter;
    QRectF m_body;
    int m_margin = 0;
    int m_printed = 0;
    bool m_failed = false;
};

#endif // PAGEDDOCUMENTPRINTER_H
