#pragma once

#include "DataSources.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

// Controls that show one field of the current record of a data source and, where they can, edit
// it. Typing starts editing through the data source, so its AutoEdit decides whether a key is
// taken; a control is read-only while the data set, the field or the control itself forbids
// changes. What the user typed reaches the field when the data set posts or when the control
// loses the focus; Escape gives back the field's value.

class TDBEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TDBEdit(QWidget *parent = nullptr);

    TDataSource *DataSource() const { return FDataLink.DataSource(); }
    void SetDataSource(TDataSource *value);
    const QString &DataField() const { return FDataLink.FieldName(); }
    void SetDataField(const QString &value);
    TField *Field() const { return FDataLink.Field(); }
    bool ReadOnly() const { return FDataLink.ReadOnly(); }
    void SetReadOnly(bool value);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void DataChange();
    void UpdateReadOnly();

    TFieldDataLink FDataLink;
    bool FFocused = false;
};

// A memo for a TEXT field (or a string field): word-wrapped, with a vertical scroll bar when the
// text needs one. Tab moves the focus on, as in any other control of a form.
class TDBMemo : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit TDBMemo(QWidget *parent = nullptr);

    TDataSource *DataSource() const { return FDataLink.DataSource(); }
    void SetDataSource(TDataSource *value);
    const QString &DataField() const { return FDataLink.FieldName(); }
    void SetDataField(const QString &value);
    TField *Field() const { return FDataLink.Field(); }
    bool ReadOnly() const { return FDataLink.ReadOnly(); }
    void SetReadOnly(bool value);
    bool WordWrap() const { return lineWrapMode() != NoWrap; }
    void SetWordWrap(bool value);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void DataChange();
    void UpdateReadOnly();

    TFieldDataLink FDataLink;
    bool FFocused = false;
    bool FLoading = false;
};

// A label showing the field's display text. It never edits, so it is always read-only.
class TDBText : public QLabel
{
    Q_OBJECT

public:
    explicit TDBText(QWidget *parent = nullptr);

    TDataSource *DataSource() const { return FDataLink.DataSource(); }
    void SetDataSource(TDataSource *value);
    const QString &DataField() const { return FDataLink.FieldName(); }
    void SetDataField(const QString &value);
    TField *Field() const { return FDataLink.Field(); }
    bool ReadOnly() const { return true; }

private:
    void DataChange();

    TFieldDataLink FDataLink;
};

// A check box over a Boolean field, or over a text field whose texts for checked and unchecked are
// ValueChecked and ValueUnchecked (each may list several texts separated by ";", the first is the
// one written). A null field, or a text matching neither, shows the grayed state.
class TDBCheckBox : public QCheckBox
{
    Q_OBJECT

public:
    explicit TDBCheckBox(QWidget *parent = nullptr);

    TDataSource *DataSource() const { return FDataLink.DataSource(); }
    void SetDataSource(TDataSource *value);
    const QString &DataField() const { return FDataLink.FieldName(); }
    void SetDataField(const QString &value);
    TField *Field() const { return FDataLink.Field(); }
    bool ReadOnly() const { return FDataLink.ReadOnly(); }
    void SetReadOnly(bool value);
    const QString &ValueChecked() const { return FValueChecked; }
    void SetValueChecked(const QString &value);
    const QString &ValueUnchecked() const { return FValueUnchecked; }
    void SetValueUnchecked(const QString &value);
    // Whether a click can also lead to the grayed (null) state.
    bool AllowGrayed() const { return FAllowGrayed; }
    void SetAllowGrayed(bool value) { FAllowGrayed = value; }

protected:
    void nextCheckState() override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void DataChange();
    void UpdateData();
    Qt::CheckState FieldState() const;

    TFieldDataLink FDataLink;
    QString FValueChecked = QStringLiteral("True");
    QString FValueUnchecked = QStringLiteral("False");
    bool FAllowGrayed = false;
};
