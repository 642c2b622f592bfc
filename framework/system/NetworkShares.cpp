#include "NetworkShares.h"

#include "FileNames.h"
#include "VolumeSerials.h"

#include <QStringList>

namespace {

// "alice@host", "[fe80::1]", "host:8443" all name the host.
QString HostName(QString host)
{
    host = host.mid(host.lastIndexOf(QLatin1Char('@')) + 1);
    if (host.startsWith(QLatin1Char('['))) {
        const qsizetype close = host.indexOf(QLatin1Char(']'));
        return close > 0 ? host.mid(1, close - 1) : host.mid(1);
    }
    return host.left(host.indexOf(QLatin1Char(':')));
}

} // namespace

bool TNetworkShares::IsShare(const QString &fileSystem)
{
    static const QStringList types = {
        QStringLiteral("nfs"),       QStringLiteral("nfs4"),          QStringLiteral("cifs"),
        QStringLiteral("smb3"),      QStringLiteral("smbfs"),         QStringLiteral("9p"),
        QStringLiteral("virtiofs"),  QStringLiteral("ceph"),          QStringLiteral("afs"),
        QStringLiteral("davfs"),     QStringLiteral("fuse.sshfs"),    QStringLiteral("fuse.rclone"),
        QStringLiteral("fuse.s3fs"), QStringLiteral("fuse.glusterfs")};
    return types.contains(fileSystem);
}

QString TNetworkShares::Label(QByteArrayView source)
{
    const QString text = FileNameToText(source.toByteArray());
    QString host;
    QString path;
    const qsizetype scheme = text.indexOf(QStringLiteral("://"));
    if (scheme >= 0 || text.startsWith(QStringLiteral("//"))) {
        // A URL or an SMB share: the host runs to the first slash.
        const QString rest = text.mid(scheme >= 0 ? scheme + 3 : 2);
        const qsizetype slash = rest.indexOf(QLatin1Char('/'));
        host = slash >= 0 ? rest.left(slash) : rest;
        path = slash >= 0 ? rest.mid(slash + 1) : QString();
        host = HostName(host);
    } else {
        // "host:path"; an IPv6 address in brackets holds colons of its own.
        const qsizetype close = text.startsWith(QLatin1Char('[')) ? text.indexOf(QLatin1Char(']')) : 0;
        const qsizetype colon = text.indexOf(QLatin1Char(':'), qMax<qsizetype>(close, 0));
        if (colon >= 0) {
            host = HostName(text.left(colon));
            path = text.mid(colon + 1);
        } else {
            path = text;
        }
    }
    // An SMB source may have been written with backslashes.
    const QStringList parts =
        path.replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!parts.isEmpty())
        return parts.last();
    return host.isEmpty() ? text : host;
}

quint32 TNetworkShares::Serial(QByteArrayView source)
{
    return TVolumeSerials::TextSerial(source);
}
