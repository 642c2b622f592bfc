#include "ImageLists.h"
#include "ListViewParts.h"

#include <QApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QMenu>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <algorithm>
#include <unordered_set>

namespace {

// What one item sorts by in the sorted column, taken out once per sort so that comparing two
// items reads no variant and no item.
struct TSortEntry
{
    enum class TKind { None, Whole, Real, Text }; // in the order kinds sort in: nothing, numbers, texts
    int Group = 0;
    TKind Kind = TKind::None;
    qint64 WholeValue = 0;
    double RealValue = 0;
    QString TextValue;
    QString FoldedText; // folded once here rather than at every comparison
    int Row = 0;
};

TSortEntry SortEntryOf(const TListItem *item, int column)
{
    TSortEntry entry;
    entry.Group = item->SortGroup();
    entry.Row = item->Index();
    const QVariant key = item->SortKey(column);
    switch (key.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
        entry.Kind = TSortEntry::TKind::Whole;
        entry.WholeValue = key.toLongLong();
        return entry;
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        entry.Kind = TSortEntry::TKind::Real;
        entry.RealValue = key.toDouble();
        return entry;
    case QMetaType::QDateTime:
        entry.Kind = TSortEntry::TKind::Whole;
        entry.WholeValue = key.toDateTime().toMSecsSinceEpoch();
        return entry;
    case QMetaType::QDate:
        entry.Kind = TSortEntry::TKind::Whole;
        entry.WholeValue = key.toDate().toJulianDay();
        return entry;
    default:
        break;
    }
    entry.TextValue = key.isValid() ? key.toString()
                      : column == 0 ? item->Caption()
                                    : item->SubItems().value(column - 1);
    entry.Kind = entry.TextValue.isEmpty() ? TSortEntry::TKind::None : TSortEntry::TKind::Text;
    entry.FoldedText = entry.TextValue.toCaseFolded();
    return entry;
}

int CompareKeys(const TSortEntry &a, const TSortEntry &b)
{
    const auto number = [](const TSortEntry &e) {
        return e.Kind == TSortEntry::TKind::Whole || e.Kind == TSortEntry::TKind::Real;
    };
    if (a.Kind == TSortEntry::TKind::Whole && b.Kind == TSortEntry::TKind::Whole)
        return a.WholeValue < b.WholeValue ? -1 : a.WholeValue > b.WholeValue ? 1 : 0;
    if (number(a) && number(b)) {
        const double x = a.Kind == TSortEntry::TKind::Whole ? double(a.WholeValue) : a.RealValue;
        const double y = b.Kind == TSortEntry::TKind::Whole ? double(b.WholeValue) : b.RealValue;
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if (a.Kind != b.Kind)
        return a.Kind < b.Kind ? -1 : 1;
    if (a.Kind == TSortEntry::TKind::None)
        return 0;
    // Names differing only in letter case stay together, in a fixed order.
    const int folded = QString::compare(a.FoldedText, b.FoldedText, Qt::CaseSensitive);
    return folded != 0 ? folded : QString::compare(a.TextValue, b.TextValue, Qt::CaseSensitive);
}

} // namespace

TCustomListView::TCustomListView(QWidget *parent) : QWidget(parent)
{
    FItems = std::make_unique<TListItems>(this);
    FColumns = std::make_unique<TListColumns>(this);
    FModel = new TListItemsModel(this);
    FSelection = new TListSelectionModel(FModel, this);
    FDelegate = new TListItemDelegate(this);
    FIdleModel = new QStandardItemModel(this);
    FIconPane = new TIconPane(this);
    FReportPane = new TReportPane(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QAbstractItemView *pane :
         {static_cast<QAbstractItemView *>(FIconPane), static_cast<QAbstractItemView *>(FReportPane)}) {
        pane->setItemDelegate(FDelegate);
        pane->setSelectionMode(QAbstractItemView::SingleSelection);
        layout->addWidget(pane);
    }
    setFocusPolicy(Qt::StrongFocus);

    QHeaderView *header = FReportPane->header();
    connect(header, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (section < FColumns->Count())
            FColumns->Item(section)->FWidth = size;
    });
    header->setSectionsClickable(FColumnClick);
    connect(header, &QHeaderView::sectionClicked, this, [this](int section) {
        if (FColumnClick && section < FColumns->Count())
            Guarded([&] { ColClick(FColumns->Item(section)); });
    });
    connect(qApp, &QApplication::focusChanged, this, &TCustomListView::FocusChanged);

    ApplyEditTriggers();
    ConfigurePanes();
}

TCustomListView::~TCustomListView()
{
    // The panes and the models are children that Qt would delete after this part of the object
    // is gone, while their signals still reach it: they go first.
    disconnect(qApp, nullptr, this, nullptr);
    FDestroying = true;
    FItems->Clear();
    delete FIconPane;
    delete FReportPane;
    delete FSelection;
    delete FModel;
}

// ---------------------------------------------------------------------------------------------
// Panes

void TCustomListView::Attach(QAbstractItemView *pane, QAbstractItemModel *model,
                             QItemSelectionModel *selection)
{
    // Qt gives a view a selection model of its own with every model; those are dropped here, so
    // switching styles back and forth leaves nothing behind.
    QItemSelectionModel *before = pane->selectionModel();
    pane->setModel(model);
    QItemSelectionModel *made = pane->selectionModel();
    if (selection) {
        pane->setSelectionModel(selection);
        if (made != FSelection)
            delete made;
    }
    if (before && before != FSelection && before != made)
        delete before;
}

void TCustomListView::ConfigurePanes()
{
    TSilent silent(this);
    const bool report = FViewStyle == vsReport;
    QAbstractItemView *active = report ? static_cast<QAbstractItemView *>(FReportPane) : FIconPane;
    QAbstractItemView *idle = report ? static_cast<QAbstractItemView *>(FIconPane) : FReportPane;
    const bool hadFocus = idle->hasFocus();
    // Only the shown pane has the items, so a hidden one never lays out 100,000 of them.
    if (idle->model() == FModel)
        Attach(idle, FIdleModel, nullptr);
    if (active->model() != FModel)
        Attach(active, FModel, FSelection);

    if (report) {
        FReportPane->setIconSize(PictureSize());
        ApplyColumns();
    } else {
        FIconPane->setViewMode(FViewStyle == vsIcon ? QListView::IconMode : QListView::ListMode);
        FIconPane->setFlow(FViewStyle == vsList ? QListView::TopToBottom : QListView::LeftToRight);
        FIconPane->setWrapping(true);
        FIconPane->setWordWrap(FViewStyle == vsIcon);
        FIconPane->setMovement(QListView::Static);
        FIconPane->UpdateGrid();
    }
    idle->hide();
    active->show();
    setFocusProxy(active);
    if (hadFocus)
        active->setFocus();
    if (const QModelIndex current = FSelection->currentIndex(); current.isValid())
        active->scrollTo(current);
}

void TCustomListView::ApplyColumns()
{
    QHeaderView *header = FReportPane->header();
    header->setVisible(FShowColumnHeaders && FColumns->Count() > 0);
    for (int i = 0; i < FColumns->Count(); ++i)
        if (header->sectionSize(i) != FColumns->Item(i)->Width())
            header->resizeSection(i, FColumns->Item(i)->Width());
}

void TCustomListView::ApplySortIndicator()
{
    QHeaderView *header = FReportPane->header();
    header->setSortIndicatorShown(FSortColumn >= 0);
    if (FSortColumn >= 0)
        header->setSortIndicator(FSortColumn, FSortOrder);
}

void TCustomListView::ApplyEditTriggers()
{
    const QAbstractItemView::EditTriggers triggers =
        FReadOnly ? QAbstractItemView::NoEditTriggers
                  : QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed;
    FIconPane->setEditTriggers(triggers);
    FReportPane->setEditTriggers(triggers);
}

QAbstractItemView *TCustomListView::ActivePane() const
{
    return FViewStyle == vsReport ? static_cast<QAbstractItemView *>(FReportPane) : FIconPane;
}

QWidget *TCustomListView::Viewport() const
{
    return ActivePane()->viewport();
}

// ---------------------------------------------------------------------------------------------
// Properties

void TCustomListView::SetViewStyle(TViewStyle value)
{
    if (value == FViewStyle)
        return;
    CancelEdit();
    FViewStyle = value;
    ConfigurePanes();
}

void TCustomListView::SetMultiSelect(bool value)
{
    if (value == FMultiSelect)
        return;
    FMultiSelect = value;
    const auto mode = value ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    FIconPane->setSelectionMode(mode);
    FReportPane->setSelectionMode(mode);
}

void TCustomListView::SetReadOnly(bool value)
{
    if (value == FReadOnly)
        return;
    FReadOnly = value;
    if (value)
        CancelEdit();
    ApplyEditTriggers();
}

void TCustomListView::SetShowColumnHeaders(bool value)
{
    if (value == FShowColumnHeaders)
        return;
    FShowColumnHeaders = value;
    ApplyColumns();
}

void TCustomListView::SetColumnClick(bool value)
{
    if (value == FColumnClick)
        return;
    FColumnClick = value;
    FReportPane->header()->setSectionsClickable(value);
}

void TCustomListView::SortBy(int column, Qt::SortOrder order)
{
    FSortColumn = std::max(column, -1);
    FSortOrder = order;
    ApplySortIndicator();
    SortItems(0);
    // The focused item may have gone far: the user still sees it.
    if (const QModelIndex current = FSelection->currentIndex(); current.isValid())
        ActivePane()->scrollTo(current);
}

void TCustomListView::SortItems(int from)
{
    if (FSortColumn < 0)
        return;
    TListItems &items = *FItems;
    items.Publish();
    const int count = items.Count();
    from = std::clamp(from, 0, count);
    if (count < 2 || from == count)
        return;
    std::vector<TSortEntry> entries;
    entries.reserve(size_t(count));
    for (const auto &item : items.FItems)
        entries.push_back(SortEntryOf(item.get(), FSortColumn));
    // Groups keep their order both ways; stable, so equal keys keep the order they had.
    const bool ascending = FSortOrder == Qt::AscendingOrder;
    const auto before = [ascending](const TSortEntry &a, const TSortEntry &b) {
        if (a.Group != b.Group)
            return a.Group < b.Group;
        const int order = CompareKeys(a, b);
        return ascending ? order < 0 : order > 0;
    };
    std::stable_sort(entries.begin() + from, entries.end(), before);
    if (from > 0)
        std::inplace_merge(entries.begin(), entries.begin() + from, entries.end(), before);

    std::vector<int> newRows(static_cast<size_t>(count));
    bool moved = false;
    for (int i = 0; i < count; ++i) {
        newRows[size_t(entries[size_t(i)].Row)] = i;
        moved = moved || entries[size_t(i)].Row != i;
    }
    if (!moved)
        return;
    TSilent silent(this);
    FModel->Reorder(newRows, [&] {
        std::vector<std::unique_ptr<TListItem>> sorted(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            sorted[size_t(newRows[size_t(i)])] = std::move(items.FItems[size_t(i)]);
        items.FItems.swap(sorted);
        items.Renumber(0);
    });
}

void TCustomListView::SetLargeImages(TCustomImageList *value)
{
    if (value == FLargeImages)
        return;
    if (FLargeImages)
        disconnect(FLargeImages, nullptr, this, nullptr);
    FLargeImages = value;
    if (value) {
        connect(value, &TCustomImageList::Changed, this, &TCustomListView::ImagesChanged);
        connect(value, &QObject::destroyed, this, &TCustomListView::ImagesChanged);
    }
    ImagesChanged();
}

void TCustomListView::SetSmallImages(TCustomImageList *value)
{
    if (value == FSmallImages)
        return;
    if (FSmallImages)
        disconnect(FSmallImages, nullptr, this, nullptr);
    FSmallImages = value;
    if (value) {
        connect(value, &TCustomImageList::Changed, this, &TCustomListView::ImagesChanged);
        connect(value, &QObject::destroyed, this, &TCustomListView::ImagesChanged);
    }
    ImagesChanged();
}

void TCustomListView::SetStateImages(TCustomImageList *value)
{
    if (value == FStateImages)
        return;
    if (FStateImages)
        disconnect(FStateImages, nullptr, this, nullptr);
    FStateImages = value;
    if (value) {
        connect(value, &TCustomImageList::Changed, this, &TCustomListView::ImagesChanged);
        connect(value, &QObject::destroyed, this, &TCustomListView::ImagesChanged);
    }
    ImagesChanged();
}

void TCustomListView::ImagesChanged()
{
    if (FViewStyle == vsReport)
        FReportPane->setIconSize(PictureSize());
    else
        FIconPane->ScheduleLayout();
    ActivePane()->viewport()->update();
}

QSize TCustomListView::PictureSize() const
{
    if (FViewStyle == vsIcon)
        return FLargeImages ? FLargeImages->Size() : QSize(32, 32);
    return FSmallImages ? FSmallImages->Size() : QSize(16, 16);
}

QPixmap TCustomListView::Picture(const TListItem *item) const
{
    const TCustomImageList *images = FViewStyle == vsIcon ? FLargeImages.data() : FSmallImages.data();
    if (!images)
        return {};
    QPixmap picture = images->Pixmap(item->ImageIndex());
    if (!picture.isNull())
        return picture;
    // An item without a picture keeps its place, so captions stay in line.
    if (FBlankPicture.size() != images->Size()) {
        FBlankPicture = QPixmap(images->Size());
        FBlankPicture.fill(Qt::transparent);
    }
    return FBlankPicture;
}

QPixmap TCustomListView::StatePicture(const TListItem *item) const
{
    return FStateImages ? FStateImages->Pixmap(item->StateIndex()) : QPixmap();
}

void TCustomListView::CaptionChanged(const QString &caption)
{
    if (FMaxCaptionWidth < 0)
        return;
    if (FItems->Updating()) {
        FMaxCaptionWidth = -1;
        return;
    }
    const int width = QFontMetrics(FIconPane->font()).horizontalAdvance(caption);
    if (width > FMaxCaptionWidth) {
        FMaxCaptionWidth = width;
        Arrange();
    }
}

int TCustomListView::MaxCaptionWidth()
{
    if (FMaxCaptionWidth < 0) {
        const QFontMetrics metrics(FIconPane->font());
        FMaxCaptionWidth = 0;
        for (const auto &item : FItems->FItems)
            FMaxCaptionWidth = std::max(FMaxCaptionWidth, metrics.horizontalAdvance(item->Caption()));
    }
    return FMaxCaptionWidth;
}

// ---------------------------------------------------------------------------------------------
// Items, focus and selection

TListItem *TCustomListView::ItemAtRow(int row) const
{
    return row >= 0 && row < FItems->Count() ? FItems->FItems[size_t(row)].get() : nullptr;
}

QModelIndex TCustomListView::IndexOf(const TListItem *item) const
{
    return FModel->index(item->Index(), 0);
}

TListItem *TCustomListView::ItemFocused() const
{
    const QModelIndex current = FSelection->currentIndex();
    return current.isValid() ? ItemAtRow(current.row()) : nullptr;
}

void TCustomListView::SetItemFocused(TListItem *value)
{
    if (value)
        value->SetFocused(true);
    else if (TListItem *focused = ItemFocused())
        focused->SetFocused(false);
}

TListItem *TCustomListView::Selected() const
{
    int first = -1;
    for (const QItemSelectionRange &range : FSelection->selection())
        if (range.isValid() && (first < 0 || range.top() < first))
            first = range.top();
    return ItemAtRow(first);
}

void TCustomListView::SetSelected(TListItem *value)
{
    TApiCall call(this);
    if (value)
        value->SetSelected(true);
    else
        FSelection->clearSelection();
}

int TCustomListView::SelCount() const
{
    return int(FSelection->selectedRows(0).size());
}

TListItem *TCustomListView::GetItemAt(int x, int y) const
{
    const QModelIndex index = ActivePane()->indexAt(QPoint(x, y));
    return index.isValid() ? ItemAtRow(index.row()) : nullptr;
}

void TCustomListView::Arrange()
{
    if (FViewStyle != vsReport && !FItems->Updating())
        FIconPane->ScheduleLayout();
}

bool TCustomListView::IsEditing() const
{
    return FDelegate->Editor() != nullptr;
}

void TCustomListView::CancelEdit()
{
    QWidget *editor = FDelegate->Editor();
    if (!editor)
        return;
    if (FIconPane->isAncestorOf(editor))
        FIconPane->CancelEditor(editor);
    else
        FReportPane->CancelEditor(editor);
}

void TCustomListView::RunHook(const std::function<void()> &fn)
{
    if (FApiDepth > 0)
        fn();
    else
        Guarded(fn);
}

bool TCustomListView::ForEachLive(std::vector<TListItem *> &items, const std::function<bool(TListItem *)> &fn)
{
    quint64 deletions = FDeletions;
    for (size_t i = 0; i < items.size(); ++i) {
        if (deletions != FDeletions) {
            // A handler deleted items: those still to be told about may be among them.
            std::unordered_set<const TListItem *> live;
            live.reserve(FItems->FItems.size());
            for (const auto &item : FItems->FItems)
                live.insert(item.get());
            for (size_t j = i; j < items.size(); ++j)
                if (!live.count(items[j]))
                    items[j] = nullptr;
            deletions = FDeletions;
        }
        if (items[i] && !fn(items[i]))
            return false;
    }
    return true;
}

void TCustomListView::StateChange(const std::vector<int> &rows, const std::function<void()> &apply)
{
    // Qt's own calls back into the selection model, inside a change already asked about.
    if (FSilent > 0 || FStateDepth > 0) {
        apply();
        return;
    }
    RunHook([&] {
        std::vector<int> unique(rows);
        std::sort(unique.begin(), unique.end());
        unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
        std::vector<TListItem *> asked;
        for (int row : unique)
            if (TListItem *item = ItemAtRow(row))
                asked.push_back(item);
        if (!ForEachLive(asked, [this](TListItem *item) { return CanChange(item, ctState); }))
            return;
        {
            ++FStateDepth;
            struct TLeave
            {
                int &Depth;
                ~TLeave() { --Depth; }
            } leave{FStateDepth};
            apply();
        }
        FireStateChanges();
    });
}

void TCustomListView::NoteStateChanged(int row)
{
    if (FSilent > 0)
        return;
    FChangedRows.push_back(row);
    if (FStateDepth == 0)
        RunHook([this] { FireStateChanges(); });
}

void TCustomListView::FireStateChanges()
{
    std::vector<int> rows;
    rows.swap(FChangedRows);
    std::unordered_set<int> seen;
    std::vector<TListItem *> items;
    for (int row : rows)
        if (seen.insert(row).second)
            if (TListItem *item = ItemAtRow(row))
                items.push_back(item);
    ForEachLive(items, [this](TListItem *item) {
        Change(item, ctState);
        return true;
    });
}

void TCustomListView::ItemChanged(TListItem *item, TItemChange change)
{
    if (item->FIndex >= 0 && FItems->IsPublished(item)) {
        if (FItems->Updating())
            FItems->FChangedDuringUpdate = true;
        else
            FModel->RowsChanged(item->FIndex, item->FIndex);
    }
    Change(item, change);
}

void TCustomListView::ItemDeleting(TListItem *item)
{
    // A descendant's part is gone by now, and so may be whatever a handler would touch.
    if (!FDestroying)
        Delete(item);
}

bool TCustomListView::AllowEdit(TListItem *item)
{
    return CanEdit(item);
}

void TCustomListView::EditDone(int row, const QString &text)
{
    TListItem *item = ItemAtRow(row);
    if (!item)
        return;
    Guarded([&] {
        QString s = text;
        Edited(item, s);
    });
}

void TCustomListView::ContextMenu(const QPoint &globalPos, bool &handled)
{
    if (FPopupMenu) {
        FPopupMenu->popup(globalPos);
        handled = true;
    }
}

void TCustomListView::FocusChanged(QWidget *, QWidget *now)
{
    // Leaving the window altogether is no focus change between controls.
    if (!now)
        return;
    const bool inside = now == this || isAncestorOf(now);
    if (inside == FFocusWithin)
        return;
    FFocusWithin = inside;
    Guarded([&] { inside ? DoEnter() : DoExit(); });
}

// ---------------------------------------------------------------------------------------------
// Hooks

TListItem *TCustomListView::CreateListItem()
{
    return new TListItem(FItems.get());
}

bool TCustomListView::CanChange(TListItem *item, TItemChange change)
{
    bool allow = true;
    OnChanging(this, item, change, allow);
    return allow;
}

void TCustomListView::Change(TListItem *item, TItemChange change)
{
    OnChange(this, item, change);
}

bool TCustomListView::CanEdit(TListItem *item)
{
    bool allow = true;
    OnEditing(this, item, allow);
    return allow;
}

void TCustomListView::Edited(TListItem *item, QString &s)
{
    OnEdited(this, item, s);
    item->SetCaption(s);
}

void TCustomListView::Click()
{
    OnClick(this);
}

void TCustomListView::DblClick()
{
    OnDblClick(this);
}

void TCustomListView::DoEnter()
{
    OnEnter(this);
}

void TCustomListView::DoExit()
{
    OnExit(this);
}

void TCustomListView::KeyDown(int &key, Qt::KeyboardModifiers shift)
{
    OnKeyDown(this, key, shift);
}

void TCustomListView::KeyUp(int &key, Qt::KeyboardModifiers shift)
{
    OnKeyUp(this, key, shift);
}

void TCustomListView::KeyPress(QChar &key)
{
    OnKeyPress(this, key);
}

void TCustomListView::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)
{
    OnMouseDown(this, button, shift, x, y);
}

void TCustomListView::InsertItem(TListItem *item)
{
    OnInsert(this, item);
}

void TCustomListView::Delete(TListItem *item)
{
    OnDeletion(this, item);
}

void TCustomListView::ColClick(TListColumn *column)
{
    OnColumnClick(this, column);
    if (!FSortOnColumnClick)
        return;
    const int index = column->Index();
    SortBy(index, index == FSortColumn && FSortOrder == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                           : Qt::AscendingOrder);
}
