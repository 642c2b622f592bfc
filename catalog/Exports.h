#pragma once

#include "SysUtils.h"

#include <QString>
#include <functional>
#include <optional>

class QIODevice;
class TDatabase;
class TGlobal;

// The catalogue written out for other programs: a spreadsheet's table, a data file, or a page a
// browser shows without the program.
enum class TExportFormat { Csv, Json, Html };

// "csv", "json" or "html", letter case aside.
std::optional<TExportFormat> ExportFormatFromName(const QString &name);
// The file name suffix of the format, without the dot.
QString ExportFormatSuffix(TExportFormat format);

// The output could not be written (a full disk, a closed pipe).
class EExportError : public Exception
{
public:
    using Exception::Exception;
};

// Writes every volume of the catalogue, or only the one whose root ID is volumeId, to out, in tree
// order: each volume's root, then depth first the entries below it, each folder before what it
// holds, in the order they were catalogued. Rows are read and written as the walk goes, so memory
// does not grow with the catalogue. Names are written as the catalogue stores them.
//
// Progress goes to global.OnProgress as a share of the entries written, at most every 500 ms
// (none for an export that is over sooner); its answer true stops the export, and false is then
// returned with the output incomplete. Engine errors throw EDatabaseError, a failed write
// EExportError.
bool ExportCatalogue(TGlobal &global, QIODevice &out, TExportFormat format,
                     std::optional<int> volumeId = std::nullopt);

// The percentage of an export done and the seconds it is reckoned to take still (-1 when not
// known); true asks it to stop.
using TExportProgressEvent = std::function<bool(int percent, int secondsLeft)>;

// The same on any connection to a catalogue, progress going to onProgress.
bool ExportCatalogue(TDatabase &database, QIODevice &out, TExportFormat format, std::optional<int> volumeId,
                     const TExportProgressEvent &onProgress);
