#include "usagecsvwriter.h"

namespace {

const QString kHeader = QStringLiteral("Product type,Username,Dongle No.,Date,Time,Log");

} // namespace

QString UsageCsvWriter::quoteField(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\r')) && !field.contains(QLatin1Char('\n')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray UsageCsvWriter::toCsv(const UsageTable &table)
{
    QString text = kHeader + QLatin1Char('\n');
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        const QString type = quoteField(it.key());
        for (const UsageRecord &record : it.value()) {
            text += type + QLatin1Char(',') + quoteField(record.userName()) + QLatin1Char(',') +
                    quoteField(record.dogNum()) + QLatin1Char(',') + record.dateText() +
                    QLatin1Char(',') + record.timeText() + QLatin1Char(',') +
                    quoteField(record.logAction()) + QLatin1Char('\n');
        }
    }
    return text.toUtf8();
}
