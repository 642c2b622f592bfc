#pragma once

#include "DatabaseError.h"
#include "Events.h"
#include "Fields.h"
#include "Variants.h"

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TDataSource;

enum class TDataSetState { Inactive, Browse, Edit, Insert, SetKey, CalcFields };

// What a data set tells its data sources (and they their data links).
enum class TDataEvent {
    FieldChange,     // a field of the current record got a new value
    RecordChange,    // the current record changed as a whole (editing began)
    DataSetChange,   // the records shown changed (refill, post, cancel, delete, jump)
    DataSetScroll,   // the cursor moved by a distance
    LayoutChange,    // fields were added or removed
    UpdateRecord,    // controls should write their pending edits into the fields now
    UpdateState,     // the state changed
    CheckBrowseMode, // the data set is about to leave the record: controls finish their edits
    FocusControl,    // a control of a field should take the focus
};

enum class TDataAction { Fail, Abort, Retry };

enum TLocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = int;

enum class TBlobStreamMode { Read, Write, ReadWrite };

// A position in a data set: the primary key of a table's row, the ordinal of a query's row. Empty
// means no bookmark.
using TBookmark = TVariant;

using TDataSetNotifyEvent = TEvent<TDataSet *>;
using TDataSetErrorEvent = TEvent<TDataSet *, EDatabaseError &, TDataAction &>;

// A cursor over records with a current record, an editing state machine and notifications to the
// controls bound through data sources. Descendants supply the records (TTable, TQuery).
class TDataSet
{
public:
    TDataSet();
    virtual ~TDataSet();
    TDataSet(const TDataSet &) = delete;
    TDataSet &operator=(const TDataSet &) = delete;

    const QString &Name() const { return FName; }
    void SetName(const QString &value) { FName = value; }

    // ---- fields
    int FieldCount() const { return int(FFields.size()); }
    TField *Fields(int index) const { return FFields.at(size_t(index)).get(); }
    TField *FindField(const QString &fieldName) const;
    TField *FieldByName(const QString &fieldName) const;
    // Restricts the data fields to these columns, in this order (empty: all columns). Only while
    // closed.
    void SetFieldNames(const QStringList &names);
    const QStringList &FieldNames() const { return FFieldNames; }
    // A field whose value OnCalcFields gives; defined while closed, kept across opening.
    void AddCalculatedField(const QString &fieldName, TFieldType type, int size = 0);
    // Values of several fields: a list with a ";" in it ("ID;" or "A;B") gives an array, one
    // element per name; a single name gives the value itself.
    TVariant FieldValues(const QString &fieldNames) const;
    void SetFieldValues(const QString &fieldNames, const TVariant &value);

    // ---- state
    TDataSetState State() const { return FState; }
    bool Active() const { return FState != TDataSetState::Inactive; }
    void SetActive(bool value);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    bool Bof() const { return FBof; }
    bool Eof() const { return FEof; }
    bool IsEmpty() const { return FBof && FEof; }
    bool Modified() const { return FModified; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    virtual bool CanModify() const;
    bool Destroying() const { return FDestroying; }
    // Set while the owner is still setting the data set up; views wait for it to end.
    bool Loading() const { return FLoading; }
    void SetLoading(bool value) { FLoading = value; }

    // ---- navigation
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    int MoveBy(int distance);
    virtual int RecordCount();
    // Gives up whatever the data set holds of a read transaction between reads; called by its
    // connection while the program is idle.
    virtual void ReleaseReadLock() {}
    bool Locate(const QString &keyFields, const TVariant &keyValues, TLocateOptions options = 0);
    void Refresh();

    // ---- bookmarks
    TBookmark GetBookmark() const;
    void GotoBookmark(const TBookmark &bookmark);
    bool BookmarkValid(const TBookmark &bookmark);
    void FreeBookmark(TBookmark &bookmark) { bookmark = TBookmark(); }

    // ---- editing
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    void CheckBrowseMode();
    void UpdateRecord();

    // ---- controls
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return FDisableCount > 0; }

    std::unique_ptr<QIODevice> CreateBlobStream(TField *field, TBlobStreamMode mode);

    // ---- events
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;
    TDataSetErrorEvent OnPostError, OnDeleteError, OnEditError;

    // Used by TField.
    TVariant GetFieldValue(const TField *field) const;
    void SetFieldValue(TField *field, const TVariant &value);

    // Used by TDataSource.
    void AttachDataSource(TDataSource *source);
    void DetachDataSource(TDataSource *source);

protected:
    // What a descendant supplies. Moves return false when there is no such record (the current one
    // stays); the current row holds the data fields' values in field order.
    struct TFieldDef
    {
        QString Name;
        TFieldType Type;
        int Size;
    };
    virtual std::vector<TFieldDef> InternalOpen() = 0; // the available columns
    virtual void InternalClose() = 0;
    virtual bool InternalFirst() = 0;
    virtual bool InternalLast() = 0;
    virtual bool InternalNext() = 0;
    virtual bool InternalPrior() = 0;
    virtual const TVariantArray *InternalCurrentRow() const = 0;
    virtual TBookmark InternalBookmark() const = 0;
    virtual bool InternalGotoBookmark(const TBookmark &bookmark) = 0;
    virtual bool InternalBookmarkValid(const TBookmark &bookmark) = 0;
    virtual int InternalRecordCount() = 0;
    // The first record, in the data set's order, whose fields hold the values.
    virtual std::optional<TBookmark> InternalLocate(const std::vector<int> &fields,
                                                    const TVariantArray &values, TLocateOptions options) = 0;
    // Re-reads the current record before an edit: false when it no longer exists.
    virtual bool InternalEdit() { return true; }
    // Writes the edit buffer; afterwards the written record is current. `assigned` tells which
    // fields were given a value since the edit began.
    virtual void InternalPost(bool inserting, const TVariantArray &values, const std::vector<bool> &assigned);
    // Deletes the current record; afterwards the next record (else the prior one) is current.
    virtual void InternalDelete();
    virtual void InternalRefresh() = 0;
    // Fills a new record before OnNewRecord (a detail's link fields, say).
    virtual void InternalInitRecord(TVariantArray &values, std::vector<bool> &assigned);
    // The key buffer that field writes go to in the SetKey state.
    virtual TVariantArray *KeyBuffer() { return nullptr; }
    virtual const TVariantArray *KeyBuffer() const { return nullptr; }
    // Ends the SetKey state: commit applies the key buffer, otherwise it is restored.
    virtual void PostKeyBuffer(bool commit);

    // Called first by a descendant's destructor, before it closes: the data set no longer tells
    // anyone it is closing, and Destroying() holds.
    void BeginDestroy() { FDestroying = true; }
    void CheckActive() const;
    void CheckInactive() const;
    void CheckCanModify() const;
    void SetState(TDataSetState value);
    void DataEvent(TDataEvent event, TField *field = nullptr, int info = 0);
    // After the records under the cursor changed: tells the controls to show them again.
    void Resync();
    // After the descendant repositioned the cursor by itself (a new range, a refilled detail).
    void CursorRepositioned(bool bof, bool eof);
    void InvalidateCalcFields() { FCalcValid = false; }

private:
    void CreateFields(const std::vector<TFieldDef> &available);
    void DestroyDataFields();
    void CheckOperation(const std::function<void()> &operation, const TDataSetErrorEvent &onError);
    void BeginInsertAppend();
    void EndInsertAppend();
    void CalculateFields() const;
    void DoAfterScroll();

    QString FName;
    std::vector<std::unique_ptr<TField>> FFields;
    QStringList FFieldNames;
    std::vector<TFieldDef> FCalcDefs;
    int FDataFieldCount = 0;

    TDataSetState FState = TDataSetState::Inactive;
    bool FBof = true;
    bool FEof = true;
    bool FModified = false;
    bool FReadOnly = false;
    bool FDestroying = false;
    bool FLoading = false;
    bool FInOpenClose = false;

    TVariantArray FEditBuffer;
    std::vector<bool> FAssigned;
    mutable TVariantArray FCalcBuffer;
    mutable bool FCalcValid = false;
    mutable bool FCalculating = false;

    int FDisableCount = 0;
    TDataSetState FDisableState = TDataSetState::Inactive;
    TDataEvent FEnableEvent = TDataEvent::DataSetChange;

    std::vector<TDataSource *> FDataSources;
};

// The bound controls of a data set stay still for as long as this lives, whatever is raised.
class TControlsDisabled
{
public:
    explicit TControlsDisabled(TDataSet &dataSet) : FDataSet(dataSet) { FDataSet.DisableControls(); }
    ~TControlsDisabled() { FDataSet.EnableControls(); }
    TControlsDisabled(const TControlsDisabled &) = delete;
    TControlsDisabled &operator=(const TControlsDisabled &) = delete;

private:
    TDataSet &FDataSet;
};
