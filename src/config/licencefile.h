#ifndef LICENCEFILE_H
#define LICENCEFILE_H

#include "inifile.h"

#include <QHash>
#include <QString>
#include <QStringList>

// The licences a site owns, from a file of its own (Licences.ini): a group for each product
// code, a key for each product type with the number owned. Read only, never written.
//
//     [DLV]
//     Delivery Suite = 12
//     Delivery Viewer = 40
class LicenceFile
{
public:
    // The file beside the product configuration that is read when none is named.
    static QString defaultPath(const QString &configPath);

    // Reads path; a missing file owns nothing.
    static LicenceFile load(const QString &path);

    bool exists() const;
    // The counts of the product's types.
    QHash<QString, int> owned(const QString &productCode) const;
    // One sentence for each line of the product's group that is not a count, or for a file
    // that exists but could not be read.
    QStringList problems(const QString &productCode) const;

private:
    // The counts of the group, and a sentence for each value that is not one.
    QHash<QString, int> read(const QString &productCode, QStringList *problems) const;

    QString m_path;
    IniFile m_ini;
};

#endif // LICENCEFILE_H
