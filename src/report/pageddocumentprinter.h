#ifndef PAGEDDOCUMENTPRINTER_H
#define PAGEDDOCUMENTPRINTER_H

class QPrinter;
class QTextDocument;

// Prints a document that has no page size of its own page by page, the way
// QTextDocument::print lays such a document out and draws it (2 cm margins, the page number at
// the bottom right), but faster for long documents: the document is laid out once, for the
// printer, instead of being copied and laid out again, and shapes that fall outside a page are
// dropped before they reach the PDF engine.
class PagedDocumentPrinter
{
public:
    // Lays document out for printer (the document keeps that layout) and prints every page.
    // False when the printer could not be started or refused a page.
    static bool print(QTextDocument &document, QPrinter &printer);
};

#endif // PAGEDDOCUMENTPRINTER_H
