#include "localtimezone.h"
#include "mainwidget.h"
#include "readerregistration.h"
#include "terminationwatcher.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    LocalTimeZone::pin();
    QApplication app(argc, argv);
    registerReaders();
    int result = 0;
    {
        // The window goes before the application object.
        MainWidget window;
        TerminationWatcher watcher;
        QObject::connect(&watcher, &TerminationWatcher::terminationRequested, &window,
                         &QWidget::close);
        window.show();
        result = app.exec();
    }
    return result;
}
