#include "programsetup.h"

#include "localtimezone.h"

#include <QCoreApplication>

void ProgramSetup::beforeCommandLineApplication()
{
    LocalTimeZone::pin();
    // The report's lengths are measured against the resolution fonts are given without a
    // device, which is the screen's unless fixed (the offscreen platform's is 100, a laptop at
    // 150 % gives 144). Fixed at 96, every machine lays the report out alike; widgets still
    // take the screen's own.
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
}

void ProgramSetup::beforeWindowApplication()
{
    beforeCommandLineApplication();
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}
