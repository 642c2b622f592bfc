#include "CatalogCopies.h"

#include "BulkInserts.h"
#include "CatalogSchema.h"
#include "DatabaseError.h"
#include "Databases.h"
#include "PgStatements.h"
#include "Statements.h"

#include <QCoreApplication>
#include <QScopeGuard>

namespace {

// In an order in which what a row refers to is there before it. Entries refer to themselves
// (Parent); their order by ID puts every folder before what it holds. The rows of a table without
// a key keep the order they were written in, which is the order the setup windows list them in.
struct TCopiedTable
{
    const char16_t *Name;
    const char16_t *Key; // nullptr: none
};
constexpr TCopiedTable CopiedTables[] = {
    {u"Images", u"ImageID"}, {u"Ext", nullptr}, {u"Nfo", nullptr}, {u"Entries", u"ID"}, {u"CDs", u"ID"},
};

// Progress is told every so many entries.
constexpr qint64 ProgressStep = 10000;

qint64 scalar(TDatabase &database, const QString &sql)
{
    const auto statement = database.Prepare(sql);
    return statement->Step() ? statement->ColumnInt64(0) : 0;
}

// On a server, a table's foreign keys and secondary indexes checked and built row by row make a
// bulk load several times slower than checking and building them once over all its rows. They
// are dropped for the load, in its transaction, and this gives back what makes them again. A
// user who may not alter the table keeps them, and the load is only slower.
QStringList liftChecks(TDatabase &database, const QString &table)
{
    if (!database.IsPostgres())
        return {};
    const auto found = database.Prepare(QStringLiteral(
        "SELECT 'ALTER TABLE ' || conrelid::regclass || ' DROP CONSTRAINT ' || quote_ident(conname), "
        "'ALTER TABLE ' || conrelid::regclass || ' ADD CONSTRAINT ' || quote_ident(conname) || ' ' || "
        "pg_get_constraintdef(oid) FROM pg_constraint WHERE contype = 'f' AND conrelid = ?::regclass "
        "UNION ALL "
        "SELECT 'DROP INDEX ' || indexrelid::regclass, pg_get_indexdef(indexrelid) FROM pg_index "
        "WHERE indrelid = ?::regclass AND NOT indisprimary AND NOT indisunique"));
    const QString quoted = u'"' + table + u'"';
    found->BindAll({TVariant(quoted), TVariant(quoted)});
    QStringList drops, restores;
    while (found->Step()) {
        drops << found->Column(0, TFieldType::Memo).AsString();
        restores << found->Column(1, TFieldType::Memo).AsString();
    }
    qsizetype dropped = 0;
    try {
        for (; dropped < drops.size(); ++dropped)
            database.ExecSQL(drops[dropped]);
    } catch (const EDatabaseError &) {
        for (qsizetype i = 0; i < dropped; ++i)
            database.ExecSQL(restores[i]);
        return {};
    }
    return restores;
}

QString translate(const char *text)
{
    return QCoreApplication::translate("CatalogCopies", text);
}

} // namespace

TCopyCounts CopyCatalogue(TDatabase &from, TDatabase &to, const std::function<bool(qint64, qint64)> &progress)
{
    CatalogSchema::CheckAndUpgrade(from);
    CatalogSchema::CheckAndUpgrade(to);
    if (scalar(to, QStringLiteral("SELECT count(*) FROM Entries")) > 0)
        throw EDatabaseError(translate("The catalogue %1 already holds volumes: a catalogue is copied only "
                                       "into a new or empty one.")
                                 .arg(to.FileName()));
    TCopyCounts counts;
    counts.Volumes = scalar(from, QStringLiteral("SELECT count(*) FROM CDs"));
    const qint64 total = scalar(from, QStringLiteral("SELECT count(*) FROM Entries"));

    // Every table is read as it was at one moment, whatever other programs write meanwhile.
    from.StartTransaction(TTransactionLock::Deferred);
    const auto endRead = qScopeGuard([&from] { from.Rollback(); });
    if (from.IsPostgres())
        from.PgConnection()->Exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
    to.RunInTransaction([&] {
        // The entries' references are checked once all are in, not row by row.
        if (!to.IsPostgres())
            to.ExecSQL(QStringLiteral("PRAGMA defer_foreign_keys = ON"));
        to.ExecSQL(QStringLiteral("DELETE FROM Ext; DELETE FROM Nfo; DELETE FROM Images"));
        for (const TCopiedTable &table : CopiedTables) {
            const QString name = QString::fromUtf16(table.Name);
            const auto source = from.TableInfo(name);
            const auto target = to.TableInfo(name);
            QStringList columns;
            std::vector<TFieldType> types;
            for (const TColumnInfo &column : target->Columns) {
                const int at = source->ColumnIndex(column.Name);
                if (at < 0)
                    continue;
                columns << column.Name;
                types.push_back(column.Type == TFieldType::AutoInc ? TFieldType::Integer : column.Type);
            }
            QStringList quoted;
            for (const QString &column : columns)
                quoted << u'"' + column + u'"';
            const QString order = table.Key ? QStringLiteral(" ORDER BY ") + QString::fromUtf16(table.Key)
                                  : from.IsPostgres() ? QString()
                                                      : QStringLiteral(" ORDER BY rowid");
            TBulkRead rows(
                from, QStringLiteral("SELECT %1 FROM \"%2\"%3").arg(quoted.join(u", "), name, order), types);
            const QStringList restores = liftChecks(to, name);
            TBulkInsert insert(to, name, columns);
            const bool entries = name == u"Entries";
            TVariantArray values(size_t(columns.size()));
            while (rows.Next(values)) {
                insert.Add(values);
                if (entries && ++counts.Entries % ProgressStep == 0 && progress &&
                    !progress(counts.Entries, total))
                    throw EDatabaseError(translate("The copy was stopped; nothing was written."));
            }
            insert.Finish();
            for (const QString &restore : restores)
                to.ExecSQL(restore);
        }
    });
    // The new catalogue's word indexes learn its entries as any added ones.
    CatalogSchema::UpdateSearchIndexes(to);
    if (progress)
        progress(counts.Entries, total);
    return counts;
}
