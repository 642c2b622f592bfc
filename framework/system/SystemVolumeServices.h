#pragma once

#include "VolumeProbe.h"
#include "VolumeServices.h"

// The volume services of the running system. The places it reads are parameters so that tests
// can point them at generated files.
class TSystemVolumeServices final : public TVolumeServices
{
public:
    explicit TSystemVolumeServices(QString mountInfoPath = QStringLiteral("/proc/self/mountinfo"),
                                   QString sysBlockPath = QStringLiteral("/sys/block"),
                                   QString devDiskPath = QStringLiteral("/dev/disk"));

    // Optical drives ("sr*" in sysBlockPath) by number, then ISO 9660 and UDF file systems
    // mounted from loop devices, by loop number: what Windows lists as CD-ROM drives. A device
    // mounted at several places is listed once, at its first mount point.
    QList<TDrive> Drives() override;
    // Of the volume that holds rootPath.
    std::optional<TVolumeInfo> VolumeInformation(const QString &rootPath) override;
    std::optional<qint64> DiskSize(const QString &rootPath) override;
    TMountWatcher *NewMountWatcher(QObject *parent) override;

private:
    QString FMountInfoPath;
    QString FSysBlockPath;
    TVolumeProbe FProbe;
};
