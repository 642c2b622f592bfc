// Comparing a disk folder with the catalogue (TFolderComparison): a test volume scanned into a
// real catalogue, and a changed copy of it (a file renamed, one resized, one touched, one moved,
// one in other letter case), both presented as drives by the double of the volume services.

#include "CatalogSchema.h"
#include "Databases.h"
#include "FolderMatches.h"
#include "Queries.h"
#include "VolumeServicesDouble.h"
#include "dmGlobal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QDateTime T0(QDate(2020, 1, 2), QTime(3, 4, 6));
const QDateTime T1(QDate(2021, 5, 6), QTime(7, 8, 10));
const QDateTime T2(QDate(2022, 9, 8), QTime(7, 6, 4));
const QDateTime Folders(QDate(2019, 11, 12), QTime(13, 14, 16));

bool setTime(const QString &path, const QDateTime &time)
{
    const timespec times[2] = {{time.toSecsSinceEpoch(), 0}, {time.toSecsSinceEpoch(), 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// Files of a size and a time below root, then the folders' times, as creating files changes them.
bool makeTree(const QString &root, const QList<std::tuple<QString, qint64, QDateTime>> &files,
              const QStringList &folders)
{
    bool ok = true;
    for (const auto &[relative, size, time] : files) {
        QFile file(root + u'/' + relative);
        ok = ok && QDir().mkpath(QFileInfo(file).absolutePath()) && file.open(QIODevice::WriteOnly) &&
             file.resize(size);
        file.close();
        ok = ok && setTime(file.fileName(), time);
    }
    for (const QString &folder : folders)
        ok = ok && setTime(root + u'/' + folder, Folders);
    return ok;
}

} // namespace

class TestFolderMatches : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void Combinations_data();
    void Combinations();
    void ScannedRows();
    void SubfolderKeepsThePathsOfItsVolume();
    void MissingFolderAndClearScratch();
    void StopMidScan();
    void RefusedWhileComparing();
    void AnotherConnectionComparesMeanwhile();

private:
    QString Catalogued() const { return FDrives->filePath(u"a"_s); }
    QString Copy() const { return FDrives->filePath(u"b"_s); }
    // The rows of a statement, each as its values joined by "|".
    QStringList Rows(const QString &sql);
    // "disk entry = catalogued entry" for every pair the lists show, sorted.
    QStringList Pairs();

    std::unique_ptr<QTemporaryDir> FConfig;
    std::unique_ptr<QTemporaryDir> FData;
    std::unique_ptr<QTemporaryDir> FDrives;
    std::unique_ptr<TVolumeServicesDouble> FServices;
    std::unique_ptr<TGlobal> FGlobal;
    std::unique_ptr<TFolderComparison> FComparison;
};

void TestFolderMatches::init()
{
    FConfig = std::make_unique<QTemporaryDir>();
    FData = std::make_unique<QTemporaryDir>();
    FDrives = std::make_unique<QTemporaryDir>();
    QVERIFY(FConfig->isValid() && FData->isValid() && FDrives->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FConfig->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(FData->path()));
    CatalogSchema::EnsureAlias(QString::fromUtf16(TGlobal::AliasName));

    QVERIFY(makeTree(Catalogued(),
                     {{u"Readme.TXT"_s, 5, T0},
                      {u"Docs/Report.doc"_s, 100, T1},
                      {u"Docs/Notes.txt"_s, 10, T1},
                      {u"Docs/Old/Notes.txt"_s, 20, T2},
                      {u"Music/Song.mp3"_s, 300, T1}},
                     {u"Docs/Old"_s, u"Docs"_s, u"Music"_s}));
    QVERIFY(makeTree(Copy(),
                     {{u"README.TXT"_s, 5, T0},
                      {u"Docs/Report.doc"_s, 100, T1.addSecs(10)},
                      {u"Docs/Notes.txt"_s, 11, T1},
                      {u"Moved/Song.mp3"_s, 300, T1},
                      {u"Music/Renamed.mp3"_s, 300, T1}},
                     {u"Docs"_s, u"Moved"_s, u"Music"_s}));
    FServices = std::make_unique<TVolumeServicesDouble>();
    FServices->AddDrive(Catalogued(), u"A"_s, 0x1111, 1 << 20);
    FServices->AddDrive(Copy(), u"B"_s, 0x2222, 1 << 20);
    TVolumeServices::SetCurrent(FServices.get());
    FGlobal = std::make_unique<TGlobal>();
    // The volume's root is named like a folder of the copy: roots must never pair.
    QVERIFY(FGlobal->LoadDisk(Catalogued(), u"Docs"_s, 2, false) > 0);
    FComparison = std::make_unique<TFolderComparison>(*FGlobal);
}

void TestFolderMatches::cleanup()
{
    FComparison.reset();
    FGlobal.reset();
    TVolumeServices::SetCurrent(nullptr);
    FServices.reset();
    FDrives.reset();
    FData.reset();
    FConfig.reset();
}

QStringList TestFolderMatches::Rows(const QString &sql)
{
    TQuery query;
    query.SetDatabase(&FGlobal->Database);
    query.SetSQL({sql});
    QStringList rows;
    for (query.Open(); !query.Eof(); query.Next()) {
        QStringList values;
        for (int i = 0; i < query.FieldCount(); ++i)
            values << query.Fields(i)->AsString();
        rows << values.join(u'|');
    }
    return rows;
}

QStringList TestFolderMatches::Pairs()
{
    QStringList pairs;
    TQuery &disk = FComparison->OnDisk;
    TQuery &library = FComparison->InLib;
    for (disk.First(); !disk.Eof(); disk.Next()) {
        const QString name =
            disk.FieldByName(u"FullPath"_s)->AsString() + disk.FieldByName(u"Name"_s)->AsString();
        FComparison->ShowMatchesInLibrary(disk.FieldByName(u"ID"_s)->AsInteger());
        for (library.First(); !library.Eof(); library.Next())
            pairs << name + u" = "_s + library.FieldByName(u"CDPath"_s)->AsString() +
                         library.FieldByName(u"Name"_s)->AsString();
    }
    pairs.sort();
    return pairs;
}

void TestFolderMatches::Combinations_data()
{
    QTest::addColumn<bool>("byPath");
    QTest::addColumn<bool>("bySize");
    QTest::addColumn<bool>("byTime");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");

    const QString r = u"Readme.txt = A:\\Readme.txt"_s;
    const QString d = u"Docs = A:\\Docs"_s;
    const QString p = u"Docs\\Report.doc = A:\\Docs\\Report.doc"_s;
    const QString n1 = u"Docs\\Notes.txt = A:\\Docs\\Notes.txt"_s;
    const QString n2 = u"Docs\\Notes.txt = A:\\Docs\\Old\\Notes.txt"_s;
    const QString s = u"Moved\\Song.mp3 = A:\\Music\\Song.mp3"_s;
    const QString m = u"Music = A:\\Music"_s;
    QTest::newRow("name") << false << false << false << u"FindMatch"_s << QStringList{d, n1, n2, p, s, m, r};
    QTest::newRow("time") << false << false << true << u"FindMatchByTime"_s << QStringList{d, n1, s, m, r};
    QTest::newRow("size") << false << true << false << u"FindMatchBySize"_s << QStringList{p, s, m, r};
    QTest::newRow("size, time") << false << true << true << u"FindMatchBySizeTime"_s << QStringList{s, m, r};
    QTest::newRow("path") << true << false << false << u"FindMatchByPath"_s << QStringList{d, n1, p, m, r};
    QTest::newRow("path, time") << true << false << true << u"FindMatchByPathTime"_s
                                << QStringList{d, n1, m, r};
    QTest::newRow("path, size") << true << true << false << u"FindMatchBySizePath"_s << QStringList{p, m, r};
    QTest::newRow("all three") << true << true << true << u"FindMatchBySizePathTime"_s << QStringList{m, r};
}

void TestFolderMatches::Combinations()
{
    QFETCH(bool, byPath);
    QFETCH(bool, bySize);
    QFETCH(bool, byTime);
    QFETCH(QString, query);
    QFETCH(QStringList, expected);

    QCOMPARE(MatchQueryName(byPath, bySize, byTime), query);
    QVERIFY(FComparison->RunComparison(Copy(), byPath, bySize, byTime, [] { return false; }));
    QCOMPARE(FComparison->FindMatch.StoredProcName(), query);
    QVERIFY(!FGlobal->Database.InTransaction());
    QCOMPARE(Pairs(), expected);
}

void TestFolderMatches::ScannedRows()
{
    FComparison->RunComparison(Copy(), false, false, false, [] { return false; });
    // The root of the scan: no parent or name, the volume picture, itself as volume, every file's
    // size as its own; every other row on that volume.
    QCOMPARE(
        Rows(
            u"SELECT count(*) FROM Temp_Entry AS Root WHERE Parent IS NULL AND Name IS NULL AND ImageID = 2 "
            u"AND CD = ID AND Size = 716 AND NOT EXISTS (SELECT 1 FROM Temp_Entry WHERE CD IS NOT Root.ID)"_s),
        QStringList{u"1"_s});
    // Names stored as a scan stores them (README.TXT as Readme.txt), no FullPath in the root.
    QCOMPARE(
        Rows(u"SELECT IFNULL(FullPath, '-') || Name || '|' || Size || '|' || IIF(Folder, ImageID, 'file') "
             u"FROM Temp_Entry WHERE Parent IS NOT NULL ORDER BY 1"_s),
        (QStringList{u"-Docs|111|1"_s, u"-Moved|300|1"_s, u"-Music|300|1"_s, u"-Readme.txt|5|file"_s,
                     u"Docs\\Notes.txt|11|file"_s, u"Docs\\Report.doc|100|file"_s,
                     u"Moved\\Song.mp3|300|file"_s, u"Music\\Renamed.mp3|300|file"_s}));
    // Neither the scan's root nor a volume root pairs (the catalogue's root is named Docs too).
    QCOMPARE(Rows(u"SELECT count(*) FROM MatchedEntries WHERE MatchedID IN (SELECT ID FROM Temp_Entry WHERE "
                  u"Parent IS NULL) "
                  u"OR EntryID IN (SELECT ID FROM Entries WHERE Parent IS NULL)"_s),
             QStringList{u"0"_s});
}

void TestFolderMatches::SubfolderKeepsThePathsOfItsVolume()
{
    QVERIFY(FComparison->RunComparison(Copy() + u"/Docs/"_s, true, false, false, [] { return false; }));
    QCOMPARE(Pairs(), (QStringList{u"Docs\\Notes.txt = A:\\Docs\\Notes.txt"_s,
                                   u"Docs\\Report.doc = A:\\Docs\\Report.doc"_s}));
    // Given as a root of its own, the folder holds no paths.
    FComparison->SetVolumeRoot(Copy() + u"/Docs"_s);
    QVERIFY(!FComparison->RunComparison(Copy() + u"/Docs"_s, true, false, false, [] { return false; }));
}

void TestFolderMatches::MissingFolderAndClearScratch()
{
    QVERIFY(FComparison->RunComparison(Copy(), false, false, false, [] { return false; }));
    QVERIFY(!FComparison->RunComparison(Copy() + u"/nothing"_s, false, false, false, [] { return false; }));
    QVERIFY(FComparison->OnDisk.Active() && FComparison->OnDisk.IsEmpty());
    QCOMPARE(Rows(u"SELECT (SELECT count(*) FROM Temp_Entry), (SELECT count(*) FROM MatchedEntries)"_s),
             QStringList{u"1|0"_s});

    QVERIFY(FComparison->RunComparison(Copy(), false, false, false, [] { return false; }));
    FComparison->ClearScratch();
    QVERIFY(!FComparison->OnDisk.Active() && !FComparison->InLib.Active() && !FComparison->Temp.Active());
    QCOMPARE(Rows(u"SELECT (SELECT count(*) FROM Temp_Entry), (SELECT count(*) FROM MatchedEntries), "
                  u"(SELECT count(*) FROM Entries)"_s),
             QStringList{u"0|0|9"_s});
}

void TestFolderMatches::StopMidScan()
{
    QVERIFY(FComparison->RunComparison(Copy(), false, false, false, [] { return false; }));
    const int shown = FComparison->OnDisk.RecordCount();
    int asked = 0;
    QVERIFY_THROWS_EXCEPTION(
        EStopComparing, FComparison->RunComparison(Copy(), true, true, true, [&] { return ++asked == 4; }));
    QCOMPARE(asked, 4);
    QVERIFY(!FGlobal->Database.InTransaction());
    // What the scan wrote stays, the query never ran, and the upper list keeps what it showed.
    const int written = Rows(u"SELECT count(*) FROM Temp_Entry"_s).value(0).toInt();
    QVERIFY2(written > 1 && written < 9, qPrintable(QString::number(written)));
    QCOMPARE(Rows(u"SELECT count(*) FROM MatchedEntries"_s), QStringList{u"0"_s});
    QVERIFY(FComparison->OnDisk.Active());
    QCOMPARE(FComparison->OnDisk.RecordCount(), shown);
}

void TestFolderMatches::RefusedWhileComparing()
{
    // What a window's messages might ask for while the scan lets them run.
    int calls = 0;
    int refused = 0;
    bool comparing = true;
    QVERIFY(FComparison->RunComparison(Copy(), false, false, false, [&] {
        ++calls;
        comparing = comparing && FComparison->Comparing();
        for (const std::function<void()> &action : std::initializer_list<std::function<void()>>{
                 [&] { FComparison->ClearScratch(); },
                 [&] { FComparison->RunComparison(Copy(), true, true, true, [] { return false; }); }}) {
            try {
                action();
            } catch (const EComparing &) {
                ++refused;
            }
        }
        return false;
    }));
    QVERIFY(comparing && !FComparison->Comparing());
    QVERIFY(calls > 0);
    QCOMPARE(refused, 2 * calls);
    QCOMPARE(Pairs().size(), 7);
}

void TestFolderMatches::AnotherConnectionComparesMeanwhile()
{
    // A second program on the same catalogue, comparing a folder of one file while this scan runs:
    // it empties and fills the scratch tables between the rows this one writes.
    TDatabase other;
    other.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
    other.SetParams({u"DATABASE NAME="_s + FGlobal->Database.FileName()});
    other.AfterConnect = [](TDatabase &database) { CatalogSchema::CreateScratchTables(database); };
    other.Open();
    const QString findMatch = other.SavedQueryText(u"FindMatch"_s);
    int interleaved = 0;
    QVERIFY(FComparison->RunComparison(Copy(), false, false, false, [&] {
        other.ExecSQL(u"DELETE FROM Temp_Entry; DELETE FROM MatchedEntries; "
                      u"INSERT INTO Temp_Entry (Parent, Name) VALUES (0, 'Song.mp3')"_s);
        other.ExecSQL(findMatch);
        ++interleaved;
        return false;
    }));
    QVERIFY(interleaved > 1);
    QCOMPARE(Pairs().size(), 7);
    TQuery theirs;
    theirs.SetDatabase(&other);
    theirs.SetSQL({u"SELECT (SELECT count(*) FROM Temp_Entry), (SELECT count(*) FROM MatchedEntries)"_s});
    theirs.Open();
    QCOMPARE(theirs.Fields(0)->AsInteger(), 1);
    QCOMPARE(theirs.Fields(1)->AsInteger(), 1);
}

QTEST_GUILESS_MAIN(TestFolderMatches)
#include "tst_FolderMatches.moc"
