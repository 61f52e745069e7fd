#include "archivebatch.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QVersionNumber>

#include <algorithm>

namespace {

constexpr int kMostRowsPerStatement = 250;

} // namespace

ArchiveBatch::ArchiveBatch(const QSqlDatabase &db, const QString &table, const QStringList &columns,
                           const QString &conflict, int maxBoundValues)
    : m_db(db), m_table(table), m_columns(columns), m_conflict(conflict),
      m_rowsPerStatement(
          std::max(1, std::min(kMostRowsPerStatement, maxBoundValues / int(columns.size())))),
      m_full(db)
{
}

int ArchiveBatch::maxBoundValues(const QSqlDatabase &db)
{
    if (db.driverName() != QLatin1String("QSQLITE"))
        return 65535;
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("SELECT sqlite_version()")) || !version.next())
        return 999;
    return QVersionNumber::fromString(version.value(0).toString()) >= QVersionNumber(3, 32) ? 32766
                                                                                            : 999;
}

bool ArchiveBatch::add(const Row &row, QString *error)
{
    const QByteArray key = row.at(0).toByteArray();
    if (m_keys.contains(key) && !flush(error))
        return false;
    m_keys.insert(key);
    if (m_pending.isEmpty())
        m_pending.reserve(m_rowsPerStatement * m_columns.size());
    m_pending += row;
    if (m_pending.size() < m_rowsPerStatement * m_columns.size())
        return true;
    return flush(error);
}

bool ArchiveBatch::flush(QString *error)
{
    const int rows = m_pending.size() / m_columns.size();
    if (rows == 0)
        return true;
    QSqlQuery partial(m_db);
    QSqlQuery &query = rows == m_rowsPerStatement ? m_full : partial;
    if ((&query == &partial || !m_fullPrepared) && !query.prepare(statement(rows))) {
        *error = query.lastError().text();
        return false;
    }
    if (&query == &m_full)
        m_fullPrepared = true;
    for (int index = 0; index < m_pending.size(); ++index)
        query.bindValue(index, m_pending.at(index));
    m_pending.clear();
    m_keys.clear();
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    return true;
}

QString ArchiveBatch::statement(int rows) const
{
    QStringList marks;
    for (int column = 0; column < m_columns.size(); ++column)
        marks << QStringLiteral("?");
    const QString one = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    QStringList values;
    for (int row = 0; row < rows; ++row)
        values << one;
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3 %4")
        .arg(m_table, m_columns.join(QStringLiteral(", ")), values.join(QLatin1Char(',')),
             m_conflict);
}
