#include "DiscTrees.h"
#include "FileNames.h"

#include <QStringDecoder>
#include <cdio/udf.h>
#include <climits>

using namespace DiscTrees;

namespace {

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
            return {{}, EIO, {}};
        return {*data, 0, {}};
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

} // namespace

namespace DiscTrees {

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

std::unique_ptr<TDiscTree> OpenUdfTree(const QString &imageFile, qint64 sectors, const TUdfVolume &volume)
{
    udf_t *udf = udf_open(TextToFileName(imageFile).constData());
    if (!udf)
        return nullptr;
    return std::make_unique<TUdfTree>(udf, sectors, volume.PartitionStart, volume.RootEntry);
}

} // namespace DiscTrees
