#include "DiscImages.h"
#include "FileNames.h"
#include "SystemVolumeServices.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace DiscImages;

Q_DECLARE_METATYPE(TDrive)

namespace QTest {
template <> char *toString(const TDrive &drive)
{
    return qstrdup(qPrintable(QStringLiteral("{%1, %2, %3, %4}")
                                  .arg(drive.RootPath, drive.Device, drive.FileSystem,
                                       drive.HasVolume ? QStringLiteral("volume") : QStringLiteral("none"))));
}
} // namespace QTest

// Mount tables and /sys/block trees are generated: the machine's own drives play no part.
class TestSystemVolumeServices : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void Drives_data();
    void Drives();
    void VolumeInformation_data();
    void VolumeInformation();
    void DiskSize();

private:
    void Block(const QString &name, const QByteArray &numbers);
    TSystemVolumeServices Services(const QByteArray &mountInfo);

    std::unique_ptr<QTemporaryDir> FDir;
    QString FSysBlock;
};

void TestSystemVolumeServices::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FSysBlock = FDir->filePath(QStringLiteral("sys/block"));
    QVERIFY(QDir().mkpath(FDir->filePath(QStringLiteral("disk"))));
    Block(QStringLiteral("sda"), "8:0");
    Block(QStringLiteral("sdb"), "8:16");
    Block(QStringLiteral("sr0"), "11:0");
    Block(QStringLiteral("sr1"), "11:1");
    Block(QStringLiteral("sr10"), "11:10");
    Block(QStringLiteral("loop0"), "7:0");
    Block(QStringLiteral("loop1"), "7:1");
    Block(QStringLiteral("loop2"), "7:2");
}

void TestSystemVolumeServices::Block(const QString &name, const QByteArray &numbers)
{
    QVERIFY(QDir().mkpath(FSysBlock + QLatin1Char('/') + name));
    QVERIFY(WriteFile(FSysBlock + QLatin1Char('/') + name + QStringLiteral("/dev"), numbers + '\n'));
}

TSystemVolumeServices TestSystemVolumeServices::Services(const QByteArray &mountInfo)
{
    const QString path = FDir->filePath(QStringLiteral("mountinfo"));
    WriteFile(path, mountInfo);
    return TSystemVolumeServices(path, FSysBlock, FDir->filePath(QStringLiteral("disk")));
}

void TestSystemVolumeServices::Drives_data()
{
    QTest::addColumn<QByteArray>("mountInfo");
    QTest::addColumn<QList<TDrive>>("images");
    QTest::addColumn<TDrive>("sr0");

    const QByteArray base = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                            "2 1 0:5 / /proc rw - proc proc rw\n";
    const TDrive empty{QStringLiteral("/dev/sr0"), QStringLiteral("/dev/sr0"), QString(), false};
    const TDrive image{QStringLiteral("/media/u/image"), QStringLiteral("/dev/loop0"),
                       QStringLiteral("iso9660"), true};

    QTest::newRow("no disc") << base << QList<TDrive>{} << empty;
    QTest::newRow("disc in sr0")
        << base + "40 1 11:0 / /media/u/MY\\040DISC ro,nosuid shared:9 - iso9660 /dev/sr0 ro\n"
        << QList<TDrive>{}
        << TDrive{QStringLiteral("/media/u/MY DISC"), QStringLiteral("/dev/sr0"), QStringLiteral("iso9660"),
                  true};
    QTest::newRow("disc known by its numbers")
        << base + "40 1 11:0 / /media/cd ro - udf /dev/cdrom ro\n"
        << QList<TDrive>{}
        << TDrive{QStringLiteral("/media/cd"), QStringLiteral("/dev/sr0"), QStringLiteral("udf"), true};
    QTest::newRow("bind mount of a folder loses to the whole disc")
        << base + "40 1 11:0 /docs /srv/docs ro - iso9660 /dev/sr0 ro\n"
                  "41 1 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n"
        << QList<TDrive>{}
        << TDrive{QStringLiteral("/media/cd"), QStringLiteral("/dev/sr0"), QStringLiteral("iso9660"), true};
    QTest::newRow("ISO image on loop0") << base + "50 1 7:0 / /media/u/image ro - iso9660 /dev/loop0 ro\n"
                                        << QList<TDrive>{image} << empty;
    QTest::newRow("image mounted twice is one drive")
        << base + "50 1 7:0 / /media/u/image ro - iso9660 /dev/loop0 ro\n"
                  "51 1 7:0 / /mnt/again ro - iso9660 /dev/loop0 ro\n"
        << QList<TDrive>{image} << empty;
    QTest::newRow("images by loop number")
        << base + "52 1 7:2 / /mnt/b ro - udf /dev/loop2 ro\n"
                  "50 1 7:0 / /media/u/image ro - iso9660 /dev/loop0 ro\n"
        << QList<TDrive>{image, TDrive{QStringLiteral("/mnt/b"), QStringLiteral("/dev/loop2"),
                                       QStringLiteral("udf"), true}}
        << empty;
    QTest::newRow("ext4 on a loop device is no disc")
        << base + "53 1 7:1 / /mnt/ext ro - ext4 /dev/loop1 rw\n"
        << QList<TDrive>{} << empty;
    QTest::newRow("USB FAT disk is no disc") << base + "54 1 8:17 / /media/u/STICK rw - vfat /dev/sdb1 rw\n"
                                             << QList<TDrive>{} << empty;
    QTest::newRow("ISO on a USB disk is no disc")
        << base + "55 1 8:16 / /media/u/HYBRID ro - iso9660 /dev/sdb ro\n"
        << QList<TDrive>{} << empty;
}

void TestSystemVolumeServices::Drives()
{
    QFETCH(QByteArray, mountInfo);
    QFETCH(QList<TDrive>, images);
    QFETCH(TDrive, sr0);

    // sr1 and sr10 never hold a disc here; sr10 comes after sr1, by number, not by name.
    const QList<TDrive> expected =
        QList<TDrive>{sr0,
                      {QStringLiteral("/dev/sr1"), QStringLiteral("/dev/sr1"), QString(), false},
                      {QStringLiteral("/dev/sr10"), QStringLiteral("/dev/sr10"), QString(), false}} +
        images;
    QCOMPARE(Services(mountInfo).Drives(), expected);
}

void TestSystemVolumeServices::VolumeInformation_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("label");
    QTest::addColumn<quint32>("serial");

    QTest::newRow("the image's root")
        << QStringLiteral("mnt/image") << true << QStringLiteral("MY_DISC") << 0xdd36fdbbu;
    QTest::newRow("a folder inside it")
        << QStringLiteral("mnt/image/sub/") << true << QStringLiteral("MY_DISC") << 0xdd36fdbbu;
    QTest::newRow("a volume without device") << QStringLiteral("tmp") << true << QString() << 0u;
    QTest::newRow("a drive without disc") << QStringLiteral("/dev/sr0") << false << QString() << 0u;
    QTest::newRow("a missing folder") << QStringLiteral("mnt/none") << false << QString() << 0u;
}

void TestSystemVolumeServices::VolumeInformation()
{
    QFETCH(QString, root);
    QFETCH(bool, found);
    QFETCH(QString, label);
    QFETCH(quint32, serial);

    // loop903 does not exist on the machine: the probe reads the backing file the tree names.
    const QString image = FDir->filePath(QStringLiteral("disc.iso"));
    QVERIFY(WriteFile(image, Image({{16, Primary("MY_DISC")}, {17, Terminator()}})));
    QVERIFY(QDir().mkpath(FSysBlock + QStringLiteral("/loop903/loop")));
    QVERIFY(WriteFile(FSysBlock + QStringLiteral("/loop903/loop/backing_file"), image.toUtf8()));
    QVERIFY(QDir().mkpath(FDir->filePath(QStringLiteral("mnt/image/sub"))));
    QVERIFY(QDir().mkpath(FDir->filePath(QStringLiteral("tmp"))));
    const QByteArray top = QDir(FDir->path()).canonicalPath().toUtf8();
    TSystemVolumeServices services = Services("1 0 8:1 / / rw - ext4 /dev/sdz1 rw\n"
                                              "60 1 7:903 / " +
                                              top +
                                              "/mnt/image ro - iso9660 /dev/loop903 ro\n"
                                              "61 1 0:50 / " +
                                              top + "/tmp rw - tmpfs tmpfs rw\n");

    const QString path = root.startsWith(QLatin1Char('/')) ? root : FDir->filePath(root);
    const std::optional<TVolumeInfo> info = services.VolumeInformation(path);
    QCOMPARE(info.has_value(), found);
    if (found)
        QCOMPARE(*info, (TVolumeInfo{label, serial}));
}

void TestSystemVolumeServices::DiskSize()
{
    TSystemVolumeServices services;
    const std::optional<qint64> size = services.DiskSize(QDir::tempPath());
    QVERIFY(size);
    QVERIFY(*size > 0);
    QVERIFY(!services.DiskSize(FDir->filePath(QStringLiteral("missing"))));
    QVERIFY(!services.DiskSize(QStringLiteral("/dev/null")));
}

QTEST_GUILESS_MAIN(TestSystemVolumeServices)
#include "tst_SystemVolumeServices.moc"
