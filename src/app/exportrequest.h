#ifndef EXPORTREQUEST_H
#define EXPORTREQUEST_H

#include <QDate>
#include <QString>

// What one export is asked to write. Without the optional parts it writes exactly the usage
// report of the product into the folder.
struct ExportRequest
{
    QString productCode;
    QString folder;
    // Keep only what is dated in [from, to]; null bounds are open.
    QDate from;
    QDate to;
    // Also write the usage summary PDF beside the report.
    bool summary = false;
    // Also write these text files; "-" hands the text back for standard output.
    QString csvPath;
    QString sessionsPath;
    QString summaryJsonPath;

    bool wantsSessions() const
    {
        return summary || !sessionsPath.isEmpty() || !summaryJsonPath.isEmpty();
    }
};

#endif // EXPORTREQUEST_H
