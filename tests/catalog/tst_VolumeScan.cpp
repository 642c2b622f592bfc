// The walk of a volume into the catalogue (TGlobal::LoadDisk) over real folder trees made in
// temporary folders, which a double of the volume services presents as drives.

#include "ByteTrees.h"
#include "CatalogFixture.h"
#include "FileNames.h"
#include "PgStatements.h"
#include "VolumeSources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 Serial = 0x1234ABCD;
constexpr qint64 GiB = qint64(1) << 30;
constexpr int Picture = 2;

// A source whose folder "trap" turns out to be no volume, after files before it were walked.
class TTrapSource final : public TVolumeSource
{
public:
    QString DisplayName() const override { return QStringLiteral("trap.iso"); }
    std::optional<TVolumeInfo> VolumeInformation() override { return TVolumeInfo{QStringLiteral("TRAP"), 7}; }
    qint64 Capacity() override { return 1000; }
    std::optional<QList<TDirEntry>> ListFolder(const QString &folder) override
    {
        if (!folder.isEmpty())
            throw EVolumeSourceError(QStringLiteral("its folders loop"));
        QList<TDirEntry> entries;
        for (const char *name : {"a.txt", "b.txt", "trap"})
            entries.append({name, name[0] == 't', false, 10, TDateTime::FromParts(2024, 1, 1), 0, true});
        return entries;
    }
    TFileBytes ReadFile(const QString &, const QString &, qint64) override { return {{}, ENOENT, {}}; }
};

// A root of files f00.txt, f01.txt, ... in that order, the one at `odd` named fNN.odd instead.
class TListedSource final : public TVolumeSource
{
public:
    TListedSource(int files, int odd) : FFiles(files), FOdd(odd) {}
    QString DisplayName() const override { return QStringLiteral("listed"); }
    std::optional<TVolumeInfo> VolumeInformation() override
    {
        return TVolumeInfo{QStringLiteral("LISTED"), 9};
    }
    qint64 Capacity() override { return 1000; }
    std::optional<QList<TDirEntry>> ListFolder(const QString &) override
    {
        QList<TDirEntry> entries;
        for (int i = 0; i < FFiles; ++i)
            entries.append({QByteArray::number(10000 + i).mid(1).prepend('f') + (i == FOdd ? ".odd" : ".txt"),
                            false, false, 10, TDateTime::FromParts(2024, 1, 1), 0, true});
        return entries;
    }
    TFileBytes ReadFile(const QString &, const QString &, qint64) override { return {{}, ENOENT, {}}; }

private:
    int FFiles;
    int FOdd;
};

// (percent, seconds left) of each progress report, in order.
using TReports = QList<std::pair<int, int>>;

// A hook that moves the clock on by step for each folder listed below the root, then does what
// else it is given. With one file in each folder, the walk sees file k (in whatever order) k
// steps after it started, however often it reads the clock.
void StepPerFolder(TVolumeServicesDouble &services, const QString &root, quint32 step,
                   std::function<void()> then = {})
{
    services.OnListDirectory = [&services, root = QDir::cleanPath(root), step, then](const QString &path) {
        if (path != root)
            services.AdvanceTick(step);
        if (then)
            then();
    };
}

// One row of Entries as read back.
struct TRow
{
    qint64 Id = 0;
    qint64 Parent = -1; // -1: NULL
    QString Name;
    bool Folder = false;
    qint64 Size = -1; // -1: NULL
    TDateTime Modified;
    bool HasModified = false;
    qint64 ImageId = 0;
    qint64 Cd = -1; // -1: NULL
    QString FullPath;
    bool HasFullPath = false;
};

// The rows of a volume by the path a user reads: FullPath and Name ("" for the root).
using TVolume = QMap<QString, TRow>;

// What must hold for every volume however it was walked: each row below a folder of the same
// volume, FullPath NULL in the root and else its parent's path and name, each folder's Size the
// sum of what is in it. Empty when it
// holds, else what is wrong.
QString Inconsistency(const TVolume &volume)
{
    QHash<qint64, const TRow *> byId;
    QHash<qint64, qint64> sums;
    for (const TRow &row : volume)
        byId.insert(row.Id, &row);
    for (auto it = volume.cbegin(); it != volume.cend(); ++it) {
        const TRow &row = it.value();
        if (it.key().isEmpty())
            continue;
        const TRow *parent = byId.value(row.Parent);
        if (!parent || !parent->Folder)
            return u"no parent folder: "_s + it.key();
        if (row.HasFullPath != (parent->Parent != -1))
            return u"FullPath NULL only in the root: "_s + it.key();
        // The parent's path and name, which differ from it only in the letter case of the disk.
        if (row.HasFullPath &&
            row.FullPath.compare(parent->FullPath + parent->Name + u'\\', Qt::CaseInsensitive) != 0)
            return u"FullPath not that of the parent: "_s + it.key();
        sums[row.Parent] += row.Size;
    }
    for (const TRow &row : volume) {
        if (row.Folder && row.Size != sums.value(row.Id))
            return u"size of %1: %2, holds %3"_s.arg(row.Name).arg(row.Size).arg(sums.value(row.Id));
    }
    return {};
}

} // namespace

class TestVolumeScan : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void SmallTree();
    void RootNames_data();
    void RootNames();
    void NoVolume_data();
    void NoVolume();
    void AlreadyCatalogued_data();
    void AlreadyCatalogued();
    void Progress_data();
    void Progress();
    void Stop_data();
    void Stop();
    void UnlistableFolder();
    void SymbolicLinks();
    void DeepChain();
    void OddNames_data();
    void OddNames();
    void SparseFile();
    void FolderVanishes();
    void ErrorMidWalk();
    void KilledMidScan();
    void SourceThatIsNoVolume();
    void RowRefused_data();
    void RowRefused();

private:
    QString Root() const { return FDrive->path(); }
    // The data module (made anew when there is none) replaces a known volume when asked,
    // counting the questions.
    void NewGlobal();
    TVolume Volume(qint64 root);
    // Every row of the catalogue as text, to tell whether anything changed.
    QStringList Dump();

    std::unique_ptr<TCatalogFixture> F;
    std::unique_ptr<QTemporaryDir> FDrive;
    int FReplaceQuestions = 0;
    qint64 FTxt = 0;
    qint64 FJpg = 0;
};

void TestVolumeScan::init()
{
    F = std::make_unique<TCatalogFixture>();
    FDrive = std::make_unique<QTemporaryDir>();
    QVERIFY(F->IsValid() && FDrive->isValid());
    F->Services.AddDrive(Root(), u"MY DISK"_s, Serial, GiB);
    NewGlobal();
    FTxt = F->Scalar(u"SELECT ImageID FROM Ext WHERE Name = 'txt'"_s);
    FJpg = F->Scalar(u"SELECT ImageID FROM Ext WHERE Name = 'jpg'"_s);
    QVERIFY(FTxt > 3 && FJpg > 3 && FTxt != FJpg);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), 0);
}

void TestVolumeScan::NewGlobal()
{
    if (!F->Global)
        F->Global = std::make_unique<TGlobal>();
    FReplaceQuestions = 0;
    F->Global->OnConfirmReplace = [this] { return ++FReplaceQuestions, true; };
}

void TestVolumeScan::cleanup()
{
    F.reset();
    // QDir cannot remove a tree deeper than a path may be long; rm opens it level by level.
    QProcess::execute(u"rm"_s, {u"-rf"_s, u"--"_s, Root()});
    FDrive.reset();
}

TVolume TestVolumeScan::Volume(qint64 root)
{
    TQuery query;
    query.SetDatabase(&F->Global->Database);
    query.SetSQL({u"SELECT ID, Parent, Name, Folder, Size, Modified, ImageID, CD, FullPath FROM Entries"_s,
                  u"WHERE ID = :root OR CD = :root OR Parent = :root"_s});
    query.ParamByName(u"root"_s)->SetAsLargeInt(root);
    query.Open();
    TVolume volume;
    for (; !query.Eof(); query.Next()) {
        auto field = [&](const char *name) { return query.FieldByName(QString::fromLatin1(name)); };
        TRow row;
        row.Id = field("ID")->AsLargeInt();
        row.Parent = field("Parent")->IsNull() ? -1 : field("Parent")->AsLargeInt();
        row.Name = field("Name")->AsString();
        row.Folder = field("Folder")->AsBoolean();
        row.Size = field("Size")->IsNull() ? -1 : field("Size")->AsLargeInt();
        row.HasModified = !field("Modified")->IsNull();
        if (row.HasModified)
            row.Modified = field("Modified")->AsDateTime();
        row.ImageId = field("ImageID")->AsLargeInt();
        row.Cd = field("CD")->IsNull() ? -1 : field("CD")->AsLargeInt();
        row.HasFullPath = !field("FullPath")->IsNull();
        row.FullPath = field("FullPath")->AsString();
        volume.insert(row.Id == root ? QString() : row.FullPath + row.Name, row);
    }
    return volume;
}

QStringList TestVolumeScan::Dump()
{
    QStringList lines;
    for (const QString &table : {u"Entries"_s, u"CDs"_s}) {
        for (const QString &row : F->Rows(u"SELECT * FROM "_s + table + u" ORDER BY ID"_s))
            lines << table + u'|' + row;
    }
    return lines;
}

void TestVolumeScan::SmallTree()
{
    // The type lookup takes everything after the first dot: a.b.c is "b.c", not "c".
    F->Global->Database.ExecSQL(u"INSERT INTO Ext (Name, ImageID) VALUES ('b.c', :jpg), ('c', :txt)"_s,
                                {TVariant(FJpg), TVariant(FTxt)});
    TByteTree tree(Root());
    tree.File("a.b.c", 3);
    tree.File("README", 4);
    tree.File(".profile", 2);
    tree.File("archive.tar.gz", 1);
    tree.File("Readme.TXT", 6);
    tree.File("DOCS/notes.md", 5);
    tree.File("DOCS/SubFolder/Photo.JPG", 10);
    tree.Dir("DOCS/Empty");
    // An odd second is truncated, an even one kept.
    const QDateTime odd(QDate(2021, 3, 4), QTime(5, 6, 7));
    tree.Time("Readme.TXT", odd);
    tree.Time("DOCS", odd);
    tree.Time("DOCS/SubFolder/Photo.JPG", QDateTime(QDate(2020, 12, 31), QTime(23, 59, 58)));
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));

    const int root = F->Global->LoadDisk(Root(), QString(), Picture, false);
    QVERIFY(root > 0);
    QVERIFY(F->Global->DataChanged);
    QVERIFY(!F->Global->Database.InTransaction());
    QCOMPARE(FReplaceQuestions, 0);

    // Names with every ASCII letter after the first lowered; FullPath in the letter case of the
    // disk, a backslash after each folder.
    struct TExpected
    {
        QString Key;
        QString Parent;
        bool Folder;
        qint64 Size;
        qint64 ImageId;
    };
    const QList<TExpected> expected{
        {u".profile"_s, {}, false, 2, 3},
        {u"a.b.c"_s, {}, false, 3, FJpg},
        {u"archive.tar.gz"_s, {}, false, 1, 3},
        {u"Readme"_s, {}, false, 4, 3},
        {u"Readme.txt"_s, {}, false, 6, FTxt},
        {u"Docs"_s, {}, true, 15, 1},
        {u"DOCS\\notes.md"_s, u"Docs"_s, false, 5, FTxt},
        {u"DOCS\\Empty"_s, u"Docs"_s, true, 0, 1},
        {u"DOCS\\Subfolder"_s, u"Docs"_s, true, 10, 1},
        {u"DOCS\\SubFolder\\Photo.jpg"_s, u"DOCS\\Subfolder"_s, false, 10, FJpg},
    };
    const TVolume volume = Volume(root);
    QCOMPARE(volume.size(), expected.size() + 1);
    for (const TExpected &e : expected) {
        QVERIFY2(volume.contains(e.Key), qPrintable(e.Key));
        const TRow &row = volume[e.Key];
        QCOMPARE(row.Parent, volume[e.Parent].Id);
        QCOMPARE(row.Folder, e.Folder);
        QCOMPARE(row.Size, e.Size);
        QCOMPARE(row.ImageId, e.ImageId);
        QCOMPARE(row.Cd, qint64(root));
        QVERIFY(row.HasModified);
    }
    QCOMPARE(volume[u"DOCS\\notes.md"_s].FullPath, u"DOCS\\"_s);
    QCOMPARE(volume[u"DOCS\\SubFolder\\Photo.jpg"_s].FullPath, u"DOCS\\SubFolder\\"_s);
    // Local time, truncated to even seconds.
    QCOMPARE(volume[u"Readme.txt"_s].Modified, TDateTime::FromParts(2021, 3, 4, 5, 6, 6));
    QCOMPARE(volume[u"Docs"_s].Modified, TDateTime::FromParts(2021, 3, 4, 5, 6, 6));
    QCOMPARE(volume[u"DOCS\\SubFolder\\Photo.jpg"_s].Modified,
             TDateTime::FromParts(2020, 12, 31, 23, 59, 58));

    const TRow &top = volume[QString()];
    QCOMPARE(top.Id, qint64(root));
    QCOMPARE(top.Name, u"My disk"_s);
    QCOMPARE(top.Parent, -1);
    QVERIFY(top.Folder);
    QCOMPARE(top.ImageId, qint64(Picture));
    QCOMPARE(top.Cd, qint64(root));
    QCOMPARE(top.Size, 3 + 4 + 2 + 1 + 6 + 15);
    QVERIFY(!top.HasFullPath);
    const QString inconsistency = Inconsistency(volume);
    QVERIFY2(inconsistency.isEmpty(), qPrintable(inconsistency));

    QCOMPARE(F->Scalar(u"SELECT count(*) FROM CDs"_s), 1);
    QCOMPARE(F->Scalar(u"SELECT ID FROM CDs WHERE SerialNum = '1234-abcd' AND VolumeLabel = 'My disk'"_s),
             root);
    // Everything is committed: another connection sees it all.
    QCOMPARE(F->Committed(u"SELECT count(*) FROM Entries"_s), volume.size());
}

void TestVolumeScan::RootNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("label");
    QTest::addColumn<quint32>("serial");
    QTest::addColumn<QString>("rootName");
    QTest::addColumn<QString>("volumeLabel");
    QTest::addColumn<QString>("serialNum");

    QTest::newRow("from the label") << QString() << u"MY DISK"_s << Serial << u"My disk"_s << u"My disk"_s
                                    << u"1234-abcd"_s;
    QTest::newRow("label upper-cased first")
        << QString() << u"my disk"_s << Serial << u"My disk"_s << u"My disk"_s << u"1234-abcd"_s;
    QTest::newRow("only ASCII letters lowered")
        << QString() << u"été disc"_s << Serial << u"ÉtÉ disc"_s << u"ÉtÉ disc"_s << u"1234-abcd"_s;
    QTest::newRow("one letter") << QString() << u"x"_s << Serial << u"X"_s << u"X"_s << u"1234-abcd"_s;
    QTest::newRow("given name") << u"Holiday 2020"_s << u"MY DISK"_s << Serial << u"Holiday 2020"_s
                                << u"My disk"_s << u"1234-abcd"_s;
    QTest::newRow("no label: the serial")
        << QString() << QString() << 0x0000BEEFu << u"0000-beef"_s << u"0000-beef"_s << u"0000-beef"_s;
    QTest::newRow("no label, given name")
        << u"Mine"_s << QString() << 0xFFFFFFFFu << u"Mine"_s << u"ffff-ffff"_s << u"ffff-ffff"_s;
}

void TestVolumeScan::RootNames()
{
    QFETCH(QString, name);
    QFETCH(QString, label);
    QFETCH(quint32, serial);
    QFETCH(QString, rootName);
    QFETCH(QString, volumeLabel);
    QFETCH(QString, serialNum);

    F->Services.AddDrive(Root(), label, serial, GiB);
    const int root = F->Global->LoadDisk(Root(), name, Picture, false);
    QVERIFY(root > 0);
    const TVolume volume = Volume(root);
    QCOMPARE(volume.size(), 1);
    QCOMPARE(volume[QString()].Name, rootName);
    QCOMPARE(volume[QString()].Size, 0);
    QCOMPARE(volume[QString()].Cd, qint64(root));
    TQuery cds;
    cds.SetDatabase(&F->Global->Database);
    cds.SetSQL({u"SELECT ID, SerialNum, VolumeLabel FROM CDs"_s});
    cds.Open();
    QCOMPARE(cds.RecordCount(), 1);
    QCOMPARE(cds.FieldByName(u"ID"_s)->AsLargeInt(), qint64(root));
    QCOMPARE(cds.FieldByName(u"SerialNum"_s)->AsString(), serialNum);
    QCOMPARE(cds.FieldByName(u"VolumeLabel"_s)->AsString(), volumeLabel);
}

void TestVolumeScan::NoVolume_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("drive without a disc") << u"no disc"_s;
    QTest::newRow("not a drive") << u"no drive"_s;
    QTest::newRow("disc gone once identified") << u"gone"_s;
}

void TestVolumeScan::NoVolume()
{
    QFETCH(QString, how);
    TByteTree tree(Root());
    tree.File("file.txt", 1);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    if (how == u"no disc")
        F->Services.SetHasDisc(Root(), false);
    else if (how == u"no drive")
        F->Services.RemoveDrive(Root());
    else
        F->Services.OnVolumeInformation = [&](const QString &) { F->Services.SetHasDisc(Root(), false); };
    QList<int> reports;
    F->Global->OnProgress = [&](TGlobal *, int percent, int) { return reports << percent, false; };

    QCOMPARE(F->Global->LoadDisk(Root(), QString(), Picture, false), -1);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s) + F->Scalar(u"SELECT count(*) FROM CDs"_s), 0);
    QVERIFY(!F->Global->Database.InTransaction());
    QCOMPARE(FReplaceQuestions, 0);
    QVERIFY(reports.isEmpty());
}

void TestVolumeScan::AlreadyCatalogued_data()
{
    QTest::addColumn<int>("answer"); // 1 replace, 0 keep, -1 nobody to ask
    QTest::addColumn<bool>("force");
    QTest::addColumn<quint32>("serial");
    QTest::addColumn<bool>("replaced");

    QTest::newRow("refused keeps it") << 0 << false << Serial << false;
    QTest::newRow("nobody to ask keeps it") << -1 << false << Serial << false;
    QTest::newRow("confirmed replaces it") << 1 << false << Serial << true;
    QTest::newRow("forced: no question") << 0 << true << Serial << true;
    QTest::newRow("another serial is another disc") << 0 << false << 0x0BADF00Du << false;
}

void TestVolumeScan::AlreadyCatalogued()
{
    QFETCH(int, answer);
    QFETCH(bool, force);
    QFETCH(quint32, serial);
    QFETCH(bool, replaced);

    TByteTree tree(Root());
    tree.File("old.txt", 1);
    tree.File("keep/x.txt", 2);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    const int first = F->Global->LoadDisk(Root(), QString(), Picture, false);
    QVERIFY(first > 0);
    // A description typed by the user, which replacing the volume drops.
    F->Global->Database.ExecSQL(u"UPDATE Entries SET Description = 'mine' WHERE Name = 'old.txt'"_s);
    QVERIFY(QFile::remove(Root() + u"/old.txt"_s));
    tree.File("new.txt", 3);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    const QStringList before = Dump();

    F->Services.AddDrive(Root(), u"MY DISK"_s, serial, GiB);
    int questions = 0;
    if (answer < 0)
        F->Global->OnConfirmReplace = nullptr;
    else
        F->Global->OnConfirmReplace = [&] { return ++questions, answer == 1; };
    const int second = F->Global->LoadDisk(Root(), u"Again"_s, Picture, force);

    QCOMPARE(questions, answer >= 0 && !force && serial == Serial ? 1 : 0);
    QVERIFY(!F->Global->Database.InTransaction());
    if (!replaced && serial == Serial) {
        QCOMPARE(second, -1);
        QCOMPARE(Dump(), before);
        return;
    }
    QVERIFY(second > first);
    const TVolume volume = Volume(second);
    QCOMPARE(volume.keys(), (QStringList{QString(), u"keep"_s, u"keep\\x.txt"_s, u"new.txt"_s}));
    QCOMPARE(volume[QString()].Name, u"Again"_s);
    QCOMPARE(volume[QString()].Size, 5);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Description IS NOT NULL"_s), replaced ? 0 : 1);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE ID = %1 OR CD = %1"_s.arg(first)),
             replaced ? 0 : 4);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), replaced ? 4 : 8);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM CDs"_s), replaced ? 1 : 2);
    QCOMPARE(F->Scalar(u"SELECT ID FROM CDs WHERE SerialNum = '%1'"_s.arg(replaced ? u"1234-abcd"_s
                                                                                   : u"0bad-f00d"_s)),
             second);
    QCOMPARE(F->BrokenReferences(), 0);
}

void TestVolumeScan::Progress_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<qint64>("capacity");
    QTest::addColumn<quint32>("step");
    QTest::addColumn<quint32>("start");
    QTest::addColumn<TReports>("reports"); // the last one is the final report

    const TReports tenths{{10, -1}, {20, -1}, {30, -1}, {40, -1}, {0, 0}};
    QTest::newRow("every file past 500 ms") << 4 << 100LL << 1000LL << 600u << 1000u << tenths;
    QTest::newRow("clock wrapping") << 4 << 100LL << 1000LL << 600u << 0xFFFFFC00u << tenths;
    QTest::newRow("not more often than 500 ms")
        << 6 << 100LL << 1000LL << 300u << 1000u << TReports{{20, -1}, {40, -1}, {60, -1}, {0, 0}};
    QTest::newRow("nothing past 500 ms: only the final report")
        << 3 << 100LL << 1000LL << 100u << 1000u << TReports{{0, 0}};
    QTest::newRow("estimate from 20 s on, in fives")
        << 4 << 100LL << 400LL << 10000u << 1000u << TReports{{25, -1}, {50, 20}, {75, 10}, {100, 0}, {0, 0}};
    QTest::newRow("no estimate just before 20 s")
        << 4 << 100LL << 400LL << 9999u << 1000u << TReports{{25, -1}, {50, -1}, {75, 10}, {100, 0}, {0, 0}};
    // 12.5, 37.5, 62.5 and 87.5 %; 7.5, 4.5 and 1.5 units of five seconds.
    QTest::newRow("halves to even") << 8 << 100LL << 800LL << 7500u << 1000u
                                    << TReports{{12, -1}, {25, -1}, {38, 40}, {50, 30}, {62, 20},
                                                {75, 15}, {88, 10}, {100, 0}, {0, 0}};
    QTest::newRow("never past 100 %")
        << 3 << 100LL << 150LL << 600u << 1000u << TReports{{67, -1}, {100, -1}, {100, -1}, {0, 0}};
    QTest::newRow("capacity 0: 0 % and no estimate")
        << 3 << 100LL << 0LL << 10000u << 1000u << TReports{{0, -1}, {0, -1}, {0, -1}, {0, 0}};
    QTest::newRow("files of 2 GiB and more")
        << 2 << 3 * GiB << 8 * GiB << 600u << 1000u << TReports{{38, -1}, {75, -1}, {0, 0}};
}

void TestVolumeScan::Progress()
{
    QFETCH(int, files);
    QFETCH(qint64, fileSize);
    QFETCH(qint64, capacity);
    QFETCH(quint32, step);
    QFETCH(quint32, start);
    QFETCH(TReports, reports);

    // Files of one size, so that what was done after k files does not depend on their order.
    TByteTree tree(Root());
    tree.OneFilePerFolder(files, fileSize);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    F->Services.AddDrive(Root(), u"MY DISK"_s, Serial, capacity);
    F->Services.SetTick(start);
    StepPerFolder(F->Services, Root(), step);
    TReports seen;
    bool fromTheDataModule = true;
    F->Global->OnProgress = [&](TGlobal *sender, int percent, int secondsLeft) {
        fromTheDataModule = fromTheDataModule && sender == F->Global.get();
        seen.append({percent, secondsLeft});
        return false;
    };
    QVERIFY(F->Global->LoadDisk(Root(), QString(), Picture, false) > 0);
    QCOMPARE(seen, reports);
    QVERIFY(fromTheDataModule);
}

void TestVolumeScan::Stop_data()
{
    QTest::addColumn<int>("stopAt"); // the report that asks for the stop; 0: the final one
    QTest::addColumn<int>("walked"); // files catalogued then

    QTest::newRow("at once") << 1 << 1;
    QTest::newRow("mid-way") << 3 << 3;
    QTest::newRow("at the last file") << 6 << 6;
    QTest::newRow("at the final report: too late") << 0 << 6;
}

void TestVolumeScan::Stop()
{
    QFETCH(int, stopAt);
    QFETCH(int, walked);
    const int files = 6;

    // Files of one size, so that what was walked does not depend on their order.
    TByteTree tree(Root());
    tree.OneFilePerFolder(files, 100);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    F->Services.SetTick(0);
    StepPerFolder(F->Services, Root(), 600);
    int reported = 0;
    QList<qint64> committed;
    F->Global->OnProgress = [&](TGlobal *, int percent, int secondsLeft) {
        const bool final = percent == 0 && secondsLeft == 0;
        if (!final)
            ++reported;
        // What was posted is committed when it is reported.
        committed << F->Committed(u"SELECT count(*) FROM Entries WHERE Folder = 0"_s);
        return final ? stopAt == 0 : reported == stopAt;
    };
    const int root = F->Global->LoadDisk(Root(), QString(), Picture, false);
    QVERIFY(!F->Global->Database.InTransaction());
    QList<qint64> expectedCommitted;
    for (int k = 1; k <= walked; ++k)
        expectedCommitted << k;
    if (stopAt == 0)
        expectedCommitted << files;
    QCOMPARE(committed, expectedCommitted);

    const qint64 top = F->Scalar(u"SELECT ID FROM Entries WHERE Parent IS NULL"_s);
    const TVolume volume = Volume(top);
    QCOMPARE(volume.size(), 1 + 2 * walked);
    QCOMPARE(F->Committed(u"SELECT count(*) FROM Entries"_s), 1 + 2 * walked);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM CDs WHERE ID = %1"_s.arg(top)), 1);
    // A folder gets its size when everything in it is walked, the root its volume and size when
    // the whole walk is done: after a stop, the folder it stopped in and the root have neither.
    QList<qint64> folderSizes;
    for (const TRow &row : volume) {
        if (row.Parent == top)
            folderSizes << row.Size;
    }
    std::sort(folderSizes.begin(), folderSizes.end());
    QList<qint64> expectedSizes(walked, 100);
    if (stopAt != 0)
        expectedSizes.first() = -1;
    QCOMPARE(folderSizes, expectedSizes);
    if (stopAt == 0) {
        QCOMPARE(root, top);
        QCOMPARE(volume[QString()].Size, files * 100);
        return;
    }
    QCOMPARE(root, -1);
    QCOMPARE(volume[QString()].Cd, -1);
    QCOMPARE(volume[QString()].Size, -1);

    // Catalogued again, the whole volume replaces the part.
    F->Global->OnProgress = nullptr;
    const int again = F->Global->LoadDisk(Root(), QString(), Picture, false);
    QVERIFY(again > top);
    QCOMPARE(FReplaceQuestions, 1);
    QCOMPARE(Volume(again).size(), 1 + 2 * files);
    QCOMPARE(Volume(again)[QString()].Size, files * 100);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), 1 + 2 * files);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM CDs"_s), 1);
}

void TestVolumeScan::UnlistableFolder()
{
    TByteTree tree(Root());
    tree.File("locked/inner.txt", 7);
    tree.File("locked/deeper/x", 1);
    tree.File("open/f.txt", 3);
    tree.File("top.txt", 1);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    // Root may read any folder, so the double refuses it.
    F->Services.FailListing(Root() + u"/locked"_s);

    const int root = F->Global->LoadDisk(Root(), QString(), Picture, false);
    QVERIFY(root > 0);
    const TVolume volume = Volume(root);
    QCOMPARE(volume.keys(), (QStringList{QString(), u"locked"_s, u"open"_s, u"open\\f.txt"_s, u"top.txt"_s}));
    QVERIFY(volume[u"locked"_s].Folder);
    QCOMPARE(volume[u"locked"_s].Size, 0);
    QCOMPARE(volume[QString()].Size, 4);
    const QString inconsistency = Inconsistency(volume);
    QVERIFY2(inconsistency.isEmpty(), qPrintable(inconsistency));
}

void TestVolumeScan::SymbolicLinks()
{
    TByteTree tree(Root());
    tree.File("target.txt", 5);
    tree.File("dir/inner.txt", 2);
    tree.Link("file.lnk", "target.txt");
    tree.Link("dir.lnk", "dir");
    tree.Link("dir/up", "..");
    tree.Link("self", "self");
    tree.Link("dangling.txt", "nowhere/at/all");
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));

    const int root = F->Global->LoadDisk(Root(), QString(), Picture, false);
    QVERIFY(root > 0);
    const TVolume volume = Volume(root);
    QStringList keys{QString(),    u"dangling.txt"_s, u"dir"_s,  u"dir\\inner.txt"_s, u"dir\\up"_s,
                     u"dir.lnk"_s, u"file.lnk"_s,     u"self"_s, u"target.txt"_s};
    keys.sort();
    QCOMPARE(volume.keys(), keys);
    // A link is a file as large as the path it holds.
    const QList<std::pair<QString, qint64>> links{
        {u"file.lnk"_s, 10}, {u"dir.lnk"_s, 3}, {u"dir\\up"_s, 2}, {u"self"_s, 4}, {u"dangling.txt"_s, 14}};
    for (const auto &[key, size] : links) {
        QVERIFY2(!volume[key].Folder, qPrintable(key));
        QCOMPARE(volume[key].Size, size);
    }
    QCOMPARE(volume[u"dangling.txt"_s].ImageId, FTxt);
    QCOMPARE(volume[QString()].Size, 5 + 2 + 10 + 3 + 2 + 4 + 14);
    const QString inconsistency = Inconsistency(volume);
    QVERIFY2(inconsistency.isEmpty(), qPrintable(inconsistency));
}

void TestVolumeScan::DeepChain()
{
    // 3,000 levels: the deepest path is about 6,000 bytes, past PATH_MAX (4,096).
    const int depth = 3000;
    TByteTree tree(Root());
    tree.Chain(depth, "bottom.txt", 5);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    // The walk holds no handle per level: count what is open while it lists each folder.
    const auto openHandles = [] {
        return QDir(u"/proc/self/fd"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size();
    };
    const qsizetype before = openHandles();
    qsizetype most = 0;
    int listed = 0;
    F->Services.OnListDirectory = [&](const QString &) {
        ++listed;
        if (listed % 100 == 0 || listed > depth - 5)
            most = std::max(most, openHandles());
    };

    const int root = F->Global->LoadDisk(Root(), QString(), Picture, false);
    QVERIFY(root > 0);
    QVERIFY2(most <= before + 8, qPrintable(u"%1 handles open at most, %2 before"_s.arg(most).arg(before)));
    const TVolume volume = Volume(root);
    QCOMPARE(volume.size(), depth + 2);
    const QString bottomPath = u"d\\"_s.repeated(depth);
    QVERIFY(volume.contains(bottomPath + u"bottom.txt"_s));
    QCOMPARE(volume[bottomPath + u"bottom.txt"_s].FullPath, bottomPath);
    QCOMPARE(volume[QString()].Size, 5);
    const QString inconsistency = Inconsistency(volume);
    QVERIFY2(inconsistency.isEmpty(), qPrintable(inconsistency));
}

void TestVolumeScan::OddNames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");

    QTest::newRow("spaces") << QByteArray(" two  spaces .txt ") << u" two  spaces .txt "_s;
    QTest::newRow("backslash") << QByteArray("back\\slash") << u"back\\slash"_s;
    QTest::newRow("star and question mark") << QByteArray("*?.txt") << u"*?.txt"_s;
    QTest::newRow("newline") << QByteArray("new\nline") << u"new\nline"_s;
    QTest::newRow("tab and carriage return") << QByteArray("a\tb\rc") << u"a\tb\rc"_s;
    QTest::newRow("leading dots") << QByteArray("...dots") << u"...dots"_s;
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9 \xe2\x82\xac") << u"café €"_s;
    QTest::newRow("only ASCII letters lowered") << QByteArray("\xc3\x89T\xc3\x89.TXT") << u"ÉtÉ.txt"_s;
    QTest::newRow("Latin-1") << QByteArray("caf\xe9") << FileNameToText("caf\xe9");
    QTest::newRow("byte 0xFF alone") << QByteArray("\xff") << FileNameToText("\xff");
    QTest::newRow("cut UTF-8") << QByteArray("ab\xe2\x82") << FileNameToText("ab\xe2\x82");
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << FileNameToText("\xc0\xaf");
    QTest::newRow("the escapes' own range")
        << QByteArray("\xf4\x8f\xb8\x80") << FileNameToText("\xf4\x8f\xb8\x80");
}

void TestVolumeScan::OddNames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);

    // The name as a folder with a file in it, and as a file.
    TByteTree tree(Root());
    tree.File(bytes + "/inner.txt", 1);
    tree.File("files/" + bytes, 2);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));

    const int root = F->Global->LoadDisk(Root(), QString(), Picture, false);
    QVERIFY(root > 0);
    const TVolume volume = Volume(root);
    QCOMPARE(volume.size(), 5);
    QVERIFY(volume.contains(name));
    QVERIFY(volume[name].Folder);
    QCOMPARE(volume[name].Size, 1);
    QVERIFY(volume.contains(u"files\\"_s + name));
    QCOMPARE(volume[u"files\\"_s + name].Size, 2);

    // The path of what is inside keeps the name as the disk has it, and turns back into its bytes.
    const TRow *inner = nullptr;
    for (const TRow &row : volume)
        inner = row.Parent == volume[name].Id ? &row : inner;
    QVERIFY(inner);
    QCOMPARE(inner->Name, u"inner.txt"_s);
    QCOMPARE(inner->FullPath, FileNameToText(bytes) + u'\\');
    QCOMPARE(TextToFileName(inner->FullPath.chopped(1)), bytes);
    const QString inconsistency = Inconsistency(volume);
    QVERIFY2(inconsistency.isEmpty(), qPrintable(inconsistency));
}

void TestVolumeScan::SparseFile()
{
    TByteTree tree(Root());
    tree.File("big/huge.iso", 5 * GiB);
    tree.File("big/small.txt", 10);
    tree.File("other.txt", 1);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    F->Services.AddDrive(Root(), u"MY DISK"_s, Serial, 8 * GiB);

    const int root = F->Global->LoadDisk(Root(), QString(), Picture, false);
    QVERIFY(root > 0);
    const TVolume volume = Volume(root);
    QCOMPARE(volume[u"big\\huge.iso"_s].Size, 5 * GiB);
    QCOMPARE(volume[u"big"_s].Size, 5 * GiB + 10);
    QCOMPARE(volume[QString()].Size, 5 * GiB + 11);
    QCOMPARE(F->Scalar(u"SELECT sum(Size) FROM Entries WHERE Folder = 0"_s), 5 * GiB + 11);
    const QString inconsistency = Inconsistency(volume);
    QVERIFY2(inconsistency.isEmpty(), qPrintable(inconsistency));
}

void TestVolumeScan::FolderVanishes()
{
    TByteTree tree(Root());
    tree.File("a/1.txt", 1);
    tree.File("gone/sub/2.txt", 2);
    tree.File("gone/3.txt", 3);
    tree.File("z.txt", 4);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    // Once the root is listed, a folder and a file in it go away before the walk reaches them.
    const QString root = QDir::cleanPath(Root());
    F->Services.OnListDirectory = [&](const QString &path) {
        if (path == root) {
            QDir(root + u"/gone"_s).removeRecursively();
            QFile::remove(root + u"/z.txt"_s);
        }
    };

    const int id = F->Global->LoadDisk(Root(), QString(), Picture, false);
    QVERIFY(id > 0);
    const TVolume volume = Volume(id);
    QCOMPARE(volume.keys(), (QStringList{QString(), u"a"_s, u"a\\1.txt"_s, u"gone"_s, u"z.txt"_s}));
    QCOMPARE(volume[u"gone"_s].Size, 0);
    QCOMPARE(volume[u"z.txt"_s].Size, 4);
    QCOMPARE(volume[QString()].Size, 5);
    const QString inconsistency = Inconsistency(volume);
    QVERIFY2(inconsistency.isEmpty(), qPrintable(inconsistency));
}

void TestVolumeScan::ErrorMidWalk()
{
    TByteTree tree(Root());
    for (int i = 0; i < 3; ++i)
        tree.File("x" + QByteArray::number(i), 1);
    tree.File("bad/inner.txt", 1);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    // The clock stands still, so no progress report has committed anything before the error.
    F->Services.SetTick(0);
    const QString bad = QDir::cleanPath(Root()) + u"/bad"_s;
    qint64 posted = -1;
    F->Services.OnListDirectory = [&](const QString &path) {
        if (path == bad) {
            posted = F->Scalar(u"SELECT count(*) FROM Entries"_s);
            throw std::runtime_error("the device failed");
        }
    };

    QVERIFY_THROWS_EXCEPTION(std::runtime_error, F->Global->LoadDisk(Root(), QString(), Picture, false));
    // What was met before the error is kept, and committed: the root and the folder at fault at
    // least, and whatever was written by then (on a server, rows may still wait in the queue).
    QVERIFY(!F->Global->Database.InTransaction());
    QVERIFY(F->Committed(u"SELECT count(*) FROM Entries"_s) >= std::max<qint64>(posted, 2));
    QCOMPARE(F->Committed(u"SELECT count(*) FROM Entries WHERE Name = 'bad'"_s), 1);
    QCOMPARE(F->Committed(u"SELECT count(*) FROM CDs"_s), 1);
}

namespace {

const char *HangArgument = "--scan-and-hang";
constexpr int HangFiles = 5;

// The child of KilledMidScan: catalogues the drive at root (folders of one file each) into the
// catalogue its environment names, with a progress report, and so a commit, after each file. It
// stops dead as it lists the third folder: two folders and their files are committed; the size
// of the second folder and the row of the third are posted but not committed.
int ScanAndHang(const QString &root)
{
    TVolumeServicesDouble services;
    services.AddDrive(root, u"MY DISK"_s, Serial, GiB);
    services.SetTick(0);
    int listed = 0;
    StepPerFolder(services, root, 600, [&] {
        // The root first, then one folder after the other.
        if (++listed == 4) {
            std::fputs("posted\n", stdout);
            std::fflush(stdout);
            for (;;)
                ::pause();
        }
    });
    TVolumeServices::SetCurrent(&services);
    TGlobal global;
    global.LoadDisk(root, QString(), Picture, true);
    return 1;
}

} // namespace

void TestVolumeScan::KilledMidScan()
{
    TByteTree tree(Root());
    tree.OneFilePerFolder(HangFiles, 100);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
    F->Global.reset();

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(HangArgument), Root()});
    QVERIFY(child.waitForStarted());
    QVERIFY(child.waitForReadyRead(30000));
    QCOMPARE(child.readLine(), QByteArray("posted\n"));
    child.kill();
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    NewGlobal();
    if (!OnPostgres())
        QCOMPARE(F->Scalar(u"SELECT count(*) FROM pragma_integrity_check WHERE integrity_check <> 'ok'"_s),
                 0);
    QCOMPARE(F->BrokenReferences(), 0);
    // What was committed: the root (no volume, no size yet), two folders and their files; the
    // second folder's size was not committed.
    const qint64 partial = F->Scalar(u"SELECT ID FROM Entries WHERE Parent IS NULL"_s);
    QVERIFY(partial > 0);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), 5);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Folder = 0"_s), 2);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Parent = %1 AND Size = 100"_s.arg(partial)), 1);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Parent = %1 AND Size IS NULL"_s.arg(partial)), 1);
    QCOMPARE(F->Scalar(u"SELECT CD FROM Entries WHERE ID = %1"_s.arg(partial)), -1);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM CDs WHERE ID = %1"_s.arg(partial)), 1);

    const int root = F->Global->LoadDisk(Root(), QString(), Picture, false);
    QCOMPARE(FReplaceQuestions, 1);
    QVERIFY(root > partial);
    const TVolume volume = Volume(root);
    QCOMPARE(volume.size(), 1 + 2 * HangFiles);
    QCOMPARE(volume[QString()].Size, 100 * HangFiles);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), 1 + 2 * HangFiles);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM CDs"_s), 1);
}

// What was walked of it, committed on the way or not, goes again.
void TestVolumeScan::SourceThatIsNoVolume()
{
    F->Services.SetTick(1000);
    F->Services.SetTickStep(600);
    TTrapSource source;
    bool reported = false;
    F->Global->OnProgress = [&](TGlobal *, int, int) { return reported = true, false; };
    QVERIFY_THROWS_EXCEPTION(EVolumeSourceError, F->Global->LoadDisk(source, QString(), Picture, false));
    QVERIFY(reported);
    QVERIFY(!F->Global->Database.InTransaction());
    QCOMPARE(F->Committed(u"SELECT count(*) FROM Entries"_s) + F->Committed(u"SELECT count(*) FROM CDs"_s),
             0);
}

void TestVolumeScan::RowRefused_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("odd");

    QTest::newRow("first") << 20 << 0;
    QTest::newRow("among many") << 20 << 7;
    QTest::newRow("among the last few") << 20 << 17;
    QTest::newRow("last") << 20 << 19;
    // On a server, rows are copied while the walk goes on, and a refused one is told later.
    QTest::newRow("in a statement sent ahead") << 600 << 300;
    QTest::newRow("first of a statement sent ahead") << 600 << 256;
}

// A row that the catalogue refuses ends the walk with its error; the rows met before it stay,
// written with others or not, and none met after it.
void TestVolumeScan::RowRefused()
{
    QFETCH(int, files);
    QFETCH(int, odd);
    TDatabase &database = F->Global->Database;
    // A type that is not there, so that the catalogue's references refuse a file of it.
    if (database.IsPostgres()) {
        database.PgConnection()->Exec(u"SET session_replication_role = replica"_s);
        database.ExecSQL(u"INSERT INTO Ext (Name, ImageID) VALUES ('odd', 999)"_s);
        database.PgConnection()->Exec(u"SET session_replication_role = DEFAULT"_s);
    } else {
        database.ExecSQL(u"PRAGMA foreign_keys = OFF"_s);
        database.ExecSQL(u"INSERT INTO Ext (Name, ImageID) VALUES ('odd', 999)"_s);
        database.ExecSQL(u"PRAGMA foreign_keys = ON"_s);
    }
    F->Services.SetTick(0);
    TListedSource source(files, odd);

    QVERIFY_THROWS_EXCEPTION(EDatabaseError, F->Global->LoadDisk(source, QString(), Picture, false));
    QVERIFY(!database.InTransaction());
    QStringList expected;
    for (int i = 0; i < odd; ++i)
        expected << u"f%1.txt"_s.arg(i, 4, 10, QChar(u'0'));
    QCOMPARE(F->Rows(u"SELECT Name FROM Entries WHERE Parent IS NOT NULL ORDER BY ID"_s), expected);
    QCOMPARE(F->Committed(u"SELECT count(*) FROM Entries"_s), 1 + odd);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], HangArgument) == 0)
        return ScanAndHang(QFile::decodeName(argv[2]));
    TestVolumeScan test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_VolumeScan.moc"
