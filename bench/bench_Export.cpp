// Speed and memory of exporting a catalogue of 1,000,000 entries (five volumes of 200,000) as CSV,
// JSON and an HTML page into a file, and of one volume alone: the memory should stay the same
// whatever the number of entries. Built with the project, run by hand or `make bench`.

#include "BenchCatalogues.h"
#include "BenchSupport.h"
#include "Exports.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

constexpr int Volumes = 5;
constexpr int PerVolume = 200000;
constexpr int FilesPerFolder = 20;
constexpr int Fanout = 8;

// The process's peak resident memory since the last reset, in MB.
double PeakMB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

void ResetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    UseScratchHome(scratch);
    MakeCatalogueFile();
    {
        TDatabase database;
        OpenScratchDatabase(database, CatalogSchema::DefaultFilePath());
        database.RunInTransaction([&] {
            for (int v = 0; v < Volumes; ++v)
                AddGeneratedVolume(database, qint64(v) * PerVolume + 1, PerVolume, FilesPerFolder, Fanout, v,
                                   QStringLiteral("VOLUME%1").arg(v));
        });
    }
    TGlobal global;
    const qint64 entries = Scalar(global.Database, QStringLiteral("SELECT count(*) FROM Entries"));
    BenchOut() << "export of " << entries << " entries; peak memory since the start of each, MB" << Qt::endl;
    BenchOut() << qSetFieldWidth(46) << Qt::left << "what" << qSetFieldWidth(12) << Qt::right << "ms"
               << "peak MB" << qSetFieldWidth(0) << "   target" << Qt::endl;

    const struct
    {
        const char *Name;
        TExportFormat Format;
        bool OneVolume;
    } runs[] = {{"csv, one volume (200,000)", TExportFormat::Csv, true},
                {"csv, all (1,000,000)", TExportFormat::Csv, false},
                {"json, one volume (200,000)", TExportFormat::Json, true},
                {"json, all (1,000,000)", TExportFormat::Json, false},
                {"html, one volume (200,000)", TExportFormat::Html, true},
                {"html, all (1,000,000)", TExportFormat::Html, false}};
    for (const auto &run : runs) {
        QFile out(scratch.filePath(QStringLiteral("export.") + ExportFormatSuffix(run.Format)));
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        ResetPeak();
        QElapsedTimer timer;
        timer.start();
        ExportCatalogue(global, out, run.Format, run.OneVolume ? std::optional<int>(1) : std::nullopt);
        out.close();
        const double ms = MsSince(timer);
        Report(run.Name, ms, PeakMB(),
               QStringLiteral("%1 MB written; all: <= 10000 ms, memory as for one volume")
                   .arg(double(QFileInfo(out.fileName()).size()) / 1e6, 0, 'f', 1));
    }
    return 0;
}
