#include "exportenvironment.h"
#include "mainwidget.h"
#include "programsetup.h"
#include "terminationwatcher.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    ProgramSetup::beforeWindowApplication();
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Plinthra"));
    QCoreApplication::setApplicationName(QStringLiteral("PlinthraUsageTool"));
    int result = 0;
    {
        // The window goes before the application object.
        MainWidget window(ExportEnvironment::processWide());
        TerminationWatcher watcher;
        QObject::connect(&watcher, &TerminationWatcher::terminationRequested, &window,
                         &QWidget::close);
        window.show();
        result = app.exec();
        MainWidget::endProcessPromptly(window, result);
    }
    return result;
}
