#include "productconfigstore.h"

#include <QCoreApplication>
#include <QSettings>
#include <QVariant>

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

// QSettings turns an unquoted value holding a comma into a list of trimmed pieces, whose
// plain text conversion is empty; join the pieces again so every value comes back as text.
QString textValue(const QSettings &settings, const QString &key)
{
    const QVariant value = settings.value(key, QString());
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

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
    QSettings settings(m_filePath, QSettings::IniFormat);
    // Company and folder names may hold non-ASCII letters; the INI default would mangle them.
    settings.setIniCodec("UTF-8");

    settings.beginGroup(kProductGroup);
    const QString productsText = textValue(settings, kProductsKey);
    settings.endGroup();

    const QStringList productCodes = productsText.split(kListSeparator, Qt::KeepEmptyParts);
    for (const QString &productCode : productCodes) {
        settings.beginGroup(productCode);
        const QString configsText = textValue(settings, kConfigsKey);
        settings.endGroup();

        const QStringList names = configsText.split(kListSeparator, Qt::KeepEmptyParts);
        configNamesByProduct.insert(productCode, names);
        if (configsText.isEmpty())
            continue;
        for (const QString &name : names) {
            settings.beginGroup(name);
            auto config = QSharedPointer<ProductConfigStruct>::create();
            config->company = textValue(settings, kCompanyKey);
            config->product = textValue(settings, kProductKey);
            config->platformCode = textValue(settings, kPlatformCodeKey);
            config->logName = textValue(settings, kLogNameKey);
            settings.endGroup();
            configsByName.insert(name, config);
        }
    }

    settings.beginGroup(kReportHeaderGroup);
    const QStringList headerKeys = settings.childKeys();
    for (const QString &key : headerKeys)
        m_reportHeader.insert(key, textValue(settings, key));
    settings.endGroup();
}

QStringList ProductConfigStore::products() const
{
    return configNamesByProduct.keys();
}

QStringList ProductConfigStore::configNames(const QString &productCode) const
{
    return configNamesByProduct.value(productCode);
}

QSharedPointer<ProductConfigStruct> ProductConfigStore::config(const QString &configName) const
{
    return configsByName.value(configName);
}
