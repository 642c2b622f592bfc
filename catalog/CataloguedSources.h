#pragma once

#include "VolumeSources.h"

#include <QString>
#include <memory>
#include <optional>

class TDatabase;

// A catalogued volume as its root entry and its CDs row tell it.
struct TCataloguedVolume
{
    int Cd = 0;
    QString Name;
    QString Serial;
    QString Label;
    // The folder or disc image file it was read from; empty for a drive, and for a volume
    // catalogued before the catalogue kept it.
    QString Source;
};

// nullopt when no volume has the root ID cd.
std::optional<TCataloguedVolume> CataloguedVolume(TDatabase &database, int cd);

// Where a catalogued volume can be read now.
struct TFoundSource
{
    enum class TWhere { Nowhere, Drive, Folder, DiscImage };
    TWhere Where = TWhere::Nowhere;
    // Nullptr when the volume was not found.
    std::unique_ptr<TVolumeSource> Source;
    // The drive's mount point, the folder or the image file.
    QString Path;
    // Why the recorded folder or image was not taken, a sentence for the user; empty when it was
    // taken or there is none.
    QString Reason;
};

// Looks for the volume by its serial number among the drives mounted now
// (TVolumeServices::Current()), then at the folder or disc image it was read from. That one is
// taken only while it holds a volume of the same serial number: a folder put in the place of a
// moved one, or an image made anew, is another volume.
TFoundSource FindCataloguedSource(const TCataloguedVolume &volume);
