#include "BulkInserts.h"
#include "Databases.h"
#include "EngineConfig.h"
#include "Queries.h"
#include "Tables.h"
#include "TestDrivers.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDatabases : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void AliasSavedAndUsedFromAnotherSession();
    void AliasNotSavedStaysInThisProcess();
    void UnknownAlias();
    void ConnectionParamsAddToTheAlias();
    void Sessions();
    void SessionDestroyedBeforeItsDatabase();
    void SessionNameChangedWhileClosed();

    void Open_data();
    void Open();
    void ConnectionSettings_data();
    void ConnectionSettings();
    void ReadOnlyMode();
    void InterruptStopsTheRunningStatementOnly();
    void ReadOnlyRefusesEveryWrite_data();
    void ReadOnlyRefusesEveryWrite();
    void ReadOnlyKeepsItsTemporaryTables();
    void ReadOnlyFolder();
    void PropertiesFixedWhileConnected();

    void Transactions();
    void TransactionMisuse();
    void CloseRollsBackAnOpenTransaction();
    void FailedStatementLeavesTheTransactionUsable();
    void SecondConnectionWaitsThenFails();
    void ExecSQL_data();
    void ExecSQL();

    void SqliteComparisons_data();
    void SqliteComparisons();
    void BulkInsertKeepsEveryValue();
    void CloseClosesDataSets();
    void ScriptTakesEffectWholeOrNotAtAll();
    void AliasWrittenByAnotherProgramIsSeen();
    void DataSetFindsConnectionBeforeItOpens();

    void OpenOnServer_data();
    void OpenOnServer();
    void LostConnectionIsTold();

private:
    std::unique_ptr<QTemporaryDir> FConfigDir;
    std::unique_ptr<QTemporaryDir> FDataDir;
    QByteArray FSavedXdg;
    QString FPath;         // a catalogue with table T of two rows: its file, or its name on the server
    QStringList FLocation; // the driver's parameters that name it

    std::unique_ptr<TDatabase> Direct(const QString &name, const QStringList &extra = {}) const;
    int Count(TDatabase &database, const QString &where = QString()) const;
};

void TestDatabases::init()
{
    FConfigDir = std::make_unique<QTemporaryDir>();
    FDataDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FConfigDir->isValid());
    QVERIFY(FDataDir->isValid());
    FSavedXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FConfigDir->path()));

    FLocation = TestDatabaseParams(FDataDir->path(), QStringLiteral("vor-nex"));
    for (const QString &param : FLocation)
        if (param.startsWith(u"DATABASE NAME="))
            FPath = param.mid(14);
    auto maker = Direct(QStringLiteral("Maker"), {QStringLiteral("CREATE=TRUE")});
    maker->Open();
    maker->ExecSQL(QStringLiteral("CREATE TABLE T (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(40))"));
    maker->ExecSQL(QStringLiteral("INSERT INTO T (Name) VALUES ('one'), ('two')"));
}

void TestDatabases::cleanup()
{
    qputenv("XDG_CONFIG_HOME", FSavedXdg);
    FDataDir.reset();
    FConfigDir.reset();
}

std::unique_ptr<TDatabase> TestDatabases::Direct(const QString &name, const QStringList &extra) const
{
    auto database = std::make_unique<TDatabase>();
    database->SetDatabaseName(name);
    database->SetDriverName(TestDriver());
    database->SetParams(FLocation + extra);
    return database;
}

int TestDatabases::Count(TDatabase &database, const QString &where) const
{
    return int(ScalarOf(database, QStringLiteral("SELECT count(*) FROM T ") + where));
}

// ---------------------------------------------------------------------------------------------
// Sessions and aliases

void TestDatabases::AliasSavedAndUsedFromAnotherSession()
{
    TSession &session = TSession::Default();
    QVERIFY(!session.IsAlias(QStringLiteral("VOR-NEX")));
    const QStringList params = FLocation + QStringList{QStringLiteral("OPEN MODE=READ/WRITE")};
    session.AddAlias(QStringLiteral("VOR-NEX"), TestDriver(), params);
    session.SaveConfigFile();

    const QString iniPath = FConfigDir->filePath(QStringLiteral("vor-nex/engine.ini"));
    QVERIFY(QFileInfo::exists(iniPath));
    const QString ini = QString::fromUtf8(readAll(iniPath));
    QVERIFY2(ini.contains(QStringLiteral("[VOR-NEX]")), qPrintable(ini));
    QVERIFY2(ini.contains(QStringLiteral("DRIVER=") + TestDriver()), qPrintable(ini));
    QVERIFY2(ini.contains(QStringLiteral("DATABASE NAME=") + FPath), qPrintable(ini));
    QVERIFY2(ini.contains(QStringLiteral("OPEN MODE=READ/WRITE")), qPrintable(ini));
    // What another program reads from the file.
    TEngineConfig config(iniPath);
    config.Load();
    QVERIFY(config.Alias(QStringLiteral("VOR-NEX")));
    QCOMPARE(config.Alias(QStringLiteral("VOR-NEX"))->Params, params);

    TSession other(QStringLiteral("Private"));
    QVERIFY(other.IsAlias(QStringLiteral("VOR-NEX")));
    QVERIFY(other.IsAlias(QStringLiteral("vor-nex")));
    QCOMPARE(other.AliasInfo(QStringLiteral("VOR-NEX")).Driver, TestDriver());

    TDatabase database;
    database.SetAliasName(QStringLiteral("VOR-NEX"));
    database.SetDatabaseName(QStringLiteral("VOR_NEX"));
    database.SetSessionName(QStringLiteral("Private"));
    database.SetLoginPrompt(false);
    database.Open();
    QVERIFY(database.Connected());
    QCOMPARE(database.FileName(), FPath);
    QVERIFY(!database.ReadOnly());
    QCOMPARE(other.FindDatabase(QStringLiteral("vor_nex")), &database);
    QCOMPARE(session.FindDatabase(QStringLiteral("VOR_NEX")), nullptr);

    TTable table;
    table.SetDatabaseName(QStringLiteral("VOR_NEX"));
    table.SetSessionName(QStringLiteral("Private"));
    table.SetTableName(QStringLiteral("T"));
    table.Open();
    QCOMPARE(table.Database(), &database);
    QCOMPARE(table.RecordCount(), 2);
    QVERIFY(table.CanModify());

    // The same name in another session is another connection, here none.
    TTable elsewhere;
    elsewhere.SetDatabaseName(QStringLiteral("VOR_NEX"));
    elsewhere.SetTableName(QStringLiteral("T"));
    QCOMPARE(ErrorOf([&] { elsewhere.Open(); }), QStringLiteral("Unknown database: VOR_NEX"));
}

void TestDatabases::AliasNotSavedStaysInThisProcess()
{
    TSession::Default().AddAlias(QStringLiteral("Scratch"), TestDriver(), FLocation);
    QVERIFY(TSession::Default().IsAlias(QStringLiteral("Scratch")));
    TSession other(QStringLiteral("Private"));
    QVERIFY(other.IsAlias(QStringLiteral("Scratch")));
    QVERIFY(!QFileInfo::exists(FConfigDir->filePath(QStringLiteral("vor-nex/engine.ini"))));
    TEngineConfig config;
    config.Load();
    QVERIFY(!config.IsAlias(QStringLiteral("Scratch")));
}

void TestDatabases::UnknownAlias()
{
    TDatabase database;
    database.SetDatabaseName(QStringLiteral("Nowhere"));
    database.SetAliasName(QStringLiteral("No such alias"));
    QCOMPARE(ErrorOf([&] { database.Open(); }), QStringLiteral("Unknown database: No such alias"));
    QVERIFY(!database.Connected());
}

void TestDatabases::ConnectionParamsAddToTheAlias()
{
    // The alias names the file; the connection adds a mode of its own.
    TSession::Default().AddAlias(QStringLiteral("VOR-NEX"), TestDriver(), FLocation);
    TDatabase database;
    database.SetAliasName(QStringLiteral("VOR-NEX"));
    database.SetDatabaseName(QStringLiteral("Reader"));
    database.SetParams({QStringLiteral("OPEN MODE=READ ONLY")});
    database.Open();
    QVERIFY(database.ReadOnly());
    QCOMPARE(database.FileName(), FPath);
}

void TestDatabases::Sessions()
{
    QCOMPARE(TSession::Find(QStringLiteral("default")), &TSession::Default());
    QCOMPARE(TSession::Find(QString()), &TSession::Default());
    QVERIFY(TSession::Default().Active());
    QCOMPARE(TSession::Find(QStringLiteral("Private")), nullptr);
    {
        TSession session(QStringLiteral("Private"));
        QCOMPARE(TSession::Find(QStringLiteral("PRIVATE")), &session);
        QCOMPARE(ErrorOf([] { TSession duplicate(QStringLiteral("private")); }),
                 QStringLiteral("Duplicate session name 'private'"));
        QCOMPARE(ErrorOf([] { TSession duplicate(QStringLiteral("Default")); }),
                 QStringLiteral("Duplicate session name 'Default'"));
    }
    QCOMPARE(TSession::Find(QStringLiteral("Private")), nullptr);

    TDatabase database;
    database.SetSessionName(QStringLiteral("Private"));
    database.SetDriverName(TestDriver());
    database.SetParams(FLocation);
    QCOMPARE(ErrorOf([&] { database.Open(); }), QStringLiteral("Session 'Private' not found"));
}

// Run under the sanitizer build (VNX_SANITIZE) to see a use after free, should one return.
void TestDatabases::SessionDestroyedBeforeItsDatabase()
{
    TDatabase database;
    auto session = std::make_unique<TSession>(QStringLiteral("Private"));
    database.SetSessionName(QStringLiteral("Private"));
    database.SetDatabaseName(QStringLiteral("Short-lived"));
    database.SetDriverName(TestDriver());
    database.SetParams(FLocation);
    database.Open();
    session.reset();
    QVERIFY(!database.Connected());
    // A session of the same name made later is a new one; the connection joins it when it opens.
    TSession again(QStringLiteral("Private"));
    database.Open();
    QCOMPARE(again.FindDatabase(QStringLiteral("Short-lived")), &database);
    database.Close();
}

void TestDatabases::SessionNameChangedWhileClosed()
{
    TSession session(QStringLiteral("Private"));
    auto database = Direct(QStringLiteral("Moving"));
    database->Open();
    QCOMPARE(TSession::Default().FindDatabase(QStringLiteral("Moving")), database.get());
    database->Close();
    database->SetSessionName(QStringLiteral("Private"));
    database->Open();
    QCOMPARE(session.FindDatabase(QStringLiteral("Moving")), database.get());
    QCOMPARE(TSession::Default().FindDatabase(QStringLiteral("Moving")), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Opening

void TestDatabases::Open_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("file"); // "catalogue", "missing", "garbage", "in a missing folder", "none"
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("error"); // the start of the message; empty: opens

    const QStringList create{QStringLiteral("CREATE=TRUE")};
    const QStringList readOnly{QStringLiteral("OPEN MODE=READ ONLY")};
    const QString cannotOpen = QStringLiteral("Cannot open the database file ");
    const QString notADatabase = QStringLiteral("file is not a database");
    QTest::newRow("catalogue") << QStringLiteral("SQLITE") << QStringLiteral("catalogue") << QStringList()
                               << QString();
    QTest::newRow("driver in other case")
        << QStringLiteral("sqlite") << QStringLiteral("catalogue") << QStringList() << QString();
    QTest::newRow("missing") << QStringLiteral("SQLITE") << QStringLiteral("missing") << QStringList()
                             << cannotOpen;
    QTest::newRow("missing, read only")
        << QStringLiteral("SQLITE") << QStringLiteral("missing") << readOnly << cannotOpen;
    QTest::newRow("missing, read only, create")
        << QStringLiteral("SQLITE") << QStringLiteral("missing") << readOnly + create << cannotOpen;
    QTest::newRow("missing, create") << QStringLiteral("SQLITE") << QStringLiteral("missing") << create
                                     << QString();
    QTest::newRow("in a missing folder, create")
        << QStringLiteral("SQLITE") << QStringLiteral("in a missing folder") << create << cannotOpen;
    QTest::newRow("garbage") << QStringLiteral("SQLITE") << QStringLiteral("garbage") << QStringList()
                             << notADatabase;
    QTest::newRow("garbage, create") << QStringLiteral("SQLITE") << QStringLiteral("garbage") << create
                                     << notADatabase;
    QTest::newRow("garbage, read only")
        << QStringLiteral("SQLITE") << QStringLiteral("garbage") << readOnly << notADatabase;
    QTest::newRow("unknown driver") << QStringLiteral("MSACCESS") << QStringLiteral("catalogue")
                                    << QStringList() << QStringLiteral("Unknown driver: MSACCESS");
    QTest::newRow("no driver") << QString() << QStringLiteral("catalogue") << QStringList()
                               << QStringLiteral("Unknown driver: ");
    QTest::newRow("no file named") << QStringLiteral("SQLITE") << QStringLiteral("none") << QStringList()
                                   << QStringLiteral("The database Probe names no file");
}

void TestDatabases::Open()
{
    SKIP_UNLESS_SQLITE("database files");
    QFETCH(QString, driver);
    QFETCH(QString, file);
    QFETCH(QStringList, extra);
    QFETCH(QString, error);

    QString path = FPath;
    QByteArray garbage;
    if (file == u"missing") {
        path = FDataDir->filePath(QStringLiteral("missing.db"));
    } else if (file == u"in a missing folder") {
        path = FDataDir->filePath(QStringLiteral("no/such/folder/new.db"));
    } else if (file == u"garbage") {
        path = FDataDir->filePath(QStringLiteral("garbage.db"));
        for (int i = 0; i < 512; ++i)
            garbage += "This is a text file, not a database. ";
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(garbage), garbage.size());
    }
    const bool existed = QFileInfo::exists(path);
    const QStringList before =
        QDir(FDataDir->path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);

    TDatabase database;
    database.SetDatabaseName(QStringLiteral("Probe"));
    database.SetDriverName(driver);
    database.SetParams(
        (file == u"none" ? QStringList() : QStringList{QStringLiteral("DATABASE NAME=") + path}) + extra);
    const QString message = ErrorOf([&] { database.Open(); });
    if (error.isEmpty()) {
        QCOMPARE(message, QString());
        QVERIFY(database.Connected());
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(database.FileName(), path);
        return;
    }
    QVERIFY2(message.startsWith(error), qPrintable(message));
    QVERIFY(!database.Connected());
    // A failed open leaves the disk as it was: no new file, no changed bytes, no journal.
    QCOMPARE(QFileInfo::exists(path), existed);
    if (!garbage.isEmpty())
        QCOMPARE(readAll(path), garbage);
    QCOMPARE(QDir(FDataDir->path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), before);
    // The message names the file when the file is the trouble.
    if (error == u"Cannot open the database file ")
        QVERIFY2(message.contains(path), qPrintable(message));
}

void TestDatabases::ConnectionSettings_data()
{
    QTest::addColumn<QString>("pragma");
    QTest::addColumn<QString>("value");

    QTest::newRow("journal") << QStringLiteral("journal_mode") << QStringLiteral("wal");
    QTest::newRow("page size of a new file") << QStringLiteral("page_size") << QStringLiteral("16384");
    QTest::newRow("synchronous") << QStringLiteral("synchronous") << QStringLiteral("1"); // NORMAL
    QTest::newRow("foreign keys") << QStringLiteral("foreign_keys") << QStringLiteral("1");
    QTest::newRow("busy timeout") << QStringLiteral("busy_timeout") << QStringLiteral("2000");
}

void TestDatabases::ConnectionSettings()
{
    SKIP_UNLESS_SQLITE("SQLite's connection settings");
    QFETCH(QString, pragma);
    QFETCH(QString, value);

    auto database = Direct(QStringLiteral("Settings"));
    database->Open();
    TQuery query;
    query.SetDatabase(database.get());
    query.SetSQL({QStringLiteral("PRAGMA ") + pragma});
    query.Open();
    QCOMPARE(query.Fields(0)->AsString(), value);
}

void TestDatabases::ReadOnlyMode()
{
    auto database = Direct(QStringLiteral("Reader"), {QStringLiteral("OPEN MODE=READ ONLY")});
    database->Open();
    QVERIFY(database->ReadOnly());

    TTable table;
    table.SetDatabase(database.get());
    table.SetTableName(QStringLiteral("T"));
    table.Open();
    QCOMPARE(table.RecordCount(), 2);
    QVERIFY(!table.CanModify());
    QVERIFY(!table.FieldByName(QStringLiteral("Name"))->CanModify());
    QCOMPARE(ErrorOf([&] { table.Edit(); }), QStringLiteral("Cannot modify a read-only dataset"));
    QCOMPARE(ErrorOf([&] { table.Append(); }), QStringLiteral("Cannot modify a read-only dataset"));
    QCOMPARE(ErrorOf([&] { table.Delete(); }), QStringLiteral("Cannot modify a read-only dataset"));
    QCOMPARE(ErrorOf([&] { database->ExecSQL(QStringLiteral("INSERT INTO T (Name) VALUES ('three')")); }),
             QStringLiteral("This catalogue is read-only: %1 (opened for reading only)").arg(FPath));
    QCOMPARE(Count(*database), 2);
}

void TestDatabases::ReadOnlyRefusesEveryWrite_data()
{
    QTest::addColumn<std::function<void(TDatabase &)>>("write");
    const auto exec = [](const char *sql) {
        return std::function<void(TDatabase &)>(
            [sql](TDatabase &database) { database.ExecSQL(QString::fromUtf8(sql)); });
    };
    QTest::newRow("update") << exec("UPDATE T SET Name = 'x'");
    QTest::newRow("delete") << exec("DELETE FROM T");
    QTest::newRow("create table") << exec("CREATE TABLE U (A INTEGER)");
    QTest::newRow("drop table") << exec("DROP TABLE T");
    QTest::newRow("create index") << exec("CREATE INDEX TName ON T(Name)");
    QTest::newRow("file setting") << exec("PRAGMA user_version = 7");
    QTest::newRow("main through temp")
        << exec("CREATE TEMP TABLE Copy AS SELECT * FROM T; DELETE FROM main.T");
    QTest::newRow("transaction") << std::function<void(TDatabase &)>(
        [](TDatabase &database) { database.StartTransaction(); });
    QTest::newRow("saved query") << std::function<void(TDatabase &)>([](TDatabase &database) {
        database.StoreSavedQuery(QStringLiteral("Q"), QStringLiteral("SELECT 1"));
    });
    QTest::newRow("query") << std::function<void(TDatabase &)>([](TDatabase &database) {
        TQuery query;
        query.SetDatabase(&database);
        query.SetSQL({QStringLiteral("DELETE FROM T RETURNING ID")});
        query.Open();
    });
}

void TestDatabases::ReadOnlyRefusesEveryWrite()
{
    SKIP_UNLESS_SQLITE("the statements are SQLite's");
    QFETCH(std::function<void(TDatabase &)>, write);
    auto database = Direct(QStringLiteral("Reader"), {QStringLiteral("OPEN MODE=READ ONLY")});
    database->Open();
    QCOMPARE(ErrorOf([&] { write(*database); }),
             QStringLiteral("This catalogue is read-only: %1 (opened for reading only)").arg(FPath));
    QVERIFY(!database->InTransaction());
    auto writer = Direct(QStringLiteral("Writer"));
    writer->Open();
    QCOMPARE(Count(*writer), 2);
    QVERIFY(!writer->TableExists(QStringLiteral("U")));
}

void TestDatabases::ReadOnlyKeepsItsTemporaryTables()
{
    auto database = Direct(QStringLiteral("Reader"), {QStringLiteral("OPEN MODE=READ ONLY")});
    database->AfterConnect = [](TDatabase &connection) {
        connection.ExecSQL(
            QStringLiteral("CREATE TEMP TABLE Scratch (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT)"));
    };
    database->Open();
    QVERIFY(database->TableExists(QStringLiteral("Scratch")));
    database->StartTransaction(TTransactionLock::Deferred);
    database->ExecSQL(QStringLiteral("INSERT INTO Scratch (Name) SELECT Name FROM T"));
    database->Commit();
    TTable scratch;
    scratch.SetDatabase(database.get());
    scratch.SetTableName(QStringLiteral("Scratch"));
    scratch.Open();
    QCOMPARE(scratch.RecordCount(), 2);
    QCOMPARE(scratch.FieldByName(QStringLiteral("ID"))->DataType(), TFieldType::AutoInc);
}

void TestDatabases::ReadOnlyFolder()
{
    SKIP_UNLESS_SQLITE("database files");
    // Root may write anything but an immutable folder, which stands in for a disc or a share.
    const QString folder = QFileInfo(FPath).absolutePath();
    TImmutable guard(folder);
    if (!guard.Set())
        QSKIP("the file system does not let the folder be made immutable");
    auto database = Direct(QStringLiteral("Reader"));
    database->Open();
    QVERIFY(database->ReadOnly());
    QCOMPARE(Count(*database), 2);
    QCOMPARE(ErrorOf([&] { database->ExecSQL(QStringLiteral("DELETE FROM T")); }),
             QStringLiteral("This catalogue is read-only: %1 (its folder cannot be written)").arg(FPath));
}

void TestDatabases::PropertiesFixedWhileConnected()
{
    auto database = Direct(QStringLiteral("Fixed"));
    database->Open();
    const QString open = QStringLiteral("Cannot perform this operation on an open database");
    QCOMPARE(ErrorOf([&] { database->SetAliasName(QStringLiteral("X")); }), open);
    QCOMPARE(ErrorOf([&] { database->SetDatabaseName(QStringLiteral("X")); }), open);
    QCOMPARE(ErrorOf([&] { database->SetSessionName(QStringLiteral("X")); }), open);
    QCOMPARE(ErrorOf([&] { database->SetDriverName(QStringLiteral("X")); }), open);
    QCOMPARE(database->DatabaseName(), QStringLiteral("Fixed"));
    database->Close();
    database->SetDatabaseName(QStringLiteral("Renamed"));
    QCOMPARE(database->DatabaseName(), QStringLiteral("Renamed"));
}

// ---------------------------------------------------------------------------------------------
// Transactions and locking

void TestDatabases::Transactions()
{
    auto database = Direct(QStringLiteral("Main"));
    database->Open();
    TTable table;
    table.SetDatabase(database.get());
    table.SetTableName(QStringLiteral("T"));
    table.Open();

    QVERIFY(!database->InTransaction());
    database->StartTransaction();
    QVERIFY(database->InTransaction());
    table.Append();
    table.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("three"));
    table.Post();
    table.Append();
    table.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("four"));
    table.Post();
    QCOMPARE(table.RecordCount(), 4);
    database->Rollback();
    QVERIFY(!database->InTransaction());
    QCOMPARE(Count(*database), 2);
    table.Refresh();
    QCOMPARE(table.RecordCount(), 2);
    QVERIFY(!table.Locate(QStringLiteral("Name"), TVariant(QStringLiteral("three"))));

    database->StartTransaction();
    table.Append();
    table.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("kept"));
    table.Post();
    database->Commit();
    QVERIFY(!database->InTransaction());
    // Another connection sees what was committed.
    auto other = Direct(QStringLiteral("Other"));
    other->Open();
    QCOMPARE(Count(*other, QStringLiteral("WHERE Name = 'kept'")), 1);
}

void TestDatabases::TransactionMisuse()
{
    auto database = Direct(QStringLiteral("Main"));
    QVERIFY(!database->InTransaction());
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, database->StartTransaction()); // not connected
    database->Open();
    QCOMPARE(ErrorOf([&] { database->Commit(); }), QStringLiteral("No transaction is active"));
    QCOMPARE(ErrorOf([&] { database->Rollback(); }), QStringLiteral("No transaction is active"));
    database->StartTransaction();
    QCOMPARE(ErrorOf([&] { database->StartTransaction(); }),
             QStringLiteral("A transaction is already active"));
    QVERIFY(database->InTransaction());
    database->Rollback();
}

void TestDatabases::CloseRollsBackAnOpenTransaction()
{
    auto database = Direct(QStringLiteral("Main"));
    database->Open();
    database->StartTransaction();
    database->ExecSQL(QStringLiteral("INSERT INTO T (Name) VALUES ('lost')"));
    database->Close();
    QVERIFY(!database->InTransaction());
    database->Open();
    QCOMPARE(Count(*database), 2);
}

void TestDatabases::FailedStatementLeavesTheTransactionUsable()
{
    auto database = Direct(QStringLiteral("Main"));
    database->Open();
    database->StartTransaction();
    database->ExecSQL(QStringLiteral("INSERT INTO T (Name) VALUES ('before')"));
    QVERIFY(!ErrorOf([&] {
                 database->ExecSQL(QStringLiteral("INSERT INTO T (ID, Name) VALUES (1, 'again')"));
             }).isEmpty());
    QVERIFY(!ErrorOf([&] { database->ExecSQL(QStringLiteral("SELECT * FROM Missing")); }).isEmpty());
    // Only the failed statements are undone; the transaction goes on.
    QVERIFY(database->InTransaction());
    database->ExecSQL(QStringLiteral("INSERT INTO T (Name) VALUES ('after')"));
    database->Commit();
    QCOMPARE(Count(*database, QStringLiteral("WHERE Name IN ('before', 'after')")), 2);
    QCOMPARE(Count(*database), 4);
}

void TestDatabases::SecondConnectionWaitsThenFails()
{
    SKIP_UNLESS_SQLITE("a server locks rows, not the database");
    auto writer = Direct(QStringLiteral("Writer"));
    writer->Open();
    auto other = Direct(QStringLiteral("Other"));
    other->SetBusyTimeout(200);
    QCOMPARE(other->BusyTimeout(), 200);
    other->Open();

    writer->StartTransaction();
    writer->ExecSQL(QStringLiteral("INSERT INTO T (Name) VALUES ('pending')"));

    // The user is told what happened and what to do, with the engine's words after it.
    const QString locked =
        QStringLiteral("The database is being changed by another program and stayed locked; "
                       "try again when that program has finished (database is locked)");
    QCOMPARE(ErrorOf([&] { other->ExecSQL(QStringLiteral("INSERT INTO T (Name) VALUES ('blocked')")); }),
             locked);
    QCOMPARE(ErrorOf([&] { other->StartTransaction(); }), locked);
    QVERIFY(!other->InTransaction());

    TTable table;
    table.SetDatabase(other.get());
    table.SetTableName(QStringLiteral("T"));
    table.Open();
    // Readers are not held up, and see only what is committed.
    QCOMPARE(table.RecordCount(), 2);
    table.Append();
    table.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("blocked"));
    QCOMPARE(ErrorOf([&] { table.Post(); }), locked);
    QCOMPARE(table.State(), TDataSetState::Insert); // the edit is kept for another try

    writer->Commit();
    table.Post();
    QCOMPARE(table.State(), TDataSetState::Browse);
    QCOMPARE(Count(*writer), 4);
}

void TestDatabases::ExecSQL_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("params");
    QTest::addColumn<int>("rowsAffected");
    QTest::addColumn<int>("rowsAfter");

    QTest::newRow("insert two") << QStringLiteral("INSERT INTO T (Name) VALUES ('a'), ('b')") << QStringList()
                                << 2 << 4;
    QTest::newRow("parameters across statements")
        << QStringLiteral("INSERT INTO T (Name) VALUES (?); INSERT INTO T (Name) VALUES (:n)")
        << QStringList{QStringLiteral("x"), QStringLiteral("y")} << 2 << 4;
    QTest::newRow("delete") << QStringLiteral("DELETE FROM T WHERE Name = ?")
                            << QStringList{QStringLiteral("one")} << 1 << 1;
    // Statements that change no rows add nothing, whatever ran before them.
    QTest::newRow("schema change") << QStringLiteral("CREATE TABLE U (X INTEGER)") << QStringList() << 0 << 2;
    QTest::newRow("insert then schema change")
        << QStringLiteral("INSERT INTO T (Name) VALUES ('a'); CREATE INDEX TName ON T (Name)")
        << QStringList() << 1 << 3;
    QTest::newRow("select") << QStringLiteral("SELECT 1") << QStringList() << 0 << 2;
    QTest::newRow("comment only") << QStringLiteral("-- nothing") << QStringList() << 0 << 2;
}

void TestDatabases::ExecSQL()
{
    QFETCH(QString, sql);
    QFETCH(QStringList, params);
    QFETCH(int, rowsAffected);
    QFETCH(int, rowsAfter);

    auto database = Direct(QStringLiteral("Main"));
    database->Open();
    // The connection has changed rows before.
    database->ExecSQL(QStringLiteral("UPDATE T SET Name = Name"));
    QCOMPARE(database->RowsAffected(), 2);

    TVariantArray values;
    for (const QString &param : params)
        values.push_back(TVariant(param));
    database->ExecSQL(sql, values);
    QCOMPARE(database->RowsAffected(), rowsAffected);
    QCOMPARE(Count(*database), rowsAfter);
}

// The comparisons that SQLite's statements write give the same answers on either engine.
void TestDatabases::SqliteComparisons_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<bool>("holds");

    QTest::newRow("glob star") << QStringLiteral("'readme.txt' GLOB '*.txt'") << true;
    QTest::newRow("glob case counts") << QStringLiteral("'README.TXT' GLOB '*.txt'") << false;
    QTest::newRow("glob one character") << QStringLiteral("'a.nfo' GLOB '?.nfo'") << true;
    QTest::newRow("glob one is not two") << QStringLiteral("'ab.nfo' GLOB '?.nfo'") << false;
    QTest::newRow("glob class") << QStringLiteral("'file7' GLOB 'file[0-9]'") << true;
    QTest::newRow("glob negated class") << QStringLiteral("'file7' GLOB 'file[^0-9]'") << false;
    QTest::newRow("glob bracket in a class") << QStringLiteral("'[x].txt' GLOB '[[]x].txt'") << true;
    QTest::newRow("glob regex characters are plain")
        << QStringLiteral("'a+b (1).txt' GLOB 'a+b (?).txt'") << true;
    QTest::newRow("glob dot is plain") << QStringLiteral("'abc' GLOB 'a.c'") << false;
    QTest::newRow("glob backslash is plain") << QStringLiteral("'a\\b' GLOB 'a\\*'") << true;
    QTest::newRow("glob open class matches nothing") << QStringLiteral("'a[' GLOB 'a['") << false;
    QTest::newRow("glob then ||") << QStringLiteral("'ab' GLOB 'a' || '*'") << true;
    QTest::newRow("Boolean and 0") << QStringLiteral("(1 = 1) <> 0") << true;
    QTest::newRow("Boolean and 1") << QStringLiteral("(1 = 2) = 1") << false;
    QTest::newRow("IS between values") << QStringLiteral("NULL IS (SELECT NULL)") << true;
    QTest::newRow("IS NOT between values")
        << QStringLiteral("1 IS NOT (SELECT CAST(NULL AS INTEGER))") << true;
    QTest::newRow("instr") << QStringLiteral("instr('a.b.c', '.') = 2") << true;
}

void TestDatabases::SqliteComparisons()
{
    QFETCH(QString, condition);
    QFETCH(bool, holds);
    auto database = Direct(QStringLiteral("Main"));
    database->Open();
    QCOMPARE(ScalarOf(*database, QStringLiteral("SELECT count(*) FROM T WHERE ID = 1 AND ") + condition),
             holds ? 1 : 0);
}

// Rows in bulk go in as typed, whatever in them a server's copy format treats as markup.
void TestDatabases::BulkInsertKeepsEveryValue()
{
    auto database = Direct(QStringLiteral("Main"));
    database->Open();
    database->ExecSQL(
        QStringLiteral("CREATE TABLE B (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(80), "
                       "Size BIGINT, Modified DATETIME, Flag BOOLEAN, Picture BLOB)"));
    QByteArray everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte.append(char(i));
    const QList<TVariantArray> rows{
        {TVariant(7), TVariant(QStringLiteral("tab\tline\nback\\slash\r\\N")), TVariant(Q_INT64_C(1) << 40),
         TVariant(TDateTime::FromParts(1999, 12, 31, 23, 59, 58)), TVariant(true), TVariant(everyByte)},
        {TVariant(9), TVariant(QStringLiteral("\\N")), TVariant(), TVariant(), TVariant(false), TVariant()},
        {TVariant(12), TVariant(QStringLiteral("Ærø ü \U0001F600")), TVariant(-1), TVariant(), TVariant(),
         TVariant(QByteArray())},
    };
    database->StartTransaction();
    {
        TBulkInsert insert(*database, QStringLiteral("B"),
                           {QStringLiteral("ID"), QStringLiteral("Name"), QStringLiteral("Size"),
                            QStringLiteral("Modified"), QStringLiteral("Flag"), QStringLiteral("Picture")});
        for (const TVariantArray &row : rows)
            insert.Add(row);
        insert.Finish();
    }
    database->Commit();
    // The table's own numbers go on above those written.
    database->ExecSQL(QStringLiteral("INSERT INTO B (Name) VALUES ('next')"));

    // Read back by a statement, and in bulk, which on a server has escapes of its own to undo.
    const QString select =
        QStringLiteral("SELECT ID, Name, Size, Modified, Flag, Picture FROM B ORDER BY ID");
    const std::vector<TFieldType> types{TFieldType::Integer,  TFieldType::String,  TFieldType::Largeint,
                                        TFieldType::DateTime, TFieldType::Boolean, TFieldType::Blob};
    const auto statement = database->Prepare(select);
    const auto compare = [&rows](int at, const TVariantArray &read) {
        if (at >= rows.size())
            return read[0].AsInteger() == 13;
        const TVariantArray &row = rows[at];
        for (size_t column = 0; column < 6; ++column) {
            const TVariant &written = row[column];
            const TVariant &value = read[column];
            if (written.IsEmptyOrNull() || (column == 5 && written.AsBytes().isEmpty())) {
                if (!value.IsEmptyOrNull() && !(column == 5 && value.AsBytes().isEmpty()))
                    return false;
            } else if (column == 5 ? value.AsBytes() != written.AsBytes()
                                   : value.AsString() != written.AsString()) {
                return false;
            }
        }
        return true;
    };
    TVariantArray read(types.size());
    for (int at = 0; at <= rows.size(); ++at) {
        QVERIFY(statement->Step());
        for (size_t column = 0; column < types.size(); ++column)
            read[column] = statement->Column(int(column), types[column]);
        QVERIFY2(compare(at, read), qPrintable(QStringLiteral("row %1 by statement").arg(at)));
    }
    QVERIFY(!statement->Step());
    TBulkRead bulk(*database, select, types);
    for (int at = 0; at <= rows.size(); ++at) {
        QVERIFY(bulk.Next(read));
        QVERIFY2(compare(at, read), qPrintable(QStringLiteral("row %1 in bulk").arg(at)));
    }
    QVERIFY(!bulk.Next(read));
}

// ---------------------------------------------------------------------------------------------
// Closing

void TestDatabases::CloseClosesDataSets()
{
    auto database = Direct(QStringLiteral("Main"));
    database->Open();
    TTable table;
    table.SetDatabaseName(QStringLiteral("Main"));
    table.SetTableName(QStringLiteral("T"));
    table.Open();
    TQuery query;
    query.SetDatabase(database.get());
    query.SetSQL({QStringLiteral("SELECT Name FROM T")});
    query.Open();
    // A data set gone before the connection closes is forgotten by it.
    auto gone = std::make_unique<TTable>();
    gone->SetDatabase(database.get());
    gone->SetTableName(QStringLiteral("T"));
    gone->Open();
    gone.reset();
    // One that never opened is not touched either.
    TTable idle;
    idle.SetDatabase(database.get());
    idle.SetTableName(QStringLiteral("T"));

    table.Edit();
    table.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("unposted"));
    database->Close();
    QVERIFY(!database->Connected());
    QVERIFY(!table.Active());
    QVERIFY(!query.Active());
    QVERIFY(!idle.Active());

    // Opening a data set connects again.
    table.Open();
    QVERIFY(database->Connected());
    QCOMPARE(table.FieldByName(QStringLiteral("Name"))->AsString(), QStringLiteral("one"));
    database.reset();
    QVERIFY(!table.Active());
}

void TestDatabases::ScriptTakesEffectWholeOrNotAtAll()
{
    auto database = Direct(QStringLiteral("Main"));
    database->Open();
    const QString error = ErrorOf([&] {
        database->ExecSQL(
            QStringLiteral("DELETE FROM T; INSERT INTO T (ID, Name) VALUES (1, 'a'), (1, 'b')"));
    });
    QVERIFY2(error.contains(QStringLiteral("unique"), Qt::CaseInsensitive), qPrintable(error));
    QCOMPARE(Count(*database), 2);
    QVERIFY(!database->InTransaction());

    TQuery query;
    query.SetDatabase(database.get());
    query.SetSQL({QStringLiteral("DELETE FROM T WHERE Name = :n;"),
                  QStringLiteral("INSERT INTO T (Name) VALUES (:n, :n)")});
    query.ParamByName(QStringLiteral("n"))->SetAsString(QStringLiteral("one"));
    QVERIFY(!ErrorOf([&] { query.ExecSQL(); }).isEmpty());
    QCOMPARE(Count(*database), 2);
}

void TestDatabases::AliasWrittenByAnotherProgramIsSeen()
{
    TSession &session = TSession::Default();
    QVERIFY(!session.IsAlias(QStringLiteral("OTHER")));
    TEngineConfig other;
    other.Load();
    other.AddAlias(QStringLiteral("OTHER"), TestDriver(), FLocation);
    other.Save();
    QVERIFY(session.IsAlias(QStringLiteral("OTHER")));
    QCOMPARE(session.AliasInfo(QStringLiteral("OTHER")).Param(QStringLiteral("DATABASE NAME")), FPath);
}

void TestDatabases::DataSetFindsConnectionBeforeItOpens()
{
    auto database = Direct(QStringLiteral("Named"));
    TTable table;
    table.SetDatabaseName(QStringLiteral("Named"));
    table.SetTableName(QStringLiteral("T"));
    table.Open();
    QVERIFY(database->Connected());
    QCOMPARE(table.RecordCount(), 2);
}

// ---------------------------------------------------------------------------------------------
// On a server

void TestDatabases::OpenOnServer_data()
{
    QTest::addColumn<QString>("server"); // "test": the test server; otherwise a folder with none
    QTest::addColumn<QString>("database");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("error"); // the start of the message; empty: opens

    const QStringList create{QStringLiteral("CREATE=TRUE")};
    QTest::newRow("catalogue") << QStringLiteral("test") << FPath << QStringList() << QString();
    QTest::newRow("missing") << QStringLiteral("test") << QStringLiteral("vnx_missing") << QStringList()
                             << QStringLiteral("Cannot connect to the database vnx_missing: ");
    QTest::newRow("missing, create") << QStringLiteral("test") << QStringLiteral("vnx_created") << create
                                     << QString();
    QTest::newRow("no server") << QStringLiteral("none") << FPath << create
                               << QStringLiteral("Cannot connect to the database ");
    QTest::newRow("no database named")
        << QStringLiteral("test") << QString() << QStringList()
        << QStringLiteral("The database Probe names no database on the server");
}

void TestDatabases::OpenOnServer()
{
    if (!OnPostgres())
        QSKIP("a database server");
    QFETCH(QString, server);
    QFETCH(QString, database);
    QFETCH(QStringList, extra);
    QFETCH(QString, error);

    TDatabase probe;
    probe.SetDatabaseName(QStringLiteral("Probe"));
    probe.SetDriverName(QStringLiteral("postgresql"));
    probe.SetParams(
        QStringList{QStringLiteral("SERVER=") + (server == u"test" ? TestServerFolder() : FDataDir->path()),
                    QStringLiteral("USER NAME=vnx")} +
        (database.isEmpty() ? QStringList() : QStringList{QStringLiteral("DATABASE NAME=") + database}) +
        extra);
    const QString message = ErrorOf([&] { probe.Open(); });
    if (error.isEmpty()) {
        QCOMPARE(message, QString());
        QVERIFY(probe.Connected());
        QVERIFY(probe.IsPostgres());
        QCOMPARE(probe.Handle(), nullptr);
        QCOMPARE(probe.FileName(), database);
        if (database == u"vnx_created") {
            probe.ExecSQL(QStringLiteral("CREATE TABLE IF NOT EXISTS X (A INTEGER)"));
            QVERIFY(probe.TableExists(QStringLiteral("x")));
        }
        return;
    }
    QVERIFY2(message.startsWith(error), qPrintable(message));
    QVERIFY(!probe.Connected());
}

void TestDatabases::LostConnectionIsTold()
{
    if (!OnPostgres())
        QSKIP("a database server");
    auto database = Direct(QStringLiteral("Main"));
    database->Open();
    TQuery query;
    query.SetDatabase(database.get());
    query.SetSQL({QStringLiteral("SELECT Name FROM T WHERE ID = :id")});
    query.ParamByName(QStringLiteral("id"))->SetAsInteger(1);
    query.Open();
    const qint64 backend = ScalarOf(*database, QStringLiteral("SELECT pg_backend_pid()"));
    auto other = Direct(QStringLiteral("Other"));
    other->Open();
    other->ExecSQL(QStringLiteral("SELECT pg_terminate_backend(?)"), {TVariant(backend)});

    const QString message = ErrorOf([&] { database->ExecSQL(QStringLiteral("DELETE FROM T")); });
    QVERIFY2(message.startsWith(QStringLiteral("The connection to the database server was lost: ")),
             qPrintable(message));
    QVERIFY2(ErrorOf([&] {
                 query.Refresh();
             }).startsWith(QStringLiteral("The connection to the database server was lost")),
             "every statement on it fails the same way");
    QCOMPARE(Count(*other), 2);
    // Connecting again is the way back.
    database->Close();
    database->Open();
    QCOMPARE(Count(*database), 2);
}

void TestDatabases::InterruptStopsTheRunningStatementOnly()
{
    auto database = Direct(QStringLiteral("Interrupted"), {QStringLiteral("CREATE=TRUE")});
    database->Open();
    // Far too long to wait for: the test ends only if the interrupt stops the engine.
    const auto statement =
        database->Prepare(QStringLiteral("WITH RECURSIVE Counter AS (SELECT 1 AS I UNION ALL SELECT I + 1 "
                                         "FROM Counter WHERE I < 2000000000) SELECT count(*) FROM Counter"));
    std::atomic<bool> done = false;
    QString failure;
    std::thread worker([&] {
        try {
            statement->Step();
        } catch (const EDatabaseError &error) {
            failure = error.Message();
        }
        done = true;
    });
    // Asked again and again, since the worker may not have reached the engine at the first.
    while (!done) {
        database->Interrupt();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    QVERIFY(!failure.isEmpty());
    // The connection goes on with the next statement.
    const auto next = database->Prepare(QStringLiteral("SELECT 7"));
    QVERIFY(next->Step());
    QCOMPARE(next->ColumnInt64(0), 7);
}

QTEST_GUILESS_MAIN(TestDatabases)
#include "tst_Databases.moc"
