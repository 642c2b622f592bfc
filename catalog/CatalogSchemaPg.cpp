// The catalogue on a PostgreSQL server: the same tables as in a file, built from the same
// statements through the driver's translation, with a table of its own in place of the file
// header's application id and layout version, and without the word indexes of the file's engine.

#include "CatalogSchemaPg.h"

#include "CatalogSchema.h"
#include "DatabaseError.h"
#include "Databases.h"
#include "PgStatements.h"
#include "Statements.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSet>

using namespace Qt::StringLiterals;

namespace CatalogSchema {

namespace {

// The file's scratch tables that older files hold; on a server each connection has its own only.
bool sharedScratchTable(const QString &statement)
{
    for (const char *table : {"TEMP_CD", "Temp_Entry", "MatchedEntries"})
        if (statement.startsWith(QStringLiteral("CREATE TABLE %1 ").arg(QLatin1StringView(table))))
            return true;
    return false;
}

// The name a CREATE TABLE or CREATE INDEX statement makes or builds on, lowered.
QString createdTable(const QString &statement)
{
    static const QRegularExpression table(QStringLiteral("^CREATE\\s+TABLE\\s+\"?(\\w+)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = table.match(statement);
    return m.hasMatch() ? m.captured(1).toLower() : QString();
}

QStringList neededTables(const QString &statement)
{
    static const QRegularExpression reference(QStringLiteral("\\b(?:REFERENCES|ON|INTO|FROM)\\s+\"?(\\w+)"),
                                              QRegularExpression::CaseInsensitiveOption);
    QStringList tables;
    const QString own = createdTable(statement);
    for (const QRegularExpressionMatch &m : reference.globalMatch(statement)) {
        const QString name = m.captured(1).toLower();
        if (name != own && !tables.contains(name))
            tables << name;
    }
    return tables;
}

// Raises what a foreign key would when a row written refers to no row of table by column; each
// row referred to is looked for once, however many rows refer to it.
QString referenceCheck(QStringView column, QStringView table, QStringView key)
{
    return uR"sql(  IF (SELECT count(*) FROM (SELECT 1 FROM "%2" r WHERE r."%3" IN (SELECT w."%1" FROM written w)
                            FOR KEY SHARE OF r) k)
     <> (SELECT count(DISTINCT w."%1") FROM written w) THEN
    RAISE foreign_key_violation USING MESSAGE =
      'insert or update on table "Entries" violates foreign key constraint "Entries.%1"';
  END IF;
)sql"_s.arg(column, table, key);
}

// The references of an entry to its parent folder and to its picture. A foreign key is checked
// row by row, each check a query of its own: a scan, writing a few hundred rows a statement,
// spent more on those than on everything else it writes. These triggers check the rows of a
// statement at once, as the keys would, and take the same locks: a folder or a picture referred
// to cannot go before the transaction that refers to it ends.
//
// They also note the entries whose names the name search does not hold yet (NamesPending), which
// vnx_index_names adds to it a slice at a time: the trigram index costs a scan as much again as
// everything else, and is better built after it, in the background. An entry is always either
// in NameSearch with its name or in NamesPending; each slice locks the entries it reads, so that
// a name changed meanwhile is noted again once the slice is in.
//
// Their statements are planned once and kept while the table grows from nothing during a scan:
// they are told to read the entries by their indexes, which a plan made for a few rows would not.
QStringList serverTriggerStatements()
{
    return {
        // The entries of a statement that wrote them or changed their names, a row each.
        uR"sql(CREATE TABLE IF NOT EXISTS "NamesPending" ("IDs" INTEGER[] NOT NULL))sql"_s,
        uR"sql(CREATE OR REPLACE FUNCTION vnx_entries_written() RETURNS trigger LANGUAGE plpgsql AS $body$
BEGIN
)sql"_s + referenceCheck(u"Parent", u"Entries", u"ID") +
            referenceCheck(u"ImageID", u"Images", u"ImageID") + uR"sql(
  IF TG_OP = 'INSERT' THEN
    INSERT INTO "NamesPending" ("IDs")
      SELECT a FROM (SELECT array_agg(w."ID") a FROM written w WHERE w."Name" IS NOT NULL) n
      WHERE a IS NOT NULL;
    RETURN NULL;
  END IF;
  -- An entry whose ID changed may not leave the entries below it behind.
  IF EXISTS (SELECT 1 FROM removed r WHERE NOT EXISTS (SELECT 1 FROM written w WHERE w."ID" = r."ID"))
     AND EXISTS (SELECT 1 FROM removed r
                 WHERE NOT EXISTS (SELECT 1 FROM "Entries" e WHERE e."ID" = r."ID")
                 AND EXISTS (SELECT 1 FROM "Entries" c WHERE c."Parent" = r."ID")) THEN
    RAISE foreign_key_violation USING MESSAGE =
      'update or delete on table "Entries" violates foreign key constraint "Entries.Parent" on table "Entries"';
  END IF;
  INSERT INTO "NamesPending" ("IDs")
    SELECT a FROM (SELECT array_agg(c."ID") a FROM (
      SELECT w."ID" FROM written w LEFT JOIN removed r ON r."ID" = w."ID"
      WHERE r."ID" IS NULL OR r."Name" IS DISTINCT FROM w."Name"
      UNION ALL
      SELECT r."ID" FROM removed r WHERE NOT EXISTS (SELECT 1 FROM written w WHERE w."ID" = r."ID")) c) n
    WHERE a IS NOT NULL;
  RETURN NULL;
END
$body$ SET enable_seqscan = off)sql"_s,
        // What lies below the entries deleted goes with them, all levels in one statement: the
        // trigger that statement fires again finds nothing left below, and deletes nothing, which
        // would fire it once more.
        uR"sql(CREATE OR REPLACE FUNCTION vnx_entries_removed() RETURNS trigger LANGUAGE plpgsql AS $body$
BEGIN
  DELETE FROM "NameSearch" WHERE "ID" IN (SELECT r."ID" FROM removed r);
  IF NOT EXISTS (SELECT 1 FROM "Entries" e WHERE e."Parent" IN (SELECT r."ID" FROM removed r)) THEN
    RETURN NULL;
  END IF;
  WITH RECURSIVE below ("ID") AS (
    SELECT e."ID" FROM "Entries" e WHERE e."Parent" IN (SELECT r."ID" FROM removed r)
    UNION SELECT e."ID" FROM "Entries" e JOIN below b ON e."Parent" = b."ID")
  DELETE FROM "Entries" WHERE "ID" IN (SELECT "ID" FROM below);
  RETURN NULL;
END
$body$ SET enable_seqscan = off)sql"_s,
        // A picture that entries show may not go. Only a picture whose ID is gone is looked for
        // among the entries, which have no index by picture.
        uR"sql(CREATE OR REPLACE FUNCTION vnx_images_removed() RETURNS trigger LANGUAGE plpgsql AS $body$
DECLARE
  gone smallint[];
BEGIN
  SELECT array_agg(r."ImageID") INTO gone FROM removed r
    WHERE NOT EXISTS (SELECT 1 FROM "Images" i WHERE i."ImageID" = r."ImageID");
  IF gone IS NOT NULL AND EXISTS (SELECT 1 FROM "Entries" e WHERE e."ImageID" = ANY (gone)) THEN
    RAISE foreign_key_violation USING MESSAGE =
      'update or delete on table "Images" violates foreign key constraint "Entries.ImageID" on table "Entries"';
  END IF;
  RETURN NULL;
END
$body$)sql"_s,
        // Moves the entries of up to slice rows of NamesPending into NameSearch, in the
        // transaction of the statement that calls it; gives how many entries it took, 0 when none
        // was left. Rows another program's slice holds are left to it.
        uR"sql(CREATE OR REPLACE FUNCTION vnx_index_names(slice integer) RETURNS integer LANGUAGE plpgsql AS $body$
DECLARE
  rows tid[];
  ids integer[];
BEGIN
  SELECT array_agg(p.ctid), array_agg(DISTINCT i) INTO rows, ids
    FROM (SELECT ctid, "IDs" FROM "NamesPending" LIMIT slice FOR UPDATE SKIP LOCKED) p,
         unnest(p."IDs") i;
  IF ids IS NULL THEN
    RETURN 0;
  END IF;
  PERFORM 1 FROM "Entries" e WHERE e."ID" = ANY (ids) ORDER BY e."ID" FOR SHARE OF e;
  DELETE FROM "NamesPending" WHERE ctid = ANY (rows);
  DELETE FROM "NameSearch" s WHERE s."ID" = ANY (ids)
    AND NOT EXISTS (SELECT 1 FROM "Entries" e WHERE e."ID" = s."ID" AND e."Name" IS NOT NULL);
  INSERT INTO "NameSearch" ("ID", "Name")
    SELECT e."ID", e."Name" FROM "Entries" e WHERE e."ID" = ANY (ids) AND e."Name" IS NOT NULL
    ON CONFLICT ("ID") DO UPDATE SET "Name" = excluded."Name";
  RETURN cardinality(ids);
END
$body$)sql"_s,
        uR"sql(CREATE TRIGGER "vnx_Entries.Added" AFTER INSERT ON "Entries"
  REFERENCING NEW TABLE AS written FOR EACH STATEMENT EXECUTE FUNCTION vnx_entries_written())sql"_s,
        uR"sql(CREATE TRIGGER "vnx_Entries.Changed" AFTER UPDATE ON "Entries"
  REFERENCING OLD TABLE AS removed NEW TABLE AS written FOR EACH STATEMENT EXECUTE FUNCTION vnx_entries_written())sql"_s,
        uR"sql(CREATE TRIGGER "vnx_Entries.Removed" AFTER DELETE ON "Entries"
  REFERENCING OLD TABLE AS removed FOR EACH STATEMENT EXECUTE FUNCTION vnx_entries_removed())sql"_s,
        uR"sql(CREATE TRIGGER "vnx_Images.Changed" AFTER UPDATE ON "Images"
  REFERENCING OLD TABLE AS removed FOR EACH STATEMENT EXECUTE FUNCTION vnx_images_removed())sql"_s,
        uR"sql(CREATE TRIGGER "vnx_Images.Removed" AFTER DELETE ON "Images"
  REFERENCING OLD TABLE AS removed FOR EACH STATEMENT EXECUTE FUNCTION vnx_images_removed())sql"_s,
    };
}

// The Entries table without its foreign keys, which serverTriggerStatements stand in for.
QString withoutEntryReferences(QString statement)
{
    if (createdTable(statement) != u"entries")
        return statement;
    static const QRegularExpression reference(
        QStringLiteral("\\s+REFERENCES\\s+(?:Entries\\s*\\(\\s*ID\\s*\\)\\s+ON\\s+DELETE\\s+CASCADE|"
                       "Images\\s*\\(\\s*ImageID\\s*\\))"),
        QRegularExpression::CaseInsensitiveOption);
    return statement.remove(reference);
}

} // namespace

bool FileEngineOnly(const QString &statement)
{
    // The word indexes and what keeps them: the file's engine has them, the server its own.
    static const QRegularExpression words(
        QStringLiteral("\\b(EntryNames|EntryTexts|SearchIndexed|WholeNames)\\b"));
    return statement.contains(words) || statement.contains(u"VIRTUAL TABLE", Qt::CaseInsensitive);
}

QStringList PostgresTableStatements()
{
    QStringList pending;
    for (QString statement : TableStatements()) {
        if (FileEngineOnly(statement) || sharedScratchTable(statement))
            continue;
        // SQLite browses a table without a key by its row numbers; on a server a table is
        // browsed by an integer key, so Ext and Nfo, which the setup windows edit, get one that
        // no statement of the program names.
        if (!createdTable(statement).isEmpty() && !statement.contains(u"PRIMARY KEY", Qt::CaseInsensitive))
            statement.insert(statement.indexOf(u'(') + 1,
                             QStringLiteral("RowKey INTEGER PRIMARY KEY AUTOINCREMENT, "));
        pending << withoutEntryReferences(statement);
    }
    // SQLite takes a reference to a table made later; the server wants the table there first.
    QStringList ordered;
    QSet<QString> made;
    const QSet<QString> makes = [&pending] {
        QSet<QString> names;
        for (const QString &statement : pending)
            if (const QString name = createdTable(statement); !name.isEmpty())
                names.insert(name);
        return names;
    }();
    while (!pending.isEmpty()) {
        const qsizetype before = pending.size();
        for (qsizetype i = 0; i < pending.size();) {
            const QStringList needs = neededTables(pending[i]);
            const bool ready = std::all_of(needs.begin(), needs.end(), [&](const QString &name) {
                return made.contains(name) || !makes.contains(name);
            });
            if (!ready) {
                ++i;
                continue;
            }
            if (const QString name = createdTable(pending[i]); !name.isEmpty())
                made.insert(name);
            ordered << pending.takeAt(i);
        }
        if (pending.size() == before) { // a cycle: the server tells which
            ordered += pending;
            break;
        }
    }
    return ordered + PgSearchIndexStatements();
}

void CreateTables(TDatabase &database)
{
    if (!database.IsPostgres()) {
        for (const QString &statement : TableStatements())
            database.ExecSQL(statement);
        return;
    }
    for (const QString &statement : PostgresTableStatements())
        database.ExecSQL(statement);
    for (const QString &statement : serverTriggerStatements())
        database.PgConnection()->Exec(statement);
}

bool IsEmptyDatabase(TDatabase &database)
{
    if (!database.IsPostgres())
        return !database.TableExists(QStringLiteral("Entries")) &&
               !database.TableExists(QString::fromUtf16(TDatabase::SavedQueriesTable));
    const std::shared_ptr<TStatement> tables = database.Prepare(
        QStringLiteral("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                       "WHERE c.relkind IN ('r', 'v', 'm', 'p', 'f') AND n.nspname NOT IN ('pg_catalog', "
                       "'information_schema') AND n.nspname NOT LIKE 'pg\\_%'"));
    return tables->Step() && tables->ColumnInt64(0) == 0;
}

namespace Pg {

int LayoutOf(TDatabase &database)
{
    if (!database.TableExists(QString::fromUtf16(LayoutTable)))
        return 0;
    const std::shared_ptr<TStatement> layout =
        database.Prepare(QStringLiteral("SELECT max(Layout) FROM %1").arg(QString::fromUtf16(LayoutTable)));
    return layout->Step() && !layout->ColumnIsNull(0) ? int(layout->ColumnInt64(0)) : 0;
}

bool Create(TDatabase &database)
{
    // Two programs starting at once on the same empty database: one makes the catalogue, the
    // other waits until that is committed and then finds it made. The lock ends with the
    // transaction.
    database.ExecSQL(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(ApplicationId));
    database.InvalidateSchema();
    if (LayoutOf(database) > 0)
        return false;
    // Trigrams serve the searches by part of a name; a trusted extension that the owner of a
    // database may add.
    database.ExecSQL(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"));
    CreateTables(database);
    return true;
}

int IndexNames(TDatabase &database, int notes)
{
    const std::shared_ptr<TStatement> index = database.Prepare(QStringLiteral("SELECT vnx_index_names(?)"));
    index->Bind(1, TVariant(qint32(notes)));
    return index->Step() ? int(index->ColumnInt64(0)) : 0;
}

void Upgrade(TDatabase &database, int from)
{
    if (from != 5)
        return;
    // 5 to 6: the entries' foreign keys give way to the triggers that check a statement's rows
    // at once, the name search gets a table of its own, and the index of descriptions leaves out
    // the entries without one.
    database.PgConnection()->Exec(
        QStringLiteral("DO $do$\n"
                       "DECLARE\n"
                       "  k record;\n"
                       "BEGIN\n"
                       "  FOR k IN SELECT conname FROM pg_constraint WHERE contype = 'f' AND conrelid = "
                       "'\"Entries\"'::regclass "
                       "AND confrelid IN ('\"Entries\"'::regclass, '\"Images\"'::regclass) LOOP\n"
                       "    EXECUTE format('ALTER TABLE \"Entries\" DROP CONSTRAINT %I', k.conname);\n"
                       "  END LOOP;\n"
                       "END\n"
                       "$do$"));
    // The name search moves to a table of its own, filled in the background from every entry.
    database.ExecSQL(QStringLiteral("DROP INDEX IF EXISTS \"Entries.NameTrigrams\""));
    database.ExecSQL(QStringLiteral("DROP INDEX IF EXISTS \"Entries.LowerName\""));
    database.ExecSQL(QStringLiteral("DROP INDEX IF EXISTS \"Entries.DescriptionWords\""));
    for (const QString &statement : PgSearchIndexStatements())
        database.ExecSQL(statement);
    for (const QString &statement : serverTriggerStatements())
        database.PgConnection()->Exec(statement);
    database.PgConnection()->Exec(uR"sql(INSERT INTO "NamesPending" ("IDs")
  SELECT array_agg("ID") FROM "Entries" WHERE "Name" IS NOT NULL GROUP BY "ID" / 256)sql"_s);
}

void SetLayout(TDatabase &database, int layout)
{
    const QString table = QString::fromUtf16(LayoutTable);
    if (!database.TableExists(table))
        database.ExecSQL(QStringLiteral("CREATE TABLE %1 (Layout INTEGER NOT NULL)").arg(table));
    database.ExecSQL(QStringLiteral("DELETE FROM %1; INSERT INTO %1 (Layout) VALUES (?)").arg(table),
                     {TVariant(qint32(layout))});
}

} // namespace Pg

} // namespace CatalogSchema
