#ifndef MAINWIDGET_H
#define MAINWIDGET_H

#include <QMainWindow>

class ExportEnvironment;
class LogToolMainForm;

// The tool's one window: a title bar with a close button around the export form.
class MainWidget : public QMainWindow
{
    Q_OBJECT

public:
    // The window of the running tool: the process-wide environment.
    explicit MainWidget(QWidget *parent = nullptr);
    explicit MainWidget(const ExportEnvironment &environment, QWidget *parent = nullptr);

    LogToolMainForm *form() const { return mainForm; }

    // After the event loop: an export still running when the window closed was cancelled;
    // when it has not ended within a second (a long report is laid out in one piece), what it
    // staged is removed and the process ends with result at once.
    static void endProcessPromptly(MainWidget &window, int result);

protected:
    // Closing during an export cancels it; the window goes at once.
    void closeEvent(QCloseEvent *event) override;

private:
    void setUp();

    LogToolMainForm *mainForm = nullptr;
};

#endif // MAINWIDGET_H
