#pragma once

#include "FieldTypes.h"
#include "Variants.h"

#include <QString>

// One prepared statement of a driver. Values go in and come out as TVariant, typed by the field
// type the caller asks for, so a 16-bit column reads back as 16-bit whatever the engine holds.
class TStatement
{
public:
    TStatement() = default;
    virtual ~TStatement() = default;
    TStatement(const TStatement &) = delete;
    TStatement &operator=(const TStatement &) = delete;

    virtual bool IsValid() const = 0;
    // Back to before the first step, with no values bound.
    virtual void Reset() = 0;
    virtual void Bind(int index, const TVariant &value) = 0; // 1-based
    void BindAll(const TVariantArray &values, int first = 1);
    virtual int ParameterIndex(const QString &name) const = 0; // 0 when absent
    virtual int ParameterCount() const = 0;
    // ":name" for a named parameter, empty for a positional one.
    virtual QString ParameterName(int index) const = 0;
    // Steps once: true while a row is there, false when done. Errors throw.
    virtual bool Step() = 0;
    // Runs to the end, for statements without rows.
    void Execute();

    virtual int ColumnCount() const = 0;
    virtual QString ColumnName(int column) const = 0;
    // The type a table column was declared with; empty for an expression.
    virtual QString ColumnDeclType(int column) const = 0;
    virtual bool ColumnIsNull(int column) const = 0;
    virtual qint64 ColumnInt64(int column) const = 0;
    virtual TVariant Column(int column, TFieldType type) const = 0;
    // The type of a value the engine holds, for columns without a declared type.
    virtual TFieldType ColumnValueType(int column) const = 0;

    // Rows the last run changed, and the row number the last insert gave its row.
    virtual qint64 Changes() const = 0;
    virtual qint64 LastInsertId() const = 0;
    // Whether a statement stepped part-way keeps a read snapshot of the database open.
    virtual bool HoldsReadLock() const { return true; }
};
