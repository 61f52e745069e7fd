// Time and peak memory of the usage archive.
//   bench_archive ingest TARGET [sessions]   first ingest, then the same logs again
//   bench_archive history TARGET [sessions]  fills TARGET with ten years of sessions (unless
//                                            it holds them already), then times a one-month
//                                            load and summary and prints the query plan
// TARGET is an SQLite file or a postgresql:// URL of an empty database (password from
// PGPASSWORD). Run each in a process of its own so the peak memory belongs to that run.

#include "localtimezone.h"
#include "usagearchive.h"
#include "usagesummary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <sys/resource.h>

namespace {

const QString kProduct = QStringLiteral("BENCH");
const QDateTime kFirst(QDate(2015, 1, 1), QTime(8, 0));
const qint64 kTenYears = qint64(3653) * 24 * 3600;

long peakResidentMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// count sessions from number first on, spread evenly over ten years of total sessions, one
// hour each, over a few product types, users and dongles; every thousandth still open.
UsageArchive::LocationSessions makeLocation(const QString &location, qint64 first, int count,
                                            qint64 total)
{
    UsageSessions sessions;
    const QStringList types = {QStringLiteral("Standard"), QStringLiteral("Professional"),
                               QStringLiteral("Viewer")};
    for (qint64 number = first; number < first + count; ++number) {
        const QDateTime start = kFirst.addSecs(number * kTenYears / total);
        const QString user = QStringLiteral("user%1@example.com").arg(number % 211);
        const QString dongle = QStringLiteral("D%1").arg(100000 + number % 53);
        const QString &type = types.at(int(number % types.size()));
        if (number % 1000 == 999)
            sessions.addSession(type, UsageSession(user, dongle, start));
        else
            sessions.addSession(type, UsageSession(user, dongle, start, start.addSecs(3600)));
    }
    return {qMakePair(location, sessions)};
}

double timed(const std::function<bool()> &step, bool *ok)
{
    QElapsedTimer timer;
    timer.start();
    *ok = step();
    return timer.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    // As the programs do: the zone is looked up once, not on every moment.
    LocalTimeZone::pin();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    if (args.size() < 3 || (args.at(1) != "ingest" && args.at(1) != "history")) {
        out << "usage: bench_archive ingest|history TARGET [sessions]\n";
        return 64;
    }
    const bool history = args.at(1) == "history";
    const QString target = args.at(2);
    const qint64 total = args.size() > 3 ? args.at(3).toLongLong() : history ? 10000000 : 1000000;

    UsageArchive archive;
    if (!archive.open(target)) {
        out << archive.errorText() << "\n";
        return 1;
    }
    bool ok = true;
    if (!history) {
        const UsageArchive::LocationSessions logs =
            makeLocation(QStringLiteral("bench/usage.csv"), 0, int(total), total);
        out << "sessions in memory: peak " << peakResidentMiB() << " MiB\n";
        const double first = timed([&] { return archive.ingest("ws1", kProduct, logs); }, &ok);
        out << "first ingest of " << total << " sessions: " << first << " s\n";
        const double again = timed([&] { return archive.ingest("ws1", kProduct, logs); }, &ok);
        out << "re-ingest of the same sessions: " << again << " s\n";
        out << "peak resident memory: " << peakResidentMiB() << " MiB\n";
        if (!ok)
            out << archive.errorText() << "\n";
        return ok ? 0 : 1;
    }

    QVector<UsageArchive::MachineShare> shares;
    archive.listing(&shares);
    if (shares.isEmpty()) {
        // A million at a time, as ten machines' logs, so memory stays that of one million.
        const int chunk = 1000000;
        const double filled = timed(
            [&] {
                for (qint64 first = 0; first < total; first += chunk) {
                    const int count = int(qMin<qint64>(chunk, total - first));
                    if (!archive.ingest(QStringLiteral("ws%1").arg(first / chunk), kProduct,
                                        makeLocation("bench/usage.csv", first, count, total)))
                        return false;
                }
                return true;
            },
            &ok);
        out << "filled with " << total << " sessions in " << filled << " s\n";
        if (!ok) {
            out << archive.errorText() << "\n";
            return 1;
        }
    }
    const QDate from(2020, 6, 1);
    const QDate to(2020, 6, 30);
    out << "query plan for " << from.toString(Qt::ISODate) << " to " << to.toString(Qt::ISODate)
        << ":\n";
    for (const QString &line : archive.queryPlan(kProduct, from, to))
        out << "    " << line << "\n";
    UsageSessions sessions;
    UsageTable rows;
    UsageSummary summary;
    const double month = timed(
        [&] {
            if (!archive.load(kProduct, from, to, &sessions, &rows))
                return false;
            summary = UsageSummary::compute(kProduct, sessions, from, to);
            return true;
        },
        &ok);
    out << "one month: " << sessions.sessionCount() << " sessions loaded and summed up in " << month
        << " s; peak resident memory " << peakResidentMiB() << " MiB\n";
    if (!ok)
        out << archive.errorText() << "\n";
    return ok ? 0 : 1;
}
