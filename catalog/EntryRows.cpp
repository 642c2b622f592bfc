#include "EntryRows.h"

#include "Fields.h"
#include "VolumeServices.h"

QString LowerAfterFirst(const QString &name)
{
    QString result = name;
    for (qsizetype i = 1; i < result.size(); ++i) {
        const char16_t c = result[i].unicode();
        if (c >= u'A' && c <= u'Z')
            result[i] = QChar(char16_t(c + (u'a' - u'A')));
    }
    return result;
}

TEntryRows::TEntryRows(TDataSet &table)
    : FTable(table), FName(table.FieldByName(QStringLiteral("Name"))),
      FModified(table.FieldByName(QStringLiteral("Modified"))),
      FFullPath(table.FieldByName(QStringLiteral("FullPath"))),
      FParent(table.FieldByName(QStringLiteral("Parent"))), FCD(table.FieldByName(QStringLiteral("CD"))),
      FFolder(table.FieldByName(QStringLiteral("Folder"))),
      FImageID(table.FieldByName(QStringLiteral("ImageID"))),
      FSize(table.FieldByName(QStringLiteral("Size"))), FID(table.FieldByName(QStringLiteral("ID"))),
      FInArchive(table.FindField(QStringLiteral("InArchive"))),
      FArchive(table.FindField(QStringLiteral("Archive")))
{}

int TEntryRows::Append(const TDirEntry &entry, const QString &found, const QString &fullPath, int parent,
                       int cd, int imageId, bool archive)
{
    FTable.Append();
    try {
        FName->SetAsString(LowerAfterFirst(found));
        if (entry.Stated)
            FModified->SetAsDateTime(entry.Time);
        // No FullPath in the root of the volume.
        if (!fullPath.isEmpty())
            FFullPath->SetAsString(fullPath);
        FParent->SetAsInteger(parent);
        FCD->SetAsInteger(cd);
        FImageID->SetAsInteger(imageId);
        if (entry.IsDirectory)
            FFolder->SetAsBoolean(true);
        else
            FSize->SetAsLargeInt(entry.Size);
        if (FInArchiveRows && FInArchive)
            FInArchive->SetAsBoolean(true);
        if (archive && FArchive)
            FArchive->SetAsBoolean(true);
        FTable.Post();
    } catch (...) {
        FTable.Cancel();
        throw;
    }
    return FID->AsInteger();
}

void TEntryRows::SetFolderSize(const TBookmark &row, qint64 size)
{
    FTable.GotoBookmark(row);
    FTable.Edit();
    FSize->SetAsLargeInt(size);
    FTable.Post();
}
