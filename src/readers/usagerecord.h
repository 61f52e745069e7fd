#ifndef USAGERECORD_H
#define USAGERECORD_H

#include <QDateTime>
#include <QString>

// One row of the usage report. The date and time texts are derived from the date-time
// when the row is made, so they can never disagree with it; rows of the same day or the same
// second share one text.
class UsageRecord
{
public:
    // The texts are kept as given; a caller done with its own copies moves them in.
    UsageRecord(QString userName, QString dogNum, const QDateTime &dateTime, QString logAction);

    const QDateTime &dateTime() const { return m_dateTime; }
    const QString &userName() const { return m_userName; }
    const QString &dogNum() const { return m_dogNum; }
    // "yyyy-MM-dd"; empty for an invalid date-time.
    const QString &dateText() const { return m_dateText; }
    // "hh:mm:ss", hours 00 to 23; empty for an invalid date-time.
    const QString &timeText() const { return m_timeText; }
    // "In" or "Out".
    const QString &logAction() const { return m_logAction; }

    // Moves the user name and the dongle number out, leaving both empty: lets a table that
    // goes away free its names in an order of its own choosing (see TableRelease).
    void takeNames(QString *userName, QString *dogNum);

private:
    QDateTime m_dateTime;
    QString m_userName;
    QString m_dogNum;
    QString m_dateText;
    QString m_timeText;
    QString m_logAction;
};

// Its members are all relocatable, so vectors of rows grow by moving bytes.
Q_DECLARE_TYPEINFO(UsageRecord, Q_MOVABLE_TYPE);

#endif // USAGERECORD_H
