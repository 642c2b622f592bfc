#pragma once

#include <QString>

// The types a field can have. A column's declared type in the database decides it, so a SMALLINT
// column gives 16-bit values and an INTEGER column 32-bit ones.
enum class TFieldType {
    Unknown,
    String,   // VARCHAR(n), TEXT of fixed width
    Smallint, // 16-bit integer
    Integer,  // 32-bit integer
    AutoInc,  // 32-bit integer assigned by the database
    Largeint, // 64-bit integer
    Boolean,
    Float,
    Currency,
    DateTime,
    Memo, // text of any length
    Blob, // bytes
};

QString FieldTypeName(TFieldType type);
