#include "archivereader.h"

#include "archiveconnection.h"
#include "archivetext.h"

#include <QPair>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <limits>

namespace {

const QString kOpen = QStringLiteral("open");
const QString kIn = QStringLiteral("In");
const QString kOut = QStringLiteral("Out");
const QString kReadFailed = QStringLiteral("Could not read the archive");

// The epoch seconds to search between for moments dated in [from, to]. A day of slack on each
// side covers any time zone's midnight; the dates themselves are decided on the moments read,
// as they are for the logs.
QPair<qint64, qint64> epochBounds(const QDate &from, const QDate &to)
{
    const auto dayStart = [](const QDate &date) {
        return QDateTime(date, QTime(0, 0)).toSecsSinceEpoch();
    };
    return qMakePair(
        from.isNull() ? std::numeric_limits<qint64>::min() / 2 : dayStart(from.addDays(-1)),
        to.isNull() ? std::numeric_limits<qint64>::max() / 2 : dayStart(to.addDays(2)));
}

} // namespace

ArchiveReader::ArchiveReader(ArchiveConnection &archive) : m_archive(archive) {}

bool ArchiveReader::load(const QString &productCode, const QDate &from, const QDate &to,
                         UsageSessions *sessions, UsageTable *rows)
{
    UsageSessions all;
    if (!readSessions(productCode, from, to, &all) || !readEnds(productCode, from, to, &all))
        return false;
    if (rows)
        rebuildRows(all, rows);
    *sessions = all.inDateRange(from, to);
    sessions->orderByStart();
    return true;
}

bool ArchiveReader::readSessions(const QString &productCode, const QDate &from, const QDate &to,
                                 UsageSessions *all)
{
    QSqlQuery query(m_archive.database());
    query.setForwardOnly(true);
    if (!prepareSessionQuery(query, productCode, from, to, QString()) ||
        !m_archive.exec(query, ArchiveConnection::Failure::Unavailable, kReadFailed))
        return false;
    while (query.next()) {
        const QString type = query.value(0).toString();
        const QString user = query.value(1).toString();
        const QString dongle = query.value(2).toString();
        const QDateTime start = ArchiveText::moment(query.value(3), query.value(6));
        UsageSession session =
            query.value(5).toString() == kOpen
                ? UsageSession(user, dongle, start)
                : UsageSession(user, dongle, start,
                               ArchiveText::moment(query.value(4), query.value(7)));
        session.setMachine(all->machineNumber(query.value(8).toString()));
        all->addSession(type, session);
    }
    // A damaged page ends the reading early: no partial answer.
    if (query.lastError().isValid())
        return m_archive.failed(query, ArchiveConnection::Failure::Unavailable, kReadFailed);
    return true;
}

bool ArchiveReader::readEnds(const QString &productCode, const QDate &from, const QDate &to,
                             UsageSessions *all)
{
    const bool ranged = !from.isNull() || !to.isNull();
    const QPair<qint64, qint64> epochs = epochBounds(from, to);
    QSqlQuery ends(m_archive.database());
    ends.setForwardOnly(true);
    ends.prepare(QStringLiteral("SELECT e.product_type, e.user_name, e.dongle, e.moment_text, "
                                "e.moment_offset, so.machine FROM unpaired_ends e "
                                "JOIN sources so ON so.id = e.source_id "
                                "WHERE so.product_code = ? %1 "
                                "ORDER BY so.id, e.product_type, e.ordinal")
                     .arg(ranged ? QStringLiteral("AND e.moment_epoch >= ? AND e.moment_epoch < ?")
                                 : QString()));
    const QVariantList bounds = {productCode, epochs.first, epochs.second};
    for (int index = 0; index < (ranged ? 3 : 1); ++index)
        ends.bindValue(index, bounds.at(index));
    if (!m_archive.exec(ends, ArchiveConnection::Failure::Unavailable, kReadFailed))
        return false;
    while (ends.next())
        all->addUnpairedEnd(ends.value(0).toString(),
                            ArchiveText::moment(ends.value(3), ends.value(4)),
                            ends.value(1).toString(), ends.value(2).toString(),
                            all->machineNumber(ends.value(5).toString()));
    if (ends.lastError().isValid())
        return m_archive.failed(ends, ArchiveConnection::Failure::Unavailable, kReadFailed);
    return true;
}

// Each session's "In" and "Out" rows and the unpaired ends, as the logs' rows come.
void ArchiveReader::rebuildRows(const UsageSessions &all, UsageTable *rows)
{
    rows->clear();
    for (auto entry = all.sessions().cbegin(); entry != all.sessions().cend(); ++entry) {
        UsageRecordList &list = (*rows)[entry.key()];
        for (const UsageSession &session : entry.value()) {
            list.append(UsageRecord(session.userName(), session.dogNum(), session.start(), kIn));
            if (session.state() != UsageSession::Open)
                list.append(UsageRecord(session.userName(), session.dogNum(), session.end(), kOut));
        }
    }
    const auto &endRows = all.unpairedEnds();
    for (auto entry = endRows.cbegin(); entry != endRows.cend(); ++entry)
        (*rows)[entry.key()] += entry.value();
}

bool ArchiveReader::prepareSessionQuery(QSqlQuery &query, const QString &productCode,
                                        const QDate &from, const QDate &to, const QString &prefix)
{
    const bool ranged = !from.isNull() || !to.isNull();
    const QPair<qint64, qint64> epochs = epochBounds(from, to);
    // Sources in the order they first came, each location's sessions in log order: the order
    // the logs of one machine give before sessions are ordered by start.
    QString where = QStringLiteral("so.product_code = ?");
    if (ranged)
        where += QStringLiteral(" AND ((s.start_epoch >= ? AND s.start_epoch < ?) OR "
                                "(s.end_epoch >= ? AND s.end_epoch < ?))");
    if (!query.prepare(prefix + QStringLiteral("SELECT s.product_type, s.user_name, s.dongle, "
                                               "s.start_text, s.end_text, s.state, s.start_offset, "
                                               "s.end_offset, so.machine FROM sessions s "
                                               "JOIN sources so ON so.id = s.source_id WHERE %1 "
                                               "ORDER BY so.id, s.product_type, s.ordinal, s.id")
                                    .arg(where)))
        return m_archive.fail(ArchiveConnection::Failure::Unavailable,
                              QStringLiteral("Could not read the archive %1: %2")
                                  .arg(m_archive.target(), query.lastError().text()));
    const QVariantList bounds = {productCode, epochs.first, epochs.second, epochs.first,
                                 epochs.second};
    for (int index = 0; index < (ranged ? 5 : 1); ++index)
        query.bindValue(index, bounds.at(index));
    return true;
}

QStringList ArchiveReader::queryPlan(const QString &productCode, const QDate &from, const QDate &to)
{
    QSqlQuery query(m_archive.database());
    QStringList plan;
    if (m_archive.isServer())
        return plan;
    if (!prepareSessionQuery(query, productCode, from, to, QStringLiteral("EXPLAIN QUERY PLAN ")) ||
        !m_archive.exec(query, ArchiveConnection::Failure::Unavailable, kReadFailed))
        return plan;
    while (query.next())
        plan << query.value(query.record().count() - 1).toString();
    return plan;
}

bool ArchiveReader::listing(QVector<MachineShare> *shares)
{
    QSqlQuery query(m_archive.database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT so.product_code, so.machine, COUNT(s.source_id), "
                                 "MIN(s.start_text), MAX(s.start_text) FROM sources so "
                                 "LEFT JOIN sessions s ON s.source_id = so.id "
                                 "GROUP BY so.product_code, so.machine "
                                 "ORDER BY so.product_code, so.machine"));
    if (!m_archive.exec(query, ArchiveConnection::Failure::Unavailable, kReadFailed))
        return false;
    shares->clear();
    while (query.next()) {
        MachineShare share;
        share.productCode = query.value(0).toString();
        share.machine = query.value(1).toString();
        share.sessions = query.value(2).toLongLong();
        share.firstDate = ArchiveText::moment(query.value(3), QVariant(0)).date();
        share.lastDate = ArchiveText::moment(query.value(4), QVariant(0)).date();
        shares->append(share);
    }
    if (query.lastError().isValid())
        return m_archive.failed(query, ArchiveConnection::Failure::Unavailable, kReadFailed);
    return true;
}
