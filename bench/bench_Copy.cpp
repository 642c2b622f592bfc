// A whole catalogue copied to a PostgreSQL server and back: the generated catalogue of
// `bench_Copy [ENTRIES]` (1,000,000 by default, in volumes of 200,000) goes from its file to a
// private server started for the run, then from the server into a new file.

#include "BenchCatalogues.h"
#include "BenchServers.h"
#include "BenchSupport.h"
#include "BenchTrees.h"
#include "CatalogCopies.h"

#include <QCoreApplication>

namespace {

void openServer(TDatabase &database, const QString &uri)
{
    database.SetDriverName(QString::fromUtf16(TDatabase::DriverPostgres));
    database.SetParams(CatalogSchema::ServerAliasParams(uri) + QStringList{QStringLiteral("CREATE=TRUE")});
    database.Open();
    CatalogSchema::Create(database);
}

void openFile(TDatabase &database, const QString &path)
{
    database.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
    database.SetParams({QStringLiteral("DATABASE NAME=") + path});
    database.Open();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int entries = BenchTrees::CountArgument(argc, argv, 1000000, "entries");
    QTemporaryDir scratch;
    UseScratchHome(scratch);
    const QString sourcePath = scratch.filePath(QStringLiteral("source.db"));
    const QString backPath = scratch.filePath(QStringLiteral("back.db"));
    CatalogSchema::CreateFile(sourcePath);
    {
        TDatabase source;
        openFile(source, sourcePath);
        constexpr int volumeSize = 200000;
        qint64 root = 1;
        for (int number = 0; root <= entries; ++number) {
            const int count = std::min<qint64>(volumeSize, entries - root + 1);
            source.RunInTransaction([&] {
                AddGeneratedVolume(source, root, count, 20, 8, number, QStringLiteral("Disc %1").arg(number));
            });
            root += count;
        }
        CatalogSchema::UpdateSearchIndexes(source);
    }

    TBenchServer server;
    TTimes toServer, back;
    {
        TDatabase source, target;
        openFile(source, sourcePath);
        openServer(target, server.Uri(QStringLiteral("copied")));
        toServer = Timed([&] { CopyCatalogue(source, target); });
    }
    CatalogSchema::CreateFile(backPath);
    {
        TDatabase source, target;
        source.SetDriverName(QString::fromUtf16(TDatabase::DriverPostgres));
        source.SetParams(CatalogSchema::ServerAliasParams(server.Uri(QStringLiteral("copied"))));
        source.Open();
        openFile(target, backPath);
        back = Timed([&] { CopyCatalogue(source, target); });
    }
    BenchOut() << "catalogue copy, " << entries << " entries (elapsed ms, this process's processor ms)\n";
    Report("file to server", toServer.Elapsed, toServer.Cpu, QStringLiteral("<= 60000 elapsed"));
    Report("server to file", back.Elapsed, back.Cpu, QStringLiteral("-"));
    return 0;
}
