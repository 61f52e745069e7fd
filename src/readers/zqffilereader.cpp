#include "zqffilereader.h"

#include "datetimecodec.h"
#include "linereader.h"
#include "readcancel.h"
#include "regularfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <thread>

namespace {

const QString kUserKey = QStringLiteral("userName");
const QString kProductKey = QStringLiteral("productType");
const QString kDongleKey = QStringLiteral("dogNum");
const QString kEndMarker = QStringLiteral("Application run end");
const QString kMomentFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");
const QString kInAction = QStringLiteral("In");
const QString kOutAction = QStringLiteral("Out");
const QString kFileNamePattern = QStringLiteral("Log*.log");
const QString kValueSeparator = QStringLiteral("=");
const QString kDongleSeparator = QStringLiteral("is");
const QChar kLineEnd = QLatin1Char('\n');
const QChar kItemSeparator = QLatin1Char(',');
const QChar kFractionSeparator = QLatin1Char('.');

// The one item that holds the key; null when none or several do.
QStringRef soleItemWith(const QVector<QStringRef> &items, const QString &key)
{
    QStringRef found;
    int count = 0;
    for (const QStringRef &item : items) {
        if (item.contains(key)) {
            found = item;
            ++count;
        }
    }
    return count == 1 ? found : QStringRef();
}

// The second non-empty piece; a value written without its separator stays empty.
QString secondPiece(const QStringRef &item, const QString &separator)
{
    const QVector<QStringRef> pieces = item.split(separator, Qt::SkipEmptyParts);
    return pieces.size() >= 2 ? pieces.at(1).toString() : QString();
}

// The moment in front of the first "." of the item; the fraction of the seconds is dropped.
QDateTime leadingMoment(const QStringRef &item, const DateTimeCodec &codec)
{
    const QVector<QStringRef> pieces = item.split(kFractionSeparator, Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return QDateTime();
    const QStringRef &first = pieces.first();
    return codec.parse(first.unicode(), first.size());
}

struct RunState
{
    QString userName;
    QString productType;
    QString dogNum;
    QDateTime start;
    QDateTime end;
};

// Reads the files one after the other into result; a codec of its own, so that two threads
// can each read a share.
void readFiles(const QDir &dir, const QStringList &fileNames, LocationRead *result)
{
    const DateTimeCodec codec(kMomentFormat);
    UsageTable &table = result->table;
    for (const QString &fileName : fileNames) {
        if (ReadCancel::requested())
            break;
        QFile file;
        // LineReader delivers a CR LF line end as LF.
        const QString filePath = dir.filePath(fileName);
        if (RegularFile::open(filePath, &file) != RegularFile::Outcome::Opened) {
            // A dangling link is listed but names nothing: it is not there, not unreadable.
            if (QFileInfo::exists(filePath))
                result->unreadableFiles.append(filePath);
            continue;
        }

        RunState run;
        LineReader lines(&file);
        QByteArray raw;
        while (lines.next(&raw)) {
            QString line = LineReader::decode(raw);
            // Most lines name none of the keys; they can be passed over without cutting.
            const bool mayCount =
                line.contains(kUserKey) || line.contains(kDongleKey) || line.contains(kEndMarker);
            if (!mayCount)
                continue;
            line.remove(kLineEnd);
            const QVector<QStringRef> items = line.splitRef(kItemSeparator, Qt::SkipEmptyParts);

            const QStringRef userItem = soleItemWith(items, kUserKey);
            const QStringRef productItem = soleItemWith(items, kProductKey);
            const QStringRef dongleItem = soleItemWith(items, kDongleKey);
            const QStringRef endItem = soleItemWith(items, kEndMarker);
            const bool isStart = !userItem.isNull() && !productItem.isNull();
            const bool isDongle = !dongleItem.isNull();
            const bool isEnd = !endItem.isNull();
            if (!isStart && !isDongle && !isEnd)
                continue;

            if (isStart) {
                run.start = leadingMoment(userItem, codec);
                run.userName = secondPiece(userItem, kValueSeparator);
                run.productType = secondPiece(productItem, kValueSeparator);
            }
            if (isDongle)
                run.dogNum = secondPiece(dongleItem, kDongleSeparator);
            if (isEnd)
                run.end = leadingMoment(endItem, codec);

            if (!run.userName.isEmpty() && !run.productType.isEmpty() && !run.dogNum.isEmpty() &&
                !run.start.isNull() && !run.end.isNull()) {
                UsageRecordList &rows = table[run.productType];
                rows.append(UsageRecord(run.userName, run.dogNum, run.start, kInAction));
                rows.append(UsageRecord(run.userName, run.dogNum, run.end, kOutAction));
                run.userName.clear();
                run.dogNum.clear();
                run.start = QDateTime();
                run.end = QDateTime();
            }
        }
        // A file whose runs never completed still shows the product type it names.
        if (!table.contains(run.productType))
            table.insert(run.productType, UsageRecordList());
    }
}

} // namespace

ZqfFileReader::ZqfFileReader()
    : m_maxThreads(std::max(1, std::min(2, int(std::thread::hardware_concurrency()))))
{
}

UsageTable ZqfFileReader::read(const QString &path)
{
    return readLocation(path).table;
}

LocationRead ZqfFileReader::readLocation(const QString &path)
{
    LocationRead result;
    // An empty path would name the working folder, which is never a log location.
    if (path.isEmpty())
        return result;
    const QFileInfo folder(path);
    if (!folder.exists())
        return result;
    // A listing that cannot be made looks like an empty folder; say so instead.
    if (!folder.isDir() || !folder.isReadable() || !folder.isExecutable()) {
        result.status = LocationRead::Status::Unreadable;
        return result;
    }
    result.status = LocationRead::Status::Read;
    QDir dir(path);
    // Special files are listed too, so that they are reported as unreadable, not passed over.
    dir.setFilter(QDir::Files | QDir::System);
    dir.setNameFilters(QStringList(kFileNamePattern));
    const QStringList fileNames = dir.entryList();

    // Each file's runs are its own, so the files can be read apart and their tables joined
    // in file order, which gives exactly the table of reading them one after the other.
    const int threads = fileNames.size() >= ParallelFileCount ? std::min(m_maxThreads, 2) : 1;
    m_lastThreadCount = threads;
    if (threads == 1) {
        readFiles(dir, fileNames, &result);
        return result;
    }
    const int half = int(fileNames.size()) / 2;
    LocationRead second;
    const std::atomic_bool *cancel = ReadCancel::current();
    std::thread helper([&] {
        const ReadCancel::Scope scope(cancel);
        readFiles(dir, fileNames.mid(half), &second);
    });
    readFiles(dir, fileNames.mid(0, half), &result);
    helper.join();
    for (auto entry = second.table.begin(); entry != second.table.end(); ++entry) {
        UsageRecordList &rows = result.table[entry.key()];
        if (rows.isEmpty())
            rows = std::move(entry.value());
        else
            rows += entry.value();
    }
    result.unreadableFiles += second.unreadableFiles;
    return result;
}
