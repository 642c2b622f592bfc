#include "FormatFloat.h"

#include <QTest>
#include <limits>

class TestFormatFloat : public QObject
{
    Q_OBJECT

private slots:
    void English_data();
    void English();
    void German_data();
    void German();
    void DefaultLocaleIsUsed();
};

void TestFormatFloat::English_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    const QString bytes = QStringLiteral("#,###,###,### bytes");
    QTest::newRow("bytes") << bytes << 1234567.0 << QStringLiteral("1,234,567 bytes");
    QTest::newRow("bytes, zero shows no digit") << bytes << 0.0 << QStringLiteral(" bytes");
    QTest::newRow("bytes, below a group") << bytes << 999.0 << QStringLiteral("999 bytes");
    QTest::newRow("bytes, one group") << bytes << 1000.0 << QStringLiteral("1,000 bytes");
    QTest::newRow("bytes, beyond the placeholders")
        << bytes << 1234567890123.0 << QStringLiteral("1,234,567,890,123 bytes");
    QTest::newRow("bytes, rounded") << bytes << 1499.5 << QStringLiteral("1,500 bytes");
    QTest::newRow("bytes, 64-bit size")
        << bytes << 9007199254740992.0 << QStringLiteral("9,007,199,254,740,992 bytes");
    QTest::newRow("beyond a double's digits")
        << QStringLiteral("#,##0") << 1e20 << QStringLiteral("100,000,000,000,000,000,000");

    QTest::newRow("1.005 rounds up") << QStringLiteral("0.00") << 1.005 << QStringLiteral("1.01");
    QTest::newRow("2.675 rounds up") << QStringLiteral("0.00") << 2.675 << QStringLiteral("2.68");
    QTest::newRow("-1.005 rounds away") << QStringLiteral("0.00") << -1.005 << QStringLiteral("-1.01");
    QTest::newRow("1.004 rounds down") << QStringLiteral("0.00") << 1.004 << QStringLiteral("1.00");
    QTest::newRow("0.125") << QStringLiteral("0.00") << 0.125 << QStringLiteral("0.13");
    QTest::newRow("carry into integer") << QStringLiteral("0.00") << 9.999 << QStringLiteral("10.00");
    QTest::newRow("half up") << QStringLiteral("0") << 0.5 << QStringLiteral("1");
    QTest::newRow("2.5 not to even") << QStringLiteral("0") << 2.5 << QStringLiteral("3");
    QTest::newRow("-2.5 away from zero") << QStringLiteral("0") << -2.5 << QStringLiteral("-3");
    QTest::newRow("small rounds to zero, no sign")
        << QStringLiteral("0.00") << -0.001 << QStringLiteral("0.00");
    QTest::newRow("many decimals") << QStringLiteral("0.0000000000") << 0.1 << QStringLiteral("0.1000000000");

    QTest::newRow("optional decimals, none") << QStringLiteral("0.##") << 5.0 << QStringLiteral("5");
    QTest::newRow("optional decimals, one") << QStringLiteral("0.##") << 5.1 << QStringLiteral("5.1");
    QTest::newRow("optional decimals, rounded") << QStringLiteral("0.##") << 5.126 << QStringLiteral("5.13");
    QTest::newRow("no integer digit") << QStringLiteral("#.##") << 0.5 << QStringLiteral(".5");
    QTest::newRow("one required decimal") << QStringLiteral("0.0#") << 1.0 << QStringLiteral("1.0");
    QTest::newRow("required integer digits") << QStringLiteral("000") << 7.0 << QStringLiteral("007");
    QTest::newRow("more digits than placeholders")
        << QStringLiteral("000") << 12345.0 << QStringLiteral("12345");
    QTest::newRow("padding from the first 0") << QStringLiteral("#0#") << 5.0 << QStringLiteral("05");
    QTest::newRow("decimals without integer placeholders")
        << QStringLiteral(".00") << 12.5 << QStringLiteral("12.50");
    QTest::newRow("negative, one section")
        << QStringLiteral("#,##0") << -1234567.0 << QStringLiteral("-1,234,567");
    QTest::newRow("sign before a prefix") << QStringLiteral("$0.00") << -5.0 << QStringLiteral("-$5.00");

    QTest::newRow("digits spread over text")
        << QStringLiteral("(###) ###-####") << 5551234567.0 << QStringLiteral("(555) 123-4567");
    QTest::newRow("missing digits leave the text")
        << QStringLiteral("(###) ###-####") << 1234.0 << QStringLiteral("() -1234");
    QTest::newRow("single quotes") << QStringLiteral("'#'0") << 5.0 << QStringLiteral("#5");
    QTest::newRow("double quotes") << QStringLiteral("\"Total: \"0.0") << 5.0 << QStringLiteral("Total: 5.0");
    QTest::newRow("quoted placeholders and E")
        << QStringLiteral("0 '0.0E+00,#'") << 5.0 << QStringLiteral("5 0.0E+00,#");
    QTest::newRow("quoted semicolon") << QStringLiteral("0';'0;(0)") << -12.0 << QStringLiteral("(12)");
    QTest::newRow("plain text") << QStringLiteral("0 %") << 5.0 << QStringLiteral("5 %");
    QTest::newRow("comma after the digits is text")
        << QStringLiteral("0 items, total") << 5.0 << QStringLiteral("5 items, total");
    QTest::newRow("second point is text") << QStringLiteral("0.0.") << 5.0 << QStringLiteral("5.0.");
    QTest::newRow("E without sign is text") << QStringLiteral("0 E") << 5.0 << QStringLiteral("5 E");

    const QString accounting = QStringLiteral("#,##0.00;(#,##0.00);Zero");
    QTest::newRow("three sections, positive") << accounting << 1234.5 << QStringLiteral("1,234.50");
    QTest::newRow("three sections, negative") << accounting << -1234.5 << QStringLiteral("(1,234.50)");
    QTest::newRow("three sections, zero") << accounting << 0.0 << QStringLiteral("Zero");
    QTest::newRow("three sections, rounds to zero") << accounting << 0.004 << QStringLiteral("Zero");
    QTest::newRow("three sections, negative rounds to zero")
        << accounting << -0.001 << QStringLiteral("Zero");
    QTest::newRow("two sections, zero uses the first")
        << QStringLiteral("0;[0]") << 0.0 << QStringLiteral("0");
    QTest::newRow("two sections, negative") << QStringLiteral("0;[0]") << -5.0 << QStringLiteral("[5]");
    QTest::newRow("empty negative section") << QStringLiteral("0.0;;Zero") << -5.0 << QStringLiteral("-5.0");
    QTest::newRow("empty zero section") << QStringLiteral("0.0;(0.0);") << 0.0 << QStringLiteral("0.0");
    QTest::newRow("text only sections")
        << QStringLiteral("\"Yes\";\"Yes\";\"No\"") << -3.0 << QStringLiteral("Yes");

    QTest::newRow("scientific") << QStringLiteral("0.00E+00") << 12345.0 << QStringLiteral("1.23E+04");
    QTest::newRow("scientific, small")
        << QStringLiteral("0.00E+00") << 0.00012345 << QStringLiteral("1.23E-04");
    QTest::newRow("scientific, negative")
        << QStringLiteral("0.00E+00") << -12345.0 << QStringLiteral("-1.23E+04");
    QTest::newRow("scientific, carry") << QStringLiteral("0.00E+00") << 9.999 << QStringLiteral("1.00E+01");
    QTest::newRow("scientific, zero") << QStringLiteral("0.00E+00") << 0.0 << QStringLiteral("0.00E+00");
    QTest::newRow("scientific, E- hides plus")
        << QStringLiteral("0.00E-00") << 12345.0 << QStringLiteral("1.23E04");
    QTest::newRow("scientific, e- keeps minus")
        << QStringLiteral("0.00e-00") << 0.00012345 << QStringLiteral("1.23e-04");
    QTest::newRow("scientific, wide exponent")
        << QStringLiteral("0.0E+0") << 1e100 << QStringLiteral("1.0E+100");
    QTest::newRow("scientific, optional decimals")
        << QStringLiteral("0.##E+00") << 1500.0 << QStringLiteral("1.5E+03");
    QTest::newRow("scientific, two integer digits")
        << QStringLiteral("00.0E+0") << 12345.0 << QStringLiteral("12.3E+3");

    QTest::newRow("general") << QString() << 1234.5 << QStringLiteral("1234.5");
    QTest::newRow("general, sum") << QString() << 0.1 + 0.2 << QStringLiteral("0.3");
    QTest::newRow("general, negative") << QString() << -2.0 << QStringLiteral("-2");
    QTest::newRow("general, large") << QString() << 1e20 << QStringLiteral("1e+20");
    QTest::newRow("not a number") << QStringLiteral("0") << std::numeric_limits<double>::quiet_NaN()
                                  << QStringLiteral("NAN");
    QTest::newRow("infinity") << QStringLiteral("0") << -std::numeric_limits<double>::infinity()
                              << QStringLiteral("-INF");
}

void TestFormatFloat::English()
{
    QFETCH(QString, format);
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(FormatFloat(format, value, QLocale(QLocale::English, QLocale::UnitedStates)), expected);
}

void TestFormatFloat::German_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("grouped") << QStringLiteral("#,##0.00") << 1234567.891 << QStringLiteral("1.234.567,89");
    QTest::newRow("bytes") << QStringLiteral("#,###,###,### bytes") << 1234567.0
                           << QStringLiteral("1.234.567 bytes");
    QTest::newRow("no decimals shown, no comma") << QStringLiteral("0.##") << 3.0 << QStringLiteral("3");
    QTest::newRow("scientific") << QStringLiteral("0.00E+00") << 12345.0 << QStringLiteral("1,23E+04");
    QTest::newRow("general") << QString() << 1234.5 << QStringLiteral("1234,5");
}

void TestFormatFloat::German()
{
    QFETCH(QString, format);
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(FormatFloat(format, value, QLocale(QLocale::German, QLocale::Germany)), expected);
}

void TestFormatFloat::DefaultLocaleIsUsed()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString text = FormatFloat(QStringLiteral("#,##0.0"), 1234.5);
    QLocale::setDefault(saved);
    QCOMPARE(text, QStringLiteral("1.234,5"));
}

QTEST_GUILESS_MAIN(TestFormatFloat)
#include "tst_FormatFloat.moc"
