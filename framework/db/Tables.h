#pragma once

#include "DBDataSets.h"

#include <deque>
#include <memory>
#include <optional>

struct TTableInfo;
class TTableMasterLink;

// A data set over one table of the database. Its cursor never loads the table: it walks the
// current index order (the index fields, then the row number) with keyset queries a page at a
// time, so opening a table of millions of rows costs one page. A bookmark is the row number.
// Filters, ranges and a master link become conditions of those queries.
class TTable : public TDBDataSet
{
public:
    TTable();
    ~TTable() override;

    const QString &TableName() const { return FTableName; }
    void SetTableName(const QString &value);

    // The index is chosen by name ("PrimaryKey", "ID", "SerialNum") or by field names ("Parent",
    // "A;B"); setting one clears the other. Switching the index of an open table keeps the current
    // record and cancels a range.
    const QString &IndexName() const { return FIndexName; }
    void SetIndexName(const QString &value);
    const QString &IndexFieldNames() const { return FIndexFieldNames; }
    void SetIndexFieldNames(const QString &value);
    // The fields of the current index (empty while closed or when ordered by row number only).
    QStringList IndexFields() const;

    const QString &Filter() const { return FFilter; }
    void SetFilter(const QString &value);
    bool Filtered() const { return FFiltered; }
    void SetFiltered(bool value);
    bool FilterCaseInsensitive() const { return FFilterCaseInsensitive; }
    void SetFilterCaseInsensitive(bool value);

    bool Exclusive() const { return FExclusive; }
    void SetExclusive(bool value);

    // Master/detail: the detail holds the records whose first index fields equal the master's
    // MasterFields ("ID", "A;B") on the master's current record.
    TDataSource *MasterSource() const { return FMasterSource; }
    void SetMasterSource(TDataSource *value);
    const QString &MasterFields() const { return FMasterFields; }
    void SetMasterFields(const QString &value);

    // ---- keys: field writes in the SetKey state go to the key buffer being edited
    void SetKey();
    void EditKey();
    bool GotoKey();
    void GotoNearest();
    bool FindKey(const TVariantArray &keyValues);
    void FindNearest(const TVariantArray &keyValues);
    void SetRangeStart();
    void SetRangeEnd();
    void EditRangeStart();
    void EditRangeEnd();
    void ApplyRange();
    void CancelRange();
    void SetRange(const TVariantArray &startValues, const TVariantArray &endValues);
    // How many index fields the key buffer being edited uses (all of them unless told).
    int KeyFieldCount() const;
    void SetKeyFieldCount(int value);
    bool KeyExclusive() const;
    void SetKeyExclusive(bool value);

    // Deletes every row of the table.
    void EmptyTable();

    bool CanModify() const override;

protected:
    std::vector<TFieldDef> InternalOpen() override;
    void InternalClose() override;
    bool InternalFirst() override;
    bool InternalLast() override;
    bool InternalNext() override;
    bool InternalPrior() override;
    const TVariantArray *InternalCurrentRow() const override;
    TBookmark InternalBookmark() const override;
    bool InternalGotoBookmark(const TBookmark &bookmark) override;
    bool InternalBookmarkValid(const TBookmark &bookmark) override;
    int InternalRecordCount() override;
    std::optional<TBookmark> InternalLocate(const std::vector<int> &fields, const TVariantArray &values,
                                            TLocateOptions options) override;
    bool InternalEdit() override;
    void InternalPost(bool inserting, const TVariantArray &values,
                      const std::vector<bool> &assigned) override;
    void InternalDelete() override;
    void InternalRefresh() override;
    void InternalInitRecord(TVariantArray &values, std::vector<bool> &assigned) override;
    TVariantArray *KeyBuffer() override;
    const TVariantArray *KeyBuffer() const override;
    void PostKeyBuffer(bool commit) override;

private:
    friend class TTableMasterLink;

    struct TRow
    {
        TVariantArray Values; // the data fields
        TVariantArray Order;  // the index fields, then the row number
    };
    struct TOrderColumn
    {
        QString Sql;
        TFieldType Type;
    };
    enum TKeyIndex { kiLookup, kiRangeStart, kiRangeEnd, kiCount };
    struct TKeyBuffer
    {
        TVariantArray Values;
        int FieldCount = 0;
        bool Exclusive = false;
        bool Assigned = false;
    };
    struct TCondition
    {
        QString Sql;
        TVariantArray Params;
    };

    void EnsurePrepared();
    void ResolveIndex();
    void RebuildConditions();
    void Refilter();
    TCondition MasterCondition() const;
    TCondition RangeCondition() const;
    TCondition FilterCondition() const;
    QString Where(const QString &extra) const;
    // The row number of the first row, in index order, that meets the conditions and this one.
    std::optional<qint64> FirstRowId(const QString &condition, const TVariantArray &params);
    TRow ReadRow(TStatement &statement) const;
    std::vector<TRow> Fetch(const TVariantArray *after, bool forward, int limit);
    std::optional<TRow> ReadByRowId(qint64 rowId, bool withConditions);
    static bool StoredAsConverted(const TField &field, const TVariant &value);
    std::optional<TRow> RowFromInsert(qint64 rowId, const TVariantArray &values,
                                      const std::vector<bool> &assigned) const;
    void RepositionNear(const TVariantArray &order);
    void TrimBuffer();
    qint64 CurrentRowId() const;
    void ReorderKeepingPosition();
    void MasterChanged();
    void BeginKeyEdit(TKeyIndex index, bool clear);
    int IndexFieldCount() const { return int(FIndexColumns.size()); }
    void CheckIndexed() const;

    QString FTableName;
    QString FIndexName;
    QString FIndexFieldNames;
    QString FFilter;
    bool FFiltered = false;
    bool FFilterCaseInsensitive = false;
    bool FExclusive = false;
    TDataSource *FMasterSource = nullptr;
    QString FMasterFields;
    std::unique_ptr<TTableMasterLink> FMasterLink;

    // While open.
    TDatabase *FDb = nullptr;
    std::shared_ptr<const TTableInfo> FInfo;
    int FRowIdOrderPos = -1;           // where the row number is among the order columns
    std::vector<int> FIndexDataFields; // data field of each index field, -1 when not selected
    std::vector<int> FFieldColumns;    // table column of each data field
    std::vector<int> FIndexColumns;    // table columns of the index fields
    std::vector<TOrderColumn> FOrder;  // index fields then the row number
    QString FSelectList;
    QStringList FFieldColumnSql; // quoted column of each data field
    QString FReadRowSql[2];      // one row by number: without, with the conditions
    QHash<QByteArray, std::shared_ptr<TStatement>> FInsertStatements; // by assigned fields
    std::vector<bool> FLastInsertFields;
    std::shared_ptr<TStatement> *FLastInsert = nullptr;
    std::vector<std::optional<TVariant>> FDefaults; // of each data field, when known without reading
    QString FRowIdSql;
    QString FConditionSql;
    TVariantArray FConditionParams;

    std::deque<TRow> FBuffer;
    int FCurrent = -1;
    bool FAtStart = false; // the buffer's first row is the first of the set
    bool FAtEnd = false;   // the buffer's last row is the last of the set

    TKeyBuffer FKeys[kiCount];
    TKeyBuffer FSavedKey;
    TKeyIndex FEditingKey = kiLookup;
    bool FRangeApplied = false;
    TKeyBuffer FAppliedStart;
    TKeyBuffer FAppliedEnd;
};
