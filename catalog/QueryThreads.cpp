#include "QueryThreads.h"

#include "DatabaseError.h"
#include "Databases.h"
#include "SqliteStatements.h"
#include "dmGlobal.h"

#include <sqlite3.h>
#include <utility>
#include <vector>

void TQueryThread::TRun::Post(std::function<void()> deliver) const
{
    // Only what outlives the run goes into the call: by the time it runs, this may be gone.
    TQueryThread *query = FQuery;
    const quint64 generation = FGeneration;
    QMetaObject::invokeMethod(
        query->FOwner,
        [query, generation, deliver = std::move(deliver)] {
            if (generation == query->FGeneration)
                deliver();
        },
        Qt::QueuedConnection);
}

TQueryThread::~TQueryThread()
{
    Cancel();
}

void TQueryThread::Cancel()
{
    if (!FRun)
        return;
    {
        const std::lock_guard guard(FRun->FLock);
        FRun->FCancelled = true;
        if (FRun->FHandle)
            sqlite3_interrupt(FRun->FHandle);
    }
    FRun->FThread.join();
    FRun.reset();
    ++FGeneration;
}

void TQueryThread::Start(TGlobal &global, const QString &sql, TWork work, TRest rest, TEnd end)
{
    Cancel();
    const QByteArray file = global.Database.FileName().toUtf8();
    std::vector<std::pair<QString, TVariant>> params;
    for (int i = 0; i < global.FindDialog.Params().Count(); ++i) {
        const TParam *param = global.FindDialog.Params().Items(i);
        params.emplace_back(param->Name(), param->Value());
    }
    FRun.reset(new TRun(this, ++FGeneration));
    TRun *run = FRun.get();
    run->FRest = std::move(rest);
    run->FEnd = std::move(end);
    run->FThread = std::thread([run, file, sql, params, work = std::move(work)] {
        sqlite3 *handle = nullptr;
        QString failure;
        if (sqlite3_open_v2(file.constData(), &handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
            SQLITE_OK) {
            failure = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : "out of memory");
        } else {
            sqlite3_busy_timeout(handle, 2000);
            {
                const std::lock_guard guard(run->FLock);
                run->FHandle = run->FCancelled ? nullptr : handle;
            }
            try {
                if (!run->FCancelled) {
                    TSqliteStatement statement(handle, sql);
                    for (int i = 1; i <= statement.ParameterCount(); ++i) {
                        const QString name = statement.ParameterName(i).mid(1);
                        for (const auto &[paramName, value] : params)
                            if (paramName.compare(name, Qt::CaseInsensitive) == 0)
                                statement.Bind(i, value);
                    }
                    work(statement, *run);
                }
            } catch (const EDatabaseError &error) {
                failure = error.Message();
            }
        }
        {
            const std::lock_guard guard(run->FLock);
            run->FHandle = nullptr;
        }
        sqlite3_close_v2(handle);
        if (!run->FCancelled) {
            TQueryThread *query = run->FQuery;
            const quint64 generation = run->FGeneration;
            run->Post([query, generation, failure] { query->Ended(generation, failure); });
        }
    });
}

void TQueryThread::Ended(quint64 generation, const QString &failure)
{
    if (FRun->FRest)
        FRun->FRest();
    // A handler of what the rest delivered may have started another run.
    if (generation != FGeneration)
        return;
    // The thread has ended or is about to: it is joined before anyone hears.
    FRun->FThread.join();
    const TEnd end = std::move(FRun->FEnd);
    FRun.reset();
    end(failure);
}
