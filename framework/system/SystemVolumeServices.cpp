#include "SystemVolumeServices.h"

#include "BlockDevices.h"
#include "FileNames.h"
#include "MountTable.h"
#include "MountWatcher.h"
#include "NetworkShares.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

constexpr quint32 LoopMajor = 7;

bool IsDiscFileSystem(const QString &type)
{
    return type == QLatin1String("iso9660") || type == QLatin1String("udf");
}

// The real path of an existing folder, or an empty array.
QByteArray ExistingFolder(const QString &path)
{
    char resolved[PATH_MAX];
    if (!::realpath(TextToFileName(path).constData(), resolved))
        return {};
    struct stat info;
    if (::stat(resolved, &info) != 0 || !S_ISDIR(info.st_mode))
        return {};
    return resolved;
}

QByteArray DeviceName(const QByteArray &source)
{
    return source.startsWith("/dev/") ? source.mid(source.lastIndexOf('/') + 1) : QByteArray();
}

// Of the mounts of one device, the first that shows the whole file system (a bind mount of a
// folder shows only part of it), else the first.
const TMountEntry *FirstMount(const QList<const TMountEntry *> &mounts)
{
    const auto whole = std::find_if(mounts.begin(), mounts.end(),
                                    [](const TMountEntry *entry) { return entry->Root == "/"; });
    return whole != mounts.end() ? *whole : mounts.value(0);
}

TDrive MountedDrive(const TMountEntry &entry, const QString &device, TDriveKind kind)
{
    return {FileNameToText(entry.MountPoint), device, entry.FileSystem, true, kind};
}

bool IsAtOrBelow(QByteArrayView path, QByteArrayView folder)
{
    return path.startsWith(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

// Where the system itself lives: a file system mounted at one of these places is never a drive,
// nor is any other mount of its device (a bind mount of a folder of the system disk).
bool IsSystemPlace(QByteArrayView mountPoint)
{
    static const QByteArrayView mountPoints[] = {"/",    "/boot", "/boot/efi", "/efi",
                                                 "/usr", "/var",  "/home",     "/tmp"};
    static const QByteArrayView below[] = {"/boot", "/efi", "/proc", "/sys", "/dev", "/snap"};
    if (std::find(std::begin(mountPoints), std::end(mountPoints), mountPoint) != std::end(mountPoints))
        return true;
    if (std::any_of(std::begin(below), std::end(below),
                    [&](QByteArrayView folder) { return IsAtOrBelow(mountPoint, folder); }))
        return true;
    // /run holds the system's runtime state; udisks mounts the user's disks below /run/media.
    return IsAtOrBelow(mountPoint, "/run") && !IsAtOrBelow(mountPoint, "/run/media");
}

// Where a disk is mounted for the user to see it: by udisks (/media/<user>, /run/media/<user>)
// or by hand.
bool IsUserPlace(QByteArrayView mountPoint)
{
    return IsAtOrBelow(mountPoint, "/media") || IsAtOrBelow(mountPoint, "/run/media") ||
           IsAtOrBelow(mountPoint, "/mnt");
}

// File systems that hold no user's data even when a device backs them: swap never shows in the
// mount table, squashfs and erofs are the read-only images of snaps and live systems, the rest
// are the kernel's own.
bool IsPseudoFileSystem(const QString &type)
{
    static const QStringList types = {
        QStringLiteral("squashfs"), QStringLiteral("erofs"),   QStringLiteral("overlay"),
        QStringLiteral("tmpfs"),    QStringLiteral("ramfs"),   QStringLiteral("devtmpfs"),
        QStringLiteral("proc"),     QStringLiteral("sysfs"),   QStringLiteral("autofs"),
        QStringLiteral("devpts"),   QStringLiteral("cgroup"),  QStringLiteral("cgroup2"),
        QStringLiteral("swap"),     QStringLiteral("efivarfs")};
    return types.contains(type);
}

// Loop devices show files that lie on another drive (disc images are listed as images, snaps are
// no drives); RAM disks and compressed swap hold nothing that lasts.
bool IsVirtualDevice(const QString &name)
{
    return name.startsWith(QLatin1String("loop")) || name.startsWith(QLatin1String("ram")) ||
           name.startsWith(QLatin1String("zram"));
}

QString CanonicalDeviceName(const QByteArray &source)
{
    char resolved[PATH_MAX];
    const QByteArray device = ::realpath(source.constData(), resolved) ? QByteArray(resolved) : source;
    return FileNameToText(device.mid(device.lastIndexOf('/') + 1));
}

// Mounts of one device or share in the order of the mount table, kept in the order each was
// first seen.
class TMountGroups
{
public:
    void Add(const QByteArray &key, const TMountEntry *entry)
    {
        const auto it = FIndex.constFind(key);
        if (it != FIndex.cend()) {
            FGroups[*it].append(entry);
        } else {
            FIndex.insert(key, FGroups.size());
            FGroups.append({entry});
        }
    }
    const QList<QList<const TMountEntry *>> &Groups() const { return FGroups; }

private:
    QHash<QByteArray, qsizetype> FIndex;
    QList<QList<const TMountEntry *>> FGroups;
};

void SortByRootPath(QList<TDrive> &drives)
{
    std::stable_sort(drives.begin(), drives.end(), [](const TDrive &a, const TDrive &b) {
        return TextToFileName(a.RootPath) < TextToFileName(b.RootPath);
    });
}

} // namespace

TSystemVolumeServices::TSystemVolumeServices(QString mountInfoPath, QString sysBlockPath, QString devDiskPath)
    : FMountInfoPath(std::move(mountInfoPath)), FSysBlockPath(sysBlockPath), FProbe(sysBlockPath, devDiskPath)
{}

QList<TDrive> TSystemVolumeServices::Drives()
{
    static const QRegularExpression opticalName(QStringLiteral("^sr(\\d+)$"));
    static const QRegularExpression loopName(QStringLiteral("^loop(\\d+)(p\\d+)?$"));
    const TMountTable mounts = TMountTable::Read(FMountInfoPath);

    QList<std::pair<int, QString>> optical;
    const QStringList blockNames =
        QDir(FSysBlockPath).entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : blockNames) {
        if (const auto match = opticalName.match(name); match.hasMatch())
            optical.append({match.captured(1).toInt(), name});
    }
    std::sort(optical.begin(), optical.end());

    QList<TDrive> drives;
    // Mounts already listed as discs, so that no disc is listed again as a removable disk.
    QSet<const TMountEntry *> listed;
    for (const auto &[number, name] : optical) {
        Q_UNUSED(number);
        const QString device = QStringLiteral("/dev/") + name;
        // The device numbers tell the drive even when it was mounted under another name.
        QFile devFile(FSysBlockPath + QLatin1Char('/') + name + QStringLiteral("/dev"));
        const QByteArray numbers =
            devFile.open(QIODevice::ReadOnly) ? devFile.readAll().trimmed() : QByteArray();
        QList<const TMountEntry *> own;
        for (const TMountEntry &entry : mounts.Entries()) {
            const QByteArray entryNumbers =
                QByteArray::number(entry.Major) + ':' + QByteArray::number(entry.Minor);
            if (entry.Source == TextToFileName(device) || (!numbers.isEmpty() && entryNumbers == numbers))
                own.append(&entry);
        }
        for (const TMountEntry *entry : std::as_const(own))
            listed.insert(entry);
        if (const TMountEntry *entry = FirstMount(own))
            drives.append(MountedDrive(*entry, device, TDriveKind::Optical));
        else
            drives.append({device, device, QString(), false});
    }

    QMap<std::pair<int, QByteArray>, QList<const TMountEntry *>> images;
    for (const TMountEntry &entry : mounts.Entries()) {
        const QByteArray name = DeviceName(entry.Source);
        const auto match = loopName.match(QString::fromUtf8(name));
        if (IsDiscFileSystem(entry.FileSystem) && (match.hasMatch() || entry.Major == LoopMajor)) {
            const int number = match.hasMatch() ? match.captured(1).toInt() : int(entry.Minor);
            images[{number, entry.Source}].append(&entry);
            listed.insert(&entry);
        }
    }
    for (const auto &mountsOfImage : std::as_const(images)) {
        const TMountEntry *entry = FirstMount(mountsOfImage);
        drives.append(MountedDrive(*entry, FileNameToText(entry->Source), TDriveKind::DiscImage));
    }

    drives += DiskDrives(mounts, listed);
    return drives;
}

QList<TDrive> TSystemVolumeServices::DiskDrives(const TMountTable &mounts,
                                                const QSet<const TMountEntry *> &listed) const
{
    const TBlockDevices blockDevices(FSysBlockPath);
    TMountGroups disks;
    TMountGroups shares;
    QHash<const TMountEntry *, bool> external;
    for (const TMountEntry &entry : mounts.Entries()) {
        if (listed.contains(&entry) || IsPseudoFileSystem(entry.FileSystem))
            continue;
        if (TNetworkShares::IsShare(entry.FileSystem)) {
            shares.Add(entry.Source, &entry);
        } else if (entry.Source.startsWith("/dev/")) {
            const QString name = CanonicalDeviceName(entry.Source);
            if (IsVirtualDevice(name))
                continue;
            const auto device = blockDevices.Find(name, entry.Major, entry.Minor);
            if (device && IsVirtualDevice(device->Name))
                continue;
            // /dev/disk/by-uuid/... and /dev/sdb1 are one device when the tree knows them.
            disks.Add(device ? "block:" + TextToFileName(device->Name) : "source:" + entry.Source, &entry);
            external.insert(&entry, device && blockDevices.IsExternal(device->Disk));
        }
    }

    // A device or share is listed once, at its first mount that shows the whole file system;
    // none is listed that also serves the system.
    const auto chosen = [](const QList<const TMountEntry *> &group) -> const TMountEntry * {
        if (std::any_of(group.begin(), group.end(),
                        [](const TMountEntry *entry) { return IsSystemPlace(entry->MountPoint); }))
            return nullptr;
        return FirstMount(group);
    };
    QList<TDrive> removable;
    for (const QList<const TMountEntry *> &group : disks.Groups()) {
        const TMountEntry *entry = chosen(group);
        if (entry && (external.value(entry) || IsUserPlace(entry->MountPoint)))
            removable.append(MountedDrive(*entry, FileNameToText(entry->Source), TDriveKind::Removable));
    }
    QList<TDrive> network;
    for (const QList<const TMountEntry *> &group : shares.Groups()) {
        if (const TMountEntry *entry = chosen(group))
            network.append(MountedDrive(*entry, FileNameToText(entry->Source), TDriveKind::Network));
    }
    SortByRootPath(removable);
    SortByRootPath(network);
    return removable + network;
}

std::optional<TVolumeInfo> TSystemVolumeServices::VolumeInformation(const QString &rootPath)
{
    // An optical drive without a disc is named by its device, which is no folder.
    const QByteArray folder = ExistingFolder(rootPath);
    if (folder.isEmpty())
        return std::nullopt;
    const TMountTable mounts = TMountTable::Read(FMountInfoPath);
    const TMountEntry *entry = mounts.MountOf(folder);
    if (!entry)
        return std::nullopt;
    if (TNetworkShares::IsShare(entry->FileSystem))
        return TVolumeInfo{TNetworkShares::Label(entry->Source), TNetworkShares::Serial(entry->Source)};
    // A file system without a device (tmpfs) has no label and no serial.
    if (!entry->Source.startsWith("/dev/"))
        return TVolumeInfo{};
    return FProbe.Probe(entry->Source, entry->FileSystem);
}

std::optional<qint64> TSystemVolumeServices::DiskSize(const QString &rootPath)
{
    const QByteArray folder = ExistingFolder(rootPath);
    struct statvfs info;
    if (folder.isEmpty() || ::statvfs(folder.constData(), &info) != 0)
        return std::nullopt;
    return qint64(info.f_blocks) * qint64(info.f_frsize);
}

TMountWatcher *TSystemVolumeServices::NewMountWatcher(QObject *parent)
{
    return new TMountWatcher(FMountInfoPath, parent);
}
