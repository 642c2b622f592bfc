#pragma once

#include "DateTimes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

struct archive;
struct archive_entry;
struct TArchiveFileInput;

// How far a reader goes into an archive built to exhaust whoever reads it.
struct TArchiveLimits
{
    // Entries of one archive found on a volume, those of the archives inside it included.
    qint64 MaxEntries = 1'000'000;
    // Bytes of entry headers (names and what the format keeps beside them) read from one archive.
    qint64 MaxHeaderBytes = qint64(1) << 30;
    // The archive on the volume is at depth 1; one inside it at 2. Deeper archives are entries.
    int MaxDepth = 3;
    // Data unpacked to recognise archives inside one archive found on a volume. Past it, entries are
    // still given, but none is looked into: entries sharing one huge stream of data would otherwise
    // have it unpacked for each of them.
    qint64 MaxProbeBytes = qint64(256) << 20;
};

// One entry of an archive, as its header tells it.
struct TArchiveEntry
{
    // The name as the archive holds it, folders separated by "/"; not to be trusted as a path
    // (see ArchivePathParts).
    QString Path;
    bool IsDirectory = false;
    // Uncompressed; 0 when the header does not say.
    qint64 Size = 0;
    // Local time truncated to even seconds, as the walk of a volume records files.
    TDateTime Time;
    bool HasTime = false;
    // Its data cannot be read without a password; the header could.
    bool Encrypted = false;
};

// Why the walk of an archive ended before its last entry.
enum class TArchiveEnd {
    Complete,
    // Damaged or cut short: the entries before the damage were given.
    Damaged,
    TooManyEntries,
    TooManyHeaderBytes,
};

// An archive (the volume's, or one inside it) whose walk did not reach its end.
struct TArchiveProblem
{
    // The archives inside the volume's archive on the way to it, "/"-separated; empty for the
    // volume's archive itself.
    QString Inner;
    TArchiveEnd End = TArchiveEnd::Complete;
    qint64 EntriesRead = 0;
    // The reader's own words, when it had any.
    QString Detail;
};

// What a walk tells its caller: every entry, depth first through the archives inside archives.
class TArchiveVisitor
{
public:
    virtual ~TArchiveVisitor() = default;
    // An entry of the archive at depth (1: the archive opened). When nested is true the entry is
    // itself an archive: its own entries follow at depth + 1, then EndNested. May throw to end the
    // walk (a stop requested); the reader is left closed and reusable.
    virtual void Entry(const TArchiveEntry &entry, int depth, bool nested) = 0;
    virtual void EndNested() {}
};

// Reads the entries of archives through libarchive, without extracting anything: zip, 7z, rar,
// cab, tar and cpio (plain or compressed with gzip, bzip2, xz, lzma, lzip, zstd, lz4 or
// compress), ar and Debian packages, ISO 9660 images, lha and xar.
//
// An archive is recognised by its content. A file that is none costs what recognition reads of it
// (its first block, and its last bytes for a zip's directory), never the whole file. Archives
// inside it are read from the stream of the outer one, never written anywhere; a small one is held
// in memory whole, so that formats that seek (a zip's directory at its end) read it best. No
// password is ever asked for: the entries of an encrypted archive whose headers can be read are
// given, and their data is never read.
class TArchiveReader
{
public:
    explicit TArchiveReader(TArchiveLimits limits = {});
    ~TArchiveReader();
    TArchiveReader(const TArchiveReader &) = delete;
    TArchiveReader &operator=(const TArchiveReader &) = delete;

    // Takes fd (a regular file open for reading) and tells whether it holds an archive. fd is
    // closed with the reader, also when it is none.
    bool OpenFile(int fd);
    bool OpenMemory(const QByteArray &bytes);
    // Gives every entry to visitor; the problems of the archives whose walk ended early. Closes the
    // archive at the end.
    QList<TArchiveProblem> Walk(TArchiveVisitor &visitor);
    void Close();

    const TArchiveLimits &Limits() const { return FLimits; }

private:
    struct TWalk;
    // Recognition ends with the first header read: some formats take a block of zeros for an
    // archive without entries, which is no archive to anybody.
    bool Opened(int result);
    void WalkLevel(TWalk &walk, archive *handle, int depth, const QString &inner);

    TArchiveLimits FLimits;
    archive *FArchive = nullptr;
    archive_entry *FFirst = nullptr;
    int FFd = -1;
    std::unique_ptr<TArchiveFileInput> FInput;
    QByteArray FMemory;
};

// The folders and the name of an archive entry's path, "a/b/c.txt" as {"a", "b", "c.txt"}, with
// "." and empty names left out (so "./" is the archive's top, no names at all); nullopt when the
// path is not one to follow: absolute ("/x", "C:/x"), or with a ".." or a backslash in it. Such an
// entry is recorded under its whole text.
std::optional<QStringList> ArchivePathParts(const QString &path);
