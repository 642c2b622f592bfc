#include "EntryRows.h"

#include "DatabaseError.h"
#include "Databases.h"
#include "Fields.h"
#include "PgStatements.h"
#include "SqliteStatements.h"
#include "Statements.h"
#include "VolumeServices.h"

#include <QStringList>
#include <algorithm>
#include <iterator>

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
    FKeyTable = info->Name;
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
    // A server is a round trip away: its rows go many to a statement with the IDs taken ahead.
    FKeysAhead = database.PgConnection() != nullptr;
    FLargestBatch = FKeysAhead ? 0 : 1;
    // Every column a row of the walk may have, always: one statement for folders and files alike.
    // What the data set would leave unwritten is bound as the table's default for it: no size
    // or time yet, not a folder, not in an archive.
    const QString columns = QStringLiteral("Name, Modified, FullPath, Parent, CD, ImageID, Folder, Size") +
                            (FArchiveColumns ? QStringLiteral(", InArchive, Archive") : QString());
    FColumns = (FArchiveColumns ? 10 : 8) + (FKeysAhead ? 1 : 0);
    if (FKeysAhead)
        FCopy = std::make_unique<TPgCopy>(database.PgConnection(), info->Name,
                                          (QStringLiteral("ID, ") + columns).split(QStringLiteral(", ")));
    QStringList marks;
    for (int i = 0; i < FColumns; ++i)
        marks << QStringLiteral("?");
    FInsertSql = QStringLiteral("INSERT INTO ") + FTableName + QStringLiteral(" (") +
                 (FKeysAhead ? QStringLiteral("ID, ") : QString()) + columns + QStringLiteral(") VALUES (") +
                 marks.join(QStringLiteral(", ")) + u')' + database.ReturningKey(QStringLiteral("ID"));
    FSizeSql = QStringLiteral("UPDATE ") + FTableName + QStringLiteral(" SET Size = ? WHERE ID = ?");
}

TEntryRows::~TEntryRows()
{
    try {
        AwaitSent();
    } catch (const EDatabaseError &) {
        // The walk that wrote the rows has ended with an error of its own, or was told it at
        // its last Flush.
    }
}

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

namespace {

// The rows of one statement of several, largest first: a queue of any length is written in a
// few statements, each prepared once. The first only on a server, where each statement costs a
// round trip.
constexpr size_t BatchSizes[] = {256, 64, 16, 4, 1};
// Keys taken at once on a server; each time, the statements sent are waited for.
constexpr int KeysAtATime = 4096;
// Where the column Size lies in a queued row that starts with its ID.
constexpr size_t SizeColumnAfterKey = 8;

} // namespace

void TEntryRows::AddValues(std::vector<TVariant> &values, qint64 id, const TDirEntry &entry,
                           const QString &found, const QString &fullPath, int parent, int cd, int imageId,
                           bool archive) const
{
    const auto cut = [](const QString &text, int width) {
        return width > 0 && text.size() > width ? text.left(width) : text;
    };
    if (imageId < -32768 || imageId > 32767)
        throw EDatabaseError(
            QStringLiteral(
                "%1 is not a valid value for field 'ImageID'. The allowed range is -32768 to 32767")
                .arg(imageId));
    if (FKeysAhead)
        values.emplace_back(qint32(id));
    values.emplace_back(cut(LowerAfterFirst(found), FNameWidth));
    values.push_back(entry.Stated ? TVariant(entry.Time) : TVariant::Null());
    // No FullPath in the root of the volume.
    values.push_back(fullPath.isEmpty() ? TVariant::Null() : TVariant(cut(fullPath, FFullPathWidth)));
    values.emplace_back(qint32(parent));
    values.emplace_back(qint32(cd));
    values.emplace_back(qint16(imageId));
    values.emplace_back(entry.IsDirectory);
    values.push_back(entry.IsDirectory ? TVariant::Null() : TVariant(qint64(entry.Size)));
    if (FArchiveColumns) {
        values.emplace_back(FInArchiveRows);
        values.emplace_back(archive);
    }
}

int TEntryRows::InsertRow(const TDirEntry &entry, const QString &found, const QString &fullPath, int parent,
                          int cd, int imageId, bool archive)
{
    if (FKeysAhead) {
        const qint64 id = NextKey();
        AddValues(FQueue, id, entry, found, fullPath, parent, cd, imageId, archive);
        // What is read below an archive is written through a data set, after the archive's row.
        if (archive || FQueue.size() >= BatchSizes[FLargestBatch] * size_t(FColumns))
            WriteQueue();
        return int(id);
    }
    // The rows queued before it come first, as they came first in the walk.
    Flush();
    FRow.clear();
    AddValues(FRow, 0, entry, found, fullPath, parent, cd, imageId, archive);
    if (!FInsert)
        FInsert = FDatabase->AcquireStatement(FInsertSql);
    TStatement &insert = *FInsert;
    insert.Reset();
    insert.BindAll(FRow);
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

void TEntryRows::Queue(const TDirEntry &entry, const QString &found, const QString &fullPath, int parent,
                       int cd, int imageId)
{
    Q_ASSERT(FDatabase);
    AddValues(FQueue, FKeysAhead ? NextKey() : 0, entry, found, fullPath, parent, cd, imageId, false);
    if (FQueue.size() >= BatchSizes[FLargestBatch] * size_t(FColumns))
        WriteQueue();
}

void TEntryRows::Reserve(int count)
{
    const size_t left = FKeys.size() - FNextKey;
    if (!FKeysAhead || count <= 0 || size_t(count) <= left)
        return;
    AwaitSent();
    FKeys.erase(FKeys.begin(), FKeys.begin() + qsizetype(FNextKey));
    FNextKey = 0;
    // Many at a time, as most folders hold a few entries: the keys not used in the end are
    // gaps, as a sequence leaves them anyway.
    const std::vector<qint64> keys =
        FDatabase->ReserveKeys(FKeyTable, QStringLiteral("ID"), std::max(count - int(left), KeysAtATime));
    FKeys.insert(FKeys.end(), keys.begin(), keys.end());
}

qint64 TEntryRows::NextKey()
{
    if (FNextKey == FKeys.size())
        Reserve(1);
    return FKeys[FNextKey++];
}

void TEntryRows::InsertValues(const TVariant *values, size_t count)
{
    const size_t batch =
        size_t(std::find(std::begin(BatchSizes), std::end(BatchSizes), count) - std::begin(BatchSizes));
    std::shared_ptr<TStatement> &statement = FBatches[batch];
    if (!statement) {
        QString row = QStringLiteral("(?");
        for (int i = 1; i < FColumns; ++i)
            row += QStringLiteral(", ?");
        row += u')';
        QStringList rows;
        for (size_t i = 0; i < count; ++i)
            rows << row;
        const qsizetype at = FInsertSql.indexOf(QStringLiteral(" VALUES "));
        statement = FDatabase->AcquireStatement(FInsertSql.left(at) + QStringLiteral(" VALUES ") +
                                                rows.join(QStringLiteral(", ")));
    }
    statement->Reset();
    for (size_t i = 0; i < count * size_t(FColumns); ++i)
        statement->Bind(int(i) + 1, values[i]);
    try {
        statement->Execute();
    } catch (...) {
        statement->Reset();
        throw;
    }
    statement->Reset();
}

void TEntryRows::AwaitSent()
{
    if (!FCopy || !FCopy->Copying())
        return;
    const bool inTransaction = FDatabase->InTransaction();
    std::vector<TVariant> copied;
    copied.swap(FCopied);
    try {
        FCopy->End();
    } catch (const EDatabaseError &) {
        // As when each row had been written when it was met: the rows before the one at fault
        // are written one by one, and its error is the one passed on.
        if (FDatabase->InTransaction() == inTransaction)
            for (size_t row = 0; row < copied.size(); row += size_t(FColumns))
                InsertValues(&copied[row], 1);
        throw;
    }
}

void TEntryRows::Flush()
{
    WriteQueue();
    try {
        AwaitSent();
    } catch (...) {
        FSizes.clear();
        throw;
    }
    WriteSizes();
}

void TEntryRows::WriteQueue()
{
    const size_t columns = size_t(FColumns);
    const size_t queued = columns > 0 ? FQueue.size() / columns : 0;
    if (queued == 0)
        return;
    const bool inTransaction = FDatabase->InTransaction();
    // On a server, in a transaction, the rows are copied: each goes as it comes, and the server
    // writes them while the walk goes on, until the walk needs an answer of the server (AwaitSent).
    if (FCopy && inTransaction) {
        try {
            for (size_t row = 0; row < queued; ++row)
                FCopy->Add(&FQueue[row * columns], columns);
        } catch (...) {
            FQueue.clear();
            FSizes.clear();
            FCopied.clear();
            throw;
        }
        FCopied.insert(FCopied.end(), FQueue.begin(), FQueue.end());
        FQueue.clear();
        return;
    }
    size_t done = 0;
    try {
        while (done < queued) {
            const size_t count = *std::find_if(std::begin(BatchSizes) + FLargestBatch, std::end(BatchSizes),
                                               [&](size_t size) { return size <= queued - done; });
            try {
                InsertValues(&FQueue[done * columns], count);
            } catch (const EDatabaseError &) {
                // A statement that failed wrote none of its rows. One by one, the rows before the
                // one at fault are written and its own error is passed on, as if each had been
                // written when it was met; unless the engine gave up the transaction with the
                // statement, in which case nothing written since its start stays anyway. (On a
                // server the driver undoes the failed statement alone, as SQLite does.)
                if (count == 1 || FDatabase->InTransaction() != inTransaction)
                    throw;
                for (size_t i = 0; i < count; ++i)
                    InsertValues(&FQueue[(done + i) * columns], 1);
            }
            done += count;
        }
    } catch (...) {
        // The rows after the one at fault were never written: the walk ends here.
        FQueue.clear();
        FSizes.clear();
        throw;
    }
    FQueue.clear();
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
    if (FKeysAhead) {
        // A folder still queued is written with its size; one written before waits for the next
        // statement of sizes.
        const size_t columns = size_t(FColumns);
        for (size_t row = FQueue.size(); row >= columns; row -= columns) {
            if (FQueue[row - columns].AsInteger() == id) {
                FQueue[row - columns + SizeColumnAfterKey] = TVariant(size);
                return;
            }
        }
        FSizes.emplace_back(qint32(id));
        FSizes.emplace_back(size);
        if (FSizes.size() >= 2 * size_t(BatchSizes[1]))
            WriteSizes();
        return;
    }
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

void TEntryRows::WriteSizes()
{
    const size_t pending = FSizes.size() / 2;
    if (pending > 0)
        AwaitSent();
    size_t done = 0;
    try {
        while (done < pending) {
            const auto size = std::find_if(std::begin(BatchSizes) + 1, std::end(BatchSizes),
                                           [&](size_t batch) { return batch <= pending - done; });
            const size_t count = *size;
            std::shared_ptr<TStatement> &statement = FSizeBatches[size - std::begin(BatchSizes) - 1];
            if (!statement) {
                QStringList pairs;
                for (size_t i = 0; i < count; ++i)
                    pairs << QStringLiteral("(CAST(? AS INTEGER), CAST(? AS BIGINT))");
                statement = FDatabase->AcquireStatement(QStringLiteral("UPDATE ") + FTableName +
                                                        QStringLiteral(" AS t SET Size = v.s FROM (VALUES ") +
                                                        pairs.join(QStringLiteral(", ")) +
                                                        QStringLiteral(") AS v (i, s) WHERE t.ID = v.i"));
            }
            statement->Reset();
            for (size_t i = 0; i < 2 * count; ++i)
                statement->Bind(int(i) + 1, FSizes[2 * done + i]);
            qint64 changed = 0;
            try {
                statement->Execute();
                changed = statement->Changes();
            } catch (...) {
                statement->Reset();
                throw;
            }
            statement->Reset();
            if (changed != qint64(count))
                throw EDatabaseError(QStringLiteral("Record/Key deleted."));
            done += count;
        }
    } catch (...) {
        FSizes.clear();
        throw;
    }
    FSizes.clear();
}
