// How TDBCustomListView keeps its items and the data set in step: the reactions to the data
// link's notifications, the list view's hooks, and the delete hooks it lends the data set.

#include "DataBaseListView.h"

#include <QAbstractItemView>

namespace {

// The view's copy of the data set's state knows browsing, editing and inserting only.
TDataSetState editStateOf(const TDataSet *dataSet)
{
    const TDataSetState state = dataSet->State();
    return state == TDataSetState::Edit || state == TDataSetState::Insert ? state : TDataSetState::Browse;
}

bool editing(const TDataSet *dataSet)
{
    return dataSet->State() == TDataSetState::Edit || dataSet->State() == TDataSetState::Insert;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// From the data set to the items

void TDBCustomListView::SelectItem(TListItem *item)
{
    if (!item) {
        if (TListItem *focused = ItemFocused())
            focused->SetFocused(false);
        return;
    }
    if (!MultiSelect())
        SetSelected(item);
    item->SetFocused(true);
    item->MakeVisible(false);
}

void TDBCustomListView::SyncFocusWithRecord()
{
    if (!FDataLink->Active())
        return;
    const TVariant key = GetCurrentKey();
    TDBListItem *focused = Focused();
    if (!focused || !focused->KeyEquals(key))
        SelectItem(FindItemByKey(key));
}

void TDBCustomListView::CurrentRecordChanged()
{
    if (FLockCount > 0 || !FDataLink->Active() || DataSet()->State() != TDataSetState::Browse)
        return;
    TLock lock(this);
    CancelEdit();
    if (FInsertModified)
        SetupItem(Focused());
    FInsertModified = false;
    if (FEditState == TDataSetState::Edit)
        SetupItem(Focused());
    // Whatever the view thought was going on, the data set is browsing now.
    FEditState = TDataSetState::Browse;

    const TVariant key = GetCurrentKey();
    TDBListItem *focused = Focused();
    if (focused && focused->KeyEquals(key))
        return;
    if (TDBListItem *item = FindItemByKey(key))
        SelectItem(item);
    else if (DataSet()->IsEmpty())
        ClearItems();
    else
        PostReload();
}

void TDBCustomListView::RecordFieldChanged(TField *field)
{
    if (FLockCount > 0)
        return;
    TLock lock(this);
    TDBListItem *item = Focused();
    // An unbound binding holds no field, so a change without a field resets that part.
    if (field == FStatusFieldObj) {
        if (item)
            item->SetStateIndex(StatusIndex());
    } else if (field == FImageFieldObj) {
        if (item)
            item->SetImageIndex(ImageIndex());
    } else if (field == FNameFieldObj) {
        if (item)
            item->SetCaption(NameText());
    } else if (item && field) {
        TDataSet *dataSet = DataSet();
        for (const QString &name : std::as_const(FKeyFieldList))
            if (dataSet->FindField(name) == field) {
                item->SetKey(GetCurrentKey());
                break;
            }
        for (int j = 0; j < FColumnFieldList.size(); ++j)
            if (dataSet->FindField(FColumnFieldList[j]) == field && j < item->SubItems().size()) {
                item->SetSubItem(j, field->AsString());
                item->SetSortKey(j + 1, SortKeyOf(field));
            }
    }
}

void TDBCustomListView::EditingStateChanged()
{
    if (FLockCount > 0 || !FDataLink->Active())
        return;
    TLock lock(this);
    switch (DataSet()->State()) {
    case TDataSetState::Edit:
        if (FEditState == TDataSetState::Browse)
            FEditState = TDataSetState::Edit;
        break;
    case TDataSetState::Insert:
        if (FEditState == TDataSetState::Browse) {
            TListItem *item = AddItem();
            item->SetFocused(true);
            item->SetSelected(true);
            FEditState = TDataSetState::Insert;
        }
        break;
    default:
        // An insert cancelled without a change loses its item.
        if (FEditState == TDataSetState::Insert && !FInsertModified && Focused())
            DeleteItemAt(Focused()->Index());
        if (Focused())
            CancelEdit();
        break;
    }
}

void TDBCustomListView::UpdateRecordData()
{
    if (FLockCount > 0 || !FDataLink->Active())
        return;
    TLock lock(this);
    TDataSet *dataSet = DataSet();
    FInsertModified = dataSet->State() == TDataSetState::Insert && dataSet->Modified();
    if (dataSet->State() == TDataSetState::Browse)
        SetupItem(Focused());
    else if (editing(dataSet)) {
        if (FEditState == TDataSetState::Browse)
            WriteCaption(Focused());
        else
            SetupItem(Focused());
    }
}

void TDBCustomListView::WriteCaption(TListItem *item)
{
    if (item && FNameFieldObj && FNameFieldObj->AsString() != item->Caption())
        FNameFieldObj->SetAsString(item->Caption());
}

// ---------------------------------------------------------------------------------------------
// From the items to the data set

void TDBCustomListView::Change(TListItem *item, TItemChange change)
{
    if (FLockCount > 0 || !FDataLink->Active() || DataSet()->Destroying())
        return;
    TLock lock(this);
    TCustomListView::Change(item, change);
    if (FEditState == TDataSetState::Browse) {
        GotoItemRecord(ItemFocused());
    } else {
        // The move posts or cancels the pending edit, and the view must hear of that.
        struct TUnlock
        {
            int &Count;
            explicit TUnlock(int &count) : Count(count) { --Count; }
            ~TUnlock() { ++Count; }
        } unlock(FLockCount);
        FEditState = TDataSetState::Browse;
        GotoItemRecord(ItemFocused());
    }
    FEditState = editStateOf(DataSet());
}

void TDBCustomListView::GotoItemRecord(TListItem *item)
{
    if (!item)
        return;
    auto *dbItem = static_cast<TDBListItem *>(item);
    if (!dbItem->GotoRecord(DataSet(), GetCurrentKey()))
        DeleteItemAt(dbItem->Index());
}

void TDBCustomListView::DeleteItemAt(int index)
{
    if (index < 0 || index >= Items()->Count())
        return;
    Items()->Delete(index);
    Arrange();
    if (Items()->Count() > 0) {
        TListItem *item = Items()->Item(std::max(0, index - 1));
        item->SetFocused(true);
        item->MakeVisible(false);
    }
}

bool TDBCustomListView::CanChange(TListItem *item, TItemChange change)
{
    const bool allowed = TCustomListView::CanChange(item, change);
    // A pending edit is finished before the focus leaves its item.
    if (FLockCount == 0 && FDataLink->Active() && editing(DataSet()) && FEditState != TDataSetState::Browse &&
        item)
        DataSet()->CheckBrowseMode();
    return allowed;
}

bool TDBCustomListView::CanEdit(TListItem *item)
{
    TDataSet *dataSet = DataSet();
    const bool allowed = TCustomListView::CanEdit(item) && dataSet && dataSet->CanModify() && FNameFieldObj &&
                         FNameFieldObj->CanModify();
    if (FLockCount == 0 && FDataLink->Active()) {
        TLock lock(this);
        if (allowed) {
            try {
                dataSet->Edit();
            } catch (...) {
                throw EListError(tr("Can't edit an unexisting record"));
            }
            FEditState = editStateOf(dataSet);
        }
    }
    return allowed;
}

void TDBCustomListView::Edited(TListItem *item, QString &s)
{
    if (FLockCount > 0 || !FDataLink->Active())
        return;
    TLock lock(this);
    TCustomListView::Edited(item, s);
    TDataSet *dataSet = DataSet();
    if (editing(dataSet)) {
        WriteCaption(Focused());
        FEditState = dataSet->State();
        if (TDBListItem *focused = Focused())
            focused->SetBookmark(dataSet->GetBookmark());
    } else {
        // Writes nothing while the lock is held; kept for the data set's own bookkeeping.
        FDataLink->UpdateRecord();
    }
}

void TDBCustomListView::DoEnter()
{
    if ((FEditState == TDataSetState::Edit || FEditState == TDataSetState::Insert) && FLockCount == 0)
        StartCaptionEdit(ItemFocused());
    TCustomListView::DoEnter();
}

void TDBCustomListView::StartCaptionEdit(TListItem *item)
{
    if (!isEnabled() || ReadOnly() || !item || !ActivePane()->hasFocus())
        return;
    ActivePane()->setFocus();
    item->EditCaption();
}

void TDBCustomListView::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)
{
    if (button == Qt::RightButton && FObjectMenu)
        TCustomListView::SetPopupMenu(GetItemAt(x, y) ? FObjectMenu.data() : FStoredPopupMenu.data());
    TCustomListView::MouseDown(button, shift, x, y);
}

void TDBCustomListView::KeyDown(int &key, Qt::KeyboardModifiers shift)
{
    TCustomListView::KeyDown(key, shift);
}

// ---------------------------------------------------------------------------------------------
// Deletes

void TDBCustomListView::HookDataSet(TDataSet *dataSet)
{
    if (!dataSet)
        return;
    if (FHookedDataSet && FHookedDataSet != dataSet)
        UnhookDataSet(FHookedDataSet);
    if (dataSet->BeforeDelete.Target() != this) {
        FSavedBeforeDelete = dataSet->BeforeDelete;
        dataSet->BeforeDelete =
            TDataSetNotifyEvent([this](TDataSet *sender) { BeforeDeleteHook(sender); }, this);
    }
    if (dataSet->AfterDelete.Target() != this) {
        FSavedAfterDelete = dataSet->AfterDelete;
        dataSet->AfterDelete =
            TDataSetNotifyEvent([this](TDataSet *sender) { AfterDeleteHook(sender); }, this);
    }
    FHookedDataSet = dataSet;
}

void TDBCustomListView::UnhookDataSet(TDataSet *dataSet)
{
    // Only handlers of our own are given back: a data set that was never hooked keeps its own.
    if (TDataSet *target = FHookedDataSet ? FHookedDataSet : dataSet) {
        if (target->BeforeDelete.Target() == this)
            target->BeforeDelete = FSavedBeforeDelete;
        if (target->AfterDelete.Target() == this)
            target->AfterDelete = FSavedAfterDelete;
    }
    FSavedBeforeDelete.Clear();
    FSavedAfterDelete.Clear();
    FHookedDataSet = nullptr;
}

void TDBCustomListView::BeforeDeleteHook(TDataSet *dataSet)
{
    FDeletingItem = Focused();
    if (FSavedBeforeDelete) {
        const TDataSetNotifyEvent saved = FSavedBeforeDelete;
        dataSet->BeforeDelete = saved;
        FSavedBeforeDelete.Clear();
        saved(dataSet);
    }
}

void TDBCustomListView::AfterDeleteHook(TDataSet *dataSet)
{
    if (FDeletingItem && !FDeletingItem->KeyEquals(GetCurrentKey())) {
        DeleteItemAt(FDeletingItem->Index());
        FInsertModified = false;
    }
    FDeletingItem = nullptr;
    if (FSavedAfterDelete) {
        const TDataSetNotifyEvent saved = FSavedAfterDelete;
        dataSet->AfterDelete = saved;
        FSavedAfterDelete.Clear();
        saved(dataSet);
    }
}
