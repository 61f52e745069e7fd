#include "prxfilereader.h"

#include "flatjson.h"
#include "linepatternmatcher.h"
#include "textpool.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <QHash>

#include <optional>
#include <vector>

namespace {

const QString kRunStartPattern = QStringLiteral("PRXUIPluginFacade::onStartup enter");
const QString kRunEndPattern = QStringLiteral("PRXUIPluginFacade::~PRXUIPluginFacade enter");
const QString kUserSetPattern = QStringLiteral("set User");
const QString kEmailKey = QStringLiteral("email");
const QString kDogNumKey = QStringLiteral("dognum");
const QString kProductTypeKey = QStringLiteral("productType");
const QString kIn = QStringLiteral("In");
const QString kOut = QStringLiteral("Out");

// Events of the list being read.
struct ProductRun
{
    const LogEvent *startEvent;
    const LogEvent *userEvent;
};

struct UserFields
{
    QString userName;
    QString dogNum;
    QString productType;
};

// What the pattern "(\{[\S\s]+\})" captures: its leftmost match starts at the first "{" and,
// being longest, ends at the last "}", with at least one character between. Found directly,
// since a regular expression search retries from every "{" and a message full of unclosed braces
// would cost quadratic time. Null when there is no such pair.
QStringRef jsonPart(const QString &message)
{
    const int last = message.lastIndexOf(QLatin1Char('}'));
    const int first = message.indexOf(QLatin1Char('{'));
    if (first < 0 || last < 0 || first > last - 2)
        return QStringRef();
    return message.midRef(first, last - first + 1);
}

// The user's fields of a user-set message. Texts of the plain way go through the pools, so that
// runs of one product type or user share its text.
UserFields userFields(const QString &message, TextPool *pools)
{
    UserFields fields;
    const QStringRef part = jsonPart(message);
    if (part.isNull())
        return fields;
    // A plainly written object, as the product writes it, is read directly.
    static const QString keys[] = {kEmailKey, kDogNumKey, kProductTypeKey};
    QStringRef values[3];
    if (FlatJson::stringMembers(part, keys, 3, values)) {
        QString *const texts[] = {&fields.userName, &fields.dogNum, &fields.productType};
        for (int k = 0; k < 3; ++k) {
            if (!values[k].isNull())
                *texts[k] = pools[k].text(values[k]);
        }
        return fields;
    }
    const QString text = part.toString();
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

// A run that gives rows: its user's fields, its start and, when it ended, its end.
struct FinishedRun
{
    UserFields fields;
    const LogEvent *start;
    const LogEvent *end;
};

void appendRows(UsageTable &table, const FinishedRun &run)
{
    UsageRecordList &rows = table[run.fields.productType];
    rows.append(UsageRecord(run.fields.userName, run.fields.dogNum, run.start->dateTime, kIn));
    if (run.end)
        rows.append(UsageRecord(run.fields.userName, run.fields.dogNum, run.end->dateTime, kOut));
}

} // namespace

QString PrxFileReader::jsonText(const QString &message)
{
    return jsonPart(message).toString();
}

UsageTable PrxFileReader::buildUsageTable(const QVector<LogEvent> &events) const
{
    // The runs first, then the rows, each product type's in a table of the size it needs.
    std::vector<FinishedRun> finished;
    TextPool pools[3];
    const auto finish = [&](const ProductRun &run, const LogEvent *end) {
        finished.push_back(
            FinishedRun{userFields(run.userEvent->message, pools), run.startEvent, end});
    };
    std::optional<ProductRun> run;
    for (const LogEvent &event : events) {
        switch (event.kind) {
        case RunStart:
            if (run && run->userEvent && !run->userEvent->message.isEmpty())
                finish(*run, nullptr);
            run = ProductRun{&event, nullptr};
            break;
        case RunEnd:
            if (!run)
                break;
            if (run->userEvent && !run->userEvent->message.isEmpty())
                finish(*run, &event);
            run.reset();
            break;
        case UserSet:
            if (run)
                run->userEvent = &event;
            break;
        default:
            break;
        }
    }
    // A run still open at the end of the log has no known end and yields nothing.

    QHash<QString, int> rowCounts;
    for (const FinishedRun &done : finished)
        rowCounts[done.fields.productType] += done.end ? 2 : 1;
    UsageTable table;
    for (auto count = rowCounts.cbegin(); count != rowCounts.cend(); ++count)
        table[count.key()].reserve(count.value());
    for (const FinishedRun &done : finished)
        appendRows(table, done);
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
