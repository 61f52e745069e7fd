#include "logtoolmainform.h"

#include "exportenvironment.h"
#include "usagereportwriter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QtConcurrent>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace {

// How long Cancel waits for the export to stop before the window stops waiting for it.
constexpr int kCancelWait = 1000;

// The narrowest a row label may be; it grows with its text, whatever the font and scale.
constexpr int kLabelMinimumWidth = 80;
const QString kNoReaderSuffix = QStringLiteral(" (no reader)");

QLabel *rowLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setMinimumWidth(kLabelMinimumWidth);
    return label;
}

} // namespace

LogToolMainForm::LogToolMainForm(QWidget *parent, Qt::WindowFlags flags)
    : LogToolMainForm(ExportEnvironment::processWide(), parent, flags)
{
}

LogToolMainForm::LogToolMainForm(const ExportEnvironment &environment, QWidget *parent,
                                 Qt::WindowFlags flags)
    : QWidget(parent, flags), m_environment(environment)
{
    build();
}

LogToolMainForm::~LogToolMainForm()
{
    // The export works on this form's environment; it stops at its next step.
    *m_cancel = true;
    m_watcher.waitForFinished();
}

void LogToolMainForm::build()
{
    auto *grid = new QGridLayout;
    grid->setColumnStretch(1, 1);

    grid->addWidget(rowLabel(QStringLiteral("Product:")), 0, 0);
    productCombo = new QComboBox;
    productCombo->setObjectName(QStringLiteral("productCombo"));
    const QStringList products = m_environment.store().products();
    for (const QString &code : products) {
        if (code.isEmpty())
            continue;
        const bool readable = m_environment.hasReader(code);
        productCombo->addItem(readable ? code : code + kNoReaderSuffix, code);
        if (!readable)
            productCombo->setItemData(productCombo->count() - 1,
                                      QStringLiteral("The tool has no reader for this code: "
                                                     "exporting it writes nothing."),
                                      Qt::ToolTipRole);
    }
    productCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto *productRow = new QHBoxLayout;
    productRow->addWidget(productCombo);
    productRow->addStretch(1);
    grid->addLayout(productRow, 0, 1, 1, 2);

    filePathLabel = rowLabel(QStringLiteral("File Path:"));
    filePathLabel->setObjectName(QStringLiteral("filePathLabel"));
    grid->addWidget(filePathLabel, 1, 0);
    filePathEdit = new QLineEdit;
    filePathEdit->setObjectName(QStringLiteral("filePathEdit"));
    grid->addWidget(filePathEdit, 1, 1);
    selectFilePathBtn = new QPushButton(QStringLiteral("Select"));
    selectFilePathBtn->setObjectName(QStringLiteral("selectFilePathBtn"));
    grid->addWidget(selectFilePathBtn, 1, 2);

    grid->addWidget(rowLabel(QStringLiteral("Export Path:")), 2, 0);
    exportPathEdit = new QLineEdit;
    exportPathEdit->setObjectName(QStringLiteral("exportPathEdit"));
    grid->addWidget(exportPathEdit, 2, 1);
    selectPathBtn = new QPushButton(QStringLiteral("&Select"));
    selectPathBtn->setObjectName(QStringLiteral("selectPathBtn"));
    grid->addWidget(selectPathBtn, 2, 2);

    // Optional, and off unless asked for: a plain export writes the report of every row.
    auto *optionsRow = new QHBoxLayout;
    rangeCheck = new QCheckBox(QStringLiteral("Only &from"));
    rangeCheck->setObjectName(QStringLiteral("rangeCheck"));
    fromEdit = new QDateEdit(QDate::currentDate().addMonths(-1));
    fromEdit->setObjectName(QStringLiteral("fromEdit"));
    toEdit = new QDateEdit(QDate::currentDate());
    toEdit->setObjectName(QStringLiteral("toEdit"));
    for (QDateEdit *edit : {fromEdit, toEdit}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setEnabled(false);
        connect(rangeCheck, &QCheckBox::toggled, edit, &QWidget::setEnabled);
    }
    optionsRow->addWidget(rangeCheck);
    optionsRow->addWidget(fromEdit);
    optionsRow->addWidget(new QLabel(QStringLiteral("to")));
    optionsRow->addWidget(toEdit);
    optionsRow->addSpacing(12);
    // The report by default, as it always was; the summary alone spares a long report.
    auto *writeLabel = new QLabel(QStringLiteral("&Write:"));
    writeCombo = new QComboBox;
    writeCombo->setObjectName(QStringLiteral("writeCombo"));
    writeCombo->addItem(QStringLiteral("The report"), int(WriteReport));
    writeCombo->addItem(QStringLiteral("The summary"), int(WriteSummary));
    writeCombo->addItem(QStringLiteral("The report and the summary"),
                        int(WriteReport | WriteSummary));
    writeCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    writeLabel->setBuddy(writeCombo);
    optionsRow->addWidget(writeLabel);
    optionsRow->addWidget(writeCombo);
    optionsRow->addStretch(1);
    grid->addLayout(optionsRow, 3, 0, 1, 3);

    auto *buttonRow = new QHBoxLayout;
    progressBar = new QProgressBar;
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setTextVisible(true);
    cancelBtn = new QPushButton(QStringLiteral("&Cancel"));
    cancelBtn->setObjectName(QStringLiteral("cancelBtn"));
    buttonRow->addWidget(progressBar, 1);
    buttonRow->addWidget(cancelBtn);
    buttonRow->addStretch(0);
    exportBtn = new QPushButton(QStringLiteral("&Export"));
    exportBtn->setObjectName(QStringLiteral("exportBtn"));
    exportBtn->setDefault(true);
    buttonRow->addWidget(exportBtn);
    grid->addLayout(buttonRow, 4, 0, 1, 3);

    // The status line has the window's whole width to itself, and the window grows to show it
    // whole (see fitStatus).
    statusLabel = new QLabel;
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setWordWrap(true);
    statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLabel->setTextFormat(Qt::PlainText);
    grid->addWidget(statusLabel, 5, 0, 1, 3);
    auto *statusRow = new QHBoxLayout;
    openBtn = new QPushButton(QStringLiteral("&Open"));
    openBtn->setObjectName(QStringLiteral("openBtn"));
    showFolderBtn = new QPushButton(QStringLiteral("Show in fo&lder"));
    showFolderBtn->setObjectName(QStringLiteral("showFolderBtn"));
    statusRow->addStretch(1);
    statusRow->addWidget(openBtn);
    statusRow->addWidget(showFolderBtn);
    grid->addLayout(statusRow, 6, 0, 1, 3);

    exportPathEdit->setReadOnly(true);
    // Nothing to type there: Tab goes from the product to the buttons.
    exportPathEdit->setFocusPolicy(Qt::NoFocus);
    exportBtn->setEnabled(false);
    filePathLabel->hide();
    filePathEdit->hide();
    filePathEdit->setReadOnly(true);
    selectFilePathBtn->hide();
    progressBar->hide();
    cancelBtn->hide();
    openBtn->hide();
    showFolderBtn->hide();
    setLayout(grid);

    if (!m_environment.hasConfiguration()) {
        productCombo->setEnabled(false);
        showStatus(QStringLiteral("Cannot read the product configuration %1: it is missing, "
                                  "unreadable or lists no products.")
                       .arg(QDir::toNativeSeparators(m_environment.configPath())));
    }

    connect(exportBtn, &QAbstractButton::clicked, this, &LogToolMainForm::onExportBtnDataClick);
    connect(selectPathBtn, &QAbstractButton::clicked, this, &LogToolMainForm::onSelectPathBtnClick);
    connect(cancelBtn, &QAbstractButton::clicked, this, &LogToolMainForm::cancelExport);
    connect(&m_watcher, &QFutureWatcher<ExportOutcome>::finished, this,
            &LogToolMainForm::finishExport);
    connect(productCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &LogToolMainForm::describeProduct);
    describeProduct();
    connect(openBtn, &QAbstractButton::clicked, this, [this] { openInDesktop(m_lastReport); });
    connect(showFolderBtn, &QAbstractButton::clicked, this,
            [this] { openInDesktop(QFileInfo(m_lastReport).absolutePath()); });
    fillRememberedFolder();
}

void LogToolMainForm::fillRememberedFolder()
{
    const QString folder = QSettings().value(lastFolderKey()).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return;
    exportPathEdit->setText(folder);
    exportBtn->setEnabled(m_environment.hasConfiguration());
}

void LogToolMainForm::openInDesktop(const QString &path)
{
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return;
    // Without a desktop session nothing opens, and a click that does nothing says nothing.
    statusLabel->setText(statusLabel->text() + QLatin1Char('\n') +
                         QStringLiteral("Could not open %1: no program to open it was found (is "
                                        "there a desktop session?).")
                             .arg(QDir::toNativeSeparators(path)));
    fitStatus();
}

void LogToolMainForm::fitStatus()
{
    QWidget *top = window();
    if (!top->isVisible() || !layout())
        return;
    // The wrapped status line makes the form's height depend on its width, which a window
    // does not follow by itself: it is grown by what the form lacks.
    layout()->activate();
    const int needed = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width())
                                                     : layout()->totalMinimumSize().height();
    if (needed > height())
        top->resize(top->width(), top->height() + needed - height());
}

void LogToolMainForm::describeProduct()
{
    if (isExporting() || !m_environment.hasConfiguration())
        return;
    const QString code = selectedProduct();
    if (!code.isEmpty() && !m_environment.hasReader(code))
        showStatus(QStringLiteral("The tool has no reader for %1, so exporting it writes "
                                  "nothing. Codes with a reader: %2.")
                       .arg(code, m_environment.codesWithReader().join(QStringLiteral(", "))));
    else
        showStatus(QString());
}

QString LogToolMainForm::selectedProduct() const
{
    return productCombo->currentData().toString();
}

void LogToolMainForm::showStatus(const QString &text)
{
    statusLabel->setText(text);
    openBtn->hide();
    showFolderBtn->hide();
    fitStatus();
}

void LogToolMainForm::onExportBtnDataClick()
{
    // A cancelled export the window stopped waiting for still holds its files until it has
    // stopped: the new one starts then.
    if (m_abandoned && exportBtn->isEnabled()) {
        m_queued = true;
        exportBtn->setEnabled(false);
        showStatus(QStringLiteral("Waiting for the cancelled export to stop; this export starts "
                                  "then."));
        return;
    }
    // One export at a time: a click while one runs is not queued.
    if (isExporting() || !exportBtn->isEnabled())
        return;
    startExport();
}

void LogToolMainForm::startExport()
{
    // Refused before anything is read: a reversed range would replace the reports with empty
    // ones.
    if (rangeCheck->isChecked() && fromEdit->date() > toEdit->date()) {
        showStatus(
            QStringLiteral("Nothing was exported: the \"from\" date %1 lies after the "
                           "\"to\" date %2.")
                .arg(fromEdit->date().toString(Qt::ISODate), toEdit->date().toString(Qt::ISODate)));
        fromEdit->setFocus();
        return;
    }
    ExportRequest request;
    request.productCode = selectedProduct();
    request.folder = exportPathEdit->text();
    if (rangeCheck->isChecked()) {
        request.from = fromEdit->date();
        request.to = toEdit->date();
    }
    const int write = writeCombo->currentData().toInt();
    request.report = write & WriteReport;
    request.summary = write & WriteSummary;

    m_cancel = std::make_shared<std::atomic_bool>(false);
    exportBtn->setEnabled(false);
    selectPathBtn->setEnabled(false);
    cancelBtn->setEnabled(true);
    cancelBtn->show();
    progressBar->setRange(0, 0);
    progressBar->setFormat(QStringLiteral("Starting"));
    progressBar->show();
    showStatus(QStringLiteral("Exporting %1...").arg(request.productCode));

    const ExportEnvironment *environment = &m_environment;
    QPointer<LogToolMainForm> form(this);
    const auto progress = [form](const ExportJob::Progress &step) {
        QMetaObject::invokeMethod(
            form,
            [form, step] {
                if (!form)
                    return;
                // A stage without a count shows as busy.
                form->progressBar->setRange(0, step.total);
                form->progressBar->setValue(step.current);
                form->progressBar->setFormat(step.text());
            },
            Qt::QueuedConnection);
    };
    const std::shared_ptr<std::atomic_bool> cancel = m_cancel;
    m_watcher.setFuture(QtConcurrent::run([environment, request, progress, cancel] {
        return ExportJob::run(*environment, request, progress, cancel.get());
    }));
}

bool LogToolMainForm::stopExport(int msecs)
{
    cancelExport();
    QElapsedTimer waited;
    waited.start();
    while (isExporting() && waited.elapsed() < msecs)
        QThread::msleep(10);
    return !isExporting();
}

void LogToolMainForm::cancelExport()
{
    if (!isExporting() || m_abandoned)
        return;
    *m_cancel = true;
    cancelBtn->setEnabled(false);
    progressBar->setFormat(QStringLiteral("Cancelling"));
    // Every stage stops at its next step, but a long report is laid out in one piece: the
    // window does not wait for that. Nothing of the export is kept either way.
    const std::shared_ptr<std::atomic_bool> cancelled = m_cancel;
    QTimer::singleShot(kCancelWait, this, [this, cancelled] {
        if (isExporting() && m_cancel == cancelled)
            abandonExport();
    });
}

void LogToolMainForm::abandonExport()
{
    m_abandoned = true;
    ExportOutcome outcome;
    outcome.status = ExportOutcome::Cancelled;
    outcome.productCode = selectedProduct();
    endExport(outcome);
}

void LogToolMainForm::finishExport()
{
    const ExportOutcome outcome = m_watcher.result();
    if (!m_abandoned) {
        endExport(outcome);
        return;
    }
    // Its end was already said when the window stopped waiting for it.
    m_abandoned = false;
    exportBtn->setEnabled(!exportPathEdit->text().isEmpty());
    if (m_queued) {
        m_queued = false;
        startExport();
    }
}

void LogToolMainForm::endExport(const ExportOutcome &outcome)
{
    progressBar->hide();
    cancelBtn->hide();
    exportBtn->setEnabled(true);
    selectPathBtn->setEnabled(true);
    showStatus(outcome.sentence() + QLatin1Char('.'));
    if (outcome.succeeded() && !outcome.writtenPaths.isEmpty()) {
        m_lastReport = outcome.writtenPaths.constFirst();
        openBtn->show();
        showFolderBtn->show();
        fitStatus();
    }
    emit exportFinished(outcome);
}

void LogToolMainForm::onSelectPathBtnClick()
{
    QSettings settings;
    QString start = settings.value(lastFolderKey()).toString();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = exportPathEdit->text().isEmpty() ? QStringLiteral(".") : exportPathEdit->text();
    auto *dialog = new QFileDialog(this, QString(), QString(), QString());
    dialog->setWindowTitle(QStringLiteral("Select Export Path"));
    dialog->setDirectory(start);
    dialog->setFilter(QDir::Dirs | QDir::NoDotAndDotDot);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setViewMode(QFileDialog::Detail);
    if (dialog->exec() == QDialog::Accepted) {
        const QStringList selected = dialog->selectedFiles();
        if (!selected.isEmpty()) {
            exportPathEdit->setText(selected.first());
            exportBtn->setEnabled(!isExporting());
            settings.setValue(lastFolderKey(), selected.first());
            // The folder chosen, the next step is to export: Enter must not reopen the dialog.
            exportBtn->setFocus();
        }
    }
    delete dialog;
}

void LogToolMainForm::keyPressEvent(QKeyEvent *event)
{
    // Outside a dialog buttons do not take Enter themselves: the focused button gets it, and
    // otherwise Export, the default.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto *button = qobject_cast<QPushButton *>(focusWidget());
        if (!button)
            button = exportBtn;
        if (button->isEnabled() && button->isVisible())
            button->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
