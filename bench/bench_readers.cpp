// Times the CSV reader and the ZQF folder reader on generated logs, beside `wc -l` over the
// same files, and prints lines per second for each.
//
//   bench_readers [csv-lines] [zqf-files] [zqf-lines-per-file]

#include "benchlogs.h"
#include "filereaderbycsv.h"
#include "localtimezone.h"
#include "zqffilereader.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kRepeats = 3;

// Each run: a start line, the dongle line, some ordinary log lines, the end line.
qint64 writeZqfFolder(const QString &folder, int files, int linesPerFile)
{
    QDir().mkpath(folder);
    quint32 state = 2;
    auto next = [&state](quint32 bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    const QString format = QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");
    QDateTime now(QDate(2021, 6, 1), QTime(8, 0), Qt::UTC);
    qint64 total = 0;
    for (int f = 0; f < files; ++f) {
        QFile file(QStringLiteral("%1/Log%2.log").arg(folder).arg(f));
        if (!file.open(QIODevice::WriteOnly))
            return -1;
        QTextStream out(&file);
        int written = 0;
        while (written < linesPerFile) {
            now = now.addMSecs(1000 * qint64(next(3600)) + next(1000));
            out << stamp(now, format) << " [main] INFO login userName=user" << next(40)
                << ",productType=" << (f % 3 == 0 ? "Professional" : "Standard") << ",host=ws"
                << next(99) << '\n';
            out << stamp(now, format) << " [main] INFO dongle found, dogNum is " << 40000 + next(40)
                << '\n';
            written += 2;
            const int ordinary = int(next(12));
            for (int i = 0; i < ordinary && written < linesPerFile - 1; ++i, ++written) {
                now = now.addMSecs(next(60000));
                out << stamp(now, format) << " [worker-" << next(8) << "] DEBUG loading module "
                    << next(500) << ", version 1." << next(20) << ", cache hit ratio 0."
                    << next(100) << '\n';
            }
            now = now.addMSecs(next(3600000));
            out << stamp(now, format) << " [main] INFO Application run end\n";
            ++written;
        }
        total += written;
    }
    return total;
}


double wcSeconds(const QStringList &files, qint64 *lines)
{
    return bestSeconds([&] {
        QProcess wc;
        wc.start(QStringLiteral("wc"), QStringList(QStringLiteral("-l")) + files);
        wc.waitForFinished(-1);
        const QList<QByteArray> out = wc.readAllStandardOutput().trimmed().split('\n');
        *lines = out.isEmpty() ? -1 : out.last().trimmed().split(' ').first().toLongLong();
    });
}

void report(const char *what, qint64 lines, double seconds)
{
    std::printf("%-26s %10lld lines %8.3f s %12.0f lines/s\n", what, static_cast<long long>(lines),
                seconds, lines / seconds);
}

} // namespace

int main(int argc, char *argv[])
{
    LocalTimeZone::pin();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int csvLines = args.size() > 1 ? args.at(1).toInt() : 1000000;
    const int zqfFiles = args.size() > 2 ? args.at(2).toInt() : 500;
    const int zqfLinesPerFile = args.size() > 3 ? args.at(3).toInt() : 2000;

    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    std::printf("TZ=%s, best of %d runs\n",
                qgetenv("TZ").isNull() ? "(unset)" : qgetenv("TZ").constData(), kRepeats);

    const QString csvPath = work.filePath(QStringLiteral("usage.csv"));
    if (writeCsvLog(csvPath, csvLines) < 0)
        return 1;
    qint64 wcLines = 0;
    report("wc -l (CSV)", csvLines, wcSeconds(QStringList(csvPath), &wcLines));
    int rows = 0;
    const double csvSeconds = bestSeconds([&] {
        const UsageTable table = FileReaderByCSV().read(csvPath);
        rows = table.isEmpty() ? 0 : table.first().size();
    });
    report("FileReaderByCSV", wcLines, csvSeconds);
    std::printf("  %d rows\n", rows);

    const QString folder = work.filePath(QStringLiteral("zqf"));
    const qint64 zqfLines = writeZqfFolder(folder, zqfFiles, zqfLinesPerFile);
    if (zqfLines < 0)
        return 1;
    QStringList files;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        files << folder + QLatin1Char('/') + name;
    report("wc -l (ZQF folder)", zqfLines, wcSeconds(files, &wcLines));
    rows = 0;
    const double zqfSeconds = bestSeconds([&] {
        const UsageTable table = ZqfFileReader().read(folder);
        rows = 0;
        for (const UsageRecordList &list : table)
            rows += list.size();
    });
    report("ZqfFileReader", wcLines, zqfSeconds);
    std::printf("  %d rows in %d files\n", rows, int(files.size()));
    return 0;
}
