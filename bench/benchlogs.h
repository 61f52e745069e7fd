#ifndef BENCHLOGS_H
#define BENCHLOGS_H

// What the benchmarks share: generated logs, so that each measures the same input, and the
// timing of a step.

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTextStream>

#include <algorithm>

inline QString stamp(const QDateTime &dateTime, const QString &format)
{
    return dateTime.toString(format);
}

// One use per line, by a few dozen users, starting a few minutes apart over the years, some
// written with slashes, now and then a line the reader passes over.
inline qint64 writeCsvLog(const QString &path, int lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    QTextStream out(&file);
    quint32 state = 1;
    auto next = [&state](quint32 bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    };
    QDateTime start(QDate(2019, 1, 1), QTime(7, 0), Qt::UTC);
    for (int i = 0; i < lines; ++i) {
        start = start.addSecs(60 * qint64(next(10)));
        const QDateTime end = start.addSecs(60 * qint64(5 + next(600)));
        const QString format =
            next(10) == 0 ? QStringLiteral("yyyy/MM/dd HH:mm") : QStringLiteral("yyyy-MM-dd HH:mm");
        if (next(1000) == 0) {
            out << "user,dongle,product type\n";
            continue;
        }
        out << "user" << next(40) << ',' << 40000 + next(40) << ','
            << (next(4) == 0 ? "Professional" : "Standard") << ',' << stamp(start, format) << ','
            << stamp(end, format) << (next(2) ? ";\n" : "\n");
    }
    out.flush();
    return lines;
}

// Best of a few runs, in seconds.
template <typename Run> double bestSeconds(Run run, int repeats = 3)
{
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

#endif // BENCHLOGS_H
