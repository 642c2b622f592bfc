#pragma once

// The folder tree the volume benchmarks walk, the same on every run: Folders folders, each folder
// k (1..Folders) in folder (k - 1) / Fanout, 0 being the root (five levels), then the files dealt
// round them. Names of 8 to 40 characters start with a unique number; most files have an
// extension, some names are in upper case.

#include "BenchSupport.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BenchTrees {

constexpr int Folders = 2000;
constexpr int Fanout = 6;

[[noreturn]] inline void Fail(const QString &what)
{
    BenchOut() << "unexpected result: " << what << Qt::endl;
    std::exit(1);
}

// The count the benchmark's first argument asks for (files, archives), else `fallback`.
inline int CountArgument(int argc, char *argv[], int fallback, const char *what)
{
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : fallback;
    if (count <= 0)
        Fail(QStringLiteral("the number of %1 must be positive").arg(QLatin1String(what)));
    return count;
}

// A new folder `name` in the scratch folder, for the volume the benchmark walks.
inline QString MakeVolumeFolder(const QTemporaryDir &dir, const char *name)
{
    const QString root = dir.filePath(QLatin1String(name));
    if (::mkdir(QFile::encodeName(root).constData(), 0755) != 0)
        Fail(QStringLiteral("mkdir ") + root);
    return root;
}

// A small deterministic generator.
inline quint32 Next(quint32 &state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

inline QByteArray Name(quint32 &state, int number, bool folder)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789_- ";
    static const char *const extensions[] = {".txt", ".jpg", ".mp3",    ".pdf", ".doc",
                                             ".c",   ".h",   ".tar.gz", ".JPG", ""};
    const QByteArray extension = folder ? QByteArray() : QByteArray(extensions[Next(state) % 10]);
    QByteArray result = QByteArray::number(number) + '_';
    const int length = 8 + int(Next(state) % 33) - int(extension.size()) - int(result.size());
    for (int i = 0; i < std::max(1, length); ++i)
        result += letters[Next(state) % (sizeof letters - 2)];
    if (Next(state) % 8 == 0)
        result = result.toUpper();
    return result + extension;
}

enum class TSizes {
    // Every file empty: an image of the tree holds its records only, and is made quickly.
    Empty,
    // Each file as large as a random number below 4 MB says, without taking space.
    Random
};

// Makes the tree below root, which must exist; returns the total of the file sizes.
inline qint64 Make(const QByteArray &root, int files, TSizes sizes)
{
    quint32 state = 2463534242u;
    QList<QByteArray> paths{root};
    for (int k = 1; k <= Folders; ++k) {
        const QByteArray path = paths[(k - 1) / Fanout] + '/' + Name(state, k, true);
        if (::mkdir(path.constData(), 0755) != 0)
            Fail(QStringLiteral("mkdir ") + QFile::decodeName(path));
        paths << path;
    }
    qint64 total = 0;
    for (int i = 0; i < files; ++i) {
        const QByteArray path = paths[1 + i % Folders] + '/' + Name(state, i, false);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const qint64 size = sizes == TSizes::Random ? qint64(Next(state) % (4 << 20)) : 0;
        if (fd < 0 || ::ftruncate(fd, size) != 0)
            Fail(QStringLiteral("create ") + QFile::decodeName(path));
        ::close(fd);
        total += size;
    }
    return total;
}

} // namespace BenchTrees
