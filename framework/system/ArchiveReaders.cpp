#include "ArchiveReaders.h"

#include "DiscTrees.h"
#include "FileNames.h"

#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <clocale>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

// What libarchive gets from one read: large enough for any format's recognition in one go, small
// enough that recognising a file that is no archive reads little of it.
static constexpr qsizetype BlockSize = 64 * 1024;

struct TArchiveFileInput
{
    int Fd = -1;
    char Buffer[BlockSize];
};

namespace {

struct TArchiveFree
{
    void operator()(archive *handle) const { archive_read_free(handle); }
};
using TArchiveHandle = std::unique_ptr<archive, TArchiveFree>;

// Only formats and filters libarchive reads itself: none that runs a program, and none that would
// take a text file for an archive (mtree, uuencode) or any file for one (raw, empty).
archive *NewReader()
{
    archive *handle = archive_read_new();
    if (!handle)
        throw std::bad_alloc();
    archive_read_support_filter_gzip(handle);
    archive_read_support_filter_bzip2(handle);
    archive_read_support_filter_xz(handle);
    archive_read_support_filter_lzma(handle);
    archive_read_support_filter_lzip(handle);
    archive_read_support_filter_zstd(handle);
    archive_read_support_filter_lz4(handle);
    archive_read_support_filter_compress(handle);
    archive_read_support_format_zip(handle);
    archive_read_support_format_7zip(handle);
    archive_read_support_format_rar(handle);
    archive_read_support_format_rar5(handle);
    archive_read_support_format_cab(handle);
    archive_read_support_format_tar(handle);
    archive_read_support_format_cpio(handle);
    archive_read_support_format_ar(handle);
    archive_read_support_format_iso9660(handle);
    archive_read_support_format_lha(handle);
    archive_read_support_format_xar(handle);
    return handle;
}

la_ssize_t ReadFd(archive *handle, void *data, const void **buffer)
{
    auto *input = static_cast<TArchiveFileInput *>(data);
    *buffer = input->Buffer;
    for (;;) {
        const ssize_t n = ::read(input->Fd, input->Buffer, sizeof input->Buffer);
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            archive_set_error(handle, errno, "read failed");
            return -1;
        }
    }
}

la_int64_t SkipFd(archive *, void *data, la_int64_t request)
{
    auto *input = static_cast<TArchiveFileInput *>(data);
    const off_t here = ::lseek(input->Fd, 0, SEEK_CUR);
    if (here < 0 || ::lseek(input->Fd, off_t(request), SEEK_CUR) < 0)
        return 0;
    return request;
}

la_int64_t SeekFd(archive *, void *data, la_int64_t offset, int whence)
{
    auto *input = static_cast<TArchiveFileInput *>(data);
    const off_t result = ::lseek(input->Fd, off_t(offset), whence);
    return result < 0 ? ARCHIVE_FATAL : la_int64_t(result);
}

// An archive inside an archive, read from the outer one's data as it comes: what recognition
// already read first, then the rest.
struct TNestedInput
{
    archive *Outer = nullptr;
    QByteArray Head;
    bool HeadGiven = false;
    char Buffer[BlockSize];
};

la_ssize_t ReadNested(archive *handle, void *data, const void **buffer)
{
    auto *input = static_cast<TNestedInput *>(data);
    if (!input->HeadGiven) {
        input->HeadGiven = true;
        if (!input->Head.isEmpty()) {
            *buffer = input->Head.constData();
            return input->Head.size();
        }
    }
    *buffer = input->Buffer;
    const la_ssize_t n = archive_read_data(input->Outer, input->Buffer, sizeof input->Buffer);
    if (n < 0) {
        archive_set_error(handle, EIO, "the archive holding it cannot be read");
        return -1;
    }
    return n;
}

// Whether libarchive is worth asking about data that begins with head (holds all of it when
// whole). Every format read has a zero byte in its first block or a signature of its own, while
// many files are text that has neither; setting up a reader for each of them would cost more than
// reading them.
bool MayBeArchive(const QByteArray &head, bool whole)
{
    if (head.contains('\0'))
        return true;
    static const QByteArrayView signatures[] = {
        "!<arch>",
        "BZh",
        "\xFD"
        "7zXZ",
        "\x28\xB5\x2F\xFD",
        "\x04\x22\x4D\x18",
        "\x1F\x9D",
        "\x1F\x8B",
        "LZIP",
        "Rar!",
        "7z\xBC\xAF\x27\x1C",
        "MSCF",
        "PK",
        // cpio, binary and text
        "\x71\xC7",
        "\xC7\x71",
        "0707",
        "xar!",
        "MZ",
    };
    for (QByteArrayView signature : signatures)
        if (head.startsWith(signature))
            return true;
    // A zip's directory at its end, after a stub that is text (a self-extracting script).
    return whole && head.contains("PK\x05\x06");
}

// libarchive turns names into the character set of the current locale, and in the C locale
// (a program started without LANG) any name beyond ASCII is lost. The names are wanted as UTF-8
// whatever the user's locale: while libarchive reads, this thread's character set is UTF-8.
class TUtf8Names
{
public:
    TUtf8Names()
    {
        static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
        if (utf8)
            FPrevious = uselocale(utf8);
    }
    ~TUtf8Names()
    {
        if (FPrevious)
            uselocale(FPrevious);
    }
    TUtf8Names(const TUtf8Names &) = delete;
    TUtf8Names &operator=(const TUtf8Names &) = delete;

private:
    locale_t FPrevious = locale_t(nullptr);
};

QString EntryPath(archive_entry *entry)
{
    if (const char *utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
    if (const char *bytes = archive_entry_pathname(entry))
        return FileNameToText(QByteArray(bytes));
    return QString();
}

QString ErrorText(archive *handle)
{
    const char *text = archive_error_string(handle);
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace

struct TArchiveReader::TWalk
{
    TArchiveVisitor &Visitor;
    QList<TArchiveProblem> Problems;
    qint64 Entries = 0;
    qint64 HeaderBytes = 0;
    qint64 ProbeBytes = 0;
    bool Ended = false;
    archive_entry *First = nullptr;
};

TArchiveReader::TArchiveReader(TArchiveLimits limits) : FLimits(limits)
{}

TArchiveReader::~TArchiveReader()
{
    Close();
}

void TArchiveReader::Close()
{
    if (FArchive) {
        archive_read_free(FArchive);
        FArchive = nullptr;
    }
    FInput.reset();
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
    FMemory.clear();
    FFirst = nullptr;
}

bool TArchiveReader::Opened(int result)
{
    if (result == ARCHIVE_OK) {
        const int first = archive_read_next_header(FArchive, &FFirst);
        if (first == ARCHIVE_OK || first == ARCHIVE_WARN)
            return true;
    }
    Close();
    return false;
}

bool TArchiveReader::OpenFile(int fd)
{
    Close();
    FFd = fd;
    struct stat info;
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) {
        Close();
        return false;
    }
    std::unique_ptr<TArchiveFileInput> input(new TArchiveFileInput);
    input->Fd = fd;
    // Most files of a volume are no archive, and for those that show it in their first block and
    // have no zip directory at their end, no reader is set up at all.
    const ssize_t headSize = ::pread(fd, input->Buffer, sizeof input->Buffer, 0);
    if (headSize <= 0) {
        Close();
        return false;
    }
    const bool whole = headSize >= info.st_size;
    if (!MayBeArchive(QByteArray::fromRawData(input->Buffer, qsizetype(headSize)), whole)) {
        // The end of a zip's directory: 22 bytes and a comment of at most 65,535.
        constexpr qint64 tailSize = 22 + 65535;
        const off_t from = off_t(std::max<qint64>(headSize, info.st_size - tailSize));
        QByteArray tail(qsizetype(info.st_size - from), Qt::Uninitialized);
        if (whole || ::pread(fd, tail.data(), size_t(tail.size()), from) != ssize_t(tail.size()) ||
            !tail.contains("PK\x05\x06")) {
            Close();
            return false;
        }
    }
    FArchive = NewReader();
    archive_read_set_read_callback(FArchive, ReadFd);
    archive_read_set_skip_callback(FArchive, SkipFd);
    archive_read_set_seek_callback(FArchive, SeekFd);
    archive_read_set_callback_data(FArchive, input.get());
    FInput = std::move(input);
    const TUtf8Names names;
    return Opened(archive_read_open1(FArchive));
}

bool TArchiveReader::OpenMemory(const QByteArray &bytes)
{
    Close();
    if (bytes.isEmpty())
        return false;
    FMemory = bytes;
    FArchive = NewReader();
    const TUtf8Names names;
    return Opened(archive_read_open_memory(FArchive, FMemory.constData(), size_t(FMemory.size())));
}

QList<TArchiveProblem> TArchiveReader::Walk(TArchiveVisitor &visitor)
{
    TWalk walk{visitor, {}, 0, 0, 0, false, FFirst};
    struct TClose
    {
        TArchiveReader &Reader;
        ~TClose() { Reader.Close(); }
    } close{*this};
    const TUtf8Names names;
    if (FArchive)
        WalkLevel(walk, FArchive, 1, QString());
    return walk.Problems;
}

void TArchiveReader::WalkLevel(TWalk &walk, archive *handle, int depth, const QString &inner)
{
    archive_entry *entry = walk.First;
    walk.First = nullptr;
    qint64 here = 0;
    // Where the format stood before a header was read, and how much data of the last entry it had
    // still to pass: the rest of what it moved over was header.
    qint64 before = 0;
    qint64 dataBefore = 0;
    const auto fail = [&](TArchiveEnd end, const QString &detail) {
        walk.Problems.append({inner, end, here, detail});
        walk.Ended = true;
    };
    for (;;) {
        const qint64 after = archive_filter_bytes(handle, 0);
        const char *rawName = archive_entry_pathname(entry);
        const qint64 nameBytes = rawName ? qint64(qstrlen(rawName)) : 0;
        walk.HeaderBytes += std::max(nameBytes, after - before - dataBefore);
        if (walk.HeaderBytes > FLimits.MaxHeaderBytes)
            return fail(TArchiveEnd::TooManyHeaderBytes, QString());
        if (walk.Entries >= FLimits.MaxEntries)
            return fail(TArchiveEnd::TooManyEntries, QString());
        ++walk.Entries;
        ++here;

        TArchiveEntry item;
        item.Path = EntryPath(entry);
        item.IsDirectory = archive_entry_filetype(entry) == AE_IFDIR;
        item.Size = archive_entry_size_is_set(entry) ? std::max<qint64>(0, archive_entry_size(entry)) : 0;
        item.HasTime = archive_entry_mtime_is_set(entry);
        if (item.HasTime)
            item.Time = DiscTrees::LocalTimeInTwoSeconds(archive_entry_mtime(entry));
        item.Encrypted = archive_entry_is_encrypted(entry);
        dataBefore = item.IsDirectory ? 0 : item.Size;

        // An archive inside: recognised from the first block of its data, then read on from the
        // outer stream; one that fits in that block is read from memory.
        bool nested = false;
        std::unique_ptr<TNestedInput> innerInput;
        TArchiveHandle innerHandle;
        if (depth < FLimits.MaxDepth && walk.ProbeBytes < FLimits.MaxProbeBytes && !item.Encrypted &&
            archive_entry_filetype(entry) == AE_IFREG &&
            (!archive_entry_size_is_set(entry) || item.Size > 0)) {
            // Not value-initialised: its buffer needs no zeros.
            innerInput.reset(new TNestedInput);
            QByteArray &head = innerInput->Head;
            // One byte more than a small entry holds, so that its end is seen.
            const qsizetype capacity = archive_entry_size_is_set(entry) && item.Size < BlockSize
                                           ? qsizetype(item.Size) + 1
                                           : BlockSize;
            head.resize(capacity);
            qsizetype filled = 0;
            bool atEnd = false;
            bool failed = false;
            while (filled < capacity) {
                const la_ssize_t n =
                    archive_read_data(handle, head.data() + filled, size_t(capacity - filled));
                if (n <= 0) {
                    atEnd = n == 0;
                    failed = n < 0;
                    break;
                }
                filled += n;
            }
            head.truncate(filled);
            walk.ProbeBytes += filled;
            if (filled > 0 && !failed && MayBeArchive(head, atEnd)) {
                innerHandle.reset(NewReader());
                int opened;
                if (atEnd) {
                    opened =
                        archive_read_open_memory(innerHandle.get(), head.constData(), size_t(head.size()));
                } else {
                    innerInput->Outer = handle;
                    opened =
                        archive_read_open(innerHandle.get(), innerInput.get(), nullptr, ReadNested, nullptr);
                }
                archive_entry *first = nullptr;
                if (opened == ARCHIVE_OK) {
                    const int result = archive_read_next_header(innerHandle.get(), &first);
                    nested = result == ARCHIVE_OK || result == ARCHIVE_WARN;
                }
                if (nested)
                    walk.First = first;
            }
        }
        walk.Visitor.Entry(item, depth, nested);
        if (nested) {
            const QString name = inner.isEmpty() ? item.Path : inner + u'/' + item.Path;
            WalkLevel(walk, innerHandle.get(), depth + 1, name);
            walk.Visitor.EndNested();
            if (walk.Ended)
                return;
        }
        innerHandle.reset();

        before = archive_filter_bytes(handle, 0);
        const int result = archive_read_next_header(handle, &entry);
        if (result == ARCHIVE_EOF)
            return;
        if (result != ARCHIVE_OK && result != ARCHIVE_WARN) {
            // Recorded, but the walk of the archives around this one goes on.
            walk.Problems.append({inner, TArchiveEnd::Damaged, here, ErrorText(handle)});
            return;
        }
    }
}

std::optional<QStringList> ArchivePathParts(const QString &path)
{
    if (path.startsWith(u'/') || path.contains(u'\\') || (path.size() >= 2 && path[1] == u':'))
        return std::nullopt;
    QStringList parts;
    for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"..")
            return std::nullopt;
        if (part != u".")
            parts.append(part);
    }
    return parts;
}
