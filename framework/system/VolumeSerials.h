#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <optional>

// How a volume is numbered and named from the bytes on it, so that a disc keeps the identity
// Windows gives it. Pure computations: callers read the bytes.
class TVolumeSerials
{
public:
    static constexpr qsizetype SectorSize = 2048;
    static constexpr qsizetype BootSectorSize = 512;

    // Returns sector n of the volume (SectorSize bytes), or fewer bytes when it cannot be read.
    using TSectorReader = std::function<QByteArray(qint64 sector)>;

    // Over the descriptor's 2048 bytes, byte i is added into lane i mod 4, each lane wrapping at
    // 256 on its own: lane0<<24 | lane1<<16 | lane2<<8 | lane3. A shorter buffer counts as padded
    // with zeros.
    static quint32 DescriptorSerial(QByteArrayView descriptor);
    // The descriptor a disc is numbered and named by: the volume descriptors start at sector 16
    // of the session; the primary one ("CD001", type 1) counts unless a supplementary one (type 2)
    // carries a Joliet escape sequence, in which case the first such one does. nullopt when the
    // session holds no ISO 9660 descriptor (a disc that is UDF only, or not a disc at all).
    static std::optional<QByteArray> IsoDescriptor(const TSectorReader &readSector, qint64 sessionStart = 0);
    static bool IsJoliet(QByteArrayView descriptor);
    // The volume identifier, trimmed: UCS-2 for a Joliet descriptor, single bytes otherwise
    // (UTF-8 when they are valid UTF-8, Latin-1 when not).
    static QString IsoLabel(QByteArrayView descriptor);

    // The serial a boot sector holds: FAT12/16 at 0x27, FAT32 at 0x43 (both only with an extended
    // boot signature), exFAT at 0x64, NTFS the low half of the 64-bit number at 0x48. nullopt for
    // anything else.
    static std::optional<quint32> BootSectorSerial(QByteArrayView bootSector);
    // 32 bits from a file system's UUID as libblkid writes it. FAT and exFAT "XXXX-XXXX" and
    // NTFS's 16 hex digits give the very serial their boot sector holds, so a volume is numbered
    // the same whether its device could be read or not; a standard UUID gives its first four
    // bytes; any other text a 32-bit FNV-1a hash of it.
    static quint32 UuidSerial(const QString &uuid);
    // The 32-bit FNV-1a hash of the bytes: the same text gives the same number on any machine.
    static quint32 TextSerial(QByteArrayView text);
    // "%4.4x-%4.4x", the way serials are written.
    static QString SerialText(quint32 serial);
};
