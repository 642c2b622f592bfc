// Two programs on one catalogue, each with its data module and connection: what one catalogues
// the other sees once it refreshes, and of two edits of one description begun from the same text
// the second to be saved is refused with a message, losing neither text.

#include "CatalogFixture.h"
#include "PgStatements.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <iostream>
#include <latch>
#include <string>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr const char *OtherArgument = "--other-program";
constexpr quint32 Serial = 0x5EED0001;

QString description(TTable &table)
{
    return table.FieldByName(u"Description"_s)->AsString();
}

// The other program: catalogues the drive at root, then edits the volume's description when told.
int OtherProgram(const QString &root)
{
    TVolumeServicesDouble services;
    services.AddDrive(root, u"SHARED"_s, Serial, 1 << 30);
    TVolumeServices::SetCurrent(&services);
    TGlobal global;
    const int id = global.LoadDisk(root, QString(), 2, false);
    std::cout << "scanned " << id << std::endl;
    std::string line;
    if (!std::getline(std::cin, line) || line != "edit")
        return 1;
    global.OpenProperties();
    if (!global.ForProperties.FindKey({TVariant(id)}))
        return 1;
    global.ForProperties.Edit();
    global.ForProperties.FieldByName(u"Description"_s)->SetAsString(u"from the other program"_s);
    std::cout << "editing" << std::endl;
    if (!std::getline(std::cin, line) || line != "post")
        return 1;
    // What a program's event loop does while the user types.
    global.Database.ReleaseReadLocks();
    try {
        global.ForProperties.Post();
        std::cout << "posted" << std::endl;
    } catch (const EDatabaseError &error) {
        std::cout << "refused " << error.Message().toStdString() << std::endl;
    }
    const bool editing = global.ForProperties.State() == TDataSetState::Edit;
    std::cout << (editing ? "still editing " : "not editing ")
              << description(global.ForProperties).toStdString() << std::endl;
    return 0;
}

} // namespace

class TestSharedCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void ScanSeenAndBothEditsKept();
    void ServerAliasParams_data();
    void ServerAliasParams();
    void MadeOnlyInAnEmptyDatabase();
    void LayoutsOnTheServer();
    void EntryReferences_data();
    void EntryReferences();
    void SetupTablesEditable();
};

void TestSharedCatalogue::ScanSeenAndBothEditsKept()
{
    TCatalogFixture f;
    QTemporaryDir drive;
    QVERIFY(f.IsValid() && drive.isValid());
    QFile file(drive.filePath(u"readme.txt"_s));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("hello") == 5);
    file.close();
    TGlobal &mine = *f.Global;

    QProcess other;
    other.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(OtherArgument), drive.path()});
    QVERIFY(other.waitForStarted());
    const auto stop = qScopeGuard([&other] {
        if (other.state() != QProcess::NotRunning) {
            other.kill();
            other.waitForFinished();
        }
    });
    const auto reply = [&other] {
        while (!other.canReadLine())
            if (!other.waitForReadyRead(30000))
                return QString();
        return QString::fromUtf8(other.readLine()).trimmed();
    };
    const QString scanned = reply();
    QVERIFY2(scanned.startsWith(u"scanned "),
             qPrintable(scanned + QString::fromUtf8(other.readAllStandardError())));
    const int id = scanned.mid(8).toInt();
    QVERIFY(id > 0);

    mine.DataChanged = true;
    mine.RefreshViews();
    QVERIFY(mine.Folders.Locate(u"ID"_s, TVariant(id)));

    // Both begin from the same text; this program saves first.
    mine.OpenProperties();
    QVERIFY(mine.ForProperties.FindKey({TVariant(id)}));
    mine.ForProperties.Edit();
    mine.ForProperties.FieldByName(u"Description"_s)->SetAsString(u"from this program"_s);
    other.write("edit\n");
    QCOMPARE(reply(), u"editing"_s);
    mine.ForProperties.Post();
    other.write("post\n");
    const QString refused = reply();
    QVERIFY2(refused.startsWith(u"refused ") && refused.contains(u"changed this description"),
             qPrintable(refused));
    QCOMPARE(reply(), u"still editing from the other program"_s);
    QVERIFY(other.waitForFinished());
    QCOMPARE(other.exitCode(), 0);
    QCOMPARE(f.Rows(u"SELECT Description FROM Entries WHERE ID = %1"_s.arg(id)),
             QStringList{u"from this program"_s});
}

void TestSharedCatalogue::ServerAliasParams_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QStringList>("params"); // empty: refused

    QTest::newRow("host, port and user")
        << u"postgresql://ann@db.example:5433/cat"_s
        << QStringList{u"SERVER=db.example"_s, u"PORT=5433"_s, u"DATABASE NAME=cat"_s, u"USER NAME=ann"_s};
    QTest::newRow("socket folder and user in the query")
        << u"postgresql:///vnx%20cat?host=/run/pg%20sock&user=bob"_s
        << QStringList{u"SERVER=/run/pg sock"_s, u"DATABASE NAME=vnx cat"_s, u"USER NAME=bob"_s};
    QTest::newRow("a password is never kept") << u"postgresql://ann:secret@db/cat"_s << QStringList();
    QTest::newRow("nor one in the query") << u"postgresql://db/cat?password=secret"_s << QStringList();
    QTest::newRow("no database") << u"postgresql://db"_s << QStringList();
    QTest::newRow("another scheme") << u"mysql://db/cat"_s << QStringList();
    QTest::newRow("a setting the alias cannot keep")
        << u"postgresql://db/cat?sslmode=require"_s << QStringList();
}

void TestSharedCatalogue::ServerAliasParams()
{
    QFETCH(QString, uri);
    QFETCH(QStringList, params);
    if (params.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, CatalogSchema::ServerAliasParams(uri));
        return;
    }
    QCOMPARE(CatalogSchema::ServerAliasParams(uri), params);
}

void TestSharedCatalogue::MadeOnlyInAnEmptyDatabase()
{
    if (!OnPostgres())
        QSKIP("a catalogue file is made by CreateFile");
    QTemporaryDir folder;
    const QStringList params = TestDatabaseParams(folder.path(), u"made_once"_s);
    TDatabase database;
    database.SetDriverName(TestDriver());
    database.SetParams(params);
    database.Open();
    QCOMPARE(CatalogSchema::EnsureServerCatalogue(database), CatalogSchema::TServerCatalogue::Created);
    QCOMPARE(CatalogSchema::FileVersion(database), CatalogSchema::Version);
    database.ExecSQL(u"INSERT INTO Nfo (NameNFO) VALUES ('mine.txt')"_s);
    QCOMPARE(CatalogSchema::EnsureServerCatalogue(database), CatalogSchema::TServerCatalogue::Existing);
    QCOMPARE(ScalarOf(database, u"SELECT count(*) FROM Nfo WHERE NameNFO = 'mine.txt'"_s), 1);

    // A database that holds something else is no catalogue, and stays as it was.
    const QStringList otherParams = TestDatabaseParams(folder.path(), u"not_ours"_s);
    TDatabase other;
    other.SetDriverName(TestDriver());
    other.SetParams(otherParams);
    other.Open();
    other.ExecSQL(u"CREATE TABLE Accounts (ID INTEGER PRIMARY KEY)"_s);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, CatalogSchema::EnsureServerCatalogue(other));
    QVERIFY(!other.TableExists(u"Entries"_s));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, CatalogSchema::CheckAndUpgrade(other));

    // Two programs starting at once on one empty database: one makes the catalogue, the other
    // finds it made.
    const QStringList sharedParams = TestDatabaseParams(folder.path(), u"made_at_once"_s);
    TDatabase first, second;
    for (TDatabase *connection : {&first, &second}) {
        connection->SetDriverName(TestDriver());
        connection->SetParams(sharedParams);
        connection->Open();
    }
    std::latch start(2);
    QString outcomes[2];
    const auto ensure = [&start](TDatabase &connection, QString &outcome) {
        start.arrive_and_wait();
        try {
            outcome =
                CatalogSchema::EnsureServerCatalogue(connection) == CatalogSchema::TServerCatalogue::Created
                    ? u"made"_s
                    : u"found"_s;
        } catch (const EDatabaseError &error) {
            outcome = error.Message();
        }
    };
    std::thread other1(ensure, std::ref(first), std::ref(outcomes[0]));
    std::thread other2(ensure, std::ref(second), std::ref(outcomes[1]));
    other1.join();
    other2.join();
    QStringList both{outcomes[0], outcomes[1]};
    both.sort();
    QCOMPARE(both, (QStringList{u"found"_s, u"made"_s}));
    QCOMPARE(ScalarOf(second, u"SELECT count(*) FROM Images"_s),
             ScalarOf(database, u"SELECT count(*) FROM Images"_s));
}

// The layout is recorded in a table of the catalogue's own, without what only the file's engine
// has; a newer one is refused and left as it is.
void TestSharedCatalogue::LayoutsOnTheServer()
{
    if (!OnPostgres())
        QSKIP("the layout of a file is in its header");
    QTemporaryDir folder;
    TDatabase database;
    database.SetDriverName(TestDriver());
    database.SetParams(TestDatabaseParams(folder.path(), u"layouts"_s));
    database.Open();
    QCOMPARE(CatalogSchema::FileVersion(database), 0);
    CatalogSchema::Create(database);
    QCOMPARE(CatalogSchema::FileVersion(database), CatalogSchema::Version);
    CatalogSchema::CheckAndUpgrade(database);
    QVERIFY(!database.TableExists(u"SearchIndexed"_s));
    QVERIFY(!database.TableExists(u"Temp_Entry"_s));

    database.ExecSQL(u"UPDATE VorNexCatalogue SET Layout = %1"_s.arg(CatalogSchema::Version + 1));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, CatalogSchema::CheckAndUpgrade(database));
    QCOMPARE(CatalogSchema::FileVersion(database), CatalogSchema::Version + 1);
}

void TestSharedCatalogue::EntryReferences_data()
{
    QTest::addColumn<bool>("upgraded");
    QTest::newRow("new catalogue") << false;
    QTest::newRow("upgraded from layout 5") << true;
}

// An entry refers to its folder and its picture, on the server as in a file: a reference to
// nothing is refused, the entries below a folder go with it, a picture in use stays.
void TestSharedCatalogue::EntryReferences()
{
    QFETCH(bool, upgraded);
    if (upgraded && !OnPostgres())
        QSKIP("layout 6 changed nothing in a file");
    QTemporaryDir folder;
    TDatabase database;
    database.SetDriverName(TestDriver());
    database.SetParams(TestDatabaseParams(folder.path(), u"references"_s) + QStringList{u"CREATE=TRUE"_s});
    database.Open();
    CatalogSchema::Create(database);
    if (upgraded) {
        // As layout 5 left a server: foreign keys, and no triggers in their place.
        for (const char *sql :
             {"DROP TRIGGER \"vnx_Entries.Added\" ON \"Entries\"",
              "DROP TRIGGER \"vnx_Entries.Changed\" ON \"Entries\"",
              "DROP TRIGGER \"vnx_Entries.Removed\" ON \"Entries\"",
              "DROP TRIGGER \"vnx_Images.Changed\" ON \"Images\"",
              "DROP TRIGGER \"vnx_Images.Removed\" ON \"Images\"",
              "ALTER TABLE \"Entries\" ADD FOREIGN KEY (\"Parent\") REFERENCES \"Entries\" (\"ID\") ON "
              "DELETE CASCADE",
              "ALTER TABLE \"Entries\" ADD FOREIGN KEY (\"ImageID\") REFERENCES \"Images\" (\"ImageID\")",
              "UPDATE \"VorNexCatalogue\" SET \"Layout\" = 5"})
            database.PgConnection()->Exec(QString::fromLatin1(sql));
        CatalogSchema::CheckAndUpgrade(database);
        QCOMPARE(CatalogSchema::FileVersion(database), CatalogSchema::Version);
        QCOMPARE(ScalarOf(database, u"SELECT count(*) FROM pg_constraint WHERE contype = 'f' "
                                    "AND conrelid = '\"Entries\"'::regclass"_s),
                 0);
    }
    const qint64 used = ScalarOf(database, u"SELECT min(ImageID) FROM Images"_s);
    const qint64 unused = ScalarOf(database, u"SELECT max(ImageID) FROM Images"_s);
    // A volume, a folder in it, one in that and a file at the bottom, written by one statement.
    database.ExecSQL(u"INSERT INTO Entries (ID, Parent, Name, ImageID, Folder) VALUES "
                     "(1, NULL, 'Disc', NULL, TRUE), (2, 1, 'a', NULL, TRUE), (3, 2, 'b', NULL, TRUE), "
                     "(4, 3, 'c.txt', %1, FALSE)"_s.arg(used));
    const auto refused = [&database](const QString &sql) {
        return ErrorOf([&] { database.ExecSQL(sql); }).contains(u"FOREIGN KEY"_s, Qt::CaseInsensitive);
    };
    QVERIFY(refused(u"INSERT INTO Entries (ID, Parent, Name) VALUES (10, 99, 'lost')"_s));
    QVERIFY(refused(u"INSERT INTO Entries (ID, Parent, Name, ImageID) VALUES (10, 1, 'x', 999)"_s));
    QVERIFY(refused(u"UPDATE Entries SET Parent = 99 WHERE ID = 3"_s));
    QVERIFY(refused(u"DELETE FROM Images WHERE ImageID = %1"_s.arg(used)));
    QCOMPARE(ScalarOf(database, u"SELECT count(*) FROM Entries WHERE ID >= 10"_s), 0);
    QCOMPARE(ScalarOf(database, u"SELECT Parent FROM Entries WHERE ID = 3"_s), 2);
    QCOMPARE(ScalarOf(database, u"SELECT count(*) FROM Images WHERE ImageID = %1"_s.arg(used)), 1);
    if (unused != used) {
        QCOMPARE(ErrorOf([&] { database.ExecSQL(u"DELETE FROM Images WHERE ImageID = %1"_s.arg(unused)); }),
                 QString());
    }

    database.ExecSQL(u"DELETE FROM Entries WHERE ID = 2"_s);
    QCOMPARE(RowsOf(database, u"SELECT ID FROM Entries ORDER BY ID"_s), QStringList{u"1"_s});
}

// The tables the setup windows edit, which have no key of their own, can be browsed and written.
void TestSharedCatalogue::SetupTablesEditable()
{
    TCatalogFixture f;
    QVERIFY(f.IsValid());
    TGlobal &g = *f.Global;
    const qint64 patterns = f.Scalar(u"SELECT count(*) FROM Nfo"_s);
    g.NFO.Open();
    g.NFO.Append();
    g.NFO.FieldByName(u"NameNFO"_s)->SetAsString(u"*.me"_s);
    g.NFO.FieldByName(u"ForFile"_s)->SetAsBoolean(true);
    g.NFO.Post();
    QCOMPARE(f.Scalar(u"SELECT count(*) FROM Nfo WHERE NameNFO = '*.me' AND ForFile <> 0"_s), 1);
    QCOMPARE(f.Scalar(u"SELECT count(*) FROM Nfo"_s), patterns + 1);

    g.Images2.Open();
    QVERIFY(g.Images2.Locate(u"ImageID"_s,
                             TVariant(qint64(f.Scalar(u"SELECT ImageID FROM Ext WHERE Name = 'txt'"_s)))));
    g.Extention.Open();
    g.Extention.Append();
    g.Extention.FieldByName(u"Name"_s)->SetAsString(u"ZQX"_s);
    g.Extention.Post();
    QCOMPARE(f.Scalar(u"SELECT count(*) FROM Ext WHERE Name = 'zqx' AND ImageID = "
                      "(SELECT ImageID FROM Ext WHERE Name = 'txt')"_s),
             1);
    g.Extention.First();
    QVERIFY(g.Extention.Locate(u"Name"_s, TVariant(u"zqx"_s)));
    g.Extention.Delete();
    QCOMPARE(f.Scalar(u"SELECT count(*) FROM Ext WHERE Name = 'zqx'"_s), 0);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], OtherArgument) == 0)
        return OtherProgram(QFile::decodeName(argv[2]));
    TestSharedCatalogue test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SharedCatalogue.moc"
