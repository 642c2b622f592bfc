#include "VolumeProbe.h"

#include "FileNames.h"
#include "VolumeSerials.h"

#include <QFile>
#include <blkid/blkid.h>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The bytes of a volume: a device, or the part of a backing file a loop device shows.
class TVolumeBytes
{
public:
    TVolumeBytes() = default;
    TVolumeBytes(const TVolumeBytes &) = delete;
    TVolumeBytes &operator=(const TVolumeBytes &) = delete;
    ~TVolumeBytes()
    {
        if (Fd >= 0)
            ::close(Fd);
    }

    // O_NONBLOCK: an optical drive opened without it may try to close its tray.
    bool Open(const QByteArray &path, qint64 offset)
    {
        Fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        Offset = offset;
        // An unbound loop device opens but reads nothing.
        if (Fd >= 0 && Read(0, 512).size() == 512)
            return true;
        if (Fd >= 0)
            ::close(Fd);
        Fd = -1;
        return false;
    }

    QByteArray Read(qint64 position, qsizetype size) const
    {
        QByteArray buffer(size, Qt::Uninitialized);
        qsizetype done = 0;
        while (done < size) {
            const ssize_t got =
                ::pread(Fd, buffer.data() + done, size_t(size - done), Offset + position + done);
            if (got <= 0)
                break;
            done += got;
        }
        buffer.truncate(done);
        return buffer;
    }

    // The start of a multi-session disc's last session, where the kernel also looks; 0 when the
    // drive does not say (best effort: the ioctl only answers for optical drives).
    qint64 SessionStart() const
    {
        struct stat info;
        if (::fstat(Fd, &info) != 0 || !S_ISBLK(info.st_mode))
            return 0;
        cdrom_multisession session{};
        session.addr_format = CDROM_LBA;
        if (::ioctl(Fd, CDROMMULTISESSION, &session) != 0 || !session.xa_flag)
            return 0;
        return session.addr.lba;
    }

    int Fd = -1;
    qint64 Offset = 0;
};

using TIdentity = TFileSystemIdentity;

QByteArray CanonicalDevice(const QByteArray &device)
{
    char resolved[PATH_MAX];
    return ::realpath(device.constData(), resolved) ? QByteArray(resolved) : device;
}

QByteArray BaseName(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray ReadSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray content = file.read(PATH_MAX + 64);
    while (content.endsWith('\n'))
        content.chop(1);
    return content;
}

TIdentity ProbeBytes(const TVolumeBytes &bytes)
{
    return ProbeFileSystem(bytes.Fd, bytes.Offset);
}

// What libblkid recorded when it last probed the device, read from its cache without probing
// again: also for users who may not read the device now, and without writing the cache.
TIdentity CachedIdentity(const QByteArray &device)
{
    TIdentity identity;
    blkid_cache cache = nullptr;
    if (blkid_get_cache(&cache, nullptr) != 0)
        return identity;
    if (blkid_dev dev = blkid_get_dev(cache, device.constData(), BLKID_DEV_FIND)) {
        blkid_tag_iterate tags = blkid_tag_iterate_begin(dev);
        const char *type = nullptr;
        const char *value = nullptr;
        while (tags && blkid_tag_next(tags, &type, &value) == 0) {
            const QString text = QString::fromUtf8(value);
            if (qstrcmp(type, "TYPE") == 0)
                identity.Type = text;
            else if (qstrcmp(type, "LABEL") == 0)
                identity.Label = text;
            else if (qstrcmp(type, "UUID") == 0)
                identity.Uuid = text;
        }
        blkid_tag_iterate_end(tags);
    }
    blkid_put_cache(cache);
    return identity;
}

// The name of the link in folder that points to the device, or an empty array.
QByteArray LinkTo(const QString &folder, const QByteArray &deviceName)
{
    DIR *dir = ::opendir(TextToFileName(folder).constData());
    if (!dir)
        return {};
    QByteArray found;
    while (const dirent *item = ::readdir(dir)) {
        char target[PATH_MAX];
        const ssize_t size = ::readlinkat(::dirfd(dir), item->d_name, target, sizeof target - 1);
        if (size > 0 && BaseName(QByteArray(target, size)) == deviceName) {
            found = item->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool IsDiscFileSystem(const QString &type)
{
    return type == QLatin1String("iso9660") || type == QLatin1String("udf");
}

bool HasBootSector(const QString &type)
{
    static const QStringList types = {QStringLiteral("vfat"),  QStringLiteral("msdos"),
                                      QStringLiteral("exfat"), QStringLiteral("ntfs"),
                                      QStringLiteral("ntfs3"), QStringLiteral("fuseblk")};
    return types.contains(type);
}

} // namespace

TVolumeProbe::TVolumeProbe(QString sysBlockPath, QString devDiskPath)
    : FSysBlockPath(std::move(sysBlockPath)), FDevDiskPath(std::move(devDiskPath))
{}

QByteArray TVolumeProbe::UnescapeUdevName(QByteArrayView name)
{
    QByteArray result;
    result.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            bool ok = false;
            const uint value = name.sliced(i + 2, 2).toUInt(&ok, 16);
            if (ok) {
                result.append(char(value));
                i += 3;
                continue;
            }
        }
        result.append(name[i]);
    }
    return result;
}

std::optional<TVolumeInfo> TVolumeProbe::Probe(const QByteArray &device, const QString &fileSystem) const
{
    // "tmpfs", "proc", a server's share: nothing to read, nothing to look up.
    if (!device.startsWith('/'))
        return std::nullopt;
    const QByteArray canonical = CanonicalDevice(device);
    const QByteArray deviceName = BaseName(canonical);
    const QString loopFolder =
        FSysBlockPath + QLatin1Char('/') + FileNameToText(deviceName) + QStringLiteral("/loop/");

    TVolumeBytes bytes;
    bool readable = bytes.Open(canonical, 0);
    if (!readable) {
        const QByteArray backingFile = ReadSmallFile(loopFolder + QStringLiteral("backing_file"));
        if (!backingFile.isEmpty())
            readable =
                bytes.Open(backingFile, ReadSmallFile(loopFolder + QStringLiteral("offset")).toLongLong());
    }

    TIdentity identity = readable ? ProbeBytes(bytes) : CachedIdentity(canonical);
    if (identity.Type.isEmpty())
        identity.Type = fileSystem;
    if (identity.Uuid.isEmpty()) {
        const QByteArray link = LinkTo(FDevDiskPath + QStringLiteral("/by-uuid"), deviceName);
        identity.Uuid = QString::fromUtf8(UnescapeUdevName(link));
    }
    if (identity.Label.isEmpty()) {
        const QByteArray link = LinkTo(FDevDiskPath + QStringLiteral("/by-label"), deviceName);
        identity.Label = QString::fromUtf8(UnescapeUdevName(link));
    }

    std::optional<quint32> serial;
    QString label = identity.Label;
    if (readable && (IsDiscFileSystem(fileSystem) || IsDiscFileSystem(identity.Type))) {
        const auto readSector = [&](qint64 sector) {
            return bytes.Read(sector * TVolumeSerials::SectorSize, TVolumeSerials::SectorSize);
        };
        if (const auto descriptor = TVolumeSerials::IsoDescriptor(readSector, bytes.SessionStart())) {
            serial = TVolumeSerials::DescriptorSerial(*descriptor);
            // A UDF volume is named by its own label; the ISO one is for a disc seen as ISO 9660.
            if (fileSystem != QLatin1String("udf") || label.isEmpty())
                label = TVolumeSerials::IsoLabel(*descriptor);
        }
    } else if (readable && (HasBootSector(fileSystem) || HasBootSector(identity.Type))) {
        serial = TVolumeSerials::BootSectorSerial(bytes.Read(0, TVolumeSerials::BootSectorSize));
    }
    if (!serial && !identity.Uuid.isEmpty())
        serial = TVolumeSerials::UuidSerial(identity.Uuid);
    if (!serial && !readable && label.isEmpty())
        return std::nullopt;
    return TVolumeInfo{label, serial.value_or(0)};
}

TFileSystemIdentity ProbeFileSystem(int fd, qint64 offset)
{
    TFileSystemIdentity identity;
    blkid_probe probe = blkid_new_probe();
    if (!probe)
        return identity;
    if (blkid_probe_set_device(probe, fd, offset, 0) == 0) {
        blkid_probe_enable_superblocks(probe, 1);
        blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
        int result = blkid_do_safeprobe(probe);
        // Two file systems claim the volume: take the one libblkid finds first.
        if (result == -2) {
            blkid_reset_probe(probe);
            result = blkid_do_probe(probe);
        }
        if (result == 0) {
            const auto value = [&](const char *name) {
                const char *data = nullptr;
                return blkid_probe_lookup_value(probe, name, &data, nullptr) == 0 && data
                           ? QString::fromUtf8(data)
                           : QString();
            };
            identity = {value("TYPE"), value("LABEL"), value("UUID")};
        }
    }
    blkid_free_probe(probe);
    return identity;
}
