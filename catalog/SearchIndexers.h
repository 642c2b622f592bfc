#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

struct sqlite3;
class TPgConnection;

// Brings the word indexes of a catalogue up to its entries on a connection and thread of its own,
// a slice of entries per transaction, so that a scan ends as soon as its entries are written and
// the program's own writes wait at most for one slice. Searches meanwhile read the entries not
// yet indexed one by one (see CatalogSchema::UpdateSearchIndexes); nothing is lost when the work
// is cut short, since each slice moves SearchIndexed.UpTo with the entries it indexed.
class TSearchIndexer
{
public:
    // Entries per transaction: a slice takes about a quarter of a second.
    static constexpr int DefaultSlice = 20000;

    explicit TSearchIndexer(const QString &fileName, int sliceEntries = DefaultSlice)
        : FFileName(fileName.toUtf8()), FSliceEntries(sliceEntries)
    {}
    // On a PostgreSQL server, given as a connection is opened (TDatabase's driver and params):
    // the name search, from the entries noted as not in it yet (CatalogSchema::Pg::IndexNames).
    TSearchIndexer(const QString &driver, const QStringList &params)
        : FDriver(driver), FParams(params), FSliceEntries(0)
    {}
    // Cancels what is running: the slice under way is rolled back, the slices before it stay.
    ~TSearchIndexer();
    TSearchIndexer(const TSearchIndexer &) = delete;
    TSearchIndexer &operator=(const TSearchIndexer &) = delete;

    // Starts the work, or has it look again for new entries when it is running already.
    void Start();
    // Waits until the indexes hold every entry there was at the last Start, or the work failed;
    // the engine's message then, empty when it went through.
    QString Wait();
    bool Running() const;

private:
    void Run();
    // One slice; false when nothing was left to index.
    bool IndexSlice(sqlite3 *handle);
    QString RunOnServer();

    const QByteArray FFileName;
    const QString FDriver; // on a server
    const QStringList FParams;
    const int FSliceEntries;
    std::thread FThread;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    sqlite3 *FHandle = nullptr;             // while the work runs, so the destructor can interrupt it
    std::shared_ptr<TPgConnection> FServer; // the same on a server
    bool FRunning = false;
    bool FAgain = false;
    QString FFailure;
    std::atomic<bool> FCancelled = false;
};
