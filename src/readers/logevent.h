#ifndef LOGEVENT_H
#define LOGEVENT_H

#include <QDateTime>
#include <QString>

enum LogEventKind : qint32
{
    None = 0,
    RunStart = 1,
    RunEnd = 2,
    UserSet = 3
};

// One recognised line of a time-stamped log.
struct LogEvent
{
    qint32 kind = None;
    // The stamp of the line that carried the event; invalid when it did not parse.
    QDateTime dateTime;
    // The line's message, line end included; a user-set event also carries its continuation lines.
    QString message;
};

// Its members are all relocatable, so vectors of events grow by moving bytes.
Q_DECLARE_TYPEINFO(LogEvent, Q_MOVABLE_TYPE);

#endif // LOGEVENT_H
