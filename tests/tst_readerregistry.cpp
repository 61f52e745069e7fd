#include "readerregistry.h"

#include <QtTest>

namespace {

class EmptyReader : public IFileReader
{
public:
    UsageTable read(const QString &) override { return UsageTable(); }
};

} // namespace

class TestReaderRegistry : public QObject
{
    Q_OBJECT

private slots:
    void unknownCodeHasNoReader();
    void secondRegistrationIsRefused();
    void codesAreCaseSensitive();
    void nullReaderIsRefused();
    void shareOutlivesRegistry();
    void processWideRegistryIsOne();
};

void TestReaderRegistry::unknownCodeHasNoReader()
{
    ReaderRegistry registry;
    QVERIFY(registry.readerFor(QStringLiteral("PRX")).isNull());
    QVERIFY(registry.readerFor(QString()).isNull());
}

void TestReaderRegistry::secondRegistrationIsRefused()
{
    ReaderRegistry registry;
    const QSharedPointer<IFileReader> first(new EmptyReader);
    const QSharedPointer<IFileReader> second(new EmptyReader);
    QVERIFY(registry.registerReader(QStringLiteral("PRX"), first));
    QVERIFY(!registry.registerReader(QStringLiteral("PRX"), second));
    QCOMPARE(registry.readerFor(QStringLiteral("PRX")), first);
    QVERIFY(registry.readerFor(QStringLiteral("PRX")) != second);
}

void TestReaderRegistry::codesAreCaseSensitive()
{
    ReaderRegistry registry;
    QVERIFY(registry.registerReader(QStringLiteral("PRX"),
                                    QSharedPointer<IFileReader>(new EmptyReader)));
    QVERIFY(registry.readerFor(QStringLiteral("prx")).isNull());
    QVERIFY(registry.readerFor(QStringLiteral("PRX ")).isNull());
}

void TestReaderRegistry::nullReaderIsRefused()
{
    ReaderRegistry registry;
    QVERIFY(!registry.registerReader(QStringLiteral("PRX"), QSharedPointer<IFileReader>()));
    const QSharedPointer<IFileReader> reader(new EmptyReader);
    QVERIFY(registry.registerReader(QStringLiteral("PRX"), reader));
    QCOMPARE(registry.readerFor(QStringLiteral("PRX")), reader);
}

void TestReaderRegistry::shareOutlivesRegistry()
{
    QSharedPointer<IFileReader> share;
    QWeakPointer<IFileReader> watch;
    {
        ReaderRegistry registry;
        registry.registerReader(QStringLiteral("ZQF"),
                                QSharedPointer<IFileReader>(new EmptyReader));
        share = registry.readerFor(QStringLiteral("ZQF"));
        watch = share;
    }
    QVERIFY(!watch.isNull());
    QCOMPARE(share->read(QStringLiteral("anywhere")).size(), 0);
    share.reset();
    QVERIFY(watch.isNull());
}

void TestReaderRegistry::processWideRegistryIsOne()
{
    QCOMPARE(&ReaderRegistry::instance(), &ReaderRegistry::instance());
}

QTEST_GUILESS_MAIN(TestReaderRegistry)
#include "tst_readerregistry.moc"
