// Speed of walking a disc image file without mounting it: a tree of 200,000 files in 2,000 folders,
// made into a Joliet and Rock Ridge image with xorriso, walked through the disc image source next
// to the same tree walked as a folder through the volume services. Both run on a warm cache. The
// tree and its image are made once and kept beside the benchmark for the next run. Arguments: a
// number of files (default 200,000) to try other sizes.

#include "BenchSupport.h"
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

constexpr int DefaultFiles = 200000;
constexpr int Folders = 2000;
constexpr int Fanout = 6;

[[noreturn]] void fail(const QString &what)
{
    BenchOut() << "unexpected result: " << what << Qt::endl;
    std::exit(1);
}

quint32 next(quint32 &state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// A name of 8 to 40 characters that starts with a unique number, some in upper case.
QByteArray name(quint32 &state, int number, bool folder)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789_- ";
    static const char *const extensions[] = {".txt", ".jpg", ".mp3", ".pdf", ".doc", ".c", ".h", ".JPG", ""};
    const QByteArray extension = folder ? QByteArray() : QByteArray(extensions[next(state) % 9]);
    QByteArray result = QByteArray::number(number) + '_';
    const int length = 8 + int(next(state) % 33) - int(extension.size()) - int(result.size());
    for (int i = 0; i < std::max(1, length); ++i)
        result += letters[next(state) % (sizeof letters - 2)];
    if (next(state) % 8 == 0)
        result = result.toUpper();
    return result + extension;
}

// Empty files: the image holds their records, not their bytes, and is made quickly.
void makeTree(const QByteArray &root, int files)
{
    quint32 state = 2463534242u;
    QList<QByteArray> paths{root};
    if (::mkdir(root.constData(), 0755) != 0)
        fail(QStringLiteral("mkdir ") + QFile::decodeName(root));
    for (int k = 1; k <= Folders; ++k) {
        const QByteArray path = paths[(k - 1) / Fanout] + '/' + name(state, k, true);
        if (::mkdir(path.constData(), 0755) != 0)
            fail(QStringLiteral("mkdir ") + QFile::decodeName(path));
        paths << path;
    }
    for (int i = 0; i < files; ++i) {
        const QByteArray path = paths[1 + i % Folders] + '/' + name(state, i, false);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            fail(QStringLiteral("create ") + QFile::decodeName(path));
        ::close(fd);
    }
}

qint64 walkImage(TDiscImageSource &source, const QString &folder)
{
    const auto entries = source.ListFolder(folder);
    if (!entries)
        fail(QStringLiteral("cannot list ") + folder);
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
        fail(QStringLiteral("cannot list ") + folder);
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
            fail(QStringLiteral("the walk found %1 entries, not %2").arg(count).arg(expected));
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
        fail(QStringLiteral("the number of files must be positive"));

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
        makeTree(QFile::encodeName(tree), files);
        QProcess xorriso;
        xorriso.start(QStringLiteral("xorriso"),
                      {QStringLiteral("-as"), QStringLiteral("mkisofs"), QStringLiteral("-quiet"),
                       QStringLiteral("-J"), QStringLiteral("-R"), QStringLiteral("-o"), image, tree});
        if (!xorriso.waitForFinished(-1) || xorriso.exitCode() != 0)
            fail(QStringLiteral("xorriso failed: ") + QString::fromLocal8Bit(xorriso.readAllStandardError()));
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
