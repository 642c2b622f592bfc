#pragma once

#include "InfoFiles.h"
#include "VolumeSources.h"

#include <optional>

// A volume read where the file system shows it: at a drive's mount point, or at any folder
// catalogued as a volume of its own. Everything goes through TVolumeServices::Current(), so that
// tests can put their volumes in place of the system's.
class TMountedSource final : public TVolumeSource
{
public:
    enum class TKind {
        // A drive: the volume mounted at the root names and numbers it.
        Drive,
        // A folder chosen by the user: unless it is where a file system is mounted, its name is
        // the label, and a serial derived from its device and inode keeps it the same volume
        // across scans.
        Folder
    };

    explicit TMountedSource(QString rootPath, TKind kind = TKind::Drive);

    const QString &RootPath() const { return FRootPath; }
    // For a folder: true when a file system is mounted there.
    bool IsMountPoint() const { return FMountPoint; }

    QString DisplayName() const override { return FRootPath; }
    // A folder's canonical path; empty for a drive.
    QString SourcePath() const override;
    std::optional<TVolumeInfo> VolumeInformation() override;
    // A folder has no capacity of its own: the file system's would make the fraction meaningless,
    // so progress shows no percentage for it.
    qint64 Capacity() override;
    std::optional<QList<TDirEntry>> ListFolder(const QString &folder) override;
    // A folder on another device (something mounted inside the volume) is recorded, not entered.
    bool Enters(const TDirEntry &folder) override;
    // Names and links are resolved as InfoFilePath does; EXDEV when they lead outside the volume.
    // The last file stays open, so one info file describing several entries in a row is opened
    // once.
    TFileBytes ReadFile(const QString &folder, const QString &name, qint64 maxBytes) override;
    // Never through a symbolic link, and never anything but a regular file: opening a named pipe
    // or a device would wait or read without end.
    int OpenFile(const QString &folder, const TDirEntry &file) override;

private:
    QString FRootPath;
    TKind FKind;
    bool FMountPoint = true;
    std::optional<quint64> FDevice;
    TInfoFileReader FReader;
};
