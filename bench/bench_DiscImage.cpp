// Speed of walking a disc image file without mounting it: a tree of 200,000 files in 2,000 folders,
// made into a Joliet and Rock Ridge image with xorriso, walked through the disc image source next
// to the same tree walked as a folder through the volume services. Both run on a warm cache. The
// tree and its image are made once and kept beside the benchmark for the next run. Arguments: a
// number of files (default 200,000) to try other sizes.

#include "BenchSupport.h"
#include "BenchTrees.h"
#include "DiscImageSources.h"
#include "FileNames.h"
#include "VolumeServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using BenchTrees::Fail;
using BenchTrees::Folders;

constexpr int DefaultFiles = 200000;

qint64 walkImage(TDiscImageSource &source, const QString &folder)
{
    const auto entries = source.ListFolder(folder);
    if (!entries)
        Fail(QStringLiteral("cannot list ") + folder);
    qint64 count = entries->size();
    for (const TDirEntry &entry : *entries) {
        if (entry.IsDirectory)
            count += walkImage(source, folder + FileNameToText(entry.Name) + QLatin1Char('/'));
    }
    return count;
}

qint64 walkFolder(const QString &folder)
{
    const auto entries = TVolumeServices::Current().ListDirectory(folder);
    if (!entries)
        Fail(QStringLiteral("cannot list ") + folder);
    qint64 count = entries->size();
    for (const TDirEntry &entry : *entries) {
        if (entry.IsDirectory)
            count += walkFolder(folder + QLatin1Char('/') + FileNameToText(entry.Name));
    }
    return count;
}

// The best of three runs after one that warms the cache.
template <typename TWalk> double bestOfThree(TWalk walk, qint64 expected)
{
    double best = -1;
    for (int i = 0; i < 4; ++i) {
        QElapsedTimer timer;
        timer.start();
        const qint64 count = walk();
        const double ms = MsSince(timer);
        if (count != expected)
            Fail(QStringLiteral("the walk found %1 entries, not %2").arg(count).arg(expected));
        if (i > 0 && (best < 0 || ms < best))
            best = ms;
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? QByteArray(argv[1]).toInt() : DefaultFiles;
    if (files <= 0)
        Fail(QStringLiteral("the number of files must be positive"));

    const QString cache =
        QCoreApplication::applicationDirPath() + QStringLiteral("/bench_DiscImage-%1").arg(files);
    const QString tree = cache + QStringLiteral("/tree");
    const QString image = cache + QStringLiteral("/tree.iso");
    const QString done = cache + QStringLiteral("/complete");
    if (!QFile::exists(done)) {
        QDir(cache).removeRecursively();
        QDir().mkpath(cache);
        QElapsedTimer timer;
        timer.start();
        if (!QDir().mkpath(tree))
            Fail(QStringLiteral("mkdir ") + tree);
        BenchTrees::Make(QFile::encodeName(tree), files, BenchTrees::TSizes::Empty);
        QProcess xorriso;
        xorriso.start(QStringLiteral("xorriso"),
                      {QStringLiteral("-as"), QStringLiteral("mkisofs"), QStringLiteral("-quiet"),
                       QStringLiteral("-J"), QStringLiteral("-R"), QStringLiteral("-o"), image, tree});
        if (!xorriso.waitForFinished(-1) || xorriso.exitCode() != 0)
            Fail(QStringLiteral("xorriso failed: ") + QString::fromLocal8Bit(xorriso.readAllStandardError()));
        QFile(done).open(QIODevice::WriteOnly);
        BenchOut() << "tree and image made in " << QString::number(MsSince(timer) / 1000, 'f', 1) << " s"
                   << Qt::endl;
    }
    BenchOut() << "tree: " << files << " files in " << Folders << " folders, image "
               << QFileInfo(image).size() / (1024 * 1024) << " MB" << Qt::endl;

    const qint64 expected = qint64(files) + Folders;
    const double folder = bestOfThree([&] { return walkFolder(tree); }, expected);
    const double disc = bestOfThree(
        [&] {
            // Opening belongs to the walk: a scan opens the image once.
            const auto source = TDiscImageSource::Open(image);
            return walkImage(*source, {});
        },
        expected);

    BenchOut() << qSetFieldWidth(46) << Qt::left << "operation (ms)" << qSetFieldWidth(12) << Qt::right
               << "elapsed"
               << "" << qSetFieldWidth(0) << "   target" << Qt::endl;
    Report("walk the folder (ListDirectory)", folder, -1, QStringLiteral("(for comparison)"));
    Report("walk the image (TDiscImageSource)", disc, -1, QStringLiteral("<= 2 x folder"));
    BenchOut() << "    ratio image / folder: " << QString::number(disc / folder, 'f', 2) << Qt::endl;
    return disc <= 2 * folder ? 0 : 1;
}
