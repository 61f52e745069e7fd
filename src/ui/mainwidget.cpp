#include "mainwidget.h"

#include "exportenvironment.h"
#include "logtoolmainform.h"

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
