#include "mainwidget.h"

#include "exportenvironment.h"
#include "logtoolmainform.h"
#include "temporaryfileregistry.h"

#include <QCloseEvent>

#include <cstdio>
#include <cstdlib>

MainWidget::MainWidget(QWidget *parent) : MainWidget(ExportEnvironment::processWide(), parent) {}

MainWidget::MainWidget(const ExportEnvironment &environment, QWidget *parent)
    : QMainWindow(parent, Qt::WindowFlags())
{
    setWindowTitle(QStringLiteral("PlinthraUsageTool"));
    setWindowFlags(Qt::WindowCloseButtonHint);
    mainForm = new LogToolMainForm(environment, this, Qt::WindowFlags());
    setUp();
}

void MainWidget::setUp()
{
    setCentralWidget(mainForm);
    // 400 by 150, or what the content needs at this font and scale, whichever is larger.
    resize(sizeHint().expandedTo(QSize(400, 150)));
}

void MainWidget::closeEvent(QCloseEvent *event)
{
    mainForm->cancelExport();
    QMainWindow::closeEvent(event);
}

void MainWidget::endProcessPromptly(MainWidget &window, int result)
{
    if (window.form()->stopExport(1000))
        return;
    // Nothing staged was committed: a cancelled export renames nothing, and the names it
    // made are removed here; the previous files stay as they were.
    TemporaryFileRegistry::removeAllNow();
    std::fflush(nullptr);
    std::_Exit(result);
}
