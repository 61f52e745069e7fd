#ifndef EXPORTSITE_H
#define EXPORTSITE_H

#include "exportjob.h"
#include "exportrequest.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A site with the DLV product (one log file) and the ZQF product (a folder of logs), copied
// from the examples; the DLV log may be replaced. Exports go into out() unless told otherwise.
class ExportSite
{
public:
    explicit ExportSite(const QByteArray &dlvLog = QByteArray());

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString config() const { return path("ProductConfig.ini"); }
    QString publicDocuments() const { return path("public"); }
    QString dlvLogPath() const { return path("public/P/DLV/x64/usage.csv"); }
    QString zqfFolder() const { return path("public/P/ZQF/x64/Logs"); }
    QString out() const { return path("out"); }
    QString report(const QString &code = "DLV") const
    {
        return out() + "/" + code + "_UsageReport.pdf";
    }

    // Lets other accounts reach the site's folders (a temporary folder is private).
    void openToOthers() const;

    ExportOutcome run(ExportRequest request, const ExportJob::ProgressHandler &progress = {}) const;

    // What the folder holds besides the given names: left-over temporary files and locks.
    QStringList strays(const QString &folder, const QStringList &expected) const;

private:
    QTemporaryDir m_dir;
};

#endif // EXPORTSITE_H
