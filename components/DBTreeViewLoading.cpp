// TDBCustomTreeView: the full reload, loading a node's children when it is expanded, the look-ahead
// that decides the expand buttons, and finding (loading on demand) the node of a record.

#include "DBCustomTreeView.h"
#include "ErrorHandlers.h"
#include "PrivateMessages.h"
#include "Tables.h"

#include <unordered_set>

namespace {

// A chain of parents longer than any folder nesting a volume can have is taken for a cycle.
constexpr size_t MaxAncestorDepth = 10000;

// The end of a walk: the table back where it was (a position that went away meanwhile is not an
// error), its controls enabled, and the first failure, of the walk or of these steps, raised.
void EndWalk(TDataSet *dataSet, const TBookmark &bookmark, bool wasBof, bool wasEof,
             std::exception_ptr failure)
{
    try {
        RestorePosition(dataSet, bookmark, wasBof, wasEof);
    } catch (...) {
    }
    try {
        dataSet->EnableControls();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

void TDBCustomTreeView::ScheduleReload()
{
    if (FRefreshPending)
        return;
    PostPrivateMessage(this, MsgReload);
    FRefreshPending = true;
}

void TDBCustomTreeView::customEvent(QEvent *event)
{
    if (event->type() != TPrivateMessage::Type()) {
        TCustomTreeView::customEvent(event);
        return;
    }
    switch (static_cast<const TPrivateMessage *>(event)->Msg) {
    case MsgReload:
        Guarded([this] { ReloadAll(); });
        FRefreshPending = false;
        break;
    case MsgReparent:
        Guarded([this] { Reparent(); });
        break;
    default:
        break;
    }
}

void TDBCustomTreeView::ReloadAll()
{
    TBusy busy(*this);
    ClearAll();
    if (FDataLink->Active()) {
        LoadTree();
        SelectCurrentRecord();
    }
}

void TDBCustomTreeView::ClearAll()
{
    Items()->BeginUpdate();
    TFinally resume([this] {
        Items()->EndUpdate();
        viewport()->update();
    });
    // Every node goes: the index need not be searched node by node.
    FKeyIndex.clear();
    Items()->Clear();
}

void TDBCustomTreeView::DoBeforeNodesLoading()
{
    BeforeNodesLoading(this);
}

void TDBCustomTreeView::DoAfterNodesLoading()
{
    AfterNodesLoading(this);
}

void TDBCustomTreeView::LoadTree()
{
    if (!FDataLink->Active())
        return;
    FNeedsLoad = false;
    TBusy busy(*this);
    DoBeforeNodesLoading();
    Items()->BeginUpdate();
    TFinally done([this] {
        Items()->EndUpdate();
        viewport()->update();
        DoAfterNodesLoading();
    });
    LoadChildren(nullptr, FRootKeyValue, TVariant(), 1);
}

void TDBCustomTreeView::SetKeyRange(const TVariant &key)
{
    TTable *table = Table();
    if (key.IsEmpty()) {
        try {
            table->CancelRange();
        } catch (...) {
            // Nothing to go back to: the table keeps the range it has.
        }
        return;
    }
    const int count = KeyFieldsCount();
    try {
        table->SetRangeStart();
        table->SetFieldValues(FLinkFieldNames, key);
        table->SetKeyFieldCount(count);
        table->SetRangeEnd();
        table->SetFieldValues(FLinkFieldNames, key);
        table->SetKeyFieldCount(count);
        table->ApplyRange();
    } catch (...) {
        // A key that does not fit the link fields must not leave the table editing a range.
        if (table->State() == TDataSetState::SetKey)
            table->Cancel();
        throw;
    }
}

void TDBCustomTreeView::LoadChildren(TDBTreeNode *node, const TVariant &key, const TVariant &restoreKey,
                                     int level)
{
    TBusy busy(*this);
    TDataSet *dataSet = DataSet();
    dataSet->DisableControls();
    const TBookmark bookmark = dataSet->GetBookmark();
    const bool wasBof = dataSet->Bof();
    const bool wasEof = dataSet->Eof();
    std::exception_ptr failure;
    try {
        LoadLevel(node, key, level);
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        SetKeyRange(restoreKey);
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    EndWalk(dataSet, bookmark, wasBof, wasEof, failure);
}

// One level of LoadChildren. The look-ahead into the children's children runs after the walk of
// the level rather than in the middle of it: the table then moves to each child's range once,
// instead of also going back to the level's range and record after every child, and the nodes and
// buttons come out the same.
void TDBCustomTreeView::LoadLevel(TDBTreeNode *node, const TVariant &key, int level)
{
    TDataSet *dataSet = DataSet();
    std::vector<TDBTreeNode *> lookAhead;
    std::exception_ptr failure;
    try {
        SetKeyRange(key);
        bool any = false;
        while (!dataSet->Eof()) {
            any = true;
            TDBTreeNode *child = FindChildByKey(node, ReadRecordKey());
            if (!child) {
                child = static_cast<TDBTreeNode *>(Items()->AddChild(node, QString()));
                SetupNode(child);
            }
            child->FVisited = true;
            if (!node || !node->FChildrenLoaded)
                child->SetHasChildren(!node || (level == 1 && FLoadStyle == lsExplorer));
            if (level == 2 && FLoadStyle == lsOneAhead)
                break;
            if (level < 1 || (level == 1 && FLoadStyle != lsExplorer))
                lookAhead.push_back(child);
            dataSet->Next();
        }
        if (node) {
            node->FChildrenLoaded = level < 2 || FLoadStyle == lsAllAhead || !any;
            node->SetHasChildren(any);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    // The nodes come out as if each child's look-ahead had run right after the child was read:
    // after a failure of the walk the children read before it still get theirs, and a failing
    // look-ahead leaves out the children read after it.
    const bool probe = level == 1 && FLoadStyle == lsOneAhead && KeyFieldsCount() > 0 &&
                       FLinkFields.size() == size_t(KeyFieldsCount());
    for (size_t i = 0; i < lookAhead.size(); ++i) {
        try {
            if (!probe) {
                LoadLevel(lookAhead[i], TVariant(lookAhead[i]->Key()), level + 1);
                continue;
            }
            if (i == 0)
                Table()->CancelRange();
            ProbeFirstChild(lookAhead[i]);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
            for (size_t j = i + 1; j < lookAhead.size(); ++j)
                lookAhead[j]->FVisited = false;
            break;
        }
    }
    RemoveUnvisited(node);
    if (failure)
        std::rethrow_exception(failure);
}

// The look-ahead of one level ahead needs only a node's first child: it is found by its link values
// (one row read) instead of through a range, which would read a page of the node's children and
// reset the table's conditions for each node. The first record of the range is the first record in
// index order with those link values, so the node gets the same probe.
void TDBCustomTreeView::ProbeFirstChild(TDBTreeNode *node)
{
    TDataSet *dataSet = DataSet();
    const TVariant &key = node->Key();
    const bool found =
        key.IsArray() && size_t(key.Count()) == FLinkFields.size() && dataSet->Locate(FLinkFieldNames, key);
    if (found) {
        TDBTreeNode *child = FindChildByKey(node, ReadRecordKey());
        if (!child) {
            child = static_cast<TDBTreeNode *>(Items()->AddChild(node, QString()));
            SetupNode(child);
        }
        child->FVisited = true;
        if (!node->FChildrenLoaded)
            child->SetHasChildren(false);
    }
    node->FChildrenLoaded = !found;
    node->SetHasChildren(found);
    RemoveUnvisited(node);
}

void TDBCustomTreeView::RemoveUnvisited(TDBTreeNode *node)
{
    std::vector<TDBTreeNode *> children;
    const int count = node ? node->Count() : Items()->TopLevelCount();
    children.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        children.push_back(static_cast<TDBTreeNode *>(node ? node->Item(i) : Items()->TopLevelItem(i)));
    for (TDBTreeNode *child : children) {
        if (child->FVisited)
            child->FVisited = false;
        else
            child->Delete();
    }
}

void TDBCustomTreeView::ClearNode(TDBTreeNode *node, bool deleteSelf)
{
    if (!node)
        return;
    Items()->BeginUpdate();
    TFinally resume([this] {
        Items()->EndUpdate();
        viewport()->update();
    });
    node->DeleteChildren();
    node->FChildrenLoaded = false;
    if (deleteSelf)
        node->Delete();
}

bool TDBCustomTreeView::CanExpand(TTreeNode *node)
{
    ExpandNode(static_cast<TDBTreeNode *>(node));
    return TCustomTreeView::CanExpand(node);
}

void TDBCustomTreeView::ExpandNode(TDBTreeNode *node)
{
    if (!node || !FDataLink->Active() || DataSet()->State() != TDataSetState::Browse)
        return;
    TBusy busy(*this);
    TDataSet *dataSet = DataSet();
    dataSet->DisableControls();
    const TBookmark bookmark = dataSet->GetBookmark();
    const bool wasBof = dataSet->Bof();
    const bool wasEof = dataSet->Eof();
    std::exception_ptr failure;
    bool updating = false;
    try {
        DoBeforeNodesLoading();
        // A record deleted behind the tree's back cannot be reached: nothing is loaded.
        if (IsCurrentRecord(node->Key()) ||
            node->GotoRecord(dataSet, &TDBCustomTreeView::LocateKeyBookmark, this)) {
            Items()->BeginUpdate();
            updating = true;
            LoadChildren(node, TVariant(node->Key()), TVariant(), 1);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        RestorePosition(dataSet, bookmark, wasBof, wasEof);
    } catch (...) {
        // As after any walk: a position that went away is not an error.
    }
    if (updating)
        Items()->EndUpdate();
    viewport()->update();
    try {
        dataSet->EnableControls();
        DoAfterNodesLoading();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(failure);
}

TDBTreeNode *TDBCustomTreeView::FindOrLoadNode(const TVariant &key)
{
    if (!FDataLink->Active())
        return nullptr;
    TBusy busy(*this);
    TDataSet *dataSet = DataSet();
    dataSet->DisableControls();
    const TBookmark bookmark = dataSet->GetBookmark();
    const bool wasBof = dataSet->Bof();
    const bool wasEof = dataSet->Eof();

    // Up from the record through its parents until one has a visible node, then down again,
    // expanding each ancestor in turn. Done as a loop, so a deep chain costs no stack, and a
    // parent met twice (a cycle in the data) ends the search.
    auto find = [this, &key]() -> TDBTreeNode * {
        std::vector<TVariant> chain{key};
        std::unordered_set<size_t> seen{KeyHash(key)};
        TDBTreeNode *anchor = nullptr;
        for (;;) {
            const TVariant current = chain.back();
            if (TDBTreeNode *node = FindNodeByKey(current); node && node->IsVisible()) {
                anchor = node;
                break;
            }
            LocateKey(current);
            TVariant parentKey;
            if (!IsCurrentRecord(current) || !ReadParentKey(parentKey))
                return nullptr;
            if (!seen.insert(KeyHash(parentKey)).second)
                for (const TVariant &earlier : chain)
                    if (KeysEqual(earlier, parentKey))
                        return nullptr;
            if (chain.size() >= MaxAncestorDepth)
                return nullptr;
            chain.push_back(parentKey);
        }
        for (size_t i = chain.size() - 1; i-- > 0;) {
            // An expanded parent that lacks the child reads its children again.
            if (anchor->Expanded())
                ExpandNode(anchor);
            else
                anchor->Expand(false);
            anchor = FindChildByKey(anchor, chain[i]);
            if (!anchor)
                return nullptr;
        }
        return anchor;
    };

    TDBTreeNode *found = nullptr;
    std::exception_ptr failure;
    try {
        found = find();
    } catch (...) {
        failure = std::current_exception();
    }
    EndWalk(dataSet, bookmark, wasBof, wasEof, failure);
    return found;
}

void TDBCustomTreeView::SelectCurrentRecord()
{
    if (!FDataLink->Active())
        return;
    SetSelected(FindOrLoadNode(ReadRecordKey()));
}
