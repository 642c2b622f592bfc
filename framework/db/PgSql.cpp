#include "PgSql.h"

#include <QRegularExpression>
#include <QSet>

namespace {

const QSet<QString> &keywords()
{
    static const QSet<QString> words = [] {
        QSet<QString> set;
        for (const char *word : {"CLOSE",        "CURSOR",
                                 "DECLARE",      "FETCH", // a query read a slice at a time
                                 "ABORT",        "ACTION",
                                 "ADD",          "AFTER",
                                 "ALL",          "ALTER",
                                 "ALWAYS",       "ANALYZE",
                                 "AND",          "ANY",
                                 "ARRAY",        "AS",
                                 "ASC",          "AUTOINCREMENT",
                                 "BEFORE",       "BEGIN",
                                 "BETWEEN",      "BIGINT",
                                 "BIGSERIAL",    "BLOB",
                                 "BOOLEAN",      "BOTH",
                                 "BY",           "BYTEA",
                                 "CASCADE",      "CASE",
                                 "CAST",         "CHAR",
                                 "CHARACTER",    "CHECK",
                                 "COLLATE",      "COLUMN",
                                 "COMMIT",       "CONFLICT",
                                 "CONSTRAINT",   "CREATE",
                                 "CROSS",        "CURRENT_DATE",
                                 "CURRENT_TIME", "CURRENT_TIMESTAMP",
                                 "DATABASE",     "DATE",
                                 "DATETIME",     "DECIMAL",
                                 "DEFAULT",      "DEFERRABLE",
                                 "DEFERRED",     "DELETE",
                                 "DESC",         "DISTINCT",
                                 "DO",           "DOUBLE",
                                 "DROP",         "EACH",
                                 "ELSE",         "END",
                                 "ESCAPE",       "EXCEPT",
                                 "EXCLUSIVE",    "EXISTS",
                                 "EXPLAIN",      "FALSE",
                                 "FILTER",       "FIRST",
                                 "FLOAT",        "FOR",
                                 "FOREIGN",      "FROM",
                                 "FULL",         "GENERATED",
                                 "GROUP",        "HAVING",
                                 "IDENTITY",     "IF",
                                 "IFNULL",       "ILIKE",
                                 "IMMEDIATE",    "IN",
                                 "INDEX",        "INITIALLY",
                                 "INNER",        "INSERT",
                                 "INSTEAD",      "INT",
                                 "INTEGER",      "INTERSECT",
                                 "INTERVAL",     "INTO",
                                 "IS",           "ISNULL",
                                 "JOIN",         "KEY",
                                 "LAST",         "LEADING",
                                 "LEFT",         "LIKE",
                                 "LIMIT",        "LOCAL",
                                 "LOCK",         "MATCH",
                                 "NATURAL",      "NO",
                                 "NOCASE",       "NOT",
                                 "NOTHING",      "NOTNULL",
                                 "NOWAIT",       "NULL",
                                 "NULLS",        "NUMERIC",
                                 "OF",           "OFFSET",
                                 "ON",           "ONLY",
                                 "OR",           "ORDER",
                                 "OUTER",        "OVER",
                                 "PARTITION",    "PRECISION",
                                 "PRIMARY",      "REAL",
                                 "RECURSIVE",    "REFERENCES",
                                 "RELEASE",      "RENAME",
                                 "REPLACE",      "RESTRICT",
                                 "RETURNING",    "RIGHT",
                                 "ROLLBACK",     "ROW",
                                 "ROWS",         "SAVEPOINT",
                                 "SCHEMA",       "SELECT",
                                 "SERIAL",       "SET",
                                 "SHARE",        "SMALLINT",
                                 "SOME",         "TABLE",
                                 "TEMP",         "TEMPORARY",
                                 "TEXT",         "THEN",
                                 "TIME",         "TIMESTAMP",
                                 "TO",           "TRAILING",
                                 "TRANSACTION",  "TRIGGER",
                                 "TRUE",         "TRUNCATE",
                                 "UNION",        "UNIQUE",
                                 "UPDATE",       "USING",
                                 "VACUUM",       "VALUES",
                                 "VARCHAR",      "VARYING",
                                 "VIEW",         "WHEN",
                                 "WHERE",        "WITH",
                                 "WITHOUT",      "ZONE",
                                 "EXTENSION",    "NFD"})
            set.insert(QString::fromLatin1(word));
        // The server's words for what only its own statements have.
        for (const char *word : {"EXTENSION", "MATERIALIZED"})
            set.insert(QString::fromLatin1(word));
        return set;
    }();
    return words;
}

// Words after which a name followed by "(" is a table, not a function.
bool namesTable(const QString &previousWord)
{
    static const QSet<QString> words{QStringLiteral("INTO"),   QStringLiteral("TABLE"),
                                     QStringLiteral("ON"),     QStringLiteral("REFERENCES"),
                                     QStringLiteral("EXISTS"), QStringLiteral("JOIN"),
                                     QStringLiteral("FROM"),   QStringLiteral("UPDATE")};
    return words.contains(previousWord);
}

// Whether the parenthesis at open holds the columns of a common table expression: "AS", maybe
// "[NOT] MATERIALIZED", and the query's own parenthesis follow it.
bool namesQuery(const QString &sql, qsizetype open)
{
    int depth = 0;
    qsizetype i = open;
    for (; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            qsizetype j = i + 1;
            while (j < sql.size() && !(sql[j] == c && (j + 1 >= sql.size() || sql[j + 1] != c)))
                j += sql[j] == c ? 2 : 1;
            i = j;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')' && --depth == 0) {
            break;
        }
    }
    static const QRegularExpression query(QStringLiteral("\\G\\)\\s*AS\\s+(NOT\\s+)?(MATERIALIZED\\s+)?\\("),
                                          QRegularExpression::CaseInsensitiveOption);
    return i < sql.size() && query.match(sql, i).hasMatch();
}

bool isWordStart(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// The end of the quoted run that starts at i (the quote itself), a doubled quote being part of it.
qsizetype quotedEnd(const QString &sql, qsizetype i, QChar close)
{
    qsizetype j = i + 1;
    while (j < sql.size()) {
        if (sql[j] == close) {
            if (j + 1 < sql.size() && sql[j + 1] == close && close != u']') {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return sql.size();
}

// The end of a comment starting at i, or i when none starts there.
qsizetype commentEnd(const QString &sql, qsizetype i)
{
    if (sql.mid(i, 2) == u"--") {
        const qsizetype end = sql.indexOf(u'\n', i);
        return end < 0 ? sql.size() : end;
    }
    if (sql.mid(i, 2) == u"/*") {
        const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
        return end < 0 ? sql.size() : end + 2;
    }
    return i;
}

// Every term of an ORDER BY without its own NULLS gets NULLS FIRST when ascending and NULLS LAST
// when descending: where SQLite puts NULL, which is smaller than any value there.
QString WithNullsFirst(const QString &sql)
{
    static const QRegularExpression orderBy(QStringLiteral("\\bORDER\\s+BY\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (!sql.contains(orderBy))
        return sql;
    static const QRegularExpression ends(
        QStringLiteral("(LIMIT|OFFSET|FETCH|FOR|UNION|EXCEPT|INTERSECT|WINDOW)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression descending(QStringLiteral("\\bDESC\\s*$"),
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression hasNulls(QStringLiteral("\\bNULLS\\s+(FIRST|LAST)\\s*$"),
                                             QRegularExpression::CaseInsensitiveOption);
    QString out;
    std::vector<int> lists; // the depths at which an ORDER BY list is open
    qsizetype termStart = -1;
    int depth = 0;
    auto endTerm = [&]() {
        if (termStart < 0)
            return;
        qsizetype end = out.size();
        while (end > termStart && out[end - 1].isSpace())
            --end;
        const QString term = out.mid(termStart, end - termStart);
        if (!term.trimmed().isEmpty() && !term.contains(hasNulls))
            out.insert(end, term.contains(descending) ? QStringLiteral(" NULLS LAST")
                                                      : QStringLiteral(" NULLS FIRST"));
        termStart = -1;
    };
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        const bool inList = !lists.empty() && lists.back() == depth;
        if (const qsizetype end = commentEnd(sql, i); end != i) {
            out += QStringView(sql).mid(i, end - i);
            i = end;
        } else if (c == u'\'' || c == u'"') {
            const qsizetype end = quotedEnd(sql, i, c);
            out += QStringView(sql).mid(i, end - i);
            i = end;
        } else if (c == u'(') {
            ++depth;
            out += c;
            ++i;
        } else if (c == u')' || c == u';') {
            if (inList) {
                endTerm();
                lists.pop_back();
            }
            if (c == u')')
                --depth;
            out += c;
            ++i;
        } else if (c == u',' && inList) {
            endTerm();
            out += c;
            ++i;
            termStart = out.size();
        } else if (isWordStart(c)) {
            qsizetype end = i + 1;
            while (end < n && isWordChar(sql[end]))
                ++end;
            if (inList && ends.match(sql, i, QRegularExpression::NormalMatch,
                                     QRegularExpression::AnchorAtOffsetMatchOption)
                              .hasMatch()) {
                endTerm();
                lists.pop_back();
            }
            if (const QRegularExpressionMatch m = orderBy.match(
                    sql, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
                m.hasMatch()) {
                out += m.captured(0);
                i = m.capturedEnd();
                lists.push_back(depth);
                termStart = out.size();
                continue;
            }
            out += QStringView(sql).mid(i, end - i);
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    if (!lists.empty() && lists.back() == depth)
        endTerm();
    return out;
}

} // namespace

TPgSql TranslateToPostgres(const QString &sql)
{
    TPgSql result;
    QString &out = result.Text;
    out.reserve(sql.size() + sql.size() / 4);
    QString previousWord;
    bool firstWord = true; // a statement starts with a keyword: a misspelt one is shown as written
    const qsizetype n = sql.size();
    static const QRegularExpression isBefore(QStringLiteral("\\bIS\\s+$"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression isNotBefore(QStringLiteral("\\bIS\\s+NOT\\s+$"),
                                                QRegularExpression::CaseInsensitiveOption);
    // SQLite's IS compares any two values, NULLs as equal ones; the server's only takes NULL, TRUE
    // and FALSE after it. Called before a value is written: an IS or IS NOT just before it
    // becomes the comparison that treats NULL as SQLite does.
    QString beforePrevious;
    auto distinctBeforeValue = [&]() {
        if (previousWord == u"IS") {
            if (const QRegularExpressionMatch m = isBefore.match(out); m.hasMatch())
                out.replace(m.capturedStart(), m.capturedLength(), QStringLiteral("IS NOT DISTINCT FROM "));
        } else if (previousWord == u"NOT" && beforePrevious == u"IS") {
            if (const QRegularExpressionMatch m = isNotBefore.match(out); m.hasMatch())
                out.replace(m.capturedStart(), m.capturedLength(), QStringLiteral("IS DISTINCT FROM "));
        }
    };
    // The right operand of each GLOB still open, by the depth of parentheses it started at: the
    // server's operator binds as tightly as "||", SQLite's GLOB as loosely as LIKE, so the operand
    // is put in parentheses of its own, closed where SQLite's would end.
    int depth = 0;
    std::vector<int> globs;
    auto closeGlobs = [&]() {
        while (!globs.empty() && globs.back() == depth) {
            const qsizetype lineStart = out.lastIndexOf(u'\n') + 1;
            if (out.indexOf(QStringLiteral("--"), lineStart) >= 0)
                out += u'\n';
            out += u')';
            globs.pop_back();
        }
    };
    auto addParameter = [&](int index) {
        // SQLite's IS compares NULLs as equal values; a parameter may well be NULL.
        if (const QRegularExpressionMatch m = isNotBefore.match(out); m.hasMatch())
            out.replace(m.capturedStart(), m.capturedLength(), QStringLiteral("IS DISTINCT FROM "));
        else if (const QRegularExpressionMatch m2 = isBefore.match(out); m2.hasMatch())
            out.replace(m2.capturedStart(), m2.capturedLength(), QStringLiteral("IS NOT DISTINCT FROM "));
        while (result.ParamNames.size() < index)
            result.ParamNames << QString();
        out += u'$' + QString::number(index);
        previousWord.clear();
    };
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        if (const qsizetype end = commentEnd(sql, i); end != i) {
            out += QStringView(sql).mid(i, end - i);
            i = end;
        } else if (c == u'\'' || c == u'"') {
            distinctBeforeValue();
            const qsizetype end = quotedEnd(sql, i, c);
            out += QStringView(sql).mid(i, end - i);
            i = end;
            if (c == u'"')
                previousWord.clear();
        } else if (c == u'[' || c == u'`') {
            distinctBeforeValue();
            const qsizetype end = quotedEnd(sql, i, c == u'[' ? u']' : u'`');
            QString name = sql.mid(i + 1, end - i - 2);
            out += u'"' + name.replace(u'"', QStringLiteral("\"\"")) + u'"';
            i = end;
            previousWord.clear();
        } else if ((c == u'x' || c == u'X') && i + 1 < n && sql[i + 1] == u'\'' &&
                   (i == 0 || !isWordChar(sql[i - 1]))) {
            const qsizetype end = quotedEnd(sql, i + 1, u'\'');
            out += QStringLiteral("'\\x") + sql.mid(i + 2, end - i - 3) + QStringLiteral("'::bytea");
            i = end;
        } else if (c == u'?') {
            qsizetype end = i + 1;
            while (end < n && sql[end].isDigit())
                ++end;
            const int index =
                end > i + 1 ? sql.mid(i + 1, end - i - 1).toInt() : int(result.ParamNames.size()) + 1;
            addParameter(index);
            i = end;
        } else if (c == u':' && i + 1 < n && sql[i + 1] == u':') {
            out += QStringLiteral("::");
            i += 2;
        } else if ((c == u':' || c == u'@' || c == u'$') && i + 1 < n && isWordStart(sql[i + 1])) {
            qsizetype end = i + 1;
            while (end < n && (sql[end].isLetterOrNumber() || sql[end] == u'_'))
                ++end;
            const QString name = sql.mid(i, end - i);
            int index = 0;
            for (qsizetype k = 0; k < result.ParamNames.size(); ++k)
                if (result.ParamNames[k].compare(name, Qt::CaseInsensitive) == 0)
                    index = int(k) + 1;
            if (index == 0) {
                result.ParamNames << name;
                index = int(result.ParamNames.size());
            }
            addParameter(index);
            i = end;
        } else if (isWordStart(c)) {
            qsizetype end = i + 1;
            while (end < n && isWordChar(sql[end]))
                ++end;
            const QString word = sql.mid(i, end - i);
            const QString upper = word.toUpper();
            qsizetype next = end;
            while (next < n && sql[next].isSpace())
                ++next;
            const bool call = next < n && sql[next] == u'(';
            const bool qualified = i > 0 && sql[i - 1] == u'.';
            static const QSet<QString> afterIs{QStringLiteral("NULL"),     QStringLiteral("NOT"),
                                               QStringLiteral("TRUE"),     QStringLiteral("FALSE"),
                                               QStringLiteral("DISTINCT"), QStringLiteral("UNKNOWN")};
            if (!afterIs.contains(upper))
                distinctBeforeValue();
            // Where a GLOB's right operand ends in SQLite: a keyword of lower precedence.
            static const QSet<QString> endsOperand{
                QStringLiteral("AND"),    QStringLiteral("OR"),        QStringLiteral("THEN"),
                QStringLiteral("WHEN"),   QStringLiteral("ELSE"),      QStringLiteral("END"),
                QStringLiteral("ESCAPE"), QStringLiteral("ORDER"),     QStringLiteral("GROUP"),
                QStringLiteral("LIMIT"),  QStringLiteral("OFFSET"),    QStringLiteral("UNION"),
                QStringLiteral("EXCEPT"), QStringLiteral("INTERSECT"), QStringLiteral("FROM"),
                QStringLiteral("WHERE"),  QStringLiteral("HAVING"),    QStringLiteral("IS"),
                QStringLiteral("IN"),     QStringLiteral("BETWEEN"),   QStringLiteral("LIKE"),
                QStringLiteral("GLOB"),   QStringLiteral("NOT"),       QStringLiteral("ASC"),
                QStringLiteral("DESC"),   QStringLiteral("WINDOW"),    QStringLiteral("AS")};
            if (!qualified && endsOperand.contains(upper))
                closeGlobs();
            // An operator follows an operand; a column of that name follows a keyword or a comma.
            qsizetype last = out.size() - 1;
            while (last >= 0 && out[last].isSpace())
                --last;
            const bool afterOperand =
                last >= 0 &&
                (out[last] == u'"' || out[last] == u')' || out[last] == u'\'' ||
                 ((out[last].isLetterOrNumber() || out[last] == u'_') && !keywords().contains(previousWord)));
            if (upper == u"GLOB" && !qualified && afterOperand) {
                // A function made once per database (VnxGlobSql) behind an operator of its own.
                out += QString::fromUtf16(GlobOperator) + QStringLiteral(" (");
                globs.push_back(depth);
            } else if (upper == u"INSTR" && call) {
                out += QStringLiteral("strpos");
            } else if (upper == u"DATETIME") {
                out += QStringLiteral("TIMESTAMP(3)");
            } else if (upper == u"BLOB") {
                out += QStringLiteral("BYTEA");
            } else if ((upper == u"DOUBLE" &&
                        sql.mid(next, 9).compare(u"PRECISION", Qt::CaseInsensitive) != 0) ||
                       upper == u"REAL") {
                out += QStringLiteral("DOUBLE PRECISION");
            } else if (upper == u"IFNULL" && call) {
                out += QStringLiteral("COALESCE");
            } else if (upper == u"LIKE") {
                out += QStringLiteral("ILIKE");
            } else if (firstWord || (!qualified && keywords().contains(upper))) {
                out += word;
            } else if (call && !namesTable(previousWord) && !namesQuery(sql, next)) {
                out += word; // a function
            } else {
                out += u'"' + word + u'"';
            }
            beforePrevious = previousWord;
            previousWord = upper;
            firstWord = false;
            i = end;
        } else if (c.isDigit()) {
            distinctBeforeValue();
            qsizetype end = i + 1;
            while (end < n && (sql[end].isLetterOrNumber() || sql[end] == u'.'))
                ++end;
            out += QStringView(sql).mid(i, end - i);
            i = end;
        } else {
            if (c == u'(') {
                distinctBeforeValue();
                ++depth;
            } else if (c == u')' || c == u',' || c == u';' || c == u'=' || c == u'<' || c == u'>' ||
                       c == u'!') {
                closeGlobs();
                if (c == u')')
                    --depth;
            }
            if (!c.isSpace())
                previousWord.clear();
            out += c;
            ++i;
        }
    }
    while (!globs.empty()) {
        depth = globs.back();
        closeGlobs();
    }
    // SQLite's CROSS JOIN is an inner join whose order the planner keeps; with a condition the
    // server writes it as a plain join.
    static const QRegularExpression crossJoinOn(
        QStringLiteral("\\bCROSS\\s+JOIN(\\s+(?:\"(?:[^\"]|\"\")+\"|\\w+)(?:\\s+AS)?(?:\\s+\"(?:[^\"]|\"\")+"
                       "\")?\\s+ON\\b)"),
        QRegularExpression::CaseInsensitiveOption);
    out.replace(crossJoinOn, QStringLiteral("JOIN\\1"));
    // SQLite stores a Boolean as 0 or 1 and takes those as its defaults; the server wants words.
    static const QRegularExpression booleanDefault(
        QStringLiteral("\\b(BOOLEAN(?:\\s+NOT\\s+NULL)?\\s+DEFAULT\\s+)([01])\\b"),
        QRegularExpression::CaseInsensitiveOption);
    for (QRegularExpressionMatch m = booleanDefault.match(out); m.hasMatch();
         m = booleanDefault.match(out, m.capturedStart() + 1))
        out.replace(m.capturedStart(2), 1,
                    m.captured(2) == u"1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
    // A row that a unique key refuses is left out, as SQLite's OR IGNORE leaves it.
    static const QRegularExpression insertOrIgnore(QStringLiteral("^(\\s*INSERT)\\s+OR\\s+\"?IGNORE\\b\"?"),
                                                   QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = insertOrIgnore.match(out); m.hasMatch()) {
        out.replace(m.capturedStart(), m.capturedLength(), m.captured(1));
        qsizetype end = out.size();
        while (end > 0 && (out[end - 1].isSpace() || out[end - 1] == u';'))
            --end;
        out.insert(end, QStringLiteral(" ON CONFLICT DO NOTHING"));
    }
    // SQLite gives such a column the row's own number; a generated identity is the nearest match.
    static const QRegularExpression autoIncrement(
        QStringLiteral("\\b(INTEGER|INT)\\s+PRIMARY\\s+KEY\\s+AUTOINCREMENT\\b"),
        QRegularExpression::CaseInsensitiveOption);
    if (out.contains(autoIncrement)) {
        // SQLite gives a new row a number above every one the table holds, written by a program
        // or not; a sequence knows only its own, so a trigger moves it past those written.
        static const QRegularExpression table(
            QStringLiteral("^\\s*CREATE\\s+(?:TEMP\\s+|TEMPORARY\\s+)?TABLE\\s+(?:IF\\s+NOT\\s+EXISTS\\s+)?("
                           "\"(?:[^\"]|\"\")+\")"),
            QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression column(
            QStringLiteral("(\"(?:[^\"]|\"\")+\")\\s+(?:INTEGER|INT)\\s+PRIMARY\\s+KEY\\s+AUTOINCREMENT\\b"),
            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch tableMatch = table.match(out);
        const QRegularExpressionMatch columnMatch = column.match(out);
        if (tableMatch.hasMatch() && columnMatch.hasMatch()) {
            QString tableName = tableMatch.captured(1);
            QString columnName = columnMatch.captured(1).mid(1).chopped(1).replace(QStringLiteral("\"\""),
                                                                                   QStringLiteral("\""));
            const QString trigger = QStringLiteral("\"vnx_identity_") + tableName.mid(1);
            result.After
                << QStringLiteral(
                       "CREATE TRIGGER %1 AFTER INSERT ON %2 FOR EACH STATEMENT EXECUTE FUNCTION %3('%4')")
                       .arg(trigger, tableName, QString::fromUtf16(FollowIdentityFunction),
                            columnName.replace(u'\'', QStringLiteral("''")));
        }
        out.replace(autoIncrement, QStringLiteral("INTEGER GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"));
    }
    out = WithNullsFirst(out);
    return result;
}

QString FollowIdentityFunctionSql()
{
    return QStringLiteral(
               "CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $body$\n"
               "DECLARE\n"
               "  seq text := pg_get_serial_sequence(quote_ident(TG_TABLE_SCHEMA) || '.' || "
               "quote_ident(TG_TABLE_NAME), "
               "TG_ARGV[0]);\n"
               "  top bigint;\n"
               "BEGIN\n"
               "  EXECUTE format('SELECT max(%I) FROM %I.%I', TG_ARGV[0], TG_TABLE_SCHEMA, TG_TABLE_NAME) "
               "INTO top;\n"
               "  IF top IS NOT NULL AND top > COALESCE(pg_sequence_last_value(seq::regclass), 0) THEN\n"
               "    PERFORM setval(seq, top);\n"
               "  END IF;\n"
               "  RETURN NULL;\n"
               "END\n"
               "$body$")
        .arg(QString::fromUtf16(FollowIdentityFunction));
}

QStringList SplitStatements(const QString &sql)
{
    QStringList statements;
    qsizetype start = 0;
    qsizetype i = 0;
    const qsizetype n = sql.size();
    auto add = [&](qsizetype end) {
        QString statement = sql.mid(start, end - start).trimmed();
        // A piece of nothing but comments is no statement.
        qsizetype k = 0;
        while (k < statement.size()) {
            if (const qsizetype e = commentEnd(statement, k); e != k)
                k = e;
            else if (statement[k].isSpace())
                ++k;
            else
                break;
        }
        if (k < statement.size())
            statements << statement;
    };
    while (i < n) {
        const QChar c = sql[i];
        if (const qsizetype end = commentEnd(sql, i); end != i)
            i = end;
        else if (c == u'\'' || c == u'"')
            i = quotedEnd(sql, i, c);
        else if (c == u'[')
            i = quotedEnd(sql, i, u']');
        else if (c == u';') {
            add(i);
            start = ++i;
        } else
            ++i;
    }
    add(n);
    return statements;
}

QString GlobOperatorSql()
{
    // The pattern becomes an anchored regular expression: "*" any run, "?" one character, a class
    // as it stands (its "\" and "[" escaped), every other character matched as itself. A class
    // that is never closed matches nothing, as in SQLite.
    return QStringLiteral(
               "CREATE OR REPLACE FUNCTION vnx_glob(name text, pattern text) RETURNS boolean "
               "LANGUAGE plpgsql IMMUTABLE STRICT PARALLEL SAFE AS $body$\n"
               "DECLARE\n"
               "  re text := '';\n"
               "  n int := length(pattern);\n"
               "  i int := 1;\n"
               "  j int;\n"
               "  c text;\n"
               "BEGIN\n"
               "  WHILE i <= n LOOP\n"
               "    c := substr(pattern, i, 1);\n"
               "    IF c = '*' THEN\n"
               "      re := re || '.*';\n"
               "    ELSIF c = '?' THEN\n"
               "      re := re || '.';\n"
               "    ELSIF c = '[' THEN\n"
               "      j := i + 1;\n"
               "      IF j <= n AND substr(pattern, j, 1) = '^' THEN j := j + 1; END IF;\n"
               "      IF j <= n AND substr(pattern, j, 1) = ']' THEN j := j + 1; END IF;\n"
               "      WHILE j <= n AND substr(pattern, j, 1) <> ']' LOOP j := j + 1; END LOOP;\n"
               "      IF j > n THEN RETURN false; END IF;\n"
               "      re := re || '[' || replace(replace(substr(pattern, i + 1, j - i - 1), '\\', '\\\\'), "
               "'[', '\\[') || ']';\n"
               "      i := j;\n"
               "    ELSE\n"
               "      re := re || regexp_replace(c, '([.^$*+?()\\[\\]{}|\\\\])', '\\\\\\1');\n"
               "    END IF;\n"
               "    i := i + 1;\n"
               "  END LOOP;\n"
               "  RETURN name ~ ('^(?:' || re || ')$');\n"
               "END\n"
               "$body$;\n"
               "CREATE OPERATOR %1 (LEFTARG = text, RIGHTARG = text, FUNCTION = vnx_glob)")
        .arg(QString::fromUtf16(GlobOperator));
}

QString BooleanNumberOperatorsSql()
{
    return QStringLiteral(
        "CREATE OR REPLACE FUNCTION vnx_bool_eq_int(boolean, integer) RETURNS boolean "
        "LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS 'SELECT $1::integer = $2';\n"
        "CREATE OR REPLACE FUNCTION vnx_bool_ne_int(boolean, integer) RETURNS boolean "
        "LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS 'SELECT $1::integer <> $2';\n"
        "CREATE OPERATOR = (LEFTARG = boolean, RIGHTARG = integer, FUNCTION = vnx_bool_eq_int);\n"
        "CREATE OPERATOR <> (LEFTARG = boolean, RIGHTARG = integer, FUNCTION = vnx_bool_ne_int)");
}
