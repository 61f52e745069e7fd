#ifndef ROWPAGEMODEL_H
#define ROWPAGEMODEL_H

#include "shaperecorder.h"

#include <QFont>
#include <QStringList>
#include <QVector>

#include <functional>

class CellTextLayouts;
class PagedDocumentPrinter;
class QPainter;
class QTextDocument;
class RowTemplate;
class SteadyPage;

// Where the toolkit puts rows of several shapes down a page in the middle of a table, and the
// page drawn from their templates. A row stays on a page when the first line of one of its
// cells fits above the page's foot; it then holds the page only when all its lines fit, or the
// toolkit would split it. Otherwise it starts the next page, and the row above it reaches down
// to the foot. The foot is known from the toolkit's own layouts, exactly or within a bound:
// a row it does not tell of is left to the toolkit.
class RowPageModel
{
public:
    // The page's own shapes and the foot of its last row from page; rows that start a page have
    // their first text's top at firstTextTop. A row stays when its first line ends at most
    // staysUpTo64 below the page's top, and moves on when at least movesFrom64; between the two
    // the toolkit is asked.
    RowPageModel(const SteadyPage &page, qreal firstTextTop, qint64 staysUpTo64,
                 qint64 movesFrom64);

    QFont pageNumberFont() const { return m_pageNumberFont; }

    enum Fit
    {
        // Whole on the page.
        Stays,
        // To the next page.
        Moves,
        // Split across the page's foot, or not known without the toolkit.
        Unknown,
    };
    // Where row goes with its first text's top top64 below the page's top.
    Fit fit(qint64 top64, const RowTemplate &row) const;

    // Gives the template of the row index rows after the page's first; null where the table
    // ends or the row has none.
    using Rows = std::function<const RowTemplate *(int index)>;
    // How many rows from the page's first stay on it; -1 when the page cannot be told without
    // the toolkit: a row is split, the table ends, or the foot is not known well enough.
    int rowsOnPage(const Rows &rows) const;
    // Draws a page of the rows, as rowsOnPage() counted them, with their texts.
    void paint(QPainter &painter, const QVector<const RowTemplate *> &rows,
               const QVector<QStringList> &texts, CellTextLayouts &layouts) const;

    // Rows of the given kinds to set down pages (pages of them after the first): picked in an
    // order that looks random, but never one that would be split; indexes into kinds.
    QVector<int> sampleRows(const QVector<const RowTemplate *> &kinds, int pages) const;
    // Whether document, laid out by pages from rows whose first starts its second page, has the
    // pages 2 to 4 this model draws of them, texts, rules and borders.
    bool drawsAsTheToolkit(QTextDocument &document, const PagedDocumentPrinter &pages,
                           const QVector<const RowTemplate *> &rows,
                           const QVector<QStringList> &texts, CellTextLayouts &layouts) const;

private:
    QVector<ShapeRecorder::Shape> shapes(const QVector<const RowTemplate *> &rows) const;

    QVector<ShapeRecorder::Shape> m_pageShapes;
    QFont m_pageNumberFont;
    qreal m_lastRowBottom;
    qint64 m_firstTextTop64;
    qint64 m_staysUpTo64;
    qint64 m_movesFrom64;
};

#endif // ROWPAGEMODEL_H
