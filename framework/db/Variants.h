#pragma once

#include "DateTimes.h"
#include "SysUtils.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

// The kinds of value a field, a parameter or a key element can hold. A 16-bit and a 32-bit integer
// are different kinds (a key read from a 16-bit column never equals one made of plain integers), and
// null is a kind of its own, distinct from unassigned.
enum class TVarType {
    Empty,
    Null,
    Smallint,
    Integer,
    Int64,
    Double,
    Currency,
    Date,
    String,
    Boolean,
    Bytes,
    Array
};

// A fixed-point amount with four decimals, kept as the amount times 10,000.
struct TCurrency
{
    qint64 Scaled = 0;

    static TCurrency FromDouble(double value);
    double ToDouble() const { return double(Scaled) / 10000.0; }
    friend bool operator==(TCurrency, TCurrency) = default;
    friend auto operator<=>(TCurrency, TCurrency) = default;
};

class TVariant;
using TVariantArray = std::vector<TVariant>;

class TVariant
{
public:
    TVariant() = default;
    TVariant(qint16 value) : FValue(value) {}
    TVariant(qint32 value) : FValue(value) {}
    TVariant(long value) : FValue(Int64Box{qint64(value)}) {}
    TVariant(long long value) : FValue(Int64Box{qint64(value)}) {}
    TVariant(double value) : FValue(value) {}
    TVariant(TCurrency value) : FValue(value) {}
    TVariant(TDateTime value) : FValue(value) {}
    TVariant(const QString &value) : FValue(value) {}
    TVariant(QString &&value) : FValue(std::move(value)) {}
    TVariant(bool value) : FValue(value) {}
    TVariant(const QByteArray &value) : FValue(value) {}
    TVariant(TVariantArray elements) : FValue(std::make_shared<const TVariantArray>(std::move(elements))) {}
    // Keeps pointers (and so C strings) from silently becoming Booleans.
    TVariant(const char *) = delete;
    TVariant(const void *) = delete;

    static TVariant Null()
    {
        TVariant v;
        v.FValue = NullTag{};
        return v;
    }
    static TVariant Array(std::initializer_list<TVariant> elements)
    {
        return TVariant(TVariantArray(elements));
    }

    TVarType VarType() const { return TVarType(FValue.index()); }
    bool IsEmpty() const { return VarType() == TVarType::Empty; }
    bool IsNull() const { return VarType() == TVarType::Null; }
    bool IsEmptyOrNull() const { return IsEmpty() || IsNull(); }
    bool IsArray() const { return VarType() == TVarType::Array; }
    bool IsOrdinal() const; // Smallint, Integer, Int64 or Boolean
    bool IsNumeric() const; // ordinal (not Boolean), Double or Currency

    // Conversions raise EVariantError for a kind that has no such form (an array as a number) and
    // EConvertError for a text that does not read as the number asked for.
    qint64 AsInt64() const;
    int AsInteger() const;
    double AsDouble() const;
    QString AsString() const;
    bool AsBoolean() const;
    TDateTime AsDateTime() const;
    TCurrency AsCurrency() const;
    QByteArray AsBytes() const;

    // Array access: the elements of an array value (low bound 0).
    const TVariantArray &Elements() const;
    qsizetype Count() const { return IsArray() ? Elements().size() : 0; }
    const TVariant &operator[](qsizetype i) const { return Elements().at(size_t(i)); }

    // Same kind and same value (arrays element by element); unassigned equals unassigned.
    friend bool operator==(const TVariant &a, const TVariant &b);

    static QString TypeName(TVarType type);
    QString DebugText() const; // for test failure messages

private:
    struct NullTag
    {
        friend bool operator==(NullTag, NullTag) { return true; }
    };
    // qint64 and long long may be the same type on some ABIs and not on others; a box keeps the
    // variant's alternatives distinct everywhere.
    struct Int64Box
    {
        qint64 Value;
        friend bool operator==(Int64Box a, Int64Box b) { return a.Value == b.Value; }
    };
    using ArrayPtr = std::shared_ptr<const TVariantArray>;

    // Alternative order equals TVarType.
    std::variant<std::monostate, NullTag, qint16, qint32, Int64Box, double, TCurrency, TDateTime, QString,
                 bool, QByteArray, ArrayPtr>
        FValue;

    [[noreturn]] void CastError(TVarType target) const;
};
