#include "VolumeDeletes.h"

#include "Statements.h"
#include "VolumeServices.h"
#include "dmGlobal.h"

namespace {

// Rows a slice deletes: small enough for a report every half second on a slow disk.
constexpr int SliceRows = 5000;

} // namespace

bool DeleteVolume(TGlobal &global, int cd)
{
    TDatabase &database = global.Database;
    database.CheckWritable();
    const TVariant volume{qint32(cd)};

    const std::shared_ptr<TStatement> count =
        database.Prepare(QStringLiteral("SELECT count(*) FROM Entries WHERE CD = ?1"));
    count->Bind(1, volume);
    count->Step();
    const qint64 total = count->ColumnInt64(0);
    count->Reset();

    const bool ownTransaction = !database.InTransaction();
    if (ownTransaction)
        database.StartTransaction();
    try {
        // Folders no longer hold one another, so no delete cascades down the tree (the engine stops
        // cascading 1,000 levels down); files go first, and then no folder holds anything.
        const std::shared_ptr<TStatement> detach = database.Prepare(
            QStringLiteral("UPDATE Entries SET Parent = NULL WHERE CD = ?1 AND ID <> ?1 AND Folder <> 0"));
        detach->Bind(1, volume);
        detach->Execute();
        const std::shared_ptr<TStatement> files =
            database.Prepare(QStringLiteral("DELETE FROM Entries WHERE ID IN (SELECT ID FROM Entries "
                                            "WHERE CD = ?1 AND ID <> ?1 AND Folder = 0 LIMIT %1)")
                                 .arg(SliceRows));
        const std::shared_ptr<TStatement> folders =
            database.Prepare(QStringLiteral("DELETE FROM Entries WHERE ID IN (SELECT ID FROM Entries "
                                            "WHERE CD = ?1 AND ID <> ?1 LIMIT %1)")
                                 .arg(SliceRows));
        TVolumeServices &services = TVolumeServices::Current();
        const quint32 start = services.TickCount();
        quint32 last = start;
        qint64 done = 0;
        for (TStatement *slices : {files.get(), folders.get()}) {
            for (;;) {
                slices->Reset();
                slices->Bind(1, volume);
                slices->Execute();
                const qint64 deleted = slices->Changes();
                if (deleted == 0)
                    break;
                done += deleted;
                const quint32 now = services.TickCount();
                if (!global.OnProgress || now - last < 500)
                    continue;
                last = now;
                const int percent = total > 0 ? int(qMin<qint64>(100, done * 100 / total)) : 0;
                const int secondsLeft =
                    total > done ? int(qint64(now - start) * (total - done) / done / 1000) : 0;
                if (global.OnProgress(&global, percent, secondsLeft) && ownTransaction) {
                    database.Rollback();
                    return false;
                }
            }
        }
        global.DeleteCD.ParamByName(QStringLiteral("cd"))->SetAsInteger(cd);
        global.DeleteCD.ExecSQL();
        if (ownTransaction)
            database.Commit();
    } catch (...) {
        if (ownTransaction && database.InTransaction())
            database.Rollback();
        throw;
    }
    return true;
}
