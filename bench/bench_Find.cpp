// Speed of searching a catalogue of 2,000,000 entries: a name search "*report*" read to its last
// row, rare, absent and whole names, a common name and description words to their first row, the
// same rare, absent and whole names found by vor-nex-cli as whole processes (and looked up by
// plocate, when it is installed), best and median of 20 runs, the default search (every entry) to
// its first rows with the memory it takes, counting results, and comparing a disk folder of 20,000
// files with the catalogue; and what the name and description indexes add to the file. Built with
// the project, run by hand or `make bench`. The catalogue is made once and kept next to the
// program (bench_Find.db); delete it to make it anew. Arguments: --plans prints the engine's plans
// of the statements; --no-record-count leaves out reading every row into the data set (1.4 GB);
// --mmap and --page-size N try engine settings other than the program's (on a catalogue made
// afresh, in the scratch folder).

#include "BenchCatalogues.h"
#include "BenchSupport.h"
#include "CatalogSchema.h"
#include "Databases.h"
#include "FindCriteria.h"
#include "FolderMatches.h"
#include "Queries.h"
#include "SqliteStatements.h"
#include "VolumeServicesDouble.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The searches name only the criteria they set.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

constexpr int Volumes = 10;
constexpr int PerVolume = 200000;
constexpr int FilesPerFolder = 20;
constexpr int Fanout = 8;
constexpr int DiskFiles = 20000;

// One word in 200 is "report": about one name in 200 holds it.
const char *const Words[] = {
    "report",   "annual",  "summary", "photo",    "holiday", "song",     "track",   "letter",   "invoice",
    "budget",   "draft",   "final",   "notes",    "setup",   "readme",   "image",   "movie",    "backup",
    "archive",  "data",    "project", "plan",     "meeting", "minutes",  "chapter", "lesson",   "scan",
    "contract", "offer",   "manual",  "guide",    "index",   "list",     "table",   "sheet",    "chart",
    "map",      "photo",   "picture", "video",    "clip",    "sound",    "voice",   "music",    "album",
    "cover",    "poster",  "logo",    "icon",     "font",    "theme",    "style",   "layout",   "page",
    "site",     "home",    "about",   "contact",  "news",    "blog",     "post",    "story",    "book",
    "novel",    "poem",    "essay",   "paper",    "thesis",  "exam",     "test",    "quiz",     "task",
    "job",      "work",    "office",  "school",   "class",   "course",   "study",   "research", "lab",
    "result",   "figure",  "graph",   "model",    "design",  "sketch",   "plot",    "scene",    "shot",
    "frame",    "take",    "cut",     "edit",     "mix",     "master",   "demo",    "live",     "studio",
    "session",  "part",    "piece",   "item",     "unit",    "module",   "source",  "code",     "script",
    "program",  "tool",    "driver",  "patch",    "update",  "release",  "version", "build",    "config",
    "option",   "profile", "account", "user",     "admin",   "system",   "network", "server",   "client",
    "game",     "level",   "save",    "score",    "player",  "team",     "match",   "season",   "trip",
    "travel",   "tour",    "visit",   "party",    "wedding", "birthday", "family",  "friends",  "kids",
    "garden",   "house",   "car",     "bike",     "boat",    "train",    "plane",   "city",     "river",
    "lake",     "sea",     "beach",   "mountain", "forest",  "park",     "street",  "night",    "day",
    "morning",  "evening", "winter",  "spring",   "summer",  "autumn",   "january", "march",    "april",
    "june",     "july",    "october", "december", "monday",  "friday",   "weekend", "old",      "new",
    "copy",     "temp",    "misc",    "other",    "stuff",   "things",   "docs",    "files",    "folder",
    "disk",     "volume",  "set",     "pack",     "bundle",  "extra",    "bonus",   "special",  "best",
    "top",      "first",   "last",    "end",
};
constexpr int WordCount = int(sizeof Words / sizeof *Words);
const char *const Extensions[] = {"txt", "jpg", "mp3", "pdf", "doc", "zip", "exe", "png", "avi", "htm"};

[[noreturn]] void fail(const QString &what)
{
    BenchOut() << "unexpected result: " << what << Qt::endl;
    std::exit(1);
}

// Resident memory of this process now, in MB.
double residentMB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? double(fields[1].toLongLong()) * double(::sysconf(_SC_PAGESIZE)) / (1 << 20)
                             : -1;
}

// A small deterministic generator, so every run makes the same catalogue.
quint32 next(quint32 &state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

QByteArray fileName(quint32 &state, int number)
{
    QByteArray name = QByteArray(Words[next(state) % WordCount]) + '_' + Words[next(state) % WordCount];
    name[0] = char(std::toupper(name[0]));
    return name + ' ' + QByteArray::number(number) + '.' + Extensions[next(state) % 10];
}

// A description of three to eight words, as "Holiday photos from the lake".
QByteArray description3(quint32 &state)
{
    QByteArray text = Words[next(state) % WordCount];
    text[0] = char(std::toupper(text[0]));
    for (int n = 2 + int(next(state) % 6); n > 0; --n)
        text += ' ' + QByteArray(Words[next(state) % WordCount]);
    return text;
}

// Volumes of folders nested Fanout wide, each folder holding FilesPerFolder files: paths a few
// levels deep, as on a disc. Written straight through the engine, in one transaction.
double buildCatalogue(sqlite3 *db)
{
    QElapsedTimer timer;
    timer.start();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *entry = nullptr;
    sqlite3_prepare_v2(
        db,
        "INSERT INTO Entries (ID, Parent, Name, Size, Modified, ImageID, CD, Folder, FullPath, Description) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        -1, &entry, nullptr);
    sqlite3_stmt *cd = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (?, ?, ?)", -1, &cd, nullptr);
    quint32 state = 2463534242u;
    qint64 id = 0;
    auto insert = [&](qint64 parent, const QByteArray &name, qint64 size, int imageId, qint64 root,
                      bool folder, const QByteArray &path) {
        sqlite3_bind_int64(entry, 1, ++id);
        parent ? sqlite3_bind_int64(entry, 2, parent) : sqlite3_bind_null(entry, 2);
        sqlite3_bind_text(entry, 3, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(entry, 4, size);
        const QByteArray modified = QStringLiteral("20%1-%2-%3 %4:%5:%6.000")
                                        .arg(10 + next(state) % 14, 2, 10, QLatin1Char('0'))
                                        .arg(1 + next(state) % 12, 2, 10, QLatin1Char('0'))
                                        .arg(1 + next(state) % 28, 2, 10, QLatin1Char('0'))
                                        .arg(next(state) % 24, 2, 10, QLatin1Char('0'))
                                        .arg(next(state) % 60, 2, 10, QLatin1Char('0'))
                                        .arg(next(state) % 30 * 2, 2, 10, QLatin1Char('0'))
                                        .toLatin1();
        sqlite3_bind_text(entry, 5, modified.constData(), int(modified.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(entry, 6, imageId);
        sqlite3_bind_int64(entry, 7, root ? root : id);
        sqlite3_bind_int(entry, 8, folder);
        path.isEmpty() ? sqlite3_bind_null(entry, 9)
                       : sqlite3_bind_text(entry, 9, path.constData(), int(path.size()), SQLITE_TRANSIENT);
        // One entry in ten has a description of a few words.
        const QByteArray description = id % 10 == 0 ? description3(state) : QByteArray();
        description.isEmpty() ? sqlite3_bind_null(entry, 10)
                              : sqlite3_bind_text(entry, 10, description.constData(), int(description.size()),
                                                  SQLITE_TRANSIENT);
        if (sqlite3_step(entry) != SQLITE_DONE)
            fail(QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_reset(entry);
        return id;
    };
    for (int volume = 0; volume < Volumes; ++volume) {
        const QByteArray label = "Disc " + QByteArray::number(volume);
        const qint64 root = insert(0, label, 0, 2, 0, true, QByteArray());
        sqlite3_bind_int64(cd, 1, root);
        const QByteArray serial = QByteArray::number(0x1000 + volume, 16) + "-abcd";
        sqlite3_bind_text(cd, 2, serial.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(cd, 3, label.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_step(cd);
        sqlite3_reset(cd);
        // Folder k lies in folder (k - 1) / Fanout, 0 being the root.
        const int folders = (PerVolume - 1) / (FilesPerFolder + 1);
        QList<std::pair<qint64, QByteArray>> made{{root, QByteArray()}};
        for (int k = 1; k <= folders; ++k) {
            const auto &[parent, inside] = made[(k - 1) / Fanout];
            QByteArray name = QByteArray(Words[next(state) % WordCount]) + ' ' + QByteArray::number(k);
            name[0] = char(std::toupper(name[0]));
            const qint64 folderId = insert(parent, name, 0, 1, root, true, inside);
            made.append({folderId, inside + name + '\\'});
        }
        for (int j = 0; j < PerVolume - 1 - folders; ++j) {
            const auto &[parent, inside] = made[1 + j % folders];
            insert(parent, fileName(state, j), next(state) % 20000000, 4 + int(next(state) % 10), root, false,
                   inside);
        }
    }
    sqlite3_finalize(entry);
    sqlite3_finalize(cd);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return MsSince(timer);
}

void explain(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *stmt = nullptr;
    const QByteArray plan = "EXPLAIN QUERY PLAN " + sql.toUtf8();
    sqlite3_prepare_v2(db, plan.constData(), int(plan.size()), &stmt, nullptr);
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW)
        BenchOut() << "    " << reinterpret_cast<const char *>(sqlite3_column_text(stmt, 3)) << Qt::endl;
    sqlite3_finalize(stmt);
}

// The files of the disk folder take their names from the catalogue's first volume, so that about
// half of them match, the rest having names of their own; a file in twenty is in a folder.
void makeDiskFolder(TDatabase &database, const QString &root)
{
    TQuery names;
    names.SetDatabase(&database);
    names.SetSQL(
        {QStringLiteral("SELECT Name, Size FROM Entries WHERE CD = 1 AND Folder = 0 ORDER BY ID LIMIT :n")});
    names.ParamByName(QStringLiteral("n"))->SetAsInteger(DiskFiles / 2);
    names.Open();
    const QByteArray base = QFile::encodeName(root);
    for (int i = 0; i < DiskFiles; ++i) {
        QByteArray name;
        qint64 size = i;
        if (i % 2 == 0 && !names.Eof()) {
            name = names.Fields(0)->AsString().toUtf8();
            size = names.Fields(1)->AsLargeInt();
            names.Next();
        } else {
            name = "own file " + QByteArray::number(i) + ".dat";
        }
        QByteArray folder = base;
        if (i % 20 == 0) {
            folder += "/sub" + QByteArray::number(i / 20 % 50);
            ::mkdir(folder.constData(), 0755);
        }
        const int fd =
            ::open((folder + '/' + name).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::ftruncate(fd, size) != 0)
            fail(QStringLiteral("create ") + QString::fromUtf8(name));
        ::close(fd);
    }
}

// The fastest of `runs` runs of work, elapsed and processor time of that run; the first run also
// warms the engine's and the system's caches.
TTimes Best(int runs, const std::function<void()> &work)
{
    TTimes best;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        const double cpuBefore = CpuMs();
        timer.start();
        work();
        const TTimes times{MsSince(timer), CpuMs() - cpuBefore};
        if (best.Elapsed < 0 || times.Elapsed < best.Elapsed)
            best = times;
    }
    return best;
}

// A program run `runs` times, each time a process of its own with its output thrown away, as a
// user at a terminal starts it: the best and the median of its elapsed and of its processor time.
struct TProcessTimes
{
    TTimes Best;
    TTimes Median;
};

TProcessTimes TimeProcess(const QString &program, const QStringList &arguments, int runs = 20)
{
    QList<QByteArray> bytes{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        bytes << argument.toUtf8();
    std::vector<char *> argv;
    for (QByteArray &argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    QList<double> elapsed;
    QList<double> cpu;
    for (int run = 0; run < runs; ++run) {
        const double cpuBefore = CpuMs(RUSAGE_CHILDREN);
        QElapsedTimer timer;
        timer.start();
        pid_t child = 0;
        int status = 0;
        if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
            ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
            fail(QStringLiteral("%1 %2 failed").arg(program, arguments.join(u' ')));
        elapsed << MsSince(timer);
        cpu << CpuMs(RUSAGE_CHILDREN) - cpuBefore;
    }
    posix_spawn_file_actions_destroy(&actions);
    std::sort(elapsed.begin(), elapsed.end());
    std::sort(cpu.begin(), cpu.end());
    return {{elapsed.first(), cpu.first()}, {elapsed[runs / 2], cpu[runs / 2]}};
}

void ReportProcess(const char *what, const TProcessTimes &times, const char *target)
{
    Report(what, times.Best.Elapsed, times.Best.Cpu, QString::fromLatin1(target));
    Report("    median of 20", times.Median.Elapsed, times.Median.Cpu, QString());
}

// vor-nex-cli's find as a whole process, the alias naming the benchmark's catalogue, and the
// same finds of the full tool, which opens the data module as vor-nex-cli did before it answered
// finds itself; --help measures vor-nex-cli's start and the full tool's, to which it hands it.
void timeCommandLine(const QString &wholeName)
{
    const QString find = QStringLiteral("find");
    const struct
    {
        const char *Name;
        QString Program;
        const char *Target;
        const char *WholeTarget;
    } programs[] = {{"vor-nex-cli", QStringLiteral(VNX_CLI_PATH), "<= 5", "<= 3"},
                    {"full tool", QStringLiteral(VNX_CLI_FULL_PATH), "(for comparison)", "(for comparison)"}};
    for (const auto &program : programs) {
        const auto what = [&program](const char *search) {
            return QByteArray(program.Name) + ' ' + search + " (a process)";
        };
        ReportProcess(what("find \"*4242*\"").constData(),
                      TimeProcess(program.Program, {find, QStringLiteral("*4242*")}), program.Target);
        ReportProcess(what("find \"*qzqz*\"").constData(),
                      TimeProcess(program.Program, {find, QStringLiteral("*qzqz*")}), program.Target);
        ReportProcess(what("find --whole NAME").constData(),
                      TimeProcess(program.Program, {find, QStringLiteral("--whole"), wholeName}),
                      program.WholeTarget);
    }
    ReportProcess("vor-nex-cli --help (a process)",
                  TimeProcess(QStringLiteral(VNX_CLI_PATH), {QStringLiteral("--help")}), "(for information)");
}

// The same names looked up by plocate in a database of the catalogue's paths, when plocate is
// installed: each run is a process of its own, as a user at a terminal would start it.
void comparePlocate(TGlobal &global, const QTemporaryDir &dir, const QString &wholeName)
{
    const QString plocate = QStandardPaths::findExecutable(QStringLiteral("plocate"));
    const QString build = QStandardPaths::findExecutable(QStringLiteral("plocate-build"));
    if (plocate.isEmpty() || build.isEmpty()) {
        BenchOut() << "(plocate is not installed: no comparison)" << Qt::endl;
        return;
    }
    const QString list = dir.filePath(QStringLiteral("paths.txt"));
    const QString database = dir.filePath(QStringLiteral("paths.plocate"));
    {
        QFile out(list);
        if (!out.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot write %1").arg(list));
        TSqliteStatement paths(global.Database.Handle(),
                               QStringLiteral("SELECT '/' || CDs.VolumeLabel || '/' || "
                                              "replace(IFNULL(FullPath, ''), '\\', '/') || Entries.Name "
                                              "FROM Entries JOIN CDs ON CDs.ID = Entries.CD "
                                              "WHERE Entries.Parent IS NOT NULL"));
        while (paths.Step())
            out.write(paths.Column(0, TFieldType::String).AsString().toUtf8() + '\n');
    }
    if (QProcess::execute(build, {QStringLiteral("--plaintext"), QStringLiteral("--require-visibility"),
                                  QStringLiteral("no"), list, database}) != 0) {
        BenchOut() << "(plocate-build failed: no comparison)" << Qt::endl;
        return;
    }
    struct TLookup
    {
        const char *What;
        QStringList Arguments;
    };
    const TLookup lookups[] = {
        {"plocate: rare \"4242\", every row", {QStringLiteral("-i"), QStringLiteral("4242")}},
        {"plocate: absent \"qzqz\"", {QStringLiteral("-i"), QStringLiteral("qzqz")}},
        {"plocate: whole name, every row",
         {QStringLiteral("-i"), QStringLiteral("-b"), QStringLiteral("-r"),
          QStringLiteral("^") + QRegularExpression::escape(wholeName) + QStringLiteral("$")}},
        {"plocate: common \"photo\", first row",
         {QStringLiteral("-i"), QStringLiteral("-l1"), QStringLiteral("photo")}},
    };
    for (const TLookup &lookup : lookups)
        ReportProcess(lookup.What,
                      TimeProcess(plocate, QStringList{QStringLiteral("-d"), database} + lookup.Arguments),
                      "(for comparison)");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    UseScratchHome(dir);
    const QStringList arguments = app.arguments();
    const bool plans = arguments.contains(QStringLiteral("--plans"));

    // A catalogue made afresh when the settings asked for would change the one kept.
    const bool fresh = arguments.contains(QStringLiteral("--page-size"));
    const QString path = fresh ? dir.filePath(QStringLiteral("bench_Find.db"))
                               : QCoreApplication::applicationDirPath() + QStringLiteral("/bench_Find.db");
    bool build = true;
    if (QFileInfo::exists(path)) {
        TDatabase database;
        database.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
        database.SetParams({QStringLiteral("DATABASE NAME=") + path});
        database.Open();
        build =
            CatalogSchema::FileVersion(database) != CatalogSchema::Version ||
            Scalar(database, QStringLiteral("SELECT count(*) FROM Entries")) != qint64(Volumes) * PerVolume;
    }
    if (build) {
        QFile::remove(path);
        CatalogSchema::CreateFile(path);
        TDatabase database;
        database.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
        database.SetParams({QStringLiteral("DATABASE NAME=") + path});
        database.Open();
        const double ms = buildCatalogue(database.Handle());
        if (Scalar(database, QStringLiteral("SELECT count(*) FROM Entries")) != qint64(Volumes) * PerVolume)
            fail(QStringLiteral("the catalogue holds the wrong number of entries"));
        // What larger pages would gain: the program's catalogues have the engine's default of 4 KB.
        if (const qsizetype at = arguments.indexOf(QStringLiteral("--page-size"));
            at > 0 && at + 1 < arguments.size()) {
            for (const QString &sql :
                 {QStringLiteral("PRAGMA journal_mode = DELETE"),
                  QStringLiteral("PRAGMA page_size = ") + QString::number(arguments[at + 1].toInt()),
                  QStringLiteral("VACUUM"), QStringLiteral("PRAGMA journal_mode = WAL")})
                sqlite3_exec(database.Handle(), sql.toUtf8().constData(), nullptr, nullptr, nullptr);
        }
        QElapsedTimer indexing;
        indexing.start();
        CatalogSchema::UpdateSearchIndexes(database);
        BenchOut() << "catalogue built in " << QString::number(ms / 1000, 'f', 1)
                   << " s, its entries added to the "
                   << "word indexes in " << QString::number(MsSince(indexing) / 1000, 'f', 1) << " s"
                   << Qt::endl;
    }
    TSession::Default().AddAlias(
        QString::fromUtf16(TGlobal::AliasName), QString::fromUtf16(TDatabase::DriverSqlite),
        {QStringLiteral("DATABASE NAME=") + path, QStringLiteral("OPEN MODE=READ/WRITE")});
    TSession::Default().SaveConfigFile();
    {
        TDatabase database;
        database.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
        database.SetParams({QStringLiteral("DATABASE NAME=") + path});
        database.Open();
        // The indexes' share of the file, against what the rest takes.
        const qint64 total = Scalar(database, QStringLiteral("SELECT sum(pgsize) FROM dbstat"));
        const qint64 indexes =
            Scalar(database, QStringLiteral("SELECT sum(pgsize) FROM dbstat WHERE name LIKE "
                                            "'EntryNames%' OR name LIKE 'EntryTexts%' OR name LIKE "
                                            "'%WholeNames%'"));
        const qint64 names = Scalar(database, QStringLiteral("SELECT sum(pgsize) FROM dbstat WHERE name LIKE "
                                                             "'EntryNames%'"));
        const qint64 whole = Scalar(database, QStringLiteral("SELECT sum(pgsize) FROM dbstat WHERE name LIKE "
                                                             "'%WholeNames%'"));
        auto mb = [](qint64 bytes) { return QString::number(double(bytes) / (1 << 20), 'f', 0); };
        BenchOut() << "catalogue: " << Volumes * PerVolume << " entries, " << mb(QFileInfo(path).size())
                   << " MB, pages of " << Scalar(database, QStringLiteral("PRAGMA page_size")) << " bytes"
                   << Qt::endl
                   << "    indexes of names and descriptions: " << mb(indexes) << " MB (names' threes "
                   << mb(names) << " of them names', whole names " << mb(whole) << "), "
                   << QString::number(100.0 * double(indexes) / double(total - indexes), 'f', 0)
                   << " % of the rest (target <= 60 %)" << Qt::endl;
    }

    TGlobal global;
    // What the engine would gain from reading the file through memory mapping, which the
    // program's connections do not use.
    if (arguments.contains(QStringLiteral("--mmap"))) {
        global.Database.ExecSQL(QStringLiteral("PRAGMA mmap_size = 2000000000"));
        BenchOut() << "(catalogue read through memory mapping)" << Qt::endl;
    }
    BenchOut() << qSetFieldWidth(46) << Qt::left << "operation (ms), best run" << qSetFieldWidth(12)
               << Qt::right << "elapsed"
               << "processor" << qSetFieldWidth(0) << "   target" << Qt::endl;
    TQuery &find = global.FindDialog;

    // The name search, every row read as the result list reads them.
    TFindCriteria report;
    report.Name = QStringLiteral("*report*");
    const qint64 expected = Scalar(
        global.Database,
        QStringLiteral("SELECT count(*) FROM Entries WHERE Name LIKE '%report%' AND Parent IS NOT NULL"));
    TTimes times = Best(4, [&] {
        ApplyFindCriteria(global, report);
        find.Open();
        int rows = 0;
        for (find.First(); !find.Eof(); find.Next())
            ++rows;
        if (rows != expected)
            fail(QStringLiteral("\"*report*\" found %1 rows of %2").arg(rows).arg(expected));
    });
    Report("name \"*report*\", every row read", times.Elapsed, times.Cpu, QStringLiteral("< 300"));
    BenchOut() << "    rows: " << expected << Qt::endl;
    if (plans)
        explain(global.Database.Handle(), find.Text());
    times = Best(3, [&] {
        if (FindResultCount(global) != expected)
            fail(QStringLiteral("FindResultCount differs"));
    });
    Report("  the same, counted by FindResultCount", times.Elapsed, times.Cpu,
           QStringLiteral("(for information)"));

    // Searches the indexes serve: to the last row, or to the first one of many.
    auto lastRow = [&](const TFindCriteria &criteria) {
        ApplyFindCriteria(global, criteria);
        find.Open();
        qint64 rows = 0;
        for (find.First(); !find.Eof(); find.Next())
            ++rows;
        return rows;
    };
    auto firstRow = [&](const TFindCriteria &criteria) {
        ApplyFindCriteria(global, criteria);
        find.Open();
        find.First();
        if (find.Eof())
            fail(QStringLiteral("nothing found for \"%1\" \"%2\"").arg(criteria.Name, criteria.Text));
    };
    // The name of one file, as the user would type it whole.
    TQuery wholeQuery;
    wholeQuery.SetDatabase(&global.Database);
    wholeQuery.SetSQL({QStringLiteral("SELECT Name FROM Entries WHERE ID = 1234567")});
    wholeQuery.Open();
    const QString wholeName = wholeQuery.Fields(0)->AsString();
    wholeQuery.Close();
    struct TIndexed
    {
        const char *What;
        TFindCriteria Criteria;
        bool ToFirstRow;
        const char *Target;
    };
    const TIndexed indexed[] = {
        {"rare name \"*4242*\", every row", {.Name = QStringLiteral("*4242*")}, false, "<= 5"},
        {"absent name \"*qzqz*\"", {.Name = QStringLiteral("*qzqz*")}, false, "<= 5"},
        {"whole name, every row", {.Name = wholeName, .WholeMatch = true}, false, "<= 3"},
        {"common name \"*photo*\", first row", {.Name = QStringLiteral("*photo*")}, true, "<= 20"},
        {"description words \"lake wedd\", first row", {.Text = QStringLiteral("lake wedd")}, true, "<= 10"},
        {"  the same, every row", {.Text = QStringLiteral("lake wedd")}, false, "(for information)"},
        {"short name \"*42*\", first row (no index)",
         {.Name = QStringLiteral("*42*")},
         true,
         "(for information)"},
    };
    for (const TIndexed &search : indexed) {
        qint64 rows = 0;
        times = Best(5, [&] {
            if (search.ToFirstRow)
                firstRow(search.Criteria);
            else
                rows = lastRow(search.Criteria);
        });
        Report(search.What, times.Elapsed, times.Cpu, QString::fromLatin1(search.Target));
        if (!search.ToFirstRow)
            BenchOut() << "    rows: " << rows << Qt::endl;
        if (plans)
            explain(global.Database.Handle(), find.Text());
    }
    ResetSearchFlags(global);
    timeCommandLine(wholeName);
    comparePlocate(global, dir, wholeName);

    // The default search: its first rows, and what counting them costs either way.
    const double before = residentMB();
    times = Best(3, [&] {
        ApplyFindCriteria(global, TFindCriteria());
        find.Open();
        int shown = 0;
        for (find.First(); !find.Eof() && shown < 100; find.Next())
            ++shown;
    });
    Report("default criteria, first 100 rows", times.Elapsed, times.Cpu, QStringLiteral("< 1000"));
    BenchOut() << "    memory: " << QString::number(residentMB() - before, 'f', 1) << " MB more" << Qt::endl;
    times = Best(3, [&] {
        if (FindResultCount(global) != qint64(Volumes) * (PerVolume - 1))
            fail(QStringLiteral("the default search counts the wrong number of rows"));
    });
    Report("  every row counted by FindResultCount", times.Elapsed, times.Cpu,
           QStringLiteral("(bounded memory)"));
    if (!arguments.contains(QStringLiteral("--no-record-count"))) {
        int records = 0;
        times = Best(1, [&] { records = find.RecordCount(); });
        Report("  every row counted by RecordCount", times.Elapsed, times.Cpu,
               QStringLiteral("(for information)"));
        BenchOut() << "    memory: " << QString::number(residentMB() - before, 'f', 1)
                   << " MB more, as the data set "
                   << "holds its " << records << " rows" << Qt::endl;
    }
    ResetSearchFlags(global);

    // A disk folder of 20,000 files compared with the catalogue, by each of the eight queries.
    const QString disk = dir.filePath(QStringLiteral("disk"));
    ::mkdir(QFile::encodeName(disk).constData(), 0755);
    makeDiskFolder(global.Database, disk);
    TVolumeServicesDouble services;
    services.AddDrive(disk, QStringLiteral("DISK"), 0x12345678, 1 << 30);
    TVolumeServices::SetCurrent(&services);
    TFolderComparison comparison(global);
    for (int choice = 0; choice < 8; ++choice) {
        const bool byPath = choice & 4;
        const bool bySize = choice & 2;
        const bool byTime = choice & 1;
        times = Best(2, [&] {
            comparison.RunComparison(disk, byPath, bySize, byTime, [] { return false; });
            for (comparison.OnDisk.First(); !comparison.OnDisk.Eof(); comparison.OnDisk.Next()) {
            }
        });
        const qint64 pairs = Scalar(global.Database, QStringLiteral("SELECT count(*) FROM MatchedEntries"));
        const QByteArray what = "matches, 20,000 files: " + MatchQueryName(byPath, bySize, byTime).toLatin1();
        Report(what.constData(), times.Elapsed, times.Cpu, QStringLiteral("< 2000"));
        // Half the files bear catalogued names and sizes; none lies where its namesake does or has its time.
        if (pairs != (byPath || byTime ? 0 : DiskFiles / 2))
            fail(QStringLiteral("%1 pairs").arg(pairs));
    }
    if (plans)
        explain(global.Database.Handle(),
                global.Database.SavedQueryText(QStringLiteral("FindMatchBySizePathTime")));
    comparison.RunComparison(disk, false, false, false, [] { return false; });
    comparison.OnDisk.First();
    times = Best(3, [&] {
        comparison.ShowMatchesInLibrary(comparison.OnDisk.FieldByName(QStringLiteral("ID"))->AsInteger());
    });
    Report("  the catalogued matches of one disk entry", times.Elapsed, times.Cpu,
           QStringLiteral("(for information)"));
    comparison.ClearScratch();
    TVolumeServices::SetCurrent(nullptr);
    return 0;
}
