#pragma once

#include "DataSources.h"
#include "ListViews.h"

#include <QPointer>
#include <unordered_map>

class TDBCustomListView;

// The message a data-aware list view posts to itself to reload its items once the notification
// that asked for it has been handled (the first user message number plus 165).
constexpr int DBListViewReload = 0x0400 + 165;

// An item that stands for one record: its key (an array of the key fields' values) and a
// bookmark of the record.
class TDBListItem : public TListItem
{
public:
    using TListItem::TListItem;

    const TVariant &Key() const { return FKey; }
    const TBookmark &Bookmark() const { return FBookmark; }
    void SetBookmark(const TBookmark &value) { FBookmark = value; }
    // Takes a new key; the bookmark goes, since it may be of another record now.
    void SetKey(const TVariant &value);
    bool BookmarkValid(TDataSet *dataSet) const;
    bool KeyEquals(const TVariant &key) const;
    // Makes the item's record current: true when it is current afterwards or its bookmark still
    // leads to a record.
    bool GotoRecord(TDataSet *dataSet, const TVariant &currentKey);

private:
    friend class TDBCustomListView;
    TDBCustomListView *View() const;

    TVariant FKey;
    TBookmark FBookmark;
    // Where the view's key index holds the item.
    enum class TIndexed { No, Hashed, Unhashable } FIndexed = TIndexed::No;
    size_t FKeyHash = 0;
};

// Passes the data link's notifications to its view, before the link's own handling.
class TDBListDataLink : public TDataLink
{
public:
    explicit TDBListDataLink(TDBCustomListView *view) : FListView(view) {}
    ~TDBListDataLink() override { FListView = nullptr; }

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override;
    void DataSetChanged() override;
    void EditingChanged() override;
    void RecordChanged(TField *field) override;
    void UpdateData() override;

private:
    TDBCustomListView *FListView;
};

using TDBLVBeforeItemsLoading = TEvent<TDBCustomListView *>;
using TDBLVAfterItemsLoading = TEvent<TDBCustomListView *>;
// (Sender, AItem, ADataSet): the item has just been set up from the data set's current record.
using TDBLVOnItemSetup = TEvent<TDBCustomListView *, TListItem *, TDataSet *>;

// A list view that shows the records of a data set as items and keeps its focused item and the
// data set's current record in step both ways. Captions come from NameField, pictures from
// ImageIDField, state pictures from StatusIDField, report columns from ColumnsFields, and each
// item's identity from KeyFields (field names joined by ";"). Binding an open data set needs
// NameField, so the field names are set before DataSource.
class TDBCustomListView : public TCustomListView
{
    Q_OBJECT

public:
    explicit TDBCustomListView(QWidget *parent = nullptr);
    ~TDBCustomListView() override;

    // The default state picture and picture: read back 0 when the value has no picture in the
    // state (large) image list.
    int DefStatus() const;
    void SetDefStatus(int value) { FDefStatus = value; }
    int DefImage() const;
    void SetDefImage(int value) { FDefImage = value; }
    // Elements of the keys loaded last; 0 before any record was loaded.
    int KeyFieldsCount() const;

    TDataSource *DataSource() const { return FDataLink->DataSource(); }
    void SetDataSource(TDataSource *value);
    const QString &StatusIDField() const { return FStatusIDField; }
    void SetStatusIDField(const QString &value);
    const QString &ImageIDField() const { return FImageIDField; }
    void SetImageIDField(const QString &value);
    const QString &NameField() const { return FNameField; }
    void SetNameField(const QString &value);
    const QString &KeyFields() const { return FKeyFields; }
    void SetKeyFields(const QString &value);
    // After binding only the names of existing fields remain.
    const QString &ColumnsFields() const { return FColumnsFields; }
    void SetColumnsFields(const QString &value);

    // The menu over empty space; ObjectMenu, when set, is the one over items.
    QMenu *PopupMenu() const override { return FStoredPopupMenu; }
    void SetPopupMenu(QMenu *value) override;
    QMenu *ObjectMenu() const { return FObjectMenu; }
    void SetObjectMenu(QMenu *value) { FObjectMenu = value; }

    TDBLVBeforeItemsLoading BeforeItemsLoading;
    TDBLVAfterItemsLoading AfterItemsLoading;
    TDBLVOnItemSetup OnItemSetup;

    // Records loaded at once before the window may paint; 0 loads every record at once. With a
    // step, the rest follow from the event loop in slices of a few hundredths of a second, so a
    // long result shows its first screenful at once and never freezes the window. Meant for
    // results that do not change while they load, such as a search's.
    int LoadStep() const { return FLoadStep; }
    void SetLoadStep(int rows) { FLoadStep = rows < 0 ? 0 : rows; }
    // Whether the last load reached the end of the data set. AfterItemsLoading follows every
    // BeforeItemsLoading once, also for a load in steps that a reload or a close cut short.
    bool LoadingComplete() const { return FLoadComplete; }

    // Closes and opens the data set again; the items reload through the notifications.
    void ReopenDataSet();
    // The first item, in list order, whose key equals key.
    TDBListItem *FindItemByKey(const TVariant &key) const;
    // What an item sorts by in a field's column: numbers and dates by value (null first), texts
    // by the text shown. A sorted view sorts each load; items that change stay in place until
    // the next sort or load.
    static QVariant SortKeyOf(const TField *field);

protected:
    virtual void SelectItem(TListItem *item);
    virtual void BindingChanged();
    virtual void RecordFieldChanged(TField *field);
    virtual void CurrentRecordChanged();
    virtual void DoBeforeItemsLoading();
    virtual void DoAfterItemsLoading();

    TListItem *CreateListItem() override;
    bool CanChange(TListItem *item, TItemChange change) override;
    bool CanEdit(TListItem *item) override;
    void Change(TListItem *item, TItemChange change) override;
    void Edited(TListItem *item, QString &s) override;
    void DoEnter() override;
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) override;
    void KeyDown(int &key, Qt::KeyboardModifiers shift) override;
    void InsertItem(TListItem *item) override;
    void Delete(TListItem *item) override;
    void customEvent(QEvent *event) override;

private:
    friend class TDBListDataLink;
    friend class TDBListItem;

    // While held, every data notification is ignored: the view's own moves of the data set
    // must not come back to it.
    struct TLock
    {
        explicit TLock(TDBCustomListView *view) : View(view) { ++View->FLockCount; }
        ~TLock() { --View->FLockCount; }
        TDBCustomListView *View;
    };

    TDataSet *DataSet() const { return FDataLink->DataSet(); }
    TDBListItem *Focused() const { return static_cast<TDBListItem *>(ItemFocused()); }
    TVariant GetCurrentKey() const;
    void SplitFieldNames(QString text, QStringList &list) const;
    bool BindFields();
    void UnbindFields();
    void PostReload();
    void ReloadItems();
    void ClearItems();
    void LoadItems();
    void LoadRows(bool resume);
    void AbandonLoading();
    TListItem *AddItem();
    void SetupItem(TListItem *item);
    int StatusIndex() const;
    int ImageIndex() const;
    QString NameText() const;
    void SyncFocusWithRecord();
    void EditingStateChanged();
    void UpdateRecordData();
    void WriteCaption(TListItem *item);
    void GotoItemRecord(TListItem *item);
    void DeleteItemAt(int index);
    void StartCaptionEdit(TListItem *item);
    void HookDataSet(TDataSet *dataSet);
    void UnhookDataSet(TDataSet *dataSet);
    void BeforeDeleteHook(TDataSet *dataSet);
    void AfterDeleteHook(TDataSet *dataSet);
    // The key index: finds an item by key without walking the list.
    void IndexKey(TDBListItem *item);
    void UnindexKey(TDBListItem *item);

    QString FStatusIDField;
    QString FImageIDField;
    QString FNameField;
    QString FKeyFields;
    QString FColumnsFields;
    TField *FStatusFieldObj = nullptr;
    TField *FImageFieldObj = nullptr;
    TField *FNameFieldObj = nullptr;
    QStringList FKeyFieldList;
    QStringList FColumnFieldList;
    QString FCurrentKeyNames = QStringLiteral(";"); // the key field list joined, followed by ";"
    int FDefStatus = 0;
    int FDefImage = 0;
    std::unique_ptr<TDBListDataLink> FDataLink;
    TDataSetState FEditState = TDataSetState::Browse;
    bool FInsertModified = false;
    bool FReloadPosted = false;
    int FLockCount = 0;
    TDBListItem *FDeletingItem = nullptr;
    TDataSet *FHookedDataSet = nullptr;
    TDataSetNotifyEvent FSavedBeforeDelete;
    TDataSetNotifyEvent FSavedAfterDelete;
    QPointer<QMenu> FObjectMenu;
    QPointer<QMenu> FStoredPopupMenu;
    TVariant FLastKey;
    int FLoadStep = 0;
    bool FLoading = false; // a load in steps waits for its next slice
    bool FLoadComplete = false;
    quint64 FLoadGeneration = 0;
    TBookmark FResumeAfter; // the record the last slice ended on

    std::unordered_multimap<size_t, TDBListItem *> FKeyIndex;
    int FUnhashableKeys = 0; // items whose keys no hash can stand for: lookups walk the list
};

// The data-aware list view as forms use it.
class TDBListView : public TDBCustomListView
{
    Q_OBJECT

public:
    using TDBCustomListView::TDBCustomListView;
};
