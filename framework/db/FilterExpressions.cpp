#include "FilterExpressions.h"

#include "DatabaseError.h"

#include <QLocale>

namespace {

enum class TTokenKind { End, Name, QuotedName, String, Number, Operator, LParen, RParen };

struct TToken
{
    TTokenKind Kind = TTokenKind::End;
    QString Text;
    qsizetype Pos = 0;
};

// A comparison needs both of its sides before it can convert a literal to the other side's type,
// so an operand is kept in this form until then.
struct TOperand
{
    enum class TKind { Field, Literal, Null, Condition } Kind = TKind::Literal;
    QString Sql; // Field: column reference; Condition: the translated group in parentheses
    TFieldType Type = TFieldType::Unknown;
    QString Name;         // as written: field name, literal or group
    TVariant Value;       // Literal: String, Int64, Double or Boolean
    TVariantArray Params; // Condition
};

bool IsText(TFieldType type)
{
    return type == TFieldType::String || type == TFieldType::Memo;
}

bool IsNumber(TFieldType type)
{
    switch (type) {
    case TFieldType::Smallint:
    case TFieldType::Integer:
    case TFieldType::AutoInc:
    case TFieldType::Largeint:
    case TFieldType::Float:
    case TFieldType::Currency:
        return true;
    default:
        return false;
    }
}

// QLocale reads a two-digit year as 19yy; a catalogue date means the century around today instead:
// the 100 years starting 50 years ago.
QDate WindowTwoDigitYear(QDate date)
{
    const int threshold = QDate::currentDate().year() - 50;
    int year = threshold / 100 * 100 + date.year() % 100;
    if (year < threshold)
        year += 100;
    return QDate(year, date.month(), date.day());
}

bool ParseDateLiteral(const QString &text, TDateTime &result)
{
    const QString trimmed = text.trimmed();
    if (TDateTime::FromText(trimmed, result))
        return true;
    // Users type dates the way their desktop shows them.
    const QLocale locale = QLocale::system();
    QDate date;
    QTime time(0, 0);
    QString format = locale.dateTimeFormat(QLocale::ShortFormat);
    const QDateTime dateTime = locale.toDateTime(trimmed, format);
    if (dateTime.isValid()) {
        date = dateTime.date();
        time = dateTime.time();
    } else {
        format = locale.dateFormat(QLocale::ShortFormat);
        date = locale.toDate(trimmed, format);
    }
    if (date.isValid() && !format.contains(QStringLiteral("yyyy")))
        date = WindowTwoDigitYear(date);
    if (!date.isValid())
        return false;
    result = TDateTime::FromParts(date.year(), date.month(), date.day(), time.hour(), time.minute(),
                                  time.second(), time.msec());
    return true;
}

class TFilterParser
{
public:
    TFilterParser(const QString &expression, const TFilterColumnResolver &resolve, bool caseInsensitive)
        : FText(expression), FResolve(resolve), FCaseInsensitive(caseInsensitive)
    {}

    TSqlCondition Parse()
    {
        Next();
        TSqlCondition result = ParseOr();
        if (FToken.Kind != TTokenKind::End)
            throw EDatabaseError(QStringLiteral("Filter expression incorrectly terminated: %1").arg(FText));
        return result;
    }

private:
    QString FText;
    const TFilterColumnResolver &FResolve;
    bool FCaseInsensitive = false;
    qsizetype FPos = 0;
    TToken FToken;
    int FDepth = 0;

    // Each group and each NOT recurses once here, and the condition it writes nests in the
    // engine's parser, whose stack holds about a hundred levels of parentheses; what a NOT writes
    // takes about four of them. Beyond this the expression is refused before either stack runs
    // out.
    static constexpr int MaxDepth = 64;

    // Holds one level of nesting while a group or a NOT is parsed.
    class TNesting
    {
    public:
        TNesting(TFilterParser &parser, int levels) : FParser(parser), FLevels(levels)
        {
            if (FParser.FDepth + FLevels > MaxDepth)
                throw EDatabaseError(
                    QStringLiteral("Filter expression nested more than %1 levels deep at position %2")
                        .arg(MaxDepth)
                        .arg(FParser.FToken.Pos + 1));
            FParser.FDepth += FLevels;
        }
        ~TNesting() { FParser.FDepth -= FLevels; }
        TNesting(const TNesting &) = delete;
        TNesting &operator=(const TNesting &) = delete;

    private:
        TFilterParser &FParser;
        int FLevels;
    };

    [[noreturn]] void Fail(const QString &problem) const
    {
        throw EDatabaseError(QStringLiteral("%1 in filter expression: %2").arg(problem, FText));
    }

    QString Where() const
    {
        return FToken.Kind == TTokenKind::End ? QStringLiteral("at end")
                                              : QStringLiteral("at position %1").arg(FToken.Pos + 1);
    }

    bool IsKeyword(QStringView word) const
    {
        return FToken.Kind == TTokenKind::Name && FToken.Text.compare(word, Qt::CaseInsensitive) == 0;
    }

    // Reads up to `close`. Inside quotes a doubled quote stands for one; a bracketed name simply
    // cannot hold ']'.
    QString ReadDelimited(QChar close, const QString &unterminated)
    {
        QString text;
        for (++FPos;; ++FPos) {
            if (FPos >= FText.size())
                Fail(unterminated);
            if (FText[FPos] == close) {
                if (FPos + 1 < FText.size() && FText[FPos + 1] == close && close != u']')
                    ++FPos;
                else
                    break;
            }
            text += FText[FPos];
        }
        ++FPos;
        return text;
    }

    void Next()
    {
        while (FPos < FText.size() && FText[FPos].isSpace())
            ++FPos;
        FToken = TToken{TTokenKind::End, QString(), FPos};
        if (FPos >= FText.size())
            return;
        const auto at = [this](qsizetype i) { return i < FText.size() ? FText[i] : QChar(); };
        const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
        const auto startsNumber = [&](qsizetype i) {
            return isDigit(at(i)) || (at(i) == u'.' && isDigit(at(i + 1)));
        };
        const QChar c = FText[FPos];
        if (c == u'(' || c == u')') {
            FToken.Kind = c == u'(' ? TTokenKind::LParen : TTokenKind::RParen;
            ++FPos;
        } else if (c == u'\'') {
            FToken.Kind = TTokenKind::String;
            FToken.Text = ReadDelimited(u'\'', QStringLiteral("Unterminated string"));
        } else if (c == u'[' || c == u'"') {
            FToken.Kind = TTokenKind::QuotedName;
            FToken.Text = ReadDelimited(c == u'[' ? u']' : u'"', QStringLiteral("Unterminated field name"));
            if (FToken.Text.trimmed().isEmpty())
                Fail(QStringLiteral("Empty field name at position %1").arg(FToken.Pos + 1));
        } else if (startsNumber(FPos) || (c == u'-' && startsNumber(FPos + 1))) {
            const qsizetype start = FPos;
            if (c == u'-')
                ++FPos;
            while (isDigit(at(FPos)))
                ++FPos;
            if (at(FPos) == u'.' && isDigit(at(FPos + 1)))
                for (++FPos; isDigit(at(FPos));)
                    ++FPos;
            FToken.Kind = TTokenKind::Number;
            FToken.Text = FText.mid(start, FPos - start);
        } else if (c.isLetter() || c == u'_') {
            const qsizetype start = FPos;
            while (at(FPos).isLetterOrNumber() || at(FPos) == u'_')
                ++FPos;
            FToken.Kind = TTokenKind::Name;
            FToken.Text = FText.mid(start, FPos - start);
        } else {
            const QString two = FText.mid(FPos, 2);
            FToken.Kind = TTokenKind::Operator;
            if (two == QStringLiteral("<>") || two == QStringLiteral("<=") || two == QStringLiteral(">=") ||
                two == QStringLiteral("!="))
                FToken.Text = two;
            else if (c == u'=' || c == u'<' || c == u'>')
                FToken.Text = c;
            else
                Fail(QStringLiteral("Unexpected character '%1' at position %2").arg(c).arg(FPos + 1));
            FPos += FToken.Text.size();
        }
    }

    TSqlCondition ParseOr() { return ParseChain(u"OR", &TFilterParser::ParseAnd); }
    TSqlCondition ParseAnd() { return ParseChain(u"AND", &TFilterParser::ParseNot); }

    TSqlCondition ParseChain(QStringView keyword, TSqlCondition (TFilterParser::*operand)())
    {
        TSqlCondition result = (this->*operand)();
        while (IsKeyword(keyword)) {
            Next();
            TSqlCondition right = (this->*operand)();
            result.Sql += QLatin1Char(' ') + keyword.toString() + QLatin1Char(' ') + right.Sql;
            result.Params.insert(result.Params.end(), right.Params.begin(), right.Params.end());
        }
        return result;
    }

    TSqlCondition ParseNot()
    {
        if (!IsKeyword(u"NOT"))
            return ParseComparison();
        const TNesting nesting(*this, 4);
        Next();
        // SQL's NOT of an unknown is unknown, which a WHERE drops; here a failed comparison is
        // plainly false, so its negation must hold.
        TSqlCondition inner = ParseNot();
        return {QStringLiteral("NOT COALESCE((%1), FALSE)").arg(inner.Sql), std::move(inner.Params)};
    }

    TSqlCondition ParseComparison()
    {
        TOperand left = ParseOperand();
        if (IsKeyword(u"IS")) {
            Next();
            const bool negated = IsKeyword(u"NOT");
            if (negated)
                Next();
            if (!IsKeyword(u"NULL"))
                Fail(QStringLiteral("NULL expected %1").arg(Where()));
            Next();
            return {OperandSql(left) +
                        (negated ? QStringLiteral(" IS NOT NULL") : QStringLiteral(" IS NULL")),
                    OperandParams(left)};
        }
        if (FToken.Kind != TTokenKind::Operator)
            return AsCondition(left);
        const QString op = FToken.Text == QStringLiteral("!=") ? QStringLiteral("<>") : FToken.Text;
        Next();
        TOperand right = ParseOperand();
        return Compare(left, op, right);
    }

    TOperand ParseOperand()
    {
        TOperand result;
        switch (FToken.Kind) {
        case TTokenKind::LParen: {
            const TNesting nesting(*this, 1);
            const qsizetype start = FToken.Pos;
            Next();
            TSqlCondition inner = ParseOr();
            if (FToken.Kind != TTokenKind::RParen)
                Fail(QStringLiteral("')' expected %1").arg(Where()));
            result.Kind = TOperand::TKind::Condition;
            result.Sql = QLatin1Char('(') + inner.Sql + QLatin1Char(')');
            result.Params = std::move(inner.Params);
            result.Name = FText.mid(start, FPos - start);
            break;
        }
        case TTokenKind::String:
            result.Name = FToken.Text;
            result.Value = FToken.Text;
            break;
        case TTokenKind::Number: {
            result.Name = FToken.Text;
            bool ok = false;
            const qint64 integer = FToken.Text.toLongLong(&ok);
            result.Value = ok ? TVariant(integer) : TVariant(QLocale::c().toDouble(FToken.Text));
            break;
        }
        case TTokenKind::Name:
            if (IsKeyword(u"TRUE") || IsKeyword(u"FALSE")) {
                result.Name = FToken.Text;
                result.Value = IsKeyword(u"TRUE");
                break;
            }
            if (IsKeyword(u"NULL")) {
                result.Kind = TOperand::TKind::Null;
                break;
            }
            if (IsKeyword(u"AND") || IsKeyword(u"OR") || IsKeyword(u"NOT") || IsKeyword(u"IS"))
                Fail(QStringLiteral("Operand expected %1").arg(Where()));
            [[fallthrough]];
        case TTokenKind::QuotedName: {
            const std::optional<TFilterColumn> column = FResolve(FToken.Text);
            if (!column)
                Fail(QStringLiteral("Field '%1' not found").arg(FToken.Text));
            result.Kind = TOperand::TKind::Field;
            result.Name = FToken.Text;
            result.Sql = column->Sql;
            result.Type = column->Type;
            break;
        }
        default:
            Fail(QStringLiteral("Operand expected %1").arg(Where()));
        }
        Next();
        return result;
    }

    static QString OperandSql(const TOperand &operand)
    {
        switch (operand.Kind) {
        case TOperand::TKind::Field:
            return operand.Sql;
        case TOperand::TKind::Literal:
            return QStringLiteral("?");
        case TOperand::TKind::Null:
            return QStringLiteral("NULL");
        case TOperand::TKind::Condition:
            return QStringLiteral("COALESCE(%1, FALSE)").arg(operand.Sql);
        }
        return {};
    }

    static TVariantArray OperandParams(const TOperand &operand)
    {
        if (operand.Kind == TOperand::TKind::Literal)
            return {operand.Value};
        return operand.Params;
    }

    TSqlCondition AsCondition(const TOperand &operand) const
    {
        switch (operand.Kind) {
        case TOperand::TKind::Field:
            if (operand.Type != TFieldType::Boolean && operand.Type != TFieldType::Unknown &&
                !IsNumber(operand.Type))
                Fail(QStringLiteral("Field '%1' is not a Boolean field").arg(operand.Name));
            // A Boolean column holds TRUE and FALSE on a server, 1 and 0 in SQLite, where FALSE is 0.
            if (operand.Type == TFieldType::Boolean)
                return {QStringLiteral("COALESCE(%1, FALSE) <> FALSE").arg(operand.Sql), {}};
            return {QStringLiteral("COALESCE(%1, 0) <> 0").arg(operand.Sql), {}};
        case TOperand::TKind::Condition:
            return {operand.Sql, operand.Params};
        case TOperand::TKind::Literal:
            // TRUE and FALSE are the translator's own constants, not user text.
            if (operand.Value.VarType() == TVarType::Boolean)
                return {operand.Value.AsBoolean() ? QStringLiteral("TRUE") : QStringLiteral("FALSE"), {}};
            break;
        case TOperand::TKind::Null:
            break;
        }
        Fail(QStringLiteral("'%1' is not a condition")
                 .arg(operand.Kind == TOperand::TKind::Null ? QStringLiteral("NULL") : operand.Name));
    }

    // Converts a literal to the type of the field it is compared with, so that SQLite compares like
    // with like (a date as its stored text, a Boolean as 0/1).
    void ConvertLiteral(TOperand &literal, TFieldType type, const QString &fieldName) const
    {
        const TVariant &value = literal.Value;
        const TVarType kind = value.VarType();
        const auto invalid = [&] {
            Fail(QStringLiteral("'%1' is not a valid value for field '%2'").arg(literal.Name, fieldName));
        };
        if (type == TFieldType::Boolean) {
            if (kind == TVarType::Int64 || kind == TVarType::Double)
                literal.Value = value.AsDouble() != 0.0;
            else if (kind == TVarType::String) {
                if (value.AsString().compare(QStringLiteral("TRUE"), Qt::CaseInsensitive) == 0)
                    literal.Value = true;
                else if (value.AsString().compare(QStringLiteral("FALSE"), Qt::CaseInsensitive) == 0)
                    literal.Value = false;
                else
                    invalid();
            }
        } else if (IsNumber(type)) {
            if (kind == TVarType::Boolean)
                literal.Value = qint64(value.AsBoolean() ? 1 : 0);
            else if (kind == TVarType::String) {
                bool ok = false;
                const QString text = value.AsString().trimmed();
                if (const qint64 integer = text.toLongLong(&ok); ok)
                    literal.Value = integer;
                else if (const double real = QLocale::c().toDouble(text, &ok); ok)
                    literal.Value = real;
                else
                    invalid();
            }
        } else if (type == TFieldType::DateTime) {
            TDateTime dateTime;
            if (kind != TVarType::String || !ParseDateLiteral(value.AsString(), dateTime))
                Fail(QStringLiteral("'%1' is not a valid date and time for field '%2'")
                         .arg(literal.Name, fieldName));
            literal.Value = dateTime;
        } else if (IsText(type)) {
            if (kind == TVarType::Boolean)
                invalid();
            literal.Value = literal.Name;
        }
    }

    TSqlCondition Compare(TOperand &left, const QString &op, TOperand &right) const
    {
        using K = TOperand::TKind;
        if (left.Kind == K::Null || right.Kind == K::Null) {
            // Whatever meets NULL is only equal to it when it is missing itself.
            const TOperand &other = left.Kind == K::Null ? right : left;
            if (other.Kind == K::Null)
                return {op == QStringLiteral("=") ? QStringLiteral("TRUE") : QStringLiteral("FALSE"), {}};
            if (op == QStringLiteral("="))
                return {OperandSql(other) + QStringLiteral(" IS NULL"), OperandParams(other)};
            if (op == QStringLiteral("<>"))
                return {OperandSql(other) + QStringLiteral(" IS NOT NULL"), OperandParams(other)};
            return {QStringLiteral("FALSE"), {}};
        }
        if (left.Kind == K::Literal && right.Kind != K::Literal)
            ConvertLiteral(left, right.Kind == K::Field ? right.Type : TFieldType::Boolean, right.Name);
        else if (right.Kind == K::Literal && left.Kind != K::Literal)
            ConvertLiteral(right, left.Kind == K::Field ? left.Type : TFieldType::Boolean, left.Name);

        const auto isText = [](const TOperand &operand) {
            return (operand.Kind == K::Field && IsText(operand.Type)) ||
                   (operand.Kind == K::Literal && operand.Value.VarType() == TVarType::String);
        };
        TSqlCondition result{OperandSql(left) + QLatin1Char(' ') + op + QLatin1Char(' ') + OperandSql(right),
                             OperandParams(left)};
        const TVariantArray rightParams = OperandParams(right);
        result.Params.insert(result.Params.end(), rightParams.begin(), rightParams.end());
        if (FCaseInsensitive && isText(left) && isText(right))
            result.Sql += QStringLiteral(" COLLATE NOCASE");
        return result;
    }
};

} // namespace

TSqlCondition TranslateFilter(const QString &expression, const TFilterColumnResolver &resolve,
                              bool caseInsensitive)
{
    if (expression.trimmed().isEmpty())
        return {};
    return TFilterParser(expression, resolve, caseInsensitive).Parse();
}
