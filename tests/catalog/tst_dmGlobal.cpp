#include "CatalogFixture.h"

#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

using TIds = QList<qint64>;

namespace {

// A small catalogue of two volumes. IDs 1..7 are "My disk", 10..14 "Backup"; FullPath is the path
// of the containing folder with a backslash after each name, NULL in the root.
const QString Catalogue = uR"sql(
INSERT INTO Entries (ID, Parent, Name, Folder, Size, Modified, ImageID, CD, FullPath, Description) VALUES
 (1, NULL, 'My disk', TRUE, 0, '2020-05-05 10:00:00.000', 2, 1, NULL, NULL),
 (2, 1, 'Docs', TRUE, 0, '2020-05-05 10:00:00.000', 1, 1, NULL, NULL),
 (3, 1, 'readme.txt', FALSE, 1234567, '2024-01-02 00:00:00.000', :txt, 1, NULL, 'read me first'),
 (4, 2, 'Report_100%.TXT', FALSE, 2048, '2024-01-02 23:59:59.999', :txt, 1, 'Docs\', NULL),
 (5, 2, 'Sub', TRUE, 0, '2020-05-05 10:00:00.000', 1, 1, 'Docs\', NULL),
 (6, 5, 'notes.md', FALSE, 10, '2024-01-01 23:59:59.999', 3, 1, 'Docs\Sub\', NULL),
 (7, 2, 'reportX100a.txt', FALSE, 300, '2024-01-03 00:00:00.000', :txt, 1, 'Docs\', NULL),
 (10, NULL, 'Backup', TRUE, 0, '2020-05-05 10:00:00.000', 2, 10, NULL, NULL),
 (11, 10, 'Photos', TRUE, 0, '2020-05-05 10:00:00.000', 1, 10, NULL, NULL),
 (12, 11, 'photo1.jpg', FALSE, 500000, '2023-06-01 08:00:00.000', :jpg, 10, 'Photos\', NULL),
 (13, 10, 'README.TXT', FALSE, 2048, '2023-12-31 12:00:00.000', :txt, 10, NULL, 'top'),
 (14, 11, 'photo22.jpg', FALSE, 4096, '2023-06-02 08:00:00.000', :jpg, 10, 'Photos\', NULL);
INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (1, '1111-1111', 'My disk'), (10, '2222-2222', 'Backup');
)sql"_s;

// A volume whose folders nest 1,500 deep (IDs 100..1600, a file 1601 at the bottom): deeper than
// the engine follows cascading deletes. And a scan stopped before it finished (2000..2003): its
// root has neither CD nor Size yet, and some of its rows lack their CD.
QString deepAndStopped()
{
    const QString columns =
        u"INSERT INTO Entries (ID, Parent, Name, Folder, Size, Modified, ImageID, CD, FullPath) "
        "VALUES "_s;
    QStringList rows{u"(100, NULL, 'Deep', TRUE, 0, '2020-05-05 10:00:00.000', 2, 100, NULL)"_s};
    for (int n = 1; n <= 1500; ++n)
        rows << u"(%1, %2, 'd', TRUE, 0, '2020-05-05 10:00:00.000', 1, 100, %3)"_s.arg(100 + n)
                    .arg(99 + n)
                    .arg(n == 1 ? u"NULL"_s : u"'"_s + u"d\\"_s.repeated(n - 1) + u"'"_s);
    rows << u"(1601, 1600, 'bottom.txt', FALSE, 5, '2020-05-05 10:00:00.000', 3, 100, '%1')"_s.arg(
        u"d\\"_s.repeated(1500));
    return columns + rows.join(u", "_s) + uR"sql(;
INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (100, '3333-3333', 'Deep');
INSERT INTO Entries (ID, Parent, Name, Folder, Size, Modified, ImageID, CD, FullPath) VALUES
 (2000, NULL, 'Stopped', TRUE, NULL, '2020-05-05 10:00:00.000', 2, NULL, NULL),
 (2001, 2000, 'Half', TRUE, 0, '2020-05-05 10:00:00.000', 1, NULL, NULL),
 (2002, 2001, 'a.txt', FALSE, 1, '2020-05-05 10:00:00.000', 3, NULL, 'Half\'),
 (2003, 2000, 'b.txt', FALSE, 1, '2020-05-05 10:00:00.000', 3, 2000, NULL);
)sql"_s;
}

TIds sorted(TIds ids)
{
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The IDs of the records, first to last; the data set is left at its end.
TIds ids(TDataSet &dataSet, const QString &field = u"ID"_s)
{
    TIds result;
    for (dataSet.First(); !dataSet.Eof(); dataSet.Next())
        result << dataSet.FieldByName(field)->AsLargeInt();
    return result;
}

} // namespace

// The data module on a real catalogue file reached through the alias, as the program starts it.
class TestDmGlobal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void ViewsAtLoad();
    void ViewsFollowTheFolders();
    void DeleteCD_data();
    void DeleteCD();
    void FindDialog_data();
    void FindDialog();
    void FindDialogColumns();
    void FindEx();
    void RefreshViews();
    void ImagesBeforePost_data();
    void ImagesBeforePost();
    void ExtentionFollowsImages2InLowerCase();
    void Images2Delete_data();
    void Images2Delete();
    void Properties_data();
    void Properties();
    void OneDataModuleOnly();
    void LockedByAnotherConnection();
    void IdleModuleSeesAnotherProgramsWrites();

private:
    // Starts appending a file "mine" to the volume root parent, through Main.
    void AppendMine(int parent);
    // Sets FindDialog's switches: true but for those named, whose conditions then apply.
    void SetSwitches(const QStringList &off);

    std::unique_ptr<TCatalogFixture> F;
    qint64 FTxt = 0;
    qint64 FJpg = 0;
};

void TestDmGlobal::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestDmGlobal::init()
{
    F = std::make_unique<TCatalogFixture>();
    QVERIFY(F->IsValid());
    FTxt = F->Scalar(u"SELECT ImageID FROM Ext WHERE Name = 'txt'"_s);
    FJpg = F->Scalar(u"SELECT ImageID FROM Ext WHERE Name = 'jpg'"_s);
    QVERIFY(FTxt > 3 && FJpg > 3 && FTxt != FJpg);
    F->Global->Database.ExecSQL(Catalogue, {TVariant(FTxt), TVariant(FJpg)});
    // Started again, so the views are opened on the catalogue as it is now.
    F->Global.reset();
    F->Global = std::make_unique<TGlobal>();
}

void TestDmGlobal::cleanup()
{
    F.reset();
}

void TestDmGlobal::AppendMine(int parent)
{
    TTable &main = F->Global->Main;
    main.Open();
    main.Append();
    main.FieldByName(u"Parent"_s)->SetAsInteger(parent);
    main.FieldByName(u"Name"_s)->SetAsString(u"mine"_s);
    main.FieldByName(u"ImageID"_s)->SetAsInteger(3);
    main.FieldByName(u"CD"_s)->SetAsInteger(parent);
}

void TestDmGlobal::SetSwitches(const QStringList &off)
{
    for (const char *flag : {"t0", "t11", "t12", "t2", "t3", "t4", "t51", "t52", "t53"}) {
        const QString name = QString::fromLatin1(flag);
        F->Global->FindDialog.ParamByName(name)->SetAsBoolean(!off.contains(name));
    }
}

void TestDmGlobal::ViewsAtLoad()
{
    TGlobal &g = *F->Global;
    QVERIFY(g.Folders.Active() && g.FullList.Active() && g.CDs.Active() && g.Images.Active());
    QVERIFY(!g.Main.Active());
    QCOMPARE(g.Images.RecordCount(), int(F->Scalar(u"SELECT count(*) FROM Images"_s)));
    // On the first folder: the first volume's root.
    QCOMPARE(ids(g.FullList), (TIds{2, 3}));
    QCOMPARE(g.CDs.FieldByName(u"VolumeLabel"_s)->AsString(), u"My disk"_s);
    // Only folders and volume roots, the roots (no parent) first.
    QCOMPARE(ids(g.Folders), (TIds{1, 10, 2, 5, 11}));
}

void TestDmGlobal::ViewsFollowTheFolders()
{
    TGlobal &g = *F->Global;
    // For each folder in the order of Folders: its children and its volume.
    const QList<std::pair<TIds, qint64>> expected{
        {{2, 3}, 1}, {{11, 13}, 10}, {{4, 5, 7}, 1}, {{6}, 1}, {{12, 14}, 10}};
    g.Folders.First();
    for (const auto &[children, volume] : expected) {
        QVERIFY(!g.Folders.Eof());
        const qint64 folder = g.Folders.FieldByName(u"ID"_s)->AsLargeInt();
        QVERIFY2(ids(g.FullList) == children, qPrintable(QString::number(folder)));
        QCOMPARE(g.CDs.RecordCount(), 1);
        QCOMPARE(g.CDs.FieldByName(u"ID"_s)->AsLargeInt(), volume);
        g.Folders.Next();
    }
    QVERIFY(g.Folders.Eof());

    QVERIFY(g.Folders.Locate(u"ID"_s, TVariant(qint64(5))));
    QCOMPARE(ids(g.FullList), TIds{6});
    QCOMPARE(g.CDs.FieldByName(u"VolumeLabel"_s)->AsString(), u"My disk"_s);
    QVERIFY(g.Folders.Locate(u"ID"_s, TVariant(qint64(11))));
    QCOMPARE(ids(g.FullList), (TIds{12, 14}));
    QCOMPARE(g.CDs.FieldByName(u"VolumeLabel"_s)->AsString(), u"Backup"_s);
    QCOMPARE(g.CDs.FieldByName(u"SerialNum"_s)->AsString(), u"2222-2222"_s);
}

void TestDmGlobal::DeleteCD_data()
{
    QTest::addColumn<qint64>("volume");
    QTest::newRow("two levels of folders") << qint64(1);
    QTest::newRow("1,500 levels of folders") << qint64(100);
    QTest::newRow("stopped scan") << qint64(2000);
}

void TestDmGlobal::DeleteCD()
{
    QFETCH(qint64, volume);
    TGlobal &g = *F->Global;
    g.Database.ExecSQL(deepAndStopped());
    // The ID range of each volume and how many rows it holds.
    const QList<std::tuple<qint64, qint64, qint64>> volumes{
        {1, 7, 7}, {10, 14, 5}, {100, 1601, 1502}, {2000, 2003, 4}};
    auto rowsIn = [&](qint64 low, qint64 high) {
        return F->Scalar(u"SELECT count(*) FROM Entries WHERE ID BETWEEN %1 AND %2"_s.arg(low).arg(high));
    };
    for (const auto &[low, high, count] : volumes)
        QCOMPARE(rowsIn(low, high), count);

    g.DeleteCD.ParamByName(u"cd"_s)->SetAsLargeInt(volume);
    try {
        g.DeleteCD.ExecSQL();
    } catch (const EDatabaseError &error) {
        QFAIL(error.what());
    }

    for (const auto &[low, high, count] : volumes) {
        const bool deleted = low == volume;
        QCOMPARE(rowsIn(low, high), deleted ? 0 : count);
        QCOMPARE(F->Scalar(u"SELECT count(*) FROM CDs WHERE ID = %1"_s.arg(low)),
                 qint64(deleted || low == 2000 ? 0 : 1));
    }
    QCOMPARE(F->BrokenReferences(), qint64(0));
    // The other volumes are still whole: their chains reach their roots.
    QCOMPARE(F->Scalar(u"SELECT Parent FROM Entries WHERE ID = 6"_s), qint64(volume == 1 ? -1 : 5));
    QCOMPARE(F->Scalar(u"SELECT Parent FROM Entries WHERE ID = 1601"_s), qint64(volume == 100 ? -1 : 1600));
}

void TestDmGlobal::FindDialog_data()
{
    // `off`: the switches turned off, which turns their conditions on.
    QTest::addColumn<QStringList>("off");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("cd");
    QTest::addColumn<QString>("day");
    QTest::addColumn<QString>("type");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<TIds>("expected");

    const TIds all{2, 3, 4, 5, 6, 7, 11, 12, 13, 14};
    const QString none;
    auto row = [](const char *tag, const QStringList &off, const QString &name = {}) -> QTestData & {
        return QTest::newRow(tag) << off << name;
    };
    row("everything but the roots", {}) << 0LL << none << none << 0LL << all;
    row("the roots too", {u"t0"_s}) << 0LL << none << none << 0LL
                                    << TIds{1, 2, 3, 4, 5, 6, 7, 10, 11, 12, 13, 14};
    row("pattern *.txt, any case", {u"t12"_s}, u"*.txt"_s) << 0LL << none << none << 0LL << TIds{3, 4, 7, 13};
    row("pattern ? is one character", {u"t12"_s}, u"photo?.JPG"_s) << 0LL << none << none << 0LL << TIds{12};
    row("pattern * alone", {u"t12"_s}, u"*"_s) << 0LL << none << none << 0LL << all;
    row("pattern % is itself", {u"t12"_s}, u"*100%*"_s) << 0LL << none << none << 0LL << TIds{4};
    row("pattern _ is itself", {u"t12"_s}, u"REPORT_*"_s) << 0LL << none << none << 0LL << TIds{4};
    row("pattern _ alone", {u"t12"_s}, u"*_*"_s) << 0LL << none << none << 0LL << TIds{4};
    row("whole name, any case", {u"t11"_s}, u"readme.TXT"_s) << 0LL << none << none << 0LL << TIds{3, 13};
    row("whole name, not a part", {u"t11"_s}, u"readme"_s) << 0LL << none << none << 0LL << TIds{};
    row("volume", {u"t2"_s}) << 10LL << none << none << 0LL << TIds{11, 12, 13, 14};
    row("one whole day", {u"t3"_s}) << 0LL << u"2024-01-02"_s << none << 0LL << TIds{3, 4};
    row("type", {u"t4"_s}) << 0LL << none << u"jpg"_s << 0LL << TIds{12, 14};
    row("size equal", {u"t51"_s}) << 0LL << none << none << 2048LL << TIds{4, 13};
    row("size less", {u"t52"_s}) << 0LL << none << none << 2048LL << TIds{2, 5, 6, 7, 11};
    row("size greater", {u"t53"_s}) << 0LL << none << none << 2048LL << TIds{3, 12, 14};
    row("pattern, volume and size together", {u"t12"_s, u"t2"_s, u"t53"_s}, u"*.txt"_s)
        << 1LL << none << none << 1000LL << TIds{3, 4};
}

void TestDmGlobal::FindDialog()
{
    QFETCH(QStringList, off);
    QFETCH(QString, name);
    QFETCH(qint64, cd);
    QFETCH(QString, day);
    QFETCH(QString, type);
    QFETCH(qint64, size);
    QFETCH(TIds, expected);

    TQuery &find = F->Global->FindDialog;
    SetSwitches(off);
    find.ParamByName(u"name"_s)->SetAsString(name);
    find.ParamByName(u"cd"_s)->SetAsLargeInt(cd);
    // A range of one day, as the find window asks for it: from its first to its last millisecond.
    TDateTime date;
    if (!day.isEmpty())
        QVERIFY(TDateTime::FromText(day, date));
    find.ParamByName(u"daten"_s)->SetAsDateTime(date);
    find.ParamByName(u"datek"_s)->SetAsDateTime(TDateTime::FromMSecs(date.ToMSecs() + 86400000 - 1));
    find.ParamByName(u"type"_s)->SetAsLargeInt(type.isEmpty() ? 0 : (type == u"jpg" ? FJpg : FTxt));
    find.ParamByName(u"size"_s)->SetAsLargeInt(size);
    find.Open();
    QCOMPARE(sorted(ids(find)), expected);
}

void TestDmGlobal::FindDialogColumns()
{
    TQuery &find = F->Global->FindDialog;
    SetSwitches({u"t11"_s});
    find.ParamByName(u"name"_s)->SetAsString(u"photo1.jpg"_s);
    find.Open();
    QStringList names;
    for (int i = 0; i < find.FieldCount(); ++i)
        names << find.Fields(i)->FieldName();
    QCOMPARE(names, (QStringList{u"ID"_s, u"Name"_s, u"InFolder"_s, u"Size"_s, u"Type"_s, u"Modified"_s,
                                 u"ImageID"_s, u"Description"_s, u"VL"_s, u"SN"_s, u"Parent"_s}));
    QCOMPARE(find.RecordCount(), 1);
    auto text = [&](const char *field) { return find.FieldByName(QString::fromLatin1(field))->AsString(); };
    QCOMPARE(text("ID"), u"12"_s);
    QCOMPARE(text("InFolder"), u"Backup:\\Photos\\"_s);
    QCOMPARE(find.FieldByName(u"Size"_s)->AsLargeInt(), qint64(500000));
    QVERIFY(F->Global->Images.Locate(u"ImageID"_s, TVariant(FJpg)));
    QCOMPARE(text("Type"), F->Global->Images.FieldByName(u"Description"_s)->AsString());
    QCOMPARE(find.FieldByName(u"Modified"_s)->AsDateTime(), TDateTime::FromParts(2023, 6, 1, 8));
    QCOMPARE(find.FieldByName(u"ImageID"_s)->AsLargeInt(), FJpg);
    QCOMPARE(text("VL"), u"Backup"_s);
    QCOMPARE(text("SN"), u"2222-2222"_s);
    QCOMPARE(text("Parent"), u"11"_s);

    // A file in the root: the label alone, and its own description.
    find.Close();
    find.ParamByName(u"name"_s)->SetAsString(u"README.TXT"_s);
    find.ParamByName(u"t2"_s)->SetAsBoolean(false);
    find.ParamByName(u"cd"_s)->SetAsInteger(10);
    find.Open();
    QCOMPARE(find.RecordCount(), 1);
    QCOMPARE(text("InFolder"), u"Backup:\\"_s);
    QCOMPARE(text("Description"), u"top"_s);
}

void TestDmGlobal::FindEx()
{
    TQuery &find = F->Global->FindEx;
    find.ParamByName(u"str"_s)->SetAsString(u"txt"_s);
    find.Open();
    QCOMPARE(find.RecordCount(), 1);
    QCOMPARE(find.FieldByName(u"ImageID"_s)->AsLargeInt(), FTxt);
    find.Close();
    find.ParamByName(u"str"_s)->SetAsString(u"nosuchext"_s);
    find.Open();
    QVERIFY(find.IsEmpty());
}

void TestDmGlobal::RefreshViews()
{
    TGlobal &g = *F->Global;
    // Walked on from the current record, Folders shows the rows it has read; First would read again.
    auto walk = [&g] {
        TIds seen;
        for (; !g.Folders.Eof(); g.Folders.Next())
            seen << g.Folders.FieldByName(u"ID"_s)->AsLargeInt();
        return seen;
    };
    // A new volume root sorts among the roots, which the open view has read already.
    g.Database.ExecSQL(
        u"INSERT INTO Entries (ID, Parent, Name, Folder, ImageID, CD) VALUES (20, NULL, 'New', TRUE, 2, 20);"
        u"INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (20, '4444-4444', 'New')"_s);
    QVERIFY(!g.DataChanged);
    g.RefreshViews();
    QCOMPARE(walk(), (TIds{1, 10, 2, 5, 11}));

    g.DataChanged = true;
    g.RefreshViews();
    QVERIFY(!g.DataChanged);
    QVERIFY(g.Folders.Active() && g.FullList.Active() && g.CDs.Active());
    QCOMPARE(walk(), (TIds{1, 10, 20, 2, 5, 11}));
    QVERIFY(g.Folders.Locate(u"ID"_s, TVariant(qint64(20))));
    QCOMPARE(g.CDs.FieldByName(u"VolumeLabel"_s)->AsString(), u"New"_s);
    QVERIFY(g.FullList.IsEmpty());
}

void TestDmGlobal::ImagesBeforePost_data()
{
    // -1: left empty.
    QTest::addColumn<int>("given");
    QTest::addColumn<bool>("numbered");
    QTest::newRow("0: the next number") << 0 << true;
    QTest::newRow("empty: the next number") << -1 << true;
    QTest::newRow("chosen number kept") << 200 << false;
}

void TestDmGlobal::ImagesBeforePost()
{
    QFETCH(int, given);
    QFETCH(bool, numbered);
    TTable &images = F->Global->Images2;
    const qint64 next = F->Scalar(u"SELECT max(ImageID) + 1 FROM Images"_s);
    images.Open();
    images.Append();
    if (given >= 0)
        images.FieldByName(u"ImageID"_s)->SetAsInteger(given);
    images.FieldByName(u"Description"_s)->SetAsString(u"Mine"_s);
    images.Post();
    const qint64 id = numbered ? next : qint64(given);
    QCOMPARE(images.FieldByName(u"ImageID"_s)->AsLargeInt(), id);
    QCOMPARE(F->Scalar(u"SELECT ImageID FROM Images WHERE Description = 'Mine'"_s), id);
    // The reserved pictures are never offered for editing.
    QCOMPARE(ids(images, u"ImageID"_s).first(), 3);
    QCOMPARE(images.RecordCount(), int(F->Scalar(u"SELECT count(*) FROM Images WHERE ImageID > 2"_s)));
}

void TestDmGlobal::ExtentionFollowsImages2InLowerCase()
{
    TGlobal &g = *F->Global;
    g.Images2.Open();
    g.Extention.Open();
    QVERIFY(g.Images2.Locate(u"ImageID"_s, TVariant(FJpg)));
    QVERIFY(ids(g.Extention, u"ImageID"_s).contains(FJpg));
    g.Extention.Append();
    g.Extention.FieldByName(u"Name"_s)->SetAsString(u"JPX"_s);
    g.Extention.Post();
    QCOMPARE(F->Scalar(u"SELECT ImageID FROM Ext WHERE Name = 'jpx'"_s), FJpg);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Ext WHERE Name = 'JPX'"_s), 0);
}

void TestDmGlobal::Images2Delete_data()
{
    QTest::addColumn<bool>("inUse");
    QTest::addColumn<bool>("told"); // someone is there to be told why it stays
    QTest::newRow("in use") << true << true;
    QTest::newRow("in use, nobody told") << true << false;
    QTest::newRow("unused") << false << true;
}

void TestDmGlobal::Images2Delete()
{
    QFETCH(bool, inUse);
    QFETCH(bool, told);
    int notices = 0;
    if (told)
        F->Global->OnImageInUse = [&] { ++notices; };
    TTable &images = F->Global->Images2;
    const qint64 type = inUse ? FTxt
                              : F->Scalar(u"SELECT ImageID FROM Ext WHERE ImageID > 3 AND ImageID NOT IN "
                                          u"(SELECT ImageID FROM Entries) LIMIT 1"_s);
    QVERIFY(type > 3);
    const qint64 extensions = F->Scalar(u"SELECT count(*) FROM Ext WHERE ImageID = %1"_s.arg(type));
    QVERIFY(extensions > 0);
    images.Open();
    QVERIFY(images.Locate(u"ImageID"_s, TVariant(type)));
    if (inUse) {
        QVERIFY_THROWS_EXCEPTION(EAbort, images.Delete());
        QCOMPARE(notices, told ? 1 : 0);
        QCOMPARE(images.FieldByName(u"ImageID"_s)->AsLargeInt(), type);
    } else {
        images.Delete();
        QCOMPARE(notices, 0);
    }
    QCOMPARE(images.State(), TDataSetState::Browse);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Images WHERE ImageID = %1"_s.arg(type)), qint64(inUse ? 1 : 0));
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Ext WHERE ImageID = %1"_s.arg(type)),
             inUse ? extensions : qint64(0));
}

void TestDmGlobal::Properties_data()
{
    QTest::addColumn<qint64>("entry");
    QTest::addColumn<QString>("locatedIn");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("extension");
    QTest::newRow("file in the root")
        << qint64(3) << u"My disk:\\"_s << u"1,234,567 bytes"_s << u"My disk"_s << u"txt"_s;
    QTest::newRow("two folders down")
        << qint64(6) << u"My disk:\\Docs\\Sub\\"_s << u"10 bytes"_s << u"My disk"_s << QString();
    QTest::newRow("other volume") << qint64(14) << u"Backup:\\Photos\\"_s << u"4,096 bytes"_s << u"Backup"_s
                                  << u"jpg"_s;
}

void TestDmGlobal::Properties()
{
    QFETCH(qint64, entry);
    QFETCH(QString, locatedIn);
    QFETCH(QString, size);
    QFETCH(QString, label);
    QFETCH(QString, extension);
    TGlobal &g = *F->Global;
    g.OpenProperties();
    // Start elsewhere, so following the entry is seen.
    QVERIFY(g.ForProperties.Locate(u"ID"_s, TVariant(qint64(entry == 14 ? 3 : 14))));
    QVERIFY(g.ForProperties.Locate(u"ID"_s, TVariant(entry)));
    QCOMPARE(g.CDProperties.FieldByName(u"VolumeLabel"_s)->AsString(), label);
    const qint64 image = extension.isEmpty() ? 3 : (extension == u"txt" ? FTxt : FJpg);
    QCOMPARE(g.ImageProperties.FieldByName(u"ImageID"_s)->AsLargeInt(), image);
    QVERIFY(!g.ImageProperties.FieldByName(u"Large"_s)->AsBytes().isEmpty());
    QCOMPARE(g.ForProperties.FieldByName(u"LocatedIn"_s)->DisplayText(), locatedIn);
    QCOMPARE(g.ForProperties.FieldByName(u"Size"_s)->DisplayText(), size);
}

void TestDmGlobal::OneDataModuleOnly()
{
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, TGlobal second);
    QCOMPARE(TGlobal::Instance(), F->Global.get());
    QVERIFY(F->Global->Database.Connected());
    QCOMPARE(ids(F->Global->Folders).size(), 5);
}

void TestDmGlobal::LockedByAnotherConnection()
{
    if (OnPostgres())
        QSKIP("a server locks the rows written, not the catalogue");
    TGlobal &g = *F->Global;
    g.Database.SetBusyTimeout(200);
    TDatabase other;
    other.SetDriverName(u"SQLITE"_s);
    other.SetParams({u"DATABASE NAME="_s + g.Database.FileName()});
    other.Open();
    other.StartTransaction();
    other.ExecSQL(
        u"INSERT INTO Entries (ID, Parent, Name, Folder, ImageID, CD) VALUES (30, 10, 'theirs', FALSE, 3, 10)"_s);

    AppendMine(10);
    try {
        g.Main.Post();
        QFAIL("The post went through a lock held by another connection");
    } catch (const EDatabaseError &error) {
        QVERIFY2(error.Message().contains(u"another program"_s) && error.Message().contains(u"locked"_s),
                 qPrintable(error.Message()));
    }
    QCOMPARE(g.Main.State(), TDataSetState::Insert);

    // Once the other program lets go, nothing of the failed post is left and it can be retried.
    other.Rollback();
    other.Close();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name IN ('mine', 'theirs')"_s), 0);
    g.Main.Post();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'mine' AND Parent = 10"_s), 1);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), 13);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM pragma_integrity_check WHERE integrity_check <> 'ok'"_s), 0);
}

void TestDmGlobal::IdleModuleSeesAnotherProgramsWrites()
{
    TGlobal &g = *F->Global;
    // A type lookup leaves its query open on the row it found, as the scan and find matches do.
    QCOMPARE(g.ImageIDForFile(u"a.txt"_s), qint16(FTxt));
    QEventLoop idle;
    QTimer::singleShot(20, &idle, &QEventLoop::quit);
    idle.exec();

    TDatabase other; // the command-line tool adding a volume meanwhile
    other.SetDriverName(g.Database.ConnectedDriver());
    other.SetParams(g.Database.ConnectedParams());
    other.Open();
    other.ExecSQL(
        u"INSERT INTO Entries (ID, Parent, Name, Folder, ImageID, CD) VALUES (20, NULL, 'New', TRUE, 2, 20);"
        u"INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (20, '4444-4444', 'New')"_s);
    // On a file, the log can be folded back whole: the idle module holds no snapshot.
    if (other.Handle()) {
        int logPages = -1;
        int folded = -1;
        QCOMPARE(sqlite3_wal_checkpoint_v2(other.Handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logPages,
                                           &folded),
                 SQLITE_OK);
    }

    g.DataChanged = true;
    g.RefreshViews();
    QVERIFY(g.Folders.Locate(u"ID"_s, TVariant(qint64(20))));
    AppendMine(20);
    g.Main.Post();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE CD = 20"_s), 2);
}

QTEST_MAIN(TestDmGlobal)
#include "tst_dmGlobal.moc"
