#include "exportdriver.h"
#include "logtoolmainform.h"
#include "mainwidget.h"
#include "productconfigstore.h"
#include "readerregistration.h"
#include "readerregistry.h"
#include "testsupport.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QByteArray kPrxLog =
    "2024-03-05 08:00:00 1.2[I][UI][0x1][F.cpp:1] PRXUIPluginFacade::onStartup enter\n"
    "2024-03-05 08:00:05 1.2[I][UI][0x1][F.cpp:1] set User "
    "{\"email\":\"anna@example.com\",\"dognum\":\"D-1\",\"productType\":\"Pro\"}\n"
    "2024-03-05 09:00:00 1.2[I][UI][0x1][F.cpp:1] PRXUIPluginFacade::~PRXUIPluginFacade enter\n";

// A configuration, a registry filled as start-up fills it and a public documents folder, all
// in a temporary folder of their own.
struct Setup
{
    QTemporaryDir dir;
    std::unique_ptr<ProductConfigStore> store;
    ReaderRegistry registry;
    std::unique_ptr<ExportDriver> driver;

    explicit Setup(const QByteArray &ini)
    {
        TestSupport::writeFile(dir.filePath("ProductConfig.ini"), ini);
        TestSupport::writeFile(dir.filePath("public/Acme/PRX/x64/activity.log"), kPrxLog);
        store.reset(new ProductConfigStore(dir.filePath("ProductConfig.ini")));
        registerReaders(store->products(), registry);
        driver.reset(new ExportDriver(*store, registry, dir.filePath("public")));
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

} // namespace

class TestLogToolMainForm : public QObject
{
    Q_OBJECT

private slots:
    void windowFrame();
    void initialState();
    void productsInStoreOrder();
    void dialogSettings();
    void chooseReplaceAndCancel();
    void exportPathCannotBeTyped();
    void exportWritesReport();
    void exportWithVanishedFolderDoesNothing();
    void emptyProductListExportsNothing();
    void productWithoutReaderWritesNothing();
};

void TestLogToolMainForm::windowFrame()
{
    Setup setup(kIni);
    MainWidget window(*setup.store, *setup.driver);
    QCOMPARE(window.windowTitle(), QString("PlinthraUsageTool"));
    QCOMPARE(window.windowFlags() & Qt::WindowCloseButtonHint, Qt::WindowCloseButtonHint);
    QVERIFY(!(window.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(window.size(), QSize(400, 150));
    QCOMPARE(window.centralWidget(), static_cast<QWidget *>(window.form()));
    QVERIFY(window.menuWidget() == nullptr);
}

void TestLogToolMainForm::initialState()
{
    Setup setup(kIni);
    MainWidget window(*setup.store, *setup.driver);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    LogToolMainForm *form = window.form();
    auto *exportPath = child<QLineEdit>(form, "exportPathEdit");
    QVERIFY(exportPath->text().isEmpty());
    QVERIFY(exportPath->isReadOnly());
    QVERIFY(!child<QPushButton>(form, "exportBtn")->isEnabled());
    QCOMPARE(child<QPushButton>(form, "exportBtn")->text(), QString("Export"));
    QCOMPARE(child<QPushButton>(form, "selectPathBtn")->text(), QString("Select"));
    QVERIFY(!child<QLabel>(form, "filePathLabel")->isVisible());
    QVERIFY(!child<QLineEdit>(form, "filePathEdit")->isVisible());
    QVERIFY(child<QLineEdit>(form, "filePathEdit")->isReadOnly());
    QVERIFY(!child<QPushButton>(form, "selectFilePathBtn")->isVisible());
    QStringList labels;
    for (QLabel *label : form->findChildren<QLabel *>()) {
        if (label->isVisible())
            labels << label->text();
    }
    QCOMPARE(labels, (QStringList{"Product:", "Export Path:"}));
}

void TestLogToolMainForm::productsInStoreOrder()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.store, *setup.driver, nullptr, Qt::WindowFlags());
    auto *combo = child<QComboBox>(&form, "productCombo");
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, (QStringList{"NEW", "PRX", "ZQF"}));
    QCOMPARE(combo->currentIndex(), 0);
    QVERIFY(!combo->isEditable());
}

void TestLogToolMainForm::dialogSettings()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.store, *setup.driver, nullptr, Qt::WindowFlags());
    answerDialog([](QFileDialog *dialog) {
        QCOMPARE(dialog->windowTitle(), QString("Select Export Path"));
        QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
        QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
        QCOMPARE(dialog->viewMode(), QFileDialog::Detail);
        QCOMPARE(dialog->directory().absolutePath(), QDir::current().absolutePath());
        dialog->reject();
    });
    QTest::mouseClick(child<QPushButton>(&form, "selectPathBtn"), Qt::LeftButton);
    // The dialog is gone once the slot returns.
    QVERIFY(form.findChildren<QFileDialog *>().isEmpty());
}

void TestLogToolMainForm::chooseReplaceAndCancel()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.store, *setup.driver, nullptr, Qt::WindowFlags());
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
    LogToolMainForm form(*setup.store, *setup.driver, nullptr, Qt::WindowFlags());
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
    LogToolMainForm form(*setup.store, *setup.driver, nullptr, Qt::WindowFlags());
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    child<QComboBox>(&form, "productCombo")->setCurrentText("PRX");
    const QStringList before = filesBelow(setup.dir.path());
    QTest::mouseClick(child<QPushButton>(&form, "exportBtn"), Qt::LeftButton);
    QCOMPARE(filesBelow(out.path()), QStringList{"/PRX_UsageReport.pdf"});
    QVERIFY(TestSupport::readFile(out.filePath("PRX_UsageReport.pdf")).startsWith("%PDF"));
    // Nothing besides the report is written, and the form stays as it was.
    QCOMPARE(filesBelow(setup.dir.path()), before);
    QCOMPARE(child<QLineEdit>(&form, "exportPathEdit")->text(), out.path());
    QVERIFY(child<QPushButton>(&form, "exportBtn")->isEnabled());
}

void TestLogToolMainForm::exportWithVanishedFolderDoesNothing()
{
    Setup setup(kIni);
    LogToolMainForm form(*setup.store, *setup.driver, nullptr, Qt::WindowFlags());
    QTemporaryDir parent;
    const QString folder = parent.filePath("gone");
    QVERIFY(QDir().mkpath(folder));
    chooseFolder(&form, folder);
    child<QComboBox>(&form, "productCombo")->setCurrentText("PRX");
    QVERIFY(QDir(folder).removeRecursively());
    QTest::mouseClick(child<QPushButton>(&form, "exportBtn"), Qt::LeftButton);
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(filesBelow(parent.path()).isEmpty());
}

void TestLogToolMainForm::emptyProductListExportsNothing()
{
    QTemporaryDir dir;
    const ProductConfigStore store(dir.filePath("missing/ProductConfig.ini"));
    ReaderRegistry registry;
    registerReaders(store.products(), registry);
    const ExportDriver driver(store, registry, dir.path());
    LogToolMainForm form(store, driver, nullptr, Qt::WindowFlags());
    auto *combo = child<QComboBox>(&form, "productCombo");
    QCOMPARE(combo->count(), 1);
    QCOMPARE(combo->currentText(), QString());
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    QTest::mouseClick(child<QPushButton>(&form, "exportBtn"), Qt::LeftButton);
    QVERIFY(filesBelow(out.path()).isEmpty());
}

void TestLogToolMainForm::productWithoutReaderWritesNothing()
{
    // A code the tool does not know, and a known code in lower case, are listed but get no
    // reader.
    Setup setup("[PRODUCT]\nproducts=prx|NEW\n[prx]\nconfigs=Main\n[Main]\nCompany=Acme\n"
                "product=PRX\nPlatform_Code=x64\nlog_name=activity.log\n");
    LogToolMainForm form(*setup.store, *setup.driver, nullptr, Qt::WindowFlags());
    QTemporaryDir out;
    chooseFolder(&form, out.path());
    for (const QString &code : {QString("NEW"), QString("prx")}) {
        child<QComboBox>(&form, "productCombo")->setCurrentText(code);
        QTest::mouseClick(child<QPushButton>(&form, "exportBtn"), Qt::LeftButton);
    }
    QVERIFY(filesBelow(out.path()).isEmpty());
}

QTEST_MAIN(TestLogToolMainForm)
#include "tst_logtoolmainform.moc"
