#pragma once

#include <QString>
#include <QStringList>

// SQL as the program writes it (SQLite's dialect, "?" and ":name" parameters) turned into what a
// PostgreSQL server takes.
struct TPgSql
{
    QString Text;
    // The name of each parameter $1, $2, ... as written (":name"), empty for a positional one.
    QStringList ParamNames;
    // Statements of the server's own dialect to run once this one has: the trigger that keeps an
    // AUTOINCREMENT column's numbers above every number the table holds.
    QStringList After;
};

// The name of the function those triggers run; made once per database when missing.
inline constexpr const char16_t *FollowIdentityFunction = u"vnx_follow_identity";
QString FollowIdentityFunctionSql();

// Parameters become $n (a name used twice is one parameter); "IS ?" compares like SQLite's IS;
// names keep the letter case they are written in, as they do on SQLite; the column types and
// literals that differ are rewritten: DATETIME, BLOB, DOUBLE, INTEGER PRIMARY KEY AUTOINCREMENT,
// x'..' blobs, IFNULL, and LIKE, which ignores case on SQLite. NULL comes first in an ascending
// order, as on SQLite.
TPgSql TranslateToPostgres(const QString &sql);

// The statements of a script, split at the semicolons outside quotes and comments.
QStringList SplitStatements(const QString &sql);
