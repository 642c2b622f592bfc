#include "DatabaseError.h"
#include "FilterExpressions.h"

#include <QLocale>
#include <QTest>
#include <sqlite3.h>

using TIds = QList<qint64>;

namespace {

// The columns of the test table, looked up the way a data set does: case-insensitively. "File Name"
// is an extra alias, so a bracketed name with a blank reaches the resolver whole.
std::optional<TFilterColumn> ResolveColumn(const QString &fieldName)
{
    static const QList<std::pair<QString, TFilterColumn>> columns = {
        {QStringLiteral("ID"), {QStringLiteral("\"ID\""), TFieldType::AutoInc}},
        {QStringLiteral("Name"), {QStringLiteral("\"Name\""), TFieldType::String}},
        {QStringLiteral("File Name"), {QStringLiteral("\"Name\""), TFieldType::String}},
        {QStringLiteral("Folder"), {QStringLiteral("\"Folder\""), TFieldType::Boolean}},
        {QStringLiteral("ImageID"), {QStringLiteral("\"ImageID\""), TFieldType::Smallint}},
        {QStringLiteral("Size"), {QStringLiteral("\"Size\""), TFieldType::Largeint}},
        {QStringLiteral("Modified"), {QStringLiteral("\"Modified\""), TFieldType::DateTime}},
        {QStringLiteral("Description"), {QStringLiteral("\"Description\""), TFieldType::Memo}},
    };
    for (const auto &[name, column] : columns)
        if (name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return column;
    return std::nullopt;
}

} // namespace

class TestFilterExpressions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void selects_data();
    void selects();
    void emptyExpression_data();
    void emptyExpression();
    void literalsStayParameters();
    void plainComparisonsUseIndexes_data();
    void plainComparisonsUseIndexes();
    void errors_data();
    void errors();
    void errorMessages_data();
    void errorMessages();

private:
    sqlite3 *FDb = nullptr;

    void Exec(const char *sql);
    sqlite3_stmt *Prepare(const QString &sql, const TVariantArray &params);
    TIds Select(const TSqlCondition &condition);
};

void TestFilterExpressions::Exec(const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(FDb, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error);
        sqlite3_free(error);
        QFAIL(qPrintable(message));
    }
}

void TestFilterExpressions::init()
{
    QCOMPARE(sqlite3_open(":memory:", &FDb), SQLITE_OK);
    Exec("CREATE TABLE Files (ID INTEGER PRIMARY KEY, Name VARCHAR(255), Folder BOOLEAN, "
         "ImageID SMALLINT, Size BIGINT, Modified DATETIME, Description TEXT)");
    Exec("INSERT INTO Files VALUES "
         "(1, 'readme.txt', 0, 1, 100, '2024-03-15 00:00:00.000', 'Read me'),"
         "(2, 'Docs', 1, 2, NULL, '2024-03-15 10:30:00.000', NULL),"
         "(3, 'O''Brien.doc', 0, 3, 5000, '2023-12-31 23:59:59.999', 'Irish'),"
         "(4, 'README.TXT', NULL, NULL, 50, NULL, 'Upper'),"
         "(5, 'x', 1, 5, 0, '2024-01-01 00:00:00.000', ''),"
         "(6, NULL, NULL, 4, NULL, NULL, NULL),"
         "(7, 'x'' OR 1=1 --', 0, 2, 200, '2022-06-01 12:00:00.000', 'injection')");
    Exec("CREATE INDEX FilesImageID ON Files (ImageID)");
    Exec("CREATE INDEX FilesName ON Files (Name)");
}

void TestFilterExpressions::cleanup()
{
    sqlite3_close(FDb);
    FDb = nullptr;
}

// Binds the way the data sets do: ordinals and Booleans as integers, dates as their stored text.
sqlite3_stmt *TestFilterExpressions::Prepare(const QString &sql, const TVariantArray &params)
{
    sqlite3_stmt *statement = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(FDb, utf8.constData(), -1, &statement, nullptr) != SQLITE_OK) {
        qWarning("%s: %s", utf8.constData(), sqlite3_errmsg(FDb));
        return nullptr;
    }
    if (sqlite3_bind_parameter_count(statement) != int(params.size())) {
        qWarning("%s: %zu parameters for %d placeholders", utf8.constData(), params.size(),
                 sqlite3_bind_parameter_count(statement));
        sqlite3_finalize(statement);
        return nullptr;
    }
    for (int i = 0; i < int(params.size()); ++i) {
        const TVariant &value = params[size_t(i)];
        switch (value.VarType()) {
        case TVarType::Smallint:
        case TVarType::Integer:
        case TVarType::Int64:
            sqlite3_bind_int64(statement, i + 1, value.AsInt64());
            break;
        case TVarType::Boolean:
            sqlite3_bind_int64(statement, i + 1, value.AsBoolean() ? 1 : 0);
            break;
        case TVarType::Double:
            sqlite3_bind_double(statement, i + 1, value.AsDouble());
            break;
        case TVarType::String:
            sqlite3_bind_text(statement, i + 1, value.AsString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
            break;
        case TVarType::Date:
            sqlite3_bind_text(statement, i + 1, value.AsDateTime().ToText().toUtf8().constData(), -1,
                              SQLITE_TRANSIENT);
            break;
        case TVarType::Null:
            sqlite3_bind_null(statement, i + 1);
            break;
        default:
            qWarning("unexpected parameter %s", qPrintable(value.DebugText()));
            sqlite3_finalize(statement);
            return nullptr;
        }
    }
    return statement;
}

TIds TestFilterExpressions::Select(const TSqlCondition &condition)
{
    QString sql = QStringLiteral("SELECT ID FROM Files");
    if (!condition.Sql.isEmpty())
        sql += QStringLiteral(" WHERE ") + condition.Sql;
    sql += QStringLiteral(" ORDER BY ID");
    sqlite3_stmt *statement = Prepare(sql, condition.Params);
    if (!statement)
        return {-1};
    TIds ids;
    while (sqlite3_step(statement) == SQLITE_ROW)
        ids.append(sqlite3_column_int64(statement, 0));
    sqlite3_finalize(statement);
    return ids;
}

void TestFilterExpressions::selects_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("caseInsensitive");
    QTest::addColumn<TIds>("expected");
    const auto row = [](const char *name, const QString &expression, TIds expected,
                        bool caseInsensitive = false) {
        QTest::newRow(name) << expression << caseInsensitive << expected;
    };
    const auto S = [](const char *text) { return QString::fromUtf8(text); };

    // A Boolean field alone: NULL counts as false, so NOT of it selects the NULL rows.
    row("bare boolean", S("Folder"), {2, 5});
    row("not bare boolean", S("NOT Folder"), {1, 3, 4, 6, 7});
    row("not not", S("NOT NOT Folder"), {2, 5});
    row("boolean = TRUE", S("Folder = TRUE"), {2, 5});
    row("boolean = FALSE", S("Folder = FALSE"), {1, 3, 7});
    row("boolean <> TRUE skips NULL", S("Folder <> TRUE"), {1, 3, 7});
    row("not of comparison takes NULL", S("NOT (Folder = TRUE)"), {1, 3, 4, 6, 7});
    row("boolean = number", S("Folder = 1"), {2, 5});
    row("boolean = 'false'", S("Folder = 'false'"), {1, 3, 7});
    row("bare number field", S("Size"), {1, 3, 4, 7});

    row("greater, no blanks", S("ImageID>2"), {3, 5, 6});
    row("greater or equal", S("ImageID >= 2"), {2, 3, 5, 6, 7});
    row("less", S("ImageID < 2"), {1});
    row("less or equal", S("ImageID <= 2"), {1, 2, 7});
    row("equal", S("ImageID = 2"), {2, 7});
    row("not equal skips NULL", S("ImageID <> 2"), {1, 3, 5, 6});
    row("!=", S("ImageID != 2"), {1, 3, 5, 6});
    row("not equal negated takes NULL", S("NOT ImageID = 2"), {1, 3, 4, 5, 6});
    row("literal first", S("2 < ImageID"), {3, 5, 6});
    row("negative number", S("Size > -1"), {1, 3, 4, 5, 7});
    row("decimal", S("Size > 99.5"), {1, 3, 7});
    row("string against integer", S("ImageID = '3'"), {3});
    row("field to field", S("ImageID = ID"), {1, 2, 3, 5});
    row("field to field less", S("ImageID < ID"), {6, 7});

    row("parenthesised and not", S("(Size >= 50) AND NOT Folder"), {1, 3, 4, 7});
    row("AND before OR", S("Folder OR ImageID = 1 AND Size = 100"), {1, 2, 5});
    row("parentheses override", S("(Folder OR ImageID = 1) AND Size = 100"), {1});
    row("AND before OR, right", S("ImageID = 1 OR ImageID = 3 AND Size > 1000"), {1, 3});
    row("NOT before AND", S("NOT Folder AND ImageID > 2"), {3, 6});
    row("NOT of group", S("NOT (Folder OR Size > 100)"), {1, 4, 6});
    row("group compared", S("(ImageID > 2) = FALSE"), {1, 2, 4, 7});
    row("TRUE alone", S("TRUE"), {1, 2, 3, 4, 5, 6, 7});
    row("FALSE alone", S("FALSE"), {});
    row("literals only", S("'a' = 'b' OR Folder"), {2, 5});
    row("deepest groups", QString(64, u'(') + S("Folder") + QString(64, u')'), {2, 5});
    row("deepest NOTs", S("NOT ").repeated(16) + S("Folder"), {2, 5});
    row("deepest NOTs of groups", S("NOT (").repeated(12) + S("Folder") + QString(12, u')'), {2, 5});

    row("= NULL", S("Description = NULL"), {2, 6});
    row("NULL =", S("NULL = Description"), {2, 6});
    row("<> NULL", S("Description <> NULL"), {1, 3, 4, 5, 7});
    row("!= NULL", S("Modified != NULL"), {1, 2, 3, 5, 7});
    row("IS NULL", S("Description IS NULL"), {2, 6});
    row("is not null, lower case", S("description is not null"), {1, 3, 4, 5, 7});
    row("> NULL never holds", S("Size > NULL"), {});
    row("NOT > NULL always holds", S("NOT (Size > NULL)"), {1, 2, 3, 4, 5, 6, 7});
    row("NOT = NULL", S("NOT Description = NULL"), {1, 3, 4, 5, 7});
    row("empty string is not NULL", S("Description = ''"), {5});

    row("string", S("Name = 'readme.txt'"), {1});
    row("string, other case", S("Name = 'README.txt'"), {});
    row("string not equal skips NULL", S("Name <> 'x'"), {1, 2, 3, 4, 7});
    row("doubled quote", S("Name = 'O''Brien.doc'"), {3});
    row("injection stays a literal", S("Name = 'x'' OR 1=1 --'"), {7});
    row("string order", S("Name > 'a'"), {1, 5, 7});
    row("number against string", S("Name = 5"), {});

    row("brackets", S("[Name] = 'Docs'"), {2});
    row("double quotes", S("\"ImageID\" > 2"), {3, 5, 6});
    row("bracketed with blank", S("[File Name] = 'x'"), {5});
    row("keywords and names in any case", S("fOlDeR oR nAmE = 'x' AnD imageid = 5"), {2, 5});
    row("true in lower case", S("folder = true"), {2, 5});

    row("date", S("Modified = '2024-03-15'"), {1});
    row("date range", S("Modified >= '2024-03-15'"), {1, 2});
    row("date before", S("Modified < '2024-01-01'"), {3, 7});
    row("date and time", S("Modified = '2024-03-15 10:30:00'"), {2});
    row("date and time with msecs", S("Modified = '2023-12-31 23:59:59.999'"), {3});
    row("locale date",
        QStringLiteral("Modified = '%1'")
            .arg(QLocale::system().toString(QDate(2024, 3, 15), QLocale::ShortFormat)),
        {1});

    row("nocase string", S("Name = 'README.txt'"), {1, 4}, true);
    row("nocase order", S("Name > 'a'"), {1, 2, 3, 4, 5, 7}, true);
    row("nocase memo", S("Description = 'IRISH'"), {3}, true);
    row("nocase leaves numbers", S("ImageID = 2"), {2, 7}, true);
    row("nocase field to field", S("Name = Description"), {}, true);
}

void TestFilterExpressions::selects()
{
    QFETCH(QString, expression);
    QFETCH(bool, caseInsensitive);
    QFETCH(TIds, expected);
    const TSqlCondition condition = TranslateFilter(expression, ResolveColumn, caseInsensitive);
    QVERIFY2(!condition.Sql.isEmpty(), qPrintable(expression));
    QCOMPARE(Select(condition), expected);
}

void TestFilterExpressions::emptyExpression_data()
{
    QTest::addColumn<QString>("expression");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks") << QStringLiteral(" \t ");
}

void TestFilterExpressions::emptyExpression()
{
    QFETCH(QString, expression);
    const TSqlCondition condition = TranslateFilter(expression, ResolveColumn);
    QVERIFY(condition.Sql.isEmpty());
    QVERIFY(condition.Params.empty());
    QCOMPARE(Select(condition), TIds({1, 2, 3, 4, 5, 6, 7}));
}

void TestFilterExpressions::literalsStayParameters()
{
    const TSqlCondition condition =
        TranslateFilter(QStringLiteral("Name = 'x'' OR 1=1 --' OR Size > 4999"), ResolveColumn);
    QCOMPARE(condition.Sql, QStringLiteral("\"Name\" = ? OR \"Size\" > ?"));
    QCOMPARE(condition.Params.size(), size_t(2));
    QCOMPARE(condition.Params[0], TVariant(QStringLiteral("x' OR 1=1 --")));
    QCOMPARE(condition.Params[1], TVariant(qint64(4999)));
    QCOMPARE(Select(condition), TIds({3, 7}));

    const TSqlCondition date = TranslateFilter(QStringLiteral("Modified > '2024-01-01'"), ResolveColumn);
    QCOMPARE(date.Params.size(), size_t(1));
    QCOMPARE(date.Params[0], TVariant(TDateTime::FromParts(2024, 1, 1)));
}

// A filter without NOT must stay sargable, or every filtered open scans the whole catalogue.
void TestFilterExpressions::plainComparisonsUseIndexes_data()
{
    QTest::addColumn<QString>("expression");
    QTest::newRow("range") << QStringLiteral("ImageID > 2");
    QTest::newRow("equal string") << QStringLiteral("Name = 'x'");
    QTest::newRow("and") << QStringLiteral("Name = 'x' AND Size > 0");
    QTest::newRow("is null") << QStringLiteral("ImageID = NULL");
}

void TestFilterExpressions::plainComparisonsUseIndexes()
{
    QFETCH(QString, expression);
    const TSqlCondition condition = TranslateFilter(expression, ResolveColumn);
    sqlite3_stmt *statement = Prepare(
        QStringLiteral("EXPLAIN QUERY PLAN SELECT ID FROM Files WHERE ") + condition.Sql, condition.Params);
    QVERIFY(statement);
    QString plan;
    while (sqlite3_step(statement) == SQLITE_ROW)
        plan += QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 3))) + u'\n';
    sqlite3_finalize(statement);
    QVERIFY2(plan.contains(QStringLiteral("INDEX")), qPrintable(plan));
}

void TestFilterExpressions::errors_data()
{
    QTest::addColumn<QString>("expression");
    const auto row = [](const char *text) { QTest::newRow(text) << QString::fromUtf8(text); };
    row("Foo");
    row("Foo = 1");
    row("[Foo Bar] = 1");
    row("Name = 'abc");
    row("'");
    row("(Folder");
    row("((Folder)");
    row("Folder)");
    row("Folder Folder");
    row("ImageID > 2 3");
    row("ImageID >");
    row("= 1");
    row("Folder AND");
    row("AND Folder");
    row("NOT");
    row("()");
    row("[Name");
    row("[] = 1");
    row("\"Name = 'x'");
    row("ImageID == 2");
    row("ImageID > 2 #");
    row("ImageID - 2");
    row("Name IS 'x'");
    row("Name IS NOT");
    row("Name");
    row("Modified");
    row("'abc'");
    row("5");
    row("NULL");
    row("Modified = 'yesterday'");
    row("Modified = '2024-02-30'");
    row("Modified = 5");
    row("Folder = 'maybe'");
    row("ImageID = 'abc'");
    row("Name = TRUE");
    QTest::newRow("too deep") << QString(65, u'(') + QStringLiteral("Folder") + QString(65, u')');
    QTest::newRow("too many NOTs") << QStringLiteral("NOT ").repeated(17) + QStringLiteral("Folder");
    // Once enough to overflow the stack.
    QTest::newRow("thousands of groups") << QString(5000, u'(');
}

void TestFilterExpressions::errors()
{
    QFETCH(QString, expression);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, TranslateFilter(expression, ResolveColumn));
}

void TestFilterExpressions::errorMessages_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown field") << QStringLiteral("foo > 1")
                                   << QStringLiteral("Field 'foo' not found in filter expression: foo > 1");
    QTest::newRow("trailing") << QStringLiteral("Folder)")
                              << QStringLiteral("Filter expression incorrectly terminated: Folder)");
    QTest::newRow("unterminated string")
        << QStringLiteral("Name = 'x")
        << QStringLiteral("Unterminated string in filter expression: Name = 'x");
    QTest::newRow("missing parenthesis")
        << QStringLiteral("(Folder") << QStringLiteral("')' expected at end in filter expression: (Folder");
    QTest::newRow("bad value for a group")
        << QStringLiteral("(ImageID > 2) = 'maybe'")
        << QStringLiteral("'maybe' is not a valid value for field '(ImageID > 2)' in filter expression: "
                          "(ImageID > 2) = 'maybe'");
    QTest::newRow("bad date") << QStringLiteral("Modified = 'soon'")
                              << QStringLiteral(
                                     "'soon' is not a valid date and time for field 'Modified' in filter "
                                     "expression: Modified = 'soon'");
    QTest::newRow("too deep") << QString(5000, u'(')
                              << QStringLiteral(
                                     "Filter expression nested more than 64 levels deep at position 65");
}

void TestFilterExpressions::errorMessages()
{
    QFETCH(QString, expression);
    QFETCH(QString, message);
    try {
        TranslateFilter(expression, ResolveColumn);
        QFAIL("no exception");
    } catch (const EDatabaseError &error) {
        QCOMPARE(error.Message(), message);
    }
}

QTEST_GUILESS_MAIN(TestFilterExpressions)
#include "tst_FilterExpressions.moc"
