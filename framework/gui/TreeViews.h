#pragma once

#include "Events.h"
#include "ImageLists.h"
#include "TreeNodes.h"

#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QTreeView>

class TCustomTreeView;
class TTreeDelegate;

using TTVChangingEvent = TEvent<TCustomTreeView *, TTreeNode *, bool &>;
using TTVChangedEvent = TEvent<TCustomTreeView *, TTreeNode *>;
using TTVEditingEvent = TEvent<TCustomTreeView *, TTreeNode *, bool &>;
using TTVEditedEvent = TEvent<TCustomTreeView *, TTreeNode *, QString &>;
using TTVExpandingEvent = TEvent<TCustomTreeView *, TTreeNode *, bool &>;
using TTVExpandedEvent = TEvent<TCustomTreeView *, TTreeNode *>;

// The framework's tree control. Its nodes (Items) are the truth and the view only draws them, so
// everything a user does goes through the same hooks as a program's calls: a node expands only
// after CanExpand agreed, the selection changes only after CanChange agreed, a caption is edited
// only after CanEdit agreed. Dragging is the control's own (no platform drag): a node is dragged
// within the control and dropped on a node or on the empty space below the nodes.
//
// Coordinates of the hit tests and the drag events are those of the client area (the viewport).
class TCustomTreeView : public QTreeView
{
    Q_OBJECT

public:
    enum TDragMode { dmManual, dmAutomatic };
    enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
    enum THitTest {
        htAbove = 0x1,
        htBelow = 0x2,
        htNowhere = 0x4,
        htOnItem = 0x8,
        htOnButton = 0x10,
        htOnIcon = 0x20,
        htOnIndent = 0x40,
        htOnLabel = 0x80,
        htOnRight = 0x100,
        htOnStateIcon = 0x200,
        htToLeft = 0x400,
        htToRight = 0x800,
    };
    using THitTests = int;

    using TNotifyEvent = TEvent<QObject *>;
    // Setting the key to 0 keeps the control from handling it.
    using TKeyEvent = TEvent<QObject *, int &, Qt::KeyboardModifiers>;
    using TDragOverEvent = TEvent<QObject *, QObject *, int, int, TDragState, bool &>;
    using TDragDropEvent = TEvent<QObject *, QObject *, int, int>;
    using TEndDragEvent = TEvent<QObject *, QObject *, int, int>;

    explicit TCustomTreeView(QWidget *parent = nullptr);
    ~TCustomTreeView() override;

    TTreeNodes *Items() const { return FItems; }

    TTreeNode *Selected() const { return FSelected; }
    // Asks CanChange first; a node in collapsed parents is made visible.
    void SetSelected(TTreeNode *node);
    TTreeNode *DropTarget() const { return FDropTarget; }
    void SetDropTarget(TTreeNode *node);

    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    TCustomImageList *Images() const { return FImages; }
    void SetImages(TCustomImageList *value);
    TCustomImageList *StateImages() const { return FStateImages; }
    void SetStateImages(TCustomImageList *value);
    TDragMode DragMode() const { return FDragMode; }
    void SetDragMode(TDragMode value) { FDragMode = value; }
    int Indent() const { return indentation(); }
    void SetIndent(int value) { setIndentation(value); }
    QMenu *PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(QMenu *value) { FPopupMenu = value; }

    TTreeNode *GetNodeAt(int x, int y) const;
    THitTests GetHitTestInfoAt(int x, int y) const;
    // The node's row, or its caption only; empty when the node is not shown.
    QRect NodeRect(const TTreeNode *node, bool textOnly) const;

    bool IsEditing() const;
    TTreeNode *EditingNode() const { return FEditingNode.Get(); }

    // Starts dragging the selected node now, or once the mouse has moved `threshold` pixels with
    // the button held (the platform's distance when negative).
    void BeginDrag(bool immediate, int threshold = -1);
    bool Dragging() const { return FDragging; }
    // Ends a drag: dropped where the mouse is when `drop`, else cancelled.
    void EndDrag(bool drop);

    void FullExpand();
    void FullCollapse();

    TTVChangingEvent OnChanging;
    TTVChangedEvent OnChange;
    TTVExpandingEvent OnExpanding, OnCollapsing;
    TTVExpandedEvent OnExpanded, OnCollapsed;
    TTVEditingEvent OnEditing;
    TTVEditedEvent OnEdited;
    TTVExpandedEvent OnGetImageIndex, OnGetSelectedIndex, OnDeletion;
    TNotifyEvent OnClick, OnDblClick, OnEnter, OnExit, OnStartDrag;
    TKeyEvent OnKeyDown;
    TDragOverEvent OnDragOver;
    TDragDropEvent OnDragDrop;
    TEndDragEvent OnEndDrag;

protected:
    // Every node comes from here: a descendant makes its own kind.
    virtual TTreeNode *CreateNode();
    virtual bool CanChange(TTreeNode *node);
    virtual void Change(TTreeNode *node);
    virtual bool CanExpand(TTreeNode *node);
    virtual void Expand(TTreeNode *node);
    virtual bool CanCollapse(TTreeNode *node);
    virtual void Collapse(TTreeNode *node);
    virtual bool CanEdit(TTreeNode *node);
    // A caption edit ended with a new text; stores it after OnEdited.
    virtual void Edit(TTreeNode *node, const QString &text);
    virtual void Click();
    virtual void DblClick();
    virtual void DoEnter();
    virtual void DoExit();
    virtual void KeyDown(int &key, Qt::KeyboardModifiers modifiers);
    virtual void DoStartDrag();
    // Accepts a drag of this control's own node unless OnDragOver says otherwise.
    virtual void DragOver(QObject *source, int x, int y, TDragState state, bool &accept);
    virtual void DragDrop(QObject *source, int x, int y);
    virtual void DragCanceled() {}
    // Target is this control after a drop on it, none after a cancelled or refused drop.
    virtual void DoEndDrag(QObject *target, int x, int y);
    virtual void GetImageIndex(TTreeNode *node);
    virtual void GetSelectedIndex(TTreeNode *node);
    // A node is being destroyed (its children already are).
    virtual void Delete(TTreeNode *node);

    // The image index a node shows now (selected or not), after asking the hooks.
    int ShownImageIndex(TTreeNode *node);

    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyboardSearch(const QString &search) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;

private:
    friend class TTreeNode;
    friend class TTreeNodes;
    friend class TTreeDelegate;

    // Called by the nodes.
    void NodeRemoving(TTreeNode *node);
    void NodeDestroying(TTreeNode *node);
    void NodeEdited(TTreeNode *node, const QString &text);
    void UpdatesSuspended(bool suspended);
    bool ExpandNode(TTreeNode *node);
    void CollapseNode(TTreeNode *node);
    void SyncExpanded(TTreeNode *node);
    bool EditNode(TTreeNode *node);
    void EndEditNode(bool cancel);

    // A selection the user asked for; false when it was refused.
    bool SelectByUser(TTreeNode *node);
    // Selects the node a popup menu is asked for at pos; false when the selection was refused.
    bool SelectForMenu(const QPoint &pos);
    void ShowSelection();
    void StartDragAt(const QPoint &pos);
    void DragMoveTo(const QPoint &pos);
    void FinishDrag(bool drop, const QPoint &pos);
    void StartEditTimer(TTreeNode *node);
    void ReportLater(std::exception_ptr error);

    TTreeNodes *FItems;
    TTreeDelegate *FDelegate;
    TTreeNode *FSelected = nullptr;
    TTreeNode *FDropTarget = nullptr;
    bool FReadOnly = false;
    QPointer<TCustomImageList> FImages;
    QPointer<TCustomImageList> FStateImages;
    QPointer<QMenu> FPopupMenu;
    TDragMode FDragMode = dmManual;

    bool FDestroying = false;
    bool FSyncingView = false;   // the view's current index is being set to the selection
    bool FEditorClosing = false; // focus comes back from our own caption editor
    bool FEditorOpening = false; // focus goes to it
    TTreeNodeRef FEditingNode;
    QTimer FEditTimer;
    TTreeNodeRef FEditTimerNode;
    bool FEditOnRelease = false;
    bool FMenuRefused = false; // the right-button press could not select its node
    bool FReportPending = false;

    bool FDragPending = false;
    bool FDragging = false;
    bool FDragInside = false;
    bool FDragAccepted = false;
    int FDragThreshold = 0;
    QPoint FPressPos;
    QPoint FDragPos;
};
