#include "usagesummarywriter.h"

#include "printedtext.h"
#include "workingweek.h"

#include <QFile>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>

namespace {

// Device units per point: fine enough that nothing is placed on a coarse grid.
constexpr int kResolution = 720;
constexpr qreal kUnit = kResolution / 72.0;

const QColor kBlue(0x00, 0x70, 0xC0);
const QColor kPeakColour(0xE3, 0x6C, 0x09);
const QColor kGridColour(0xD0, 0xD0, 0xD0);
const QColor kRuleColour(0x40, 0x40, 0x40);
const QColor kWarningColour(0xB0, 0x20, 0x20);
constexpr int kMostWarningLength = 600;
const QString kSerif = QStringLiteral("Times New Roman");
const QString kSans = QStringLiteral("Arial");
const QString kMomentFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const int kHeaderLineCount = 7;

// Spans longer than these are charted by week, and then by month.
constexpr int kMaxDailyDays = 16 * 7;

// The heights of the charts, kept small enough that a product type's figures and its three
// charts share one page: the page a manager puts on a slide.
constexpr qreal kDailyChartHeight = 120 * kUnit;
constexpr qreal kUtilisationHeight = 110 * kUnit;
constexpr qreal kWeekCellHeight = 10 * kUnit;
constexpr qreal kWeekHeight = 7 * kWeekCellHeight + 57 * kUnit;
// The figures above the charts: the heading, the table of counts and the four key lines.
constexpr qreal kFiguresHeight = 170 * kUnit;
constexpr int kMaxWeeklyDays = 2 * 366;

QFont font(const QString &family, qreal points, bool bold = false)
{
    QFont result(family);
    result.setPointSizeF(points);
    result.setBold(bold);
    return result;
}

QString hoursText(qint64 seconds)
{
    return QString::number(double(seconds) / 3600.0, 'f', 1);
}

QString momentText(const QDateTime &moment)
{
    return moment.isValid() ? moment.toString(kMomentFormat) : QString();
}

// One bar of a chart: the first day it stands for and the highest day peak in it.
struct Bucket
{
    QDate first;
    int peak = 0;
};

// Lays out text from top to bottom, starting a new page when the next piece does not fit.
class PageFlow
{
public:
    PageFlow(QPdfWriter &writer, QPainter &painter)
        : m_writer(writer), m_painter(painter),
          m_width(writer.pageLayout().paintRectPixels(kResolution).width()),
          m_bottom(writer.pageLayout().paintRectPixels(kResolution).height() - 18 * kUnit)
    {
    }

    qreal width() const { return m_width; }
    qreal y() const { return m_y; }
    void advance(qreal height) { m_y += height; }
    bool failed() const { return m_failed; }

    // Starts a new page unless height still fits on this one; true when a page was started.
    bool ensure(qreal height)
    {
        if (m_y + height <= m_bottom || m_y == 0)
            return false;
        finishPage();
        if (!m_writer.newPage())
            m_failed = true;
        ++m_page;
        m_y = 0;
        return true;
    }

    // The page number at the bottom right, as on the usage report.
    void finishPage()
    {
        m_painter.save();
        m_painter.setFont(font(kSerif, 9));
        m_painter.setPen(Qt::black);
        const QRectF box(0, m_bottom + 4 * kUnit, m_width, 14 * kUnit);
        m_painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, QString::number(m_page));
        m_painter.restore();
    }

    // Text across the page, wrapped at words; returns its height.
    qreal paragraph(const QString &text, const QFont &lineFont, const QColor &colour)
    {
        const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
        const qreal height = QFontMetricsF(lineFont, &m_writer)
                                 .boundingRect(QRectF(0, 0, m_width, 1e6), flags, text)
                                 .height();
        ensure(height);
        m_painter.setFont(lineFont);
        m_painter.setPen(colour);
        m_painter.drawText(QRectF(0, m_y, m_width, height), flags, text);
        m_y += height;
        return height;
    }

    // One line of text across the page; returns its height.
    qreal line(const QString &text, const QFont &lineFont, Qt::Alignment align = Qt::AlignLeft,
               const QColor &colour = Qt::black)
    {
        const qreal height = QFontMetricsF(lineFont, &m_writer).height();
        ensure(height);
        m_painter.setFont(lineFont);
        m_painter.setPen(colour);
        m_painter.drawText(QRectF(0, m_y, m_width, height), int(align | Qt::AlignVCenter),
                           PrintedText::cut(text));
        m_y += height;
        return height;
    }

private:
    QPdfWriter &m_writer;
    QPainter &m_painter;
    qreal m_width;
    qreal m_bottom;
    qreal m_y = 0;
    int m_page = 1;
    bool m_failed = false;
};

struct TableColumn
{
    QString title;
    qreal share;
    Qt::Alignment align;
};

// A ruled table in the report's colours: a blue header row that repeats on every page.
void drawTable(PageFlow &flow, QPainter &painter, const QVector<TableColumn> &columns,
               const QVector<QStringList> &rows)
{
    const QFont headerFont = font(kSans, 8.5, true);
    const QFont cellFont = font(kSans, 8.5);
    const qreal rowHeight = 14 * kUnit;
    const qreal padding = 4 * kUnit;
    QVector<qreal> widths;
    qreal shares = 0;
    for (const TableColumn &column : columns)
        shares += column.share;
    for (const TableColumn &column : columns)
        widths << flow.width() * column.share / shares;

    auto drawRow = [&](const QStringList &texts, bool header) {
        qreal x = 0;
        painter.setFont(header ? headerFont : cellFont);
        const QFontMetricsF metrics(painter.font(), painter.device());
        for (int i = 0; i < columns.size(); ++i) {
            const QRectF box(x, flow.y(), widths.at(i), rowHeight);
            if (header)
                painter.fillRect(box, kBlue);
            painter.setPen(QPen(Qt::black, 0.5 * kUnit));
            painter.drawRect(box);
            painter.setPen(header ? Qt::white : Qt::black);
            const QRectF inner = box.adjusted(padding, 0, -padding, 0);
            const QString text =
                metrics.elidedText(PrintedText::cut(texts.value(i)), Qt::ElideRight, inner.width());
            painter.drawText(inner, int(columns.at(i).align | Qt::AlignVCenter), text);
            x += widths.at(i);
        }
        flow.advance(rowHeight);
    };

    QStringList titles;
    for (const TableColumn &column : columns)
        titles << column.title;
    flow.ensure(rowHeight * 2);
    drawRow(titles, true);
    for (const QStringList &row : rows) {
        if (flow.ensure(rowHeight))
            drawRow(titles, true);
        drawRow(row, false);
    }
}

QVector<Bucket> buckets(const ProductTypeFigures &figures)
{
    QVector<Bucket> result;
    const int days = figures.dayPeaks.size();
    const int step = UsageSummaryWriter::bucketDays(days);
    for (int index = 0; index < days; ++index) {
        const QDate day = figures.firstDay.addDays(index);
        bool fresh = result.isEmpty();
        if (!fresh) {
            const QDate &first = result.constLast().first;
            if (step == 1)
                fresh = true;
            else if (step == 7)
                fresh = day.dayOfWeek() == 1;
            else
                fresh = day.day() == 1 && day != first;
        }
        if (fresh)
            result.append(Bucket{day, 0});
        result.last().peak = std::max(result.last().peak, figures.dayPeaks.at(index));
    }
    return result;
}

// A tick step of 1, 2 or 5 times a power of ten that gives at most six steps up to top.
int tickStep(int top)
{
    int step = 1;
    while (true) {
        for (int factor : {1, 2, 5}) {
            if (top / (step * factor) <= 6)
                return step * factor;
        }
        step *= 10;
    }
}

QString bucketLabel(const QDate &first, int step)
{
    if (step == 0)
        return first.toString(QStringLiteral("yyyy-MM"));
    return first.toString(kDateFormat);
}

void drawChart(PageFlow &flow, QPainter &painter, const ProductTypeFigures &figures)
{
    const QVector<Bucket> bars = buckets(figures);
    if (bars.isEmpty())
        return;
    const int step = UsageSummaryWriter::bucketDays(figures.dayPeaks.size());
    const QString caption =
        step == 1   ? QStringLiteral("Sessions running at once: the peak of each day")
        : step == 7 ? QStringLiteral("Sessions running at once: the peak of each week (from "
                                     "Monday)")
                    : QStringLiteral("Sessions running at once: the peak of each month");

    const qreal height = kDailyChartHeight;
    flow.ensure(height);
    flow.line(caption, font(kSans, 9, true));
    const qreal top = flow.y() + 16 * kUnit;
    const qreal left = 30 * kUnit;
    const qreal plotHeight = height - 16 * kUnit - 48 * kUnit;
    const qreal plotWidth = flow.width() - left - 4 * kUnit;
    const qreal bottom = top + plotHeight;

    int peakIndex = -1;
    const QDate peakDay = figures.peakStart.isValid() ? figures.peakStart.date() : QDate();
    for (int index = 0; index < bars.size(); ++index) {
        const QDate next = index + 1 < bars.size() ? bars.at(index + 1).first : QDate();
        if (peakDay.isValid() && peakDay >= bars.at(index).first &&
            (!next.isValid() || peakDay < next))
            peakIndex = index;
    }
    const int topValue = std::max(1, figures.peakConcurrent);
    const int tick = tickStep(topValue);
    const int axisTop = ((topValue + tick - 1) / tick) * tick;
    auto yOf = [&](qreal value) { return bottom - plotHeight * value / axisTop; };

    // Grid lines and the value axis.
    const QFont axisFont = font(kSans, 7.5);
    painter.setFont(axisFont);
    for (int value = 0; value <= axisTop; value += tick) {
        const qreal y = yOf(value);
        painter.setPen(QPen(value == 0 ? kRuleColour : kGridColour, 0.6 * kUnit));
        painter.drawLine(QPointF(left, y), QPointF(left + plotWidth, y));
        painter.setPen(kRuleColour);
        painter.drawText(QRectF(0, y - 6 * kUnit, left - 4 * kUnit, 12 * kUnit),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(value));
    }

    const qreal slot = plotWidth / bars.size();
    const qreal barWidth = std::max(slot * 0.75, std::min(slot, 0.5 * kUnit));
    for (int index = 0; index < bars.size(); ++index) {
        const int value = bars.at(index).peak;
        if (value <= 0)
            continue;
        const qreal x = left + slot * index + (slot - barWidth) / 2;
        painter.fillRect(QRectF(x, yOf(value), barWidth, bottom - yOf(value)),
                         index == peakIndex ? kPeakColour : kBlue);
    }

    // Dates under the axis: the first bar, the last, and evenly spaced ones between.
    const QFontMetricsF axisMetrics(axisFont, painter.device());
    const qreal labelWidth = axisMetrics.horizontalAdvance(QStringLiteral("0000-00-00")) * 1.4;
    const int maxLabels = std::max(2, int(plotWidth / labelWidth));
    const int every = std::max(1, int(std::ceil(double(bars.size()) / maxLabels)));
    painter.setPen(kRuleColour);
    for (int index = 0; index < bars.size(); index += every) {
        const qreal centre = left + slot * (index + 0.5);
        painter.drawLine(QPointF(centre, bottom), QPointF(centre, bottom + 3 * kUnit));
        painter.drawText(
            QRectF(centre - labelWidth / 2, bottom + 4 * kUnit, labelWidth, 12 * kUnit),
            Qt::AlignHCenter | Qt::AlignTop, bucketLabel(bars.at(index).first, step));
    }

    // The overall peak, marked on its bar and named.
    if (peakIndex >= 0 && figures.peakConcurrent > 0) {
        const QString label = QStringLiteral("Peak: %1 at %2")
                                  .arg(figures.peakConcurrent)
                                  .arg(momentText(figures.peakStart));
        const QFont labelFont = font(kSans, 8, true);
        const QFontMetricsF metrics(labelFont, painter.device());
        const qreal width = metrics.horizontalAdvance(label) + 8 * kUnit;
        const qreal centre = left + slot * (peakIndex + 0.5);
        const qreal x = std::clamp(centre - width / 2, left, left + plotWidth - width);
        const qreal y = std::max(top - 14 * kUnit, yOf(figures.peakConcurrent) - 16 * kUnit);
        painter.setFont(labelFont);
        painter.setPen(kPeakColour);
        painter.drawText(QRectF(x, y, width, 12 * kUnit), Qt::AlignCenter, label);
    }
    flow.advance(height - 16 * kUnit);
}

void drawUsers(PageFlow &flow, QPainter &painter, const ProductTypeFigures &figures)
{
    const QLocale numbers = QLocale::c();
    const QVector<TableColumn> userColumns = {
        {QStringLiteral("User"), 2.6, Qt::AlignLeft},
        {QStringLiteral("Sessions"), 1.5, Qt::AlignRight},
        {QStringLiteral("Hours"), 1.1, Qt::AlignRight},
        {QStringLiteral("Most at once"), 2.0, Qt::AlignRight},
        {QStringLiteral("First start"), 2.6, Qt::AlignLeft},
        {QStringLiteral("Last start"), 2.6, Qt::AlignLeft},
    };
    QVector<QStringList> userRows;
    const int listed = std::min<int>(figures.perUser.size(), UsageSummaryWriter::MaxListedUsers);
    for (int index = 0; index < listed; ++index) {
        const ProductTypeFigures::User &user = figures.perUser.at(index);
        userRows.append({user.name.isEmpty() ? QStringLiteral("(no name)") : user.name,
                         numbers.toString(user.closedSessions), hoursText(user.totalSeconds),
                         numbers.toString(user.peakConcurrent), momentText(user.firstStart),
                         momentText(user.lastStart)});
    }
    flow.advance(4 * kUnit);
    // The heading, the table's header and a few rows stay together.
    flow.ensure(90 * kUnit);
    flow.line(QStringLiteral("Users by hours"), font(kSans, 9, true));
    if (userRows.isEmpty()) {
        flow.line(QStringLiteral("No sessions."), font(kSans, 8.5));
        return;
    }
    drawTable(flow, painter, userColumns, userRows);
    const int more = figures.perUser.size() - listed;
    if (more > 0) {
        flow.advance(2 * kUnit);
        flow.line(QStringLiteral("and %1 more users").arg(more), font(kSans, 8.5));
    }
}

// The share of busy time with at least N sessions running, for N = 1 … peak: where it becomes
// negligible is the number of licences needed. Bars over the licences owned are orange.
void drawUtilisation(PageFlow &flow, QPainter &painter, const ProductTypeFigures &figures)
{
    const int peak = figures.secondsAtLeast.size();
    if (peak == 0 || figures.busySeconds <= 0)
        return;
    const qreal height = kUtilisationHeight;
    flow.advance(8 * kUnit);
    flow.ensure(height);
    flow.line(QStringLiteral("Utilisation: share of busy time with at least N sessions running"),
              font(kSans, 9, true));
    const qreal top = flow.y() + 10 * kUnit;
    const qreal left = 30 * kUnit;
    const qreal plotHeight = height - 10 * kUnit - 40 * kUnit;
    const qreal plotWidth = flow.width() - left - 4 * kUnit;
    const qreal bottom = top + plotHeight;
    auto yOf = [&](qreal share) { return bottom - plotHeight * share; };

    const QFont axisFont = font(kSans, 7.5);
    painter.setFont(axisFont);
    for (int percent = 0; percent <= 100; percent += 25) {
        const qreal y = yOf(percent / 100.0);
        painter.setPen(QPen(percent == 0 ? kRuleColour : kGridColour, 0.6 * kUnit));
        painter.drawLine(QPointF(left, y), QPointF(left + plotWidth, y));
        painter.setPen(kRuleColour);
        painter.drawText(QRectF(0, y - 6 * kUnit, left - 4 * kUnit, 12 * kUnit),
                         Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1%").arg(percent));
    }
    const qreal slot = plotWidth / peak;
    const qreal barWidth = std::max(slot * 0.75, std::min(slot, 0.5 * kUnit));
    const QFontMetricsF axisMetrics(axisFont, painter.device());
    const int every = std::max(
        1, int(std::ceil(axisMetrics.horizontalAdvance(QString::number(peak)) * 2.5 / slot)));
    for (int level = 1; level <= peak; ++level) {
        const qreal share =
            double(figures.secondsAtLeast.at(level - 1)) / double(figures.busySeconds);
        const qreal x = left + slot * (level - 1) + (slot - barWidth) / 2;
        const bool over = figures.owned >= 0 && level > figures.owned;
        painter.fillRect(QRectF(x, yOf(share), barWidth, bottom - yOf(share)),
                         over ? kPeakColour : kBlue);
        if ((level - 1) % every == 0 || level == peak) {
            painter.setPen(kRuleColour);
            painter.drawText(
                QRectF(left + slot * (level - 1), bottom + 2 * kUnit, slot, 12 * kUnit),
                Qt::AlignHCenter | Qt::AlignTop, QString::number(level));
        }
    }
    painter.setPen(kRuleColour);
    painter.drawText(QRectF(left, bottom + 14 * kUnit, plotWidth, 12 * kUnit),
                     Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("N sessions running at once"));
    if (figures.owned >= 0 && figures.owned <= peak) {
        const qreal x = left + slot * figures.owned;
        painter.setPen(QPen(kRuleColour, 0.8 * kUnit, Qt::DashLine));
        painter.drawLine(QPointF(x, top), QPointF(x, bottom));
        const QFont ownedFont = font(kSans, 8, true);
        const QString owned = QStringLiteral("%1 owned").arg(figures.owned);
        const qreal labelWidth =
            QFontMetricsF(ownedFont, painter.device()).horizontalAdvance(owned) + 3 * kUnit;
        // Right of the mark, or left of it where the plot ends.
        const bool rightOfMark = x + labelWidth <= left + plotWidth;
        painter.setFont(ownedFont);
        painter.drawText(QRectF(rightOfMark ? x : x - labelWidth, top, labelWidth, 12 * kUnit),
                         (rightOfMark ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop, owned);
    }
    flow.advance(height - 10 * kUnit);
}

// White for no one running, the report's blue for the most.
QColor weekColour(double share)
{
    return QColor::fromRgbF(1 - share * (1 - kBlue.redF()), 1 - share * (1 - kBlue.greenF()),
                            1 - share * (1 - kBlue.blueF()));
}

// The scale of the heat map at the right end of line: its colours from 0 to the most running
// on average in any hour.
void drawWeekLegend(QPainter &painter, const QRectF &line, double most)
{
    const QFont legendFont = font(kSans, 7.5);
    const QFontMetricsF metrics(legendFont, painter.device());
    const QString low = QStringLiteral("0");
    const QString high = QString::number(most, 'f', 2);
    const qreal barWidth = 70 * kUnit;
    const qreal gap = 3 * kUnit;
    const qreal highWidth = metrics.horizontalAdvance(high);
    const qreal barLeft = line.right() - highWidth - gap - barWidth;
    const QRectF bar(barLeft, line.top() + 2 * kUnit, barWidth, line.height() - 4 * kUnit);
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    gradient.setColorAt(0, weekColour(0));
    gradient.setColorAt(1, weekColour(1));
    painter.fillRect(bar, gradient);
    painter.setPen(QPen(kGridColour, 0.4 * kUnit));
    painter.drawRect(bar);
    painter.setFont(legendFont);
    painter.setPen(kRuleColour);
    painter.drawText(QRectF(bar.right() + gap, line.top(), highWidth + gap, line.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, high);
    const QString caption = QStringLiteral("running on average: ") + low;
    const qreal captionWidth = metrics.horizontalAdvance(caption);
    painter.drawText(
        QRectF(barLeft - gap - captionWidth, line.top(), captionWidth + gap, line.height()),
        Qt::AlignLeft | Qt::AlignVCenter, caption);
}

// 7 rows by 24 hours, each the average number of sessions running, darker for more; the
// busiest hour is named under it.
void drawWeek(PageFlow &flow, QPainter &painter, const ProductTypeFigures &figures)
{
    if (figures.week.isEmpty() || figures.busySeconds <= 0)
        return;
    double most = 0;
    int busiestDay = 1;
    int busiestHour = 0;
    for (int day = 1; day <= 7; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            if (figures.week.cell(day, hour).average > most) {
                most = figures.week.cell(day, hour).average;
                busiestDay = day;
                busiestHour = hour;
            }
        }
    }
    const qreal cellHeight = kWeekCellHeight;
    const qreal height = kWeekHeight;
    flow.advance(6 * kUnit);
    flow.ensure(height);
    flow.line(QStringLiteral("The working week: sessions running on average, by weekday and hour"),
              font(kSans, 9, true));
    const qreal left = 30 * kUnit;
    const qreal top = flow.y() + 12 * kUnit;
    const qreal cellWidth = (flow.width() - left) / 24;
    const QFont axisFont = font(kSans, 7.5);
    painter.setFont(axisFont);
    painter.setPen(kRuleColour);
    for (int hour = 0; hour < 24; hour += 2)
        painter.drawText(QRectF(left + cellWidth * hour, top - 11 * kUnit, cellWidth, 10 * kUnit),
                         Qt::AlignHCenter | Qt::AlignBottom, QString::number(hour));
    for (int day = 1; day <= 7; ++day) {
        const qreal y = top + cellHeight * (day - 1);
        painter.setPen(kRuleColour);
        painter.drawText(QRectF(0, y, left - 4 * kUnit, cellHeight),
                         Qt::AlignRight | Qt::AlignVCenter,
                         QLocale::c().dayName(day, QLocale::ShortFormat));
        for (int hour = 0; hour < 24; ++hour) {
            const double share = most > 0 ? figures.week.cell(day, hour).average / most : 0;
            const QColor colour = weekColour(share);
            const QRectF box(left + cellWidth * hour, y, cellWidth, cellHeight);
            painter.fillRect(box, colour);
            painter.setPen(QPen(kGridColour, 0.4 * kUnit));
            painter.drawRect(box);
            if (day == busiestDay && hour == busiestHour) {
                painter.setPen(QPen(kPeakColour, 1.5 * kUnit));
                painter.drawRect(box);
            }
        }
    }
    const WorkingWeek::Cell busiest = figures.week.cell(busiestDay, busiestHour);
    painter.setPen(kRuleColour);
    painter.setFont(font(kSans, 8));
    painter.drawText(
        QRectF(left, top + 7 * cellHeight + 4 * kUnit, flow.width() - left, 12 * kUnit),
        Qt::AlignLeft | Qt::AlignTop,
        QStringLiteral("Busiest hour: %1 %2:00 to %3:00, %4 running on average, at "
                       "most %5 at once")
            .arg(QLocale::c().dayName(busiestDay, QLocale::ShortFormat))
            .arg(busiestHour, 2, 10, QLatin1Char('0'))
            .arg((busiestHour + 1) % 24, 2, 10, QLatin1Char('0'))
            .arg(QString::number(busiest.average, 'f', 2))
            .arg(busiest.peak));
    drawWeekLegend(painter,
                   QRectF(left, top + 7 * cellHeight + 17 * kUnit, flow.width() - left, 12 * kUnit),
                   most);
    flow.advance(height - 12 * kUnit);
}

// The dongles not started for the idle days before the period's end, longest idle first.
void drawIdleDongles(PageFlow &flow, QPainter &painter, const ProductTypeFigures &figures)
{
    if (figures.perDongle.isEmpty())
        return;
    QVector<ProductTypeFigures::Dongle> idle;
    for (const ProductTypeFigures::Dongle &dongle : figures.perDongle) {
        if (dongle.idle)
            idle << dongle;
    }
    std::stable_sort(idle.begin(), idle.end(), [](const auto &a, const auto &b) {
        if (a.lastStart.isValid() != b.lastStart.isValid())
            return !a.lastStart.isValid();
        return a.lastStart.toSecsSinceEpoch() < b.lastStart.toSecsSinceEpoch();
    });
    flow.advance(6 * kUnit);
    flow.ensure(60 * kUnit);
    flow.line(QStringLiteral("Idle dongles"), font(kSans, 9, true));
    if (idle.isEmpty()) {
        flow.line(QStringLiteral("None: every dongle started a session lately."), font(kSans, 8.5));
        return;
    }
    const QDate periodEnd = figures.firstDay.addDays(figures.dayPeaks.size());
    const QLocale numbers = QLocale::c();
    QVector<QStringList> rows;
    const int listed = std::min<int>(idle.size(), UsageSummaryWriter::MaxListedUsers);
    for (int index = 0; index < listed; ++index) {
        const ProductTypeFigures::Dongle &dongle = idle.at(index);
        const QString days = dongle.lastStart.isValid() && periodEnd.isValid()
                                 ? numbers.toString(dongle.lastStart.date().daysTo(periodEnd))
                                 : QStringLiteral("never used");
        rows.append({dongle.name, momentText(dongle.lastStart), days,
                     numbers.toString(dongle.closedSessions), hoursText(dongle.totalSeconds)});
    }
    drawTable(flow, painter,
              {{QStringLiteral("Dongle"), 2.6, Qt::AlignLeft},
               {QStringLiteral("Last start"), 2.6, Qt::AlignLeft},
               {QStringLiteral("Days idle"), 1.4, Qt::AlignRight},
               {QStringLiteral("Sessions"), 1.4, Qt::AlignRight},
               {QStringLiteral("Hours"), 1.1, Qt::AlignRight}},
              rows);
    if (idle.size() > listed) {
        flow.advance(2 * kUnit);
        flow.line(QStringLiteral("and %1 more").arg(idle.size() - listed), font(kSans, 8.5));
    }
}

// From an archive: each machine's figures beside the site's. The site's peak is
// across the machines, at one instant, so it may exceed every machine's.
void drawMachines(PageFlow &flow, QPainter &painter, const ProductTypeFigures &figures)
{
    if (figures.perMachine.isEmpty())
        return;
    const QLocale numbers = QLocale::c();
    QVector<QStringList> rows;
    const int listed = std::min<int>(figures.perMachine.size(), UsageSummaryWriter::MaxListedUsers);
    for (int index = 0; index < listed; ++index) {
        const ProductTypeFigures &machine = figures.perMachine.at(index);
        rows.append({machine.name, numbers.toString(machine.closedSessions),
                     hoursText(machine.totalSeconds), hoursText(machine.busySeconds),
                     numbers.toString(machine.peakConcurrent),
                     numbers.toString(machine.licencesFor(0.95)),
                     numbers.toString(machine.licencesFor(0.99))});
    }
    flow.advance(4 * kUnit);
    flow.ensure(60 * kUnit);
    flow.line(QStringLiteral("Per machine"), font(kSans, 9, true));
    drawTable(flow, painter,
              {{QStringLiteral("Machine"), 2.6, Qt::AlignLeft},
               {QStringLiteral("Sessions"), 1.4, Qt::AlignRight},
               {QStringLiteral("Hours"), 1.2, Qt::AlignRight},
               {QStringLiteral("Busy hours"), 1.5, Qt::AlignRight},
               {QStringLiteral("Peak"), 1.0, Qt::AlignRight},
               {QStringLiteral("For 95%"), 1.3, Qt::AlignRight},
               {QStringLiteral("For 99%"), 1.3, Qt::AlignRight}},
              rows);
    if (figures.perMachine.size() > listed) {
        flow.advance(2 * kUnit);
        flow.line(QStringLiteral("and %1 more").arg(figures.perMachine.size() - listed),
                  font(kSans, 8.5));
    }
    flow.advance(6 * kUnit);
}

void drawProductType(PageFlow &flow, QPainter &painter, const ProductTypeFigures &figures,
                     bool first)
{
    // The figures and the charts of a product type stay on one page, the page a manager puts on
    // a slide; the tables may run on. The first follows the header on the first page whatever.
    if (!first)
        flow.ensure(kFiguresHeight + kDailyChartHeight + 8 * kUnit + kUtilisationHeight +
                    6 * kUnit + kWeekHeight);
    else
        flow.ensure(120 * kUnit);
    flow.advance(10 * kUnit);
    flow.line(QStringLiteral("Product type: ") + figures.name, font(kSerif, 14));
    flow.advance(4 * kUnit);

    const QLocale numbers = QLocale::c();
    const QVector<TableColumn> figureColumns = {
        {QStringLiteral("Sessions"), 2.2, Qt::AlignLeft},
        {QStringLiteral("Count"), 1, Qt::AlignRight},
        {QStringLiteral("Users and dongles"), 2.2, Qt::AlignLeft},
        {QStringLiteral("Count"), 1, Qt::AlignRight},
    };
    const QVector<QStringList> figureRows = {
        {QStringLiteral("Closed"), numbers.toString(figures.closedSessions),
         QStringLiteral("Users"), numbers.toString(figures.users)},
        {QStringLiteral("Open (no end in the log)"), numbers.toString(figures.openSessions),
         QStringLiteral("Dongles"), numbers.toString(figures.dongles)},
        {QStringLiteral("Undated"), numbers.toString(figures.undatedSessions),
         QStringLiteral("Unpaired ends"), numbers.toString(figures.unpairedEnds)},
        {QStringLiteral("Invalid (end before start)"), numbers.toString(figures.invalidSessions),
         QString(), QString()},
    };
    drawTable(flow, painter, figureColumns, figureRows);
    flow.advance(6 * kUnit);

    const QFont keyFont = font(kSans, 10.5, true);
    flow.line(QStringLiteral("Total hours: ") + hoursText(figures.totalSeconds), keyFont);
    const QString peak = figures.peakStart.isValid()
                             ? QStringLiteral("Peak concurrent use: %1 at %2")
                                   .arg(figures.peakConcurrent)
                                   .arg(momentText(figures.peakStart))
                             : QStringLiteral("Peak concurrent use: 0 (no closed session)");
    flow.line(peak, keyFont);
    flow.line(QStringLiteral("Licences for 99% of busy time: %1").arg(figures.licencesFor(0.99)),
              keyFont);
    if (figures.owned >= 0)
        flow.line(QStringLiteral("Licences owned: %1; over %1 for %2 hours")
                      .arg(figures.owned)
                      .arg(hoursText(figures.secondsOver(figures.owned))),
                  keyFont);
    flow.advance(8 * kUnit);

    drawChart(flow, painter, figures);
    drawUtilisation(flow, painter, figures);
    drawWeek(flow, painter, figures);
    drawMachines(flow, painter, figures);
    drawUsers(flow, painter, figures);
    drawIdleDongles(flow, painter, figures);
}

} // namespace

UsageSummaryWriter::UsageSummaryWriter(const UsageReportWriter::Header &header)
    : m_header(header.isEmpty() ? UsageReportWriter::defaultHeader() : header)
{
}

QString UsageSummaryWriter::summaryFilePath(const QString &folder, const QString &productCode)
{
    return folder + QLatin1Char('/') + productCode + QStringLiteral("_UsageSummary.pdf");
}

int UsageSummaryWriter::bucketDays(int days)
{
    if (days <= kMaxDailyDays)
        return 1;
    if (days <= kMaxWeeklyDays)
        return 7;
    return 0;
}

bool UsageSummaryWriter::print(const UsageSummary &summary, const QString &path) const
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && print(summary, &file) &&
           file.flush();
}

bool UsageSummaryWriter::print(const UsageSummary &summary, QIODevice *device) const
{
    QPdfWriter writer(device);
    writer.setResolution(kResolution);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    writer.setTitle(QStringLiteral("%1 usage summary").arg(summary.productCode));
    writer.setCreator(QStringLiteral("PlinthraUsageTool"));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    PageFlow flow(writer, painter);

    // The report's header block, right-aligned: the company in blue and bold, then its lines.
    flow.line(m_header.value(QStringLiteral("company")), font(kSerif, 8, true), Qt::AlignRight,
              kBlue);
    for (int line = 1; line <= kHeaderLineCount; ++line)
        flow.line(m_header.value(QStringLiteral("line%1").arg(line)), font(kSerif, 8),
                  Qt::AlignRight);
    flow.advance(10 * kUnit);
    flow.line(QStringLiteral("USAGE SUMMARY"), font(kSerif, 28, true), Qt::AlignHCenter);
    flow.advance(6 * kUnit);

    const QFont bodyFont = font(kSans, 10);
    flow.line(QStringLiteral("Product: ") + summary.productCode, bodyFont);
    // An open bound of the range is taken from the sessions; with none to take it from, the
    // bound given is still shown.
    const QDate first = summary.periodFirst.isValid() ? summary.periodFirst : summary.from;
    const QDate last = summary.periodLast.isValid() ? summary.periodLast : summary.to;
    const QString unknown = QStringLiteral("\u2026");
    QString period = first.isValid() || last.isValid()
                         ? QStringLiteral("Period: %1 to %2")
                               .arg(first.isValid() ? first.toString(kDateFormat) : unknown,
                                    last.isValid() ? last.toString(kDateFormat) : unknown)
                         : QStringLiteral("Period: no dated sessions");
    if (summary.from.isNull() && summary.to.isNull())
        period += QStringLiteral(" (everything in the logs)");
    flow.line(period, bodyFont);
    for (const QString &warning : summary.warnings) {
        flow.advance(2 * kUnit);
        // Long enough for a log's path and a few product types, short enough for the page.
        const QString text = warning.size() > kMostWarningLength
                                 ? warning.left(kMostWarningLength) + QChar(0x2026)
                                 : warning;
        flow.paragraph(QStringLiteral("Warning: ") + text, bodyFont, kWarningColour);
    }

    if (summary.productTypes.isEmpty()) {
        flow.advance(10 * kUnit);
        flow.line(QStringLiteral("No sessions in this period."), bodyFont);
    }
    for (const ProductTypeFigures &figures : summary.productTypes)
        drawProductType(flow, painter, figures, &figures == &summary.productTypes.constFirst());
    flow.finishPage();
    const bool ended = painter.end();
    return ended && !flow.failed();
}
