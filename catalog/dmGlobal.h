#pragma once

#include "ArchiveReaders.h"
#include "DBImLst.h"
#include "DataSources.h"
#include "Databases.h"
#include "Queries.h"
#include "Tables.h"
#include "VolumeSources.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

class TArchiveReader;
class TEntryRows;
class TGlobal;
class TSearchIndexer;

// Raised inside a walk when the progress handler asks to stop; LoadDisk catches it.
class EStopLoading : public Exception
{
public:
    EStopLoading() : Exception(QStringLiteral("Loading stopped")) {}
};

// (Sender, Percent, SecondsLeft) -> true to ask for a stop. SecondsLeft is -1 while there is no
// estimate, 0 in the final report and in the reports of the description import.
using TProgressEvent = std::function<bool(TGlobal *sender, int percent, int secondsLeft)>;

enum class TProgressKind { Bytes, Records };

// The answer to the question about an info file whose name does not match its file's: skip the
// file, take this one, or take this one and every further one of the same import.
enum class TSuspiciousAnswer { Skip, ProcessThis, ProcessAll };

// One line of the drive list: the drive column (root path, ":" and the serial text, or blanks),
// the name (the label upper-cased, "no label", or "[audio or no disk]") and the root path of a
// drive holding a readable volume (empty otherwise).
struct TDriveLine
{
    QString Drive;
    QString Name;
    QString RootPath;
};

// An info file that the description import passed over because it could not be read, and why.
struct TSkippedInfoFile
{
    QString Path;
    QString Reason;

    friend bool operator==(const TSkippedInfoFile &, const TSkippedInfoFile &) = default;
};

// A catalogued volume cannot be brought up to date from a source: the source cannot be read, it
// holds another volume, or its volume is not in the catalogue. Nothing was written.
class EUpdateError : public Exception
{
public:
    using Exception::Exception;
};

enum class TChangeKind { Added, Removed, Changed };

// One entry that an update found added, removed or changed: its path below the volume root,
// "/"-separated, as the disk names it (as the catalogue held it, for one removed).
struct TVolumeChange
{
    TChangeKind Kind = TChangeKind::Changed;
    QString Path;

    friend bool operator==(const TVolumeChange &, const TVolumeChange &) = default;
};

// What bringing a volume up to date did, entry by entry. An entry that turned from a file into a
// folder or back counts as changed; what was below the folder counts as removed, what is below
// it now as added.
struct TVolumeChanges
{
    int Added = 0;
    int Removed = 0;
    int Changed = 0;
    int Unchanged = 0;
    QList<TVolumeChange> Changes;
    QList<TSkippedInfoFile> Skipped;
};

// The data module: the one owner of catalogue data. It holds the connection to the catalogue, a
// private session, and every named data set that the windows and the cataloguing code use.
class TGlobal
{
    // First of all members, so a second data module fails before it builds anything.
    const bool FSingle = CheckNoInstance();
    static bool CheckNoInstance();

public:
    static constexpr const char16_t *AliasName = u"VOR-NEX";
    static constexpr const char16_t *DatabaseName = u"VOR_NEX";
    static constexpr const char16_t *SessionName = u"Private";

    // Connects through the alias (or to catalogueFile, when given) and opens Folders, FullList,
    // CDs and Images. Throws the engine's error when the catalogue cannot be opened, is no
    // catalogue, or is of a newer layout.
    explicit TGlobal(const QString &catalogueFile = QString());
    ~TGlobal();
    TGlobal(const TGlobal &) = delete;
    TGlobal &operator=(const TGlobal &) = delete;

    // The single instance while one exists.
    static TGlobal *Instance() { return FInstance; }

    // The catalogue can only be read (see TDatabase::ReadOnly): the windows offer no command that
    // writes it, and every write is refused.
    bool ReadOnly() const { return Database.ReadOnly(); }

    TSession Session{QString::fromUtf16(SessionName)};
    TDatabase Database;

    TTable Main;
    TTable Folders;
    TDataSource dsFolders;
    TTable FullList;
    TTable CDs;
    TTable CDs2;
    TTable Images;
    TTable ImageForList;
    TTable Images2;
    TDataSource dsImages2;
    TTable Images3;
    TTable Extention;
    TTable NFO;
    TTable ForDescription;
    TTable ForProperties;
    TDataSource dsProperties;
    TTable CDProperties;
    TTable ImageProperties;
    TTable TEMP_CD;
    TQuery FindEx;
    TQuery DeleteCD;
    TQuery FindDialog;
    TDataSource dsFindDialog;
    TStoredProc ImageNumber;
    TStoredProc FilesWithInfo;
    TStoredProc FoldersWithInfo;
    // The pictures of the file types over Images, at index = ImageID: small ones for trees and
    // lists, large ones for icons.
    TDBImageList DBIL_Little;
    TDBImageList DBIL_Big;

    // Set by the operations that change volumes; RefreshViews clears it.
    bool DataChanged = false;
    // When anything changed, reopens the views' data sets so they show it.
    void RefreshViews();
    // Loads both image lists afresh from Images (the small one first). Without a GUI (the
    // command-line tool) there is nothing to draw and nothing is loaded.
    void ReloadImageLists();

    // The text of the properties' LocatedIn column: the volume label, ":\" and the folder path.
    void ForPropertiesLocatedInGetText(TField *sender, QString &text, bool displayText);
    // A new file type gets the next free number before it is written.
    void ImagesBeforePost(TDataSet *dataSet);
    // Extensions are kept in lower case.
    void ExtentionBeforePost(TDataSet *dataSet);
    // A type still in use is not deleted; OnImageInUse tells the user why instead of an engine
    // error.
    void Images2DeleteError(TDataSet *dataSet, EDatabaseError &error, TDataAction &action);
    void OpenProperties();

    // ---- what the data module asks the user; the windows ask in message boxes, the command line
    // answers from its options. Unset, each gets the answer that changes nothing: a known volume
    // is not replaced, a suspicious info file is skipped, and a type in use is simply not deleted.
    // A volume about to be catalogued is in the catalogue already: true replaces it, dropping the
    // descriptions edited by hand.
    std::function<bool()> OnConfirmReplace;
    // infoName is about to be taken as the description of name, whose name it does not match.
    std::function<TSuspiciousAnswer(const QString &infoName, const QString &name)> OnConfirmSuspicious;
    // The type to be deleted is still used by entries; the delete is abandoned in any case.
    std::function<void()> OnImageInUse;

    // ---- cataloguing a volume (a drive is named by its root path, the mount point)
    TProgressEvent OnProgress;
    // A drive is a mounted volume read through TMountedSource; any other volume (a folder, a disc
    // image) is given by its source.
    bool GetVolumeInfo(const QString &rootPath, QString &label, QString &serial);
    bool GetVolumeInfo(TVolumeSource &source, QString &label, QString &serial);
    qint64 GetDiskSize(const QString &rootPath);
    qint16 ImageIDForFile(const QString &fileName);
    int AddDiskRoot(const QString &rootPath, const QString &name, int pictureId);
    int AddDiskRoot(TVolumeSource &source, const QString &name, int pictureId);
    // Walks folder of the source ("" for its root, else ending in "/") into Main below parentId;
    // total gets its files' sizes.
    void LoadFolder(TVolumeSource &source, const QString &folder, int parentId, qint64 &total, int cd);
    bool DoProgress(TProgressKind kind);
    void DeleteDisk(int cd);
    // The new root ID, or -1 when nothing was catalogued (no disc, not confirmed, stopped).
    int LoadDisk(const QString &rootPath, const QString &name, int pictureId, bool force);
    int LoadDisk(TVolumeSource &source, const QString &name, int pictureId, bool force);
    QList<TDriveLine> GetDrives();
    // When set, the walk also catalogues the folders and files inside every archive it finds on
    // the volume (and inside the archives in those, to ArchiveLimits.MaxDepth), below the
    // archive's own row; the archive stays a file of its own size in every total.
    bool ProcessArchives = false;
    TArchiveLimits ArchiveLimits;
    // What the last LoadDisk could not read of the archives it found, a line each for the user.
    QStringList ArchiveNotes;
    // The line of a volume that is no drive (a folder, a disc image file), named by shownPath.
    TDriveLine VolumeLine(TVolumeSource &source, const QString &shownPath);
    static TDriveLine NoVolumeLine(const QString &shownPath);

    // ---- bringing a catalogued volume up to date (dmGlobalUpdate.cpp)
    // The root ID of the catalogued volume with the serial of the volume in source; 0 when the
    // source cannot be read or its volume is not catalogued.
    int FindVolume(TVolumeSource &source);
    // Walks the volume in source and changes the catalogued volume cd (its root ID; 0: the one
    // with source's serial) to match it: what is unchanged keeps its row and description, what
    // changed is rewritten in its row, what is new is added and what is gone removed. A non-empty
    // name renames the volume. The info files that are new or changed give their descriptions
    // again, unless descriptions is false. All of it is one transaction: stopped (false) or
    // failed, the catalogue is left as it was. Throws EUpdateError, writing nothing, when source
    // is not that volume.
    bool UpdateDisk(TVolumeSource &source, int cd, const QString &name, TVolumeChanges &changes,
                    bool descriptions = true);

    // ---- importing the descriptions of a volume from its info files
    // An info file that cannot be read is passed over, and the import goes on; the files passed
    // over are returned for the caller to tell the user. Only a disc that cannot be read at all
    // ends the import, with its error. An info file that holds no text leaves the description as
    // it was.
    QList<TSkippedInfoFile> LoadDescriptions(int cd, const QString &rootPath);
    QList<TSkippedInfoFile> LoadDescriptions(int cd, TVolumeSource &source);

    // ---- the word indexes the searches read (see CatalogSchema::UpdateSearchIndexes)
    // In the background, the entries a scan added are indexed on a thread and connection of their
    // own once the scan has ended, instead of within it; the windows want that, so that a scan is
    // over as soon as its entries are written. Otherwise they are indexed at once.
    void SetIndexInBackground(bool background);
    // Indexes the entries added since the last time, in the background or at once.
    void IndexNewEntries();
    // Waits for the background work; the engine's message when it failed, else empty.
    QString WaitForIndexes();

private:
    friend class TVolumeUpdate;
    // The archive a file of the walk holds, open, or nullptr when it holds none.
    std::unique_ptr<TArchiveReader> OpenArchive(TVolumeSource &source, const QString &folder,
                                                const TDirEntry &file);
    // Catalogues the entries of archive below its row archiveId; fullPath: the row's folder path
    // followed by its name as found, as if it were a folder.
    void LoadArchive(TArchiveReader &archive, int archiveId, const QString &fullPath, int cd);
    // Makes what the scan wrote so far permanent and starts the next batch, when the scan under
    // way keeps what it walked (FProgressCommits).
    void CommitScan(quint32 now);
    // Only a walk that adds a volume new to the catalogue commits as it goes; one that replaces
    // or updates a volume must leave the old copy whole until it is done.
    bool FProgressCommits = false;
    // While an update imports descriptions: only for the entries it added, and for those that
    // an info file it found new or changed describes (InfoFileKey).
    struct TImportFilter
    {
        QSet<int> Entries;
        QSet<QString> InfoFiles;
    };
    const TImportFilter *FImportFilter = nullptr;
    // An info file by its folder's path (FullPath without its last backslash, as the info-file
    // queries give it) and its stored name. No name holds a NUL.
    static QString InfoFileKey(const QString &folderPath, const QString &name)
    {
        return folderPath + QChar(0) + name;
    }
    // The walk notes the folders holding a file whose name an info file may have, so that the
    // import that follows looks at those folders only, not at every file of the volume.
    void LoadInfoPatterns();
    bool MayBeInfoFile(const QString &name) const;
    QList<QList<uint>> FInfoPatterns; // lowered, as characters
    int FNotedCd = 0;                 // the volume the noted folders belong to
    QList<int> FNotedFolders;
    bool FScanning = false;
    QHash<QString, qint16> FExtensionTypes; // while walking: the type of each extension met
    quint32 FStartTick = 0;
    quint32 FLastReportTick = 0;
    quint32 FLastCommitTick = 0;
    qint64 FCapacity = 0;
    qint64 FBytesDone = 0;
    int FRecordsDone = 0;
    int FRecordsTotal = 0;

    std::unique_ptr<TSearchIndexer> FIndexer; // set while indexing in the background

    void SetUpDataSets();
    static inline TGlobal *FInstance = nullptr;
};
