#ifndef MAINWIDGET_H
#define MAINWIDGET_H

#include <QMainWindow>

class ExportDriver;
class LogToolMainForm;
class ProductConfigStore;

// The tool's one window: a title bar with a close button around the export form.
class MainWidget : public QMainWindow
{
    Q_OBJECT

public:
    // The window of the running tool: the process-wide configuration and export driver.
    explicit MainWidget(QWidget *parent = nullptr);
    // A window over an explicit configuration and export driver.
    MainWidget(const ProductConfigStore &store, const ExportDriver &driver,
               QWidget *parent = nullptr);

    LogToolMainForm *form() const { return mainForm; }

private:
    void setUp();

    LogToolMainForm *mainForm = nullptr;
};

#endif // MAINWIDGET_H
