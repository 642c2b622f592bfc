#include "SavedQueries.h"

// Notes on the statements below:
// - Info-file patterns match names without regard to letter case and know only "*" and "?". The
//   engine's GLOB is case-sensitive and reads "[" as the start of a class, so both sides are
//   lowered (ASCII only) and "[" is escaped as "[[]".
// - The engine keeps no statistics on a catalogue, so left alone it may start a join from the
//   million entries of all volumes. CROSS JOIN fixes the order: from the volume in TEMP_CD down
//   its folders through the Parent index.
// - The volume is walked down from its root rather than found by CD, because the entries of a
//   scan that was stopped may lack their CD.

namespace {

// The folders of the volume in TEMP_CD that may hold an info file: those a walk noted in
// InfoFolders, or, when it holds none, the volume root and every folder below it.
QString VolumeFoldersCte()
{
    return QStringLiteral(R"sql(VolumeFolders(ID, Below) AS (
    SELECT ID, 0 FROM InfoFolders
    UNION ALL
    SELECT ID, 1 FROM TEMP_CD WHERE NOT EXISTS (SELECT 1 FROM InfoFolders)
    UNION ALL
    SELECT Entries.ID, 1
    FROM VolumeFolders
    CROSS JOIN Entries ON Entries.Parent = VolumeFolders.ID
    WHERE VolumeFolders.Below <> 0 AND Entries.Folder <> 0
))sql");
}

QString ImageNumber()
{
    return QStringLiteral(R"sql(-- One row: the number for a new picture, one more than the highest ImageID
-- (0 when there is none).
SELECT coalesce(max(ImageID), -1) + 1 AS ImageNumber
FROM Images)sql");
}

QString SelectFoldersWithInfo()
{
    return QStringLiteral(
               R"sql(-- The folders (and the root) of the volume in TEMP_CD, each with an info file
-- lying in it that matches a pattern for folders, and the path of that folder below the volume
-- root without the closing backslash (empty for the root).
WITH RECURSIVE
)sql") + VolumeFoldersCte() +
           QStringLiteral(R"sql(
SELECT Info.Parent AS EntryID,
       Info.Name AS InfoName,
       rtrim(coalesce(Info.FullPath, ''), '\') AS Fullpath
FROM VolumeFolders
CROSS JOIN Entries AS Info ON Info.Parent = VolumeFolders.ID
WHERE Info.Folder = 0
  AND EXISTS (SELECT 1 FROM Nfo
              WHERE Nfo.ForFolder <> 0
                AND lower(Info.Name) GLOB replace(lower(Nfo.NameNFO), '[', '[[]'))
ORDER BY EntryID, InfoName)sql");
}

QString SelectFilesWithInfo()
{
    return QStringLiteral(
               R"sql(-- The files of the volume in TEMP_CD, each with an info file of its folder that
-- describes it under a pattern for files, the path of that folder below the volume root without
-- the closing backslash (empty for the root), and the name to compare with the info file: the
-- info file itself when a pattern with "*" paired them, the described file when only a pattern
-- naming one info file for the whole folder did.
WITH RECURSIVE
)sql") + VolumeFoldersCte() +
           QStringLiteral(R"sql(,
-- Patterns for files, lowered, as GLOB patterns, and how many "*" they hold.
FilePatterns(Pattern, Glob, Stars) AS (
    SELECT DISTINCT lower(NameNFO), replace(lower(NameNFO), '[', '[[]'),
           length(NameNFO) - length(replace(NameNFO, '*', ''))
    FROM Nfo
    WHERE ForFile <> 0
),
-- The files of the volume, with the name lowered, and lowered without its last extension: the
-- stem, which a "*" of a pattern stands for.
VolumeFiles(ID, Parent, LowerName, Stem) AS MATERIALIZED (
    SELECT File.ID, File.Parent, lower(File.Name),
           lower(CASE WHEN instr(File.Name, '.') = 0 THEN File.Name
                      ELSE substr(File.Name, 1, length(rtrim(File.Name, replace(File.Name, '.', ''))) - 1)
                 END)
    FROM VolumeFolders
    CROSS JOIN Entries AS File ON File.Parent = VolumeFolders.ID
    WHERE File.Folder = 0
),
-- ByName is 1 when the pattern had a "*", that is when the file is described by its own name.
Pairs(FileID, InfoID, ByName) AS (
    -- A pattern without "*" names one file that describes every other file of its folder.
    SELECT File.ID, Info.ID, 0
    FROM FilePatterns
    CROSS JOIN VolumeFiles AS Info
    CROSS JOIN VolumeFiles AS File ON File.Parent = Info.Parent AND File.ID <> Info.ID
    WHERE FilePatterns.Stars = 0
      AND Info.LowerName GLOB FilePatterns.Glob
    UNION ALL
    -- Each "*" of a pattern stands for the stem of the described file and every other character
    -- for one character, so the first "*" tells where the stem lies in the name of an info file
    -- and the name length tells how long it is. Looked up by equality, so a folder of thousands
    -- of files is not searched once for each of its info files; the stem, its GLOB characters
    -- escaped, then replaces every "*" to check the whole name.
    SELECT File.ID, Info.ID, 1
    FROM FilePatterns
    CROSS JOIN VolumeFiles AS Info
    CROSS JOIN VolumeFiles AS File ON File.Parent = Info.Parent
        AND File.Stem = substr(Info.LowerName, instr(FilePatterns.Pattern, '*'),
                               (length(Info.LowerName) - length(FilePatterns.Pattern) + FilePatterns.Stars)
                                   / FilePatterns.Stars)
    WHERE FilePatterns.Stars > 0
      AND Info.LowerName GLOB FilePatterns.Glob
      AND File.ID <> Info.ID
      AND Info.LowerName GLOB replace(FilePatterns.Glob, '*',
              replace(replace(replace(File.Stem, '[', '[[]'), '*', '[*]'), '?', '[?]'))
),
-- A pair found by several patterns counts once, by its own name if any pattern had a "*".
Described(FileID, InfoID, ByName) AS (
    SELECT FileID, InfoID, max(ByName)
    FROM Pairs
    GROUP BY FileID, InfoID
)
SELECT File.ID AS EntryID,
       rtrim(coalesce(Info.FullPath, ''), '\') AS FullPath,
       Info.Name AS InfoName,
       CASE WHEN Described.ByName <> 0 THEN Info.Name ELSE File.Name END AS Name
FROM Described
CROSS JOIN Entries AS File ON File.ID = Described.FileID
CROSS JOIN Entries AS Info ON Info.ID = Described.InfoID
ORDER BY EntryID, InfoName)sql");
}

// Pairs each catalogued entry with each scanned entry of the same name and, as asked, of the same
// folder path, size and modification time.
QString FindMatch(bool bySize, bool byPath, bool byTime)
{
    QString criteria = QStringLiteral("-- - the same name, letter case aside\n");
    QString conditions;
    if (byPath) {
        criteria += QStringLiteral("-- - the same folder below the volume root, letter case aside\n");
        conditions += QStringLiteral("\n    AND Scanned.FullPath = lower(coalesce(Entries.FullPath, ''))");
    }
    if (bySize) {
        criteria += QStringLiteral("-- - the same size\n");
        conditions += QStringLiteral("\n    AND Scanned.Size IS Entries.Size");
    }
    if (byTime) {
        criteria += QStringLiteral("-- - the same modification time\n");
        conditions += QStringLiteral("\n    AND Scanned.Modified IS Entries.Modified");
    }
    return QStringLiteral(
               "-- Pairs every catalogued entry with every scanned entry (Temp_Entry) that has\n") +
           criteria + QStringLiteral(R"sql(-- Volume roots and the root of the scan never pair.
INSERT INTO MatchedEntries (EntryID, MatchedID)
-- Materialized with lowered names and paths, so the engine indexes the scan once instead of
-- comparing every catalogued entry with every scanned one.
WITH Scanned(ID, Name, FullPath, Size, Modified) AS MATERIALIZED (
    SELECT ID, lower(Name), lower(coalesce(FullPath, '')), Size, Modified
    FROM Temp_Entry
    WHERE Parent IS NOT NULL
)
SELECT Entries.ID, Scanned.ID
FROM Entries
CROSS JOIN Scanned ON Scanned.Name = lower(Entries.Name))sql") +
           conditions + QStringLiteral("\nWHERE Entries.Parent IS NOT NULL");
}

} // namespace

std::vector<TSavedQuery> CatalogSavedQueries()
{
    return {
        {QStringLiteral("ImageNumber"), ImageNumber()},
        {QStringLiteral("SelectFoldersWithInfo"), SelectFoldersWithInfo()},
        {QStringLiteral("SelectFilesWithInfo"), SelectFilesWithInfo()},
        {QStringLiteral("FindMatch"), FindMatch(false, false, false)},
        {QStringLiteral("FindMatchByTime"), FindMatch(false, false, true)},
        {QStringLiteral("FindMatchBySize"), FindMatch(true, false, false)},
        {QStringLiteral("FindMatchBySizeTime"), FindMatch(true, false, true)},
        {QStringLiteral("FindMatchByPath"), FindMatch(false, true, false)},
        {QStringLiteral("FindMatchByPathTime"), FindMatch(false, true, true)},
        {QStringLiteral("FindMatchBySizePath"), FindMatch(true, true, false)},
        {QStringLiteral("FindMatchBySizePathTime"), FindMatch(true, true, true)},
    };
}
