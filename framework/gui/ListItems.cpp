#include "ListViewParts.h"

#include <QHeaderView>

// ---------------------------------------------------------------------------------------------
// TListItem

TListItem::TListItem(TListItems *owner) : FOwner(owner)
{}

TListItem::~TListItem() = default;

TCustomListView *TListItem::ListView() const
{
    return FOwner->Owner();
}

void TListItem::Change(TItemChange change, const std::function<void()> &apply)
{
    TCustomListView *view = ListView();
    if (!view->CanChange(this, change))
        return;
    apply();
    view->ItemChanged(this, change);
}

void TListItem::SetCaption(const QString &value)
{
    if (value == FCaption)
        return;
    Change(ctText, [&] {
        FCaption = value;
        ListView()->CaptionChanged(value);
    });
}

void TListItem::SetImageIndex(int value)
{
    if (value == FImageIndex)
        return;
    Change(ctImage, [&] { FImageIndex = value; });
}

void TListItem::SetStateIndex(int value)
{
    if (value == FStateIndex)
        return;
    // The state picture is part of the item's state, as focus and selection are.
    Change(ctState, [&] { FStateIndex = value; });
}

void TListItem::SetSubItems(const QStringList &value)
{
    if (value == FSubItems)
        return;
    Change(ctText, [&] { FSubItems = value; });
}

void TListItem::SetSubItem(int index, const QString &value)
{
    if (index < 0 || index >= FSubItems.size())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    if (FSubItems.at(index) == value)
        return;
    Change(ctText, [&] { FSubItems[index] = value; });
}

QVariant TListItem::SortKey(int column) const
{
    return FSortKeys.value(column);
}

void TListItem::SetSortKey(int column, const QVariant &value)
{
    if (column < 0)
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(column));
    if (column >= FSortKeys.size())
        FSortKeys.resize(column + 1);
    FSortKeys[column] = value;
}

bool TListItem::Focused() const
{
    const QModelIndex current = ListView()->FSelection->currentIndex();
    return current.isValid() && FOwner->IsPublished(this) && current.row() == FIndex;
}

void TListItem::SetFocused(bool value)
{
    TCustomListView *view = ListView();
    TCustomListView::TApiCall call(view);
    if (value) {
        FOwner->Publish();
        view->FSelection->setCurrentIndex(view->IndexOf(this), QItemSelectionModel::NoUpdate);
    } else if (Focused()) {
        view->FSelection->clearCurrentIndex();
    }
}

bool TListItem::Selected() const
{
    return FOwner->IsPublished(this) && ListView()->FSelection->isSelected(ListView()->IndexOf(this));
}

void TListItem::SetSelected(bool value)
{
    TCustomListView *view = ListView();
    TCustomListView::TApiCall call(view);
    FOwner->Publish();
    QItemSelectionModel::SelectionFlags command =
        value ? QItemSelectionModel::Select : QItemSelectionModel::Deselect;
    if (value && !view->FMultiSelect)
        command = QItemSelectionModel::ClearAndSelect;
    view->FSelection->select(view->IndexOf(this), command);
}

void TListItem::MakeVisible(bool partialOK)
{
    TCustomListView *view = ListView();
    FOwner->Publish();
    QAbstractItemView *pane = view->ActivePane();
    const QModelIndex index = view->IndexOf(this);
    if (partialOK && pane->visualRect(index).intersects(pane->viewport()->rect()))
        return;
    pane->scrollTo(index, QAbstractItemView::EnsureVisible);
}

QRect TListItem::DisplayRect() const
{
    FOwner->Publish();
    return ListView()->ActivePane()->visualRect(ListView()->IndexOf(this));
}

void TListItem::EditCaption()
{
    FOwner->Publish();
    ListView()->ActivePane()->edit(ListView()->IndexOf(this));
}

void TListItem::Delete()
{
    FOwner->Delete(FIndex);
}

// ---------------------------------------------------------------------------------------------
// TListItems

TListItems::TListItems(TCustomListView *owner) : FOwner(owner)
{}

TListItems::~TListItems() = default;

TListItem *TListItems::Item(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return FItems[size_t(index)].get();
}

TListItem *TListItems::Add()
{
    return InsertItem(Count());
}

TListItem *TListItems::Insert(int index)
{
    if (index < 0 || index > Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return InsertItem(index);
}

TListItem *TListItems::InsertItem(int index)
{
    std::unique_ptr<TListItem> item(FOwner->CreateListItem());
    TListItem *raw = item.get();
    // During an update an item after the published ones waits for EndUpdate, so that a long
    // series of additions reaches the views as one insertion.
    const bool show = index < FPublished || !Updating();
    if (show)
        FOwner->FModel->BeginInsert(index, index);
    FItems.insert(FItems.begin() + index, std::move(item));
    Renumber(index);
    if (show) {
        ++FPublished;
        FOwner->FModel->EndInsert();
    }
    FOwner->InsertItem(raw);
    return raw;
}

void TListItems::Renumber(int from)
{
    for (size_t i = size_t(from); i < FItems.size(); ++i)
        FItems[i]->FIndex = int(i);
}

void TListItems::Delete(int index)
{
    TListItem *item = Item(index);
    FOwner->ItemDeleting(item);
    // The handler may have moved it.
    index = item->FIndex;
    if (index < FPublished) {
        TCustomListView::TSilent silent(FOwner);
        // Like the platform's list, deleting the focused item leaves no item focused rather than
        // quietly focusing a neighbour.
        if (item->Focused())
            FOwner->FSelection->clearCurrentIndex();
        FOwner->FModel->BeginRemove(index, index);
        FItems.erase(FItems.begin() + index);
        --FPublished;
        Renumber(index);
        FOwner->FModel->EndRemove();
    } else {
        FItems.erase(FItems.begin() + index);
        Renumber(index);
    }
    ++FOwner->FDeletions;
}

void TListItems::Clear()
{
    if (FItems.empty())
        return;
    for (const auto &item : FItems)
        FOwner->ItemDeleting(item.get());
    TCustomListView::TSilent silent(FOwner);
    FOwner->FModel->BeginReset();
    FItems.clear();
    FPublished = 0;
    FOwner->FModel->EndReset();
    ++FOwner->FDeletions;
    FOwner->FMaxCaptionWidth = -1;
}

void TListItems::BeginUpdate()
{
    ++FUpdateCount;
}

void TListItems::EndUpdate()
{
    if (FUpdateCount == 0 || --FUpdateCount > 0)
        return;
    FOwner->FMaxCaptionWidth = -1;
    const bool grew = FPublished < Count();
    Publish();
    if (FChangedDuringUpdate) {
        FChangedDuringUpdate = false;
        FOwner->FModel->RowsChanged(0, FPublished - 1);
    }
    if (!grew)
        FOwner->Arrange();
}

void TListItems::Publish()
{
    if (FPublished == Count())
        return;
    FOwner->FModel->BeginInsert(FPublished, Count() - 1);
    FPublished = Count();
    FOwner->FModel->EndInsert();
}

// ---------------------------------------------------------------------------------------------
// Columns

void TListColumn::SetCaption(const QString &value)
{
    if (value == FCaption)
        return;
    FCaption = value;
    FOwner->FModel->HeaderChanged(Index());
}

void TListColumn::SetWidth(int value)
{
    if (value == FWidth)
        return;
    FWidth = value;
    FOwner->ApplyColumns();
}

int TListColumn::Index() const
{
    const auto &columns = FOwner->FColumns->FColumns;
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].get() == this)
            return int(i);
    return -1;
}

TListColumn *TListColumns::Item(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return FColumns[size_t(index)].get();
}

TListColumn *TListColumns::Add(const QString &caption, int width)
{
    const int index = Count();
    std::unique_ptr<TListColumn> column(new TListColumn(FOwner));
    column->FCaption = caption;
    column->FWidth = width;
    // The model always has a first column, for the captions, whether or not it has a header.
    if (index > 0)
        FOwner->FModel->BeginInsertColumn(index);
    FColumns.push_back(std::move(column));
    if (index > 0)
        FOwner->FModel->EndInsertColumn();
    else
        FOwner->FModel->HeaderChanged(0);
    FOwner->ApplyColumns();
    return FColumns.back().get();
}

void TListColumns::Delete(int index)
{
    Item(index);
    if (Count() > 1)
        FOwner->FModel->BeginRemoveColumn(index);
    FColumns.erase(FColumns.begin() + index);
    if (Count() > 0)
        FOwner->FModel->EndRemoveColumn();
    else
        FOwner->FModel->HeaderChanged(0);
    FOwner->ApplyColumns();
}

void TListColumns::Clear()
{
    while (Count() > 0)
        Delete(Count() - 1);
}
