// TDBCustomTreeView: the selection and the cursor in step both ways, caption editing, nodes for
// inserted records, link edits that move nodes, and re-parenting by drag and drop.

#include "DBCustomTreeView.h"
#include "ErrorHandlers.h"
#include "PrivateMessages.h"

#include <QMouseEvent>

namespace {

bool IsEditState(TDataSetState state)
{
    return state == TDataSetState::Edit || state == TDataSetState::Insert;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The data set follows the tree

bool TDBCustomTreeView::CanChange(TTreeNode *node)
{
    // An edit begun here is finished (or cancelled) before the cursor may leave its record.
    if (FDataLink->Active() && IsEditState(DataSet()->State()) && FLastState != TDataSetState::Browse) {
        try {
            DataSet()->CheckBrowseMode();
            return true;
        } catch (...) {
            HandleException();
            return false;
        }
    }
    return TCustomTreeView::CanChange(node);
}

void TDBCustomTreeView::Change(TTreeNode *node)
{
    if (FBusyCount || !FDataLink->Active() || DataSet()->Destroying())
        return;
    {
        TBusy busy(*this);
        if (FLastState == TDataSetState::Browse) {
            GotoNode(node);
        } else if (IsEditState(FLastState)) {
            FLastState = TDataSetState::Browse;
            --FBusyCount;
            TFinally raise([this] { ++FBusyCount; });
            GotoNode(node);
        }
        FLastState = DataSet()->State();
    }
    TCustomTreeView::Change(node);
}

void TDBCustomTreeView::GotoNode(TTreeNode *node)
{
    auto *dbNode = static_cast<TDBTreeNode *>(node);
    if (!dbNode || !FDataLink->Active())
        return;
    if (!dbNode->GotoRecord(DataSet(), &TDBCustomTreeView::LocateKeyBookmark, this))
        dbNode->Delete();
}

// ---------------------------------------------------------------------------------------------
// The tree follows the data set

void TDBCustomTreeView::SyncToCurrentRecord()
{
    // While a reload is on its way there is nothing to follow with yet; the reload selects.
    if (FBusyCount || !FDataLink->Active() || DataSet()->State() != TDataSetState::Browse || FNeedsLoad ||
        FRefreshPending)
        return;
    TBusy busy(*this);
    if (TDBTreeNode *node = Selected())
        node->EndEdit(false);
    if (FLastState == TDataSetState::Edit)
        if (TDBTreeNode *node = Selected())
            SetupNode(node);
    FLastState = TDataSetState::Browse;
    if (FInsertPosted) {
        if (auto *node = FInsertNode.As<TDBTreeNode>())
            SetupNode(node);
        FInsertPosted = false;
    }
    FInsertNode.Reset();
    const TVariant key = ReadRecordKey();
    if (TDBTreeNode *node = Selected(); node && node->KeyEquals(key))
        return;
    SetSelected(FindOrLoadNode(key));
    viewport()->update();
}

void TDBCustomTreeView::EditingStateChanged()
{
    if (FBusyCount || !FDataLink->Active())
        return;
    TBusy busy(*this);
    switch (DataSet()->State()) {
    case TDataSetState::Browse:
        // The insert was cancelled: its node goes.
        if (FLastState == TDataSetState::Insert && !FInsertPosted) {
            if (TTreeNode *node = FInsertNode.Get())
                node->Delete();
            FInsertNode.Reset();
        }
        if (TDBTreeNode *node = Selected())
            node->EndEdit(true);
        break;
    case TDataSetState::Edit:
        if (FLastState == TDataSetState::Browse)
            FLastState = TDataSetState::Edit;
        break;
    case TDataSetState::Insert:
        if (FLastState == TDataSetState::Browse) {
            InsertNodeForRecord();
            FLastState = TDataSetState::Insert;
        }
        break;
    default:
        break;
    }
}

void TDBCustomTreeView::UpdateData()
{
    if (FBusyCount || !FDataLink->Active())
        return;
    TBusy busy(*this);
    TDataSet *dataSet = DataSet();
    const TDataSetState state = dataSet->State();
    FInsertPosted = state == TDataSetState::Insert && dataSet->Modified();
    FSawUpdateData = true;
    if (state == TDataSetState::Browse) {
        if (TDBTreeNode *node = Selected())
            SetupNode(node);
        return;
    }
    if (!IsEditState(state))
        return;
    // During an insert the node to write is the one added for it; an insert whose node was
    // refused touches no node at all.
    TDBTreeNode *node = state == TDataSetState::Insert ? FInsertNode.As<TDBTreeNode>() : Selected();
    if (!node)
        return;
    if (FLastState == TDataSetState::Browse) {
        if (FNameFieldObj)
            FNameFieldObj->SetAsString(node->Text());
    } else {
        SetupNode(node);
    }
    if (!SyncNodeParent(node))
        node->Delete();
}

bool TDBCustomTreeView::SyncNodeParent(TDBTreeNode *node)
{
    if (!node)
        return true;
    TVariant parentKey;
    if (!ReadParentKey(parentKey)) {
        if (node->Parent())
            MoveNode(node, nullptr);
        return true;
    }
    if (auto *parent = static_cast<TDBTreeNode *>(node->Parent()); parent && parent->KeyEquals(parentKey))
        return true;
    // A parent whose children were never read shows the node when it is expanded.
    TDBTreeNode *newParent = FindNodeByKey(parentKey);
    if (newParent && newParent->ChildrenLoaded()) {
        MoveNode(node, newParent);
        return true;
    }
    return false;
}

void TDBCustomTreeView::MoveNode(TDBTreeNode *node, TDBTreeNode *newParent)
{
    if (!node || (newParent && (newParent == node || newParent->HasAsParent(node))))
        return;
    node->FVisited = true;
    node->MoveTo(newParent, newParent == node->Parent() ? naAddChildFirst : naAddChild);
}

// ---------------------------------------------------------------------------------------------
// Inserted records

void TDBCustomTreeView::InsertNodeForRecord()
{
    if (!FDataLink->Active() || DataSet()->State() != TDataSetState::Insert)
        return;
    TDBTreeNode *selected = Selected();
    TTreeNode *parent = nullptr;
    bool allow = true;
    switch (FInsertMode) {
    case imAddChild:
        BeforeChildInsert(this, selected, allow);
        if (!allow)
            return;
        SetRecordParent(selected ? selected->Key() : FRootKeyValue);
        parent = selected;
        break;
    case imAddSibling:
        parent = selected ? selected->Parent() : nullptr;
        BeforeNodeInsert(this, parent, allow);
        if (!allow)
            return;
        SetRecordParent(parent ? static_cast<TDBTreeNode *>(parent)->Key() : FRootKeyValue);
        break;
    case imAddRootNode:
        BeforeChildInsert(this, selected, allow);
        if (!allow)
            return;
        SetRecordAsRoot();
        break;
    case imAddFromTable: {
        BeforeChildInsert(this, selected, allow);
        if (!allow)
            return;
        TVariant parentKey;
        if (ReadParentKey(parentKey)) {
            parent = FindNodeByKey(parentKey);
            if (!parent)
                return;
        }
        break;
    }
    }
    auto *node = static_cast<TDBTreeNode *>(Items()->AddChild(parent, QString()));
    node->FChildrenLoaded = true;
    FInsertNode = node;
    SetSelected(node);
    AfterInsert(this, node);
}

// ---------------------------------------------------------------------------------------------
// Caption editing

bool TDBCustomTreeView::CanEdit(TTreeNode *node)
{
    const bool allowed = TCustomTreeView::CanEdit(node) && FDataLink->Active() && DataSet()->CanModify() &&
                         FNameFieldObj && FNameFieldObj->CanModify();
    if (allowed && !FBusyCount) {
        try {
            TBusy busy(*this);
            DataSet()->Edit();
            FLastState = DataSet()->State();
        } catch (...) {
            throw ETreeViewError(tr("Can't edit unexisting record"));
        }
    }
    return allowed;
}

void TDBCustomTreeView::Edit(TTreeNode *node, const QString &text)
{
    TCustomTreeView::Edit(node, text);
    if (FBusyCount || !FDataLink->Active() || !Selected())
        return;
    TBusy busy(*this);
    TDataSet *dataSet = DataSet();
    auto *dbNode = static_cast<TDBTreeNode *>(node);
    switch (dataSet->State()) {
    case TDataSetState::Edit:
        FNameFieldObj->SetAsString(node->Text());
        FLastState = TDataSetState::Edit;
        dbNode->SetBookmark(dataSet->GetBookmark());
        break;
    case TDataSetState::Insert:
        FNameFieldObj->SetAsString(node->Text());
        SetParentLink(node, node->Parent());
        FLastState = TDataSetState::Insert;
        dbNode->SetBookmark(dataSet->GetBookmark());
        break;
    default:
        FDataLink->UpdateRecord();
        break;
    }
}

void TDBCustomTreeView::DoEnter()
{
    if (FBusyCount)
        return;
    if (IsEditState(FLastState) && isEnabled() && !ReadOnly() && hasFocus())
        if (TDBTreeNode *node = Selected())
            node->EditText();
    TCustomTreeView::DoEnter();
}

void TDBCustomTreeView::SetParentLink(TTreeNode *node, TTreeNode *parent)
{
    try {
        if (parent)
            SetRecordParent(static_cast<TDBTreeNode *>(parent)->Key());
        else
            SetRecordAsRoot();
    } catch (...) {
        const QString caption = node ? node->Text() : QString();
        if (parent)
            throw ETreeViewError(tr("Can't set '%1'-node as child").arg(caption));
        throw ETreeViewError(tr("Can't set '%1'-node as top parent").arg(caption));
    }
}

// ---------------------------------------------------------------------------------------------
// Dragging

void TDBCustomTreeView::mousePressEvent(QMouseEvent *event)
{
    // A record that cannot be changed cannot be dragged anywhere either.
    TDataSet *dataSet = DataSet();
    if (DragMode() == dmAutomatic && dataSet && !dataSet->CanModify()) {
        SetDragMode(dmManual);
        TCustomTreeView::mousePressEvent(event);
        SetDragMode(dmAutomatic);
        return;
    }
    TCustomTreeView::mousePressEvent(event);
}

void TDBCustomTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    TDataSet *dataSet = DataSet();
    if (DragMode() == dmAutomatic && dataSet && !dataSet->CanModify()) {
        SetDragMode(dmManual);
        TCustomTreeView::mouseDoubleClickEvent(event);
        SetDragMode(dmAutomatic);
        return;
    }
    TCustomTreeView::mouseDoubleClickEvent(event);
}

void TDBCustomTreeView::DragOver(QObject *source, int x, int y, TDragState state, bool &accept)
{
    TCustomTreeView::DragOver(source, x, y, state, accept);
    if (FBusyCount)
        return;
    // Empty space below the nodes is accepted: it stands for the top level.
    const TTreeNode *target = GetNodeAt(x, y);
    const TTreeNode *selected = Selected();
    accept = accept && source == this && !(target && (target == selected || target->HasAsParent(selected)));
}

void TDBCustomTreeView::DragCanceled()
{
    FDragAllowed = false;
    SetDropTarget(nullptr);
}

void TDBCustomTreeView::DoEndDrag(QObject *target, int x, int y)
{
    if (FBusyCount) {
        TCustomTreeView::DoEndDrag(target, x, y);
        return;
    }
    TDBTreeNode *selected = Selected();
    if (!selected || target != this || !FDragAllowed) {
        FDragAllowed = true;
        return;
    }
    TTreeNode *drop = GetNodeAt(x, y);
    if (!(drop && (drop == selected || drop->HasAsParent(selected))))
        TCustomTreeView::DoEndDrag(target, x, y);
    const THitTests outside = htAbove | htBelow | htToLeft | htToRight;
    if ((GetHitTestInfoAt(x, y) & ~outside) && FDataLink->Active() && LinksEditable()) {
        FDropNode = drop;
        FDropOnNode = drop != nullptr;
        PostPrivateMessage(this, MsgReparent);
    }
}

void TDBCustomTreeView::Reparent()
{
    TTreeNode *drop = FDropNode.Get();
    const bool onNode = FDropOnNode;
    FDropNode.Reset();
    FDropOnNode = false;
    TDBTreeNode *selected = Selected();
    // The drop node went away meanwhile, or the drop no longer makes sense: nothing to do.
    if ((onNode && !drop) || !selected || !FDataLink->Active())
        return;
    if (drop && (drop == selected || drop->HasAsParent(selected)))
        return;
    TBusy busy(*this);
    Items()->BeginUpdate();
    TFinally resume([this] {
        Items()->EndUpdate();
        viewport()->update();
    });
    TDataSet *dataSet = DataSet();
    // The record edited is the selected node's, wherever the cursor went since the drop.
    if (!IsCurrentRecord(selected->Key()) &&
        !selected->GotoRecord(dataSet, &TDBCustomTreeView::LocateKeyBookmark, this))
        return;
    dataSet->Edit();
    try {
        SetParentLink(selected, drop);
        dataSet->Post();
    } catch (...) {
        dataSet->Cancel();
        throw;
    }
    MoveNode(selected, static_cast<TDBTreeNode *>(drop));
}
