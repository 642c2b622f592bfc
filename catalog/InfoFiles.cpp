#include "InfoFiles.h"

#include "FileNames.h"
#include "LongPaths.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <QStringList>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---- paths

std::optional<QByteArray> realPath(const QByteArray &path)
{
    char *resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        return std::nullopt;
    QByteArray result(resolved);
    std::free(resolved);
    return result;
}

QByteArray joined(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray joined(const QByteArray &root, const QList<QByteArray> &names)
{
    QByteArray path = root;
    for (const QByteArray &name : names)
        path = joined(path, name);
    return path;
}

// A NUL would end the path early when the system reads it, so it is no part of any name.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// Only ASCII letters: they are all the walk lowers, and they are single bytes both in UTF-8 and in
// names kept byte for byte.
bool equalIgnoringAsciiCase(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

// A descriptor closed when it goes out of scope.
class TFd
{
public:
    explicit TFd(int fd = -1) : FFd(fd) {}
    ~TFd() { Reset(); }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;

    int Get() const { return FFd; }
    void Reset(int fd = -1)
    {
        if (FFd >= 0)
            ::close(FFd);
        FFd = fd;
    }

private:
    int FFd;
};

// The entry of the open folder that equals name ignoring letter case; of several, the first in
// byte order, so the same catalogue always finds the same file.
std::optional<QByteArray> findIgnoringCase(int folder, const QByteArray &name)
{
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return std::nullopt;
    }
    std::optional<QByteArray> found;
    while (const dirent *item = ::readdir(dir)) {
        const QByteArray entry(item->d_name);
        if (entry != "." && entry != ".." && equalIgnoringAsciiCase(entry, name) &&
            (!found || entry < *found))
            found = entry;
    }
    ::closedir(dir);
    return found;
}

std::optional<QByteArray> readLink(int folder, const QByteArray &name)
{
    QByteArray target(256, Qt::Uninitialized);
    for (;;) {
        const ssize_t size = ::readlinkat(folder, name.constData(), target.data(), size_t(target.size()));
        if (size < 0)
            return std::nullopt;
        if (size < target.size())
            return target.left(size);
        target.resize(target.size() * 2);
    }
}

// As the kernel counts links on one path before it gives up with ELOOP.
constexpr int MaxLinks = 40;

// A name still to be taken on the way to an info file: one the catalogue gave, or one of a link's
// target. Only the catalogue's names lost their letter case to the walk.
struct TPendingName
{
    QByteArray Name;
    bool FromCatalogue = true;
};

// ---- text

constexpr qsizetype BomSize = 3;

enum class TUtf8Check { Valid, CutShort, Invalid };

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF). validLength gets the
// bytes of whole sequences before the first that fails; CutShort means that one is well formed as
// far as it goes but the bytes end inside it.
TUtf8Check checkUtf8(const QByteArray &bytes, qsizetype &validLength)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        validLength = i;
        const unsigned char lead = data[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int more;
        // The second byte's range is where overlong forms, surrogates and values past U+10FFFF
        // are told apart from good sequences.
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
            more = 1;
        else if (lead >= 0xE0 && lead <= 0xEF)
            more = 2, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
        else if (lead >= 0xF0 && lead <= 0xF4)
            more = 3, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
        else
            return TUtf8Check::Invalid;
        for (int k = 1; k <= more; ++k) {
            if (i + k >= size)
                return TUtf8Check::CutShort;
            const unsigned char next = data[i + k];
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
                return TUtf8Check::Invalid;
        }
        i += more + 1;
    }
    validLength = size;
    return TUtf8Check::Valid;
}

using TCodePage = std::array<char16_t, 256>;

// Both code pages keep ASCII as it is; only their upper halves differ.
constexpr TCodePage withAscii(const std::array<char16_t, 128> &upperHalf)
{
    TCodePage table{};
    for (int i = 0; i < 128; ++i) {
        table[size_t(i)] = char16_t(i);
        table[size_t(128 + i)] = upperHalf[size_t(i)];
    }
    return table;
}

// The DOS code page that .nfo and .diz files are drawn in. Its glyphs for 0x00-0x1F are left as
// control characters, as text editors show such files, which keeps tabs and line ends intact.
constexpr TCodePage Cp437 = withAscii({
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 0x80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, // 0x88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 0x90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, // 0x98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // 0xA0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, // 0xA8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // 0xB0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // 0xB8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // 0xC0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // 0xC8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // 0xD0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // 0xD8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, // 0xE0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, // 0xE8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, // 0xF0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0, // 0xF8
});

// The Windows code page of most other text files. Its five unassigned bytes (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the C1 controls of the same number, so no byte is lost.
constexpr TCodePage Cp1252 = withAscii({
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, // 0xA0
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, // 0xA8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, // 0xB8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, // 0xC0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF, // 0xC8
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, // 0xD0
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, // 0xD8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, // 0xE0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, // 0xE8
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, // 0xF0
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF, // 0xF8
});

// .nfo and .diz files come from the DOS scene and its BBSes, drawn in the DOS code page.
bool isDosText(QByteArrayView path)
{
    const QByteArray extension = (path.size() > 4 ? path.last(4) : path).toByteArray().toLower();
    return extension == ".nfo" || extension == ".diz";
}

// UTF-16 after its byte order mark. A unit the file (or the size limit) cut in two is dropped, and
// so is a high surrogate whose partner the size limit cut off; surrogates out of pairs otherwise
// become U+FFFD, as in any other ill-formed text.
QString decodeUtf16(const QByteArray &bytes, QStringConverter::Encoding encoding, bool cut)
{
    QByteArrayView units(bytes.constData() + 2, (bytes.size() - 2) & ~qsizetype(1));
    if (cut && units.size() >= 2) {
        const auto last = static_cast<unsigned char>(
            units[encoding == QStringConverter::Utf16LE ? units.size() - 1 : units.size() - 2]);
        if (last >= 0xD8 && last <= 0xDB)
            units.chop(2);
    }
    // The mark is gone already; a second one is a character of the text.
    QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(units);
}

// A sequence cut short at the end counts as UTF-8 only when the size limit cut it: a file that
// itself ends inside a sequence is no UTF-8, unless its byte order mark says it is.
QString decode(const QByteArray &bytes, bool cut, bool dosText)
{
    if (bytes.startsWith("\xFF\xFE"))
        return decodeUtf16(bytes, QStringConverter::Utf16LE, cut);
    if (bytes.startsWith("\xFE\xFF"))
        return decodeUtf16(bytes, QStringConverter::Utf16BE, cut);
    qsizetype validLength = 0;
    const TUtf8Check check = checkUtf8(bytes, validLength);
    const bool marked = bytes.startsWith("\xEF\xBB\xBF");
    if (marked || check == TUtf8Check::Valid || (check == TUtf8Check::CutShort && cut)) {
        const qsizetype start = marked ? BomSize : 0;
        const qsizetype end = check == TUtf8Check::CutShort && cut ? validLength : bytes.size();
        // Only marked text can be invalid here: its bad bytes become U+FFFD.
        return QString::fromUtf8(bytes.constData() + start, end - start);
    }
    const TCodePage &table = dosText ? Cp437 : Cp1252;
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        text[i] = QChar(table[static_cast<unsigned char>(bytes[i])]);
    return text;
}

// Text that is half control characters or more is no text: a binary file, a file of zeros, or
// UTF-16 without its mark, whose every other byte is a NUL or a control for most scripts. As a
// description it would only be a megabyte of invisible characters. Tabs, line ends and form feeds
// are text. The C1 controls are left out: the code pages give them only to the bytes they leave
// unassigned, which keep their place in a text read with the wrong code page.
bool isBinary(const QString &text)
{
    qsizetype controls = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r' && u != u'\f') || u == 0x7F)
            ++controls;
    }
    return !text.isEmpty() && controls * 2 >= text.size();
}

// ---- files

[[noreturn]] void throwOpenError(const QByteArray &path, int error)
{
    throw EInfoFileError(path, error);
}

// Why a file of this kind is refused, as the system says it: a directory reads as EISDIR, a link
// is what O_NOFOLLOW answers with ELOOP, and anything else (a FIFO or a device, which could block
// or act on being opened) is no argument for reading text.
int refusal(mode_t mode)
{
    if (S_ISDIR(mode))
        return EISDIR;
    if (S_ISLNK(mode))
        return ELOOP;
    return EINVAL;
}

// The kind is checked before opening, so that a FIFO or a device is never opened at all, and
// again on the open file, in case the name was replaced in between. The path is opened name by
// name below its folders, none of them a link, so that a folder replaced by a link since the path
// was resolved cannot lead elsewhere.
int openRegularFile(const QByteArray &path)
{
    if (path.contains('\0'))
        throwOpenError(path, EINVAL);
    QByteArray name;
    const TFd folder(OpenFolderOf(path, TLinks::Refuse, name));
    if (folder.Get() < 0)
        throwOpenError(path, errno);
    struct stat info;
    if (::fstatat(folder.Get(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        throwOpenError(path, errno);
    if (!S_ISREG(info.st_mode))
        throwOpenError(path, refusal(info.st_mode));
    const int file =
        ::openat(folder.Get(), name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (file < 0)
        throwOpenError(path, errno);
    if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISREG(info.st_mode) ? errno : refusal(info.st_mode);
        ::close(file);
        throwOpenError(path, error);
    }
    ::fcntl(file, F_SETFL, ::fcntl(file, F_GETFL) & ~O_NONBLOCK);
    return file;
}

// Up to limit bytes from the current position; nullopt and errno when reading fails.
std::optional<QByteArray> readAtMost(int file, qsizetype limit)
{
    QByteArray bytes;
    qsizetype done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done == limit)
                break;
            bytes.resize(qMin(limit, qMax<qsizetype>(64 * 1024, bytes.size() * 2)));
        }
        const ssize_t got = ::read(file, bytes.data() + done, size_t(bytes.size() - done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

} // namespace

std::optional<QByteArray> InfoFilePath(const QString &rootPath, const QString &folder,
                                       const QString &infoName)
{
    QStringList names;
    if (!folder.isEmpty()) {
        names = folder.split(u'\\');
        for (const QString &name : std::as_const(names))
            if (!isPlainName(name))
                return std::nullopt;
    }
    if (!isPlainName(infoName) || infoName.contains(u'\\'))
        return std::nullopt;
    names.append(infoName);

    const std::optional<QByteArray> realRoot = realPath(TextToFileName(rootPath));
    if (!realRoot)
        return std::nullopt;
    QList<TPendingName> pending;
    for (const QString &name : std::as_const(names))
        pending.append({TextToFileName(name), true});

    // The walk goes from folder to folder by descriptor, so the system is never given more than
    // one name at a time, however deep the file lies. below holds the names of the folder reached,
    // links resolved.
    QList<QByteArray> below;
    TFd dir(::open(realRoot->constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    // Where a name of the catalogue is not there (or cannot be looked at), the rest is taken as it
    // is written: reading the file then tells why it cannot be read.
    auto unresolved = [&](const QByteArray &name) {
        QList<QByteArray> rest = below;
        rest.append(name);
        for (const TPendingName &next : std::as_const(pending))
            rest.append(next.Name);
        return joined(*realRoot, rest);
    };
    if (dir.Get() < 0)
        return joined(*realRoot, QList<QByteArray>());
    int links = 0;
    while (!pending.isEmpty()) {
        TPendingName next = pending.takeFirst();
        if (next.Name == ".")
            continue;
        if (next.Name == "..") {
            if (below.isEmpty())
                return std::nullopt;
            below.removeLast();
            dir.Reset(OpenLongPath(joined(*realRoot, below), O_PATH | O_DIRECTORY, TLinks::Refuse));
            if (dir.Get() < 0)
                return std::nullopt;
            continue;
        }
        struct stat info;
        bool there = ::fstatat(dir.Get(), next.Name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
        if (!there && errno == ENOENT && next.FromCatalogue) {
            if (const std::optional<QByteArray> found = findIgnoringCase(dir.Get(), next.Name)) {
                next.Name = *found;
                there = ::fstatat(dir.Get(), next.Name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
            }
        }
        // A link whose target is not there leads nowhere. The names after a catalogue's name are
        // the catalogue's too: links put theirs in front.
        if (!there)
            return next.FromCatalogue ? std::optional(unresolved(next.Name)) : std::nullopt;

        if (S_ISLNK(info.st_mode)) {
            std::optional<QByteArray> target =
                ++links <= MaxLinks ? readLink(dir.Get(), next.Name) : std::nullopt;
            if (!target || target->isEmpty())
                return std::nullopt;
            if (target->startsWith('/')) {
                // An absolute link means the system's folders, not the volume's: it is taken only
                // when it names a place on the volume itself.
                if (*realRoot != "/") {
                    if (*target != *realRoot && !target->startsWith(*realRoot + '/'))
                        return std::nullopt;
                    target = target->mid(realRoot->size());
                }
                below.clear();
                dir.Reset(::open(realRoot->constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
                if (dir.Get() < 0)
                    return std::nullopt;
            }
            const QList<QByteArray> parts = target->split('/');
            for (qsizetype i = parts.size(); i-- > 0;)
                if (!parts[i].isEmpty())
                    pending.prepend({parts[i], false});
            continue;
        }

        if (pending.isEmpty()) {
            below.append(next.Name);
            return joined(*realRoot, below);
        }
        const int sub = S_ISDIR(info.st_mode) ? ::openat(dir.Get(), next.Name.constData(),
                                                         O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                                              : -1;
        if (sub < 0)
            return next.FromCatalogue ? std::optional(unresolved(next.Name)) : std::nullopt;
        dir.Reset(sub);
        below.append(next.Name);
    }
    // A link's target ending in "." or "..": a folder, which reading refuses.
    return joined(*realRoot, below);
}

TInfoFileReader::~TInfoFileReader()
{
    Close();
}

void TInfoFileReader::Close()
{
    if (FFile >= 0)
        ::close(FFile);
    FFile = -1;
    FPath.clear();
}

QByteArray TInfoFileReader::ReadBytes(const QByteArray &path)
{
    if (FFile < 0 || path != FPath) {
        Close();
        FFile = openRegularFile(path);
        FPath = path;
    } else if (::lseek(FFile, 0, SEEK_SET) != 0) {
        throw EInfoFileError(path, errno, true);
    }
    // One byte past the limit tells a file cut at the limit from one that ends there.
    std::optional<QByteArray> bytes = readAtMost(FFile, MaxInfoFileSize + 1);
    if (!bytes)
        throw EInfoFileError(path, errno, true);
    return *bytes;
}

std::optional<QString> TInfoFileReader::Read(const QByteArray &path)
{
    return InfoFileText(ReadBytes(path), path);
}

std::optional<QString> InfoFileText(QByteArray bytes, QByteArrayView name)
{
    const bool cut = bytes.size() > MaxInfoFileSize;
    if (cut)
        bytes.truncate(MaxInfoFileSize);
    QString text = decode(bytes, cut, isDosText(name));
    if (isBinary(text))
        return std::nullopt;
    return text;
}

EInfoFileError::EInfoFileError(const QByteArray &path, int error, bool reading)
    : Exception((reading ? QCoreApplication::translate("TInfoFileReader", "Cannot read file %1: %2")
                         : QCoreApplication::translate("TInfoFileReader", "Cannot open file %1: %2"))
                    .arg(FileNameToText(path), QString::fromLocal8Bit(std::strerror(error)))),
      FPath(FileNameToText(path)), FError(error)
{}

QString EInfoFileError::Reason() const
{
    return QString::fromLocal8Bit(std::strerror(FError));
}

bool EInfoFileError::DiscUnreadable() const
{
    return FError == EIO || FError == ENXIO || FError == ENOMEDIUM;
}
