#include "DiscImageSources.h"

#include "FileNames.h"
#include "VolumeSerials.h"

#include <QCoreApplication>
#include <QHash>
#include <QStringDecoder>
#include <QtEndian>
#include <blkid/blkid.h>
#include <cdio/iso9660.h>
#include <cdio/udf.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr qint64 Sector = TVolumeSerials::SectorSize;
// Below the volume descriptors at sector 16 there is no disc.
constexpr qint64 MinImageSize = 17 * Sector;
// Far more than a folder of a million files needs; a larger extent is a lie of a damaged image.
constexpr qint64 MaxFolderBytes = 256 * 1024 * 1024;
// Sectors of a folder read at a time, so a large folder is never held whole.
constexpr qint64 FolderChunk = 32;
// Rock Ridge continuation areas chain; a chain longer than this one is a trap.
constexpr int MaxContinuations = 8;
// A Rock Ridge name longer than any file system takes is not a name.
constexpr qsizetype MaxNameBytes = 1024;
// Multi-extent parts remembered for reading a file; its size still counts every part.
constexpr qsizetype MaxExtents = 1024;
constexpr quint64 UnknownBlock = ~quint64(0);

QString Reason(const char *text)
{
    return QCoreApplication::translate("TDiscImageSource", text);
}

[[noreturn]] void Fail(const QString &imageFile, const QString &reason)
{
    throw EDiscImageError(
        QCoreApplication::translate("TDiscImageSource", "%1 is not a disc image VOR-NEX can read: %2")
            .arg(imageFile, reason));
}

TDateTime LocalTimeInTwoSeconds(time_t seconds)
{
    tm local{};
    if (!localtime_r(&seconds, &local))
        return {};
    return TDateTime::FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                local.tm_min, local.tm_sec & ~1);
}

// A directory record's 7-byte time: years since 1900, month, day, hour, minute, second and the
// offset from UTC in quarter hours. An offset beyond what any zone has is ignored, as the kernel
// ignores it when the disc is mounted.
TDateTime RecordTime(const char *bytes)
{
    const auto *t = reinterpret_cast<const quint8 *>(bytes);
    if (t[1] < 1 || t[1] > 12 || t[2] < 1 || t[2] > 31 || t[3] > 23 || t[4] > 59 || t[5] > 59)
        return {};
    tm utc{};
    utc.tm_year = t[0], utc.tm_mon = t[1] - 1, utc.tm_mday = t[2];
    utc.tm_hour = t[3], utc.tm_min = t[4], utc.tm_sec = t[5];
    time_t seconds = timegm(&utc);
    const int offset = qint8(t[6]);
    if (offset >= -52 && offset <= 52)
        seconds -= offset * 15 * 60;
    return LocalTimeInTwoSeconds(seconds);
}

quint32 Le32(QByteArrayView bytes, qsizetype offset)
{
    return qFromLittleEndian<quint32>(bytes.data() + offset);
}

bool SameAsciiCaseless(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a[i].unicode(), y = b[i].unicode();
        const auto lower = [](char16_t c) { return c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c; };
        if (lower(x) != lower(y))
            return false;
    }
    return true;
}

// A name that the "/"-separated folder paths can carry: no separator, no NUL, not "." or "..".
QByteArray UsableName(QByteArray name)
{
    name.replace('/', '_').replace('\0', '_');
    if (name == "." || name == "..")
        return {};
    return name;
}

// The file of an image, read by position; descriptors and the libblkid probe read it so.
class TImageFile
{
public:
    explicit TImageFile(int fd) : FFd(fd) {}
    TImageFile(const TImageFile &) = delete;
    TImageFile &operator=(const TImageFile &) = delete;
    ~TImageFile() { ::close(FFd); }

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

struct TIdentity
{
    QString Type;
    QString Label;
    QString Uuid;
};

// What libblkid says of the image, as it says it of the loop device the image would be mounted
// on: mount(8) picks the file system by it, and the probe of a mounted disc names it by it.
TIdentity ProbeIdentity(int fd)
{
    TIdentity identity;
    blkid_probe probe = blkid_new_probe();
    if (!probe)
        return identity;
    if (blkid_probe_set_device(probe, fd, 0, 0) == 0) {
        blkid_probe_enable_superblocks(probe, 1);
        blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
        int result = blkid_do_safeprobe(probe);
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

// Whether the volume recognition sequence after sector 16 names a UDF volume.
bool HasUdfRecognition(const TImageFile &file)
{
    for (qint64 i = 16; i < 16 + 64; ++i) {
        const QByteArray sector = file.ReadSector(i);
        if (sector.size() < 8)
            return false;
        const QByteArrayView id = QByteArrayView(sector).sliced(1, 5);
        if (id == "NSR02" || id == "NSR03")
            return true;
        if (id != "CD001" && id != "BEA01" && id != "TEA01" && id != "BOOT2" && id != "CDW02")
            return false;
    }
    return false;
}

} // namespace

// Where a folder or a file lies: a block that identifies it and, for ISO 9660, its byte size.
struct TLocation
{
    quint64 Block = UnknownBlock;
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

namespace {

class TIsoTree final : public TDiscTree
{
public:
    enum class TNames { Plain, Joliet, RockRidge };

    TIsoTree(iso9660_t *iso, qint64 sectors, TNames names, TLocation root)
        : FIso(iso), FSectors(sectors), FNames(names), FRoot(root)
    {}
    ~TIsoTree() override { iso9660_close(FIso); }

    QString Kind() const override
    {
        switch (FNames) {
        case TNames::Joliet:
            return QStringLiteral("Joliet");
        case TNames::RockRidge:
            return QStringLiteral("Rock Ridge");
        case TNames::Plain:
            break;
        }
        return QStringLiteral("ISO 9660");
    }

    TLocation Root() const override { return FRoot; }

    std::optional<QList<TImageEntry>> List(const TLocation &folder, qint64 limit) override
    {
        const qint64 sectors = qint64((folder.Size + Sector - 1) / Sector);
        if (folder.Size > quint64(MaxFolderBytes) || !Inside(folder.Block, sectors))
            return std::nullopt;
        QList<TImageEntry> entries;
        bool continuing = false;
        QByteArray lastRawName;
        for (qint64 first = 0; first < sectors; first += FolderChunk) {
            const qint64 count = qMin(FolderChunk, sectors - first);
            const QByteArray chunk = ReadSectors(folder.Block + first, count);
            if (chunk.size() != count * Sector)
                return std::nullopt;
            for (qint64 s = 0; s < count; ++s) {
                const QByteArrayView sector = QByteArrayView(chunk).sliced(s * Sector, Sector);
                qsizetype offset = 0;
                // A record never crosses a sector; a zero length pads the rest of one.
                while (offset + 34 <= Sector) {
                    const int length = quint8(sector[offset]);
                    if (length < 34 || offset + length > Sector)
                        break;
                    const QByteArrayView record = sector.sliced(offset, length);
                    offset += length;
                    AddRecord(record, entries, continuing, lastRawName);
                    if (entries.size() > limit)
                        return entries;
                }
            }
        }
        return entries;
    }

    TFileBytes Read(const TLocation &, const TImageEntry &file, qint64 maxBytes) override
    {
        TFileBytes result;
        qint64 wanted = qMin<qint64>(maxBytes, file.Entry.Size);
        for (const TLocation &extent : file.Extents) {
            if (wanted <= 0)
                break;
            const qint64 take = qMin<qint64>(wanted, qint64(extent.Size));
            const qint64 sectors = (take + Sector - 1) / Sector;
            if (!Inside(extent.Block, sectors))
                return {{}, EIO};
            for (qint64 first = 0; first < sectors; first += FolderChunk) {
                const qint64 count = qMin(FolderChunk, sectors - first);
                const QByteArray chunk = ReadSectors(extent.Block + first, count);
                if (chunk.size() != count * Sector)
                    return {{}, EIO};
                result.Bytes.append(chunk.left(take - first * Sector));
            }
            wanted -= take;
        }
        return result;
    }

private:
    bool Inside(quint64 block, qint64 sectors) const
    {
        return block < quint64(FSectors) && quint64(sectors) <= quint64(FSectors) - block;
    }

    QByteArray ReadSectors(quint64 block, qint64 count) const
    {
        QByteArray buffer(count * Sector, Qt::Uninitialized);
        const long got = iso9660_iso_seek_read(FIso, buffer.data(), lsn_t(block), long(count));
        buffer.truncate(got > 0 ? qMin<qint64>(got, buffer.size()) : 0);
        return buffer;
    }

    struct TRockRidge
    {
        QByteArray Name;
        bool HasName = false;
        bool Relocated = false;
        std::optional<quint32> ChildLink;
    };

    // The System Use entries of a record: the Rock Ridge name, and whether the record is the
    // place a deep folder was moved to (hidden) or the link to where it went.
    void ReadSystemUse(QByteArrayView area, TRockRidge &rock, int continuations) const
    {
        qsizetype position = 0;
        while (position + 4 <= area.size()) {
            const QByteArrayView signature = area.sliced(position, 2);
            const int length = quint8(area[position + 2]);
            if (length < 4 || position + length > area.size())
                return;
            const QByteArrayView data = area.sliced(position + 4, length - 4);
            position += length;
            if (signature == "NM" && !data.isEmpty()) {
                // Flags 2 and 4 name "." and "..", never a real entry.
                if ((data[0] & 0x06) == 0 && rock.Name.size() < MaxNameBytes) {
                    rock.Name.append(data.sliced(1));
                    rock.HasName = true;
                }
            } else if (signature == "RE") {
                rock.Relocated = true;
            } else if (signature == "CL" && data.size() >= 8) {
                rock.ChildLink = Le32(data, 0);
            } else if (signature == "CE" && data.size() >= 24 && continuations < MaxContinuations) {
                const quint32 block = Le32(data, 0), offset = Le32(data, 8), size = Le32(data, 16);
                if (offset < Sector && size <= Sector - offset && Inside(block, 1)) {
                    const QByteArray sector = ReadSectors(block, 1);
                    if (sector.size() == Sector)
                        ReadSystemUse(QByteArrayView(sector).sliced(offset, size), rock, continuations + 1);
                }
            } else if (signature == "ST") {
                return;
            }
        }
    }

    QByteArray RecordName(QByteArrayView raw) const
    {
        QByteArray name;
        if (FNames == TNames::Joliet)
            name = QString(QStringDecoder(QStringDecoder::Utf16BE).decode(raw)).toUtf8();
        else
            name = raw.toByteArray();
        const qsizetype semicolon = name.lastIndexOf(';');
        if (semicolon >= 0) {
            bool digits = true;
            for (qsizetype i = semicolon + 1; i < name.size(); ++i)
                digits = digits && name[i] >= '0' && name[i] <= '9';
            if (digits)
                name.truncate(semicolon);
        }
        if (name.size() > 1 && name.endsWith('.'))
            name.chop(1);
        return name;
    }

    void AddRecord(QByteArrayView record, QList<TImageEntry> &entries, bool &continuing,
                   QByteArray &lastRawName) const
    {
        const int attributeLength = quint8(record[1]);
        const quint32 extent = Le32(record, 2);
        const quint32 size = Le32(record, 10);
        const quint8 flags = quint8(record[25]);
        const int nameLength = quint8(record[32]);
        if (33 + nameLength > record.size())
            return;
        const QByteArrayView rawName = record.sliced(33, nameLength);
        if (nameLength == 1 && (rawName[0] == '\0' || rawName[0] == '\1'))
            return;
        // Associated files belong to another system's view of the file beside them.
        if (flags & 0x04)
            return;
        const TLocation location{quint64(extent) + quint64(attributeLength), size};
        const bool more = flags & 0x80;

        if (continuing && rawName == lastRawName && !entries.isEmpty()) {
            TImageEntry &entry = entries.back();
            entry.Entry.Size += size;
            if (entry.Extents.size() < MaxExtents)
                entry.Extents.append(location);
            continuing = more;
            return;
        }

        TImageEntry entry;
        entry.Entry.Stated = true;
        entry.Entry.IsDirectory = flags & 0x02;
        entry.Entry.Time = RecordTime(record.data() + 18);
        entry.Location = location;

        QByteArray name;
        if (FNames == TNames::RockRidge) {
            TRockRidge rock;
            const qsizetype area = 33 + nameLength + (nameLength % 2 == 0 ? 1 : 0);
            if (area < record.size())
                ReadSystemUse(record.sliced(area), rock, 0);
            if (rock.Relocated)
                return;
            if (rock.ChildLink && Inside(*rock.ChildLink, 1)) {
                // The folder itself lies elsewhere: its "." record there tells its size.
                const QByteArray sector = ReadSectors(*rock.ChildLink, 1);
                if (sector.size() == Sector && quint8(sector[0]) >= 34) {
                    entry.Entry.IsDirectory = true;
                    entry.Location = {*rock.ChildLink, Le32(sector, 10)};
                }
            }
            if (rock.HasName && !rock.Name.isEmpty() && rock.Name.size() <= MaxNameBytes)
                name = rock.Name;
        }
        if (name.isEmpty())
            name = RecordName(rawName);
        name = UsableName(std::move(name));
        if (name.isEmpty())
            return;
        entry.Entry.Name = std::move(name);
        if (!entry.Entry.IsDirectory) {
            entry.Entry.Size = size;
            entry.Extents.append(location);
        }
        entries.append(std::move(entry));
        continuing = more && !entries.back().Entry.IsDirectory;
        lastRawName = rawName.toByteArray();
    }

    iso9660_t *FIso;
    qint64 FSectors;
    TNames FNames;
    TLocation FRoot;
};

// A UDF tree, its blocks read through libcdio. The descriptors, folders and file entries are
// read here, every length checked against the block that holds it: libcdio's own readers trust
// them, and a damaged image makes them read past their buffers.
class TUdfTree final : public TDiscTree
{
public:
    TUdfTree(udf_t *udf, qint64 sectors, quint32 partitionStart, QByteArray rootEntry)
        : FUdf(udf), FSectors(sectors), FPartitionStart(partitionStart), FRootEntry(std::move(rootEntry))
    {}
    ~TUdfTree() override { udf_close(FUdf); }

    QString Kind() const override { return QStringLiteral("UDF"); }
    TLocation Root() const override { return {}; }

    std::optional<QList<TImageEntry>> List(const TLocation &folder, qint64 limit) override
    {
        const QByteArray entry = folder.Block == UnknownBlock ? FRootEntry : ReadBlock(folder.Block);
        const auto data = Contents(entry, MaxFolderBytes, true);
        if (!data)
            return std::nullopt;
        QList<TImageEntry> entries;
        qsizetype position = 0;
        while (position + 38 <= data->size()) {
            const QByteArrayView fid = QByteArrayView(*data).sliced(position);
            if (qFromLittleEndian<quint16>(fid.data()) != TagFileId)
                break;
            const quint8 characteristics = quint8(fid[18]);
            const int nameLength = quint8(fid[19]);
            const quint32 icb = Le32(fid, 24);
            const int useLength = qFromLittleEndian<quint16>(fid.data() + 36);
            const qsizetype length = 4 * ((38 + useLength + nameLength + 3) / 4);
            if (38 + useLength + nameLength > fid.size())
                break;
            position += length;
            if (characteristics & (FileDeleted | FileParent))
                continue;
            TImageEntry item;
            item.Entry.Name = UsableName(DecodeName(fid.sliced(38 + useLength, nameLength)));
            if (item.Entry.Name.isEmpty())
                continue;
            item.Entry.Stated = true;
            item.Entry.IsDirectory = characteristics & FileDirectory;
            item.Location.Block = icb;
            const QByteArray child = ReadBlock(icb);
            if (IsFileEntry(child)) {
                const bool extended = qFromLittleEndian<quint16>(child.constData()) == TagExtendedFileEntry;
                const quint64 size = qFromLittleEndian<quint64>(child.constData() + 56);
                item.Entry.Time = StampTime(child.constData() + (extended ? 92 : 84));
                if (!item.Entry.IsDirectory)
                    item.Entry.Size = qint64(qMin<quint64>(size, quint64(LLONG_MAX)));
            }
            entries.append(std::move(item));
            if (entries.size() > limit)
                break;
        }
        return entries;
    }

    TFileBytes Read(const TLocation &, const TImageEntry &file, qint64 maxBytes) override
    {
        const QByteArray entry = ReadBlock(file.Location.Block);
        const auto data = Contents(entry, qMin<qint64>(maxBytes, file.Entry.Size), false);
        if (!data)
            return {{}, EIO};
        return {*data, 0};
    }

    static constexpr quint16 TagFileId = 257;
    static constexpr quint16 TagFileEntry = 261;
    static constexpr quint16 TagExtendedFileEntry = 266;
    static constexpr quint8 FileDirectory = 0x02;
    static constexpr quint8 FileDeleted = 0x04;
    static constexpr quint8 FileParent = 0x08;

    // A file identifier: a compression byte, then 8-bit characters or UTF-16 big-endian ones.
    static QByteArray DecodeName(QByteArrayView name)
    {
        if (name.isEmpty())
            return {};
        const QByteArrayView text = name.sliced(1);
        if (name[0] == 8)
            return QString::fromLatin1(text).toUtf8();
        if (name[0] == 16)
            return QString(QStringDecoder(QStringDecoder::Utf16BE).decode(text)).toUtf8();
        return {};
    }

    static bool IsFileEntry(const QByteArray &block)
    {
        if (block.size() != Sector)
            return false;
        const quint16 tag = qFromLittleEndian<quint16>(block.constData());
        return tag == TagFileEntry || tag == TagExtendedFileEntry;
    }

private:
    // A block of the partition, empty when it lies outside the image.
    QByteArray ReadBlock(quint64 block) const { return ReadBlocks(block, 1); }

    QByteArray ReadBlocks(quint64 block, qint64 count) const
    {
        const quint64 absolute = block + FPartitionStart;
        if (count <= 0 || absolute >= quint64(FSectors) || quint64(count) > quint64(FSectors) - absolute)
            return {};
        QByteArray buffer(count * Sector, Qt::Uninitialized);
        if (udf_read_sectors(FUdf, buffer.data(), lsn_t(absolute), long(count)) != DRIVER_OP_SUCCESS)
            return {};
        return buffer;
    }

    // Up to maxBytes of the bytes a file entry describes: embedded in the entry, or in the extents
    // its allocation descriptors list. nullopt when the entry or an extent cannot be read; for a
    // folder also when it claims more than any folder holds.
    std::optional<QByteArray> Contents(const QByteArray &entry, qint64 maxBytes, bool folder) const
    {
        if (!IsFileEntry(entry))
            return std::nullopt;
        const bool extended = qFromLittleEndian<quint16>(entry.constData()) == TagExtendedFileEntry;
        const quint64 size = qFromLittleEndian<quint64>(entry.constData() + 56);
        if (folder && size > quint64(MaxFolderBytes))
            return std::nullopt;
        const qint64 wanted = qint64(qMin<quint64>(size, quint64(qMax<qint64>(0, maxBytes))));
        const qsizetype header = extended ? 216 : 176;
        const quint32 attributesLength = Le32(entry, header - 8);
        const quint32 descriptorsLength = Le32(entry, header - 4);
        if (attributesLength > Sector || descriptorsLength > Sector ||
            header + attributesLength + descriptorsLength > Sector)
            return std::nullopt;
        const QByteArrayView descriptors =
            QByteArrayView(entry).sliced(header + attributesLength, descriptorsLength);
        const int allocation = qFromLittleEndian<quint16>(entry.constData() + 34) & 0x07;

        if (allocation == 3)
            return descriptors.first(qMin<qsizetype>(wanted, descriptors.size())).toByteArray();
        if (allocation > 1)
            return std::nullopt;
        const qsizetype step = allocation == 0 ? 8 : 16;
        QByteArray data;
        for (qsizetype at = 0; at + step <= descriptors.size() && data.size() < wanted; at += step) {
            const quint32 length = Le32(descriptors, at) & 0x3FFFFFFF;
            const int kind = int(Le32(descriptors, at) >> 30);
            if (length == 0)
                break;
            // Kind 3 continues the list elsewhere; such fragmented entries are beyond what a
            // written disc holds.
            if (kind == 3)
                return std::nullopt;
            const qint64 take = qMin<qint64>(length, wanted - data.size());
            if (kind != 0) {
                data.append(QByteArray(take, '\0'));
                continue;
            }
            const QByteArray bytes = ReadBlocks(Le32(descriptors, at + 4), (take + Sector - 1) / Sector);
            if (bytes.isEmpty())
                return std::nullopt;
            data.append(bytes.first(take));
        }
        if (data.size() < wanted && !folder)
            return std::nullopt;
        return data;
    }

    // A UDF timestamp: the type and zone (minutes east of UTC in 12 bits, -2047 when unknown),
    // year, month, day, hour, minute and second.
    static TDateTime StampTime(const char *bytes)
    {
        const auto *t = reinterpret_cast<const quint8 *>(bytes);
        const quint16 typeAndZone = qFromLittleEndian<quint16>(bytes);
        const int year = qFromLittleEndian<qint16>(bytes + 2);
        if (year < 1 || t[4] < 1 || t[4] > 12 || t[5] < 1 || t[5] > 31 || t[6] > 23 || t[7] > 59 || t[8] > 59)
            return {};
        tm utc{};
        utc.tm_year = year - 1900, utc.tm_mon = t[4] - 1, utc.tm_mday = t[5];
        utc.tm_hour = t[6], utc.tm_min = t[7], utc.tm_sec = t[8];
        time_t seconds = timegm(&utc);
        int zone = typeAndZone & 0x0FFF;
        if (zone & 0x0800)
            zone -= 0x1000;
        if ((typeAndZone >> 12) == 1 && zone >= -1440 && zone <= 1440)
            seconds -= zone * 60;
        return LocalTimeInTwoSeconds(seconds);
    }

    udf_t *FUdf;
    qint64 FSectors;
    quint32 FPartitionStart;
    QByteArray FRootEntry;
};

struct TUdfVolume
{
    quint32 PartitionStart = 0;
    QByteArray RootEntry;
    QString Label;
};

quint16 TagOf(const QByteArray &block)
{
    return block.size() == Sector ? qFromLittleEndian<quint16>(block.constData()) : 0;
}

// The anchor at sector 256 leads to the volume descriptors: the partition, and the logical volume
// whose file set names the root folder's file entry.
std::optional<TUdfVolume> FindUdfVolume(const TImageFile &file)
{
    constexpr quint16 TagAnchor = 2, TagPartition = 5, TagLogicalVolume = 6, TagTerminator = 8,
                      TagFileSet = 256;
    const QByteArray anchor = file.ReadSector(256);
    if (TagOf(anchor) != TagAnchor)
        return std::nullopt;
    const quint32 sequenceLength = Le32(anchor, 16), sequenceStart = Le32(anchor, 20);
    std::optional<quint32> partitionStart;
    std::optional<quint32> fileSet;
    QString label;
    // A descriptor sequence is a handful of blocks; 64 is far more than any writer uses.
    for (quint32 i = 0; i < qMin<quint32>(sequenceLength / Sector, 64); ++i) {
        const QByteArray block = file.ReadSector(qint64(sequenceStart) + i);
        const quint16 tag = TagOf(block);
        if (tag == TagPartition && !partitionStart) {
            partitionStart = Le32(block, 188);
        } else if (tag == TagLogicalVolume && !fileSet && Le32(block, 212) == Sector) {
            fileSet = Le32(block, 252);
            const QByteArrayView id = QByteArrayView(block).sliced(84, 128);
            const int used = quint8(id[127]);
            if (used >= 1 && used <= 127)
                label = QString::fromUtf8(TUdfTree::DecodeName(id.first(used))).trimmed();
        } else if (tag == TagTerminator || tag == 0) {
            break;
        }
    }
    if (!partitionStart || !fileSet)
        return std::nullopt;
    const QByteArray set = file.ReadSector(qint64(*partitionStart) + *fileSet);
    if (TagOf(set) != TagFileSet)
        return std::nullopt;
    QByteArray root = file.ReadSector(qint64(*partitionStart) + Le32(set, 404));
    if (!TUdfTree::IsFileEntry(root))
        return std::nullopt;
    return TUdfVolume{*partitionStart, std::move(root), label};
}

TLocation RootOf(QByteArrayView descriptor)
{
    const QByteArrayView root = descriptor.sliced(156, 34);
    return {quint64(Le32(root, 2)) + quint8(root[1]), Le32(root, 10)};
}

// Rock Ridge announces itself in the System Use area of the root's "." record.
bool HasRockRidge(const TImageFile &file, const TLocation &root)
{
    const QByteArray first = file.ReadSector(qint64(qMin<quint64>(root.Block, quint64(LLONG_MAX) / Sector)));
    if (first.size() != Sector)
        return false;
    const int length = quint8(first[0]);
    const int nameLength = quint8(first[32]);
    const int area = 33 + nameLength + (nameLength % 2 == 0 ? 1 : 0);
    return length >= 34 && area + 7 <= length && first.mid(area, 2) == "SP" &&
           quint8(first[area + 4]) == 0xBE && quint8(first[area + 5]) == 0xEF;
}

// Rock Ridge names first: a writer leaves out of the Joliet tree what breaks its limits (names
// over 64 characters are cut, files deeper than its path length are dropped), and the kernel also
// prefers Rock Ridge, so the image lists what the same disc mounted lists.
std::unique_ptr<TDiscTree> OpenIsoTree(const QString &imageFile, const TImageFile &file, qint64 sectors,
                                       const std::optional<QByteArray> &descriptor)
{
    if (!descriptor)
        return nullptr;
    std::optional<QByteArray> primary;
    for (qint64 i = 16; i < 16 + 64 && !primary; ++i) {
        const QByteArray sector = file.ReadSector(i);
        if (sector.size() != Sector || sector.mid(1, 5) != "CD001" || quint8(sector[0]) == 255)
            break;
        if (sector[0] == 1)
            primary = sector;
    }
    auto names = TIsoTree::TNames::Joliet;
    TLocation root = RootOf(*descriptor);
    if (primary && HasRockRidge(file, RootOf(*primary))) {
        names = TIsoTree::TNames::RockRidge;
        root = RootOf(*primary);
    } else if (!TVolumeSerials::IsJoliet(*descriptor)) {
        names = TIsoTree::TNames::Plain;
    }
    iso9660_t *iso = iso9660_open_ext(TextToFileName(imageFile).constData(), ISO_EXTENSION_NONE);
    if (!iso)
        return nullptr;
    return std::make_unique<TIsoTree>(iso, sectors, names, root);
}

} // namespace

struct TDiscImageSource::TNode
{
    TLocation Location;
    int Parent = -1;
    int Depth = 0;
    bool Listed = false;
    QHash<QString, int> Children;
};

TDiscImageSource::TDiscImageSource(QString imageFile, qint64 size, TVolumeInfo info,
                                   std::unique_ptr<TDiscTree> tree)
    : FImageFile(std::move(imageFile)), FSize(size), FInfo(std::move(info)), FTree(std::move(tree))
{
    FNodes.push_back({FTree->Root(), -1, 0, false, {}});
}

TDiscImageSource::~TDiscImageSource() = default;

std::unique_ptr<TDiscImageSource> TDiscImageSource::Open(const QString &imageFile)
{
    const int fd = ::open(TextToFileName(imageFile).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        Fail(imageFile, QString::fromLocal8Bit(std::strerror(errno)));
    const TImageFile file(fd);
    struct stat info;
    if (::fstat(fd, &info) != 0)
        Fail(imageFile, QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISDIR(info.st_mode))
        Fail(imageFile, QString::fromLocal8Bit(std::strerror(EISDIR)));
    if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode))
        Fail(imageFile, Reason("it is not a file"));
    const qint64 size = info.st_size;
    if (size < MinImageSize)
        Fail(imageFile, Reason("it is too short"));
    const qint64 sectors = size / Sector;

    const auto readSector = [&](qint64 sector) { return file.ReadSector(sector); };
    const std::optional<QByteArray> descriptor = TVolumeSerials::IsoDescriptor(readSector);
    const TIdentity identity = ProbeIdentity(fd);

    std::unique_ptr<TDiscTree> isoTree = OpenIsoTree(imageFile, file, sectors, descriptor);
    std::unique_ptr<TUdfTree> udfTree;
    QString udfLabel;
    if (HasUdfRecognition(file)) {
        if (const auto volume = FindUdfVolume(file)) {
            if (udf_t *udf = udf_open(TextToFileName(imageFile).constData())) {
                udfLabel = volume->Label;
                udfTree = std::make_unique<TUdfTree>(udf, sectors, volume->PartitionStart, volume->RootEntry);
            }
        }
    }
    if (!isoTree && !udfTree)
        Fail(imageFile, Reason("it holds no ISO 9660 or UDF volume"));

    // The root folders decide between the trees of a bridge image.
    const auto rootCount = [](TDiscTree *tree) -> qint64 {
        if (!tree)
            return -1;
        const auto entries = tree->List(tree->Root(), MaxEntries);
        return entries ? entries->size() : -1;
    };
    const qint64 isoCount = rootCount(isoTree.get());
    const qint64 udfCount = rootCount(udfTree.get());
    if (isoCount < 0 && udfCount < 0)
        Fail(imageFile, Reason("a folder of it cannot be read"));
    std::unique_ptr<TDiscTree> tree;
    if (udfCount > isoCount)
        tree = std::move(udfTree);
    else
        tree = std::move(isoTree);

    // Numbered and named as the probe of the mounted image does: by the ISO 9660 descriptor when
    // there is one, except that a volume mounted as UDF keeps its UDF label.
    TVolumeInfo volume;
    if (descriptor) {
        volume.Serial = TVolumeSerials::DescriptorSerial(*descriptor);
        volume.Label = identity.Type == QLatin1String("udf") && !identity.Label.isEmpty()
                           ? identity.Label
                           : TVolumeSerials::IsoLabel(*descriptor);
    } else {
        volume.Label = identity.Label.isEmpty() ? udfLabel : identity.Label;
        if (!identity.Uuid.isEmpty())
            volume.Serial = TVolumeSerials::UuidSerial(identity.Uuid);
    }
    return std::unique_ptr<TDiscImageSource>(
        new TDiscImageSource(imageFile, size, std::move(volume), std::move(tree)));
}

QString TDiscImageSource::DisplayName() const
{
    return FImageFile;
}

std::optional<TVolumeInfo> TDiscImageSource::VolumeInformation()
{
    return FInfo;
}

qint64 TDiscImageSource::Capacity()
{
    return FSize;
}

QString TDiscImageSource::TreeKind() const
{
    return FTree->Kind();
}

int TDiscImageSource::FindNode(const QString &folder)
{
    int node = 0;
    qsizetype start = 0;
    while (start < folder.size()) {
        qsizetype end = folder.indexOf(QLatin1Char('/'), start);
        if (end < 0)
            end = folder.size();
        const QString name = folder.mid(start, end - start);
        start = end + 1;
        if (name.isEmpty())
            continue;
        if (!FNodes[node].Listed && !ListNode(node))
            return -1;
        const auto child = FNodes[node].Children.constFind(name);
        if (child == FNodes[node].Children.cend())
            return -1;
        node = *child;
    }
    return node;
}

std::optional<QList<TDirEntry>> TDiscImageSource::ListNode(int node)
{
    if (FNodes[node].Depth >= MaxDepth)
        Fail(FImageFile, Reason("its folders nest too deep"));
    const TLocation location = FNodes[node].Location;
    if (location.Block != UnknownBlock) {
        for (int above = FNodes[node].Parent; above >= 0; above = FNodes[above].Parent) {
            if (FNodes[above].Location.Block == location.Block)
                Fail(FImageFile, Reason("its folders loop"));
        }
    }
    const auto entries = FTree->List(location, MaxEntries - FEntriesSeen);
    if (!entries)
        return std::nullopt;

    QList<TDirEntry> result;
    result.reserve(entries->size());
    const bool first = !FNodes[node].Listed;
    if (first) {
        FEntriesSeen += entries->size() + 1;
        if (FEntriesSeen > MaxEntries)
            Fail(FImageFile, Reason("it holds too many entries"));
        FNodes[node].Listed = true;
    }
    for (const TImageEntry &entry : *entries) {
        result.append(entry.Entry);
        if (first && entry.Entry.IsDirectory) {
            const QString name = FileNameToText(entry.Entry.Name);
            if (FNodes[node].Children.contains(name))
                continue;
            const int child = int(FNodes.size());
            FNodes.push_back({entry.Location, node, FNodes[node].Depth + 1, false, {}});
            FNodes[node].Children.insert(name, child);
        }
    }
    return result;
}

std::optional<QList<TDirEntry>> TDiscImageSource::ListFolder(const QString &folder)
{
    const int node = FindNode(folder);
    if (node < 0)
        return std::nullopt;
    return ListNode(node);
}

TFileBytes TDiscImageSource::ReadFile(const QString &folder, const QString &name, qint64 maxBytes)
{
    const int node = FindNode(folder.isEmpty() ? folder : folder + QLatin1Char('/'));
    if (node < 0)
        return {{}, ENOENT};
    const auto entries = FTree->List(FNodes[node].Location, MaxEntries);
    if (!entries)
        return {{}, EIO};
    for (const TImageEntry &entry : *entries) {
        if (!SameAsciiCaseless(FileNameToText(entry.Entry.Name), name))
            continue;
        if (entry.Entry.IsDirectory)
            return {{}, EISDIR};
        return FTree->Read(FNodes[node].Location, entry, qMax<qint64>(0, maxBytes));
    }
    return {{}, ENOENT};
}
