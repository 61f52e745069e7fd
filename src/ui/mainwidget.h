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

private:
    void setUp();

    LogToolMainForm *mainForm = nullptr;
};

#endif // MAINWIDGET_H
