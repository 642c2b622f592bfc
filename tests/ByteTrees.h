#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Makes folder trees on disk by their byte names, so that names need not be text. The first
// failure is kept in Error.
class TByteTree
{
public:
    explicit TByteTree(const QString &root) : FRoot(QFile::encodeName(root)) { Dir(QByteArray()); }

    QByteArray Path(const QByteArray &relative) const
    {
        return relative.isEmpty() ? FRoot : FRoot + '/' + relative;
    }

    // The folder and the folders above it.
    void Dir(const QByteArray &relative)
    {
        const QByteArray path = Path(relative);
        for (qsizetype i = 1; i <= path.size(); ++i) {
            if (i < path.size() && path[i] != '/')
                continue;
            if (::mkdir(path.left(i).constData(), 0755) != 0 && errno != EEXIST)
                Fail("mkdir", path.left(i));
        }
    }
    // A file of `size` bytes that occupies no space: only its size is read.
    void File(const QByteArray &relative, qint64 size = 0)
    {
        const qsizetype slash = relative.lastIndexOf('/');
        if (slash > 0)
            Dir(relative.left(slash));
        const int fd = ::open(Path(relative).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::ftruncate(fd, size) != 0)
            Fail("create", relative);
        if (fd >= 0)
            ::close(fd);
    }
    void Link(const QByteArray &relative, const QByteArray &target)
    {
        if (::symlink(target.constData(), Path(relative).constData()) != 0)
            Fail("symlink", relative);
    }
    void Time(const QByteArray &relative, const QDateTime &local)
    {
        const timespec times[2] = {{local.toSecsSinceEpoch(), 0}, {local.toSecsSinceEpoch(), 0}};
        if (::utimensat(AT_FDCWD, Path(relative).constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
            Fail("utimensat", relative);
    }
    // Folders d0, d1, ... each holding one file of `size` bytes, f.
    void OneFilePerFolder(int count, qint64 size)
    {
        for (int i = 0; i < count; ++i)
            File("d" + QByteArray::number(i) + "/f", size);
    }
    // `depth` folders named "d", each in the one before, and a file of `size` bytes at the bottom:
    // made one level at a time through handles, as the whole path is longer than a path may be.
    void Chain(int depth, const QByteArray &file, qint64 size)
    {
        int fd = ::open(FRoot.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int i = 0; i < depth && fd >= 0; ++i) {
            if (::mkdirat(fd, "d", 0755) != 0)
                Fail("mkdirat", QByteArray::number(i));
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        const int bottom = fd < 0 ? -1 : ::openat(fd, file.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (bottom < 0 || ::ftruncate(bottom, size) != 0)
            Fail("chain", file);
        if (bottom >= 0)
            ::close(bottom);
        if (fd >= 0)
            ::close(fd);
    }

    // `folders` folders of `files` files each, the names padded to `nameLength` bytes.
    void Wide(const QByteArray &under, int folders, int files, int nameLength = 0)
    {
        for (int d = 0; d < folders; ++d) {
            const QByteArray folder =
                (under.isEmpty() ? QByteArray() : under + '/') + Padded("dir", d, nameLength);
            Dir(folder);
            for (int f = 0; f < files; ++f)
                File(folder + '/' + Padded("file", f, nameLength) + ".txt", f);
        }
    }

    QString Error;

private:
    static QByteArray Padded(const char *stem, int number, int length)
    {
        QByteArray name = stem + QByteArray::number(number);
        return length > name.size() ? name + QByteArray(length - name.size(), 'x') : name;
    }
    void Fail(const char *what, const QByteArray &path)
    {
        if (Error.isEmpty())
            Error = QString::fromLatin1(what) + u' ' + QString::fromLocal8Bit(path) + QStringLiteral(": ") +
                    QString::fromLocal8Bit(std::strerror(errno));
    }

    QByteArray FRoot;
};
