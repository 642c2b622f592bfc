#include "FolderVolumes.h"

#include "FileNames.h"

#include <QFileInfo>
#include <sys/stat.h>

namespace {

// FNV-1a over the device and inode: the same folder keeps its serial across scans.
quint32 folderSerial(const QString &path)
{
    struct stat info;
    if (::stat(TextToFileName(path).constData(), &info) != 0)
        return 0;
    quint32 hash = 2166136261u;
    for (quint64 value : {quint64(info.st_dev), quint64(info.st_ino)}) {
        for (int i = 0; i < 8; ++i) {
            hash ^= quint32((value >> (8 * i)) & 0xff);
            hash *= 16777619u;
        }
    }
    return hash;
}

} // namespace

TFolderVolumes::TFolderVolumes(TVolumeServices &system, QString rootPath)
    : FSystem(system), FRootPath(std::move(rootPath))
{
    const QString parent = FRootPath == u"/" ? FRootPath : FRootPath + QStringLiteral("/..");
    const std::optional<quint64> device = FSystem.DeviceOf(FRootPath);
    const std::optional<quint64> parentDevice = FSystem.DeviceOf(parent);
    FMountPoint = FRootPath == u"/" || (device && parentDevice && *device != *parentDevice);
}

std::optional<TVolumeInfo> TFolderVolumes::VolumeInformation(const QString &rootPath)
{
    if (rootPath != FRootPath)
        return FSystem.VolumeInformation(rootPath);
    std::optional<TVolumeInfo> info;
    if (FMountPoint)
        info = FSystem.VolumeInformation(rootPath);
    if (!info) {
        if (!QFileInfo(rootPath).isDir())
            return std::nullopt;
        info = TVolumeInfo{FMountPoint ? QString() : QFileInfo(rootPath).fileName(), folderSerial(rootPath)};
    }
    if (FLabel)
        info->Label = *FLabel;
    if (FSerial)
        info->Serial = *FSerial;
    return info;
}

std::optional<qint64> TFolderVolumes::DiskSize(const QString &rootPath)
{
    // A folder has no capacity of its own: the file system's would make the fraction meaningless,
    // so progress shows no percentage for it.
    if (rootPath == FRootPath && !FMountPoint)
        return std::nullopt;
    return FSystem.DiskSize(rootPath);
}

std::optional<quint32> ParseSerial(const QString &text)
{
    if (text.size() != 9 || text[4] != u'-')
        return std::nullopt;
    bool okHigh = false;
    bool okLow = false;
    const uint high = text.left(4).toUInt(&okHigh, 16);
    const uint low = text.mid(5).toUInt(&okLow, 16);
    for (QChar c : text)
        if (c != u'-' && !isxdigit(c.toLatin1()))
            return std::nullopt;
    if (!okHigh || !okLow)
        return std::nullopt;
    return quint32(high << 16 | low);
}
