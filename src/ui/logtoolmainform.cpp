#include "logtoolmainform.h"

#include "productconfigstore.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kLabelWidth = 80;

QLabel *rowLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setFixedWidth(kLabelWidth);
    return label;
}

} // namespace

LogToolMainForm::LogToolMainForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), m_driver(ExportDriver::processWide())
{
    build(ProductConfigStore::instance());
}

LogToolMainForm::LogToolMainForm(const ProductConfigStore &store, const ExportDriver &driver,
                                 QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), m_driver(driver)
{
    build(store);
}

void LogToolMainForm::build(const ProductConfigStore &store)
{
    auto *layout = new QVBoxLayout;

    auto *productRow = new QHBoxLayout;
    productRow->addWidget(rowLabel(QStringLiteral("Product:")));
    productCombo = new QComboBox;
    productCombo->setObjectName(QStringLiteral("productCombo"));
    const QStringList products = store.products();
    for (const QString &code : products)
        productCombo->addItem(code);
    productRow->addWidget(productCombo);
    productRow->addStretch(0);

    auto *filePathRow = new QHBoxLayout;
    filePathLabel = new QLabel(QStringLiteral("File Path:"));
    filePathLabel->setObjectName(QStringLiteral("filePathLabel"));
    filePathLabel->setFixedWidth(kLabelWidth);
    filePathRow->addWidget(filePathLabel);
    filePathEdit = new QLineEdit;
    filePathEdit->setObjectName(QStringLiteral("filePathEdit"));
    filePathRow->addWidget(filePathEdit);
    selectFilePathBtn = new QPushButton(QStringLiteral("Select"));
    selectFilePathBtn->setObjectName(QStringLiteral("selectFilePathBtn"));
    filePathRow->addWidget(selectFilePathBtn);

    auto *exportPathRow = new QHBoxLayout;
    exportPathRow->addWidget(rowLabel(QStringLiteral("Export Path:")));
    exportPathEdit = new QLineEdit;
    exportPathEdit->setObjectName(QStringLiteral("exportPathEdit"));
    exportPathRow->addWidget(exportPathEdit);
    selectPathBtn = new QPushButton(QStringLiteral("Select"));
    selectPathBtn->setObjectName(QStringLiteral("selectPathBtn"));
    exportPathRow->addWidget(selectPathBtn);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(0);
    exportBtn = new QPushButton(QStringLiteral("Export"));
    exportBtn->setObjectName(QStringLiteral("exportBtn"));
    buttonRow->addWidget(exportBtn);

    layout->addLayout(productRow, 0);
    layout->addLayout(filePathRow, 0);
    layout->addLayout(exportPathRow, 0);
    layout->addLayout(buttonRow, 0);

    exportPathEdit->setReadOnly(true);
    exportBtn->setEnabled(false);
    filePathLabel->hide();
    filePathEdit->hide();
    filePathEdit->setReadOnly(true);
    selectFilePathBtn->hide();
    setLayout(layout);

    connect(exportBtn, &QAbstractButton::clicked, this, &LogToolMainForm::onExportBtnDataClick);
    connect(selectPathBtn, &QAbstractButton::clicked, this, &LogToolMainForm::onSelectPathBtnClick);
}

void LogToolMainForm::onExportBtnDataClick()
{
    const QString productCode = productCombo->currentText();
    const QString folder = exportPathEdit->text();
    if (!m_driver.canExport(productCode, folder))
        return;
    m_driver.exportUsageReport(productCode, folder);
}

void LogToolMainForm::onSelectPathBtnClick()
{
    auto *dialog = new QFileDialog(this, QString(), QString(), QString());
    dialog->setWindowTitle(QStringLiteral("Select Export Path"));
    dialog->setDirectory(QStringLiteral("."));
    dialog->setFilter(QDir::Dirs);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setViewMode(QFileDialog::Detail);
    if (dialog->exec() == QDialog::Accepted) {
        const QStringList selected = dialog->selectedFiles();
        if (!selected.isEmpty()) {
            exportPathEdit->setText(selected.first());
            exportBtn->setEnabled(true);
        }
    }
    delete dialog;
}
