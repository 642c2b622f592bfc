#include "DateTimes.h"
#include "Variants.h"

#include <QTest>
#include <limits>

Q_DECLARE_METATYPE(TVariant)
Q_DECLARE_METATYPE(TVarType)
Q_DECLARE_METATYPE(TDateTime)

char *toString(const TVariant &value)
{
    return QTest::toString(value.DebugText());
}

char *toString(TVarType type)
{
    return QTest::toString(TVariant::TypeName(type));
}

char *toString(TDateTime value)
{
    return QTest::toString(value.ToText() + QStringLiteral(" (%1)").arg(value.Value, 0, 'g', 17));
}

namespace {

TVariant convert(const TVariant &value, TVarType target)
{
    switch (target) {
    case TVarType::Int64:
        return TVariant(value.AsInt64());
    case TVarType::Integer:
        return TVariant(value.AsInteger());
    case TVarType::Double:
        return TVariant(value.AsDouble());
    case TVarType::Currency:
        return TVariant(value.AsCurrency());
    case TVarType::String:
        return TVariant(value.AsString());
    case TVarType::Boolean:
        return TVariant(value.AsBoolean());
    case TVarType::Date:
        return TVariant(value.AsDateTime());
    case TVarType::Bytes:
        return TVariant(value.AsBytes());
    default:
        throw std::logic_error("no such conversion");
    }
}

TVariant str(const char *text)
{
    return TVariant(QString::fromUtf8(text));
}

} // namespace

class TestVariants : public QObject
{
    Q_OBJECT

private slots:
    void Kinds_data();
    void Kinds();
    void Conversions_data();
    void Conversions();
    void ConversionErrors_data();
    void ConversionErrors();
    void Equality_data();
    void Equality();
    void ArrayAccess();
    void DateAsLocalText_data();
    void DateAsLocalText();

    void DateTimeParts_data();
    void DateTimeParts();
    void DateTimeShortTexts_data();
    void DateTimeShortTexts();
    void DateTimeRejectsText_data();
    void DateTimeRejectsText();
    void DateTimeRejectsImpossibleParts();
    void DateTimeMSecs_data();
    void DateTimeMSecs();
    void DateTimeNegativeValues_data();
    void DateTimeNegativeValues();
    void DateTimeOrdering();
    void DateTimeQDateTime();
};

void TestVariants::Kinds_data()
{
    QTest::addColumn<TVariant>("value");
    QTest::addColumn<TVarType>("type");
    QTest::addColumn<QString>("typeName");
    QTest::addColumn<bool>("ordinal");
    QTest::addColumn<bool>("numeric");

    QTest::newRow("unassigned") << TVariant() << TVarType::Empty << QStringLiteral("Empty") << false << false;
    QTest::newRow("null") << TVariant::Null() << TVarType::Null << QStringLiteral("Null") << false << false;
    QTest::newRow("qint16") << TVariant(qint16(5)) << TVarType::Smallint << QStringLiteral("Smallint") << true
                            << true;
    QTest::newRow("literal 5") << TVariant(5) << TVarType::Integer << QStringLiteral("Integer") << true
                               << true;
    QTest::newRow("qint64") << TVariant(qint64(5)) << TVarType::Int64 << QStringLiteral("Int64") << true
                            << true;
    QTest::newRow("long") << TVariant(5L) << TVarType::Int64 << QStringLiteral("Int64") << true << true;
    QTest::newRow("long long") << TVariant(5LL) << TVarType::Int64 << QStringLiteral("Int64") << true << true;
    QTest::newRow("double") << TVariant(2.5) << TVarType::Double << QStringLiteral("Double") << false << true;
    QTest::newRow("currency") << TVariant(TCurrency{12345}) << TVarType::Currency
                              << QStringLiteral("Currency") << false << true;
    QTest::newRow("date") << TVariant(TDateTime::FromParts(2024, 5, 6)) << TVarType::Date
                          << QStringLiteral("Date") << false << false;
    QTest::newRow("string") << str("x") << TVarType::String << QStringLiteral("String") << false << false;
    QTest::newRow("empty string") << TVariant(QString()) << TVarType::String << QStringLiteral("String")
                                  << false << false;
    QTest::newRow("bool") << TVariant(true) << TVarType::Boolean << QStringLiteral("Boolean") << true
                          << false;
    QTest::newRow("bytes") << TVariant(QByteArray("a\0b", 3)) << TVarType::Bytes << QStringLiteral("Bytes")
                           << false << false;
    QTest::newRow("array") << TVariant::Array({1, str("a")}) << TVarType::Array << QStringLiteral("Array")
                           << false << false;
    QTest::newRow("empty array") << TVariant(TVariantArray()) << TVarType::Array << QStringLiteral("Array")
                                 << false << false;
}

void TestVariants::Kinds()
{
    QFETCH(TVariant, value);
    QFETCH(TVarType, type);
    QFETCH(QString, typeName);
    QFETCH(bool, ordinal);
    QFETCH(bool, numeric);
    QCOMPARE(value.VarType(), type);
    QCOMPARE(TVariant::TypeName(value.VarType()), typeName);
    QCOMPARE(value.IsEmpty(), type == TVarType::Empty);
    QCOMPARE(value.IsNull(), type == TVarType::Null);
    QCOMPARE(value.IsEmptyOrNull(), type == TVarType::Empty || type == TVarType::Null);
    QCOMPARE(value.IsArray(), type == TVarType::Array);
    QCOMPARE(value.IsOrdinal(), ordinal);
    QCOMPARE(value.IsNumeric(), numeric);
    const TVariant copy = value;
    QCOMPARE(copy, value);
}

void TestVariants::Conversions_data()
{
    QTest::addColumn<TVariant>("value");
    QTest::addColumn<TVarType>("target");
    QTest::addColumn<TVariant>("expected");

    const qint64 int64Max = std::numeric_limits<qint64>::max();
    const TDateTime noon = TDateTime::FromParts(1899, 12, 31, 12);
    const TDateTime stamp = TDateTime::FromParts(2023, 2, 28, 10, 11, 12, 345);

    // Each kind read as itself gives back what went in.
    QTest::newRow("smallint min") << TVariant(qint16(-32768)) << TVarType::Int64 << TVariant(qint64(-32768));
    QTest::newRow("integer min") << TVariant(std::numeric_limits<int>::min()) << TVarType::Integer
                                 << TVariant(std::numeric_limits<int>::min());
    QTest::newRow("int64 max") << TVariant(int64Max) << TVarType::Int64 << TVariant(int64Max);
    QTest::newRow("double") << TVariant(0.1) << TVarType::Double << TVariant(0.1);
    QTest::newRow("currency") << TVariant(TCurrency{-12345}) << TVarType::Currency
                              << TVariant(TCurrency{-12345});
    QTest::newRow("date") << TVariant(stamp) << TVarType::Date << TVariant(stamp);
    QTest::newRow("string") << str("Größe ✓") << TVarType::String << str("Größe ✓");
    QTest::newRow("boolean") << TVariant(false) << TVarType::Boolean << TVariant(false);
    QTest::newRow("bytes") << TVariant(QByteArray("a\0b", 3)) << TVarType::Bytes
                           << TVariant(QByteArray("a\0b", 3));

    QTest::newRow("smallint as double") << TVariant(qint16(-7)) << TVarType::Double << TVariant(-7.0);
    QTest::newRow("smallint as string") << TVariant(qint16(-32768)) << TVarType::String << str("-32768");
    QTest::newRow("int64 as string") << TVariant(int64Max) << TVarType::String << str("9223372036854775807");
    QTest::newRow("int64 as integer") << TVariant(qint64(-5)) << TVarType::Integer << TVariant(-5);
    QTest::newRow("integer 0 as boolean") << TVariant(0) << TVarType::Boolean << TVariant(false);
    QTest::newRow("int64 as boolean") << TVariant(qint64(1) << 40) << TVarType::Boolean << TVariant(true);
    QTest::newRow("integer as currency") << TVariant(3) << TVarType::Currency << TVariant(TCurrency{30000});
    QTest::newRow("true as int64") << TVariant(true) << TVarType::Int64 << TVariant(qint64(-1));
    QTest::newRow("false as integer") << TVariant(false) << TVarType::Integer << TVariant(0);
    QTest::newRow("true as string") << TVariant(true) << TVarType::String << str("True");
    QTest::newRow("false as string") << TVariant(false) << TVarType::String << str("False");

    QTest::newRow("2.5 to even") << TVariant(2.5) << TVarType::Int64 << TVariant(qint64(2));
    QTest::newRow("3.5 to even") << TVariant(3.5) << TVarType::Int64 << TVariant(qint64(4));
    QTest::newRow("-2.5 to even") << TVariant(-2.5) << TVarType::Integer << TVariant(-2);
    QTest::newRow("2.6 rounds") << TVariant(2.6) << TVarType::Integer << TVariant(3);
    QTest::newRow("double as string") << TVariant(2.5) << TVarType::String << str("2.5");
    QTest::newRow("sum as string") << TVariant(0.1 + 0.2) << TVarType::String << str("0.3");
    QTest::newRow("0.0 as boolean") << TVariant(0.0) << TVarType::Boolean << TVariant(false);
    QTest::newRow("double as currency")
        << TVariant(1.23456) << TVarType::Currency << TVariant(TCurrency{12346});
    QTest::newRow("double as date") << TVariant(1.5) << TVarType::Date << TVariant(noon);

    QTest::newRow("currency as double") << TVariant(TCurrency{12345}) << TVarType::Double << TVariant(1.2345);
    QTest::newRow("currency as string") << TVariant(TCurrency{12345}) << TVarType::String << str("1.2345");
    QTest::newRow("whole currency as string")
        << TVariant(TCurrency{1000000}) << TVarType::String << str("100");
    QTest::newRow("zero currency as string") << TVariant(TCurrency{0}) << TVarType::String << str("0");
    QTest::newRow("negative currency as string")
        << TVariant(TCurrency{-5000}) << TVarType::String << str("-0.5");
    QTest::newRow("currency to even") << TVariant(TCurrency{25000}) << TVarType::Int64 << TVariant(qint64(2));
    QTest::newRow("currency as boolean") << TVariant(TCurrency{1}) << TVarType::Boolean << TVariant(true);

    QTest::newRow("date as double") << TVariant(noon) << TVarType::Double << TVariant(1.5);
    QTest::newRow("date as int64") << TVariant(TDateTime::FromParts(1900, 1, 1, 6)) << TVarType::Int64
                                   << TVariant(qint64(2));
    QTest::newRow("integer as date") << TVariant(61) << TVarType::Date
                                     << TVariant(TDateTime::FromParts(1900, 3, 1));

    QTest::newRow("padded digits") << str(" 12 ") << TVarType::Int64 << TVariant(qint64(12));
    QTest::newRow("wide digits") << str("3000000000") << TVarType::Int64 << TVariant(qint64(3000000000));
    QTest::newRow("negative digits") << str("-42") << TVarType::Integer << TVariant(-42);
    QTest::newRow("decimal text") << str("1.5") << TVarType::Double << TVariant(1.5);
    QTest::newRow("exponent text") << str("1e3") << TVarType::Double << TVariant(1000.0);
    QTest::newRow("true text") << str("true") << TVarType::Boolean << TVariant(true);
    QTest::newRow("FALSE text") << str(" FALSE ") << TVarType::Boolean << TVariant(false);
    QTest::newRow("0 text") << str("0") << TVarType::Boolean << TVariant(false);
    QTest::newRow("2 text") << str("2") << TVarType::Boolean << TVariant(true);
    QTest::newRow("stored date text") << str("2023-02-28 10:11:12.345") << TVarType::Date << TVariant(stamp);
    QTest::newRow("text as bytes") << str("é") << TVarType::Bytes << TVariant(QByteArray("\xc3\xa9"));
    QTest::newRow("bytes as text") << TVariant(QByteArray("\xc3\xa9")) << TVarType::String << str("é");

    QTest::newRow("unassigned as string") << TVariant() << TVarType::String << TVariant(QString());
    QTest::newRow("null as string") << TVariant::Null() << TVarType::String << TVariant(QString());
    QTest::newRow("null as bytes") << TVariant::Null() << TVarType::Bytes << TVariant(QByteArray());
}

void TestVariants::Conversions()
{
    QFETCH(TVariant, value);
    QFETCH(TVarType, target);
    QFETCH(TVariant, expected);
    QCOMPARE(convert(value, target), expected);
}

void TestVariants::ConversionErrors_data()
{
    QTest::addColumn<TVariant>("value");
    QTest::addColumn<TVarType>("target");
    QTest::addColumn<bool>("convertError"); // EConvertError, else EVariantError
    QTest::addColumn<QString>("message");

    QTest::newRow("'12a'") << str("12a") << TVarType::Integer << true
                           << QStringLiteral("'12a' is not a valid integer value");
    QTest::newRow("'12a' as int64") << str("12a") << TVarType::Int64 << true
                                    << QStringLiteral("'12a' is not a valid integer value");
    QTest::newRow("empty text") << str("") << TVarType::Int64 << true
                                << QStringLiteral("'' is not a valid integer value");
    QTest::newRow("fraction text") << str("1.5") << TVarType::Integer << true
                                   << QStringLiteral("'1.5' is not a valid integer value");
    QTest::newRow("too wide") << str("3000000000") << TVarType::Integer << true
                              << QStringLiteral("'3000000000' is not a valid integer value");
    QTest::newRow("int64 too wide") << TVariant(qint64(1) << 40) << TVarType::Integer << true
                                    << QStringLiteral("'1099511627776' is not a valid integer value");
    QTest::newRow("comma decimal") << str("1,5") << TVarType::Double << true
                                   << QStringLiteral("'1,5' is not a valid floating point value");
    QTest::newRow("yes") << str("yes") << TVarType::Boolean << true
                         << QStringLiteral("'yes' is not a valid boolean value");
    QTest::newRow("impossible date") << str("2023-02-30") << TVarType::Date << true
                                     << QStringLiteral("'2023-02-30' is not a valid date and time");
    QTest::newRow("huge double") << TVariant(1e300) << TVarType::Int64 << true
                                 << QStringLiteral("Invalid floating point operation");
    QTest::newRow("nan") << TVariant(std::numeric_limits<double>::quiet_NaN()) << TVarType::Int64 << true
                         << QStringLiteral("Invalid floating point operation");

    const QString cannot = QStringLiteral("Could not convert variant of type (%1) into type (%2)");
    const TVariant array = TVariant::Array({1, 2});
    QTest::newRow("array as int64") << array << TVarType::Int64 << false << cannot.arg(u"Array", u"Int64");
    QTest::newRow("array as integer")
        << array << TVarType::Integer << false << cannot.arg(u"Array", u"Int64");
    QTest::newRow("array as double") << array << TVarType::Double << false << cannot.arg(u"Array", u"Double");
    QTest::newRow("array as string") << array << TVarType::String << false << cannot.arg(u"Array", u"String");
    QTest::newRow("array as boolean")
        << array << TVarType::Boolean << false << cannot.arg(u"Array", u"Boolean");
    QTest::newRow("unassigned as int64")
        << TVariant() << TVarType::Int64 << false << cannot.arg(u"Empty", u"Int64");
    QTest::newRow("null as double") << TVariant::Null() << TVarType::Double << false
                                    << cannot.arg(u"Null", u"Double");
    QTest::newRow("null as boolean") << TVariant::Null() << TVarType::Boolean << false
                                     << cannot.arg(u"Null", u"Boolean");
    QTest::newRow("null as date") << TVariant::Null() << TVarType::Date << false
                                  << cannot.arg(u"Null", u"Date");
    QTest::newRow("boolean as date") << TVariant(true) << TVarType::Date << false
                                     << cannot.arg(u"Boolean", u"Date");
    QTest::newRow("bytes as int64") << TVariant(QByteArray("1")) << TVarType::Int64 << false
                                    << cannot.arg(u"Bytes", u"Int64");
    QTest::newRow("integer as bytes")
        << TVariant(1) << TVarType::Bytes << false << cannot.arg(u"Integer", u"Bytes");
}

void TestVariants::ConversionErrors()
{
    QFETCH(TVariant, value);
    QFETCH(TVarType, target);
    QFETCH(bool, convertError);
    QFETCH(QString, message);
    try {
        convert(value, target);
        QFAIL("the conversion succeeded");
    } catch (const EConvertError &e) {
        QVERIFY2(convertError, "EConvertError where EVariantError belongs");
        QCOMPARE(e.Message(), message);
    } catch (const EVariantError &e) {
        QVERIFY2(!convertError, "EVariantError where EConvertError belongs");
        QCOMPARE(e.Message(), message);
    }
}

void TestVariants::Equality_data()
{
    QTest::addColumn<TVariant>("a");
    QTest::addColumn<TVariant>("b");
    QTest::addColumn<bool>("equal");

    const TDateTime date = TDateTime::FromParts(2024, 5, 6);
    QTest::newRow("integer 5 = integer 5") << TVariant(5) << TVariant(5) << true;
    QTest::newRow("integer 5 <> integer 6") << TVariant(5) << TVariant(6) << false;
    QTest::newRow("smallint 5 <> integer 5") << TVariant(qint16(5)) << TVariant(5) << false;
    QTest::newRow("integer 5 <> int64 5") << TVariant(5) << TVariant(qint64(5)) << false;
    QTest::newRow("integer 5 <> double 5") << TVariant(5) << TVariant(5.0) << false;
    QTest::newRow("integer 5 <> text 5") << TVariant(5) << str("5") << false;
    QTest::newRow("true <> -1") << TVariant(true) << TVariant(-1) << false;
    QTest::newRow("currency <> double") << TVariant(TCurrency{50000}) << TVariant(5.0) << false;
    QTest::newRow("currency = currency") << TVariant(TCurrency{50000}) << TVariant(TCurrency{50000}) << true;
    QTest::newRow("date <> its number") << TVariant(date) << TVariant(date.Value) << false;
    QTest::newRow("date = date") << TVariant(date) << TVariant(TDateTime::FromParts(2024, 5, 6)) << true;
    QTest::newRow("text case matters") << str("a") << str("A") << false;
    QTest::newRow("bytes <> text") << TVariant(QByteArray("a")) << str("a") << false;
    QTest::newRow("unassigned = unassigned") << TVariant() << TVariant() << true;
    QTest::newRow("null = null") << TVariant::Null() << TVariant::Null() << true;
    QTest::newRow("unassigned <> null") << TVariant() << TVariant::Null() << false;
    QTest::newRow("null <> empty text") << TVariant::Null() << TVariant(QString()) << false;
    QTest::newRow("unassigned <> 0") << TVariant() << TVariant(0) << false;

    const TVariant key = TVariant::Array({1, str("a")});
    QTest::newRow("arrays equal") << key << TVariant::Array({1, str("a")}) << true;
    QTest::newRow("arrays, one element differs") << key << TVariant::Array({1, str("b")}) << false;
    QTest::newRow("arrays, element kinds differ") << key << TVariant::Array({qint16(1), str("a")}) << false;
    QTest::newRow("arrays, lengths differ")
        << key << TVariant::Array({1, str("a"), TVariant::Null()}) << false;
    QTest::newRow("arrays, order matters") << key << TVariant::Array({str("a"), 1}) << false;
    QTest::newRow("nested arrays") << TVariant::Array({TVariant::Array({1, 2}), 3})
                                   << TVariant::Array({TVariant::Array({1, 2}), 3}) << true;
    QTest::newRow("nested arrays differ") << TVariant::Array({TVariant::Array({1, 2}), 3})
                                          << TVariant::Array({TVariant::Array({1, 3}), 3}) << false;
    QTest::newRow("array <> its element") << TVariant::Array({1}) << TVariant(1) << false;
    QTest::newRow("empty arrays") << TVariant(TVariantArray()) << TVariant(TVariantArray()) << true;
}

void TestVariants::Equality()
{
    QFETCH(TVariant, a);
    QFETCH(TVariant, b);
    QFETCH(bool, equal);
    QCOMPARE(a == b, equal);
    QCOMPARE(b == a, equal);
    QCOMPARE(a != b, !equal);
}

void TestVariants::ArrayAccess()
{
    const TVariant key = TVariant::Array({qint16(3), str("b"), TVariant::Null()});
    QCOMPARE(key.Count(), 3);
    QCOMPARE(key[0], TVariant(qint16(3)));
    QCOMPARE(key[1], str("b"));
    QVERIFY(key[2].IsNull());
    QCOMPARE(key.Elements().size(), size_t(3));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, key[3]);

    const TVariant scalar = 3;
    QCOMPARE(scalar.Count(), 0);
    QVERIFY_THROWS_EXCEPTION(EVariantError, scalar.Elements());
    QVERIFY_THROWS_EXCEPTION(EVariantError, scalar[0]);
}

void TestVariants::DateAsLocalText_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("C") << QLocale::c();
}

void TestVariants::DateAsLocalText()
{
    QFETCH(QLocale, locale);
    const QLocale saved;
    QLocale::setDefault(locale);
    const auto restore = qScopeGuard([&saved] { QLocale::setDefault(saved); });

    // The text a date is shown as reads back as the same date: a two-digit year would come back
    // a century early, and a zone name does not parse.
    const TVariant stamp = TDateTime::FromParts(2024, 5, 6, 13, 4, 5);
    const QString stampText = stamp.AsString();
    QVERIFY2(stampText.contains(QStringLiteral("2024")), qPrintable(stampText));
    const QString zone = QDateTime(QDate(2024, 5, 6), QTime(13, 4, 5)).timeZoneAbbreviation();
    QVERIFY2(!stampText.contains(zone), qPrintable(stampText));
    QCOMPARE(TVariant(stampText).AsDateTime(), stamp.AsDateTime());

    const TVariant day = TDateTime::FromParts(2024, 5, 6);
    const QString dayText = day.AsString();
    QVERIFY2(!dayText.contains(u':'), qPrintable(dayText));
    QCOMPARE(TVariant(dayText).AsDateTime(), day.AsDateTime());
}

void TestVariants::DateTimeParts_data()
{
    QTest::addColumn<QList<int>>("parts"); // year, month, day, hour, minute, second, msec
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("origin") << QList<int>{1899, 12, 30, 0, 0, 0, 0}
                            << QStringLiteral("1899-12-30 00:00:00.000") << 0.0;
    QTest::newRow("day after, noon") << QList<int>{1899, 12, 31, 12, 0, 0, 0}
                                     << QStringLiteral("1899-12-31 12:00:00.000") << 1.5;
    QTest::newRow("day before") << QList<int>{1899, 12, 29, 0, 0, 0, 0}
                                << QStringLiteral("1899-12-29 00:00:00.000") << -1.0;
    QTest::newRow("day before, 06:00")
        << QList<int>{1899, 12, 29, 6, 0, 0, 0} << QStringLiteral("1899-12-29 06:00:00.000") << -1.25;
    QTest::newRow("day before, 18:00")
        << QList<int>{1899, 12, 29, 18, 0, 0, 0} << QStringLiteral("1899-12-29 18:00:00.000") << -1.75;
    QTest::newRow("1800, noon") << QList<int>{1800, 1, 1, 12, 0, 0, 0}
                                << QStringLiteral("1800-01-01 12:00:00.000") << -36522.5;
    QTest::newRow("year 1") << QList<int>{1, 1, 1, 0, 0, 0, 0} << QStringLiteral("0001-01-01 00:00:00.000")
                            << -693593.0;
    QTest::newRow("1900-03-01") << QList<int>{1900, 3, 1, 0, 0, 0, 0}
                                << QStringLiteral("1900-03-01 00:00:00.000") << 61.0;
    QTest::newRow("leap day, last msec")
        << QList<int>{2024, 2, 29, 23, 59, 59, 999} << QStringLiteral("2024-02-29 23:59:59.999")
        << 45351.0 + 86399999.0 / 86400000.0;
    QTest::newRow("msec") << QList<int>{2024, 5, 6, 7, 8, 9, 10} << QStringLiteral("2024-05-06 07:08:09.010")
                          << 45418.0 + 25689010.0 / 86400000.0;
    QTest::newRow("before origin, msec")
        << QList<int>{1850, 7, 4, 0, 0, 0, 1} << QStringLiteral("1850-07-04 00:00:00.001")
        << -18076.0 - 1.0 / 86400000.0;
    QTest::newRow("last day") << QList<int>{9999, 12, 31, 23, 59, 59, 999}
                              << QStringLiteral("9999-12-31 23:59:59.999")
                              << 2958465.0 + 86399999.0 / 86400000.0;
}

void TestVariants::DateTimeParts()
{
    QFETCH(QList<int>, parts);
    QFETCH(QString, text);
    QFETCH(double, value);
    const TDateTime dateTime =
        TDateTime::FromParts(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], parts[6]);
    QCOMPARE(dateTime.Value, value);
    QCOMPARE(dateTime.ToText(), text);
    QCOMPARE(dateTime.Date(), QDate(parts[0], parts[1], parts[2]));
    QCOMPARE(dateTime.Time(), QTime(parts[3], parts[4], parts[5], parts[6]));

    TDateTime parsed;
    QVERIFY(TDateTime::FromText(text, parsed));
    QCOMPARE(parsed.Value, dateTime.Value);
    QCOMPARE(TDateTime{value}.ToText(), text);
}

void TestVariants::DateTimeShortTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("date only") << QStringLiteral("2024-05-06") << QStringLiteral("2024-05-06 00:00:00.000");
    QTest::newRow("seconds") << QStringLiteral("2024-05-06 07:08:09")
                             << QStringLiteral("2024-05-06 07:08:09.000");
    QTest::newRow("ISO T") << QStringLiteral("2024-05-06T07:08:09.010")
                           << QStringLiteral("2024-05-06 07:08:09.010");
    QTest::newRow("before origin") << QStringLiteral("1601-01-01")
                                   << QStringLiteral("1601-01-01 00:00:00.000");
}

void TestVariants::DateTimeShortTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    TDateTime parsed;
    QVERIFY(TDateTime::FromText(text, parsed));
    QCOMPARE(parsed.ToText(), expected);
}

void TestVariants::DateTimeRejectsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("unpadded") << QStringLiteral("2024-5-6");
    QTest::newRow("slashes") << QStringLiteral("2024/05/06");
    QTest::newRow("leading space") << QStringLiteral(" 2024-05-06");
    QTest::newRow("letters") << QStringLiteral("abcd-ef-gh");
    QTest::newRow("30 February") << QStringLiteral("2023-02-30");
    QTest::newRow("29 February, no leap year") << QStringLiteral("2023-02-29 00:00:00");
    QTest::newRow("month 13") << QStringLiteral("2023-13-01");
    QTest::newRow("year 0") << QStringLiteral("0000-01-01");
    QTest::newRow("hour 24") << QStringLiteral("2024-05-06 24:00:00");
    QTest::newRow("minute 60") << QStringLiteral("2024-05-06 23:60:00");
    QTest::newRow("second 60") << QStringLiteral("2024-05-06 23:59:60");
    QTest::newRow("bad separator") << QStringLiteral("2024-05-06x12:00:00");
    QTest::newRow("colon missing") << QStringLiteral("2024-05-06 12-00:00");
    QTest::newRow("one msec digit") << QStringLiteral("2024-05-06 12:00:00.5");
    QTest::newRow("comma before msec") << QStringLiteral("2024-05-06 12:00:00,500");
    QTest::newRow("signed part") << QStringLiteral("2024-05-06 12:00:-1");
    QTest::newRow("fullwidth digits") << QStringLiteral("２０２４-05-06");
}

void TestVariants::DateTimeRejectsText()
{
    QFETCH(QString, text);
    TDateTime result{123.0};
    QVERIFY(!TDateTime::FromText(text, result));
    QCOMPARE(result.Value, 123.0);
}

void TestVariants::DateTimeRejectsImpossibleParts()
{
    QVERIFY_THROWS_EXCEPTION(EConvertError, TDateTime::FromParts(2023, 2, 30));
    QVERIFY_THROWS_EXCEPTION(EConvertError, TDateTime::FromParts(2023, 0, 1));
    QVERIFY_THROWS_EXCEPTION(EConvertError, TDateTime::FromQDateTime(QDateTime()));
}

void TestVariants::DateTimeMSecs_data()
{
    QTest::addColumn<qint64>("msecs");
    const qint64 day = 86400000;
    QTest::newRow("origin") << qint64(0);
    QTest::newRow("1 ms") << qint64(1);
    QTest::newRow("-1 ms") << qint64(-1);
    QTest::newRow("end of first day") << day - 1;
    QTest::newRow("one day") << day;
    QTest::newRow("minus one day") << -day;
    QTest::newRow("just before minus one day") << -day - 1;
    QTest::newRow("1899-12-29 06:00") << -day + 6 * 3600000;
    QTest::newRow("2024") << 45418 * day + 12345678;
    QTest::newRow("1800") << -36522 * day + 1;
    QTest::newRow("year 1") << -693593 * day + day - 1;
}

void TestVariants::DateTimeMSecs()
{
    QFETCH(qint64, msecs);
    const TDateTime dateTime = TDateTime::FromMSecs(msecs);
    QCOMPARE(dateTime.ToMSecs(), msecs);
    // Milliseconds count in a straight line across the origin, as UTC time does.
    const QDateTime expected = QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC).addMSecs(msecs);
    QCOMPARE(dateTime.Date(), expected.date());
    QCOMPARE(dateTime.Time(), expected.time());
    QCOMPARE(TDateTime::FromMSecs(dateTime.ToMSecs()).Value, dateTime.Value);
}

void TestVariants::DateTimeNegativeValues_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    // The whole part counts days back, the fraction is still the time of day; between -1 and 0
    // that makes the origin day itself.
    QTest::newRow("-1.25") << -1.25 << QStringLiteral("1899-12-29 06:00:00.000");
    QTest::newRow("-1.75") << -1.75 << QStringLiteral("1899-12-29 18:00:00.000");
    QTest::newRow("-0.25") << -0.25 << QStringLiteral("1899-12-30 06:00:00.000");
    QTest::newRow("-2.5") << -2.5 << QStringLiteral("1899-12-28 12:00:00.000");
    QTest::newRow("rounds to next day")
        << -1.0 - 0.9999999999999 << QStringLiteral("1899-12-30 00:00:00.000");
}

void TestVariants::DateTimeNegativeValues()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(TDateTime{value}.ToText(), text);
}

void TestVariants::DateTimeOrdering()
{
    const QList<TDateTime> ascending{TDateTime::FromParts(1800, 1, 1, 23, 59, 59, 999),
                                     TDateTime::FromParts(1899, 12, 29, 6),
                                     TDateTime::FromParts(1899, 12, 29, 18),
                                     TDateTime::FromParts(1899, 12, 30),
                                     TDateTime::FromParts(1899, 12, 30, 0, 0, 0, 1),
                                     TDateTime::FromParts(2024, 5, 6, 7, 8, 9, 10),
                                     TDateTime::FromParts(2024, 5, 6, 7, 8, 9, 11)};
    for (qsizetype i = 0; i < ascending.size(); ++i) {
        for (qsizetype j = 0; j < ascending.size(); ++j) {
            const TDateTime a = ascending[i], b = ascending[j];
            QVERIFY2((a < b) == (i < j), qPrintable(a.ToText() + u' ' + b.ToText()));
            QVERIFY2((a == b) == (i == j), qPrintable(a.ToText() + u' ' + b.ToText()));
            QVERIFY2((a >= b) == (i >= j), qPrintable(a.ToText() + u' ' + b.ToText()));
        }
    }
    // The same instant written two ways is one value.
    QCOMPARE(TDateTime{-0.5}, TDateTime::FromParts(1899, 12, 30, 12));
}

void TestVariants::DateTimeQDateTime()
{
    const QDateTime local(QDate(2024, 5, 6), QTime(7, 8, 9, 10));
    const TDateTime dateTime = TDateTime::FromQDateTime(local);
    QCOMPARE(dateTime, TDateTime::FromParts(2024, 5, 6, 7, 8, 9, 10));
    QCOMPARE(dateTime.ToQDateTime(), local);
    QCOMPARE(TDateTime::FromQDateTime(local.toUTC()), dateTime);

    const TDateTime before = TDateTime::Now();
    const TDateTime now = TDateTime::FromQDateTime(QDateTime::currentDateTime());
    QVERIFY(before <= now);
    QVERIFY(now.ToMSecs() - before.ToMSecs() < 60000);
}

QTEST_GUILESS_MAIN(TestVariants)
#include "tst_Variants.moc"
