// TDBCustomTreeView: binding, record keys, node lookup, node filling and the delete hooks.

#include "DBCustomTreeView.h"

#include "ImageLists.h"
#include "Tables.h"

#include <QCoreApplication>
#include <QLocale>
#include <algorithm>

namespace {

// The pieces of a ";"-separated list, trimmed; an empty piece between two separators counts, a
// trailing separator adds nothing.
QStringList SplitList(const QString &text)
{
    QStringList pieces;
    QString rest = text;
    while (!rest.isEmpty()) {
        const qsizetype separator = rest.indexOf(u';');
        pieces << (separator < 0 ? rest : rest.left(separator)).trimmed();
        rest = separator < 0 ? QString() : rest.mid(separator + 1);
    }
    return pieces;
}

TVariant ParseRootPiece(const QString &piece)
{
    if (piece.compare(QStringLiteral("null"), Qt::CaseInsensitive) == 0)
        return TVariant::Null();
    if (piece.startsWith(u'\'')) {
        QString text = piece.size() > 1 ? piece.mid(1, piece.size() - 2) : QString();
        return TVariant(text.replace(QStringLiteral("''"), QStringLiteral("'")));
    }
    bool ok = false;
    const int integer = piece.toInt(&ok);
    if (ok)
        return TVariant(qint32(integer));
    const QLocale locale = QLocale::system();
    const QDateTime dateTime = locale.toDateTime(piece, QLocale::ShortFormat);
    if (dateTime.isValid())
        return TVariant(TDateTime::FromQDateTime(dateTime));
    const QDate date = locale.toDate(piece, QLocale::ShortFormat);
    if (date.isValid())
        return TVariant(TDateTime::FromQDateTime(date.startOfDay()));
    double number = locale.toDouble(piece, &ok);
    if (!ok)
        number = piece.toDouble(&ok);
    if (ok && !piece.isEmpty())
        return TVariant(number);
    throw EConvertError(
        QCoreApplication::translate("TDBCustomTreeView", "Wrong root expression has been specified: '%1'")
            .arg(piece));
}

TVariant ParseRootKey(const QString &text)
{
    TVariantArray values;
    for (const QString &piece : SplitList(text))
        values.push_back(ParseRootPiece(piece));
    return TVariant(std::move(values));
}

// The path of indexes from the top level down to the node.
std::vector<int> PathOf(const TTreeNode *node)
{
    std::vector<int> path;
    for (; node; node = node->Parent())
        path.push_back(node->Index());
    std::reverse(path.begin(), path.end());
    return path;
}

} // namespace

// Consistent with KeysEqual: equal keys hash alike.
size_t TDBCustomTreeView::KeyHash(const TVariant &key)
{
    size_t seed = size_t(key.VarType()) * 0x9e3779b97f4a7c15ULL;
    auto mix = [&seed](size_t value) { seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); };
    switch (key.VarType()) {
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
        mix(size_t(key.AsInt64()));
        break;
    case TVarType::Double:
    case TVarType::Date:
        mix(qHash(key.AsDouble()));
        break;
    case TVarType::Currency:
        mix(size_t(key.AsCurrency().Scaled));
        break;
    case TVarType::Boolean:
        mix(key.AsBoolean() ? 1 : 0);
        break;
    case TVarType::String:
        mix(qHash(key.AsString()));
        break;
    case TVarType::Array:
        for (const TVariant &element : key.Elements())
            mix(KeyHash(element));
        break;
    default:
        break;
    }
    return seed;
}

// ---------------------------------------------------------------------------------------------
// TDBTreeNode

TDBTreeNode::TDBTreeNode(TTreeNodes *owner, const TBookmark &bookmark, const TVariant &key)
    : TTreeNode(owner), FView(qobject_cast<TDBCustomTreeView *>(owner->Owner())), FKey(key),
      FKeyHash(TDBCustomTreeView::KeyHash(key)), FBookmark(bookmark)
{
    if (FView)
        FView->IndexNode(this);
}

TDBTreeNode::~TDBTreeNode()
{
    if (FView)
        FView->UnindexNode(this);
}

void TDBTreeNode::SetKey(const TVariant &value)
{
    if (FView)
        FView->UnindexNode(this);
    FKey = value;
    FKeyHash = TDBCustomTreeView::KeyHash(value);
    FBookmark = TBookmark();
    if (FView)
        FView->IndexNode(this);
}

bool TDBTreeNode::KeyEquals(const TVariant &key) const
{
    return KeysEqual(FKey, key);
}

bool TDBTreeNode::GotoRecord(TDataSet *dataSet, TLocator locator, TDBCustomTreeView *view)
{
    auto go = [dataSet](const TBookmark &bookmark) {
        try {
            dataSet->GotoBookmark(bookmark);
        } catch (...) {
            // The bookmark was valid a moment ago; where the move ended is where we are.
        }
    };
    if (dataSet->BookmarkValid(FBookmark)) {
        go(FBookmark);
        return true;
    }
    if (!locator || !view)
        return false;
    FBookmark = (view->*locator)(FKey);
    if (!dataSet->BookmarkValid(FBookmark))
        return false;
    go(FBookmark);
    return true;
}

void TDBTreeNode::Assign(const TTreeNode *source)
{
    TTreeNode::Assign(source);
    if (const auto *node = dynamic_cast<const TDBTreeNode *>(source); node && node != this) {
        SetKey(node->FKey);
        FChildrenLoaded = node->FChildrenLoaded;
        FVisited = node->FVisited;
    }
}

// ---------------------------------------------------------------------------------------------
// TDBTreeDataLink

void TDBTreeDataLink::ActiveChanged()
{
    TFieldDataLink::ActiveChanged();
    if (FTreeView)
        FTreeView->DataLinkActiveChanged();
}

void TDBTreeDataLink::CheckBrowseMode()
{
    TFieldDataLink::CheckBrowseMode();
    if (FTreeView)
        FTreeView->DataLinkCheckBrowseMode();
}

void TDBTreeDataLink::DataSetChanged()
{
    if (FTreeView)
        FTreeView->SyncToCurrentRecord();
    TFieldDataLink::DataSetChanged();
}

void TDBTreeDataLink::EditingChanged()
{
    TFieldDataLink::EditingChanged();
    if (FTreeView)
        FTreeView->EditingStateChanged();
}

void TDBTreeDataLink::RecordChanged(TField *field)
{
    TFieldDataLink::RecordChanged(field);
    if (FTreeView)
        FTreeView->RecordChanged(field);
}

void TDBTreeDataLink::UpdateData()
{
    TFieldDataLink::UpdateData();
    if (FTreeView)
        FTreeView->UpdateData();
}

// ---------------------------------------------------------------------------------------------
// Construction and properties

TDBCustomTreeView::TDBCustomTreeView(QWidget *parent)
    : TCustomTreeView(parent), FDataLink(std::make_unique<TDBTreeDataLink>(this)),
      FAlive(std::make_shared<TDBCustomTreeView *>(this))
{}

TDBCustomTreeView::~TDBCustomTreeView()
{
    *FAlive = nullptr;
    FDataLink->ClearTreeView();
    RestoreDeleteHooks();
    FDataLink->SetDataSource(nullptr);
    // Our nodes leave the key index while the index still exists.
    FKeyIndex.clear();
    Items()->Clear();
}

TTreeNode *TDBCustomTreeView::CreateNode()
{
    TVariant key;
    if (FDataLink->Active())
        GetCurrentKey(key);
    return new TDBTreeNode(Items(), TBookmark(), key);
}

int TDBCustomTreeView::DefStatus() const
{
    const TCustomImageList *images = StateImages();
    return images && FDefStatus >= 0 && FDefStatus < images->Count() ? FDefStatus : -1;
}

int TDBCustomTreeView::DefImage() const
{
    const TCustomImageList *images = Images();
    return images && FDefImage >= 0 && FDefImage < images->Count() ? FDefImage : -1;
}

int TDBCustomTreeView::KeyFieldsCount() const
{
    return FRootKeyValue.IsArray() ? int(FRootKeyValue.Count()) : 0;
}

void TDBCustomTreeView::SetDataSource(TDataSource *value)
{
    if (DataSource() == value)
        return;
    ClearAll();
    // Through no source at all, so the view hears the old binding end and the new one begin even
    // when both are active.
    FDataLink->SetDataSource(nullptr);
    FDataLink->SetDataSource(value);
}

void TDBCustomTreeView::SetLoadStyle(TLoadStyle value)
{
    if (FLoadStyle == value)
        return;
    FLoadStyle = value;
    // Nodes read in another style would show the wrong buttons.
    if (FDataLink->Active() && !FNeedsLoad)
        ScheduleReload();
}

void TDBCustomTreeView::SetStatusIDField(const QString &value)
{
    if (FStatusIDField == value)
        return;
    FStatusIDField = value;
    RefreshBinding();
}

void TDBCustomTreeView::SetImageIDField(const QString &value)
{
    if (FImageIDField == value)
        return;
    FImageIDField = value;
    RefreshBinding();
}

void TDBCustomTreeView::SetNameField(const QString &value)
{
    if (FNameField == value)
        return;
    FNameField = value;
    FDataLink->SetFieldName(value);
    RefreshBinding();
}

void TDBCustomTreeView::SetLinksFields(const QString &value)
{
    if (FLinksFields == value)
        return;
    FLinksFields = value;
    RefreshBinding();
}

void TDBCustomTreeView::SetRootKey(const QString &value)
{
    const TVariant parsed = ParseRootKey(value);
    if (KeysEqual(parsed, FRootKeyValue))
        return;
    FRootKey = value;
    FRootKeyValue = parsed;
    RefreshBinding();
}

// ---------------------------------------------------------------------------------------------
// Binding

void TDBCustomTreeView::RefreshBinding()
{
    if (FBusyCount)
        return;
    if (BindFields() && !DataSet()->Loading())
        ScheduleReload();
    else
        ClearAll();
}

bool TDBCustomTreeView::BindFields()
{
    TBusy busy(*this);
    const bool active = FDataLink->Active();
    BindingChanging(active);
    TDataSet *dataSet = DataSet();
    if (active) {
        FImageFieldObj = FImageIDField.isEmpty() ? nullptr : dataSet->FindField(FImageIDField);
        FStatusFieldObj = FStatusIDField.isEmpty() ? nullptr : dataSet->FindField(FStatusIDField);
        FNameFieldObj = dataSet->FieldByName(FNameField);
    }
    FLinkFieldList.clear();
    FKeyFieldList.clear();
    const QString arrowText = QStringLiteral("->");
    const qsizetype arrow = FLinksFields.indexOf(arrowText);
    const QStringList groupLinks = SplitList(FLinksFields.left(arrow));
    const QStringList groupKeys = SplitList(FLinksFields.mid(arrow + 2));
    if (arrow >= 0 && FLinksFields.count(arrowText) == 1 && groupLinks.size() > 1 &&
        groupLinks.size() == groupKeys.size()) {
        // The grouped form of a link of several fields, "ParentA;ParentB->A;B".
        FLinkFieldList = groupLinks;
        FKeyFieldList = groupKeys;
    } else {
        for (const QString &piece : SplitList(FLinksFields)) {
            const qsizetype pieceArrow = piece.indexOf(arrowText);
            FLinkFieldList << (pieceArrow < 0 ? QString() : piece.left(pieceArrow).trimmed());
            FKeyFieldList << (pieceArrow < 0 ? QString() : piece.mid(pieceArrow + 2).trimmed());
        }
    }
    auto kept = [](const QStringList &list, qsizetype count, const QString &name) {
        for (qsizetype i = 0; i < count; ++i)
            if (list[i].compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    for (qsizetype i = 0; i < FLinkFieldList.size();) {
        const QString &link = FLinkFieldList[i];
        const QString &key = FKeyFieldList[i];
        const bool exists = dataSet && !link.isEmpty() && !key.isEmpty() && dataSet->FindField(link) &&
                            dataSet->FindField(key);
        if (exists && !kept(FLinkFieldList, i, link) && !kept(FKeyFieldList, i, key)) {
            ++i;
            continue;
        }
        FLinkFieldList.removeAt(i);
        FKeyFieldList.removeAt(i);
    }
    FKeyFieldNames = FKeyFieldList.join(u';');
    FLinkFieldNames = FLinkFieldList.join(u';') + u';';
    FKeyFields.clear();
    FLinkFields.clear();
    if (active) {
        for (const QString &name : std::as_const(FKeyFieldList))
            FKeyFields.push_back(dataSet->FieldByName(name));
        for (const QString &name : std::as_const(FLinkFieldList))
            FLinkFields.push_back(dataSet->FieldByName(name));
        InstallDeleteHooks();
    } else {
        FImageFieldObj = FStatusFieldObj = FNameFieldObj = nullptr;
        RestoreDeleteHooks();
    }
    return active;
}

void TDBCustomTreeView::DataLinkActiveChanged()
{
    // The link lost its source: whatever comes next must be loaded before it is followed.
    if (!FDataLink->DataSource()) {
        FImageFieldObj = FStatusFieldObj = FNameFieldObj = nullptr;
        FNeedsLoad = true;
    }
    if (!FDataLink->Active())
        RestoreDeleteHooks();
    RefreshBinding();
}

void TDBCustomTreeView::DataLinkCheckBrowseMode()
{
    if (FDataLink->Active())
        InstallDeleteHooks();
    // A check without a request for pending edits before it starts a cancel.
    if (!FSawUpdateData)
        FInsertPosted = false;
    FSawUpdateData = false;
}

TTable *TDBCustomTreeView::Table() const
{
    auto *table = dynamic_cast<TTable *>(DataSet());
    if (!table)
        throw EInvalidCast();
    return table;
}

void TDBCustomTreeView::ReopenDataSet()
{
    if (!FDataLink->Active())
        return;
    TDataSet *dataSet = DataSet();
    dataSet->Close();
    dataSet->Open();
}

// ---------------------------------------------------------------------------------------------
// The current record

TVariant TDBCustomTreeView::ReadRecordKey() const
{
    TVariantArray values;
    values.reserve(FKeyFields.size());
    for (const TField *field : FKeyFields)
        values.push_back(field->Value());
    return TVariant(std::move(values));
}

bool TDBCustomTreeView::GetCurrentKey(TVariant &key) const
{
    key = ReadRecordKey();
    return true;
}

bool TDBCustomTreeView::IsCurrentRecord(const TVariant &key) const
{
    return FDataLink->Active() && KeysEqual(key, ReadRecordKey());
}

bool TDBCustomTreeView::ReadParentKey(TVariant &parentKey) const
{
    TVariantArray values;
    values.reserve(FLinkFields.size());
    for (const TField *field : FLinkFields)
        values.push_back(field->Value());
    parentKey = TVariant(std::move(values));
    return !KeysEqual(parentKey, FRootKeyValue);
}

void TDBCustomTreeView::SetRecordParent(const TVariant &key)
{
    DataSet()->SetFieldValues(FLinkFieldNames, key);
}

void TDBCustomTreeView::SetRecordAsRoot()
{
    SetRecordParent(FRootKeyValue);
}

bool TDBCustomTreeView::LinksEditable() const
{
    try {
        TDataSet *dataSet = DataSet();
        if (!dataSet)
            return false;
        for (const QString &name : FLinkFieldList)
            if (!dataSet->FieldByName(name)->CanModify())
                return false;
        return true;
    } catch (...) {
        return false;
    }
}

void TDBCustomTreeView::LocateKey(const TVariant &key)
{
    const TVariant values = key.IsArray() && key.Count() == 1 ? key[0] : key;
    DataSet()->Locate(FKeyFieldNames, values);
}

TBookmark TDBCustomTreeView::LocateKeyBookmark(const TVariant &key)
{
    if (!FDataLink->Active())
        return TBookmark();
    LocateKey(key);
    return IsCurrentRecord(key) ? DataSet()->GetBookmark() : TBookmark();
}

// ---------------------------------------------------------------------------------------------
// Nodes by key

void TDBCustomTreeView::IndexNode(TDBTreeNode *node)
{
    FKeyIndex.emplace(node->FKeyHash, node);
}

void TDBCustomTreeView::UnindexNode(TDBTreeNode *node)
{
    auto [first, last] = FKeyIndex.equal_range(node->FKeyHash);
    for (auto it = first; it != last; ++it)
        if (it->second == node) {
            FKeyIndex.erase(it);
            return;
        }
}

TDBTreeNode *TDBCustomTreeView::FindNodeByKey(const TVariant &key) const
{
    TDBTreeNode *found = nullptr;
    std::vector<int> foundPath;
    auto [first, last] = FKeyIndex.equal_range(KeyHash(key));
    for (auto it = first; it != last; ++it) {
        TDBTreeNode *node = it->second;
        if (!node->KeyEquals(key))
            continue;
        // Several nodes of one record: the first in depth-first order, as a walk would find.
        std::vector<int> path = PathOf(node);
        if (!found || path < foundPath) {
            found = node;
            foundPath = std::move(path);
        }
    }
    return found;
}

TDBTreeNode *TDBCustomTreeView::FindChildByKey(const TTreeNode *parent, const TVariant &key) const
{
    TDBTreeNode *found = nullptr;
    auto [first, last] = FKeyIndex.equal_range(KeyHash(key));
    for (auto it = first; it != last; ++it) {
        TDBTreeNode *node = it->second;
        if (node->Parent() == parent && (!found || node->Index() < found->Index()) && node->KeyEquals(key))
            found = node;
    }
    return found;
}

// ---------------------------------------------------------------------------------------------
// Node filling

int TDBCustomTreeView::StatusValue() const
{
    return !FStatusFieldObj || FStatusFieldObj->IsNull() ? DefStatus() : FStatusFieldObj->AsInteger();
}

int TDBCustomTreeView::ImageValue() const
{
    return !FImageFieldObj || FImageFieldObj->IsNull() ? DefImage() : FImageFieldObj->AsInteger();
}

void TDBCustomTreeView::SetupNode(TDBTreeNode *node)
{
    try {
        node->SetKey(ReadRecordKey());
        node->SetBookmark(DataSet()->GetBookmark());
        node->SetText(FNameFieldObj ? FNameFieldObj->Text() : QString());
        node->SetStateIndex(StatusValue());
        const int image = ImageValue();
        node->SetImageIndex(image);
        node->SetSelectedIndex(image);
        OnNodeSetup(this, node, DataSet());
    } catch (...) {
        throw ETreeViewError(tr("Cannot setup a node"));
    }
}

void TDBCustomTreeView::RecordChanged(TField *field)
{
    if (FBusyCount || !FDataLink->Active())
        return;
    // While inserting, the record shown is the new one: only a node added for it may change.
    TDBTreeNode *node =
        DataSet()->State() == TDataSetState::Insert ? FInsertNode.As<TDBTreeNode>() : Selected();
    if (!node)
        return;
    TBusy busy(*this);
    // A whole-record change (no field) matches whichever of the three fields is missing.
    if (field == FStatusFieldObj) {
        node->SetStateIndex(StatusValue());
    } else if (field == FImageFieldObj) {
        const int image = ImageValue();
        node->SetImageIndex(image);
        node->SetSelectedIndex(image);
    } else if (field == FNameFieldObj) {
        node->SetText(FNameFieldObj ? FNameFieldObj->Text() : QString());
    } else if (std::find(FKeyFields.begin(), FKeyFields.end(), field) != FKeyFields.end()) {
        node->SetKey(ReadRecordKey());
    } else if (std::find(FLinkFields.begin(), FLinkFields.end(), field) != FLinkFields.end()) {
        SyncNodeParent(node);
    }
}

// ---------------------------------------------------------------------------------------------
// Delete hooks: the view hears of a delete before and after it, whoever else handles it.

void TDBCustomTreeView::InstallDeleteHooks()
{
    TDataSet *dataSet = DataSet();
    if (!dataSet)
        return;
    if (FHookedDataSet && FHookedDataSet != dataSet)
        RestoreDeleteHooks();
    FHookedDataSet = dataSet;
    const void *self = this;
    if (dataSet->BeforeDelete.Target() != self) {
        FSavedBeforeDelete = dataSet->BeforeDelete;
        dataSet->BeforeDelete = TDataSetNotifyEvent(
            [alive = FAlive](TDataSet *target) {
                if (TDBCustomTreeView *view = *alive)
                    view->BeforeDeleteHook(target);
            },
            self);
    }
    if (dataSet->AfterDelete.Target() != self) {
        FSavedAfterDelete = dataSet->AfterDelete;
        dataSet->AfterDelete = TDataSetNotifyEvent(
            [alive = FAlive](TDataSet *target) {
                if (TDBCustomTreeView *view = *alive)
                    view->AfterDeleteHook(target);
            },
            self);
    }
}

void TDBCustomTreeView::RestoreDeleteHooks()
{
    if (!FHookedDataSet)
        return;
    // Only a handler that is still ours is replaced: one our hook already handed back (and
    // forgot) must not be overwritten with nothing.
    const void *self = this;
    if (FHookedDataSet->BeforeDelete.Target() == self)
        FHookedDataSet->BeforeDelete = FSavedBeforeDelete;
    if (FHookedDataSet->AfterDelete.Target() == self)
        FHookedDataSet->AfterDelete = FSavedAfterDelete;
    FSavedBeforeDelete.Clear();
    FSavedAfterDelete.Clear();
    FHookedDataSet = nullptr;
}

void TDBCustomTreeView::BeforeDeleteHook(TDataSet *dataSet)
{
    FPendingDeleteNode = Selected();
    if (!FSavedBeforeDelete)
        return;
    const TDataSetNotifyEvent saved = FSavedBeforeDelete;
    FSavedBeforeDelete.Clear();
    // This replaces the handler that is running now; nothing of it is touched afterwards.
    dataSet->BeforeDelete = saved;
    saved(dataSet);
}

void TDBCustomTreeView::AfterDeleteHook(TDataSet *dataSet)
{
    if (auto *node = FPendingDeleteNode.As<TDBTreeNode>();
        node && FDataLink->Active() && !node->KeyEquals(ReadRecordKey())) {
        TBusy busy(*this);
        node->Delete();
    }
    FPendingDeleteNode.Reset();
    if (!FSavedAfterDelete)
        return;
    const TDataSetNotifyEvent saved = FSavedAfterDelete;
    FSavedAfterDelete.Clear();
    dataSet->AfterDelete = saved;
    saved(dataSet);
}
