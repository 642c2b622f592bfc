// TTable: the key buffers, key lookups and ranges on the current index.

#include "Databases.h"
#include "TableSql.h"
#include "Tables.h"

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// Keys and ranges

void TTable::CheckIndexed() const
{
    if (FIndexColumns.empty())
        throw EDatabaseError(QStringLiteral("%1No index currently active")
                                 .arg(Name().isEmpty() ? QString() : Name() + QStringLiteral(": ")));
}

void TTable::BeginKeyEdit(TKeyIndex index, bool clear)
{
    CheckBrowseMode();
    EnsurePrepared();
    CheckIndexed();
    FSavedKey = FKeys[index];
    if (clear) {
        FKeys[index].Values.assign(FFieldColumns.size(), TVariant::Null());
        FKeys[index].FieldCount = IndexFieldCount();
        FKeys[index].Exclusive = false;
        FKeys[index].Assigned = false;
    }
    FEditingKey = index;
    SetState(TDataSetState::SetKey);
    DataEvent(TDataEvent::DataSetChange);
}

TVariantArray *TTable::KeyBuffer()
{
    return State() == TDataSetState::SetKey ? &FKeys[FEditingKey].Values : nullptr;
}

const TVariantArray *TTable::KeyBuffer() const
{
    return State() == TDataSetState::SetKey ? &FKeys[FEditingKey].Values : nullptr;
}

void TTable::PostKeyBuffer(bool commit)
{
    if (commit)
        FKeys[FEditingKey].Assigned = true;
    else
        FKeys[FEditingKey] = FSavedKey;
    SetState(TDataSetState::Browse);
    DataEvent(TDataEvent::DataSetChange);
}

void TTable::SetKey()
{
    BeginKeyEdit(kiLookup, true);
}

void TTable::EditKey()
{
    BeginKeyEdit(kiLookup, false);
}

void TTable::SetRangeStart()
{
    BeginKeyEdit(kiRangeStart, true);
}

void TTable::SetRangeEnd()
{
    BeginKeyEdit(kiRangeEnd, true);
}

void TTable::EditRangeStart()
{
    BeginKeyEdit(kiRangeStart, false);
}

void TTable::EditRangeEnd()
{
    BeginKeyEdit(kiRangeEnd, false);
}

int TTable::KeyFieldCount() const
{
    return FKeys[State() == TDataSetState::SetKey ? FEditingKey : kiLookup].FieldCount;
}

void TTable::SetKeyFieldCount(int value)
{
    FKeys[State() == TDataSetState::SetKey ? FEditingKey : kiLookup].FieldCount = value;
}

bool TTable::KeyExclusive() const
{
    return FKeys[State() == TDataSetState::SetKey ? FEditingKey : kiLookup].Exclusive;
}

void TTable::SetKeyExclusive(bool value)
{
    FKeys[State() == TDataSetState::SetKey ? FEditingKey : kiLookup].Exclusive = value;
}

bool TTable::GotoKey()
{
    CheckBrowseMode();
    EnsurePrepared();
    CheckIndexed();
    const TKeyBuffer &key = FKeys[kiLookup];
    const size_t count = size_t(std::clamp(key.FieldCount, 0, IndexFieldCount()));
    QStringList parts;
    TVariantArray params;
    for (size_t i = 0; i < count; ++i) {
        const int field = FIndexDataFields[i];
        parts << FOrder[i].Sql + QStringLiteral(" IS ?");
        params.push_back(field >= 0 ? key.Values[size_t(field)] : TVariant::Null());
    }
    const std::optional<qint64> found = FirstRowId(JoinSql(parts, QStringLiteral(" AND ")), params);
    if (!found)
        return false;
    GotoBookmark(TBookmark(*found));
    return true;
}

void TTable::GotoNearest()
{
    CheckBrowseMode();
    EnsurePrepared();
    CheckIndexed();
    const TKeyBuffer &key = FKeys[kiLookup];
    const size_t count = size_t(std::clamp(key.FieldCount, 0, IndexFieldCount()));
    std::vector<QString> columns;
    TVariantArray values;
    for (size_t i = 0; i < count; ++i) {
        columns.push_back(FOrder[i].Sql);
        const int field = FIndexDataFields[i];
        values.push_back(field >= 0 ? key.Values[size_t(field)] : TVariant::Null());
    }
    TVariantArray params;
    const QString condition = TupleCompareSql(
        columns, values, count, key.Exclusive ? QStringLiteral(">") : QStringLiteral(">="), params);
    const std::optional<qint64> found = FirstRowId(condition, params);
    if (found)
        GotoBookmark(TBookmark(*found));
    else
        Last();
}

namespace {

void fillKey(TVariantArray &buffer, const std::vector<int> &indexFields, const TVariantArray &values,
             const std::function<TVariant(int, const TVariant &)> &convert)
{
    for (size_t i = 0; i < values.size() && i < indexFields.size(); ++i)
        if (indexFields[i] >= 0)
            buffer[size_t(indexFields[i])] = convert(indexFields[i], values[i]);
}

} // namespace

bool TTable::FindKey(const TVariantArray &keyValues)
{
    SetKey();
    fillKey(FKeys[kiLookup].Values, FIndexDataFields, keyValues,
            [this](int field, const TVariant &value) { return Fields(field)->Convert(value); });
    FKeys[kiLookup].FieldCount = int(keyValues.size());
    return GotoKey();
}

void TTable::FindNearest(const TVariantArray &keyValues)
{
    SetKey();
    fillKey(FKeys[kiLookup].Values, FIndexDataFields, keyValues,
            [this](int field, const TVariant &value) { return Fields(field)->Convert(value); });
    FKeys[kiLookup].FieldCount = int(keyValues.size());
    GotoNearest();
}

void TTable::ApplyRange()
{
    CheckBrowseMode();
    EnsurePrepared();
    CheckIndexed();
    FAppliedStart = FKeys[kiRangeStart];
    FAppliedEnd = FKeys[kiRangeEnd];
    FRangeApplied = true;
    RebuildConditions();
    First();
}

void TTable::CancelRange()
{
    CheckBrowseMode();
    if (!FRangeApplied)
        return;
    FRangeApplied = false;
    RebuildConditions();
    First();
}

void TTable::SetRange(const TVariantArray &startValues, const TVariantArray &endValues)
{
    CheckBrowseMode();
    EnsurePrepared();
    CheckIndexed();
    auto convert = [this](int field, const TVariant &value) { return Fields(field)->Convert(value); };
    for (auto [index, values] : {std::pair{kiRangeStart, &startValues}, std::pair{kiRangeEnd, &endValues}}) {
        TKeyBuffer &key = FKeys[index];
        key.Values.assign(FFieldColumns.size(), TVariant::Null());
        fillKey(key.Values, FIndexDataFields, *values, convert);
        key.FieldCount = int(values->size());
        key.Exclusive = false;
        key.Assigned = true;
    }
    ApplyRange();
}
