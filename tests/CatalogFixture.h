#pragma once

// What the suites over a real catalogue start from: fresh configuration and data folders, a
// catalogue made as the program's start-up makes it on a new machine, the data module over it,
// and the double of the volume services current, so that temporary folders can be drives.

#include "CatalogSchema.h"
#include "Databases.h"
#include "TestSupport.h"
#include "VolumeServicesDouble.h"
#include "db/TestDrivers.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <iterator>
#include <memory>

// Takes the catalogue file at path back to an older layout, as a program of that layout left it:
// what each later layout added is taken out again, the newest first. Gives the layout the file
// then records.
inline int MakeOlderLayout(const QString &path, int layout)
{
    // What each step added, undone; index 0 undoes 1 to 2.
    static const char *const undo[] = {
        "DROP TRIGGER \"SearchIndexes.Delete\"; DROP TRIGGER \"EntryNames.Update\"; "
        "DROP TRIGGER \"EntryTexts.Update\"; DROP TABLE EntryNames; DROP TABLE EntryTexts; "
        "DROP TABLE SearchIndexed",
        "ALTER TABLE Entries DROP COLUMN InArchive; ALTER TABLE Entries DROP COLUMN Archive",
        "ALTER TABLE CDs DROP COLUMN Source",
        "DROP TRIGGER \"WholeNames.Delete\"; DROP TRIGGER \"WholeNames.Update\"; DROP TABLE WholeNames",
        "", // 5 to 6 changed nothing in a file
    };
    static_assert(std::size(undo) == CatalogSchema::Version - 1, "a layout step without its undoing");
    TDatabase database;
    database.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
    database.SetParams({QStringLiteral("DATABASE NAME=") + path});
    database.Open();
    for (int to = CatalogSchema::Version - 1; to >= layout; --to)
        if (*undo[to - 1])
            database.ExecSQL(QString::fromLatin1(undo[to - 1]));
    database.ExecSQL(QStringLiteral("PRAGMA user_version = %1").arg(layout));
    return CatalogSchema::FileVersion(database);
}

class TCatalogFixture
{
public:
    TCatalogFixture()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(FConfig.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(FData.path()));
        // On PostgreSQL a database of the test server per suite, emptied first, that the alias
        // names as init names one: the first start makes the catalogue there.
        if (OnPostgres())
            CatalogSchema::SetServerAlias(
                QString::fromUtf16(TGlobal::AliasName),
                TestDatabaseParams(FData.path(),
                                   QFileInfo(QCoreApplication::applicationFilePath()).baseName()));
        CatalogSchema::EnsureAlias(QString::fromUtf16(TGlobal::AliasName));
        TVolumeServices::SetCurrent(&Services);
        Global = std::make_unique<TGlobal>();
    }
    ~TCatalogFixture()
    {
        Global.reset();
        TVolumeServices::SetCurrent(nullptr);
    }
    TCatalogFixture(const TCatalogFixture &) = delete;
    TCatalogFixture &operator=(const TCatalogFixture &) = delete;

    bool IsValid() const { return FConfig.isValid() && FData.isValid(); }

    // The first value of the first row, -1 for no row or NULL. Through the data module's own
    // connection, so it sees what the module has posted and not yet committed.
    qint64 Scalar(const QString &sql) const { return ScalarOf(Global->Database, sql); }
    // Each row as its values joined by "|", NULL as "NULL"; through the data module's connection.
    QStringList Rows(const QString &sql) const { return RowsOf(Global->Database, sql); }
    // Rows whose references lead nowhere: what the engine's own check finds on SQLite; on a
    // server, which checks references as it writes, entries and volumes missing their parent.
    qint64 BrokenReferences() const
    {
        if (!OnPostgres())
            return Scalar(QStringLiteral("SELECT count(*) FROM pragma_foreign_key_check"));
        return Scalar(QStringLiteral(
            "SELECT (SELECT count(*) FROM Entries AS E WHERE E.Parent IS NOT NULL AND NOT EXISTS "
            "(SELECT 1 FROM Entries AS P WHERE P.ID = E.Parent)) + (SELECT count(*) FROM CDs WHERE NOT "
            "EXISTS (SELECT 1 FROM Entries WHERE Entries.ID = CDs.ID))"));
    }
    // The first value as Scalar gives it, through a connection of its own (of the same driver,
    // through the same alias), so it sees only what has been committed.
    qint64 Committed(const QString &sql) const
    {
        TDatabase reader;
        reader.SetAliasName(QString::fromUtf16(TGlobal::AliasName));
        reader.Open();
        return ScalarOf(reader, sql);
    }

    TVolumeServicesDouble Services;
    std::unique_ptr<TGlobal> Global;

private:
    QTemporaryDir FConfig;
    QTemporaryDir FData;
};
