#pragma once

#include "DataSets.h"

#include <QString>

struct TDirEntry;

// How a name is stored: every ASCII letter after the first character lowered, the first as found
// (README.TXT is stored as Readme.txt). Other letters are left alone, as the catalogue always did.
QString LowerAfterFirst(const QString &name);

// Writes the rows of a walk into a table shaped like Entries: the volume scan into Entries, the
// comparison of a folder into Temp_Entry.
class TEntryRows
{
public:
    explicit TEntryRows(TDataSet &table);

    // Appends and posts the row of one directory entry (its name as found) below parent; fullPath
    // is its folder's path below the volume root ("" in the root). archive: a file whose entries
    // are read below it. Gives the new row's ID.
    int Append(const TDirEntry &entry, const QString &found, const QString &fullPath, int parent, int cd,
               int imageId, bool archive = false);
    // The rows appended from now on lie inside an archive. A table without the columns of
    // archives (the comparison's) records neither.
    void SetInArchive(bool value) { FInArchiveRows = value; }
    // Once everything below a folder is written: its size on its row.
    void SetFolderSize(const TBookmark &row, qint64 size);

private:
    TDataSet &FTable;
    TField *FName;
    TField *FModified;
    TField *FFullPath;
    TField *FParent;
    TField *FCD;
    TField *FFolder;
    TField *FImageID;
    TField *FSize;
    TField *FID;
    TField *FInArchive;
    TField *FArchive;
    bool FInArchiveRows = false;
};
