// Speed of the data-access layer on a table of a million rows, next to SQLite's own time for the
// same statements run through its C API. Built with the project, run by hand or `make bench`.

#include "BenchSupport.h"
#include "Databases.h"
#include "Tables.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <sqlite3.h>

namespace {

constexpr int Rows = 1000000;
constexpr int Walk = 10000;

void exec(sqlite3 *db, const char *sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        BenchOut() << "sqlite: " << error << Qt::endl;
        std::exit(1);
    }
}

const char *Schema =
    "CREATE TABLE Entries (ID INTEGER PRIMARY KEY AUTOINCREMENT, Parent INTEGER, Name VARCHAR(255), "
    "Size BIGINT, Modified DATETIME, ImageID SMALLINT, Folder BOOLEAN DEFAULT 0);"
    "CREATE INDEX \"Entries.Parent\" ON Entries(Parent);";

// The same rows through the C API: one prepared INSERT in one transaction.
double engineAppend(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    exec(db, Schema);
    QElapsedTimer timer;
    timer.start();
    exec(db, "BEGIN");
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO Entries (Parent, Name, Size, Modified, ImageID) VALUES (?, ?, ?, ?, ?)",
                       -1, &insert, nullptr);
    const QByteArray modified = TDateTime::FromParts(2024, 5, 17, 10, 30, 0).ToText().toUtf8();
    for (int i = 0; i < Rows; ++i) {
        const QByteArray name = "file" + QByteArray::number(i) + ".txt";
        sqlite3_bind_int(insert, 1, i / 100);
        sqlite3_bind_text(insert, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 3, qint64(i) * 37);
        sqlite3_bind_text(insert, 4, modified.constData(), int(modified.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 5, 3);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    exec(db, "COMMIT");
    const double ms = MsSince(timer);
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return ms;
}

struct TEngineReads
{
    double Last, Walk, Locate;
};

// The statements the table's cursor runs for the same work.
TEngineReads engineReads(const QString &path, int locateId)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    TEngineReads result{};
    QElapsedTimer timer;
    sqlite3_stmt *stmt = nullptr;

    timer.start();
    sqlite3_prepare_v2(db,
                       "SELECT ID, Parent, Name, Size, Modified, ImageID, Folder FROM Entries ORDER BY "
                       "Parent DESC, ID DESC LIMIT 64",
                       -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
    }
    sqlite3_finalize(stmt);
    result.Last = MsSince(timer);

    timer.restart();
    sqlite3_prepare_v2(
        db,
        "SELECT ID, Parent, Name, Size, Modified, ImageID, Folder FROM Entries ORDER BY Parent, ID LIMIT ?",
        -1, &stmt, nullptr);
    sqlite3_bind_int(stmt, 1, Walk);
    int walked = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        walked += sqlite3_column_bytes(stmt, 2) > 0;
    }
    sqlite3_finalize(stmt);
    result.Walk = MsSince(timer);

    timer.restart();
    sqlite3_prepare_v2(db, "SELECT ID FROM Entries WHERE Parent = ? ORDER BY Parent, ID LIMIT 1", -1, &stmt,
                       nullptr);
    sqlite3_bind_int(stmt, 1, locateId);
    sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    result.Locate = MsSince(timer);
    sqlite3_close(db);
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString ourFile = dir.filePath(QStringLiteral("ours.db"));
    const QString engineFile = dir.filePath(QStringLiteral("engine.db"));

    TDatabase db;
    db.SetDriverName(QStringLiteral("SQLITE"));
    db.SetParams({QStringLiteral("DATABASE NAME=") + ourFile, QStringLiteral("CREATE=TRUE")});
    db.Open();
    db.ExecSQL(QString::fromLatin1(Schema));

    BenchOut() << qSetFieldWidth(46) << Qt::left << "operation (ms)" << qSetFieldWidth(12) << Qt::right
               << "data set"
               << "sqlite3" << qSetFieldWidth(0) << "   target" << Qt::endl;

    // Append a million rows through a table in one transaction.
    double appendMs = 0;
    {
        TTable table;
        table.SetDatabase(&db);
        table.SetTableName(QStringLiteral("Entries"));
        table.Open();
        TField *parent = table.FieldByName(QStringLiteral("Parent"));
        TField *name = table.FieldByName(QStringLiteral("Name"));
        TField *size = table.FieldByName(QStringLiteral("Size"));
        TField *modified = table.FieldByName(QStringLiteral("Modified"));
        TField *imageId = table.FieldByName(QStringLiteral("ImageID"));
        const TDateTime when = TDateTime::FromParts(2024, 5, 17, 10, 30, 0);
        QElapsedTimer timer;
        timer.start();
        db.StartTransaction();
        for (int i = 0; i < Rows; ++i) {
            table.Append();
            parent->SetAsInteger(i / 100);
            name->SetAsString(QStringLiteral("file") + QString::number(i) + QStringLiteral(".txt"));
            size->SetAsLargeInt(qint64(i) * 37);
            modified->SetAsDateTime(when);
            imageId->SetAsInteger(3);
            table.Post();
        }
        db.Commit();
        appendMs = MsSince(timer);
    }
    const double engineAppendMs = engineAppend(engineFile);
    Report("append 1,000,000 rows, one transaction", appendMs, engineAppendMs, QStringLiteral(""));
    BenchOut() << "    rows/s: data set " << qint64(Rows / (appendMs / 1000.0)) << ", sqlite3 "
               << qint64(Rows / (engineAppendMs / 1000.0)) << "   (target >= 300,000)" << Qt::endl;
    db.Close();
    db.Open();

    const int locateParent = 7777;
    const TEngineReads engine = engineReads(ourFile, locateParent);

    TTable table;
    table.SetDatabase(&db);
    table.SetTableName(QStringLiteral("Entries"));
    table.SetIndexFieldNames(QStringLiteral("Parent"));
    QElapsedTimer timer;
    timer.start();
    table.Open();
    table.Last();
    Report("open and go to the last row", MsSince(timer), engine.Last, QStringLiteral("< 50"));

    table.First();
    timer.restart();
    int walked = 0;
    TField *name = table.FieldByName(QStringLiteral("Name"));
    while (walked < Walk && !table.Eof()) {
        walked += name->AsString().isEmpty() ? 0 : 1;
        table.Next();
    }
    Report("walk 10,000 rows in index order", MsSince(timer), engine.Walk, QStringLiteral("< 100"));

    timer.restart();
    const bool found = table.Locate(QStringLiteral("Parent"), TVariant(qint32(locateParent)));
    Report("locate by an indexed field", MsSince(timer), engine.Locate, QStringLiteral("< 5"));
    if (!found || walked != Walk) {
        BenchOut() << "unexpected result" << Qt::endl;
        return 1;
    }
    return 0;
}
