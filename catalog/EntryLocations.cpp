#include "EntryLocations.h"

#include "CataloguedSources.h"
#include "FileNames.h"
#include "InfoFiles.h"
#include "Statements.h"
#include "VolumeServices.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <sys/stat.h>

namespace {

std::function<bool(const QUrl &)> &Opener()
{
    static std::function<bool(const QUrl &)> opener;
    return opener;
}

// The context of this unit's texts in the translations, as the translation tools find it.
struct EntryLocations
{
    Q_DECLARE_TR_FUNCTIONS(EntryLocations)
};

} // namespace

QUrl TEntryLocation::Url() const
{
    return Online ? FileUrlOf(Path) : QUrl();
}

QUrl TEntryLocation::FolderUrl() const
{
    return Online || FolderOnline ? FileUrlOf(Folder) : QUrl();
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
    const std::shared_ptr<TStatement> statement = global.Database.Prepare(QStringLiteral(
        "SELECT Entries.Name, Entries.FullPath, Entries.Parent, CDs.SerialNum, "
        "CDs.VolumeLabel, CDs.Source, Entries.CD, Root.Name FROM Entries "
        "LEFT JOIN CDs ON CDs.ID = Entries.CD LEFT JOIN Entries AS Root ON Root.ID = Entries.CD "
        "WHERE Entries.ID = ?1"));
    TStatement &row = *statement;
    row.Bind(1, TVariant(qint32(entryId)));
    if (!row.Step()) {
        location.Reason = EntryLocations::tr("The entry is not in the catalogue any more.");
        return location;
    }
    const QString name = row.Column(0, TFieldType::String).AsString();
    const QString fullPath = row.Column(1, TFieldType::String).AsString();
    const bool isRoot = row.ColumnIsNull(2);
    TCataloguedVolume volume;
    volume.Serial = row.Column(3, TFieldType::String).AsString();
    volume.Label = row.Column(4, TFieldType::String).AsString();
    volume.Source = row.Column(5, TFieldType::String).AsString();
    volume.Cd = int(row.ColumnInt64(6));
    volume.Name = row.Column(7, TFieldType::String).AsString();
    const QString &label = volume.Label;
    const QString &serial = volume.Serial;

    const TFoundSource found = serial.isEmpty() ? TFoundSource() : FindCataloguedSource(volume);
    if (!found.Source) {
        location.Reason =
            !found.Reason.isEmpty()
                ? found.Reason
                : EntryLocations::tr(
                      "The volume %1 (%2) is not online: insert or mount it to open what it holds.")
                      .arg(label, serial);
        return location;
    }
    const QString root = found.Path;
    if (found.Where == TFoundSource::TWhere::DiscImage) {
        // Nothing inside an image file has a path of its own to open; the image itself has.
        const QFileInfo image(root);
        location.Folder = TextToFileName(image.absolutePath());
        if (isRoot) {
            location.Path = TextToFileName(image.absoluteFilePath());
            location.Online = true;
        } else {
            location.Reason = EntryLocations::tr("%1 is inside the disc image %2.")
                                  .arg(fullPath + name, QDir::toNativeSeparators(root));
            location.FolderOnline = true;
        }
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
            location.Reason =
                EntryLocations::tr("%1 is not on the volume %2 any more.").arg(fullPath + name, label);
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
