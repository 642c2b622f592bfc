#include "DiscImages.h"
#include "FileNames.h"
#include "SystemVolumeServices.h"
#include "VolumeSerials.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace DiscImages;

Q_DECLARE_METATYPE(TDrive)

namespace QTest {
template <> char *toString(const TDrive &drive)
{
    return qstrdup(qPrintable(QStringLiteral("{%1, %2, %3, %4, kind %5}")
                                  .arg(drive.RootPath, drive.Device, drive.FileSystem,
                                       drive.HasVolume ? QStringLiteral("volume") : QStringLiteral("none"))
                                  .arg(int(drive.Kind))));
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
    void DesktopDrives();
    void VolumeInformation_data();
    void VolumeInformation();
    void ShareLabel_data();
    void ShareLabel();
    void ShareSerial();
    void DiskSize();

private:
    void Block(const QString &name, const QByteArray &numbers);
    void Partition(const QString &disk, const QString &name, const QByteArray &numbers);
    void Write(const QString &pathInSys, const QByteArray &content);
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

// The partition's folder lies in its disk's, the way sysfs shows it below /sys/block/<disk>.
void TestSystemVolumeServices::Partition(const QString &disk, const QString &name, const QByteArray &numbers)
{
    Write(disk + QLatin1Char('/') + name + QStringLiteral("/dev"), numbers + '\n');
    Write(disk + QLatin1Char('/') + name + QStringLiteral("/partition"), "1\n");
}

void TestSystemVolumeServices::Write(const QString &pathInSys, const QByteArray &content)
{
    const QString path = FSysBlock + QLatin1Char('/') + pathInSys;
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QVERIFY(WriteFile(path, content));
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
    // After the optical drives: the images, then the disks.
    QTest::addColumn<QList<TDrive>>("images");
    QTest::addColumn<TDrive>("sr0");

    const QByteArray base = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                            "2 1 0:5 / /proc rw - proc proc rw\n";
    const TDrive empty{QStringLiteral("/dev/sr0"), QStringLiteral("/dev/sr0"), QString(), false};
    const TDrive image{QStringLiteral("/media/u/image"), QStringLiteral("/dev/loop0"),
                       QStringLiteral("iso9660"), true, TDriveKind::DiscImage};

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
                                       QStringLiteral("udf"), true, TDriveKind::DiscImage}}
        << empty;
    QTest::newRow("ext4 on a loop device is neither disc nor disk")
        << base + "53 1 7:1 / /mnt/ext ro - ext4 /dev/loop1 rw\n"
        << QList<TDrive>{} << empty;
    QTest::newRow("ISO on a USB disk is a disk, not a disc")
        << base + "55 1 8:16 / /media/u/HYBRID ro - iso9660 /dev/sdb ro\n"
        << QList<TDrive>{{QStringLiteral("/media/u/HYBRID"), QStringLiteral("/dev/sdb"),
                          QStringLiteral("iso9660"), true, TDriveKind::Removable}}
        << empty;
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

// A desktop without a disc: what it shows besides the optical drives, and in which order.
void TestSystemVolumeServices::DesktopDrives()
{
    Partition(QStringLiteral("sda"), QStringLiteral("sda1"), "8:1");
    Partition(QStringLiteral("sda"), QStringLiteral("sda2"), "8:2");
    Partition(QStringLiteral("sda"), QStringLiteral("sda3"), "8:3");
    Write(QStringLiteral("sda/removable"), "0\n");
    Partition(QStringLiteral("sdb"), QStringLiteral("sdb1"), "8:17");
    Write(QStringLiteral("sdb/removable"), "1\n");
    Block(QStringLiteral("nvme0n1"), "259:0");
    Partition(QStringLiteral("nvme0n1"), QStringLiteral("nvme0n1p1"), "259:1");
    // A USB disk that calls itself fixed: only the place of its device in sysfs tells.
    const QString usbDisk =
        FDir->filePath(QStringLiteral("sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/block/sdc"));
    QVERIFY(QDir().mkpath(usbDisk));
    QVERIFY(::symlink(QFile::encodeName(usbDisk).constData(),
                      QFile::encodeName(FSysBlock + QStringLiteral("/sdc")).constData()) == 0);
    Write(QStringLiteral("sdc/dev"), "8:32\n");
    Write(QStringLiteral("sdc/removable"), "0\n");
    Partition(QStringLiteral("sdc"), QStringLiteral("sdc1"), "8:33");
    Partition(QStringLiteral("sdc"), QStringLiteral("sdc2"), "8:34");
    // An encrypted volume on the USB disk's second partition.
    Block(QStringLiteral("dm-0"), "253:0");
    QVERIFY(QDir().mkpath(FSysBlock + QStringLiteral("/dm-0/slaves/sdc2")));

    const QList<TDrive> drives =
        Services("20 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                 "21 20 0:5 / /proc rw - proc proc rw\n"
                 "22 20 0:6 / /dev rw - devtmpfs udev rw\n"
                 "23 20 0:25 / /run rw - tmpfs tmpfs rw\n"
                 "24 20 0:30 / /tmp rw - tmpfs tmpfs rw\n"
                 "25 20 8:1 / /boot rw - ext4 /dev/sda1 rw\n"
                 "26 20 0:40 / /var/lib/docker/m rw - overlay overlay rw\n"
                 "27 20 7:3 / /snap/core22/1380 ro - squashfs /dev/loop3 ro\n"
                 "28 20 8:2 /srv/music /mnt/music rw - ext4 /dev/sda2 rw\n"
                 "29 23 8:17 / /run/media/alice/STICK rw - vfat /dev/sdb1 rw\n"
                 "30 20 8:3 /photos /mnt/photos rw - ext4 /dev/sda3 rw\n"
                 "31 20 8:3 / /mnt/data rw - ext4 /dev/sda3 rw\n"
                 "32 20 8:17 / /mnt/again rw - vfat /dev/sdb1 rw\n"
                 "33 20 259:1 / /srv/data rw - ext4 /dev/nvme0n1p1 rw\n"
                 "34 20 8:33 / /srv/usb rw - exfat /dev/sdc1 rw\n"
                 "35 20 253:0 / /srv/backup rw - ext4 /dev/mapper/backup rw\n"
                 "40 20 0:50 / /net/nas/photos rw - nfs4 nas:/export/photos rw\n"
                 "41 20 0:51 / /media/share rw - cifs //server/music rw\n"
                 "42 20 0:52 / /home rw - nfs server:/home rw\n"
                 "43 42 0:53 / /home/alice/remote rw - fuse.sshfs alice@host:dir rw\n"
                 "44 23 0:54 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
                 "45 20 0:51 /pop /media/pop rw - cifs //server/music rw\n")
            .Drives();

    const auto drive = [](const char *root, const char *device, const char *type, TDriveKind kind) {
        return TDrive{QString::fromUtf8(root), QString::fromUtf8(device), QString::fromUtf8(type), true,
                      kind};
    };
    const QList<TDrive> expected = {
        {QStringLiteral("/dev/sr0"), QStringLiteral("/dev/sr0"), QString(), false},
        {QStringLiteral("/dev/sr1"), QStringLiteral("/dev/sr1"), QString(), false},
        {QStringLiteral("/dev/sr10"), QStringLiteral("/dev/sr10"), QString(), false},
        drive("/mnt/data", "/dev/sda3", "ext4", TDriveKind::Removable),
        drive("/run/media/alice/STICK", "/dev/sdb1", "vfat", TDriveKind::Removable),
        drive("/srv/backup", "/dev/mapper/backup", "ext4", TDriveKind::Removable),
        drive("/srv/usb", "/dev/sdc1", "exfat", TDriveKind::Removable),
        drive("/home/alice/remote", "alice@host:dir", "fuse.sshfs", TDriveKind::Network),
        drive("/media/share", "//server/music", "cifs", TDriveKind::Network),
        drive("/net/nas/photos", "nas:/export/photos", "nfs4", TDriveKind::Network)};
    QCOMPARE(drives, expected);
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
    QTest::newRow("a USB stick the user may not read")
        << QStringLiteral("stick") << true << QStringLiteral("MY STICK") << 0x1234abcdu;
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
    QVERIFY(QDir().mkpath(FDir->filePath(QStringLiteral("stick"))));
    QVERIFY(QDir().mkpath(FDir->filePath(QStringLiteral("disk/by-uuid"))));
    QVERIFY(QDir().mkpath(FDir->filePath(QStringLiteral("disk/by-label"))));
    QVERIFY(::symlink("../../sdz5",
                      QFile::encodeName(FDir->filePath(QStringLiteral("disk/by-uuid/1234-ABCD")))) == 0);
    QVERIFY(::symlink("../../sdz5",
                      QFile::encodeName(FDir->filePath(QStringLiteral("disk/by-label/MY\\x20STICK")))) == 0);
    const QByteArray top = QDir(FDir->path()).canonicalPath().toUtf8();
    TSystemVolumeServices services = Services("1 0 8:1 / / rw - ext4 /dev/sdz1 rw\n"
                                              "60 1 7:903 / " +
                                              top +
                                              "/mnt/image ro - iso9660 /dev/loop903 ro\n"
                                              "61 1 0:50 / " +
                                              top +
                                              "/tmp rw - tmpfs tmpfs rw\n"
                                              "62 1 8:213 / " +
                                              top + "/stick rw - vfat /dev/sdz5 rw\n");

    const QString path = root.startsWith(QLatin1Char('/')) ? root : FDir->filePath(root);
    const std::optional<TVolumeInfo> info = services.VolumeInformation(path);
    QCOMPARE(info.has_value(), found);
    if (found)
        QCOMPARE(*info, (TVolumeInfo{label, serial}));
}

void TestSystemVolumeServices::ShareLabel_data()
{
    QTest::addColumn<QString>("fileSystem");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("label");

    QTest::newRow("SMB") << QStringLiteral("cifs") << QByteArray("//server/music") << QStringLiteral("music");
    QTest::newRow("SMB server only") << QStringLiteral("smb3") << QByteArray("//server")
                                     << QStringLiteral("server");
    QTest::newRow("NFS, trailing slash")
        << QStringLiteral("nfs") << QByteArray("server:/export/photos/") << QStringLiteral("photos");
    QTest::newRow("NFS root") << QStringLiteral("nfs4") << QByteArray("server:/") << QStringLiteral("server");
    QTest::newRow("NFS over IPv6") << QStringLiteral("nfs4") << QByteArray("[fe80::1]:/srv/films")
                                   << QStringLiteral("films");
    QTest::newRow("sshfs") << QStringLiteral("fuse.sshfs") << QByteArray("user@host:dir")
                           << QStringLiteral("dir");
    QTest::newRow("sshfs home") << QStringLiteral("fuse.sshfs") << QByteArray("user@host:")
                                << QStringLiteral("host");
    QTest::newRow("WebDAV") << QStringLiteral("davfs") << QByteArray("https://user@cloud.example:8443/")
                            << QStringLiteral("cloud.example");
    QTest::newRow("9p tag") << QStringLiteral("9p") << QByteArray("hostshare") << QStringLiteral("hostshare");
}

void TestSystemVolumeServices::ShareLabel()
{
    QFETCH(QString, fileSystem);
    QFETCH(QByteArray, source);
    QFETCH(QString, label);

    QVERIFY(QDir().mkpath(FDir->filePath(QStringLiteral("share"))));
    const QByteArray top = QDir(FDir->path()).canonicalPath().toUtf8();
    TSystemVolumeServices services = Services("1 0 8:1 / / rw - ext4 /dev/sdz1 rw\n70 1 0:60 / " + top +
                                              "/share rw - " + fileSystem.toUtf8() + ' ' + source + " rw\n");
    const std::optional<TVolumeInfo> info =
        services.VolumeInformation(FDir->filePath(QStringLiteral("share")));
    QVERIFY(info);
    QCOMPARE(info->Label, label);
    QCOMPARE(info->Serial, TVolumeSerials::TextSerial(source));
}

// A share's number comes from its source alone: the same on every machine, another for another.
void TestSystemVolumeServices::ShareSerial()
{
    QVERIFY(QDir().mkpath(FDir->filePath(QStringLiteral("a"))));
    QVERIFY(QDir().mkpath(FDir->filePath(QStringLiteral("b"))));
    const QByteArray top = QDir(FDir->path()).canonicalPath().toUtf8();
    TSystemVolumeServices services = Services("1 0 8:1 / / rw - ext4 /dev/sdz1 rw\n"
                                              "70 1 0:60 / " +
                                              top +
                                              "/a rw - cifs //server/music rw\n"
                                              "71 1 0:61 / " +
                                              top + "/b rw - cifs //server/musik rw\n");
    const auto serialOf = [&](const char *folder) {
        const std::optional<TVolumeInfo> info =
            services.VolumeInformation(FDir->filePath(QString::fromUtf8(folder)));
        return info ? TVolumeSerials::SerialText(info->Serial) : QString();
    };
    QCOMPARE(serialOf("a"), QStringLiteral("5b41-f19c"));
    QVERIFY(serialOf("a") != serialOf("b"));
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
