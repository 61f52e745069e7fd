#include "archiveingest.h"

#include "archivebatch.h"
#include "archiveconnection.h"
#include "archiveschema.h"
#include "archivetext.h"

#include <QHash>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

#include <cstring>

namespace {

const QStringList &sessionColumns()
{
    static const QStringList columns = {
        QStringLiteral("identity"),   QStringLiteral("source_id"),   QStringLiteral("product_type"),
        QStringLiteral("ordinal"),    QStringLiteral("user_name"),   QStringLiteral("dongle"),
        QStringLiteral("start_text"), QStringLiteral("start_epoch"), QStringLiteral("start_offset"),
        QStringLiteral("end_text"),   QStringLiteral("end_epoch"),   QStringLiteral("end_offset"),
        QStringLiteral("state"),      QStringLiteral("completeness")};
    return columns;
}

const QStringList &endColumns()
{
    static const QStringList columns = {
        QStringLiteral("identity"),     QStringLiteral("source_id"),
        QStringLiteral("product_type"), QStringLiteral("ordinal"),
        QStringLiteral("user_name"),    QStringLiteral("dongle"),
        QStringLiteral("moment_text"),  QStringLiteral("moment_epoch"),
        QStringLiteral("moment_offset")};
    return columns;
}

// A later, more complete reading of a session wins, whatever order two ingests commit in.
const QString kCompleteSession = QStringLiteral(
    "ON CONFLICT (identity) DO UPDATE SET end_text = excluded.end_text, "
    "end_epoch = excluded.end_epoch, end_offset = excluded.end_offset, state = excluded.state, "
    "completeness = excluded.completeness WHERE excluded.completeness > sessions.completeness");

} // namespace

ArchiveIngest::ArchiveIngest(ArchiveConnection &archive) : m_archive(archive) {}

bool ArchiveIngest::run(const QString &machine, const QString &productCode,
                        const LocationSessions &locations)
{
    if (m_archive.isReadOnly())
        return m_archive.fail(
            ArchiveConnection::Failure::WriteFailed,
            QStringLiteral("The archive file %1 is read-only; nothing was added to it.")
                .arg(m_archive.target()));
    if (!m_archive.begin())
        return false;
    m_machine = machine.isEmpty() ? defaultMachine() : ArchiveText::storable(machine);
    if (m_machine.isEmpty())
        return m_archive.finish(false);
    const QString code = ArchiveText::storable(productCode);
    const QSqlDatabase db = m_archive.database();
    const int limit = ArchiveBatch::maxBoundValues(db);
    ArchiveBatch sessions(db, QStringLiteral("sessions"), sessionColumns(), kCompleteSession,
                          limit);
    ArchiveBatch ends(db, QStringLiteral("unpaired_ends"), endColumns(),
                      QStringLiteral("ON CONFLICT (identity) DO NOTHING"), limit);
    QString error;
    for (const auto &location : locations) {
        const qint64 id = sourceId(m_machine, code, ArchiveText::storable(location.first));
        if (id < 0)
            return m_archive.finish(false);
        if (!send(id, code, location.second, &sessions, &ends, &error))
            return m_archive.finish(writeFailed(error));
    }
    if (!sessions.flush(&error) || !ends.flush(&error))
        return m_archive.finish(writeFailed(error));
    return m_archive.finish(true);
}

bool ArchiveIngest::writeFailed(const QString &error)
{
    return m_archive.fail(
        error.contains(QLatin1String("malformed"), Qt::CaseInsensitive)
            ? ArchiveConnection::Failure::Unavailable
            : ArchiveConnection::Failure::WriteFailed,
        QStringLiteral("Could not add to the archive, so nothing of this ingest was "
                       "kept: %1")
            .arg(error));
}

QString ArchiveIngest::defaultMachine()
{
    // A new host name later must not make this machine's sessions new ones.
    const QString id = QString::fromLatin1(QSysInfo::machineUniqueId());
    const QString host = ArchiveText::storable(QSysInfo::machineHostName());
    if (id.isEmpty())
        return host;
    const QSqlDatabase db = m_archive.database();
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO machine_ids (machine_id, machine) VALUES (?, ?) "
                                  "ON CONFLICT DO NOTHING"));
    insert.addBindValue(id);
    insert.addBindValue(host);
    QSqlQuery select(db);
    select.prepare(QStringLiteral("SELECT machine FROM machine_ids WHERE machine_id = ?"));
    select.addBindValue(id);
    const QString failedText = QStringLiteral("Could not add to the archive");
    if (!m_archive.exec(insert, ArchiveConnection::Failure::WriteFailed, failedText) ||
        !m_archive.exec(select, ArchiveConnection::Failure::WriteFailed, failedText))
        return QString();
    if (!select.next()) {
        m_archive.failed(select, ArchiveConnection::Failure::WriteFailed, failedText);
        return QString();
    }
    return select.value(0).toString();
}

qint64 ArchiveIngest::sourceId(const QString &machine, const QString &productCode,
                               const QString &location)
{
    const QSqlDatabase db = m_archive.database();
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO sources (machine, product_code, location) "
                                  "VALUES (?, ?, ?) ON CONFLICT DO NOTHING"));
    QSqlQuery select(db);
    select.prepare(QStringLiteral("SELECT id FROM sources WHERE machine = ? AND product_code = ? "
                                  "AND location = ?"));
    for (QSqlQuery *query : {&insert, &select}) {
        query->bindValue(0, machine);
        query->bindValue(1, productCode);
        query->bindValue(2, location);
        if (!m_archive.exec(*query, ArchiveConnection::Failure::WriteFailed,
                            QStringLiteral("Could not add to the archive")))
            return -1;
    }
    if (!select.next()) {
        m_archive.failed(select, ArchiveConnection::Failure::WriteFailed,
                         QStringLiteral("Could not add to the archive"));
        return -1;
    }
    return select.value(0).toLongLong();
}

namespace {

// Sessions identical in everything the identity holds are told apart by their rank within
// one reading of one location; ranks counts them by 64 bits of the first one's digest, which
// keeps a million sessions' counts small.
QByteArray rankedIdentity(const QVariant &epoch, const QByteArray &key, QHash<quint64, int> *ranks)
{
    const QByteArray first = ArchiveText::identity(epoch, key, 0);
    quint64 digest = 0;
    std::memcpy(&digest, first.constData() + 8, sizeof digest);
    int &seen = (*ranks)[digest];
    return seen++ == 0 ? first : ArchiveText::identity(epoch, key, seen - 1);
}

} // namespace

bool ArchiveIngest::send(qint64 sourceId, const QString &productCode, const UsageSessions &sessions,
                         ArchiveBatch *sessionRows, ArchiveBatch *endRows, QString *error) const
{
    QHash<quint64, int> ranks;
    for (auto entry = sessions.sessions().cbegin(); entry != sessions.sessions().cend(); ++entry) {
        const QString type = ArchiveText::storable(entry.key());
        const UsageSessionList &list = entry.value();
        for (int ordinal = 0; ordinal < list.size(); ++ordinal) {
            const UsageSession &session = list.at(ordinal);
            const bool isOpen = session.state() == UsageSession::Open;
            const QString user = ArchiveText::storable(session.userName());
            const QString dongle = ArchiveText::storable(session.dogNum());
            const ArchiveText::Stored start = ArchiveText::stored(session.start());
            const ArchiveText::Stored end =
                ArchiveText::stored(isOpen ? QDateTime() : session.end());
            const QByteArray key =
                ArchiveText::key({QStringLiteral("s"), m_machine, productCode, type, user, dongle,
                                  ArchiveText::momentKey(start.text, start.epoch)});
            const QByteArray identity = rankedIdentity(start.epoch, key, &ranks);
            const QString state = UsageSession::stateName(session.state());
            const int completeness = ArchiveSchema::completeness(state);
            const ArchiveBatch::Row row = {
                identity,    sourceId,     type,     ordinal,   user,       dongle, start.text,
                start.epoch, start.offset, end.text, end.epoch, end.offset, state,  completeness};
            if (!sessionRows->add(row, error))
                return false;
        }
    }
    const auto &ends = sessions.unpairedEnds();
    for (auto entry = ends.cbegin(); entry != ends.cend(); ++entry) {
        const QString type = ArchiveText::storable(entry.key());
        for (int ordinal = 0; ordinal < entry.value().size(); ++ordinal) {
            const UsageRecord &record = entry.value().at(ordinal);
            const QString user = ArchiveText::storable(record.userName());
            const QString dongle = ArchiveText::storable(record.dogNum());
            const ArchiveText::Stored moment = ArchiveText::stored(record.dateTime());
            const QByteArray key =
                ArchiveText::key({QStringLiteral("u"), m_machine, productCode, type, user, dongle,
                                  ArchiveText::momentKey(moment.text, moment.epoch)});
            const QByteArray identity = rankedIdentity(moment.epoch, key, &ranks);
            if (!endRows->add({identity, sourceId, type, ordinal, user, dongle, moment.text,
                               moment.epoch, moment.offset},
                              error))
                return false;
        }
    }
    return true;
}
