// Times what the usage answers add to an export: pairing the rows of the CSV log of
// bench_readers into sessions, ordering them and working out the figures, against reading the
// log; then prints the summary PDF of those figures.
//
//   bench_usage [csv-lines]

#include "benchlogs.h"
#include "filereaderbycsv.h"
#include "localtimezone.h"
#include "usagesummary.h"
#include "usagesummarywriter.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kRepeats = 3;

template <typename Run> double bestSeconds(Run run)
{
    double best = 1e300;
    for (int i = 0; i < kRepeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    LocalTimeZone::pin();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int csvLines = args.size() > 1 ? args.at(1).toInt() : 1000000;

    QTemporaryDir work;
    const QString csvPath = work.filePath(QStringLiteral("usage.csv"));
    if (!work.isValid() || writeCsvLog(csvPath, csvLines) < 0)
        return 1;

    UsageTable table;
    const double readSeconds = bestSeconds([&] { table = FileReaderByCSV().read(csvPath); });
    UsageSessions sessions;
    const double pairSeconds = bestSeconds([&] {
        sessions = UsageSessions::fromLocationRows(table);
        sessions.orderByStart();
    });
    UsageSummary summary;
    const double figureSeconds = bestSeconds([&] {
        summary = UsageSummary::compute(QStringLiteral("CSV"), sessions, QDate(), QDate());
    });
    const QString pdf = work.filePath(QStringLiteral("summary.pdf"));
    const UsageSummaryWriter writer(UsageReportWriter::defaultHeader());
    bool printed = false;
    const double printSeconds = bestSeconds([&] { printed = writer.print(summary, pdf); });

    int users = 0;
    for (const ProductTypeFigures &figures : summary.productTypes)
        users += figures.perUser.size();
    std::printf("%d lines read in %.3f s\n", csvLines, readSeconds);
    std::printf("%d sessions paired and ordered in %.3f s, figures (%d days, %d users) in %.3f s: "
                "+%.1f%% of reading\n",
                sessions.sessionCount(), pairSeconds,
                summary.productTypes.isEmpty() ? 0
                                               : int(summary.productTypes.first().dayPeaks.size()),
                users, figureSeconds, 100.0 * (pairSeconds + figureSeconds) / readSeconds);
    std::printf("summary PDF printed in %.3f s%s\n", printSeconds, printed ? "" : " (FAILED)");
    return printed ? 0 : 1;
}
