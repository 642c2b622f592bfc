#pragma once

#include "DatabaseError.h"

#include <QFile>
#include <QString>
#include <fcntl.h>
#include <functional>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The message of the database error an operation raises; empty when it raises none.
inline QString ErrorOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const EDatabaseError &error) {
        return error.Message();
    }
    return QString();
}

// Marks a folder immutable for as long as it lives: nobody, root included, may create, rename or
// delete anything in it.
class TImmutable
{
public:
    explicit TImmutable(const QString &path) : FPath(QFile::encodeName(path)) {}
    ~TImmutable()
    {
        if (FSet)
            Change(false);
    }
    TImmutable(const TImmutable &) = delete;
    TImmutable &operator=(const TImmutable &) = delete;
    bool Set() { return FSet = Change(true); }

private:
    bool Change(bool immutable) const
    {
        const int fd = ::open(FPath.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }
    QByteArray FPath;
    bool FSet = false;
};
