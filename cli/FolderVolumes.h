#pragma once

#include "VolumeServices.h"

// The volume services of the command-line tool: the system's, except that the one path being
// scanned can be a folder that is no mount point, catalogued as a volume of its own (its name as
// the label, a serial derived from its device and inode), and that label and serial can be given.
class TFolderVolumes final : public TVolumeServices
{
public:
    TFolderVolumes(TVolumeServices &system, QString rootPath);

    void SetLabel(const QString &label) { FLabel = label; }
    void SetSerial(quint32 serial) { FSerial = serial; }
    // True when the path is where a file system is mounted.
    bool IsMountPoint() const { return FMountPoint; }

    QList<TDrive> Drives() override { return FSystem.Drives(); }
    std::optional<TVolumeInfo> VolumeInformation(const QString &rootPath) override;
    std::optional<qint64> DiskSize(const QString &rootPath) override;
    TMountWatcher *NewMountWatcher(QObject *parent) override { return FSystem.NewMountWatcher(parent); }
    std::optional<QList<TDirEntry>> ListDirectory(const QString &path) override
    {
        return FSystem.ListDirectory(path);
    }
    quint32 TickCount() override { return FSystem.TickCount(); }
    std::optional<quint64> DeviceOf(const QString &path) override { return FSystem.DeviceOf(path); }

private:
    TVolumeServices &FSystem;
    QString FRootPath;
    bool FMountPoint = false;
    std::optional<QString> FLabel;
    std::optional<quint32> FSerial;
};

// "1234-abcd" as a serial number; nullopt when the text is not eight hexadecimal digits with a
// hyphen in the middle.
std::optional<quint32> ParseSerial(const QString &text);
