// Time and peak memory of printing the usage report for growing row counts.
// Without arguments it runs every size in a child process of its own, so that each peak
// memory figure belongs to one size alone. With a row count it prints that one report.
// Usage: bench_report [rows [folder [mixed]]]
// With "mixed", every third user name is short enough for one line, so that rows of one and two
// lines take turns on every page.
// The application is set up as the command-line program sets itself up.

#include "programsetup.h"
#include "usagereportwriter.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

namespace {

UsageTable makeTable(int rows, bool mixed)
{
    UsageTable table;
    UsageRecordList &list = table[QStringLiteral("Standard")];
    list.reserve(rows);
    const QDateTime start(QDate(2024, 1, 1), QTime(8, 0, 0));
    for (int row = 0; row < rows; ++row) {
        const QString user = mixed && row % 3 == 0
                                 ? QStringLiteral("u%1").arg(row % 37)
                                 : QStringLiteral("user%1@example.com").arg(row % 37);
        list.append(UsageRecord(user, QStringLiteral("D%1").arg(100000 + row % 11),
                                start.addSecs(row * 600),
                                row % 2 ? QStringLiteral("Out") : QStringLiteral("In")));
    }
    return table;
}

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int runOne(int rows, const QString &folder, bool mixed)
{
    const UsageTable table = makeTable(rows, mixed);
    const long before = peakResidentKiB();
    QElapsedTimer timer;
    timer.start();
    const UsageReportWriter report;
    const bool written = report.writeReport(folder, QStringLiteral("BENCH"), table);
    const qint64 elapsed = timer.elapsed();
    const qint64 bytes = QFileInfo(UsageReportWriter::reportFilePath(folder, "BENCH")).size();
    QTextStream(stdout) << QStringLiteral("%1 rows: %2 s, peak RSS %3 MB (%4 MB before), "
                                          "PDF %5 KB, %7 pieces, %8 steady pages, %9 row pages%6\n")
                               .arg(rows, 6)
                               .arg(elapsed / 1000.0, 0, 'f', 2)
                               .arg(peakResidentKiB() / 1024.0, 0, 'f', 1)
                               .arg(before / 1024.0, 0, 'f', 1)
                               .arg(bytes / 1024)
                               .arg(written ? QString() : QStringLiteral(", NOT WRITTEN"))
                               .arg(report.piecesLaidOut())
                               .arg(report.steadyPagesPainted())
                               .arg(report.rowPagesPainted());
    return written ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    ProgramSetup::beforeCommandLineApplication();
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() > 1) {
        const QString folder = arguments.size() > 2 ? arguments.at(2) : QDir::tempPath();
        return runOne(arguments.at(1).toInt(), folder,
                      arguments.value(3) == QLatin1String("mixed"));
    }

    QTemporaryDir folder;
    int failures = 0;
    for (int rows : {1000, 5000, 20000, 100000}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(app.applicationFilePath(), {QString::number(rows), folder.path()});
        child.waitForFinished(-1);
        failures += child.exitCode() != 0 || child.exitStatus() != QProcess::NormalExit;
    }
    return failures ? 1 : 0;
}
