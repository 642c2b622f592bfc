#include "EntryRows.h"

#include "DatabaseError.h"
#include "Databases.h"
#include "Fields.h"
#include "SqliteStatements.h"
#include "Statements.h"
#include "VolumeServices.h"

QString LowerAfterFirst(const QString &name)
{
    const qsizetype size = name.size();
    const QChar *chars = name.constData();
    qsizetype i = 1;
    while (i < size && !(chars[i].unicode() >= u'A' && chars[i].unicode() <= u'Z'))
        ++i;
    // Most names are stored as found: they are not copied.
    if (i >= size)
        return name;
    QString result = name;
    QChar *out = result.data();
    for (; i < size; ++i) {
        const char16_t c = out[i].unicode();
        if (c >= u'A' && c <= u'Z')
            out[i] = QChar(char16_t(c + (u'a' - u'A')));
    }
    return result;
}

TEntryRows::TEntryRows(TDataSet &table)
    : FTable(&table), FName(table.FieldByName(QStringLiteral("Name"))),
      FModified(table.FieldByName(QStringLiteral("Modified"))),
      FFullPath(table.FieldByName(QStringLiteral("FullPath"))),
      FParent(table.FieldByName(QStringLiteral("Parent"))), FCD(table.FieldByName(QStringLiteral("CD"))),
      FFolder(table.FieldByName(QStringLiteral("Folder"))),
      FImageID(table.FieldByName(QStringLiteral("ImageID"))),
      FSize(table.FieldByName(QStringLiteral("Size"))), FID(table.FieldByName(QStringLiteral("ID"))),
      FInArchive(table.FindField(QStringLiteral("InArchive"))),
      FArchive(table.FindField(QStringLiteral("Archive")))
{}

TEntryRows::TEntryRows(TDatabase &database, const QString &tableName) : FDatabase(&database)
{
    const std::shared_ptr<const TTableInfo> info = database.TableInfo(tableName);
    FTableName = QuoteIdentifier(info->Name);
    // A text longer than its column is cut as the column's field cuts it.
    const auto width = [&info](const QString &column) {
        const int index = info->ColumnIndex(column);
        return index >= 0 && info->Columns[size_t(index)].Type == TFieldType::String
                   ? info->Columns[size_t(index)].Size
                   : 0;
    };
    FNameWidth = width(QStringLiteral("Name"));
    FFullPathWidth = width(QStringLiteral("FullPath"));
    FArchiveColumns = info->ColumnIndex(QStringLiteral("InArchive")) >= 0 &&
                      info->ColumnIndex(QStringLiteral("Archive")) >= 0;
    // Every column a row of the walk may have, always: one statement for folders and files alike.
    // What the data set would leave unwritten is bound as the table's default for it: no size
    // or time yet, not a folder, not in an archive.
    FInsertSql =
        QStringLiteral("INSERT INTO ") + FTableName +
        (FArchiveColumns ? QStringLiteral(" (Name, Modified, FullPath, Parent, CD, ImageID, Folder, "
                                          "Size, InArchive, Archive) VALUES (?, ?, ?, ?, ?, ?, ?, ?, "
                                          "?, ?)")
                         : QStringLiteral(" (Name, Modified, FullPath, Parent, CD, ImageID, Folder, "
                                          "Size) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")) +
        database.ReturningKey(QStringLiteral("ID"));
    FSizeSql = QStringLiteral("UPDATE ") + FTableName + QStringLiteral(" SET Size = ? WHERE ID = ?");
}

TEntryRows::~TEntryRows() = default;

int TEntryRows::Append(const TDirEntry &entry, const QString &found, const QString &fullPath, int parent,
                       int cd, int imageId, bool archive)
{
    if (FDatabase)
        return InsertRow(entry, found, fullPath, parent, cd, imageId, archive);
    FTable->Append();
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
        FTable->Post();
    } catch (...) {
        FTable->Cancel();
        throw;
    }
    return FID->AsInteger();
}

int TEntryRows::InsertRow(const TDirEntry &entry, const QString &found, const QString &fullPath, int parent,
                          int cd, int imageId, bool archive)
{
    const auto cut = [](const QString &text, int width) {
        return width > 0 && text.size() > width ? text.left(width) : text;
    };
    if (imageId < -32768 || imageId > 32767)
        throw EDatabaseError(
            QStringLiteral(
                "%1 is not a valid value for field 'ImageID'. The allowed range is -32768 to 32767")
                .arg(imageId));
    if (!FInsert)
        FInsert = FDatabase->AcquireStatement(FInsertSql);
    TStatement &insert = *FInsert;
    insert.Reset();
    insert.Bind(1, TVariant(cut(LowerAfterFirst(found), FNameWidth)));
    insert.Bind(2, entry.Stated ? TVariant(entry.Time) : TVariant::Null());
    // No FullPath in the root of the volume.
    insert.Bind(3, fullPath.isEmpty() ? TVariant::Null() : TVariant(cut(fullPath, FFullPathWidth)));
    insert.Bind(4, TVariant(qint32(parent)));
    insert.Bind(5, TVariant(qint32(cd)));
    insert.Bind(6, TVariant(qint16(imageId)));
    insert.Bind(7, TVariant(entry.IsDirectory));
    insert.Bind(8, entry.IsDirectory ? TVariant::Null() : TVariant(qint64(entry.Size)));
    if (FArchiveColumns) {
        insert.Bind(9, TVariant(FInArchiveRows));
        insert.Bind(10, TVariant(archive));
    }
    qint64 id = 0;
    try {
        insert.Execute();
        id = insert.LastInsertId();
    } catch (...) {
        insert.Reset();
        throw;
    }
    insert.Reset();
    return int(id);
}

void TEntryRows::SetFolderSize(const TBookmark &row, qint64 size)
{
    Q_ASSERT(FTable);
    FTable->GotoBookmark(row);
    FTable->Edit();
    FSize->SetAsLargeInt(size);
    FTable->Post();
}

void TEntryRows::SetFolderSize(int id, qint64 size)
{
    Q_ASSERT(FDatabase);
    const std::shared_ptr<TStatement> update = FDatabase->AcquireStatement(FSizeSql);
    update->Bind(1, TVariant(size));
    update->Bind(2, TVariant(qint64(id)));
    try {
        update->Execute();
    } catch (...) {
        update->Reset();
        throw;
    }
    const qint64 changed = update->Changes();
    update->Reset();
    if (changed == 0)
        throw EDatabaseError(QStringLiteral("Record/Key deleted."));
}
