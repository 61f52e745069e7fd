#ifndef TERMINATIONWATCHER_H
#define TERMINATIONWATCHER_H

#include <QObject>

class QSocketNotifier;

// Turns a polite request to end the process (SIGTERM or SIGINT on Unix-like systems) into a
// normal end of the event loop, so the window closes and the process exits as if the user had
// closed it. Does nothing on Windows, where closing a window is the way to ask.
class TerminationWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};

#endif // TERMINATIONWATCHER_H
