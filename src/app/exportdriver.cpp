#include "exportdriver.h"

#include "exportenvironment.h"
#include "exportjob.h"
#include "productconfigstore.h"
#include "publicdocuments.h"
#include "readerregistry.h"
#include "timeorder.h"

#include <QDir>
#include <QSet>
#include <QSharedPointer>

#include <utility>

namespace {

const QChar kSeparator = QLatin1Char('/');

} // namespace

ExportDriver::ExportDriver(const ProductConfigStore &store, const ReaderRegistry &registry,
                           const QString &publicDocumentsFolder)
    : ExportDriver(store, registry, [publicDocumentsFolder] { return publicDocumentsFolder; })
{
}

ExportDriver::ExportDriver(const ProductConfigStore &store, const ReaderRegistry &registry,
                           std::function<QString()> publicDocumentsFolder)
    : m_store(store), m_registry(registry),
      m_publicDocumentsFolder(std::move(publicDocumentsFolder))
{
}

ExportDriver ExportDriver::processWide()
{
    return ExportDriver(ProductConfigStore::instance(), ReaderRegistry::instance(),
                        std::function<QString()>(&PublicDocuments::path));
}

bool ExportDriver::canExport(const QString &productCode, const QString &folder) const
{
    Q_UNUSED(productCode)
    return QDir(folder).exists();
}

bool ExportDriver::exportUsageReport(const QString &productCode, const QString &folder) const
{
    bool hasReader = false;
    const UsageTable table = collectUsage(productCode, &hasReader);
    if (!hasReader)
        return false;
    return writeReport(folder, productCode, table);
}

UsageTable ExportDriver::collectUsage(const QString &productCode, bool *hasReader,
                                      UsageSessions *sessions,
                                      QVector<QPair<QString, UsageSessions>> *perLocation,
                                      const std::function<bool(int, int)> &beforeLocation,
                                      QStringList *unreadable) const
{
    const QSharedPointer<IFileReader> reader = m_registry.readerFor(productCode);
    if (hasReader)
        *hasReader = !reader.isNull();
    UsageTable merged;
    if (reader.isNull())
        return merged;

    const QList<QSharedPointer<ProductConfigStruct>> configs = configsOf(productCode);
    for (int index = 0; index < configs.size(); ++index) {
        if (beforeLocation && !beforeLocation(index, int(configs.size())))
            break;
        const ProductConfigStruct &config = *configs.at(index);
        const QString location = m_publicDocumentsFolder() + kSeparator + logLocation(config);
        LocationRead read = reader->readLocation(location);
        if (unreadable) {
            if (read.status == LocationRead::Status::Unreadable)
                unreadable->append(location);
            unreadable->append(read.unreadableFiles);
        }
        UsageTable part = std::move(read.table);
        // A use's two rows are adjacent only in the order one reader gives for one location.
        if (sessions || perLocation) {
            const UsageSessions located = UsageSessions::fromLocationRows(part);
            if (sessions)
                sessions->append(located);
            if (perLocation)
                perLocation->append(qMakePair(logLocation(config), located));
        }
        merge(merged, std::move(part));
    }
    orderByTime(merged);
    if (sessions)
        sessions->orderByStart();
    return merged;
}

QStringList ExportDriver::logLocations(const QString &productCode) const
{
    QStringList locations;
    const QList<QSharedPointer<ProductConfigStruct>> configs = configsOf(productCode);
    for (const QSharedPointer<ProductConfigStruct> &config : configs)
        locations << m_publicDocumentsFolder() + kSeparator + logLocation(*config);
    return locations;
}

QList<QSharedPointer<ProductConfigStruct>> ExportDriver::configsOf(const QString &productCode) const
{
    QList<QSharedPointer<ProductConfigStruct>> configs;
    const QStringList names = m_store.configNames(productCode);
    // A location listed twice, by one name or by two, would count each of its rows twice.
    QSet<QString> locations;
    for (const QString &name : names) {
        const QSharedPointer<ProductConfigStruct> config = m_store.config(name);
        if (config.isNull())
            continue;
        const QString location = logLocation(*config);
        if (locations.contains(location))
            continue;
        locations.insert(location);
        configs << config;
    }
    return configs;
}

bool ExportDriver::writeReport(const QString &folder, const QString &productCode,
                               const UsageTable &table) const
{
    const UsageReportWriter writer(m_store.reportHeader());
    return writer.writeReport(folder, productCode, table);
}

QString ExportDriver::logLocation(const ProductConfigStruct &config)
{
    return config.company + kSeparator + config.product + kSeparator + config.platformCode +
           kSeparator + config.logName;
}

void ExportDriver::merge(UsageTable &merged, const UsageTable &part)
{
    for (auto entry = part.constBegin(); entry != part.constEnd(); ++entry) {
        auto existing = merged.find(entry.key());
        if (existing == merged.end())
            merged.insert(entry.key(), entry.value());
        else
            existing.value() += entry.value();
    }
}

void ExportDriver::merge(UsageTable &merged, UsageTable &&part)
{
    for (auto entry = part.begin(); entry != part.end(); ++entry) {
        UsageRecordList &rows = merged[entry.key()];
        if (rows.isEmpty()) {
            rows.swap(entry.value());
            continue;
        }
        rows.reserve(rows.size() + entry.value().size());
        for (UsageRecord &row : entry.value())
            rows.append(std::move(row));
    }
}

void ExportDriver::orderByTime(UsageTable &table)
{
    for (auto entry = table.begin(); entry != table.end(); ++entry) {
        TimeOrder::sort(entry.value(), [](const UsageRecord &row) {
            return TimeOrder::secondsOf(row.dateTime());
        });
    }
}

bool canExport(const QString &productCode, const QString &folder)
{
    return ExportEnvironment::processWide().driver().canExport(productCode, folder);
}

bool exportUsageReport(const QString &productCode, const QString &folder)
{
    ExportRequest request;
    request.productCode = productCode;
    request.folder = folder;
    return ExportJob::run(ExportEnvironment::processWide(), request).succeeded();
}

QString publicDocumentsPath()
{
    return PublicDocuments::path();
}
