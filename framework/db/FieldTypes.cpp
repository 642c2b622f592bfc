#include "FieldTypes.h"

QString FieldTypeName(TFieldType type)
{
    switch (type) {
    case TFieldType::Unknown:
        return QStringLiteral("Unknown");
    case TFieldType::String:
        return QStringLiteral("String");
    case TFieldType::Smallint:
        return QStringLiteral("SmallInt");
    case TFieldType::Integer:
        return QStringLiteral("Integer");
    case TFieldType::AutoInc:
        return QStringLiteral("AutoInc");
    case TFieldType::Largeint:
        return QStringLiteral("LargeInt");
    case TFieldType::Boolean:
        return QStringLiteral("Boolean");
    case TFieldType::Float:
        return QStringLiteral("Float");
    case TFieldType::Currency:
        return QStringLiteral("Currency");
    case TFieldType::DateTime:
        return QStringLiteral("DateTime");
    case TFieldType::Memo:
        return QStringLiteral("Memo");
    case TFieldType::Blob:
        return QStringLiteral("Blob");
    }
    return QStringLiteral("Unknown");
}
