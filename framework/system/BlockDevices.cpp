#include "BlockDevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Device mappers stacked deeper than this are a loop in a damaged tree, not a real setup.
constexpr int MaxDepth = 8;

QByteArray ReadLine(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(64).trimmed() : QByteArray();
}

} // namespace

TBlockDevices::TBlockDevices(QString sysBlockPath) : FSysBlockPath(std::move(sysBlockPath))
{
    const QStringList disks = QDir(FSysBlockPath).entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &disk : disks) {
        const QString folder = FSysBlockPath + QLatin1Char('/') + disk;
        FByName.insert(disk, {disk, disk});
        FByNumbers.insert(ReadLine(folder + QStringLiteral("/dev")), {disk, disk});
        // Partitions are the real folders of a disk that hold a "partition" file; the symbolic
        // links beside them (device, bdi) lead elsewhere in sysfs.
        const QStringList children =
            QDir(folder).entryList(QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot);
        for (const QString &child : children) {
            const QString childFolder = folder + QLatin1Char('/') + child;
            if (!QFileInfo::exists(childFolder + QStringLiteral("/partition")))
                continue;
            FByName.insert(child, {child, disk});
            FByNumbers.insert(ReadLine(childFolder + QStringLiteral("/dev")), {child, disk});
        }
    }
    FByNumbers.remove(QByteArray());
}

std::optional<TBlockDevices::TBlockDevice> TBlockDevices::Find(const QString &name, quint32 major,
                                                               quint32 minor) const
{
    if (const auto it = FByName.constFind(name); it != FByName.cend())
        return *it;
    // 0:n is an anonymous device (btrfs shows one for every mount): it names no block device.
    if (major != 0) {
        const QByteArray numbers = QByteArray::number(major) + ':' + QByteArray::number(minor);
        if (const auto it = FByNumbers.constFind(numbers); it != FByNumbers.cend())
            return *it;
    }
    return std::nullopt;
}

bool TBlockDevices::IsExternal(const QString &disk) const
{
    return IsExternal(disk, 0);
}

bool TBlockDevices::IsExternal(const QString &disk, int depth) const
{
    const QString folder = FSysBlockPath + QLatin1Char('/') + disk;
    if (ReadLine(folder + QStringLiteral("/removable")) == "1")
        return true;
    // /sys/block/sdb links to /sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/.../block/sdb. Only
    // the part below sysfs counts: the folder sysfs lies in may have any name.
    QString device = QFileInfo(folder).canonicalFilePath();
    const QString sysfs = QFileInfo(FSysBlockPath + QStringLiteral("/..")).canonicalFilePath();
    if (!sysfs.isEmpty() && device.startsWith(sysfs + QLatin1Char('/')))
        device.remove(0, sysfs.size());
    if (device.contains(QStringLiteral("/usb")))
        return true;
    if (depth >= MaxDepth)
        return false;
    const QStringList slaves =
        QDir(folder + QStringLiteral("/slaves")).entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &slave : slaves) {
        const auto below = FByName.constFind(slave);
        if (below != FByName.cend() && below->Disk != disk && IsExternal(below->Disk, depth + 1))
            return true;
    }
    return false;
}
