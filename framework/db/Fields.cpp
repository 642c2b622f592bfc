#include "Fields.h"

#include "DataSets.h"
#include "FormatFloat.h"

#include <QLocale>
#include <limits>

TField::TField(TDataSet *dataSet, QString fieldName, TFieldType dataType, int size, TFieldKind kind)
    : FDataSet(dataSet), FFieldName(std::move(fieldName)), FDataType(dataType), FSize(size), FFieldKind(kind)
{}

bool TField::IsInteger() const
{
    switch (FDataType) {
    case TFieldType::Smallint:
    case TFieldType::Integer:
    case TFieldType::AutoInc:
    case TFieldType::Largeint:
        return true;
    default:
        return false;
    }
}

bool TField::IsNumeric() const
{
    return IsInteger() || FDataType == TFieldType::Float || FDataType == TFieldType::Currency;
}

bool TField::CanModify() const
{
    return !FReadOnly && FFieldKind == TFieldKind::Data && FDataSet->CanModify();
}

TVariant TField::Value() const
{
    return FDataSet->GetFieldValue(this);
}

void TField::SetValue(const TVariant &value)
{
    FDataSet->SetFieldValue(this, value);
}

namespace {

TVariant checkedRange(const TField &field, qint64 value, qint64 low, qint64 high)
{
    if (value < low || value > high)
        throw EDatabaseError(
            QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
                .arg(value)
                .arg(field.FieldName())
                .arg(low)
                .arg(high));
    return TVariant(qint64(value));
}

} // namespace

TVariant TField::Convert(const TVariant &value) const
{
    if (value.IsEmptyOrNull())
        return TVariant::Null();
    // A text that says nothing is no value, for every type but text itself.
    if (value.VarType() == TVarType::String && value.AsString().isEmpty() &&
        FDataType != TFieldType::String && FDataType != TFieldType::Memo)
        return TVariant::Null();
    switch (FDataType) {
    case TFieldType::Smallint:
        return TVariant(qint16(checkedRange(*this, value.AsInt64(), -32768, 32767).AsInt64()));
    case TFieldType::Integer:
    case TFieldType::AutoInc:
        return TVariant(qint32(checkedRange(*this, value.AsInt64(), std::numeric_limits<qint32>::min(),
                                            std::numeric_limits<qint32>::max())
                                   .AsInt64()));
    case TFieldType::Largeint:
        return TVariant(qint64(value.AsInt64()));
    case TFieldType::Boolean:
        return TVariant(value.AsBoolean());
    case TFieldType::Float:
        return TVariant(value.AsDouble());
    case TFieldType::Currency:
        return TVariant(value.AsCurrency());
    case TFieldType::DateTime:
        return TVariant(value.AsDateTime());
    case TFieldType::String: {
        QString text = value.AsString();
        if (FSize > 0 && text.size() > FSize)
            text.truncate(FSize);
        return TVariant(std::move(text));
    }
    case TFieldType::Memo:
        return TVariant(value.AsString());
    case TFieldType::Blob:
        return TVariant(value.AsBytes());
    case TFieldType::Unknown:
        break;
    }
    return value;
}

QString TField::AsString() const
{
    const TVariant value = Value();
    if (value.IsEmptyOrNull())
        return QString();
    if (FDataType == TFieldType::Blob)
        return QString::fromLatin1(value.AsBytes());
    return value.AsString();
}

void TField::SetAsString(const QString &value)
{
    SetValue(TVariant(value));
}

int TField::AsInteger() const
{
    const TVariant value = Value();
    return value.IsEmptyOrNull() ? 0 : value.AsInteger();
}

void TField::SetAsInteger(int value)
{
    SetValue(TVariant(qint32(value)));
}

qint64 TField::AsLargeInt() const
{
    const TVariant value = Value();
    return value.IsEmptyOrNull() ? 0 : value.AsInt64();
}

void TField::SetAsLargeInt(qint64 value)
{
    SetValue(TVariant(value));
}

double TField::AsFloat() const
{
    const TVariant value = Value();
    return value.IsEmptyOrNull() ? 0.0 : value.AsDouble();
}

void TField::SetAsFloat(double value)
{
    SetValue(TVariant(value));
}

TDateTime TField::AsDateTime() const
{
    const TVariant value = Value();
    return value.IsEmptyOrNull() ? TDateTime{} : value.AsDateTime();
}

void TField::SetAsDateTime(TDateTime value)
{
    SetValue(TVariant(value));
}

bool TField::AsBoolean() const
{
    const TVariant value = Value();
    return value.IsEmptyOrNull() ? false : value.AsBoolean();
}

void TField::SetAsBoolean(bool value)
{
    SetValue(TVariant(value));
}

QByteArray TField::AsBytes() const
{
    return Value().AsBytes();
}

void TField::SetAsBytes(const QByteArray &value)
{
    SetValue(TVariant(value));
}

QString TField::FormattedText() const
{
    const TVariant value = Value();
    if (value.IsEmptyOrNull())
        return QString();
    if (!FDisplayFormat.isEmpty() && IsNumeric())
        return FormatFloat(FDisplayFormat, value.AsDouble());
    if (FDataType == TFieldType::DateTime && !FDisplayFormat.isEmpty())
        return QLocale().toString(value.AsDateTime().ToQDateTime(), FDisplayFormat);
    return AsString();
}

QString TField::DisplayText() const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField *>(this), text, true);
        return text;
    }
    return FormattedText();
}

QString TField::Text() const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField *>(this), text, false);
        return text;
    }
    return AsString();
}
