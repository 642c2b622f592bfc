#include "Variants.h"

#include <QLocale>
#include <cmath>
#include <limits>

TCurrency TCurrency::FromDouble(double value)
{
    return TCurrency{qint64(std::llround(value * 10000.0))};
}

bool TVariant::IsOrdinal() const
{
    switch (VarType()) {
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
    case TVarType::Boolean:
        return true;
    default:
        return false;
    }
}

bool TVariant::IsNumeric() const
{
    switch (VarType()) {
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
    case TVarType::Double:
    case TVarType::Currency:
        return true;
    default:
        return false;
    }
}

QString TVariant::TypeName(TVarType type)
{
    switch (type) {
    case TVarType::Empty:
        return QStringLiteral("Empty");
    case TVarType::Null:
        return QStringLiteral("Null");
    case TVarType::Smallint:
        return QStringLiteral("Smallint");
    case TVarType::Integer:
        return QStringLiteral("Integer");
    case TVarType::Int64:
        return QStringLiteral("Int64");
    case TVarType::Double:
        return QStringLiteral("Double");
    case TVarType::Currency:
        return QStringLiteral("Currency");
    case TVarType::Date:
        return QStringLiteral("Date");
    case TVarType::String:
        return QStringLiteral("String");
    case TVarType::Boolean:
        return QStringLiteral("Boolean");
    case TVarType::Bytes:
        return QStringLiteral("Bytes");
    case TVarType::Array:
        return QStringLiteral("Array");
    }
    return QStringLiteral("Unknown");
}

void TVariant::CastError(TVarType target) const
{
    throw EVariantError(QStringLiteral("Could not convert variant of type (%1) into type (%2)")
                            .arg(TypeName(VarType()), TypeName(target)));
}

namespace {

qint64 roundToInt64(double value)
{
    // Halves go to the even neighbour, as the rest of the program rounds.
    const double r = std::nearbyint(value);
    if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18))
        throw EConvertError(QStringLiteral("Invalid floating point operation"));
    return qint64(r);
}

// The locale's short date with a four-digit year and its long time without the zone name: the
// form a date is written in and read back from. The locale's own short forms read "5/6/24" as 1924
// and a catalogue time has no zone to name.
QString dateFormat(const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

QString timeFormat(const QLocale &locale)
{
    QString format;
    bool quoted = false;
    for (const QChar c : locale.timeFormat(QLocale::LongFormat)) {
        if (c == u'\'')
            quoted = !quoted;
        if (quoted || c != u't')
            format += c;
    }
    return format.simplified();
}

} // namespace

qint64 TVariant::AsInt64() const
{
    switch (VarType()) {
    case TVarType::Smallint:
        return std::get<qint16>(FValue);
    case TVarType::Integer:
        return std::get<qint32>(FValue);
    case TVarType::Int64:
        return std::get<Int64Box>(FValue).Value;
    case TVarType::Boolean:
        return std::get<bool>(FValue) ? -1 : 0;
    case TVarType::Double:
        return roundToInt64(std::get<double>(FValue));
    case TVarType::Currency:
        return roundToInt64(std::get<TCurrency>(FValue).ToDouble());
    case TVarType::Date:
        return roundToInt64(std::get<TDateTime>(FValue).Value);
    case TVarType::String: {
        bool ok = false;
        const QString &text = std::get<QString>(FValue);
        const qint64 value = text.trimmed().toLongLong(&ok);
        if (!ok)
            throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
        return value;
    }
    default:
        CastError(TVarType::Int64);
    }
}

int TVariant::AsInteger() const
{
    const qint64 value = AsInt64();
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(value));
    return int(value);
}

double TVariant::AsDouble() const
{
    switch (VarType()) {
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
    case TVarType::Boolean:
        return double(AsInt64());
    case TVarType::Double:
        return std::get<double>(FValue);
    case TVarType::Currency:
        return std::get<TCurrency>(FValue).ToDouble();
    case TVarType::Date:
        return std::get<TDateTime>(FValue).Value;
    case TVarType::String: {
        bool ok = false;
        const QString &text = std::get<QString>(FValue);
        const double value = text.trimmed().toDouble(&ok);
        if (!ok)
            throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
        return value;
    }
    default:
        CastError(TVarType::Double);
    }
}

TCurrency TVariant::AsCurrency() const
{
    if (VarType() == TVarType::Currency)
        return std::get<TCurrency>(FValue);
    if (IsOrdinal())
        return TCurrency{AsInt64() * 10000};
    return TCurrency::FromDouble(AsDouble());
}

QString TVariant::AsString() const
{
    switch (VarType()) {
    case TVarType::Empty:
    case TVarType::Null:
        return QString();
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
        return QString::number(AsInt64());
    case TVarType::Double:
        return QString::number(std::get<double>(FValue), 'g', 15);
    case TVarType::Currency: {
        // Plain form with the decimals it needs, like the engine writes it.
        const QString text = QString::number(std::get<TCurrency>(FValue).ToDouble(), 'f', 4);
        QString trimmed = text;
        while (trimmed.endsWith(u'0'))
            trimmed.chop(1);
        if (trimmed.endsWith(u'.'))
            trimmed.chop(1);
        return trimmed;
    }
    case TVarType::Date: {
        const TDateTime value = std::get<TDateTime>(FValue);
        const QLocale locale;
        const QTime time = value.Time();
        QString text = locale.toString(value.Date(), dateFormat(locale));
        if (time != QTime(0, 0))
            text += u' ' + locale.toString(time, timeFormat(locale));
        return text;
    }
    case TVarType::String:
        return std::get<QString>(FValue);
    case TVarType::Boolean:
        return std::get<bool>(FValue) ? QStringLiteral("True") : QStringLiteral("False");
    case TVarType::Bytes:
        return QString::fromUtf8(std::get<QByteArray>(FValue));
    case TVarType::Array:
        CastError(TVarType::String);
    }
    return QString();
}

bool TVariant::AsBoolean() const
{
    switch (VarType()) {
    case TVarType::Boolean:
        return std::get<bool>(FValue);
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
        return AsInt64() != 0;
    case TVarType::Double:
        return std::get<double>(FValue) != 0.0;
    case TVarType::Currency:
        return std::get<TCurrency>(FValue).Scaled != 0;
    case TVarType::String: {
        const QString text = std::get<QString>(FValue).trimmed();
        if (text.compare(u"true", Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(u"false", Qt::CaseInsensitive) == 0)
            return false;
        bool ok = false;
        const double number = text.toDouble(&ok);
        if (!ok)
            throw EConvertError(QStringLiteral("'%1' is not a valid boolean value").arg(text));
        return number != 0.0;
    }
    default:
        CastError(TVarType::Boolean);
    }
}

TDateTime TVariant::AsDateTime() const
{
    switch (VarType()) {
    case TVarType::Date:
        return std::get<TDateTime>(FValue);
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
    case TVarType::Double:
    case TVarType::Currency:
        return TDateTime{AsDouble()};
    case TVarType::String: {
        TDateTime result;
        const QString &text = std::get<QString>(FValue);
        if (TDateTime::FromText(text, result))
            return result;
        const QLocale locale;
        QDateTime parsed = locale.toDateTime(text, dateFormat(locale) + u' ' + timeFormat(locale));
        if (!parsed.isValid())
            parsed = locale.toDateTime(text, QLocale::ShortFormat);
        if (!parsed.isValid()) {
            QDate date = locale.toDate(text, dateFormat(locale));
            if (!date.isValid())
                date = locale.toDate(text, QLocale::ShortFormat);
            if (date.isValid())
                parsed = QDateTime(date, QTime(0, 0));
        }
        if (!parsed.isValid())
            throw EConvertError(QStringLiteral("'%1' is not a valid date and time").arg(text));
        return TDateTime::FromQDateTime(parsed);
    }
    default:
        CastError(TVarType::Date);
    }
}

QByteArray TVariant::AsBytes() const
{
    switch (VarType()) {
    case TVarType::Bytes:
        return std::get<QByteArray>(FValue);
    case TVarType::Empty:
    case TVarType::Null:
        return QByteArray();
    case TVarType::String:
        return std::get<QString>(FValue).toUtf8();
    default:
        CastError(TVarType::Bytes);
    }
}

const TVariantArray &TVariant::Elements() const
{
    if (!IsArray())
        CastError(TVarType::Array);
    return *std::get<ArrayPtr>(FValue);
}

bool operator==(const TVariant &a, const TVariant &b)
{
    if (a.VarType() != b.VarType())
        return false;
    if (a.IsArray())
        return a.Elements() == b.Elements();
    return a.FValue == b.FValue;
}

QString TVariant::DebugText() const
{
    switch (VarType()) {
    case TVarType::Empty:
        return QStringLiteral("Unassigned");
    case TVarType::Null:
        return QStringLiteral("Null");
    case TVarType::Array: {
        QStringList parts;
        for (const TVariant &element : Elements())
            parts << element.DebugText();
        return u'[' + parts.join(QStringLiteral(", ")) + u']';
    }
    case TVarType::Date:
        return TypeName(VarType()) + u'(' + std::get<TDateTime>(FValue).ToText() + u')';
    case TVarType::Bytes:
        return TypeName(VarType()) + u'(' + QString::number(std::get<QByteArray>(FValue).size()) + u')';
    default:
        return TypeName(VarType()) + u'(' + AsString() + u')';
    }
}
