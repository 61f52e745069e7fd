#ifndef READERREGISTRATION_H
#define READERREGISTRATION_H

#include <QString>
#include <QStringList>

class ReaderRegistry;

// Gives each known product code that the configuration lists a reader object of its own,
// in the order PRX, DLV, HWN, HWNK, ZQF. Codes are matched exactly; other codes get none.
void registerReaders(const QStringList &products, ReaderRegistry &registry);

// Start-up's registration: the process-wide configuration's products into the process-wide
// registry.
void registerReaders();

// The kind of reader a known product code gets: "PRX", "CSV" or "directory"; "none" for a
// code the tool does not know.
QString readerKind(const QString &productCode);

#endif // READERREGISTRATION_H
