#pragma once

#include "VolumeProbe.h"
#include "VolumeServices.h"

#include <QSet>

class TMountTable;
struct TMountEntry;

// The volume services of the running system. The places it reads are parameters so that tests
// can point them at generated files.
class TSystemVolumeServices final : public TVolumeServices
{
public:
    explicit TSystemVolumeServices(QString mountInfoPath = QStringLiteral("/proc/self/mountinfo"),
                                   QString sysBlockPath = QStringLiteral("/sys/block"),
                                   QString devDiskPath = QStringLiteral("/dev/disk"));

    // Optical drives ("sr*" in sysBlockPath) by number, then ISO 9660 and UDF file systems
    // mounted from loop devices, by loop number: what Windows lists as CD-ROM drives. Then, by
    // mount point, file systems on disks (not loop or RAM devices) that are removable, on USB or
    // mounted below /media, /run/media or /mnt; then, by mount point, network shares (see
    // TNetworkShares). Never a device or share mounted where the system lives (/, /boot, /usr,
    // /var, /home, /tmp, below /proc, /sys, /dev, /run), nor the kernel's own file systems,
    // tmpfs, overlay or squashfs. A device or share mounted at several places is listed once, at
    // its first mount that shows the whole file system.
    QList<TDrive> Drives() override;
    // Of the volume that holds rootPath. A network share is named by its last path component and
    // numbered from its source text, as it has no label or serial of its own.
    std::optional<TVolumeInfo> VolumeInformation(const QString &rootPath) override;
    std::optional<qint64> DiskSize(const QString &rootPath) override;
    TMountWatcher *NewMountWatcher(QObject *parent) override;

private:
    // The removable and external disks and network shares of mounts, leaving out those listed.
    QList<TDrive> DiskDrives(const TMountTable &mounts, const QSet<const TMountEntry *> &listed) const;

    QString FMountInfoPath;
    QString FSysBlockPath;
    TVolumeProbe FProbe;
};
