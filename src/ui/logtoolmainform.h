#ifndef LOGTOOLMAINFORM_H
#define LOGTOOLMAINFORM_H

#include "exportjob.h"

#include <QFutureWatcher>
#include <QWidget>

#include <atomic>
#include <memory>

class ExportEnvironment;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The form on which the user picks a product and an export folder and starts the export. The
// export runs beside the window, which keeps answering, shows its progress and can cancel it,
// and says in its status line what happened.
class LogToolMainForm : public QWidget
{
    Q_OBJECT

public:
    // The form of the running tool: the process-wide environment.
    LogToolMainForm(QWidget *parent, Qt::WindowFlags flags);
    LogToolMainForm(const ExportEnvironment &environment, QWidget *parent, Qt::WindowFlags flags);
    ~LogToolMainForm() override;

    bool isExporting() const { return m_watcher.isRunning(); }
    // Cancels a running export and waits at most msecs for it to end; whether it has.
    bool stopExport(int msecs);
    // Where the folder dialog opens and what it remembers, in the user's settings.
    static QString lastFolderKey() { return QStringLiteral("export/lastFolder"); }

signals:
    // The outcome of every export, once it has ended.
    void exportFinished(const ExportOutcome &outcome);

public slots:
    void onExportBtnDataClick();
    void onSelectPathBtnClick();
    void cancelExport();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // What the write choice asks for.
    enum Write
    {
        WriteReport = 1,
        WriteSummary = 2,
    };

    void build();
    void fillRememberedFolder();
    // Opens a file or folder with the desktop's program; says so when there is none.
    void openInDesktop(const QString &path);
    // Grows the window until the status line shows whole.
    void fitStatus();
    void startExport();
    void finishExport();
    // Says how the export ended and makes the form ready for the next.
    void endExport(const ExportOutcome &outcome);
    // Cancel has waited long enough: the export is said to be cancelled, and its end, when
    // it comes, is passed over.
    void abandonExport();
    void showStatus(const QString &text);
    // Says in the status line when the chosen code has no reader.
    void describeProduct();
    QString selectedProduct() const;

    const ExportEnvironment &m_environment;
    QFutureWatcher<ExportOutcome> m_watcher;
    // Shared with the running export, which may outlive the form when the program ends.
    std::shared_ptr<std::atomic_bool> m_cancel = std::make_shared<std::atomic_bool>(false);
    QString m_lastReport;
    bool m_abandoned = false;
    // Export was pressed while an abandoned export was still stopping.
    bool m_queued = false;

    QComboBox *productCombo = nullptr;
    QPushButton *selectPathBtn = nullptr;
    QLineEdit *exportPathEdit = nullptr;
    QLabel *filePathLabel = nullptr;
    QPushButton *selectFilePathBtn = nullptr;
    QLineEdit *filePathEdit = nullptr;
    QCheckBox *rangeCheck = nullptr;
    QDateEdit *fromEdit = nullptr;
    QDateEdit *toEdit = nullptr;
    QComboBox *writeCombo = nullptr;
    QProgressBar *progressBar = nullptr;
    QPushButton *cancelBtn = nullptr;
    QPushButton *exportBtn = nullptr;
    QLabel *statusLabel = nullptr;
    QPushButton *openBtn = nullptr;
    QPushButton *showFolderBtn = nullptr;
};

#endif // LOGTOOLMAINFORM_H
