#pragma once

#include "Statements.h"

#include <QString>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Throws EDatabaseError with the engine's message when rc is an error code.
void CheckSqlite(sqlite3 *db, int rc);
[[noreturn]] void RaiseSqlite(sqlite3 *db);

// One prepared statement, finalized with its owner. Values go in and come out as TVariant, typed by
// the field type the caller asks for, so a 16-bit column reads back as 16-bit.
class TSqliteStatement final : public TStatement
{
public:
    TSqliteStatement() = default;
    TSqliteStatement(sqlite3 *db, const QString &sql);
    ~TSqliteStatement() override;
    TSqliteStatement(TSqliteStatement &&other) noexcept;
    TSqliteStatement &operator=(TSqliteStatement &&other) noexcept;

    bool IsValid() const override { return FStmt != nullptr; }
    sqlite3_stmt *Handle() const { return FStmt; }
    // Text left after the first statement, for scripts of several statements.
    const QString &Tail() const { return FTail; }

    void Reset() override;
    void Bind(int index, const TVariant &value) override;
    int ParameterIndex(const QString &name) const override;
    int ParameterCount() const override;
    QString ParameterName(int index) const override;
    bool Step() override;

    int ColumnCount() const override;
    QString ColumnName(int column) const override;
    QString ColumnDeclType(int column) const override;
    QString ColumnTable(int column) const;
    QString ColumnOrigin(int column) const;
    bool ColumnIsNull(int column) const override;
    qint64 ColumnInt64(int column) const override;
    TVariant Column(int column, TFieldType type) const override;
    TFieldType ColumnValueType(int column) const override;

    qint64 Changes() const override;
    qint64 LastInsertId() const override;

private:
    sqlite3 *FDb = nullptr;
    sqlite3_stmt *FStmt = nullptr;
    QString FTail;
    // Text and blob values stay here while bound, so the engine need not copy them.
    std::vector<QByteArray> FBound;
};

#include <functional>

// Runs every statement of a script, binding each through `bind`, and returns the rows they
// changed. A script of several statements runs inside a savepoint: it takes effect whole or not
// at all, so it must not manage transactions itself.
int ExecuteScript(sqlite3 *db, const QString &sql, const std::function<void(TSqliteStatement &)> &bind);

// Maps a declared column type ("SMALLINT", "VARCHAR(50)", "DATETIME") to a field type and size.
TFieldType FieldTypeFromDecl(const QString &declType, int *size = nullptr);

// A name made safe for SQL text: "Name" with inner quotes doubled.
QString QuoteIdentifier(const QString &name);
