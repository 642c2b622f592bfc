#pragma once

#include "DatabaseError.h"
#include "Databases.h"
#include "Queries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTest>
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

// Each row of a statement as its values joined by "|", NULL as "NULL".
inline QStringList RowsOf(TDatabase &database, const QString &sql)
{
    TQuery query;
    query.SetDatabase(&database);
    query.SetSQL({sql});
    QStringList rows;
    for (query.Open(); !query.Eof(); query.Next()) {
        QStringList values;
        for (int i = 0; i < query.FieldCount(); ++i)
            values << (query.Fields(i)->IsNull() ? QStringLiteral("NULL") : query.Fields(i)->AsString());
        rows << values.join(u'|');
    }
    return rows;
}

// The first value of the first row, -1 for no row or NULL.
inline qint64 ScalarOf(TDatabase &database, const QString &sql)
{
    TQuery query;
    query.SetDatabase(&database);
    query.SetSQL({sql});
    query.Open();
    return query.IsEmpty() || query.Fields(0)->IsNull() ? -1 : query.Fields(0)->AsLargeInt();
}

// A file holding those bytes, with the folders above it.
inline void WriteFile(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
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
