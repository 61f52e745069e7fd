#include "licencefile.h"

#include "inifile.h"

#include <QDir>
#include <QFileInfo>

QString LicenceFile::defaultPath(const QString &configPath)
{
    return QFileInfo(configPath).dir().filePath(QStringLiteral("Licences.ini"));
}

LicenceFile LicenceFile::load(const QString &path)
{
    LicenceFile file;
    file.m_path = path;
    file.m_ini = IniFile::load(path);
    return file;
}

bool LicenceFile::exists() const
{
    return m_ini.status() != IniFile::Status::Missing;
}

QHash<QString, int> LicenceFile::read(const QString &productCode, QStringList *problems) const
{
    QHash<QString, int> owned;
    if (m_ini.status() == IniFile::Status::Unreadable) {
        problems->append(QStringLiteral("%1 could not be read; no licences owned are known")
                             .arg(QDir::toNativeSeparators(m_path)));
        return owned;
    }
    const QStringList types = m_ini.keys(productCode);
    for (const QString &type : types) {
        const QString text = m_ini.value(productCode, type).trimmed();
        bool ok = false;
        const int count = text.toInt(&ok);
        if (ok && count >= 0)
            owned.insert(type, count);
        else
            problems->append(QStringLiteral("%1: \"%2 = %3\" in [%4] is not a number of "
                                            "licences; it was left out")
                                 .arg(QDir::toNativeSeparators(m_path), type, text, productCode));
    }
    return owned;
}

QHash<QString, int> LicenceFile::owned(const QString &productCode) const
{
    QStringList problems;
    return read(productCode, &problems);
}

QStringList LicenceFile::problems(const QString &productCode) const
{
    QStringList problems;
    read(productCode, &problems);
    return problems;
}
