#pragma once

// Archives made for a test by tools beside the program (Python's zipfile and tarfile, Info-ZIP's
// zip for an encrypted one), so the reader is tested against archives it did not write itself.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>

struct TArchiveItem
{
    QString Name; // ending in "/" for a folder
    QByteArray Bytes;
};

// kind: "zip", "tar", "tar.gz" or "tar.xz". Every entry is dated 2021-05-06 07:08:10 (local time).
// False when the tool failed.
inline bool MakeArchive(const QString &path, const QList<TArchiveItem> &items,
                        const QString &kind = QStringLiteral("zip"))
{
    static const char *const script = R"py(
import base64, io, json, sys, tarfile, time, zipfile
job = json.load(sys.stdin)
stamp = (2021, 5, 6, 7, 8, 10)
if job['kind'] == 'zip':
    with zipfile.ZipFile(job['out'], 'w', zipfile.ZIP_DEFLATED) as z:
        for name, data in job['entries']:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, base64.b64decode(data))
else:
    mode = {'tar': 'w', 'tar.gz': 'w:gz', 'tar.xz': 'w:xz'}[job['kind']]
    with tarfile.open(job['out'], mode, format=tarfile.GNU_FORMAT) as t:
        for name, data in job['entries']:
            data = base64.b64decode(data)
            info = tarfile.TarInfo(name)
            info.mtime = time.mktime(stamp + (0, 0, -1))
            if name.endswith('/'):
                info.type = tarfile.DIRTYPE
                t.addfile(info)
            else:
                info.size = len(data)
                t.addfile(info, io.BytesIO(data))
)py";
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QJsonArray entries;
    for (const TArchiveItem &item : items)
        entries.append(QJsonArray{item.Name, QString::fromLatin1(item.Bytes.toBase64())});
    const QJsonObject job{
        {QStringLiteral("kind"), kind}, {QStringLiteral("out"), path}, {QStringLiteral("entries"), entries}};
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromUtf8(script)});
    if (!python.waitForStarted())
        return false;
    python.write(QJsonDocument(job).toJson(QJsonDocument::Compact));
    python.closeWriteChannel();
    python.waitForFinished(60000);
    return python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0 && QFileInfo::exists(path);
}

// A zip whose entries are encrypted with the password "secret" (Info-ZIP's zip -e), made from the
// files named by items, written in folder first.
inline bool MakeEncryptedZip(const QString &path, const QString &folder, const QList<TArchiveItem> &items)
{
    QStringList names;
    for (const TArchiveItem &item : items) {
        QFile file(folder + u'/' + item.Name);
        if (!QDir().mkpath(QFileInfo(file).path()) || !file.open(QIODevice::WriteOnly) ||
            file.write(item.Bytes) != item.Bytes.size())
            return false;
        names << item.Name;
    }
    QProcess zip;
    zip.setWorkingDirectory(folder);
    zip.start(QStringLiteral("zip"),
              QStringList{QStringLiteral("-q"), QStringLiteral("-P"), QStringLiteral("secret"), path} +
                  names);
    zip.waitForFinished(60000);
    return zip.exitStatus() == QProcess::NormalExit && zip.exitCode() == 0 && QFileInfo::exists(path);
}

inline QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
