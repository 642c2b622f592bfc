#include "BulkInserts.h"

#include "DatabaseError.h"
#include "Databases.h"
#include "PgStatements.h"
#include "Statements.h"

#include <cmath>
#include <libpq-fe.h>

namespace {

// COPY's rows are sent in pieces of about this size: large enough that each call is worth it.
constexpr qsizetype SendSize = 1 << 20;

void appendEscaped(QByteArray &out, QByteArrayView text)
{
    for (const char c : text) {
        switch (c) {
        case '\\':
            out.append("\\\\");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        default:
            out.append(c);
        }
    }
}

} // namespace

QByteArray CopyText(const TVariant &value)
{
    switch (value.VarType()) {
    case TVarType::Empty:
    case TVarType::Null:
        return QByteArrayLiteral("\\N");
    case TVarType::Boolean:
        return value.AsBoolean() ? QByteArrayLiteral("t") : QByteArrayLiteral("f");
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
        return QByteArray::number(value.AsInt64());
    case TVarType::Double:
    case TVarType::Currency: {
        const double number = value.AsDouble();
        return std::isnan(number)   ? QByteArrayLiteral("NaN")
               : std::isinf(number) ? QByteArray(number > 0 ? "Infinity" : "-Infinity")
                                    : QByteArray::number(number, 'g', 17);
    }
    case TVarType::Date:
        return value.AsDateTime().ToTextUtf8();
    case TVarType::String: {
        QByteArray out;
        appendEscaped(out, value.AsString().toUtf8());
        return out;
    }
    case TVarType::Bytes: {
        // bytea's hex form, its backslash escaped for COPY.
        return QByteArrayLiteral("\\\\x") + value.AsBytes().toHex();
    }
    case TVarType::Array:
        break;
    }
    throw EDatabaseError(QStringLiteral("An array cannot be a column value"));
}

TBulkInsert::TBulkInsert(TDatabase &database, const QString &table, const QStringList &columns)
    : FDatabase(database), FColumns(columns)
{
    database.CheckWritable();
    QStringList quoted;
    for (const QString &column : columns)
        quoted << u'"' + column + u'"';
    if (!database.IsPostgres()) {
        QStringList marks;
        for (qsizetype i = 0; i < columns.size(); ++i)
            marks << QStringLiteral("?");
        FInsert = database.Prepare(QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                                       .arg(table, quoted.join(u", "), marks.join(u", ")));
        return;
    }
    PGconn *conn = database.PgConnection()->Handle();
    const QByteArray sql =
        QStringLiteral("COPY \"%1\" (%2) FROM STDIN").arg(table, quoted.join(u", ")).toUtf8();
    PGresult *result = PQexec(conn, sql.constData());
    if (PQresultStatus(result) != PGRES_COPY_IN)
        database.PgConnection()->Raise(result);
    PQclear(result);
    FCopying = true;
    FBuffer.reserve(SendSize + 4096);
}

TBulkInsert::~TBulkInsert()
{
    // Rows never finished are not half written: the server is told the copy failed, which fails
    // the caller's transaction.
    if (FCopying) {
        PGconn *conn = FDatabase.PgConnection()->Handle();
        PQputCopyEnd(conn, "abandoned");
        while (PGresult *result = PQgetResult(conn))
            PQclear(result);
    }
}

void TBulkInsert::Add(const TVariantArray &values)
{
    if (values.size() != size_t(FColumns.size()))
        throw EDatabaseError(
            QStringLiteral("%1 values for %2 columns").arg(values.size()).arg(FColumns.size()));
    if (FInsert) {
        FInsert->Reset();
        FInsert->BindAll(values);
        FInsert->Execute();
        return;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            FBuffer.append('\t');
        FBuffer.append(CopyText(values[i]));
    }
    FBuffer.append('\n');
    if (FBuffer.size() >= SendSize)
        SendBuffered();
}

void TBulkInsert::SendBuffered()
{
    PGconn *conn = FDatabase.PgConnection()->Handle();
    if (PQputCopyData(conn, FBuffer.constData(), int(FBuffer.size())) != 1)
        FDatabase.PgConnection()->Raise(nullptr);
    FBuffer.clear();
}

void TBulkInsert::Finish()
{
    if (!FCopying)
        return;
    if (!FBuffer.isEmpty())
        SendBuffered();
    PGconn *conn = FDatabase.PgConnection()->Handle();
    FCopying = false;
    if (PQputCopyEnd(conn, nullptr) != 1)
        FDatabase.PgConnection()->Raise(nullptr);
    PGresult *failed = nullptr;
    while (PGresult *result = PQgetResult(conn)) {
        if (PQresultStatus(result) != PGRES_COMMAND_OK && !failed)
            failed = result;
        else
            PQclear(result);
    }
    if (failed)
        FDatabase.PgConnection()->Raise(failed);
}
