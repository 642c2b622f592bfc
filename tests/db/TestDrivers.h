#pragma once

#include "Databases.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTest>

// The data-access suites run once per driver: VNX_TEST_DRIVER names it (SQLITE when unset). On
// POSTGRESQL, VNX_TEST_PG names the file in which the test server's start wrote its socket folder.
inline QString TestDriver()
{
    const QString driver = qEnvironmentVariable("VNX_TEST_DRIVER");
    return driver.isEmpty() ? QString::fromUtf16(TDatabase::DriverSqlite) : driver.toUpper();
}

inline bool OnPostgres()
{
    return TestDriver() == QStringView(TDatabase::DriverPostgres);
}

// The socket folder of the private test server; empty when none is running.
inline QString TestServerFolder()
{
    QFile pointer(qEnvironmentVariable("VNX_TEST_PG"));
    if (pointer.fileName().isEmpty() || !pointer.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(pointer.readLine()).trimmed();
}

// Where a test's database is, as the driver's parameters: a file in folder on SQLite; on
// PostgreSQL a database of the test server named after name, emptied of everything an earlier
// test left there.
inline QStringList TestDatabaseParams(const QString &folder, const QString &name)
{
    if (!OnPostgres())
        return {QStringLiteral("DATABASE NAME=") + folder + u'/' + name + QStringLiteral(".db")};
    const QString server = TestServerFolder();
    if (server.isEmpty())
        qFatal("The PostgreSQL suites need the test server: run them through ctest");
    const QStringList params{QStringLiteral("SERVER=") + server,
                             QStringLiteral("DATABASE NAME=vnx_") + name.toLower(),
                             QStringLiteral("USER NAME=vnx")};
    TDatabase cleaner;
    cleaner.SetDriverName(TestDriver());
    cleaner.SetParams(params + QStringList{QStringLiteral("CREATE=TRUE")});
    cleaner.Open();
    cleaner.ExecSQL(QStringLiteral("DROP SCHEMA public CASCADE; CREATE SCHEMA public"));
    return params;
}

// What a test of an engine's own behaviour does on the other engine.
#define SKIP_UNLESS_SQLITE(why)                                                                              \
    do {                                                                                                     \
        if (OnPostgres())                                                                                    \
            QSKIP(why);                                                                                      \
    } while (false)
