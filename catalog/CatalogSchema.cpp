#include "CatalogSchema.h"

#include "CatalogSchemaPg.h"
#include "Databases.h"
#include "DefaultTypes.h"
#include "Queries.h"
#include "SavedQueries.h"
#include "SqliteStatements.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <limits>
#include <sqlite3.h>

namespace CatalogSchema {

namespace {

// The columns of TEMP_CD, Temp_Entry and MatchedEntries, in that order.
QString ScratchColumns(int table)
{
    static const QString columns[] = {
        QStringLiteral("(ID INTEGER)"),
        QStringLiteral("(ID INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "Parent INTEGER, "
                       "Name VARCHAR(1024), "
                       "Size BIGINT, "
                       "Modified DATETIME, "
                       "ImageID SMALLINT, "
                       "CD INTEGER, "
                       "Description TEXT, "
                       "Folder BOOLEAN NOT NULL DEFAULT 0, "
                       "FullPath VARCHAR(65535))"),
        QStringLiteral("(EntryID INTEGER, MatchedID INTEGER)"),
    };
    return columns[table];
}

} // namespace

QStringList TableStatements()
{
    return QStringList{
               // One row per volume, folder and file, and per folder and file inside an archive found
               // on a volume (InArchive); an archive whose entries were read (Archive) holds them as
               // a folder holds its own. A folder's rows cascade from it, and a volume's CDs
               // row cascades from its root; DeleteCD also deletes by CD, since the engine stops
               // cascading at a depth a volume may exceed. Names and paths are wider than 255 characters:
               // a Linux name is up to 255 bytes, which can take more characters here (bytes that are
               // not UTF-8 become characters outside the basic plane), a path has no such limit, and a
               // text field never keeps more than its width.
               QStringLiteral("CREATE TABLE Entries ("
                              "ID INTEGER PRIMARY KEY AUTOINCREMENT, "
                              "Parent INTEGER REFERENCES Entries(ID) ON DELETE CASCADE, "
                              "Name VARCHAR(1024), "
                              "Size BIGINT, "
                              "Modified DATETIME, "
                              "ImageID SMALLINT REFERENCES Images(ImageID), "
                              "CD INTEGER, "
                              "Folder BOOLEAN NOT NULL DEFAULT 0, "
                              "FullPath VARCHAR(65535), "
                              "Description TEXT, "
                              "InArchive BOOLEAN NOT NULL DEFAULT 0, "
                              "Archive BOOLEAN NOT NULL DEFAULT 0)"),
               QStringLiteral("CREATE INDEX \"Entries.Parent\" ON Entries(Parent)"),
               QStringLiteral("CREATE INDEX \"Entries.CD\" ON Entries(CD)"),
               // Source: the folder or disc image file the volume was read from, where an update
               // or an open looks for it when no drive has its serial number; NULL for a drive.
               QStringLiteral("CREATE TABLE CDs ("
                              "ID INTEGER PRIMARY KEY REFERENCES Entries(ID) ON DELETE CASCADE, "
                              "SerialNum VARCHAR(9), "
                              "VolumeLabel VARCHAR(50), "
                              "Source VARCHAR(65535))"),
               QStringLiteral("CREATE INDEX \"CDs.SerialNum\" ON CDs(SerialNum)"),
               QStringLiteral("CREATE TABLE Images ("
                              "ImageID SMALLINT PRIMARY KEY, "
                              "CD BOOLEAN NOT NULL DEFAULT 0, "
                              "Description VARCHAR(50), "
                              "Large BLOB, "
                              "Small BLOB)"),
               // A type's extensions go with it; a type that entries still use cannot go.
               QStringLiteral(
                   "CREATE TABLE Ext (Name VARCHAR(4), ImageID SMALLINT REFERENCES Images(ImageID) ON "
                   "DELETE CASCADE)"),
               QStringLiteral("CREATE INDEX \"Ext.ImageID\" ON Ext(ImageID)"),
               QStringLiteral("CREATE INDEX \"Ext.Name\" ON Ext(Name)"),
               QStringLiteral("CREATE TABLE Nfo (NameNFO VARCHAR(255), ForFolder BOOLEAN NOT NULL DEFAULT 0, "
                              "ForFile BOOLEAN NOT NULL DEFAULT 0)"),
               // Files made before each connection had scratch tables of its own hold these; they are
               // kept, unused, as the connection's tables of the same names come first.
               QStringLiteral("CREATE TABLE TEMP_CD %1").arg(ScratchColumns(0)),
               QStringLiteral("CREATE TABLE Temp_Entry %1").arg(ScratchColumns(1)),
               QStringLiteral("CREATE TABLE MatchedEntries %1").arg(ScratchColumns(2)),
           } +
           SearchIndexStatements() + WholeNameStatements();
}

QStringList SearchIndexStatements()
{
    // Both word indexes read their text from Entries (rowid = ID) and keep no copy of it. Neither
    // keeps lengths (columnsize), which no search ranks by. The names' index keeps no positions
    // either (detail): its searches ask for single threes, and it is a fraction of the size.
    //
    // New entries are added in bulk (UpdateSearchIndexes), not by a trigger: a trigger on adding
    // an entry has the engine keep a journal of every statement that adds one, and the word
    // indexes write out what they hold at each such statement, which a scan, adding its entries
    // one by one, would pay for every entry. SearchIndexed tells up to which ID the indexes hold
    // the entries, the catalogue's IDs only growing; the triggers keep those in step as they
    // change or go. An index told to delete a text it never held is damaged, hence the conditions
    // on NULL.
    const QString indexed = QStringLiteral("(SELECT UpTo FROM SearchIndexed)");
    return {
        QStringLiteral("CREATE TABLE SearchIndexed (UpTo INTEGER NOT NULL)"),
        QStringLiteral("INSERT INTO SearchIndexed (UpTo) SELECT coalesce(max(ID), 0) FROM Entries"),
        // Every three characters of every name, case folded: finds the names holding a text.
        QStringLiteral("CREATE VIRTUAL TABLE EntryNames USING fts5(Name, content='Entries', "
                       "content_rowid='ID', tokenize='trigram', detail='none', columnsize=0)"),
        // The words of descriptions, accents aside.
        QStringLiteral("CREATE VIRTUAL TABLE EntryTexts USING fts5(Description, content='Entries', "
                       "content_rowid='ID', tokenize='unicode61 remove_diacritics 2', columnsize=0)"),
        QStringLiteral("CREATE TRIGGER \"SearchIndexes.Delete\" AFTER DELETE ON Entries "
                       "WHEN old.ID <= %1 BEGIN "
                       "INSERT INTO EntryNames (EntryNames, rowid, Name) "
                       "SELECT 'delete', old.ID, old.Name WHERE old.Name IS NOT NULL; "
                       "INSERT INTO EntryTexts (EntryTexts, rowid, Description) "
                       "SELECT 'delete', old.ID, old.Description WHERE old.Description IS NOT NULL; END")
            .arg(indexed),
        QStringLiteral("CREATE TRIGGER \"EntryNames.Update\" AFTER UPDATE OF ID, Name ON Entries "
                       "WHEN old.ID IS NOT new.ID OR old.Name IS NOT new.Name BEGIN "
                       "INSERT INTO EntryNames (EntryNames, rowid, Name) "
                       "SELECT 'delete', old.ID, old.Name WHERE old.Name IS NOT NULL AND old.ID <= %1; "
                       "INSERT INTO EntryNames (rowid, Name) "
                       "SELECT new.ID, new.Name WHERE new.Name IS NOT NULL AND new.ID <= %1; END")
            .arg(indexed),
        QStringLiteral(
            "CREATE TRIGGER \"EntryTexts.Update\" AFTER UPDATE OF ID, Description ON Entries "
            "WHEN old.ID IS NOT new.ID OR old.Description IS NOT new.Description BEGIN "
            "INSERT INTO EntryTexts (EntryTexts, rowid, Description) "
            "SELECT 'delete', old.ID, old.Description WHERE old.Description IS NOT NULL AND old.ID <= %1; "
            "INSERT INTO EntryTexts (rowid, Description) "
            "SELECT new.ID, new.Description WHERE new.Description IS NOT NULL AND new.ID <= %1; END")
            .arg(indexed),
    };
}

QStringList WholeNameStatements()
{
    // The names as NOCASE compares them, which is how a whole name is found, next to their IDs: a
    // whole name is looked up here instead of being tested on each entry holding its threes.
    // A table rather than an index on Entries: a scan adds its entries in the order it walks
    // them, which would write to the index at a place of its own for nearly every one; this
    // table gets them a slice at a time, sorted, as the word indexes do.
    const QString indexed = QStringLiteral("(SELECT UpTo FROM SearchIndexed)");
    return {
        QStringLiteral("CREATE TABLE WholeNames (Name VARCHAR(1024) NOT NULL COLLATE NOCASE, "
                       "ID INTEGER NOT NULL, PRIMARY KEY (Name, ID)) WITHOUT ROWID"),
        QStringLiteral("CREATE TRIGGER \"WholeNames.Delete\" AFTER DELETE ON Entries "
                       "WHEN old.ID <= %1 AND old.Name IS NOT NULL BEGIN "
                       "DELETE FROM WholeNames WHERE Name = old.Name AND ID = old.ID; END")
            .arg(indexed),
        QStringLiteral("CREATE TRIGGER \"WholeNames.Update\" AFTER UPDATE OF ID, Name ON Entries "
                       "WHEN old.ID IS NOT new.ID OR old.Name IS NOT new.Name BEGIN "
                       "DELETE FROM WholeNames WHERE Name = old.Name AND ID = old.ID; "
                       "INSERT INTO WholeNames (Name, ID) "
                       "SELECT new.Name, new.ID WHERE new.Name IS NOT NULL AND new.ID <= %1; END")
            .arg(indexed),
    };
}

QStringList IndexEntriesStatements()
{
    const QString slice = QStringLiteral("WHERE ID > (SELECT UpTo FROM SearchIndexed) AND ID <= :last");
    return {
        QStringLiteral("INSERT INTO EntryNames (rowid, Name) SELECT ID, Name FROM Entries %1 "
                       "AND Name IS NOT NULL ORDER BY ID")
            .arg(slice),
        QStringLiteral("INSERT INTO EntryTexts (rowid, Description) SELECT ID, Description FROM Entries %1 "
                       "AND Description IS NOT NULL ORDER BY ID")
            .arg(slice),
        QStringLiteral("INSERT INTO WholeNames (Name, ID) SELECT Name, ID FROM Entries %1 "
                       "AND Name IS NOT NULL ORDER BY Name COLLATE NOCASE, ID")
            .arg(slice),
        QStringLiteral("UPDATE SearchIndexed SET UpTo = max(UpTo, min(:last, "
                       "coalesce((SELECT max(ID) FROM Entries), 0)))"),
    };
}

void UpdateSearchIndexes(TDatabase &database)
{
    if (database.ReadOnly())
        return;
    // A server keeps the words of descriptions itself, and notes the names it has yet to add.
    if (database.IsPostgres()) {
        if (database.InTransaction()) {
            Pg::IndexNames(database, std::numeric_limits<int>::max());
            return;
        }
        while (Pg::IndexNames(database, Pg::NotesPerSlice) > 0) {
        }
        return;
    }
    if (!database.TableExists(QStringLiteral("SearchIndexed")))
        return;
    {
        TQuery pending;
        pending.SetDatabase(&database);
        pending.SetSQL({QString::fromLatin1(IndexesBehindSql)});
        pending.Open();
        if (pending.Fields(0)->AsInteger() == 0)
            return;
    }
    const auto work = [&database] {
        for (const QString &sql : IndexEntriesStatements())
            ExecuteScript(database.Handle(), sql, [](TSqliteStatement &statement) {
                statement.Bind(statement.ParameterIndex(QStringLiteral(":last")),
                               TVariant(std::numeric_limits<qint64>::max()));
            });
    };
    if (database.InTransaction()) {
        work();
        return;
    }
    // While another program writes the catalogue, the search goes on without waiting for it.
    sqlite3_busy_timeout(database.Handle(), 0);
    const auto restore =
        qScopeGuard([&database] { sqlite3_busy_timeout(database.Handle(), database.BusyTimeout()); });
    database.RunInTransaction(work);
}

namespace {

QString notACatalogue(const TDatabase &database)
{
    return QCoreApplication::translate("CatalogSchema", "%1 is not a VOR-NEX catalogue.")
        .arg(database.FileName());
}

// Steps from each older layout to the next; index 0 upgrades layout 1 to 2, and so on.
const std::vector<QStringList> &UpgradeSteps()
{
    static const std::vector<QStringList> steps{
        // 1 to 2: the indexes of names and descriptions, filled from the entries there are; the
        // info-file queries look only at the folders the walk noted (InfoFolders, a scratch table
        // of each connection), and the queries are stored anew below.
        SearchIndexStatements() +
            QStringList{QStringLiteral("INSERT INTO EntryNames (EntryNames) VALUES ('rebuild')"),
                        QStringLiteral("INSERT INTO EntryTexts (EntryTexts) VALUES ('rebuild')")},
        // 2 to 3: the entries inside archives; no archive of an older catalogue was read.
        QStringList{QStringLiteral("ALTER TABLE Entries ADD COLUMN InArchive BOOLEAN NOT NULL DEFAULT 0"),
                    QStringLiteral("ALTER TABLE Entries ADD COLUMN Archive BOOLEAN NOT NULL DEFAULT 0")},
        // 3 to 4: where folders and disc images were read from; older volumes do not say.
        QStringList{QStringLiteral("ALTER TABLE CDs ADD COLUMN Source VARCHAR(65535)")},
        // 4 to 5: the whole names, of the entries the word indexes hold; the others follow with
        // them.
        WholeNameStatements() +
            QStringList{QStringLiteral("INSERT INTO WholeNames (Name, ID) SELECT Name, ID FROM Entries "
                                       "WHERE ID <= (SELECT UpTo FROM SearchIndexed) AND Name IS NOT NULL "
                                       "ORDER BY Name COLLATE NOCASE, ID")},
        // 5 to 6: nothing in a file; a server checks the entries' references its own way
        // (Pg::Upgrade).
        QStringList{},
    };
    return steps;
}

int pragmaValue(TDatabase &database, const QString &pragma)
{
    TQuery query;
    query.SetDatabase(&database);
    query.SetSQL({QStringLiteral("PRAGMA ") + pragma});
    query.Open();
    return query.Fields(0)->AsInteger();
}

} // namespace

QString DefaultFilePath()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/vor-nex/vor-nex.db");
}

void CreateFile(const QString &path)
{
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        throw EDatabaseError(QCoreApplication::translate("CatalogSchema", "Cannot create the folder %1")
                                 .arg(target.absolutePath()));
    const QString building = path + QStringLiteral(".new");
    QFile::remove(building);
    {
        TDatabase database;
        database.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
        database.SetParams({QStringLiteral("DATABASE NAME=") + building, QStringLiteral("CREATE=TRUE")});
        try {
            database.Open();
            Create(database);
            database.Close();
        } catch (...) {
            database.Close();
            QFile::remove(building);
            throw;
        }
    }
    if (!QFile::rename(building, path)) {
        QFile::remove(building);
        throw EDatabaseError(
            QCoreApplication::translate("CatalogSchema", "Cannot create the catalogue %1").arg(path));
    }
}

void EnsureAlias(const QString &aliasName)
{
    TSession &session = TSession::Default();
    if (session.IsAlias(aliasName)) {
        EnsureServerCatalogueOf(aliasName);
        return;
    }
    const QString path = DefaultFilePath();
    // A file already there (a catalogue whose alias was lost) is kept as it is.
    if (!QFileInfo::exists(path))
        CreateFile(path);
    session.AddAlias(aliasName, QString::fromUtf16(TDatabase::DriverSqlite),
                     {QStringLiteral("DATABASE NAME=") + path, QStringLiteral("OPEN MODE=READ/WRITE")});
    session.SaveConfigFile();
}

void CreateScratchTables(TDatabase &database)
{
    // TEMP_CD holds the one volume the info-file queries look at; keyed, as a server wants a table
    // it browses to be.
    database.ExecSQL(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS TEMP_CD (ID INTEGER PRIMARY KEY);"
                                    "CREATE TEMP TABLE IF NOT EXISTS Temp_Entry %1;"
                                    "CREATE TEMP TABLE IF NOT EXISTS MatchedEntries %2;"
                                    "CREATE TEMP TABLE IF NOT EXISTS InfoFolders (ID INTEGER PRIMARY KEY)")
                         .arg(ScratchColumns(1), ScratchColumns(2)));
}

int FileVersion(TDatabase &database)
{
    if (database.IsPostgres())
        return Pg::LayoutOf(database);
    return pragmaValue(database, QStringLiteral("user_version"));
}

bool Create(TDatabase &database)
{
    bool made = true;
    database.RunInTransaction([&database, &made] {
        if (database.IsPostgres()) {
            made = Pg::Create(database);
            if (!made)
                return;
        } else {
            for (const QString &statement : TableStatements())
                database.ExecSQL(statement);
        }
        for (const TSavedQuery &query : CatalogSavedQueries())
            database.StoreSavedQuery(query.Name, query.Statement);
        for (const TDefaultType &type : DefaultTypes()) {
            database.ExecSQL(
                QStringLiteral(
                    "INSERT INTO Images (ImageID, CD, Description, Large, Small) VALUES (?, ?, ?, ?, ?)"),
                {TVariant(type.ImageID), TVariant(type.CD), TVariant(type.Description),
                 TVariant(DefaultPicture(type.ImageID, 32)), TVariant(DefaultPicture(type.ImageID, 16))});
            for (const QString &extension : type.Extensions)
                database.ExecSQL(QStringLiteral("INSERT INTO Ext (Name, ImageID) VALUES (?, ?)"),
                                 {TVariant(extension), TVariant(type.ImageID)});
        }
        for (const TDefaultPattern &pattern : DefaultInfoPatterns())
            database.ExecSQL(
                QStringLiteral("INSERT INTO Nfo (NameNFO, ForFolder, ForFile) VALUES (?, ?, ?)"),
                {TVariant(pattern.NameNFO), TVariant(pattern.ForFolder), TVariant(pattern.ForFile)});
        if (database.IsPostgres()) {
            Pg::SetLayout(database, Version);
            return;
        }
        database.ExecSQL(QStringLiteral("PRAGMA application_id = %1").arg(ApplicationId));
        database.ExecSQL(QStringLiteral("PRAGMA user_version = %1").arg(Version));
    });
    return made;
}

void CheckAndUpgrade(TDatabase &database)
{
    const int version = FileVersion(database);
    if (version <= 0 ||
        (!database.IsPostgres() && pragmaValue(database, QStringLiteral("application_id")) != ApplicationId))
        throw EDatabaseError(notACatalogue(database));
    if (version > Version)
        throw EDatabaseError(
            QCoreApplication::translate("CatalogSchema",
                                        "The catalogue %1 was written by a newer version of VOR-NEX "
                                        "(layout %2; this program knows layouts up to %3). "
                                        "It has been left as it is.")
                .arg(database.FileName())
                .arg(version)
                .arg(Version));
    if (version == Version)
        return;
    database.RunInTransaction([&database, version] {
        for (int from = version; from < Version; ++from) {
            for (const QString &statement : UpgradeSteps().at(size_t(from - 1)))
                if (!database.IsPostgres() || !FileEngineOnly(statement))
                    database.ExecSQL(statement);
            if (database.IsPostgres())
                Pg::Upgrade(database, from);
        }
        // The saved queries fit one layout: those of this program replace the file's.
        for (const TSavedQuery &query : CatalogSavedQueries())
            database.StoreSavedQuery(query.Name, query.Statement);
        if (database.IsPostgres())
            Pg::SetLayout(database, Version);
        else
            database.ExecSQL(QStringLiteral("PRAGMA user_version = %1").arg(Version));
    });
}

} // namespace CatalogSchema
