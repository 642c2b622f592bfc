// The walk of a volume that holds archives, with their content read: rows, totals, the notes about
// archives that could not be read whole, finding what lies inside, and the upgrade of a catalogue
// written before entries inside archives existed.

#include "ArchiveMakers.h"
#include "CatalogFixture.h"
#include "FindCriteria.h"
#include "FindRows.h"
#include "MountedSources.h"
#include "SqliteStatements.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 Serial = 0x2468ACE0;

// Entries below the root as "FullPath|Name|Size|Folder|InArchive|Archive", in ID order.
const QString EntryRows =
    u"SELECT IFNULL(FullPath, '') || '|' || Name || '|' || IFNULL(Size, 'NULL') || '|' || Folder || '|' || "
    "InArchive || '|' || Archive FROM Entries WHERE Parent IS NOT NULL ORDER BY ID"_s;

} // namespace

class TestArchiveScan : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void contentBelowTheArchive();
    void totalsCountTheArchiveOnce();
    void notes_data();
    void notes();
    void findsInside();
    void updateReadsArchivesAsAScanWould_data();
    void updateReadsArchivesAsAScanWould();
    void upgradeFromLayout2();

private:
    QString Root() const { return FVolume->path(); }
    int Scan(bool archives);
    std::unique_ptr<TCatalogFixture> F;
    std::unique_ptr<QTemporaryDir> FVolume;
};

void TestArchiveScan::init()
{
    F = std::make_unique<TCatalogFixture>();
    QVERIFY(F->IsValid());
    FVolume = std::make_unique<QTemporaryDir>();
    QVERIFY(FVolume->isValid());
    F->Services.AddDrive(Root(), u"ARCHIVES"_s, Serial, qint64(1) << 30);
}

void TestArchiveScan::cleanup()
{
    F.reset();
    FVolume.reset();
}

int TestArchiveScan::Scan(bool archives)
{
    F->Global->ProcessArchives = archives;
    return F->Global->LoadDisk(Root(), QString(), 2, true);
}

void TestArchiveScan::contentBelowTheArchive()
{
    // Folders named only by their files' paths are made; a nested archive is read as well.
    const QString inner = FVolume->filePath(u"inner.zip"_s);
    QVERIFY(MakeArchive(inner, {{u"deep.txt"_s, "1234"}}));
    QVERIFY(MakeArchive(Root() + u"/Docs/Pack.ZIP"_s,
                        {{u"A/b/C.txt"_s, "hello"}, {u"A/"_s, {}}, {u"inner.zip"_s, FileBytes(inner)}}));
    QFile::remove(inner);
    const qint64 packSize = QFileInfo(Root() + u"/Docs/Pack.ZIP"_s).size();

    const int root = Scan(true);
    QVERIFY(root > 0);
    const QStringList rows = F->Rows(EntryRows);
    QCOMPARE(rows.size(), 7);
    QCOMPARE(rows[0], u"|Docs|%1|1|0|0"_s.arg(packSize));
    QCOMPARE(rows[1], u"Docs\\|Pack.zip|%1|0|0|1"_s.arg(packSize));
    QCOMPARE(rows[2], u"Docs\\Pack.ZIP\\|A|5|1|1|0"_s);
    QCOMPARE(rows[3], u"Docs\\Pack.ZIP\\A\\|b|5|1|1|0"_s);
    QCOMPARE(rows[4], u"Docs\\Pack.ZIP\\A\\b\\|C.txt|5|0|1|0"_s);
    QVERIFY2(rows[5].startsWith(u"Docs\\Pack.ZIP\\|inner.zip|"_s) && rows[5].endsWith(u"|0|1|1"_s),
             qPrintable(rows[5]));
    QCOMPARE(rows[6], u"Docs\\Pack.ZIP\\inner.zip\\|deep.txt|4|0|1|0"_s);
    // The archive is a node of the tree; its content hangs below it.
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries e JOIN Entries p ON e.Parent = p.ID "
                       "WHERE p.Name = 'Pack.zip' AND e.InArchive <> 0"_s),
             2);
    F->Global->RefreshViews();
    QVERIFY(F->Global->Folders.Locate(u"Name"_s, TVariant(u"Pack.zip"_s)));
    QVERIFY(F->Global->ArchiveNotes.isEmpty());

    // The volume goes with everything inside its archives.
    F->Global->DeleteDisk(root);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), 0);
}

void TestArchiveScan::totalsCountTheArchiveOnce()
{
    QList<TArchiveItem> items;
    for (int i = 0; i < 20; ++i)
        items.append({u"f%1.txt"_s.arg(i), QByteArray(10000, 'x')});
    QVERIFY(MakeArchive(Root() + u"/sub/big.zip"_s, items));
    WriteFile(Root() + u"/sub/plain.txt"_s, "12345");

    const int without = Scan(false);
    QVERIFY(without > 0);
    const QStringList totals =
        F->Rows(u"SELECT Size FROM Entries WHERE Folder <> 0 AND InArchive = 0 ORDER BY ID"_s);
    const int with = Scan(true);
    QVERIFY(with > 0);
    QCOMPARE(F->Rows(u"SELECT Size FROM Entries WHERE Folder <> 0 AND InArchive = 0 ORDER BY ID"_s), totals);
    QCOMPARE(F->Scalar(u"SELECT Size FROM Entries WHERE ID = %1"_s.arg(with)),
             QFileInfo(Root() + u"/sub/big.zip"_s).size() + 5);
    // Inside, the sizes are those of the files unpacked.
    QCOMPARE(F->Scalar(u"SELECT sum(Size) FROM Entries WHERE InArchive <> 0"_s), 200000);
}

void TestArchiveScan::notes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("entries"); // catalogued inside, -1: some but not all
    QTest::addColumn<QString>("note");
    QTest::newRow("many entries") << u"bomb"_s << 30 << u"bomb.zip holds more than 30 entries"_s;
    QTest::newRow("cut short") << u"cut"_s << -1 << u"cut.zip is damaged or cut short after"_s;
    QTest::newRow("names leading out")
        << u"escape"_s << 2 << u"escape.zip holds 2 entries whose names lead outside it"_s;
    QTest::newRow("encrypted") << u"locked"_s << 2 << QString();
}

void TestArchiveScan::notes()
{
    QFETCH(QString, kind);
    QFETCH(int, entries);
    QFETCH(QString, note);
    const QString path = Root() + u'/' + kind + u".zip"_s;
    QList<TArchiveItem> items;
    if (kind == u"bomb") {
        for (int i = 0; i < 100; ++i)
            items.append({u"e%1"_s.arg(i), {}});
    } else if (kind == u"cut") {
        for (int i = 0; i < 8; ++i) {
            QByteArray noise(5000, Qt::Uninitialized);
            for (qsizetype j = 0; j < noise.size(); ++j)
                noise[j] = char((j * 7919 + i * 104729) >> 3);
            items.append({u"f%1.bin"_s.arg(i), noise});
        }
    } else if (kind == u"escape") {
        items = {{u"../../etc/passwd"_s, "x"}, {u"/abs.txt"_s, "y"}, {u"ok/fine.txt"_s, "z"}};
    }
    if (kind == u"locked") {
        QTemporaryDir files;
        QVERIFY(MakeEncryptedZip(path, files.path(), {{u"a.txt"_s, "secret a"}, {u"b.txt"_s, "secret b"}}));
    } else {
        QVERIFY(MakeArchive(path, items));
    }
    if (kind == u"cut") {
        const QByteArray whole = FileBytes(path);
        WriteFile(path, whole.left(whole.size() / 2));
    }
    WriteFile(Root() + u"/after.txt"_s, "after");
    F->Global->ArchiveLimits.MaxEntries = 30;

    QVERIFY(Scan(true) > 0);
    const qint64 inside = F->Scalar(u"SELECT count(*) FROM Entries WHERE InArchive <> 0 AND Folder = 0"_s);
    if (entries >= 0)
        QCOMPARE(inside, qint64(entries + (kind == u"escape" ? 1 : 0)));
    else
        QVERIFY(inside > 0 && inside < 8);
    // The walk went on past the archive.
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'after.txt'"_s), 1);
    if (note.isEmpty()) {
        QVERIFY(F->Global->ArchiveNotes.isEmpty());
    } else {
        QCOMPARE(F->Global->ArchiveNotes.size(), 1);
        QVERIFY2(F->Global->ArchiveNotes[0].startsWith(note), qPrintable(F->Global->ArchiveNotes[0]));
    }
    if (kind == u"escape") {
        // Kept under their whole names at the archive's top, never as folders outside it.
        QCOMPARE(F->Rows(u"SELECT Name || '|' || FullPath FROM Entries WHERE Name LIKE '%passwd' OR Name "
                         "LIKE '%abs.txt' ORDER BY ID"_s),
                 (QStringList{u"../../etc/passwd|escape.zip\\"_s, u"/abs.txt|escape.zip\\"_s}));
        QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name IN ('..', 'etc')"_s), 0);
    }
}

void TestArchiveScan::findsInside()
{
    QVERIFY(MakeArchive(Root() + u"/music.tar.gz"_s, {{u"albums/Blue Lake.ogg"_s, "ogg"}}, u"tar.gz"_s));
    QVERIFY(Scan(true) > 0);
    TFindCriteria criteria;
    criteria.Name = u"*lake*"_s;
    ApplyFindCriteria(*F->Global, criteria);
    QStringList found;
    ForEachFindResult(*F->Global, [&found](const TStatement &row) {
        found << row.Column(1, TFieldType::String).AsString() + u'|' +
                     row.Column(2, TFieldType::String).AsString();
    });
    QCOMPARE(found, QStringList{u"Blue lake.ogg|Archives:\\music.tar.gz\\albums\\"_s});
}

void TestArchiveScan::updateReadsArchivesAsAScanWould_data()
{
    QTest::addColumn<bool>("rewritten"); // Pack.zip holds another file since the scan
    QTest::addColumn<bool>("archives");  // the update looks into archives
    QTest::newRow("unchanged, looked into") << false << true;
    QTest::newRow("unchanged, not looked into") << false << false;
    QTest::newRow("rewritten, looked into") << true << true;
    QTest::newRow("rewritten, not looked into") << true << false;
}

void TestArchiveScan::updateReadsArchivesAsAScanWould()
{
    QFETCH(bool, rewritten);
    QFETCH(bool, archives);
    const QString pack = Root() + u"/Pack.zip"_s;
    QVERIFY(MakeArchive(pack, {{u"A/b.txt"_s, "hello"}}));
    const int root = Scan(true);
    QVERIFY(root > 0);
    const QStringList before = F->Rows(EntryRows);
    const qint64 inner = F->Scalar(u"SELECT ID FROM Entries WHERE Name = 'b.txt'"_s);
    QVERIFY(MakeArchive(Root() + u"/New.zip"_s, {{u"n.txt"_s, "1"}}));
    if (rewritten) {
        QVERIFY(MakeArchive(pack, {{u"A/b.txt"_s, "hello"}, {u"c.txt"_s, "a longer text"}}));
    }

    F->Global->ProcessArchives = archives;
    TMountedSource source(Root());
    TVolumeChanges changes;
    QVERIFY(F->Global->UpdateDisk(source, root, QString(), changes));
    QStringList updated = F->Rows(EntryRows);
    if (!rewritten) {
        // What an unchanged archive held is kept as it was, rows and IDs.
        QCOMPARE(F->Scalar(u"SELECT ID FROM Entries WHERE Name = 'b.txt'"_s), inner);
        if (!archives) {
            const qint64 size = QFileInfo(Root() + u"/New.zip"_s).size();
            QCOMPARE(updated, before + QStringList{u"|New.zip|%1|0|0|0"_s.arg(size)});
            return;
        }
    }
    // Otherwise the catalogue holds what a scan would catalogue now.
    QCOMPARE(changes.Added, 1);
    QCOMPARE(changes.Changed, rewritten ? 1 : 0);
    QVERIFY(Scan(archives) > 0);
    QStringList scanned = F->Rows(EntryRows);
    updated.sort();
    scanned.sort();
    QCOMPARE(updated, scanned);
}

void TestArchiveScan::upgradeFromLayout2()
{
    WriteFile(Root() + u"/old.txt"_s, "old");
    QVERIFY(Scan(false) > 0);
    F->Global.reset();
    // The catalogue as layout 2 left it: without the columns of archives.
    QCOMPARE(MakeOlderLayout(CatalogSchema::DefaultFilePath(), 2), 2);

    F->Global = std::make_unique<TGlobal>();
    QCOMPARE(CatalogSchema::FileVersion(F->Global->Database), CatalogSchema::Version);
    QCOMPARE(F->Rows(EntryRows), QStringList{u"|old.txt|3|0|0|0"_s});
    QVERIFY(MakeArchive(Root() + u"/new.zip"_s, {{u"n.txt"_s, "n"}}));
    QVERIFY(Scan(true) > 0);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE InArchive <> 0"_s), 1);
}

QTEST_GUILESS_MAIN(TestArchiveScan)
#include "tst_ArchiveScan.moc"
