#pragma once

#include "FieldTypes.h"
#include "Variants.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Pieces of SQL text that table data sets build their statements from.

// The names of a field list such as "A;B" or "ID;", trimmed, without empty ones.
QStringList SplitFieldNames(const QString &text);

inline QString JoinSql(const QStringList &parts, const QString &separator)
{
    return parts.join(separator);
}

bool IsTextType(TFieldType type);

// A lexicographic comparison of the first `count` columns with values, in index order, where NULL
// comes before every value. op is one of ">", ">=", "<", "<="; the values the condition needs are
// appended to params in the order of its "?".
QString TupleCompareSql(const std::vector<QString> &columns, const TVariantArray &values, size_t count,
                        const QString &op, TVariantArray &params, size_t i = 0);

// A column's default as the schema writes it, when it is a plain literal (a number, a quoted text,
// NULL, TRUE or FALSE); nullopt for an expression.
std::optional<TVariant> LiteralDefault(const QString &sql);
