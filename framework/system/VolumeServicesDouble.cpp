#include "VolumeServicesDouble.h"

#include "MountWatcher.h"

#include <QDir>
#include <algorithm>

namespace {

bool IsAtOrBelow(const QString &path, const QString &root)
{
    return path == root || path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

} // namespace

TVolumeServicesDouble::~TVolumeServicesDouble()
{
    // A test that forgets to put the system's services back must not leave a dangling current.
    if (&Current() == this)
        SetCurrent(nullptr);
}

TVolumeServicesDouble::TDoubleDrive *TVolumeServicesDouble::Find(const QString &rootPath)
{
    const QString clean = QDir::cleanPath(rootPath);
    for (TDoubleDrive &drive : FDrives) {
        if (drive.RootPath == clean)
            return &drive;
    }
    return nullptr;
}

void TVolumeServicesDouble::AddDrive(const QString &rootPath, const QString &label, quint32 serial,
                                     qint64 capacity, bool hasDisc)
{
    const TDoubleDrive settings{QDir::cleanPath(rootPath), label, serial, capacity, hasDisc};
    if (TDoubleDrive *drive = Find(rootPath))
        *drive = settings;
    else
        FDrives.append(settings);
}

void TVolumeServicesDouble::RemoveDrive(const QString &rootPath)
{
    const QString clean = QDir::cleanPath(rootPath);
    FDrives.removeIf([&](const TDoubleDrive &drive) { return drive.RootPath == clean; });
}

void TVolumeServicesDouble::SetHasDisc(const QString &rootPath, bool hasDisc)
{
    if (TDoubleDrive *drive = Find(rootPath))
        drive->HasDisc = hasDisc;
}

void TVolumeServicesDouble::EmitMountChange()
{
    FWatchers.removeAll(nullptr);
    for (const QPointer<TMountWatcher> &watcher : std::as_const(FWatchers))
        emit watcher->Changed();
}

void TVolumeServicesDouble::FailListing(const QString &path)
{
    FFailingPaths.insert(QDir::cleanPath(path));
}

void TVolumeServicesDouble::ClearListingFailures()
{
    FFailingPaths.clear();
}

void TVolumeServicesDouble::SetTick(quint32 ms)
{
    FTick = ms;
}

void TVolumeServicesDouble::AdvanceTick(quint32 ms)
{
    // Unsigned arithmetic wraps like the system's 32-bit counter.
    FTick = FTick.value_or(TVolumeServices::TickCount()) + ms;
}

void TVolumeServicesDouble::SetTickStep(quint32 ms)
{
    FTickStep = ms;
}

QList<TDrive> TVolumeServicesDouble::Drives()
{
    QList<TDrive> drives;
    for (const TDoubleDrive &drive : std::as_const(FDrives))
        drives.append({drive.RootPath, QString(), drive.HasDisc ? QStringLiteral("iso9660") : QString(),
                       drive.HasDisc});
    return drives;
}

std::optional<TVolumeInfo> TVolumeServicesDouble::VolumeInformation(const QString &rootPath)
{
    const TDoubleDrive *drive = Find(rootPath);
    std::optional<TVolumeInfo> info;
    if (drive && drive->HasDisc)
        info = TVolumeInfo{drive->Label, drive->Serial};
    if (OnVolumeInformation)
        OnVolumeInformation(rootPath);
    return info;
}

std::optional<qint64> TVolumeServicesDouble::DiskSize(const QString &rootPath)
{
    const TDoubleDrive *drive = Find(rootPath);
    if (!drive || !drive->HasDisc)
        return std::nullopt;
    return drive->Capacity;
}

TMountWatcher *TVolumeServicesDouble::NewMountWatcher(QObject *parent)
{
    auto *watcher = new TMountWatcher(QString(), parent);
    FWatchers.append(watcher);
    return watcher;
}

std::optional<QList<TDirEntry>> TVolumeServicesDouble::ListDirectory(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    std::optional<QList<TDirEntry>> entries;
    const bool failing = FFailingPaths.contains(clean) ||
                         std::any_of(FDrives.cbegin(), FDrives.cend(), [&](const TDoubleDrive &drive) {
                             return !drive.HasDisc && IsAtOrBelow(clean, drive.RootPath);
                         });
    if (!failing)
        entries = TVolumeServices::ListDirectory(path);
    if (OnListDirectory)
        OnListDirectory(clean);
    return entries;
}

quint32 TVolumeServicesDouble::TickCount()
{
    if (FTickStep != 0)
        AdvanceTick(FTickStep);
    if (OnTickCount)
        OnTickCount();
    return FTick ? *FTick : TVolumeServices::TickCount();
}

std::optional<TFolderLocation> TVolumeServicesDouble::LocateFolder(const QString &path)
{
    std::optional<TFolderLocation> location = TVolumeServices::LocateFolder(path);
    if (!location)
        return location;
    qsizetype longest = -1;
    for (const TDoubleDrive &drive : std::as_const(FDrives)) {
        const std::optional<TFolderLocation> root = TVolumeServices::LocateFolder(drive.RootPath);
        if (!root || !IsAtOrBelow(location->Folder, root->Folder) || root->Folder.size() <= longest)
            continue;
        if (!drive.HasDisc)
            return std::nullopt;
        location->VolumeRoot = root->Folder;
        longest = root->Folder.size();
    }
    return location;
}
