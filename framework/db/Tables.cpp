#include "Tables.h"

#include "DataSources.h"
#include "Databases.h"
#include "FilterExpressions.h"
#include "SqliteStatements.h"
#include "TableSql.h"

#include <algorithm>

namespace {

// Rows fetched per keyset query, and how many stay buffered around the current one.
constexpr int PageSize = 64;
constexpr size_t MaxBuffered = 512;

} // namespace

// Follows the master data set: every move or change of its current record refills the detail.
class TTableMasterLink : public TDataLink
{
public:
    explicit TTableMasterLink(TTable *table) : FTable(table) {}
    bool IsDetailLink() const override { return true; }

protected:
    void ActiveChanged() override { FTable->MasterChanged(); }
    void CheckBrowseMode() override
    {
        if (FTable->Active())
            FTable->CheckBrowseMode();
    }
    void RecordChanged(TField *field) override
    {
        if (DataSource()->State() == TDataSetState::SetKey)
            return;
        if (field &&
            !SplitFieldNames(FTable->FMasterFields).contains(field->FieldName(), Qt::CaseInsensitive))
            return;
        FTable->MasterChanged();
    }

private:
    TTable *FTable;
};

TTable::TTable() = default;

TTable::~TTable()
{
    BeginDestroy();
    FMasterLink.reset();
    Close();
}

// ---------------------------------------------------------------------------------------------
// Properties

void TTable::SetTableName(const QString &value)
{
    CheckInactive();
    FTableName = value;
}

void TTable::SetIndexName(const QString &value)
{
    if (FIndexName == value && FIndexFieldNames.isEmpty())
        return;
    FIndexName = value;
    FIndexFieldNames.clear();
    ReorderKeepingPosition();
}

void TTable::SetIndexFieldNames(const QString &value)
{
    if (FIndexFieldNames == value && FIndexName.isEmpty())
        return;
    FIndexFieldNames = value;
    FIndexName.clear();
    ReorderKeepingPosition();
}

QStringList TTable::IndexFields() const
{
    QStringList names;
    if (FInfo)
        for (int column : FIndexColumns)
            names << FInfo->Columns[size_t(column)].Name;
    return names;
}

void TTable::SetFilter(const QString &value)
{
    if (FFilter == value)
        return;
    FFilter = value;
    if (FFiltered)
        Refilter();
}

void TTable::SetFiltered(bool value)
{
    if (FFiltered == value)
        return;
    FFiltered = value;
    Refilter();
}

void TTable::SetFilterCaseInsensitive(bool value)
{
    if (FFilterCaseInsensitive == value)
        return;
    FFilterCaseInsensitive = value;
    if (FFiltered)
        Refilter();
}

void TTable::Refilter()
{
    if (!Active())
        return;
    CheckBrowseMode();
    RebuildConditions();
    First();
}

void TTable::SetExclusive(bool value)
{
    CheckInactive();
    FExclusive = value;
}

void TTable::SetMasterSource(TDataSource *value)
{
    if (FMasterSource == value)
        return;
    if (value && value->DataSet() == this)
        throw EDatabaseError(QStringLiteral("Circular datalinks are not allowed"));
    FMasterSource = value;
    if (!value) {
        FMasterLink.reset();
        MasterChanged();
        return;
    }
    if (!FMasterLink)
        FMasterLink = std::make_unique<TTableMasterLink>(this);
    FMasterLink->SetDataSource(value);
    MasterChanged();
}

void TTable::SetMasterFields(const QString &value)
{
    if (FMasterFields == value)
        return;
    FMasterFields = value;
    MasterChanged();
}

bool TTable::CanModify() const
{
    return TDataSet::CanModify() && !(FDb && FDb->ReadOnly());
}

// ---------------------------------------------------------------------------------------------
// Opening

std::vector<TDataSet::TFieldDef> TTable::InternalOpen()
{
    if (FTableName.isEmpty())
        throw EDatabaseError(QStringLiteral("%1Missing TableName property")
                                 .arg(Name().isEmpty() ? QString() : Name() + QStringLiteral(": ")));
    FDb = OpenDatabase();
    try {
        FInfo = FDb->TableInfo(FTableName);
        FDb->AcquireTable(FTableName, this, FExclusive);
    } catch (...) {
        FInfo.reset();
        ReleaseDatabase();
        FDb = nullptr;
        throw;
    }
    // A server has no row number of its own to browse by and bookmark.
    if (FDb->IsPostgres() && FInfo->RowIdColumn < 0) {
        const QString table = FTableName;
        FDb->ReleaseTable(FTableName, this);
        FInfo.reset();
        ReleaseDatabase();
        FDb = nullptr;
        throw EDatabaseError(
            QStringLiteral("Table %1 has no integer primary key, which a table on a server is browsed by")
                .arg(table));
    }
    std::vector<TFieldDef> defs;
    for (const TColumnInfo &column : FInfo->Columns)
        defs.push_back({column.Name, column.Type, column.Size});
    FSelectList.clear();
    FBuffer.clear();
    FCurrent = -1;
    return defs;
}

void TTable::InternalClose()
{
    if (FDb)
        FDb->ReleaseTable(FTableName, this);
    ReleaseDatabase();
    FDb = nullptr;
    FInfo.reset();
    FBuffer.clear();
    FCurrent = -1;
    FSelectList.clear();
    FInsertStatements.clear();
    FLastInsert = nullptr;
    FIndexColumns.clear();
    FOrder.clear();
}

void TTable::EnsurePrepared()
{
    if (!FSelectList.isEmpty())
        return;
    FFieldColumns.clear();
    FFieldColumnSql.clear();
    FInsertStatements.clear();
    FLastInsert = nullptr;
    for (int i = 0; i < FieldCount(); ++i) {
        const TField *field = Fields(i);
        if (field->FieldKind() != TFieldKind::Data)
            continue;
        const int column = FInfo->ColumnIndex(field->FieldName());
        FFieldColumns.push_back(column);
        FFieldColumnSql << QuoteIdentifier(FInfo->Columns[size_t(column)].Name);
    }
    QStringList select = FFieldColumnSql;
    FDefaults.clear();
    for (size_t i = 0; i < FFieldColumns.size(); ++i) {
        const std::optional<TVariant> &value = FInfo->Columns[size_t(FFieldColumns[i])].DefaultValue;
        const TField &field = *Fields(int(i));
        FDefaults.push_back(value && StoredAsConverted(field, *value) ? std::optional(field.Convert(*value))
                                                                      : std::nullopt);
    }
    ResolveIndex();
    for (const TOrderColumn &order : FOrder)
        select << order.Sql;
    FSelectList = JoinSql(select, QStringLiteral(", "));
    for (TKeyBuffer &key : FKeys) {
        key.Values.assign(FFieldColumns.size(), TVariant::Null());
        key.FieldCount = IndexFieldCount();
        key.Exclusive = false;
        key.Assigned = false;
    }
    RebuildConditions();
}

void TTable::ResolveIndex()
{
    FIndexColumns.clear();
    FOrder.clear();
    QStringList fields;
    if (!FIndexFieldNames.isEmpty()) {
        fields = SplitFieldNames(FIndexFieldNames);
    } else if (!FIndexName.isEmpty()) {
        const TIndexInfo *index = FInfo->FindIndex(FIndexName);
        if (!index)
            throw EDatabaseError(
                QStringLiteral("Index not found: %1 (table %2)").arg(FIndexName, FTableName));
        fields = index->Fields;
    }
    for (const QString &name : fields) {
        const int column = FInfo->ColumnIndex(name);
        if (column < 0)
            throw EDatabaseError(
                QStringLiteral("Field '%1' not found (index of table %2)").arg(name, FTableName));
        FIndexColumns.push_back(column);
    }
    FIndexDataFields.clear();
    for (int column : FIndexColumns) {
        auto it = std::find(FFieldColumns.begin(), FFieldColumns.end(), column);
        FIndexDataFields.push_back(it == FFieldColumns.end() ? -1 : int(it - FFieldColumns.begin()));
    }

    FRowIdSql = FInfo->RowIdColumn >= 0 ? QuoteIdentifier(FInfo->Columns[size_t(FInfo->RowIdColumn)].Name)
                                        : QStringLiteral("rowid");
    FRowIdOrderPos = -1;
    for (size_t i = 0; i < FIndexColumns.size(); ++i) {
        const TColumnInfo &column = FInfo->Columns[size_t(FIndexColumns[i])];
        FOrder.push_back({QuoteIdentifier(column.Name), column.Type});
        if (FIndexColumns[i] == FInfo->RowIdColumn)
            FRowIdOrderPos = int(i);
    }
    // The row number makes every position unique, so paging never skips or repeats a row.
    if (FRowIdOrderPos < 0) {
        FRowIdOrderPos = int(FOrder.size());
        FOrder.push_back({FRowIdSql, TFieldType::Largeint});
    }
}

// ---------------------------------------------------------------------------------------------
// Conditions

TTable::TCondition TTable::FilterCondition() const
{
    if (!FFiltered || FFilter.trimmed().isEmpty())
        return {};
    const auto info = FInfo;
    const TSqlCondition condition = TranslateFilter(
        FFilter,
        [info](const QString &name) -> std::optional<TFilterColumn> {
            const int column = info->ColumnIndex(name);
            if (column < 0)
                return std::nullopt;
            const TColumnInfo &c = info->Columns[size_t(column)];
            return TFilterColumn{QuoteIdentifier(c.Name), c.Type};
        },
        FFilterCaseInsensitive);
    return {condition.Sql, condition.Params};
}

TTable::TCondition TTable::RangeCondition() const
{
    if (!FRangeApplied)
        return {};
    std::vector<QString> columns;
    for (size_t i = 0; i < FIndexColumns.size(); ++i)
        columns.push_back(FOrder[i].Sql);
    auto keyValues = [this](const TKeyBuffer &key) {
        TVariantArray values;
        for (size_t i = 0; i < FIndexColumns.size(); ++i) {
            const int field = FIndexDataFields[i];
            values.push_back(field >= 0 ? key.Values[size_t(field)] : TVariant::Null());
        }
        return values;
    };
    const TVariantArray start = keyValues(FAppliedStart);
    const TVariantArray end = keyValues(FAppliedEnd);
    const size_t startCount = size_t(std::clamp(FAppliedStart.FieldCount, 0, IndexFieldCount()));
    const size_t endCount = size_t(std::clamp(FAppliedEnd.FieldCount, 0, IndexFieldCount()));
    TCondition condition;
    // The usual range, start and end the same key: plain equalities that an index serves.
    if (startCount == endCount && FAppliedStart.Assigned && FAppliedEnd.Assigned &&
        !FAppliedStart.Exclusive && !FAppliedEnd.Exclusive &&
        std::equal(start.begin(), start.begin() + long(startCount), end.begin())) {
        QStringList parts;
        for (size_t i = 0; i < startCount; ++i) {
            parts << columns[i] + QStringLiteral(" IS ?");
            condition.Params.push_back(start[i].IsEmpty() ? TVariant::Null() : start[i]);
        }
        condition.Sql = parts.isEmpty() ? QString() : JoinSql(parts, QStringLiteral(" AND "));
        return condition;
    }
    QStringList parts;
    // A bound that was never set leaves that side of the range open.
    if (startCount > 0 && FAppliedStart.Assigned)
        parts << TupleCompareSql(columns, start, startCount,
                                 FAppliedStart.Exclusive ? QStringLiteral(">") : QStringLiteral(">="),
                                 condition.Params);
    if (endCount > 0 && FAppliedEnd.Assigned)
        parts << TupleCompareSql(columns, end, endCount,
                                 FAppliedEnd.Exclusive ? QStringLiteral("<") : QStringLiteral("<="),
                                 condition.Params);
    condition.Sql = JoinSql(parts, QStringLiteral(" AND "));
    return condition;
}

TTable::TCondition TTable::MasterCondition() const
{
    if (!FMasterSource || FMasterFields.isEmpty())
        return {};
    const QStringList masterFields = SplitFieldNames(FMasterFields);
    TDataSet *master = FMasterSource->DataSet();
    if (!master || !master->Active())
        return {QStringLiteral("FALSE"), {}};
    if (size_t(masterFields.size()) > FIndexColumns.size())
        throw EDatabaseError(QStringLiteral("%1The index of %2 has fewer fields than the master fields %3")
                                 .arg(Name().isEmpty() ? QString() : Name() + QStringLiteral(": "),
                                      FTableName, FMasterFields));
    TCondition condition;
    QStringList parts;
    for (qsizetype i = 0; i < masterFields.size(); ++i) {
        const TVariant value = master->FieldByName(masterFields[i])->Value();
        // A master record without a key value (a new one, say) has no details.
        if (value.IsEmptyOrNull())
            return {QStringLiteral("FALSE"), {}};
        parts << FOrder[size_t(i)].Sql + QStringLiteral(" = ?");
        condition.Params.push_back(value);
    }
    condition.Sql = JoinSql(parts, QStringLiteral(" AND "));
    return condition;
}

void TTable::RebuildConditions()
{
    QStringList parts;
    TVariantArray params;
    for (const TCondition &condition : {FilterCondition(), RangeCondition(), MasterCondition()}) {
        if (condition.Sql.isEmpty())
            continue;
        parts << u'(' + condition.Sql + u')';
        params.insert(params.end(), condition.Params.begin(), condition.Params.end());
    }
    FConditionSql = JoinSql(parts, QStringLiteral(" AND "));
    FConditionParams = std::move(params);
    const QString head =
        QStringLiteral("SELECT ") + FSelectList + QStringLiteral(" FROM ") + QuoteIdentifier(FInfo->Name);
    FReadRowSql[0] = head + QStringLiteral(" WHERE ") + FRowIdSql + QStringLiteral(" = ?");
    FReadRowSql[1] = head + Where(FRowIdSql + QStringLiteral(" = ?"));
}

QString TTable::Where(const QString &extra) const
{
    if (FConditionSql.isEmpty())
        return extra.isEmpty() ? QString() : QStringLiteral(" WHERE ") + extra;
    if (extra.isEmpty())
        return QStringLiteral(" WHERE ") + FConditionSql;
    return QStringLiteral(" WHERE ") + FConditionSql + QStringLiteral(" AND ") + extra;
}

// ---------------------------------------------------------------------------------------------
// Cursor

TTable::TRow TTable::ReadRow(TStatement &statement) const
{
    TRow row;
    const int fieldCount = int(FFieldColumns.size());
    row.Values.reserve(size_t(fieldCount));
    for (int i = 0; i < fieldCount; ++i)
        row.Values.push_back(statement.Column(i, FInfo->Columns[size_t(FFieldColumns[size_t(i)])].Type));
    // The position is kept as the file holds it, not as the field types it: it is only ever bound
    // back into keyset conditions, and a value that does not survive the round trip (a date-time
    // stored without milliseconds, a Boolean stored as 2) would make paging skip or repeat rows.
    row.Order.reserve(FOrder.size());
    for (size_t k = 0; k < FOrder.size(); ++k) {
        const int column = fieldCount + int(k);
        row.Order.push_back(statement.Column(column, statement.ColumnValueType(column)));
    }
    return row;
}

std::vector<TTable::TRow> TTable::Fetch(const TVariantArray *after, bool forward, int limit)
{
    std::vector<TRow> rows;
    QStringList orderBy;
    for (const TOrderColumn &order : FOrder)
        orderBy << FDb->OrderTerm(order.Sql, !forward);
    const QString head =
        QStringLiteral("SELECT ") + FSelectList + QStringLiteral(" FROM ") + QuoteIdentifier(FInfo->Name);
    const QString tail =
        QStringLiteral(" ORDER BY ") + JoinSql(orderBy, QStringLiteral(", ")) + QStringLiteral(" LIMIT ?");

    auto run = [&](const QString &extra, const TVariantArray &extraParams) {
        TStatement &statement = Statement(head + Where(extra) + tail);
        statement.BindAll(FConditionParams);
        statement.BindAll(extraParams, int(FConditionParams.size()) + 1);
        statement.Bind(int(FConditionParams.size() + extraParams.size()) + 1,
                       TVariant(qint32(limit - int(rows.size()))));
        while (statement.Step())
            rows.push_back(ReadRow(statement));
        statement.Reset();
    };

    if (!after) {
        run(QString(), {});
        return rows;
    }
    // Rows past a position in (c0, c1, ..., rowid) order, as a sequence of queries that each keep
    // a prefix of the position fixed and move on the next column. Every one of them is a plain
    // range on the index, which a single row-value comparison would not be once NULLs take part.
    for (int j = int(FOrder.size()) - 1; j >= 0 && int(rows.size()) < limit; --j) {
        QStringList prefix;
        TVariantArray params;
        for (int i = 0; i < j; ++i) {
            prefix << FOrder[size_t(i)].Sql + QStringLiteral(" IS ?");
            params.push_back((*after)[size_t(i)]);
        }
        const QString &column = FOrder[size_t(j)].Sql;
        const TVariant &value = (*after)[size_t(j)];
        auto withPrefix = [&prefix](const QString &part) {
            return prefix.isEmpty()
                       ? part
                       : JoinSql(prefix, QStringLiteral(" AND ")) + QStringLiteral(" AND ") + part;
        };
        if (forward) {
            if (value.IsNull()) {
                run(withPrefix(column + QStringLiteral(" IS NOT NULL")), params);
            } else {
                TVariantArray p = params;
                p.push_back(value);
                run(withPrefix(column + QStringLiteral(" > ?")), p);
            }
        } else if (!value.IsNull()) {
            TVariantArray p = params;
            p.push_back(value);
            run(withPrefix(column + QStringLiteral(" < ?")), p);
            if (int(rows.size()) < limit)
                run(withPrefix(column + QStringLiteral(" IS NULL")), params);
        }
    }
    return rows;
}

std::optional<TTable::TRow> TTable::ReadByRowId(qint64 rowId, bool withConditions)
{
    TStatement &statement = Statement(FReadRowSql[withConditions ? 1 : 0]);
    int next = 1;
    if (withConditions) {
        statement.BindAll(FConditionParams);
        next += int(FConditionParams.size());
    }
    statement.Bind(next, TVariant(rowId));
    std::optional<TRow> row;
    if (statement.Step())
        row = ReadRow(statement);
    statement.Reset();
    return row;
}

void TTable::TrimBuffer()
{
    while (FBuffer.size() > MaxBuffered) {
        if (size_t(FCurrent) >= FBuffer.size() / 2) {
            FBuffer.pop_front();
            --FCurrent;
            FAtStart = false;
        } else {
            FBuffer.pop_back();
            FAtEnd = false;
        }
    }
}

void TTable::RepositionNear(const TVariantArray &order)
{
    std::vector<TRow> rows = Fetch(&order, true, PageSize);
    if (!rows.empty()) {
        FAtEnd = rows.size() < size_t(PageSize);
        FAtStart = false;
        FBuffer.assign(std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
        FCurrent = 0;
        return;
    }
    rows = Fetch(&order, false, PageSize);
    FBuffer.clear();
    for (TRow &row : rows)
        FBuffer.push_front(std::move(row));
    FCurrent = int(FBuffer.size()) - 1;
    FAtEnd = true;
    FAtStart = rows.size() < size_t(PageSize);
}

qint64 TTable::CurrentRowId() const
{
    return FBuffer[size_t(FCurrent)].Order[size_t(FRowIdOrderPos)].AsInt64();
}

bool TTable::InternalFirst()
{
    EnsurePrepared();
    std::vector<TRow> rows = Fetch(nullptr, true, PageSize);
    FAtStart = true;
    FAtEnd = rows.size() < size_t(PageSize);
    FBuffer.assign(std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    FCurrent = FBuffer.empty() ? -1 : 0;
    return !FBuffer.empty();
}

bool TTable::InternalLast()
{
    EnsurePrepared();
    std::vector<TRow> rows = Fetch(nullptr, false, PageSize);
    FBuffer.clear();
    for (TRow &row : rows)
        FBuffer.push_front(std::move(row));
    FAtEnd = true;
    FAtStart = rows.size() < size_t(PageSize);
    FCurrent = int(FBuffer.size()) - 1;
    return !FBuffer.empty();
}

bool TTable::InternalNext()
{
    if (FBuffer.empty())
        return false;
    if (size_t(FCurrent) + 1 < FBuffer.size()) {
        ++FCurrent;
        return true;
    }
    if (FAtEnd)
        return false;
    std::vector<TRow> rows = Fetch(&FBuffer.back().Order, true, PageSize);
    FAtEnd = rows.size() < size_t(PageSize);
    if (rows.empty())
        return false;
    for (TRow &row : rows)
        FBuffer.push_back(std::move(row));
    ++FCurrent;
    TrimBuffer();
    return true;
}

bool TTable::InternalPrior()
{
    if (FBuffer.empty())
        return false;
    if (FCurrent > 0) {
        --FCurrent;
        return true;
    }
    if (FAtStart)
        return false;
    std::vector<TRow> rows = Fetch(&FBuffer.front().Order, false, PageSize);
    FAtStart = rows.size() < size_t(PageSize);
    if (rows.empty())
        return false;
    for (TRow &row : rows)
        FBuffer.push_front(std::move(row));
    FCurrent = int(rows.size()) - 1;
    TrimBuffer();
    return true;
}

const TVariantArray *TTable::InternalCurrentRow() const
{
    return FCurrent >= 0 && size_t(FCurrent) < FBuffer.size() ? &FBuffer[size_t(FCurrent)].Values : nullptr;
}

TBookmark TTable::InternalBookmark() const
{
    return FCurrent >= 0 ? TBookmark(CurrentRowId()) : TBookmark();
}

bool TTable::InternalGotoBookmark(const TBookmark &bookmark)
{
    EnsurePrepared();
    std::optional<TRow> row = ReadByRowId(bookmark.AsInt64(), true);
    if (!row)
        return false;
    FBuffer.clear();
    FBuffer.push_back(std::move(*row));
    FCurrent = 0;
    FAtStart = FAtEnd = false;
    return true;
}

bool TTable::InternalBookmarkValid(const TBookmark &bookmark)
{
    EnsurePrepared();
    if (!bookmark.IsOrdinal())
        return false;
    TStatement &statement = Statement(QStringLiteral("SELECT 1 FROM ") + QuoteIdentifier(FInfo->Name) +
                                      Where(FRowIdSql + QStringLiteral(" = ?")));
    statement.BindAll(FConditionParams);
    statement.Bind(int(FConditionParams.size()) + 1, TVariant(bookmark.AsInt64()));
    const bool found = statement.Step();
    statement.Reset();
    return found;
}

int TTable::InternalRecordCount()
{
    EnsurePrepared();
    TStatement &statement =
        Statement(QStringLiteral("SELECT count(*) FROM ") + QuoteIdentifier(FInfo->Name) + Where(QString()));
    statement.BindAll(FConditionParams);
    statement.Step();
    const int count = int(statement.ColumnInt64(0));
    statement.Reset();
    return count;
}

std::optional<TBookmark> TTable::InternalLocate(const std::vector<int> &fields, const TVariantArray &values,
                                                TLocateOptions options)
{
    EnsurePrepared();
    QStringList parts;
    TVariantArray params;
    for (size_t i = 0; i < fields.size(); ++i) {
        const TColumnInfo &column = FInfo->Columns[size_t(FFieldColumns[size_t(fields[i])])];
        const QString name = QuoteIdentifier(column.Name);
        const TVariant &value = values[i];
        if (value.IsEmptyOrNull()) {
            parts << name + QStringLiteral(" IS NULL");
            continue;
        }
        const QString collate = (options & loCaseInsensitive) && IsTextType(column.Type)
                                    ? QStringLiteral(" COLLATE NOCASE")
                                    : QString();
        if ((options & loPartialKey) && IsTextType(column.Type)) {
            parts << QStringLiteral("substr(%1, 1, length(?)) = ?%2").arg(name, collate);
            params.push_back(value);
            params.push_back(value);
        } else {
            parts << name + QStringLiteral(" = ?") + collate;
            params.push_back(value);
        }
    }
    if (const std::optional<qint64> found = FirstRowId(JoinSql(parts, QStringLiteral(" AND ")), params))
        return TBookmark(*found);
    return std::nullopt;
}

std::optional<qint64> TTable::FirstRowId(const QString &condition, const TVariantArray &params)
{
    QStringList orderBy;
    for (const TOrderColumn &order : FOrder)
        orderBy << FDb->OrderTerm(order.Sql, false);
    TStatement &statement =
        Statement(QStringLiteral("SELECT ") + FRowIdSql + QStringLiteral(" FROM ") +
                  QuoteIdentifier(FInfo->Name) + Where(condition) + QStringLiteral(" ORDER BY ") +
                  JoinSql(orderBy, QStringLiteral(", ")) + QStringLiteral(" LIMIT 1"));
    statement.BindAll(FConditionParams);
    statement.BindAll(params, int(FConditionParams.size()) + 1);
    std::optional<qint64> found;
    if (statement.Step())
        found = statement.ColumnInt64(0);
    statement.Reset();
    return found;
}

// ---------------------------------------------------------------------------------------------
// Editing

bool TTable::InternalEdit()
{
    std::optional<TRow> row = ReadByRowId(CurrentRowId(), false);
    if (!row)
        return false;
    FBuffer[size_t(FCurrent)].Values = std::move(row->Values);
    return true;
}

void TTable::InternalInitRecord(TVariantArray &values, std::vector<bool> &assigned)
{
    if (!FMasterSource || FMasterFields.isEmpty())
        return;
    TDataSet *master = FMasterSource->DataSet();
    if (!master || !master->Active())
        return;
    const QStringList masterFields = SplitFieldNames(FMasterFields);
    for (qsizetype i = 0; i < masterFields.size() && size_t(i) < FIndexDataFields.size(); ++i) {
        const int field = FIndexDataFields[size_t(i)];
        if (field < 0)
            continue;
        values[size_t(field)] = Fields(field)->Convert(master->FieldByName(masterFields[i])->Value());
        assigned[size_t(field)] = true;
    }
}

void TTable::InternalPost(bool inserting, const TVariantArray &values, const std::vector<bool> &assigned)
{
    const QString table = QuoteIdentifier(FInfo->Name);
    qint64 rowId = 0;
    TVariantArray oldOrder;
    if (inserting) {
        // Appending is the hot path of a scan: one prepared statement per set of written fields.
        if (assigned != FLastInsertFields || !FLastInsert) {
            QByteArray mask(qsizetype(assigned.size()), '0');
            for (size_t i = 0; i < assigned.size(); ++i)
                if (assigned[i])
                    mask[qsizetype(i)] = '1';
            FLastInsertFields = assigned;
            FLastInsert = &FInsertStatements[mask];
        }
        std::shared_ptr<TStatement> &statement = *FLastInsert;
        if (!statement) {
            QStringList columns;
            QStringList marks;
            for (size_t i = 0; i < assigned.size(); ++i) {
                if (assigned[i]) {
                    columns << FFieldColumnSql[qsizetype(i)];
                    marks << QStringLiteral("?");
                }
            }
            const QString sql =
                columns.isEmpty()
                    ? QStringLiteral("INSERT INTO ") + table + QStringLiteral(" DEFAULT VALUES")
                    : QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") +
                          JoinSql(columns, QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
                          JoinSql(marks, QStringLiteral(", ")) + u')';
            statement = FDb->Prepare(sql + FDb->ReturningKey(FRowIdSql));
        }
        statement->Reset();
        int next = 1;
        for (size_t i = 0; i < assigned.size(); ++i)
            if (assigned[i])
                statement->Bind(next++, values[i]);
        statement->Execute();
        statement->Reset();
        rowId = statement->LastInsertId();
    } else {
        TVariantArray params;
        QStringList columns;
        for (size_t i = 0; i < FFieldColumns.size(); ++i) {
            if (!assigned[i])
                continue;
            columns << FFieldColumnSql[qsizetype(i)];
            params.push_back(values[i]);
        }
        rowId = CurrentRowId();
        oldOrder = FBuffer[size_t(FCurrent)].Order;
        if (!columns.isEmpty()) {
            QStringList sets;
            for (const QString &column : columns)
                sets << column + QStringLiteral(" = ?");
            TStatement &statement = Statement(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") +
                                              JoinSql(sets, QStringLiteral(", ")) +
                                              QStringLiteral(" WHERE ") + FRowIdSql + QStringLiteral(" = ?"));
            statement.BindAll(params);
            statement.Bind(int(params.size()) + 1, TVariant(rowId));
            statement.Execute();
            const qint64 changed = statement.Changes();
            statement.Reset();
            if (changed == 0)
                throw EDatabaseError(QStringLiteral("Record/Key deleted."));
        }
    }
    // A new row of a table without conditions or triggers on inserts is what was written plus the
    // defaults:
    // no need to read it back, which would double the cost of appending.
    if (inserting && FConditionSql.isEmpty() && !FInfo->HasInsertTriggers) {
        if (std::optional<TRow> row = RowFromInsert(rowId, values, assigned)) {
            FBuffer.clear();
            FBuffer.push_back(std::move(*row));
            FCurrent = 0;
            FAtStart = FAtEnd = false;
            return;
        }
    }
    // The written record becomes current; one that no longer belongs to the set (moved out of
    // the range or filter) leaves the cursor on its neighbour.
    if (std::optional<TRow> row = ReadByRowId(rowId, true)) {
        FBuffer.clear();
        FBuffer.push_back(std::move(*row));
        FCurrent = 0;
        FAtStart = FAtEnd = false;
        return;
    }
    std::optional<TRow> written = ReadByRowId(rowId, false);
    if (written)
        RepositionNear(written->Order);
    else if (!oldOrder.empty())
        RepositionNear(oldOrder);
}

// Whether the engine stores a default literal as the field reads it: true for a NULL, an integer
// in an integer or Boolean (0 or 1) column, a number in a floating column and a text that fits its
// text column. Other defaults are read back after the insert.
bool TTable::StoredAsConverted(const TField &field, const TVariant &value)
{
    if (value.IsNull())
        return true;
    switch (field.DataType()) {
    case TFieldType::Smallint:
    case TFieldType::Integer:
    case TFieldType::AutoInc:
    case TFieldType::Largeint:
        return value.VarType() == TVarType::Int64;
    case TFieldType::Boolean:
        return value.VarType() == TVarType::Int64 && (value.AsInt64() == 0 || value.AsInt64() == 1);
    case TFieldType::Float:
        return value.IsNumeric();
    case TFieldType::String:
        return value.VarType() == TVarType::String &&
               (field.Size() <= 0 || value.AsString().size() <= field.Size());
    case TFieldType::Memo:
        return value.VarType() == TVarType::String;
    default:
        return false;
    }
}

std::optional<TTable::TRow> TTable::RowFromInsert(qint64 rowId, const TVariantArray &values,
                                                  const std::vector<bool> &assigned) const
{
    TRow row;
    row.Values.reserve(FFieldColumns.size());
    for (size_t i = 0; i < FFieldColumns.size(); ++i) {
        const int column = FFieldColumns[i];
        if (column == FInfo->RowIdColumn) {
            row.Values.push_back(Fields(int(i))->Convert(TVariant(rowId)));
        } else if (assigned[i]) {
            row.Values.push_back(values[i]);
        } else {
            const std::optional<TVariant> &value = FDefaults[i];
            if (!value)
                return std::nullopt;
            row.Values.push_back(*value);
        }
    }
    row.Order.reserve(FOrder.size());
    for (size_t k = 0; k < FOrder.size(); ++k) {
        if (int(k) == FRowIdOrderPos) {
            row.Order.push_back(TVariant(rowId));
            continue;
        }
        const int field = FIndexDataFields[k];
        if (field < 0)
            return std::nullopt;
        row.Order.push_back(row.Values[size_t(field)]);
    }
    return row;
}

void TTable::InternalDelete()
{
    const qint64 rowId = CurrentRowId();
    const TVariantArray order = FBuffer[size_t(FCurrent)].Order;
    TStatement &statement = Statement(QStringLiteral("DELETE FROM ") + QuoteIdentifier(FInfo->Name) +
                                      QStringLiteral(" WHERE ") + FRowIdSql + QStringLiteral(" = ?"));
    statement.Bind(1, TVariant(rowId));
    statement.Execute();
    statement.Reset();
    // A row already gone (deleted by a statement of its own) is not an error: the data set only
    // has to let go of it.
    RepositionNear(order);
}

void TTable::InternalRefresh()
{
    EnsurePrepared();
    if (FCurrent < 0) {
        InternalFirst();
        return;
    }
    const TVariantArray order = FBuffer[size_t(FCurrent)].Order;
    if (std::optional<TRow> row = ReadByRowId(CurrentRowId(), true)) {
        FBuffer.clear();
        FBuffer.push_back(std::move(*row));
        FCurrent = 0;
        FAtStart = FAtEnd = false;
        return;
    }
    RepositionNear(order);
}

void TTable::EmptyTable()
{
    if (Active())
        CheckBrowseMode();
    TDatabase *database = Active() ? FDb : OpenDatabase();
    database->ExecSQL(QStringLiteral("DELETE FROM ") + QuoteIdentifier(FTableName));
    if (Active())
        First();
    else
        ReleaseDatabase();
}

// ---------------------------------------------------------------------------------------------
// Index switching and the master

void TTable::ReorderKeepingPosition()
{
    if (!Active())
        return;
    CheckBrowseMode();
    const bool hadRecord = FCurrent >= 0;
    const qint64 rowId = hadRecord ? CurrentRowId() : 0;
    FRangeApplied = false;
    FSelectList.clear();
    ClearStatements();
    EnsurePrepared();
    if (hadRecord && InternalGotoBookmark(TBookmark(rowId))) {
        CursorRepositioned(false, false);
        return;
    }
    const bool hasRows = InternalFirst();
    CursorRepositioned(true, !hasRows);
}

void TTable::MasterChanged()
{
    if (!Active() || State() == TDataSetState::Inactive)
        return;
    CheckBrowseMode();
    EnsurePrepared();
    RebuildConditions();
    const bool hasRows = InternalFirst();
    CursorRepositioned(true, !hasRows);
}
