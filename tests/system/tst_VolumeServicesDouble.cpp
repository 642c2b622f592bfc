#include "MountWatcher.h"
#include "VolumeServicesDouble.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestVolumeServicesDouble : public QObject
{
    Q_OBJECT

private slots:
    void Drives();
    void Settings_data();
    void Settings();
    void ListingFailures_data();
    void ListingFailures();
    void Tick();
    void MountChange();
};

void TestVolumeServicesDouble::Drives()
{
    TVolumeServicesDouble services;
    services.AddDrive(QStringLiteral("/tmp/a"), QStringLiteral("A"), 1, 100);
    services.AddDrive(QStringLiteral("/tmp/b/"), QStringLiteral("B"), 2, 200, false);
    QCOMPARE(services.Drives().size(), 2);
    QCOMPARE(services.Drives().at(0).RootPath, QStringLiteral("/tmp/a"));
    QVERIFY(services.Drives().at(0).HasVolume);
    QCOMPARE(services.Drives().at(1).RootPath, QStringLiteral("/tmp/b"));
    QVERIFY(!services.Drives().at(1).HasVolume);

    services.AddDrive(QStringLiteral("/tmp/a"), QStringLiteral("A2"), 3, 300);
    QCOMPARE(services.Drives().size(), 2);
    services.RemoveDrive(QStringLiteral("/tmp/a/"));
    QCOMPARE(services.Drives().size(), 1);
    QCOMPARE(services.Drives().at(0).RootPath, QStringLiteral("/tmp/b"));
}

void TestVolumeServicesDouble::Settings_data()
{
    QTest::addColumn<bool>("hasDisc");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("answers");

    QTest::newRow("with disc") << true << QStringLiteral("/tmp/cd") << true;
    QTest::newRow("trailing slash") << true << QStringLiteral("/tmp/cd/") << true;
    QTest::newRow("without disc") << false << QStringLiteral("/tmp/cd") << false;
    QTest::newRow("no such drive") << true << QStringLiteral("/tmp/other") << false;
}

void TestVolumeServicesDouble::Settings()
{
    QFETCH(bool, hasDisc);
    QFETCH(QString, asked);
    QFETCH(bool, answers);

    TVolumeServicesDouble services;
    services.AddDrive(QStringLiteral("/tmp/cd"), QStringLiteral("My Disc"), 0x1234ABCD, 5000000000ll,
                      hasDisc);
    const std::optional<TVolumeInfo> info = services.VolumeInformation(asked);
    const std::optional<qint64> size = services.DiskSize(asked);
    QCOMPARE(info.has_value(), answers);
    QCOMPARE(size.has_value(), answers);
    if (answers) {
        QCOMPARE(*info, (TVolumeInfo{QStringLiteral("My Disc"), 0x1234ABCDu}));
        QCOMPARE(*size, 5000000000ll);
    }

    services.SetHasDisc(QStringLiteral("/tmp/cd"), !hasDisc);
    QCOMPARE(services.VolumeInformation(QStringLiteral("/tmp/cd")).has_value(), !hasDisc);
}

void TestVolumeServicesDouble::ListingFailures_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("listed");
    QTest::addColumn<bool>("fails");

    QTest::newRow("the named folder") << QStringLiteral("sub") << QStringLiteral("sub") << true;
    QTest::newRow("named with a slash") << QStringLiteral("sub/") << QStringLiteral("sub") << true;
    QTest::newRow("its parent still lists") << QStringLiteral("sub") << QString() << false;
    QTest::newRow("a sibling still lists") << QStringLiteral("sub") << QStringLiteral("sub2") << false;
    QTest::newRow("its child still lists") << QStringLiteral("sub") << QStringLiteral("sub/deeper") << false;
}

void TestVolumeServicesDouble::ListingFailures()
{
    QFETCH(QString, failing);
    QFETCH(QString, listed);
    QFETCH(bool, fails);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub/deeper")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub2")));
    TVolumeServicesDouble services;
    services.FailListing(dir.filePath(failing));
    const QString path = listed.isEmpty() ? dir.path() : dir.filePath(listed);
    // The hook sees failing listings too, by the cleaned path.
    QStringList hooked;
    services.OnListDirectory = [&](const QString &folder) { hooked << folder; };
    QCOMPARE(!services.ListDirectory(path + QLatin1Char('/')), fails);
    QCOMPARE(hooked, QStringList{path});
    services.OnListDirectory = nullptr;

    services.ClearListingFailures();
    QVERIFY(services.ListDirectory(path));

    // A drive without a disc has nothing to list anywhere below its root.
    services.AddDrive(dir.path(), QStringLiteral("D"), 1, 1, false);
    QVERIFY(!services.ListDirectory(path));
    services.SetHasDisc(dir.path(), true);
    QVERIFY(services.ListDirectory(path));
}

void TestVolumeServicesDouble::Tick()
{
    TVolumeServicesDouble services;
    const quint32 real = services.TickCount();
    QVERIFY(services.TickCount() - real < 5000);

    services.SetTick(1000);
    QCOMPARE(services.TickCount(), 1000u);
    QTest::qSleep(20);
    QCOMPARE(services.TickCount(), 1000u);
    services.AdvanceTick(499);
    QCOMPARE(services.TickCount(), 1499u);
    services.SetTick(0xFFFFFFF0u);
    services.AdvanceTick(0x20);
    QCOMPARE(services.TickCount(), 0x10u);

    // A stepping clock moves on at each reading; what its hook moves it by comes on top.
    services.SetTickStep(600);
    services.OnTickCount = [&] { services.AdvanceTick(1); };
    QCOMPARE(services.TickCount(), 0x10u + 601);
    QCOMPARE(services.TickCount(), 0x10u + 1202);
    services.SetTickStep(0);
    services.OnTickCount = nullptr;
    QCOMPARE(services.TickCount(), 0x10u + 1202);
}

void TestVolumeServicesDouble::MountChange()
{
    TVolumeServicesDouble services;
    QObject owner;
    TMountWatcher *first = services.NewMountWatcher(&owner);
    TMountWatcher *second = services.NewMountWatcher(&owner);
    QCOMPARE(first->parent(), &owner);
    QCOMPARE(first->Mode(), TMountWatcher::TMode::Idle);
    QSignalSpy firstSpy(first, &TMountWatcher::Changed);
    QSignalSpy secondSpy(second, &TMountWatcher::Changed);

    services.EmitMountChange();
    QCOMPARE(firstSpy.count(), 1);
    QCOMPARE(secondSpy.count(), 1);

    delete first;
    services.EmitMountChange();
    QCOMPARE(secondSpy.count(), 2);
}

QTEST_GUILESS_MAIN(TestVolumeServicesDouble)
#include "tst_VolumeServicesDouble.moc"
