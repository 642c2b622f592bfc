// Speed of name and word searches of 2,000,000 entries on a PostgreSQL server through its search
// indexes: a rare name pattern, a whole name, a rare description word and a common pattern to its
// first rows, each through the connection's statement and the rare name also through a search's
// own connection and thread (TFindRows), as the quick search runs it. Besides the elapsed and
// processor time of this program, the server's own execution time of the plan (EXPLAIN ANALYZE)
// is given, which the machine's other work disturbs least. Built with the project, run by hand or
// `make bench`. It starts a private server as the test suites do (tests/support/pg-test-server),
// or uses the one whose socket folder the file VNX_TEST_PG names. Argument: --plans prints the
// plans.

#include "../tests/catalog/SearchTables.h"
#include "BenchSupport.h"
#include "CatalogSchema.h"
#include "Databases.h"
#include "FindCriteria.h"
#include "FindRows.h"
#include "Queries.h"
#include "Statements.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

// The searches name only the criteria they set.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

constexpr int Volumes = 10;
constexpr qint64 Entries = 2000000;
constexpr int Runs = 7;

const char *const Words[] = {
    "report", "annual", "summary", "photo",  "holiday", "song",   "track",  "letter",  "invoice", "budget",
    "draft",  "final",  "notes",   "setup",  "readme",  "image",  "movie",  "backup",  "archive", "data",
    "plan",   "lake",   "summer",  "winter", "garden",  "house",  "music",  "album",   "cover",   "poster",
    "logo",   "icon",   "font",    "theme",  "page",    "site",   "home",   "news",    "story",   "book",
    "paper",  "exam",   "test",    "task",   "office",  "school", "class",  "course",  "study",   "lab",
    "result", "figure", "graph",   "model",  "design",  "sketch", "scene",  "frame",   "demo",    "live",
    "studio", "part",   "piece",   "module", "source",  "code",   "script", "program", "tool",    "driver",
};
constexpr int WordCount = int(sizeof Words / sizeof *Words);

[[noreturn]] void fail(const QString &what)
{
    BenchOut() << "unexpected result: " << what << Qt::endl;
    std::exit(1);
}

QString serverScript()
{
    return QStringLiteral(VNX_SOURCE_DIR "/tests/support/pg-test-server");
}

// The catalogue on the server: files spread over the volumes, named from two words and a number,
// every fourth one with a description; one rare name and one rare word among them. Made by the
// server itself, which is faster than sending two million rows; the indexes are made afterwards,
// as a bulk load makes them.
void buildCatalogue(TDatabase &database)
{
    CreateSearchTables(database);
    // Made again below, once the rows are in.
    for (const char *index : {"NameSearch.Trigrams", "NameSearch.LowerName", "Entries.DescriptionWords"})
        database.ExecSQL(QStringLiteral("DROP INDEX \"%1\"").arg(QString::fromLatin1(index)));
    QStringList words;
    for (const char *word : Words)
        words << QString::fromLatin1(word);
    // The k-th word; the driver would read an array's brackets as a quoted name.
    const auto word = [&words](const QString &k) {
        return QStringLiteral("split_part('%1', ' ', CAST(1 + (%2) % %3 AS INTEGER))")
            .arg(words.join(u' '), k)
            .arg(WordCount);
    };
    database.ExecSQL(
        QStringLiteral("INSERT INTO Images (ImageID, CD, Description) VALUES (1, FALSE, 'Folder'), "
                       "(2, TRUE, 'Volume'), (3, FALSE, 'File')"));
    database.ExecSQL(
        QStringLiteral("INSERT INTO Entries (ID, Parent, Name, Size, Modified, ImageID, CD, Folder) "
                       "SELECT v, NULL, 'Volume ' || v, 0, TIMESTAMP '2024-01-01 10:00:00', 2, v, "
                       "TRUE FROM generate_series(1, %1) AS g(v)")
            .arg(Volumes));
    database.ExecSQL(
        QStringLiteral("INSERT INTO CDs (ID, SerialNum, VolumeLabel) SELECT v, "
                       "lpad(v::text, 4, '0') || '-0000', 'VOLUME' || v FROM generate_series(1, %1) "
                       "AS g(v)")
            .arg(Volumes));
    database.ExecSQL(
        QStringLiteral(
            "INSERT INTO Entries (ID, Parent, Name, Size, Modified, ImageID, CD, Folder, FullPath, "
            "Description) "
            "SELECT n, 1 + n % %1, initcap(%2) || '_' || %3 || ' ' || n || '.txt', n % 100000, "
            "TIMESTAMP '2024-01-01 10:00:00' + (n % 1000) * INTERVAL '1 hour', 3, 1 + n % %1, FALSE, "
            "'Folder\\', "
            "CASE WHEN n % 4 = 0 THEN initcap(%4) || ' ' || %5 || ' ' || %6 END "
            "FROM generate_series(CAST(%7 AS BIGINT), %8) AS g(n)")
            .arg(QString::number(Volumes), word(QStringLiteral("n * 7919")),
                 word(QStringLiteral("n * 104729")), word(QStringLiteral("n * 31")),
                 word(QStringLiteral("n * 17")), word(QStringLiteral("n * 13")), QString::number(Volumes + 1),
                 QString::number(Entries)));
    database.ExecSQL(QStringLiteral("UPDATE Entries SET Name = 'Zebracorn dance.txt', Description = 'Unique "
                                    "quetzalcoatl sighting' WHERE ID = 1234567"));
    // The name search as the server's indexer leaves it, every name in.
    database.ExecSQL(QStringLiteral("INSERT INTO NameSearch (ID, Name) SELECT ID, Name FROM Entries WHERE "
                                    "Name IS NOT NULL; DELETE FROM NamesPending"));
    for (const QString &sql : CatalogSchema::PgSearchIndexStatements())
        database.ExecSQL(sql);
    database.ExecSQL(QStringLiteral("ANALYZE Entries; ANALYZE NameSearch; ANALYZE NamesPending"));
}

// The server's time to run the plan of FindDialog as it stands, in ms; the plan goes to the
// output when asked for.
double serverMs(TDatabase &database, TQuery &find, bool plans)
{
    const std::shared_ptr<TStatement> explain =
        database.Prepare(QStringLiteral("EXPLAIN ANALYZE ") + find.Text());
    for (int i = 1; i <= explain->ParameterCount(); ++i)
        if (const TParam *param = find.ParamByName(explain->ParameterName(i).mid(1)))
            explain->Bind(i, param->Value());
    static const QRegularExpression execution(QStringLiteral("Execution Time: ([0-9.]+) ms"));
    double ms = -1;
    while (explain->Step()) {
        const QString line = explain->Column(0, TFieldType::String).AsString();
        if (plans)
            BenchOut() << "    " << line << Qt::endl;
        if (const QRegularExpressionMatch match = execution.match(line); match.hasMatch())
            ms = match.captured(1).toDouble();
    }
    return ms;
}

struct TCase
{
    const char *What;
    TFindCriteria Criteria;
    qint64 Rows; // expected, or -1 for the first rows of many
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool plans = app.arguments().contains(QStringLiteral("--plans"));
    QTemporaryDir scratch;
    UseScratchHome(scratch);

    QString pointer = qEnvironmentVariable("VNX_TEST_PG");
    const bool ownServer = pointer.isEmpty();
    if (ownServer) {
        pointer = scratch.filePath(QStringLiteral("pg-server"));
        if (QProcess::execute(serverScript(), {QStringLiteral("start"), pointer}) != 0)
            fail(QStringLiteral("the test server did not start"));
    }
    struct TStop
    {
        bool Own;
        QString Pointer;
        ~TStop()
        {
            if (Own)
                QProcess::execute(serverScript(), {QStringLiteral("stop"), Pointer});
        }
    } stop{ownServer, pointer};
    QFile pointerFile(pointer);
    if (!pointerFile.open(QIODevice::ReadOnly))
        fail(QStringLiteral("no server socket folder in %1").arg(pointer));
    const QString socketFolder = QString::fromUtf8(pointerFile.readLine()).trimmed();

    TDatabase database;
    database.SetDriverName(QString::fromUtf16(TDatabase::DriverPostgres));
    const QStringList params{QStringLiteral("SERVER=") + socketFolder,
                             QStringLiteral("DATABASE NAME=vnx_bench_find"), QStringLiteral("USER NAME=vnx")};
    {
        TDatabase cleaner;
        cleaner.SetDriverName(QString::fromUtf16(TDatabase::DriverPostgres));
        cleaner.SetParams(params + QStringList{QStringLiteral("CREATE=TRUE")});
        cleaner.Open();
        cleaner.ExecSQL(QStringLiteral("DROP SCHEMA public CASCADE; CREATE SCHEMA public"));
    }
    database.SetParams(params);
    database.Open();
    QElapsedTimer timer;
    timer.start();
    buildCatalogue(database);
    BenchOut() << "catalogue of " << Entries << " entries on the server made in " << qint64(MsSince(timer))
               << " ms" << Qt::endl;

    TQuery find;
    find.SetDatabase(&database);
    find.SetSQL(FindDialogSql(true));
    BenchOut() << qSetFieldWidth(46) << Qt::left << "search" << qSetFieldWidth(12) << Qt::right << "ms"
               << "cpu ms"
               << "server ms" << qSetFieldWidth(0) << "   target" << Qt::endl;

    const TCase cases[] = {
        {"rare name *zebracorn*", TFindCriteria{.Name = QStringLiteral("*zebracorn*")}, 1},
        {"whole name zebracorn dance.txt",
         TFindCriteria{.Name = QStringLiteral("zebracorn dance.txt"), .WholeMatch = true}, 1},
        {"absent name *zebracorx*", TFindCriteria{.Name = QStringLiteral("*zebracorx*")}, 0},
        {"rare word quetzal (as a word's start)", TFindCriteria{.Text = QStringLiteral("quetzal")}, 1},
        {"common *report*, first 100 rows", TFindCriteria{.Name = QStringLiteral("*report*")}, -1},
    };
    for (const TCase &run : cases) {
        ApplyFindCriteria(find, run.Criteria);
        TTimes best;
        for (int i = 0; i < Runs; ++i) {
            const double cpu = CpuMs();
            timer.restart();
            qint64 rows = 0;
            if (run.Rows < 0) {
                // The window reads its first rows only.
                const std::shared_ptr<TStatement> first =
                    database.Prepare(QStringLiteral("SELECT * FROM (\n") + find.Text() +
                                     QStringLiteral("\n) AS Found LIMIT 100"));
                for (int p = 1; p <= first->ParameterCount(); ++p)
                    if (const TParam *param = find.ParamByName(first->ParameterName(p).mid(1)))
                        first->Bind(p, param->Value());
                while (first->Step())
                    ++rows;
                if (rows != 100)
                    fail(QStringLiteral("%1: %2 rows").arg(QString::fromLatin1(run.What)).arg(rows));
            } else {
                ForEachFindResult(find, [&rows](const TStatement &) { ++rows; });
                if (rows != run.Rows)
                    fail(QStringLiteral("%1: %2 rows").arg(QString::fromLatin1(run.What)).arg(rows));
            }
            best.KeepBest({MsSince(timer), CpuMs() - cpu});
        }
        if (plans)
            BenchOut() << run.What << ':' << Qt::endl;
        const double server = serverMs(database, find, plans);
        BenchOut() << qSetFieldWidth(46) << Qt::left << run.What << qSetFieldWidth(12) << Qt::right
                   << QString::number(best.Elapsed, 'f', 2) << QString::number(best.Cpu, 'f', 2)
                   << QString::number(server, 'f', 2) << qSetFieldWidth(0) << "   "
                   << (run.Rows == 1 ? "<= 20 ms" : "") << Qt::endl;
    }

    // As the quick search runs it: a connection of its own, opened for the search, and a thread.
    ApplyFindCriteria(find, TFindCriteria{.Name = QStringLiteral("*zebracorn*")});
    TTimes best;
    for (int i = 0; i < Runs; ++i) {
        TFindRows rows;
        int found = 0;
        QEventLoop loop;
        QObject::connect(&rows, &TFindRows::Found, &loop,
                         [&found](const QList<TFoundEntry> &batch) { found += int(batch.size()); });
        QObject::connect(&rows, &TFindRows::Finished, &loop, [&loop] { loop.quit(); });
        QObject::connect(&rows, &TFindRows::Failed, &loop, [](const QString &message) { fail(message); });
        const double cpu = CpuMs();
        timer.restart();
        rows.Start(find, 100);
        loop.exec();
        best.KeepBest({MsSince(timer), CpuMs() - cpu});
        if (found != 1)
            fail(QStringLiteral("TFindRows found %1").arg(found));
    }
    Report("  the rare name through TFindRows", best.Elapsed, best.Cpu,
           QStringLiteral("(connects each time)"));
    return 0;
}
