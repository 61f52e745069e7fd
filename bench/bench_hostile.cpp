// Times every reader on the hostile input set that bench/make-hostile-inputs writes.
// Goal: each reader reads each input in under 2 s.
//
// Usage: bench_hostile DIR
#include "filereaderbycsv.h"
#include "localtimezone.h"
#include "prxfilereader.h"
#include "zqffilereader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

int rowCount(const UsageTable &table)
{
    int rows = 0;
    for (const UsageRecordList &list : table)
        rows += list.size();
    return rows;
}

} // namespace

int main(int argc, char **argv)
{
    LocalTimeZone::pin();
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_hostile DIR (made by bench/make-hostile-inputs)\n");
        return 64;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    PrxFileReader prx;
    FileReaderByCSV csv;
    ZqfFileReader zqf;
    QTemporaryDir scratch;
    double worst = 0;

    std::printf("%-28s %-10s %9s %8s\n", "input", "reader", "seconds", "rows");
    for (const QFileInfo &entry : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        QString folder = entry.filePath();
        if (entry.isFile()) {
            // The folder reader sees the same file as the only log of a folder.
            folder = scratch.filePath(entry.fileName());
            QDir().mkpath(folder);
            QFile::link(entry.absoluteFilePath(), folder + "/Log1.log");
        }
        struct Run
        {
            const char *name;
            IFileReader *reader;
            QString path;
        };
        const Run runs[] = {{"PRX", &prx, entry.filePath()},
                            {"CSV", &csv, entry.filePath()},
                            {"directory", &zqf, folder}};
        for (const Run &run : runs) {
            if (entry.isDir() && run.reader != &zqf)
                continue;
            QElapsedTimer timer;
            timer.start();
            const UsageTable table = run.reader->read(run.path);
            const double seconds = timer.nsecsElapsed() / 1e9;
            worst = std::max(worst, seconds);
            std::printf("%-28s %-10s %9.3f %8d\n", qPrintable(entry.fileName()), run.name, seconds,
                        rowCount(table));
        }
    }
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("slowest: %.3f s (goal: under 2 s); peak memory %.0f MB\n", worst,
                usage.ru_maxrss / 1024.0);
    return 0;
}
