// Bringing a catalogued volume up to date in place (TGlobal::UpdateDisk) over real folder trees
// that a double of the volume services presents as drives.

#include "ByteTrees.h"
#include "CatalogFixture.h"
#include "MountedSources.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 Serial = 0x1234ABCD;
constexpr qint64 GiB = qint64(1) << 30;
const QDateTime Then(QDate(2022, 5, 6), QTime(7, 8, 10));

// The report as the command line prints it.
QStringList Lines(const TVolumeChanges &changes)
{
    QStringList lines;
    for (const TVolumeChange &change : changes.Changes)
        lines << (change.Kind == TChangeKind::Added     ? u"+ "_s
                  : change.Kind == TChangeKind::Removed ? u"- "_s
                                                        : u"~ "_s) +
                     change.Path;
    return lines;
}

} // namespace

class TestVolumeUpdate : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void Compare_data();
    void Compare();
    void Descriptions();
    void UnreadableFolderIsKept();
    void Stopped_data();
    void Stopped();
    void WrongVolume_data();
    void WrongVolume();

private:
    QString Root() const { return FDrive->path(); }
    // Every entry of the tree gets the same time, so that only what a test changes differs.
    void Settle();
    // The volume's rows as a scan would write them, without IDs and descriptions, by path.
    QStringList Content(qint64 root);
    qint64 IdOf(const QString &fullPath, const QString &name);

    std::unique_ptr<TCatalogFixture> F;
    std::unique_ptr<QTemporaryDir> FDrive;
};

void TestVolumeUpdate::init()
{
    F = std::make_unique<TCatalogFixture>();
    FDrive = std::make_unique<QTemporaryDir>();
    QVERIFY(F->IsValid() && FDrive->isValid());
    F->Services.AddDrive(Root(), u"MY DISK"_s, Serial, GiB);
    F->Global->OnConfirmReplace = [] { return true; };
}

void TestVolumeUpdate::cleanup()
{
    F.reset();
    FDrive.reset();
}

void TestVolumeUpdate::Settle()
{
    TByteTree tree(Root());
    QDirIterator it(Root(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        tree.Time(QFile::encodeName(it.next().mid(Root().size() + 1)), Then);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
}

QStringList TestVolumeUpdate::Content(qint64 root)
{
    return F->Rows(u"SELECT coalesce(FullPath, '') || Name, Folder, Size, Modified, ImageID, "
                   "Parent IS NULL FROM Entries WHERE CD = %1 ORDER BY 1, 2, 3"_s.arg(root));
}

qint64 TestVolumeUpdate::IdOf(const QString &fullPath, const QString &name)
{
    return F->Scalar(
        u"SELECT ID FROM Entries WHERE coalesce(FullPath, '') = '%1' AND Name = '%2'"_s.arg(fullPath, name));
}

void TestVolumeUpdate::Compare_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("report");
    QTest::addColumn<QList<int>>("counts"); // added, removed, changed, unchanged
    QTest::addColumn<QStringList>("gone");  // the entries whose rows do not stay

    QTest::newRow("nothing") << u"nothing"_s << QStringList() << QList<int>{0, 0, 0, 6} << QStringList();
    QTest::newRow("a file's size") << u"size"_s << QStringList{u"~ a.txt"_s} << QList<int>{0, 0, 1, 5}
                                   << QStringList();
    QTest::newRow("a file's time") << u"time"_s << QStringList{u"~ keep/x.txt"_s} << QList<int>{0, 0, 1, 5}
                                   << QStringList();
    QTest::newRow("added") << u"added"_s << QStringList{u"+ keep/new.jpg"_s, u"+ more"_s, u"+ more/m.txt"_s}
                           << QList<int>{3, 0, 0, 6} << QStringList();
    QTest::newRow("removed subtree") << u"removed"_s
                                     << QStringList{u"- keep"_s, u"- keep/deep"_s, u"- keep/deep/d.txt"_s,
                                                    u"- keep/x.txt"_s}
                                     << QList<int>{0, 4, 0, 2}
                                     << QStringList{u"keep"_s, u"deep"_s, u"d.txt"_s, u"x.txt"_s};
    // On a case-sensitive volume both are stored as Readme.txt: each keeps to its own row.
    QTest::newRow("names differing in case")
        << u"case"_s << QStringList{u"+ README.TXT"_s} << QList<int>{1, 0, 0, 6} << QStringList();
    QTest::newRow("file into folder") << u"file to folder"_s << QStringList{u"~ a.txt"_s, u"+ a.txt/in.txt"_s}
                                      << QList<int>{1, 0, 1, 5} << QStringList{u"a.txt"_s};
    QTest::newRow("folder into file")
        << u"folder to file"_s << QStringList{u"~ keep/deep"_s, u"- keep/deep/d.txt"_s}
        << QList<int>{0, 1, 1, 4} << QStringList{u"deep"_s, u"d.txt"_s};
    QTest::newRow("folder replaced by a link")
        << u"folder to link"_s << QStringList{u"~ keep/deep"_s, u"- keep/deep/d.txt"_s}
        << QList<int>{0, 1, 1, 4} << QStringList{u"deep"_s, u"d.txt"_s};
}

void TestVolumeUpdate::Compare()
{
    QFETCH(QString, change);
    QFETCH(QStringList, report);
    QFETCH(QList<int>, counts);
    QFETCH(QStringList, gone);

    TByteTree tree(Root());
    tree.File("a.txt", 1);
    tree.File("Readme.txt", 2);
    tree.File("keep/x.txt", 3);
    tree.File("keep/deep/d.txt", 4);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    Settle();
    const int root = F->Global->LoadDisk(Root(), QString(), 2, false);
    QVERIFY(root > 0);
    F->Global->Database.ExecSQL(
        u"UPDATE Entries SET Description = 'typed ' || Name WHERE Parent IS NOT NULL"_s);
    const QStringList ids = F->Rows(u"SELECT ID, Name, Description FROM Entries ORDER BY ID"_s);

    if (change == u"size") {
        tree.File("a.txt", 10);
    } else if (change == u"added") {
        tree.File("keep/new.jpg", 5);
        tree.File("more/m.txt", 6);
    } else if (change == u"removed") {
        QVERIFY(QDir(Root() + u"/keep"_s).removeRecursively());
    } else if (change == u"case") {
        tree.File("README.TXT", 7);
    } else if (change == u"file to folder") {
        QVERIFY(QFile::remove(Root() + u"/a.txt"_s));
        tree.File("a.txt/in.txt", 8);
    } else if (change == u"folder to file" || change == u"folder to link") {
        QVERIFY(QDir(Root() + u"/keep/deep"_s).removeRecursively());
        if (change == u"folder to file")
            tree.File("keep/deep", 9);
        else
            tree.Link("keep/deep", "../a.txt");
    }
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    Settle();
    if (change == u"time")
        tree.Time("keep/x.txt", Then.addDays(1));

    TVolumeChanges changes;
    QList<int> reports;
    F->Global->OnProgress = [&](TGlobal *, int percent, int) { return reports << percent, false; };
    TMountedSource source(Root());
    QVERIFY(F->Global->UpdateDisk(source, root, QString(), changes));
    QVERIFY(!F->Global->Database.InTransaction());
    QCOMPARE(Lines(changes), report);
    QCOMPARE((QList<int>{changes.Added, changes.Removed, changes.Changed, changes.Unchanged}), counts);
    QCOMPARE(reports.last(), 0);

    // What is still there keeps its row, its ID and its description; what is new has none.
    for (const QString &row : ids) {
        if (!gone.contains(row.section(u'|', 1, 1)))
            QVERIFY2(
                F->Rows(u"SELECT ID, Name, Description FROM Entries WHERE ID = "_s + row.section(u'|', 0, 0))
                    .contains(row),
                qPrintable(row));
    }
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Description IS NULL AND Parent IS NOT NULL"_s),
             counts[0] + (gone.isEmpty() ? 0 : counts[2]));
    if (change == u"case") {
        QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'Readme.txt'"_s), 2);
        QCOMPARE(
            F->Scalar(u"SELECT Size FROM Entries WHERE Name = 'Readme.txt' AND Description IS NOT NULL"_s),
            2);
    }

    // Stored as a scan of the volume as it is now stores it.
    const QStringList updated = Content(root);
    QCOMPARE(F->BrokenReferences(), 0);
    TMountedSource again(Root());
    const int scanned = F->Global->LoadDisk(again, QString(), 2, true);
    QVERIFY(scanned > root);
    const QStringList fresh = Content(scanned);
    QCOMPARE(updated, fresh);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), fresh.size());
}

void TestVolumeUpdate::Descriptions()
{
    WriteFile(Root() + u"/file_id.diz"_s, "Root");
    WriteFile(Root() + u"/game.exe"_s, "MZ");
    WriteFile(Root() + u"/game.diz"_s, "Game one");
    WriteFile(Root() + u"/tool.exe"_s, "MZ");
    WriteFile(Root() + u"/tool.diz"_s, "Tool");
    Settle();
    const int root = F->Global->LoadDisk(Root(), QString(), 2, false);
    QVERIFY(root > 0);
    F->Global->LoadDescriptions(root, Root());
    QCOMPARE(F->Rows(u"SELECT Description FROM Entries WHERE Name = 'tool.exe'"_s), QStringList{u"Tool"_s});
    F->Global->Database.ExecSQL(
        u"UPDATE Entries SET Description = 'typed' WHERE Name IN ('tool.exe', 'Game.exe')"_s);
    F->Global->Database.ExecSQL(u"UPDATE Entries SET Description = 'typed root' WHERE ID = %1"_s.arg(root));

    WriteFile(Root() + u"/game.diz"_s, "Game two!");
    WriteFile(Root() + u"/new.exe"_s, "MZ");
    WriteFile(Root() + u"/new.diz"_s, "New");
    Settle();
    TVolumeChanges changes;
    TMountedSource source(Root());
    QVERIFY(F->Global->UpdateDisk(source, 0, u"Renamed"_s, changes));
    QCOMPARE(Lines(changes), (QStringList{u"~ game.diz"_s, u"+ new.diz"_s, u"+ new.exe"_s}));
    // Only the new and the changed info files are read: what the user typed for the others stays.
    QCOMPARE(F->Rows(u"SELECT Name, Description FROM Entries WHERE Name LIKE '%.exe' ORDER BY Name"_s),
             (QStringList{u"game.exe|Game two!"_s, u"new.exe|New"_s, u"tool.exe|typed"_s}));
    QCOMPARE(F->Rows(u"SELECT Name, Description FROM Entries WHERE ID = %1"_s.arg(root)),
             QStringList{u"Renamed|typed root"_s});
}

void TestVolumeUpdate::UnreadableFolderIsKept()
{
    TByteTree tree(Root());
    tree.File("a.txt", 1);
    tree.File("keep/x.txt", 3);
    tree.File("keep/deep/d.txt", 4);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    Settle();
    const int root = F->Global->LoadDisk(Root(), QString(), 2, false);
    QVERIFY(root > 0);
    const QStringList before = F->Rows(u"SELECT * FROM Entries ORDER BY ID"_s);
    QVERIFY(QFile::remove(Root() + u"/keep/x.txt"_s));
    Settle();
    F->Services.FailListing(Root() + u"/keep"_s);
    TVolumeChanges changes;
    TMountedSource source(Root());
    QVERIFY(F->Global->UpdateDisk(source, root, QString(), changes));
    QCOMPARE(Lines(changes), QStringList());
    QCOMPARE(changes.Unchanged, 5);
    QCOMPARE(F->Rows(u"SELECT * FROM Entries ORDER BY ID"_s), before);
}

void TestVolumeUpdate::Stopped_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("stopped") << u"stop"_s;
    QTest::newRow("failed") << u"error"_s;
    QTest::newRow("stopped while replacing") << u"replace stop"_s;
    QTest::newRow("failed while replacing") << u"replace error"_s;
}

// However it ends before it is done, the catalogue holds the old copy, as it was.
void TestVolumeUpdate::Stopped()
{
    QFETCH(QString, how);
    TByteTree tree(Root());
    tree.OneFilePerFolder(6, 100);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    const int root = F->Global->LoadDisk(Root(), QString(), 2, false);
    QVERIFY(root > 0);
    F->Global->Database.ExecSQL(u"UPDATE Entries SET Description = 'typed'"_s);
    const QStringList before =
        F->Rows(u"SELECT * FROM Entries ORDER BY ID"_s) + F->Rows(u"SELECT * FROM CDs"_s);

    tree.OneFilePerFolder(6, 200);
    tree.File("d9/new", 1);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    // Every reading of the clock is 600 ms on: each file is reported.
    F->Services.SetTick(0);
    F->Services.SetTickStep(600);
    int reported = 0;
    qint64 committed = -1;
    F->Global->OnProgress = [&](TGlobal *, int, int) {
        committed = F->Committed(u"SELECT count(*) FROM Entries WHERE Size = 200 OR Name = 'new'"_s);
        return ++reported == 4;
    };
    int listed = 0;
    if (how.endsWith(u"error")) {
        F->Global->OnProgress = nullptr;
        F->Services.OnListDirectory = [&](const QString &) {
            if (++listed == 5)
                throw std::runtime_error("the device failed");
        };
    }
    TMountedSource source(Root());
    TVolumeChanges changes;
    if (how == u"stop")
        QVERIFY(!F->Global->UpdateDisk(source, root, QString(), changes));
    else if (how == u"error")
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, F->Global->UpdateDisk(source, root, QString(), changes));
    else if (how == u"replace stop")
        QCOMPARE(F->Global->LoadDisk(source, QString(), 2, true), -1);
    else
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, F->Global->LoadDisk(source, QString(), 2, true));
    QVERIFY(!F->Global->Database.InTransaction());
    QVERIFY(committed <= 0);
    QCOMPARE(F->Rows(u"SELECT * FROM Entries ORDER BY ID"_s) + F->Rows(u"SELECT * FROM CDs"_s), before);
}

void TestVolumeUpdate::WrongVolume_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("message");
    QTest::newRow("no disc") << u"no disc"_s << u"There is no readable volume at"_s;
    QTest::newRow("another disc") << u"serial"_s << u"is not the one catalogued"_s;
    QTest::newRow("not catalogued") << u"unknown"_s << u"is not in the catalogue"_s;
}

void TestVolumeUpdate::WrongVolume()
{
    QFETCH(QString, how);
    QFETCH(QString, message);
    TByteTree tree(Root());
    tree.File("a.txt", 1);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    const int root = F->Global->LoadDisk(Root(), QString(), 2, false);
    QVERIFY(root > 0);
    tree.File("b.txt", 1);
    const QStringList before = F->Rows(u"SELECT * FROM Entries ORDER BY ID"_s);
    if (how == u"no disc")
        F->Services.SetHasDisc(Root(), false);
    else
        F->Services.AddDrive(Root(), u"MY DISK"_s, 0x0BADF00D, GiB);
    TMountedSource source(Root());
    TVolumeChanges changes;
    QString error;
    try {
        F->Global->UpdateDisk(source, how == u"unknown" ? 0 : root, QString(), changes);
    } catch (const EUpdateError &failure) {
        error = failure.Message();
    }
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(F->Rows(u"SELECT * FROM Entries ORDER BY ID"_s), before);
    QVERIFY(!F->Global->Database.InTransaction());
}

QTEST_GUILESS_MAIN(TestVolumeUpdate)
#include "tst_VolumeUpdate.moc"
