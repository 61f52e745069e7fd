#include "prxfilereader.h"

#include "linepatternmatcher.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace {

const QString kRunStartPattern = QStringLiteral("PRXUIPluginFacade::onStartup enter");
const QString kRunEndPattern = QStringLiteral("PRXUIPluginFacade::~PRXUIPluginFacade enter");
const QString kUserSetPattern = QStringLiteral("set User");
const QString kEmailKey = QStringLiteral("email");
const QString kDogNumKey = QStringLiteral("dognum");
const QString kProductTypeKey = QStringLiteral("productType");
const QString kIn = QStringLiteral("In");
const QString kOut = QStringLiteral("Out");

struct ProductRun
{
    LogEvent startEvent;
    LogEvent userEvent;
};

struct UserFields
{
    QString userName;
    QString dogNum;
    QString productType;
};

UserFields userFields(const QString &message)
{
    UserFields fields;
    const QString text = PrxFileReader::jsonText(message);
    if (text.isNull())
        return fields;
    // UTF-8, whatever the machine's local encoding: user names and product types are not ASCII
    // everywhere.
    QByteArray json = text.toUtf8();
    const int zero = json.indexOf('\0');
    if (zero >= 0)
        json.truncate(zero);
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (document.isNull())
        return fields;
    const QJsonObject object = document.object();
    fields.userName = object.value(kEmailKey).toString();
    fields.dogNum = object.value(kDogNumKey).toString();
    fields.productType = object.value(kProductTypeKey).toString();
    return fields;
}

void appendRows(UsageTable &table, const ProductRun &run, const LogEvent *endEvent)
{
    const UserFields fields = userFields(run.userEvent.message);
    UsageRecordList &rows = table[fields.productType];
    rows.append(UsageRecord(fields.userName, fields.dogNum, run.startEvent.dateTime, kIn));
    if (endEvent)
        rows.append(UsageRecord(fields.userName, fields.dogNum, endEvent->dateTime, kOut));
}

} // namespace

QString PrxFileReader::jsonText(const QString &message)
{
    // What the pattern "(\{[\S\s]+\})" captures: its leftmost match starts at the first "{"
    // and, being longest, ends at the last "}", with at least one character between. Found
    // directly, since a regular expression search retries from every "{" and a message full of
    // unclosed braces would cost quadratic time.
    const int last = message.lastIndexOf(QLatin1Char('}'));
    const int first = message.indexOf(QLatin1Char('{'));
    if (first < 0 || last < 0 || first > last - 2)
        return QString();
    return message.mid(first, last - first + 1);
}

UsageTable PrxFileReader::buildUsageTable(const QVector<LogEvent> &events) const
{
    UsageTable table;
    std::optional<ProductRun> run;
    for (const LogEvent &event : events) {
        switch (event.kind) {
        case RunStart:
            if (run && !run->userEvent.message.isEmpty())
                appendRows(table, *run, nullptr);
            run = ProductRun{event, LogEvent()};
            break;
        case RunEnd:
            if (!run)
                break;
            if (!run->userEvent.message.isEmpty())
                appendRows(table, *run, &event);
            run.reset();
            break;
        case UserSet:
            if (run)
                run->userEvent = event;
            break;
        default:
            break;
        }
    }
    // A run still open at the end of the log has no known end and yields nothing.
    return table;
}

QString PrxFileReader::runStartPattern() const
{
    return kRunStartPattern;
}

QString PrxFileReader::runEndPattern() const
{
    return kRunEndPattern;
}

QString PrxFileReader::userSetPattern() const
{
    return kUserSetPattern;
}

QString PrxFileReader::linePattern() const
{
    // The matcher's own pattern, so that the linear scan it stands for is always the one used.
    return LinePatternMatcher::stampedLinePattern();
}

qint32 PrxFileReader::dateCaptureIndex() const
{
    return 1;
}

qint32 PrxFileReader::timeCaptureIndex() const
{
    return 2;
}

qint32 PrxFileReader::messageCaptureIndex() const
{
    return 3;
}
