#pragma once

#include "Events.h"
#include "ImageLists.h"
#include "SysUtils.h"

#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QVariant>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QAbstractItemModel;
class QAbstractItemView;
class QItemSelectionModel;
class QMimeData;
class TCustomListView;
class TListItems;
class TListItemsModel;
class TListSelectionModel;
class TListItemDelegate;
class TIconPane;
class TReportPane;
template <class TView> class TPane;

// Misuse of the list control or its items (an index out of range, an item that cannot be added).
class EListError : public Exception
{
public:
    using Exception::Exception;
};

// vsIcon: large pictures with the caption below, in rows; vsSmallIcon: small pictures with the
// caption beside, in rows; vsList: the same in columns; vsReport: one line per item with columns.
enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

// What changed about an item: its caption (or sub-items), its picture, or its state (focus,
// selection, state picture).
enum TItemChange { ctText, ctImage, ctState };

// One entry of a list view. Items live in their view's collection and are made by the view's
// CreateListItem, so a descendant view gets its own item class.
class TListItem
{
public:
    explicit TListItem(TListItems *owner);
    virtual ~TListItem();
    TListItem(const TListItem &) = delete;
    TListItem &operator=(const TListItem &) = delete;

    TListItems *Owner() const { return FOwner; }
    TCustomListView *ListView() const;
    // Position in the collection.
    int Index() const { return FIndex; }

    const QString &Caption() const { return FCaption; }
    void SetCaption(const QString &value);
    // Index into the view's image list; -1 shows none.
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value);
    // Index into the view's state image list, drawn before the picture; -1 shows none.
    int StateIndex() const { return FStateIndex; }
    void SetStateIndex(int value);
    // The texts of the report columns after the first.
    const QStringList &SubItems() const { return FSubItems; }
    void SetSubItems(const QStringList &value);
    void SetSubItem(int index, const QString &value);
    QVariant Data() const { return FData; }
    void SetData(const QVariant &value) { FData = value; }

    // In a sorted view an item of a lower group comes first whichever the order, as folders stay
    // before files. Within a group a column sorts by the item's key for it (a number, a date, a
    // text) or, without one, by the text it shows.
    int SortGroup() const { return FSortGroup; }
    void SetSortGroup(int value) { FSortGroup = value; }
    QVariant SortKey(int column) const;
    void SetSortKey(int column, const QVariant &value);
    // The keys of the columns from the first one on.
    void SetSortKeys(const QVariantList &keys) { FSortKeys = keys; }

    bool Focused() const;
    void SetFocused(bool value);
    bool Selected() const;
    void SetSelected(bool value);

    // Scrolls the item into view; with partialOK an item already partly visible stays put.
    void MakeVisible(bool partialOK);
    // The item's rectangle in the client area of its view (empty when it is not laid out).
    QRect DisplayRect() const;
    // Opens the in-place caption editor on the item.
    void EditCaption();
    void Delete();

private:
    friend class TListItems;
    friend class TCustomListView;
    void Change(TItemChange change, const std::function<void()> &apply);

    TListItems *FOwner;
    int FIndex = -1;
    QString FCaption;
    int FImageIndex = -1;
    int FStateIndex = -1;
    QStringList FSubItems;
    QVariant FData;
    int FSortGroup = 0;
    QVariantList FSortKeys;
};

// The items of a list view, in order. Many additions between BeginUpdate and EndUpdate reach the
// views as one insertion, which keeps a list of 100,000 items quick to fill.
class TListItems
{
public:
    explicit TListItems(TCustomListView *owner);
    ~TListItems();
    TListItems(const TListItems &) = delete;
    TListItems &operator=(const TListItems &) = delete;

    TCustomListView *Owner() const { return FOwner; }
    int Count() const { return int(FItems.size()); }
    // EListError for an index out of range.
    TListItem *Item(int index) const;
    TListItem *operator[](int index) const { return Item(index); }

    TListItem *Add();
    TListItem *Insert(int index);
    void Delete(int index);
    void Clear();

    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return FUpdateCount > 0; }

private:
    friend class TListItem;
    friend class TCustomListView;
    friend class TListItemsModel;
    TListItem *InsertItem(int index);
    void Renumber(int from);
    // Makes the views know of every item added during an update.
    void Publish();
    bool IsPublished(const TListItem *item) const { return item->FIndex < FPublished; }

    TCustomListView *FOwner;
    std::vector<std::unique_ptr<TListItem>> FItems;
    int FPublished = 0; // items the views know of; those after it were added during an update
    int FUpdateCount = 0;
    bool FChangedDuringUpdate = false;
};

class TListColumn
{
public:
    const QString &Caption() const { return FCaption; }
    void SetCaption(const QString &value);
    int Width() const { return FWidth; }
    void SetWidth(int value);
    int Index() const;

private:
    friend class TListColumns;
    friend class TCustomListView;
    explicit TListColumn(TCustomListView *owner) : FOwner(owner) {}

    TCustomListView *FOwner;
    QString FCaption;
    int FWidth = 50;
};

// The columns of the report style: the first shows the captions, the others the sub-items.
class TListColumns
{
public:
    explicit TListColumns(TCustomListView *owner) : FOwner(owner) {}
    int Count() const { return int(FColumns.size()); }
    TListColumn *Item(int index) const;
    TListColumn *operator[](int index) const { return Item(index); }
    TListColumn *Add(const QString &caption = QString(), int width = 50);
    void Delete(int index);
    void Clear();

private:
    friend class TListColumn;
    TCustomListView *FOwner;
    std::vector<std::unique_ptr<TListColumn>> FColumns;
};

// The framework's list control: one collection of items shown in four view styles. The items live
// in one model; a list view shows them as icons, small icons or a list, a tree view as a report,
// and both share one selection model, so switching the style keeps items, focus and selection.
// The hooks below are what descendants override; each fires the matching On... event.
class TCustomListView : public QWidget
{
    Q_OBJECT

public:
    explicit TCustomListView(QWidget *parent = nullptr);
    ~TCustomListView() override;

    TListItems *Items() const { return FItems.get(); }
    TListColumns *Columns() const { return FColumns.get(); }

    TViewStyle ViewStyle() const { return FViewStyle; }
    void SetViewStyle(TViewStyle value);
    bool MultiSelect() const { return FMultiSelect; }
    void SetMultiSelect(bool value);
    // Captions cannot be edited in place.
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    bool ShowColumnHeaders() const { return FShowColumnHeaders; }
    void SetShowColumnHeaders(bool value);
    // Clicking a column header fires OnColumnClick.
    bool ColumnClick() const { return FColumnClick; }
    void SetColumnClick(bool value);
    // Clicking a column header also sorts the items by that column, a second click on the same
    // header the other way round; the header shows the column and the direction.
    bool SortOnColumnClick() const { return FSortOnColumnClick; }
    void SetSortOnColumnClick(bool value) { FSortOnColumnClick = value; }
    // The column the items are sorted by; -1 while they stay in the order they were added in.
    int SortColumn() const { return FSortColumn; }
    Qt::SortOrder SortOrder() const { return FSortOrder; }
    // Sorts the items; a column of -1 stops sorting and leaves the items where they are. Focus,
    // selection and the focused item's place in view stay.
    void SortBy(int column, Qt::SortOrder order);
    // Sorts again by the current column, after items were added or changed. Items from index
    // `from` on are taken as added since the items before them were sorted: they are sorted
    // among themselves and merged in, which costs a look at each item rather than a full sort.
    void SortItems(int from = 0);

    // Image lists are not owned: they may go before the view, which then shows no pictures.
    TCustomImageList *LargeImages() const { return FLargeImages; }
    void SetLargeImages(TCustomImageList *value);
    TCustomImageList *SmallImages() const { return FSmallImages; }
    void SetSmallImages(TCustomImageList *value);
    TCustomImageList *StateImages() const { return FStateImages; }
    void SetStateImages(TCustomImageList *value);

    // The menu shown on a right click; not owned.
    virtual QMenu *PopupMenu() const { return FPopupMenu; }
    virtual void SetPopupMenu(QMenu *value) { FPopupMenu = value; }

    TListItem *ItemFocused() const;
    void SetItemFocused(TListItem *value);
    // The first selected item; setting one selects it (the only one unless MultiSelect), setting
    // none clears the selection.
    TListItem *Selected() const;
    void SetSelected(TListItem *value);
    int SelCount() const;
    // The item at a point of the client area (the coordinates of OnMouseDown), or none.
    TListItem *GetItemAt(int x, int y) const;
    // Lays the items out again in the icon styles.
    void Arrange();

    bool IsEditing() const;
    void CancelEdit();

    // The Qt view showing the items in the current style, and its client area.
    QAbstractItemView *ActivePane() const;
    QWidget *Viewport() const;

    // (Sender, Item, Change, AllowChange): AllowChange starts true; false refuses the change.
    TEvent<TCustomListView *, TListItem *, TItemChange, bool &> OnChanging;
    TEvent<TCustomListView *, TListItem *, TItemChange> OnChange;
    // (Sender, Item, AllowEdit): AllowEdit starts true; false keeps the editor closed.
    TEvent<TCustomListView *, TListItem *, bool &> OnEditing;
    // (Sender, Item, S): S is the accepted text, which the handler may change.
    TEvent<TCustomListView *, TListItem *, QString &> OnEdited;
    TEvent<TCustomListView *> OnClick;
    TEvent<TCustomListView *> OnDblClick;
    TEvent<TCustomListView *> OnEnter;
    TEvent<TCustomListView *> OnExit;
    // (Sender, Key, Shift): a Qt key code; setting it to 0 swallows the key.
    TEvent<TCustomListView *, int &, Qt::KeyboardModifiers> OnKeyDown;
    TEvent<TCustomListView *, int &, Qt::KeyboardModifiers> OnKeyUp;
    // (Sender, Key): the typed character; setting it to null swallows it.
    TEvent<TCustomListView *, QChar &> OnKeyPress;
    // (Sender, Button, Shift, X, Y) in client coordinates.
    TEvent<TCustomListView *, Qt::MouseButton, Qt::KeyboardModifiers, int, int> OnMouseDown;
    TEvent<TCustomListView *, TListItem *> OnInsert;
    TEvent<TCustomListView *, TListItem *> OnDeletion;
    TEvent<TCustomListView *, TListColumn *> OnColumnClick;
    // (Sender, Item, Data): what dragging the item out of the view carries. The handler sets Data,
    // which the drag then owns, or leaves it null and nothing is dragged. Unset, items are not
    // dragged at all and a press and move selects a range as before.
    TEvent<TCustomListView *, TListItem *, QMimeData *&> OnStartDrag;

protected:
    virtual TListItem *CreateListItem();
    virtual bool CanChange(TListItem *item, TItemChange change);
    virtual void Change(TListItem *item, TItemChange change);
    virtual bool CanEdit(TListItem *item);
    // The inherited handling: OnEdited, then the caption becomes S.
    virtual void Edited(TListItem *item, QString &s);
    virtual void Click();
    virtual void DblClick();
    virtual void DoEnter();
    virtual void DoExit();
    virtual void KeyDown(int &key, Qt::KeyboardModifiers shift);
    virtual void KeyUp(int &key, Qt::KeyboardModifiers shift);
    virtual void KeyPress(QChar &key);
    virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    virtual void InsertItem(TListItem *item);
    // Called while the item is still in the collection, just before it goes.
    virtual void Delete(TListItem *item);
    virtual void ColClick(TListColumn *column);

    // Runs fn; when Qt called us (an event, a click, an editor) an exception is shown instead of
    // crossing Qt's frames, when our own code called us it goes on to that caller.
    void RunHook(const std::function<void()> &fn);

private:
    friend class TListItem;
    friend class TListItems;
    friend class TListColumn;
    friend class TListColumns;
    friend class TListItemsModel;
    friend class TListSelectionModel;
    friend class TListItemDelegate;
    friend class TIconPane;
    friend class TReportPane;
    template <class TView> friend class TPane;

    // An operation started by our own code rather than by Qt: exceptions go to the caller.
    struct TApiCall
    {
        explicit TApiCall(const TCustomListView *view) : View(const_cast<TCustomListView *>(view))
        {
            ++View->FApiDepth;
        }
        ~TApiCall() { --View->FApiDepth; }
        TCustomListView *View;
    };
    // Structural work (removal, reset, a new pane) during which focus and selection change
    // without any hook.
    struct TSilent
    {
        explicit TSilent(TCustomListView *view) : View(view) { ++View->FSilent; }
        ~TSilent() { --View->FSilent; }
        TCustomListView *View;
    };

    void ConfigurePanes();
    void Attach(QAbstractItemView *pane, QAbstractItemModel *model, QItemSelectionModel *selection);
    void ApplyColumns();
    void ApplySortIndicator();
    bool ForEachLive(std::vector<TListItem *> &items, const std::function<bool(TListItem *)> &fn);
    void ApplyEditTriggers();
    void ImagesChanged();
    void FocusChanged(QWidget *old, QWidget *now);
    TListItem *ItemAtRow(int row) const;
    int RowOf(const TListItem *item) const;
    // Focus or selection: asks about the items in rows, applies the change, then reports every
    // item whose state changed.
    void StateChange(const std::vector<int> &rows, const std::function<void()> &apply);
    void NoteStateChanged(int row);
    void FireStateChanges();
    void ItemChanged(TListItem *item, TItemChange change);
    void ItemDeleting(TListItem *item);
    bool AllowEdit(TListItem *item);
    void EditDone(int row, const QString &text);
    void ContextMenu(const QPoint &globalPos, bool &handled);
    QPixmap Picture(const TListItem *item) const;
    QPixmap StatePicture(const TListItem *item) const;
    QSize PictureSize() const;
    void CaptionChanged(const QString &caption);
    int MaxCaptionWidth();
    QModelIndex IndexOf(const TListItem *item) const;

    std::unique_ptr<TListItems> FItems;
    std::unique_ptr<TListColumns> FColumns;
    TListItemsModel *FModel = nullptr;
    TListSelectionModel *FSelection = nullptr;
    TListItemDelegate *FDelegate = nullptr;
    TIconPane *FIconPane = nullptr;
    TReportPane *FReportPane = nullptr;
    QAbstractItemModel *FIdleModel = nullptr; // what the hidden pane shows: nothing

    TViewStyle FViewStyle = vsIcon;
    bool FMultiSelect = false;
    bool FReadOnly = false;
    bool FShowColumnHeaders = true;
    bool FColumnClick = true;
    bool FSortOnColumnClick = false;
    int FSortColumn = -1;
    Qt::SortOrder FSortOrder = Qt::AscendingOrder;
    QPointer<TCustomImageList> FLargeImages;
    QPointer<TCustomImageList> FSmallImages;
    QPointer<TCustomImageList> FStateImages;
    QPointer<QMenu> FPopupMenu;

    int FApiDepth = 0;
    int FSilent = 0;
    int FStateDepth = 0;
    std::vector<int> FChangedRows;
    quint64 FDeletions = 0;
    bool FFocusWithin = false;
    bool FDestroying = false;
    int FMaxCaptionWidth = -1; // -1: to be measured again
    mutable QPixmap FBlankPicture;
};

// The list control as forms use it.
class TListView : public TCustomListView
{
    Q_OBJECT

public:
    using TCustomListView::TCustomListView;
};
