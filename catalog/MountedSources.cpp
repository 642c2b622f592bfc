#include "MountedSources.h"

#include "FileNames.h"
#include "LongPaths.h"

#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString withSlash(const QString &path)
{
    return path.endsWith(u'/') ? path : path + u'/';
}

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

TMountedSource::TMountedSource(QString rootPath, TKind kind) : FRootPath(std::move(rootPath)), FKind(kind)
{
    if (FKind == TKind::Folder && FRootPath != u"/") {
        TVolumeServices &services = TVolumeServices::Current();
        const std::optional<quint64> device = services.DeviceOf(FRootPath);
        const std::optional<quint64> parentDevice = services.DeviceOf(FRootPath + QStringLiteral("/.."));
        FMountPoint = device && parentDevice && *device != *parentDevice;
    }
}

QString TMountedSource::SourcePath() const
{
    if (FKind == TKind::Drive)
        return QString();
    const QFileInfo root(FRootPath);
    const QString canonical = root.canonicalFilePath();
    return canonical.isEmpty() ? root.absoluteFilePath() : canonical;
}

std::optional<TVolumeInfo> TMountedSource::VolumeInformation()
{
    std::optional<TVolumeInfo> info;
    if (FMountPoint)
        info = TVolumeServices::Current().VolumeInformation(FRootPath);
    if (!info && FKind == TKind::Folder) {
        if (!QFileInfo(FRootPath).isDir())
            return std::nullopt;
        info =
            TVolumeInfo{FMountPoint ? QString() : QFileInfo(FRootPath).fileName(), folderSerial(FRootPath)};
    }
    return info;
}

qint64 TMountedSource::Capacity()
{
    if (!FMountPoint)
        return 0;
    return TVolumeServices::Current().DiskSize(FRootPath).value_or(0);
}

std::optional<QList<TDirEntry>> TMountedSource::ListFolder(const QString &folder)
{
    return TVolumeServices::Current().ListDirectory(withSlash(FRootPath) + folder);
}

bool TMountedSource::Enters(const TDirEntry &folder)
{
    if (!folder.IsDirectory)
        return false;
    if (!FDevice)
        FDevice = TVolumeServices::Current().DeviceOf(FRootPath).value_or(0);
    return !folder.Stated || folder.Device == *FDevice;
}

TFileBytes TMountedSource::ReadFile(const QString &folder, const QString &name, qint64 maxBytes)
{
    const std::optional<QByteArray> path =
        InfoFilePath(FRootPath, QString(folder).replace(u'/', u'\\'), name);
    if (!path)
        return {{}, EXDEV, {}};
    try {
        QByteArray bytes = FReader.ReadBytes(*path);
        bytes.truncate(qsizetype(qMin<qint64>(maxBytes, bytes.size())));
        return {bytes, 0, FileNameToText(*path)};
    } catch (const EInfoFileError &error) {
        return {{}, error.Error(), error.Path()};
    }
}

int TMountedSource::OpenFile(const QString &folder, const TDirEntry &file)
{
    if (file.IsDirectory || file.IsSymLink)
        return -1;
    const QByteArray path = TextToFileName(withSlash(FRootPath) + folder) + file.Name;
    const int fd = OpenLongPath(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}
