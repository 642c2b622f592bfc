#include "DataSources.h"

#include <algorithm>

// ---------------------------------------------------------------------------------------------
// TDataSource

TDataSource::~TDataSource()
{
    for (TDataLink *link : std::vector<TDataLink *>(FDataLinks))
        link->SetDataSource(nullptr);
    SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet *value)
{
    if (FDataSet == value)
        return;
    if (FDataSet)
        FDataSet->DetachDataSource(this);
    FDataSet = value;
    if (FDataSet)
        FDataSet->AttachDataSource(this);
    UpdateState();
}

void TDataSource::DataSetDestroyed()
{
    FDataSet = nullptr;
    UpdateState();
}

void TDataSource::SetEnabled(bool value)
{
    if (FEnabled == value)
        return;
    FEnabled = value;
    UpdateState();
}

void TDataSource::Edit()
{
    if (FAutoEdit && FState == TDataSetState::Browse)
        FDataSet->Edit();
}

void TDataSource::UpdateState()
{
    const TDataSetState state = FEnabled && FDataSet ? FDataSet->State() : TDataSetState::Inactive;
    if (state == FState)
        return;
    const bool wasActive = FState != TDataSetState::Inactive;
    FState = state;
    // A link may detach or destroy others while told, as in DataEvent.
    for (TDataLink *link : std::vector<TDataLink *>(FDataLinks))
        if (std::find(FDataLinks.begin(), FDataLinks.end(), link) != FDataLinks.end())
            link->DataEvent(TDataEvent::UpdateState, nullptr, 0);
    OnStateChange(this);
    // A source that just became active also tells its listeners that the data is new.
    if (!wasActive && state != TDataSetState::Inactive)
        OnDataChange(this, nullptr);
}

void TDataSource::DataEvent(TDataEvent event, TField *field, int info)
{
    if (event == TDataEvent::UpdateState) {
        UpdateState();
        return;
    }
    if (FState == TDataSetState::Inactive)
        return;
    // A link may detach itself (or others) while being told, so walk a copy and skip the gone.
    const std::vector<TDataLink *> links = FDataLinks;
    for (int pass = 0; pass < 2; ++pass) {
        for (TDataLink *link : links) {
            // Membership first: a link destroyed by an earlier one must not be touched at all.
            if (std::find(FDataLinks.begin(), FDataLinks.end(), link) == FDataLinks.end())
                continue;
            if (link->IsDetailLink() == (pass == 0))
                link->DataEvent(event, field, info);
        }
    }
    switch (event) {
    case TDataEvent::FieldChange:
    case TDataEvent::RecordChange:
    case TDataEvent::DataSetChange:
    case TDataEvent::DataSetScroll:
    case TDataEvent::LayoutChange:
        OnDataChange(this, field);
        break;
    case TDataEvent::UpdateRecord:
        OnUpdateData(this);
        break;
    default:
        break;
    }
}

void TDataSource::AddDataLink(TDataLink *link)
{
    FDataLinks.push_back(link);
}

void TDataSource::RemoveDataLink(TDataLink *link)
{
    std::erase(FDataLinks, link);
}

// ---------------------------------------------------------------------------------------------
// TDataLink

TDataLink::~TDataLink()
{
    Detach();
}

void TDataLink::Detach()
{
    if (FDataSource)
        FDataSource->RemoveDataLink(this);
    FDataSource = nullptr;
}

void TDataLink::SetDataSource(TDataSource *value)
{
    if (FDataSource == value)
        return;
    Detach();
    // Going from one open source to another passes through inactive, so that a control bound to
    // the link shows the record of its new source rather than keeping the old one's.
    UpdateState();
    FDataSource = value;
    if (FDataSource)
        FDataSource->AddDataLink(this);
    UpdateState();
}

void TDataLink::SetReadOnly(bool value)
{
    if (FReadOnly == value)
        return;
    FReadOnly = value;
    UpdateState();
}

void TDataLink::UpdateState()
{
    SetActive(FDataSource && FDataSource->State() != TDataSetState::Inactive);
    const TDataSetState state = FDataSource ? FDataSource->State() : TDataSetState::Inactive;
    SetEditing(!FReadOnly && (state == TDataSetState::Edit || state == TDataSetState::Insert ||
                              state == TDataSetState::SetKey));
}

void TDataLink::SetActive(bool value)
{
    if (FActive == value)
        return;
    FActive = value;
    ActiveChanged();
}

void TDataLink::SetEditing(bool value)
{
    if (FEditing == value)
        return;
    FEditing = value;
    EditingChanged();
}

bool TDataLink::Edit()
{
    if (!FReadOnly && FDataSource)
        FDataSource->Edit();
    return FEditing;
}

void TDataLink::UpdateRecord()
{
    FUpdating = true;
    struct TReset
    {
        bool &Flag;
        ~TReset() { Flag = false; }
    } reset{FUpdating};
    UpdateData();
}

void TDataLink::DataEvent(TDataEvent event, TField *field, int info)
{
    if (event == TDataEvent::UpdateState) {
        UpdateState();
        return;
    }
    if (!FActive)
        return;
    switch (event) {
    case TDataEvent::FieldChange:
    case TDataEvent::RecordChange:
        if (!FUpdating)
            RecordChanged(field);
        break;
    case TDataEvent::DataSetChange:
        DataSetChanged();
        break;
    case TDataEvent::DataSetScroll:
        DataSetScrolled(info);
        break;
    case TDataEvent::LayoutChange:
        LayoutChanged();
        break;
    case TDataEvent::UpdateRecord:
        UpdateRecord();
        break;
    case TDataEvent::CheckBrowseMode:
        CheckBrowseMode();
        break;
    case TDataEvent::FocusControl:
        FocusControl(field);
        break;
    case TDataEvent::UpdateState:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// TFieldDataLink

void TFieldDataLink::SetFieldName(const QString &value)
{
    if (FFieldName == value)
        return;
    FFieldName = value;
    UpdateField();
}

void TFieldDataLink::UpdateField()
{
    FField = nullptr;
    if (Active() && !FFieldName.isEmpty())
        FField = DataSet()->FindField(FFieldName);
    FModified = false;
    OnDataChange(this);
}

bool TFieldDataLink::CanModify() const
{
    return !ReadOnly() && FField && FField->CanModify();
}

bool TFieldDataLink::Edit()
{
    if (CanModify())
        TDataLink::Edit();
    return Editing();
}

void TFieldDataLink::Reset()
{
    FModified = false;
    OnDataChange(this);
}

void TFieldDataLink::ActiveChanged()
{
    UpdateField();
    OnActiveChange(this);
}

void TFieldDataLink::EditingChanged()
{
    OnEditingChange(this);
}

void TFieldDataLink::LayoutChanged()
{
    UpdateField();
}

void TFieldDataLink::RecordChanged(TField *field)
{
    if (!field || field == FField) {
        FModified = false;
        OnDataChange(this);
    }
}

void TFieldDataLink::UpdateData()
{
    if (FModified) {
        if (FField)
            OnUpdateData(this);
        FModified = false;
    }
}

void TFieldDataLink::FocusControl(TField *)
{}
