#include "PgSql.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestPgSql : public QObject
{
    Q_OBJECT

private slots:
    void Translate_data();
    void Translate();
    void ParameterNames();
    void AutoIncrementKeepsAboveWrittenNumbers();
    void SplitStatements_data();
    void SplitStatements();
};

void TestPgSql::Translate_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");

    QTest::newRow("names keep their case")
        << u"SELECT Name, count(*) FROM Entries WHERE Parent = 1"_s
        << u"SELECT \"Name\", count(*) FROM \"Entries\" WHERE \"Parent\" = 1"_s;
    QTest::newRow("a table before its columns is no function")
        << u"INSERT INTO T(A) VALUES (1)"_s << u"INSERT INTO \"T\"(\"A\") VALUES (1)"_s;
    QTest::newRow("positional and numbered") << u"SELECT ?, ?3, ?"_s << u"SELECT $1, $3, $4"_s;
    QTest::newRow("a cursor and its slices")
        << u"DECLARE vnx_rows_1 CURSOR FOR SELECT Name FROM Entries WHERE ID > ?; FETCH 100 FROM vnx_rows_1"_s
        << u"DECLARE \"vnx_rows_1\" CURSOR FOR SELECT \"Name\" FROM \"Entries\" WHERE \"ID\" > $1; FETCH 100 FROM \"vnx_rows_1\""_s;
    QTest::newRow("a name used twice is one parameter")
        << u"UPDATE T SET A = :v, B = :V WHERE C = :w"_s
        << u"UPDATE \"T\" SET \"A\" = $1, \"B\" = $1 WHERE \"C\" = $2"_s;
    QTest::newRow("IS compares NULL as a value")
        << u"SELECT 1 FROM T WHERE A IS ? AND B IS NOT :b"_s
        << u"SELECT 1 FROM \"T\" WHERE \"A\" IS NOT DISTINCT FROM $1 AND \"B\" IS DISTINCT FROM $2"_s;
    QTest::newRow("IS NULL stays") << u"SELECT 1 FROM T WHERE A IS NULL"_s
                                   << u"SELECT 1 FROM \"T\" WHERE \"A\" IS NULL"_s;
    QTest::newRow("quotes and comments untouched")
        << u"SELECT 'it''s :x ?', \"Odd \"\"Name\" -- :y ?\nFROM T /* ? */"_s
        << u"SELECT 'it''s :x ?', \"Odd \"\"Name\" -- :y ?\nFROM \"T\" /* ? */"_s;
    QTest::newRow("casts are no parameters")
        << u"SELECT A::text FROM T"_s << u"SELECT \"A\"::text FROM \"T\""_s;
    QTest::newRow("bracketed names") << u"SELECT [Full Path] FROM T"_s
                                     << u"SELECT \"Full Path\" FROM \"T\""_s;
    QTest::newRow("column types")
        << u"CREATE TABLE T (M DATETIME, P BLOB, R REAL, D DOUBLE, E DOUBLE PRECISION)"_s
        << u"CREATE TABLE \"T\" (\"M\" TIMESTAMP(3), \"P\" BYTEA, \"R\" DOUBLE PRECISION, \"D\" DOUBLE "
           u"PRECISION, "
           "\"E\" DOUBLE PRECISION)"_s;
    QTest::newRow("blob literal") << u"SELECT x'00FF'"_s << u"SELECT '\\x00FF'::bytea"_s;
    QTest::newRow("IFNULL and LIKE") << u"SELECT IFNULL(A, 0) FROM T WHERE Name LIKE 'a%'"_s
                                     << u"SELECT COALESCE(\"A\", 0) FROM \"T\" WHERE \"Name\" ILIKE 'a%'"_s;
    QTest::newRow("NULL first in an ascending order")
        << u"SELECT A FROM T ORDER BY A, B DESC, lower(C) ASC LIMIT 3"_s
        << u"SELECT \"A\" FROM \"T\" ORDER BY \"A\" NULLS FIRST, \"B\" DESC NULLS LAST, lower(\"C\") ASC "
           u"NULLS FIRST "
           "LIMIT 3"_s;
    QTest::newRow("an order that says where NULL goes keeps it")
        << u"SELECT A FROM T ORDER BY A NULLS LAST"_s
        << u"SELECT \"A\" FROM \"T\" ORDER BY \"A\" NULLS LAST"_s;
    QTest::newRow("order inside parentheses")
        << u"SELECT * FROM (SELECT A FROM T ORDER BY A) AS X"_s
        << u"SELECT * FROM (SELECT \"A\" FROM \"T\" ORDER BY \"A\" NULLS FIRST) AS \"X\""_s;
    QTest::newRow("a misspelt first word is shown as written") << u"SELEC 1"_s << u"SELEC 1"_s;
    QTest::newRow("IS between columns")
        << u"SELECT 1 FROM T WHERE A IS B AND C IS NOT (D) AND E IS NOT NULL AND F IS TRUE"_s
        << u"SELECT 1 FROM \"T\" WHERE \"A\" IS NOT DISTINCT FROM \"B\" AND \"C\" IS DISTINCT FROM (\"D\") "
           u"AND "
           u"\"E\" IS NOT NULL AND \"F\" IS TRUE"_s;
    QTest::newRow("GLOB binds as loosely as LIKE")
        << u"SELECT 1 FROM T WHERE A GLOB B || '*' AND lower(C) GLOB replace(D, '[', '[[]')"_s
        << u"SELECT 1 FROM \"T\" WHERE \"A\" #~# ( \"B\" || '*' )AND lower(\"C\") #~# ( replace(\"D\", '[', "
           u"'[[]'))"_s;
    QTest::newRow("a column named Glob")
        << u"SELECT Glob, T.Glob FROM T"_s << u"SELECT \"Glob\", \"T\".\"Glob\" FROM \"T\""_s;
    QTest::newRow("common table expressions keep their names")
        << u"WITH RECURSIVE Up(ID) AS (SELECT 1), Wide(N) AS MATERIALIZED (SELECT 2) SELECT * FROM Up"_s
        << u"WITH RECURSIVE \"Up\"(\"ID\") AS (SELECT 1), \"Wide\"(\"N\") AS MATERIALIZED (SELECT 2) SELECT "
           u"* "
           u"FROM \"Up\""_s;
    QTest::newRow("CROSS JOIN with a condition")
        << u"SELECT 1 FROM A CROSS JOIN B CROSS JOIN C AS X ON X.ID = B.ID"_s
        << u"SELECT 1 FROM \"A\" CROSS JOIN \"B\" JOIN \"C\" AS \"X\" ON \"X\".\"ID\" = \"B\".\"ID\""_s;
    QTest::newRow("instr") << u"SELECT instr(Name, '.') FROM T"_s
                           << u"SELECT strpos(\"Name\", '.') FROM \"T\""_s;
    QTest::newRow("Boolean defaults")
        << u"CREATE TABLE T (A BOOLEAN NOT NULL DEFAULT 0, B BOOLEAN DEFAULT 1, C INTEGER DEFAULT 0)"_s
        << u"CREATE TABLE \"T\" (\"A\" BOOLEAN NOT NULL DEFAULT FALSE, \"B\" BOOLEAN DEFAULT TRUE, \"C\" "
           u"INTEGER "
           u"DEFAULT 0)"_s;
    QTest::newRow("INSERT OR IGNORE") << u"INSERT OR IGNORE INTO T (ID) VALUES (?);"_s
                                      << u"INSERT INTO \"T\" (\"ID\") VALUES ($1) ON CONFLICT DO NOTHING;"_s;
}

void TestPgSql::Translate()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    QCOMPARE(TranslateToPostgres(sql).Text, expected);
}

void TestPgSql::ParameterNames()
{
    const TPgSql pg = TranslateToPostgres(u"SELECT ? FROM T WHERE A = :a OR B = @b OR C = :A"_s);
    QCOMPARE(pg.ParamNames, (QStringList{QString(), u":a"_s, u"@b"_s}));
}

void TestPgSql::AutoIncrementKeepsAboveWrittenNumbers()
{
    const TPgSql pg = TranslateToPostgres(
        u"CREATE TABLE IF NOT EXISTS Entries (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT)"_s);
    QCOMPARE(pg.Text,
             u"CREATE TABLE IF NOT EXISTS \"Entries\" (\"ID\" INTEGER GENERATED BY DEFAULT AS IDENTITY "
             "PRIMARY KEY, \"Name\" TEXT)"_s);
    QCOMPARE(pg.After,
             QStringList{u"CREATE TRIGGER \"vnx_identity_Entries\" AFTER INSERT ON \"Entries\" FOR EACH "
                         "STATEMENT EXECUTE FUNCTION vnx_follow_identity('ID')"_s});
    // A key the program writes needs no trigger.
    QVERIFY(TranslateToPostgres(u"CREATE TABLE K (K INTEGER PRIMARY KEY)"_s).After.isEmpty());
}

void TestPgSql::SplitStatements_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("statements");

    QTest::newRow("two") << u"DELETE FROM T; INSERT INTO T VALUES (1);"_s
                         << QStringList{u"DELETE FROM T"_s, u"INSERT INTO T VALUES (1)"_s};
    QTest::newRow("semicolons in quotes and comments")
        << u"SELECT ';' AS \"a;b\" -- ;\n; SELECT 2 /* ; */"_s
        << QStringList{u"SELECT ';' AS \"a;b\" -- ;"_s, u"SELECT 2 /* ; */"_s};
    QTest::newRow("only a comment") << u"-- nothing; really"_s << QStringList();
    QTest::newRow("empty") << QString() << QStringList();
}

void TestPgSql::SplitStatements()
{
    QFETCH(QString, script);
    QFETCH(QStringList, statements);
    QCOMPARE(::SplitStatements(script), statements);
}

QTEST_GUILESS_MAIN(TestPgSql)
#include "tst_PgSql.moc"
