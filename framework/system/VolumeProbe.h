#pragma once

#include "VolumeServices.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// What libblkid reads of the file system at offset in an open file or device; empty texts for
// what it cannot tell. Of two file systems that claim the bytes, the one libblkid finds first.
struct TFileSystemIdentity
{
    QString Type;
    QString Label;
    QString Uuid;
};
TFileSystemIdentity ProbeFileSystem(int fd, qint64 offset = 0);

// Label and serial of the volume on a device, as mountinfo names it ("/dev/sr0", "/dev/loop0").
// The device is read when it can be; when it cannot (no permission), the identity comes from
// what is readable without privileges: a loop device's backing file, libblkid's cache and the
// /dev/disk/by-uuid and by-label links.
class TVolumeProbe
{
public:
    explicit TVolumeProbe(QString sysBlockPath = QStringLiteral("/sys/block"),
                          QString devDiskPath = QStringLiteral("/dev/disk"));

    // nullopt when the device can be neither read nor identified otherwise.
    std::optional<TVolumeInfo> Probe(const QByteArray &device, const QString &fileSystem) const;

    // udev writes the characters of a label it cannot use in a file name as "\xNN".
    static QByteArray UnescapeUdevName(QByteArrayView name);

private:
    QString FSysBlockPath;
    QString FDevDiskPath;
};
