#include "exportsite.h"

#include "exportenvironment.h"
#include "testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

ExportSite::ExportSite(const QByteArray &dlvLog)
{
    const QString examples = TestSupport::dataPath("../../examples/PublicDocuments/Plinthra");
    TestSupport::writeFile(config(), "[PRODUCT]\nproducts=DLV|ZQF\n[DLV]\nconfigs=D\n"
                                     "[ZQF]\nconfigs=Z\n"
                                     "[D]\nCompany=P\nproduct=DLV\nPlatform_Code=x64\n"
                                     "log_name=usage.csv\n"
                                     "[Z]\nCompany=P\nproduct=ZQF\nPlatform_Code=x64\n"
                                     "log_name=Logs\n");
    TestSupport::writeFile(dlvLogPath(),
                           dlvLog.isEmpty() ? TestSupport::readFile(examples + "/DLV/x64/usage.csv")
                                            : dlvLog);
    QDirIterator it(examples + "/ZQF/x64/Logs", QDir::Files);
    while (it.hasNext()) {
        const QString path = it.next();
        TestSupport::writeFile(zqfFolder() + "/" + QFileInfo(path).fileName(),
                               TestSupport::readFile(path));
    }
    QDir().mkpath(out());
}

void ExportSite::openToOthers() const
{
    const QFileDevice::Permissions open = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                          QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther;
    QFile::setPermissions(m_dir.path(), open);
}

ExportOutcome ExportSite::run(ExportRequest request,
                              const ExportJob::ProgressHandler &progress) const
{
    const ExportEnvironment environment(config(), publicDocuments());
    if (request.productCode.isEmpty())
        request.productCode = "DLV";
    if (request.folder.isEmpty())
        request.folder = out();
    return ExportJob::run(environment, request, progress);
}

QStringList ExportSite::strays(const QString &folder, const QStringList &expected) const
{
    QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : expected)
        names.removeAll(name);
    return names;
}
