#pragma once

#include "SysUtils.h"
#include "VolumeServices.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The result of reading a file of a volume: its first bytes, or the errno that says why not.
struct TFileBytes
{
    QByteArray Bytes;
    int Error = 0;
    // The file as the user knows it, when the source can tell better than the folder and name
    // it was asked for (a mounted volume resolves links and letter case).
    QString Path;
};

// A source that turns out not to be a volume at all part way through (an image whose folders
// loop, say): what a walk wrote of it is of no use, and the walk removes it again.
class EVolumeSourceError : public Exception
{
public:
    using Exception::Exception;
};

// What a scan reads a volume from: a mounted file system (a drive or a folder), a disc image file
// read without mounting. One walk catalogues any of them the same way.
//
// Folders are named relative to the volume's root by the text of their names (FileNameToText),
// each followed by "/": "" is the root, "docs/old/" a folder below it.
class TVolumeSource
{
public:
    TVolumeSource() = default;
    TVolumeSource(const TVolumeSource &) = delete;
    TVolumeSource &operator=(const TVolumeSource &) = delete;
    virtual ~TVolumeSource() = default;

    // How the user names the volume in messages: a mount point, a folder, an image file.
    virtual QString DisplayName() const = 0;
    // Where the volume can be read again when no drive holds it: the absolute path of a folder
    // or an image file. Empty for a drive, which is found again by its serial number.
    virtual QString SourcePath() const { return QString(); }
    // nullopt when the volume cannot be identified (no disc in the drive, the image went away).
    virtual std::optional<TVolumeInfo> VolumeInformation() = 0;
    // The bytes the progress of a walk is measured against; 0 when unknown.
    virtual qint64 Capacity() = 0;
    // The entries of a folder without "." and "..", nullopt when it cannot be listed.
    virtual std::optional<QList<TDirEntry>> ListFolder(const QString &folder) = 0;
    // Whether the walk goes into a folder it listed; a mounted tree stays on its device.
    virtual bool Enters(const TDirEntry &folder) { return folder.IsDirectory; }
    // At most maxBytes of the file name in folder ("/"-separated, no trailing "/", "" for the
    // root). Names are matched ignoring the case of ASCII letters, as the catalogue keeps them
    // lowered. Error is ENOENT for a missing file, EISDIR for a folder, EIO when the volume
    // cannot be read.
    virtual TFileBytes ReadFile(const QString &folder, const QString &name, qint64 maxBytes) = 0;
    // A descriptor of a file the walk listed in folder, open for reading, for the caller to close;
    // -1 when it cannot be opened, or the source gives its files' bytes only through ReadFile.
    virtual int OpenFile(const QString &folder, const TDirEntry &file)
    {
        Q_UNUSED(folder);
        Q_UNUSED(file);
        return -1;
    }
};
