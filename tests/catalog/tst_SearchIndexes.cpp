// The indexes the find reads names and descriptions through: kept in step with the entries as
// volumes come, are renamed and go, and built for a catalogue of the layout before them.

#include "CatalogFixture.h"
#include "CatalogSchema.h"
#include "Databases.h"
#include "FindCriteria.h"
#include "Queries.h"
#include "SqliteStatements.h"
#include "dmGlobal.h"

#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace Qt::StringLiterals;

using TIds = QList<qint64>;

namespace {

const QString Volumes = uR"sql(
INSERT INTO Entries (ID, Parent, Name, Folder, Size, ImageID, CD, Description) VALUES
 (1, NULL, 'Holiday disc', TRUE, 0, 2, 1, NULL),
 (2, 1, 'Lake photos', TRUE, 0, 1, 1, 'Summer at the lake'),
 (3, 2, 'lake1.jpg', FALSE, 10, 3, 1, 'Boats on the lake'),
 (4, 1, 'readme.txt', FALSE, 10, 3, 1, NULL),
 (10, NULL, 'Work disc', TRUE, 0, 2, 10, NULL),
 (11, 10, 'Lake report.doc', FALSE, 10, 3, 10, 'Report on the lake'),
 (12, 10, NULL, FALSE, 10, 3, 10, NULL);
INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (1, '1111-1111', 'Holiday'), (10, '2222-2222', 'Work');
)sql"_s;

TIds found(TGlobal &global, const TFindCriteria &criteria)
{
    ApplyFindCriteria(global, criteria);
    TIds ids;
    ForEachFindResult(global, [&ids](const TStatement &row) { ids << row.ColumnInt64(0); });
    return ids;
}

// The indexes agree with the entries they were made from: the engine compares the word indexes,
// the whole names hold every named entry up to SearchIndexed.UpTo and nothing else. On a server
// every named entry is in the name search under its name or noted as pending; once the pending
// ones are added, the name search holds exactly the named entries.
void verifyIndexes(TGlobal &global)
{
    if (global.Database.IsPostgres()) {
        const QString missing = u"SELECT count(*) FROM Entries e WHERE e.Name IS NOT NULL AND NOT EXISTS "
                                "(SELECT 1 FROM NameSearch s WHERE s.ID = e.ID AND s.Name = e.Name)"_s;
        QCOMPARE(ScalarOf(global.Database, missing + u" AND NOT EXISTS (SELECT 1 FROM NamesPending p "
                                                     "WHERE e.ID = ANY (p.IDs))"_s),
                 0);
        CatalogSchema::UpdateSearchIndexes(global.Database);
        QCOMPARE(ScalarOf(global.Database, u"SELECT count(*) FROM NamesPending"_s), 0);
        QCOMPARE(ScalarOf(global.Database, missing), 0);
        QCOMPARE(ScalarOf(global.Database, u"SELECT count(*) FROM NameSearch s WHERE NOT EXISTS (SELECT 1 "
                                           "FROM Entries e WHERE e.ID = s.ID AND e.Name = s.Name)"_s),
                 0);
        return;
    }
    for (const QString &index : {u"EntryNames"_s, u"EntryTexts"_s})
        global.Database.ExecSQL(u"INSERT INTO %1 (%1) VALUES ('integrity-check')"_s.arg(index));
    const QString indexed = u"SELECT Name, ID FROM Entries WHERE Name IS NOT NULL AND "
                            "ID <= (SELECT UpTo FROM SearchIndexed)"_s;
    TSqliteStatement differ(
        global.Database.Handle(),
        u"SELECT (SELECT count(*) FROM (SELECT Name, ID FROM WholeNames EXCEPT %1)) + "
        "(SELECT count(*) FROM (%1 EXCEPT SELECT Name, ID FROM WholeNames))"_s.arg(indexed));
    QVERIFY(differ.Step());
    QCOMPARE(differ.ColumnInt64(0), 0);
}

} // namespace

class TestSearchIndexes : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void KeptInStepWithTheEntries();
    void BuiltForAnOlderCatalogue();

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FPath;
};

void TestSearchIndexes::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    FPath = FDir->filePath(u"catalogue.db"_s);
    CatalogSchema::CreateFile(FPath);
}

void TestSearchIndexes::cleanup()
{
    FDir.reset();
}

void TestSearchIndexes::KeptInStepWithTheEntries()
{
    std::unique_ptr<TCatalogFixture> server;
    std::unique_ptr<TGlobal> file;
    if (OnPostgres())
        server = std::make_unique<TCatalogFixture>();
    else
        file = std::make_unique<TGlobal>(FPath);
    TGlobal &global = server ? *server->Global : *file;
    global.Database.ExecSQL(Volumes);
    verifyIndexes(global);
    const TFindCriteria lakeNames{.Name = u"*lake*"_s};
    const TFindCriteria lakeTexts{.Text = u"lake"_s};
    QCOMPARE(found(global, lakeNames), (TIds{2, 3, 11}));
    QCOMPARE(found(global, lakeTexts), (TIds{2, 3, 11}));

    // Renamed and described anew, named for the first time, and a name and description taken away.
    global.Database.ExecSQL(u"UPDATE Entries SET Name = 'Sea photos', Description = 'Summer by the sea' "
                            "WHERE ID = 2"_s);
    global.Database.ExecSQL(u"UPDATE Entries SET Name = 'lake notes.txt', Description = 'On the lake' "
                            "WHERE ID = 12"_s);
    global.Database.ExecSQL(u"UPDATE Entries SET Name = NULL, Description = NULL WHERE ID = 3"_s);
    verifyIndexes(global);
    QCOMPARE(found(global, lakeNames), (TIds{11, 12}));
    QCOMPARE(found(global, lakeTexts), (TIds{11, 12}));
    QCOMPARE(found(global, TFindCriteria{.Name = u"*sea*"_s, .Text = u"sea"_s}), TIds{2});
    QCOMPARE(found(global, TFindCriteria{.Name = u"LAKE NOTES.TXT"_s, .WholeMatch = true}), TIds{12});

    // Entries added to the catalogue are found by name before they are added to the indexes too.
    global.Database.ExecSQL(u"INSERT INTO Entries (Parent, Name, Folder, Size, ImageID, CD, Description) "
                            "VALUES (10, 'lake.png', FALSE, 1, 3, 10, 'lake')"_s);
    TQuery &find = global.FindDialog;
    for (const char *flag : {"t0", "t11", "t2", "t3", "t4", "t51", "t52", "t53"})
        find.ParamByName(QString::fromLatin1(flag))->SetAsBoolean(true);
    find.ParamByName(u"t12"_s)->SetAsBoolean(false);
    find.ParamByName(u"name"_s)->SetAsString(u"*lake*"_s);
    find.ParamByName(u"text"_s)->Clear();
    TIds before;
    ForEachFindResult(global, [&before](const TStatement &row) { before << row.ColumnInt64(0); });
    QCOMPARE(before, (TIds{11, 12, 13}));
    QCOMPARE(found(global, lakeTexts), (TIds{11, 12, 13}));
    verifyIndexes(global);
    global.Database.ExecSQL(u"DELETE FROM Entries WHERE ID = 13"_s);

    // A volume deleted takes its entries out of both indexes; the other one stays found.
    global.DeleteDisk(10);
    verifyIndexes(global);
    QCOMPARE(found(global, lakeNames), TIds{});
    QCOMPARE(found(global, lakeTexts), TIds{});
    QCOMPARE(found(global, TFindCriteria{.Name = u"*photos*"_s}), TIds{2});
    QCOMPARE(found(global, TFindCriteria{.Text = u"summ"_s}), TIds{2});
    if (server) {
        // The data module's own indexer adds what is noted on a connection of its own.
        global.SetIndexInBackground(true);
        global.Database.ExecSQL(u"INSERT INTO Entries (Parent, Name, Folder, Size, ImageID, CD) "
                                "VALUES (1, 'photos.zip', FALSE, 1, 3, 1)"_s);
        global.IndexNewEntries();
        QCOMPARE(global.WaitForIndexes(), QString());
        QCOMPARE(ScalarOf(global.Database, u"SELECT count(*) FROM NamesPending"_s), 0);
        QCOMPARE(ScalarOf(global.Database, u"SELECT count(*) FROM NameSearch WHERE Name = 'photos.zip'"_s),
                 1);
        QCOMPARE(found(global, TFindCriteria{.Name = u"*photos*"_s}).size(), 2);
        global.Database.ExecSQL(u"DELETE FROM Entries WHERE Name = 'photos.zip'"_s);
        // The names are found through the name search, not by reading every entry.
        global.Database.ExecSQL(u"DELETE FROM NameSearch"_s);
        QCOMPARE(found(global, TFindCriteria{.Name = u"*photos*"_s}), TIds{});
        QCOMPARE(found(global, TFindCriteria{.Name = u"sea photos"_s, .WholeMatch = true}), TIds{});
        QCOMPARE(found(global, TFindCriteria{.Name = u"*p*"_s}), TIds{2});
    }
}

void TestSearchIndexes::BuiltForAnOlderCatalogue()
{
    if (OnPostgres())
        QSKIP("a server's older layouts are upgraded in SharedCatalogue");
    // A catalogue of layout 1, with entries: no indexes of names and descriptions, no triggers.
    QCOMPARE(MakeOlderLayout(FPath, 1), 1);
    {
        TDatabase database;
        database.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
        database.SetParams({u"DATABASE NAME="_s + FPath});
        database.Open();
        database.ExecSQL(Volumes);
        TSqliteStatement left(
            database.Handle(),
            u"SELECT count(*) FROM sqlite_master WHERE name LIKE 'Entry%' OR name LIKE 'Search%'"_s);
        QVERIFY(left.Step());
        QCOMPARE(left.ColumnInt64(0), 0);
        QCOMPARE(CatalogSchema::FileVersion(database), 1);
    }

    TGlobal global(FPath);
    QCOMPARE(CatalogSchema::FileVersion(global.Database), CatalogSchema::Version);
    verifyIndexes(global);
    QCOMPARE(found(global, TFindCriteria{.Name = u"*lake*"_s}), (TIds{2, 3, 11}));
    QCOMPARE(found(global, TFindCriteria{.Name = u"README.TXT"_s, .WholeMatch = true}), TIds{4});
    QCOMPARE(found(global, TFindCriteria{.Text = u"boats"_s}), TIds{3});
    // And kept in step from then on.
    global.DeleteDisk(1);
    verifyIndexes(global);
    QCOMPARE(found(global, TFindCriteria{.Name = u"*lake*"_s}), TIds{11});
}

QTEST_GUILESS_MAIN(TestSearchIndexes)
#include "tst_SearchIndexes.moc"
