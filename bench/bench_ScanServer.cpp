// The scan of a 200,000-file tree into a catalogue on a PostgreSQL server, next to the same scan
// into a catalogue file: a private server started for the run with a user's durable settings,
// reached through its Unix socket. Arguments: a number of files (default 200,000).

#include "BenchServers.h"
#include "BenchSupport.h"
#include "BenchTrees.h"
#include "CatalogSchema.h"
#include "Databases.h"
#include "VolumeServicesDouble.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QFile>

namespace {

using BenchTrees::Fail;

// Points the program's alias at the driver and parameters, with a new empty catalogue there.
void pointAliasAt(const QString &driver, const QStringList &params)
{
    {
        TDatabase maker;
        maker.SetDriverName(driver);
        maker.SetParams(params + QStringList{QStringLiteral("CREATE=TRUE")});
        maker.Open();
        CatalogSchema::Create(maker);
    }
    TSession::Default().AddAlias(QString::fromUtf16(TGlobal::AliasName), driver, params);
    TSession::Default().SaveConfigFile();
}

TTimes timedScan(const QString &root)
{
    TGlobal global;
    // As the program does: on a file, the word indexes follow the scan in the background.
    global.SetIndexInBackground(true);
    global.OnProgress = [](TGlobal *, int, int) { return false; };
    return Timed([&] {
        if (global.LoadDisk(root, QString(), 2, false) < 0)
            Fail(QStringLiteral("the scan catalogued nothing"));
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int files = BenchTrees::CountArgument(argc, argv, 200000, "files");
    QTemporaryDir dir;
    UseScratchHome(dir);
    const QString root = BenchTrees::MakeVolumeFolder(dir, "drive");
    const qint64 total = BenchTrees::Make(QFile::encodeName(root), files, BenchTrees::TSizes::Random);
    TVolumeServicesDouble services;
    services.AddDrive(root, QStringLiteral("BENCH"), 0x12345678, total);
    TVolumeServices::SetCurrent(&services);

    TBenchServer server;
    TTimes onFile, onServer;
    // Alternately, the best of two each: the machine may be busy with other work.
    for (int run = 0; run < 4; ++run) {
        const bool file = run % 2 == 0;
        // Each run's alias in a configuration of its own.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config%1").arg(run))));
        if (file) {
            const QString path = dir.filePath(QStringLiteral("scan%1.db").arg(run));
            pointAliasAt(QString::fromUtf16(TDatabase::DriverSqlite),
                         {QStringLiteral("DATABASE NAME=") + path});
        } else {
            pointAliasAt(QString::fromUtf16(TDatabase::DriverPostgres),
                         CatalogSchema::ServerAliasParams(server.Uri(QStringLiteral("scan%1").arg(run))));
        }
        (file ? onFile : onServer).KeepBest(timedScan(root));
    }
    BenchOut() << "scan of " << files << " files (ms)" << qSetFieldWidth(0) << Qt::endl;
    Report("into a catalogue file", onFile.Elapsed, onFile.Cpu, QStringLiteral("(for comparison)"));
    Report("into a catalogue on a server", onServer.Elapsed, onServer.Cpu,
           QStringLiteral("<= 2x the file's elapsed: %1x").arg(onServer.Elapsed / onFile.Elapsed, 0, 'f', 2));
    return 0;
}
