#include "InfoFiles.h"

#include "FileNames.h"
#include "SysUtils.h"

#include <QCoreApplication>
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

bool isBelow(const QByteArray &path, const QByteArray &root)
{
    if (root == "/")
        return path.size() > 1 && path.startsWith('/');
    return path.size() > root.size() + 1 && path.startsWith(root) && path[root.size()] == '/';
}

QByteArray joined(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// A NUL would end the path early when the system reads it, so it is no part of any name.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') && !name.contains(QChar(0));
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

// The entry of folder that equals name ignoring letter case; of several, the first in byte order,
// so the same catalogue always finds the same file.
std::optional<QByteArray> findIgnoringCase(const QByteArray &folder, const QByteArray &name)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return std::nullopt;
    std::optional<QByteArray> found;
    while (const dirent *item = ::readdir(dir)) {
        const QByteArray entry(item->d_name);
        if (entry != "." && entry != ".." && equalIgnoringAsciiCase(entry, name) && (!found || entry < *found))
            found = entry;
    }
    ::closedir(dir);
    return found;
}

bool exists(const QByteArray &path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0;
}

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
bool isDosText(const QByteArray &path)
{
    const QByteArray extension = path.right(4).toLower();
    return extension == ".nfo" || extension == ".diz";
}

// A sequence cut short at the end counts as UTF-8 only when the size limit cut it: a file that
// itself ends inside a sequence is no UTF-8.
QString decode(const QByteArray &bytes, bool cut, bool dosText)
{
    qsizetype validLength = 0;
    const TUtf8Check check = checkUtf8(bytes, validLength);
    if (check == TUtf8Check::Valid || (check == TUtf8Check::CutShort && cut)) {
        const qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? BomSize : 0;
        return QString::fromUtf8(bytes.constData() + start, validLength - start);
    }
    const TCodePage &table = dosText ? Cp437 : Cp1252;
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        text[i] = QChar(table[static_cast<unsigned char>(bytes[i])]);
    return text;
}

// ---- files

[[noreturn]] void throwOpenError(const QByteArray &path, int error)
{
    throw Exception(QCoreApplication::translate("TInfoFileReader", "Cannot open file %1: %2")
                        .arg(FileNameToText(path), QString::fromLocal8Bit(std::strerror(error))));
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
// again on the open file, in case the name was replaced in between.
int openRegularFile(const QByteArray &path)
{
    if (path.contains('\0'))
        throwOpenError(path, EINVAL);
    struct stat info;
    if (::lstat(path.constData(), &info) != 0)
        throwOpenError(path, errno);
    if (!S_ISREG(info.st_mode))
        throwOpenError(path, refusal(info.st_mode));
    const int file = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
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

// Up to limit bytes from the current position; nullopt when reading fails.
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

std::optional<QByteArray> InfoFilePath(const QString &rootPath, const QString &folder, const QString &infoName)
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

    const QByteArray root = TextToFileName(rootPath);
    const std::optional<QByteArray> realRoot = realPath(root);
    if (!realRoot)
        return std::nullopt;

    QByteArray parent = root;
    QByteArray path;
    QByteArray name;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i > 0)
            parent = path;
        name = TextToFileName(names[i]);
        path = joined(parent, name);
        if (!exists(path)) {
            if (const std::optional<QByteArray> found = findIgnoringCase(parent, name)) {
                name = *found;
                path = joined(parent, name);
            }
        }
    }

    if (const std::optional<QByteArray> real = realPath(path))
        return isBelow(*real, *realRoot) ? real : std::nullopt;
    // Something that is there but does not resolve is a link leading nowhere.
    if (exists(path))
        return std::nullopt;
    // A missing file: its folder must still lie on the volume.
    const std::optional<QByteArray> realParent = realPath(parent);
    if (!realParent)
        return path;
    if (*realParent != *realRoot && !isBelow(*realParent, *realRoot))
        return std::nullopt;
    return joined(*realParent, name);
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

std::optional<QString> TInfoFileReader::Read(const QByteArray &path)
{
    if (FFile < 0 || path != FPath) {
        Close();
        FFile = openRegularFile(path);
        FPath = path;
    } else if (::lseek(FFile, 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    // One byte past the limit tells a file cut at the limit from one that ends there.
    std::optional<QByteArray> bytes = readAtMost(FFile, MaxInfoFileSize + 1);
    if (!bytes)
        return std::nullopt;
    const bool cut = bytes->size() > MaxInfoFileSize;
    if (cut)
        bytes->truncate(MaxInfoFileSize);
    return decode(*bytes, cut, isDosText(path));
}
