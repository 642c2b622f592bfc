#pragma once

#include <QString>

class TDatabase;

// What the catalogue's schema does differently on a PostgreSQL server (CatalogSchemaPg.cpp).
namespace CatalogSchema {

// A statement of the layout that only the file's engine has: its word indexes and what keeps
// them up to date.
bool FileEngineOnly(const QString &statement);

namespace Pg {

// In place of the file header's application id and layout version: one row, the layout. A
// database without it that holds anything is no catalogue.
inline constexpr const char16_t *LayoutTable = u"VorNexCatalogue";

// The layout the database records, 0 when it records none.
int LayoutOf(TDatabase &database);
// The tables and indexes, in the transaction that is open; false, with nothing done, when another
// program made them while this one waited its turn.
bool Create(TDatabase &database);
void SetLayout(TDatabase &database, int layout);
// What the server does, beyond the statements both engines run, to take a catalogue from layout
// from to the next.
void Upgrade(TDatabase &database, int from);
// Moves the entries of up to notes rows of NamesPending into the name search, in the transaction
// that is open or in one of its own; gives how many entries it took, 0 once none is left.
int IndexNames(TDatabase &database, int notes);
// A scan notes up to a few hundred entries a statement: about 25,000 entries, a quarter of a second.
constexpr int NotesPerSlice = 100;

} // namespace Pg

} // namespace CatalogSchema
