// Speed of cataloguing what lies inside archives: a volume of 1,000 zip files of 100 entries each
// (in 10 folders) catalogued with their content, next to a volume of the same 100,000 files
// unpacked into folders, catalogued as a volume always was. Both run on a warm cache, the best of
// three counting. Built with the project, run by hand or `make bench`. Arguments: a number of zip
// files (default 1,000) to try other sizes.

#include "BenchCatalogues.h"
#include "BenchSupport.h"
#include "BenchTrees.h"
#include "CatalogSchema.h"
#include "Databases.h"
#include "Queries.h"
#include "VolumeServicesDouble.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <archive.h>
#include <archive_entry.h>

namespace {

using BenchTrees::Fail;

constexpr int DefaultArchives = 1000;
constexpr int FoldersPerArchive = 10;
constexpr int FilesPerFolder = 10;

QByteArray Content(int archive, int file)
{
    return QByteArray("line of text for a benchmark ").repeated(1 + (archive * 7 + file * 13) % 30);
}

QString EntryPath(int folder, int file)
{
    return QStringLiteral("part%1/file%2.txt").arg(folder).arg(file);
}

void WriteZip(const QString &path, int number)
{
    archive *zip = archive_write_new();
    archive_write_set_format_zip(zip);
    if (archive_write_open_filename(zip, QFile::encodeName(path).constData()) != ARCHIVE_OK)
        Fail(QStringLiteral("cannot write ") + path);
    for (int folder = 0; folder < FoldersPerArchive; ++folder) {
        for (int file = 0; file < FilesPerFolder; ++file) {
            const QByteArray data = Content(number, folder * FilesPerFolder + file);
            archive_entry *entry = archive_entry_new();
            archive_entry_set_pathname(entry, QFile::encodeName(EntryPath(folder, file)).constData());
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, 0644);
            archive_entry_set_size(entry, data.size());
            archive_entry_set_mtime(entry, 1700000000, 0);
            archive_write_header(zip, entry);
            archive_write_data(zip, data.constData(), size_t(data.size()));
            archive_entry_free(entry);
        }
    }
    archive_write_close(zip);
    archive_write_free(zip);
}

struct TRun
{
    double Elapsed = -1;
    qint64 Entries = 0;
};

// The best of three scans of root into a fresh catalogue each time.
TRun Scan(const QString &root, bool archives)
{
    const QString path = CatalogSchema::DefaultFilePath();
    TRun best;
    for (int run = 0; run < 3; ++run) {
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(path + suffix);
        CatalogSchema::CreateFile(path);
        TGlobal global;
        global.ProcessArchives = archives;
        QElapsedTimer timer;
        timer.start();
        if (global.LoadDisk(root, QString(), 2, true) < 0)
            Fail(QStringLiteral("the scan catalogued nothing"));
        const double elapsed = MsSince(timer);
        if (best.Elapsed < 0 || elapsed < best.Elapsed)
            best.Elapsed = elapsed;
        TQuery count;
        count.SetDatabase(&global.Database);
        count.SetSQL({QStringLiteral("SELECT count(*) FROM Entries")});
        count.Open();
        best.Entries = count.Fields(0)->AsLargeInt();
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int archives = BenchTrees::CountArgument(argc, argv, DefaultArchives, "archives");
    QTemporaryDir dir;
    UseScratchHome(dir);
    const QString zips = dir.filePath(QStringLiteral("zips"));
    const QString unpacked = dir.filePath(QStringLiteral("unpacked"));

    QElapsedTimer timer;
    timer.start();
    for (int number = 0; number < archives; ++number) {
        const QString folder = zips + QStringLiteral("/set%1").arg(number / 100);
        QDir().mkpath(folder);
        WriteZip(folder + QStringLiteral("/pack%1.zip").arg(number), number);
        for (int part = 0; part < FoldersPerArchive; ++part) {
            const QString target = unpacked + QStringLiteral("/set%1/pack%2/").arg(number / 100).arg(number);
            QDir().mkpath(target + QStringLiteral("part%1").arg(part));
            for (int file = 0; file < FilesPerFolder; ++file) {
                QFile out(target + EntryPath(part, file));
                if (!out.open(QIODevice::WriteOnly) ||
                    out.write(Content(number, part * FilesPerFolder + file)) < 0)
                    Fail(QStringLiteral("cannot write ") + out.fileName());
            }
        }
    }
    const qint64 files = qint64(archives) * FoldersPerArchive * FilesPerFolder;
    BenchOut() << archives << " zip files of " << FoldersPerArchive * FilesPerFolder << " entries, and their "
               << files << " files unpacked, made in " << QString::number(MsSince(timer) / 1000, 'f', 1)
               << " s" << Qt::endl;

    MakeCatalogueFile();

    TVolumeServicesDouble services;
    services.AddDrive(zips, QStringLiteral("ZIPS"), 0x12345678, qint64(1) << 30);
    services.AddDrive(unpacked, QStringLiteral("UNPACKED"), 0x23456789, qint64(1) << 30);
    TVolumeServices::SetCurrent(&services);

    BenchOut() << qSetFieldWidth(46) << Qt::left << "operation (ms)" << qSetFieldWidth(12) << Qt::right
               << "elapsed"
               << "entries" << qSetFieldWidth(0) << "   target" << Qt::endl;
    const TRun plain = Scan(unpacked, false);
    const TRun plainLooking = Scan(unpacked, true);
    const TRun inside = Scan(zips, true);
    const TRun outside = Scan(zips, false);
    TVolumeServices::SetCurrent(nullptr);
    // One row for each zip file as for each folder it was unpacked into.
    if (inside.Entries != plain.Entries)
        Fail(QStringLiteral("the zip volume holds %1 entries, the unpacked one %2")
                 .arg(inside.Entries)
                 .arg(plain.Entries));

    Report("unpacked files, archives not looked into", plain.Elapsed, double(plain.Entries),
           QStringLiteral("(for comparison)"));
    Report("unpacked files, every file probed", plainLooking.Elapsed, double(plainLooking.Entries),
           QStringLiteral("(for comparison)"));
    Report("zip files with their content", inside.Elapsed, double(inside.Entries),
           QStringLiteral("<= 3 x unpacked"));
    Report("zip files as files only", outside.Elapsed, double(outside.Entries),
           QStringLiteral("(for comparison)"));
    BenchOut() << "    ratio zips with content / unpacked: "
               << QString::number(inside.Elapsed / plain.Elapsed, 'f', 2) << "   (target <= 3)" << Qt::endl;
    return 0;
}
