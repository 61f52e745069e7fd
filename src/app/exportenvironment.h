#ifndef EXPORTENVIRONMENT_H
#define EXPORTENVIRONMENT_H

#include "exportdriver.h"
#include "productconfigstore.h"
#include "readerregistry.h"

#include <QString>
#include <QStringList>

// Everything an export needs, built in one place from a configuration file and a public
// documents folder: the configuration store, the registry with a reader for every known code
// the configuration lists, and the driver over both. The window and the command-line tool each
// make one at start.
class ExportEnvironment
{
public:
    ExportEnvironment(const QString &configPath, const QString &publicDocuments);
    ExportEnvironment(const ExportEnvironment &) = delete;
    ExportEnvironment &operator=(const ExportEnvironment &) = delete;

    // Built from ProductConfig.ini beside the program and the machine's public documents
    // folder, once.
    static const ExportEnvironment &processWide();

    const ProductConfigStore &store() const { return m_store; }
    const ReaderRegistry &registry() const { return m_registry; }
    const ExportDriver &driver() const { return m_driver; }
    QString configPath() const { return m_store.filePath(); }
    QString publicDocuments() const { return m_publicDocuments; }

    // False when the configuration file is missing, unreadable or lists no product.
    bool hasConfiguration() const;
    bool hasReader(const QString &productCode) const;
    // The configured codes that have a reader, in the configuration's order.
    QStringList codesWithReader() const;

private:
    ProductConfigStore m_store;
    ReaderRegistry m_registry;
    QString m_publicDocuments;
    ExportDriver m_driver;
};

#endif // EXPORTENVIRONMENT_H
