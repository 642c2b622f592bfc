#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

// The disks and partitions a /sys/block tree shows, read once: which disk a mounted device lies
// on and whether that disk can be taken away.
class TBlockDevices
{
public:
    // A device of the tree: its own name ("sdb1") and its disk's ("sdb").
    struct TBlockDevice
    {
        QString Name;
        QString Disk;
    };

    explicit TBlockDevices(QString sysBlockPath);

    // By name ("sdb1", "dm-0") and, for a name the tree does not know (/dev/disk/by-uuid/...,
    // /dev/mapper/... where /dev is not the one the tree describes), by device numbers.
    std::optional<TBlockDevice> Find(const QString &name, quint32 major, quint32 minor) const;
    // Whether the disk is removable (SD cards, most USB sticks), on the USB bus (USB disks that
    // call themselves fixed) or built on such a disk (an encrypted or LVM volume on a USB disk).
    bool IsExternal(const QString &disk) const;

private:
    bool IsExternal(const QString &disk, int depth) const;

    QString FSysBlockPath;
    QHash<QString, TBlockDevice> FByName;
    QHash<QByteArray, TBlockDevice> FByNumbers;
};
