#pragma once

#include "SysUtils.h"

#include <QAbstractItemModel>
#include <QString>
#include <memory>
#include <vector>

class TCustomTreeView;
class TTreeNodes;

// Raised by the tree control and its descendants for a misuse of their nodes.
class ETreeViewError : public Exception
{
public:
    using Exception::Exception;
};

enum TNodeAttachMode { naAdd, naAddFirst, naAddChild, naAddChildFirst, naInsert };

// One node of a tree control. The collection creates, owns and destroys nodes; a node never
// outlives its collection. Whether a node shows an expand button (HasChildren) is kept apart from
// whether it has children yet, so a view can show a button for children it has not read.
class TTreeNode
{
public:
    explicit TTreeNode(TTreeNodes *owner);
    virtual ~TTreeNode();
    TTreeNode(const TTreeNode &) = delete;
    TTreeNode &operator=(const TTreeNode &) = delete;

    TTreeNodes *Owner() const { return FOwner; }
    TCustomTreeView *TreeView() const;

    const QString &Text() const { return FText; }
    void SetText(const QString &value);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value);
    int SelectedIndex() const { return FSelectedIndex; }
    void SetSelectedIndex(int value);
    int StateIndex() const { return FStateIndex; }
    void SetStateIndex(int value);
    void *Data() const { return FData; }
    void SetData(void *value) { FData = value; }

    bool HasChildren() const { return FHasChildren; }
    void SetHasChildren(bool value);
    // Expanding asks the tree first (CanExpand); a node without children stays collapsed.
    bool Expanded() const { return FExpanded; }
    void SetExpanded(bool value);
    void Expand(bool recurse);
    void Collapse(bool recurse);
    bool Selected() const;
    void SetSelected(bool value);
    // The node is shown: every ancestor is expanded.
    bool IsVisible() const;
    // Expands the ancestors (each asked as a user's expansion would be) and scrolls to the node.
    void MakeVisible();

    TTreeNode *Parent() const { return FParent; }
    int Count() const { return int(FChildren.size()); }
    TTreeNode *Item(int index) const;
    int Index() const { return FIndex; }
    int Level() const;
    bool HasAsParent(const TTreeNode *node) const;
    TTreeNode *GetFirstChild() const { return FChildren.empty() ? nullptr : FChildren.front(); }
    TTreeNode *GetLastChild() const { return FChildren.empty() ? nullptr : FChildren.back(); }
    TTreeNode *GetNextSibling() const;
    TTreeNode *GetPrevSibling() const;
    // The next node in depth-first order, whether shown or not.
    TTreeNode *GetNext() const;

    void Delete();
    void DeleteChildren();
    void MoveTo(TTreeNode *destination, TNodeAttachMode mode);
    // Copies what a node shows; descendants copy their own data too.
    virtual void Assign(const TTreeNode *source);

    bool EditText();
    void EndEdit(bool cancel);

protected:
    // The node was moved to another place in the tree.
    virtual void Moved() {}

private:
    friend class TTreeNodes;
    friend class TTreeNodeRef;
    friend class TCustomTreeView;

    void Changed(int role);
    std::shared_ptr<TTreeNode *> &AliveToken();

    TTreeNodes *FOwner;
    TTreeNode *FParent = nullptr;
    std::vector<TTreeNode *> FChildren;
    int FIndex = 0;
    QString FText;
    int FImageIndex = -1;
    int FSelectedIndex = -1;
    int FStateIndex = -1;
    void *FData = nullptr;
    bool FHasChildren = false;
    bool FExpanded = false;
    bool FDeleting = false;
    std::shared_ptr<TTreeNode *> FAlive; // made when someone holds a TTreeNodeRef to the node
};

// A pointer to a node that turns null when the node is deleted, for whoever must hold on to a node
// across calls that may delete it (event handlers, posted messages).
class TTreeNodeRef
{
public:
    TTreeNodeRef() = default;
    TTreeNodeRef(TTreeNode *node) { Reset(node); }
    TTreeNodeRef &operator=(TTreeNode *node)
    {
        Reset(node);
        return *this;
    }
    TTreeNode *Get() const { return FToken ? *FToken : nullptr; }
    template <class T> T *As() const { return static_cast<T *>(Get()); }
    explicit operator bool() const { return Get() != nullptr; }
    void Reset(TTreeNode *node = nullptr);

private:
    std::shared_ptr<TTreeNode *> FToken;
};

// The nodes of one tree control, and the item model through which the control shows them. The
// model gives a node's HasChildren as its "has children", so an expand button needs no child.
class TTreeNodes : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit TTreeNodes(TCustomTreeView *owner);
    ~TTreeNodes() override;

    TCustomTreeView *Owner() const { return FOwner; }
    // All nodes at every level.
    int Count() const { return FCount; }
    int TopLevelCount() const { return int(FRoots.size()); }
    TTreeNode *TopLevelItem(int index) const;
    TTreeNode *GetFirstNode() const { return FRoots.empty() ? nullptr : FRoots.front(); }

    // As the last, or first, child of parent (top level when none).
    TTreeNode *AddChild(TTreeNode *parent, const QString &text);
    TTreeNode *AddChildFirst(TTreeNode *parent, const QString &text);
    // As the last, or first, sibling of sibling (top level when none).
    TTreeNode *Add(TTreeNode *sibling, const QString &text);
    TTreeNode *AddFirst(TTreeNode *sibling, const QString &text);
    // Before sibling (last at the top level when none).
    TTreeNode *Insert(TTreeNode *sibling, const QString &text);
    void Delete(TTreeNode *node);
    void Clear();

    // Many changes, one relayout: the control is not laid out or repainted per node meanwhile.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return FUpdateCount > 0; }

    QModelIndex IndexOf(const TTreeNode *node) const;
    static TTreeNode *NodeOf(const QModelIndex &index);

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    friend class TTreeNode;

    std::vector<TTreeNode *> &SiblingsOf(TTreeNode *parent) { return parent ? parent->FChildren : FRoots; }
    TTreeNode *InternalAdd(TTreeNode *parent, int position, const QString &text);
    void Attach(TTreeNode *node, TTreeNode *parent, int position);
    void Detach(TTreeNode *node);
    void Move(TTreeNode *node, TTreeNode *parent, int position);
    void DestroySubtree(TTreeNode *node);
    void NodeChanged(TTreeNode *node, int role);
    static void Renumber(std::vector<TTreeNode *> &siblings, size_t from);

    TCustomTreeView *FOwner;
    std::vector<TTreeNode *> FRoots;
    int FCount = 0;
    int FUpdateCount = 0;
    bool FClearing = false;
};
