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

// SQLite's GLOB ("*", "?" and "[...]" classes, letter case counting) as an operator of the
// server, and the function behind it; made once per database when missing.
inline constexpr const char16_t *GlobOperator = u"#~#";
QString GlobOperatorSql();
// The comparisons of a Boolean with the numbers 0 and 1 that SQLite's statements write
// ("Folder <> 0"), as operators of the server; made once per database when missing.
QString BooleanNumberOperatorsSql();

// Parameters become $n (a name used twice is one parameter); "IS ?" compares like SQLite's IS;
// names keep the letter case they are written in, as they do on SQLite; the column types and
// literals that differ are rewritten: DATETIME, BLOB, DOUBLE, INTEGER PRIMARY KEY AUTOINCREMENT,
// x'..' blobs, IFNULL, instr, GLOB, CROSS JOIN with a condition, INSERT OR IGNORE, Boolean
// defaults of 0 and 1, IS between any two values, and LIKE, which ignores case on SQLite. NULL comes first in
// an ascending order, as on SQLite.
TPgSql TranslateToPostgres(const QString &sql);

// The statements of a script, split at the semicolons outside quotes and comments.
QStringList SplitStatements(const QString &sql);
