#include "FolderMatches.h"

#include "EntryRows.h"
#include "FileNames.h"
#include "Statements.h"
#include "VolumeServices.h"
#include "dmGlobal.h"

namespace {

QString withSlash(const QString &path)
{
    return path.endsWith(u'/') ? path : path + u'/';
}

void setUp(TDBDataSet &dataSet, TGlobal &global, const QString &name)
{
    dataSet.SetName(name);
    dataSet.SetDatabase(&global.Database);
}

} // namespace

QString MatchQueryName(bool byPath, bool bySize, bool byTime)
{
    return QString::fromUtf16(MatchQueryNames[size_t(byPath) * 4 + size_t(bySize) * 2 + size_t(byTime)]);
}

TFolderComparison::TFolderComparison(TGlobal &global) : FGlobal(global)
{
    setUp(Temp, global, QStringLiteral("Temp"));
    Temp.SetTableName(QStringLiteral("Temp_Entry"));
    Temp.SetFieldNames({QStringLiteral("ID"), QStringLiteral("Parent"), QStringLiteral("Name"),
                        QStringLiteral("Size"), QStringLiteral("Modified"), QStringLiteral("ImageID"),
                        QStringLiteral("CD"), QStringLiteral("Description"), QStringLiteral("Folder"),
                        QStringLiteral("FullPath")});

    setUp(ClearTemp, global, QStringLiteral("ClearTemp"));
    ClearTemp.SetSQL({QStringLiteral("DELETE"), QStringLiteral("FROM Temp_Entry")});
    setUp(ClearMatch, global, QStringLiteral("ClearMatch"));
    ClearMatch.SetSQL({QStringLiteral("DELETE"), QStringLiteral("FROM MatchedEntries")});

    // The root of the scan has no parent and is never listed.
    setUp(OnDisk, global, QStringLiteral("OnDisk"));
    OnDisk.SetSQL(
        {QStringLiteral("SELECT DISTINCT Name, Temp_Entry.ID AS ID, ImageID, FullPath, Size, Modified"),
         QStringLiteral(
             "FROM Temp_Entry INNER JOIN MatchedEntries ON (Temp_Entry.ID = MatchedEntries.MatchedID)"),
         QStringLiteral("WHERE (Temp_Entry.Parent <> 0)")});
    dsOnDisk.SetName(QStringLiteral("dsOnDisk"));
    dsOnDisk.SetDataSet(&OnDisk);

    // An entry in the root of its volume has no FullPath: it is shown in the volume's root rather
    // than nowhere.
    setUp(InLib, global, QStringLiteral("InLib"));
    InLib.SetSQL(
        {QStringLiteral("SELECT Entries.ID, Name, Size, Modified, CDs.VolumeLabel || ':\\' || "
                        "IFNULL(FullPath, '') AS CDPath, "
                        "Entries.ImageID AS ImageID"),
         QStringLiteral("FROM (Entries INNER JOIN MatchedEntries ON (Entries.ID = MatchedEntries.EntryID))"),
         QStringLiteral("         INNER JOIN CDs ON (Entries.CD = CDs.ID)"),
         QStringLiteral("WHERE (MatchedEntries.MatchedID = :id) AND (Parent <> 0)")});
    dsInLib.SetName(QStringLiteral("dsInLib"));
    dsInLib.SetDataSet(&InLib);

    setUp(FindMatch, global, QStringLiteral("FindMatch"));
}

TFolderComparison::~TFolderComparison() = default;

bool TFolderComparison::RunComparison(const QString &folder, bool byPath, bool bySize, bool byTime,
                                      const TCheckStop &checkStop)
{
    CheckNotComparing();
    FindMatch.SetStoredProcName(MatchQueryName(byPath, bySize, byTime));
    TDatabase &database = FGlobal.Database;

    // The scratch tables are the connection's own, but the data sets that fill them take a
    // catalogue that cannot be written as wholly read-only.
    database.CheckWritable();

    // The scan writes in a transaction committed every half second, at the end, on a stop and on
    // an error: thousands of rows each committed alone would take longer than the comparison.
    // It writes only the connection's own tables, so it leaves the catalogue's lock to others: a
    // second comparison or a scan elsewhere runs meanwhile. A transaction of the caller's is left
    // to the caller.
    FOwnTransaction = !database.InTransaction();
    if (FOwnTransaction)
        database.StartTransaction(TTransactionLock::Deferred);
    FComparing = true;
    auto finish = [&] {
        FComparing = false;
        FCheckStop = nullptr;
        FExtensionTypes.clear();
        if (FOwnTransaction && database.InTransaction())
            database.Commit();
        FOwnTransaction = false;
    };
    try {
        Temp.Close();
        ClearTemp.ExecSQL();
        ClearMatch.ExecSQL();

        Temp.Open();
        Temp.Append();
        Temp.FieldByName(QStringLiteral("Folder"))->SetAsBoolean(true);
        Temp.FieldByName(QStringLiteral("ImageID"))->SetAsInteger(2);
        Temp.Post();
        const int rootId = Temp.FieldByName(QStringLiteral("ID"))->AsInteger();
        const TBookmark rootRow = Temp.GetBookmark();

        FCheckStop = checkStop;
        FLastCommitTick = TVolumeServices::Current().TickCount();
        qint64 total = 0;
        // A folder that does not exist or cannot be resolved gives an empty scan.
        if (const std::optional<TFolderLocation> location = TVolumeServices::Current().LocateFolder(folder)) {
            QString root = location->VolumeRoot;
            if (!FVolumeRoot.isEmpty()) {
                const std::optional<TFolderLocation> given =
                    TVolumeServices::Current().LocateFolder(FVolumeRoot);
                root = given ? given->Folder : FVolumeRoot;
            }
            const QString path = withSlash(location->Folder);
            FScanRoot = withSlash(root);
            // A folder that is not below the root given keeps its paths whole.
            if (!path.startsWith(FScanRoot))
                FScanRoot = QStringLiteral("/");
            FScanDevice = TVolumeServices::Current().DeviceOf(location->Folder).value_or(0);
            ScanFolderToTemp(path, rootId, total, rootId);
        }

        Temp.GotoBookmark(rootRow);
        Temp.Edit();
        Temp.FieldByName(QStringLiteral("CD"))->SetAsInteger(rootId);
        Temp.FieldByName(QStringLiteral("Size"))->SetAsLargeInt(total);
        Temp.Post();
        finish();

        FindMatch.ExecProc();
        OnDisk.Close();
        OnDisk.Open();
        OnDisk.First();
        const bool found = !OnDisk.IsEmpty();
        InLib.Close();
        InLib.Open();
        return found;
    } catch (...) {
        finish();
        throw;
    }
}

void TFolderComparison::ScanFolderToTemp(const QString &path, int parent, qint64 &total, int volume)
{
    total = 0;
    // The folder is listed whole and its listing closed before anything below it is walked, so a
    // deep chain of folders holds no handle per level.
    const std::optional<QList<TDirEntry>> entries = TVolumeServices::Current().ListDirectory(path);
    CheckStop();
    if (!entries)
        return;
    const QString fullPath = path.mid(FScanRoot.size()).replace(u'/', u'\\');

    TEntryRows rows(Temp);
    for (const TDirEntry &entry : *entries) {
        const QString found = FileNameToText(entry.Name);
        const int rowId = rows.Append(entry, found, fullPath, parent, volume,
                                      entry.IsDirectory ? 1 : ImageIDForFile(found));
        if (entry.IsDirectory) {
            const int folderId = rowId;
            const TBookmark row = Temp.GetBookmark();
            qint64 sub = 0;
            // Something mounted inside the folder is another volume: recorded, not entered, as
            // the scan does.
            if (!entry.Stated || entry.Device == FScanDevice)
                ScanFolderToTemp(path + found + u'/', folderId, sub, volume);
            rows.SetFolderSize(row, sub);
            total += sub;
        } else {
            total += entry.Size;
        }
        CheckStop();
    }
}

void TFolderComparison::CheckStop()
{
    TDatabase &database = FGlobal.Database;
    const quint32 now = TVolumeServices::Current().TickCount();
    if (FOwnTransaction && now - FLastCommitTick > 500) {
        database.Commit();
        database.StartTransaction(TTransactionLock::Deferred);
        FLastCommitTick = now;
    }
    if (FCheckStop && FCheckStop())
        throw EStopComparing();
}

qint16 TFolderComparison::ImageIDForFile(const QString &name)
{
    // A folder has few distinct extensions among many files, and the types cannot change while it
    // is walked: each extension (the text after the first dot, which is what the data module looks
    // up) is looked up once in each letter case met.
    const qsizetype dot = name.indexOf(u'.');
    const QString extension = dot < 0 ? name : name.mid(dot + 1);
    if (const auto it = FExtensionTypes.constFind(extension); it != FExtensionTypes.constEnd())
        return it.value();
    const qint16 type = FGlobal.ImageIDForFile(name);
    if (FExtensionTypes.size() < 10000)
        FExtensionTypes.insert(extension, type);
    return type;
}

void TFolderComparison::ShowMatchesInLibrary(int diskEntryId)
{
    InLib.Close();
    InLib.ParamByName(QStringLiteral("id"))->SetAsInteger(diskEntryId);
    InLib.Open();
}

void TFolderComparison::ForEachPair(const std::function<void(const TStatement &row)> &onRow)
{
    const std::shared_ptr<TStatement> pairs = FGlobal.Database.Prepare(QStringLiteral(
        "SELECT Temp_Entry.FullPath, Temp_Entry.Name, Entries.ID, "
        "CDs.VolumeLabel || ':\\' || IFNULL(Entries.FullPath, '') AS CDPath, Entries.Name, Entries.Size, "
        "Entries.Modified "
        "FROM MatchedEntries "
        "INNER JOIN Temp_Entry ON Temp_Entry.ID = MatchedEntries.MatchedID "
        "INNER JOIN Entries ON Entries.ID = MatchedEntries.EntryID "
        "INNER JOIN CDs ON CDs.ID = Entries.CD "
        "WHERE Temp_Entry.Parent <> 0 AND Entries.Parent <> 0 "
        "ORDER BY IFNULL(Temp_Entry.FullPath, ''), Temp_Entry.Name, Temp_Entry.ID, Entries.ID"));
    while (pairs->Step())
        onRow(*pairs);
}

void TFolderComparison::CheckNotComparing() const
{
    if (FComparing)
        throw EComparing();
}

void TFolderComparison::ClearScratch()
{
    CheckNotComparing();
    OnDisk.Close();
    InLib.Close();
    Temp.Close();
    ClearTemp.ExecSQL();
    ClearMatch.ExecSQL();
}
