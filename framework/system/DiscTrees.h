#pragma once

// What the readers of a disc image's trees share: TDiscImageSource walks any of them the same way.

#include "VolumeSerials.h"
#include "VolumeSources.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtEndian>
#include <memory>
#include <optional>
#include <time.h>
#include <unistd.h>

namespace DiscTrees {

constexpr qint64 Sector = TVolumeSerials::SectorSize;
// Far more than a folder of a million files needs; a larger extent is a lie of a damaged image.
constexpr qint64 MaxFolderBytes = 256 * 1024 * 1024;
// The identity of the root of a tree that does not record one.
constexpr quint64 UnknownBlock = ~quint64(0);

inline TDateTime LocalTimeInTwoSeconds(time_t seconds)
{
    tm local{};
    if (!localtime_r(&seconds, &local))
        return {};
    return TDateTime::FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                local.tm_min, local.tm_sec & ~1);
}

inline quint32 Le32(QByteArrayView bytes, qsizetype offset)
{
    return qFromLittleEndian<quint32>(bytes.data() + offset);
}

// A name that the "/"-separated folder paths can carry: no separator, no NUL, not "." or "..".
inline QByteArray UsableName(QByteArray name)
{
    name.replace('/', '_').replace('\0', '_');
    if (name == "." || name == "..")
        return {};
    return name;
}

} // namespace DiscTrees

// The file of an image, read by position; descriptors and the libblkid probe read it so.
class TImageFile
{
public:
    explicit TImageFile(int fd) : FFd(fd) {}
    TImageFile(const TImageFile &) = delete;
    TImageFile &operator=(const TImageFile &) = delete;
    ~TImageFile() { ::close(FFd); }

    static constexpr qint64 Sector = DiscTrees::Sector;

    QByteArray ReadSector(qint64 sector) const
    {
        QByteArray buffer(Sector, Qt::Uninitialized);
        qsizetype done = 0;
        while (done < Sector) {
            const ssize_t got =
                ::pread(FFd, buffer.data() + done, size_t(Sector - done), sector * Sector + done);
            if (got <= 0)
                break;
            done += got;
        }
        buffer.truncate(done);
        return buffer;
    }

    int Fd() const { return FFd; }

private:
    int FFd;
};

// Where a folder or a file lies: a block that identifies it and, for ISO 9660, its byte size.
struct TLocation
{
    quint64 Block = DiscTrees::UnknownBlock;
    quint64 Size = 0;
};

struct TImageEntry
{
    TDirEntry Entry;
    TLocation Location;
    QList<TLocation> Extents;
};

// One of the trees of an image.
class TDiscTree
{
public:
    TDiscTree() = default;
    TDiscTree(const TDiscTree &) = delete;
    TDiscTree &operator=(const TDiscTree &) = delete;
    virtual ~TDiscTree() = default;

    virtual QString Kind() const = 0;
    virtual TLocation Root() const = 0;
    // nullopt when the folder cannot be read; stops after limit + 1 entries, the caller refusing
    // a folder that holds more.
    virtual std::optional<QList<TImageEntry>> List(const TLocation &folder, qint64 limit) = 0;
    virtual TFileBytes Read(const TLocation &folder, const TImageEntry &file, qint64 maxBytes) = 0;
};

// Where a UDF volume's root lies, found from its anchor.
struct TUdfVolume
{
    quint32 PartitionStart = 0;
    QByteArray RootEntry;
    QString Label;
};

namespace DiscTrees {

// The ISO 9660 tree an image is walked by (Rock Ridge, Joliet or plain names); nullptr when there
// is no descriptor or libcdio cannot open the image.
std::unique_ptr<TDiscTree> OpenIsoTree(const QString &imageFile, const TImageFile &file, qint64 sectors,
                                       const std::optional<QByteArray> &descriptor);
// nullopt when the anchor does not lead to a root folder.
std::optional<TUdfVolume> FindUdfVolume(const TImageFile &file);
std::unique_ptr<TDiscTree> OpenUdfTree(const QString &imageFile, qint64 sectors, const TUdfVolume &volume);

} // namespace DiscTrees
