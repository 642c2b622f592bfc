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
#include <memory>

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
