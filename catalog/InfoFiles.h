#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Info files are text files on a volume whose content becomes the description of a folder or a
// file. The catalogue names them by text: the folder below the volume root ("\"-separated, as
// FullPath keeps it) and the file name.

// The longest part of an info file that becomes a description; the rest is cut off, so a huge
// file named like an info file cannot fill the catalogue.
constexpr qsizetype MaxInfoFileSize = 1024 * 1024;

// The file-system path of the info file infoName in folder below rootPath (empty for the root),
// with links resolved, or nullopt when the names or the links on the disk would lead outside the
// volume root. The walk stores names with their letters lowered, so a name that is not on the disk
// as written stands for the entry of its folder that equals it ignoring the case of ASCII letters.
// A file that is missing still gets its path, so that reading it reports why.
std::optional<QByteArray> InfoFilePath(const QString &rootPath, const QString &folder, const QString &infoName);

// Reads info files as text. The last file stays open: one info file that describes several
// entries in a row is opened once and read again from its start.
class TInfoFileReader final
{
public:
    TInfoFileReader() = default;
    ~TInfoFileReader();
    TInfoFileReader(const TInfoFileReader &) = delete;
    TInfoFileReader &operator=(const TInfoFileReader &) = delete;

    // The text of the file at path, at most MaxInfoFileSize bytes of it: UTF-8 when it is valid
    // UTF-8 (a byte order mark dropped), otherwise code page 437 for .nfo and .diz files and
    // Windows-1252 for others. Throws Exception with the system's reason when the file cannot be
    // opened or is no regular file (a link on its own is refused); nullopt when reading fails.
    std::optional<QString> Read(const QByteArray &path);
    void Close();

private:
    int FFile = -1;
    QByteArray FPath;
};
