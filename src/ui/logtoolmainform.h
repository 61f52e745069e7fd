#ifndef LOGTOOLMAINFORM_H
#define LOGTOOLMAINFORM_H

#include "exportdriver.h"

#include <QWidget>

class ProductConfigStore;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The form on which the user picks a product and an export folder and starts the export.
class LogToolMainForm : public QWidget
{
    Q_OBJECT

public:
    // The form of the running tool: the process-wide configuration and export driver.
    LogToolMainForm(QWidget *parent, Qt::WindowFlags flags);
    // A form over an explicit configuration and export driver.
    LogToolMainForm(const ProductConfigStore &store, const ExportDriver &driver, QWidget *parent,
                    Qt::WindowFlags flags);

public slots:
    void onExportBtnDataClick();
    void onSelectPathBtnClick();

private:
    void build(const ProductConfigStore &store);

    ExportDriver m_driver;
    QComboBox *productCombo = nullptr;
    QPushButton *selectPathBtn = nullptr;
    QLineEdit *exportPathEdit = nullptr;
    QLabel *filePathLabel = nullptr;
    QPushButton *selectFilePathBtn = nullptr;
    QLineEdit *filePathEdit = nullptr;
    QPushButton *exportBtn = nullptr;
};

#endif // LOGTOOLMAINFORM_H
