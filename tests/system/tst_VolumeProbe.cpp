#include "DiscImages.h"
#include "VolumeProbe.h"
#include "VolumeSerials.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace DiscImages;

// Devices that do not exist: the probe must find the identity by the unprivileged routes, the
// way it does for a device the user may not read.
class TestVolumeProbe : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void BackingFile_data();
    void BackingFile();
    void Links_data();
    void Links();
    void BlkidCache();
    void RealLoopDevice();
    void Unknown_data();
    void Unknown();
    void UnescapeUdevName_data();
    void UnescapeUdevName();

private:
    void AttachLoop(const QString &name, const QByteArray &content, qint64 offset);
    void Link(const QString &kind, const QString &name, const QByteArray &target);

    std::unique_ptr<QTemporaryDir> FDir;
    QString FSysBlock;
    QString FDevDisk;
    QByteArray FSavedBlkidFile;
};

void TestVolumeProbe::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FSysBlock = FDir->filePath(QStringLiteral("sys/block"));
    FDevDisk = FDir->filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkpath(FSysBlock));
    QVERIFY(QDir().mkpath(FDevDisk + QStringLiteral("/by-uuid")));
    QVERIFY(QDir().mkpath(FDevDisk + QStringLiteral("/by-label")));
    // The machine's own blkid cache must not answer for the invented devices.
    FSavedBlkidFile = qgetenv("BLKID_FILE");
    qputenv("BLKID_FILE", FDir->filePath(QStringLiteral("blkid.tab")).toUtf8());
}

void TestVolumeProbe::cleanup()
{
    if (FSavedBlkidFile.isEmpty())
        qunsetenv("BLKID_FILE");
    else
        qputenv("BLKID_FILE", FSavedBlkidFile);
    FDir.reset();
}

void TestVolumeProbe::AttachLoop(const QString &name, const QByteArray &content, qint64 offset)
{
    const QString image = FDir->filePath(name + QStringLiteral(".img"));
    QVERIFY(WriteFile(image, QByteArray(offset, 'x') + content));
    const QString loop = FSysBlock + QLatin1Char('/') + name + QStringLiteral("/loop");
    QVERIFY(QDir().mkpath(loop));
    QVERIFY(WriteFile(loop + QStringLiteral("/backing_file"), image.toUtf8() + '\n'));
    QVERIFY(WriteFile(loop + QStringLiteral("/offset"), QByteArray::number(offset) + '\n'));
}

void TestVolumeProbe::Link(const QString &kind, const QString &name, const QByteArray &target)
{
    const QByteArray link = QFile::encodeName(FDevDisk + QLatin1Char('/') + kind + QLatin1Char('/') + name);
    QVERIFY(::symlink(target.constData(), link.constData()) == 0);
}

void TestVolumeProbe::BackingFile_data()
{
    QTest::addColumn<QString>("fileSystem");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QString>("label");
    QTest::addColumn<quint32>("serial");

    const QByteArray primary = Primary("MY_DISC");
    const QByteArray joliet = Supplementary(QStringLiteral("Urlaub 2023 ä"), "%/E");
    QTest::newRow("ISO 9660") << QStringLiteral("iso9660") << Image({{16, primary}, {17, Terminator()}})
                              << 0ll << QStringLiteral("MY_DISC") << 0xdd36fdbbu;
    QTest::newRow("Joliet") << QStringLiteral("iso9660")
                            << Image({{16, primary}, {17, joliet}, {18, Terminator()}}) << 0ll
                            << QStringLiteral("Urlaub 2023 ä") << 0xe1ea14f7u;
    QTest::newRow("image at an offset")
        << QStringLiteral("iso9660") << Image({{16, primary}, {17, Terminator()}}) << 1048576ll
        << QStringLiteral("MY_DISC") << 0xdd36fdbbu;
    QTest::newRow("UDF bridge") << QStringLiteral("udf") << Image({{16, primary}, {17, Terminator()}}) << 0ll
                                << QStringLiteral("MY_DISC") << 0xdd36fdbbu;
    QTest::newRow("FAT32") << QStringLiteral("vfat") << BootSector(TBoot::Fat32, 0xCAFEF00D) << 0ll
                           << QString() << 0xCAFEF00Du;
    QTest::newRow("exFAT") << QStringLiteral("exfat") << BootSector(TBoot::ExFat, 0x0BADC0DE) << 0ll
                           << QString() << 0x0BADC0DEu;
    QTest::newRow("NTFS through FUSE")
        << QStringLiteral("fuseblk") << BootSector(TBoot::Ntfs, 0x1122334455667788) << 0ll << QString()
        << 0x55667788u;
}

void TestVolumeProbe::BackingFile()
{
    QFETCH(QString, fileSystem);
    QFETCH(QByteArray, content);
    QFETCH(qint64, offset);
    QFETCH(QString, label);
    QFETCH(quint32, serial);

    AttachLoop(QStringLiteral("loop901"), content, offset);
    const std::optional<TVolumeInfo> info =
        TVolumeProbe(FSysBlock, FDevDisk).Probe("/dev/loop901", fileSystem);
    QVERIFY(info);
    QCOMPARE(info->Label, label);
    QCOMPARE(TVolumeSerials::SerialText(info->Serial), TVolumeSerials::SerialText(serial));
}

void TestVolumeProbe::Links_data()
{
    QTest::addColumn<QString>("fileSystem");
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QString>("labelLink");
    QTest::addColumn<QString>("label");
    QTest::addColumn<quint32>("serial");

    QTest::newRow("FAT") << QStringLiteral("vfat") << QStringLiteral("1234-ABCD")
                         << QStringLiteral("MY\\x20STICK") << QStringLiteral("MY STICK") << 0x1234ABCDu;
    QTest::newRow("NTFS") << QStringLiteral("ntfs3") << QStringLiteral("1122334455667788")
                          << QStringLiteral("Daten\\x2fAlt") << QStringLiteral("Daten/Alt") << 0x55667788u;
    QTest::newRow("ext4") << QStringLiteral("ext4") << QStringLiteral("550e8400-e29b-41d4-a716-446655440000")
                          << QString() << QString() << 0x550E8400u;
    QTest::newRow("label only") << QStringLiteral("iso9660") << QString() << QStringLiteral("DISC")
                                << QStringLiteral("DISC") << 0u;
}

void TestVolumeProbe::Links()
{
    QFETCH(QString, fileSystem);
    QFETCH(QString, uuid);
    QFETCH(QString, labelLink);
    QFETCH(QString, label);
    QFETCH(quint32, serial);

    // Links of another device around it must not answer for it.
    Link(QStringLiteral("by-uuid"), QStringLiteral("FFFF-0000"), "../../sdz90");
    Link(QStringLiteral("by-label"), QStringLiteral("OTHER"), "../../sdz90");
    if (!uuid.isEmpty())
        Link(QStringLiteral("by-uuid"), uuid, "../../sdz9");
    if (!labelLink.isEmpty())
        Link(QStringLiteral("by-label"), labelLink, "../../sdz9");

    const std::optional<TVolumeInfo> info = TVolumeProbe(FSysBlock, FDevDisk).Probe("/dev/sdz9", fileSystem);
    QVERIFY(info);
    QCOMPARE(info->Label, label);
    QCOMPARE(info->Serial, serial);
}

void TestVolumeProbe::BlkidCache()
{
    // The device must exist for the cache to be consulted at all: /dev/null stands in.
    QVERIFY(WriteFile(FDir->filePath(QStringLiteral("blkid.tab")),
                      "<device DEVNO=\"0x0103\" TIME=\"1700000000.1\" LABEL=\"CACHED\" UUID=\"ABCD-1234\" "
                      "TYPE=\"vfat\">/dev/null</device>\n"));
    const std::optional<TVolumeInfo> info =
        TVolumeProbe(FSysBlock, FDevDisk).Probe("/dev/null", QStringLiteral("vfat"));
    QVERIFY(info);
    QCOMPARE(info->Label, QStringLiteral("CACHED"));
    QCOMPARE(info->Serial, 0xABCD1234u);
}

// Through the kernel's block device, where this process may attach a loop device.
void TestVolumeProbe::RealLoopDevice()
{
    const QString image = FDir->filePath(QStringLiteral("real.iso"));
    QVERIFY(WriteFile(image, Image({{16, Primary("MY_DISC")}, {17, Terminator()}})));
    const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    const int number = control >= 0 ? ::ioctl(control, LOOP_CTL_GET_FREE) : -1;
    if (control >= 0)
        ::close(control);
    const QByteArray device = "/dev/loop" + QByteArray::number(number);
    const int loop = number >= 0 ? ::open(device.constData(), O_RDWR | O_CLOEXEC) : -1;
    const int backing = ::open(QFile::encodeName(image).constData(), O_RDONLY | O_CLOEXEC);
    const bool attached = loop >= 0 && ::ioctl(loop, LOOP_SET_FD, backing) == 0;
    ::close(backing);
    const auto detach = qScopeGuard([&] {
        if (attached)
            ::ioctl(loop, LOOP_CLR_FD, 0);
        if (loop >= 0)
            ::close(loop);
    });
    if (!attached)
        QSKIP("attaching a loop device is not allowed here");
    // The generated sysfs tree names no backing file: the bytes come from the device itself.
    QCOMPARE(TVolumeProbe(FSysBlock, FDevDisk).Probe(device, QStringLiteral("iso9660")),
             std::optional(TVolumeInfo{QStringLiteral("MY_DISC"), 0xdd36fdbbu}));
}

void TestVolumeProbe::Unknown_data()
{
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<QString>("fileSystem");

    QTest::newRow("device nobody knows") << QByteArray("/dev/sdz7") << QStringLiteral("ext4");
    QTest::newRow("loop without backing file") << QByteArray("/dev/loop902") << QStringLiteral("iso9660");
    QTest::newRow("no device") << QByteArray("tmpfs") << QStringLiteral("tmpfs");
}

void TestVolumeProbe::Unknown()
{
    QFETCH(QByteArray, device);
    QFETCH(QString, fileSystem);
    QVERIFY(!TVolumeProbe(FSysBlock, FDevDisk).Probe(device, fileSystem));
}

void TestVolumeProbe::UnescapeUdevName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("space") << QByteArray("MY\\x20DISC") << QByteArray("MY DISC");
    QTest::newRow("slash and backslash") << QByteArray("a\\x2fb\\x5cc") << QByteArray("a/b\\c");
    QTest::newRow("UTF-8 kept") << QByteArray("Caf\xc3\xa9") << QByteArray("Caf\xc3\xa9");
    QTest::newRow("not hex") << QByteArray("a\\xzz") << QByteArray("a\\xzz");
    QTest::newRow("cut short") << QByteArray("a\\x2") << QByteArray("a\\x2");
}

void TestVolumeProbe::UnescapeUdevName()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, expected);
    QCOMPARE(TVolumeProbe::UnescapeUdevName(name), expected);
}

QTEST_GUILESS_MAIN(TestVolumeProbe)
#include "tst_VolumeProbe.moc"
