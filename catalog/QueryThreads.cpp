#include "QueryThreads.h"

#include "DatabaseError.h"
#include "Databases.h"
#include "Queries.h"
#include "Statements.h"
#include "dmGlobal.h"

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
        if (FRun->FDatabase)
            FRun->FDatabase->Interrupt();
    }
    FRun->FThread.join();
    FRun.reset();
    ++FGeneration;
}

void TQueryThread::Start(TGlobal &global, const QString &sql, TWork work, TRest rest, TEnd end)
{
    Start(global.FindDialog, sql, std::move(work), std::move(rest), std::move(end));
}

void TQueryThread::Start(TQuery &findDialog, const QString &sql, TWork work, TRest rest, TEnd end)
{
    Cancel();
    const TDatabase *source = findDialog.Database();
    if (!source || !source->Connected())
        throw EDatabaseError(QStringLiteral("The catalogue is not open"));
    const QString driver = source->ConnectedDriver();
    // Without CREATE: a catalogue that has gone meanwhile is an error, not a new empty one.
    QStringList connectParams;
    for (const QString &line : source->ConnectedParams())
        if (!line.startsWith(u"CREATE=", Qt::CaseInsensitive) &&
            !line.startsWith(u"OPEN MODE=", Qt::CaseInsensitive))
            connectParams << line;
    connectParams << QStringLiteral("OPEN MODE=READ ONLY");
    std::vector<std::pair<QString, TVariant>> params;
    for (int i = 0; i < findDialog.Params().Count(); ++i) {
        const TParam *param = findDialog.Params().Items(i);
        params.emplace_back(param->Name(), param->Value());
    }
    FRun.reset(new TRun(this, ++FGeneration));
    TRun *run = FRun.get();
    run->FRest = std::move(rest);
    run->FEnd = std::move(end);
    run->FThread = std::thread([run, driver, connectParams, sql, params, work = std::move(work)] {
        QString failure;
        try {
            // No alias: the engine configuration is not read again from this thread.
            TDatabase database;
            database.SetDriverName(driver);
            database.SetParams(connectParams);
            database.SetLoginPrompt(false);
            database.Open();
            {
                const std::lock_guard guard(run->FLock);
                run->FDatabase = run->FCancelled ? nullptr : &database;
            }
            // Let go of before the connection closes, so that Cancel never interrupts a
            // connection on its way out.
            struct TRelease
            {
                TRun *Run;
                ~TRelease()
                {
                    const std::lock_guard guard(Run->FLock);
                    Run->FDatabase = nullptr;
                }
            } release{run};
            if (!run->FCancelled) {
                const std::shared_ptr<TStatement> statement = database.Prepare(sql);
                for (int i = 1; i <= statement->ParameterCount(); ++i) {
                    const QString name = statement->ParameterName(i).mid(1);
                    for (const auto &[paramName, value] : params)
                        if (paramName.compare(name, Qt::CaseInsensitive) == 0)
                            statement->Bind(i, value);
                }
                work(*statement, *run);
            }
        } catch (const EDatabaseError &error) {
            failure = error.Message();
        }
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
