#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

// One line of /proc/<pid>/mountinfo. Paths are raw bytes with the kernel's octal escapes undone.
struct TMountEntry
{
    int MountId = 0;
    int ParentId = 0;
    quint32 Major = 0;
    quint32 Minor = 0;
    QByteArray Root;
    QByteArray MountPoint;
    QByteArray MountOptions;
    // "shared:1", "master:2", ...: any number of them, up to the "-" separator.
    QList<QByteArray> OptionalFields;
    QString FileSystem;
    QByteArray Source;
    QByteArray SuperOptions;
};

class TMountTable
{
public:
    // nullopt for a line that is not a mountinfo line.
    static std::optional<TMountEntry> ParseLine(QByteArrayView line);
    // The kernel writes space, tab, newline and backslash in paths as "\040", "\011", "\012" and
    // "\134"; any backslash followed by three octal digits is undone the same way.
    static QByteArray Unescape(QByteArrayView field);

    static TMountTable FromText(QByteArrayView text);
    // An empty table when the file cannot be read.
    static TMountTable Read(const QString &path);

    const QList<TMountEntry> &Entries() const { return FEntries; }
    // The mount that holds path (absolute, without "." or ".." parts): the longest mount point
    // that is path or a folder above it; of equal ones the last, which hides those before it.
    const TMountEntry *MountOf(QByteArrayView path) const;

private:
    QList<TMountEntry> FEntries;
};
