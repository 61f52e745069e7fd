#include "filereaderbycsv.h"

#include "datetimecodec.h"
#include "linereader.h"
#include "regularfile.h"
#include "textpool.h"

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

// The rows still go under the first type; the log's other types are kept to be said, a few
// of them: a log of a million types must not cost a million comparisons a line.
void noteOtherType(const QStringRef &type, LocationRead *read)
{
    for (const QString &known : qAsConst(read->otherProductTypes)) {
        if (type == known)
            return;
    }
    if (read->otherProductTypes.size() < LocationRead::kMostOtherTypes)
        read->otherProductTypes.append(type.toString());
    else
        read->moreProductTypes = true;
}

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
    TextPool texts;
    LineReader lines(&file);
    QByteArray raw;
    while (lines.next(&raw)) {
        QString line = LineReader::decode(raw);
        line.remove(kDroppedMark);
        line.remove(kLineEnd);

        // The commas are found once; a line of many thousand commas is given up at the sixth.
        int cuts[kFieldCount + 1];
        cuts[0] = -1;
        int commas = 0;
        for (int i = 0; i < line.size() && commas < kFieldCount; ++i) {
            if (line.at(i) == kFieldSeparator)
                cuts[++commas] = i;
        }
        if (commas != kFieldCount - 1)
            continue;
        cuts[kFieldCount] = line.size();
        const auto field = [&](int index) {
            return line.midRef(cuts[index] + 1, cuts[index + 1] - cuts[index] - 1);
        };

        const QStringRef productType = field(2);
        if (tableKey.isEmpty() && !productType.isEmpty())
            tableKey = productType.toString();
        else if (!productType.isEmpty() && productType != tableKey)
            noteOtherType(productType, &result);

        const QStringRef startText = field(3);
        const QStringRef endText = field(4);
        QDateTime start;
        QDateTime end;
        for (int i = 0; i < separatorCount; ++i) {
            if (startText.contains(kDateSeparators[i]))
                start = codecs.at(i).parse(startText.unicode(), startText.size());
            if (endText.contains(kDateSeparators[i]))
                end = codecs.at(i).parse(endText.unicode(), endText.size());
        }

        const QString userName = texts.text(field(0));
        const QString dogNum = texts.text(field(1));
        rows.append(UsageRecord(userName, dogNum, start, kInAction));
        rows.append(UsageRecord(userName, dogNum, end, kOutAction));
    }

    result.table.insert(tableKey, rows);
    return result;
}
