#include "SearchIndexers.h"

#include "CatalogSchema.h"
#include "CatalogSchemaPg.h"
#include "DatabaseError.h"
#include "Databases.h"
#include "PgStatements.h"
#include "SqliteStatements.h"

#include <sqlite3.h>

TSearchIndexer::~TSearchIndexer()
{
    {
        const std::lock_guard guard(FLock);
        FCancelled = true;
        if (FHandle)
            sqlite3_interrupt(FHandle);
        if (FServer)
            FServer->Cancel();
    }
    FChanged.notify_all();
    if (FThread.joinable())
        FThread.join();
}

void TSearchIndexer::Start()
{
    const std::lock_guard guard(FLock);
    if (FRunning) {
        FAgain = true;
        return;
    }
    if (FThread.joinable())
        FThread.join(); // ended already: it only has to be collected
    FRunning = true;
    FAgain = false;
    FFailure.clear();
    FThread = std::thread([this] { Run(); });
}

QString TSearchIndexer::Wait()
{
    std::unique_lock guard(FLock);
    FChanged.wait(guard, [this] { return !FRunning; });
    return FFailure;
}

bool TSearchIndexer::Running() const
{
    const std::lock_guard guard(FLock);
    return FRunning;
}

void TSearchIndexer::Run()
{
    sqlite3 *handle = nullptr;
    QString failure;
    if (!FDriver.isEmpty()) {
        failure = RunOnServer();
    } else if (sqlite3_open_v2(FFileName.constData(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                               nullptr) != SQLITE_OK) {
        failure = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : "out of memory");
    } else {
        {
            const std::lock_guard guard(FLock);
            FHandle = FCancelled ? nullptr : handle;
        }
        sqlite3_exec(handle, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        // A writer holding the catalogue (a scan, another program) is waited for slice by slice,
        // without end: the indexes are only ever late, never wrong.
        sqlite3_busy_timeout(handle, 200);
        for (;;) {
            try {
                while (!FCancelled && IndexSlice(handle)) {
                }
            } catch (const EDatabaseError &error) {
                if (sqlite3_get_autocommit(handle) == 0)
                    sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
                const int code = sqlite3_errcode(handle) & 0xff;
                if (!FCancelled && (code == SQLITE_BUSY || code == SQLITE_LOCKED)) {
                    std::unique_lock guard(FLock);
                    FChanged.wait_for(guard, std::chrono::milliseconds(200),
                                      [this] { return bool(FCancelled); });
                    continue;
                }
                if (!FCancelled)
                    failure = error.Message();
            }
            const std::lock_guard guard(FLock);
            if (!FAgain || FCancelled || !failure.isEmpty())
                break;
            FAgain = false;
        }
        const std::lock_guard guard(FLock);
        FHandle = nullptr;
    }
    sqlite3_close_v2(handle);
    {
        const std::lock_guard guard(FLock);
        FRunning = false;
        FFailure = failure;
    }
    FChanged.notify_all();
}

bool TSearchIndexer::IndexSlice(sqlite3 *handle)
{
    TSqliteStatement(handle, QStringLiteral("BEGIN IMMEDIATE")).Execute();
    TSqliteStatement range(handle, QStringLiteral("SELECT (SELECT UpTo FROM SearchIndexed), "
                                                  "(SELECT coalesce(max(ID), 0) FROM Entries)"));
    range.Step();
    const qint64 upTo = range.ColumnInt64(0);
    const qint64 last = std::min(range.ColumnInt64(1), upTo + FSliceEntries);
    range = TSqliteStatement();
    if (last <= upTo) {
        TSqliteStatement(handle, QStringLiteral("COMMIT")).Execute();
        return false;
    }
    for (const QString &sql : CatalogSchema::IndexEntriesStatements()) {
        TSqliteStatement statement(handle, sql);
        statement.Bind(statement.ParameterIndex(QStringLiteral(":last")), TVariant(last));
        statement.Execute();
    }
    TSqliteStatement(handle, QStringLiteral("COMMIT")).Execute();
    return true;
}

QString TSearchIndexer::RunOnServer()
{
    TDatabase database;
    try {
        database.SetDriverName(FDriver);
        database.SetParams(FParams);
        database.Open();
        {
            const std::lock_guard guard(FLock);
            if (!FCancelled)
                FServer = database.PgConnection();
        }
        // A slice that meets another program's transaction (a deadlock, a name being changed) is
        // tried again: the name search is only ever late, never wrong.
        int failures = 0;
        for (;;) {
            try {
                while (!FCancelled &&
                       CatalogSchema::Pg::IndexNames(database, CatalogSchema::Pg::NotesPerSlice) > 0)
                    failures = 0;
            } catch (const EDatabaseError &) {
                if (FCancelled || ++failures > 3)
                    throw;
                std::unique_lock guard(FLock);
                FChanged.wait_for(guard, std::chrono::milliseconds(200), [this] { return bool(FCancelled); });
                continue;
            }
            const std::lock_guard guard(FLock);
            if (!FAgain || FCancelled) {
                FServer.reset();
                return QString();
            }
            FAgain = false;
        }
    } catch (const EDatabaseError &error) {
        const std::lock_guard guard(FLock);
        FServer.reset();
        return FCancelled ? QString() : error.Message();
    }
}
