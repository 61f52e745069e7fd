#include "readerregistry.h"

ReaderRegistry &ReaderRegistry::instance()
{
    static ReaderRegistry registry;
    return registry;
}

bool ReaderRegistry::registerReader(const QString &productCode, QSharedPointer<IFileReader> reader)
{
    // A null entry would answer lookups as "no reader" and yet block the real registration.
    if (reader.isNull() || readers.contains(productCode))
        return false;
    readers.insert(productCode, reader);
    return true;
}

QSharedPointer<IFileReader> ReaderRegistry::readerFor(const QString &productCode) const
{
    return readers.value(productCode);
}
