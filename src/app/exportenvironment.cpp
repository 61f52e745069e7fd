#include "exportenvironment.h"

#include "publicdocuments.h"
#include "readerregistration.h"

ExportEnvironment::ExportEnvironment(const QString &configPath, const QString &publicDocuments)
    : m_store(configPath), m_publicDocuments(publicDocuments),
      m_driver(m_store, m_registry, publicDocuments)
{
    registerReaders(m_store.products(), m_registry);
}

const ExportEnvironment &ExportEnvironment::processWide()
{
    static const ExportEnvironment environment(ProductConfigStore::defaultFilePath(),
                                               PublicDocuments::path());
    return environment;
}

bool ExportEnvironment::hasConfiguration() const
{
    const QStringList products = m_store.products();
    for (const QString &code : products) {
        if (!code.isEmpty())
            return true;
    }
    return false;
}

bool ExportEnvironment::hasReader(const QString &productCode) const
{
    return !m_registry.readerFor(productCode).isNull();
}

QStringList ExportEnvironment::codesWithReader() const
{
    QStringList codes;
    const QStringList products = m_store.products();
    for (const QString &code : products) {
        if (hasReader(code))
            codes << code;
    }
    return codes;
}
