#ifndef PRODUCTCONFIGSTORE_H
#define PRODUCTCONFIGSTORE_H

#include "productconfigstruct.h"

#include <QMap>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

// The parsed ProductConfig.ini: which products exist, which configurations each
// product lists and what every configuration says. Filled once, never written back.
class ProductConfigStore
{
public:
    // The process-wide store, read from ProductConfig.ini beside the executable on first use.
    static ProductConfigStore &instance();
    // The file the process-wide store reads.
    static QString defaultFilePath();

    // A store read from an explicit file; a missing or unreadable file reads as one without
    // keys. The rules of the file are those of IniFile: QSettings' INI format, but commas and
    // glued semicolons stay in a value.
    explicit ProductConfigStore(const QString &filePath);

    QString filePath() const { return m_filePath; }

    enum class FileStatus
    {
        Read,
        Missing,
        // Exists but is not a regular file that can be read (a FIFO, a device, a folder, no
        // permission, larger than 16 MiB); read as a missing file.
        Unreadable,
    };
    // Whether the file was there and could be read.
    FileStatus fileStatus() const { return m_fileStatus; }
    // Empty when the file was read as UTF-8 or UTF-16 text; otherwise one sentence naming the
    // file and what is wrong: missing, unreadable, or not text (such a file is still read, as
    // UTF-8 with its bad bytes replaced, so that its plain ASCII parts keep working).
    QString problem() const { return m_problem; }

    // Product codes in ascending text order, each once.
    QStringList products() const;
    // A copy of the product's configuration names; empty when the code was never listed.
    QStringList configNames(const QString &productCode) const;
    // The product's configuration names that have no group of that name (or an empty one),
    // each once, in the order listed.
    QStringList missingConfigs(const QString &productCode) const;
    // Whether the configuration name was read and has a group with keys of its own.
    bool hasGroup(const QString &configName) const;
    // A share of the named configuration; null when the name was never read. A name without a
    // group reads as empty texts.
    QSharedPointer<ProductConfigStruct> config(const QString &configName) const;

    // The optional REPORT_HEADER group: its keys and their texts, empty when absent.
    QMap<QString, QString> reportHeader() const { return m_reportHeader; }

private:
    void load();

    QString m_filePath;
    FileStatus m_fileStatus = FileStatus::Missing;
    QString m_problem;
    QMap<QString, QSharedPointer<ProductConfigStruct>> configsByName;
    QMap<QString, QStringList> configNamesByProduct;
    QMap<QString, QString> m_reportHeader;
    QSet<QString> m_withoutGroup;
};

#endif // PRODUCTCONFIGSTORE_H
