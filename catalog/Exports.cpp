#include "Exports.h"

#include "ExportWriters.h"
#include "SqliteStatements.h"
#include "Statements.h"
#include "VolumeServices.h"
#include "dmGlobal.h"

#include <QIODevice>
#include <deque>
#include <sqlite3.h>
#include <vector>

namespace {

// The engine's own statement, read without a copy: an export reads millions of rows, and on
// SQLite the copies through TStatement's values cost a good part of its time.
class TRawStatement
{
public:
    TRawStatement(TDatabase &database, const char *sql) : FDb(database.Handle())
    {
        CheckSqlite(FDb, sqlite3_prepare_v2(FDb, sql, -1, &FHandle, nullptr));
    }
    ~TRawStatement() { sqlite3_finalize(FHandle); }
    TRawStatement(const TRawStatement &) = delete;
    TRawStatement &operator=(const TRawStatement &) = delete;

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
    qint64 Int64(int column) const { return sqlite3_column_int64(FHandle, column); }
    bool IsNull(int column) const { return sqlite3_column_type(FHandle, column) == SQLITE_NULL; }
    // Valid until the next step.
    QByteArrayView Text(int column)
    {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(FHandle, column));
        return text ? QByteArrayView(text, sqlite3_column_bytes(FHandle, column)) : QByteArrayView();
    }

private:
    sqlite3 *FDb;
    sqlite3_stmt *FHandle = nullptr;
};

// The same reads through the statement interface, for the other engines.
class TDriverStatement
{
public:
    TDriverStatement(TDatabase &database, const char *sql)
        : FStatement(database.Prepare(QString::fromUtf8(sql)))
    {}

    void Restart(std::initializer_list<qint64> values)
    {
        FStatement->Reset();
        // As on SQLite, a value the statement has no parameter for is left out.
        int index = 1;
        for (qint64 value : values)
            if (index <= FStatement->ParameterCount())
                FStatement->Bind(index++, TVariant(value));
    }
    bool Step()
    {
        FTexts.clear();
        return FStatement->Step();
    }
    qint64 Int64(int column) const { return FStatement->ColumnInt64(column); }
    bool IsNull(int column) const { return FStatement->ColumnIsNull(column); }
    // Valid until the next step.
    QByteArrayView Text(int column)
    {
        FTexts.push_back(FStatement->Column(column, TFieldType::String).AsString().toUtf8());
        return FTexts.back();
    }

private:
    std::shared_ptr<TStatement> FStatement;
    std::deque<QByteArray> FTexts;
};

// The catalogue keeps milliseconds no disk gives.
template <typename TRows> QByteArrayView TimeText(TRows &row, int column)
{
    const QByteArrayView text = row.Text(column);
    return text.first(qMin<qsizetype>(19, text.size()));
}

// Reports at most every 500 ms, as the scan does, so that a short export shows nothing at all.
class TExportProgress
{
public:
    TExportProgress(const TExportProgressEvent &report, qint64 total)
        : FReport(report), FTotal(total), FStart(TVolumeServices::Current().TickCount()), FLast(FStart)
    {}

    // True when the user asked to stop.
    bool Step()
    {
        ++FDone;
        // The clock is read every so many rows only: rows come by the million.
        if (!FReport || FDone % 256 != 0)
            return false;
        const quint32 now = TVolumeServices::Current().TickCount();
        if (now - FLast < 500)
            return false;
        FLast = now;
        const int percent = FTotal > 0 ? int(qMin<qint64>(100, FDone * 100 / FTotal)) : 0;
        const qint64 elapsed = qint64(now - FStart);
        const int secondsLeft =
            FDone > 0 && FTotal > FDone ? int(elapsed * (FTotal - FDone) / FDone / 1000) : -1;
        return FReport(percent, secondsLeft);
    }
    void Finish()
    {
        if (FReport && FLast != FStart)
            FReport(100, 0);
    }

private:
    const TExportProgressEvent &FReport;
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

template <typename TRows> TExportEntry EntryOf(TRows &row)
{
    TExportEntry entry;
    entry.Name = row.Text(1);
    entry.HasSize = !row.IsNull(2);
    entry.Size = row.Int64(2);
    entry.Modified = TimeText(row, 3);
    entry.Folder = row.Int64(4) != 0;
    entry.FullPath = row.Text(5);
    entry.Description = row.Text(6);
    entry.HasDescription = !row.IsNull(6);
    entry.Type = row.Text(7);
    return entry;
}

// Depth first below the root, with one frame per folder level holding the last child done: the
// children's statement is started again after each folder, so no statement stays open per level
// and a deep volume costs no more than its depth in memory.
template <typename TRows>
bool WalkVolume(TDatabase &database, TExportWriter &writer, TExportProgress &progress, qint64 root)
{
    TRows children(database, ChildrenSql);
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
            const qint64 id = children.Int64(0);
            const TExportEntry entry = EntryOf(children);
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

template <typename TRows>
bool ExportWith(TDatabase &db, QIODevice &out, TExportFormat format, std::optional<int> volumeId,
                const TExportProgressEvent &onProgress)
{
    // One snapshot of the catalogue from the first row to the last, whatever others write meanwhile.
    const bool ownTransaction = !db.InTransaction();
    if (ownTransaction)
        db.StartTransaction(TTransactionLock::Deferred);
    struct TEnd
    {
        TDatabase &Database;
        bool Own;
        ~TEnd()
        {
            if (Own && Database.InTransaction())
                Database.Rollback();
        }
    } end{db, ownTransaction};

    TRows count(db, volumeId ? "SELECT count(*) FROM Entries WHERE CD = ?1" : "SELECT count(*) FROM Entries");
    count.Restart({volumeId.value_or(0)});
    count.Step();
    TExportProgress progress(onProgress, count.Int64(0));

    TRows volumes(db, "SELECT Entries.ID, Entries.Name, Entries.Size, Entries.Modified, 1, NULL, "
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
        roots.push_back({volumes.Int64(0), volumes.Text(1).toByteArray(), TimeText(volumes, 3).toByteArray(),
                         volumes.Text(6).toByteArray(), volumes.Text(7).toByteArray(),
                         volumes.Text(8).toByteArray(), volumes.Text(9).toByteArray(), volumes.Int64(2),
                         !volumes.IsNull(2), !volumes.IsNull(6)});
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
        if (progress.Step() || !WalkVolume<TRows>(db, *writer, progress, root.ID))
            return false;
        writer->EndVolume();
    }
    writer->End();
    progress.Finish();
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

bool ExportCatalogue(TDatabase &database, QIODevice &out, TExportFormat format, std::optional<int> volumeId,
                     const TExportProgressEvent &onProgress)
{
    if (database.IsPostgres())
        return ExportWith<TDriverStatement>(database, out, format, volumeId, onProgress);
    return ExportWith<TRawStatement>(database, out, format, volumeId, onProgress);
}

bool ExportCatalogue(TGlobal &global, QIODevice &out, TExportFormat format, std::optional<int> volumeId)
{
    TExportProgressEvent onProgress;
    if (global.OnProgress)
        onProgress = [&global](int percent, int secondsLeft) {
            return global.OnProgress(&global, percent, secondsLeft);
        };
    return ExportCatalogue(global.Database, out, format, volumeId, onProgress);
}
