#pragma once

// What the suites over a real catalogue start from: fresh configuration and data folders, a
// catalogue made as the program's start-up makes it on a new machine, the data module over it,
// and the double of the volume services current, so that temporary folders can be drives.

#include "CatalogSchema.h"
#include "Databases.h"
#include "TestSupport.h"
#include "VolumeServicesDouble.h"
#include "dmGlobal.h"

#include <QFile>
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
    // The first value as Scalar gives it, through a connection of its own, so it sees only what
    // has been committed.
    qint64 Committed(const QString &sql) const
    {
        TDatabase reader;
        reader.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
        reader.SetParams({QStringLiteral("DATABASE NAME=") + CatalogSchema::DefaultFilePath()});
        reader.Open();
        return ScalarOf(reader, sql);
    }

    TVolumeServicesDouble Services;
    std::unique_ptr<TGlobal> Global;

private:
    QTemporaryDir FConfig;
    QTemporaryDir FData;
};
