#include "usagecsvwriter.h"

namespace {

const QString kHeader = QStringLiteral("Product type,Username,Dongle No.,Date,Time,Log");

} // namespace

QString UsageCsvWriter::neutralised(const QString &field)
{
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    if (field.isEmpty() || !kFormulaStarts.contains(field.at(0)))
        return field;
    return QLatin1Char('\'') + field;
}

QString UsageCsvWriter::quoteField(const QString &text, Formulas formulas)
{
    const QString field = formulas == Formulas::Raw ? text : neutralised(text);
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) &&
        !field.contains(QLatin1Char('\r')) && !field.contains(QLatin1Char('\n')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray UsageCsvWriter::toCsv(const UsageTable &table, Formulas formulas)
{
    QString text = kHeader + QLatin1Char('\n');
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        const QString type = quoteField(it.key(), formulas);
        for (const UsageRecord &record : it.value()) {
            text += type + QLatin1Char(',') + quoteField(record.userName(), formulas) +
                    QLatin1Char(',') + quoteField(record.dogNum(), formulas) + QLatin1Char(',') +
                    record.dateText() + QLatin1Char(',') + record.timeText() + QLatin1Char(',') +
                    quoteField(record.logAction(), formulas) + QLatin1Char('\n');
        }
    }
    return text.toUtf8();
}
