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

// The references of an entry to its parent folder and to its picture. A foreign key is checked
// row by row, each check a query of its own: a scan, writing a few hundred rows a statement,
// spent more on those than on everything else it writes. These triggers check the rows of a
// statement at once, as the keys would, and take the same locks: a folder or a picture referred
// to cannot go before the transaction that refers to it ends.
QStringList entryReferenceStatements()
{
    return {
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION vnx_entries_written() RETURNS trigger LANGUAGE plpgsql AS $body$\n"
            "BEGIN\n"
            "  PERFORM 1 FROM \"Entries\" e WHERE e.\"ID\" IN (SELECT w.\"Parent\" FROM written w) "
            "FOR KEY SHARE OF e;\n"
            "  IF EXISTS (SELECT 1 FROM written w WHERE w.\"Parent\" IS NOT NULL AND NOT EXISTS "
            "(SELECT 1 FROM \"Entries\" e WHERE e.\"ID\" = w.\"Parent\")) THEN\n"
            "    RAISE foreign_key_violation USING MESSAGE = 'insert or update on table \"Entries\" "
            "violates foreign key constraint \"Entries.Parent\"';\n"
            "  END IF;\n"
            "  PERFORM 1 FROM \"Images\" i WHERE i.\"ImageID\" IN (SELECT w.\"ImageID\" FROM written w) "
            "FOR KEY SHARE OF i;\n"
            "  IF EXISTS (SELECT 1 FROM written w WHERE w.\"ImageID\" IS NOT NULL AND NOT EXISTS "
            "(SELECT 1 FROM \"Images\" i WHERE i.\"ImageID\" = w.\"ImageID\")) THEN\n"
            "    RAISE foreign_key_violation USING MESSAGE = 'insert or update on table \"Entries\" "
            "violates foreign key constraint \"Entries.ImageID\"';\n"
            "  END IF;\n"
            // An entry whose ID changed may not leave the entries below it behind.
            "  IF TG_OP = 'UPDATE' THEN\n"
            "    IF EXISTS (SELECT 1 FROM removed r WHERE NOT EXISTS (SELECT 1 FROM \"Entries\" e "
            "WHERE e.\"ID\" = r.\"ID\") AND EXISTS (SELECT 1 FROM \"Entries\" c "
            "WHERE c.\"Parent\" = r.\"ID\")) THEN\n"
            "      RAISE foreign_key_violation USING MESSAGE = 'update or delete on table \"Entries\" "
            "violates foreign key constraint \"Entries.Parent\" on table \"Entries\"';\n"
            "    END IF;\n"
            "  END IF;\n"
            "  RETURN NULL;\n"
            "END\n"
            "$body$"),
        // What lies below the entries deleted goes with them, all levels in one statement: the
        // trigger that statement fires again finds nothing left below, and deletes nothing, which
        // would fire it once more.
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION vnx_entries_removed() RETURNS trigger LANGUAGE plpgsql AS $body$\n"
            "BEGIN\n"
            "  IF NOT EXISTS (SELECT 1 FROM \"Entries\" e WHERE e.\"Parent\" IN (SELECT r.\"ID\" FROM "
            "removed r)) "
            "THEN\n"
            "    RETURN NULL;\n"
            "  END IF;\n"
            "  WITH RECURSIVE below (\"ID\") AS (\n"
            "    SELECT e.\"ID\" FROM \"Entries\" e WHERE e.\"Parent\" IN (SELECT r.\"ID\" FROM removed r)\n"
            "    UNION SELECT e.\"ID\" FROM \"Entries\" e JOIN below b ON e.\"Parent\" = b.\"ID\")\n"
            "  DELETE FROM \"Entries\" WHERE \"ID\" IN (SELECT \"ID\" FROM below);\n"
            "  RETURN NULL;\n"
            "END\n"
            "$body$"),
        // A picture that entries show may not go. Only a picture whose ID is gone is looked for
        // among the entries, which have no index by picture.
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION vnx_images_removed() RETURNS trigger LANGUAGE plpgsql AS $body$\n"
            "DECLARE\n"
            "  gone smallint[];\n"
            "BEGIN\n"
            "  SELECT array_agg(r.\"ImageID\") INTO gone FROM removed r WHERE NOT EXISTS "
            "(SELECT 1 FROM \"Images\" i WHERE i.\"ImageID\" = r.\"ImageID\");\n"
            "  IF gone IS NOT NULL AND EXISTS (SELECT 1 FROM \"Entries\" e "
            "WHERE e.\"ImageID\" = ANY (gone)) THEN\n"
            "    RAISE foreign_key_violation USING MESSAGE = 'update or delete on table \"Images\" "
            "violates foreign key constraint \"Entries.ImageID\" on table \"Entries\"';\n"
            "  END IF;\n"
            "  RETURN NULL;\n"
            "END\n"
            "$body$"),
        QStringLiteral("CREATE TRIGGER \"vnx_Entries.Added\" AFTER INSERT ON \"Entries\" REFERENCING NEW "
                       "TABLE AS written FOR EACH STATEMENT EXECUTE FUNCTION vnx_entries_written()"),
        QStringLiteral("CREATE TRIGGER \"vnx_Entries.Changed\" AFTER UPDATE ON \"Entries\" REFERENCING OLD "
                       "TABLE AS removed NEW TABLE AS written FOR EACH STATEMENT EXECUTE FUNCTION "
                       "vnx_entries_written()"),
        QStringLiteral("CREATE TRIGGER \"vnx_Entries.Removed\" AFTER DELETE ON \"Entries\" REFERENCING OLD "
                       "TABLE AS removed FOR EACH STATEMENT EXECUTE FUNCTION vnx_entries_removed()"),
        QStringLiteral("CREATE TRIGGER \"vnx_Images.Changed\" AFTER UPDATE ON \"Images\" REFERENCING OLD "
                       "TABLE AS removed FOR EACH STATEMENT EXECUTE FUNCTION vnx_images_removed()"),
        QStringLiteral("CREATE TRIGGER \"vnx_Images.Removed\" AFTER DELETE ON \"Images\" REFERENCING OLD "
                       "TABLE AS removed FOR EACH STATEMENT EXECUTE FUNCTION vnx_images_removed()"),
    };
}

// The Entries table without its foreign keys, which entryReferenceStatements stand in for.
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
    for (const QString &statement : entryReferenceStatements())
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

void Upgrade(TDatabase &database, int from)
{
    if (from != 5)
        return;
    // 5 to 6: the entries' foreign keys give way to the triggers that check a statement's rows
    // at once, and the index of descriptions leaves out the entries without one.
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
    for (const QString &statement : entryReferenceStatements())
        database.PgConnection()->Exec(statement);
    database.ExecSQL(QStringLiteral("DROP INDEX IF EXISTS \"Entries.DescriptionWords\""));
    database.ExecSQL(PgDescriptionIndexStatement());
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
