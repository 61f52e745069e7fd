#include "filereaderbycsv.h"

#include "datetimecodec.h"
#include "linereader.h"
#include "regularfile.h"

#include <QByteArray>
#include <QFile>

namespace {

const QString kInAction = QStringLiteral("In");
const QString kOutAction = QStringLiteral("Out");
const QString kMomentTemplate = QStringLiteral("yyyy%1MM%1dd HH:mm");
// Tried in this order; a moment holding both ends up parsed with the last one.
const QString kDateSeparators[] = {QStringLiteral("-"), QStringLiteral("/")};
const QChar kFieldSeparator = QLatin1Char(',');
const QChar kDroppedMark = QLatin1Char(';');
const QChar kLineEnd = QLatin1Char('\n');
constexpr int kFieldCount = 5;

} // namespace

UsageTable FileReaderByCSV::read(const QString &path)
{
    return readLocation(path).table;
}

LocationRead FileReaderByCSV::readLocation(const QString &path)
{
    LocationRead result;
    QFile file;
    // LineReader delivers a CR LF line end as LF.
    const RegularFile::Outcome outcome = RegularFile::open(path, &file);
    result.status = RegularFile::locationStatus(outcome);
    if (outcome != RegularFile::Outcome::Opened)
        return result;

    const int separatorCount = int(sizeof(kDateSeparators) / sizeof(kDateSeparators[0]));
    QVector<DateTimeCodec> codecs;
    for (const QString &separator : kDateSeparators)
        codecs.append(DateTimeCodec(kMomentTemplate.arg(separator)));

    UsageRecordList rows;
    QString tableKey;
    LineReader lines(&file);
    QByteArray raw;
    while (lines.next(&raw)) {
        QString line = LineReader::decode(raw);
        line.remove(kDroppedMark);
        line.remove(kLineEnd);

        // Counting first keeps a line of many thousand commas from being cut into pieces.
        if (line.count(kFieldSeparator) != kFieldCount - 1)
            continue;
        const QStringList fields = line.split(kFieldSeparator, Qt::KeepEmptyParts);

        if (tableKey.isEmpty() && !fields.at(2).isEmpty())
            tableKey = fields.at(2);

        const QString &startText = fields.at(3);
        const QString &endText = fields.at(4);
        QDateTime start;
        QDateTime end;
        for (int i = 0; i < separatorCount; ++i) {
            if (startText.contains(kDateSeparators[i]))
                start = codecs.at(i).parse(startText);
            if (endText.contains(kDateSeparators[i]))
                end = codecs.at(i).parse(endText);
        }

        rows.append(UsageRecord(fields.at(0), fields.at(1), start, kInAction));
        rows.append(UsageRecord(fields.at(0), fields.at(1), end, kOutAction));
    }

    result.table.insert(tableKey, rows);
    return result;
}
