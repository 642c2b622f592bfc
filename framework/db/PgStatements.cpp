#include "PgStatements.h"

#include "DatabaseError.h"
#include "PgSql.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <atomic>
#include <cmath>
#include <functional>
#include <libpq-fe.h>
#include <limits>

namespace {

// Type numbers of the server's built-in types (pg_type.oid); they never change.
enum : Oid {
    BoolOid = 16,
    ByteaOid = 17,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    TextOid = 25,
    OidOid = 26,
    Float4Oid = 700,
    Float8Oid = 701,
    BpcharOid = 1042,
    VarcharOid = 1043,
    DateOid = 1082,
    TimestampOid = 1114,
    TimestampTzOid = 1184,
    NumericOid = 1700,
};

QByteArray connectionText(const QString &value)
{
    return value.toUtf8();
}

pg_conn *connect(const TPgTarget &target, const QString &database)
{
    const QByteArray host = connectionText(target.Server);
    const QByteArray port = connectionText(target.Port);
    const QByteArray name = connectionText(database);
    const QByteArray user = connectionText(target.User);
    std::vector<const char *> keywords;
    std::vector<const char *> values;
    auto add = [&](const char *keyword, const QByteArray &value) {
        if (!value.isEmpty()) {
            keywords.push_back(keyword);
            values.push_back(value.constData());
        }
    };
    add("host", host);
    add("port", port);
    add("dbname", name);
    add("user", user);
    add("application_name", QByteArrayLiteral("vor-nex"));
    add("client_encoding", QByteArrayLiteral("UTF8"));
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    return PQconnectdbParams(keywords.data(), values.data(), 0);
}

QString connectionError(pg_conn *conn)
{
    return QString::fromUtf8(conn ? PQerrorMessage(conn) : "out of memory").trimmed();
}

QString quoted(const QString &name)
{
    QString text = name;
    return u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Connection

TPgConnection::TPgConnection(const TPgTarget &target, bool create)
{
    if (target.Database.isEmpty())
        throw EDatabaseError(QStringLiteral("The alias names no database on the server"));
    FConn = connect(target, target.Database);
    if (PQstatus(FConn) != CONNECTION_OK && create &&
        connectionError(FConn).contains(QStringLiteral("does not exist"))) {
        PQfinish(FConn);
        FConn = connect(target, QStringLiteral("postgres"));
        if (PQstatus(FConn) == CONNECTION_OK) {
            // Texts in byte order, as SQLite orders them: index orders and ranges stay the same
            // whichever engine holds the catalogue.
            PGresult *result =
                PQexec(FConn, QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8' "
                                             "LC_COLLATE 'C' LC_CTYPE 'C'")
                                  .arg(quoted(target.Database))
                                  .toUtf8()
                                  .constData());
            const bool created = PQresultStatus(result) == PGRES_COMMAND_OK;
            const QString message =
                created ? QString() : QString::fromUtf8(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
            PQclear(result);
            PQfinish(FConn);
            FConn = nullptr;
            // Another program may have created it meanwhile.
            if (!created && !message.contains(QStringLiteral("already exists")))
                throw EDatabaseError(
                    QStringLiteral("Cannot create the database %1: %2").arg(target.Database, message));
            FConn = connect(target, target.Database);
        }
    }
    if (PQstatus(FConn) != CONNECTION_OK) {
        const QString message = connectionError(FConn);
        PQfinish(FConn);
        FConn = nullptr;
        throw EDatabaseError(
            QStringLiteral("Cannot connect to the database %1: %2").arg(target.Database, message));
    }
    FCancel = PQgetCancel(FConn);
    // The server's notices ("drop cascades to ...") are no errors; nobody reads them.
    PQsetNoticeProcessor(
        FConn, [](void *, const char *) {}, nullptr);
}

TPgConnection::~TPgConnection()
{
    Finish();
}

void TPgConnection::Finish()
{
    FPending = nullptr;
    PQfreeCancel(FCancel);
    FCancel = nullptr;
    PQfinish(FConn);
    FConn = nullptr;
}

void TPgConnection::Cancel() const
{
    // PQcancel is made for this: it opens a connection of its own and touches no state of FConn.
    char error[256];
    if (FCancel)
        PQcancel(FCancel, error, int(sizeof error));
}

pg_conn *TPgConnection::Handle() const
{
    if (!FConn)
        throw EDatabaseError(QStringLiteral("The database is not connected"));
    if (TPgPending *pending = std::exchange(FPending, nullptr))
        pending->Finish();
    return FConn;
}

bool TPgConnection::InTransaction() const
{
    if (!FConn)
        return false;
    const PGTransactionStatusType status = PQtransactionStatus(FConn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

void TPgConnection::Exec(const QString &sql)
{
    PGresult *result = PQexec(Handle(), sql.toUtf8().constData());
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        Raise(result);
    PQclear(result);
}

void TPgConnection::Raise(pg_result *result) const
{
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const QString message = primary ? QString::fromUtf8(primary) : connectionError(FConn);
    const QByteArray state = result ? QByteArray(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QByteArray();
    PQclear(result);
    if (PQstatus(FConn) != CONNECTION_OK)
        throw EDatabaseError(
            QCoreApplication::translate("TDatabase", "The connection to the database server was lost: %1")
                .arg(message));
    // A lock wait that ran out, or a deadlock the server broke: what the SQLite driver calls a
    // database locked by another program.
    if (state == "25006" && !ReadOnlyText.isEmpty())
        throw EDatabaseError(ReadOnlyText);
    if (state == "55P03" || state == "40P01" || state == "40001")
        throw EDatabaseError(
            QStringLiteral("The database is being changed by another program and stayed locked; "
                           "try again when that program has finished (%1)")
                .arg(message));
    throw EDatabaseError(message);
}

QString TPgConnection::DeclType(unsigned type, int modifier)
{
    switch (type) {
    case BoolOid:
        return QStringLiteral("BOOLEAN");
    case ByteaOid:
        return QStringLiteral("BLOB");
    case Int2Oid:
        return QStringLiteral("SMALLINT");
    case Int4Oid:
        return QStringLiteral("INTEGER");
    case Int8Oid:
        return QStringLiteral("BIGINT");
    case Float4Oid:
    case Float8Oid:
        return QStringLiteral("DOUBLE");
    case NumericOid:
        return QStringLiteral("NUMERIC");
    case VarcharOid:
        return modifier > 4 ? QStringLiteral("VARCHAR(%1)").arg(modifier - 4) : QStringLiteral("VARCHAR");
    case BpcharOid:
        return modifier > 4 ? QStringLiteral("CHAR(%1)").arg(modifier - 4) : QStringLiteral("CHAR");
    case DateOid:
    case TimestampOid:
    case TimestampTzOid:
        return QStringLiteral("DATETIME");
    default:
        return QStringLiteral("TEXT");
    }
}

// ---------------------------------------------------------------------------------------------
// Statement

namespace {

// A failed statement inside a transaction makes the server refuse everything else until the
// transaction ends; SQLite undoes only the statement. A savepoint around the statement keeps the
// transaction usable, as it is on SQLite.
class TStatementGuard
{
public:
    TStatementGuard(TPgConnection &connection, bool enabled)
        : FConnection(connection),
          FActive(enabled && PQtransactionStatus(connection.Handle()) == PQTRANS_INTRANS)
    {
        if (FActive)
            FConnection.Exec(QStringLiteral("SAVEPOINT vnx_statement"));
    }
    void Done()
    {
        if (std::exchange(FActive, false))
            FConnection.Exec(QStringLiteral("RELEASE SAVEPOINT vnx_statement"));
    }
    void Failed()
    {
        if (std::exchange(FActive, false) && PQstatus(FConnection.Handle()) == CONNECTION_OK) {
            PGresult *result = PQexec(FConnection.Handle(),
                                      "ROLLBACK TO SAVEPOINT vnx_statement; RELEASE SAVEPOINT vnx_statement");
            PQclear(result);
        }
    }

private:
    TPgConnection &FConnection;
    bool FActive;
};

// Whether a statement needs the savepoint of TStatementGuard: inside a transaction only.
bool needsGuard(pg_conn *conn, bool enabled)
{
    return enabled && PQtransactionStatus(conn) == PQTRANS_INTRANS;
}

// Sends what `send` queues between a savepoint and its release in one pipeline, so that a
// statement guarded as TStatementGuard guards it costs the server one round trip, not three.
// Returns the results of what `send` queued, in order; on a failure the transaction is taken back
// to the savepoint and the failed result comes last. The caller frees the results.
// The first half of guardedPipeline: false when nothing was sent, or the connection is gone.
bool sendGuarded(pg_conn *conn, const std::function<int(pg_conn *)> &send)
{
    const auto sendCommand = [conn](const char *sql) {
        return PQsendQueryParams(conn, sql, 0, nullptr, nullptr, nullptr, nullptr, 0);
    };
    if (PQenterPipelineMode(conn) != 1 || sendCommand("SAVEPOINT vnx_statement") != 1 || send(conn) != 1 ||
        sendCommand("RELEASE SAVEPOINT vnx_statement") != 1 || PQpipelineSync(conn) != 1) {
        // What is queued is dropped with the connection.
        PQexitPipelineMode(conn);
        return false;
    }
    return true;
}

// The second half: the answers to what sendGuarded sent.
std::vector<PGresult *> receiveGuarded(pg_conn *conn, int queued)
{
    std::vector<PGresult *> results;
    bool failed = false;
    // The savepoint, what was queued, the release: each one's results end with a null.
    for (int query = 0; query < queued + 2;) {
        PGresult *result = PQgetResult(conn);
        if (!result) {
            ++query;
            continue;
        }
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_PIPELINE_SYNC) { // the server ended the pipeline early (a lost connection)
            PQclear(result);
            failed = true;
            break;
        }
        const bool error = status == PGRES_FATAL_ERROR || status == PGRES_PIPELINE_ABORTED;
        if (query >= 1 && query <= queued && !failed) {
            results.push_back(result);
            failed = status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE;
            continue;
        }
        if (error && !failed)
            failed = true, results.push_back(result);
        else
            PQclear(result);
    }
    if (PQstatus(conn) == CONNECTION_OK) {
        while (PGresult *result = PQgetResult(conn)) {
            const bool sync = PQresultStatus(result) == PGRES_PIPELINE_SYNC;
            PQclear(result);
            if (sync)
                break;
        }
    }
    PQexitPipelineMode(conn);
    if (failed && PQstatus(conn) == CONNECTION_OK)
        PQclear(PQexec(conn, "ROLLBACK TO SAVEPOINT vnx_statement; RELEASE SAVEPOINT vnx_statement"));
    if (results.empty() || (failed && (PQresultStatus(results.back()) == PGRES_COMMAND_OK ||
                                       PQresultStatus(results.back()) == PGRES_TUPLES_OK)))
        results.push_back(nullptr);
    return results;
}

std::vector<PGresult *> guardedPipeline(pg_conn *conn, const std::function<int(pg_conn *)> &send, int queued)
{
    if (!sendGuarded(conn, send))
        return {nullptr};
    return receiveGuarded(conn, queued);
}

} // namespace

TPgStatement::TPgStatement(std::shared_ptr<TPgConnection> connection, const QString &sql, bool translate)
    : FConnection(std::move(connection))
{
    if (translate) {
        TPgSql pg = TranslateToPostgres(sql);
        FSql = pg.Text.toUtf8();
        FParamNames = std::move(pg.ParamNames);
        FAfter = std::move(pg.After);
    } else {
        FSql = sql.toUtf8();
    }
    static const QRegularExpression control(
        QStringLiteral("^\\s*(BEGIN|COMMIT|ROLLBACK|SAVEPOINT|RELEASE|END|START|ABORT)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    FTransactionControl = control.match(QString::fromUtf8(FSql)).hasMatch();
    Prepare();
}

TPgStatement::~TPgStatement()
{
    Clear();
    // What the server keeps of a named statement goes with it; a connection that has gone, or a
    // transaction that failed, lets it go at the session's end instead.
    if (!FName.isEmpty()) {
        try {
            PQclear(PQexec(FConnection->Handle(), QByteArray("DEALLOCATE " + FName).constData()));
        } catch (const EDatabaseError &) {
        }
    }
}

void TPgStatement::Prepare()
{
    pg_conn *conn = FConnection->Handle();
    std::vector<Oid> types(size_t(FParamNames.size()), 0);
    static const QRegularExpression undetermined(
        QStringLiteral("could not determine data type of parameter \\$(\\d+)"));
    const bool guarded = needsGuard(conn, !FTransactionControl);
    PGresult *description = nullptr;
    for (int attempt = 0;; ++attempt) {
        PGresult *failure = nullptr;
        if (guarded) {
            std::vector<PGresult *> results = guardedPipeline(
                conn,
                [&](pg_conn *c) {
                    return PQsendPrepare(c, "", FSql.constData(), int(types.size()), types.data()) == 1 &&
                                   PQsendDescribePrepared(c, "") == 1
                               ? 1
                               : 0;
                },
                2);
            if (results.size() == 2 && PQresultStatus(results[1]) == PGRES_COMMAND_OK) {
                PQclear(results[0]);
                description = results[1];
                break;
            }
            failure = results.back();
            results.pop_back();
            for (PGresult *other : results)
                PQclear(other);
        } else {
            PGresult *result = PQprepare(conn, "", FSql.constData(), int(types.size()), types.data());
            if (PQresultStatus(result) == PGRES_COMMAND_OK) {
                PQclear(result);
                description = PQdescribePrepared(conn, "");
                if (PQresultStatus(description) != PGRES_COMMAND_OK)
                    FConnection->Raise(description);
                break;
            }
            failure = result;
        }
        // A parameter nothing gives a type to ("? IS NULL", "SELECT ?") is taken as text, which
        // is how SQLite would hold it.
        const QString message =
            failure ? QString::fromUtf8(PQresultErrorField(failure, PG_DIAG_MESSAGE_PRIMARY)) : QString();
        const QRegularExpressionMatch match = undetermined.match(message);
        if (match.hasMatch() && attempt < 1000) {
            const size_t index = match.captured(1).toUInt();
            if (index > 0 && index <= 65535) {
                PQclear(failure);
                if (types.size() < index)
                    types.resize(index, 0);
                types[index - 1] = TextOid;
                continue;
            }
        }
        FConnection->Raise(failure);
    }
    FParamTypes.resize(size_t(PQnparams(description)));
    for (size_t i = 0; i < FParamTypes.size(); ++i)
        FParamTypes[i] = PQparamtype(description, int(i));
    for (int i = 0; i < PQnfields(description); ++i)
        FColumns.push_back({QString::fromUtf8(PQfname(description, i)), PQftype(description, i),
                            PQfmod(description, i), PQftable(description, i) != InvalidOid});
    PQclear(description);
    while (FParamNames.size() < qsizetype(FParamTypes.size()))
        FParamNames << QString();
    FValues.assign(FParamTypes.size(), std::nullopt);
    FFormats.assign(FParamTypes.size(), 0);
}

void TPgStatement::Clear()
{
    PQclear(FResult);
    FResult = nullptr;
    FRan = false;
    FRow = -1;
    FRows = 0;
}

void TPgStatement::Reset()
{
    Clear();
    FValues.assign(FParamTypes.size(), std::nullopt);
    FFormats.assign(FParamTypes.size(), 0);
}

void TPgStatement::Bind(int index, const TVariant &value)
{
    if (index < 1 || size_t(index) > FValues.size())
        throw EDatabaseError(QStringLiteral("Parameter index %1 out of range").arg(index));
    const size_t i = size_t(index) - 1;
    const Oid type = FParamTypes[i];
    std::optional<QByteArray> &slot = FValues[i];
    FFormats[i] = 0;
    switch (value.VarType()) {
    case TVarType::Empty:
    case TVarType::Null:
        slot.reset();
        break;
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
        slot = type == BoolOid ? QByteArray(value.AsInt64() != 0 ? "t" : "f")
                               : QByteArray::number(value.AsInt64());
        break;
    case TVarType::Boolean:
        slot = type == BoolOid ? QByteArray(value.AsBoolean() ? "t" : "f")
                               : QByteArray(value.AsBoolean() ? "1" : "0");
        break;
    case TVarType::Double:
    case TVarType::Currency: {
        const double number = value.AsDouble();
        slot = std::isnan(number)   ? QByteArray("NaN")
               : std::isinf(number) ? QByteArray(number > 0 ? "Infinity" : "-Infinity")
                                    : QByteArray::number(number, 'g', 17);
        if (type == BoolOid)
            slot = QByteArray(number != 0.0 ? "t" : "f");
        break;
    }
    case TVarType::Date:
        slot = value.AsDateTime().ToTextUtf8();
        break;
    case TVarType::String:
        slot = value.AsString().toUtf8();
        break;
    case TVarType::Bytes: {
        QByteArray bytes = value.AsBytes();
        if (bytes.isNull())
            bytes = QByteArray("", 0);
        slot = std::move(bytes);
        FFormats[i] = 1;
        break;
    }
    case TVarType::Array:
        throw EDatabaseError(QStringLiteral("An array cannot be a parameter value"));
    }
}

int TPgStatement::ParameterIndex(const QString &name) const
{
    for (qsizetype i = 0; i < FParamNames.size(); ++i)
        if (FParamNames[i].compare(name, Qt::CaseInsensitive) == 0)
            return int(i) + 1;
    return 0;
}

QString TPgStatement::ParameterName(int index) const
{
    return index >= 1 && index <= FParamNames.size() ? FParamNames[index - 1] : QString();
}

TPgStatement::TRunValues TPgStatement::RunValues()
{
    TRunValues run;
    run.Values.assign(FValues.size(), nullptr);
    run.Lengths.assign(FValues.size(), 0);
    for (size_t i = 0; i < FValues.size(); ++i) {
        if (FValues[i]) {
            run.Values[i] = FValues[i]->constData();
            run.Lengths[i] = int(FValues[i]->size());
        }
    }
    // A statement run again is kept prepared on the server under a name of its own, so that the
    // server parses and plans it once, not at every run.
    run.Named = FAfter.isEmpty() && !FTransactionControl && ++FRuns > 1;
    run.PrepareNow = run.Named && FName.isEmpty();
    if (run.PrepareNow) {
        static std::atomic<quint64> serial{0};
        FName = QByteArrayLiteral("vnx_") + QByteArray::number(++serial);
    }
    return run;
}

int TPgStatement::SendRun(pg_conn *conn, const TRunValues &run)
{
    const int count = int(run.Values.size());
    if (run.PrepareNow &&
        PQsendPrepare(conn, FName.constData(), FSql.constData(), count, FParamTypes.data()) != 1)
        return 0;
    return run.Named ? PQsendQueryPrepared(conn, FName.constData(), count, run.Values.data(),
                                           run.Lengths.data(), FFormats.data(), 0)
                     : PQsendQueryParams(conn, FSql.constData(), count, FParamTypes.data(), run.Values.data(),
                                         run.Lengths.data(), FFormats.data(), 0);
}

void TPgStatement::Run()
{
    Clear();
    pg_conn *conn = FConnection->Handle();
    const TRunValues run = RunValues();
    const int count = int(run.Values.size());
    PGresult *result = nullptr;
    std::optional<TStatementGuard> guard;
    if (FAfter.isEmpty() && needsGuard(conn, !FTransactionControl)) {
        std::vector<PGresult *> results = guardedPipeline(
            conn, [&](pg_conn *c) { return SendRun(c, run); }, run.PrepareNow ? 2 : 1);
        // A name the server did not take is not used again.
        if (run.PrepareNow && results.size() < 2)
            FName.clear();
        result = results.back();
        results.pop_back();
        for (PGresult *other : results)
            PQclear(other);
    } else {
        guard.emplace(*FConnection, !FTransactionControl);
        if (run.PrepareNow) {
            PGresult *prepared =
                PQprepare(conn, FName.constData(), FSql.constData(), count, FParamTypes.data());
            if (PQresultStatus(prepared) != PGRES_COMMAND_OK)
                FName.clear();
            PQclear(prepared);
        }
        result = run.Named && !FName.isEmpty()
                     ? PQexecPrepared(conn, FName.constData(), count, run.Values.data(), run.Lengths.data(),
                                      FFormats.data(), 0)
                     : PQexecParams(conn, FSql.constData(), count, FParamTypes.data(), run.Values.data(),
                                    run.Lengths.data(), FFormats.data(), 0);
    }
    const ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        if (guard)
            guard->Failed();
        FConnection->Raise(result);
    }
    try {
        for (const QString &statement : FAfter)
            FConnection->Exec(statement);
    } catch (...) {
        PQclear(result);
        if (guard)
            guard->Failed();
        throw;
    }
    if (guard)
        guard->Done();
    Took(result);
}

void TPgStatement::Took(PGresult *result)
{
    FResult = result;
    FRan = true;
    FRows = PQntuples(result);
    // The server counts the rows a query returns too; only what changed rows counts here.
    const char *command = PQcmdStatus(result);
    const bool changes = qstrncmp(command, "INSERT", 6) == 0 || qstrncmp(command, "UPDATE", 6) == 0 ||
                         qstrncmp(command, "DELETE", 6) == 0 || qstrncmp(command, "MERGE", 5) == 0;
    FChanges = changes ? QByteArray(PQcmdTuples(result)).toLongLong() : 0;
    // An insert that returns a column returns the key it gave the row.
    if (PQresultStatus(result) == PGRES_TUPLES_OK && FRows > 0 && qstrncmp(command, "INSERT", 6) == 0 &&
        PQnfields(result) > 0)
        FLastInsertId = QByteArray(PQgetvalue(result, 0, 0)).toLongLong();
}

bool TPgStatement::Step()
{
    if (!FRan)
        Run();
    if (FRow < FRows)
        ++FRow;
    return FRow < FRows;
}

QString TPgStatement::ColumnName(int column) const
{
    return FColumns.at(size_t(column)).Name;
}

QString TPgStatement::ColumnDeclType(int column) const
{
    const TColumn &c = FColumns.at(size_t(column));
    return c.OfTable ? TPgConnection::DeclType(c.Type, c.Modifier) : QString();
}

QByteArray TPgStatement::Text(int column) const
{
    return QByteArray(PQgetvalue(FResult, FRow, column), PQgetlength(FResult, FRow, column));
}

bool TPgStatement::ColumnIsNull(int column) const
{
    return !FResult || FRow < 0 || FRow >= FRows || PQgetisnull(FResult, FRow, column);
}

namespace {

qint64 integerOf(const QByteArray &text, Oid type)
{
    if (type == BoolOid)
        return text == "t" ? 1 : 0;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (ok)
        return value;
    return qint64(std::llround(text.toDouble()));
}

// The server writes a time without its zero milliseconds, or with fewer than three digits.
QByteArray normalizedTime(QByteArray text)
{
    const qsizetype dot = text.indexOf('.');
    if (text.size() < 19)
        return text;
    if (dot < 0)
        return text + ".000";
    if (text.size() - dot - 1 < 3)
        return text + QByteArray(3 - (text.size() - dot - 1), '0');
    return text.left(dot + 4);
}

QByteArray bytesOf(const QByteArray &text, Oid type)
{
    if (type != ByteaOid)
        return text;
    size_t length = 0;
    unsigned char *bytes =
        PQunescapeBytea(reinterpret_cast<const unsigned char *>(text.constData()), &length);
    QByteArray value(reinterpret_cast<const char *>(bytes), qsizetype(length));
    PQfreemem(bytes);
    return value;
}

} // namespace

qint64 TPgStatement::ColumnInt64(int column) const
{
    return ColumnIsNull(column) ? 0 : integerOf(Text(column), FColumns.at(size_t(column)).Type);
}

TFieldType TPgStatement::ColumnValueType(int column) const
{
    if (ColumnIsNull(column))
        return TFieldType::String;
    switch (FColumns.at(size_t(column)).Type) {
    case Int2Oid:
    case Int4Oid:
        return TFieldType::Integer;
    case Int8Oid:
    case OidOid: {
        const qint64 value = ColumnInt64(column);
        return value >= std::numeric_limits<qint32>::min() && value <= std::numeric_limits<qint32>::max()
                   ? TFieldType::Integer
                   : TFieldType::Largeint;
    }
    case BoolOid:
        return TFieldType::Boolean;
    case Float4Oid:
    case Float8Oid:
    case NumericOid:
        return TFieldType::Float;
    case ByteaOid:
        return TFieldType::Blob;
    default:
        return TFieldType::String;
    }
}

TVariant TPgStatement::Column(int column, TFieldType type) const
{
    if (ColumnIsNull(column))
        return TVariant::Null();
    return PgValueOf(Text(column), FColumns.at(size_t(column)).Type, type);
}

unsigned TPgStatement::ColumnOid(int column) const
{
    return FColumns.at(size_t(column)).Type;
}

TVariant PgValueOf(const QByteArray &text, unsigned oid, TFieldType type)
{
    switch (type) {
    case TFieldType::Smallint:
        return TVariant(qint16(integerOf(text, oid)));
    case TFieldType::Integer:
    case TFieldType::AutoInc:
        return TVariant(qint32(integerOf(text, oid)));
    case TFieldType::Largeint:
        return TVariant(qint64(integerOf(text, oid)));
    case TFieldType::Boolean:
        return TVariant(oid == BoolOid ? text == "t" : integerOf(text, oid) != 0);
    case TFieldType::Float:
        return TVariant(oid == BoolOid ? double(integerOf(text, oid)) : text.toDouble());
    case TFieldType::Currency:
        return TVariant(TCurrency::FromDouble(text.toDouble()));
    case TFieldType::DateTime: {
        TDateTime value;
        const QByteArray time = normalizedTime(text);
        if (TDateTime::FromText(time.constData(), time.size(), value))
            return TVariant(value);
        return TVariant::Null();
    }
    case TFieldType::Blob:
        return TVariant(bytesOf(text, oid));
    case TFieldType::String:
    case TFieldType::Memo:
    case TFieldType::Unknown:
        break;
    }
    if (oid == BoolOid)
        return TVariant(text == "t" ? QStringLiteral("1") : QStringLiteral("0"));
    if (oid == TimestampOid)
        return TVariant(QString::fromUtf8(normalizedTime(text)));
    return TVariant(QString::fromUtf8(bytesOf(text, oid)));
}

// ---------------------------------------------------------------------------------------------
// Copies

TPgCopy::TPgCopy(std::shared_ptr<TPgConnection> connection, const QString &table, const QStringList &columns)
    : FConnection(std::move(connection))
{
    QStringList names;
    for (const QString &column : columns)
        names << quoted(column);
    FCommand = QStringLiteral("COPY %1 (%2) FROM STDIN").arg(quoted(table), names.join(u", ")).toUtf8();
}

TPgCopy::~TPgCopy()
{
    try {
        End();
    } catch (const EDatabaseError &) {
    }
}

namespace {

// A value as a field of COPY's text format.
void appendCopyField(QByteArray &line, const TVariant &value)
{
    const auto appendText = [&line](const QByteArray &text) {
        for (const char c : text) {
            switch (c) {
            case '\\':
                line += "\\\\";
                break;
            case '\t':
                line += "\\t";
                break;
            case '\n':
                line += "\\n";
                break;
            case '\r':
                line += "\\r";
                break;
            default:
                line += c;
            }
        }
    };
    switch (value.VarType()) {
    case TVarType::Empty:
    case TVarType::Null:
        line += "\\N";
        break;
    case TVarType::Smallint:
    case TVarType::Integer:
    case TVarType::Int64:
        line += QByteArray::number(value.AsInt64());
        break;
    case TVarType::Boolean:
        line += value.AsBoolean() ? 't' : 'f';
        break;
    case TVarType::Double:
    case TVarType::Currency:
        line += QByteArray::number(value.AsDouble(), 'g', 17);
        break;
    case TVarType::Date:
        line += value.AsDateTime().ToTextUtf8();
        break;
    case TVarType::String:
        appendText(value.AsString().toUtf8());
        break;
    case TVarType::Bytes:
    case TVarType::Array:
        throw EDatabaseError(QStringLiteral("A copied row holds only texts, numbers and times"));
    }
}

} // namespace

void TPgCopy::Add(const TVariant *values, size_t count)
{
    FLine.clear();
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            FLine += '\t';
        appendCopyField(FLine, values[i]);
    }
    FLine += '\n';
    if (!FCopying) {
        pg_conn *conn = FConnection->Handle();
        if (!FConnection->InTransaction())
            throw EDatabaseError(QStringLiteral("Rows are copied inside a transaction only"));
        FConnection->Exec(QStringLiteral("SAVEPOINT vnx_copy"));
        PGresult *result = PQexec(conn, FCommand.constData());
        if (PQresultStatus(result) != PGRES_COPY_IN) {
            PQclear(PQexec(conn, "ROLLBACK TO SAVEPOINT vnx_copy; RELEASE SAVEPOINT vnx_copy"));
            FConnection->Raise(result);
        }
        PQclear(result);
        FCopying = true;
        FConnection->FPending = this;
    }
    if (PQputCopyData(FConnection->FConn, FLine.constData(), int(FLine.size())) != 1)
        End(); // the connection is gone: End tells so
}

void TPgCopy::End()
{
    if (!std::exchange(FCopying, false))
        return;
    if (FConnection->FPending == this)
        FConnection->FPending = nullptr;
    pg_conn *conn = FConnection->FConn;
    PGresult *result = PQputCopyEnd(conn, nullptr) == 1 ? PQgetResult(conn) : nullptr;
    while (PGresult *more = PQgetResult(conn))
        PQclear(more);
    if (PQresultStatus(result) == PGRES_COMMAND_OK) {
        PQclear(result);
        FConnection->Exec(QStringLiteral("RELEASE SAVEPOINT vnx_copy"));
        return;
    }
    if (PQstatus(conn) == CONNECTION_OK)
        PQclear(PQexec(conn, "ROLLBACK TO SAVEPOINT vnx_copy; RELEASE SAVEPOINT vnx_copy"));
    FConnection->Raise(result);
}
