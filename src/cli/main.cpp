#include "exportcommand.h"
#include "programsetup.h"
#include "temporaryfileregistry.h"

#include <QApplication>
#include <QFile>

#include <csignal>
#include <cstdio>

namespace {

// The outcome is one line on standard error that scripts read; the toolkit's own notices
// (a missing runtime folder and the like) would only get in its way.
void dropNotices(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(dropNotices);
#ifndef _WIN32
    // Scheduled runs have no display: print without one unless the caller chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
#ifndef _WIN32
    // A reader that goes away (a closed pipe) is a write error to report, not a silent end.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // A scheduler that stops the run must not leave half-written files beside the reports.
    TemporaryFileRegistry::removeOnTermination();
    ProgramSetup::beforeCommandLineApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PlinthraUsageExport"));
    QApplication::setApplicationVersion(QStringLiteral(PLINTHRA_VERSION));
    QFile out;
    QFile err;
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly);
    return ExportCommand::run(QApplication::arguments(), &out, &err);
}
