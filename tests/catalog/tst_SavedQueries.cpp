#include "CatalogSchema.h"
#include "Databases.h"
#include "Queries.h"
#include "SavedQueries.h"
#include "TestSupport.h"
#include "db/TestDrivers.h"

#include <QHash>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

namespace {

const QString Time1 = QStringLiteral("2021-03-04 05:06:07.089");
const QString Time2 = QStringLiteral("2022-11-12 13:14:15.160");

// An info-file pattern as the Nfo table holds it.
struct TNfo
{
    QString Pattern;
    bool ForFolder;
    bool ForFile;
};

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

Q_DECLARE_METATYPE(TNfo)

// Builds a small catalogue of two volumes and runs the saved queries on it by name, as the program
// does. Catalogue entries are called by label: the volume name followed by the path, "/"-separated
// ("Disc1/Docs/readme.txt"); scanned entries by their name.
class TestSavedQueries : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void EveryQueryIsStoredWithoutParameters();
    void ImageNumber_data();
    void ImageNumber();
    void SelectFoldersWithInfo_data();
    void SelectFoldersWithInfo();
    void SelectFilesWithInfo_data();
    void SelectFilesWithInfo();
    void ColumnNames();
    void OtherVolume();
    void StoppedScan();
    void FindMatch_data();
    void FindMatch();

private:
    struct TEntry
    {
        qint64 ID;
        qint64 CD;
        QString Name;
        std::optional<QString> FullPath; // of the folder the entry lies in, "\" after each name
    };

    QString Add(const QString &parent, const QString &name, bool folder = false, qint64 size = 100,
                const QString &modified = Time1);
    QString AddFolder(const QString &parent, const QString &name) { return Add(parent, name, true, 0); }
    void Scan(const QString &parent, const QString &name, std::optional<QString> fullPath, qint64 size = 100,
              const QString &modified = Time1, bool folder = false);
    void BuildCatalogue();
    void BuildScan();
    void SetNfo(const QList<TNfo> &patterns);
    void SetVolume(const QString &root);
    QStringList Rows(const QString &queryName, const QStringList &fieldNames);
    // The row just added to table, whose IDs only grow, on either engine.
    qint64 LastInsertId(const QString &table)
    {
        return ScalarOf(*FDb, QStringLiteral("SELECT max(ID) FROM %1").arg(table));
    }

    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TDatabase> FDb;
    QHash<QString, TEntry> FEntries;
    QHash<qint64, QString> FLabels;
    QHash<QString, qint64> FScanned;
    QHash<qint64, QString> FScannedLabels;
};

void TestSavedQueries::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FDb = std::make_unique<TDatabase>();
    FDb->SetDatabaseName(QStringLiteral("SavedQueries"));
    FDb->SetDriverName(TestDriver());
    FDb->SetParams(TestDatabaseParams(FDir->path(), QStringLiteral("catalogue")) +
                   QStringList{QStringLiteral("CREATE=TRUE")});
    FDb->Open();
    CatalogSchema::CreateTables(*FDb);
    CatalogSchema::CreateScratchTables(*FDb);
    for (const TSavedQuery &query : CatalogSavedQueries())
        FDb->StoreSavedQuery(query.Name, query.Statement);
    BuildCatalogue();
    BuildScan();
    SetVolume(QStringLiteral("Disc1"));
}

void TestSavedQueries::cleanup()
{
    FDb.reset();
    FDir.reset();
    FEntries.clear();
    FLabels.clear();
    FScanned.clear();
    FScannedLabels.clear();
}

// Adds a catalogue entry below `parent` (empty for a volume root) and returns its label. Its
// FullPath and CD follow from the parent, as a scan writes them.
QString TestSavedQueries::Add(const QString &parent, const QString &name, bool folder, qint64 size,
                              const QString &modified)
{
    std::optional<qint64> parentId;
    std::optional<QString> fullPath;
    qint64 cd = 0;
    if (!parent.isEmpty()) {
        const TEntry &up = FEntries.value(parent);
        parentId = up.ID;
        cd = up.CD;
        if (up.ID != up.CD)
            fullPath = up.FullPath.value_or(QString()) + up.Name + u'\\';
    }
    FDb->ExecSQL(QStringLiteral("INSERT INTO Entries (Parent, Name, Size, Modified, CD, Folder, FullPath) "
                                "VALUES (?, ?, ?, ?, ?, ?, ?)"),
                 {parentId ? TVariant(*parentId) : TVariant::Null(), TVariant(name), TVariant(size),
                  TVariant(modified), parentId ? TVariant(cd) : TVariant::Null(), TVariant(folder),
                  fullPath ? TVariant(*fullPath) : TVariant::Null()});
    const qint64 id = LastInsertId(QStringLiteral("Entries"));
    if (!parentId) {
        // A volume root gets its own ID as CD once its scan has finished.
        cd = id;
        FDb->ExecSQL(QStringLiteral("UPDATE Entries SET CD = ID WHERE ID = ?"), {TVariant(id)});
    }
    const QString label = parent.isEmpty() ? name : parent + u'/' + name;
    FEntries.insert(label, {id, cd, name, fullPath});
    FLabels.insert(id, label);
    return label;
}

// Adds an entry to Temp_Entry, below the scanned entry `parent` (empty for the root of the scan).
void TestSavedQueries::Scan(const QString &parent, const QString &name, std::optional<QString> fullPath,
                            qint64 size, const QString &modified, bool folder)
{
    FDb->ExecSQL(QStringLiteral("INSERT INTO Temp_Entry (Parent, Name, Size, Modified, Folder, FullPath) "
                                "VALUES (?, ?, ?, ?, ?, ?)"),
                 {parent.isEmpty() ? TVariant::Null() : TVariant(FScanned.value(parent)), TVariant(name),
                  TVariant(size), TVariant(modified), TVariant(folder),
                  fullPath ? TVariant(*fullPath) : TVariant::Null()});
    const qint64 id = LastInsertId(QStringLiteral("Temp_Entry"));
    FScanned.insert(name, id);
    FScannedLabels.insert(id, name);
}

// Two volumes. The first has info files of several kinds in its root and below; names with GLOB
// and LIKE characters, several dots, no extension and letter case that differs from their info
// files. The second holds the same kinds of info files and must never show in the first's results.
void TestSavedQueries::BuildCatalogue()
{
    const QString disc1 = AddFolder(QString(), QStringLiteral("Disc1"));
    for (const QString &name :
         {QStringLiteral("file_id.diz"), QStringLiteral("SETUP.TXT"), QStringLiteral("a.b.c"),
          QStringLiteral("a.b.txt"), QStringLiteral("Readme.txt"), QStringLiteral("Notes.exe")})
        Add(disc1, name);
    Add(disc1, QStringLiteral("Setup.exe"), false, 300);
    AddFolder(disc1, QStringLiteral("Notes.txt")); // a folder is neither an info file nor described

    const QString docs = AddFolder(disc1, QStringLiteral("Docs"));
    for (const QString &name : {QStringLiteral("descript.ion"), QStringLiteral("manual.TXT"),
                                QStringLiteral("readme.txt"), QStringLiteral("Readme.doc")})
        Add(docs, name);
    Add(docs, QStringLiteral("Manual.pdf"), false, 500);

    const QString old = AddFolder(docs, QStringLiteral("Old"));
    for (const QString &name : {QStringLiteral("file_id.diz"), QStringLiteral("archive.diz"),
                                QStringLiteral("archive.tar.gz"), QStringLiteral("archive.tar.diz")})
        Add(old, name);
    Add(old, QStringLiteral("archive.zip"), false, 700);
    AddFolder(old, QStringLiteral("Empty"));

    // 1000.txt and axb.txt would match 100%.txt and a_b.txt if "%" and "_" were wildcards, ab.txt
    // and x1.nfo would match [a]b.txt and x[1].nfo if "[" opened a class, Starx.txt would match
    // Star*.txt if the "*" of a name were one.
    const QString odd = AddFolder(disc1, QStringLiteral("Odd"));
    for (const QString &name :
         {QStringLiteral("[a]b.txt"),  QStringLiteral("[a]b.exe"),  QStringLiteral("ab.txt"),
          QStringLiteral("ab.exe"),    QStringLiteral("100%.txt"),  QStringLiteral("100%.exe"),
          QStringLiteral("1000.txt"),  QStringLiteral("a_b.txt"),   QStringLiteral("a_b.exe"),
          QStringLiteral("axb.txt"),   QStringLiteral("noext"),     QStringLiteral("noext.txt"),
          QStringLiteral("Star*.txt"), QStringLiteral("Star*.exe"), QStringLiteral("Starx.txt"),
          QStringLiteral("x.exe"),     QStringLiteral("x[1].nfo"),  QStringLiteral("x1.nfo"),
          QStringLiteral("x-x.nfo"),   QStringLiteral("x-y.nfo"),   QStringLiteral("b.exe")})
        Add(odd, name);

    const QString disc2 = AddFolder(QString(), QStringLiteral("Disc2"));
    for (const QString &name : {QStringLiteral("file_id.diz"), QStringLiteral("descript.ion"),
                                QStringLiteral("Install.exe"), QStringLiteral("Install.txt")})
        Add(disc2, name);
    Add(disc2, QStringLiteral("Setup.exe"), false, 300);
    const QString docs2 = AddFolder(disc2, QStringLiteral("Docs"));
    Add(docs2, QStringLiteral("descript.ion"));
    Add(docs2, QStringLiteral("readme.txt"), false, 100, Time2);
}

// A scan of the folder Docs of a volume like Disc1, in which files were renamed, resized, touched
// and moved since it was catalogued.
void TestSavedQueries::BuildScan()
{
    Scan(QString(), QStringLiteral("Docs"), std::nullopt, 0, Time1, true); // like Disc1/Docs, but a root
    Scan(QStringLiteral("Docs"), QStringLiteral("README.TXT"), QStringLiteral("DOCS\\"));
    Scan(QStringLiteral("Docs"), QStringLiteral("Manual.pdf"), QStringLiteral("Docs\\"), 600); // resized
    Scan(QStringLiteral("Docs"), QStringLiteral("Setup.exe"), QStringLiteral("Docs\\"), 300);  // moved
    Scan(QStringLiteral("Docs"), QStringLiteral("Old"), QStringLiteral("Docs\\"), 0, Time1, true);
    Scan(QStringLiteral("Old"), QStringLiteral("archive.zip"), QStringLiteral("Docs\\Old\\"), 700,
         Time2); // touched
    Scan(QStringLiteral("Docs"), QStringLiteral("Renamed.pdf"), QStringLiteral("Docs\\"), 500);
    // Like the root Disc1 in every respect, but a volume root never pairs.
    Scan(QStringLiteral("Docs"), QStringLiteral("Disc1"), std::nullopt, 0, Time1, true);
    // A path empty on one side and missing on the other is the same path.
    Scan(QStringLiteral("Docs"), QStringLiteral("A.B.C"), QString());
    Scan(QStringLiteral("Docs"), QStringLiteral("setup.txt"), std::nullopt);
}

void TestSavedQueries::SetNfo(const QList<TNfo> &patterns)
{
    FDb->ExecSQL(QStringLiteral("DELETE FROM Nfo"));
    for (const TNfo &nfo : patterns)
        FDb->ExecSQL(QStringLiteral("INSERT INTO Nfo (NameNFO, ForFolder, ForFile) VALUES (?, ?, ?)"),
                     {TVariant(nfo.Pattern), TVariant(nfo.ForFolder), TVariant(nfo.ForFile)});
}

void TestSavedQueries::SetVolume(const QString &root)
{
    FDb->ExecSQL(QStringLiteral("DELETE FROM TEMP_CD"));
    FDb->ExecSQL(QStringLiteral("INSERT INTO TEMP_CD (ID) VALUES (?)"), {TVariant(FEntries.value(root).ID)});
}

// The rows of a saved query, each as its fields joined by "|", the EntryID as the entry's label.
QStringList TestSavedQueries::Rows(const QString &queryName, const QStringList &fieldNames)
{
    TStoredProc proc;
    proc.SetDatabase(FDb.get());
    proc.SetStoredProcName(queryName);
    proc.Open();
    QStringList rows;
    for (; !proc.Eof(); proc.Next()) {
        QStringList values;
        for (const QString &fieldName : fieldNames) {
            const TField *field = proc.FieldByName(fieldName);
            values << (fieldName == u"EntryID" ? FLabels.value(field->AsLargeInt(), QStringLiteral("?"))
                                               : field->AsString());
        }
        rows << values.join(u'|');
    }
    return rows;
}

// ---------------------------------------------------------------------------------------------

void TestSavedQueries::EveryQueryIsStoredWithoutParameters()
{
    const std::vector<TSavedQuery> queries = CatalogSavedQueries();
    QStringList names;
    for (const TSavedQuery &query : queries) {
        names << query.Name;
        QVERIFY2(ParseParamNames(query.Statement).isEmpty(), qPrintable(query.Name));
        QCOMPARE(FDb->SavedQueryText(query.Name), query.Statement);
    }
    QCOMPARE(sorted(names),
             sorted({QStringLiteral("ImageNumber"), QStringLiteral("SelectFoldersWithInfo"),
                     QStringLiteral("SelectFilesWithInfo"), QStringLiteral("FindMatch"),
                     QStringLiteral("FindMatchByTime"), QStringLiteral("FindMatchBySize"),
                     QStringLiteral("FindMatchBySizeTime"), QStringLiteral("FindMatchByPath"),
                     QStringLiteral("FindMatchByPathTime"), QStringLiteral("FindMatchBySizePath"),
                     QStringLiteral("FindMatchBySizePathTime")}));
}

void TestSavedQueries::ImageNumber_data()
{
    QTest::addColumn<QList<int>>("imageIds");
    QTest::addColumn<int>("number");

    QTest::newRow("no pictures") << QList<int>{} << 0;
    QTest::newRow("picture 0") << QList<int>{0} << 1;
    QTest::newRow("gaps") << QList<int>{0, 1, 5, 3} << 6;
}

void TestSavedQueries::ImageNumber()
{
    QFETCH(QList<int>, imageIds);
    QFETCH(int, number);

    for (int id : imageIds)
        FDb->ExecSQL(QStringLiteral("INSERT INTO Images (ImageID, Description) VALUES (?, 'picture')"),
                     {TVariant(qint32(id))});
    TStoredProc proc;
    proc.SetDatabase(FDb.get());
    proc.SetStoredProcName(QStringLiteral("ImageNumber"));
    proc.Open();
    QCOMPARE(proc.RecordCount(), 1);
    QCOMPARE(proc.Fields(0)->AsInteger(), number);
}

// Each pattern set also holds a pattern for files only, which must not count for folders.
void TestSavedQueries::SelectFoldersWithInfo_data()
{
    QTest::addColumn<QStringList>("patterns");
    QTest::addColumn<QStringList>("rows"); // folder|InfoName|Fullpath

    const QString rootFileId = QStringLiteral("Disc1|file_id.diz|");
    const QString oldFileId = QStringLiteral("Disc1/Docs/Old|file_id.diz|Docs\\Old");

    QTest::newRow("one name") << QStringList{QStringLiteral("file_id.diz")}
                              << QStringList{rootFileId, oldFileId};
    QTest::newRow("star") << QStringList{QStringLiteral("*.diz")}
                          << QStringList{rootFileId, oldFileId,
                                         QStringLiteral("Disc1/Docs/Old|archive.diz|Docs\\Old"),
                                         QStringLiteral("Disc1/Docs/Old|archive.tar.diz|Docs\\Old")};
    QTest::newRow("two patterns, one file")
        << QStringList{QStringLiteral("*.diz"), QStringLiteral("FILE_ID.DIZ")}
        << QStringList{rootFileId, oldFileId, QStringLiteral("Disc1/Docs/Old|archive.diz|Docs\\Old"),
                       QStringLiteral("Disc1/Docs/Old|archive.tar.diz|Docs\\Old")};
    QTest::newRow("letter case") << QStringList{QStringLiteral("README.TXT")}
                                 << QStringList{QStringLiteral("Disc1|Readme.txt|"),
                                                QStringLiteral("Disc1/Docs|readme.txt|Docs")};
    QTest::newRow("question marks") << QStringList{QStringLiteral("????_??.diz")}
                                    << QStringList{rootFileId, oldFileId};
    QTest::newRow("bracket") << QStringList{QStringLiteral("[a]b.txt")}
                             << QStringList{QStringLiteral("Disc1/Odd|[a]b.txt|Odd")};
    QTest::newRow("percent and underscore")
        << QStringList{QStringLiteral("100%.txt"), QStringLiteral("a_b.txt")}
        << QStringList{QStringLiteral("Disc1/Odd|100%.txt|Odd"), QStringLiteral("Disc1/Odd|a_b.txt|Odd")};
    QTest::newRow("star in the middle")
        << QStringList{QStringLiteral("star*.txt")}
        << QStringList{QStringLiteral("Disc1/Odd|Star*.txt|Odd"), QStringLiteral("Disc1/Odd|Starx.txt|Odd")};
    QTest::newRow("folder named like a pattern") << QStringList{QStringLiteral("notes.txt")} << QStringList{};
    QTest::newRow("descript.ion") << QStringList{QStringLiteral("descript.ion")}
                                  << QStringList{QStringLiteral("Disc1/Docs|descript.ion|Docs")};
}

void TestSavedQueries::SelectFoldersWithInfo()
{
    QFETCH(QStringList, patterns);
    QFETCH(QStringList, rows);

    QList<TNfo> nfo{{QStringLiteral("*.exe"), false, true}};
    for (const QString &pattern : patterns)
        nfo.append({pattern, true, false});
    SetNfo(nfo);
    const QStringList actual =
        Rows(QStringLiteral("SelectFoldersWithInfo"),
             {QStringLiteral("EntryID"), QStringLiteral("InfoName"), QStringLiteral("Fullpath")});
    QCOMPARE(sorted(actual), sorted(rows));
}

// Each pattern set also holds a pattern for folders only, which must not count for files.
void TestSavedQueries::SelectFilesWithInfo_data()
{
    QTest::addColumn<QStringList>("patterns");
    QTest::addColumn<QStringList>("rows"); // file|FullPath|InfoName|Name

    // A "*" pattern pairs a file with the info file of its own name: Name is the info file's.
    const QStringList txt{
        QStringLiteral("Disc1/Setup.exe||SETUP.TXT|SETUP.TXT"),
        QStringLiteral("Disc1/a.b.c||a.b.txt|a.b.txt"),
        QStringLiteral("Disc1/Docs/Manual.pdf|Docs|manual.TXT|manual.TXT"),
        QStringLiteral("Disc1/Docs/Readme.doc|Docs|readme.txt|readme.txt"),
        QStringLiteral("Disc1/Odd/[a]b.exe|Odd|[a]b.txt|[a]b.txt"),
        QStringLiteral("Disc1/Odd/ab.exe|Odd|ab.txt|ab.txt"),
        QStringLiteral("Disc1/Odd/100%.exe|Odd|100%.txt|100%.txt"),
        QStringLiteral("Disc1/Odd/a_b.exe|Odd|a_b.txt|a_b.txt"),
        QStringLiteral("Disc1/Odd/noext|Odd|noext.txt|noext.txt"),
        QStringLiteral("Disc1/Odd/Star*.exe|Odd|Star*.txt|Star*.txt"),
    };
    const QStringList diz{
        QStringLiteral("Disc1/Docs/Old/archive.zip|Docs\\Old|archive.diz|archive.diz"),
        QStringLiteral("Disc1/Docs/Old/archive.tar.gz|Docs\\Old|archive.tar.diz|archive.tar.diz"),
    };
    // A pattern without "*" pairs its info file with every other file of the folder: Name is the
    // described file's, so the program asks about the pair.
    const QStringList descriptIon{
        QStringLiteral("Disc1/Docs/Manual.pdf|Docs|descript.ion|Manual.pdf"),
        QStringLiteral("Disc1/Docs/manual.TXT|Docs|descript.ion|manual.TXT"),
        QStringLiteral("Disc1/Docs/readme.txt|Docs|descript.ion|readme.txt"),
        QStringLiteral("Disc1/Docs/Readme.doc|Docs|descript.ion|Readme.doc"),
    };
    QStringList fileId;
    for (const QString &name :
         {QStringLiteral("Setup.exe"), QStringLiteral("SETUP.TXT"), QStringLiteral("a.b.c"),
          QStringLiteral("a.b.txt"), QStringLiteral("Readme.txt"), QStringLiteral("Notes.exe")})
        fileId << QStringLiteral("Disc1/%1||file_id.diz|%1").arg(name);
    for (const QString &name : {QStringLiteral("archive.zip"), QStringLiteral("archive.diz"),
                                QStringLiteral("archive.tar.gz"), QStringLiteral("archive.tar.diz")})
        fileId << QStringLiteral("Disc1/Docs/Old/%1|Docs\\Old|file_id.diz|%1").arg(name);
    // readme.txt describes Readme.doc under both patterns: one row, by its own name.
    QStringList readme = txt;
    for (const QString &name :
         {QStringLiteral("file_id.diz"), QStringLiteral("Setup.exe"), QStringLiteral("SETUP.TXT"),
          QStringLiteral("a.b.c"), QStringLiteral("a.b.txt"), QStringLiteral("Notes.exe")})
        readme << QStringLiteral("Disc1/%1||Readme.txt|%1").arg(name);
    for (const QString &name :
         {QStringLiteral("descript.ion"), QStringLiteral("Manual.pdf"), QStringLiteral("manual.TXT")})
        readme << QStringLiteral("Disc1/Docs/%1|Docs|readme.txt|%1").arg(name);
    const QStringList nfo{QStringLiteral("Disc1/Odd/x.exe|Odd|x[1].nfo|x[1].nfo")};

    QTest::newRow("*.txt") << QStringList{QStringLiteral("*.txt")} << txt;
    QTest::newRow("question mark") << QStringList{QStringLiteral("*.t?t")} << txt;
    QTest::newRow("patterns that overlap")
        << QStringList{QStringLiteral("*.txt"), QStringLiteral("*.TXT"), QStringLiteral("*.t?t")} << txt;
    QTest::newRow("*.diz") << QStringList{QStringLiteral("*.diz")} << diz;
    QTest::newRow("descript.ion") << QStringList{QStringLiteral("descript.ion")} << descriptIon;
    QTest::newRow("file_id.diz") << QStringList{QStringLiteral("FILE_ID.DIZ")} << fileId;
    QTest::newRow("several") << QStringList{QStringLiteral("*.txt"), QStringLiteral("*.diz"),
                                            QStringLiteral("descript.ion")}
                             << txt + diz + descriptIon;
    QTest::newRow("star and file_id.diz")
        << QStringList{QStringLiteral("*.diz"), QStringLiteral("file_id.diz")} << diz + fileId;
    QTest::newRow("one pair by two kinds of pattern")
        << QStringList{QStringLiteral("*.txt"), QStringLiteral("readme.txt")} << readme;
    QTest::newRow("bracket") << QStringList{QStringLiteral("*[1].nfo")} << nfo;
    QTest::newRow("bracket and question mark") << QStringList{QStringLiteral("*[?].nfo")} << nfo;
    QTest::newRow("prefix") << QStringList{QStringLiteral("[A]*.txt")}
                            << QStringList{QStringLiteral("Disc1/Odd/b.exe|Odd|[a]b.txt|[a]b.txt")};
    QTest::newRow("prefix and question mark")
        << QStringList{QStringLiteral("?a]*.t?t")}
        << QStringList{QStringLiteral("Disc1/Odd/b.exe|Odd|[a]b.txt|[a]b.txt")};
    QTest::newRow("two stars") << QStringList{QStringLiteral("*-*.nfo")}
                               << QStringList{QStringLiteral("Disc1/Odd/x.exe|Odd|x-x.nfo|x-x.nfo")};
    QTest::newRow("no pattern for files") << QStringList{} << QStringList{};
}

void TestSavedQueries::SelectFilesWithInfo()
{
    QFETCH(QStringList, patterns);
    QFETCH(QStringList, rows);

    QList<TNfo> nfo{{QStringLiteral("*"), true, false}};
    for (const QString &pattern : patterns)
        nfo.append({pattern, false, true});
    SetNfo(nfo);
    const QStringList actual =
        Rows(QStringLiteral("SelectFilesWithInfo"), {QStringLiteral("EntryID"), QStringLiteral("FullPath"),
                                                     QStringLiteral("InfoName"), QStringLiteral("Name")});
    QCOMPARE(sorted(actual), sorted(rows));
}

// The program reads the columns by these names.
void TestSavedQueries::ColumnNames()
{
    SetNfo({{QStringLiteral("*.diz"), true, true}});
    auto names = [this](const QString &queryName) {
        TStoredProc proc;
        proc.SetDatabase(FDb.get());
        proc.SetStoredProcName(queryName);
        proc.Open();
        QStringList result;
        for (int i = 0; i < proc.FieldCount(); ++i)
            result << proc.Fields(i)->FieldName();
        return result;
    };
    QCOMPARE(
        names(QStringLiteral("SelectFoldersWithInfo")),
        (QStringList{QStringLiteral("EntryID"), QStringLiteral("InfoName"), QStringLiteral("Fullpath")}));
    QCOMPARE(names(QStringLiteral("SelectFilesWithInfo")),
             (QStringList{QStringLiteral("EntryID"), QStringLiteral("FullPath"), QStringLiteral("InfoName"),
                          QStringLiteral("Name")}));
}

void TestSavedQueries::OtherVolume()
{
    SetVolume(QStringLiteral("Disc2"));
    SetNfo({{QStringLiteral("descript.ion"), true, false}, {QStringLiteral("*.txt"), false, true}});
    QCOMPARE(
        sorted(Rows(QStringLiteral("SelectFoldersWithInfo"),
                    {QStringLiteral("EntryID"), QStringLiteral("InfoName"), QStringLiteral("Fullpath")})),
        (QStringList{QStringLiteral("Disc2/Docs|descript.ion|Docs"), QStringLiteral("Disc2|descript.ion|")}));
    QCOMPARE(
        Rows(QStringLiteral("SelectFilesWithInfo"), {QStringLiteral("EntryID"), QStringLiteral("FullPath"),
                                                     QStringLiteral("InfoName"), QStringLiteral("Name")}),
        QStringList{QStringLiteral("Disc2/Install.exe||Install.txt|Install.txt")});
}

// The entries of a scan that was stopped may have no CD; the volume is still found from its root.
void TestSavedQueries::StoppedScan()
{
    FDb->ExecSQL(QStringLiteral("UPDATE Entries SET CD = NULL WHERE CD = ?"),
                 {TVariant(FEntries.value(QStringLiteral("Disc1")).ID)});
    SetNfo({{QStringLiteral("file_id.diz"), true, false}, {QStringLiteral("*.diz"), false, true}});
    QCOMPARE(
        sorted(Rows(QStringLiteral("SelectFoldersWithInfo"),
                    {QStringLiteral("EntryID"), QStringLiteral("InfoName"), QStringLiteral("Fullpath")})),
        (QStringList{QStringLiteral("Disc1/Docs/Old|file_id.diz|Docs\\Old"),
                     QStringLiteral("Disc1|file_id.diz|")}));
    QCOMPARE(
        Rows(QStringLiteral("SelectFilesWithInfo"), {QStringLiteral("EntryID"), QStringLiteral("InfoName")}),
        (QStringList{QStringLiteral("Disc1/Docs/Old/archive.tar.gz|archive.tar.diz"),
                     QStringLiteral("Disc1/Docs/Old/archive.zip|archive.diz")}));
}

void TestSavedQueries::FindMatch_data()
{
    QTest::addColumn<QString>("queryName");
    QTest::addColumn<QStringList>("pairs"); // catalogue entry=scanned entry

    // Catalogued Readme.txt (in the root) and readme.txt (in Docs, and in Docs of Disc2 with another
    // time) against README.TXT in DOCS; Manual.pdf resized; Setup.exe (in both roots) moved into
    // Docs; archive.zip touched; Renamed.pdf not found by name; Disc1 and Docs are roots on one side.
    const QString rootReadme = QStringLiteral("Disc1/Readme.txt=README.TXT");
    const QString docsReadme = QStringLiteral("Disc1/Docs/readme.txt=README.TXT");
    const QString otherReadme = QStringLiteral("Disc2/Docs/readme.txt=README.TXT");
    const QString manual = QStringLiteral("Disc1/Docs/Manual.pdf=Manual.pdf");
    const QString setup1 = QStringLiteral("Disc1/Setup.exe=Setup.exe");
    const QString setup2 = QStringLiteral("Disc2/Setup.exe=Setup.exe");
    const QString archive = QStringLiteral("Disc1/Docs/Old/archive.zip=archive.zip");
    const QString old = QStringLiteral("Disc1/Docs/Old=Old");
    // Unchanged, in the root: by every query.
    const QStringList always{QStringLiteral("Disc1/a.b.c=A.B.C"), QStringLiteral("Disc1/SETUP.TXT=setup.txt"),
                             old};

    QTest::newRow("name") << QStringLiteral("FindMatch")
                          << always + QStringList{rootReadme, docsReadme, otherReadme, manual,
                                                  setup1,     setup2,     archive};
    QTest::newRow("time") << QStringLiteral("FindMatchByTime")
                          << always + QStringList{rootReadme, docsReadme, manual, setup1, setup2};
    QTest::newRow("size") << QStringLiteral("FindMatchBySize")
                          << always +
                                 QStringList{rootReadme, docsReadme, otherReadme, setup1, setup2, archive};
    QTest::newRow("size, time") << QStringLiteral("FindMatchBySizeTime")
                                << always + QStringList{rootReadme, docsReadme, setup1, setup2};
    QTest::newRow("path") << QStringLiteral("FindMatchByPath")
                          << always + QStringList{docsReadme, otherReadme, manual, archive};
    QTest::newRow("path, time") << QStringLiteral("FindMatchByPathTime")
                                << always + QStringList{docsReadme, manual};
    QTest::newRow("size, path") << QStringLiteral("FindMatchBySizePath")
                                << always + QStringList{docsReadme, otherReadme, archive};
    QTest::newRow("size, path, time")
        << QStringLiteral("FindMatchBySizePathTime") << always + QStringList{docsReadme};
}

void TestSavedQueries::FindMatch()
{
    QFETCH(QString, queryName);
    QFETCH(QStringList, pairs);

    TStoredProc proc;
    proc.SetDatabase(FDb.get());
    proc.SetStoredProcName(queryName);
    proc.ExecProc();
    QCOMPARE(proc.RowsAffected(), int(pairs.size()));

    TQuery matched;
    matched.SetDatabase(FDb.get());
    matched.SetSQL({QStringLiteral("SELECT EntryID, MatchedID FROM MatchedEntries")});
    matched.Open();
    QStringList actual;
    for (; !matched.Eof(); matched.Next())
        actual << FLabels.value(matched.Fields(0)->AsLargeInt(), QStringLiteral("?")) + u'=' +
                      FScannedLabels.value(matched.Fields(1)->AsLargeInt(), QStringLiteral("?"));
    QCOMPARE(sorted(actual), sorted(pairs));
}

QTEST_GUILESS_MAIN(TestSavedQueries)
#include "tst_SavedQueries.moc"
