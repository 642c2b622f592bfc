#pragma once

#include "DataSources.h"
#include "Databases.h"
#include "Queries.h"
#include "Tables.h"

#include <QStringList>
#include <QTemporaryDir>

// One table in a fresh catalogue file, with a data source over it, for the data-aware controls'
// tests. The statements make the table and its rows; the table is not opened yet.
struct TDataControlsFixture
{
    QTemporaryDir Dir;
    TDatabase Db;
    TTable Table;
    TDataSource Source{&Table};

    TDataControlsFixture(const QString &tableName, const QStringList &statements)
    {
        Db.SetDatabaseName(QStringLiteral("Controls"));
        Db.SetDriverName(QStringLiteral("SQLITE"));
        Db.SetParams({QStringLiteral("DATABASE NAME=") + Dir.filePath(QStringLiteral("controls.db")),
                      QStringLiteral("CREATE=TRUE")});
        Db.Open();
        for (const QString &statement : statements)
            Db.ExecSQL(statement);
        Table.SetDatabase(&Db);
        Table.SetTableName(tableName);
    }

    // A value as a second look at the file shows it, not as the table under test holds it.
    QString Stored(const QString &sql)
    {
        TQuery query;
        query.SetDatabase(&Db);
        query.SetSQL({sql});
        query.Open();
        return query.IsEmpty() ? QStringLiteral("<none>") : query.Fields(0)->AsString();
    }
};
