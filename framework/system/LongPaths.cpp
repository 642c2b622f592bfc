#include "LongPaths.h"

#include <QList>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Opens piece relative to base and closes base, so that a descent holds one descriptor per step.
int Step(int base, const QByteArray &piece, int flags)
{
    const int next = ::openat(base, piece.constData(), flags | O_CLOEXEC);
    const int saved = errno;
    if (base != AT_FDCWD)
        ::close(base);
    errno = saved;
    return next;
}

// With links followed, chains of whole names each short enough for the kernel (the path itself
// when it is); empty when a single name is too long. Each piece but the last ends in "/".
QList<QByteArray> FollowingPieces(const QByteArray &path)
{
    if (path.size() < PATH_MAX - 1)
        return {path};
    constexpr qsizetype piece = PATH_MAX / 2;
    QList<QByteArray> pieces;
    qsizetype from = 0;
    while (path.size() - from >= piece) {
        const qsizetype cut = path.lastIndexOf('/', from + piece - 1);
        if (cut <= from)
            return {};
        pieces.append(path.mid(from, cut - from + 1));
        from = cut + 1;
    }
    pieces.append(from < path.size() ? path.mid(from) : QByteArray("."));
    return pieces;
}

// With links refused, each name on its own; a path from the root starts with "/".
QList<QByteArray> NamePieces(const QByteArray &path)
{
    QList<QByteArray> pieces;
    if (path.startsWith('/'))
        pieces.append(QByteArray("/"));
    for (const QByteArray &name : path.split('/'))
        if (!name.isEmpty())
            pieces.append(name);
    if (pieces.isEmpty())
        pieces.append(QByteArray("."));
    return pieces;
}

} // namespace

int OpenLongPath(const QByteArray &path, int flags, TLinks links)
{
    if (path.contains('\0')) {
        errno = EINVAL;
        return -1;
    }
    const bool refuse = links == TLinks::Refuse;
    const QList<QByteArray> pieces = refuse ? NamePieces(path) : FollowingPieces(path);
    if (pieces.isEmpty()) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int noFollow = refuse ? O_NOFOLLOW : 0;
    int base = AT_FDCWD;
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i) {
        base = Step(base, pieces[i], O_PATH | O_DIRECTORY | noFollow);
        if (base < 0)
            return -1;
    }
    return Step(base, pieces.last(), flags | noFollow);
}

int OpenFolderOf(const QByteArray &path, TLinks links, QByteArray &name)
{
    const qsizetype slash = path.lastIndexOf('/');
    name = path.mid(slash + 1);
    if (name.isEmpty()) {
        errno = EINVAL;
        return -1;
    }
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    return OpenLongPath(folder, O_PATH | O_DIRECTORY, links);
}
