#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TDatabase;
class TGlobal;
class TQuery;
class TStatement;

// Runs one read of the data module's FindDialog query, as its parameters stand when the run
// starts, on a read-only connection and a thread of its own, for an owner in the main thread that
// reports through signals. The connection is a second one of the same driver and parameters as
// FindDialog's; they, the query and the parameters are copied before the thread starts: the data
// module is never touched from it. What the run hands back goes through
// the owner's event loop and is dropped once the run has been cancelled, restarted or outlived.
class TQueryThread
{
public:
    // The thread's side of one run.
    class TRun
    {
    public:
        // Set by Cancel; a long read stops at the next row.
        bool Cancelled() const { return FCancelled; }
        // Hands `deliver` to the owner's thread, where it runs unless the run is over by then.
        void Post(std::function<void()> deliver) const;

    private:
        friend class TQueryThread;
        TRun(TQueryThread *query, quint64 generation) : FQuery(query), FGeneration(generation) {}

        TQueryThread *const FQuery;
        const quint64 FGeneration;
        std::thread FThread;
        std::mutex FLock;
        TDatabase *FDatabase = nullptr; // while the query runs, so Cancel can interrupt it
        std::atomic<bool> FCancelled = false;
        // The owner's thread's part of the end; only that thread touches them.
        std::function<void()> FRest;
        std::function<void(const QString &failure)> FEnd;
    };

    // In the thread: the statement is prepared and its parameters are bound.
    using TWork = std::function<void(TStatement &statement, const TRun &run)>;
    // In the owner's thread once the work is through, while the run still counts as running:
    // for what the work held back.
    using TRest = std::function<void()>;
    // In the owner's thread after the rest, with the thread joined, so a handler may start the
    // next run: `failure` is the engine's message, empty when the query went through.
    using TEnd = std::function<void(const QString &failure)>;

    explicit TQueryThread(QObject *owner) : FOwner(owner) {}
    ~TQueryThread();
    TQueryThread(const TQueryThread &) = delete;
    TQueryThread &operator=(const TQueryThread &) = delete;

    // Cancels the run before; `sql` is the FindDialog's text or a query around it.
    void Start(TGlobal &global, const QString &sql, TWork work, TRest rest, TEnd end);
    // The same for a FindDialog query of any connection.
    void Start(TQuery &findDialog, const QString &sql, TWork work, TRest rest, TEnd end);
    void Cancel();
    bool Running() const { return FRun != nullptr; }

private:
    void Ended(quint64 generation, const QString &failure);

    QObject *const FOwner;
    std::unique_ptr<TRun> FRun;
    quint64 FGeneration = 0;
};
