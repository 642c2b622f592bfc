// A disc image file as a damaged or hostile one may be: opening it either fails with the image
// error or gives a source whose every folder can be walked and every file read, without a crash,
// a hang or memory beyond what the limits allow.
//
// The input lists the sectors of the image that are not zeros, each as a sector number (16 bits,
// little-endian, taken modulo MaxSectors), a length (the same, at most a sector) and that many
// bytes, the rest of the sector being zeros. The image ends after the highest sector listed. So a
// seed of a UDF image, whose structures lie around sector 256, stays small.

#include "DiscImageSources.h"
#include "FileNames.h"

#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr qsizetype Sector = 2048;
constexpr qsizetype MaxSectors = 1024;
// A walk of a hostile image is cut off here so that one input stays quick; the limits of the
// source itself are what the first folders already exercise.
constexpr int MaxFolders = 2000;

void Walk(TDiscImageSource &source, const QString &folder, int &folders)
{
    if (++folders > MaxFolders)
        return;
    const auto entries = source.ListFolder(folder);
    if (!entries)
        return;
    for (const TDirEntry &entry : *entries) {
        const QString name = FileNameToText(entry.Name);
        if (entry.IsDirectory)
            Walk(source, folder + name + QLatin1Char('/'), folders);
        else
            (void)source.ReadFile(folder.chopped(folder.isEmpty() ? 0 : 1), name, 1 << 16);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("image.iso"));
    QByteArray image;
    for (size_t at = 0; at + 4 <= size;) {
        const qsizetype sector = (data[at] | data[at + 1] << 8) % MaxSectors;
        const size_t length = qMin<size_t>((data[at + 2] | data[at + 3] << 8) % (Sector + 1), size - at - 4);
        at += 4;
        if (image.size() < (sector + 1) * Sector)
            image.resize((sector + 1) * Sector, '\0');
        std::memcpy(image.data() + sector * Sector, data + at, length);
        at += length;
    }
    FILE *file = std::fopen(TextToFileName(path).constData(), "wb");
    if (!file)
        return 0;
    std::fwrite(image.constData(), 1, size_t(image.size()), file);
    std::fclose(file);

    try {
        const auto source = TDiscImageSource::Open(path);
        (void)source->VolumeInformation();
        int folders = 0;
        Walk(*source, {}, folders);
    } catch (const EDiscImageError &) {
    }
    return 0;
}
