// Speed of the catalogue's own statements on a catalogue of a million entries: removing a volume
// of 200,000 and finding every ".txt" file, through the data module as the program runs them, next
// to SQLite's own time for the same statement text run through its C API. Built with the project,
// run by hand or `make bench`.

#include "BenchCatalogues.h"
#include "BenchSupport.h"
#include "CatalogSchema.h"
#include "Databases.h"
#include "Queries.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <sqlite3.h>

namespace {

constexpr int BigVolume = 200000;
constexpr int SmallVolumes = 8;
constexpr int SmallVolume = 100000;
// Files per folder, and subfolders per folder: a volume is a few levels of folders of ~20 files.
constexpr int FilesPerFolder = 20;
constexpr int Fanout = 8;

[[noreturn]] void fail(const QString &what)
{
    BenchOut() << "unexpected result: " << what << Qt::endl;
    std::exit(1);
}

// Makes the catalogue file with its alias, as the program's start-up does, and fills it.
double buildCatalogue(TDatabase &database)
{
    QElapsedTimer timer;
    timer.start();
    database.StartTransaction();
    qint64 root = 1;
    for (int volume = 0; volume <= SmallVolumes; ++volume) {
        const int count = volume == 0 ? BigVolume : SmallVolume;
        const QString label = QStringLiteral("Disk %1").arg(volume);
        AddGeneratedVolume(database, root, count, FilesPerFolder, Fanout, volume, label);
        root += count;
    }
    database.Commit();
    return MsSince(timer);
}

// The statement text with its named parameters, run through the C API: every row stepped and every
// column read, as a data set reads them.
double engineFind(sqlite3 *db, const QString &sql, int &rows)
{
    QElapsedTimer timer;
    timer.start();
    sqlite3_stmt *stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr);
    for (int i = 1; i <= sqlite3_bind_parameter_count(stmt); ++i) {
        const QByteArray name(sqlite3_bind_parameter_name(stmt, i));
        if (name == ":name")
            sqlite3_bind_text(stmt, i, "*.txt", -1, SQLITE_STATIC);
        else if (name == ":t12")
            sqlite3_bind_int(stmt, i, 0);
        else if (name.startsWith(":t"))
            sqlite3_bind_int(stmt, i, 1);
        else
            sqlite3_bind_null(stmt, i);
    }
    rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(stmt); ++c)
            sqlite3_column_text(stmt, c);
        ++rows;
    }
    sqlite3_finalize(stmt);
    return MsSince(timer);
}

// The same script inside a transaction that is rolled back, so the data module finds the volume
// still there.
double engineDelete(sqlite3 *db, const QString &sql, qint64 cd)
{
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    QElapsedTimer timer;
    timer.start();
    QByteArray rest = sql.toUtf8();
    while (!rest.trimmed().isEmpty()) {
        sqlite3_stmt *stmt = nullptr;
        const char *tail = nullptr;
        sqlite3_prepare_v2(db, rest.constData(), int(rest.size()), &stmt, &tail);
        if (!stmt)
            break;
        for (int i = 1; i <= sqlite3_bind_parameter_count(stmt); ++i)
            sqlite3_bind_int64(stmt, i, cd);
        if (sqlite3_step(stmt) != SQLITE_DONE)
            fail(QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_finalize(stmt);
        rest = QByteArray(tail);
    }
    const double ms = MsSince(timer);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return ms;
}

void explain(sqlite3 *db, const QString &sql)
{
    QByteArray rest = (sql).toUtf8();
    while (!rest.trimmed().isEmpty()) {
        sqlite3_stmt *stmt = nullptr;
        const char *tail = nullptr;
        const QByteArray plan = "EXPLAIN QUERY PLAN " + rest;
        sqlite3_prepare_v2(db, plan.constData(), int(plan.size()), &stmt, &tail);
        if (!stmt)
            break;
        while (sqlite3_step(stmt) == SQLITE_ROW)
            BenchOut() << "    " << reinterpret_cast<const char *>(sqlite3_column_text(stmt, 3)) << Qt::endl;
        sqlite3_finalize(stmt);
        rest = QByteArray(tail);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    UseScratchHome(dir);
    const bool plans = app.arguments().contains(QStringLiteral("--plans"));

    MakeCatalogueFile();
    const QString path = CatalogSchema::DefaultFilePath();

    BenchOut() << qSetFieldWidth(46) << Qt::left << "operation (ms)" << qSetFieldWidth(12) << Qt::right
               << "data module"
               << "sqlite3" << qSetFieldWidth(0) << "   target" << Qt::endl;

    double buildMs = 0;
    {
        TDatabase database;
        database.SetDriverName(QStringLiteral("SQLITE"));
        database.SetParams({QStringLiteral("DATABASE NAME=") + path});
        database.Open();
        buildMs = buildCatalogue(database);
        if (Scalar(database, QStringLiteral("SELECT count(*) FROM Entries")) !=
            BigVolume + SmallVolumes * SmallVolume)
            fail(QStringLiteral("the catalogue holds the wrong number of entries"));
    }
    Report("build 1,000,000 entries (plain SQL)", buildMs, -1, QStringLiteral("(for information)"));

    TGlobal global;
    sqlite3 *db = global.Database.Handle();

    // Every ".txt" file of every volume, with every column read.
    int engineRows = 0;
    const double engineFindMs = engineFind(db, global.FindDialog.Text(), engineRows);
    TQuery &find = global.FindDialog;
    for (const char *flag : {"t0", "t11", "t2", "t3", "t4", "t51", "t52", "t53"})
        find.ParamByName(QString::fromLatin1(flag))->SetAsBoolean(true);
    find.ParamByName(QStringLiteral("t12"))->SetAsBoolean(false);
    find.ParamByName(QStringLiteral("name"))->SetAsString(QStringLiteral("*.txt"));
    QElapsedTimer timer;
    timer.start();
    find.Open();
    find.Last();
    const int found = find.RecordCount();
    Report("find \"*.txt\" in 1,000,000 entries, all rows", MsSince(timer), engineFindMs,
           QStringLiteral("< 1000"));
    BenchOut() << "    rows: " << found << Qt::endl;
    find.Close();
    const qint64 txt =
        Scalar(global.Database, QStringLiteral("SELECT count(*) FROM Entries WHERE Name LIKE '%.txt'"));
    if (found != txt || engineRows != txt)
        fail(QStringLiteral("%1 rows found, %2 by the engine, %3 expected")
                 .arg(found)
                 .arg(engineRows)
                 .arg(txt));
    if (plans) {
        BenchOut() << "  plan of FindDialog:" << Qt::endl;
        explain(db, global.FindDialog.Text());
    }

    // The volume of 200,000 entries, root ID 1.
    const double engineDeleteMs = engineDelete(db, global.DeleteCD.Text(), 1);
    global.DeleteCD.ParamByName(QStringLiteral("cd"))->SetAsLargeInt(1);
    timer.restart();
    global.DeleteCD.ExecSQL();
    Report("delete a volume of 200,000 entries", MsSince(timer), engineDeleteMs, QStringLiteral("< 2000"));
    const qint64 left =
        Scalar(global.Database, QStringLiteral("SELECT count(*) FROM Entries WHERE ID <= %1").arg(BigVolume));
    const qint64 cds = Scalar(global.Database, QStringLiteral("SELECT count(*) FROM CDs WHERE ID = 1"));
    const qint64 total = Scalar(global.Database, QStringLiteral("SELECT count(*) FROM Entries"));
    if (left != 0 || cds != 0 || total != SmallVolumes * SmallVolume)
        fail(QStringLiteral("%1 entries and %2 volume rows of the deleted volume left, %3 entries in all")
                 .arg(left)
                 .arg(cds)
                 .arg(total));
    if (plans) {
        BenchOut() << "  plan of DeleteCD:" << Qt::endl;
        explain(db, global.DeleteCD.Text());
    }
    return 0;
}
