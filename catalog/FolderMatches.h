#pragma once

#include "DataSources.h"
#include "Queries.h"
#include "SysUtils.h"
#include "Tables.h"

#include <QHash>
#include <QString>
#include <array>
#include <functional>

class TGlobal;
class TStatement;

// A comparison was asked to start, or its tables to be cleared, while one is running.
class EComparing : public Exception
{
public:
    EComparing() : Exception(QStringLiteral("A comparison is running")) {}
};

// Raised inside a comparison's scan when the stop check asks to stop. It unwinds the comparison
// before its query runs; the caller ends it silently.
class EStopComparing : public Exception
{
public:
    EStopComparing() : Exception(QStringLiteral("Comparing stopped")) {}
};

// The saved query that pairs scanned and catalogued entries for each choice of what must agree
// besides the name, at Path x 4 + Size x 2 + Time (each 1 when chosen).
inline constexpr std::array<const char16_t *, 8> MatchQueryNames{
    u"FindMatch",       u"FindMatchByTime",     u"FindMatchBySize",     u"FindMatchBySizeTime",
    u"FindMatchByPath", u"FindMatchByPathTime", u"FindMatchBySizePath", u"FindMatchBySizePathTime",
};

QString MatchQueryName(bool byPath, bool bySize, bool byTime);

// Compares a folder of a live disk with the catalogue: walks the folder into the scratch table
// Temp_Entry, pairs its entries with catalogued ones in MatchedEntries through a saved query, and
// offers the matched disk entries (OnDisk) and, for one of them, the catalogued entries it matches
// (InLib). The find-matches window and the command line share it; it works on the data module's
// connection.
class TFolderComparison
{
public:
    // Asked after every item the scan writes; true stops the comparison. The window lets its
    // message loop run here, which is when a Cancel click arrives.
    using TCheckStop = std::function<bool()>;

    explicit TFolderComparison(TGlobal &global);
    ~TFolderComparison();
    TFolderComparison(const TFolderComparison &) = delete;
    TFolderComparison &operator=(const TFolderComparison &) = delete;

    TTable Temp;
    TQuery ClearTemp;
    TQuery ClearMatch;
    // The scanned entries that matched: Name, ID, ImageID, FullPath, Size, Modified. Never the
    // root of the scan.
    TQuery OnDisk;
    TDataSource dsOnDisk;
    // For the disk entry in its parameter id: the catalogued entries it matches, with ID, Name,
    // Size, Modified, CDPath (volume label, ":\" and folder path) and ImageID. Never a volume root.
    TQuery InLib;
    TDataSource dsInLib;
    TStoredProc FindMatch;

    // The root of the volume whose paths a scanned folder's FullPath is taken relative to. Empty
    // (the default): the mount point of the file system the folder lies on, as a scan of that
    // volume records paths.
    const QString &VolumeRoot() const { return FVolumeRoot; }
    void SetVolumeRoot(const QString &value) { FVolumeRoot = value; }

    // Empties the scratch tables, walks folder into Temp_Entry (a folder that cannot be listed
    // gives only the root row), runs the saved query the three choices name, and opens OnDisk and
    // InLib. True when anything matched. Raises EStopComparing when checkStop asks: Temp_Entry
    // keeps what was written, the query does not run, and OnDisk and InLib are left as they were.
    bool RunComparison(const QString &folder, bool byPath, bool bySize, bool byTime,
                       const TCheckStop &checkStop);
    // Walks path (a folder ending in "/") into Temp below parent; total gets its files' sizes.
    // FullPath is the part of path below the volume root (RunComparison finds it).
    void ScanFolderToTemp(const QString &path, int parent, qint64 &total, int volume);
    // Reopens InLib for the disk entry with this Temp_Entry ID.
    void ShowMatchesInLibrary(int diskEntryId);
    // Every pair the last comparison found, by the disk entry's path and name, without keeping
    // them: the disk entry's FullPath and Name, then the catalogued entry's ID, CDPath, Name, Size
    // and Modified. What OnDisk and InLib show one disk entry at a time, in one statement.
    void ForEachPair(const std::function<void(const TStatement &row)> &onRow);
    // Empties Temp_Entry and MatchedEntries (ClearTemp, then ClearMatch); OnDisk, InLib and Temp
    // are closed first, as what they hold goes.
    void ClearScratch();

    // True while RunComparison runs. The stop check may let a window's messages run meanwhile;
    // a second comparison or clearing the tables then would pull them from under the scan, and is
    // refused (EComparing): stop the running one first.
    bool Comparing() const { return FComparing; }

private:
    qint16 ImageIDForFile(const QString &name);
    // Commits every half second and raises EStopComparing when the stop check asks.
    void CheckStop();
    void CheckNotComparing() const;

    TGlobal &FGlobal;
    QString FVolumeRoot;
    bool FComparing = false;
    // While scanning.
    TCheckStop FCheckStop;
    QString FScanRoot;       // the volume root ending in "/"
    quint64 FScanDevice = 0; // the scan stays on the device of the folder
    bool FOwnTransaction = false;
    quint32 FLastCommitTick = 0;
    QHash<QString, qint16> FExtensionTypes;
};
