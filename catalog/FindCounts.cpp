#include "FindCounts.h"

#include "DatabaseError.h"
#include "Databases.h"
#include "SqliteStatements.h"
#include "dmGlobal.h"

#include <mutex>
#include <sqlite3.h>
#include <thread>
#include <utility>
#include <vector>

struct TFindCount::TRun
{
    std::thread Thread;
    std::mutex Lock;
    sqlite3 *Handle = nullptr; // while the count runs, so Cancel can interrupt it
    bool Cancelled = false;
};

TFindCount::TFindCount(QObject *parent) : QObject(parent)
{}

TFindCount::~TFindCount()
{
    Cancel();
}

void TFindCount::Cancel()
{
    if (!FRun)
        return;
    {
        const std::lock_guard guard(FRun->Lock);
        FRun->Cancelled = true;
        if (FRun->Handle)
            sqlite3_interrupt(FRun->Handle);
    }
    FRun->Thread.join();
    FRun.reset();
    ++FGeneration;
}

void TFindCount::Start(TGlobal &global)
{
    Cancel();
    // Everything the thread needs is copied here: the data module is not to be touched from it.
    const QByteArray file = global.Database.FileName().toUtf8();
    const QString sql =
        QStringLiteral("SELECT count(*) FROM (\n") + global.FindDialog.Text() + QStringLiteral("\n)");
    std::vector<std::pair<QString, TVariant>> params;
    for (int i = 0; i < global.FindDialog.Params().Count(); ++i) {
        const TParam *param = global.FindDialog.Params().Items(i);
        params.emplace_back(param->Name(), param->Value());
    }
    FRun = std::make_unique<TRun>();
    TRun *run = FRun.get();
    const quint64 generation = ++FGeneration;
    // Runs in the thread: hands the outcome to this object's own thread.
    auto report = [this, generation](qint64 rows, const QString &failure) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, rows, failure] {
                if (generation != FGeneration)
                    return;
                // The thread has ended or is about to: it is joined before anyone hears.
                FRun->Thread.join();
                FRun.reset();
                if (failure.isEmpty())
                    emit Counted(rows);
                else
                    emit Failed(failure);
            },
            Qt::QueuedConnection);
    };
    run->Thread = std::thread([run, file, sql, params, report] {
        sqlite3 *handle = nullptr;
        qint64 rows = 0;
        QString failure;
        if (sqlite3_open_v2(file.constData(), &handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
            SQLITE_OK) {
            failure = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : "out of memory");
        } else {
            sqlite3_busy_timeout(handle, 2000);
            bool cancelled = false;
            {
                const std::lock_guard guard(run->Lock);
                cancelled = run->Cancelled;
                run->Handle = cancelled ? nullptr : handle;
            }
            try {
                if (!cancelled) {
                    TSqliteStatement statement(handle, sql);
                    for (int i = 1; i <= statement.ParameterCount(); ++i) {
                        const QString name = statement.ParameterName(i).mid(1);
                        for (const auto &[paramName, value] : params)
                            if (paramName.compare(name, Qt::CaseInsensitive) == 0)
                                statement.Bind(i, value);
                    }
                    if (statement.Step())
                        rows = statement.ColumnInt64(0);
                }
            } catch (const EDatabaseError &error) {
                failure = error.Message();
            }
        }
        bool cancelled = false;
        {
            const std::lock_guard guard(run->Lock);
            run->Handle = nullptr;
            cancelled = run->Cancelled;
        }
        sqlite3_close_v2(handle);
        if (!cancelled)
            report(rows, failure);
    });
}
