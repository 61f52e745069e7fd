#ifndef ARCHIVEBATCH_H
#define ARCHIVEBATCH_H

#include <QByteArray>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// Rows for one table, sent many to a statement: one round trip to a server carries many rows.
// The rows per statement follow the engine's limit on bound values (999 in SQLite before 3.32).
// conflict is the statement's ON CONFLICT clause.
class ArchiveBatch
{
public:
    // A row's values in column order. A vector, not a list: a list would allocate each value
    // on its own, and a million sessions' rows made that the larger part of an ingest.
    using Row = QVector<QVariant>;

    ArchiveBatch(const QSqlDatabase &db, const QString &table, const QStringList &columns,
                 const QString &conflict, int maxBoundValues);

    // Adds a row; its first value is the key the conflict clause names. One statement never
    // carries two rows of one key (a server refuses to touch a row twice in one statement): a
    // second one goes into the next.
    bool add(const Row &row, QString *error);
    bool flush(QString *error);

    // The rows one statement carries.
    int rowsPerStatement() const { return m_rowsPerStatement; }
    // The most values one statement of the engine behind db may bind.
    static int maxBoundValues(const QSqlDatabase &db);

private:
    QString statement(int rows) const;

    QSqlDatabase m_db;
    QString m_table;
    QStringList m_columns;
    QString m_conflict;
    int m_rowsPerStatement;
    QSqlQuery m_full;
    bool m_fullPrepared = false;
    Row m_pending;
    QSet<QByteArray> m_keys;
};

#endif // ARCHIVEBATCH_H
