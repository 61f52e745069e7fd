#include "sessioncsvwriter.h"

#include "usagecsvwriter.h"

namespace {

const QString kHeader = QStringLiteral("Product type,Username,Dongle No.,Start,End,Seconds,State");
const QString kMomentFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString momentText(const QDateTime &moment)
{
    return moment.isValid() ? moment.toString(kMomentFormat) : QString();
}

} // namespace

QByteArray SessionCsvWriter::toCsv(const UsageSessions &sessions, UsageCsvWriter::Formulas formulas)
{
    QString text = kHeader + QLatin1Char('\n');
    const QChar comma = QLatin1Char(',');
    for (auto entry = sessions.sessions().cbegin(); entry != sessions.sessions().cend(); ++entry) {
        const QString type = UsageCsvWriter::quoteField(entry.key(), formulas);
        for (const UsageSession &session : entry.value()) {
            const bool closed = session.state() == UsageSession::Closed;
            text += type + comma + UsageCsvWriter::quoteField(session.userName(), formulas) +
                    comma + UsageCsvWriter::quoteField(session.dogNum(), formulas) + comma +
                    momentText(session.start()) + comma + momentText(session.end()) + comma +
                    (closed ? QString::number(session.seconds()) : QString()) + comma +
                    UsageSession::stateName(session.state()) + QLatin1Char('\n');
        }
    }
    return text.toUtf8();
}
