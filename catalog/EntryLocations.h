#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QMimeData;
class TGlobal;

// Where a catalogued entry is now: on which of the mounted volumes, at which path, or why it
// cannot be opened. A volume is online when a mounted drive has its serial number, or when the
// folder it was catalogued from is there with that serial number.
struct TEntryLocation
{
    bool Online = false;
    // The entry cannot be opened, but the folder that holds it can be shown: an entry inside a
    // disc image file, whose folder is the image's.
    bool FolderOnline = false;
    // Why the entry cannot be opened, as the status bar tells it; empty when it can.
    QString Reason;
    // The entry on the disk, links resolved, and the folder that holds it (for a volume's root,
    // the root itself; for the root of a disc image, the image file and its folder).
    QByteArray Path;
    QByteArray Folder;

    QUrl Url() const;
    QUrl FolderUrl() const;
};

// Looks the entry with that ID up among the volumes mounted now (TVolumeServices::Current()) and
// at the folder or disc image its volume was catalogued from (FindCataloguedSource).
// Names stored with their letters lowered find the file as the disk spells it; a name that would
// lead outside the volume's root finds nothing.
TEntryLocation LocateEntry(TGlobal &global, int entryId);

// A file URL of a path given as the file system's bytes: a name that is no text keeps its bytes,
// percent-encoded.
QUrl FileUrlOf(const QByteArray &path);

// What a drag of an online entry out of a list carries: its file URL (text/uri-list); none for an
// entry that is not online.
std::unique_ptr<QMimeData> NewEntryMimeData(const TEntryLocation &location);

// Opens a URL with the desktop's program for it (QDesktopServices), or with the opener a test put
// in its place. False when nothing could open it.
bool OpenEntryUrl(const QUrl &url);
// nullptr puts the desktop's opener back.
void SetEntryUrlOpener(std::function<bool(const QUrl &)> opener);
