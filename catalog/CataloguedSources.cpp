#include "CataloguedSources.h"

#include "DiscImageSources.h"
#include "MountedSources.h"
#include "Queries.h"
#include "VolumeSerials.h"
#include "VolumeServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// The context of this unit's texts in the translations, as the translation tools find it.
struct CataloguedSources
{
    Q_DECLARE_TR_FUNCTIONS(CataloguedSources)
};

// The serial text of what source holds now; empty when it cannot be read.
QString SerialOf(TVolumeSource &source)
{
    const std::optional<TVolumeInfo> info = source.VolumeInformation();
    return info ? TVolumeSerials::SerialText(info->Serial) : QString();
}

bool SameSerial(const QString &found, const QString &catalogued)
{
    return !found.isEmpty() && found.compare(catalogued, Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<TCataloguedVolume> CataloguedVolume(TDatabase &database, int cd)
{
    TQuery volume;
    volume.SetDatabase(&database);
    volume.SetSQL(
        {QStringLiteral("SELECT Entries.Name, CDs.SerialNum, CDs.VolumeLabel, CDs.Source FROM Entries "
                        "INNER JOIN CDs ON CDs.ID = Entries.ID WHERE Entries.ID = :cd")});
    volume.ParamByName(QStringLiteral("cd"))->SetAsInteger(cd);
    volume.Open();
    if (volume.IsEmpty())
        return std::nullopt;
    return TCataloguedVolume{cd, volume.Fields(0)->AsString(), volume.Fields(1)->AsString(),
                             volume.Fields(2)->AsString(), volume.Fields(3)->AsString()};
}

TFoundSource FindCataloguedSource(const TCataloguedVolume &volume)
{
    TFoundSource found;
    for (const TDrive &drive : TVolumeServices::Current().Drives()) {
        if (!drive.HasVolume)
            continue;
        auto source = std::make_unique<TMountedSource>(drive.RootPath);
        if (SameSerial(SerialOf(*source), volume.Serial)) {
            found.Where = TFoundSource::TWhere::Drive;
            found.Path = drive.RootPath;
            found.Source = std::move(source);
            return found;
        }
    }
    if (volume.Source.isEmpty())
        return found;

    const QFileInfo place(volume.Source);
    const QString shown = QDir::toNativeSeparators(volume.Source);
    if (!place.exists()) {
        found.Reason = CataloguedSources::tr("%1, where \"%2\" was catalogued from, is not there any more.")
                           .arg(shown, volume.Name);
        return found;
    }
    std::unique_ptr<TVolumeSource> source;
    TFoundSource::TWhere where = TFoundSource::TWhere::Folder;
    if (place.isDir()) {
        source = std::make_unique<TMountedSource>(volume.Source, TMountedSource::TKind::Folder);
    } else {
        where = TFoundSource::TWhere::DiscImage;
        try {
            source = TDiscImageSource::Open(volume.Source);
        } catch (const EDiscImageError &error) {
            found.Reason = error.Message();
            return found;
        }
    }
    const QString serial = SerialOf(*source);
    if (serial.isEmpty()) {
        found.Reason = CataloguedSources::tr("%1, where \"%2\" was catalogued from, cannot be read.")
                           .arg(shown, volume.Name);
        return found;
    }
    if (!SameSerial(serial, volume.Serial)) {
        found.Reason =
            CataloguedSources::tr("%1 holds another volume now: its serial number is %2, that of \"%3\" %4.")
                .arg(shown, serial, volume.Name, volume.Serial);
        return found;
    }
    found.Where = where;
    found.Path = volume.Source;
    found.Source = std::move(source);
    return found;
}
