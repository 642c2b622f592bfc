#include "ListViewParts.h"

#include "ImageLists.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <algorithm>

// ---------------------------------------------------------------------------------------------
// TListItemsModel

int TListItemsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FOwner->FItems->FPublished;
}

int TListItemsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::max(1, FOwner->FColumns->Count());
}

QVariant TListItemsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TListItem *item = FOwner->FItems->FItems[size_t(index.row())].get();
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? item->Caption() : item->SubItems().value(index.column() - 1);
    case Qt::EditRole:
        return index.column() == 0 ? QVariant(item->Caption()) : QVariant();
    case Qt::DecorationRole:
        if (index.column() == 0) {
            const QPixmap picture = FOwner->Picture(item);
            if (!picture.isNull())
                return picture;
        }
        return {};
    default:
        return {};
    }
}

Qt::ItemFlags TListItemsModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0 && !FOwner->FReadOnly)
        flags |= Qt::ItemIsEditable;
    if (FOwner->OnStartDrag)
        flags |= Qt::ItemIsDragEnabled;
    return flags;
}

QStringList TListItemsModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *TListItemsModel::mimeData(const QModelIndexList &indexes) const
{
    if (indexes.isEmpty())
        return nullptr;
    TListItem *item = FOwner->ItemAtRow(indexes.first().row());
    QMimeData *data = nullptr;
    if (item)
        Guarded([&] { FOwner->OnStartDrag(FOwner, item, data); });
    return data;
}

QVariant TListItemsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section >= FOwner->FColumns->Count())
        return {};
    if (role == Qt::DisplayRole)
        return FOwner->FColumns->Item(section)->Caption();
    // A header clicked for the first time sorts upwards, as the view does.
    if (role == Qt::InitialSortOrderRole)
        return int(Qt::AscendingOrder);
    return {};
}

void TListItemsModel::RowsChanged(int first, int last)
{
    if (first > last)
        return;
    emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

void TListItemsModel::Reorder(const std::vector<int> &newRows, const std::function<void()> &apply)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    apply();
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(index.row() < int(newRows.size())
                         ? this->index(newRows[size_t(index.row())], index.column())
                         : index);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---------------------------------------------------------------------------------------------
// TListSelectionModel

TListSelectionModel::TListSelectionModel(QAbstractItemModel *model, TCustomListView *owner)
    : QItemSelectionModel(model, owner), FOwner(owner)
{
    connect(this, &QItemSelectionModel::selectionChanged, owner,
            [owner](const QItemSelection &selected, const QItemSelection &deselected) {
                for (const QItemSelection *part : {&selected, &deselected})
                    for (const QItemSelectionRange &range : *part)
                        for (int row = range.top(); row <= range.bottom(); ++row)
                            owner->NoteStateChanged(row);
            });
    connect(this, &QItemSelectionModel::currentChanged, owner,
            [owner](const QModelIndex &current, const QModelIndex &previous) {
                if (current.isValid() && previous.isValid() && current.row() == previous.row())
                    return; // another column of the same row: the item's state is the same
                if (previous.isValid())
                    owner->NoteStateChanged(previous.row());
                if (current.isValid())
                    owner->NoteStateChanged(current.row());
            });
}

void TListSelectionModel::AffectedRows(const QItemSelection &selection,
                                       QItemSelectionModel::SelectionFlags command,
                                       std::vector<int> &rows) const
{
    const auto inSelection = [&selection](int row) {
        return std::any_of(selection.begin(), selection.end(), [row](const QItemSelectionRange &range) {
            return row >= range.top() && row <= range.bottom();
        });
    };
    const auto selected = [this](int row) { return isSelected(model()->index(row, 0)); };
    if (command & Clear) {
        for (const QItemSelectionRange &range : this->selection())
            for (int row = range.top(); row <= range.bottom(); ++row)
                if (!(command & Select) || !inSelection(row))
                    rows.push_back(row);
    }
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid())
            continue;
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (command & Toggle)
                rows.push_back(row);
            else if (command & Select) {
                if (!selected(row))
                    rows.push_back(row);
            } else if ((command & Deselect) && selected(row))
                rows.push_back(row);
        }
    }
}

void TListSelectionModel::setCurrentIndex(const QModelIndex &index,
                                          QItemSelectionModel::SelectionFlags command)
{
    if (FOwner->FSilent > 0) {
        QItemSelectionModel::setCurrentIndex(index, command);
        return;
    }
    std::vector<int> rows;
    const QModelIndex current = currentIndex();
    if (current.isValid() != index.isValid() || current.row() != index.row()) {
        if (current.isValid())
            rows.push_back(current.row());
        if (index.isValid())
            rows.push_back(index.row());
    }
    if (command & (Clear | Select | Deselect | Toggle))
        AffectedRows(index.isValid() ? QItemSelection(index, index) : QItemSelection(), command, rows);
    const QPersistentModelIndex target(index);
    const bool wanted = index.isValid();
    FOwner->StateChange(rows, [&] {
        if (wanted && !target.isValid())
            return; // the item went while the handlers were asked
        QItemSelectionModel::setCurrentIndex(target, command);
    });
}

void TListSelectionModel::select(const QItemSelection &selection, QItemSelectionModel::SelectionFlags command)
{
    // Whole rows in every style, so the report shows what the icons had selected.
    command |= Rows;
    if (FOwner->FSilent > 0) {
        QItemSelectionModel::select(selection, command);
        return;
    }
    std::vector<int> rows;
    AffectedRows(selection, command, rows);
    FOwner->StateChange(rows, [&] {
        QItemSelection valid;
        for (const QItemSelectionRange &range : selection)
            if (range.isValid())
                valid.append(range);
        QItemSelectionModel::select(valid, command);
    });
}

void TListSelectionModel::clearCurrentIndex()
{
    if (FOwner->FSilent > 0) {
        QItemSelectionModel::clearCurrentIndex();
        return;
    }
    std::vector<int> rows;
    if (currentIndex().isValid())
        rows.push_back(currentIndex().row());
    FOwner->StateChange(rows, [this] { QItemSelectionModel::clearCurrentIndex(); });
}

void TListSelectionModel::reset()
{
    TCustomListView::TSilent silent(FOwner);
    QItemSelectionModel::reset();
}

// ---------------------------------------------------------------------------------------------
// TListItemDelegate

QWidget *TListItemDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                         const QModelIndex &index) const
{
    TListItem *item = FOwner->ItemAtRow(index.row());
    if (!item || index.column() != 0)
        return nullptr;
    bool allowed = false;
    Guarded([&] { allowed = FOwner->AllowEdit(item); });
    // The handler may have changed the items under the index Qt holds.
    if (!allowed || FOwner->ItemAtRow(index.row()) != item)
        return nullptr;
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    FEditor = editor;
    return editor;
}

void TListItemDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    if (editor == FEditor)
        FEditor = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

void TListItemDelegate::setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const
{
    const auto *line = qobject_cast<const QLineEdit *>(editor);
    if (!line)
        return;
    FOwner->EditDone(index.row(), line->text());
}

void TListItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    const TListItem *item = index.column() == 0 ? FOwner->ItemAtRow(index.row()) : nullptr;
    const QPixmap state = item ? FOwner->StatePicture(item) : QPixmap();
    if (state.isNull()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    if (FOwner->FViewStyle == vsIcon) {
        // On the picture's lower left corner, as the platform's icon view puts it.
        QStyledItemDelegate::paint(painter, option, index);
        const QSize picture = FOwner->PictureSize();
        const int x = option.rect.left() + (option.rect.width() - picture.width()) / 2 - state.width() / 2;
        painter->drawPixmap(std::max(option.rect.left(), x),
                            option.rect.top() + picture.height() - state.height() + 2, state);
        return;
    }
    QStyleOptionViewItem rest(option);
    painter->drawPixmap(option.rect.left() + 1,
                        option.rect.top() + (option.rect.height() - state.height()) / 2, state);
    rest.rect.setLeft(option.rect.left() + state.width() + 2);
    QStyledItemDelegate::paint(painter, rest, index);
}

QSize TListItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // Items of the icon styles all fill their grid cell, so a caption gets the whole width (and
    // two lines under a large icon) whichever item Qt measures for all of them.
    if (FOwner->FViewStyle != vsReport && FOwner->FIconPane->gridSize().isValid()) {
        const QSize grid = FOwner->FIconPane->gridSize();
        return FOwner->FViewStyle == vsIcon ? grid - QSize(6, 6) : grid - QSize(4, 0);
    }
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (index.column() == 0 && FOwner->FStateImages && FOwner->FViewStyle != vsIcon)
        size.rwidth() += FOwner->FStateImages->Width() + 2;
    return size;
}

// ---------------------------------------------------------------------------------------------
// TPane

template <class TView> void TPane<TView>::mousePressEvent(QMouseEvent *event)
{
    TView::mousePressEvent(event);
    const QPoint pos = event->position().toPoint();
    Guarded([&] { FOwner->MouseDown(event->button(), event->modifiers(), pos.x(), pos.y()); });
}

template <class TView> void TPane<TView>::mouseReleaseEvent(QMouseEvent *event)
{
    TView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        Guarded([this] { FOwner->Click(); });
}

template <class TView> void TPane<TView>::mouseDoubleClickEvent(QMouseEvent *event)
{
    TView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        Guarded([this] { FOwner->DblClick(); });
}

template <class TView> void TPane<TView>::keyPressEvent(QKeyEvent *event)
{
    int key = event->key();
    Guarded([&] { FOwner->KeyDown(key, event->modifiers()); });
    if (key == 0) {
        event->accept();
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty()) {
        QChar ch = text.front();
        Guarded([&] { FOwner->KeyPress(ch); });
        if (ch.isNull()) {
            event->accept();
            return;
        }
    }
    TView::keyPressEvent(event);
}

template <class TView> void TPane<TView>::keyReleaseEvent(QKeyEvent *event)
{
    int key = event->key();
    Guarded([&] { FOwner->KeyUp(key, event->modifiers()); });
    if (key == 0) {
        event->accept();
        return;
    }
    TView::keyReleaseEvent(event);
}

template <class TView> void TPane<TView>::contextMenuEvent(QContextMenuEvent *event)
{
    bool handled = false;
    FOwner->ContextMenu(event->globalPos(), handled);
    event->setAccepted(handled);
}

template <class TView> void TPane<TView>::focusInEvent(QFocusEvent *event)
{
    // Qt focuses the first item of a view that gains the focus without one; the platform's list
    // focuses nothing until the user moves, and a data-aware view must not move its record.
    const bool hadCurrent = this->currentIndex().isValid();
    {
        TCustomListView::TSilent silent(FOwner);
        TView::focusInEvent(event);
        if (!hadCurrent && this->currentIndex().isValid() && this->selectionModel())
            this->selectionModel()->clearCurrentIndex();
    }
}

template class TPane<QListView>;
template class TPane<QTreeView>;

// ---------------------------------------------------------------------------------------------
// TIconPane

TIconPane::TIconPane(TCustomListView *owner) : TPane<QListView>(owner)
{
    setMovement(QListView::Static);
    setDragDropMode(QAbstractItemView::DragOnly);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setSelectionRectVisible(true);
    setTextElideMode(Qt::ElideRight);
}

void TIconPane::doItemsLayout()
{
    UpdateGrid();
    QListView::doItemsLayout();
}

void TIconPane::UpdateGrid()
{
    const QSize picture = FOwner->PictureSize();
    const QFontMetrics metrics(font());
    QSize grid;
    if (FOwner->FViewStyle == vsIcon) {
        grid = QSize(std::max(76, picture.width() + 44), picture.height() + 2 * metrics.height() + 14);
    } else {
        // Long names are cut rather than making every column as wide as the longest one; small
        // icons stand in rows, several to a line, so theirs are cut sooner.
        const int maxTextWidth = FOwner->FViewStyle == vsList ? 320 : 120;
        const int state = FOwner->FStateImages ? FOwner->FStateImages->Width() + 2 : 0;
        const int text = std::min(FOwner->MaxCaptionWidth(), maxTextWidth);
        grid = QSize(state + picture.width() + text + 20, std::max(picture.height(), metrics.height()) + 4);
    }
    if (iconSize() != picture)
        setIconSize(picture);
    if (gridSize() != grid)
        setGridSize(grid);
}

// ---------------------------------------------------------------------------------------------
// TReportPane

TReportPane::TReportPane(TCustomListView *owner) : TPane<QTreeView>(owner)
{
    setRootIsDecorated(false);
    setDragDropMode(QAbstractItemView::DragOnly);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}
