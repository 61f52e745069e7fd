#include "exportenvironment.h"
#include "localtimezone.h"
#include "mainwidget.h"
#include "terminationwatcher.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    LocalTimeZone::pin();
    // Labels and fields follow the screen's scale (Windows at 150 %, 144 DPI screens).
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
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
    }
    return result;
}
