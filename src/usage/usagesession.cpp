#include "usagesession.h"

#include "localepoch.h"

// A million sessions of a log are held at once: the machine number must not make them larger.
static_assert(sizeof(void *) != 8 || sizeof(UsageSession) == 56,
              "a session of a log is six words and its state, with the machine beside the state");

namespace {

qint64 secondsOf(const QDateTime &moment)
{
    return moment.isValid() ? LocalEpoch::seconds(moment) : 0;
}

} // namespace

UsageSession::UsageSession(const QString &userName, const QString &dogNum, const QDateTime &start)
    : m_userName(userName), m_dogNum(dogNum), m_start(start), m_startSeconds(secondsOf(start)),
      m_state(Open)
{
}

// Durations are elapsed seconds between the two moments as the local time zone places them, so
// a run across a daylight-saving change counts the time that really passed: an hour less than
// its wall clock shows in spring, an hour more in autumn. A stamp in the hour skipped in spring
// names no moment (the readers give an invalid date-time), so its session is undated; a stamp
// in the hour repeated in autumn is taken at its first occurrence, in summer time.
UsageSession::UsageSession(const QString &userName, const QString &dogNum, const QDateTime &start,
                           const QDateTime &end)
    : m_userName(userName), m_dogNum(dogNum), m_start(start), m_end(end),
      m_startSeconds(secondsOf(start)), m_endSeconds(secondsOf(end))
{
    if (!start.isValid() || !end.isValid())
        m_state = Undated;
    else if (m_endSeconds < m_startSeconds)
        m_state = Invalid;
    else
        m_state = Closed;
}

QString UsageSession::stateName(State state)
{
    switch (state) {
    case Closed:
        return QStringLiteral("closed");
    case Open:
        return QStringLiteral("open");
    case Undated:
        return QStringLiteral("undated");
    case Invalid:
        return QStringLiteral("invalid");
    }
    return QString();
}
