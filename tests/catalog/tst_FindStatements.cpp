// The FindDialog statement on each engine (VNX_TEST_DRIVER): the same catalogue gives the same
// rows, through the connection's statements and through a search's own connection and thread.

#include "CatalogSchema.h"
#include "Databases.h"
#include "FindCounts.h"
#include "FindCriteria.h"
#include "FindRows.h"
#include "Queries.h"
#include "SearchTables.h"
#include "Statements.h"
#include "db/TestDrivers.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace Qt::StringLiterals;

using TIds = QList<qint64>;
Q_DECLARE_METATYPE(TFindCriteria)

namespace {

// Names that pattern matching could get wrong: letter case within and beyond ASCII, the LIKE
// wildcards typed as text, names that only an index of threes could confuse.
const QString Catalogue = uR"sql(
INSERT INTO Images (ImageID, CD, Description) VALUES (1, FALSE, 'Folder'), (2, TRUE, 'Volume'), (3, FALSE, 'File');
INSERT INTO Entries (ID, Parent, Name, Folder, Size, Modified, ImageID, CD, FullPath, Description) VALUES
 (1, NULL, 'Disk', TRUE, 0, '2024-01-01 10:00:00.000', 2, 1, NULL, NULL),
 (2, 1, 'Docs', TRUE, 0, '2024-01-01 10:00:00.000', 1, 1, NULL, 'Lake report for readme.txt users'),
 (3, 1, 'readme.txt', FALSE, 10, '2024-01-01 10:00:00.000', 3, 1, NULL, 'The lake in summer'),
 (4, 2, 'README.TXT', FALSE, 10, '2024-01-01 10:00:00.000', 3, 1, 'Docs\', 'Café crème, ÉTÉ 2023'),
 (5, 2, '100%_done.txt', FALSE, 10, '2024-01-01 10:00:00.000', 3, 1, 'Docs\', 'half-done summary'),
 (6, 2, '100x done.txt', FALSE, 10, '2024-01-01 10:00:00.000', 3, 1, 'Docs\', NULL),
 (7, 2, 'Éclair.jpg', FALSE, 10, '2024-01-01 10:00:00.000', 3, 1, 'Docs\', 'Lakeside'),
 (8, 2, 'éclair.jpg', FALSE, 10, '2024-01-01 10:00:00.000', 3, 1, 'Docs\', NULL),
 (9, 2, 'abcabd', FALSE, 10, '2024-01-01 10:00:00.000', 3, 1, 'Docs\', NULL),
 (10, 2, NULL, FALSE, 10, '2024-01-01 10:00:00.000', 3, 1, 'Docs\', NULL);
INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (1, '1111-1111', 'Disk');
)sql"_s;

} // namespace

class TestFindStatements : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void Search_data();
    void Search();
    void ASearchOfItsOwnFindsAndCountsTheSame();
    void ACancelledSearchReportsNothing();
    void ReadASliceAtATime_data();
    void ReadASliceAtATime();

private:
    TIds Found();

    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TDatabase> FDb;
    std::unique_ptr<TQuery> FFind;
};

void TestFindStatements::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FDb = std::make_unique<TDatabase>();
    FDb->SetDriverName(TestDriver());
    FDb->SetParams(TestDatabaseParams(FDir->path(), u"findstatements"_s) + QStringList{u"CREATE=TRUE"_s});
    FDb->Open();
    CreateSearchTables(*FDb);
    FDb->ExecuteScript(Catalogue, [](TStatement &) {});
    CatalogSchema::UpdateSearchIndexes(*FDb);
    FFind = std::make_unique<TQuery>();
    FFind->SetDatabase(FDb.get());
    // The text the data module gives it before it knows its engine.
    FFind->SetSQL(FindDialogSql());
}

void TestFindStatements::cleanup()
{
    FFind.reset();
    FDb.reset();
    FDir.reset();
}

TIds TestFindStatements::Found()
{
    TIds ids;
    ForEachFindResult(*FFind, [&ids](const TStatement &row) { ids << row.ColumnInt64(0); });
    return ids;
}

void TestFindStatements::Search_data()
{
    QTest::addColumn<TFindCriteria>("criteria");
    QTest::addColumn<TIds>("expected");
    QTest::newRow("every entry but the root") << TFindCriteria{} << TIds{2, 3, 4, 5, 6, 7, 8, 9, 10};
    QTest::newRow("a pattern folds ASCII case") << TFindCriteria{.Name = u"*me.t?t"_s} << TIds{3, 4};
    QTest::newRow("and only ASCII") << TFindCriteria{.Name = u"écl*"_s} << TIds{8};
    QTest::newRow("percent and underscore are themselves") << TFindCriteria{.Name = u"*0%_*"_s} << TIds{5};
    QTest::newRow("an underscore is no wildcard") << TFindCriteria{.Name = u"100_*"_s} << TIds{};
    QTest::newRow("a blank and a star name something")
        << TFindCriteria{.Name = u" *"_s} << TIds{2, 3, 4, 5, 6, 7, 8, 9};
    QTest::newRow("threes in the wrong order") << TFindCriteria{.Name = u"*abdabc*"_s} << TIds{};
    QTest::newRow("threes in order") << TFindCriteria{.Name = u"*bcab*"_s} << TIds{9};
    QTest::newRow("whole name, ASCII case aside")
        << TFindCriteria{.Name = u"ReadMe.txt"_s, .WholeMatch = true} << TIds{3, 4};
    QTest::newRow("whole name, other case kept")
        << TFindCriteria{.Name = u"ÉCLAIR.JPG"_s, .WholeMatch = true} << TIds{7};
    QTest::newRow("whole name with a star is no pattern")
        << TFindCriteria{.Name = u"*.txt"_s, .WholeMatch = true} << TIds{};
    QTest::newRow("a word") << TFindCriteria{.Text = u"summer"_s} << TIds{3};
    QTest::newRow("the last word starts one") << TFindCriteria{.Text = u"lak"_s} << TIds{2, 3, 7};
    QTest::newRow("the others are whole") << TFindCriteria{.Text = u"lak report"_s} << TIds{};
    QTest::newRow("words in any order") << TFindCriteria{.Text = u"summer, the"_s} << TIds{3};
    QTest::newRow("accents and case aside") << TFindCriteria{.Text = u"cafe ete"_s} << TIds{4};
    QTest::newRow("a file name is two words") << TFindCriteria{.Text = u"readme"_s} << TIds{2};
    QTest::newRow("punctuation only separates") << TFindCriteria{.Text = u"half done"_s} << TIds{5};
    QTest::newRow("no word, no condition")
        << TFindCriteria{.Name = u"*.jpg"_s, .Text = u" - "_s} << TIds{7, 8};
    QTest::newRow("name and words together")
        << TFindCriteria{.Name = u"*.txt"_s, .Text = u"lake"_s} << TIds{3};
}

void TestFindStatements::Search()
{
    QFETCH(TFindCriteria, criteria);
    QFETCH(TIds, expected);
    ApplyFindCriteria(*FFind, criteria);
    // In the order of their IDs on either engine.
    QCOMPARE(Found(), expected);
    QCOMPARE(FindResultCount(*FFind), qint64(expected.size()));
}

void TestFindStatements::ASearchOfItsOwnFindsAndCountsTheSame()
{
    ApplyFindCriteria(*FFind, TFindCriteria{.Name = u"*.txt"_s});
    TFindRows rows;
    TIds ids;
    connect(&rows, &TFindRows::Found, this, [&ids](const QList<TFoundEntry> &batch) {
        for (const TFoundEntry &entry : batch)
            ids << entry.ID;
    });
    QSignalSpy finished(&rows, &TFindRows::Finished);
    QSignalSpy failed(&rows, &TFindRows::Failed);
    rows.Start(*FFind, 3);
    QTRY_VERIFY(!rows.Running());
    QCOMPARE(failed.size(), 0);
    QCOMPARE(ids, (TIds{3, 4, 5}));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toBool(), true);

    TFindCount count;
    QSignalSpy counted(&count, &TFindCount::Counted);
    count.Start(*FFind);
    QTRY_VERIFY(!count.Running());
    QCOMPARE(counted.size(), 1);
    QCOMPARE(counted[0][0].toLongLong(), 4);
}

void TestFindStatements::ACancelledSearchReportsNothing()
{
    // Far too long to wait for: the test ends only if the cancel stops the engine.
    FFind->SetSQL({u"WITH RECURSIVE Counter AS (SELECT 1 AS I UNION ALL SELECT I + 1 FROM Counter "
                   "WHERE I < 2000000000) SELECT count(*) FROM Counter"_s});
    TFindCount count;
    QSignalSpy counted(&count, &TFindCount::Counted);
    QSignalSpy failed(&count, &TFindCount::Failed);
    count.Start(*FFind);
    // The thread may not have reached the engine yet; the cancel stops it either way.
    QTest::qWait(50);
    count.Cancel();
    QVERIFY(!count.Running());
    QCoreApplication::processEvents();
    QCOMPARE(counted.size() + failed.size(), 0);
}

void TestFindStatements::ReadASliceAtATime_data()
{
    QTest::addColumn<int>("slice");
    QTest::addColumn<bool>("inTransaction");
    for (const int slice : {1, 4, 9, 10}) {
        QTest::addRow("%d a slice", slice) << slice << false;
        QTest::addRow("%d a slice, in the caller's transaction", slice) << slice << true;
    }
}

void TestFindStatements::ReadASliceAtATime()
{
    QFETCH(int, slice);
    QFETCH(bool, inTransaction);
    ApplyFindCriteria(*FFind, TFindCriteria{});
    if (inTransaction)
        FDb->StartTransaction();
    TIds ids;
    ForEachFindResult(
        *FFind, [&ids](const TStatement &row) { ids << row.ColumnInt64(0); }, slice);
    QCOMPARE(ids, (TIds{2, 3, 4, 5, 6, 7, 8, 9, 10}));
    QCOMPARE(FDb->InTransaction(), inTransaction);
    // A reader that gives up midway leaves the connection as it found it.
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, ForEachFindResult(
                                                     *FFind,
                                                     [](const TStatement &row) {
                                                         if (row.ColumnInt64(0) == 5)
                                                             throw std::runtime_error("stop");
                                                     },
                                                     slice));
    QCOMPARE(FDb->InTransaction(), inTransaction);
    QCOMPARE(Found(), ids);
    if (inTransaction)
        FDb->Commit();

    // A connection that may not write reads as well.
    TDatabase reader;
    reader.SetDriverName(FDb->ConnectedDriver());
    QStringList params = FDb->ConnectedParams();
    params.removeIf([](const QString &param) { return param.startsWith(u"CREATE="_s); });
    reader.SetParams(params + QStringList{u"OPEN MODE=READ ONLY"_s});
    reader.Open();
    TIds read;
    reader.ForEachRow(
        u"SELECT ID FROM Entries WHERE ID > 1 ORDER BY ID"_s, [](TStatement &) {},
        [&read](const TStatement &row) { read << row.ColumnInt64(0); }, slice);
    QCOMPARE(read, ids);
}

QTEST_GUILESS_MAIN(TestFindStatements)
#include "tst_FindStatements.moc"
