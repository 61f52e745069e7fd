#include "summaryjsonwriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

QJsonValue momentValue(const QDateTime &moment)
{
    if (!moment.isValid())
        return QJsonValue::Null;
    return moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QJsonValue dateValue(const QDate &date)
{
    if (date.isNull())
        return QJsonValue::Null;
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

// The figures that answer how many licences the site needs; the licences owned only for the
// site, whose they are.
void addLicenceFigures(const ProductTypeFigures &figures, bool site, QJsonObject *object)
{
    QJsonArray concurrency;
    for (int level = 1; level <= figures.secondsAtLeast.size(); ++level)
        concurrency.append(
            QJsonObject{{QStringLiteral("atLeast"), level},
                        {QStringLiteral("seconds"), double(figures.secondsAtLeast.at(level - 1))}});
    QJsonArray coverage;
    for (const double share : {0.95, 0.99, 1.0})
        coverage.append(QJsonObject{{QStringLiteral("share"), share},
                                    {QStringLiteral("licences"), figures.licencesFor(share)}});
    QJsonArray dongles;
    for (const ProductTypeFigures::Dongle &dongle : figures.perDongle)
        dongles.append(QJsonObject{
            {QStringLiteral("name"), dongle.name},
            {QStringLiteral("closedSessions"), dongle.closedSessions},
            {QStringLiteral("totalSeconds"), double(dongle.totalSeconds)},
            {QStringLiteral("users"), dongle.users},
            {QStringLiteral("firstStart"), momentValue(dongle.firstStart)},
            {QStringLiteral("lastStart"), momentValue(dongle.lastStart)},
            {QStringLiteral("idle"), dongle.idle},
        });
    QJsonArray week;
    for (int day = 1; day <= 7; ++day) {
        QJsonArray hours;
        for (int hour = 0; hour < 24; ++hour) {
            const WorkingWeek::Cell cell = figures.week.cell(day, hour);
            hours.append(
                QJsonObject{{QStringLiteral("average"), std::round(cell.average * 100.0) / 100.0},
                            {QStringLiteral("peak"), cell.peak}});
        }
        week.append(hours);
    }
    object->insert(QStringLiteral("busySeconds"), double(figures.busySeconds));
    object->insert(QStringLiteral("concurrency"), concurrency);
    object->insert(QStringLiteral("coverage"), coverage);
    if (site) {
        object->insert(QStringLiteral("owned"), figures.owned < 0 ? QJsonValue(QJsonValue::Null)
                                                                  : QJsonValue(figures.owned));
        object->insert(QStringLiteral("secondsOverOwned"),
                       figures.owned < 0 ? QJsonValue(QJsonValue::Null)
                                         : QJsonValue(double(figures.secondsOver(figures.owned))));
    }
    object->insert(QStringLiteral("perDongle"), dongles);
    object->insert(QStringLiteral("week"), week);
}

// A product type's figures, or a machine's (site false: named after the machine, without the
// licences owned and without machines of its own).
QJsonObject figuresObject(const ProductTypeFigures &figures, bool site)
{
    QJsonArray users;
    for (const ProductTypeFigures::User &user : figures.perUser) {
        users.append(QJsonObject{
            {QStringLiteral("name"), user.name},
            {QStringLiteral("closedSessions"), user.closedSessions},
            {QStringLiteral("totalSeconds"), double(user.totalSeconds)},
            {QStringLiteral("peakConcurrent"), user.peakConcurrent},
            {QStringLiteral("firstStart"), momentValue(user.firstStart)},
            {QStringLiteral("lastStart"), momentValue(user.lastStart)},
        });
    }
    QJsonObject type{
        {QStringLiteral("name"), figures.name},
        {QStringLiteral("closedSessions"), figures.closedSessions},
        {QStringLiteral("openSessions"), figures.openSessions},
        {QStringLiteral("undatedSessions"), figures.undatedSessions},
        {QStringLiteral("invalidSessions"), figures.invalidSessions},
        {QStringLiteral("unpairedEnds"), figures.unpairedEnds},
        {QStringLiteral("users"), figures.users},
        {QStringLiteral("dongles"), figures.dongles},
        {QStringLiteral("totalSeconds"), double(figures.totalSeconds)},
        {QStringLiteral("peakConcurrent"), figures.peakConcurrent},
        {QStringLiteral("peakStart"), momentValue(figures.peakStart)},
        {QStringLiteral("perUser"), users},
    };
    addLicenceFigures(figures, site, &type);
    if (site && !figures.perMachine.isEmpty()) {
        QJsonArray machines;
        for (const ProductTypeFigures &machine : figures.perMachine)
            machines.append(figuresObject(machine, false));
        type.insert(QStringLiteral("perMachine"), machines);
    }
    return type;
}

} // namespace

QByteArray SummaryJsonWriter::toJson(const UsageSummary &summary)
{
    QJsonArray types;
    for (const ProductTypeFigures &figures : summary.productTypes)
        types.append(figuresObject(figures, true));
    const QJsonObject root{
        {QStringLiteral("product"), summary.productCode},
        {QStringLiteral("from"), dateValue(summary.from)},
        {QStringLiteral("to"), dateValue(summary.to)},
        {QStringLiteral("productTypes"), types},
        {QStringLiteral("warnings"), QJsonArray::fromStringList(summary.warnings)},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
