// Reads a large generated PRX log through PrxFileReader and, in the same run, times grep
// over the same file for comparison.
//
// Usage: bench_prx [SIZE_MB] [FILE]
//   SIZE_MB  size of the generated log (default 100)
//   FILE     read this log instead of generating one; generated there when it does not exist
#include "localtimezone.h"
#include "prxfilereader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

namespace {

// Mostly ordinary lines, with a start-up, user-set (sometimes spread over lines) and shutdown
// block now and then, as a busy installation writes them.
qint64 generate(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    QRandomGenerator random(42);
    static const char *const messages[] = {"Rendering frame [viewport 1] done",
                                           "Cache hit for tile 0x3fa2",
                                           "Network latency 12 ms",
                                           "Autosave completed [project.prx]",
                                           "Tool changed to [Select]",
                                           "Memory pool grown to 512 MB"};
    static const char *const users[] = {"anna.berg@example.com", "li.wei@example.com",
                                        "omar.haddad@example.com", "jo.smith@example.com"};
    static const char *const types[] = {"Standard", "Professional", "Education"};
    qint64 lines = 0;
    qint64 second = 1704067200; // 2024-01-01
    QByteArray chunk;
    while (file.size() + chunk.size() < bytes) {
        second += random.bounded(3);
        const QByteArray stamp =
            QDateTime::fromSecsSinceEpoch(second).toString("yyyy-MM-dd hh:mm:ss").toUtf8() + " " +
            QByteArray::number(random.bounded(1000)) + "." +
            QByteArray::number(random.bounded(1000)) +
            "[INFO][UI][0x1a2b][Module.cpp:" + QByteArray::number(random.bounded(900)) + "] ";
        const quint32 pick = random.bounded(2000);
        if (pick == 0) {
            chunk += stamp + "PRXUIPluginFacade::onStartup enter\n";
        } else if (pick == 1) {
            const QByteArray json = QByteArray("{\"email\":\"") + users[random.bounded(4)] +
                                    "\",\"dognum\":\"D-" +
                                    QByteArray::number(random.bounded(99999)) +
                                    "\",\"productType\":\"" + types[random.bounded(3)] + "\"}";
            if (random.bounded(2))
                chunk += stamp + "set User " + json + "\n";
            else
                chunk += stamp + "set User\n" + QByteArray(json).replace(",", ",\n  ") + "\n";
        } else if (pick == 2) {
            chunk += stamp + "PRXUIPluginFacade::~PRXUIPluginFacade enter\n";
        } else {
            chunk += stamp + messages[random.bounded(6)] + "\n";
        }
        ++lines;
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return lines;
}

} // namespace

int main(int argc, char **argv)
{
    LocalTimeZone::pin();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 sizeMb = args.size() > 1 ? args.at(1).toLongLong() : 100;
    QTemporaryDir dir;
    QString path = args.size() > 2 ? args.at(2) : dir.filePath("prx.log");
    // A FILE that does not exist yet is generated and kept, for timing the whole program on it.
    if (args.size() <= 2 || !QFileInfo::exists(path)) {
        std::printf("generating %lld MB PRX log...\n", sizeMb);
        generate(path, sizeMb * 1024 * 1024);
    }
    const double mb = double(QFileInfo(path).size()) / (1024.0 * 1024.0);

    QProcess wc;
    wc.start("wc", {"-l", path});
    wc.waitForFinished(-1);
    const qint64 lines = wc.readAllStandardOutput().split(' ').value(0).toLongLong();

    QElapsedTimer timer;
    timer.start();
    QProcess grep;
    grep.start("grep", {"-c", "PRXUIPluginFacade\\|set User", path});
    grep.waitForFinished(-1);
    const double grepSeconds = timer.nsecsElapsed() / 1e9;

    PrxFileReader reader;
    timer.restart();
    const UsageTable table = reader.read(path);
    const double readSeconds = timer.nsecsElapsed() / 1e9;
    int rows = 0;
    for (const UsageRecordList &list : table)
        rows += list.size();

    std::printf("file: %.1f MB, %lld lines, %d rows in %d product types\n", mb, lines, rows,
                int(table.size()));
    std::printf("grep -c:           %8.3f s (%s matching lines)\n", grepSeconds,
                grep.readAllStandardOutput().trimmed().constData());
    std::printf("PrxFileReader:     %8.3f s  %.0f lines/s  %.1f MB/s\n", readSeconds,
                lines / readSeconds, mb / readSeconds);
    std::printf("ratio to grep:     %8.2f (goal: at most 5)\n", readSeconds / grepSeconds);
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory:       %8.0f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
