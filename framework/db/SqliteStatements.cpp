#include "SqliteStatements.h"

#include "DatabaseError.h"

#include <algorithm>
#include <limits>
#include <sqlite3.h>

void RaiseSqlite(sqlite3 *db)
{
    const QString message = QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
    const int code = db ? sqlite3_extended_errcode(db) & 0xff : SQLITE_NOMEM;
    // The engine's own words do not tell a user what happened or what to do about it.
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        throw EDatabaseError(
            QStringLiteral("The database is being changed by another program and stayed locked; "
                           "try again when that program has finished (%1)")
                .arg(message));
    throw EDatabaseError(message);
}

void CheckSqlite(sqlite3 *db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        RaiseSqlite(db);
}

TSqliteStatement::TSqliteStatement(sqlite3 *db, const QString &sql) : FDb(db)
{
    // A connection of another driver has no SQLite handle; the engine must never see a null one.
    if (!db)
        throw EDatabaseError(QStringLiteral("This operation needs an SQLite database"));
    const QByteArray utf8 = sql.toUtf8();
    const char *tail = nullptr;
    const int rc =
        sqlite3_prepare_v3(db, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &FStmt, &tail);
    if (rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(FStmt);
        FStmt = nullptr;
        throw EDatabaseError(message);
    }
    if (tail && *tail)
        FTail = QString::fromUtf8(tail).trimmed();
}

TSqliteStatement::~TSqliteStatement()
{
    sqlite3_finalize(FStmt);
}

TSqliteStatement::TSqliteStatement(TSqliteStatement &&other) noexcept
    : TStatement(), FDb(other.FDb), FStmt(std::exchange(other.FStmt, nullptr)), FTail(std::move(other.FTail)),
      FBound(std::move(other.FBound))
{}

TSqliteStatement &TSqliteStatement::operator=(TSqliteStatement &&other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(FStmt);
        FDb = other.FDb;
        FStmt = std::exchange(other.FStmt, nullptr);
        FTail = std::move(other.FTail);
        FBound = std::move(other.FBound);
    }
    return *this;
}

void TSqliteStatement::Reset()
{
    sqlite3_reset(FStmt);
    sqlite3_clear_bindings(FStmt);
}

void TSqliteStatement::Bind(int index, const TVariant &value)
{
    // Keeps bytes alive in FBound until the slot is bound again or the statement goes.
    auto bindBytes = [this, index](QByteArray bytes, bool text) {
        if (FBound.size() < size_t(index))
            FBound.resize(size_t(index));
        const int rc =
            text ? sqlite3_bind_text(FStmt, index, bytes.constData(), int(bytes.size()), SQLITE_STATIC)
                 : sqlite3_bind_blob(FStmt, index, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
        FBound[size_t(index) - 1] = std::move(bytes);
        return rc;
    };
    int rc = SQLITE_OK;
    switch (value.VarType()) {
    case TVarType::Empty:
    case TVarType::Null:
        rc = sqlite3_bind_null(FStmt, index);
        break;
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
        rc = sqlite3_bind_int64(FStmt, index, value.AsInt64());
        break;
    case TVarType::Boolean:
        rc = sqlite3_bind_int(FStmt, index, value.AsBoolean() ? 1 : 0);
        break;
    case TVarType::Double:
    case TVarType::Currency:
        rc = sqlite3_bind_double(FStmt, index, value.AsDouble());
        break;
    case TVarType::Date:
        rc = bindBytes(value.AsDateTime().ToTextUtf8(), true);
        break;
    case TVarType::String: {
        // Rows written one after another bind texts of similar lengths in the same slots: the
        // slot's buffer is reused, and a plain ASCII text is copied in without an encoder.
        if (FBound.size() < size_t(index))
            FBound.resize(size_t(index));
        QByteArray &bytes = FBound[size_t(index) - 1];
        const QString text = value.AsString();
        const auto *units = reinterpret_cast<const char16_t *>(text.constData());
        const qsizetype size = text.size();
        if (std::all_of(units, units + size, [](char16_t c) { return c < 0x80; })) {
            bytes.resize(size);
            char *out = bytes.data();
            for (qsizetype i = 0; i < size; ++i)
                out[i] = char(units[i]);
        } else {
            bytes = text.toUtf8();
        }
        rc = sqlite3_bind_text(FStmt, index, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
        break;
    }
    case TVarType::Bytes: {
        // An empty blob is a blob, not NULL: the engine needs a non-null pointer for that.
        QByteArray bytes = value.AsBytes();
        if (bytes.isNull())
            bytes = QByteArray("", 0);
        rc = bindBytes(std::move(bytes), false);
        break;
    }
    case TVarType::Array:
        throw EDatabaseError(QStringLiteral("An array cannot be a parameter value"));
    }
    CheckSqlite(FDb, rc);
}

int TSqliteStatement::ParameterIndex(const QString &name) const
{
    return sqlite3_bind_parameter_index(FStmt, name.toUtf8().constData());
}

int TSqliteStatement::ParameterCount() const
{
    return sqlite3_bind_parameter_count(FStmt);
}

QString TSqliteStatement::ParameterName(int index) const
{
    const char *name = sqlite3_bind_parameter_name(FStmt, index);
    return name ? QString::fromUtf8(name) : QString();
}

bool TSqliteStatement::Step()
{
    const int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    // The statement's own error code is only reported by reset.
    sqlite3_reset(FStmt);
    RaiseSqlite(FDb);
}

qint64 TSqliteStatement::Changes() const
{
    return sqlite3_changes64(FDb);
}

qint64 TSqliteStatement::LastInsertId() const
{
    return sqlite3_last_insert_rowid(FDb);
}

int TSqliteStatement::ColumnCount() const
{
    return sqlite3_column_count(FStmt);
}

QString TSqliteStatement::ColumnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(FStmt, column));
}

QString TSqliteStatement::ColumnDeclType(int column) const
{
    const char *decl = sqlite3_column_decltype(FStmt, column);
    return decl ? QString::fromUtf8(decl) : QString();
}

QString TSqliteStatement::ColumnTable(int column) const
{
    const char *name = sqlite3_column_table_name(FStmt, column);
    return name ? QString::fromUtf8(name) : QString();
}

QString TSqliteStatement::ColumnOrigin(int column) const
{
    const char *name = sqlite3_column_origin_name(FStmt, column);
    return name ? QString::fromUtf8(name) : QString();
}

bool TSqliteStatement::ColumnIsNull(int column) const
{
    return sqlite3_column_type(FStmt, column) == SQLITE_NULL;
}

qint64 TSqliteStatement::ColumnInt64(int column) const
{
    return sqlite3_column_int64(FStmt, column);
}

TFieldType TSqliteStatement::ColumnValueType(int column) const
{
    switch (sqlite3_column_type(FStmt, column)) {
    case SQLITE_INTEGER: {
        const qint64 value = sqlite3_column_int64(FStmt, column);
        return value >= std::numeric_limits<qint32>::min() && value <= std::numeric_limits<qint32>::max()
                   ? TFieldType::Integer
                   : TFieldType::Largeint;
    }
    case SQLITE_FLOAT:
        return TFieldType::Float;
    case SQLITE_BLOB:
        return TFieldType::Blob;
    default:
        return TFieldType::String;
    }
}

namespace {

QString columnText(sqlite3_stmt *stmt, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
}

} // namespace

TVariant TSqliteStatement::Column(int column, TFieldType type) const
{
    const int storage = sqlite3_column_type(FStmt, column);
    if (storage == SQLITE_NULL)
        return TVariant::Null();
    switch (type) {
    case TFieldType::Smallint:
        return TVariant(qint16(sqlite3_column_int(FStmt, column)));
    case TFieldType::Integer:
    case TFieldType::AutoInc:
        return TVariant(qint32(sqlite3_column_int(FStmt, column)));
    case TFieldType::Largeint:
        return TVariant(qint64(sqlite3_column_int64(FStmt, column)));
    case TFieldType::Boolean:
        return TVariant(sqlite3_column_int(FStmt, column) != 0);
    case TFieldType::Float:
        return TVariant(sqlite3_column_double(FStmt, column));
    case TFieldType::Currency:
        return TVariant(TCurrency::FromDouble(sqlite3_column_double(FStmt, column)));
    case TFieldType::DateTime: {
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
            return TVariant(TDateTime{sqlite3_column_double(FStmt, column)});
        TDateTime value;
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(FStmt, column));
        if (TDateTime::FromText(text, sqlite3_column_bytes(FStmt, column), value))
            return TVariant(value);
        return TVariant::Null();
    }
    case TFieldType::Blob: {
        const auto *data = static_cast<const char *>(sqlite3_column_blob(FStmt, column));
        return TVariant(QByteArray(data, sqlite3_column_bytes(FStmt, column)));
    }
    case TFieldType::String:
    case TFieldType::Memo:
    case TFieldType::Unknown:
        break;
    }
    return TVariant(columnText(FStmt, column));
}

TFieldType FieldTypeFromDecl(const QString &declType, int *size)
{
    const QString decl = declType.trimmed().toUpper();
    if (size)
        *size = 0;
    auto has = [&decl](const char16_t *word) { return decl.contains(QStringView(word)); };
    if (has(u"SMALLINT"))
        return TFieldType::Smallint;
    if (has(u"BIGINT") || has(u"LARGEINT") || has(u"INT64"))
        return TFieldType::Largeint;
    if (has(u"BOOL") || decl == u"BIT")
        return TFieldType::Boolean;
    if (has(u"DATE") || has(u"TIME"))
        return TFieldType::DateTime;
    if (has(u"CURRENCY") || has(u"MONEY"))
        return TFieldType::Currency;
    if (has(u"INT"))
        return TFieldType::Integer;
    if (has(u"CHAR")) {
        const qsizetype open = decl.indexOf(u'(');
        const qsizetype close = decl.indexOf(u')', open);
        if (size && open > 0 && close > open)
            *size = decl.mid(open + 1, close - open - 1).trimmed().toInt();
        return TFieldType::String;
    }
    if (has(u"TEXT") || has(u"CLOB") || has(u"MEMO"))
        return TFieldType::Memo;
    if (has(u"REAL") || has(u"FLOA") || has(u"DOUB") || has(u"NUMERIC") || has(u"DECIMAL"))
        return TFieldType::Float;
    if (decl.isEmpty() || has(u"BLOB") || has(u"IMAGE") || has(u"BINARY"))
        return TFieldType::Blob;
    return TFieldType::Float;
}

QString QuoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

int ExecuteScript(sqlite3 *db, const QString &sql, const std::function<void(TSqliteStatement &)> &bind)
{
    int changed = 0;
    auto run = [&](TSqliteStatement &statement) {
        bind(statement);
        // The engine's count is that of the last statement that changed rows: a statement that
        // changes none (CREATE, SELECT) would report its predecessor's.
        const sqlite3_int64 before = sqlite3_total_changes64(db);
        statement.Execute();
        if (sqlite3_total_changes64(db) != before)
            changed += sqlite3_changes(db);
    };
    TSqliteStatement first(db, sql);
    if (!first.IsValid())
        return 0;
    if (first.Tail().isEmpty()) {
        run(first);
        return changed;
    }
    TSqliteStatement(db, QStringLiteral("SAVEPOINT script")).Execute();
    try {
        run(first);
        QString rest = first.Tail();
        while (!rest.isEmpty()) {
            TSqliteStatement statement(db, rest);
            if (!statement.IsValid())
                break; // only a comment was left
            run(statement);
            rest = statement.Tail();
        }
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK TO script; RELEASE script", nullptr, nullptr, nullptr);
        throw;
    }
    TSqliteStatement(db, QStringLiteral("RELEASE script")).Execute();
    return changed;
}
