#pragma once

// The catalogue's tables and the indexes a search reads, on a test database of either engine,
// for suites that search without the data module.

#include "CatalogSchema.h"
#include "Databases.h"

#include <QStringList>

inline void CreateSearchTables(TDatabase &database)
{
    CatalogSchema::CreateTables(database);
}
