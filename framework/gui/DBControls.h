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
//
// Laying out text is slow for long texts and very slow for long runs without a break, so a text
// over ShownLimit characters shows only its beginning, and control characters show as their
// symbols. Such a view is not the stored text: it is read-only, and a notice under it offers the
// whole text (ShowAll), which can then be edited unless it holds control characters.
class TDBMemo : public QPlainTextEdit
{
    Q_OBJECT

public:
    static constexpr qsizetype ShownLimit = 64 * 1024;

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
    // Whether what is shown differs from the field's text (shortened or with symbols).
    bool Capped() const { return FCapped; }
    // Shows the whole text of the current value.
    void ShowAll();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void DataChange();
    void UpdateReadOnly();
    void UpdateNotice(bool shortened, bool symbols);

    TFieldDataLink FDataLink;
    bool FFocused = false;
    bool FLoading = false;
    bool FCapped = false;
    // The value the user asked to see whole; another value is capped again.
    QString FShownWhole;
    QLabel *FNotice = nullptr;
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
