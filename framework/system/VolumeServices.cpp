#include "VolumeServices.h"

#include "FileNames.h"
#include "LongPaths.h"
#include "MountTable.h"
#include "SystemVolumeServices.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

std::atomic<TVolumeServices *> InstalledServices = nullptr;

TDateTime LocalTimeInTwoSeconds(time_t seconds)
{
    tm local{};
    if (!localtime_r(&seconds, &local))
        return {};
    // Leap second 60 stays as it is: FromParts carries it into the next minute.
    return TDateTime::FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                local.tm_min, local.tm_sec & ~1);
}

} // namespace

TVolumeServices &TVolumeServices::Current()
{
    if (TVolumeServices *installed = InstalledServices.load())
        return *installed;
    static TSystemVolumeServices system;
    return system;
}

void TVolumeServices::SetCurrent(TVolumeServices *services)
{
    InstalledServices.store(services);
}

std::optional<QList<TDirEntry>> TVolumeServices::ListDirectory(const QString &path)
{
    const int fd = OpenLongPath(TextToFileName(path), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return std::nullopt;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return std::nullopt;
    }

    QList<TDirEntry> entries;
    bool failed = false;
    for (;;) {
        errno = 0;
        const dirent *item = ::readdir(dir);
        if (!item) {
            failed = errno != 0;
            break;
        }
        const char *name = item->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;

        TDirEntry entry;
        entry.Name = QByteArray(name);
        struct stat info;
        if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.Stated = true;
            entry.IsSymLink = S_ISLNK(info.st_mode);
            entry.IsDirectory = S_ISDIR(info.st_mode);
            entry.Size = info.st_size;
            entry.Time = LocalTimeInTwoSeconds(info.st_mtim.tv_sec);
            entry.Device = info.st_dev;
        } else {
            entry.IsSymLink = item->d_type == DT_LNK;
            entry.IsDirectory = item->d_type == DT_DIR;
        }
        entries.append(std::move(entry));
    }
    ::closedir(dir);
    if (failed)
        return std::nullopt;
    return entries;
}

quint32 TVolumeServices::TickCount()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const quint64 msecs = quint64(now.tv_sec) * 1000u + quint64(now.tv_nsec) / 1000000u;
    return static_cast<quint32>(msecs);
}

std::optional<quint64> TVolumeServices::DeviceOf(const QString &path)
{
    struct stat info;
    const QByteArray name = TextToFileName(path);
    if (name.size() < PATH_MAX - 1) {
        if (::stat(name.constData(), &info) != 0)
            return std::nullopt;
        return quint64(info.st_dev);
    }
    const int fd = OpenLongPath(name, O_PATH | O_DIRECTORY);
    if (fd < 0)
        return std::nullopt;
    const bool ok = ::fstat(fd, &info) == 0;
    ::close(fd);
    return ok ? std::optional(quint64(info.st_dev)) : std::nullopt;
}

std::optional<TFolderLocation> TVolumeServices::LocateFolder(const QString &path)
{
    char *resolved = ::realpath(TextToFileName(path).constData(), nullptr);
    if (!resolved)
        return std::nullopt;
    const QByteArray folder(resolved);
    ::free(resolved);
    struct stat info;
    if (::stat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;

    QByteArray root;
    const TMountTable mounts = TMountTable::Read(QStringLiteral("/proc/self/mountinfo"));
    if (const TMountEntry *mount = mounts.MountOf(folder)) {
        root = mount->MountPoint;
    } else {
        // Without a mount table the root is the topmost folder above on the same device.
        root = folder;
        while (root != "/") {
            const qsizetype slash = root.lastIndexOf('/');
            const QByteArray parent = slash > 0 ? root.left(slash) : QByteArray("/");
            struct stat above;
            if (::stat(parent.constData(), &above) != 0 || above.st_dev != info.st_dev)
                break;
            root = parent;
        }
    }
    return TFolderLocation{FileNameToText(root), FileNameToText(folder)};
}
