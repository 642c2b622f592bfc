#include "Databases.h"
#include "Queries.h"
#include "TestDrivers.h"
#include "TestSupport.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <sqlite3.h>

Q_DECLARE_METATYPE(TVariant)
Q_DECLARE_METATYPE(TFieldType)
Q_DECLARE_METATYPE(TVarType)
Q_DECLARE_METATYPE(TDateTime)

char *toString(const TVariant &value)
{
    return QTest::toString(value.DebugText());
}

char *toString(TFieldType type)
{
    return QTest::toString(FieldTypeName(type));
}

char *toString(TVarType type)
{
    return QTest::toString(TVariant::TypeName(type));
}

namespace {

// The values of one field from the current record to the end, leaving the data set at its end.
QStringList walk(TDataSet &dataSet, const QString &fieldName)
{
    QStringList values;
    for (; !dataSet.Eof(); dataSet.Next())
        values << dataSet.FieldByName(fieldName)->AsString();
    return values;
}

} // namespace

class TestQueries : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void StatementLinesKeepLineBreaks();
    void ParseParamNames_data();
    void ParseParamNames();
    void NameUsedTwiceIsOneParameter();
    void SetSQLKeepsValuesOfNamesThatStay();
    void UnknownParameter();

    void Navigation();
    void RowsAreReadAsNeeded();
    void NoRows();
    void MaxRowsEndsTheResult();
    void ColumnTypes_data();
    void ColumnTypes();
    void DuplicateColumnNames();
    void Locate_data();
    void Locate();
    void BooleanAndDateTimeParameters();
    void BetweenDateTimes_data();
    void BetweenDateTimes();
    void UnsetParameterIsNull();
    void ReopenBindsNewValues();
    void Refresh();
    void IdleQueryHoldsNoReadTransaction();

    void ExecSQL_data();
    void ExecSQL();
    void Errors_data();
    void Errors();
    void OpenDoesNotRunAStatementWithoutRows();
    void QueryCannotBeEdited();

    void StoredProcOpen();
    void StoredProcExec();
    void StoredProcParameters();
    void StoredProcUnknown_data();
    void StoredProcUnknown();

private:
    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TDatabase> FDb;

    std::unique_ptr<TQuery> Query(const QStringList &sql);
    QString Scalar(const QString &sql) { return RowsOf(*FDb, sql).value(0, QStringLiteral("<no row>")); }
};

void TestQueries::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FDb = std::make_unique<TDatabase>();
    FDb->SetDatabaseName(QStringLiteral("Queries"));
    FDb->SetDriverName(TestDriver());
    FDb->SetParams(TestDatabaseParams(FDir->path(), QStringLiteral("queries")) +
                   QStringList{QStringLiteral("CREATE=TRUE")});
    FDb->Open();
    FDb->ExecSQL(
        QStringLiteral("CREATE TABLE T (A INTEGER, B INTEGER, S SMALLINT, Name VARCHAR(40), Size BIGINT, "
                       "Flag BOOLEAN, Modified DATETIME, Notes TEXT, Data BLOB)"));
    FDb->ExecSQL(
        QStringLiteral("INSERT INTO T VALUES "
                       "(1, 5, 10, 'alpha', 100, TRUE, '2024-01-01 10:00:00.000', 'n1', x'01'), "
                       "(2, 1, 20, 'beta', 5000000000, FALSE, '2024-01-02 12:30:00.000', NULL, NULL), "
                       "(3, 3, 30, 'Gamma', 300, TRUE, '2024-01-03 08:15:00.500', NULL, NULL)"));
    FDb->ExecSQL(QStringLiteral("CREATE TABLE Keys (K INTEGER PRIMARY KEY)"));
    FDb->ExecSQL(QStringLiteral("INSERT INTO Keys VALUES (1)"));
}

void TestQueries::cleanup()
{
    FDb.reset();
    FDir.reset();
}

std::unique_ptr<TQuery> TestQueries::Query(const QStringList &sql)
{
    auto query = std::make_unique<TQuery>();
    query->SetDatabase(FDb.get());
    query->SetSQL(sql);
    return query;
}

// ---------------------------------------------------------------------------------------------
// Statement text and parameters

void TestQueries::StatementLinesKeepLineBreaks()
{
    // A line comment ends at the end of its line: joined with spaces the statement would lose its
    // FROM clause and its parameter.
    auto query = Query({QStringLiteral("SELECT Name -- the file's name"), QStringLiteral("FROM T"),
                        QStringLiteral("WHERE A = :a")});
    QCOMPARE(query->Text(), QStringLiteral("SELECT Name -- the file's name\nFROM T\nWHERE A = :a"));
    QCOMPARE(query->SQL().size(), 3);
    QCOMPARE(query->Params().Count(), 1);
    query->ParamByName(QStringLiteral("a"))->SetAsInteger(2);
    query->Open();
    QCOMPARE(walk(*query, QStringLiteral("Name")), QStringList{QStringLiteral("beta")});
}

void TestQueries::ParseParamNames_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("one") << QStringLiteral("SELECT * FROM T WHERE A = :a")
                         << QStringList{QStringLiteral("a")};
    QTest::newRow("order of first use") << QStringLiteral("WHERE B = :second AND A = :first OR C = :second")
                                        << QStringList{QStringLiteral("second"), QStringLiteral("first")};
    QTest::newRow("repeat in other case")
        << QStringLiteral("WHERE A = :Key OR B = :KEY OR C = :key") << QStringList{QStringLiteral("Key")};
    QTest::newRow("digits and underscore")
        << QStringLiteral("VALUES (:p_1, :p2)") << QStringList{QStringLiteral("p_1"), QStringLiteral("p2")};
    QTest::newRow("at the very end") << QStringLiteral("WHERE A=:x") << QStringList{QStringLiteral("x")};
    QTest::newRow("colon alone") << QStringLiteral("SELECT ': ' || Name, a : b FROM T") << QStringList();
    QTest::newRow("drive letter in quotes")
        << QStringLiteral("WHERE Path = ':\\' AND ID = :id") << QStringList{QStringLiteral("id")};
    QTest::newRow("time in quotes") << QStringLiteral("WHERE T > '12:30' AND U < :limit")
                                    << QStringList{QStringLiteral("limit")};
    QTest::newRow("doubled quote inside")
        << QStringLiteral("WHERE N = 'it''s :not' AND M = :yes") << QStringList{QStringLiteral("yes")};
    QTest::newRow("quoted identifier")
        << QStringLiteral("SELECT \":odd\" FROM T WHERE A = :a") << QStringList{QStringLiteral("a")};
    QTest::newRow("bracketed identifier")
        << QStringLiteral("SELECT [:odd] FROM T WHERE A = :a") << QStringList{QStringLiteral("a")};
    QTest::newRow("line comment") << QStringLiteral("SELECT :a -- not :b\nFROM T WHERE C = :c")
                                  << QStringList{QStringLiteral("a"), QStringLiteral("c")};
    QTest::newRow("line comment at end")
        << QStringLiteral("SELECT :a -- :b") << QStringList{QStringLiteral("a")};
    QTest::newRow("block comment") << QStringLiteral("SELECT /* :b\n:c */ :a /**/ :d")
                                   << QStringList{QStringLiteral("a"), QStringLiteral("d")};
    QTest::newRow("unclosed quote") << QStringLiteral("SELECT :a, ':b") << QStringList{QStringLiteral("a")};
    QTest::newRow("none") << QStringLiteral("SELECT 1") << QStringList();
}

void TestQueries::ParseParamNames()
{
    QFETCH(QString, sql);
    QFETCH(QStringList, names);
    QCOMPARE(::ParseParamNames(sql), names);
}

void TestQueries::NameUsedTwiceIsOneParameter()
{
    auto query = Query({QStringLiteral("SELECT A FROM T WHERE A = :x OR B = :x ORDER BY A")});
    QCOMPARE(query->Params().Count(), 1);
    query->ParamByName(QStringLiteral("X"))->SetAsInteger(1);
    query->Open();
    // A = 1 on the first row, B = 1 on the second: both places got the value.
    QCOMPARE(walk(*query, QStringLiteral("A")), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));

    // The same in a statement run for its effect.
    auto update = Query({QStringLiteral("UPDATE T SET B = :v WHERE A = :v")});
    QCOMPARE(update->Params().Count(), 1);
    update->ParamByName(QStringLiteral("v"))->SetAsInteger(3);
    update->ExecSQL();
    QCOMPARE(update->RowsAffected(), 1);
    QCOMPARE(Scalar(QStringLiteral("SELECT B FROM T WHERE A = 3")), QStringLiteral("3"));
}

void TestQueries::SetSQLKeepsValuesOfNamesThatStay()
{
    auto query = Query({QStringLiteral("SELECT A FROM T WHERE A = :x OR A = :y")});
    query->ParamByName(QStringLiteral("x"))->SetAsInteger(1);
    query->ParamByName(QStringLiteral("y"))->SetAsInteger(2);
    query->Open();
    QVERIFY(query->Active());

    query->SetSQL({QStringLiteral("SELECT A FROM T"), QStringLiteral("WHERE A = :Y OR A = :z ORDER BY A")});
    QVERIFY(!query->Active()); // a new statement closes the old one's rows
    QCOMPARE(query->Params().Count(), 2);
    QCOMPARE(query->Params().Items(0)->Name(), QStringLiteral("Y"));
    QCOMPARE(query->ParamByName(QStringLiteral("y"))->Value().AsInteger(), 2);
    QVERIFY(query->ParamByName(QStringLiteral("z"))->IsNull());
    QCOMPARE(query->Params().FindParam(QStringLiteral("x")), nullptr);
    query->Open();
    QCOMPARE(walk(*query, QStringLiteral("A")), QStringList{QStringLiteral("2")});

    // A name that went away and comes back starts without a value.
    query->SetSQL({QStringLiteral("SELECT A FROM T WHERE A = :x")});
    QVERIFY(query->ParamByName(QStringLiteral("x"))->IsNull());
}

void TestQueries::UnknownParameter()
{
    auto query = Query({QStringLiteral("SELECT A FROM T WHERE A = :a")});
    QCOMPARE(ErrorOf([&] { query->ParamByName(QStringLiteral("b")); }),
             QStringLiteral("Parameter 'b' not found"));
}

// ---------------------------------------------------------------------------------------------
// Reading rows

void TestQueries::Navigation()
{
    auto query = Query({QStringLiteral("SELECT A FROM T ORDER BY A")});
    query->Open();
    TField *a = query->FieldByName(QStringLiteral("A"));
    QVERIFY(query->Bof());
    QVERIFY(!query->Eof());
    QCOMPARE(a->AsInteger(), 1);

    query->Next();
    QVERIFY(!query->Bof());
    QCOMPARE(a->AsInteger(), 2);
    query->Next();
    QCOMPARE(a->AsInteger(), 3);
    QVERIFY(!query->Eof());
    query->Next();
    QVERIFY(query->Eof());
    QCOMPARE(a->AsInteger(), 3);

    query->Prior();
    QVERIFY(!query->Eof());
    QCOMPARE(a->AsInteger(), 2);
    query->First();
    QVERIFY(query->Bof());
    QCOMPARE(a->AsInteger(), 1);
    query->Prior();
    QVERIFY(query->Bof());
    QCOMPARE(a->AsInteger(), 1);
    QCOMPARE(query->MoveBy(5), 2);
    QVERIFY(query->Eof());
    QCOMPARE(query->MoveBy(-5), -2);
    QVERIFY(query->Bof());

    query->Last();
    QVERIFY(query->Eof());
    QCOMPARE(a->AsInteger(), 3);
    QCOMPARE(query->RecordCount(), 3);

    // Counting reads every row but leaves the cursor where it was.
    query->Close();
    query->Open();
    query->Next();
    QCOMPARE(query->RecordCount(), 3);
    QCOMPARE(query->FieldByName(QStringLiteral("A"))->AsInteger(), 2);
    query->Next();
    query->Next();
    QVERIFY(query->Eof());
}

void TestQueries::RowsAreReadAsNeeded()
{
    SKIP_UNLESS_SQLITE("a server computes a result whole before it sends the first row");
    // The fourth row fails to compute: a query that read everything at once could not even open.
    auto query = Query(
        {QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 6)"),
         QStringLiteral("SELECT CASE WHEN n < 4 THEN n ELSE abs(-9223372036854775807 - 1 + 0 * n) END AS v"),
         QStringLiteral("FROM c")});
    query->Open();
    TField *v = query->FieldByName(QStringLiteral("v"));
    QCOMPARE(v->AsInteger(), 1);
    query->Next();
    query->Next();
    QCOMPARE(v->AsInteger(), 3);
    QCOMPARE(ErrorOf([&] { query->Next(); }), QStringLiteral("integer overflow"));
    QCOMPARE(v->AsInteger(), 3);
    // Rows already read stay readable.
    query->First();
    QCOMPARE(v->AsInteger(), 1);
}

void TestQueries::MaxRowsEndsTheResult()
{
    // The fourth row fails to compute: with three rows at most it is never read.
    auto query = Query(
        {QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 6)"),
         QStringLiteral("SELECT CASE WHEN n < 4 THEN n ELSE abs(-9223372036854775807 - 1 + 0 * n) END AS v"),
         QStringLiteral("FROM c")});
    query->SetMaxRows(3);
    query->Open();
    query->Last();
    QCOMPARE(query->FieldByName(QStringLiteral("v"))->AsInteger(), 3);
    QCOMPARE(query->RecordCount(), 3);
    query->Next();
    QVERIFY(query->Eof());
    query->SetMaxRows(0);
    query->Close();
    // A server computes the result whole, so it fails at the opening already.
    QCOMPARE(ErrorOf([&] {
                 query->Open();
                 query->Last();
             }),
             OnPostgres() ? QStringLiteral("bigint out of range") : QStringLiteral("integer overflow"));
}

void TestQueries::NoRows()
{
    auto query = Query({QStringLiteral("SELECT A, Name, Name || 'x' AS Label FROM T WHERE A > 100")});
    query->Open();
    QVERIFY(query->Active());
    QVERIFY(query->IsEmpty());
    QVERIFY(query->Bof());
    QVERIFY(query->Eof());
    QCOMPARE(query->RecordCount(), 0);
    QCOMPARE(query->FieldCount(), 3);
    QCOMPARE(query->FieldByName(QStringLiteral("A"))->DataType(), TFieldType::Integer);
    QCOMPARE(query->FieldByName(QStringLiteral("Name"))->DataType(), TFieldType::String);
    QVERIFY(query->FieldByName(QStringLiteral("Name"))->IsNull());
    QCOMPARE(query->MoveBy(1), 0);
    query->Last();
    QVERIFY(query->IsEmpty());
    QVERIFY(!query->Locate(QStringLiteral("A"), TVariant(qint32(1))));
    QVERIFY(query->GetBookmark().IsEmpty());
}

void TestQueries::ColumnTypes_data()
{
    QTest::addColumn<QString>("select");
    QTest::addColumn<TFieldType>("type");
    QTest::addColumn<TVarType>("varType");
    QTest::addColumn<QString>("text"); // of the first row; empty: not compared

    QTest::newRow("SMALLINT") << QStringLiteral("S") << TFieldType::Smallint << TVarType::Smallint
                              << QStringLiteral("10");
    QTest::newRow("SMALLINT through an alias") << QStringLiteral("X.S AS Small") << TFieldType::Smallint
                                               << TVarType::Smallint << QStringLiteral("10");
    QTest::newRow("INTEGER") << QStringLiteral("A") << TFieldType::Integer << TVarType::Integer
                             << QStringLiteral("1");
    QTest::newRow("BIGINT") << QStringLiteral("Size") << TFieldType::Largeint << TVarType::Int64
                            << QStringLiteral("100");
    QTest::newRow("BOOLEAN") << QStringLiteral("Flag") << TFieldType::Boolean << TVarType::Boolean
                             << QString();
    QTest::newRow("DATETIME") << QStringLiteral("Modified") << TFieldType::DateTime << TVarType::Date
                              << QString();
    QTest::newRow("VARCHAR") << QStringLiteral("Name") << TFieldType::String << TVarType::String
                             << QStringLiteral("alpha");
    QTest::newRow("TEXT") << QStringLiteral("Notes") << TFieldType::Memo << TVarType::String
                          << QStringLiteral("n1");
    QTest::newRow("BLOB") << QStringLiteral("Data") << TFieldType::Blob << TVarType::Bytes << QString();
    QTest::newRow("text expression") << QStringLiteral("'file ' || Name AS Label") << TFieldType::String
                                     << TVarType::String << QStringLiteral("file alpha");
    QTest::newRow("max + 1") << QStringLiteral("max(A) + 1 AS NextA") << TFieldType::Integer
                             << TVarType::Integer << QStringLiteral("4");
    QTest::newRow("count") << QStringLiteral("count(*) AS N") << TFieldType::Integer << TVarType::Integer
                           << QStringLiteral("3");
    QTest::newRow("beyond 32 bits") << QStringLiteral("max(Size) AS M") << TFieldType::Largeint
                                    << TVarType::Int64 << QStringLiteral("5000000000");
    QTest::newRow("real") << QStringLiteral("A / 2.0 AS Half") << TFieldType::Float << TVarType::Double
                          << QString();
}

void TestQueries::ColumnTypes()
{
    QFETCH(QString, select);
    QFETCH(TFieldType, type);
    QFETCH(TVarType, varType);
    QFETCH(QString, text);

    // Ordered inside, so that an aggregate needs no GROUP BY on a server.
    auto query = Query({QStringLiteral("SELECT %1 FROM (SELECT * FROM T ORDER BY A) AS X").arg(select)});
    query->Open();
    QCOMPARE(query->FieldCount(), 1);
    TField *field = query->Fields(0);
    QCOMPARE(field->DataType(), type);
    QCOMPARE(field->Value().VarType(), varType);
    if (!text.isEmpty())
        QCOMPARE(field->AsString(), text);
    // Later rows keep the type.
    query->Last();
    if (!field->IsNull())
        QCOMPARE(field->Value().VarType(), varType);
}

void TestQueries::DuplicateColumnNames()
{
    auto query = Query({QStringLiteral("SELECT A, A, B AS A, Name AS a_1 FROM T ORDER BY T.A")});
    query->Open();
    QStringList names;
    for (int i = 0; i < query->FieldCount(); ++i)
        names << query->Fields(i)->FieldName();
    QCOMPARE(names, (QStringList{QStringLiteral("A"), QStringLiteral("A_1"), QStringLiteral("A_2"),
                                 QStringLiteral("a_1_1")}));
    QCOMPARE(query->FieldByName(QStringLiteral("A_2"))->AsInteger(), 5);
    QCOMPARE(query->FieldByName(QStringLiteral("a_1_1"))->AsString(), QStringLiteral("alpha"));
}

void TestQueries::Locate_data()
{
    QTest::addColumn<QString>("keyFields");
    QTest::addColumn<TVariant>("keyValues");
    QTest::addColumn<int>("options");
    QTest::addColumn<int>("found"); // A of the record found, 0 for none

    QTest::newRow("text") << QStringLiteral("Name") << TVariant(QStringLiteral("beta")) << 0 << 2;
    QTest::newRow("text, other case")
        << QStringLiteral("Name") << TVariant(QStringLiteral("GAMMA")) << 0 << 0;
    QTest::newRow("case-insensitive")
        << QStringLiteral("Name") << TVariant(QStringLiteral("GAMMA")) << int(loCaseInsensitive) << 3;
    QTest::newRow("partial") << QStringLiteral("Name") << TVariant(QStringLiteral("Gam")) << int(loPartialKey)
                             << 3;
    QTest::newRow("partial, case-insensitive") << QStringLiteral("Name") << TVariant(QStringLiteral("AL"))
                                               << int(loPartialKey | loCaseInsensitive) << 1;
    QTest::newRow("partial needs the option")
        << QStringLiteral("Name") << TVariant(QStringLiteral("Gam")) << 0 << 0;
    QTest::newRow("integer") << QStringLiteral("A") << TVariant(qint32(3)) << 0 << 3;
    QTest::newRow("integer given as text") << QStringLiteral("A") << TVariant(QStringLiteral("2")) << 0 << 2;
    QTest::newRow("smallint from a plain integer") << QStringLiteral("S") << TVariant(qint32(20)) << 0 << 2;
    QTest::newRow("two fields") << QStringLiteral("A;B")
                                << TVariant::Array({TVariant(qint32(2)), TVariant(qint32(1))}) << 0 << 2;
    QTest::newRow("two fields, one differs")
        << QStringLiteral("A;B") << TVariant::Array({TVariant(qint32(2)), TVariant(qint32(5))}) << 0 << 0;
    QTest::newRow("null") << QStringLiteral("Notes") << TVariant::Null() << 0 << 2;
    QTest::newRow("missing") << QStringLiteral("Name") << TVariant(QStringLiteral("delta")) << 0 << 0;
}

void TestQueries::Locate()
{
    QFETCH(QString, keyFields);
    QFETCH(TVariant, keyValues);
    QFETCH(int, options);
    QFETCH(int, found);

    auto query = Query({QStringLiteral("SELECT A, B, S, Name, Notes FROM T ORDER BY A")});
    query->Open();
    QCOMPARE(query->Locate(keyFields, keyValues, options), found != 0);
    // A failed search leaves the cursor where it was.
    QCOMPARE(query->FieldByName(QStringLiteral("A"))->AsInteger(), found != 0 ? found : 1);
    if (found != 0) {
        QVERIFY(!query->Bof());
        QVERIFY(!query->Eof());
    }
}

void TestQueries::BooleanAndDateTimeParameters()
{
    // How SQLite stores them; a server takes an untyped parameter as text.
    auto query =
        Query({OnPostgres() ? QStringLiteral("SELECT :f AS f, :d AS d")
                            : QStringLiteral("SELECT typeof(:f) AS tf, :f AS f, typeof(:d) AS td, :d AS d")});
    query->ParamByName(QStringLiteral("f"))->SetAsBoolean(true);
    query->ParamByName(QStringLiteral("d"))->SetAsDateTime(TDateTime::FromParts(2024, 1, 2, 3, 4, 5, 6));
    query->Open();
    if (!OnPostgres()) {
        QCOMPARE(query->FieldByName(QStringLiteral("tf"))->AsString(), QStringLiteral("integer"));
        QCOMPARE(query->FieldByName(QStringLiteral("td"))->AsString(), QStringLiteral("text"));
    }
    QCOMPARE(query->FieldByName(QStringLiteral("f"))->AsInteger(), 1);
    QCOMPARE(query->FieldByName(QStringLiteral("d"))->AsString(), QStringLiteral("2024-01-02 03:04:05.006"));

    query->Close();
    query->ParamByName(QStringLiteral("f"))->SetAsBoolean(false);
    query->Open();
    QCOMPARE(query->FieldByName(QStringLiteral("f"))->AsInteger(), 0);

    auto flagged = Query({QStringLiteral("SELECT Name FROM T WHERE Flag = :f ORDER BY A")});
    flagged->ParamByName(QStringLiteral("f"))->SetAsBoolean(true);
    flagged->Open();
    QCOMPARE(walk(*flagged, QStringLiteral("Name")),
             (QStringList{QStringLiteral("alpha"), QStringLiteral("Gamma")}));
}

void TestQueries::BetweenDateTimes_data()
{
    QTest::addColumn<TDateTime>("from");
    QTest::addColumn<TDateTime>("to");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("two days") << TDateTime::FromParts(2024, 1, 1, 12) << TDateTime::FromParts(2024, 1, 3, 23)
                              << QStringList{QStringLiteral("beta"), QStringLiteral("Gamma")};
    // The bounds hold to the millisecond.
    QTest::newRow("exact end") << TDateTime::FromParts(2024, 1, 1)
                               << TDateTime::FromParts(2024, 1, 3, 8, 15, 0, 500)
                               << QStringList{QStringLiteral("alpha"), QStringLiteral("beta"),
                                              QStringLiteral("Gamma")};
    QTest::newRow("a millisecond short")
        << TDateTime::FromParts(2024, 1, 1) << TDateTime::FromParts(2024, 1, 3, 8, 15, 0, 499)
        << QStringList{QStringLiteral("alpha"), QStringLiteral("beta")};
    QTest::newRow("exact start") << TDateTime::FromParts(2024, 1, 2, 12, 30)
                                 << TDateTime::FromParts(2024, 1, 2, 23)
                                 << QStringList{QStringLiteral("beta")};
    QTest::newRow("none") << TDateTime::FromParts(2023, 1, 1) << TDateTime::FromParts(2023, 12, 31)
                          << QStringList();
}

void TestQueries::BetweenDateTimes()
{
    QFETCH(TDateTime, from);
    QFETCH(TDateTime, to);
    QFETCH(QStringList, names);

    auto query =
        Query({QStringLiteral("SELECT Name FROM T WHERE Modified BETWEEN :a AND :b ORDER BY Modified")});
    query->ParamByName(QStringLiteral("a"))->SetAsDateTime(from);
    query->ParamByName(QStringLiteral("b"))->SetAsDateTime(to);
    query->Open();
    QCOMPARE(walk(*query, QStringLiteral("Name")), names);
}

void TestQueries::UnsetParameterIsNull()
{
    auto query = Query({QStringLiteral("SELECT :p IS NULL AS n, :p AS v")});
    query->Open();
    QVERIFY(query->FieldByName(QStringLiteral("n"))->AsBoolean());
    QVERIFY(query->FieldByName(QStringLiteral("v"))->IsNull());

    auto filtered = Query({QStringLiteral("SELECT A FROM T WHERE A = :p")});
    filtered->Open();
    QVERIFY(filtered->IsEmpty());

    // A value once set and then cleared is null again.
    filtered->Close();
    filtered->ParamByName(QStringLiteral("p"))->SetAsInteger(1);
    filtered->Open();
    QCOMPARE(filtered->RecordCount(), 1);
    filtered->Close();
    filtered->ParamByName(QStringLiteral("p"))->Clear();
    filtered->Open();
    QVERIFY(filtered->IsEmpty());
}

void TestQueries::ReopenBindsNewValues()
{
    auto query = Query({QStringLiteral("SELECT Name FROM T WHERE A >= :min ORDER BY A")});
    query->ParamByName(QStringLiteral("min"))->SetAsInteger(3);
    query->Open();
    QCOMPARE(walk(*query, QStringLiteral("Name")), QStringList{QStringLiteral("Gamma")});
    query->Close();
    query->ParamByName(QStringLiteral("min"))->SetAsInteger(2);
    query->Open();
    QCOMPARE(walk(*query, QStringLiteral("Name")),
             (QStringList{QStringLiteral("beta"), QStringLiteral("Gamma")}));
}

void TestQueries::Refresh()
{
    auto query = Query({QStringLiteral("SELECT A FROM T WHERE A >= :min ORDER BY A")});
    query->ParamByName(QStringLiteral("min"))->SetAsInteger(2);
    query->Open();
    query->Last();
    FDb->ExecSQL(QStringLiteral("INSERT INTO T (A) VALUES (4)"));
    QCOMPARE(query->RecordCount(), 2); // what was read stays until refreshed
    query->Refresh();
    QVERIFY(!query->Bof() || !query->Eof());
    QCOMPARE(query->FieldByName(QStringLiteral("A"))->AsInteger(), 2);
    QCOMPARE(query->RecordCount(), 3);
}

// ---------------------------------------------------------------------------------------------
// Statements run for their effect

void TestQueries::IdleQueryHoldsNoReadTransaction()
{
    SKIP_UNLESS_SQLITE("SQLite's read transactions and log");
    TDatabase other; // another program's connection to the same file
    other.SetDatabaseName(QStringLiteral("Other"));
    other.SetDriverName(QStringLiteral("SQLITE"));
    other.SetParams({QStringLiteral("DATABASE NAME=") + FDir->filePath(QStringLiteral("queries.db"))});
    other.Open();

    auto query = Query({QStringLiteral("SELECT A FROM T ORDER BY A")});
    query->Open();
    QCOMPARE(query->FieldByName(QStringLiteral("A"))->AsInteger(), 1);
    QCOMPARE(sqlite3_txn_state(FDb->Handle(), nullptr), SQLITE_TXN_READ);

    QEventLoop idle;
    QTimer::singleShot(20, &idle, &QEventLoop::quit);
    idle.exec();
    QCOMPARE(sqlite3_txn_state(FDb->Handle(), nullptr), SQLITE_TXN_NONE);

    // The other program folds the log back and writes; so does this connection, on a snapshot
    // that is not stale; and the query reads on from where it was, seeing both rows.
    other.ExecSQL(QStringLiteral("INSERT INTO T (A) VALUES (4)"));
    int logPages = -1;
    int folded = -1;
    QCOMPARE(
        sqlite3_wal_checkpoint_v2(other.Handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logPages, &folded),
        SQLITE_OK);
    FDb->ExecSQL(QStringLiteral("INSERT INTO T (A) VALUES (5)"));
    QCOMPARE(walk(*query, QStringLiteral("A")),
             QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                          QStringLiteral("5")}));
}

void TestQueries::ExecSQL_data()
{
    QTest::addColumn<QStringList>("sql");
    QTest::addColumn<int>("rowsAffected");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("expected");

    const QString allA = QStringLiteral("SELECT A FROM T ORDER BY A");
    QTest::newRow("update") << QStringList{QStringLiteral("UPDATE T SET B = :v WHERE A > 1")} << 2
                            << QStringLiteral("SELECT sum(B) FROM T") << QStringLiteral("25");
    QTest::newRow("nothing matched") << QStringList{QStringLiteral("DELETE FROM T WHERE A = :v")} << 0 << allA
                                     << QStringLiteral("1,2,3");
    QTest::newRow("script of two") << QStringList{QStringLiteral("INSERT INTO T (A, B) VALUES (:v, :v);"),
                                                  QStringLiteral("DELETE FROM T WHERE A = 1")}
                                   << 2 << allA << QStringLiteral("2,3,10");
    QTest::newRow("script ending in a comment") << QStringList{QStringLiteral("DELETE FROM T WHERE A < 3;"),
                                                               QStringLiteral("-- the small ones are gone")}
                                                << 2 << allA << QStringLiteral("3");
    QTest::newRow("schema change") << QStringList{QStringLiteral("CREATE TABLE New (X INTEGER)")} << 0
                                   << QStringLiteral("SELECT count(*) FROM New") << QStringLiteral("0");
}

void TestQueries::ExecSQL()
{
    QFETCH(QStringList, sql);
    QFETCH(int, rowsAffected);
    QFETCH(QString, check);
    QFETCH(QString, expected);

    auto query = Query(sql);
    if (TParam *v = query->Params().FindParam(QStringLiteral("v")))
        v->SetAsInteger(10);
    query->ExecSQL();
    QCOMPARE(query->RowsAffected(), rowsAffected);
    QVERIFY(!query->Active());
    QCOMPARE(RowsOf(*FDb, check).join(u','), expected);
}

void TestQueries::Errors_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("open"); // else ExecSQL
    QTest::addColumn<QString>("message");

    // The engine's own words.
    const bool server = OnPostgres();
    const QString noSuchTable = server ? QStringLiteral("relation \"Missing\" does not exist")
                                       : QStringLiteral("no such table: Missing");
    QTest::newRow("open, no such table") << QStringLiteral("SELECT * FROM Missing") << true << noSuchTable;
    QTest::newRow("exec, no such table")
        << QStringLiteral("INSERT INTO Missing VALUES (1)") << false << noSuchTable;
    QTest::newRow("syntax") << QStringLiteral("SELEC 1") << true
                            << (server ? QStringLiteral("syntax error at or near \"SELEC\"")
                                       : QStringLiteral("near \"SELEC\": syntax error"));
    QTest::newRow("constraint") << QStringLiteral("INSERT INTO Keys VALUES (1)") << false
                                << (server
                                        ? QStringLiteral(
                                              "duplicate key value violates unique constraint \"Keys_pkey\"")
                                        : QStringLiteral("UNIQUE constraint failed: Keys.K"));
    QTest::newRow("second statement of a script")
        << QStringLiteral("SELECT 1; INSERT INTO Missing VALUES (1)") << false << noSuchTable;
    QTest::newRow("positional parameter")
        << QStringLiteral("SELECT A FROM T WHERE A = ?") << true
        << QStringLiteral("Parameters must be named: SELECT A FROM T WHERE A = ?");
    QTest::newRow("empty statement") << QStringLiteral("  ") << true
                                     << QStringLiteral("No SQL statement available");
    QTest::newRow("empty script") << QString() << false << QStringLiteral("No SQL statement available");
}

void TestQueries::Errors()
{
    QFETCH(QString, sql);
    QFETCH(bool, open);
    QFETCH(QString, message);

    auto query = Query({sql});
    QCOMPARE(ErrorOf([&] { open ? query->Open() : query->ExecSQL(); }), message);
    QVERIFY(!query->Active());
    // Neither the query nor the connection is left unusable.
    query->SetSQL({QStringLiteral("SELECT count(*) FROM T")});
    query->Open();
    QCOMPARE(query->Fields(0)->AsInteger(), 3);
    QVERIFY(FDb->Connected());
    QVERIFY(!FDb->InTransaction());
}

void TestQueries::OpenDoesNotRunAStatementWithoutRows()
{
    auto query = Query({QStringLiteral("DELETE FROM T")});
    QCOMPARE(ErrorOf([&] { query->Open(); }), QStringLiteral("The statement returns no rows: DELETE FROM T"));
    QVERIFY(!query->Active());
    QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM T")), QStringLiteral("3"));
}

void TestQueries::QueryCannotBeEdited()
{
    auto query = Query({QStringLiteral("SELECT A, Name FROM T ORDER BY A")});
    query->Open();
    QVERIFY(!query->CanModify());
    QVERIFY(!query->FieldByName(QStringLiteral("Name"))->CanModify());
    const QString readOnly = QStringLiteral("Cannot modify a read-only dataset");
    QCOMPARE(ErrorOf([&] { query->Edit(); }), readOnly);
    QCOMPARE(ErrorOf([&] { query->Insert(); }), readOnly);
    QCOMPARE(ErrorOf([&] { query->Append(); }), readOnly);
    QCOMPARE(ErrorOf([&] { query->Delete(); }), readOnly);
    QCOMPARE(ErrorOf([&] { query->FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("x")); }),
             QStringLiteral("Dataset not in edit or insert mode"));
    QCOMPARE(query->State(), TDataSetState::Browse);
    QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM T")), QStringLiteral("3"));
}

// ---------------------------------------------------------------------------------------------
// Saved queries

void TestQueries::StoredProcOpen()
{
    FDb->StoreSavedQuery(QStringLiteral("Big files"),
                         QStringLiteral("SELECT Name FROM T WHERE Size > 150 ORDER BY A"));
    TStoredProc proc;
    proc.SetDatabaseName(QStringLiteral("Queries")); // found by name in the default session
    proc.SetStoredProcName(QStringLiteral("BIG FILES"));
    proc.Open();
    QCOMPARE(walk(proc, QStringLiteral("Name")),
             (QStringList{QStringLiteral("beta"), QStringLiteral("Gamma")}));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, proc.SetStoredProcName(QStringLiteral("Other")));
    proc.Close();

    // Storing again under the same name replaces the statement.
    FDb->StoreSavedQuery(QStringLiteral("big files"), QStringLiteral("SELECT Name FROM T WHERE Size > 1000"));
    proc.Open();
    QCOMPARE(walk(proc, QStringLiteral("Name")), QStringList{QStringLiteral("beta")});
}

void TestQueries::StoredProcExec()
{
    FDb->StoreSavedQuery(QStringLiteral("Clear flags"),
                         QStringLiteral("UPDATE T SET Flag = FALSE WHERE Flag = TRUE;\nDELETE FROM Keys"));
    TStoredProc proc;
    proc.SetDatabase(FDb.get());
    proc.SetStoredProcName(QStringLiteral("Clear flags"));
    proc.ExecProc();
    QCOMPARE(proc.RowsAffected(), 3);
    QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM T WHERE Flag = TRUE")), QStringLiteral("0"));
    QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM Keys")), QStringLiteral("0"));
}

void TestQueries::StoredProcParameters()
{
    FDb->StoreSavedQuery(QStringLiteral("Bigger than"),
                         QStringLiteral("SELECT Name FROM T WHERE Size > :min OR Size = :MIN ORDER BY A"));
    TStoredProc proc;
    proc.SetDatabase(FDb.get());
    proc.SetStoredProcName(QStringLiteral("Bigger than"));
    // The parameters are known before the first run, so they can be given values.
    QCOMPARE(proc.Params().Count(), 1);
    proc.ParamByName(QStringLiteral("min"))->SetAsLargeInt(300);
    proc.Open();
    QCOMPARE(walk(proc, QStringLiteral("Name")),
             (QStringList{QStringLiteral("beta"), QStringLiteral("Gamma")}));
    proc.Close();
    proc.ParamByName(QStringLiteral("min"))->SetAsLargeInt(1000);
    proc.Open();
    QCOMPARE(walk(proc, QStringLiteral("Name")), QStringList{QStringLiteral("beta")});

    FDb->StoreSavedQuery(QStringLiteral("Rename"), QStringLiteral("UPDATE T SET Name = :name WHERE A = :a"));
    TStoredProc rename;
    rename.SetDatabase(FDb.get());
    rename.SetStoredProcName(QStringLiteral("Rename"));
    rename.ParamByName(QStringLiteral("name"))->SetAsString(QStringLiteral("renamed"));
    rename.ParamByName(QStringLiteral("a"))->SetAsInteger(1);
    rename.ExecProc();
    QCOMPARE(rename.RowsAffected(), 1);
    QCOMPARE(Scalar(QStringLiteral("SELECT Name FROM T WHERE A = 1")), QStringLiteral("renamed"));
}

void TestQueries::StoredProcUnknown_data()
{
    QTest::addColumn<bool>("anySaved");
    QTest::addColumn<bool>("open"); // else ExecProc

    QTest::newRow("open, none saved yet") << false << true;
    QTest::newRow("exec, none saved yet") << false << false;
    QTest::newRow("open, others saved") << true << true;
    QTest::newRow("exec, others saved") << true << false;
}

void TestQueries::StoredProcUnknown()
{
    QFETCH(bool, anySaved);
    QFETCH(bool, open);

    if (anySaved)
        FDb->StoreSavedQuery(QStringLiteral("Known"), QStringLiteral("SELECT 1"));
    TStoredProc proc;
    proc.SetDatabase(FDb.get());
    proc.SetStoredProcName(QStringLiteral("Nope"));
    QCOMPARE(ErrorOf([&] { open ? proc.Open() : proc.ExecProc(); }),
             QStringLiteral("Saved query 'Nope' not found"));
    QVERIFY(!proc.Active());
    QCOMPARE(Scalar(QStringLiteral("SELECT count(*) FROM T")), QStringLiteral("3"));
}

QTEST_GUILESS_MAIN(TestQueries)
#include "tst_Queries.moc"
