#pragma once

#include <QByteArrayView>
#include <QString>

// Mounts of a server's share, which a catalogue lists as drives of their own.
class TNetworkShares
{
public:
    // Shares of a file server (NFS, SMB), of a host a virtual machine runs on (9p, virtiofs), of
    // a cluster (Ceph, AFS) and those FUSE brings from elsewhere (sshfs, rclone, s3fs, GlusterFS,
    // WebDAV). Plain "fuse" is not one: it names anything a FUSE program serves.
    static bool IsShare(const QString &fileSystem);
    // The share's last path component: "//server/music" -> "music", "server:/export/photos" ->
    // "photos", "user@host:dir" -> "dir", "https://host/dav/files" -> "files"; the host when the
    // path is empty ("gdrive:" -> "gdrive"); the whole text when it names no host (a 9p tag).
    static QString Label(QByteArrayView source);
    // Derived from the source text alone, so a share keeps its number across runs and machines;
    // two shares differ unless their sources are equal (or the 32-bit hashes collide).
    static quint32 Serial(QByteArrayView source);
};
