#pragma once

#include "FieldTypes.h"
#include "Variants.h"

#include <QString>
#include <functional>
#include <optional>

// A column a filter may name: how it is written in SQL and the type its literals are converted to.
struct TFilterColumn
{
    QString Sql; // the quoted column reference, e.g. "\"ImageID\""
    TFieldType Type = TFieldType::Unknown;
};

// Maps a field name as the filter writes it to its column; nullopt for a name the data set lacks.
// Names are the programmer's, so the resolver is expected to match them case-insensitively.
using TFilterColumnResolver = std::function<std::optional<TFilterColumn>(const QString &fieldName)>;

struct TSqlCondition
{
    QString Sql;          // empty: nothing to filter
    TVariantArray Params; // one per '?' in Sql, in order
};

// Turns a filter expression ("(Size >= 100) AND NOT Folder") into a condition for a WHERE clause.
// Every literal becomes a parameter. A comparison on a NULL column is false and NOT of it is true,
// as a desktop filter means it, not as SQL's three-valued logic would. With caseInsensitive, text
// comparisons ignore (ASCII) case. Raises EDatabaseError for a syntax error, an unknown field or a
// literal that does not fit its field.
TSqlCondition TranslateFilter(const QString &expression, const TFilterColumnResolver &resolve,
                              bool caseInsensitive = false);
