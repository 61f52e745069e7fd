// ProductConfig.ini parsing on arbitrary file contents, and every lookup of what was read.
#include "fuzzsupport.h"

#include "productconfigstore.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = FuzzSupport::writeFile(QStringLiteral("ProductConfig.ini"), data, size);
    const ProductConfigStore store(path);
    const QStringList products = store.products();
    // Only an escape writes a line end into a value: one in a file without backslashes would
    // mean lines were joined.
    const bool mayEscape = size > 0 && std::memchr(data, '\\', size) != nullptr;
    if (products.isEmpty())
        FuzzSupport::fail("the product list is empty");
    for (int i = 1; i < products.size(); ++i) {
        if (!(products.at(i - 1) < products.at(i)))
            FuzzSupport::fail("the product list is not in ascending order");
    }
    for (const QString &product : products) {
        // A product without configurations lists the one empty name; otherwise every name it
        // lists has been read.
        const QStringList names = store.configNames(product);
        if (names == QStringList(QString()))
            continue;
        for (const QString &name : names) {
            const auto config = store.config(name);
            if (!config)
                FuzzSupport::fail("a listed configuration was not read");
            if (mayEscape)
                continue;
            for (const QString &value :
                 {config->company, config->product, config->platformCode, config->logName}) {
                if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
                    FuzzSupport::fail("a value holds a line end");
            }
        }
    }
    (void)store.reportHeader();
    if (store.fileStatus() != ProductConfigStore::FileStatus::Read)
        FuzzSupport::fail("a regular file was not read");
    return 0;
}
