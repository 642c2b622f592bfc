#include "TableSql.h"

QStringList SplitFieldNames(const QString &text)
{
    QStringList names;
    for (const QString &name : text.split(u';', Qt::SkipEmptyParts))
        if (!name.trimmed().isEmpty())
            names << name.trimmed();
    return names;
}

bool IsTextType(TFieldType type)
{
    return type == TFieldType::String || type == TFieldType::Memo;
}

QString TupleCompareSql(const std::vector<QString> &columns, const TVariantArray &values, size_t count,
                        const QString &op, TVariantArray &params, size_t i)
{
    const bool orEqual = op.endsWith(u'=');
    if (i == count)
        return orEqual ? QStringLiteral("1") : QStringLiteral("0");
    const bool greater = op.startsWith(u'>');
    const QString &column = columns[i];
    const TVariant &value = values[i];
    QString strict;
    if (greater) {
        if (value.IsEmptyOrNull()) {
            strict = column + QStringLiteral(" IS NOT NULL");
        } else {
            strict = column + QStringLiteral(" > ?");
            params.push_back(value);
        }
    } else if (value.IsEmptyOrNull()) {
        strict = QStringLiteral("0");
    } else {
        strict = QStringLiteral("(%1 < ? OR %1 IS NULL)").arg(column);
        params.push_back(value);
    }
    const QString equal = column + QStringLiteral(" IS ?");
    params.push_back(value.IsEmpty() ? TVariant::Null() : value);
    const QString rest = TupleCompareSql(columns, values, count, op, params, i + 1);
    return QStringLiteral("(%1 OR (%2 AND %3))").arg(strict, equal, rest);
}
