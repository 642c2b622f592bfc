// The walk of a volume into the catalogue: the data module's cataloguing operations.

#include "AllOrNothing.h"
#include "CatalogSchema.h"
#include "EntryRows.h"
#include "FileNames.h"
#include "MountedSources.h"
#include "VolumeServices.h"
#include "VolumeSources.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <optional>

namespace {

QString lowerAscii(const QString &text)
{
    // Most extensions are in lower case already: they are not copied.
    if (std::none_of(text.cbegin(), text.cend(),
                     [](QChar c) { return c.unicode() >= u'A' && c.unicode() <= u'Z'; }))
        return text;
    QString result = text;
    for (QChar &c : result)
        if (c.unicode() >= u'A' && c.unicode() <= u'Z')
            c = QChar(char16_t(c.unicode() + (u'a' - u'A')));
    return result;
}

QString serialText(quint32 serial)
{
    return QString::asprintf("%4.4x-%4.4x", unsigned(serial >> 16), unsigned(serial & 0xffff));
}

// Rounding to the nearest integer, halves to the even neighbour.
int roundEven(double value)
{
    return int(std::nearbyint(value));
}

} // namespace

bool TGlobal::GetVolumeInfo(const QString &rootPath, QString &label, QString &serial)
{
    TMountedSource source(rootPath);
    return GetVolumeInfo(source, label, serial);
}

bool TGlobal::GetVolumeInfo(TVolumeSource &source, QString &label, QString &serial)
{
    const std::optional<TVolumeInfo> info = source.VolumeInformation();
    if (!info)
        return false;
    label = info->Label.toUpper();
    serial = serialText(info->Serial);
    return true;
}

qint64 TGlobal::GetDiskSize(const QString &rootPath)
{
    return TVolumeServices::Current().DiskSize(rootPath).value_or(0);
}

namespace {

// Among the types of a walk, the key that no extension can be (no name holds a NUL): it marks
// the Ext table as read.
const QString typesRead(1, QChar(0));

// Every extension of the Ext table with the type ImageIDForFile gives it. A volume has a few
// distinct extensions among many files, and some of its names have none, each looked up whole:
// one query apiece would cost as much as the row of the file. An extension listed twice has the
// type FindEx finds first, that of its first row in the table.
void readExtensionTypes(TDatabase &database, QHash<QString, qint16> &types)
{
    types.clear();
    const std::shared_ptr<TStatement> rows =
        database.AcquireStatement(QStringLiteral("SELECT Name, ImageID FROM Ext"));
    try {
        while (rows->Step()) {
            if (rows->ColumnIsNull(0))
                continue;
            const QString name = rows->Column(0, TFieldType::String).AsString();
            if (types.contains(name))
                continue;
            // Read as FindEx's field reads it.
            const TVariant value = rows->Column(1, TFieldType::Smallint);
            const int imageId = value.IsEmptyOrNull() ? 0 : value.AsInteger();
            types.insert(name, qint16(imageId != 0 ? imageId : 3));
        }
    } catch (...) {
        rows->Reset();
        types.clear();
        throw;
    }
    rows->Reset();
    types.insert(typesRead, 3);
}

} // namespace

qint16 TGlobal::ImageIDForFile(const QString &fileName)
{
    // Everything after the first dot: archive.tar.gz is looked up as tar.gz, README as readme.
    const qsizetype dot = fileName.indexOf(u'.');
    const QString extension = lowerAscii(dot < 0 ? fileName : fileName.mid(dot + 1));
    // While a volume is walked the types cannot change: they are read at the first file.
    if (FScanning) {
        if (!FExtensionTypes.contains(typesRead))
            readExtensionTypes(Database, FExtensionTypes);
        return FExtensionTypes.value(extension, 3);
    }
    FindEx.Close();
    FindEx.ParamByName(QStringLiteral("str"))->SetAsString(extension);
    FindEx.Open();
    const int imageId = FindEx.IsEmpty() ? 0 : FindEx.FieldByName(QStringLiteral("ImageID"))->AsInteger();
    return qint16(imageId != 0 ? imageId : 3);
}

int TGlobal::AddDiskRoot(const QString &rootPath, const QString &name, int pictureId)
{
    TMountedSource source(rootPath);
    return AddDiskRoot(source, name, pictureId);
}

int TGlobal::AddDiskRoot(TVolumeSource &source, const QString &name, int pictureId)
{
    QString label;
    QString serial;
    if (!GetVolumeInfo(source, label, serial))
        return -1;
    label = label.isEmpty() ? serial : LowerAfterFirst(label);

    Main.Open();
    Main.Append();
    try {
        Main.FieldByName(QStringLiteral("Name"))->SetAsString(name.isEmpty() ? label : name);
        Main.FieldByName(QStringLiteral("Folder"))->SetAsBoolean(true);
        Main.FieldByName(QStringLiteral("ImageID"))->SetAsInteger(pictureId);
        Main.Post();
    } catch (...) {
        Main.Cancel();
        throw;
    }
    const int id = Main.FieldByName(QStringLiteral("ID"))->AsInteger();

    CDs2.Open();
    CDs2.Append();
    try {
        CDs2.FieldByName(QStringLiteral("ID"))->SetAsInteger(id);
        CDs2.FieldByName(QStringLiteral("VolumeLabel"))->SetAsString(label);
        CDs2.FieldByName(QStringLiteral("SerialNum"))->SetAsString(serial);
        if (const QString where = source.SourcePath(); !where.isEmpty())
            CDs2.FieldByName(QStringLiteral("Source"))->SetAsString(where);
        CDs2.Post();
    } catch (...) {
        CDs2.Cancel();
        throw;
    }
    return id;
}

namespace {

// The rows of the walk under way (one at a time, the data module being single): the files queued
// in them are written before each report, so that what the handler sees, what a commit keeps and
// what a stop leaves are what they would be with every row written as it was met.
TEntryRows *walkRows = nullptr;

} // namespace

void TGlobal::LoadFolder(TVolumeSource &source, const QString &folder, int parentId, qint64 &total, int cd)
{
    // The walk's first call writes the rows of all.
    if (!walkRows) {
        TEntryRows rows(Database, QStringLiteral("Entries"));
        walkRows = &rows;
        const bool inTransaction = Database.InTransaction();
        try {
            LoadFolder(source, folder, parentId, total, cd);
            rows.Flush();
        } catch (...) {
            walkRows = nullptr;
            // What was met before the failure stays, as it would row by row; not when the engine
            // gave up the transaction that held it.
            if (Database.InTransaction() == inTransaction) {
                try {
                    rows.Flush();
                } catch (...) {
                    // The first failure is the one to tell.
                }
            }
            throw;
        }
        walkRows = nullptr;
        return;
    }
    TEntryRows &rows = *walkRows;
    total = 0;
    // The folder is listed whole and its listing closed before anything below it is walked, so a
    // deep chain of folders holds no handle per level.
    const std::optional<QList<TDirEntry>> entries = source.ListFolder(folder);
    if (!entries)
        return;
    const QString fullPath = QString(folder).replace(u'/', u'\\');
    rows.Reserve(int(entries->size()));

    bool noted = false;
    for (const TDirEntry &entry : *entries) {
        const QString found = FileNameToText(entry.Name);
        std::unique_ptr<TArchiveReader> archive =
            ProcessArchives && !entry.IsDirectory ? OpenArchive(source, folder, entry) : nullptr;
        const int imageId = entry.IsDirectory ? 1 : ImageIDForFile(found);
        // Only a folder's ID and an archive's are asked for: the other files are queued.
        int rowId = 0;
        if (entry.IsDirectory || archive)
            rowId = rows.Append(entry, found, fullPath, parentId, cd, imageId, archive != nullptr);
        else
            rows.Queue(entry, found, fullPath, parentId, cd, imageId);
        if (archive)
            LoadArchive(*archive, rowId, fullPath + found + u'\\', cd);
        if (entry.IsDirectory) {
            qint64 sub = 0;
            if (source.Enters(entry))
                LoadFolder(source, folder + found + u'/', rowId, sub, cd);
            rows.SetFolderSize(rowId, sub);
            total += sub;
        } else {
            if (!noted && MayBeInfoFile(found)) {
                FNotedFolders.append(parentId);
                noted = true;
            }
            total += entry.Size;
            FBytesDone += entry.Size;
            if (DoProgress(TProgressKind::Bytes))
                throw EStopLoading();
        }
    }
}

namespace {

// The engine's GLOB as the info-file queries use it: "*" and "?" only, one character each. The
// name's characters are compared as `at` gives them.
template <typename TChar, typename TAt>
bool globMatches(const uint *pattern, const uint *patternEnd, const TChar *name, const TChar *nameEnd, TAt at)
{
    const uint *star = nullptr;
    const TChar *starName = nullptr;
    while (name != nameEnd) {
        if (pattern != patternEnd && *pattern == '*') {
            star = ++pattern;
            starName = name;
        } else if (pattern != patternEnd && (*pattern == '?' || *pattern == at(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (pattern != patternEnd && *pattern == '*')
        ++pattern;
    return pattern == patternEnd;
}

} // namespace

void TGlobal::LoadInfoPatterns()
{
    FInfoPatterns.clear();
    TQuery patterns;
    patterns.SetDatabase(&Database);
    patterns.SetSQL(
        {QStringLiteral("SELECT DISTINCT NameNFO FROM Nfo WHERE ForFolder <> 0 OR ForFile <> 0")});
    patterns.Open();
    for (; !patterns.Eof(); patterns.Next())
        FInfoPatterns.append(lowerAscii(patterns.Fields(0)->AsString()).toUcs4());
    patterns.Close();
}

bool TGlobal::MayBeInfoFile(const QString &name) const
{
    // As the import's queries see the name: stored, which lowers its ASCII letters but the first,
    // then lowered, which lowers the first as well.
    const auto lowered = [](auto c) -> uint { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; };
    const auto matchesAny = [this](const auto *begin, const auto *end, auto at) {
        for (const QList<uint> &pattern : FInfoPatterns) {
            // A pattern that ends in a plain character ("*.nfo") only matches a name ending in it:
            // most names are told apart without a walk through them.
            const uint last = pattern.isEmpty() ? uint('*') : pattern.constLast();
            if (last != '*' && last != '?' && (begin == end || at(end[-1]) != last))
                continue;
            if (globMatches(pattern.constData(), pattern.constData() + pattern.size(), begin, end, at))
                return true;
        }
        return false;
    };
    const auto *units = name.utf16();
    // A character outside the basic plane is one character to "?", two units in the name.
    if (std::none_of(units, units + name.size(), [](char16_t c) { return QChar::isSurrogate(c); }))
        return matchesAny(units, units + name.size(), lowered);
    const QList<uint> codePoints = name.toUcs4();
    return matchesAny(codePoints.constData(), codePoints.constData() + codePoints.size(), lowered);
}

bool TGlobal::DoProgress(TProgressKind kind)
{
    const quint32 now = TVolumeServices::Current().TickCount();
    // Tick differences are taken in 32 bits, so a counter that wraps still measures right.
    const quint32 sinceReport = now - FLastReportTick;
    const quint32 sinceStart = now - FStartTick;
    if (kind == TProgressKind::Records) {
        if ((sinceReport > 500 || sinceStart > 500) && OnProgress) {
            const int percent = FRecordsTotal > 0 ? FRecordsDone * 100 / FRecordsTotal : 0;
            const bool stop = OnProgress(this, percent, 0);
            CommitScan(now);
            return stop;
        }
        return false;
    }
    if (sinceReport <= 500)
        return false;
    if (walkRows)
        walkRows->Flush();
    // A volume whose size is unknown reports 0 % and no estimate; the fraction never passes 1.
    const double x = FCapacity > 0 ? std::min(1.0, double(FBytesDone) / double(FCapacity)) : 0.0;
    FLastReportTick = now;
    const int secondsLeft =
        x != 0.0 && sinceStart >= 20000 ? roundEven((1.0 - x) * sinceStart / x * 0.0002) * 5 : -1;
    CommitScan(now);
    return OnProgress ? OnProgress(this, roundEven(x * 100.0), secondsLeft) : false;
}

void TGlobal::CommitScan(quint32 now)
{
    // Records are reported one by one once the import has run half a second; committing is
    // paced to the same half second as the walk's reports.
    if (FProgressCommits && Database.InTransaction() && now - FLastCommitTick > 500) {
        Database.Commit();
        Database.StartTransaction();
        FLastCommitTick = now;
    }
}

void TGlobal::DeleteDisk(int cd)
{
    Database.CheckWritable();
    DeleteCD.ParamByName(QStringLiteral("cd"))->SetAsInteger(cd);
    DeleteCD.ExecSQL();
    DataChanged = true;
}

int TGlobal::LoadDisk(const QString &rootPath, const QString &name, int pictureId, bool force)
{
    TMountedSource source(rootPath);
    return LoadDisk(source, name, pictureId, force);
}

int TGlobal::LoadDisk(TVolumeSource &source, const QString &name, int pictureId, bool force)
{
    // Before the user is asked anything about a volume that could not be written anyway.
    Database.CheckWritable();
    QString label;
    QString serial;
    if (!GetVolumeInfo(source, label, serial))
        return -1;

    CDs2.Open();
    ArchiveNotes.clear();
    const bool known = CDs2.FindKey({TVariant(serial)});
    if (known && !force && !(OnConfirmReplace && OnConfirmReplace()))
        return -1;
    const int replaced = known ? CDs2.FieldByName(QStringLiteral("ID"))->AsInteger() : 0;

    // A volume new to the catalogue is written in transactions committed at every progress
    // report, at the end, on a stop and on an error: what was posted survives any of them, and a
    // crash leaves a consistent file. A replacement is one transaction with the deletion of the
    // old copy, committed only when the walk is done: stopped, failed or killed, the old copy
    // stays as it was.
    const bool ownTransaction = !Database.InTransaction();
    std::optional<TAllOrNothing> replacement;
    if (known)
        replacement.emplace(Database, QStringLiteral("Replacement"));
    else if (ownTransaction)
        Database.StartTransaction();
    const bool progressCommits = FProgressCommits;
    FProgressCommits = ownTransaction && !known;
    FScanning = true;
    FExtensionTypes.clear();
    auto finish = [&] {
        FScanning = false;
        FExtensionTypes.clear();
        FProgressCommits = progressCommits;
        if (replacement)
            replacement->Commit();
        else if (ownTransaction && Database.InTransaction())
            Database.Commit();
    };
    // Everything since the start goes again: the old copy of a replaced volume comes back.
    auto undo = [&] {
        FScanning = false;
        FExtensionTypes.clear();
        FProgressCommits = progressCommits;
        if (Main.State() == TDataSetState::Insert || Main.State() == TDataSetState::Edit)
            Main.Cancel();
        if (replacement)
            replacement->Rollback();
        else if (ownTransaction && Database.InTransaction())
            Database.Rollback();
        Main.Close();
        CDs2.Close();
    };
    int addedRoot = 0;
    try {
        DataChanged = true;
        if (known)
            DeleteDisk(replaced);
        const int rootId = AddDiskRoot(source, name, pictureId);
        addedRoot = rootId;
        if (rootId < 0) {
            // The disc went away after it was identified: nothing more is written, and a
            // replaced volume stays.
            if (known)
                undo();
            else
                finish();
            return -1;
        }
        const TBookmark rootRow = Main.GetBookmark();
        FStartTick = FLastReportTick = FLastCommitTick = TVolumeServices::Current().TickCount();
        FCapacity = source.Capacity();
        FBytesDone = 0;
        FNotedCd = 0;
        FNotedFolders.clear();
        LoadInfoPatterns();
        qint64 total = 0;
        LoadFolder(source, QString(), rootId, total, rootId);
        // Only a walk that went to its end has seen every folder.
        FNotedCd = rootId;

        Main.GotoBookmark(rootRow);
        Main.Edit();
        Main.FieldByName(QStringLiteral("CD"))->SetAsInteger(rootId);
        Main.FieldByName(QStringLiteral("Size"))->SetAsLargeInt(total);
        Main.Post();
        Main.Close();
        finish();
        // Now rather than at the first search, which would stall on them. The volume is in the
        // catalogue whatever befalls the indexes: left behind, they catch up at the next search.
        try {
            IndexNewEntries();
        } catch (const EDatabaseError &) {
        }
        if (OnProgress)
            OnProgress(this, 0, 0);
        return rootId;
    } catch (const EStopLoading &) {
        if (known)
            undo();
        else
            finish();
        FNotedCd = 0;
        return -1;
    } catch (const EVolumeSourceError &) {
        // The part walked is no volume: none of it stays, neither what was committed on the way.
        undo();
        if (addedRoot > 0 && !known)
            DeleteDisk(addedRoot);
        FNotedCd = 0;
        throw;
    } catch (...) {
        if (known)
            undo();
        else
            finish();
        FNotedCd = 0;
        throw;
    }
}

TDriveLine TGlobal::VolumeLine(TVolumeSource &source, const QString &shownPath)
{
    QString label;
    QString serial;
    if (!GetVolumeInfo(source, label, serial))
        return NoVolumeLine(shownPath);
    return {shownPath + u':' + serial, label.isEmpty() ? QStringLiteral("no label") : label, shownPath};
}

TDriveLine TGlobal::NoVolumeLine(const QString &shownPath)
{
    return {shownPath + QStringLiteral(":         "), QStringLiteral("[audio or no disk]"), QString()};
}

QList<TDriveLine> TGlobal::GetDrives()
{
    QList<TDriveLine> lines;
    const QList<TDrive> drives = TVolumeServices::Current().Drives();
    for (qsizetype i = 0; i < drives.size(); ++i) {
        const TDrive &drive = drives[i];
        if (drive.HasVolume) {
            TMountedSource source(drive.RootPath);
            lines.append(VolumeLine(source, drive.RootPath));
        } else {
            lines.append(NoVolumeLine(drive.RootPath));
        }
        if (OnProgress && OnProgress(this, int(i * 100 / drives.size()), 0))
            break;
    }
    return lines;
}
