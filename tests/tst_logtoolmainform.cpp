#include "exportenvironment.h"
#include "logtoolmainform.h"
#include "mainwidget.h"
#include "pdfreader.h"
#include "programsetup.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

const QByteArray kPrxLog =
    "2024-03-05 08:00:00 1.2[I][UI][0x1][F.cpp:1] PRXUIPluginFacade::onStartup enter\n"
    "2024-03-05 08:00:05 1.2[I][UI][0x1][F.cpp:1] set User "
    "{\"email\":\"anna@example.com\",\"dognum\":\"D-1\",\"productType\":\"Pro\"}\n"
    "2024-03-05 09:00:00 1.2[I][UI][0x1][F.cpp:1] PRXUIPluginFacade::~PRXUIPluginFacade enter\n";

// A PRX log of uses runs, one after the other.
QByteArray prxLog(int uses)
{
    QByteArray log;
    QDateTime at(QDate(2024, 3, 5), QTime(8, 0));
    for (int i = 0; i < uses; ++i) {
        const QByteArray stamp = at.toString("yyyy-MM-dd HH:mm:ss").toLatin1();
        const QByteArray end = at.addSecs(600).toString("yyyy-MM-dd HH:mm:ss").toLatin1();
        log += stamp + " 1.2[I][UI][0x1][F.cpp:1] PRXUIPluginFacade::onStartup enter\n" + stamp +
               " 1.2[I][UI][0x1][F.cpp:1] set User {\"email\":\"user" + QByteArray::number(i) +
               "@example.com\",\"dognum\":\"D-1\",\"productType\":\"Pro\"}\n" + end +
               " 1.2[I][UI][0x1][F.cpp:1] PRXUIPluginFacade::~PRXUIPluginFacade enter\n";
        at = at.addSecs(900);
    }
    return log;
}

// A configuration and a public documents folder in a temporary folder of their own, and the
// environment start-up builds from them.
struct Setup
{
    QTemporaryDir dir;
    std::unique_ptr<ExportEnvironment> environment;

    explicit Setup(const QByteArray &ini, const QByteArray &log = kPrxLog)
    {
        TestSupport::writeFile(dir.filePath("ProductConfig.ini"), ini);
        if (!log.isNull())
            TestSupport::writeFile(dir.filePath("public/Acme/PRX/x64/activity.log"), log);
        environment.reset(
            new ExportEnvironment(dir.filePath("ProductConfig.ini"), dir.filePath("public")));
    }
};

const QByteArray kIni = "[PRODUCT]\nproducts=ZQF|PRX|NEW\n[PRX]\nconfigs=Main\n"
                        "[Main]\nCompany=Acme\nproduct=PRX\nPlatform_Code=x64\n"
                        "log_name=activity.log\n";

template <typename T> T *child(QWidget *form, const char *name)
{
    T *widget = form->findChild<T *>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

// Answers the folder dialog that the form is about to open, from inside its event loop.
void answerDialog(std::function<void(QFileDialog *)> answer)
{
    QTimer::singleShot(0, [answer] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        answer(dialog);
    });
}

void chooseFolder(LogToolMainForm *form, const QString &folder)
{
    answerDialog([folder](QFileDialog *dialog) {
        dialog->setDirectory(folder);
        // The dialog's own accept checks the selection as a user's click would.
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(child<QPushButton>(form, "selectPathBtn"), Qt::LeftButton);
}

QStringList filesBelow(const QString &path)
{
    QStringList files;
    QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(path.size());
    files.sort();
    return files;
}

// Clicks Export and waits for the export to end; the outcome it reported.
ExportOutcome exportAndWait(LogToolMainForm *form)
{
    QSignalSpy finished(form, &LogToolMainForm::exportFinished);
    QTest::mouseClick(child<QPushButton>(form, "exportBtn"), Qt::LeftButton);
    if (!finished.wait(300000))
        qFatal("the export did not end");
    return finished.constFirst().constFirst().value<ExportOutcome>();
}

QString status(LogToolMainForm *form)
{
    return child<QLabel>(form, "statusLabel")->text();
}

} // namespace

class TestLogToolMainForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowFrame();
    void initialState();
    void productsInStoreOrder();
    void dialogSettings();
    void chooseReplaceAndCancel();
    void exportPathCannotBeTyped();
    void exportWritesReport();
    void optionsWriteRangeAndSummary();
    void failuresAreSaid_data();
    void failuresAreSaid();
    void missingConfigurationIsSaid();
    void longExportKeepsWindowAnswering();
    void cancelLeavesOldReport();
    void labelsFitTheirTextAtLargeFonts();
    void enterClicksTheFocusedButton();
    void reversedRangeIsRefused();
    void summaryAloneLeavesTheReport();
    void statusShowsWhole_data();
    void statusShowsWhole();
    void keyboardAfterChoosingAFolder();
    void rememberedFolderIsFilledIn();
    void openWithoutDesktopIsSaid();
    void reportIsTheSameOnEveryScreen();
    void closingDuringAnExportEndsTheProgram();
    void cancelWhileLayingOutAnswersAtOnce();
};

void TestLogToolMainForm::initTestCase()
{
    // The remembered folder goes to a test location, never into the user's settings.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("PlinthraTest");
    QCoreApplication::setApplicationName("tst_logtoolmainform");
    QSettings().clear();
}

void TestLogToolMainForm::windowFrame()
{
    Setup setup(kIni);
    MainWidget window(*setup.environment);
    QCOMPARE(window.windowTitle(), QString("PlinthraUsageTool"));
    QCOMPARE(window.windowFlags() & Qt::WindowCloseButtonHint, Qt::WindowCloseButtonHint);
    QVERIFY(!(window.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(window.size(), window.sizeHint().expandedTo(QSize(400, 150)));
    QVERIFY(window.width() >= 400 && window.height() >= 150);
    QCOMPARE(window.centralWidget(), static_cast<QWidget *>(window.form()));
    QVERIFY(window.menuWidget() == nullptr);
}

void TestLogToolMainForm::initialState()
{
    Setup setup(kIni);
    MainWidget window(*setup.environment);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    LogToolMainForm *form = window.form();
    auto *exportPath = child<QLineEdit>(form, "exportPathEdit");
    QVERIFY(exportPath->text().isEmpty());
    QVERIFY(exportPath->isReadOnly());
    QCOMPARE(exportPath->focusPolicy(), Qt::NoFocus);
    QVERIFY(!child<QPushButton>(form, "exportBtn")->isEnabled());
    QCOMPARE(child<QPushButton>(form, "exportBtn")->text(), QString("&Export"));
    QVERIFY(child<QPushButton>(form, "exportBtn")->isDefault());
    QCOMPARE(child<QPushButton>(form, "selectPathBtn")->text(), QString("&Select"));
    QVERIFY(!child<QLabel>(form, "filePathLabel")->isVisible());
    QVERIFY(!child<QLineEdit>(form, "filePathEdit")->isVisible());
    QVERIFY(!child<QPushButton>(form, "selectFilePathBtn")->isVisible());
    QVERIFY(!child<QProgressBar>(form, "progressBar")->isVisible());
    QVERIFY(!child<QPushButton>(form, "cancelBtn")->isVisible());
    // The options are off: a plain export writes the report of every row, nothing more.
    QVERIFY(!child<QCheckBox>(form, "rangeCheck")->isChecked());
    QVERIFY(!child<QDateEdit>(form, "fromEdit")->isEnabled());
    QCOMPARE(child<QComboBox>(form, "writeCombo")->currentText(), QString("The report"));
    QStringList labels;
    for (QLabel *label : form->findChildren<QLabel *>()) {
        if (label->isVisible() && label->text().endsWith(':'))
            labels << label->text();
    }
    QCOMPARE(labels, (QStringList{"Product:", "Export Path:", "&Write:"}));
}

void TestLogToolMainForm::productsInStoreOrder()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    auto *combo = child<QComboBox>(&form, "productCombo");
    QStringList codes;
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) {
        codes << combo->itemData(i).toString();
        texts << combo->itemText(i);
    }
    QCOMPARE(codes, (QStringList{"NEW", "PRX", "ZQF"}));
    // ZQF has a reader but no configuration of its own here; NEW has no reader at all.
    QCOMPARE(texts, (QStringList{"NEW (no reader)", "PRX", "ZQF"}));
    QCOMPARE(combo->currentIndex(), 0);
    QVERIFY(!combo->isEditable());
    QVERIFY2(status(&form).contains("no reader for NEW"), qPrintable(status(&form)));
}

void TestLogToolMainForm::dialogSettings()
{
    Setup setup(kIni);
    QTemporaryDir last;
    QSettings().setValue(LogToolMainForm::lastFolderKey(), last.path());
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    answerDialog([&](QFileDialog *dialog) {
        QCOMPARE(dialog->windowTitle(), QString("Select Export Path"));
        QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
        QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
        QVERIFY(dialog->filter() & QDir::NoDotAndDotDot);
        QCOMPARE(dialog->viewMode(), QFileDialog::Detail);
        // It opens in the folder chosen last time.
        QCOMPARE(dialog->directory().absolutePath(), QDir(last.path()).absolutePath());
        dialog->reject();
    });
    QTest::mouseClick(child<QPushButton>(&form, "selectPathBtn"), Qt::LeftButton);
    QVERIFY(form.findChildren<QFileDialog *>().isEmpty());

    // Choosing a folder remembers it for the next run.
    QTemporaryDir chosen;
    chooseFolder(&form, chosen.path());
    QCOMPARE(QSettings().value(LogToolMainForm::lastFolderKey()).toString(), chosen.path());
    QSettings().clear();
}

void TestLogToolMainForm::chooseReplaceAndCancel()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    QTemporaryDir first;
    QTemporaryDir second;
    chooseFolder(&form, first.path());
    QCOMPARE(child<QLineEdit>(&form, "exportPathEdit")->text(), first.path());
    QVERIFY(child<QPushButton>(&form, "exportBtn")->isEnabled());

    chooseFolder(&form, second.path());
    QCOMPARE(child<QLineEdit>(&form, "exportPathEdit")->text(), second.path());

    answerDialog([](QFileDialog *dialog) { dialog->reject(); });
    QTest::mouseClick(child<QPushButton>(&form, "selectPathBtn"), Qt::LeftButton);
    QCOMPARE(child<QLineEdit>(&form, "exportPathEdit")->text(), second.path());
    QVERIFY(child<QPushButton>(&form, "exportBtn")->isEnabled());
}

void TestLogToolMainForm::exportPathCannotBeTyped()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    form.show();
    auto *edit = child<QLineEdit>(&form, "exportPathEdit");
    edit->setFocus();
    QTest::keyClicks(edit, "/tmp");
    QVERIFY(edit->text().isEmpty());
    QVERIFY(!child<QPushButton>(&form, "exportBtn")->isEnabled());
}

void TestLogToolMainForm::exportWritesReport()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    child<QComboBox>(&form, "productCombo")->setCurrentIndex(1);
    const QStringList before = filesBelow(setup.dir.path());
    const ExportOutcome outcome = exportAndWait(&form);
    QCOMPARE(outcome.status, ExportOutcome::Written);
    QCOMPARE(filesBelow(out.path()), QStringList{"/PRX_UsageReport.pdf"});
    QVERIFY(TestSupport::readFile(out.filePath("PRX_UsageReport.pdf")).startsWith("%PDF"));
    // Nothing besides the report is written, and the form says so and offers the file.
    QCOMPARE(filesBelow(setup.dir.path()), before);
    QCOMPARE(status(&form),
             QString("Wrote %1/PRX_UsageReport.pdf (2 rows, 1 product type).").arg(out.path()));
    QVERIFY(child<QPushButton>(&form, "openBtn")->isVisibleTo(&form));
    QVERIFY(child<QPushButton>(&form, "showFolderBtn")->isVisibleTo(&form));
    QVERIFY(child<QPushButton>(&form, "exportBtn")->isEnabled());
    QVERIFY(!child<QProgressBar>(&form, "progressBar")->isVisibleTo(&form));
}

void TestLogToolMainForm::optionsWriteRangeAndSummary()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    child<QComboBox>(&form, "productCombo")->setCurrentIndex(1);
    child<QCheckBox>(&form, "rangeCheck")->setChecked(true);
    child<QDateEdit>(&form, "fromEdit")->setDate(QDate(2024, 3, 6));
    child<QDateEdit>(&form, "toEdit")->setDate(QDate(2024, 3, 31));
    child<QComboBox>(&form, "writeCombo")->setCurrentIndex(2);
    const ExportOutcome outcome = exportAndWait(&form);
    QCOMPARE(outcome.status, ExportOutcome::Written);
    // The only use lies on the 5th: outside the range.
    QCOMPARE(outcome.rows, 0);
    QCOMPARE(filesBelow(out.path()),
             (QStringList{"/PRX_UsageReport.pdf", "/PRX_UsageSummary.pdf"}));
}

void TestLogToolMainForm::failuresAreSaid_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("sentence");
    QTest::newRow("folder removed after it was chosen") << "PRX"
                                                        << "remove folder"
                                                        << "Export folder does not exist: ";
    QTest::newRow("code without a reader") << "NEW"
                                           << ""
                                           << "No reader is registered for";
    QTest::newRow("no log of the product") << "PRX"
                                           << "remove log"
                                           << "No log of PRX was found";
    QTest::newRow("report name taken by a folder") << "PRX"
                                                   << "folder in the way"
                                                   << "a folder of that name is in the way";
}

void TestLogToolMainForm::failuresAreSaid()
{
    QFETCH(QString, product);
    QFETCH(QString, damage);
    QFETCH(QString, sentence);
    Setup setup(kIni);
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    QTemporaryDir parent;
    const QString folder = parent.filePath("out");
    QVERIFY(QDir().mkpath(folder));
    chooseFolder(&form, folder);
    auto *combo = child<QComboBox>(&form, "productCombo");
    combo->setCurrentIndex(combo->findData(product));
    if (damage == "remove folder")
        QVERIFY(QDir(folder).removeRecursively());
    else if (damage == "remove log")
        QVERIFY(QFile::remove(setup.dir.filePath("public/Acme/PRX/x64/activity.log")));
    else if (damage == "folder in the way")
        QVERIFY(QDir().mkpath(folder + "/PRX_UsageReport.pdf"));
    const QStringList before = filesBelow(parent.path());
    const ExportOutcome outcome = exportAndWait(&form);
    QVERIFY(!outcome.succeeded());
    QVERIFY2(status(&form).contains(sentence), qPrintable(status(&form)));
    QCOMPARE(status(&form), outcome.sentence() + '.');
    QVERIFY(!child<QPushButton>(&form, "openBtn")->isVisibleTo(&form));
    QCOMPARE(filesBelow(parent.path()), before);
}

void TestLogToolMainForm::missingConfigurationIsSaid()
{
    QTemporaryDir dir;
    const ExportEnvironment environment(dir.filePath("missing/ProductConfig.ini"), dir.path());
    LogToolMainForm form(environment, nullptr, Qt::WindowFlags());
    auto *combo = child<QComboBox>(&form, "productCombo");
    // No blank entry: the form says what is wrong instead.
    QCOMPARE(combo->count(), 0);
    QVERIFY(!combo->isEnabled());
    QVERIFY2(status(&form).startsWith("Cannot read the product configuration"),
             qPrintable(status(&form)));
    QVERIFY(status(&form).contains(QDir::toNativeSeparators(dir.filePath("missing"))));
}

void TestLogToolMainForm::longExportKeepsWindowAnswering()
{
    Setup setup(kIni, prxLog(1500));
    MainWidget window(*setup.environment);
    window.show();
    LogToolMainForm *form = window.form();
    QTemporaryDir out;
    chooseFolder(form, out.path());
    child<QComboBox>(form, "productCombo")->setCurrentIndex(1);

    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    QStringList stages;
    auto *bar = child<QProgressBar>(form, "progressBar");
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (bar->isVisible() && (stages.isEmpty() || stages.last() != bar->format()))
            stages << bar->format();
    });
    watch.start();

    QSignalSpy finished(form, &LogToolMainForm::exportFinished);
    auto *exportButton = child<QPushButton>(form, "exportBtn");
    QTest::mouseClick(exportButton, Qt::LeftButton);
    QVERIFY(form->isExporting());
    QVERIFY(!exportButton->isEnabled());
    QVERIFY(child<QPushButton>(form, "cancelBtn")->isVisible());
    // A second click, and Enter, while it runs start nothing more.
    QTest::mouseClick(exportButton, Qt::LeftButton);
    QTest::keyClick(form, Qt::Key_Return);
    const int ticksAtStart = ticks;
    QVERIFY(finished.wait(300000));
    QTest::qWait(200);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.constFirst().constFirst().value<ExportOutcome>().rows, 3000);
    // The event loop kept turning while the export ran.
    QVERIFY2(ticks - ticksAtStart >= 10, qPrintable(QString::number(ticks - ticksAtStart)));
    QVERIFY2(stages.filter("Printing page").size() >= 2, qPrintable(stages.join(" | ")));
    // The layout of the report is a stage of its own, not the last log read at 100 %.
    QVERIFY2(stages.contains("Laying out the report"), qPrintable(stages.join(" | ")));
}

void TestLogToolMainForm::cancelLeavesOldReport()
{
    Setup setup(kIni, prxLog(1500));
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    form.show();
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    child<QComboBox>(&form, "productCombo")->setCurrentIndex(1);
    const QByteArray previous = "%PDF- yesterday's report";
    QVERIFY(TestSupport::writeFile(out.filePath("PRX_UsageReport.pdf"), previous));

    auto *bar = child<QProgressBar>(&form, "progressBar");
    QSignalSpy finished(&form, &LogToolMainForm::exportFinished);
    QTest::mouseClick(child<QPushButton>(&form, "exportBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(bar->format().startsWith("Printing page") || finished.count() > 0,
                             300000);
    QTest::mouseClick(child<QPushButton>(&form, "cancelBtn"), Qt::LeftButton);
    QVERIFY(finished.count() > 0 || finished.wait(300000));
    const ExportOutcome outcome = finished.constFirst().constFirst().value<ExportOutcome>();
    QCOMPARE(outcome.status, ExportOutcome::Cancelled);
    QVERIFY2(status(&form).startsWith("Export cancelled"), qPrintable(status(&form)));
    QCOMPARE(TestSupport::readFile(out.filePath("PRX_UsageReport.pdf")), previous);
    QCOMPARE(filesBelow(out.path()), QStringList{"/PRX_UsageReport.pdf"});
}

void TestLogToolMainForm::labelsFitTheirTextAtLargeFonts()
{
    // 144 DPI or Windows at 150 %: the same text takes half as many pixels again.
    Setup setup(kIni);
    MainWidget window(*setup.environment);
    QFont large = window.font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    window.setFont(large);
    window.resize(window.sizeHint().expandedTo(QSize(400, 150)));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (!label->isVisible() || !label->text().endsWith(':'))
            continue;
        // A mnemonic's & is not drawn.
        const QString shown = QString(label->text()).remove('&');
        QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(shown),
                 qPrintable(label->text()));
        // The row labels at the left keep one width.
        if (!label->buddy())
            QVERIFY(label->width() >= 80);
    }
}

void TestLogToolMainForm::enterClicksTheFocusedButton()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    child<QComboBox>(&form, "productCombo")->setCurrentIndex(1);
    // Tab from the product goes straight to Select: the path field takes no focus.
    child<QComboBox>(&form, "productCombo")->setFocus();
    QTest::keyClick(&form, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), child<QPushButton>(&form, "selectPathBtn"));
    // Enter on the focused Export button exports.
    child<QPushButton>(&form, "exportBtn")->setFocus();
    QSignalSpy finished(&form, &LogToolMainForm::exportFinished);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(finished.wait(60000));
    QVERIFY(QFileInfo::exists(out.filePath("PRX_UsageReport.pdf")));
}

// A "from" after the "to" is refused before anything is read: last month's report stays.
void TestLogToolMainForm::reversedRangeIsRefused()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    child<QComboBox>(&form, "productCombo")->setCurrentIndex(1);
    QVERIFY(TestSupport::writeFile(out.filePath("PRX_UsageReport.pdf"), "last month"));
    child<QCheckBox>(&form, "rangeCheck")->setChecked(true);
    child<QDateEdit>(&form, "fromEdit")->setDate(QDate(2027, 11, 10));
    child<QDateEdit>(&form, "toEdit")->setDate(QDate(2026, 12, 10));
    QSignalSpy finished(&form, &LogToolMainForm::exportFinished);
    QTest::mouseClick(child<QPushButton>(&form, "exportBtn"), Qt::LeftButton);
    QVERIFY(!form.isExporting());
    QTest::qWait(50);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(status(&form), QString("Nothing was exported: the \"from\" date 2027-11-10 lies "
                                    "after the \"to\" date 2026-12-10."));
    QCOMPARE(TestSupport::readFile(out.filePath("PRX_UsageReport.pdf")), QByteArray("last month"));
    // Put right, the same click exports.
    child<QDateEdit>(&form, "fromEdit")->setDate(QDate(2024, 3, 1));
    QCOMPARE(exportAndWait(&form).status, ExportOutcome::Written);
}

void TestLogToolMainForm::summaryAloneLeavesTheReport()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    child<QComboBox>(&form, "productCombo")->setCurrentIndex(1);
    QVERIFY(TestSupport::writeFile(out.filePath("PRX_UsageReport.pdf"), "last month"));
    child<QComboBox>(&form, "writeCombo")->setCurrentIndex(1);
    const ExportOutcome outcome = exportAndWait(&form);
    QCOMPARE(outcome.status, ExportOutcome::Written);
    QCOMPARE(outcome.writtenPaths, QStringList{out.filePath("PRX_UsageSummary.pdf")});
    QCOMPARE(TestSupport::readFile(out.filePath("PRX_UsageReport.pdf")), QByteArray("last month"));
    QVERIFY(TestSupport::readFile(out.filePath("PRX_UsageSummary.pdf")).startsWith("%PDF"));
}

void TestLogToolMainForm::statusShowsWhole_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<bool>("fails");
    QTest::newRow("100 %, written") << 1.0 << false;
    QTest::newRow("100 %, nothing written") << 1.0 << true;
    QTest::newRow("150 %, written") << 1.5 << false;
    QTest::newRow("150 %, nothing written") << 1.5 << true;
}

// After an export the window grows until its status line shows whole, the counts of a long
// path and the "nothing was written" of a failure included.
void TestLogToolMainForm::statusShowsWhole()
{
    QFETCH(qreal, scale);
    QFETCH(bool, fails);
    Setup setup(kIni);
    MainWidget window(*setup.environment);
    QFont font = window.font();
    font.setPointSizeF(font.pointSizeF() * scale);
    window.setFont(font);
    window.resize(window.sizeHint().expandedTo(QSize(400, 150)));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    LogToolMainForm *form = window.form();
    QTemporaryDir out;
    const QString folder = out.filePath("a folder with a long name for the reports of March");
    QVERIFY(QDir().mkpath(folder));
    chooseFolder(form, folder);
    child<QComboBox>(form, "productCombo")->setCurrentIndex(1);
    if (fails)
        QVERIFY(QFile::remove(setup.dir.filePath("public/Acme/PRX/x64/activity.log")));
    const ExportOutcome outcome = exportAndWait(form);
    QCOMPARE(outcome.succeeded(), !fails);
    QApplication::processEvents();
    auto *label = child<QLabel>(form, "statusLabel");
    QVERIFY(status(form).endsWith(fails ? "nothing was written." : "1 product type)."));
    QVERIFY2(
        label->height() >= label->heightForWidth(label->width()),
        qPrintable(
            QString("%1 < %2").arg(label->height()).arg(label->heightForWidth(label->width()))));
    const QRect inWindow(label->mapTo(&window, QPoint(0, 0)), label->size());
    QVERIFY(window.rect().contains(inWindow));
}

// Once a folder is chosen, Enter exports: the focus has gone on to Export. Each mnemonic
// belongs to one control.
void TestLogToolMainForm::keyboardAfterChoosingAFolder()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    child<QComboBox>(&form, "productCombo")->setCurrentIndex(1);
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    QCOMPARE(form.focusWidget(), child<QPushButton>(&form, "exportBtn"));
    QApplication::setActiveWindow(&form);
    QTRY_COMPARE(QApplication::focusWidget(), child<QPushButton>(&form, "exportBtn"));
    QSignalSpy finished(&form, &LogToolMainForm::exportFinished);
    QTest::keyClick(&form, Qt::Key_Return);
    QVERIFY(finished.wait(60000));

    QStringList keys;
    const auto mnemonic = [&](const QString &text) {
        const int at = text.indexOf('&');
        if (at >= 0 && at + 1 < text.size())
            keys << text.mid(at + 1, 1).toLower();
    };
    for (QAbstractButton *button : form.findChildren<QAbstractButton *>())
        mnemonic(button->text());
    for (QLabel *label : form.findChildren<QLabel *>())
        mnemonic(label->text());
    const QSet<QString> distinct(keys.cbegin(), keys.cend());
    QCOMPARE(distinct.size(), keys.size());
}

void TestLogToolMainForm::rememberedFolderIsFilledIn()
{
    Setup setup(kIni);
    QTemporaryDir last;
    QSettings().setValue(LogToolMainForm::lastFolderKey(), last.path());
    {
        LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
        QCOMPARE(child<QLineEdit>(&form, "exportPathEdit")->text(), last.path());
        QVERIFY(child<QPushButton>(&form, "exportBtn")->isEnabled());
    }
    // A remembered folder that is gone is not offered.
    QSettings().setValue(LogToolMainForm::lastFolderKey(), last.filePath("gone"));
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    QVERIFY(child<QLineEdit>(&form, "exportPathEdit")->text().isEmpty());
    QVERIFY(!child<QPushButton>(&form, "exportBtn")->isEnabled());
    QSettings().clear();
}

// The test platform has no desktop to open files with, as a server or a bare session has not.
void TestLogToolMainForm::openWithoutDesktopIsSaid()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    form.show();
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    child<QComboBox>(&form, "productCombo")->setCurrentIndex(1);
    QCOMPARE(exportAndWait(&form).status, ExportOutcome::Written);
    const QString written = status(&form);
    QTest::mouseClick(child<QPushButton>(&form, "openBtn"), Qt::LeftButton);
    QVERIFY2(
        status(&form).startsWith(written + "\nCould not open " +
                                 QDir::toNativeSeparators(out.filePath("PRX_UsageReport.pdf"))),
        qPrintable(status(&form)));
    QTest::mouseClick(child<QPushButton>(&form, "showFolderBtn"), Qt::LeftButton);
    QVERIFY(status(&form).endsWith(
        QString("Could not open %1: no program to open it was found (is there a desktop "
                "session?).")
            .arg(QDir::toNativeSeparators(out.path()))));
    QSettings().clear();
}

// Long names and many rows: a layout that followed the screen would wrap and break pages
// elsewhere at another font resolution.
QByteArray screenComparisonLog()
{
    QByteArray log = prxLog(120);
    return log.replace("@example.com", "@a-rather-long-department-name.example.com");
}

// The window's export and the command line's under 72, 96 and 144 dots per inch of screen
// font: the same pages, image for image.
void TestLogToolMainForm::reportIsTheSameOnEveryScreen()
{
    QTemporaryDir work;
    Setup setup(kIni, screenComparisonLog());
    QStringList reports;
    for (const char *dpi : {"96", "72", "144"}) {
        for (const QString &program : {QString("window"), QString("command line")}) {
            const QString folder = work.filePath(program + dpi);
            QVERIFY(QDir().mkpath(folder));
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("QT_FONT_DPI", dpi);
            env.insert("PLINTHRA_SCREEN_SETUP", setup.dir.path());
            env.insert("PLINTHRA_SCREEN_OUT", folder);
            QProcess process;
            process.setProcessEnvironment(env);
            // This program, started as the window program starts (see main below).
            if (program == "window")
                process.start(QCoreApplication::applicationFilePath(), QStringList());
            else
                process.start(PLINTHRA_BINARY_DIR "/src/PlinthraUsageExport",
                              {"--config", setup.dir.filePath("ProductConfig.ini"),
                               "--public-documents", setup.dir.filePath("public"), "PRX", folder});
            QVERIFY(process.waitForFinished(300000));
            QVERIFY2(process.exitCode() == 0, process.readAll().constData());
            reports << folder + "/PRX_UsageReport.pdf";
        }
    }
    const QStringList expected = PdfReader::renderPages(reports.first(), work.path(), "first");
    QVERIFY(expected.size() >= 3);
    for (int index = 1; index < reports.size(); ++index) {
        const QStringList pages =
            PdfReader::renderPages(reports.at(index), work.path(), QString("r%1").arg(index));
        QCOMPARE(pages.size(), expected.size());
        for (int page = 0; page < pages.size(); ++page)
            QVERIFY2(
                TestSupport::readFile(pages.at(page)) == TestSupport::readFile(expected.at(page)),
                qPrintable(QString("%1: page %2 differs").arg(reports.at(index)).arg(page + 1)));
    }
}

// The window program closed while a long report is laid out or printed: the export is
// cancelled, the program ends within moments instead of when the report would have been done,
// and the previous report and nothing else stays in the folder.
void TestLogToolMainForm::closingDuringAnExportEndsTheProgram()
{
    Setup setup(kIni, prxLog(20000));
    QTemporaryDir out;
    QVERIFY(TestSupport::writeFile(out.filePath("PRX_UsageReport.pdf"), "last month"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PLINTHRA_SCREEN_SETUP", setup.dir.path());
    env.insert("PLINTHRA_SCREEN_OUT", out.path());
    env.insert("PLINTHRA_CLOSE_WHILE_LAYING_OUT", "1");
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(process.waitForStarted());
    QVERIFY(process.waitForReadyRead(300000));
    QVERIFY(process.readLine().startsWith("closed"));
    QElapsedTimer sinceClosing;
    sinceClosing.start();
    QVERIFY(process.waitForFinished(300000));
    // Printing these 40,000 rows takes many times this long.
    QVERIFY2(sinceClosing.elapsed() < 10000, qPrintable(QString::number(sinceClosing.elapsed())));
    QCOMPARE(TestSupport::readFile(out.filePath("PRX_UsageReport.pdf")), QByteArray("last month"));
    QCOMPARE(filesBelow(out.path()), QStringList{"/PRX_UsageReport.pdf"});
}

// Cancel pressed while a long report is laid out or printed: the window says so within moments
// and is ready again; an export asked for then starts once the cancelled one has stopped, and the
// cancelled one replaced nothing.
void TestLogToolMainForm::cancelWhileLayingOutAnswersAtOnce()
{
    // Long enough a report to outlast the second Cancel waits, in the sanitizer build too.
#ifdef PLINTHRA_SANITIZED_BUILD
    Setup setup(kIni, prxLog(2000));
#else
    Setup setup(kIni, prxLog(8000));
#endif
    LogToolMainForm form(*setup.environment, nullptr, Qt::WindowFlags());
    form.show();
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    child<QComboBox>(&form, "productCombo")->setCurrentIndex(1);
    QVERIFY(TestSupport::writeFile(out.filePath("PRX_UsageReport.pdf"), "last month"));
    auto *bar = child<QProgressBar>(&form, "progressBar");
    QSignalSpy finished(&form, &LogToolMainForm::exportFinished);
    QTest::mouseClick(child<QPushButton>(&form, "exportBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(bar->format() == "Laying out the report" ||
                                 bar->format().startsWith("Printing page"),
                             300000);
    QTest::mouseClick(child<QPushButton>(&form, "cancelBtn"), Qt::LeftButton);
    QElapsedTimer answered;
    answered.start();
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, 300000);
    // Printing these rows takes several times this long.
    QVERIFY2(answered.elapsed() < 2500, qPrintable(QString::number(answered.elapsed())));
    QCOMPARE(finished.constFirst().constFirst().value<ExportOutcome>().status,
             ExportOutcome::Cancelled);
    QVERIFY(status(&form).startsWith("Export cancelled"));
    QVERIFY(!bar->isVisible());

    // Exported again at once, from a short log: it waits for the cancelled one, then writes.
    QVERIFY(
        TestSupport::writeFile(setup.dir.filePath("public/Acme/PRX/x64/activity.log"), prxLog(3)));
    QTest::mouseClick(child<QPushButton>(&form, "exportBtn"), Qt::LeftButton);
    if (form.isExporting() && finished.count() == 1 && !bar->isVisible())
        QVERIFY2(status(&form).startsWith("Waiting for the cancelled export"),
                 qPrintable(status(&form)));
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 2, 300000);
    QCOMPARE(finished.at(1).constFirst().value<ExportOutcome>().status, ExportOutcome::Written);
    QCOMPARE(finished.at(1).constFirst().value<ExportOutcome>().rows, 6);
}

namespace {

// Set up as the window program sets itself up, not as a test: exports the PRX report through
// the window into PLINTHRA_SCREEN_OUT, the folder remembered from an earlier run.
int exportAsTheWindowProgram(int argc, char *argv[])
{
    ProgramSetup::beforeWindowApplication();
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("PlinthraTest");
    QCoreApplication::setApplicationName("tst_logtoolmainform_screen");
    QSettings().setValue(LogToolMainForm::lastFolderKey(),
                         qEnvironmentVariable("PLINTHRA_SCREEN_OUT"));
    const QString setupFolder = qEnvironmentVariable("PLINTHRA_SCREEN_SETUP");
    const ExportEnvironment environment(setupFolder + "/ProductConfig.ini",
                                        setupFolder + "/public");
    int status = 1;
    {
        MainWidget window(environment);
        window.show();
        child<QComboBox>(window.form(), "productCombo")->setCurrentIndex(1);
        QObject::connect(window.form(), &LogToolMainForm::exportFinished,
                         [&status](const ExportOutcome &outcome) {
                             status = outcome.status == ExportOutcome::Written ? 0 : 2;
                             QCoreApplication::quit();
                         });
        // Closed by its user once the report is being laid out, as the window program ends.
        QTimer watch;
        if (qEnvironmentVariableIsSet("PLINTHRA_CLOSE_WHILE_LAYING_OUT")) {
            QObject::connect(&watch, &QTimer::timeout, [&] {
                const QString stage = child<QProgressBar>(window.form(), "progressBar")->format();
                if (stage != "Laying out the report" && !stage.startsWith("Printing page"))
                    return;
                watch.stop();
                window.close();
                std::printf("closed\n");
                std::fflush(stdout);
            });
            watch.start(5);
        }
        child<QPushButton>(window.form(), "exportBtn")->click();
        app.exec();
        QSettings().clear();
        MainWidget::endProcessPromptly(window, status);
    }
    QSettings().clear();
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("PLINTHRA_SCREEN_SETUP"))
        return exportAsTheWindowProgram(argc, argv);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestLogToolMainForm test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_logtoolmainform.moc"
