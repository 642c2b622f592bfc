// Bringing a catalogued volume up to date with its disk, in place: the rows of what did not change
// stay, with their IDs and the descriptions the user typed.

#include "AllOrNothing.h"
#include "EntryRows.h"
#include "FileNames.h"
#include "VolumeServices.h"
#include "VolumeSources.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <algorithm>
#include <memory>
#include <tuple>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("TGlobal", text);
}

// One entry of a folder as the catalogue holds it.
struct TStoredEntry
{
    int Id = 0;
    QString Name;
    bool Folder = false;
    qint64 Size = -1; // -1: none yet
    std::optional<TDateTime> Modified;
    QString FullPath;
    bool Archive = false; // its content is catalogued below it
};

bool sameTime(const std::optional<TDateTime> &stored, const TDirEntry &entry)
{
    if (!entry.Stated)
        return !stored;
    return stored && *stored == entry.Time;
}

} // namespace

// The walk of an update: one folder at a time, its listing against its catalogued entries.
class TVolumeUpdate
{
public:
    TVolumeUpdate(TGlobal &global, TVolumeSource &source, int cd, TVolumeChanges &changes,
                  TGlobal::TImportFilter &filter, QList<int> &noted)
        : FGlobal(global), FSource(source), FCd(cd), FChanges(changes), FFilter(filter), FNoted(noted),
          FDatabase(global.Database)
    {}

    // Brings the entries below folderId up to date with folder of the source ("" for the root,
    // else ending in "/"), and gives the size of what is in it. A folder just added has no
    // catalogued entries to compare with.
    qint64 Folder(const QString &folder, int folderId, bool added);

private:
    QList<TStoredEntry> StoredEntries(int folderId);
    int Insert(const TDirEntry &entry, const QString &found, const QString &fullPath, int parent);
    // Deletes an entry that is gone and everything below it, each reported removed. An entry
    // that is another thing now is deleted without being reported (the caller reports it
    // changed); a folder that the walk does not enter any more keeps its row.
    // Replaced: the entry goes, what was in it is reported; EmptiedOnly: what was in it goes,
    // reported; Content: an archive's content goes, unreported, as the archive itself is.
    enum class TRemoved { Reported, Replaced, EmptiedOnly, Content };
    void Remove(const TStoredEntry &stored, TRemoved how);
    // The folder added: everything in it is new.
    qint64 AddedFolder(const TDirEntry &entry, const QString &path, int id);
    void Report(TChangeKind kind, const QString &path) { FChanges.Changes.append({kind, path}); }
    // The content of the archive a file of the disk may be, as a scan would catalogue it.
    void ArchiveContent(const TDirEntry &entry, const QString &folder, const QString &found,
                        const QString &fullPath, int rowId, const TStoredEntry *stored, bool changed);
    void Exec(const QString &sql, const TVariantArray &params);

    TGlobal &FGlobal;
    TVolumeSource &FSource;
    int FCd;
    TVolumeChanges &FChanges;
    TGlobal::TImportFilter &FFilter;
    QList<int> &FNoted;
    TDatabase &FDatabase;
};

QList<TStoredEntry> TVolumeUpdate::StoredEntries(int folderId)
{
    const std::shared_ptr<TStatement> select = FDatabase.AcquireStatement(QStringLiteral(
        "SELECT ID, Name, Folder, Size, Modified, FullPath, Archive FROM Entries WHERE Parent = ?1"));
    select->Bind(1, TVariant(folderId));
    QList<TStoredEntry> stored;
    while (select->Step()) {
        TStoredEntry entry;
        entry.Id = int(select->ColumnInt64(0));
        entry.Name = select->Column(1, TFieldType::String).AsString();
        entry.Folder = select->ColumnInt64(2) != 0;
        entry.Size = select->ColumnIsNull(3) ? -1 : select->ColumnInt64(3);
        if (!select->ColumnIsNull(4))
            entry.Modified = select->Column(4, TFieldType::DateTime).AsDateTime();
        entry.FullPath = select->Column(5, TFieldType::String).AsString();
        entry.Archive = select->ColumnInt64(6) != 0;
        stored.append(std::move(entry));
    }
    select->Reset();
    return stored;
}

void TVolumeUpdate::Exec(const QString &sql, const TVariantArray &params)
{
    const std::shared_ptr<TStatement> statement = FDatabase.AcquireStatement(sql);
    statement->BindAll(params);
    statement->Execute();
    statement->Reset();
}

int TVolumeUpdate::Insert(const TDirEntry &entry, const QString &found, const QString &fullPath, int parent)
{
    // The row as the scan writes it (TEntryRows).
    const qint16 imageId = entry.IsDirectory ? qint16(1) : FGlobal.ImageIDForFile(found);
    const std::shared_ptr<TStatement> insert = FDatabase.AcquireStatement(
        QStringLiteral("INSERT INTO Entries (Name, Modified, FullPath, Parent, CD, ImageID, Folder, Size) "
                       "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)") +
        FDatabase.ReturningKey(QStringLiteral("ID")));
    insert->BindAll({TVariant(LowerAfterFirst(found)), entry.Stated ? TVariant(entry.Time) : TVariant::Null(),
                     fullPath.isEmpty() ? TVariant::Null() : TVariant(fullPath), TVariant(parent),
                     TVariant(FCd), TVariant(imageId), TVariant(entry.IsDirectory),
                     entry.IsDirectory ? TVariant::Null() : TVariant(entry.Size)});
    insert->Execute();
    const int id = int(insert->LastInsertId());
    insert->Reset();
    FFilter.Entries.insert(id);
    return id;
}

void TVolumeUpdate::Remove(const TStoredEntry &stored, TRemoved how)
{
    // Parents before what is in them; deleted the other way round, so no delete cascades, at
    // any depth.
    QList<int> ids;
    {
        const std::shared_ptr<TStatement> below = FDatabase.AcquireStatement(QStringLiteral(
            "WITH RECURSIVE Below(ID) AS (SELECT CAST(?1 AS INTEGER) UNION ALL SELECT Entries.ID FROM Below "
            "CROSS JOIN Entries ON Entries.Parent = Below.ID) "
            "SELECT Entries.ID, Entries.FullPath, Entries.Name FROM Below CROSS JOIN Entries ON Entries.ID = "
            "Below.ID"));
        below->Bind(1, TVariant(stored.Id));
        while (below->Step()) {
            const int id = int(below->ColumnInt64(0));
            const bool itself = id == stored.Id;
            if (itself && (how == TRemoved::EmptiedOnly || how == TRemoved::Content))
                continue;
            ids.append(id);
            if ((itself && how == TRemoved::Replaced) || how == TRemoved::Content)
                continue;
            ++FChanges.Removed;
            Report(TChangeKind::Removed,
                   below->Column(1, TFieldType::String).AsString().replace(u'\\', u'/') +
                       below->Column(2, TFieldType::String).AsString());
        }
        below->Reset();
    }
    for (auto it = ids.crbegin(); it != ids.crend(); ++it)
        Exec(QStringLiteral("DELETE FROM Entries WHERE ID = ?1"), {TVariant(*it)});
}

void TVolumeUpdate::ArchiveContent(const TDirEntry &entry, const QString &folder, const QString &found,
                                   const QString &fullPath, int rowId, const TStoredEntry *stored,
                                   bool changed)
{
    const bool hadContent = stored && stored->Archive;
    // What an unchanged archive held is kept, read with archives looked into or not.
    if (hadContent && !changed)
        return;
    // What a changed one held is of no use any more.
    if (hadContent) {
        Remove(*stored, TRemoved::Content);
        Exec(QStringLiteral("UPDATE Entries SET Archive = 0 WHERE ID = ?1"), {TVariant(rowId)});
    }
    if (!FGlobal.ProcessArchives)
        return;
    const std::unique_ptr<TArchiveReader> archive = FGlobal.OpenArchive(FSource, folder, entry);
    if (!archive)
        return;
    Exec(QStringLiteral("UPDATE Entries SET Archive = 1 WHERE ID = ?1"), {TVariant(rowId)});
    // The archive's rows are written as the scan writes them.
    if (!FGlobal.Main.Active())
        FGlobal.Main.Open();
    FGlobal.LoadArchive(*archive, rowId, fullPath + found + u'\\', FCd);
}

qint64 TVolumeUpdate::AddedFolder(const TDirEntry &entry, const QString &path, int id)
{
    const qint64 size = FSource.Enters(entry) ? Folder(path + u'/', id, true) : 0;
    Exec(QStringLiteral("UPDATE Entries SET Size = ?1 WHERE ID = ?2"), {TVariant(size), TVariant(id)});
    return size;
}

qint64 TVolumeUpdate::Folder(const QString &folder, int folderId, bool added)
{
    const std::optional<QList<TDirEntry>> listed = FSource.ListFolder(folder);
    if (!listed) {
        if (folderId == FCd)
            throw EUpdateError(QCoreApplication::translate("TGlobal", "The volume at %1 cannot be read.")
                                   .arg(FSource.DisplayName()));
        // A folder that cannot be read now is kept as it was catalogued: an unreadable folder
        // is no reason to forget what was in it.
        if (added)
            return 0;
        qint64 kept = 0;
        for (const TStoredEntry &stored : StoredEntries(folderId))
            kept += qMax<qint64>(stored.Size, 0);
        const std::shared_ptr<TStatement> count = FDatabase.AcquireStatement(
            QStringLiteral("WITH RECURSIVE Below(ID) AS (SELECT ID FROM Entries WHERE Parent = ?1 UNION ALL "
                           "SELECT Entries.ID FROM Below CROSS JOIN Entries ON Entries.Parent = Below.ID) "
                           "SELECT count(*) FROM Below"));
        count->Bind(1, TVariant(folderId));
        if (count->Step())
            FChanges.Unchanged += int(count->ColumnInt64(0));
        count->Reset();
        return kept;
    }
    const QList<TDirEntry> &entries = *listed;
    const QString fullPath = QString(folder).replace(u'/', u'\\');
    QString folderPath = fullPath;
    if (folderPath.endsWith(u'\\'))
        folderPath.chop(1);
    const QList<TStoredEntry> stored = added ? QList<TStoredEntry>() : StoredEntries(folderId);

    // Pairs each entry on the disk with a catalogued one of the same stored name. Names that the
    // catalogue stores alike (README.TXT and Readme.txt on a case-sensitive volume) pair first
    // with what is identical, then with what is of the same kind, then with anything left.
    QList<QString> found(entries.size());
    QList<int> pairOf(entries.size(), -1);
    if (!stored.isEmpty()) {
        QHash<QString, QList<int>> byName;
        for (qsizetype j = 0; j < stored.size(); ++j)
            byName[stored[j].Name].append(int(j));
        QList<bool> taken(stored.size(), false);
        QList<QString> storedName(entries.size());
        for (qsizetype i = 0; i < entries.size(); ++i) {
            found[i] = FileNameToText(entries[i].Name);
            storedName[i] = LowerAfterFirst(found[i]);
        }
        for (int pass = 0; pass < 3; ++pass) {
            for (qsizetype i = 0; i < entries.size(); ++i) {
                if (pairOf[i] >= 0)
                    continue;
                const auto candidates = byName.constFind(storedName[i]);
                if (candidates == byName.constEnd())
                    continue;
                const TDirEntry &entry = entries[i];
                for (const int j : *candidates) {
                    const TStoredEntry &s = stored[j];
                    const bool sameKind = s.Folder == entry.IsDirectory;
                    const bool identical = sameKind && sameTime(s.Modified, entry) &&
                                           (entry.IsDirectory || s.Size == entry.Size);
                    if (!taken[j] && (pass == 2 || (pass == 1 && sameKind) || identical)) {
                        taken[j] = true;
                        pairOf[i] = j;
                        break;
                    }
                }
            }
        }
        for (qsizetype j = 0; j < stored.size(); ++j)
            if (!taken[j])
                Remove(stored[j], TRemoved::Reported);
    } else {
        for (qsizetype i = 0; i < entries.size(); ++i)
            found[i] = FileNameToText(entries[i].Name);
    }

    qint64 total = 0;
    bool mayHoldInfo = false;
    bool newInfo = false;
    bool newEntry = false;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const TDirEntry &entry = entries[i];
        const QString path = folder + found[i];
        const TStoredEntry *s = pairOf[i] >= 0 ? &stored[pairOf[i]] : nullptr;
        bool changedFile = false;
        if (s && s->Folder != entry.IsDirectory) {
            // A file that became a folder, or a folder a file (or a link): another thing under
            // the same name, in a row of its own.
            Remove(*s, TRemoved::Replaced);
            ++FChanges.Changed;
            Report(TChangeKind::Changed, path);
            s = nullptr;
            changedFile = !entry.IsDirectory;
        } else if (!s) {
            ++FChanges.Added;
            Report(TChangeKind::Added, path);
            changedFile = !entry.IsDirectory;
        }
        int rowId = s ? s->Id : 0;
        if (!s) {
            newEntry = true;
            const int id = rowId = Insert(entry, found[i], fullPath, folderId);
            if (entry.IsDirectory) {
                total += AddedFolder(entry, path, id);
                continue;
            }
        } else if (entry.IsDirectory) {
            const bool changed = !sameTime(s->Modified, entry);
            if (changed) {
                ++FChanges.Changed;
                Report(TChangeKind::Changed, path);
            } else {
                ++FChanges.Unchanged;
            }
            if (changed || s->FullPath != fullPath)
                Exec(QStringLiteral("UPDATE Entries SET Modified = ?1, FullPath = ?2 WHERE ID = ?3"),
                     {entry.Stated ? TVariant(entry.Time) : TVariant::Null(),
                      fullPath.isEmpty() ? TVariant::Null() : TVariant(fullPath), TVariant(s->Id)});
            qint64 sub = 0;
            if (FSource.Enters(entry))
                sub = Folder(path + u'/', s->Id, false);
            else
                Remove(*s, TRemoved::EmptiedOnly);
            if (sub != s->Size)
                Exec(QStringLiteral("UPDATE Entries SET Size = ?1 WHERE ID = ?2"),
                     {TVariant(sub), TVariant(s->Id)});
            total += sub;
            continue;
        } else if (s->Size != entry.Size || !sameTime(s->Modified, entry)) {
            ++FChanges.Changed;
            Report(TChangeKind::Changed, path);
            changedFile = true;
            Exec(QStringLiteral("UPDATE Entries SET Size = ?1, Modified = ?2, ImageID = ?3, FullPath = ?4 "
                                "WHERE ID = ?5"),
                 {TVariant(entry.Size), entry.Stated ? TVariant(entry.Time) : TVariant::Null(),
                  TVariant(FGlobal.ImageIDForFile(found[i])),
                  fullPath.isEmpty() ? TVariant::Null() : TVariant(fullPath), TVariant(s->Id)});
        } else {
            ++FChanges.Unchanged;
            if (s->FullPath != fullPath)
                Exec(QStringLiteral("UPDATE Entries SET FullPath = ?1 WHERE ID = ?2"),
                     {fullPath.isEmpty() ? TVariant::Null() : TVariant(fullPath), TVariant(s->Id)});
        }
        // A file from here on.
        ArchiveContent(entry, folder, found[i], fullPath, rowId, s, changedFile);
        if (FGlobal.MayBeInfoFile(found[i])) {
            mayHoldInfo = true;
            if (changedFile) {
                newInfo = true;
                FFilter.InfoFiles.insert(TGlobal::InfoFileKey(folderPath, LowerAfterFirst(found[i])));
            }
        }
        total += entry.Size;
        FGlobal.FBytesDone += entry.Size;
        if (FGlobal.DoProgress(TProgressKind::Bytes))
            throw EStopLoading();
    }
    if (newInfo || (mayHoldInfo && newEntry))
        FNoted.append(folderId);
    return total;
}

int TGlobal::FindVolume(TVolumeSource &source)
{
    QString label;
    QString serial;
    if (!GetVolumeInfo(source, label, serial))
        return 0;
    CDs2.Open();
    return CDs2.FindKey({TVariant(serial)}) ? CDs2.FieldByName(QStringLiteral("ID"))->AsInteger() : 0;
}

bool TGlobal::UpdateDisk(TVolumeSource &source, int cd, const QString &name, TVolumeChanges &changes,
                         bool descriptions)
{
    Database.CheckWritable();
    changes = TVolumeChanges();
    QString label;
    QString serial;
    if (!GetVolumeInfo(source, label, serial))
        throw EUpdateError(tr("There is no readable volume at %1.").arg(source.DisplayName()));
    if (cd == 0) {
        cd = FindVolume(source);
        if (cd == 0)
            throw EUpdateError(tr("The volume at %1 (serial number %2) is not in the catalogue.")
                                   .arg(source.DisplayName(), serial));
    }
    {
        TQuery volume;
        volume.SetDatabase(&Database);
        volume.SetSQL({QStringLiteral("SELECT SerialNum FROM CDs WHERE ID = :cd")});
        volume.ParamByName(QStringLiteral("cd"))->SetAsInteger(cd);
        volume.Open();
        if (volume.IsEmpty())
            throw EUpdateError(tr("The volume to update is no longer in the catalogue."));
        const QString catalogued = volume.Fields(0)->AsString();
        if (catalogued != serial)
            throw EUpdateError(tr("The volume at %1 is not the one catalogued: its serial number is %2, the "
                                  "catalogued volume's %3.")
                                   .arg(source.DisplayName(), serial, catalogued));
    }
    label = label.isEmpty() ? serial : LowerAfterFirst(label);

    TAllOrNothing update(Database, QStringLiteral("VolumeUpdate"));
    const bool progressCommits = FProgressCommits;
    FProgressCommits = false;
    TImportFilter filter;
    const bool mainWasActive = Main.Active();
    auto cleanUp = [&] {
        // Main is left open or closed as it was found.
        if (!mainWasActive)
            Main.Close();
        FScanning = false;
        FExtensionTypes.clear();
        FProgressCommits = progressCommits;
        FImportFilter = nullptr;
        FNotedCd = 0;
        FNotedFolders.clear();
    };
    try {
        DataChanged = true;
        ArchiveNotes.clear();
        FScanning = true;
        FExtensionTypes.clear();
        FStartTick = FLastReportTick = FLastCommitTick = TVolumeServices::Current().TickCount();
        FCapacity = source.Capacity();
        FBytesDone = 0;
        LoadInfoPatterns();
        QList<int> noted;
        const qint64 total =
            TVolumeUpdate(*this, source, cd, changes, filter, noted).Folder(QString(), cd, false);

        if (name.isEmpty())
            Database.ExecSQL(QStringLiteral("UPDATE Entries SET CD = ?, Size = ? WHERE ID = ?"),
                             {TVariant(cd), TVariant(total), TVariant(cd)});
        else
            Database.ExecSQL(QStringLiteral("UPDATE Entries SET CD = ?, Size = ?, Name = ? WHERE ID = ?"),
                             {TVariant(cd), TVariant(total), TVariant(name), TVariant(cd)});
        // Where a folder or an image is now (the user may have chosen it after a move); a drive
        // leaves the place recorded before, which is never used unless its serial matches.
        const QString where = source.SourcePath();
        Database.ExecSQL(
            QStringLiteral("UPDATE CDs SET VolumeLabel = ?, Source = COALESCE(?, Source) WHERE ID = ?"),
            {TVariant(label), where.isEmpty() ? TVariant::Null() : TVariant(where), TVariant(cd)});
        FScanning = false;
        if (descriptions) {
            FNotedCd = cd;
            FNotedFolders = noted;
            FImportFilter = &filter;
            changes.Skipped = LoadDescriptions(cd, source);
        }
        update.Commit();
        // As after a scan: the volume is up to date whatever befalls the indexes.
        try {
            IndexNewEntries();
        } catch (const EDatabaseError &) {
        }
        // In the order of their paths as a person reads them: letter case aside first.
        std::sort(changes.Changes.begin(), changes.Changes.end(),
                  [](const TVolumeChange &a, const TVolumeChange &b) {
                      const int byText = a.Path.compare(b.Path, Qt::CaseInsensitive);
                      if (byText != 0)
                          return byText < 0;
                      return std::tie(a.Path, a.Kind) < std::tie(b.Path, b.Kind);
                  });
    } catch (const EStopLoading &) {
        update.Rollback();
        cleanUp();
        changes = TVolumeChanges();
        return false;
    } catch (...) {
        update.Rollback();
        cleanUp();
        throw;
    }
    cleanUp();
    if (OnProgress)
        OnProgress(this, 0, 0);
    return true;
}
