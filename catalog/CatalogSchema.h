#pragma once

#include "CatalogLayout.h"

#include <QString>
#include <QStringList>

class TDatabase;

// The catalogue's tables, indexes and stored defaults, and the version of that layout recorded in
// the file (SQLite's user_version), so a later program can upgrade a catalogue in place.
namespace CatalogSchema {

// Builds a new catalogue in an empty database: tables, indexes, saved queries, the default file
// types with their pictures and the default info-file patterns, in one transaction. False when,
// on a server, another program made it first while this one waited for it.
bool Create(TDatabase &database);

// Gives a connection its own scratch tables TEMP_CD, Temp_Entry, MatchedEntries and InfoFolders, as temporary
// tables that come before the file's tables of the same names: two programs comparing folders or
// importing descriptions at once on one catalogue never see each other's rows, and a catalogue
// that cannot be written can still fill them.
void CreateScratchTables(TDatabase &database);

// The layout version a catalogue file records (0 for a file that is not a catalogue yet).
int FileVersion(TDatabase &database);

// Makes an open catalogue usable by this program: upgrades an older layout step by step in a
// transaction that rolls back on failure, and refuses (EDatabaseError, nothing written) a layout
// newer than this program knows or a database that is no catalogue.
void CheckAndUpgrade(TDatabase &database);

// Where the catalogue lives: $XDG_DATA_HOME/vor-nex/vor-nex.db (~/.local/share when unset).
QString DefaultFilePath();

// Makes a new catalogue file at path (its folder too). It is built under another name and renamed
// into place when complete, so a failure never leaves a half-made catalogue behind.
void CreateFile(const QString &path);

// Makes sure the engine configuration has the catalogue's alias: when it is missing, creates it
// pointing at DefaultFilePath() and, when no file is there yet, a new catalogue. An alias that
// exists is left as it is, wherever it points; one that names an empty database on a server
// gets a new catalogue there. Throws when that cannot be done.
void EnsureAlias(const QString &aliasName);

// The statements that create the tables and indexes, in order.
QStringList TableStatements();
// Creates the tables and indexes in an empty database of either engine.
void CreateTables(TDatabase &database);

// The part of TableStatements that layout 2 added: the indexes the find searches names and
// descriptions through, the triggers that keep them in step with Entries, and how far the word
// indexes hold the entries (SearchIndexed.UpTo, an ID).
QStringList SearchIndexStatements();
// The part that layout 5 added: every name whole, letter case aside, in order, for the find of a
// whole name; filled and kept in step as the word indexes are.
QStringList WholeNameStatements();

// Adds the entries added since the last time to the word indexes, in the transaction that is
// open or in one of its own; nothing on a catalogue that cannot be written. Searches find those
// entries by name before as well, only more slowly; by description only afterwards.
void UpdateSearchIndexes(TDatabase &database);
// The statements that add the entries after SearchIndexed.UpTo up to the ID :last to the word
// indexes and move UpTo there, to run in one transaction.
QStringList IndexEntriesStatements();

// ---- a catalogue on a PostgreSQL server
// What stands in for SearchIndexStatements on a PostgreSQL server, which keeps its indexes up to
// date itself: trigrams of names (pg_trgm), names in lower case and the words of descriptions.
// The FindDialog statement for the server is written for them.
QStringList PgSearchIndexStatements();
// The index of the words of descriptions, on the entries that have one.
QString PgDescriptionIndexStatement();
// TableStatements as a server takes them: without the word indexes of the file's engine and the
// file's shared scratch tables, each table after those it refers to, then PgSearchIndexStatements.
QStringList PostgresTableStatements();
// Whether an open database holds no tables at all (a catalogue can be made there).
bool IsEmptyDatabase(TDatabase &database);

enum class TServerCatalogue { Created, Existing };
// Makes sure an open database on a server holds a catalogue: makes one in an empty database,
// leaves one that is there as it is, and refuses (EDatabaseError, nothing written) a database
// that holds anything else.
TServerCatalogue EnsureServerCatalogue(TDatabase &database);
// When the alias names a database on a server, makes sure a catalogue is there; an alias of a
// file is left alone.
void EnsureServerCatalogueOf(const QString &aliasName);
// The alias parameters (SERVER, PORT, DATABASE NAME, USER NAME) of a libpq connection URI,
// "postgresql://[user@]host[:port]/dbname" or "postgresql:///dbname?host=/socket/folder&user=u".
// A password is refused: the alias is kept in plain text, the password belongs in ~/.pgpass.
QStringList ServerAliasParams(const QString &uri);
// Points the alias at a database on a server, in place of whatever it named before.
void SetServerAlias(const QString &aliasName, const QStringList &params);

} // namespace CatalogSchema
