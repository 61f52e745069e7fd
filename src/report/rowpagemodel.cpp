#include "rowpagemodel.h"

#include "celltextlayouts.h"
#include "pageddocumentprinter.h"
#include "rowtemplate.h"
#include "steadypage.h"

#include <QPainter>
#include <QTextLayout>

RowPageModel::RowPageModel(const SteadyPage &page, qreal firstTextTop, qint64 staysUpTo64,
                           qint64 movesFrom64)
    : m_pageShapes(page.pageShapes()), m_pageNumberFont(page.pageNumberFont()),
      m_lastRowBottom(page.lastRowBottom()), m_firstTextTop64(qRound64(firstTextTop * 64)),
      m_staysUpTo64(staysUpTo64), m_movesFrom64(movesFrom64)
{
}

RowPageModel::Fit RowPageModel::fit(qint64 top64, const RowTemplate &row) const
{
    const qint64 firstLine = top64 + row.firstLine64();
    if (firstLine >= m_movesFrom64)
        return Moves;
    // Split, or maybe split.
    if (firstLine > m_staysUpTo64 || top64 + row.allLines64() > m_staysUpTo64)
        return Unknown;
    return Stays;
}

int RowPageModel::rowsOnPage(const Rows &rows) const
{
    qint64 top = m_firstTextTop64;
    for (int index = 0;; ++index) {
        const RowTemplate *row = rows(index);
        if (!row)
            return -1;
        switch (fit(top, *row)) {
        case Stays:
            top += row->pitch64();
            break;
        case Moves:
            return index > 0 ? index : -1;
        case Unknown:
            return -1;
        }
    }
}

QVector<int> RowPageModel::sampleRows(const QVector<const RowTemplate *> &kinds, int pages) const
{
    QVector<int> picked;
    quint32 state = 12345;
    qint64 top = m_firstTextTop64;
    while (pages >= 0) {
        state = state * 1103515245u + 12345u;
        const int start = int((state >> 16) % quint32(kinds.size()));
        // The first kind from start that is not split here.
        int kind = -1;
        Fit where = Unknown;
        for (int step = 0; step < kinds.size() && where == Unknown; ++step) {
            kind = (start + step) % kinds.size();
            where = fit(top, *kinds.at(kind));
        }
        if (where == Unknown)
            return {};
        picked << kind;
        if (where == Moves) {
            --pages;
            top = m_firstTextTop64;
        }
        top += kinds.at(kind)->pitch64();
    }
    return picked;
}

QVector<ShapeRecorder::Shape> RowPageModel::shapes(const QVector<const RowTemplate *> &rows) const
{
    QVector<ShapeRecorder::Shape> all = m_pageShapes;
    qint64 top = m_firstTextTop64;
    for (int index = 0; index < rows.size(); ++index) {
        const RowTemplate &row = *rows.at(index);
        const qreal textTop = top / 64.0;
        const qreal bottom = index + 1 < rows.size()
                                 ? textTop - row.textInset() + row.pitch64() / 64.0
                                 : m_lastRowBottom;
        row.appendShapes(&all, textTop, bottom);
        top += row.pitch64();
    }
    return all;
}

void RowPageModel::paint(QPainter &painter, const QVector<const RowTemplate *> &rows,
                         const QVector<QStringList> &texts, CellTextLayouts &layouts) const
{
    ShapeRecorder::replay(painter, shapes(rows));
    painter.save();
    // Black text, as the document is drawn: it is paper.
    painter.setPen(QColor(Qt::black));
    qint64 top = m_firstTextTop64;
    for (int index = 0; index < rows.size(); ++index) {
        const QVector<QPointF> origins = rows.at(index)->textOrigins(top / 64.0);
        const QStringList &row = texts.at(index);
        for (int column = 0; column < origins.size() && column < row.size(); ++column)
            layouts.layout(column, row.at(column)).draw(&painter, origins.at(column));
        top += rows.at(index)->pitch64();
    }
    painter.restore();
}

bool RowPageModel::drawsAsTheToolkit(QTextDocument &document, const PagedDocumentPrinter &pages,
                                     const QVector<const RowTemplate *> &rows,
                                     const QVector<QStringList> &texts,
                                     CellTextLayouts &layouts) const
{
    int first = 0;
    for (int page = 2; page <= 4; ++page) {
        const int count = rowsOnPage([&](int index) {
            return first + index < rows.size() ? rows.at(first + index) : nullptr;
        });
        if (count < 1)
            return false;
        ShapeRecorder toolkit(pages.device());
        QPainter drawing(&toolkit);
        pages.drawPage(drawing, document, page);
        drawing.end();
        ShapeRecorder own(pages.device());
        drawing.begin(&own);
        paint(drawing, rows.mid(first, count), texts.mid(first, count), layouts);
        drawing.end();

        QVector<ShapeRecorder::Text> expected = toolkit.texts();
        QVector<ShapeRecorder::Text> actual = own.texts();
        ShapeRecorder::sortTexts(expected);
        ShapeRecorder::sortTexts(actual);
        const QVector<ShapeRecorder::Shape> drawn =
            ShapeRecorder::withoutTransforms(toolkit.shapes());
        if (!toolkit.isComplete() || expected != actual || drawn.isEmpty() ||
            !ShapeRecorder::sameShapes(drawn, own.shapes(), 0, pages.pageHeight()))
            return false;
        first += count;
    }
    return true;
}
