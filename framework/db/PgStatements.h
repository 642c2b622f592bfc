#pragma once

#include "Statements.h"

#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

struct pg_conn;
struct pg_result;
struct pg_cancel;
class TPgStatement;
class TPgCopy;

// What a connection runs while the program goes on (rows being copied): its end is read before
// the connection is asked anything else.
class TPgPending
{
public:
    // Reads the end; throws its failure.
    virtual void Finish() = 0;

protected:
    ~TPgPending() = default;
};

// Where a server is and which database of it: what an alias of the POSTGRESQL driver names. The
// password is never one of them: libpq reads it from ~/.pgpass or a service file.
struct TPgTarget
{
    QString Server; // a host name, or the folder of the server's Unix socket
    QString Port;
    QString Database;
    QString User;
};

// One connection to a PostgreSQL server, shared by the statements prepared on it.
class TPgConnection
{
public:
    // Connects; with create, a database that does not exist yet is created first.
    TPgConnection(const TPgTarget &target, bool create);
    ~TPgConnection();
    TPgConnection(const TPgConnection &) = delete;
    TPgConnection &operator=(const TPgConnection &) = delete;

    // Throws once finished; first ends what runs while the program goes on (TPgCopy), and throws
    // its failure.
    pg_conn *Handle() const;
    // Ends the connection; statements still held fail from then on.
    void Finish();
    // Asks the server to stop the command the connection runs; from any thread, until Finish.
    void Cancel() const;
    // The Oid-numbered type of a column as the SQLite driver would declare it ("SMALLINT").
    static QString DeclType(unsigned type, int modifier);
    bool InTransaction() const;
    // Runs a command of the server's own dialect that takes no parameters and returns no rows.
    void Exec(const QString &sql);
    // Throws EDatabaseError with the server's message for a failed result, which it frees; a
    // connection that has gone is told as such.
    [[noreturn]] void Raise(pg_result *result) const;
    // The text a write refused by a read-only connection is told with; empty for a writable one.
    QString ReadOnlyText;

private:
    friend class TPgCopy;
    pg_conn *FConn = nullptr;
    pg_cancel *FCancel = nullptr;
    mutable TPgPending *FPending = nullptr;
};

// A value as the server writes it in text, of a column of that Oid-numbered type, as the field
// type asks for it.
TVariant PgValueOf(const QByteArray &text, unsigned oid, TFieldType type);

// A statement on a PostgreSQL connection. It is prepared (unnamed) when made, so that its
// parameters and columns are known and a syntax error shows at once; each run sends the text with
// its values, and the whole result is read at the first step.
class TPgStatement final : public TStatement
{
public:
    // Without translate, sql is already in the server's dialect and takes $n parameters.
    TPgStatement(std::shared_ptr<TPgConnection> connection, const QString &sql, bool translate = true);
    ~TPgStatement() override;

    bool IsValid() const override { return true; }
    void Reset() override;
    void Bind(int index, const TVariant &value) override;
    int ParameterIndex(const QString &name) const override;
    int ParameterCount() const override { return int(FParamTypes.size()); }
    QString ParameterName(int index) const override;
    bool Step() override;

    int ColumnCount() const override { return int(FColumns.size()); }
    QString ColumnName(int column) const override;
    QString ColumnDeclType(int column) const override;
    bool ColumnIsNull(int column) const override;
    qint64 ColumnInt64(int column) const override;
    TVariant Column(int column, TFieldType type) const override;
    TFieldType ColumnValueType(int column) const override;
    unsigned ColumnOid(int column) const; // the server's type of the column

    qint64 Changes() const override { return FChanges; }
    qint64 LastInsertId() const override { return FLastInsertId; }
    bool HoldsReadLock() const override { return false; }

private:
    struct TColumn
    {
        QString Name;
        unsigned Type = 0;
        int Modifier = -1;
        bool OfTable = false;
    };
    friend class TPgConnection;
    void Prepare();
    void Run();
    // What Run and Send share: the values as libpq takes them, and whether the statement is
    // prepared under its own name now (its second run) or was already.
    struct TRunValues
    {
        std::vector<const char *> Values;
        std::vector<int> Lengths;
        bool Named = false;
        bool PrepareNow = false;
    };
    TRunValues RunValues();
    // Sends the run as guardedPipeline sends it.
    int SendRun(pg_conn *conn, const TRunValues &run);
    // Takes the result of a run that went through.
    void Took(pg_result *result);
    void Clear();
    QByteArray Text(int column) const;

    std::shared_ptr<TPgConnection> FConnection;
    QByteArray FSql;
    QStringList FParamNames;
    QStringList FAfter;
    std::vector<unsigned> FParamTypes;
    std::vector<TColumn> FColumns;
    bool FTransactionControl = false;
    int FRuns = 0;
    QByteArray FName; // the name it is prepared under on the server, from its second run

    std::vector<std::optional<QByteArray>> FValues;
    std::vector<int> FFormats;
    pg_result *FResult = nullptr;
    bool FRan = false;
    int FRow = -1;
    int FRows = 0;
    qint64 FChanges = 0;
    qint64 FLastInsertId = 0;
};

// Rows copied into a table (COPY FROM STDIN), each sent as it is added while the program goes on,
// inside a transaction and behind a savepoint of its own, so that a failure undoes the rows of
// this copy alone. A copy ends at End, or when the connection is asked anything else.
class TPgCopy final : private TPgPending
{
public:
    TPgCopy(std::shared_ptr<TPgConnection> connection, const QString &table, const QStringList &columns);
    // Ends the copy under way; its failure is told nobody.
    ~TPgCopy();
    TPgCopy(const TPgCopy &) = delete;
    TPgCopy &operator=(const TPgCopy &) = delete;

    // Adds a row, its values in the order of the columns; begins a copy when none is under way.
    void Add(const TVariant *values, size_t count);
    // Ends the copy under way and reads its answer: throws its failure, which wrote none of its
    // rows. Nothing to do without a copy.
    void End();
    bool Copying() const { return FCopying; }

private:
    void Finish() override { End(); }

    std::shared_ptr<TPgConnection> FConnection;
    QByteArray FCommand;
    QByteArray FLine;
    bool FCopying = false;
};
