#include "EntryLocations.h"

#include "FileNames.h"
#include "InfoFiles.h"
#include "Statements.h"
#include "VolumeServices.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMimeData>
#include <sys/stat.h>

namespace {

std::function<bool(const QUrl &)> &Opener()
{
    static std::function<bool(const QUrl &)> opener;
    return opener;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("EntryLocations", text);
}

// The root path of the mounted drive whose volume has that serial text, or empty.
QString MountedRoot(const QString &serial)
{
    TVolumeServices &services = TVolumeServices::Current();
    for (const TDrive &drive : services.Drives()) {
        if (!drive.HasVolume)
            continue;
        const std::optional<TVolumeInfo> info = services.VolumeInformation(drive.RootPath);
        if (!info)
            continue;
        const QString text =
            QString::asprintf("%4.4x-%4.4x", unsigned(info->Serial >> 16), unsigned(info->Serial & 0xffff));
        if (text.compare(serial, Qt::CaseInsensitive) == 0)
            return drive.RootPath;
    }
    return QString();
}

} // namespace

QUrl TEntryLocation::Url() const
{
    return Online ? FileUrlOf(Path) : QUrl();
}

QUrl TEntryLocation::FolderUrl() const
{
    return Online ? FileUrlOf(Folder) : QUrl();
}

QUrl FileUrlOf(const QByteArray &path)
{
    if (path.isEmpty())
        return QUrl();
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"), QUrl::StrictMode);
}

TEntryLocation LocateEntry(TGlobal &global, int entryId)
{
    TEntryLocation location;
    const std::shared_ptr<TStatement> statement = global.Database.Prepare(
        QStringLiteral("SELECT Entries.Name, Entries.FullPath, Entries.Parent, CDs.SerialNum, "
                       "CDs.VolumeLabel FROM Entries LEFT JOIN CDs ON CDs.ID = Entries.CD "
                       "WHERE Entries.ID = ?1"));
    TStatement &row = *statement;
    row.Bind(1, TVariant(qint32(entryId)));
    if (!row.Step()) {
        location.Reason = tr("The entry is not in the catalogue any more.");
        return location;
    }
    const QString name = row.Column(0, TFieldType::String).AsString();
    const QString fullPath = row.Column(1, TFieldType::String).AsString();
    const bool isRoot = row.ColumnIsNull(2);
    const QString serial = row.Column(3, TFieldType::String).AsString();
    const QString label = row.Column(4, TFieldType::String).AsString();

    const QString root = serial.isEmpty() ? QString() : MountedRoot(serial);
    if (root.isEmpty()) {
        location.Reason = tr("The volume %1 (%2) is not online: insert or mount it to open what it holds.")
                              .arg(label, serial);
        return location;
    }
    if (isRoot) {
        const QString canonical = QFileInfo(root).canonicalFilePath();
        location.Path = location.Folder = TextToFileName(canonical.isEmpty() ? root : canonical);
    } else {
        QString folder = fullPath;
        if (folder.endsWith(u'\\'))
            folder.chop(1);
        const std::optional<QByteArray> path = InfoFilePath(root, folder, name);
        struct stat info;
        if (!path || ::lstat(path->constData(), &info) != 0) {
            location.Reason = tr("%1 is not on the volume %2 any more.").arg(fullPath + name, label);
            return location;
        }
        location.Path = *path;
        const qsizetype slash = path->lastIndexOf('/');
        location.Folder = slash > 0 ? path->left(slash) : QByteArray("/");
    }
    location.Online = true;
    return location;
}

std::unique_ptr<QMimeData> NewEntryMimeData(const TEntryLocation &location)
{
    if (!location.Online)
        return nullptr;
    auto data = std::make_unique<QMimeData>();
    data->setUrls({location.Url()});
    return data;
}

bool OpenEntryUrl(const QUrl &url)
{
    if (!url.isValid())
        return false;
    if (Opener())
        return Opener()(url);
    return QDesktopServices::openUrl(url);
}

void SetEntryUrlOpener(std::function<bool(const QUrl &)> opener)
{
    Opener() = std::move(opener);
}
