#ifndef EXPORTDRIVER_H
#define EXPORTDRIVER_H

#include "productconfigstruct.h"
#include "usagesessions.h"
#include "usagetable.h"

#include <QList>
#include <QPair>
#include <QSharedPointer>
#include <QString>
#include <QVector>

#include <functional>

class ProductConfigStore;
class ReaderRegistry;

// Finds a product's reader and log locations, reads every location, and merges and orders the
// rows for the export road (ExportJob). Keeps nothing between calls.
class ExportDriver
{
public:
    // Uses the given store and registry, and the given public documents folder.
    ExportDriver(const ProductConfigStore &store, const ReaderRegistry &registry,
                 const QString &publicDocumentsFolder);
    // Uses the given store and registry, and asks publicDocumentsFolder for the folder afresh
    // for every log location.
    ExportDriver(const ProductConfigStore &store, const ReaderRegistry &registry,
                 std::function<QString()> publicDocumentsFolder);

    // The process-wide store and registry with the machine's public documents folder.
    static ExportDriver processWide();

    // True exactly when folder names an existing directory; an empty text names the working
    // directory. The product code plays no part.
    bool canExport(const QString &productCode, const QString &folder) const;

    // The merged table of every configured log location of the product, every key's rows
    // ordered by time. *hasReader tells whether the product has a reader; without one the
    // table is empty and nothing was read. With sessions, also pairs each location's rows into
    // sessions before they are merged, and gives them ordered by start. With perLocation, also
    // gives each location's sessions as its log holds them, in configuration order, each with
    // its log location as logLocation() names it. beforeLocation hears of each location
    // (0-based index, count) before it is read, and may stop the reading by answering false;
    // what was read so far is then given. warnings receives a sentence for each log whose rows
    // of several product types were all filed under its first. unreadable receives the
    // locations, and the files of
    // folder locations, that exist but could not be read.
    UsageTable collectUsage(const QString &productCode, bool *hasReader = nullptr,
                            UsageSessions *sessions = nullptr,
                            QVector<QPair<QString, UsageSessions>> *perLocation = nullptr,
                            const std::function<bool(int, int)> &beforeLocation = {},
                            QStringList *unreadable = nullptr,
                            QStringList *warnings = nullptr) const;

    // The full path of every configured log location of the product, in configuration order.
    QStringList logLocations(const QString &productCode) const;

    // The configuration's company, product, platform code and log name joined with "/" as
    // they stand.
    static QString logLocation(const ProductConfigStruct &config);

    // Appends part to merged key by key; a key new to merged is added with part's list, even
    // an empty one.
    static void merge(UsageTable &merged, const UsageTable &part);
    // The same, moving part's rows instead of copying them.
    static void merge(UsageTable &merged, UsageTable &&part);
    // Orders every key's rows by whole seconds since the epoch, keeping the order of equal
    // seconds; invalid date-times last.
    static void orderByTime(UsageTable &table);

private:
    // The product's configurations that exist, in the configuration's order.
    QList<QSharedPointer<ProductConfigStruct>> configsOf(const QString &productCode) const;

    const ProductConfigStore &m_store;
    const ReaderRegistry &m_registry;
    std::function<QString()> m_publicDocumentsFolder;
};

// The process-wide store and registry and the machine's public documents folder; the export
// goes the one road of both programs (ExportJob).
bool canExport(const QString &productCode, const QString &folder);
bool exportUsageReport(const QString &productCode, const QString &folder);
QString publicDocumentsPath();

#endif // EXPORTDRIVER_H
