#include "FormatFloat.h"

#include <QStringList>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace {

enum class TItemKind { Literal, Comma, IntDigit, Point, FracDigit, Exponent };

struct TMaskItem
{
    TItemKind Kind;
    QString Text;      // the literal text, or "E+", "E-", "e+", "e-"
    bool Zero = false; // a '0' placeholder
    int ExpDigits = 0;
};

struct TMask
{
    std::vector<TMaskItem> Items;
    qsizetype IntPlaces = 0;
    qsizetype MinInt = 0;
    qsizetype MaxDec = 0;
    qsizetype MinDec = 0;
    bool Thousands = false;
    bool Scientific = false;
};

// The digits to show: the integer part without leading zeros beyond the required ones, and the
// decimals with trailing zeros dropped down to the required ones.
struct TDigits
{
    QString Int;
    QString Frac;
    int Exponent = 0;
    bool IsZero = true;
};

// Semicolons inside quoted text belong to the text.
QStringList splitSections(const QString &format)
{
    QStringList sections{QString()};
    QChar quote;
    for (const QChar c : format) {
        if (quote.isNull() && c == u';') {
            sections.append(QString());
            continue;
        }
        if (quote.isNull() && (c == u'\'' || c == u'"'))
            quote = c;
        else if (c == quote)
            quote = QChar();
        sections.last() += c;
    }
    return sections;
}

TMask parseMask(const QString &section)
{
    TMask mask;
    bool afterPoint = false;
    auto literal = [&mask](QString text) { mask.Items.push_back({TItemKind::Literal, std::move(text)}); };
    for (qsizetype i = 0; i < section.size(); ++i) {
        const QChar c = section[i];
        const bool inNumber = !mask.Scientific;
        if (c == u'\'' || c == u'"') {
            qsizetype end = section.indexOf(c, i + 1);
            if (end < 0)
                end = section.size();
            literal(section.mid(i + 1, end - i - 1));
            i = end;
        } else if ((c == u'0' || c == u'#') && inNumber) {
            mask.Items.push_back({afterPoint ? TItemKind::FracDigit : TItemKind::IntDigit, {}, c == u'0'});
        } else if (c == u'.' && inNumber && !afterPoint) {
            mask.Items.push_back({TItemKind::Point, {}});
            afterPoint = true;
        } else if (c == u',' && inNumber && !afterPoint) {
            mask.Items.push_back({TItemKind::Comma, {}});
        } else if ((c == u'E' || c == u'e') && inNumber && i + 2 < section.size() &&
                   (section[i + 1] == u'+' || section[i + 1] == u'-') && section[i + 2] == u'0') {
            qsizetype end = i + 2;
            while (end < section.size() && section[end] == u'0')
                ++end;
            mask.Items.push_back({TItemKind::Exponent, section.mid(i, 2), false, int(end - i - 2)});
            mask.Scientific = true;
            i = end - 1;
        } else {
            literal(QString(c));
        }
    }

    qsizetype firstInt = -1, lastInt = -1, firstZero = -1;
    for (qsizetype i = 0; i < qsizetype(mask.Items.size()); ++i) {
        const TMaskItem &item = mask.Items[size_t(i)];
        if (item.Kind == TItemKind::IntDigit) {
            if (firstInt < 0)
                firstInt = i;
            lastInt = i;
            if (item.Zero && firstZero < 0)
                firstZero = mask.IntPlaces;
            ++mask.IntPlaces;
        } else if (item.Kind == TItemKind::FracDigit) {
            ++mask.MaxDec;
            if (item.Zero)
                mask.MinDec = mask.MaxDec;
        }
    }
    // Every placeholder from the first '0' on shows a digit: "#0#" pads to two.
    mask.MinInt = firstZero < 0 ? 0 : mask.IntPlaces - firstZero;

    // A comma between integer placeholders only switches grouping on; elsewhere it is text.
    std::vector<TMaskItem> items;
    for (qsizetype i = 0; i < qsizetype(mask.Items.size()); ++i) {
        TMaskItem &item = mask.Items[size_t(i)];
        if (item.Kind == TItemKind::Comma) {
            if (i > firstInt && i < lastInt) {
                mask.Thousands = true;
                continue;
            }
            item = {TItemKind::Literal, QStringLiteral(",")};
        }
        items.push_back(std::move(item));
    }
    mask.Items = std::move(items);
    return mask;
}

// Keeps the first count digits, rounding half away from zero; true when the carry lengthened the
// string ("999" to "1000").
bool roundDigits(QString &digits, qsizetype count)
{
    if (digits.size() <= count) {
        digits += QString(count - digits.size(), u'0');
        return false;
    }
    const bool up = digits[count] >= u'5';
    digits.truncate(count);
    if (!up)
        return false;
    for (qsizetype i = count - 1; i >= 0; --i) {
        if (digits[i] != u'9') {
            digits[i] = QChar(digits[i].unicode() + 1);
            return false;
        }
        digits[i] = u'0';
    }
    digits.prepend(u'1');
    return true;
}

TDigits digitsFor(const TMask &mask, double value)
{
    // The shortest digits that read back as the same double are the number as it was written:
    // rounding those, not the binary value, makes 1.005 come out as 1.01, and a 64-bit file size
    // keeps every digit.
    char buffer[32];
    const char *end =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific).ptr;
    const char *e = std::find(static_cast<const char *>(buffer), end, 'e');
    QString digits = QString::fromLatin1(buffer, 1);
    if (e - buffer > 2)
        digits += QString::fromLatin1(buffer + 2, e - buffer - 2);
    // to_chars writes no terminator: the exponent is read within [e, end) only.
    const char *expBegin = e + 1;
    if (expBegin < end && *expBegin == '+')
        ++expBegin;
    int exponent = 0;
    std::from_chars(expBegin, end, exponent);
    ++exponent; // |value| = 0.digits * 10^exponent

    TDigits result;
    qsizetype intLength;
    if (mask.Scientific) {
        intLength = mask.IntPlaces;
        const qsizetype count = std::max<qsizetype>(intLength + mask.MaxDec, 1);
        if (roundDigits(digits, count)) {
            digits.chop(1);
            ++exponent;
        }
        result.Exponent = value == 0.0 ? 0 : exponent - int(intLength);
    } else {
        if (exponent < 0)
            digits.prepend(QString(-exponent, u'0'));
        intLength = std::max(exponent, 0);
        if (roundDigits(digits, intLength + mask.MaxDec))
            ++intLength;
    }
    result.IsZero = std::all_of(digits.cbegin(), digits.cend(), [](QChar c) { return c == u'0'; });
    result.Int = digits.left(intLength);
    result.Frac = digits.mid(intLength, mask.MaxDec);
    qsizetype leading = 0;
    while (leading < result.Int.size() && result.Int[leading] == u'0')
        ++leading;
    result.Int = result.Int.mid(leading).rightJustified(mask.MinInt, u'0');
    while (result.Frac.size() > mask.MinDec && result.Frac.endsWith(u'0'))
        result.Frac.chop(1);
    return result;
}

QString render(const TMask &mask, const TDigits &digits, const QLocale &locale)
{
    QString out;
    const qsizetype length = digits.Int.size();
    auto putInt = [&](qsizetype i) {
        out += digits.Int[i];
        const qsizetype right = length - 1 - i;
        if (mask.Thousands && right > 0 && right % 3 == 0)
            out += locale.groupSeparator();
    };
    qsizetype intIndex = 0, fracIndex = 0;
    for (const TMaskItem &item : mask.Items) {
        switch (item.Kind) {
        case TItemKind::IntDigit: {
            // The first placeholder takes every digit the mask has no room for.
            if (intIndex == 0)
                for (qsizetype i = 0; i < length - mask.IntPlaces; ++i)
                    putInt(i);
            const qsizetype i = length - mask.IntPlaces + intIndex++;
            if (i >= 0)
                putInt(i);
            break;
        }
        case TItemKind::Point:
            if (mask.IntPlaces == 0)
                for (qsizetype i = 0; i < length; ++i)
                    putInt(i);
            if (!digits.Frac.isEmpty())
                out += locale.decimalPoint();
            break;
        case TItemKind::FracDigit:
            if (fracIndex < digits.Frac.size())
                out += digits.Frac[fracIndex];
            ++fracIndex;
            break;
        case TItemKind::Exponent:
            out += item.Text[0];
            if (digits.Exponent < 0)
                out += u'-';
            else if (item.Text[1] == u'+')
                out += u'+';
            out += QString::number(std::abs(digits.Exponent)).rightJustified(item.ExpDigits, u'0');
            break;
        case TItemKind::Literal:
        case TItemKind::Comma:
            out += item.Text;
            break;
        }
    }
    return out;
}

} // namespace

QString FormatFloat(const QString &format, double value, const QLocale &locale)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");

    const QStringList sections = splitSections(format);
    const QString zeroSection = sections.size() > 2 ? sections[2] : QString();
    QString section = sections[0];
    bool minus = false;
    if (value < 0 && sections.size() > 1 && !sections[1].isEmpty())
        section = sections[1];
    else if (value < 0)
        minus = true;
    else if (value == 0 && !zeroSection.isEmpty())
        section = zeroSection;
    if (section.isEmpty())
        return QString::number(value, 'g', 15).replace(u'.', locale.decimalPoint());

    TMask mask = parseMask(section);
    TDigits digits = digitsFor(mask, value);
    if (digits.IsZero) {
        // A value that rounds to nothing is zero: no sign, and the zero section if there is one.
        minus = false;
        if (value != 0 && !zeroSection.isEmpty()) {
            mask = parseMask(zeroSection);
            digits = digitsFor(mask, 0.0);
        }
    }
    const QString text = render(mask, digits, locale);
    return minus ? u'-' + text : text;
}
