#pragma once

#include "SysUtils.h"

#include <QByteArray>
#include <QByteArrayView>
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
// A file that is missing still gets its path, so that reading it reports why. The path may be
// longer than the system takes at once: it is resolved name by name, and TInfoFileReader opens it
// the same way.
std::optional<QByteArray> InfoFilePath(const QString &rootPath, const QString &folder,
                                       const QString &infoName);

// An info file that cannot be opened or read, with the system's reason.
class EInfoFileError : public Exception
{
public:
    // reading: the file was opened, reading it failed.
    EInfoFileError(const QByteArray &path, int error, bool reading = false);

    // The file as the user knows it, and errno.
    const QString &Path() const { return FPath; }
    int Error() const { return FError; }
    QString Reason() const;
    // The disc itself cannot be read (rather than this one file): going on with the next file
    // would only fail again, slowly.
    bool DiscUnreadable() const;

private:
    QString FPath;
    int FError;
};

// Reads info files as text. The last file stays open: one info file that describes several
// entries in a row is opened once and read again from its start.
class TInfoFileReader final
{
public:
    TInfoFileReader() = default;
    ~TInfoFileReader();
    TInfoFileReader(const TInfoFileReader &) = delete;
    TInfoFileReader &operator=(const TInfoFileReader &) = delete;

    // The text of the file at path, at most MaxInfoFileSize bytes of it: UTF-16 or UTF-8 when a
    // byte order mark says so (the mark dropped), UTF-8 when it is valid UTF-8, otherwise code page
    // 437 for .nfo and .diz files and Windows-1252 for others. nullopt when the file is no text:
    // half of it or more control characters other than tab, line ends and form feed. Throws
    // EInfoFileError when the file cannot be opened, is no regular file, or cannot be read; no name
    // of path may be a symbolic link. A FIFO or a device is never opened.
    std::optional<QString> Read(const QByteArray &path);
    // The bytes Read decodes: at most MaxInfoFileSize + 1 of them, so that a file cut at the
    // limit can be told from one that ends there. Throws as Read does.
    QByteArray ReadBytes(const QByteArray &path);
    void Close();

private:
    int FFile = -1;
    QByteArray FPath;
};

// The text of an info file named name from its first bytes (at most MaxInfoFileSize + 1 of them),
// decoded as TInfoFileReader::Read says; nullopt when they are no text.
std::optional<QString> InfoFileText(QByteArray bytes, QByteArrayView name);
