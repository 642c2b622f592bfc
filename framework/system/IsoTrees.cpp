#include "DiscTrees.h"
#include "FileNames.h"

#include <QStringDecoder>
#include <cdio/iso9660.h>
#include <climits>

using namespace DiscTrees;

namespace {

// Sectors of a folder read at a time, so a large folder is never held whole.
constexpr qint64 FolderChunk = 32;
// Rock Ridge continuation areas chain; a chain longer than this one is a trap.
constexpr int MaxContinuations = 8;
// A Rock Ridge name longer than any file system takes is not a name.
constexpr qsizetype MaxNameBytes = 1024;
// Multi-extent parts remembered for reading a file; its size still counts every part.
constexpr qsizetype MaxExtents = 1024;

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
                return {{}, EIO, {}};
            for (qint64 first = 0; first < sectors; first += FolderChunk) {
                const qint64 count = qMin(FolderChunk, sectors - first);
                const QByteArray chunk = ReadSectors(extent.Block + first, count);
                if (chunk.size() != count * Sector)
                    return {{}, EIO, {}};
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

} // namespace

namespace DiscTrees {

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

} // namespace DiscTrees
