#include "steadypage.h"

#include "celltextlayouts.h"
#include "pageddocumentprinter.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

QTextBlock cellBlock(QTextTable *table, int row, int column)
{
    return table->cellAt(row, column).firstCursorPosition().block();
}

// The rows that start pages, by page index (from 0); the first row that does for each.
std::map<int, int> pageStarts(QTextDocument &document, QTextTable *table, qreal pageHeight,
                              qreal rowTop)
{
    std::map<int, int> starts;
    QAbstractTextDocumentLayout *layout = document.documentLayout();
    // Row 0 is the header row.
    for (int row = 1; row < table->rows(); ++row) {
        const qreal top = layout->blockBoundingRect(cellBlock(table, row, 0)).top();
        const int index = int(std::floor(top / pageHeight));
        if (index >= 1 && std::abs(top - index * pageHeight - rowTop) < 0.01)
            starts.emplace(index, row);
    }
    return starts;
}

// Whether block holds the lines layout holds, placed alike.
bool sameLines(const QTextLayout *block, const QTextLayout &layout)
{
    if (!block || block->lineCount() != layout.lineCount())
        return false;
    for (int line = 0; line < layout.lineCount(); ++line) {
        if (block->lineAt(line).position() != layout.lineAt(line).position() ||
            block->lineAt(line).textLength() != layout.lineAt(line).textLength())
            return false;
    }
    return true;
}

bool before(const ShapeRecorder::Text &one, const ShapeRecorder::Text &other)
{
    if (one.position.y() != other.position.y())
        return one.position.y() < other.position.y();
    if (one.position.x() != other.position.x())
        return one.position.x() < other.position.x();
    return one.text < other.text;
}

} // namespace

std::unique_ptr<SteadyPage> SteadyPage::make(QTextDocument &document,
                                             const PagedDocumentPrinter &pages, qreal rowTop,
                                             const QStringList &texts, CellTextLayouts &layouts,
                                             bool *tooShort)
{
    *tooShort = false;
    const QList<QTextFrame *> frames = document.rootFrame()->childFrames();
    QTextTable *table = frames.size() == 1 ? qobject_cast<QTextTable *>(frames.first()) : nullptr;
    if (!table || table->columns() != layouts.columnCount() ||
        texts.size() != layouts.columnCount())
        return nullptr;
    int first = 0;
    int rows = 0;
    if (!steadyRows(document, table, pages.pageHeight(), rowTop, &first, &rows, tooShort))
        return nullptr;

    std::unique_ptr<SteadyPage> page(new SteadyPage);
    page->m_pageNumberFont = document.defaultFont();
    if (!page->placeTexts(document, table, first, rows, pages.pageHeight(), texts, layouts))
        return nullptr;
    ShapeRecorder toolkit(pages.device());
    QPainter painter(&toolkit);
    pages.drawPage(painter, document, 3);
    painter.end();
    page->m_shapes = toolkit.shapes();
    if (!toolkit.isComplete() ||
        !page->drawsAsTheToolkit(toolkit.texts(), texts, pages.device(), layouts))
        return nullptr;
    return page;
}

bool SteadyPage::steadyRows(QTextDocument &document, QTextTable *table, qreal pageHeight,
                            qreal rowTop, int *first, int *rows, bool *tooShort)
{
    const std::map<int, int> starts = pageStarts(document, table, pageHeight, rowTop);
    // Page 3 is the steady one: full pages before and after it.
    const auto second = starts.find(1);
    const auto third = starts.find(2);
    const auto fourth = starts.find(3);
    if (second == starts.end() || third == starts.end() || fourth == starts.end()) {
        // More copies help only when these ran out before a fifth page.
        const QTextBlock last = cellBlock(table, table->rows() - 1, 0);
        *tooShort = document.documentLayout()->blockBoundingRect(last).top() < 4 * pageHeight;
        return false;
    }
    *first = third->second;
    *rows = fourth->second - third->second;
    return *rows >= 1 && third->second - second->second == *rows;
}

bool SteadyPage::placeTexts(QTextDocument &document, QTextTable *table, int first, int rows,
                            qreal pageHeight, const QStringList &texts, CellTextLayouts &layouts)
{
    const QPointF pageTop(0, 2 * pageHeight);
    for (int row = 0; row < rows; ++row) {
        QVector<QPointF> origins;
        for (int column = 0; column < texts.size(); ++column) {
            const QTextBlock block = cellBlock(table, first + row, column);
            if (!sameLines(block.layout(), layouts.layout(column, texts.at(column))))
                return false;
            // A cell's lines start at the left of its block, so the block's bounds start where
            // its layout is drawn.
            origins << document.documentLayout()->blockBoundingRect(block).topLeft() - pageTop;
        }
        m_origins << origins;
    }
    return true;
}

bool SteadyPage::drawsAsTheToolkit(const QVector<ShapeRecorder::Text> &drawn,
                                   const QStringList &texts, const QPaintDevice &device,
                                   CellTextLayouts &layouts) const
{
    ShapeRecorder own(device);
    QPainter painter(&own);
    paint(painter, QVector<QStringList>(rowsPerPage(), texts), layouts);
    painter.end();
    QVector<ShapeRecorder::Text> expected = drawn;
    QVector<ShapeRecorder::Text> actual = own.texts();
    std::sort(expected.begin(), expected.end(), before);
    std::sort(actual.begin(), actual.end(), before);
    return own.isComplete() && actual == expected && own.shapes().size() == m_shapes.size();
}

void SteadyPage::paint(QPainter &painter, const QVector<QStringList> &rows,
                       CellTextLayouts &layouts) const
{
    ShapeRecorder::replay(painter, m_shapes);
    painter.save();
    // Black text, as the document is drawn: it is paper.
    painter.setPen(QColor(Qt::black));
    for (int row = 0; row < m_origins.size(); ++row) {
        const QVector<QPointF> &origins = m_origins.at(row);
        const QStringList &texts = rows.at(row);
        for (int column = 0; column < origins.size(); ++column)
            layouts.layout(column, texts.at(column)).draw(&painter, origins.at(column));
    }
    painter.restore();
}
