#include "summaryjsonwriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

} // namespace

QByteArray SummaryJsonWriter::toJson(const UsageSummary &summary)
{
    QJsonArray types;
    for (const ProductTypeFigures &figures : summary.productTypes) {
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
        types.append(QJsonObject{
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
        });
    }
    const QJsonObject root{
        {QStringLiteral("product"), summary.productCode},
        {QStringLiteral("from"), dateValue(summary.from)},
        {QStringLiteral("to"), dateValue(summary.to)},
        {QStringLiteral("productTypes"), types},
        {QStringLiteral("warnings"), QJsonArray::fromStringList(summary.warnings)},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
