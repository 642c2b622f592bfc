#include "SearchIndexesPg.h"

#include "CatalogSchema.h"

// Every name and column is quoted as the tables were made, so that these run alike whether the
// driver translates them or not.

QString PgIndexedWords(const QString &text)
{
    return QStringLiteral("lower(regexp_replace(regexp_replace(normalize(%1, NFD) COLLATE \"und-x-icu\", "
                          "'[\\u0300-\\u036f]', '', 'g'), '[^[:alnum:]]+', ' ', 'g'))")
        .arg(text);
}

QStringList CatalogSchema::PgSearchIndexStatements()
{
    return {
        QStringLiteral("CREATE EXTENSION IF NOT EXISTS \"pg_trgm\""),
        // The names the searches read, each with its entry's ID, filled after the entries are
        // written (NamesPending, made with the triggers of the server's schema).
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"NameSearch\" (\"ID\" INTEGER PRIMARY KEY, "
                       "\"Name\" VARCHAR(1024) NOT NULL)"),
        // Names holding a text (LIKE '%text%'), compared in the "C" collation, which folds ASCII
        // letters only as SQLite's LIKE does; the searches name the same collation.
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"NameSearch.Trigrams\" ON \"NameSearch\" "
                       "USING gin (\"Name\" COLLATE \"C\" \"gin_trgm_ops\")"),
        // Whole names, letter case aside.
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"NameSearch.LowerName\" ON \"NameSearch\" "
                       "(lower(\"Name\" COLLATE \"C\"))"),
        PgDescriptionIndexStatement(),
    };
}

QString CatalogSchema::PgDescriptionIndexStatement()
{
    // Most entries have no description: a scan writing them leaves this index alone. A search
    // for words implies a description, so the server still reads the index for it.
    return QStringLiteral("CREATE INDEX IF NOT EXISTS \"Entries.DescriptionWords\" ON \"Entries\" "
                          "USING gin (to_tsvector('simple', %1)) WHERE \"Description\" IS NOT NULL")
        .arg(PgIndexedWords(QStringLiteral("\"Description\"")));
}
