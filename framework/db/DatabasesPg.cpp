#include "DatabaseError.h"
#include "Databases.h"
#include "PgSql.h"
#include "PgStatements.h"
#include "SqliteStatements.h"
#include "TableSql.h"

#include <QCoreApplication>
#include <QRegularExpression>

// What TDatabase does differently on a PostgreSQL server: connecting, and reading the schema from
// the system catalogues where SQLite has its PRAGMAs.

void TDatabase::OpenPostgres(const QStringList &params)
{
    TPgTarget target;
    target.Server = ParamValue(params, QStringLiteral("SERVER"));
    target.Port = ParamValue(params, QStringLiteral("PORT"));
    target.Database = ParamValue(params, QStringLiteral("DATABASE NAME"));
    target.User = ParamValue(params, QStringLiteral("USER NAME"));
    if (target.Database.isEmpty())
        throw EDatabaseError(
            QStringLiteral("The database %1 names no database on the server").arg(FDatabaseName));
    const bool create =
        ParamValue(params, QStringLiteral("CREATE")).compare(u"TRUE", Qt::CaseInsensitive) == 0;
    const bool readOnly =
        ParamValue(params, QStringLiteral("OPEN MODE")).compare(u"READ ONLY", Qt::CaseInsensitive) == 0;
    auto connection = std::make_shared<TPgConnection>(target, create);
    connection->Exec(QStringLiteral("SET datestyle = 'ISO, YMD'; SET lock_timeout = %1").arg(FBusyTimeout));
    // SQLite's NOCASE, which statements and filters name, as an ICU collation of the same name,
    // the function that keeps AUTOINCREMENT numbers above those written, GLOB, and the
    // comparisons of Booleans with 0 and 1. Making them needs
    // the right to create in the schema; without it they stay missing and a statement that needs
    // one says so.
    const auto ensure = [&](const QString &check, const QString &make) {
        TPgStatement exists(connection, check, false);
        if (exists.Step() || readOnly)
            return;
        try {
            connection->Exec(make);
        } catch (const EDatabaseError &) {
        }
    };
    ensure(QStringLiteral(
               "SELECT 1 FROM pg_collation WHERE collname = 'nocase' AND pg_collation_is_visible(oid)"),
           QStringLiteral("CREATE COLLATION IF NOT EXISTS nocase "
                          "(provider = icu, locale = 'und-u-ks-level2', deterministic = false)"));
    ensure(QStringLiteral("SELECT 1 FROM pg_proc WHERE proname = '%1' AND pg_function_is_visible(oid)")
               .arg(QString::fromUtf16(FollowIdentityFunction)),
           FollowIdentityFunctionSql());
    ensure(QStringLiteral("SELECT 1 FROM pg_operator WHERE oprname = '%1' AND pg_operator_is_visible(oid)")
               .arg(QString::fromUtf16(GlobOperator)),
           GlobOperatorSql());
    ensure(QStringLiteral("SELECT 1 FROM pg_operator WHERE oprname = '<>' AND oprleft = 'boolean'::regtype "
                          "AND oprright = 'integer'::regtype AND pg_operator_is_visible(oid)"),
           BooleanNumberOperatorsSql());
    FPg = std::move(connection);
    FFileName = target.Database;
    FReadOnly = readOnly;
    FReadOnlyReason =
        readOnly ? QStringLiteral("%1 (%2)").arg(
                       target.Database, QCoreApplication::translate("TDatabase", "opened for reading only"))
                 : QString();
    FWriteRefused = false;
    if (readOnly)
        FPg->ReadOnlyText =
            QCoreApplication::translate("TDatabase", "This catalogue is read-only: %1").arg(FReadOnlyReason);
}

namespace {

// The relation a name means for the server, looked up without regard to case as SQLite does: the
// connection's temporary tables first, then the others on the search path.
const QString &relationSql()
{
    static const QString sql =
        QStringLiteral("SELECT c.oid, c.relname FROM pg_class c WHERE c.relkind IN ('r', 'v', 'p', 'm', 'f') "
                       "AND pg_table_is_visible(c.oid) AND lower(c.relname) = lower($1::text) "
                       "ORDER BY c.relpersistence = 't' DESC, c.relname = $1::text DESC LIMIT 1");
    return sql;
}

// "'abc'::character varying" and "(0)::smallint" are how the server writes plain literals.
QString withoutCasts(QString sql)
{
    static const QRegularExpression cast(QStringLiteral("::[a-z_ ]+(\\([0-9, ]*\\))?(\\[\\])?$"));
    for (;;) {
        const QString trimmed = sql.trimmed();
        QString stripped = trimmed;
        stripped.remove(cast);
        if (stripped == trimmed)
            return trimmed;
        sql = stripped;
    }
}

} // namespace

bool TDatabase::PostgresTableExists(const QString &tableName)
{
    TPgStatement statement(FPg, relationSql(), false);
    statement.Bind(1, TVariant(tableName));
    return statement.Step();
}

std::shared_ptr<const TTableInfo> TDatabase::PostgresTableInfo(const QString &tableName)
{
    TPgStatement relation(FPg, relationSql(), false);
    relation.Bind(1, TVariant(tableName));
    if (!relation.Step())
        throw EDatabaseError(QStringLiteral("Table does not exist: %1").arg(tableName));
    const TVariant oid = TVariant(relation.ColumnInt64(0));
    auto info = std::make_unique<TTableInfo>();
    info->Name = relation.Column(1, TFieldType::String).AsString();

    TPgStatement columns(FPg,
                         QStringLiteral("SELECT a.attname, a.atttypid, a.atttypmod, a.attnotnull, "
                                        "pg_get_expr(d.adbin, d.adrelid), a.attidentity <> '' "
                                        "FROM pg_attribute a LEFT JOIN pg_attrdef d "
                                        "ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
                                        "WHERE a.attrelid = $1 AND a.attnum > 0 AND NOT a.attisdropped "
                                        "ORDER BY a.attnum"),
                         false);
    columns.Bind(1, oid);
    std::vector<bool> generated;
    while (columns.Step()) {
        TColumnInfo column;
        column.Name = columns.Column(0, TFieldType::String).AsString();
        column.DeclType =
            TPgConnection::DeclType(unsigned(columns.ColumnInt64(1)), int(columns.ColumnInt64(2)));
        column.Type = FieldTypeFromDecl(column.DeclType, &column.Size);
        column.NotNull = columns.Column(3, TFieldType::Boolean).AsBoolean();
        column.DefaultSql =
            columns.ColumnIsNull(4) ? QString() : columns.Column(4, TFieldType::String).AsString();
        column.DefaultValue = LiteralDefault(withoutCasts(column.DefaultSql));
        generated.push_back(columns.Column(5, TFieldType::Boolean).AsBoolean() ||
                            column.DefaultSql.startsWith(u"nextval("));
        info->Columns.push_back(column);
    }

    // The program's own triggers (named vnx_) change no row; only those on inserts (bit 4 of
    // tgtype) may change a row just inserted.
    TPgStatement triggers(FPg,
                          QStringLiteral("SELECT 1 FROM pg_trigger WHERE tgrelid = $1 AND NOT tgisinternal "
                                         "AND (tgtype & 4) <> 0 AND tgname NOT LIKE 'vnx\\_%'"),
                          false);
    triggers.Bind(1, oid);
    info->HasInsertTriggers = triggers.Step();

    // Index names are unique in a schema, so an index that a program calls "ID" on the Entries
    // table is stored as "Entries.ID"; both spellings are accepted. Indexes on expressions are no
    // order a table can walk and are left out.
    const QString prefix = info->Name + u'.';
    TPgStatement indexes(
        FPg,
        QStringLiteral(
            "SELECT ic.relname, i.indisunique, i.indisprimary, "
            "array_to_string(ARRAY(SELECT a.attname FROM unnest(i.indkey::int2[]) WITH ORDINALITY "
            "AS k(attnum, n) JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum "
            "ORDER BY k.n), chr(1)) "
            "FROM pg_index i JOIN pg_class ic ON ic.oid = i.indexrelid "
            "WHERE i.indrelid = $1 AND NOT 0 = ANY(i.indkey::int2[]) AND i.indpred IS NULL "
            "ORDER BY i.indisprimary DESC, ic.relname"),
        false);
    indexes.Bind(1, oid);
    while (indexes.Step()) {
        TIndexInfo index;
        const QString storedName = indexes.Column(0, TFieldType::String).AsString();
        const bool primary = indexes.Column(2, TFieldType::Boolean).AsBoolean();
        index.Unique = indexes.Column(1, TFieldType::Boolean).AsBoolean();
        index.Name = primary                                              ? QStringLiteral("PrimaryKey")
                     : storedName.startsWith(prefix, Qt::CaseInsensitive) ? storedName.mid(prefix.size())
                                                                          : storedName;
        index.Fields = indexes.Column(3, TFieldType::String).AsString().split(QChar(1), Qt::SkipEmptyParts);
        // A primary key of one integer column is what the table is browsed by, as SQLite's row
        // number: generated by the server (an identity) or written by the program.
        if (primary && index.Fields.size() == 1) {
            const int column = info->ColumnIndex(index.Fields.first());
            TColumnInfo &key = info->Columns[size_t(column)];
            const TFieldType type = key.Type;
            if (type == TFieldType::Integer || type == TFieldType::Smallint || type == TFieldType::Largeint) {
                info->RowIdColumn = column;
                key.RowIdAlias = true;
                if (generated[size_t(column)] && type == TFieldType::Integer)
                    key.Type = TFieldType::AutoInc;
            }
        }
        info->Indexes.push_back(index);
    }
    return info;
}
