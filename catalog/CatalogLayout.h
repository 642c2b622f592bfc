#pragma once

// What tells a catalogue file and its layout, without Qt: the command line's quick find checks a
// file with these before it reads it, and loads no Qt library to do so.
namespace CatalogSchema {

// The layout this program writes and reads.
constexpr int Version = 6;

// "VNX!" in the file header: tells a catalogue from any other SQLite file.
constexpr int ApplicationId = 0x564E5821;

// One row, 1 when the word indexes do not hold every entry yet (see UpdateSearchIndexes).
constexpr const char *IndexesBehindSql =
    "SELECT (SELECT UpTo FROM SearchIndexed) < (SELECT coalesce(max(ID), 0) FROM Entries)";

} // namespace CatalogSchema
