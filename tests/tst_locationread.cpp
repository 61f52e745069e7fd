#include "filereaderbycsv.h"
#include "prxfilereader.h"
#include "testsupport.h"
#include "zqffilereader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <sys/types.h>

Q_DECLARE_METATYPE(LocationRead::Status)

namespace {

const QByteArray kPrxLog =
    "2024-03-05 08:00:00 1.1[I][U][1][F] PRXUIPluginFacade::onStartup enter\n"
    "2024-03-05 08:00:01 1.1[I][U][1][F] set User "
    "{\"email\":\"anna\",\"dognum\":\"D1\",\"productType\":\"Pro\"}\n"
    "2024-03-05 09:00:00 1.1[I][U][1][F] PRXUIPluginFacade::~PRXUIPluginFacade enter\n";
const QByteArray kCsvLog = "anna,D1,Pro,2024-03-05 08:00,2024-03-05 09:00\n";
const QByteArray kZqfLog = "2024-03-05 08:00:00.000 userName=anna,productType=Pro\n"
                           "2024-03-05 08:00:01.000 dogNum isD1\n"
                           "2024-03-05 09:00:00.000 Application run end\n";

std::unique_ptr<IFileReader> readerNamed(const QString &name)
{
    if (name == QLatin1String("PRX"))
        return std::make_unique<PrxFileReader>();
    if (name == QLatin1String("CSV"))
        return std::make_unique<FileReaderByCSV>();
    return std::make_unique<ZqfFileReader>();
}

// What every reader gives for its small log above.
const QStringList kExpectedRows{QStringLiteral("Pro: anna|D1|2024-03-05|08:00:00|In"),
                                QStringLiteral("Pro: anna|D1|2024-03-05|09:00:00|Out")};

// A reader that only knows read(), as a test double or an older reader would.
class PlainReader : public IFileReader
{
public:
    UsageTable read(const QString &) override { return UsageTable(); }
};

} // namespace

class TestLocationRead : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_counter = 0;

    // A new folder holding what the case names under the name "log".
    QString makeLocation(const QString &kind, const QByteArray &content)
    {
        const QString folder = m_dir.filePath(QStringLiteral("case%1").arg(++m_counter));
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/log");
        const QByteArray native = QFile::encodeName(path);
        if (kind == QLatin1String("regular file"))
            TestSupport::writeFile(path, content);
        else if (kind == QLatin1String("FIFO"))
            ::mkfifo(native.constData(), 0600);
        else if (kind == QLatin1String("link to a FIFO")) {
            ::mkfifo(QFile::encodeName(folder + QStringLiteral("/fifo")).constData(), 0600);
            QFile::link(folder + QStringLiteral("/fifo"), path);
        } else if (kind.startsWith(QLatin1String("link to /dev/")))
            QFile::link(kind.mid(8), path);
        else if (kind == QLatin1String("folder"))
            QDir().mkpath(path);
        else if (kind == QLatin1String("dangling link"))
            QFile::link(folder + QStringLiteral("/gone"), path);
        return path;
    }

private slots:
    void fileLocations_data();
    void fileLocations();
    void folderLocations_data();
    void folderLocations();
    void folderFilesThatAreNotRegularAreSkipped();
    void readersOnlyKnowingReadReportExistence();
};

void TestLocationRead::fileLocations_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<LocationRead::Status>("status");
    using S = LocationRead::Status;
    for (const QString &reader : {QStringLiteral("PRX"), QStringLiteral("CSV")}) {
        const QByteArray name = reader.toUtf8();
        QTest::addRow("%s, regular file", name.constData()) << reader << "regular file" << S::Read;
        QTest::addRow("%s, missing", name.constData()) << reader << "missing" << S::Missing;
        QTest::addRow("%s, dangling link", name.constData())
            << reader << "dangling link" << S::Missing;
        for (const char *kind : {"FIFO", "link to a FIFO", "link to /dev/zero",
                                 "link to /dev/urandom", "link to /dev/null", "folder"}) {
            QTest::addRow("%s, %s", name.constData(), kind) << reader << kind << S::Unreadable;
        }
    }
}

// A FIFO or an endless device used to hang the export; each is now refused as unreadable
// before a byte is read, and told apart from a location that is not there.
void TestLocationRead::fileLocations()
{
    QFETCH(QString, reader);
    QFETCH(QString, kind);
    QFETCH(LocationRead::Status, status);
    const QString path = makeLocation(kind, reader == QLatin1String("PRX") ? kPrxLog : kCsvLog);
    const LocationRead result = readerNamed(reader)->readLocation(path);
    QCOMPARE(result.status, status);
    QVERIFY(result.unreadableFiles.isEmpty());
    if (status == LocationRead::Status::Read)
        QCOMPARE(TestSupport::describe(result.table), kExpectedRows);
    else
        QVERIFY(result.table.isEmpty());
    QCOMPARE(TestSupport::describe(readerNamed(reader)->read(path)),
             TestSupport::describe(result.table));
}

void TestLocationRead::folderLocations_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<LocationRead::Status>("status");
    using S = LocationRead::Status;
    QTest::newRow("missing") << "missing" << S::Missing;
    QTest::newRow("dangling link") << "dangling link" << S::Missing;
    QTest::newRow("empty folder") << "folder" << S::Read;
    QTest::newRow("a file, not a folder") << "regular file" << S::Unreadable;
    QTest::newRow("FIFO") << "FIFO" << S::Unreadable;
    QTest::newRow("link to /dev/zero") << "link to /dev/zero" << S::Unreadable;
}

void TestLocationRead::folderLocations()
{
    QFETCH(QString, kind);
    QFETCH(LocationRead::Status, status);
    const QString path = makeLocation(kind, kZqfLog);
    const LocationRead result = ZqfFileReader().readLocation(path);
    QCOMPARE(result.status, status);
    QVERIFY(result.table.isEmpty());
}

void TestLocationRead::folderFilesThatAreNotRegularAreSkipped()
{
    const QString folder = makeLocation(QStringLiteral("folder"), QByteArray());
    QVERIFY(TestSupport::writeFile(folder + QStringLiteral("/Log1.log"), kZqfLog));
    QCOMPARE(::mkfifo(QFile::encodeName(folder + QStringLiteral("/Log2.log")).constData(), 0600),
             0);
    QCOMPARE(::mkfifo(QFile::encodeName(folder + QStringLiteral("/fifo")).constData(), 0600), 0);
    QVERIFY(QFile::link(folder + QStringLiteral("/fifo"), folder + QStringLiteral("/Log3.log")));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), folder + QStringLiteral("/Log4.log")));
    QVERIFY(QFile::link(QStringLiteral("/dev/urandom"), folder + QStringLiteral("/Log5.log")));
    QVERIFY(QFile::link(folder + QStringLiteral("/gone"), folder + QStringLiteral("/Log6.log")));

    const LocationRead result = ZqfFileReader().readLocation(folder);
    QCOMPARE(result.status, LocationRead::Status::Read);
    QCOMPARE(TestSupport::describe(result.table), kExpectedRows);
    // The dangling link names nothing, so it is not reported.
    QCOMPARE(
        result.unreadableFiles,
        (QStringList{folder + QStringLiteral("/Log2.log"), folder + QStringLiteral("/Log3.log"),
                     folder + QStringLiteral("/Log4.log"), folder + QStringLiteral("/Log5.log")}));
}

void TestLocationRead::readersOnlyKnowingReadReportExistence()
{
    PlainReader reader;
    QCOMPARE(reader.readLocation(m_dir.path()).status, LocationRead::Status::Read);
    QCOMPARE(reader.readLocation(m_dir.filePath(QStringLiteral("nothing"))).status,
             LocationRead::Status::Missing);
    QCOMPARE(reader.readLocation(QString()).status, LocationRead::Status::Missing);
}

QTEST_GUILESS_MAIN(TestLocationRead)
#include "tst_locationread.moc"
