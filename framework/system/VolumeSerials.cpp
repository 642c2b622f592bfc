#include "VolumeSerials.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QtEndian>

namespace {

constexpr qint64 FirstDescriptorSector = 16;
// A descriptor set is a handful of sectors; a damaged one without a terminator must not make
// us read the whole disc.
constexpr int MaxDescriptors = 64;
constexpr char TypePrimary = 1;
constexpr char TypeSupplementary = 2;
constexpr char TypeTerminator = char(255);

bool HasStandardId(QByteArrayView sector)
{
    return sector.size() >= TVolumeSerials::SectorSize && sector.sliced(1, 5) == "CD001";
}

quint32 Le32(QByteArrayView bytes, qsizetype offset)
{
    return qFromLittleEndian<quint32>(bytes.data() + offset);
}

QString TrimmedLabel(QString label)
{
    while (!label.isEmpty() && (label.back() == QChar(0) || label.back().isSpace()))
        label.chop(1);
    return label.trimmed();
}

} // namespace

quint32 TVolumeSerials::DescriptorSerial(QByteArrayView descriptor)
{
    quint8 lanes[4] = {0, 0, 0, 0};
    const qsizetype size = qMin(descriptor.size(), SectorSize);
    for (qsizetype i = 0; i < size; ++i)
        lanes[i % 4] = quint8(lanes[i % 4] + quint8(descriptor[i]));
    return quint32(lanes[0]) << 24 | quint32(lanes[1]) << 16 | quint32(lanes[2]) << 8 | quint32(lanes[3]);
}

bool TVolumeSerials::IsJoliet(QByteArrayView descriptor)
{
    if (!HasStandardId(descriptor) || descriptor[0] != TypeSupplementary)
        return false;
    const QByteArrayView escape = descriptor.sliced(88, 3);
    return escape == "%/@" || escape == "%/C" || escape == "%/E";
}

std::optional<QByteArray> TVolumeSerials::IsoDescriptor(const TSectorReader &readSector, qint64 sessionStart)
{
    std::optional<QByteArray> primary;
    for (int i = 0; i < MaxDescriptors; ++i) {
        QByteArray sector = readSector(sessionStart + FirstDescriptorSector + i);
        if (!HasStandardId(sector) || sector[0] == TypeTerminator)
            break;
        sector.truncate(SectorSize);
        if (IsJoliet(sector))
            return sector;
        if (sector[0] == TypePrimary && !primary)
            primary = std::move(sector);
    }
    return primary;
}

QString TVolumeSerials::IsoLabel(QByteArrayView descriptor)
{
    if (descriptor.size() < 72)
        return {};
    const QByteArrayView identifier = descriptor.sliced(40, 32);
    if (IsJoliet(descriptor))
        return TrimmedLabel(QStringDecoder(QStringDecoder::Utf16BE).decode(identifier));
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString label = utf8.decode(identifier);
    if (utf8.hasError())
        label = QString::fromLatin1(identifier);
    return TrimmedLabel(label);
}

std::optional<quint32> TVolumeSerials::BootSectorSerial(QByteArrayView bootSector)
{
    if (bootSector.size() < BootSectorSize)
        return std::nullopt;
    const QByteArrayView oemName = bootSector.sliced(3, 8);
    if (oemName == "NTFS    ")
        return quint32(qFromLittleEndian<quint64>(bootSector.data() + 0x48));
    if (oemName == "EXFAT   ")
        return Le32(bootSector, 0x64);

    const quint16 bytesPerSector = qFromLittleEndian<quint16>(bootSector.data() + 0x0B);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || (bytesPerSector & (bytesPerSector - 1)) != 0)
        return std::nullopt;
    // 0x28 marks an extended boot record that ends after the serial: the serial is still there.
    const auto hasSignature = [&](qsizetype offset) {
        return bootSector[offset] == 0x29 || bootSector[offset] == 0x28;
    };
    // FAT32 is the one whose 16-bit sectors-per-FAT is zero: its own count lies further on.
    const bool fat32 = qFromLittleEndian<quint16>(bootSector.data() + 0x16) == 0;
    if (fat32)
        return hasSignature(0x42) ? std::optional(Le32(bootSector, 0x43)) : std::nullopt;
    return hasSignature(0x26) ? std::optional(Le32(bootSector, 0x27)) : std::nullopt;
}

quint32 TVolumeSerials::UuidSerial(const QString &uuid)
{
    static const QRegularExpression fatForm(QStringLiteral("^([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})$"));
    static const QRegularExpression ntfsForm(QStringLiteral("^[0-9A-Fa-f]{16}$"));
    static const QRegularExpression standardForm(
        QStringLiteral("^([0-9A-Fa-f]{8})-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));

    if (const auto match = fatForm.match(uuid); match.hasMatch())
        return (match.captured(1) + match.captured(2)).toUInt(nullptr, 16);
    if (ntfsForm.match(uuid).hasMatch())
        return uuid.right(8).toUInt(nullptr, 16);
    if (const auto match = standardForm.match(uuid); match.hasMatch())
        return match.captured(1).toUInt(nullptr, 16);
    return TextSerial(uuid.toUtf8());
}

quint32 TVolumeSerials::TextSerial(QByteArrayView text)
{
    quint32 hash = 2166136261u;
    for (const char byte : text) {
        hash ^= quint8(byte);
        hash *= 16777619u;
    }
    return hash;
}

QString TVolumeSerials::SerialText(quint32 serial)
{
    return QStringLiteral("%1-%2")
        .arg(serial >> 16, 4, 16, QLatin1Char('0'))
        .arg(serial & 0xFFFF, 4, 16, QLatin1Char('0'));
}
