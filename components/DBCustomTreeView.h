#pragma once

#include "Arrays.h"
#include "DataSources.h"
#include "TreeViews.h"

#include <QStringList>
#include <exception>
#include <memory>
#include <unordered_map>

class TDBCustomTreeView;
class TTable;

// A data set of the wrong class was given where a particular one is needed.
class EInvalidCast : public Exception
{
public:
    EInvalidCast() : Exception(QStringLiteral("Invalid class typecast")) {}
};

// Where the node of a record inserted in the data set goes.
enum TInsertMode { imAddChild, imAddSibling, imAddRootNode, imAddFromTable };
// How far loading reads ahead of what is shown, which decides the expand buttons.
enum TLoadStyle { lsExplorer, lsOneAhead, lsAllAhead };

using TDBTEEBeforeNodesLoading = TEvent<QObject *>;
using TDBTEEAfterNodesLoading = TEvent<QObject *>;
// (Sender, Parent, AllowInsert)
using TDBTEEBeforeChildInsert = TEvent<QObject *, TTreeNode *, bool &>;
using TDBTEEBeforeNodeInsert = TEvent<QObject *, TTreeNode *, bool &>;
using TDBTEEAfterInsert = TEvent<QObject *, TTreeNode *>;
// (Sender, ANode, ADataSet): the data set stands on the node's record.
using TDBLVOnNodeSetup = TEvent<QObject *, TTreeNode *, TDataSet *>;

// A node that stands for one record: its key, and a bookmark to get back to the record without a
// search. A node moved within the tree is found again by its key.
class TDBTreeNode : public TTreeNode
{
public:
    using TLocator = TBookmark (TDBCustomTreeView::*)(const TVariant &key);

    TDBTreeNode(TTreeNodes *owner, const TBookmark &bookmark, const TVariant &key);
    ~TDBTreeNode() override;

    const TVariant &Key() const { return FKey; }
    // A new key always discards the bookmark.
    void SetKey(const TVariant &value);
    bool KeyEquals(const TVariant &key) const;
    bool ChildrenLoaded() const { return FChildrenLoaded; }
    void SetChildrenLoaded(bool value) { FChildrenLoaded = value; }
    bool Visited() const { return FVisited; }
    void SetVisited(bool value) { FVisited = value; }
    const TBookmark &Bookmark() const { return FBookmark; }
    void SetBookmark(const TBookmark &value) { FBookmark = value; }

    // Goes to the node's record by its bookmark, else by the bookmark the locator finds for its key
    // (kept for next time). False when the record cannot be reached.
    bool GotoRecord(TDataSet *dataSet, TLocator locator, TDBCustomTreeView *view);

    // Copies the key and both flags; the copy finds its record by key (no bookmark).
    void Assign(const TTreeNode *source) override;

protected:
    void Moved() override { FBookmark = TBookmark(); }

private:
    friend class TDBCustomTreeView;

    TDBCustomTreeView *FView;
    TVariant FKey;
    size_t FKeyHash = 0;
    bool FChildrenLoaded = false;
    bool FVisited = false;
    TBookmark FBookmark;
};

// The view's field data link: every notification reaches the view, which also gets the
// framework's default handling.
class TDBTreeDataLink : public TFieldDataLink
{
public:
    explicit TDBTreeDataLink(TDBCustomTreeView *view) : FTreeView(view) {}
    TDBCustomTreeView *TreeView() const { return FTreeView; }
    void ClearTreeView() { FTreeView = nullptr; }

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override;
    void DataSetChanged() override;
    void EditingChanged() override;
    void RecordChanged(TField *field) override;
    void UpdateData() override;

private:
    TDBCustomTreeView *FTreeView;
};

// A tree whose nodes are the records of one self-referencing table: each record names its parent
// through its link fields (LinksFields, "Parent->ID" or "ParentA;ParentB->A;B"), and a record whose
// link values equal RootKey is a top-level one. Children are read through a range on the table's
// current index, which must begin with the link fields. Nodes exist only for what was read: a
// node's children are read when it is expanded. The selection follows the data set's cursor and
// the cursor follows the selection.
//
// Heavy work is deferred: changes of the binding post one reload (private message 1184), a drop
// posts the re-parent (1187). BusyCount keeps the view's own data set moves from re-entering its
// reactions.
class TDBCustomTreeView : public TCustomTreeView
{
    Q_OBJECT

public:
    static constexpr int MsgReload = 1184;
    static constexpr int MsgReparent = 1187;

    explicit TDBCustomTreeView(QWidget *parent = nullptr);
    ~TDBCustomTreeView() override;

    // ---- properties
    // Read back as -1 unless the image list holds that index.
    int DefStatus() const;
    void SetDefStatus(int value) { FDefStatus = value; }
    int DefImage() const;
    void SetDefImage(int value) { FDefImage = value; }
    TInsertMode InsertMode() const { return FInsertMode; }
    void SetInsertMode(TInsertMode value) { FInsertMode = value; }
    // The number of values in RootKey: the index fields every range uses.
    int KeyFieldsCount() const;
    TDataSource *DataSource() const { return FDataLink->DataSource(); }
    void SetDataSource(TDataSource *value);
    TDataSet *DataSet() const { return FDataLink->DataSet(); }
    TLoadStyle LoadStyle() const { return FLoadStyle; }
    void SetLoadStyle(TLoadStyle value);
    const QString &StatusIDField() const { return FStatusIDField; }
    void SetStatusIDField(const QString &value);
    const QString &ImageIDField() const { return FImageIDField; }
    void SetImageIDField(const QString &value);
    const QString &NameField() const { return FNameField; }
    void SetNameField(const QString &value);
    const QString &LinksFields() const { return FLinksFields; }
    void SetLinksFields(const QString &value);
    const QString &RootKey() const { return FRootKey; }
    // EConvertError for a piece that is no value; then nothing changes.
    void SetRootKey(const QString &value);

    TDBTEEBeforeNodesLoading BeforeNodesLoading;
    TDBTEEAfterNodesLoading AfterNodesLoading;
    TDBTEEBeforeChildInsert BeforeChildInsert;
    TDBTEEBeforeNodeInsert BeforeNodeInsert;
    TDBTEEAfterInsert AfterInsert;
    TDBLVOnNodeSetup OnNodeSetup;

    // ---- state, for whoever needs to know
    const QString &KeyFieldNames() const { return FKeyFieldNames; }
    const QString &LinkFieldNames() const { return FLinkFieldNames; }
    const TVariant &RootKeyValue() const { return FRootKeyValue; }
    bool NeedsLoad() const { return FNeedsLoad; }
    bool RefreshPending() const { return FRefreshPending; }
    int BusyCount() const { return FBusyCount; }
    TDataSetState LastState() const { return FLastState; }
    bool DragAllowed() const { return FDragAllowed; }
    TDBTreeNode *Selected() const { return static_cast<TDBTreeNode *>(TCustomTreeView::Selected()); }

    // ---- the current record
    TVariant ReadRecordKey() const;
    bool IsCurrentRecord(const TVariant &key) const;
    // The record's link values; true when they are not RootKey (the record has a parent).
    bool ReadParentKey(TVariant &parentKey) const;
    void SetRecordParent(const TVariant &key);
    virtual void SetRecordAsRoot();
    virtual bool GetCurrentKey(TVariant &key) const;
    bool LinksEditable() const;
    void LocateKey(const TVariant &key);
    TBookmark LocateKeyBookmark(const TVariant &key);
    void ReopenDataSet();

    // ---- nodes
    // The first node with the key in depth-first order.
    TDBTreeNode *FindNodeByKey(const TVariant &key) const;
    // The first child of parent (a top-level node when none) with the key.
    TDBTreeNode *FindChildByKey(const TTreeNode *parent, const TVariant &key) const;
    // The node of a record, expanding its ancestors as needed; none when it cannot be shown.
    TDBTreeNode *FindOrLoadNode(const TVariant &key);
    void SelectCurrentRecord();
    void SetupNode(TDBTreeNode *node);

    // ---- loading
    void ScheduleReload();
    void ReloadAll();
    void ClearAll();
    void LoadTree();
    void ExpandNode(TDBTreeNode *node);
    void LoadChildren(TDBTreeNode *node, const TVariant &key, const TVariant &restoreKey, int level);
    void SetKeyRange(const TVariant &key);
    void ClearNode(TDBTreeNode *node, bool deleteSelf);
    void RemoveUnvisited(TDBTreeNode *node);

    // ---- editing
    void GotoNode(TTreeNode *node);
    bool SyncNodeParent(TDBTreeNode *node);
    void MoveNode(TDBTreeNode *node, TDBTreeNode *newParent);
    void SetParentLink(TTreeNode *node, TTreeNode *parent);

protected:
    TTreeNode *CreateNode() override;
    virtual void RefreshBinding();
    virtual void BindingChanging(bool /*active*/) {}
    virtual void SyncToCurrentRecord();
    virtual void DoBeforeNodesLoading();
    virtual void DoAfterNodesLoading();

    bool CanChange(TTreeNode *node) override;
    void Change(TTreeNode *node) override;
    bool CanExpand(TTreeNode *node) override;
    bool CanEdit(TTreeNode *node) override;
    void Edit(TTreeNode *node, const QString &text) override;
    void DoEnter() override;
    void DragOver(QObject *source, int x, int y, TDragState state, bool &accept) override;
    void DragCanceled() override;
    void DoEndDrag(QObject *target, int x, int y) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void customEvent(QEvent *event) override;

private:
    friend class TDBTreeDataLink;
    friend class TDBTreeNode;

    // Raises BusyCount for a scope.
    struct TBusy
    {
        TDBCustomTreeView &View;
        explicit TBusy(TDBCustomTreeView &view) : View(view) { ++View.FBusyCount; }
        ~TBusy() { --View.FBusyCount; }
        TBusy(const TBusy &) = delete;
        TBusy &operator=(const TBusy &) = delete;
    };
    // Runs a clean-up however the scope is left. Its own failure propagates when the scope ended
    // normally and is dropped when another failure is already on its way.
    template <class F> struct TFinally
    {
        F Fn;
        int Uncaught = std::uncaught_exceptions();
        explicit TFinally(F fn) : Fn(std::move(fn)) {}
        ~TFinally() noexcept(false)
        {
            if (std::uncaught_exceptions() == Uncaught) {
                Fn();
                return;
            }
            try {
                Fn();
            } catch (...) {
            }
        }
        TFinally(const TFinally &) = delete;
        TFinally &operator=(const TFinally &) = delete;
    };

    // Reactions to the data link's notifications.
    void DataLinkActiveChanged();
    void DataLinkCheckBrowseMode();
    void RecordChanged(TField *field);
    void EditingStateChanged();
    void UpdateData();

    bool BindFields();
    TTable *Table() const;
    void InstallDeleteHooks();
    void RestoreDeleteHooks();
    void BeforeDeleteHook(TDataSet *dataSet);
    void AfterDeleteHook(TDataSet *dataSet);
    int StatusValue() const;
    int ImageValue() const;
    void InsertNodeForRecord();
    void Reparent();
    void LoadLevel(TDBTreeNode *node, const TVariant &key, int level);
    void ProbeFirstChild(TDBTreeNode *node);

    static size_t KeyHash(const TVariant &key);
    void IndexNode(TDBTreeNode *node);
    void UnindexNode(TDBTreeNode *node);

    QString FStatusIDField, FImageIDField, FNameField;
    TField *FImageFieldObj = nullptr;
    TField *FStatusFieldObj = nullptr;
    TField *FNameFieldObj = nullptr;
    QStringList FKeyFieldList, FLinkFieldList;
    std::vector<TField *> FKeyFields, FLinkFields;
    QString FLinksFields, FRootKey;
    QString FKeyFieldNames, FLinkFieldNames = QStringLiteral(";");
    TInsertMode FInsertMode = imAddFromTable;
    TVariant FRootKeyValue;
    bool FInsertPosted = false;
    bool FDragAllowed = true;
    TLoadStyle FLoadStyle = lsOneAhead;
    bool FRefreshPending = false;
    bool FNeedsLoad = true;
    int FBusyCount = 0;
    int FDefStatus = -1;
    int FDefImage = -1;
    std::unique_ptr<TDBTreeDataLink> FDataLink;
    TDataSetState FLastState = TDataSetState::Browse;
    TTreeNodeRef FPendingDeleteNode;
    TDataSetNotifyEvent FSavedBeforeDelete, FSavedAfterDelete;
    TDataSet *FHookedDataSet = nullptr;

    // The node added for the record being inserted; an insert whose node was refused has none.
    TTreeNodeRef FInsertNode;
    // Whether the data set asked for pending edits since its last browse-mode check: a check
    // without one starts a cancel, which no earlier failed post may count as posted.
    bool FSawUpdateData = false;
    TTreeNodeRef FDropNode;
    bool FDropOnNode = false;

    // Nodes by key, so that finding the node of a record does not walk the tree.
    std::unordered_multimap<size_t, TDBTreeNode *> FKeyIndex;
    // Turned null when the view goes: a handler of ours left in another component's chain of
    // delete handlers then does nothing.
    std::shared_ptr<TDBCustomTreeView *> FAlive;
};

// The tree view as forms use it.
class TDBTreeView : public TDBCustomTreeView
{
    Q_OBJECT

public:
    using TDBCustomTreeView::TDBCustomTreeView;
};
