// Boot sectors of any content: the serial is read only inside the sector, and a serial found is
// the one its volume's UUID gives back, so a volume is numbered alike from its device or from
// libblkid. UUID texts of any content give a serial too.

#include "VolumeSerials.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<quint32> serial = TVolumeSerials::BootSectorSerial(bytes)) {
        const QString text = TVolumeSerials::SerialText(*serial);
        if (text.size() != 9 || TVolumeSerials::UuidSerial(text) != *serial ||
            TVolumeSerials::UuidSerial(text.toUpper()) != *serial)
            std::abort();
    }
    (void)TVolumeSerials::UuidSerial(QString::fromUtf8(bytes.first(qMin<qsizetype>(bytes.size(), 64))));
    return 0;
}
