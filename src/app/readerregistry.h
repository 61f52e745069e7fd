#ifndef READERREGISTRY_H
#define READERREGISTRY_H

#include "ifilereader.h"

#include <QMap>
#include <QSharedPointer>
#include <QString>

// Binds each product code to the reader that understands that product's logs. Start-up fills
// the process-wide registry once; the export driver only looks readers up.
class ReaderRegistry
{
public:
    // The process-wide registry, created empty on first use.
    static ReaderRegistry &instance();

    // An empty registry of its own, for tests and tools that must not touch the process-wide one.
    ReaderRegistry() = default;

    // Stores the reader under the code and returns true; when the code already has a reader,
    // or no reader is offered, keeps what is there and returns false.
    bool registerReader(const QString &productCode, QSharedPointer<IFileReader> reader);
    // A further share of the code's reader; null when the code (compared exactly) has none.
    QSharedPointer<IFileReader> readerFor(const QString &productCode) const;

private:
    QMap<QString, QSharedPointer<IFileReader>> readers;
};

#endif // READERREGISTRY_H
