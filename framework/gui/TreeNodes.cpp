#include "TreeNodes.h"

#include "ImageLists.h"
#include "TreeViews.h"

#include <QCoreApplication>

// ---------------------------------------------------------------------------------------------
// TTreeNode

TTreeNode::TTreeNode(TTreeNodes *owner) : FOwner(owner)
{}

TTreeNode::~TTreeNode()
{
    if (FAlive)
        *FAlive = nullptr;
}

TCustomTreeView *TTreeNode::TreeView() const
{
    return FOwner->Owner();
}

std::shared_ptr<TTreeNode *> &TTreeNode::AliveToken()
{
    if (!FAlive)
        FAlive = std::make_shared<TTreeNode *>(this);
    return FAlive;
}

void TTreeNode::Changed(int role)
{
    FOwner->NodeChanged(this, role);
}

void TTreeNode::SetText(const QString &value)
{
    if (FText == value)
        return;
    FText = value;
    Changed(Qt::DisplayRole);
}

void TTreeNode::SetImageIndex(int value)
{
    if (FImageIndex == value)
        return;
    FImageIndex = value;
    Changed(Qt::DecorationRole);
}

void TTreeNode::SetSelectedIndex(int value)
{
    if (FSelectedIndex == value)
        return;
    FSelectedIndex = value;
    Changed(Qt::DecorationRole);
}

void TTreeNode::SetStateIndex(int value)
{
    if (FStateIndex == value)
        return;
    FStateIndex = value;
    Changed(Qt::DecorationRole);
}

void TTreeNode::SetHasChildren(bool value)
{
    if (FHasChildren == value)
        return;
    FHasChildren = value;
    // Without children and without a button there is nothing to show expanded.
    if (!value && FExpanded && FChildren.empty()) {
        FExpanded = false;
        TreeView()->SyncExpanded(this);
    }
    Changed(-1);
}

void TTreeNode::SetExpanded(bool value)
{
    if (value)
        TreeView()->ExpandNode(this);
    else
        TreeView()->CollapseNode(this);
}

void TTreeNode::Expand(bool recurse)
{
    TTreeNodeRef self(this);
    SetExpanded(true);
    if (!recurse || !self)
        return;
    // The expansion hooks may add and delete nodes: hold on to the children by reference.
    std::vector<TTreeNodeRef> children(FChildren.begin(), FChildren.end());
    for (const TTreeNodeRef &child : children)
        if (TTreeNode *node = child.Get())
            node->Expand(true);
}

void TTreeNode::Collapse(bool recurse)
{
    if (recurse) {
        std::vector<TTreeNodeRef> children(FChildren.begin(), FChildren.end());
        for (const TTreeNodeRef &child : children)
            if (TTreeNode *node = child.Get())
                node->Collapse(true);
    }
    SetExpanded(false);
}

bool TTreeNode::Selected() const
{
    return TreeView()->Selected() == this;
}

void TTreeNode::SetSelected(bool value)
{
    if (value)
        TreeView()->SetSelected(this);
    else if (Selected())
        TreeView()->SetSelected(nullptr);
}

bool TTreeNode::IsVisible() const
{
    for (const TTreeNode *node = FParent; node; node = node->FParent)
        if (!node->FExpanded)
            return false;
    return true;
}

void TTreeNode::MakeVisible()
{
    std::vector<TTreeNodeRef> ancestors;
    for (TTreeNode *node = FParent; node; node = node->FParent)
        ancestors.emplace_back(node);
    TTreeNodeRef self(this);
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it)
        if (TTreeNode *node = it->Get(); node && !node->FExpanded)
            node->SetExpanded(true);
    if (self && IsVisible())
        TreeView()->scrollTo(FOwner->IndexOf(this));
}

TTreeNode *TTreeNode::Item(int index) const
{
    if (index < 0 || index >= Count())
        throw ETreeViewError(
            QCoreApplication::translate("TTreeNode", "List index out of bounds (%1)").arg(index));
    return FChildren[size_t(index)];
}

int TTreeNode::Level() const
{
    int level = 0;
    for (const TTreeNode *node = FParent; node; node = node->FParent)
        ++level;
    return level;
}

bool TTreeNode::HasAsParent(const TTreeNode *node) const
{
    if (!node)
        return false;
    for (const TTreeNode *ancestor = FParent; ancestor; ancestor = ancestor->FParent)
        if (ancestor == node)
            return true;
    return false;
}

TTreeNode *TTreeNode::GetNextSibling() const
{
    const auto &siblings = FOwner->SiblingsOf(FParent);
    return size_t(FIndex) + 1 < siblings.size() ? siblings[size_t(FIndex) + 1] : nullptr;
}

TTreeNode *TTreeNode::GetPrevSibling() const
{
    const auto &siblings = FOwner->SiblingsOf(FParent);
    return FIndex > 0 ? siblings[size_t(FIndex) - 1] : nullptr;
}

TTreeNode *TTreeNode::GetNext() const
{
    if (!FChildren.empty())
        return FChildren.front();
    for (const TTreeNode *node = this; node; node = node->FParent)
        if (TTreeNode *sibling = node->GetNextSibling())
            return sibling;
    return nullptr;
}

void TTreeNode::Delete()
{
    FOwner->Delete(this);
}

void TTreeNode::DeleteChildren()
{
    while (!FChildren.empty())
        FOwner->Delete(FChildren.back());
    SetHasChildren(false);
}

void TTreeNode::MoveTo(TTreeNode *destination, TNodeAttachMode mode)
{
    TTreeNode *parent = nullptr;
    int position = 0;
    switch (mode) {
    case naAdd:
    case naAddFirst:
    case naInsert:
        parent = destination ? destination->FParent : nullptr;
        break;
    case naAddChild:
    case naAddChildFirst:
        parent = destination;
        break;
    }
    const int count = int(FOwner->SiblingsOf(parent).size());
    switch (mode) {
    case naAdd:
    case naAddChild:
        position = count;
        break;
    case naAddFirst:
    case naAddChildFirst:
        position = 0;
        break;
    case naInsert:
        position = destination ? destination->FIndex : count;
        break;
    }
    if (parent == this || (parent && parent->HasAsParent(this)))
        throw ETreeViewError(QCoreApplication::translate("TTreeNode", "Cannot move a node under itself"));
    FOwner->Move(this, parent, position);
    Moved();
}

void TTreeNode::Assign(const TTreeNode *source)
{
    if (!source || source == this)
        return;
    SetText(source->FText);
    SetImageIndex(source->FImageIndex);
    SetSelectedIndex(source->FSelectedIndex);
    SetStateIndex(source->FStateIndex);
    SetHasChildren(source->FHasChildren);
    FData = source->FData;
}

bool TTreeNode::EditText()
{
    return TreeView()->EditNode(this);
}

void TTreeNode::EndEdit(bool cancel)
{
    if (TreeView()->EditingNode() == this)
        TreeView()->EndEditNode(cancel);
}

// ---------------------------------------------------------------------------------------------
// TTreeNodeRef

void TTreeNodeRef::Reset(TTreeNode *node)
{
    if (node)
        FToken = node->AliveToken();
    else
        FToken.reset();
}

// ---------------------------------------------------------------------------------------------
// TTreeNodes

TTreeNodes::TTreeNodes(TCustomTreeView *owner) : QAbstractItemModel(owner), FOwner(owner)
{}

TTreeNodes::~TTreeNodes()
{
    // The control clears its nodes while it can still hear of them; this only frees memory.
    FClearing = true;
    for (TTreeNode *node : FRoots)
        DestroySubtree(node);
}

TTreeNode *TTreeNodes::TopLevelItem(int index) const
{
    if (index < 0 || size_t(index) >= FRoots.size())
        throw ETreeViewError(
            QCoreApplication::translate("TTreeNode", "List index out of bounds (%1)").arg(index));
    return FRoots[size_t(index)];
}

TTreeNode *TTreeNodes::AddChild(TTreeNode *parent, const QString &text)
{
    return InternalAdd(parent, int(SiblingsOf(parent).size()), text);
}

TTreeNode *TTreeNodes::AddChildFirst(TTreeNode *parent, const QString &text)
{
    return InternalAdd(parent, 0, text);
}

TTreeNode *TTreeNodes::Add(TTreeNode *sibling, const QString &text)
{
    TTreeNode *parent = sibling ? sibling->FParent : nullptr;
    return InternalAdd(parent, int(SiblingsOf(parent).size()), text);
}

TTreeNode *TTreeNodes::AddFirst(TTreeNode *sibling, const QString &text)
{
    return InternalAdd(sibling ? sibling->FParent : nullptr, 0, text);
}

TTreeNode *TTreeNodes::Insert(TTreeNode *sibling, const QString &text)
{
    if (!sibling)
        return InternalAdd(nullptr, int(FRoots.size()), text);
    return InternalAdd(sibling->FParent, sibling->FIndex, text);
}

TTreeNode *TTreeNodes::InternalAdd(TTreeNode *parent, int position, const QString &text)
{
    TTreeNode *node = FOwner->CreateNode();
    node->FText = text;
    Attach(node, parent, position);
    ++FCount;
    return node;
}

void TTreeNodes::Renumber(std::vector<TTreeNode *> &siblings, size_t from)
{
    for (size_t i = from; i < siblings.size(); ++i)
        siblings[i]->FIndex = int(i);
}

void TTreeNodes::Attach(TTreeNode *node, TTreeNode *parent, int position)
{
    auto &siblings = SiblingsOf(parent);
    beginInsertRows(IndexOf(parent), position, position);
    siblings.insert(siblings.begin() + position, node);
    node->FParent = parent;
    Renumber(siblings, size_t(position));
    endInsertRows();
    if (parent && !parent->FHasChildren) {
        parent->FHasChildren = true;
        NodeChanged(parent, -1);
    }
}

void TTreeNodes::Detach(TTreeNode *node)
{
    auto &siblings = SiblingsOf(node->FParent);
    siblings.erase(siblings.begin() + node->FIndex);
    Renumber(siblings, size_t(node->FIndex));
}

void TTreeNodes::Move(TTreeNode *node, TTreeNode *parent, int position)
{
    TTreeNode *oldParent = node->FParent;
    const int row = node->FIndex;
    if (oldParent == parent && (position == row || position == row + 1))
        return;
    if (!beginMoveRows(IndexOf(oldParent), row, row, IndexOf(parent), position))
        return;
    Detach(node);
    if (oldParent == parent && position > row)
        --position;
    auto &siblings = SiblingsOf(parent);
    siblings.insert(siblings.begin() + position, node);
    node->FParent = parent;
    Renumber(siblings, size_t(position));
    endMoveRows();
    if (parent && !parent->FHasChildren) {
        parent->FHasChildren = true;
        NodeChanged(parent, -1);
    }
    if (oldParent && oldParent->FChildren.empty())
        oldParent->SetHasChildren(false);
}

void TTreeNodes::Delete(TTreeNode *node)
{
    if (!node || node->FDeleting)
        return;
    FOwner->NodeRemoving(node);
    TTreeNode *parent = node->FParent;
    const int row = node->FIndex;
    beginRemoveRows(IndexOf(parent), row, row);
    Detach(node);
    DestroySubtree(node);
    endRemoveRows();
    if (parent && parent->FChildren.empty())
        parent->SetHasChildren(false);
}

void TTreeNodes::DestroySubtree(TTreeNode *node)
{
    node->FDeleting = true;
    for (TTreeNode *child : node->FChildren)
        DestroySubtree(child);
    node->FChildren.clear();
    if (!FClearing)
        FOwner->NodeDestroying(node);
    delete node;
    --FCount;
}

void TTreeNodes::Clear()
{
    if (FRoots.empty())
        return;
    FOwner->NodeRemoving(nullptr);
    beginResetModel();
    std::vector<TTreeNode *> roots;
    roots.swap(FRoots);
    for (TTreeNode *node : roots)
        DestroySubtree(node);
    FCount = 0;
    endResetModel();
}

void TTreeNodes::BeginUpdate()
{
    if (FUpdateCount++ == 0)
        FOwner->UpdatesSuspended(true);
}

void TTreeNodes::EndUpdate()
{
    if (FUpdateCount == 0)
        return;
    if (--FUpdateCount == 0)
        FOwner->UpdatesSuspended(false);
}

void TTreeNodes::NodeChanged(TTreeNode *node, int role)
{
    // While updating, the relayout at the end shows every change at once.
    if (FUpdateCount > 0)
        return;
    const QModelIndex index = IndexOf(node);
    if (role < 0)
        emit dataChanged(index, index);
    else
        emit dataChanged(index, index, {role});
}

QModelIndex TTreeNodes::IndexOf(const TTreeNode *node) const
{
    return node ? createIndex(node->FIndex, 0, const_cast<TTreeNode *>(node)) : QModelIndex();
}

TTreeNode *TTreeNodes::NodeOf(const QModelIndex &index)
{
    return index.isValid() ? static_cast<TTreeNode *>(index.internalPointer()) : nullptr;
}

QModelIndex TTreeNodes::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    const auto &siblings = const_cast<TTreeNodes *>(this)->SiblingsOf(NodeOf(parent));
    if (size_t(row) >= siblings.size())
        return {};
    return createIndex(row, 0, siblings[size_t(row)]);
}

QModelIndex TTreeNodes::parent(const QModelIndex &child) const
{
    const TTreeNode *node = NodeOf(child);
    return node ? IndexOf(node->FParent) : QModelIndex();
}

int TTreeNodes::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const TTreeNode *node = NodeOf(parent);
    return node ? node->Count() : int(FRoots.size());
}

int TTreeNodes::columnCount(const QModelIndex &) const
{
    return 1;
}

bool TTreeNodes::hasChildren(const QModelIndex &parent) const
{
    const TTreeNode *node = NodeOf(parent);
    return node ? node->FHasChildren : !FRoots.empty();
}

QVariant TTreeNodes::data(const QModelIndex &index, int role) const
{
    TTreeNode *node = NodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return node->FText;
    case Qt::DecorationRole: {
        const TCustomImageList *images = FOwner->Images();
        if (!images)
            return {};
        const QPixmap pixmap = images->Pixmap(FOwner->ShownImageIndex(node));
        return pixmap.isNull() ? QVariant() : QVariant(pixmap);
    }
    default:
        return {};
    }
}

bool TTreeNodes::setData(const QModelIndex &index, const QVariant &value, int role)
{
    TTreeNode *node = NodeOf(index);
    if (!node || role != Qt::EditRole)
        return false;
    FOwner->NodeEdited(node, value.toString());
    return true;
}

Qt::ItemFlags TTreeNodes::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}
