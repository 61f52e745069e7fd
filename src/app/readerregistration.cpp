#include "readerregistration.h"

#include "filereaderbycsv.h"
#include "productconfigstore.h"
#include "prxfilereader.h"
#include "readerregistry.h"
#include "zqffilereader.h"

#include <QSet>

#include <functional>

namespace {

struct KnownProduct
{
    const char *code;
    const char *kind;
    std::function<QSharedPointer<IFileReader>()> create;
};

const KnownProduct kKnownProducts[] = {
    {"PRX", "PRX", [] { return QSharedPointer<IFileReader>(new PrxFileReader); }},
    {"DLV", "CSV", [] { return QSharedPointer<IFileReader>(new FileReaderByCSV); }},
    {"HWN", "CSV", [] { return QSharedPointer<IFileReader>(new FileReaderByCSV); }},
    {"HWNK", "CSV", [] { return QSharedPointer<IFileReader>(new FileReaderByCSV); }},
    {"ZQF", "directory", [] { return QSharedPointer<IFileReader>(new ZqfFileReader); }},
};

} // namespace

void registerReaders(const QStringList &products, ReaderRegistry &registry)
{
    const QSet<QString> listed(products.cbegin(), products.cend());
    for (const KnownProduct &known : kKnownProducts) {
        const QString code = QString::fromLatin1(known.code);
        if (listed.contains(code))
            registry.registerReader(code, known.create());
    }
}

void registerReaders()
{
    registerReaders(ProductConfigStore::instance().products(), ReaderRegistry::instance());
}

QString readerKind(const QString &productCode)
{
    for (const KnownProduct &known : kKnownProducts) {
        if (productCode == QLatin1String(known.code))
            return QString::fromLatin1(known.kind);
    }
    return QStringLiteral("none");
}
