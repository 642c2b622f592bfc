#include "SystemVolumeServices.h"

#include "FileNames.h"
#include "MountTable.h"
#include "MountWatcher.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
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

TDrive MountedDrive(const TMountEntry &entry, const QString &device)
{
    return {FileNameToText(entry.MountPoint), device, entry.FileSystem, true};
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
        if (const TMountEntry *entry = FirstMount(own))
            drives.append(MountedDrive(*entry, device));
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
        }
    }
    for (const auto &mountsOfImage : std::as_const(images)) {
        const TMountEntry *entry = FirstMount(mountsOfImage);
        drives.append(MountedDrive(*entry, FileNameToText(entry->Source)));
    }
    return drives;
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
    // A file system without a device (tmpfs, a network share) has no label and no serial.
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
