#include "mainwidget.h"

#include "exportdriver.h"
#include "logtoolmainform.h"
#include "productconfigstore.h"

MainWidget::MainWidget(QWidget *parent) : QMainWindow(parent, Qt::WindowFlags())
{
    setWindowTitle(QStringLiteral("PlinthraUsageTool"));
    setWindowFlags(Qt::WindowCloseButtonHint);
    mainForm = new LogToolMainForm(this, Qt::WindowFlags());
    setUp();
}

MainWidget::MainWidget(const ProductConfigStore &store, const ExportDriver &driver, QWidget *parent)
    : QMainWindow(parent, Qt::WindowFlags())
{
    setWindowTitle(QStringLiteral("PlinthraUsageTool"));
    setWindowFlags(Qt::WindowCloseButtonHint);
    mainForm = new LogToolMainForm(store, driver, this, Qt::WindowFlags());
    setUp();
}

void MainWidget::setUp()
{
    resize(400, 150);
    setCentralWidget(mainForm);
}
