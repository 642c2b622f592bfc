#include "DataBaseListView.h"

#include "Arrays.h"
#include "ErrorHandlers.h"
#include "PrivateMessages.h"

#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QTimer>
#include <cstring>

namespace {

size_t mix(size_t seed, size_t value)
{
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

// A hash that agrees with KeysEqual: equal keys hash alike. False for a key that KeysEqual
// could refuse to compare (unassigned or byte values), which must be found by walking the list.
bool hashKey(const TVariant &key, size_t &hash)
{
    hash = mix(hash, size_t(key.VarType()));
    switch (key.VarType()) {
    case TVarType::Null:
        return true;
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
        hash = mix(hash, size_t(key.AsInt64()));
        return true;
    case TVarType::Double:
    case TVarType::Date: {
        double value = key.AsDouble();
        if (value == 0)
            value = 0; // -0.0 equals 0.0
        quint64 bits;
        std::memcpy(&bits, &value, sizeof bits);
        hash = mix(hash, size_t(bits));
        return true;
    }
    case TVarType::Currency:
        hash = mix(hash, size_t(key.AsCurrency().Scaled));
        return true;
    case TVarType::Boolean:
        hash = mix(hash, key.AsBoolean() ? 1 : 0);
        return true;
    case TVarType::String:
        hash = mix(hash, size_t(qHash(key.AsString())));
        return true;
    case TVarType::Array:
        hash = mix(hash, size_t(key.Count()));
        for (const TVariant &element : key.Elements())
            if (!hashKey(element, hash))
                return false;
        return true;
    default:
        return false;
    }
}

} // namespace

QVariant TDBCustomListView::SortKeyOf(const TField *field)
{
    // Numbers and dates sort by value; texts by what the column shows.
    if (field->IsNull())
        return {};
    switch (field->DataType()) {
    case TFieldType::Smallint:
    case TFieldType::Integer:
    case TFieldType::AutoInc:
    case TFieldType::Largeint:
        return QVariant(field->AsLargeInt());
    case TFieldType::Boolean:
        return QVariant(field->AsBoolean());
    case TFieldType::Float:
    case TFieldType::Currency:
        return QVariant(field->AsFloat());
    case TFieldType::DateTime:
        return QVariant(field->AsDateTime().Value);
    default:
        return {};
    }
}

// ---------------------------------------------------------------------------------------------
// TDBListItem

TDBCustomListView *TDBListItem::View() const
{
    return static_cast<TDBCustomListView *>(ListView());
}

void TDBListItem::SetKey(const TVariant &value)
{
    FBookmark = TBookmark();
    // Setting up an item gives it the key it was made with: the index has it already.
    if (FIndexed != TIndexed::No && value == FKey)
        return;
    TDBCustomListView *view = View();
    view->UnindexKey(this);
    FKey = value;
    view->IndexKey(this);
}

bool TDBListItem::BookmarkValid(TDataSet *dataSet) const
{
    return !FBookmark.IsEmpty() && dataSet->BookmarkValid(FBookmark);
}

bool TDBListItem::KeyEquals(const TVariant &key) const
{
    return KeysEqual(FKey, key);
}

bool TDBListItem::GotoRecord(TDataSet *dataSet, const TVariant &currentKey)
{
    const bool equal = KeyEquals(currentKey);
    const bool valid = BookmarkValid(dataSet);
    if (equal && !valid)
        SetBookmark(dataSet->GetBookmark());
    if (!equal && valid) {
        try {
            dataSet->GotoBookmark(FBookmark);
        } catch (...) {
            // The item stays; the record it stood for may come back with the next reload.
        }
    }
    return equal || valid;
}

// ---------------------------------------------------------------------------------------------
// TDBListDataLink

void TDBListDataLink::ActiveChanged()
{
    if (FListView)
        FListView->BindingChanged();
    TDataLink::ActiveChanged();
}

void TDBListDataLink::CheckBrowseMode()
{
    if (FListView)
        FListView->HookDataSet(DataSet());
    TDataLink::CheckBrowseMode();
}

void TDBListDataLink::DataSetChanged()
{
    if (FListView)
        FListView->CurrentRecordChanged();
    TDataLink::DataSetChanged();
}

void TDBListDataLink::EditingChanged()
{
    if (FListView)
        FListView->EditingStateChanged();
    TDataLink::EditingChanged();
}

void TDBListDataLink::RecordChanged(TField *field)
{
    if (FListView)
        FListView->RecordFieldChanged(field);
    TDataLink::RecordChanged(field);
}

void TDBListDataLink::UpdateData()
{
    if (FListView)
        FListView->UpdateRecordData();
    TDataLink::UpdateData();
}

// ---------------------------------------------------------------------------------------------
// TDBCustomListView: properties

TDBCustomListView::TDBCustomListView(QWidget *parent)
    : TCustomListView(parent), FDataLink(std::make_unique<TDBListDataLink>(this))
{}

TDBCustomListView::~TDBCustomListView()
{
    // A load cut short by the end of the view tells nobody: whoever listens may be going too.
    FLoading = false;
    ClearItems();
    // The data set outlives us: it must not keep calling hooks into a view that is gone.
    UnhookDataSet(DataSet());
    FDataLink.reset();
}

int TDBCustomListView::DefStatus() const
{
    if (!StateImages() || FDefStatus < 0)
        return 0;
    return FDefStatus < StateImages()->Count() ? FDefStatus : 0;
}

int TDBCustomListView::DefImage() const
{
    if (!LargeImages() || FDefImage < 0)
        return 0;
    return FDefImage < LargeImages()->Count() ? FDefImage : 0;
}

int TDBCustomListView::KeyFieldsCount() const
{
    return FLastKey.IsArray() ? int(FLastKey.Count()) : 0;
}

void TDBCustomListView::SetDataSource(TDataSource *value)
{
    if (value == DataSource())
        return;
    ClearItems();
    UnbindFields();
    FDataLink->SetDataSource(value);
}

void TDBCustomListView::SetStatusIDField(const QString &value)
{
    if (value == FStatusIDField)
        return;
    FStatusIDField = value;
    BindingChanged();
}

void TDBCustomListView::SetImageIDField(const QString &value)
{
    if (value == FImageIDField)
        return;
    FImageIDField = value;
    BindingChanged();
}

void TDBCustomListView::SetNameField(const QString &value)
{
    if (value == FNameField)
        return;
    FNameField = value;
    BindingChanged();
}

void TDBCustomListView::SetKeyFields(const QString &value)
{
    if (value == FKeyFields)
        return;
    FKeyFields = value;
    BindingChanged();
}

void TDBCustomListView::SetColumnsFields(const QString &value)
{
    if (value == FColumnsFields)
        return;
    FColumnsFields = value;
    BindingChanged();
}

void TDBCustomListView::SetPopupMenu(QMenu *value)
{
    FStoredPopupMenu = value;
    TCustomListView::SetPopupMenu(value);
}

void TDBCustomListView::ReopenDataSet()
{
    if (!FDataLink->Active())
        return;
    DataSet()->Close();
    DataSet()->Open();
}

// ---------------------------------------------------------------------------------------------
// Binding

TVariant TDBCustomListView::GetCurrentKey() const
{
    // The trailing ";" makes even a single field give an array, so every key has one form.
    return DataSet()->FieldValues(FCurrentKeyNames);
}

void TDBCustomListView::SplitFieldNames(QString text, QStringList &list) const
{
    list.clear();
    const TDataSet *dataSet = DataSet();
    while (!text.isEmpty()) {
        if (!dataSet)
            throw EListError(tr("Cannot split a line '%1' into a list").arg(text));
        const qsizetype separator = text.indexOf(u';');
        const QString name = separator < 0 ? text : text.left(separator);
        text.remove(0, separator < 0 ? text.size() : separator + 1);
        if (dataSet->FindField(name))
            list.append(name);
    }
}

bool TDBCustomListView::BindFields()
{
    TLock lock(this);
    bool bound = false;
    TDataSet *dataSet = DataSet();
    if (FDataLink->Active()) {
        try {
            FImageFieldObj = dataSet->FindField(FImageIDField);
            FStatusFieldObj = dataSet->FindField(FStatusIDField);
            FNameFieldObj = dataSet->FieldByName(FNameField);
            SplitFieldNames(FKeyFields, FKeyFieldList);
            SplitFieldNames(FColumnsFields, FColumnFieldList);
        } catch (...) {
            // No field of a former binding may survive: it may be gone with its data set. The
            // names of the key and column fields stay as they were.
            UnbindFields();
            throw;
        }
        FColumnsFields = FColumnFieldList.join(u';');
        FCurrentKeyNames = FKeyFieldList.join(u';') + u';';
        bound = true;
    } else {
        UnbindFields();
    }
    if (FDataLink->Active())
        HookDataSet(dataSet);
    else
        UnhookDataSet(dataSet);
    return bound;
}

void TDBCustomListView::UnbindFields()
{
    FStatusFieldObj = nullptr;
    FImageFieldObj = nullptr;
    FNameFieldObj = nullptr;
}

void TDBCustomListView::BindingChanged()
{
    if (FLockCount > 0)
        return;
    TLock lock(this);
    if (!BindFields() || DataSet()->Loading())
        ClearItems();
    else
        PostReload();
}

// ---------------------------------------------------------------------------------------------
// Loading

void TDBCustomListView::PostReload()
{
    // Any number of requests before the message arrives make one reload.
    if (FReloadPosted)
        return;
    PostPrivateMessage(this, DBListViewReload);
    FReloadPosted = true;
}

void TDBCustomListView::customEvent(QEvent *event)
{
    if (event->type() != TPrivateMessage::Type() ||
        static_cast<TPrivateMessage *>(event)->Msg != DBListViewReload) {
        TCustomListView::customEvent(event);
        return;
    }
    Guarded([this] {
        // A reload that fails must not keep every later one from being posted.
        struct TClear
        {
            bool &Posted;
            ~TClear() { Posted = false; }
        } clear{FReloadPosted};
        ReloadItems();
    });
}

void TDBCustomListView::ReloadItems()
{
    TLock lock(this);
    FDeletingItem = nullptr;
    ClearItems();
    if (FDataLink->Active()) {
        LoadItems();
        SyncFocusWithRecord();
    }
}

void TDBCustomListView::AbandonLoading()
{
    ++FLoadGeneration;
    FResumeAfter = TBookmark();
    if (!FLoading)
        return;
    FLoading = false;
    FLoadComplete = false;
    DoAfterItemsLoading();
}

void TDBCustomListView::ClearItems()
{
    AbandonLoading();
    FKeyIndex.clear();
    FUnhashableKeys = 0;
    for (int i = 0; i < Items()->Count(); ++i)
        static_cast<TDBListItem *>(Items()->Item(i))->FIndexed = TDBListItem::TIndexed::No;
    Items()->Clear();
    Viewport()->update();
}

void TDBCustomListView::LoadItems()
{
    AbandonLoading();
    LoadRows(false);
}

// Loads records as items: from the first record, or from the one after where the last slice
// ended. With a load step the first slice ends after that many records and each later one after
// a few hundredths of a second; the next is then asked for through the event loop.
void TDBCustomListView::LoadRows(bool resume)
{
    if (!FDataLink->Active() || FKeyFieldList.isEmpty())
        return;
    constexpr qint64 SliceMilliseconds = 30;
    TLock lock(this);
    TDataSet *dataSet = DataSet();
    const int loadedBefore = resume ? Items()->Count() : 0;
    dataSet->DisableControls();
    TBookmark bookmark = dataSet->GetBookmark();
    const bool wasBof = dataSet->Bof();
    const bool wasEof = dataSet->Eof();
    bool updating = false;
    bool more = false;
    std::exception_ptr failure;
    try {
        if (!resume)
            DoBeforeItemsLoading();
        Items()->BeginUpdate();
        updating = true;
        if (!(wasBof && wasEof)) {
            if (resume) {
                dataSet->GotoBookmark(FResumeAfter);
                dataSet->Next();
            } else {
                dataSet->First();
            }
            QElapsedTimer clock;
            clock.start();
            int loaded = 0;
            for (; !dataSet->Eof(); dataSet->Next()) {
                FLastKey = GetCurrentKey();
                SetupItem(AddItem());
                ++loaded;
                if (FLoadStep > 0 && (resume ? loaded % 64 == 0 && clock.elapsed() >= SliceMilliseconds
                                             : loaded >= FLoadStep)) {
                    FResumeAfter = dataSet->GetBookmark();
                    more = true;
                    break;
                }
            }
        }
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        RestorePosition(dataSet, bookmark, wasBof, wasEof);
    } catch (...) {
        // The items are what counts; the position is only a courtesy.
    }
    dataSet->FreeBookmark(bookmark);
    if (updating)
        Items()->EndUpdate();
    // A sorted list sorts what it loaded; each later slice is merged in with the items before.
    SortItems(loadedBefore);
    Viewport()->update();
    more = more && !failure;
    FLoading = more;
    FLoadComplete = !more && !failure;
    if (more) {
        QTimer::singleShot(0, this, [this, generation = FLoadGeneration] {
            if (generation == FLoadGeneration && FLoading)
                Guarded([this] { LoadRows(true); });
        });
    }
    try {
        dataSet->EnableControls();
    } catch (...) {
        if (!more)
            DoAfterItemsLoading();
        throw;
    }
    if (!more)
        DoAfterItemsLoading();
    if (failure)
        std::rethrow_exception(failure);
}

void TDBCustomListView::DoBeforeItemsLoading()
{
    BeforeItemsLoading(this);
}

void TDBCustomListView::DoAfterItemsLoading()
{
    AfterItemsLoading(this);
}

TListItem *TDBCustomListView::CreateListItem()
{
    auto *item = new TDBListItem(Items());
    // Indexed only once it is in the list (InsertItem), so the index never holds an item that
    // failed to get there.
    if (FDataLink->Active())
        item->FKey = GetCurrentKey();
    return item;
}

TListItem *TDBCustomListView::AddItem()
{
    TLock lock(this);
    try {
        TListItem *item = Items()->Add();
        Arrange();
        return item;
    } catch (...) {
        throw EListError(tr("Cannot add an item to the list"));
    }
}

int TDBCustomListView::StatusIndex() const
{
    return !FStatusFieldObj || FStatusFieldObj->IsNull() ? DefStatus() : FStatusFieldObj->AsInteger();
}

int TDBCustomListView::ImageIndex() const
{
    return !FImageFieldObj || FImageFieldObj->IsNull() ? DefImage() : FImageFieldObj->AsInteger();
}

QString TDBCustomListView::NameText() const
{
    return FNameFieldObj ? FNameFieldObj->AsString() : QString();
}

void TDBCustomListView::SetupItem(TListItem *item)
{
    if (!item || !FDataLink->Active())
        return;
    try {
        TDataSet *dataSet = DataSet();
        auto *dbItem = static_cast<TDBListItem *>(item);
        dbItem->SetKey(GetCurrentKey());
        dbItem->SetBookmark(dataSet->GetBookmark());
        item->SetCaption(NameText());
        item->SetStateIndex(StatusIndex());
        item->SetImageIndex(ImageIndex());
        QStringList columns;
        QVariantList keys;
        columns.reserve(FColumnFieldList.size());
        keys.reserve(FColumnFieldList.size() + 1);
        keys.append(QVariant()); // the caption sorts by its text
        for (const QString &name : std::as_const(FColumnFieldList)) {
            const TField *field = dataSet->FieldByName(name);
            columns.append(field->AsString());
            keys.append(SortKeyOf(field));
        }
        item->SetSubItems(columns);
        item->SetSortKeys(keys);
        OnItemSetup(this, item, dataSet);
    } catch (...) {
        throw EListError(tr("Cannot setup an item"));
    }
}

// ---------------------------------------------------------------------------------------------
// Finding items by key

void TDBCustomListView::IndexKey(TDBListItem *item)
{
    // A key that is no array never equals the array keys the view looks for.
    if (item->Index() < 0 || !item->FKey.IsArray())
        return;
    size_t hash = 0;
    if (hashKey(item->FKey, hash)) {
        item->FIndexed = TDBListItem::TIndexed::Hashed;
        item->FKeyHash = hash;
        FKeyIndex.emplace(hash, item);
    } else {
        item->FIndexed = TDBListItem::TIndexed::Unhashable;
        ++FUnhashableKeys;
    }
}

void TDBCustomListView::UnindexKey(TDBListItem *item)
{
    switch (item->FIndexed) {
    case TDBListItem::TIndexed::Hashed: {
        auto [first, last] = FKeyIndex.equal_range(item->FKeyHash);
        for (auto it = first; it != last; ++it)
            if (it->second == item) {
                FKeyIndex.erase(it);
                break;
            }
        break;
    }
    case TDBListItem::TIndexed::Unhashable:
        --FUnhashableKeys;
        break;
    case TDBListItem::TIndexed::No:
        break;
    }
    item->FIndexed = TDBListItem::TIndexed::No;
}

TDBListItem *TDBCustomListView::FindItemByKey(const TVariant &key) const
{
    size_t hash = 0;
    if (FUnhashableKeys > 0 || !key.IsArray() || !hashKey(key, hash)) {
        for (int i = 0; i < Items()->Count(); ++i) {
            auto *item = static_cast<TDBListItem *>(Items()->Item(i));
            if (item->KeyEquals(key))
                return item;
        }
        return nullptr;
    }
    TDBListItem *found = nullptr;
    auto [first, last] = FKeyIndex.equal_range(hash);
    for (auto it = first; it != last; ++it)
        if ((!found || it->second->Index() < found->Index()) && it->second->KeyEquals(key))
            found = it->second;
    return found;
}

void TDBCustomListView::InsertItem(TListItem *item)
{
    IndexKey(static_cast<TDBListItem *>(item));
    TCustomListView::InsertItem(item);
}

void TDBCustomListView::Delete(TListItem *item)
{
    if (item == FDeletingItem)
        FDeletingItem = nullptr;
    UnindexKey(static_cast<TDBListItem *>(item));
    TCustomListView::Delete(item);
}
