#include "DataSets.h"

#include "DataSources.h"

#include <QBuffer>
#include <algorithm>

namespace {

// Restores a flag however the scope is left.
struct TFlagGuard
{
    bool &Flag;
    bool Saved;
    explicit TFlagGuard(bool &flag, bool value) : Flag(flag), Saved(flag) { Flag = value; }
    ~TFlagGuard() { Flag = Saved; }
};

QString dataSetLabel(const TDataSet *dataSet)
{
    return dataSet->Name().isEmpty() ? QString() : QStringLiteral("%1: ").arg(dataSet->Name());
}

} // namespace

TDataSet::TDataSet() = default;

TDataSet::~TDataSet()
{
    // Descendants close themselves in their destructors, while their cursor still exists.
    FDestroying = true;
    for (TDataSource *source : std::vector<TDataSource *>(FDataSources))
        source->DataSetDestroyed();
}

// ---------------------------------------------------------------------------------------------
// Fields

TField *TDataSet::FindField(const QString &fieldName) const
{
    for (const auto &field : FFields)
        if (field->FieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return field.get();
    return nullptr;
}

TField *TDataSet::FieldByName(const QString &fieldName) const
{
    TField *field = FindField(fieldName);
    if (!field)
        throw EDatabaseError(QStringLiteral("%1Field '%2' not found").arg(dataSetLabel(this), fieldName));
    return field;
}

void TDataSet::SetFieldNames(const QStringList &names)
{
    CheckInactive();
    FFieldNames = names;
}

void TDataSet::AddCalculatedField(const QString &fieldName, TFieldType type, int size)
{
    CheckInactive();
    FCalcDefs.push_back({fieldName, type, size});
    auto field = std::make_unique<TField>(this, fieldName, type, size, TFieldKind::Calculated);
    field->FIndex = int(FFields.size());
    FFields.push_back(std::move(field));
}

void TDataSet::CreateFields(const std::vector<TFieldDef> &available)
{
    std::vector<TFieldDef> chosen;
    if (FFieldNames.isEmpty()) {
        chosen = available;
    } else {
        for (const QString &name : FFieldNames) {
            auto it = std::find_if(available.begin(), available.end(), [&name](const TFieldDef &def) {
                return def.Name.compare(name, Qt::CaseInsensitive) == 0;
            });
            if (it == available.end())
                throw EDatabaseError(QStringLiteral("%1Field '%2' not found").arg(dataSetLabel(this), name));
            chosen.push_back(*it);
        }
    }
    // Calculated fields stay where they are (after the data fields); data fields are made anew.
    std::vector<std::unique_ptr<TField>> calculated;
    for (auto &field : FFields)
        if (field->FieldKind() == TFieldKind::Calculated)
            calculated.push_back(std::move(field));
    FFields.clear();
    for (const TFieldDef &def : chosen)
        FFields.push_back(std::make_unique<TField>(this, def.Name, def.Type, def.Size, TFieldKind::Data));
    FDataFieldCount = int(FFields.size());
    for (auto &field : calculated)
        FFields.push_back(std::move(field));
    for (size_t i = 0; i < FFields.size(); ++i)
        FFields[i]->FIndex = int(i);
    FCalcBuffer.assign(FCalcDefs.size(), TVariant::Null());
    FCalcValid = false;
}

void TDataSet::DestroyDataFields()
{
    std::erase_if(
        FFields, [](const std::unique_ptr<TField> &field) { return field->FieldKind() == TFieldKind::Data; });
    for (size_t i = 0; i < FFields.size(); ++i)
        FFields[i]->FIndex = int(i);
    FDataFieldCount = 0;
}

TVariant TDataSet::FieldValues(const QString &fieldNames) const
{
    if (!fieldNames.contains(u';'))
        return FieldByName(fieldNames.trimmed())->Value();
    TVariantArray values;
    const QStringList names = fieldNames.split(u';', Qt::SkipEmptyParts);
    for (const QString &name : names)
        values.push_back(FieldByName(name.trimmed())->Value());
    return TVariant(std::move(values));
}

void TDataSet::SetFieldValues(const QString &fieldNames, const TVariant &value)
{
    if (!fieldNames.contains(u';')) {
        FieldByName(fieldNames.trimmed())->SetValue(value);
        return;
    }
    const QStringList names = fieldNames.split(u';', Qt::SkipEmptyParts);
    if (!value.IsArray()) {
        if (names.size() != 1)
            throw EDatabaseError(QStringLiteral("%1%2 values are needed for the fields %3")
                                     .arg(dataSetLabel(this))
                                     .arg(names.size())
                                     .arg(fieldNames));
        FieldByName(names.first().trimmed())->SetValue(value);
        return;
    }
    if (value.Count() != names.size())
        throw EDatabaseError(QStringLiteral("%1%2 values are needed for the fields %3")
                                 .arg(dataSetLabel(this))
                                 .arg(names.size())
                                 .arg(fieldNames));
    for (qsizetype i = 0; i < names.size(); ++i)
        FieldByName(names[i].trimmed())->SetValue(value[i]);
}

void TDataSet::CalculateFields() const
{
    FCalcBuffer.assign(FCalcDefs.size(), TVariant::Null());
    FCalcValid = true;
    if (FCalcDefs.empty() || !OnCalcFields || FCalculating)
        return;
    auto *self = const_cast<TDataSet *>(this);
    TFlagGuard calculating(self->FCalculating, true);
    OnCalcFields(self);
}

TVariant TDataSet::GetFieldValue(const TField *field) const
{
    if (FState == TDataSetState::Inactive)
        return TVariant::Null();
    const int index = field->Index();
    if (field->FieldKind() == TFieldKind::Calculated) {
        if (!FCalcValid)
            CalculateFields();
        return FCalcBuffer[size_t(index - FDataFieldCount)];
    }
    switch (FState) {
    case TDataSetState::SetKey: {
        const TVariantArray *keys = KeyBuffer();
        return keys ? (*keys)[size_t(index)] : TVariant::Null();
    }
    case TDataSetState::Edit:
    case TDataSetState::Insert:
        return FEditBuffer[size_t(index)];
    default: {
        const TVariantArray *row = IsEmpty() ? nullptr : InternalCurrentRow();
        return row ? (*row)[size_t(index)] : TVariant::Null();
    }
    }
}

void TDataSet::SetFieldValue(TField *field, const TVariant &value)
{
    const int index = field->Index();
    if (field->FieldKind() == TFieldKind::Calculated) {
        if (!FCalculating)
            throw EDatabaseError(QStringLiteral("%1Field '%2' cannot be modified")
                                     .arg(dataSetLabel(this), field->FieldName()));
        FCalcBuffer[size_t(index - FDataFieldCount)] = field->Convert(value);
        return;
    }
    switch (FState) {
    case TDataSetState::SetKey: {
        TVariantArray *keys = KeyBuffer();
        if (!keys)
            throw EDatabaseError(
                QStringLiteral("%1Dataset not in edit or insert mode").arg(dataSetLabel(this)));
        (*keys)[size_t(index)] = field->Convert(value);
        DataEvent(TDataEvent::FieldChange, field);
        return;
    }
    case TDataSetState::Edit:
    case TDataSetState::Insert:
        break;
    default:
        throw EDatabaseError(QStringLiteral("%1Dataset not in edit or insert mode").arg(dataSetLabel(this)));
    }
    if (field->ReadOnly())
        throw EDatabaseError(
            QStringLiteral("%1Field '%2' cannot be modified").arg(dataSetLabel(this), field->FieldName()));
    FEditBuffer[size_t(index)] = field->Convert(value);
    FAssigned[size_t(index)] = true;
    FModified = true;
    FCalcValid = false;
    DataEvent(TDataEvent::FieldChange, field);
}

// ---------------------------------------------------------------------------------------------
// State

void TDataSet::CheckActive() const
{
    if (FState == TDataSetState::Inactive)
        throw EDatabaseError(
            QStringLiteral("%1Cannot perform this operation on a closed dataset").arg(dataSetLabel(this)));
}

void TDataSet::CheckInactive() const
{
    if (FState != TDataSetState::Inactive)
        throw EDatabaseError(
            QStringLiteral("%1Cannot perform this operation on an open dataset").arg(dataSetLabel(this)));
}

bool TDataSet::CanModify() const
{
    return !FReadOnly;
}

void TDataSet::CheckCanModify() const
{
    if (!CanModify())
        throw EDatabaseError(QStringLiteral("%1Cannot modify a read-only dataset").arg(dataSetLabel(this)));
}

void TDataSet::SetReadOnly(bool value)
{
    CheckInactive();
    FReadOnly = value;
}

void TDataSet::SetState(TDataSetState value)
{
    if (FState == value)
        return;
    FState = value;
    FModified = false;
    DataEvent(TDataEvent::UpdateState);
}

void TDataSet::DataEvent(TDataEvent event, TField *field, int info)
{
    if (FDisableCount == 0) {
        for (TDataSource *source : std::vector<TDataSource *>(FDataSources))
            if (std::find(FDataSources.begin(), FDataSources.end(), source) != FDataSources.end())
                source->DataEvent(event, field, info);
    } else if ((event == TDataEvent::UpdateState && FState == TDataSetState::Inactive) ||
               event == TDataEvent::LayoutChange) {
        FEnableEvent = TDataEvent::LayoutChange;
    }
}

void TDataSet::Resync()
{
    FCalcValid = false;
    DataEvent(TDataEvent::DataSetChange);
}

void TDataSet::CursorRepositioned(bool bof, bool eof)
{
    FBof = bof;
    FEof = eof;
    Resync();
}

void TDataSet::SetActive(bool value)
{
    if (Active() == value || FInOpenClose)
        return;
    TFlagGuard busy(FInOpenClose, true);
    if (value) {
        BeforeOpen(this);
        std::vector<TFieldDef> available = InternalOpen();
        bool hasRows = false;
        try {
            CreateFields(available);
            hasRows = InternalFirst();
        } catch (...) {
            // An open that fails half-way gives back what it took: an exclusive table's claim
            // would otherwise keep every other data set out until this one is destroyed.
            InternalClose();
            DestroyDataFields();
            throw;
        }
        FBof = true;
        FEof = !hasRows;
        FCalcValid = false;
        FState = TDataSetState::Browse;
        FModified = false;
        DataEvent(TDataEvent::UpdateState);
        AfterOpen(this);
        if (!IsEmpty())
            AfterScroll(this);
    } else {
        if (!FDestroying)
            BeforeClose(this);
        FEditBuffer.clear();
        FState = TDataSetState::Inactive;
        FModified = false;
        DataEvent(TDataEvent::UpdateState);
        InternalClose();
        DestroyDataFields();
        FBof = FEof = true;
        if (!FDestroying)
            AfterClose(this);
    }
}

void TDataSet::DisableControls()
{
    if (FDisableCount == 0) {
        FDisableState = FState;
        FEnableEvent = TDataEvent::DataSetChange;
    }
    ++FDisableCount;
}

void TDataSet::EnableControls()
{
    if (FDisableCount == 0)
        return;
    if (--FDisableCount > 0)
        return;
    if (FDisableState != FState)
        DataEvent(TDataEvent::UpdateState);
    if (FDisableState != TDataSetState::Inactive && FState != TDataSetState::Inactive)
        DataEvent(FEnableEvent);
}

void TDataSet::AttachDataSource(TDataSource *source)
{
    FDataSources.push_back(source);
}

void TDataSet::DetachDataSource(TDataSource *source)
{
    std::erase(FDataSources, source);
}

// ---------------------------------------------------------------------------------------------
// Navigation

void TDataSet::DoAfterScroll()
{
    AfterScroll(this);
}

void TDataSet::First()
{
    CheckBrowseMode();
    BeforeScroll(this);
    const bool hasRows = InternalFirst();
    FBof = true;
    FEof = !hasRows;
    Resync();
    DoAfterScroll();
}

void TDataSet::Last()
{
    CheckBrowseMode();
    BeforeScroll(this);
    const bool hasRows = InternalLast();
    FEof = true;
    FBof = !hasRows;
    Resync();
    DoAfterScroll();
}

int TDataSet::MoveBy(int distance)
{
    CheckBrowseMode();
    int moved = 0;
    if ((distance > 0 && !FEof) || (distance < 0 && !FBof)) {
        BeforeScroll(this);
        FBof = false;
        FEof = false;
        while (distance > 0) {
            if (!InternalNext()) {
                FEof = true;
                break;
            }
            --distance;
            ++moved;
        }
        while (distance < 0) {
            if (!InternalPrior()) {
                FBof = true;
                break;
            }
            ++distance;
            --moved;
        }
        if (moved != 0) {
            FCalcValid = false;
            DataEvent(TDataEvent::DataSetScroll, nullptr, moved);
        }
        DoAfterScroll();
    }
    return moved;
}

int TDataSet::RecordCount()
{
    CheckActive();
    return InternalRecordCount();
}

bool TDataSet::Locate(const QString &keyFields, const TVariant &keyValues, TLocateOptions options)
{
    CheckBrowseMode();
    std::vector<int> fields;
    for (const QString &name : keyFields.split(u';', Qt::SkipEmptyParts))
        fields.push_back(FieldByName(name.trimmed())->Index());
    TVariantArray values;
    if (keyValues.IsArray())
        values = keyValues.Elements();
    else
        values.push_back(keyValues);
    if (values.size() != fields.size())
        throw EDatabaseError(QStringLiteral("%1%2 values are needed for the fields %3")
                                 .arg(dataSetLabel(this))
                                 .arg(fields.size())
                                 .arg(keyFields));
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i] >= FDataFieldCount)
            throw EDatabaseError(QStringLiteral("%1Field '%2' is of the wrong kind for this operation")
                                     .arg(dataSetLabel(this), Fields(fields[i])->FieldName()));
    const std::optional<TBookmark> found = InternalLocate(fields, values, options);
    if (!found)
        return false;
    BeforeScroll(this);
    if (!InternalGotoBookmark(*found))
        return false;
    FBof = FEof = false;
    Resync();
    DoAfterScroll();
    return true;
}

void TDataSet::Refresh()
{
    CheckBrowseMode();
    InternalRefresh();
    const bool empty = InternalCurrentRow() == nullptr;
    FBof = empty;
    FEof = empty;
    Resync();
}

// ---------------------------------------------------------------------------------------------
// Bookmarks

TBookmark TDataSet::GetBookmark() const
{
    if (FState == TDataSetState::Inactive || IsEmpty() || FState == TDataSetState::Insert)
        return TBookmark();
    return InternalBookmark();
}

bool TDataSet::BookmarkValid(const TBookmark &bookmark)
{
    return Active() && !bookmark.IsEmpty() && InternalBookmarkValid(bookmark);
}

void TDataSet::GotoBookmark(const TBookmark &bookmark)
{
    CheckBrowseMode();
    if (bookmark.IsEmpty())
        return;
    BeforeScroll(this);
    if (!InternalGotoBookmark(bookmark))
        throw EDatabaseError(QStringLiteral("%1Record not found").arg(dataSetLabel(this)));
    FBof = FEof = false;
    Resync();
    DoAfterScroll();
}

// ---------------------------------------------------------------------------------------------
// Editing

void TDataSet::CheckOperation(const std::function<void()> &operation, const TDataSetErrorEvent &onError)
{
    for (;;) {
        try {
            operation();
            return;
        } catch (EDatabaseError &error) {
            TDataAction action = TDataAction::Fail;
            onError(this, error, action);
            if (action == TDataAction::Fail)
                throw;
            if (action == TDataAction::Abort)
                throw EAbort();
        }
    }
}

void TDataSet::Edit()
{
    if (FState == TDataSetState::Edit || FState == TDataSetState::Insert)
        return;
    CheckActive();
    if (IsEmpty()) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    BeforeEdit(this);
    CheckOperation(
        [this] {
            if (!InternalEdit())
                throw EDatabaseError(
                    QStringLiteral("%1Record not found or changed by another user").arg(dataSetLabel(this)));
        },
        OnEditError);
    const TVariantArray *row = InternalCurrentRow();
    FEditBuffer.assign(row->begin(), row->begin() + FDataFieldCount);
    FAssigned.assign(size_t(FDataFieldCount), false);
    FCalcValid = false;
    SetState(TDataSetState::Edit);
    DataEvent(TDataEvent::RecordChange);
    AfterEdit(this);
}

void TDataSet::BeginInsertAppend()
{
    CheckActive();
    CheckBrowseMode();
    CheckCanModify();
    BeforeInsert(this);
    BeforeScroll(this);
}

void TDataSet::EndInsertAppend()
{
    FEditBuffer.assign(size_t(FDataFieldCount), TVariant::Null());
    FAssigned.assign(size_t(FDataFieldCount), false);
    InternalInitRecord(FEditBuffer, FAssigned);
    FCalcValid = false;
    SetState(TDataSetState::Insert);
    try {
        OnNewRecord(this);
    } catch (...) {
        FEditBuffer.clear();
        SetState(TDataSetState::Browse);
        Resync();
        throw;
    }
    FModified = false;
    DataEvent(TDataEvent::DataSetChange);
    AfterInsert(this);
    DoAfterScroll();
}

void TDataSet::Insert()
{
    BeginInsertAppend();
    EndInsertAppend();
}

void TDataSet::Append()
{
    BeginInsertAppend();
    EndInsertAppend();
}

void TDataSet::InternalInitRecord(TVariantArray &, std::vector<bool> &)
{}

void TDataSet::InternalPost(bool, const TVariantArray &, const std::vector<bool> &)
{
    throw EDatabaseError(QStringLiteral("%1Cannot modify a read-only dataset").arg(dataSetLabel(this)));
}

void TDataSet::InternalDelete()
{
    throw EDatabaseError(QStringLiteral("%1Cannot modify a read-only dataset").arg(dataSetLabel(this)));
}

void TDataSet::PostKeyBuffer(bool)
{}

void TDataSet::UpdateRecord()
{
    if (FState != TDataSetState::Edit && FState != TDataSetState::Insert && FState != TDataSetState::SetKey)
        throw EDatabaseError(QStringLiteral("%1Dataset not in edit or insert mode").arg(dataSetLabel(this)));
    DataEvent(TDataEvent::UpdateRecord);
}

void TDataSet::Post()
{
    UpdateRecord();
    if (FState == TDataSetState::SetKey) {
        PostKeyBuffer(true);
        return;
    }
    DataEvent(TDataEvent::CheckBrowseMode);
    BeforePost(this);
    const bool inserting = FState == TDataSetState::Insert;
    CheckOperation([&] { InternalPost(inserting, FEditBuffer, FAssigned); }, OnPostError);
    FEditBuffer.clear();
    // A record posted out of a filter or range may leave no record at all to be current.
    const bool empty = InternalCurrentRow() == nullptr;
    FBof = empty;
    FEof = empty;
    SetState(TDataSetState::Browse);
    Resync();
    AfterPost(this);
}

void TDataSet::Cancel()
{
    if (FState == TDataSetState::SetKey) {
        PostKeyBuffer(false);
        return;
    }
    if (FState != TDataSetState::Edit && FState != TDataSetState::Insert)
        return;
    DataEvent(TDataEvent::CheckBrowseMode);
    BeforeCancel(this);
    FEditBuffer.clear();
    SetState(TDataSetState::Browse);
    Resync();
    AfterCancel(this);
}

void TDataSet::Delete()
{
    CheckActive();
    if (FState == TDataSetState::Insert || FState == TDataSetState::SetKey) {
        Cancel();
        return;
    }
    if (IsEmpty())
        throw EDatabaseError(
            QStringLiteral("%1Cannot perform this operation on an empty dataset").arg(dataSetLabel(this)));
    CheckCanModify();
    DataEvent(TDataEvent::CheckBrowseMode);
    BeforeDelete(this);
    BeforeScroll(this);
    CheckOperation([this] { InternalDelete(); }, OnDeleteError);
    FEditBuffer.clear();
    const bool empty = InternalCurrentRow() == nullptr;
    FBof = empty;
    FEof = empty;
    FState = TDataSetState::Browse; // a delete from the edit state ends it
    FModified = false;              // and its edits went with the record
    DataEvent(TDataEvent::UpdateState);
    Resync();
    AfterDelete(this);
    DoAfterScroll();
}

void TDataSet::CheckBrowseMode()
{
    CheckActive();
    DataEvent(TDataEvent::CheckBrowseMode);
    switch (FState) {
    case TDataSetState::Edit:
    case TDataSetState::Insert:
        UpdateRecord();
        if (FModified)
            Post();
        else
            Cancel();
        break;
    case TDataSetState::SetKey:
        Post();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Blob streams

namespace {

// Collects what is written and stores it in the field when the stream is closed or destroyed.
class TBlobWriteStream : public QBuffer
{
public:
    TBlobWriteStream(TField *field, const QByteArray &initial) : FField(field)
    {
        FData = initial;
        setBuffer(&FData);
    }
    ~TBlobWriteStream() override
    {
        if (isOpen()) {
            try {
                close();
            } catch (...) {
                // A destructor must not throw; callers who need the error close the stream first.
            }
        }
    }
    void close() override
    {
        if (!isOpen())
            return;
        QBuffer::close();
        if (FField->DataType() == TFieldType::Memo)
            FField->SetValue(TVariant(QString::fromUtf8(FData)));
        else
            FField->SetValue(TVariant(FData));
    }

private:
    TField *FField;
    QByteArray FData;
};

} // namespace

std::unique_ptr<QIODevice> TDataSet::CreateBlobStream(TField *field, TBlobStreamMode mode)
{
    CheckActive();
    if (mode == TBlobStreamMode::Read) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(field->AsBytes());
        buffer->open(QIODevice::ReadOnly);
        return buffer;
    }
    if (FState != TDataSetState::Edit && FState != TDataSetState::Insert)
        throw EDatabaseError(QStringLiteral("%1Dataset not in edit or insert mode").arg(dataSetLabel(this)));
    auto stream = std::make_unique<TBlobWriteStream>(
        field, mode == TBlobStreamMode::Write ? QByteArray() : field->AsBytes());
    stream->open(mode == TBlobStreamMode::Write ? QIODevice::WriteOnly | QIODevice::Truncate
                                                : QIODevice::ReadWrite);
    return stream;
}
