// Searches as the find window and the command line put them, run on a real catalogue file.

#include "CatalogSchema.h"
#include "Databases.h"
#include "FindCounts.h"
#include "FindCriteria.h"
#include "FindRows.h"
#include "SearchIndexers.h"
#include "SqliteStatements.h"
#include "dmGlobal.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

// The cases name only the criteria they set; the rest keep their defaults, which GCC 12 warns
// about all the same.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace Qt::StringLiterals;

using TIds = QList<qint64>;
Q_DECLARE_METATYPE(TFindCriteria)

namespace {

// Volumes 1 "My disk" and 10 "Backup"; entry 8 has no name. Sizes straddle 2 KB, times 2024-01-02.
const QString Catalogue = uR"sql(
INSERT INTO Entries (ID, Parent, Name, Folder, Size, Modified, ImageID, CD, FullPath) VALUES
 (1, NULL, 'My disk', 1, 0, '2020-05-05 10:00:00.000', 2, 1, NULL),
 (2, 1, 'Docs', 1, 0, '2020-05-05 10:00:00.000', 1, 1, NULL),
 (3, 1, 'readme.txt', 0, 2049, '2024-01-02 00:00:00.000', :txt, 1, NULL),
 (4, 2, 'Report 2023.txt', 0, 2048, '2024-01-02 23:59:59.999', :txt, 1, 'Docs\'),
 (5, 2, 'Annual report.doc', 0, 2047, '2024-01-01 23:59:59.999', 3, 1, 'Docs\'),
 (6, 2, 'photo1.jpg', 0, 0, '2024-01-03 00:00:00.000', :jpg, 1, 'Docs\'),
 (8, 2, NULL, 0, 5, '2024-01-02 12:00:00.000', 3, 1, 'Docs\'),
 (10, NULL, 'Backup', 1, 0, '2020-05-05 10:00:00.000', 2, 10, NULL),
 (11, 10, 'README.TXT', 0, 1000000, '2023-12-31 12:00:00.000', :txt, 10, NULL),
 (12, 10, 'photo22.jpg', 0, 4096, '2024-01-02 08:00:00.000', :jpg, 10, NULL);
INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (1, '1111-1111', 'My disk'), (10, '2222-2222', 'Backup');
)sql"_s;

// Stands in, in the test table, for the type number the catalogue gives ".txt".
constexpr int Txt = -1;

TIds sorted(TIds ids)
{
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace

class TestFindCriteria : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void Search_data();
    void Search();
    void SizeTextIsAlwaysRead_data();
    void SizeTextIsAlwaysRead();
    void CountAndStreamAgreeWithTheDataSet();
    void IndexedNamesFindWhatTheScanFinds_data();
    void IndexedNamesFindWhatTheScanFinds();
    void NamesAreReadThroughTheIndex();
    void TheBackgroundIndexerCatchesUpSliceBySlice();
    void DescriptionWords_data();
    void DescriptionWords();
    void ARowSearchRestartedFromItsFirstRowsEndsOnce();
    void ACountHearsOnlyItsLatestRun();

private:
    TIds Found();

    std::unique_ptr<QTemporaryDir> FConfig;
    std::unique_ptr<QTemporaryDir> FData;
    std::unique_ptr<TGlobal> FGlobal;
    int FTxt = 0;
};

void TestFindCriteria::init()
{
    FConfig = std::make_unique<QTemporaryDir>();
    FData = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FConfig->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(FData->path()));
    // What the program's start-up does on a new machine: a new catalogue file and the alias to it.
    CatalogSchema::EnsureAlias(QString::fromUtf16(TGlobal::AliasName));
    FGlobal = std::make_unique<TGlobal>();
    TVariantArray types;
    for (const char *extension : {"txt", "jpg"}) {
        TSqliteStatement type(FGlobal->Database.Handle(),
                              u"SELECT ImageID FROM Ext WHERE Name = '%1'"_s.arg(QLatin1String(extension)));
        QVERIFY(type.Step() && type.ColumnInt64(0) > 3);
        types.push_back(TVariant(qint32(type.ColumnInt64(0))));
    }
    FTxt = types[0].AsInteger();
    FGlobal->Database.ExecSQL(Catalogue, types);
}

void TestFindCriteria::cleanup()
{
    FGlobal.reset();
    FData.reset();
    FConfig.reset();
}

TIds TestFindCriteria::Found()
{
    TQuery &find = FGlobal->FindDialog;
    find.Open();
    TIds ids;
    for (find.First(); !find.Eof(); find.Next())
        ids << find.FieldByName(u"ID"_s)->AsLargeInt();
    return sorted(ids);
}

void TestFindCriteria::Search_data()
{
    QTest::addColumn<TFindCriteria>("criteria");
    QTest::addColumn<TIds>("expected");

    using S = TSizeRelation;
    using D = TFindCriteria::TDays;
    const TIds all{2, 3, 4, 5, 6, 8, 11, 12};
    QTest::newRow("default: every entry but the roots") << TFindCriteria() << all;
    QTest::newRow("blank and * is a pattern")
        << TFindCriteria{.Name = u" *"_s} << TIds{2, 3, 4, 5, 6, 11, 12};
    QTest::newRow("pattern, any letter case") << TFindCriteria{.Name = u"*REPORT*"_s} << TIds{4, 5};
    QTest::newRow("pattern trimmed") << TFindCriteria{.Name = u"  readme.*  "_s} << TIds{3, 11};
    QTest::newRow("? is one character") << TFindCriteria{.Name = u"photo?.jpg"_s} << TIds{6};
    QTest::newRow("whole match") << TFindCriteria{.Name = u"readme.TXT"_s, .WholeMatch = true} << TIds{3, 11};
    QTest::newRow("whole match is no pattern")
        << TFindCriteria{.Name = u"readme.*"_s, .WholeMatch = true} << TIds{};
    QTest::newRow("volume") << TFindCriteria{.VolumeID = 10} << TIds{11, 12};
    QTest::newRow("type") << TFindCriteria{.TypeImageID = Txt} << TIds{3, 4, 11};
    QTest::newRow("volume picture brings the roots")
        << TFindCriteria{.TypeImageID = 2, .TypeIsVolumePicture = true} << TIds{1, 10};
    QTest::newRow("one day, whole of it")
        << TFindCriteria{.Modified = D{{2024, 1, 2}, {2024, 1, 2}}} << TIds{3, 4, 8, 12};
    QTest::newRow("two days") << TFindCriteria{.Modified = D{{2024, 1, 1}, {2024, 1, 2}}}
                              << TIds{3, 4, 5, 8, 12};
    QTest::newRow("equal 2 KB") << TFindCriteria{.SizeRelation = S::Equal, .SizeText = u"2"_s} << TIds{4};
    QTest::newRow("equal 0 KB") << TFindCriteria{.SizeRelation = S::Equal} << TIds{2, 6};
    QTest::newRow("at least 2 KB") << TFindCriteria{.SizeRelation = S::AtLeast, .SizeText = u"2"_s}
                                   << TIds{3, 11, 12};
    QTest::newRow("at most 2 KB") << TFindCriteria{.SizeRelation = S::AtMost, .SizeText = u"2"_s}
                                  << TIds{2, 5, 6, 8};
    QTest::newRow("no relation, number read") << TFindCriteria{.SizeText = u" 7 "_s} << all;
    QTest::newRow("all hold together")
        << TFindCriteria{.Name = u"*.jpg"_s, .VolumeID = 10, .SizeRelation = S::AtLeast, .SizeText = u"3"_s}
        << TIds{12};
}

void TestFindCriteria::Search()
{
    QFETCH(TFindCriteria, criteria);
    QFETCH(TIds, expected);
    if (criteria.TypeImageID == Txt)
        criteria.TypeImageID = FTxt;
    // After a narrow search, so that every switch must be set afresh.
    ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = u"x"_s,
                                              .VolumeID = 1,
                                              .TypeImageID = 2,
                                              .TypeIsVolumePicture = true,
                                              .Modified = TFindCriteria::TDays{{2020, 1, 1}, {2020, 1, 1}},
                                              .SizeRelation = TSizeRelation::Equal});
    FGlobal->FindDialog.Open();
    ApplyFindCriteria(*FGlobal, criteria);
    QVERIFY(!FGlobal->FindDialog.Active());
    QCOMPARE(Found(), expected);
}

void TestFindCriteria::SizeTextIsAlwaysRead_data()
{
    QTest::addColumn<int>("relation");
    QTest::addColumn<QString>("text");
    QTest::newRow("no relation") << int(TSizeRelation::None) << u"12a"_s;
    QTest::newRow("at most") << int(TSizeRelation::AtMost) << u"12a"_s;
    QTest::newRow("empty") << int(TSizeRelation::Equal) << QString();
    QTest::newRow("fraction") << int(TSizeRelation::Equal) << u"1.5"_s;
}

void TestFindCriteria::SizeTextIsAlwaysRead()
{
    QFETCH(int, relation);
    QFETCH(QString, text);
    QString message;
    try {
        ApplyFindCriteria(*FGlobal, TFindCriteria{.SizeRelation = TSizeRelation(relation), .SizeText = text});
    } catch (const EConvertError &error) {
        message = error.Message();
    }
    QCOMPARE(message, u"'%1' is not a valid integer value"_s.arg(text));
    QVERIFY(!FGlobal->FindDialog.Active());
    // Nothing is left half done: the next search runs as if the failed one never happened.
    ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = u"*.jpg"_s});
    QCOMPARE(Found(), (TIds{6, 12}));
}

void TestFindCriteria::CountAndStreamAgreeWithTheDataSet()
{
    for (const QString &name : {u"*"_s, u"*.txt"_s, u"*.none"_s}) {
        ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = name});
        const TIds found = Found();
        QCOMPARE(FindResultCount(*FGlobal), qint64(found.size()));
        TIds streamed;
        QStringList folders;
        ForEachFindResult(*FGlobal, [&](const TStatement &row) {
            streamed << row.ColumnInt64(0);
            folders << row.Column(2, TFieldType::String).AsString();
        });
        QCOMPARE(sorted(streamed), found);
        if (name == u"*.txt")
            QVERIFY(folders.contains(u"My disk:\\Docs\\"_s) && folders.contains(u"Backup:\\"_s));
    }
    QVERIFY(IsVolumePicture(*FGlobal, 2));
    QVERIFY(!IsVolumePicture(*FGlobal, FTxt));
}

namespace {

// Names that pattern matching could get wrong: letter case within and beyond ASCII, characters
// outside the basic plane, the engine's own wildcards and escapes, and names of one to three
// characters. IDs from 100, on volume 10.
const QStringList TrickyNames{
    u"Straße.txt"_s,
    u"STRASSE.TXT"_s,
    u"ÉCOLE.doc"_s,
    u"école.doc"_s,
    u"École.DOC"_s,
    u"100% pure.mp3"_s,
    u"100x pure.mp3"_s,
    u"a_b.txt"_s,
    u"aXb.txt"_s,
    u"[draft].txt"_s,
    u"x[1].txt"_s,
    u"back\\slash"_s,
    u"quote\"name"_s,
    u"ab"_s,
    u"a"_s,
    u"abc"_s,
    u"ABC"_s,
    u"日本語のファイル.txt"_s,
    u"日本.txt"_s,
    u"😀😀😀.png"_s,
    u"😀😀.png"_s,
    u".hidden"_s,
    u"archive.tar.gz"_s,
    u"arcHIVE.TAR.GZ.bak"_s,
    u"ab*c?d"_s,
    u"aaaa"_s,
    u"aaa"_s,
    u"  spaced  "_s,
};

} // namespace

void TestFindCriteria::IndexedNamesFindWhatTheScanFinds_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("whole");
    for (const QString &pattern :
         {u"*"_s,       u"*.txt"_s,     u"*.TXT"_s,    u"ab"_s,        u"a?"_s,        u"?"_s,
          u"??"_s,      u"???"_s,       u"ab?"_s,      u"*ab*"_s,      u"*abc*"_s,     u"ABC"_s,
          u"*100%*"_s,  u"*0% p*"_s,    u"*a_b*"_s,    u"a_b.txt"_s,   u"*[draft]*"_s, u"*[1]*"_s,
          u"*\\sla*"_s, u"*\"na*"_s,    u"*straße*"_s, u"*STRASSE*"_s, u"*école*"_s,   u"*ÉCOLE*"_s,
          u"*日本*"_s,  u"*日本語*"_s,  u"*😀😀*"_s,     u"*😀😀😀*"_s,     u"*.tar.gz"_s,  u"arch*gz"_s,
          u"*ch?ve*"_s, u"*.*"_s,       u"*e.d*"_s,    u"**"_s,        u"*?*"_s,       u"readme.txt"_s,
          u"*aaa*"_s,   u"aaa?"_s,      u"*b*c?d"_s,   u"ab*c?d"_s,    u"*port 2*"_s,  u"*qzqz*"_s,
          u" *ab* "_s,  u"*  spaced*"_s}) {
        QTest::addRow("pattern %s", qPrintable(pattern)) << pattern << false;
    }
    for (const QString &name : {u"abc"_s, u"ab"_s, u"école.doc"_s, u"straße.TXT"_s, u"ab*c?d"_s, u"a_b.txt"_s,
                                u"a%b.txt"_s, u"日本.txt"_s, u"readme.txt"_s})
        QTest::addRow("whole %s", qPrintable(name)) << name << true;
}

// Every pattern finds, in the order of the entries, what reading every entry with the find's
// own conditions finds.
void TestFindCriteria::IndexedNamesFindWhatTheScanFinds()
{
    QFETCH(QString, pattern);
    QFETCH(bool, whole);
    for (qsizetype i = 0; i < TrickyNames.size(); ++i)
        FGlobal->Database.ExecSQL(
            u"INSERT INTO Entries (ID, Parent, Name, Folder, Size, ImageID, CD) VALUES (?, 10, ?, 0, 1, 3, 10)"_s,
            {TVariant(qint64(100 + i)), TVariant(TrickyNames[i])});
    TSqliteStatement scan(
        FGlobal->Database.Handle(),
        whole ? u"SELECT ID FROM Entries WHERE Parent <> 0 AND Name = ?1 COLLATE NOCASE ORDER BY ID"_s
              : u"SELECT ID FROM Entries WHERE Parent <> 0 AND Name LIKE "
                "replace(replace(replace(replace(replace(?1, '\\', '\\\\'), '%', '\\%'), "
                "'_', '\\_'), '*', '%'), '?', '_') ESCAPE '\\' ORDER BY ID"_s);
    scan.Bind(1, TVariant(pattern.trimmed()));
    TIds expected;
    while (scan.Step())
        expected << scan.ColumnInt64(0);

    ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = pattern, .WholeMatch = whole});
    TIds found;
    ForEachFindResult(*FGlobal, [&](const TStatement &row) { found << row.ColumnInt64(0); });
    if (pattern == u"*")
        QCOMPARE(found.size(), expected.size() + 1); // the entry without a name
    else
        QCOMPARE(found, expected);
    QCOMPARE(FindResultCount(*FGlobal), qint64(found.size()));
}

void TestFindCriteria::NamesAreReadThroughTheIndex()
{
    // With the names' indexes emptied, a pattern of three characters or more and any whole name
    // find nothing, while shorter patterns and descriptions are found without them.
    CatalogSchema::UpdateSearchIndexes(FGlobal->Database);
    FGlobal->Database.ExecSQL(u"INSERT INTO EntryNames (EntryNames) VALUES ('delete-all')"_s);
    FGlobal->Database.ExecSQL(u"DELETE FROM WholeNames"_s);
    FGlobal->Database.ExecSQL(u"UPDATE Entries SET Description = 'in the docs folder' WHERE ID = 4"_s);
    ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = u"*report*"_s});
    QCOMPARE(Found(), TIds{});
    ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = u"*re*"_s});
    QCOMPARE(Found(), (TIds{3, 4, 5, 11}));
    ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = u"README.txt"_s, .WholeMatch = true});
    QCOMPARE(Found(), TIds{});
    ApplyFindCriteria(*FGlobal, TFindCriteria{.Text = u"docs"_s});
    QCOMPARE(Found(), TIds{4});
}

void TestFindCriteria::TheBackgroundIndexerCatchesUpSliceBySlice()
{
    const auto indexed = [this](const char *index, const char *word) {
        TSqliteStatement match(
            FGlobal->Database.Handle(),
            u"SELECT rowid FROM %1 WHERE %1 MATCH ? ORDER BY rowid"_s.arg(QLatin1String(index)));
        match.Bind(1, TVariant(QString::fromLatin1(word)));
        TIds ids;
        while (match.Step())
            ids << match.ColumnInt64(0);
        return ids;
    };
    const auto upTo = [this] {
        TSqliteStatement row(FGlobal->Database.Handle(), u"SELECT UpTo FROM SearchIndexed"_s);
        row.Step();
        return row.ColumnInt64(0);
    };
    FGlobal->Database.ExecSQL(u"UPDATE Entries SET Description = 'Lake' WHERE ID = 11"_s);
    // Cut short at once, it leaves the indexes holding exactly the entries up to UpTo.
    std::make_unique<TSearchIndexer>(FGlobal->Database.FileName(), 2)->Start();
    TIds reports;
    for (const qint64 id : TIds{4, 5})
        if (id <= upTo())
            reports << id;
    QCOMPARE(indexed("EntryNames", "rep"), reports);

    // Slices of two entries over IDs with gaps (7, 9) end at the last entry.
    {
        TSearchIndexer indexer(FGlobal->Database.FileName(), 2);
        indexer.Start();
        QCOMPARE(indexer.Wait(), QString());
    }
    QCOMPARE(upTo(), 12);
    QCOMPARE(indexed("EntryNames", "rep"), (TIds{4, 5}));
    QCOMPARE(indexed("EntryTexts", "lake"), TIds{11});

    // The data module's own indexer runs on after the entries are written, and the search reads
    // what it indexed.
    FGlobal->SetIndexInBackground(true);
    FGlobal->Database.ExecSQL(
        u"INSERT INTO Entries (ID, Parent, Name, Folder, Size, ImageID, CD) VALUES (20, 10, 'report.pdf', 0, 1, 3, 10)"_s);
    FGlobal->IndexNewEntries();
    QCOMPARE(FGlobal->WaitForIndexes(), QString());
    QCOMPARE(upTo(), 20);
    ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = u"*report*"_s});
    QCOMPARE(Found(), (TIds{4, 5, 20}));
}

void TestFindCriteria::DescriptionWords_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<TIds>("expected");
    QTest::newRow("one word") << u"*"_s << u"lake"_s << TIds{4, 6};
    QTest::newRow("all words, any order") << u"*"_s << u"summer LAKE"_s << TIds{6};
    QTest::newRow("accents aside") << u"*"_s << u"cafe creme"_s << TIds{12};
    QTest::newRow("the last word a start") << u"*"_s << u"lake sum"_s << TIds{6};
    QTest::newRow("only the last word a start") << u"*"_s << u"sum lake"_s << TIds{};
    QTest::newRow("punctuation separates") << u"*"_s << u"\"lake\"-summer, (2023)"_s << TIds{6};
    QTest::newRow("no word, no condition") << u"*.jpg"_s << u" -- "_s << TIds{6, 12};
    QTest::newRow("with a name") << u"*.txt"_s << u"lake"_s << TIds{4};
    QTest::newRow("with a short name") << u"*t"_s << u"lake"_s << TIds{4};
    QTest::newRow("with a whole name") << u"photo1.JPG"_s << u"lake"_s << TIds{6};
    QTest::newRow("a word nobody wrote") << u"*"_s << u"qzqz"_s << TIds{};
}

void TestFindCriteria::DescriptionWords()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(TIds, expected);
    FGlobal->Database.ExecSQL(u"UPDATE Entries SET Description = CASE ID WHEN 4 THEN 'Lake report' WHEN 6 "
                              u"THEN 'The lake in summer 2023' "
                              "WHEN 12 THEN 'Café crème' END"_s);
    ApplyFindCriteria(*FGlobal,
                      TFindCriteria{.Name = name, .WholeMatch = name == u"photo1.JPG", .Text = text});
    QCOMPARE(Found(), expected);
}

void TestFindCriteria::ARowSearchRestartedFromItsFirstRowsEndsOnce()
{
    TFindRows rows;
    TIds ids;
    QList<bool> ends;
    bool restart = true;
    connect(&rows, &TFindRows::Found, this, [&](const QList<TFoundEntry> &batch) {
        for (const TFoundEntry &entry : batch)
            ids << entry.ID;
        if (std::exchange(restart, false)) {
            ids.clear();
            ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = u"photo*"_s});
            rows.Start(*FGlobal, 100);
        }
    });
    connect(&rows, &TFindRows::Finished, this, [&](bool more) { ends << more << rows.Running(); });
    QSignalSpy failed(&rows, &TFindRows::Failed);
    // Three rows and a limit of one: the first search, if it were still heard, would end with more.
    ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = u"*.txt"_s});
    rows.Start(*FGlobal, 1);
    QTRY_VERIFY(!rows.Running());
    QCOMPARE(ends, QList<bool>({false, false}));
    QCOMPARE(sorted(ids), TIds({6, 12}));

    FGlobal->FindDialog.SetSQL({u"SELECT NoSuchColumn FROM Entries"_s});
    rows.Start(*FGlobal, 100);
    QTRY_COMPARE(failed.size(), 1);
    QVERIFY(failed[0][0].toString().contains(u"NoSuchColumn"_s));
    QCOMPARE(ends.size(), 2);
}

void TestFindCriteria::ACountHearsOnlyItsLatestRun()
{
    TFindCount count;
    QSignalSpy counted(&count, &TFindCount::Counted);
    QSignalSpy failed(&count, &TFindCount::Failed);
    ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = u"*.jpg"_s});
    count.Start(*FGlobal);
    ApplyFindCriteria(*FGlobal, TFindCriteria{.Name = u"*.txt"_s});
    count.Start(*FGlobal);
    QTRY_VERIFY(!count.Running());
    QCOMPARE(counted.size(), 1);
    QCOMPARE(counted[0][0].toLongLong(), 3);

    count.Start(*FGlobal);
    count.Cancel();
    FGlobal->FindDialog.SetSQL({u"SELECT NoSuchColumn FROM Entries"_s});
    count.Start(*FGlobal);
    QTRY_COMPARE(failed.size(), 1);
    QCOMPARE(counted.size(), 1);
}

QTEST_GUILESS_MAIN(TestFindCriteria)
#include "tst_FindCriteria.moc"
