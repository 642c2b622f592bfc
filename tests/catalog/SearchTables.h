#pragma once

// The catalogue's tables and the indexes a search reads, on a test database of either engine,
// for suites that search without the data module.

#include "CatalogSchema.h"
#include "Databases.h"

#include <QStringList>

inline void CreateSearchTables(TDatabase &database)
{
    if (!database.IsPostgres()) {
        for (const QString &sql : CatalogSchema::TableStatements())
            database.ExecSQL(sql);
        return;
    }
    // Until the catalogue can be made on a server: its tables as the driver translates them, the
    // server's search indexes in place of SQLite's. The server knows only tables made before
    // they are referred to, and no number as a Boolean's default.
    const QStringList sqliteIndexes = CatalogSchema::SearchIndexStatements();
    QStringList tables;
    for (QString sql : CatalogSchema::TableStatements()) {
        if (sqliteIndexes.contains(sql))
            continue;
        sql.replace(QStringLiteral("BOOLEAN NOT NULL DEFAULT 0"),
                    QStringLiteral("BOOLEAN NOT NULL DEFAULT FALSE"));
        if (sql.startsWith(u"CREATE TABLE Images"))
            tables.prepend(sql);
        else
            tables << sql;
    }
    for (const QString &sql : tables + CatalogSchema::PgSearchIndexStatements())
        database.ExecSQL(sql);
}
