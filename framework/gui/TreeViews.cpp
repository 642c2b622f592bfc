#include "TreeViews.h"

#include "ErrorHandlers.h"
#include "ImageLists.h"
#include "TreeDelegates.h"

#include <QApplication>

namespace {

// Sets a flag for the length of a scope.
struct TFlagScope
{
    bool &Flag;
    bool Saved;
    TFlagScope(bool &flag) : Flag(flag), Saved(flag) { Flag = true; }
    ~TFlagScope() { Flag = Saved; }
};

} // namespace

TCustomTreeView::TCustomTreeView(QWidget *parent) : QTreeView(parent)
{
    FItems = new TTreeNodes(this);
    FDelegate = new TTreeDelegate(this);
    setModel(FItems);
    setItemDelegate(FDelegate);
    setHeaderHidden(true);
    // Thousands of nodes: one row height for all, no per-row measuring.
    setUniformRowHeights(true);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    // The view must never expand a node by itself (scrolling to a node, a click on a button):
    // expanding goes through CanExpand, which loads children on demand.
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setAutoScroll(false);
    setAnimated(false);
    setIndentation(19);
    FEditTimer.setSingleShot(true);
    connect(&FEditTimer, &QTimer::timeout, this, [this] {
        TTreeNode *node = FEditTimerNode.Get();
        if (node && node == FSelected && !FDragging)
            Guarded([this, node] { EditNode(node); });
    });
    // Only a view that expands on its own behalf would need these; they keep the nodes truthful.
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        if (TTreeNode *node = TTreeNodes::NodeOf(index); node && !FSyncingView)
            node->FExpanded = true;
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex &index) {
        if (TTreeNode *node = TTreeNodes::NodeOf(index); node && !FSyncingView)
            node->FExpanded = false;
    });
}

TCustomTreeView::~TCustomTreeView()
{
    FEditTimer.stop();
    // Whoever handles the deletion events may be going away with us: they hear nothing now.
    FDestroying = true;
    FItems->Clear();
}

TTreeNode *TCustomTreeView::CreateNode()
{
    return new TTreeNode(FItems);
}

// ---- properties

void TCustomTreeView::SetReadOnly(bool value)
{
    if (FReadOnly == value)
        return;
    FReadOnly = value;
    if (value && IsEditing())
        EndEditNode(true);
}

void TCustomTreeView::SetImages(TCustomImageList *value)
{
    if (FImages == value)
        return;
    if (FImages)
        disconnect(FImages, nullptr, this, nullptr);
    FImages = value;
    if (value) {
        setIconSize(value->Size());
        connect(value, &TCustomImageList::Changed, this, [this] {
            if (FImages)
                setIconSize(FImages->Size());
            viewport()->update();
        });
        connect(value, &QObject::destroyed, this, [this] { scheduleDelayedItemsLayout(); });
    }
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void TCustomTreeView::SetStateImages(TCustomImageList *value)
{
    if (FStateImages == value)
        return;
    if (FStateImages)
        disconnect(FStateImages, nullptr, this, nullptr);
    FStateImages = value;
    if (value) {
        connect(value, &TCustomImageList::Changed, this, [this] { viewport()->update(); });
        connect(value, &QObject::destroyed, this, [this] { scheduleDelayedItemsLayout(); });
    }
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void TCustomTreeView::SetDropTarget(TTreeNode *node)
{
    if (FDropTarget == node)
        return;
    FDropTarget = node;
    viewport()->update();
}

// ---- selection

void TCustomTreeView::SetSelected(TTreeNode *node)
{
    if (node == FSelected)
        return;
    TTreeNodeRef ref(node);
    if (!CanChange(node) || (node && !ref))
        return;
    if (node && !node->IsVisible()) {
        node->MakeVisible();
        if (!ref)
            return;
    }
    FSelected = node;
    ShowSelection();
    Change(node);
}

bool TCustomTreeView::SelectByUser(TTreeNode *node)
{
    SetSelected(node);
    return FSelected == node;
}

void TCustomTreeView::ShowSelection()
{
    TFlagScope syncing(FSyncingView);
    const QModelIndex index = FItems->IndexOf(FSelected);
    if (index.isValid()) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        if (FSelected->IsVisible())
            scrollTo(index);
    } else {
        selectionModel()->clearSelection();
        selectionModel()->clearCurrentIndex();
    }
    viewport()->update();
}

void TCustomTreeView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTreeView::currentChanged(current, previous);
    // Whatever moved the view's cursor behind our back, the selection stays what the nodes say.
    if (!FSyncingView && TTreeNodes::NodeOf(current) != FSelected)
        ShowSelection();
}

// ---- expanding

bool TCustomTreeView::ExpandNode(TTreeNode *node)
{
    if (node->FExpanded)
        return true;
    TTreeNodeRef ref(node);
    if (!CanExpand(node) || !ref)
        return false;
    if (node->FChildren.empty()) {
        viewport()->update();
        return false;
    }
    node->FExpanded = true;
    SyncExpanded(node);
    Expand(node);
    return true;
}

void TCustomTreeView::CollapseNode(TTreeNode *node)
{
    if (!node->FExpanded)
        return;
    TTreeNodeRef ref(node);
    if (!CanCollapse(node) || !ref)
        return;
    node->FExpanded = false;
    SyncExpanded(node);
    // A selection hidden by the collapse moves to the collapsed node, as the platform's does.
    if (FSelected && FSelected->HasAsParent(node)) {
        SetSelected(node);
        if (!ref)
            return;
    }
    Collapse(node);
}

void TCustomTreeView::SyncExpanded(TTreeNode *node)
{
    TFlagScope syncing(FSyncingView);
    setExpanded(FItems->IndexOf(node), node->FExpanded);
}

void TCustomTreeView::FullExpand()
{
    std::vector<TTreeNodeRef> roots;
    for (int i = 0; i < FItems->TopLevelCount(); ++i)
        roots.emplace_back(FItems->TopLevelItem(i));
    for (const TTreeNodeRef &root : roots)
        if (TTreeNode *node = root.Get())
            node->Expand(true);
}

void TCustomTreeView::FullCollapse()
{
    std::vector<TTreeNodeRef> roots;
    for (int i = 0; i < FItems->TopLevelCount(); ++i)
        roots.emplace_back(FItems->TopLevelItem(i));
    for (const TTreeNodeRef &root : roots)
        if (TTreeNode *node = root.Get())
            node->Collapse(true);
}

// ---- default hooks

bool TCustomTreeView::CanChange(TTreeNode *node)
{
    bool allow = true;
    OnChanging(this, node, allow);
    return allow;
}

void TCustomTreeView::Change(TTreeNode *node)
{
    OnChange(this, node);
}

bool TCustomTreeView::CanExpand(TTreeNode *node)
{
    bool allow = true;
    OnExpanding(this, node, allow);
    return allow;
}

void TCustomTreeView::Expand(TTreeNode *node)
{
    OnExpanded(this, node);
}

bool TCustomTreeView::CanCollapse(TTreeNode *node)
{
    bool allow = true;
    OnCollapsing(this, node, allow);
    return allow;
}

void TCustomTreeView::Collapse(TTreeNode *node)
{
    OnCollapsed(this, node);
}

bool TCustomTreeView::CanEdit(TTreeNode *node)
{
    bool allow = true;
    OnEditing(this, node, allow);
    return allow;
}

void TCustomTreeView::Edit(TTreeNode *node, const QString &text)
{
    QString caption = text;
    OnEdited(this, node, caption);
    node->SetText(caption);
}

void TCustomTreeView::Click()
{
    OnClick(this);
}

void TCustomTreeView::DblClick()
{
    OnDblClick(this);
}

void TCustomTreeView::DoEnter()
{
    OnEnter(this);
}

void TCustomTreeView::DoExit()
{
    OnExit(this);
}

void TCustomTreeView::KeyDown(int &key, Qt::KeyboardModifiers modifiers)
{
    OnKeyDown(this, key, modifiers);
}

void TCustomTreeView::DoStartDrag()
{
    OnStartDrag(this);
}

void TCustomTreeView::DragOver(QObject *source, int x, int y, TDragState state, bool &accept)
{
    accept = source == this;
    OnDragOver(this, source, x, y, state, accept);
}

void TCustomTreeView::DragDrop(QObject *source, int x, int y)
{
    OnDragDrop(this, source, x, y);
}

void TCustomTreeView::DoEndDrag(QObject *target, int x, int y)
{
    OnEndDrag(this, target, x, y);
}

void TCustomTreeView::GetImageIndex(TTreeNode *node)
{
    OnGetImageIndex(this, node);
}

void TCustomTreeView::GetSelectedIndex(TTreeNode *node)
{
    OnGetSelectedIndex(this, node);
}

void TCustomTreeView::Delete(TTreeNode *node)
{
    OnDeletion(this, node);
}

int TCustomTreeView::ShownImageIndex(TTreeNode *node)
{
    try {
        if (node == FSelected) {
            GetSelectedIndex(node);
            return node->SelectedIndex();
        }
        GetImageIndex(node);
    } catch (...) {
        ReportLater(std::current_exception());
    }
    return node->ImageIndex();
}

// A failure while painting cannot show a box then and there: it is shown once painting is over.
void TCustomTreeView::ReportLater(std::exception_ptr error)
{
    if (FReportPending)
        return;
    FReportPending = true;
    QTimer::singleShot(0, this, [this, error] {
        FReportPending = false;
        try {
            std::rethrow_exception(error);
        } catch (...) {
            HandleException();
        }
    });
}

// ---- calls from the nodes

void TCustomTreeView::NodeRemoving(TTreeNode *node)
{
    auto inside = [node](const TTreeNode *other) {
        return other && (!node || other == node || other->HasAsParent(node));
    };
    if (inside(FEditingNode.Get()))
        EndEditNode(true);
    if (inside(FSelected)) {
        FSelected = nullptr;
        ShowSelection();
    }
    if (inside(FDropTarget))
        FDropTarget = nullptr;
    if (inside(FEditTimerNode.Get()))
        FEditTimer.stop();
}

void TCustomTreeView::NodeDestroying(TTreeNode *node)
{
    if (FDestroying)
        return;
    try {
        Delete(node);
    } catch (...) {
        ReportLater(std::current_exception());
    }
}

void TCustomTreeView::NodeEdited(TTreeNode *node, const QString &text)
{
    if (text == node->Text())
        return;
    Guarded([&] { Edit(node, text); });
}

void TCustomTreeView::UpdatesSuspended(bool suspended)
{
    // A pending layout makes the view skip its per-row work until the one relayout.
    scheduleDelayedItemsLayout();
    if (!suspended)
        viewport()->update();
}

// ---- caption editing

bool TCustomTreeView::IsEditing() const
{
    return FDelegate->Editor() != nullptr;
}

bool TCustomTreeView::EditNode(TTreeNode *node)
{
    if (!node || FReadOnly)
        return false;
    if (IsEditing())
        EndEditNode(false);
    TTreeNodeRef ref(node);
    if (!CanEdit(node) || !ref)
        return false;
    if (!node->IsVisible())
        return false;
    const QModelIndex index = FItems->IndexOf(node);
    scrollTo(index);
    FEditingNode = node;
    bool opened = false;
    {
        TFlagScope opening(FEditorOpening);
        opened = QAbstractItemView::edit(index, AllEditTriggers, nullptr);
    }
    if (!opened)
        FEditingNode.Reset();
    return opened;
}

void TCustomTreeView::EndEditNode(bool cancel)
{
    if (!IsEditing())
        return;
    if (!cancel)
        FDelegate->Commit();
    FDelegate->Close(cancel);
}

bool TCustomTreeView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // Editors open only through EditNode, after CanEdit agreed.
    if (!FEditorOpening)
        return false;
    return QTreeView::edit(index, trigger, event);
}

void TCustomTreeView::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    TFlagScope closing(FEditorClosing);
    FEditingNode.Reset();
    QTreeView::closeEditor(editor, hint);
}

void TCustomTreeView::StartEditTimer(TTreeNode *node)
{
    FEditTimerNode = node;
    FEditTimer.start(QApplication::doubleClickInterval());
}
