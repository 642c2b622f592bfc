#pragma once

#include "DataSets.h"

#include <vector>

class TDataLink;

using TDataChangeEvent = TEvent<TDataSource *, TField *>;

// The meeting point of one data set and the controls bound to it: it passes the data set's
// notifications on to its data links and lets a control start editing when AutoEdit allows.
class TDataSource
{
public:
    TDataSource() = default;
    explicit TDataSource(TDataSet *dataSet) { SetDataSet(dataSet); }
    ~TDataSource();
    TDataSource(const TDataSource &) = delete;
    TDataSource &operator=(const TDataSource &) = delete;

    const QString &Name() const { return FName; }
    void SetName(const QString &value) { FName = value; }

    TDataSet *DataSet() const { return FDataSet; }
    void SetDataSet(TDataSet *value);
    bool AutoEdit() const { return FAutoEdit; }
    void SetAutoEdit(bool value) { FAutoEdit = value; }
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    TDataSetState State() const { return FState; }

    // Puts the data set into edit mode when AutoEdit allows and it is browsing.
    void Edit();

    TDataChangeEvent OnDataChange;
    TEvent<TDataSource *> OnStateChange;
    TEvent<TDataSource *> OnUpdateData;

    // Used by TDataSet and TDataLink.
    void DataEvent(TDataEvent event, TField *field, int info);
    void AddDataLink(TDataLink *link);
    void RemoveDataLink(TDataLink *link);
    void DataSetDestroyed();

private:
    void UpdateState();

    QString FName;
    TDataSet *FDataSet = nullptr;
    bool FAutoEdit = true;
    bool FEnabled = true;
    TDataSetState FState = TDataSetState::Inactive;
    std::vector<TDataLink *> FDataLinks;
};

// A control's connection to a data source. Descendants override the notifications they care
// about; the defaults pass a data-set change on as a record change without a field, as controls
// showing one record expect.
class TDataLink
{
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink &) = delete;
    TDataLink &operator=(const TDataLink &) = delete;

    TDataSource *DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource *value);
    TDataSet *DataSet() const { return FDataSource ? FDataSource->DataSet() : nullptr; }
    bool Active() const { return FActive; }
    bool Editing() const { return FEditing; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);

    // Asks the data source to start editing; true when the data set is editing afterwards.
    bool Edit();
    // Makes the data set ask the controls for their pending edits.
    void UpdateRecord();
    // Links of a detail data set hear of a change before the controls do, so that the controls
    // see the detail already following its master.
    virtual bool IsDetailLink() const { return false; }

    // Used by TDataSource.
    void DataEvent(TDataEvent event, TField *field, int info);

protected:
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int /*distance*/) { DataSetChanged(); }
    virtual void EditingChanged() {}
    virtual void FocusControl(TField * /*field*/) {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField * /*field*/) {}
    virtual void UpdateData() {}

private:
    friend class TDataSource;
    void UpdateState();
    void SetActive(bool value);
    void SetEditing(bool value);
    void Detach();

    TDataSource *FDataSource = nullptr;
    bool FActive = false;
    bool FEditing = false;
    bool FReadOnly = false;
    bool FUpdating = false;
};

// A data link for a control that shows one field of the current record.
class TFieldDataLink : public TDataLink
{
public:
    const QString &FieldName() const { return FFieldName; }
    void SetFieldName(const QString &value);
    TField *Field() const { return FField; }
    bool CanModify() const;
    // True when the data set is editing afterwards (and the field may be written).
    bool Edit();
    // The control changed its text: the field is written at the next update.
    void Modified() { FModified = true; }
    // Discards the control's change and shows the field's value again.
    void Reset();
    bool IsModified() const { return FModified; }

    TEvent<TFieldDataLink *> OnDataChange;
    TEvent<TFieldDataLink *> OnEditingChange;
    TEvent<TFieldDataLink *> OnUpdateData;
    TEvent<TFieldDataLink *> OnActiveChange;

protected:
    void ActiveChanged() override;
    void EditingChanged() override;
    void LayoutChanged() override;
    void RecordChanged(TField *field) override;
    void UpdateData() override;
    void FocusControl(TField *field) override;

private:
    void UpdateField();

    QString FFieldName;
    TField *FField = nullptr;
    bool FModified = false;
};
