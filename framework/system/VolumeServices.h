#pragma once

#include "DateTimes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class QObject;
class TMountWatcher;

// What kind of drive a user sees: a disc in a drive or an image, a disk of its own, a share.
enum class TDriveKind {
    Optical,
    DiscImage,
    // A disk of its own: removable, on USB, or mounted for the user under /media or /mnt.
    Removable,
    Network,
};

// A drive a catalogue lists: an optical drive, a mounted disc image, a removable or external disk,
// a network share.
struct TDrive
{
    // The mount point; an optical drive without a mounted disc is named by its device.
    QString RootPath;
    // What is mounted: "/dev/sr0", "/dev/sdb1", a share's source such as "//server/music".
    QString Device;
    // "iso9660", "udf", "vfat", "nfs4", ...; empty when nothing is mounted.
    QString FileSystem;
    bool HasVolume = false;
    TDriveKind Kind = TDriveKind::Optical;

    friend bool operator==(const TDrive &, const TDrive &) = default;
};

struct TVolumeInfo
{
    // As the file system holds it: the catalogue decides about letter case.
    QString Label;
    quint32 Serial = 0;

    friend bool operator==(const TVolumeInfo &, const TVolumeInfo &) = default;
};

// Where a folder lies: the root of the volume holding it and the folder itself, both with
// symbolic links resolved, so that the folder is the root or a folder below it.
struct TFolderLocation
{
    QString VolumeRoot;
    QString Folder;

    friend bool operator==(const TFolderLocation &, const TFolderLocation &) = default;
};

// One entry of a folder, as the walk records it.
struct TDirEntry
{
    QByteArray Name;
    // Symbolic links are never directories: they are recorded as files and not followed.
    bool IsDirectory = false;
    bool IsSymLink = false;
    // A link's own size, not its target's.
    qint64 Size = 0;
    // Local time truncated to even seconds, the resolution of FAT times, so that a file copied
    // between file systems keeps the time the catalogue knows it by.
    TDateTime Time;
    // The walk stays on the volume's device: a folder on another device is recorded, not entered.
    quint64 Device = 0;
    // False when the entry could not be stat'ed: it is still listed with its name; size, time and
    // device are 0 and IsDirectory comes from the folder listing itself.
    bool Stated = false;
};

// Volume and file services of the platform, one instance current per process so that tests can
// put a double in its place.
class TVolumeServices
{
public:
    TVolumeServices() = default;
    TVolumeServices(const TVolumeServices &) = delete;
    TVolumeServices &operator=(const TVolumeServices &) = delete;
    virtual ~TVolumeServices() = default;

    // The installed instance, or the system's own when none is installed.
    static TVolumeServices &Current();
    // nullptr puts the system's own back. The caller keeps ownership.
    static void SetCurrent(TVolumeServices *services);

    // In a stable order: optical drives by number, mounted disc images, removable and external
    // disks, network shares. Never the system's own file systems.
    virtual QList<TDrive> Drives() = 0;
    // nullopt for a drive without a disc or a volume that cannot be identified.
    virtual std::optional<TVolumeInfo> VolumeInformation(const QString &rootPath) = 0;
    // Capacity in bytes; nullopt when rootPath is not a readable volume.
    virtual std::optional<qint64> DiskSize(const QString &rootPath) = 0;
    // A watcher of the mount table, owned by parent. Its Changed() stands in for the message
    // Windows sends when a disc arrives or leaves.
    virtual TMountWatcher *NewMountWatcher(QObject *parent) = 0;

    // The entries of a folder without "." and "..", or nullopt when it cannot be listed. The
    // listing is closed before this returns, so a walk holds no handle per level.
    virtual std::optional<QList<TDirEntry>> ListDirectory(const QString &path);
    // Milliseconds from a monotonic clock, wrapping like a 32-bit counter.
    virtual quint32 TickCount();
    // The device a path lies on, nullopt when it cannot be read; a walk compares it with its
    // entries' devices to stay on one volume. A final symbolic link is followed, as ListDirectory
    // follows it: a root such as /media/cdrom -> cdrom0 must give the disc's device, not that of
    // the folder holding the link, or no folder of the disc would be entered.
    virtual std::optional<quint64> DeviceOf(const QString &path);
    // The volume a folder lies on, its root being the mount point of the file system that holds
    // the folder; nullopt when the folder does not exist. Paths below the root are what a scan of
    // that volume records, so a folder's place on it can be compared with the catalogue's.
    virtual std::optional<TFolderLocation> LocateFolder(const QString &path);
};
