// A whole catalogue copied into a new one and back: every table's rows as they were, the word
// indexes rebuilt, and a copy that cannot or does not complete leaving the target as it was.

#include "CatalogCopies.h"
#include "CatalogFixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList Dumps{
    QStringLiteral("SELECT * FROM Entries ORDER BY ID"),
    QStringLiteral("SELECT * FROM CDs ORDER BY ID"),
    QStringLiteral("SELECT ImageID, CD, Description, hex(Large), hex(Small) FROM Images ORDER BY ImageID"),
    QStringLiteral("SELECT * FROM Ext ORDER BY rowid"),
    QStringLiteral("SELECT * FROM Nfo ORDER BY rowid"),
};

QStringList dump(TDatabase &database)
{
    QStringList rows;
    for (const QString &sql : Dumps)
        rows << RowsOf(database, sql) << QStringLiteral("--");
    return rows;
}

std::unique_ptr<TDatabase> newCatalogue(const QString &path)
{
    CatalogSchema::CreateFile(path);
    auto database = std::make_unique<TDatabase>();
    database->SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
    database->SetParams({QStringLiteral("DATABASE NAME=") + path});
    database->Open();
    return database;
}

} // namespace

class TestCatalogCopies : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void CopyAndBackKeepEverything();
    void NothingIsWrittenWhenTheCopyCannotComplete_data();
    void NothingIsWrittenWhenTheCopyCannotComplete();

private:
    std::unique_ptr<TCatalogFixture> FFixture;
    QTemporaryDir FDisk;
    std::unique_ptr<QTemporaryDir> FFiles;
};

void TestCatalogCopies::init()
{
    FFixture = std::make_unique<TCatalogFixture>();
    FFiles = std::make_unique<QTemporaryDir>();
    QVERIFY(FFixture->IsValid() && FDisk.isValid() && FFiles->isValid());
    QVERIFY(QDir(FDisk.path()).mkpath(QStringLiteral("Music/Live")));
    for (const char *name : {"Music/one.mp3", "Music/Live/two.mp3", "read.me"}) {
        QFile file(FDisk.filePath(QString::fromUtf8(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(name);
    }
    FFixture->Services.AddDrive(FDisk.path(), QStringLiteral("DISK"), 0x1234abcd, 1000);
    QVERIFY(FFixture->Global->LoadDisk(FDisk.path(), QStringLiteral("Disk"), 2, false) > 0);
    TDatabase &db = FFixture->Global->Database;
    // What the user made their own: a description with line breaks and tabs, a picture, a pattern.
    db.ExecSQL(QStringLiteral("UPDATE Entries SET Description = ? WHERE Name = 'one.mp3'"),
               {TVariant(QStringLiteral("first\tline\r\nsecond \\ line"))});
    db.ExecSQL(QStringLiteral("UPDATE Images SET Large = ? WHERE ImageID = 9"),
               {TVariant(QByteArray("\x00\x01\\\n\xff", 5))});
    db.ExecSQL(QStringLiteral("INSERT INTO Nfo (NameNFO, ForFolder, ForFile) VALUES ('notes.txt', 1, 0)"));
}

void TestCatalogCopies::cleanup()
{
    FFixture.reset();
    FFiles.reset();
}

void TestCatalogCopies::CopyAndBackKeepEverything()
{
    TDatabase &source = FFixture->Global->Database;
    const QStringList before = dump(source);
    auto target = newCatalogue(FFiles->filePath(QStringLiteral("copy.db")));
    const TCopyCounts counts = CopyCatalogue(source, *target);
    QCOMPARE(counts.Volumes, 1);
    QCOMPARE(counts.Entries, ScalarOf(source, QStringLiteral("SELECT count(*) FROM Entries")));
    QCOMPARE(dump(*target), before);
    // The copy's word indexes hold its names, and new entries are numbered after the copied ones.
    QCOMPARE(
        ScalarOf(*target, QStringLiteral("SELECT count(*) FROM EntryNames WHERE EntryNames MATCH 'two'")), 1);
    target->ExecSQL(QStringLiteral("INSERT INTO Entries (Name) VALUES ('new')"));
    QCOMPARE(ScalarOf(*target, QStringLiteral("SELECT max(ID) FROM Entries")),
             ScalarOf(source, QStringLiteral("SELECT max(ID) FROM Entries")) + 1);
    target->ExecSQL(QStringLiteral("DELETE FROM Entries WHERE Name = 'new'"));

    auto back = newCatalogue(FFiles->filePath(QStringLiteral("back.db")));
    CopyCatalogue(*target, *back);
    QCOMPARE(dump(*back), before);
}

void TestCatalogCopies::NothingIsWrittenWhenTheCopyCannotComplete_data()
{
    QTest::addColumn<bool>("targetHoldsAVolume");
    QTest::newRow("the target holds a volume") << true;
    QTest::newRow("stopped part-way") << false;
}

void TestCatalogCopies::NothingIsWrittenWhenTheCopyCannotComplete()
{
    QFETCH(bool, targetHoldsAVolume);
    TDatabase &source = FFixture->Global->Database;
    // Enough entries for the copy to be asked whether to go on.
    source.ExecSQL(
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
                       "INSERT INTO Entries (Parent, Name, CD) SELECT 1, 'f' || i, 1 FROM n"));
    auto target = newCatalogue(FFiles->filePath(QStringLiteral("copy.db")));
    if (targetHoldsAVolume)
        target->ExecSQL(QStringLiteral("INSERT INTO Entries (Name, Folder) VALUES ('Other', 1)"));
    const QStringList before = dump(*target);
    qint64 asked = 0;
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, CopyCatalogue(source, *target, [&asked](qint64 done, qint64) {
                                 asked = done;
                                 return false;
                             }));
    QCOMPARE(asked, targetHoldsAVolume ? 0 : 10000);
    QCOMPARE(dump(*target), before);
}

QTEST_GUILESS_MAIN(TestCatalogCopies)
#include "tst_CatalogCopies.moc"
