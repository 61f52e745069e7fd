#ifndef ROWPAGEMODEL_H
#define ROWPAGEMODEL_H

#include "rowtemplate.h"
#include "shaperecorder.h"

#include <QFont>
#include <QStringList>
#include <QVector>

#include <functional>

class CellTextLayouts;
class PagedDocumentPrinter;
class QPainter;
class QTextDocument;
class SteadyPage;

// Where the toolkit puts rows of several shapes down a page in the middle of a table, and the
// page drawn from their templates. A row stays on a page when the first line of one of its
// cells fits above the page's foot; its lines that do not fit go on to the top of the next
// page, and the row with them. Otherwise it starts the next page, and the row above it reaches
// down to the foot. The foot is known from the toolkit's own layouts, exactly or within a
// bound: a row it does not tell of is left to the toolkit.
class RowPageModel
{
public:
    // The page's own shapes and the foot of its last row from page; rows that start a page have
    // their first text's top at firstTextTop. A line stays when it ends at most staysUpTo64
    // below the page's top, and moves on when at least movesFrom64; between the two the toolkit
    // is asked.
    RowPageModel(const SteadyPage &page, qreal firstTextTop, qint64 staysUpTo64,
                 qint64 movesFrom64);

    QFont pageNumberFont() const { return m_pageNumberFont; }

    // A row whose first lines were on the page before: from splitAt[cell] on, its cells' lines
    // are on this one. No row when the page starts with a row of its own.
    struct Continued
    {
        const RowTemplate *row = nullptr;
        QVector<int> splitAt;
        QStringList texts;
    };
    // Gives the template of the row index rows after the page's first own row; null where the
    // table ends or the row has none.
    using Rows = std::function<const RowTemplate *(int index)>;
    // How the rows after continued lie on a page.
    struct Page
    {
        // The rows that start on the page; -1 when the page cannot be told without the toolkit:
        // the table ends, or the foot is not known well enough.
        int rows = -1;
        // For the last of them, when it goes on to the next page: from which line of each cell.
        QVector<int> splitAt;
    };
    Page layOut(const Continued &continued, const Rows &rows) const;
    // Draws a page as layOut() laid it out, rows and texts holding its rows that start on it.
    void paint(QPainter &painter, const Continued &continued,
               const QVector<const RowTemplate *> &rows, const QVector<QStringList> &texts,
               const Page &page, CellTextLayouts &layouts) const;

    // Rows of the given kinds for pages pages after the first, picked in an order that looks
    // random; indexes into kinds. With splits, every other page ends with a row split across
    // its foot where one can be; without, no page does.
    QVector<int> sampleRows(const QVector<const RowTemplate *> &kinds, int pages,
                            bool splits) const;
    // Whether document, laid out by pages from rows whose first starts its second page, has the
    // pages from 2 on that this model draws of them, texts, rules and borders; pageCount tells
    // how many.
    bool drawsAsTheToolkit(QTextDocument &document, const PagedDocumentPrinter &pages,
                           const QVector<const RowTemplate *> &rows,
                           const QVector<QStringList> &texts, int pageCount,
                           CellTextLayouts &layouts);
    // Learns from such a document where the lines of a row split across a page's foot go on
    // the next page, and how the toolkit draws the row's part on each page; false when its rows
    // hold no split or the split does not draw so. Until then no page with a split is told.
    bool learnSplits(QTextDocument &document, const PagedDocumentPrinter &pages,
                     const QVector<const RowTemplate *> &rows, const QVector<QStringList> &texts,
                     int pageCount, CellTextLayouts &layouts);
    bool knowsSplits() const { return m_splitsKnown; }

private:
    enum Fit
    {
        // Whole on the page.
        Stays,
        // To the next page.
        Moves,
        // Its first lines on the page, the others on the next.
        Splits,
        // Not known without the toolkit.
        Unknown,
    };
    // Where row goes with its first text's top top64 below the page's top; splitAt then tells
    // from which line each cell's lines go on to the next page.
    Fit fit(qint64 top64, const RowTemplate &row, QVector<int> *splitAt) const;
    // As layOut(), splits told or not.
    Page layOut(const Continued &continued, const Rows &rows, bool splits) const;
    // Goes through the pages of document as drawsAsTheToolkit() and learnSplits() do.
    bool walkPages(QTextDocument &document, const PagedDocumentPrinter &pages,
                   const QVector<const RowTemplate *> &rows, const QVector<QStringList> &texts,
                   int pageCount, CellTextLayouts &layouts, bool learn);
    // Draws page of document as the toolkit does and as this model does, keeping the shapes of
    // each; false when their texts differ or the toolkit drew what cannot be kept.
    bool drawBoth(QTextDocument &document, const PagedDocumentPrinter &pages, int page,
                  const Continued &continued, const QVector<const RowTemplate *> &rows,
                  const QVector<QStringList> &texts, const Page &laid, CellTextLayouts &layouts,
                  QVector<ShapeRecorder::Shape> *drawn, QVector<ShapeRecorder::Shape> *own) const;
    // How far above a row's first line the lines that a split moved on start, from where
    // document puts those of row (of the document's table) that page (from 1) moved on.
    bool measureMovedLines(QTextDocument &document, qreal pageHeight, int row, int page,
                           const QVector<int> &splitAt);
    // Learns the part of a split row a page holds from what the toolkit drew there beyond own.
    bool learnPart(const QVector<ShapeRecorder::Shape> &drawn,
                   const QVector<ShapeRecorder::Shape> &own, qreal pageHeight, bool tail, qreal top,
                   qreal bottom);
    // Where the first text of the page's first own row starts, after continued.
    qint64 firstTop64(const Continued &continued) const;

    // A row's box on a page and the lines of its cells drawn there.
    struct Box
    {
        const RowTemplate *row;
        // What is drawn of a row cut by the page's top or foot instead of the row's own
        // borders; nothing where it is not known yet.
        const RowTemplate *outline;
        const QStringList *texts;
        qreal top;
        qreal bottom;
        // By cell: the first line and the end of the lines drawn.
        QVector<int> first;
        QVector<int> end;
        // Where each cell's first line drawn goes.
        qreal firstTop;
    };
    QVector<Box> boxes(const Continued &continued, const QVector<const RowTemplate *> &rows,
                       const QVector<QStringList> &texts, const Page &page) const;

    QVector<ShapeRecorder::Shape> m_pageShapes;
    QFont m_pageNumberFont;
    qreal m_lastRowBottom;
    qint64 m_firstTextTop64;
    qint64 m_staysUpTo64;
    qint64 m_movesFrom64;
    bool m_splitsKnown = false;
    // How far above a row's first line the lines that a split moved on start.
    qint64 m_movedInset64 = 0;
    // The split row above a page's foot, and below the next page's top.
    RowTemplate m_tail;
    RowTemplate m_head;
    qreal m_tailBottom = 0;
};

#endif // ROWPAGEMODEL_H
