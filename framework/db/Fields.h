#pragma once

#include "Events.h"
#include "FieldTypes.h"
#include "Variants.h"

#include <QString>

class TDataSet;
class TField;

enum class TFieldKind { Data, Calculated };

// (Sender, Text, DisplayText): DisplayText is true when the text is for showing, false for editing.
using TFieldGetTextEvent = TEvent<TField *, QString &, bool>;

// One column of a data set. A field holds no value of its own: it reads and writes the data set's
// current record (or the edit buffer, or a key buffer, by the data set's state).
class TField
{
public:
    TField(TDataSet *dataSet, QString fieldName, TFieldType dataType, int size, TFieldKind kind);
    TField(const TField &) = delete;
    TField &operator=(const TField &) = delete;

    TDataSet *DataSet() const { return FDataSet; }
    const QString &FieldName() const { return FFieldName; }
    TFieldType DataType() const { return FDataType; }
    int Size() const { return FSize; }
    TFieldKind FieldKind() const { return FFieldKind; }
    // Position among the data set's fields, 0-based.
    int Index() const { return FIndex; }
    bool IsBlob() const { return FDataType == TFieldType::Blob || FDataType == TFieldType::Memo; }
    bool IsNumeric() const;
    bool IsInteger() const;

    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }
    // Whether a value can be written now: the field and its data set allow it.
    bool CanModify() const;

    const QString &DisplayLabel() const { return FDisplayLabel.isEmpty() ? FFieldName : FDisplayLabel; }
    void SetDisplayLabel(const QString &value) { FDisplayLabel = value; }
    const QString &DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const QString &value) { FDisplayFormat = value; }

    TFieldGetTextEvent OnGetText;

    // The value, typed as the field's type (Null when empty).
    TVariant Value() const;
    // Converts the value to the field's type and writes it; text longer than a string field's
    // size is cut to that size.
    void SetValue(const TVariant &value);
    bool IsNull() const { return Value().IsEmptyOrNull(); }
    void Clear() { SetValue(TVariant::Null()); }

    QString AsString() const;
    void SetAsString(const QString &value);
    int AsInteger() const;
    void SetAsInteger(int value);
    qint64 AsLargeInt() const;
    void SetAsLargeInt(qint64 value);
    double AsFloat() const;
    void SetAsFloat(double value);
    TDateTime AsDateTime() const;
    void SetAsDateTime(TDateTime value);
    bool AsBoolean() const;
    void SetAsBoolean(bool value);
    QByteArray AsBytes() const;
    void SetAsBytes(const QByteArray &value);

    // The text a control shows: the get-text handler's, else the value in the display format.
    QString DisplayText() const;
    // The text an editor starts with: the get-text handler's for editing, else AsString.
    QString Text() const;

    // The value converted to this field's type, as SetValue stores it.
    TVariant Convert(const TVariant &value) const;

private:
    friend class TDataSet;
    QString FormattedText() const;

    TDataSet *FDataSet;
    QString FFieldName;
    TFieldType FDataType;
    int FSize;
    TFieldKind FFieldKind;
    int FIndex = -1;
    bool FReadOnly = false;
    QString FDisplayLabel;
    QString FDisplayFormat;
};
