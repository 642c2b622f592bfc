#pragma once

// Catalogues made for benchmarks: the file with its alias as the program's start-up makes them,
// and volumes generated inside the engine, far faster than a walk could make them.

#include "CatalogSchema.h"
#include "Databases.h"
#include "Queries.h"
#include "dmGlobal.h"

#include <QString>

// One volume of `count` entries whose root is `root` and whose other rows take the IDs after it:
// first the folders, each below folder (k - 1) / Fanout (0 being the root), then the files, dealt
// round the folders. FullPath is the containing folder's path with "\" after each name, NULL in
// the root. One name in ten ends in ".txt".
inline const char *VolumeSql = R"sql(
WITH RECURSIVE
Params(Root, Folders, Files) AS (SELECT ?1, (?2 - 1) / ?3, ?2 - 1 - (?2 - 1) / ?3),
Tree(K, Inside) AS (
    SELECT 0, ''
    UNION ALL
    SELECT Tree.K * ?4 + Child.N, Tree.Inside || 'dir' || (Tree.K * ?4 + Child.N) || '\'
    FROM Tree, Params,
         (WITH RECURSIVE C(N) AS (SELECT 1 UNION ALL SELECT N + 1 FROM C WHERE N < ?4) SELECT N FROM C) AS Child
    WHERE Tree.K * ?4 + Child.N <= Params.Folders
),
Kinds(I, Prefix, Extension) AS (VALUES (0, 'file', 'txt'), (1, 'photo', 'jpg'), (2, 'song', 'mp3'), (3, 'letter', 'doc'),
    (4, 'paper', 'pdf'), (5, 'image', 'png'), (6, 'movie', 'avi'), (7, 'archive', 'zip'), (8, 'setup', 'exe'),
    (9, 'library', 'dll')),
Typed(I, Prefix, Extension, ImageID) AS (
    SELECT I, Prefix, Extension, coalesce((SELECT ImageID FROM Ext WHERE Ext.Name = Kinds.Extension), 3) FROM Kinds
),
FileNumbers(J) AS (SELECT 0 UNION ALL SELECT J + 1 FROM FileNumbers, Params WHERE J + 1 < Params.Files)
INSERT INTO Entries (ID, Parent, Name, Size, Modified, ImageID, CD, Folder, FullPath)
SELECT Root, NULL, ?5, NULL, '2024-05-17 10:30:00.000', 2, Root, 1, NULL FROM Params
UNION ALL
SELECT Root + Child.K, Root + (Child.K - 1) / ?4, 'dir' || Child.K, 0,
       strftime('%Y-%m-%d %H:%M:%f', '2010-01-01', '+' || (Child.K * 7919 % 400000000) || ' seconds'),
       1, Root, 1, nullif(Parent.Inside, '')
FROM Params, Tree AS Child JOIN Tree AS Parent ON Parent.K = (Child.K - 1) / ?4
WHERE Child.K > 0
UNION ALL
SELECT Root + Folders + 1 + J, Root + 1 + J % Folders, Prefix || J || '.' || Extension, (J * 2654435761) % 20000000,
       strftime('%Y-%m-%d %H:%M:%f', '2010-01-01', '+' || (J * 104729 % 400000000) || ' seconds'),
       ImageID, Root, 0, Inside
FROM Params, FileNumbers JOIN Typed ON Typed.I = J % 10 JOIN Tree ON Tree.K = 1 + J % Folders
)sql";

// Adds one generated volume and its CDs row; `number` makes its serial text.
inline void AddGeneratedVolume(TDatabase &database, qint64 root, int count, int filesPerFolder, int fanout,
                               int number, const QString &label)
{
    database.ExecSQL(QString::fromLatin1(VolumeSql),
                     {TVariant(root), TVariant(qint32(count)), TVariant(qint32(filesPerFolder + 1)),
                      TVariant(qint32(fanout)), TVariant(label)});
    database.ExecSQL(QStringLiteral("INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (?, ?, ?)"),
                     {TVariant(root),
                      TVariant(QStringLiteral("%1-%2")
                                   .arg((0x1A2B + number) & 0xFFFF, 4, 16, QLatin1Char('0'))
                                   .arg((0x3C4D * (number + 1)) & 0xFFFF, 4, 16, QLatin1Char('0'))
                                   .toUpper()),
                      TVariant(label)});
}

// The catalogue file in the data folder and the alias that names it; XDG_CONFIG_HOME and
// XDG_DATA_HOME must point at scratch folders first.
inline void MakeCatalogueFile()
{
    const QString path = CatalogSchema::DefaultFilePath();
    CatalogSchema::CreateFile(path);
    TSession::Default().AddAlias(
        QString::fromUtf16(TGlobal::AliasName), QString::fromUtf16(TDatabase::DriverSqlite),
        {QStringLiteral("DATABASE NAME=") + path, QStringLiteral("OPEN MODE=READ/WRITE")});
    TSession::Default().SaveConfigFile();
}

// A database file of a benchmark's own, made when missing.
inline void OpenScratchDatabase(TDatabase &database, const QString &path)
{
    database.SetDriverName(QStringLiteral("SQLITE"));
    database.SetParams({QStringLiteral("DATABASE NAME=") + path, QStringLiteral("CREATE=TRUE")});
    database.Open();
}

// The first column of the first row of a statement.
inline qint64 Scalar(TDatabase &database, const QString &sql)
{
    TQuery query;
    query.SetDatabase(&database);
    query.SetSQL({sql});
    query.Open();
    return query.Fields(0)->AsLargeInt();
}
