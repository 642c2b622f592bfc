#include "DiscImageSources.h"

#include "DiscTrees.h"
#include "FileNames.h"
#include "VolumeProbe.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

using namespace DiscTrees;

namespace {

// Below the volume descriptors at sector 16 there is no disc.
constexpr qint64 MinImageSize = 17 * Sector;

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
    // O_NONBLOCK: a named pipe given as the image must not keep the open waiting for a writer.
    const int fd = ::open(TextToFileName(imageFile).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        Fail(imageFile, QString::fromLocal8Bit(std::strerror(errno)));
    const TImageFile file(fd);
    struct stat info;
    if (::fstat(fd, &info) != 0)
        Fail(imageFile, QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISDIR(info.st_mode))
        Fail(imageFile, QString::fromLocal8Bit(std::strerror(EISDIR)));
    if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode))
        Fail(imageFile, Reason(QT_TRANSLATE_NOOP("TDiscImageSource", "it is not a file")));
    // A device tells its size by where its end lies, not by its status.
    const qint64 size = S_ISBLK(info.st_mode) ? qint64(::lseek(fd, 0, SEEK_END)) : qint64(info.st_size);
    if (size < MinImageSize)
        Fail(imageFile, Reason(QT_TRANSLATE_NOOP("TDiscImageSource", "it is too short")));
    const qint64 sectors = size / Sector;

    const auto readSector = [&](qint64 sector) { return file.ReadSector(sector); };
    const std::optional<QByteArray> descriptor = TVolumeSerials::IsoDescriptor(readSector);
    // What libblkid says of the image is what it says of the loop device the image would be
    // mounted on: mount(8) picks the file system by it, and the probe of a mounted disc names it.
    const TFileSystemIdentity identity = ProbeFileSystem(fd);
    // A copy cut short would otherwise give a volume with folders missing and no word of it.
    if (descriptor && descriptor->size() >= 130) {
        const qint64 blocks = qFromLittleEndian<quint32>(descriptor->constData() + 80);
        const qint64 blockSize = qFromLittleEndian<quint16>(descriptor->constData() + 128);
        if (blockSize > 0 && blocks * blockSize > size)
            Fail(imageFile, Reason(QT_TRANSLATE_NOOP("TDiscImageSource",
                                                     "it is cut short: %1 of its %2 bytes are there"))
                                .arg(size)
                                .arg(blocks * blockSize));
    }

    std::unique_ptr<TDiscTree> isoTree = OpenIsoTree(imageFile, file, sectors, descriptor);
    QString udfLabel;
    std::unique_ptr<TDiscTree> udfTree;
    if (HasUdfRecognition(file)) {
        if (const auto volume = FindUdfVolume(file)) {
            udfTree = OpenUdfTree(imageFile, sectors, *volume);
            if (udfTree)
                udfLabel = volume->Label;
        }
    }
    if (!isoTree && !udfTree)
        Fail(imageFile, Reason(QT_TRANSLATE_NOOP("TDiscImageSource", "it holds no ISO 9660 or UDF volume")));

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
        Fail(imageFile, Reason(QT_TRANSLATE_NOOP("TDiscImageSource", "a folder of it cannot be read")));
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

QString TDiscImageSource::SourcePath() const
{
    return QFileInfo(FImageFile).absoluteFilePath();
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
        Fail(FImageFile, Reason(QT_TRANSLATE_NOOP("TDiscImageSource", "its folders nest too deep")));
    const TLocation location = FNodes[node].Location;
    if (location.Block != UnknownBlock) {
        for (int above = FNodes[node].Parent; above >= 0; above = FNodes[above].Parent) {
            if (FNodes[above].Location.Block == location.Block)
                Fail(FImageFile, Reason(QT_TRANSLATE_NOOP("TDiscImageSource", "its folders loop")));
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
            Fail(FImageFile, Reason(QT_TRANSLATE_NOOP("TDiscImageSource", "it holds too many entries")));
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
        return {{}, ENOENT, {}};
    const auto entries = FTree->List(FNodes[node].Location, MaxEntries);
    if (!entries)
        return {{}, EIO, {}};
    for (const TImageEntry &entry : *entries) {
        if (!SameAsciiCaseless(FileNameToText(entry.Entry.Name), name))
            continue;
        if (entry.Entry.IsDirectory)
            return {{}, EISDIR, {}};
        return FTree->Read(FNodes[node].Location, entry, qMax<qint64>(0, maxBytes));
    }
    return {{}, ENOENT, {}};
}
