#pragma once

#include <QByteArray>

// Whether the symbolic links along a path are followed.
enum class TLinks { Follow, Refuse };

// Opens path with open()'s flags (close-on-exec added) whatever its length: -1 and errno on
// failure. The kernel refuses paths of PATH_MAX bytes or more, and a folder chain can be deeper
// than that, so a long path is opened piece by piece, each piece relative to the folder the last
// one opened, holding at most two descriptors at a time.
//
// With TLinks::Refuse no name of the path may be a symbolic link: every name is opened on its own
// with O_NOFOLLOW, which speaks only of a path's last name. A link on the way fails with ENOTDIR;
// a link at the end with ELOOP, or is itself opened under O_PATH.
int OpenLongPath(const QByteArray &path, int flags, TLinks links = TLinks::Follow);

// Opens the folder holding the last name of path (O_PATH) and sets name to that name, so that the
// caller can look at the entry (fstatat) before it opens it (openat). -1 and errno on failure;
// EINVAL for a path that ends in "/".
int OpenFolderOf(const QByteArray &path, TLinks links, QByteArray &name);
