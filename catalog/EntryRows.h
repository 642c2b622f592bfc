#pragma once

#include "DataSets.h"

#include <QString>
#include <memory>
#include <vector>

struct TDirEntry;
class TDatabase;
class TStatement;
class TPgCopy;

// How a name is stored: every ASCII letter after the first character lowered, the first as found
// (README.TXT is stored as Readme.txt). Other letters are left alone, as the catalogue always did.
QString LowerAfterFirst(const QString &name);

// Writes the rows of a walk into a table shaped like Entries: the volume scan into Entries, the
// comparison of a folder into Temp_Entry.
class TEntryRows
{
public:
    // Through a data set, whose cursor ends on each row written.
    explicit TEntryRows(TDataSet &table);
    // Straight into the table through one prepared insert, for a walk that writes a row per
    // entry of a volume and needs no cursor on them. The values are those the data set's fields
    // would write.
    TEntryRows(TDatabase &database, const QString &tableName);
    ~TEntryRows();
    TEntryRows(const TEntryRows &) = delete;
    TEntryRows &operator=(const TEntryRows &) = delete;

    // Appends and posts the row of one directory entry (its name as found) below parent; fullPath
    // is its folder's path below the volume root ("" in the root). archive: a file whose entries
    // are read below it. Gives the new row's ID. On a server, with its ID taken ahead (Reserve),
    // the row may wait in the queue like those of Queue; an archive's row is written at once.
    int Append(const TDirEntry &entry, const QString &found, const QString &fullPath, int parent, int cd,
               int imageId, bool archive = false);
    // Without a data set: the row of an entry whose ID nobody asks for, written with the rows
    // queued before it in as few statements as may be, at the next Append or Flush. The rows
    // keep the order, and so the IDs, they would have had one by one. When a statement of
    // several rows fails, they are written again one by one: the rows before the one that fails
    // stay, and its error is the one passed on. On a server, in a transaction, the rows are
    // copied (TPgCopy) and the server writes them while the walk goes on; a copy that fails is
    // told at the next Flush, a reservation or a folder size, with the same outcome.
    void Queue(const TDirEntry &entry, const QString &found, const QString &fullPath, int parent, int cd,
               int imageId);
    // Without a data set: the next count rows will be written, folders and archives among them.
    // On a server their IDs are taken now, in one exchange, and every row is queued with its
    // own: folders need not wait for a statement of their own, nor their sizes for one each.
    // Nothing happens on SQLite.
    void Reserve(int count);
    void Flush();
    // The rows appended from now on lie inside an archive. A table without the columns of
    // archives (the comparison's) records neither.
    void SetInArchive(bool value) { FInArchiveRows = value; }
    // Once everything below a folder is written: its size on its row, found by its bookmark
    // through a data set, by its ID without one.
    void SetFolderSize(const TBookmark &row, qint64 size);
    void SetFolderSize(int id, qint64 size);

private:
    int InsertRow(const TDirEntry &entry, const QString &found, const QString &fullPath, int parent, int cd,
                  int imageId, bool archive);
    // Adds the values of a row as the insert binds them, its ID first when it has one.
    void AddValues(std::vector<TVariant> &values, qint64 id, const TDirEntry &entry, const QString &found,
                   const QString &fullPath, int parent, int cd, int imageId, bool archive) const;
    // The next reserved ID, reserved now if none is left.
    qint64 NextKey();
    // Writes count rows of values in one statement.
    void InsertValues(const TVariant *values, size_t count);
    // Ends the copy of rows under way; its failure is passed on as a statement run at once would
    // pass it on.
    void AwaitSent();
    // Writes the queue, leaving the folder sizes for later.
    void WriteQueue();
    // Writes the folder sizes set on rows written before.
    void WriteSizes();

    TDataSet *FTable = nullptr;
    TField *FName = nullptr;
    TField *FModified = nullptr;
    TField *FFullPath = nullptr;
    TField *FParent = nullptr;
    TField *FCD = nullptr;
    TField *FFolder = nullptr;
    TField *FImageID = nullptr;
    TField *FSize = nullptr;
    TField *FID = nullptr;
    TField *FInArchive = nullptr;
    TField *FArchive = nullptr;
    bool FInArchiveRows = false;

    // Without a data set.
    TDatabase *FDatabase = nullptr;
    QString FTableName;
    QString FInsertSql;
    QString FSizeSql;
    std::shared_ptr<TStatement> FInsert;
    int FColumns = 0; // values of a row
    std::vector<TVariant> FRow;
    std::vector<TVariant> FQueue;
    // The statements of several rows, by how many they write (BatchSizes).
    std::shared_ptr<TStatement> FBatches[5];
    size_t FLargestBatch = 0; // the index in BatchSizes of the most rows a statement writes
    // On a server: IDs reserved for the rows to come, the next at FNextKey, and the folder sizes
    // (ID, size) of rows written before they were known.
    bool FKeysAhead = false;
    QString FKeyTable; // the table's name unquoted
    std::vector<qint64> FKeys;
    size_t FNextKey = 0;
    std::vector<TVariant> FSizes;
    std::shared_ptr<TStatement> FSizeBatches[4];
    std::unique_ptr<TPgCopy> FCopy; // on a server, and the rows of the copy under way
    std::vector<TVariant> FCopied;
    int FNameWidth = 0; // the widths of the text columns, 0 for none
    int FFullPathWidth = 0;
    bool FArchiveColumns = false;
};
