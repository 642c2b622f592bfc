#pragma once

#include <QString>
#include <vector>

// A statement kept in the catalogue file under a name and run by that name (TStoredProc), so a
// catalogue carries the queries that fit its own layout.
struct TSavedQuery
{
    QString Name;
    QString Statement;
};

// The queries every catalogue holds, in the engine's dialect and without parameters: the next
// picture number, the info files that describe the folders and files of the volume in TEMP_CD,
// and the eight ways of pairing catalogued entries with a scanned folder (Temp_Entry) into
// MatchedEntries.
std::vector<TSavedQuery> CatalogSavedQueries();
