// The entries of archives found on a volume, catalogued below the archive's row as if it were a
// folder.

#include "ArchiveReaders.h"
#include "EntryRows.h"
#include "VolumeSources.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QHash>

namespace {

// Writes the entries a walk of an archive gives as rows of Entries: one level per archive, the
// volume's first, each with the folders met in it so far.
class TArchiveRows final : public TArchiveVisitor
{
public:
    TArchiveRows(TGlobal &global, int archiveId, const QString &fullPath, int cd)
        : FGlobal(global), FRows(global.Database, QStringLiteral("Entries")), FCd(cd)
    {
        FRows.SetInArchive(true);
        FLevels.push_back({archiveId, fullPath, {}, 0});
    }

    // The archives holding entries whose names lead outside them, and how many each.
    QList<std::pair<QString, qint64>> UnsafeNames() const { return FUnsafeNames; }

    void Entry(const TArchiveEntry &entry, int depth, bool nested) override
    {
        Q_UNUSED(depth); // each archive inside ends with EndNested
        TLevel &level = FLevels.back();
        const std::optional<QStringList> parts = ArchivePathParts(entry.Path);
        TDirEntry row;
        row.IsDirectory = entry.IsDirectory;
        row.Size = entry.IsDirectory ? 0 : entry.Size;
        row.Stated = entry.HasTime;
        row.Time = entry.Time;

        int parentId = level.RowId;
        QString fullPath = level.FullPath;
        QString name = entry.Path;
        QStringList folders;
        if (!parts) {
            // Kept as text at the archive's top, never followed as a path.
            ++level.UnsafeNames;
        } else if (parts->isEmpty()) {
            if (entry.IsDirectory)
                return;
        } else {
            folders = parts->mid(0, parts->size() - 1);
            name = parts->last();
            if (entry.IsDirectory) {
                folders.append(name);
                const QString key = folders.join(u'/');
                // Named by an entry of its own after entries inside it made it.
                if (level.Folders.contains(key))
                    return;
                folders.removeLast();
            }
            for (qsizetype i = 0; i < folders.size(); ++i)
                parentId = Folder(level, folders.mid(0, i + 1)).Id;
            for (const QString &folder : folders)
                fullPath += folder + u'\\';
        }

        const int type = entry.IsDirectory ? 1 : FGlobal.ImageIDForFile(name);
        const int id = FRows.Append(row, name, fullPath, parentId, FCd, type, nested);
        if (entry.IsDirectory && parts && !parts->isEmpty())
            level.Folders.insert((folders + QStringList{name}).join(u'/'), {id, 0});
        if (!entry.IsDirectory && parts) {
            for (qsizetype i = 1; i <= folders.size(); ++i)
                level.Folders[folders.mid(0, i).join(u'/')].Size += row.Size;
        }
        if (nested)
            FLevels.push_back({id, fullPath + name + u'\\', {}, 0});
        if (FGlobal.DoProgress(TProgressKind::Bytes))
            throw EStopLoading();
    }

    void EndNested() override
    {
        if (FLevels.empty())
            return;
        // Folder sizes last: they are the totals of what lies below each.
        for (const TFolder &folder : std::as_const(FLevels.back().Folders))
            FRows.SetFolderSize(folder.Id, folder.Size);
        if (FLevels.back().UnsafeNames > 0)
            FUnsafeNames.append({FLevels.back().FullPath.chopped(1), FLevels.back().UnsafeNames});
        FLevels.pop_back();
    }

    void Finish()
    {
        while (!FLevels.empty())
            EndNested();
    }

private:
    struct TFolder
    {
        int Id = 0;
        qint64 Size = 0;
    };
    struct TLevel
    {
        int RowId = 0;
        QString FullPath;
        QHash<QString, TFolder> Folders; // by their path in the archive, "/"-separated
        qint64 UnsafeNames = 0;
    };

    // The folder at path in the level's archive, made when no entry named it yet.
    const TFolder &Folder(TLevel &level, const QStringList &path)
    {
        const QString key = path.join(u'/');
        if (const auto it = level.Folders.constFind(key); it != level.Folders.constEnd())
            return it.value();
        QString fullPath = level.FullPath;
        for (qsizetype i = 0; i + 1 < path.size(); ++i)
            fullPath += path[i] + u'\\';
        const int parentId =
            path.size() > 1 ? level.Folders.value(path.mid(0, path.size() - 1).join(u'/')).Id : level.RowId;
        TDirEntry folder;
        folder.IsDirectory = true;
        const int id = FRows.Append(folder, path.last(), fullPath, parentId, FCd, 1);
        return *level.Folders.insert(key, {id, 0});
    }

    TGlobal &FGlobal;
    TEntryRows FRows;
    int FCd;
    std::vector<TLevel> FLevels;
    QList<std::pair<QString, qint64>> FUnsafeNames;
};

} // namespace

std::unique_ptr<TArchiveReader> TGlobal::OpenArchive(TVolumeSource &source, const QString &folder,
                                                     const TDirEntry &file)
{
    const int fd = source.OpenFile(folder, file);
    if (fd < 0)
        return nullptr;
    auto reader = std::make_unique<TArchiveReader>(ArchiveLimits);
    if (!reader->OpenFile(fd))
        return nullptr;
    return reader;
}

void TGlobal::LoadArchive(TArchiveReader &archive, int archiveId, const QString &fullPath, int cd)
{
    TArchiveRows rows(*this, archiveId, fullPath, cd);
    const QList<TArchiveProblem> problems = archive.Walk(rows);
    rows.Finish();

    // The archive as the catalogue shows it: its path below the volume root.
    const QString shown = fullPath.chopped(1);
    for (const TArchiveProblem &problem : problems) {
        const QString name =
            problem.Inner.isEmpty() ? shown : shown + u'\\' + QString(problem.Inner).replace(u'/', u'\\');
        switch (problem.End) {
        case TArchiveEnd::Damaged:
            ArchiveNotes << QCoreApplication::translate(
                                "TGlobal",
                                "%1 is damaged or cut short after %2 entries; those are catalogued%3")
                                .arg(name)
                                .arg(problem.EntriesRead)
                                .arg(problem.Detail.isEmpty() ? QString()
                                                              : QStringLiteral(" (%1)").arg(problem.Detail));
            break;
        case TArchiveEnd::TooManyEntries:
            ArchiveNotes << QCoreApplication::translate(
                                "TGlobal", "%1 holds more than %2 entries; the rest is not catalogued")
                                .arg(name)
                                .arg(ArchiveLimits.MaxEntries);
            break;
        case TArchiveEnd::TooManyHeaderBytes:
            ArchiveNotes << QCoreApplication::translate(
                                "TGlobal",
                                "%1 has more than %2 bytes of entry headers; the rest is not catalogued")
                                .arg(name)
                                .arg(ArchiveLimits.MaxHeaderBytes);
            break;
        case TArchiveEnd::Complete:
            break;
        }
    }
    for (const auto &[name, count] : rows.UnsafeNames())
        ArchiveNotes
            << QCoreApplication::translate(
                   "TGlobal",
                   "%1 holds %2 entries whose names lead outside it; they are catalogued under their "
                   "whole names")
                   .arg(name)
                   .arg(count);
}
