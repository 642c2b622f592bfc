// TCustomTreeView: hit tests, dragging, and the mouse and keyboard.

#include "ErrorHandlers.h"
#include "TreeDelegates.h"
#include "TreeViews.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <utility>

// ---- hit tests

TTreeNode *TCustomTreeView::GetNodeAt(int x, int y) const
{
    if (!viewport()->rect().contains(x, y))
        return nullptr;
    return TTreeNodes::NodeOf(indexAt(QPoint(x, y)));
}

TCustomTreeView::THitTests TCustomTreeView::GetHitTestInfoAt(int x, int y) const
{
    const QRect client = viewport()->rect();
    THitTests hits = 0;
    if (x < client.left())
        hits |= htToLeft;
    else if (x > client.right())
        hits |= htToRight;
    if (y < client.top())
        hits |= htAbove;
    else if (y > client.bottom())
        hits |= htBelow;
    if (hits)
        return hits;
    const QModelIndex index = indexAt(QPoint(x, y));
    const TTreeNode *node = TTreeNodes::NodeOf(index);
    if (!node)
        return htNowhere;
    const QRect item = visualRect(index);
    if (x < item.left())
        return x >= item.left() - indentation() && node->HasChildren() ? htOnButton : htOnIndent;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = item;
    const TTreeDelegate::TLayout layout = FDelegate->Layout(option, index);
    if (x < layout.State.right() + 1 && layout.State.width() > 0)
        return htOnItem | htOnStateIcon;
    if (layout.Icon.isValid() && x <= layout.Icon.right())
        return htOnItem | htOnIcon;
    if (x <= layout.Text.right())
        return htOnItem | htOnLabel;
    return htOnRight;
}

QRect TCustomTreeView::NodeRect(const TTreeNode *node, bool textOnly) const
{
    if (!node || !node->IsVisible())
        return {};
    const QModelIndex index = FItems->IndexOf(node);
    const QRect item = visualRect(index);
    if (!textOnly)
        return QRect(0, item.top(), viewport()->width(), item.height());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = item;
    return FDelegate->Layout(option, index).Text;
}

// ---- dragging

void TCustomTreeView::BeginDrag(bool immediate, int threshold)
{
    if (FDragging)
        return;
    FDragThreshold = threshold < 0 ? QApplication::startDragDistance() : threshold;
    if (!immediate) {
        FDragPending = true;
        return;
    }
    StartDragAt(viewport()->mapFromGlobal(QCursor::pos()));
}

void TCustomTreeView::StartDragAt(const QPoint &pos)
{
    FDragPending = false;
    FDragging = true;
    FDragInside = false;
    FDragAccepted = false;
    DoStartDrag();
    DragMoveTo(pos);
}

void TCustomTreeView::EndDrag(bool drop)
{
    FDragPending = false;
    if (FDragging)
        FinishDrag(drop, FDragPos);
}

void TCustomTreeView::DragMoveTo(const QPoint &pos)
{
    FDragPos = pos;
    if (viewport()->rect().contains(pos)) {
        bool accept = false;
        DragOver(this, pos.x(), pos.y(), FDragInside ? dsDragMove : dsDragEnter, accept);
        FDragInside = true;
        FDragAccepted = accept;
        SetDropTarget(accept ? GetNodeAt(pos.x(), pos.y()) : nullptr);
    } else if (FDragInside) {
        bool accept = false;
        DragOver(this, pos.x(), pos.y(), dsDragLeave, accept);
        FDragInside = false;
        FDragAccepted = false;
        SetDropTarget(nullptr);
    }
    viewport()->setCursor(FDragAccepted ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
}

void TCustomTreeView::FinishDrag(bool drop, const QPoint &pos)
{
    if (drop)
        DragMoveTo(pos);
    const bool dropped = drop && FDragInside && FDragAccepted;
    FDragging = false;
    FDragPending = false;
    FDragInside = false;
    FDragAccepted = false;
    viewport()->unsetCursor();
    SetDropTarget(nullptr);
    if (!drop)
        DragCanceled();
    if (dropped)
        DragDrop(this, pos.x(), pos.y());
    DoEndDrag(dropped ? this : nullptr, pos.x(), pos.y());
}

// ---- input

void TCustomTreeView::mousePressEvent(QMouseEvent *event)
{
    try {
        FEditTimer.stop();
        FEditOnRelease = false;
        if (FDragging)
            return;
        const QPoint pos = event->position().toPoint();
        FMenuRefused = false;
        if (event->button() == Qt::RightButton) {
            // Stays set when the selection throws: the error is reported once, here.
            FMenuRefused = true;
            FMenuRefused = !SelectForMenu(pos);
            return;
        }
        if (event->button() != Qt::LeftButton)
            return;
        TTreeNode *node = GetNodeAt(pos.x(), pos.y());
        if (!node)
            return;
        const THitTests hits = GetHitTestInfoAt(pos.x(), pos.y());
        if (hits & htOnButton) {
            node->SetExpanded(!node->Expanded());
            return;
        }
        const bool wasSelected = node == FSelected;
        if (!wasSelected && !SelectByUser(node))
            return;
        FEditOnRelease = wasSelected && (hits & htOnItem);
        FPressPos = pos;
        if (FDragMode == dmAutomatic)
            BeginDrag(false);
    } catch (...) {
        HandleException();
    }
}

void TCustomTreeView::mouseMoveEvent(QMouseEvent *event)
{
    try {
        const QPoint pos = event->position().toPoint();
        if (FDragPending && (event->buttons() & Qt::LeftButton) &&
            (pos - FPressPos).manhattanLength() >= FDragThreshold) {
            FEditOnRelease = false;
            StartDragAt(pos);
        } else if (FDragging) {
            DragMoveTo(pos);
        }
    } catch (...) {
        HandleException();
    }
}

void TCustomTreeView::mouseReleaseEvent(QMouseEvent *event)
{
    try {
        const QPoint pos = event->position().toPoint();
        if (FDragging) {
            FinishDrag(true, pos);
            return;
        }
        FDragPending = false;
        if (event->button() != Qt::LeftButton)
            return;
        const bool editLater =
            FEditOnRelease && FSelected && GetNodeAt(pos.x(), pos.y()) == FSelected && !FReadOnly;
        FEditOnRelease = false;
        TTreeNodeRef selected(FSelected);
        Click();
        if (editLater && selected)
            StartEditTimer(selected.Get());
    } catch (...) {
        HandleException();
    }
}

void TCustomTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    try {
        FEditTimer.stop();
        FEditOnRelease = false;
        if (event->button() != Qt::LeftButton)
            return;
        const QPoint pos = event->position().toPoint();
        TTreeNodeRef node(GetNodeAt(pos.x(), pos.y()));
        DblClick();
        if (TTreeNode *target = node.Get()) {
            target->SetExpanded(!target->Expanded());
            FPressPos = pos;
            if (FDragMode == dmAutomatic && target == FSelected)
                BeginDrag(false);
        }
    } catch (...) {
        HandleException();
    }
}

void TCustomTreeView::keyPressEvent(QKeyEvent *event)
{
    try {
        if (FDragging) {
            if (event->key() == Qt::Key_Escape)
                EndDrag(false);
            return;
        }
        int key = event->key();
        KeyDown(key, event->modifiers());
        if (key == 0)
            return;
        auto moveTo = [this, event](CursorAction action) {
            if (TTreeNode *node = TTreeNodes::NodeOf(moveCursor(action, event->modifiers())))
                SelectByUser(node);
        };
        TTreeNode *node = FSelected;
        switch (key) {
        case Qt::Key_Up:
            moveTo(MoveUp);
            return;
        case Qt::Key_Down:
            moveTo(MoveDown);
            return;
        case Qt::Key_PageUp:
            moveTo(MovePageUp);
            return;
        case Qt::Key_PageDown:
            moveTo(MovePageDown);
            return;
        case Qt::Key_Home:
            moveTo(MoveHome);
            return;
        case Qt::Key_End:
            moveTo(MoveEnd);
            return;
        case Qt::Key_Left:
            if (node && node->Expanded())
                node->Collapse(false);
            else if (node && node->Parent())
                SelectByUser(node->Parent());
            return;
        case Qt::Key_Right:
            if (node && !node->Expanded() && node->HasChildren())
                node->Expand(false);
            else if (node && node->Expanded() && node->GetFirstChild())
                SelectByUser(node->GetFirstChild());
            return;
        case Qt::Key_Plus:
            if (node)
                node->Expand(false);
            return;
        case Qt::Key_Minus:
            if (node)
                node->Collapse(false);
            return;
        case Qt::Key_Asterisk:
            if (node)
                node->Expand(true);
            return;
        case Qt::Key_F2:
            if (node)
                EditNode(node);
            return;
        default:
            QAbstractItemView::keyPressEvent(event);
        }
    } catch (...) {
        HandleException();
    }
}

void TCustomTreeView::keyboardSearch(const QString &search)
{
    if (search.isEmpty() || FItems->TopLevelCount() == 0)
        return;
    // The next shown node whose caption starts with the text, after the selected one, round.
    auto nextShown = [](TTreeNode *node) -> TTreeNode * {
        if (node->Expanded() && node->GetFirstChild())
            return node->GetFirstChild();
        for (; node; node = node->Parent())
            if (TTreeNode *sibling = node->GetNextSibling())
                return sibling;
        return nullptr;
    };
    TTreeNode *start = FSelected ? FSelected : FItems->GetFirstNode();
    TTreeNode *node = FSelected ? nextShown(start) : start;
    for (int steps = 0; steps <= FItems->Count(); ++steps) {
        if (!node)
            node = FItems->GetFirstNode();
        if (node->Text().startsWith(search, Qt::CaseInsensitive)) {
            Guarded([&] { SelectByUser(node); });
            return;
        }
        if (node == start && steps > 0)
            return;
        node = nextShown(node);
    }
}

void TCustomTreeView::focusInEvent(QFocusEvent *event)
{
    // Not the item view's own: it would move the cursor to the first row.
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
    if (!FEditorClosing)
        Guarded([this] { DoEnter(); });
}

void TCustomTreeView::focusOutEvent(QFocusEvent *event)
{
    QTreeView::focusOutEvent(event);
    if (FDragging)
        Guarded([this] { EndDrag(false); });
    if (!FEditorOpening && !IsEditing())
        Guarded([this] { DoExit(); });
}

bool TCustomTreeView::SelectForMenu(const QPoint &pos)
{
    // The popup's commands concern the node under the mouse, as in every desktop tree: it becomes
    // the selection first. Empty space below the nodes keeps the selection.
    TTreeNode *node = GetNodeAt(pos.x(), pos.y());
    return !node || node == FSelected || SelectByUser(node);
}

void TCustomTreeView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!FPopupMenu)
        return;
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        // A selection refused at the press (an edit the data set would not post) was reported
        // there: no menu for the node the user did not get, and no second report.
        const bool refused = std::exchange(FMenuRefused, false);
        if (refused)
            return;
        // Delivered through the viewport, so its position is the viewport's.
        bool selected = false;
        Guarded([&] { selected = SelectForMenu(event->pos()); });
        if (!selected)
            return;
    } else if (FSelected) {
        const QRect rect = NodeRect(FSelected, true);
        if (rect.isValid())
            at = viewport()->mapToGlobal(rect.center());
    }
    FPopupMenu->popup(at);
}
