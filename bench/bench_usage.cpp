// Times what the usage answers add to an export: pairing the rows of the CSV log of
// bench_readers into sessions, ordering them and working out the figures, against reading the
// log; then prints the summary PDF of those figures.
//
// Then does the same for a site's ten years: 1,000,000 sessions of 10,000 users in three
// product types, made directly, and keeps that summary when a path is given; then works out
// the figures of the same sessions spread over ten machines, as from an archive, with each
// machine's beside the site's.
//
//   bench_usage [csv-lines] [ten-year-summary.pdf]

#include "benchlogs.h"
#include "filereaderbycsv.h"
#include "localtimezone.h"
#include "usagesummary.h"
#include "usagesummarywriter.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

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

    UsageSessions site;
    // The same sessions as an archive of ten machines gives them, each naming its machine: the
    // figures are then also worked out for each machine.
    UsageSessions fleet;
    QVector<int> machines;
    for (int machine = 0; machine < 10; ++machine)
        machines << fleet.machineNumber(QStringLiteral("ws%1").arg(machine));
    quint32 state = 3;
    auto next = [&state](quint32 bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    const QDateTime first(QDate(2015, 1, 1), QTime(0, 0));
    for (int i = 0; i < 1000000; ++i) {
        const QDateTime start = first.addSecs(qint64(next(3650)) * 86400 + 8 * 3600 + next(36000));
        const QString type = QStringLiteral("Type %1").arg(next(3));
        UsageSession session(QStringLiteral("user%1").arg(next(10000)), QString::number(next(600)),
                             start, start.addSecs(60 + next(8 * 3600)));
        site.addSession(type, session);
        session.setMachine(machines.at(i % machines.size()));
        fleet.addSession(type, session);
    }
    site.orderByStart();
    fleet.orderByStart();
    UsageSummary tenYears;
    const double siteFigures = bestSeconds(
        [&] { tenYears = UsageSummary::compute(QStringLiteral("SITE"), site, QDate(), QDate()); });
    const QString sitePdf =
        args.size() > 2 ? args.at(2) : work.filePath(QStringLiteral("site.pdf"));
    const double sitePrint =
        bestSeconds([&] { printed = writer.print(tenYears, sitePdf) && printed; });
    std::printf("ten years, 10,000 users, %d sessions: figures in %.3f s, summary PDF in %.3f s\n",
                site.sessionCount(), siteFigures, sitePrint);
    UsageSummary perMachine;
    const double fleetFigures = bestSeconds([&] {
        perMachine = UsageSummary::compute(QStringLiteral("SITE"), fleet, QDate(), QDate());
    });
    std::printf("the same from an archive of %d machines: figures with each machine's in %.3f s\n",
                int(machines.size()), fleetFigures);
    return printed ? 0 : 1;
}
