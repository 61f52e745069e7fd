#include "exportdriver.h"

#include "exportenvironment.h"
#include "exportjob.h"
#include "fileidentity.h"
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

// One log of several product types: its rows all go under the first, and that is said.
QString mixedTypesWarning(const QString &location, const LocationRead &read)
{
    const QString filedUnder = read.table.isEmpty() ? QString() : read.table.firstKey();
    QString others = read.otherProductTypes.join(QStringLiteral(", "));
    if (read.moreProductTypes)
        others += QStringLiteral(" and more");
    return QStringLiteral("%1 holds rows of %2 besides %3; all of them were counted as %3")
        .arg(location, others, filedUnder);
}

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

UsageTable ExportDriver::collectUsage(const QString &productCode, bool *hasReader,
                                      UsageSessions *sessions,
                                      QVector<QPair<QString, UsageSessions>> *perLocation,
                                      const std::function<bool(int, int)> &beforeLocation,
                                      QStringList *unreadable, QStringList *warnings) const
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
        if (warnings && !read.otherProductTypes.isEmpty())
            warnings->append(mixedTypesWarning(location, read));
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
    // A location listed twice, by one name or by two, under any spelling (x64/., a link), would
    // count each of its rows twice: the files themselves are compared.
    QVector<FileIdentity> locations;
    for (const QString &name : names) {
        const QSharedPointer<ProductConfigStruct> config = m_store.config(name);
        // A name without a group is said as such (see missingConfigs), not read as the public
        // documents folder.
        if (config.isNull() || (!name.isEmpty() && !m_store.hasGroup(name)))
            continue;
        const FileIdentity location(m_publicDocumentsFolder() + kSeparator + logLocation(*config));
        const auto same = [&](const FileIdentity &seen) { return seen.sameFile(location); };
        if (std::any_of(locations.cbegin(), locations.cend(), same))
            continue;
        locations << location;
        configs << config;
    }
    return configs;
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
