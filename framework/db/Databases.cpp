#include "Databases.h"

#include "DataSets.h"
#include "DatabaseError.h"
#include "EngineConfig.h"
#include "PgSql.h"
#include "PgStatements.h"
#include "SqliteStatements.h"
#include "TableSql.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <sqlite3.h>
#include <unistd.h>

// ---------------------------------------------------------------------------------------------
// Schema

int TTableInfo::ColumnIndex(const QString &name) const
{
    for (size_t i = 0; i < Columns.size(); ++i)
        if (Columns[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

const TIndexInfo *TTableInfo::FindIndex(const QString &name) const
{
    for (const TIndexInfo &index : Indexes)
        if (index.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &index;
    // An index on the row number itself needs no tree of its own: the table is ordered by it.
    if (RowIdColumn >= 0 && Columns[size_t(RowIdColumn)].Name.compare(name, Qt::CaseInsensitive) == 0)
        return FindIndex(QStringLiteral("PrimaryKey"));
    return nullptr;
}

namespace {

// Whether a trigger's CREATE statement names INSERT as its event: only such a trigger can change
// a row just inserted. The event is the keyword after the trigger's name and its timing.
bool firesOnInsert(const QString &sql)
{
    qsizetype at = 0;
    const auto skipSpace = [&] {
        while (at < sql.size() && sql[at].isSpace())
            ++at;
    };
    const auto word = [&] {
        skipSpace();
        const qsizetype start = at;
        while (at < sql.size() && (sql[at].isLetterOrNumber() || sql[at] == u'_' || sql[at] == u'$'))
            ++at;
        return sql.mid(start, at - start).toUpper();
    };
    // A name, quoted or not, possibly after its schema's.
    const auto name = [&] {
        skipSpace();
        if (at < sql.size() && (sql[at] == u'"' || sql[at] == u'`' || sql[at] == u'[')) {
            const QChar close = sql[at] == u'[' ? QChar(u']') : sql[at];
            for (++at; at < sql.size(); ++at) {
                if (sql[at] != close)
                    continue;
                if (at + 1 < sql.size() && sql[at + 1] == close && close != u']') {
                    ++at; // a doubled quote inside the name
                    continue;
                }
                ++at;
                break;
            }
        } else {
            word();
        }
    };
    QString next = word(); // CREATE
    next = word();
    if (next == u"TEMP" || next == u"TEMPORARY")
        next = word();
    const qsizetype afterTrigger = at;
    if (word() == u"IF" && word() == u"NOT" && word() == u"EXISTS") {
    } else {
        at = afterTrigger;
    }
    name();
    skipSpace();
    if (at < sql.size() && sql[at] == u'.') {
        ++at;
        name();
    }
    next = word();
    if (next == u"BEFORE" || next == u"AFTER")
        next = word();
    else if (next == u"INSTEAD")
        word(), next = word();
    return next == u"INSERT";
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Sessions

namespace {

std::vector<TSession *> &sessions()
{
    static std::vector<TSession *> list;
    return list;
}

// Aliases added but not saved yet belong to the process, not to one session.
std::vector<TAliasInfo> &pendingAliases()
{
    static std::vector<TAliasInfo> aliases;
    return aliases;
}

// The configuration as the file holds it now, with the aliases added but not saved yet.
TEngineConfig currentConfig()
{
    TEngineConfig config;
    config.Load();
    for (const TAliasInfo &alias : pendingAliases())
        if (!config.IsAlias(alias.Name))
            config.AddAlias(alias.Name, alias.Driver, alias.Params);
    return config;
}

} // namespace

TSession::TSession(QString sessionName) : FSessionName(std::move(sessionName))
{
    for (const TSession *session : sessions())
        if (session->FSessionName.compare(FSessionName, Qt::CaseInsensitive) == 0)
            throw EDatabaseError(QStringLiteral("Duplicate session name '%1'").arg(FSessionName));
    sessions().push_back(this);
}

TSession::~TSession()
{
    for (TDatabase *database : std::vector<TDatabase *>(FDatabases)) {
        database->Close();
        database->FRegisteredIn = nullptr;
    }
    std::erase(sessions(), this);
}

TSession &TSession::Default()
{
    static TSession session(QStringLiteral("Default"));
    session.FActive = true;
    return session;
}

TSession *TSession::Find(const QString &sessionName)
{
    if (sessionName.isEmpty() || sessionName.compare(u"Default", Qt::CaseInsensitive) == 0)
        return &Default();
    for (TSession *session : sessions())
        if (session->FSessionName.compare(sessionName, Qt::CaseInsensitive) == 0)
            return session;
    return nullptr;
}

bool TSession::IsAlias(const QString &name) const
{
    return currentConfig().IsAlias(name);
}

TAliasInfo TSession::AliasInfo(const QString &name) const
{
    const std::optional<TAliasInfo> info = currentConfig().Alias(name);
    if (!info)
        throw EDatabaseError(QStringLiteral("Unknown database: %1").arg(name));
    return *info;
}

void TSession::AddAlias(const QString &name, const QString &driver, const QStringList &params)
{
    // Checked against the file and the other pending aliases: a duplicate or a malformed line is
    // refused now, not when saving.
    currentConfig().AddAlias(name, driver, params);
    pendingAliases().push_back(TAliasInfo{name, driver, params});
}

void TSession::SaveConfigFile()
{
    // Aliases that could not be made persistent are dropped rather than kept for this process
    // alone: a later check must not find an alias that the next start would miss.
    const TEngineConfig config = currentConfig();
    pendingAliases().clear();
    config.Save();
}

TDatabase *TSession::FindDatabase(const QString &databaseName) const
{
    for (TDatabase *database : FDatabases)
        if (database->DatabaseName().compare(databaseName, Qt::CaseInsensitive) == 0)
            return database;
    return nullptr;
}

void TSession::Register(TDatabase *database)
{
    if (std::find(FDatabases.begin(), FDatabases.end(), database) == FDatabases.end())
        FDatabases.push_back(database);
}

void TSession::Unregister(TDatabase *database)
{
    std::erase(FDatabases, database);
}

// ---------------------------------------------------------------------------------------------
// Database

TDatabase::TDatabase() = default;

TDatabase::~TDatabase()
{
    Close();
    if (FRegisteredIn)
        FRegisteredIn->Unregister(this);
}

TSession *TDatabase::Session() const
{
    TSession *session = TSession::Find(FSessionName);
    if (!session)
        throw EDatabaseError(QStringLiteral("Session '%1' not found").arg(FSessionName));
    return session;
}

void TDatabase::SetAliasName(const QString &value)
{
    if (Connected())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open database"));
    FAliasName = value;
}

void TDatabase::SetDatabaseName(const QString &value)
{
    if (Connected())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open database"));
    FDatabaseName = value;
    RegisterWithSession();
}

void TDatabase::SetSessionName(const QString &value)
{
    if (Connected())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open database"));
    FSessionName = value;
    RegisterWithSession();
}

void TDatabase::SetDriverName(const QString &value)
{
    if (Connected())
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an open database"));
    FDriverName = value;
}

void TDatabase::SetParams(const QStringList &value)
{
    FParams = value;
}

void TDatabase::SetBusyTimeout(int msecs)
{
    FBusyTimeout = msecs;
    if (FHandle)
        sqlite3_busy_timeout(FHandle, msecs);
    if (FPg)
        FPg->Exec(QStringLiteral("SET lock_timeout = %1").arg(msecs));
}

QString TDatabase::ParamValue(const QStringList &params, const QString &key) const
{
    for (const QString &line : params) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1).trimmed();
    }
    return QString();
}

void TDatabase::Open()
{
    if (Connected())
        return;
    // Memory statistics cost a global lock on every allocation of the engine; nothing reads them.
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return true;
    }();
    Q_UNUSED(configured);
    TSession *session = Session();
    QString driver = FDriverName;
    QStringList params = FParams;
    if (!FAliasName.isEmpty()) {
        const TAliasInfo alias = session->AliasInfo(FAliasName);
        driver = alias.Driver;
        // The connection's own lines (a user name, say) come after the alias's and add to them.
        params = alias.Params + FParams;
    }
    if (driver.compare(QStringView(DriverPostgres), Qt::CaseInsensitive) == 0) {
        OpenPostgres(params);
        FConnectedDriver = QString::fromUtf16(DriverPostgres);
        FConnectedParams = params;
        FinishOpen();
        // Set after AfterConnect: a read-only transaction may write temporary tables but not make
        // them, and what a connection needs of its own is made there.
        if (FReadOnly && FPg)
            FPg->Exec(QStringLiteral("SET default_transaction_read_only = on"));
        return;
    }
    if (driver.compare(QStringView(DriverSqlite), Qt::CaseInsensitive) != 0)
        throw EDatabaseError(QStringLiteral("Unknown driver: %1").arg(driver));

    const QString path = ParamValue(params, QStringLiteral("DATABASE NAME"));
    if (path.isEmpty())
        throw EDatabaseError(QStringLiteral("The database %1 names no file").arg(FDatabaseName));
    const QString mode = ParamValue(params, QStringLiteral("OPEN MODE"));
    bool readOnly = mode.compare(u"READ ONLY", Qt::CaseInsensitive) == 0;
    const bool create =
        ParamValue(params, QStringLiteral("CREATE")).compare(u"TRUE", Qt::CaseInsensitive) == 0;
    const QFileInfo fileInfo(path);
    const QByteArray file = fileInfo.absoluteFilePath().toUtf8();
    QString why;
    if (readOnly) {
        why = QCoreApplication::translate("TDatabase", "opened for reading only");
    } else if (fileInfo.exists()) {
        // Writing needs the file and, for the engine's journal and log beside it, its folder: a
        // catalogue on a disc, a read-only share or a protected backup can still be read.
        if (::access(file.constData(), W_OK) != 0)
            why = QCoreApplication::translate("TDatabase", "the file cannot be written");
        else if (::access(QFile::encodeName(fileInfo.absolutePath()).constData(), W_OK) != 0)
            why = QCoreApplication::translate("TDatabase", "its folder cannot be written");
        readOnly = !why.isEmpty();
    }

    int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (create && !readOnly)
        flags |= SQLITE_OPEN_CREATE;
    const auto openHandle = [&](const QByteArray &name, int extraFlags) {
        sqlite3 *handle = nullptr;
        const int rc =
            sqlite3_open_v2(name.constData(), &handle, flags | extraFlags | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            QString message = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : "out of memory");
            sqlite3_close_v2(handle);
            if (rc == SQLITE_CANTOPEN)
                message = QStringLiteral("Cannot open the database file %1: %2").arg(path, message);
            throw EDatabaseError(message);
        }
        sqlite3_extended_result_codes(handle, 1);
        sqlite3_busy_timeout(handle, FBusyTimeout);
        return handle;
    };
    sqlite3 *handle = openHandle(file, 0);
    if (!readOnly && sqlite3_db_readonly(handle, "main") == 1) {
        readOnly = true;
        why = QCoreApplication::translate("TDatabase", "the file cannot be written");
    }
    try {
        // Reading the schema proves the file is a database before anything else touches it.
        try {
            TSqliteStatement(handle, QStringLiteral("SELECT count(*) FROM sqlite_master")).Execute();
        } catch (const EDatabaseError &) {
            // A reader of a file with a write-ahead log makes the log's index beside it, which a
            // folder that cannot be written refuses. Nobody can be writing such a file, so it is
            // read as it lies.
            if (!readOnly)
                throw;
            sqlite3_close_v2(handle);
            handle = nullptr;
            const QByteArray uri =
                "file:" + QUrl::toPercentEncoding(fileInfo.absoluteFilePath(), "/") + "?immutable=1";
            handle = openHandle(uri, SQLITE_OPEN_URI);
            TSqliteStatement(handle, QStringLiteral("SELECT count(*) FROM sqlite_master")).Execute();
        }
        // A new file gets write-ahead logging, so a reader never waits for a writer. A file that
        // exists keeps its mode: opening a file must not change it before it is known to be ours.
        bool newFile = false;
        {
            TSqliteStatement pages(handle, QStringLiteral("PRAGMA page_count"));
            newFile = pages.Step() && pages.ColumnInt64(0) == 0;
        }
        if (!readOnly && newFile) {
            // Larger pages hold more entries each: a search that reads every name of a catalogue
            // of millions reads a quarter fewer pages, and appending is no slower. Only an empty
            // file can still take a page size.
            TSqliteStatement(handle, QStringLiteral("PRAGMA page_size=16384")).Execute();
            TSqliteStatement(handle, QStringLiteral("PRAGMA journal_mode=WAL")).Execute();
        }
        TSqliteStatement(handle, QStringLiteral("PRAGMA synchronous=NORMAL")).Execute();
        // Checkpoints flush to the disk; at the default of every 1,000 pages a volume scan spends a
        // third of its time on them. The log may grow to some 40 MB before it is folded back.
        TSqliteStatement(handle, QStringLiteral("PRAGMA wal_autocheckpoint=10000")).Execute();
        TSqliteStatement(handle, QStringLiteral("PRAGMA foreign_keys=ON")).Execute();
        // Deleted rows need not be overwritten with zeros: the catalogue holds no secrets, and
        // removing a large volume should not cost a rewrite of its pages.
        TSqliteStatement(handle, QStringLiteral("PRAGMA secure_delete=OFF")).Execute();
        if (FTransIsolation == TTransIsolation::DirtyRead)
            TSqliteStatement(handle, QStringLiteral("PRAGMA read_uncommitted=ON")).Execute();
        if (readOnly)
            sqlite3_set_authorizer(handle, &TDatabase::Authorize, this);
    } catch (const EDatabaseError &) {
        sqlite3_close_v2(handle);
        throw;
    }
    FHandle = handle;
    FFileName = path;
    FConnectedDriver = QString::fromUtf16(DriverSqlite);
    FConnectedParams = params;
    FReadOnly = readOnly;
    FReadOnlyReason = readOnly ? QStringLiteral("%1 (%2)").arg(path, why) : QString();
    FWriteRefused = false;
    FinishOpen();
}

void TDatabase::FinishOpen()
{
    RegisterWithSession();
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance()) {
        FIdleWatch = std::make_unique<QObject>();
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, FIdleWatch.get(),
                         [this] { ReleaseReadLocks(); });
    }
    if (AfterConnect) {
        try {
            AfterConnect(*this);
        } catch (...) {
            Close();
            throw;
        }
    }
}

int TDatabase::Authorize(void *database, int action, const char *what, const char *detail, const char *schema,
                         const char *)
{
    // Only a read-only connection has this check. Its temporary tables are its own to write.
    const bool temporary = schema && qstrcmp(schema, "temp") == 0;
    bool writes = false;
    switch (action) {
    case SQLITE_UPDATE:
        // Connecting a virtual table has the engine compile, and never run, an update of the
        // schema table from the table's declaration; nothing else can write that table.
        writes = !temporary &&
                 !(what && (qstricmp(what, "sqlite_master") == 0 || qstricmp(what, "sqlite_schema") == 0));
        break;
    case SQLITE_INSERT:
    case SQLITE_DELETE:
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_VIEW:
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_VIEW:
    case SQLITE_ALTER_TABLE:
    case SQLITE_REINDEX:
    case SQLITE_ANALYZE:
    case SQLITE_CREATE_VTABLE:
    case SQLITE_DROP_VTABLE:
        writes = !temporary;
        break;
    case SQLITE_PRAGMA: {
        // Connection settings are the connection's; these change the file.
        static const char *const fileSettings[] = {"application_id",    "user_version", "schema_version",
                                                   "journal_mode",      "page_size",    "auto_vacuum",
                                                   "incremental_vacuum"};
        if (detail && !temporary)
            for (const char *setting : fileSettings)
                if (what && qstricmp(what, setting) == 0)
                    writes = true;
        break;
    }
    default:
        break;
    }
    if (!writes)
        return SQLITE_OK;
    static_cast<TDatabase *>(database)->FWriteRefused = true;
    return SQLITE_DENY;
}

void TDatabase::CheckWritable() const
{
    if (FReadOnly)
        throw EDatabaseError(
            QCoreApplication::translate("TDatabase", "This catalogue is read-only: %1").arg(FReadOnlyReason));
}

template <typename F> auto TDatabase::RefusingWrites(F work)
{
    FWriteRefused = false;
    try {
        return work();
    } catch (const EDatabaseError &) {
        if (std::exchange(FWriteRefused, false))
            CheckWritable();
        throw;
    }
}

void TDatabase::RegisterWithSession()
{
    // Data sets find a connection by its name in its session, before it is opened too.
    TSession *session = FDatabaseName.isEmpty() ? nullptr : TSession::Find(FSessionName);
    if (FRegisteredIn == session)
        return;
    if (FRegisteredIn)
        FRegisteredIn->Unregister(this);
    FRegisteredIn = session;
    if (session)
        session->Register(this);
}

void TDatabase::Close()
{
    if (!Connected())
        return;
    FIdleWatch.reset();
    for (TDataSet *dataSet : std::vector<TDataSet *>(FDataSets))
        dataSet->Close();
    FDataSets.clear();
    FStatementCache.clear();
    FSchema.clear();
    FKeySequences.clear();
    FTableUses.clear();
    if (FPg) {
        // Ending the session rolls back what it left open.
        FPg->Finish();
        FPg.reset();
        return;
    }
    if (sqlite3_get_autocommit(FHandle) == 0)
        sqlite3_exec(FHandle, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(FHandle);
    FHandle = nullptr;
}

void TDatabase::Interrupt() const
{
    if (FPg)
        FPg->Cancel();
    else if (FHandle)
        sqlite3_interrupt(FHandle);
}

sqlite3 *TDatabase::Handle() const
{
    if (FPg)
        return nullptr;
    if (!FHandle)
        throw EDatabaseError(QStringLiteral("Database %1 is not connected").arg(FDatabaseName));
    return FHandle;
}

std::shared_ptr<TStatement> TDatabase::Prepare(const QString &sql)
{
    if (FPg)
        return std::make_shared<TPgStatement>(FPg, sql);
    return RefusingWrites([&] { return std::make_shared<TSqliteStatement>(Handle(), sql); });
}

int TDatabase::ExecuteScript(const QString &sql, const std::function<void(TStatement &)> &bind)
{
    if (!FPg) {
        return RefusingWrites([&] {
            return ::ExecuteScript(Handle(), sql, [&](TSqliteStatement &statement) { bind(statement); });
        });
    }
    int changed = 0;
    auto run = [&](const QString &text) {
        TPgStatement statement(FPg, text);
        bind(statement);
        statement.Execute();
        changed += int(statement.Changes());
    };
    const QStringList statements = SplitStatements(sql);
    if (statements.size() <= 1) {
        for (const QString &statement : statements)
            run(statement);
        return changed;
    }
    const bool nested = FPg->InTransaction();
    FPg->Exec(nested ? QStringLiteral("SAVEPOINT script") : QStringLiteral("BEGIN"));
    try {
        for (const QString &statement : statements)
            run(statement);
    } catch (...) {
        try {
            FPg->Exec(nested ? QStringLiteral("ROLLBACK TO SAVEPOINT script; RELEASE SAVEPOINT script")
                             : QStringLiteral("ROLLBACK"));
        } catch (const EDatabaseError &) {
            // The first error is the one to report; a connection that went is told by the next use.
        }
        throw;
    }
    FPg->Exec(nested ? QStringLiteral("RELEASE SAVEPOINT script") : QStringLiteral("COMMIT"));
    return changed;
}

void TDatabase::ForEachRow(const QString &sql, const std::function<void(TStatement &)> &bind,
                           const std::function<void(const TStatement &)> &onRow, int slice)
{
    if (!FPg) {
        const std::shared_ptr<TStatement> statement = Prepare(sql);
        bind(*statement);
        while (statement->Step())
            onRow(*statement);
        return;
    }
    // A cursor lasts as long as its transaction; one of a name of its own, so that a read begun
    // while another one goes on does not meet it.
    static std::atomic<quint64> serial{0};
    const QString cursor = QStringLiteral("vnx_rows_%1").arg(++serial);
    const bool own = !InTransaction();
    // A read: a connection that may not write reads as well.
    if (own)
        StartTransaction(TTransactionLock::Deferred);
    try {
        const std::shared_ptr<TStatement> declare =
            Prepare(QStringLiteral("DECLARE %1 CURSOR FOR ").arg(cursor) + sql);
        bind(*declare);
        declare->Step();
        const std::shared_ptr<TStatement> fetch =
            Prepare(QStringLiteral("FETCH %1 FROM %2").arg(std::max(slice, 1)).arg(cursor));
        for (int rows = slice; rows >= slice;) {
            fetch->Reset();
            rows = 0;
            while (fetch->Step()) {
                onRow(*fetch);
                ++rows;
            }
        }
        fetch->Reset();
        ExecSQL(QStringLiteral("CLOSE %1").arg(cursor));
        if (own)
            Commit();
    } catch (...) {
        // A cursor left open goes with the transaction; one of the caller's is closed if it still can be.
        if (own && InTransaction()) {
            Rollback();
        } else if (!own) {
            try {
                ExecSQL(QStringLiteral("CLOSE %1").arg(cursor));
            } catch (const EDatabaseError &) {
            }
        }
        throw;
    }
}

QString TDatabase::OrderTerm(const QString &column, bool descending) const
{
    if (FPg)
        return column + (descending ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" NULLS FIRST"));
    return descending ? column + QStringLiteral(" DESC") : column;
}

QString TDatabase::ReturningKey(const QString &column) const
{
    return FPg ? QStringLiteral(" RETURNING ") + column : QString();
}

std::vector<qint64> TDatabase::ReserveKeys(const QString &tableName, const QString &column, int count)
{
    std::vector<qint64> keys;
    if (!FPg || count <= 0)
        return keys;
    CheckWritable();
    // The sequence is looked up once: the lookup costs the server more than the numbers do. The
    // table's name as the server looks it up (quoted, as every name is written), the column's as
    // it stands.
    QString &sequence = FKeySequences[tableName + u'.' + column];
    if (sequence.isEmpty()) {
        const std::shared_ptr<TStatement> find =
            AcquireStatement(QStringLiteral("SELECT pg_get_serial_sequence(?, ?)"));
        find->Bind(1, TVariant(QuoteIdentifier(tableName)));
        find->Bind(2, TVariant(column));
        const bool found = find->Step() && !find->ColumnIsNull(0);
        if (found)
            sequence = find->Column(0, TFieldType::String).AsString();
        find->Reset();
        if (!found)
            throw EDatabaseError(
                QStringLiteral("The table %1 has no generated key %2").arg(tableName, column));
    }
    const std::shared_ptr<TStatement> next = AcquireStatement(QStringLiteral(
        "SELECT nextval(CAST(? AS regclass)) FROM generate_series(1, CAST(? AS INTEGER)) ORDER BY 1"));
    next->Bind(1, TVariant(sequence));
    next->Bind(2, TVariant(qint32(count)));
    keys.reserve(size_t(count));
    try {
        while (next->Step())
            keys.push_back(next->ColumnInt64(0));
    } catch (...) {
        next->Reset();
        throw;
    }
    next->Reset();
    if (keys.size() != size_t(count))
        throw EDatabaseError(QStringLiteral("The table %1 has no generated key %2").arg(tableName, column));
    return keys;
}

std::shared_ptr<TStatement> TDatabase::AcquireStatement(const QString &sql)
{
    std::shared_ptr<TStatement> &slot = FStatementCache[sql];
    if (slot && slot.use_count() == 1) {
        slot->Reset();
        return slot;
    }
    const auto prepare = [&] { return Prepare(sql); };
    if (slot)
        return prepare();
    // Statements are few and small; the bound only guards against a caller that builds texts.
    if (FStatementCache.size() > 128) {
        std::erase_if(FStatementCache,
                      [](const auto &entry) { return entry.second && entry.second.use_count() == 1; });
        return AcquireStatement(sql);
    }
    try {
        slot = prepare();
    } catch (...) {
        FStatementCache.erase(sql);
        throw;
    }
    return slot;
}

bool TDatabase::InTransaction() const
{
    if (FPg)
        return FPg->InTransaction();
    return FHandle && sqlite3_get_autocommit(FHandle) == 0;
}

void TDatabase::StartTransaction(TTransactionLock lock)
{
    if (InTransaction())
        throw EDatabaseError(QStringLiteral("A transaction is already active"));
    if (FPg) {
        // The server locks rows, not the database: there is no write lock to take up front.
        if (lock == TTransactionLock::Immediate)
            CheckWritable();
        FPg->Exec(QStringLiteral("BEGIN"));
        return;
    }
    if (lock == TTransactionLock::Immediate) {
        CheckWritable();
        TSqliteStatement(Handle(), QStringLiteral("BEGIN IMMEDIATE")).Execute();
    } else {
        TSqliteStatement(Handle(), QStringLiteral("BEGIN")).Execute();
    }
}

void TDatabase::RunInTransaction(const std::function<void()> &work)
{
    StartTransaction();
    try {
        work();
        Commit();
    } catch (...) {
        if (InTransaction())
            Rollback();
        throw;
    }
}

void TDatabase::Commit()
{
    if (!InTransaction())
        throw EDatabaseError(QStringLiteral("No transaction is active"));
    if (FPg)
        FPg->Exec(QStringLiteral("COMMIT"));
    else
        TSqliteStatement(Handle(), QStringLiteral("COMMIT")).Execute();
}

void TDatabase::Rollback()
{
    if (!InTransaction())
        throw EDatabaseError(QStringLiteral("No transaction is active"));
    if (FPg)
        FPg->Exec(QStringLiteral("ROLLBACK"));
    else
        TSqliteStatement(Handle(), QStringLiteral("ROLLBACK")).Execute();
}

void TDatabase::ExecSQL(const QString &sql, const TVariantArray &params)
{
    size_t nextParam = 0;
    FRowsAffected = ExecuteScript(sql, [&](TStatement &statement) {
        for (int i = 1; i <= statement.ParameterCount() && nextParam < params.size(); ++i)
            statement.Bind(i, params[nextParam++]);
    });
    InvalidateSchema();
}

QString TDatabase::SavedQueryText(const QString &name)
{
    if (!TableExists(QString::fromUtf16(SavedQueriesTable)))
        throw EDatabaseError(QStringLiteral("Saved query '%1' not found").arg(name));
    const QString table = QuoteIdentifier(QString::fromUtf16(SavedQueriesTable));
    const std::shared_ptr<TStatement> statement =
        Prepare(FPg ? QStringLiteral("SELECT Statement FROM %1 WHERE lower(Name) = lower(?)").arg(table)
                    : QStringLiteral("SELECT Statement FROM %1 WHERE Name = ? COLLATE NOCASE").arg(table));
    statement->Bind(1, TVariant(name));
    if (!statement->Step())
        throw EDatabaseError(QStringLiteral("Saved query '%1' not found").arg(name));
    return statement->Column(0, TFieldType::Memo).AsString();
}

void TDatabase::StoreSavedQuery(const QString &name, const QString &sql)
{
    CheckWritable();
    const QString table = QuoteIdentifier(QString::fromUtf16(SavedQueriesTable));
    if (FPg) {
        // Names are found without regard to case, so a name stored in another case replaces it.
        ExecSQL(QStringLiteral(
                    "CREATE TABLE IF NOT EXISTS %1 (Name VARCHAR(64) PRIMARY KEY, Statement TEXT NOT NULL)")
                    .arg(table));
        ExecSQL(QStringLiteral("DELETE FROM %1 WHERE lower(Name) = lower(?); "
                               "INSERT INTO %1 (Name, Statement) VALUES (?, ?)")
                    .arg(table),
                {TVariant(name), TVariant(name), TVariant(sql)});
        return;
    }
    ExecSQL(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (Name VARCHAR(64) PRIMARY KEY COLLATE NOCASE, "
                           "Statement TEXT NOT NULL)")
                .arg(table));
    ExecSQL(QStringLiteral("INSERT OR REPLACE INTO %1 (Name, Statement) VALUES (?, ?)").arg(table),
            {TVariant(name), TVariant(sql)});
}

bool TDatabase::TableExists(const QString &tableName)
{
    if (FPg)
        return PostgresTableExists(tableName);
    return !SchemaTableOf(tableName).isEmpty();
}

QString TDatabase::SchemaTableOf(const QString &tableName)
{
    // A name is looked up among the connection's temporary tables first, as the engine does.
    for (const QString &schema : {QStringLiteral("sqlite_temp_master"), QStringLiteral("sqlite_master")}) {
        TSqliteStatement statement(Handle(),
                                   QStringLiteral("SELECT 1 FROM %1 WHERE type IN ('table', 'view') "
                                                  "AND name = ? COLLATE NOCASE")
                                       .arg(schema));
        statement.Bind(1, TVariant(tableName));
        if (statement.Step())
            return schema;
    }
    return QString();
}

void TDatabase::InvalidateSchema()
{
    FSchema.clear();
    FKeySequences.clear();
}

std::shared_ptr<const TTableInfo> TDatabase::TableInfo(const QString &tableName)
{
    const QString key = tableName.toLower();
    if (auto it = FSchema.find(key); it != FSchema.end())
        return it->second;
    if (FPg) {
        std::shared_ptr<const TTableInfo> info = PostgresTableInfo(tableName);
        FSchema[key] = info;
        return info;
    }
    sqlite3 *handle = Handle();
    const QString schema = SchemaTableOf(tableName);
    if (schema.isEmpty())
        throw EDatabaseError(QStringLiteral("Table does not exist: %1").arg(tableName));

    auto info = std::make_unique<TTableInfo>();
    info->Name = tableName;
    int pkColumns = 0;
    TSqliteStatement columns(handle, QStringLiteral("PRAGMA table_info(%1)").arg(QuoteIdentifier(tableName)));
    while (columns.Step()) {
        TColumnInfo column;
        column.Name = columns.Column(1, TFieldType::String).AsString();
        column.DeclType = columns.Column(2, TFieldType::String).AsString();
        column.Type = FieldTypeFromDecl(column.DeclType, &column.Size);
        column.NotNull = columns.ColumnInt64(3) != 0;
        column.DefaultSql =
            columns.ColumnIsNull(4) ? QString() : columns.Column(4, TFieldType::String).AsString();
        column.DefaultValue = LiteralDefault(column.DefaultSql);
        if (columns.ColumnInt64(5) > 0) {
            ++pkColumns;
            if (column.DeclType.compare(u"INTEGER", Qt::CaseInsensitive) == 0) {
                column.RowIdAlias = true;
                info->RowIdColumn = int(info->Columns.size());
            }
        }
        info->Columns.push_back(column);
    }
    if (info->RowIdColumn >= 0) {
        TColumnInfo &rowId = info->Columns[size_t(info->RowIdColumn)];
        if (pkColumns != 1) {
            rowId.RowIdAlias = false;
            rowId.Type = TFieldType::Integer;
            info->RowIdColumn = -1;
        } else {
            // Only AUTOINCREMENT makes the number the database's to give; a plain INTEGER PRIMARY
            // KEY is a key the program writes.
            TSqliteStatement sql(
                handle, QStringLiteral("SELECT sql FROM %1 WHERE type = 'table' AND name = ? COLLATE NOCASE")
                            .arg(schema));
            sql.Bind(1, TVariant(tableName));
            const bool autoIncrement =
                sql.Step() &&
                sql.Column(0, TFieldType::Memo).AsString().contains(u"AUTOINCREMENT", Qt::CaseInsensitive);
            rowId.Type = autoIncrement ? TFieldType::AutoInc : TFieldType::Integer;
        }
    }

    TSqliteStatement triggers(
        handle, QStringLiteral("SELECT sql FROM %1 WHERE type = 'trigger' AND tbl_name = ? COLLATE NOCASE")
                    .arg(schema));
    triggers.Bind(1, TVariant(tableName));
    while (!info->HasInsertTriggers && triggers.Step())
        info->HasInsertTriggers = firesOnInsert(triggers.Column(0, TFieldType::Memo).AsString());

    // Index names are global in the database file, so an index that a program calls "ID" on the
    // Entries table is stored as "Entries.ID"; both spellings are accepted.
    const QString prefix = tableName + u'.';
    TSqliteStatement indexes(handle, QStringLiteral("PRAGMA index_list(%1)").arg(QuoteIdentifier(tableName)));
    while (indexes.Step()) {
        TIndexInfo index;
        const QString storedName = indexes.Column(1, TFieldType::String).AsString();
        const QString origin = indexes.Column(3, TFieldType::String).AsString();
        index.Unique = indexes.ColumnInt64(2) != 0;
        index.Name = origin == u"pk"                                      ? QStringLiteral("PrimaryKey")
                     : storedName.startsWith(prefix, Qt::CaseInsensitive) ? storedName.mid(prefix.size())
                                                                          : storedName;
        TSqliteStatement fields(handle,
                                QStringLiteral("PRAGMA index_info(%1)").arg(QuoteIdentifier(storedName)));
        while (fields.Step())
            index.Fields << fields.Column(2, TFieldType::String).AsString();
        info->Indexes.push_back(index);
    }
    if (info->RowIdColumn >= 0) {
        TIndexInfo primary;
        primary.Name = QStringLiteral("PrimaryKey");
        primary.Fields << info->Columns[size_t(info->RowIdColumn)].Name;
        primary.Unique = true;
        info->Indexes.insert(info->Indexes.begin(), primary);
    }
    std::shared_ptr<const TTableInfo> shared = std::move(info);
    FSchema[key] = shared;
    return shared;
}

void TDatabase::AcquireTable(const QString &tableName, const void *owner, bool exclusive)
{
    std::vector<TTableUse> &uses = FTableUses[tableName.toLower()];
    for (const TTableUse &use : uses)
        if (use.Owner != owner && (use.Exclusive || exclusive))
            throw EDatabaseError(QStringLiteral("Table is busy.\nTable: %1").arg(tableName));
    uses.push_back({owner, exclusive});
}

void TDatabase::ReleaseTable(const QString &tableName, const void *owner)
{
    auto it = FTableUses.find(tableName.toLower());
    if (it == FTableUses.end())
        return;
    std::erase_if(*it, [owner](const TTableUse &use) { return use.Owner == owner; });
}

void TDatabase::RegisterDataSet(TDataSet *dataSet)
{
    if (std::find(FDataSets.begin(), FDataSets.end(), dataSet) == FDataSets.end())
        FDataSets.push_back(dataSet);
}

void TDatabase::UnregisterDataSet(TDataSet *dataSet)
{
    std::erase(FDataSets, dataSet);
}

void TDatabase::ReleaseReadLocks()
{
    if (!Connected() || InTransaction())
        return;
    for (TDataSet *dataSet : FDataSets)
        dataSet->ReleaseReadLock();
}
