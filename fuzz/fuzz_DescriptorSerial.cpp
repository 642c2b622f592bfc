// A disc's volume descriptors as a damaged or hostile disc may hold them: finding the descriptor
// reads only the sectors of the descriptor set, and the serial and the label of whatever is found
// are computed without reading past it.

#include "VolumeSerials.h"

#include <cstdlib>

namespace {

// The lanes of the serial, computed the slow and obvious way.
quint32 ExpectedSerial(QByteArrayView descriptor)
{
    quint32 lanes[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < qMin(descriptor.size(), TVolumeSerials::SectorSize); ++i)
        lanes[i % 4] = (lanes[i % 4] + quint8(descriptor[i])) % 256;
    return lanes[0] << 24 | lanes[1] << 16 | lanes[2] << 8 | lanes[3];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input is the disc from sector 16 on; its first byte picks a session start, so that
    // readers are also asked for sectors before and after the data.
    if (size < 1)
        return 0;
    const qint64 sessionStart = qint8(data[0]);
    const QByteArray disc =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const auto readSector = [&](qint64 sector) {
        const qint64 offset = (sector - 16 - sessionStart) * TVolumeSerials::SectorSize;
        if (sector < 0 || offset < 0 || offset >= disc.size())
            return QByteArray();
        // A copy: the descriptor found outlives the reader's view of the disc.
        return disc.mid(offset, TVolumeSerials::SectorSize);
    };
    const std::optional<QByteArray> descriptor = TVolumeSerials::IsoDescriptor(readSector, sessionStart);
    if (descriptor) {
        if (descriptor->size() != TVolumeSerials::SectorSize || descriptor->mid(1, 5) != "CD001")
            std::abort();
        if (TVolumeSerials::DescriptorSerial(*descriptor) != ExpectedSerial(*descriptor))
            std::abort();
        (void)TVolumeSerials::IsoLabel(*descriptor);
    }
    // The single computations also take any buffer, shorter ones included.
    const QByteArrayView whole(disc);
    if (TVolumeSerials::DescriptorSerial(whole) != ExpectedSerial(whole))
        std::abort();
    (void)TVolumeSerials::IsJoliet(whole);
    (void)TVolumeSerials::IsoLabel(whole);
    return 0;
}
