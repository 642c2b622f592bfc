#pragma once

#include "FieldTypes.h"
#include "Variants.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
class TDataSet;
class TStatement;
class TPgConnection;
class TDatabase;
struct TAliasInfo;

// What the engine knows of a column of a table.
struct TColumnInfo
{
    QString Name;
    QString DeclType;
    TFieldType Type = TFieldType::Unknown;
    int Size = 0;
    bool NotNull = false;
    bool RowIdAlias = false; // INTEGER PRIMARY KEY: the column is the row's own number
    QString DefaultSql;      // the column's default as written in the schema, empty for none
    // The default when it is a plain literal (a number, a quoted text, NULL, TRUE or FALSE), so a
    // new row's values are known without reading it back; nullopt for an expression.
    std::optional<TVariant> DefaultValue;
};

struct TIndexInfo
{
    QString Name; // the name programs use: "PrimaryKey", "ID", "SerialNum"
    QStringList Fields;
    bool Unique = false;
};

struct TTableInfo
{
    QString Name;
    std::vector<TColumnInfo> Columns;
    std::vector<TIndexInfo> Indexes;
    int RowIdColumn = -1;           // index into Columns of the INTEGER PRIMARY KEY column, or -1
    bool HasInsertTriggers = false; // a row just inserted may differ from what was written

    int ColumnIndex(const QString &name) const; // case-insensitive, -1 when absent
    const TIndexInfo *FindIndex(const QString &name) const;
};

// A session names a set of database connections and reaches the engine configuration, where the
// aliases live. Every session sees the same configuration, so an alias added through the default
// session is found by any other.
class TSession
{
public:
    explicit TSession(QString sessionName);
    ~TSession();
    TSession(const TSession &) = delete;
    TSession &operator=(const TSession &) = delete;

    static TSession &Default();
    static TSession *Find(const QString &sessionName);

    const QString &SessionName() const { return FSessionName; }
    bool Active() const { return FActive; }
    void SetActive(bool value) { FActive = value; }

    // Aliases, read from the engine configuration file each time they are asked for, so a change
    // made by another program is seen.
    bool IsAlias(const QString &name) const;
    TAliasInfo AliasInfo(const QString &name) const;
    // Adds the alias to the configuration in memory; SaveConfigFile makes it persistent.
    void AddAlias(const QString &name, const QString &driver, const QStringList &params);
    void SaveConfigFile();

    TDatabase *FindDatabase(const QString &databaseName) const;

private:
    friend class TDatabase;
    void Register(TDatabase *database);
    void Unregister(TDatabase *database);

    QString FSessionName;
    bool FActive = false;
    std::vector<TDatabase *> FDatabases;
};

enum class TTransIsolation { DirtyRead, ReadCommitted, RepeatableRead };

// Immediate takes the catalogue's write lock at once, so a writer never fails half-way for
// another's lock. Deferred takes it only at the first write to the file: a transaction that
// writes nothing but the connection's temporary tables never takes it, and never waits for
// another program's.
enum class TTransactionLock { Immediate, Deferred };

// One connection to a catalogue file, reached through an alias of the engine configuration (or a
// driver and parameters of its own). Opening never creates a missing file unless its parameters
// say CREATE=TRUE: a catalogue that has gone is an error, not an empty new one.
class TDatabase
{
public:
    TDatabase();
    ~TDatabase();
    TDatabase(const TDatabase &) = delete;
    TDatabase &operator=(const TDatabase &) = delete;

    static constexpr const char16_t *DriverSqlite = u"SQLITE";
    // A database on a PostgreSQL server: SERVER (a host, or the folder of its socket), PORT,
    // DATABASE NAME and USER NAME; the password comes from libpq's ~/.pgpass or a service file.
    static constexpr const char16_t *DriverPostgres = u"POSTGRESQL";
    // The table in which saved queries are kept: one row of name and statement text each.
    static constexpr const char16_t *SavedQueriesTable = u"SavedQueries";

    const QString &AliasName() const { return FAliasName; }
    void SetAliasName(const QString &value);
    const QString &DatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const QString &value);
    const QString &SessionName() const { return FSessionName; }
    void SetSessionName(const QString &value);
    const QString &DriverName() const { return FDriverName; }
    void SetDriverName(const QString &value);
    const QStringList &Params() const { return FParams; }
    void SetParams(const QStringList &value);
    bool LoginPrompt() const { return FLoginPrompt; }
    void SetLoginPrompt(bool value) { FLoginPrompt = value; }
    TTransIsolation TransIsolation() const { return FTransIsolation; }
    void SetTransIsolation(TTransIsolation value) { FTransIsolation = value; }
    // How long a write waits for another program's lock before it fails.
    int BusyTimeout() const { return FBusyTimeout; }
    void SetBusyTimeout(int msecs);

    void Open();
    void Close();
    bool Connected() const { return FHandle != nullptr || FPg != nullptr; }
    bool IsPostgres() const { return FPg != nullptr; }
    // The driver and parameters the open connection was made with, an alias's looked up: what a
    // second connection to the same database is opened with.
    const QString &ConnectedDriver() const { return FConnectedDriver; }
    const QStringList &ConnectedParams() const { return FConnectedParams; }
    // Asks the statement running on the connection to stop; it fails with the engine's message.
    // Safe from any thread while the connection is open (not while it closes); nothing happens
    // when no statement runs.
    void Interrupt() const;
    void SetConnected(bool value) { value ? Open() : Close(); }
    const QString &FileName() const { return FFileName; }
    // Opened for reading only: asked for (OPEN MODE=READ ONLY), or because the file or its folder
    // cannot be written (a disc, a read-only share). Every write to the file is then refused with
    // the text of CheckWritable, before the engine runs it; the connection's temporary tables
    // stay writable.
    bool ReadOnly() const { return FReadOnly; }
    // Throws EDatabaseError ("This catalogue is read-only: ...") on a read-only connection.
    void CheckWritable() const;

    // Runs once the connection is open and set up, before Open returns (a failure closes it
    // again): what every connection needs of its own, such as its temporary tables.
    std::function<void(TDatabase &)> AfterConnect;

    void StartTransaction(TTransactionLock lock = TTransactionLock::Immediate);
    void Commit();
    void Rollback();
    bool InTransaction() const;
    // Runs work in a transaction of its own: committed when it returns, rolled back when it throws.
    void RunInTransaction(const std::function<void()> &work);

    // Runs statements that return no rows; parameters are positional or named (":name") values.
    void ExecSQL(const QString &sql, const TVariantArray &params = {});
    int RowsAffected() const { return FRowsAffected; }

    QString SavedQueryText(const QString &name);
    void StoreSavedQuery(const QString &name, const QString &sql);

    std::shared_ptr<const TTableInfo> TableInfo(const QString &tableName);
    bool TableExists(const QString &tableName);
    // Forget what was read of the schema, after statements that change it.
    void InvalidateSchema();

    // The SQLite connection, for what only that engine has; nullptr on a PostgreSQL connection.
    sqlite3 *Handle() const;
    // The server connection, for what only PostgreSQL has; nullptr on SQLite.
    const std::shared_ptr<TPgConnection> &PgConnection() const { return FPg; }
    // A new prepared statement of the connection's driver. Statements are written in SQLite's
    // dialect; the PostgreSQL driver translates them.
    std::shared_ptr<TStatement> Prepare(const QString &sql);
    // A prepared statement for this text, reset, from the connection's cache: a query opened again
    // and again is compiled once. A statement still held by someone else is not handed out twice;
    // the caller then gets one of its own.
    std::shared_ptr<TStatement> AcquireStatement(const QString &sql);
    // Runs every statement of a script, binding each through `bind`, and returns the rows they
    // changed. A script of several statements takes effect whole or not at all.
    int ExecuteScript(const QString &sql, const std::function<void(TStatement &)> &bind);
    // Reads every row of a query, bound through `bind`, with onRow. A server sends a result whole,
    // so there the rows come `slice` at a time through a cursor, in the transaction that is open
    // or in one of its own: a query of millions of rows holds a slice in memory, never all.
    void ForEachRow(const QString &sql, const std::function<void(TStatement &)> &bind,
                    const std::function<void(const TStatement &)> &onRow, int slice = 10000);
    // An ORDER BY term in which NULL comes first, as SQLite orders it, whatever the engine.
    QString OrderTerm(const QString &column, bool descending) const;
    // What an INSERT needs at its end to give back the row's key: nothing on SQLite, which keeps
    // the last row number.
    QString ReturningKey(const QString &column) const;
    // The next count numbers of a table's generated key, taken now for rows the caller will write
    // with them: on a server, whose sequence never gives them to anyone else, so rows can be
    // written many in a statement with their keys known before. Ascending; empty on SQLite,
    // which numbers rows as they are written.
    std::vector<qint64> ReserveKeys(const QString &tableName, const QString &column, int count);

    // A table opened exclusively is refused to every other data set, and the other way round.
    void AcquireTable(const QString &tableName, const void *owner, bool exclusive);
    void ReleaseTable(const QString &tableName, const void *owner);

    void RegisterDataSet(TDataSet *dataSet);
    void UnregisterDataSet(TDataSet *dataSet);

    // Lets every data set of the connection give up what it holds of a read transaction. Runs
    // whenever the event loop is about to wait, so a data set that is open but idle never keeps
    // a snapshot: other programs can fold the log back, Refresh shows what they wrote, and this
    // connection's own writes do not fail on a stale snapshot. A transaction of the program's
    // own is work under way and is left alone.
    void ReleaseReadLocks();

private:
    friend class TSession; // a session that ends lets go of its connections
    TSession *Session() const;
    void RegisterWithSession();
    QString ParamValue(const QStringList &params, const QString &key) const;
    // Where the engine finds a table of this name: "sqlite_temp_master" for one of the
    // connection's temporary tables, "sqlite_master" for one of the file's, empty for none.
    QString SchemaTableOf(const QString &tableName);
    static int Authorize(void *database, int action, const char *what, const char *detail, const char *schema,
                         const char *trigger);
    // Runs work; when the engine refused to compile a statement because it would write a
    // read-only file, throws the read-only error in place of the engine's.
    template <typename F> auto RefusingWrites(F work);
    void OpenPostgres(const QStringList &params);
    // What every open connection does once it is set up, whatever its driver.
    void FinishOpen();
    std::shared_ptr<const TTableInfo> PostgresTableInfo(const QString &tableName);
    bool PostgresTableExists(const QString &tableName);

    QString FAliasName;
    QString FDatabaseName;
    QString FSessionName = QStringLiteral("Default");
    QString FDriverName;
    QStringList FParams;
    bool FLoginPrompt = true;
    TTransIsolation FTransIsolation = TTransIsolation::ReadCommitted;
    int FBusyTimeout = 2000;

    sqlite3 *FHandle = nullptr;
    std::shared_ptr<TPgConnection> FPg;
    QString FFileName;
    QString FConnectedDriver;
    QStringList FConnectedParams;
    bool FReadOnly = false;
    QString FReadOnlyReason;
    bool FWriteRefused = false;
    int FRowsAffected = 0;
    TSession *FRegisteredIn = nullptr;
    std::map<QString, std::shared_ptr<const TTableInfo>> FSchema;
    std::map<QString, QString> FKeySequences; // by "table.column", see ReserveKeys
    struct TTableUse
    {
        const void *Owner;
        bool Exclusive;
    };
    QHash<QString, std::vector<TTableUse>> FTableUses;
    std::vector<TDataSet *> FDataSets;
    std::map<QString, std::shared_ptr<TStatement>> FStatementCache;
    std::unique_ptr<QObject> FIdleWatch; // the context of the event loop's idle connection
};
