#include "BulkInserts.h"

#include "DatabaseError.h"
#include "Databases.h"
#include "PgSql.h"
#include "PgStatements.h"
#include "Statements.h"

#include <QScopeGuard>
#include <cctype>
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

// The results of a COPY once it has ended: the first that failed, for the caller to raise, or
// nullptr; the others are freed.
PGresult *firstFailure(PGconn *conn)
{
    PGresult *failed = nullptr;
    while (PGresult *result = PQgetResult(conn)) {
        if (PQresultStatus(result) != PGRES_COMMAND_OK && !failed)
            failed = result;
        else
            PQclear(result);
    }
    return failed;
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
    if (PGresult *failed = firstFailure(conn))
        FDatabase.PgConnection()->Raise(failed);
}

QByteArray UnescapedCopyText(QByteArrayView field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c != '\\' || i + 1 == field.size()) {
            out.append(c);
            continue;
        }
        const char next = field[++i];
        switch (next) {
        case 'b':
            out.append('\b');
            break;
        case 'f':
            out.append('\f');
            break;
        case 'n':
            out.append('\n');
            break;
        case 'r':
            out.append('\r');
            break;
        case 't':
            out.append('\t');
            break;
        case 'v':
            out.append('\v');
            break;
        case 'x': {
            int value = 0, digits = 0;
            for (; digits < 2 && i + 1 < field.size() && std::isxdigit(uchar(field[i + 1])); ++digits)
                value = value * 16 + QByteArray(1, field[++i]).toInt(nullptr, 16);
            if (digits == 0)
                out.append('x');
            else
                out.append(char(value));
            break;
        }
        default:
            if (next >= '0' && next <= '7') {
                int value = next - '0';
                for (int digits = 1;
                     digits < 3 && i + 1 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '7';
                     ++digits)
                    value = value * 8 + (field[++i] - '0');
                out.append(char(value));
            } else {
                out.append(next);
            }
        }
    }
    return out;
}

TBulkRead::TBulkRead(TDatabase &database, const QString &select, std::vector<TFieldType> types)
    : FDatabase(database), FTypes(std::move(types))
{
    if (!database.IsPostgres()) {
        FSelect = database.Prepare(select);
        return;
    }
    // Prepared first, for the types of its columns.
    const auto connection = database.PgConnection();
    {
        TPgStatement prepared(connection, select);
        for (int column = 0; column < prepared.ColumnCount(); ++column)
            FOids.push_back(prepared.ColumnOid(column));
    }
    if (FOids.size() != FTypes.size())
        throw EDatabaseError(QStringLiteral("%1 columns read as %2").arg(FOids.size()).arg(FTypes.size()));
    const QByteArray sql =
        QStringLiteral("COPY (%1) TO STDOUT").arg(TranslateToPostgres(select).Text).toUtf8();
    PGresult *result = PQexec(connection->Handle(), sql.constData());
    if (PQresultStatus(result) != PGRES_COPY_OUT)
        connection->Raise(result);
    PQclear(result);
    FCopying = true;
}

TBulkRead::~TBulkRead()
{
    // A read left part-way is called off, so that the connection serves the next statement.
    if (!FCopying)
        return;
    PGconn *conn = FDatabase.PgConnection()->Handle();
    if (PGcancel *cancel = PQgetCancel(conn)) {
        char reason[256];
        PQcancel(cancel, reason, sizeof reason);
        PQfreeCancel(cancel);
    }
    char *row = nullptr;
    while (PQgetCopyData(conn, &row, 0) > 0)
        PQfreemem(row);
    while (PGresult *result = PQgetResult(conn))
        PQclear(result);
}

bool TBulkRead::Next(TVariantArray &values)
{
    values.resize(FTypes.size());
    if (FSelect) {
        if (!FSelect->Step())
            return false;
        for (size_t i = 0; i < FTypes.size(); ++i)
            values[i] = FSelect->Column(int(i), FTypes[i]);
        return true;
    }
    if (!FCopying)
        return false;
    PGconn *conn = FDatabase.PgConnection()->Handle();
    char *row = nullptr;
    const int length = PQgetCopyData(conn, &row, 0);
    if (length < 0) {
        FCopying = false;
        PGresult *failed = firstFailure(conn);
        if (failed || length == -2)
            FDatabase.PgConnection()->Raise(failed);
        return false;
    }
    const auto freeRow = qScopeGuard([row] { PQfreemem(row); });
    QByteArrayView line(row, length);
    if (line.endsWith('\n'))
        line.chop(1);
    size_t column = 0;
    for (qsizetype start = 0; column < FTypes.size(); ++column) {
        qsizetype end = line.indexOf('\t', start);
        if (end < 0)
            end = line.size();
        const QByteArrayView field = line.sliced(start, end - start);
        values[column] = field == "\\N" ? TVariant::Null()
                                        : PgValueOf(UnescapedCopyText(field), FOids[column], FTypes[column]);
        start = end + 1;
    }
    return true;
}
