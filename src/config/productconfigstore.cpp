#include "productconfigstore.h"

#include "inifile.h"

#include <QCoreApplication>

namespace {

const QString kProductGroup = QStringLiteral("PRODUCT");
const QString kProductsKey = QStringLiteral("products");
const QString kConfigsKey = QStringLiteral("configs");
const QString kCompanyKey = QStringLiteral("Company");
const QString kProductKey = QStringLiteral("product");
const QString kPlatformCodeKey = QStringLiteral("Platform_Code");
const QString kLogNameKey = QStringLiteral("log_name");
const QString kReportHeaderGroup = QStringLiteral("REPORT_HEADER");
const QChar kListSeparator = QLatin1Char('|');

} // namespace

ProductConfigStore &ProductConfigStore::instance()
{
    static ProductConfigStore store(defaultFilePath());
    return store;
}

QString ProductConfigStore::defaultFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ProductConfig.ini");
}

ProductConfigStore::ProductConfigStore(const QString &filePath) : m_filePath(filePath)
{
    load();
}

void ProductConfigStore::load()
{
    const IniFile file = IniFile::load(m_filePath);
    switch (file.status()) {
    case IniFile::Status::Read:
        m_fileStatus = FileStatus::Read;
        break;
    case IniFile::Status::Missing:
        m_fileStatus = FileStatus::Missing;
        break;
    case IniFile::Status::Unreadable:
        m_fileStatus = FileStatus::Unreadable;
        break;
    }
    m_problem = file.problem();

    const QStringList productCodes =
        file.value(kProductGroup, kProductsKey).split(kListSeparator, Qt::KeepEmptyParts);
    for (const QString &productCode : productCodes) {
        const QString configsText = file.value(productCode, kConfigsKey);
        const QStringList names = configsText.split(kListSeparator, Qt::KeepEmptyParts);
        configNamesByProduct.insert(productCode, names);
        if (configsText.isEmpty())
            continue;
        for (const QString &name : names) {
            // A name without a group reads as empty texts, and its location as the public
            // documents folder itself: callers must be able to tell.
            if (file.keys(name).isEmpty())
                m_withoutGroup.insert(name);
            auto config = QSharedPointer<ProductConfigStruct>::create();
            config->company = file.value(name, kCompanyKey);
            config->product = file.value(name, kProductKey);
            config->platformCode = file.value(name, kPlatformCodeKey);
            config->logName = file.value(name, kLogNameKey);
            configsByName.insert(name, config);
        }
    }

    const QStringList headerKeys = file.keys(kReportHeaderGroup);
    for (const QString &key : headerKeys)
        m_reportHeader.insert(key, file.value(kReportHeaderGroup, key));
}

QStringList ProductConfigStore::products() const
{
    return configNamesByProduct.keys();
}

QStringList ProductConfigStore::configNames(const QString &productCode) const
{
    return configNamesByProduct.value(productCode);
}

QStringList ProductConfigStore::missingConfigs(const QString &productCode) const
{
    QStringList missing;
    const QStringList names = configNames(productCode);
    for (const QString &name : names) {
        if (!name.isEmpty() && m_withoutGroup.contains(name) && !missing.contains(name))
            missing << name;
    }
    return missing;
}

bool ProductConfigStore::hasGroup(const QString &configName) const
{
    return configsByName.contains(configName) && !m_withoutGroup.contains(configName);
}

QSharedPointer<ProductConfigStruct> ProductConfigStore::config(const QString &configName) const
{
    return configsByName.value(configName);
}
