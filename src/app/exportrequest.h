#ifndef EXPORTREQUEST_H
#define EXPORTREQUEST_H

#include "usagesessions.h"

#include <QDate>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// What one export is asked to write. Without the optional parts it writes exactly the usage
// report of the product into the folder.
struct ExportRequest
{
    QString productCode;
    QString folder;
    // Keep only what is dated in [from, to]; null bounds are open.
    QDate from;
    QDate to;
    // Write the usage report PDF; without it only what else is asked for is written.
    bool report = true;
    // Also write the usage summary PDF beside the report.
    bool summary = false;
    // The licences the site owns (Licences.ini beside the configuration when empty), and the
    // days without a start after which a dongle counts as idle, for the summary's figures.
    QString licencesPath;
    int idleDays = 30;
    // Also write these text files; "-" means standard output.
    QString csvPath;
    QString sessionsPath;
    QString summaryJsonPath;
    QString concurrencyPath;
    // Files read besides the configuration and the logs (an archive file): no output may be one.
    QStringList otherInputs;
    // Files read and changed in place (an archive file and its companions): no output may be
    // one, and no log or configuration either.
    QStringList otherOutputs;
    // Write CSV fields byte for byte, formulas and all, instead of neutralising them.
    bool csvRaw = false;

    // Writes the text asked for on standard output, once everything is printed and before any
    // file is replaced; false, with *error saying why, when it could not be written. Without
    // it the text is handed back in the outcome.
    std::function<bool(const QByteArray &text, QString *error)> standardOutput;

    // Read the product's logs; when false, the rows and sessions come from source alone.
    bool readLogs = true;
    // Write the report and the rest; when false the export ends after source.
    bool writeFiles = true;
    // Handed each log location's sessions (its name as the configuration gives it) after
    // reading; may replace the rows and the sessions, as an archive of many machines does.
    // Answering false ends the export with nothing written.
    std::function<bool(const QVector<QPair<QString, UsageSessions>> &located, UsageTable *rows,
                       UsageSessions *sessions)>
        source;

    bool wantsSessions() const
    {
        return summary || !sessionsPath.isEmpty() || !summaryJsonPath.isEmpty() ||
               !concurrencyPath.isEmpty() || source;
    }
};

#endif // EXPORTREQUEST_H
