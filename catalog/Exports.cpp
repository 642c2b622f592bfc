#include "Exports.h"

#include "ExportWriters.h"
#include "SqliteStatements.h"
#include "VolumeServices.h"
#include "dmGlobal.h"

#include <QIODevice>
#include <sqlite3.h>
#include <vector>

namespace {

QByteArrayView ColumnText(sqlite3_stmt *statement, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return text ? QByteArrayView(text, sqlite3_column_bytes(statement, column)) : QByteArrayView();
}

// The catalogue keeps milliseconds no disk gives.
QByteArrayView TimeText(sqlite3_stmt *statement, int column)
{
    return ColumnText(statement, column).first(qMin<qsizetype>(19, ColumnText(statement, column).size()));
}

class TRawStatement
{
public:
    TRawStatement(sqlite3 *db, const char *sql) : FDb(db)
    {
        CheckSqlite(db, sqlite3_prepare_v2(db, sql, -1, &FHandle, nullptr));
    }
    ~TRawStatement() { sqlite3_finalize(FHandle); }
    TRawStatement(const TRawStatement &) = delete;
    TRawStatement &operator=(const TRawStatement &) = delete;

    sqlite3_stmt *Get() const { return FHandle; }
    void Restart(std::initializer_list<qint64> values)
    {
        sqlite3_reset(FHandle);
        int index = 1;
        for (qint64 value : values)
            sqlite3_bind_int64(FHandle, index++, value);
    }
    bool Step()
    {
        const int rc = sqlite3_step(FHandle);
        if (rc == SQLITE_ROW)
            return true;
        CheckSqlite(FDb, rc);
        return false;
    }

private:
    sqlite3 *FDb;
    sqlite3_stmt *FHandle = nullptr;
};

// Reports at most every 500 ms, as the scan does, so that a short export shows nothing at all.
class TExportProgress
{
public:
    TExportProgress(TGlobal &global, qint64 total)
        : FGlobal(global), FTotal(total), FStart(TVolumeServices::Current().TickCount()), FLast(FStart)
    {}

    // True when the user asked to stop.
    bool Step()
    {
        ++FDone;
        // The clock is read every so many rows only: rows come by the million.
        if (!FGlobal.OnProgress || FDone % 256 != 0)
            return false;
        const quint32 now = TVolumeServices::Current().TickCount();
        if (now - FLast < 500)
            return false;
        FLast = now;
        const int percent = FTotal > 0 ? int(qMin<qint64>(100, FDone * 100 / FTotal)) : 0;
        const qint64 elapsed = qint64(now - FStart);
        const int secondsLeft =
            FDone > 0 && FTotal > FDone ? int(elapsed * (FTotal - FDone) / FDone / 1000) : -1;
        return FGlobal.OnProgress(&FGlobal, percent, secondsLeft);
    }
    void Finish()
    {
        if (FGlobal.OnProgress && FLast != FStart)
            FGlobal.OnProgress(&FGlobal, 100, 0);
    }

private:
    TGlobal &FGlobal;
    qint64 FTotal;
    qint64 FDone = 0;
    quint32 FStart;
    quint32 FLast;
};

constexpr const char *ChildrenSql =
    "SELECT Entries.ID, Entries.Name, Entries.Size, Entries.Modified, Entries.Folder, Entries.FullPath, "
    "Entries.Description, Images.Description FROM Entries LEFT JOIN Images ON Images.ImageID = "
    "Entries.ImageID "
    "WHERE Entries.Parent = ?1 AND Entries.ID > ?2 ORDER BY Entries.ID";

TExportEntry EntryOf(sqlite3_stmt *row)
{
    TExportEntry entry;
    entry.Name = ColumnText(row, 1);
    entry.HasSize = sqlite3_column_type(row, 2) != SQLITE_NULL;
    entry.Size = sqlite3_column_int64(row, 2);
    entry.Modified = TimeText(row, 3);
    entry.Folder = sqlite3_column_int(row, 4) != 0;
    entry.FullPath = ColumnText(row, 5);
    entry.Description = ColumnText(row, 6);
    entry.HasDescription = sqlite3_column_type(row, 6) != SQLITE_NULL;
    entry.Type = ColumnText(row, 7);
    return entry;
}

// Depth first below the root, with one frame per folder level holding the last child done: the
// children's statement is started again after each folder, so no statement stays open per level
// and a deep volume costs no more than its depth in memory.
bool WalkVolume(sqlite3 *db, TExportWriter &writer, TExportProgress &progress, qint64 root)
{
    TRawStatement children(db, ChildrenSql);
    struct TFrame
    {
        qint64 Folder;
        qint64 LastChild;
    };
    std::vector<TFrame> frames{{root, 0}};
    while (!frames.empty()) {
        TFrame &frame = frames.back();
        children.Restart({frame.Folder, frame.LastChild});
        bool descended = false;
        while (children.Step()) {
            sqlite3_stmt *row = children.Get();
            const qint64 id = sqlite3_column_int64(row, 0);
            const TExportEntry entry = EntryOf(row);
            frame.LastChild = id;
            writer.Entry(entry);
            if (progress.Step())
                return false;
            if (entry.Folder) {
                frames.push_back({id, 0});
                descended = true;
                break;
            }
        }
        if (!descended) {
            frames.pop_back();
            if (!frames.empty())
                writer.EndFolder();
        }
    }
    return true;
}

} // namespace

std::optional<TExportFormat> ExportFormatFromName(const QString &name)
{
    const QString lowered = name.toLower();
    if (lowered == u"csv")
        return TExportFormat::Csv;
    if (lowered == u"json")
        return TExportFormat::Json;
    if (lowered == u"html")
        return TExportFormat::Html;
    return std::nullopt;
}

QString ExportFormatSuffix(TExportFormat format)
{
    switch (format) {
    case TExportFormat::Csv:
        return QStringLiteral("csv");
    case TExportFormat::Json:
        return QStringLiteral("json");
    case TExportFormat::Html:
        return QStringLiteral("html");
    }
    return QString();
}

bool ExportCatalogue(TGlobal &global, QIODevice &out, TExportFormat format, std::optional<int> volumeId)
{
    sqlite3 *db = global.Database.Handle();
    // One snapshot of the catalogue from the first row to the last, whatever others write meanwhile.
    const bool ownTransaction = !global.Database.InTransaction();
    if (ownTransaction)
        global.Database.StartTransaction(TTransactionLock::Deferred);
    struct TEnd
    {
        TGlobal &Global;
        bool Own;
        ~TEnd()
        {
            if (Own && Global.Database.InTransaction())
                Global.Database.Rollback();
        }
    } end{global, ownTransaction};

    TRawStatement count(db, volumeId ? "SELECT count(*) FROM Entries WHERE CD = ?1"
                                     : "SELECT count(*) FROM Entries");
    count.Restart({volumeId.value_or(0)});
    count.Step();
    TExportProgress progress(global, sqlite3_column_int64(count.Get(), 0));

    TRawStatement volumes(db,
                          "SELECT Entries.ID, Entries.Name, Entries.Size, Entries.Modified, 1, NULL, "
                          "Entries.Description, Images.Description, CDs.VolumeLabel, CDs.SerialNum "
                          "FROM Entries LEFT JOIN CDs ON CDs.ID = Entries.ID "
                          "LEFT JOIN Images ON Images.ImageID = Entries.ImageID "
                          "WHERE Entries.Parent IS NULL AND (?1 = 0 OR Entries.ID = ?1) ORDER BY Entries.ID");
    // The volumes are few: their roots are read first, so that the walk of each has the connection
    // to itself.
    struct TRoot
    {
        qint64 ID;
        QByteArray Name, Modified, Description, Type, Label, Serial;
        qint64 Size;
        bool HasSize, HasDescription;
    };
    std::vector<TRoot> roots;
    volumes.Restart({volumeId.value_or(0)});
    while (volumes.Step()) {
        sqlite3_stmt *row = volumes.Get();
        roots.push_back(
            {sqlite3_column_int64(row, 0), ColumnText(row, 1).toByteArray(), TimeText(row, 3).toByteArray(),
             ColumnText(row, 6).toByteArray(), ColumnText(row, 7).toByteArray(),
             ColumnText(row, 8).toByteArray(), ColumnText(row, 9).toByteArray(), sqlite3_column_int64(row, 2),
             sqlite3_column_type(row, 2) != SQLITE_NULL, sqlite3_column_type(row, 6) != SQLITE_NULL});
    }

    std::unique_ptr<TExportWriter> writer = NewExportWriter(format, out);
    writer->Begin();
    for (const TRoot &root : roots) {
        TExportVolume volume;
        volume.ID = root.ID;
        volume.Label = root.Label;
        volume.Serial = root.Serial;
        volume.Root.Name = root.Name;
        volume.Root.Size = root.Size;
        volume.Root.HasSize = root.HasSize;
        volume.Root.Modified = root.Modified;
        volume.Root.Folder = true;
        volume.Root.Description = root.Description;
        volume.Root.HasDescription = root.HasDescription;
        volume.Root.Type = root.Type;
        writer->BeginVolume(volume);
        if (progress.Step() || !WalkVolume(db, *writer, progress, root.ID))
            return false;
        writer->EndVolume();
    }
    writer->End();
    progress.Finish();
    return true;
}
