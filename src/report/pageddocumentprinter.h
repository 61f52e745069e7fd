#ifndef PAGEDDOCUMENTPRINTER_H
#define PAGEDDOCUMENTPRINTER_H

#include <functional>

class QPagedPaintDevice;
class QTextDocument;

// Prints a document that has no page size of its own page by page, the way
// QTextDocument::print lays such a document out and draws it (2 cm margins, the page number at
// the bottom right), but faster for long documents: the document is laid out once, for the
// printer, instead of being copied and laid out again, and shapes that fall outside a page are
// dropped before they reach the PDF engine.
class PagedDocumentPrinter
{
public:
    // Told the page about to be printed and the page count; answers false to stop printing.
    using Progress = std::function<bool(int page, int pageCount)>;

    // Lays document out for printer (the document keeps that layout) and prints every page.
    // False when the printer could not be started, refused a page, or progress stopped it.
    // culledShapes, when given, counts the shapes dropped for lying outside their page: on a
    // report of several pages it is never zero, or the quick way was lost.
    static bool print(QTextDocument &document, QPagedPaintDevice &printer,
                      const Progress &progress = Progress(), int *culledShapes = nullptr);
};

#endif // PAGEDDOCUMENTPRINTER_H
