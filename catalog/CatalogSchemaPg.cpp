// The catalogue on a PostgreSQL server: the same tables as in a file, built from the same
// statements through the driver's translation, with a table of its own in place of the file
// header's application id and layout version, and without the word indexes of the file's engine.

#include "CatalogSchemaPg.h"

#include "CatalogSchema.h"
#include "DatabaseError.h"
#include "Databases.h"
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
        pending << statement;
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
    for (const QString &statement : PostgresTableStatements())
        database.ExecSQL(statement);
    return true;
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
