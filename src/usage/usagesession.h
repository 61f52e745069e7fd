#ifndef USAGESESSION_H
#define USAGESESSION_H

#include <QDateTime>
#include <QString>

// One use of a product: an "In" row and, when the run ended cleanly, the "Out" row that follows
// it. The product type is the key the session is filed under.
class UsageSession
{
public:
    enum State
    {
        // Start and end are valid and the end is not before the start.
        Closed,
        // A run that ended without its shutdown line: there is no end.
        Open,
        // The start or the end moment is invalid.
        Undated,
        // The end lies before the start.
        Invalid,
    };

    // An open session.
    UsageSession(const QString &userName, const QString &dogNum, const QDateTime &start);
    // A paired session; its state follows from the two moments.
    UsageSession(const QString &userName, const QString &dogNum, const QDateTime &start,
                 const QDateTime &end);

    const QString &userName() const { return m_userName; }
    const QString &dogNum() const { return m_dogNum; }
    const QDateTime &start() const { return m_start; }
    // Invalid for an open session.
    const QDateTime &end() const { return m_end; }
    State state() const { return m_state; }
    // Seconds since the epoch of a valid start, of a valid end; 0 when invalid.
    qint64 startSeconds() const { return m_startSeconds; }
    qint64 endSeconds() const { return m_endSeconds; }
    // Elapsed seconds of a closed session, 0 for every other state.
    qint64 seconds() const { return m_state == Closed ? m_endSeconds - m_startSeconds : 0; }

    // The machine an archive filed the session under, as a number into the machines of the
    // UsageSessions that holds it; -1 for a session read from a log. It sits in the room the
    // state leaves, so it makes a session no larger.
    int machine() const { return m_machine; }
    void setMachine(int machine) { m_machine = machine; }

    // "closed", "open", "undated" or "invalid".
    static QString stateName(State state);

private:
    QString m_userName;
    QString m_dogNum;
    QDateTime m_start;
    QDateTime m_end;
    qint64 m_startSeconds = 0;
    qint64 m_endSeconds = 0;
    State m_state = Open;
    int m_machine = -1;
};

#endif // USAGESESSION_H
