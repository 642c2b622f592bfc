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
        return orEqual ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
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
        strict = QStringLiteral("FALSE");
    } else {
        strict = QStringLiteral("(%1 < ? OR %1 IS NULL)").arg(column);
        params.push_back(value);
    }
    const QString equal = column + QStringLiteral(" IS ?");
    params.push_back(value.IsEmpty() ? TVariant::Null() : value);
    const QString rest = TupleCompareSql(columns, values, count, op, params, i + 1);
    return QStringLiteral("(%1 OR (%2 AND %3))").arg(strict, equal, rest);
}

std::optional<TVariant> LiteralDefault(const QString &sql)
{
    QString text = sql.trimmed();
    while (text.startsWith(u'(') && text.endsWith(u')'))
        text = text.mid(1, text.size() - 2).trimmed();
    if (text.isEmpty() || text.compare(u"NULL", Qt::CaseInsensitive) == 0)
        return TVariant::Null();
    if (text.compare(u"TRUE", Qt::CaseInsensitive) == 0)
        return TVariant(qint64(1));
    if (text.compare(u"FALSE", Qt::CaseInsensitive) == 0)
        return TVariant(qint64(0));
    if (text.size() >= 2 && text.startsWith(u'\'') && text.endsWith(u'\'')) {
        QString inner = text.mid(1, text.size() - 2);
        if (inner.contains(u'\'') && !inner.contains(QStringLiteral("''")))
            return std::nullopt;
        return TVariant(inner.replace(QStringLiteral("''"), QStringLiteral("'")));
    }
    bool ok = false;
    const qint64 integer = text.toLongLong(&ok);
    if (ok)
        return TVariant(integer);
    const double real = text.toDouble(&ok);
    if (ok)
        return TVariant(real);
    return std::nullopt;
}
