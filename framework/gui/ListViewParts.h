#pragma once

// The Qt pieces behind TCustomListView: the model over its items, the shared selection model that
// asks the view before focus or selection change, the delegate that draws state pictures and
// opens the caption editor, and the two views. Only ListViews*.cpp include this.

#include "ErrorHandlers.h"
#include "ListViews.h"

#include <QAbstractTableModel>
#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTreeView>

class TListItemsModel final : public QAbstractTableModel
{
public:
    explicit TListItemsModel(TCustomListView *owner) : QAbstractTableModel(owner), FOwner(owner) {}

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction | Qt::LinkAction; }

    // What TListItems and TListColumns tell the views.
    void BeginInsert(int first, int last) { beginInsertRows(QModelIndex(), first, last); }
    void EndInsert() { endInsertRows(); }
    void BeginRemove(int first, int last) { beginRemoveRows(QModelIndex(), first, last); }
    void EndRemove() { endRemoveRows(); }
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
    void RowsChanged(int first, int last);
    void BeginInsertColumn(int column) { beginInsertColumns(QModelIndex(), column, column); }
    void EndInsertColumn() { endInsertColumns(); }
    void BeginRemoveColumn(int column) { beginRemoveColumns(QModelIndex(), column, column); }
    void EndRemoveColumn() { endRemoveColumns(); }
    void HeaderChanged(int column) { emit headerDataChanged(Qt::Horizontal, column, column); }
    // Moves the rows as `apply` moves the items: the row at old index i goes to newRows[i]. The
    // selection and the current item follow their items.
    void Reorder(const std::vector<int> &newRows, const std::function<void()> &apply);

private:
    TCustomListView *FOwner;
};

// Every change of focus or selection, by a click, a key or our own code, passes here, so the view
// can refuse it beforehand and report it afterwards.
class TListSelectionModel final : public QItemSelectionModel
{
public:
    TListSelectionModel(QAbstractItemModel *model, TCustomListView *owner);

    using QItemSelectionModel::select; // the index form comes back through the selection form
    void setCurrentIndex(const QModelIndex &index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QItemSelection &selection, QItemSelectionModel::SelectionFlags command) override;
    void clearCurrentIndex() override;
    void reset() override;

private:
    // The rows whose selection the command would change.
    void AffectedRows(const QItemSelection &selection, QItemSelectionModel::SelectionFlags command,
                      std::vector<int> &rows) const;

    TCustomListView *FOwner;
};

class TListItemDelegate final : public QStyledItemDelegate
{
public:
    explicit TListItemDelegate(TCustomListView *owner) : QStyledItemDelegate(owner), FOwner(owner) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    QWidget *Editor() const { return FEditor; }

private:
    TCustomListView *FOwner;
    mutable QPointer<QWidget> FEditor;
};

// What both views do alike: events become the list view's hooks, and an exception raised by a
// hook is shown rather than let into Qt.
template <class TView> class TPane : public TView
{
public:
    explicit TPane(TCustomListView *owner) : TView(owner), FOwner(owner) {}

    void CancelEditor(QWidget *editor) { this->closeEditor(editor, QAbstractItemDelegate::RevertModelCache); }
    void ScheduleLayout() { this->scheduleDelayedItemsLayout(); }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

    TCustomListView *FOwner;
};

class TIconPane final : public TPane<QListView>
{
public:
    explicit TIconPane(TCustomListView *owner);
    // Lays the items out on a grid wide enough for the longest caption in the list styles.
    void doItemsLayout() override;
    void UpdateGrid();
};

class TReportPane final : public TPane<QTreeView>
{
public:
    explicit TReportPane(TCustomListView *owner);
};
