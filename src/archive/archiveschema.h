#ifndef ARCHIVESCHEMA_H
#define ARCHIVESCHEMA_H

#include <QSqlDatabase>
#include <QString>

// The archive's tables, version by version, and the steps from each version to the next, run
// inside the caller's transaction.
//
// Version 2 files a session by its content: a digest of its machine, product code, product
// type, user, dongle and start moment, with its rank among sessions identical in all of that
// within one reading of one log location. Its end and state are attributes a later reading may
// complete. Each moment is kept as the log wrote it (wall-clock text) with the UTC instant and
// the offset the ingesting machine gave it.
class ArchiveSchema
{
public:
    static constexpr int Version = 2;

    // The numbers a session's state is ranked by: a later reading replaces an end only with a
    // more complete one.
    static int completeness(const QString &state);

    // Creates the tables of the newest version (from version 0: an empty database), or brings
    // those of fromVersion to it; false,
    // with *error telling why, when a step failed.
    static bool migrate(const QSqlDatabase &db, bool server, int fromVersion, QString *error);

private:
    static bool run(const QSqlDatabase &db, const QString &statement, QString *error);
    static bool createBase(const QSqlDatabase &db, bool server, QString *error);
    static bool createVersion2(const QSqlDatabase &db, bool server, QString *error);
    static bool carryVersion1Over(const QSqlDatabase &db, bool server, QString *error);
    static bool carryEndsOver(const QSqlDatabase &db, int limit, QString *error);
};

#endif // ARCHIVESCHEMA_H
