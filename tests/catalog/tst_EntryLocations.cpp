// Where a catalogued entry is on the volumes mounted now, what URL opens it and what a drag of it
// carries; volumes are temporary folders that the double of the volume services mounts.

#include "ByteTrees.h"
#include "CatalogFixture.h"
#include "DiscImageSources.h"
#include "EntryLocations.h"
#include "MountedSources.h"

#include <QDir>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestEntryLocations : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FDisk = std::make_unique<QTemporaryDir>();
        FFixture = std::make_unique<TCatalogFixture>();
        QVERIFY(FFixture->IsValid() && FDisk->isValid());
        TByteTree tree(FDisk->path());
        tree.File("README.TXT", 5);
        tree.File("Sub/bad\xff.bin", 1);
        tree.File("Sub/Deep/x.txt", 2);
        QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));
        FFixture->Services.AddDrive(FDisk->path(), QStringLiteral("DISK"), 0x1234abcd, 1000);
        QVERIFY(FFixture->Global->LoadDisk(FDisk->path(), QStringLiteral("Disk"), 2, false) > 0);
    }
    void cleanup()
    {
        FFixture.reset();
        ::unlink(TByteTree(FDisk->path()).Path("Sub/bad\xff.bin").constData());
        FDisk.reset();
        SetEntryUrlOpener(nullptr);
    }

    void OnlineEntry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("path");   // below the disk
        QTest::addColumn<QByteArray>("folder"); // below the disk
        QTest::addColumn<QByteArray>("url");    // after the disk's URL
        QTest::newRow("root") << QStringLiteral("Disk") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("name as the disk spells it")
            << QStringLiteral("Readme.txt") << QByteArray("/README.TXT") << QByteArray()
            << QByteArray("/README.TXT");
        QTest::newRow("deep") << QStringLiteral("x.txt") << QByteArray("/Sub/Deep/x.txt")
                              << QByteArray("/Sub/Deep") << QByteArray("/Sub/Deep/x.txt");
        QTest::newRow("name that is no text")
            << QStringLiteral("bad") + QString::fromUcs4(U"\U0010FE7F", 1) + QStringLiteral(".bin")
            << QByteArray("/Sub/bad\xff.bin") << QByteArray("/Sub") << QByteArray("/Sub/bad%FF.bin");
    }
    void OnlineEntry()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, url);
        const TEntryLocation location = LocateEntry(*FFixture->Global, EntryId(name));
        QVERIFY2(location.Online, qPrintable(location.Reason));
        QCOMPARE(location.Reason, QString());
        const QByteArray disk = QFile::encodeName(QDir(FDisk->path()).canonicalPath());
        QCOMPARE(location.Path, disk + path);
        QCOMPARE(location.Folder, disk + folder);
        QCOMPARE(location.Url().toEncoded(), "file://" + disk + url);
        const std::unique_ptr<QMimeData> data = NewEntryMimeData(location);
        QVERIFY(data && data->hasFormat(QStringLiteral("text/uri-list")));
        QCOMPARE(data->urls(), QList<QUrl>{location.Url()});
    }

    void NotOpenable_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("reason");
        QTest::newRow("volume not mounted") << QStringLiteral("unmount") << QStringLiteral("is not online");
        QTest::newRow("disc taken out") << QStringLiteral("eject") << QStringLiteral("is not online");
        QTest::newRow("file gone") << QStringLiteral("remove")
                                   << QStringLiteral("is not on the volume Disk any more");
        QTest::newRow("name leading out")
            << QStringLiteral("rename") << QStringLiteral("is not on the volume");
    }
    void NotOpenable()
    {
        QFETCH(QString, change);
        QFETCH(QString, reason);
        const int id = EntryId(QStringLiteral("x.txt"));
        if (change == u"unmount")
            FFixture->Services.RemoveDrive(FDisk->path());
        else if (change == u"eject")
            FFixture->Services.SetHasDisc(FDisk->path(), false);
        else if (change == u"remove")
            QVERIFY(QFile::remove(FDisk->filePath(QStringLiteral("Sub/Deep/x.txt"))));
        else
            FFixture->Global->Database.ExecSQL(
                QStringLiteral("UPDATE Entries SET Name = '..', FullPath = '..\\..\\' WHERE ID = ?1"),
                {TVariant(id)});
        const TEntryLocation location = LocateEntry(*FFixture->Global, id);
        QVERIFY(!location.Online);
        QVERIFY2(location.Reason.contains(reason), qPrintable(location.Reason));
        QVERIFY(!location.Url().isValid());
        QVERIFY(!NewEntryMimeData(location));
    }

    void OpensThroughTheOpenerInPlace()
    {
        QList<QUrl> opened;
        SetEntryUrlOpener([&opened](const QUrl &url) {
            opened << url;
            return true;
        });
        const TEntryLocation location = LocateEntry(*FFixture->Global, EntryId(QStringLiteral("x.txt")));
        QVERIFY(OpenEntryUrl(location.FolderUrl()));
        QVERIFY(!OpenEntryUrl(QUrl()));
        QCOMPARE(opened, QList<QUrl>{location.FolderUrl()});
    }

    // A volume catalogued from a folder opens where the folder is, while it holds that volume; one
    // catalogued from a disc image file shows the image's folder, and opens only as the image.
    void FolderAndImageVolumes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<QString>("path");   // below the folder holding the volume; empty: not online
        QTest::addColumn<QString>("folder"); // the same for the containing folder
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder, file")
            << QStringLiteral("folder") << QStringLiteral("notes.txt") << false
            << QStringLiteral("box/Sub/notes.txt") << QStringLiteral("box/Sub") << QString();
        QTest::newRow("folder moved") << QStringLiteral("folder") << QStringLiteral("notes.txt") << true
                                      << QString() << QString() << QStringLiteral("is not there any more");
        QTest::newRow("image, file") << QStringLiteral("image") << QStringLiteral("notes.txt") << false
                                     << QString() << QStringLiteral(".")
                                     << QStringLiteral("Sub\\notes.txt is inside the disc image");
        QTest::newRow("image, root") << QStringLiteral("image") << QStringLiteral("Box") << false
                                     << QStringLiteral("box.iso") << QStringLiteral(".") << QString();
    }
    void FolderAndImageVolumes()
    {
        QFETCH(QString, kind);
        QFETCH(QString, entry);
        QFETCH(bool, moved);
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, reason);
        QTemporaryDir place;
        QVERIFY(place.isValid());
        const QString base = QDir(place.path()).canonicalPath();
        WriteFile(base + QStringLiteral("/box/Sub/notes.txt"), "notes");
        QString source = base + QStringLiteral("/box");
        std::unique_ptr<TVolumeSource> volume;
        if (kind == u"folder") {
            volume = std::make_unique<TMountedSource>(source, TMountedSource::TKind::Folder);
        } else {
            const QString image = base + QStringLiteral("/box.iso");
            QProcess maker;
            maker.start(QStringLiteral("xorriso"),
                        {QStringLiteral("-as"), QStringLiteral("mkisofs"), QStringLiteral("-quiet"),
                         QStringLiteral("-R"), QStringLiteral("-o"), image, source});
            if (!maker.waitForFinished(60000) || maker.exitCode() != 0)
                QSKIP("xorriso could not make an image");
            volume = TDiscImageSource::Open(image);
            source = image;
        }
        QVERIFY(FFixture->Global->LoadDisk(*volume, QStringLiteral("Box"), 2, false) > 0);
        if (moved)
            QVERIFY(QFile::rename(source, source + QStringLiteral(".old")));

        const TEntryLocation location = LocateEntry(*FFixture->Global, EntryId(entry));
        QCOMPARE(location.Online, !path.isEmpty());
        QCOMPARE(location.FolderOnline, path.isEmpty() && !folder.isEmpty());
        QCOMPARE(location.Url(), path.isEmpty() ? QUrl() : QUrl::fromLocalFile(base + u'/' + path));
        QCOMPARE(location.FolderUrl(),
                 folder.isEmpty() ? QUrl() : QUrl::fromLocalFile(QDir::cleanPath(base + u'/' + folder)));
        QVERIFY2(reason.isEmpty() ? location.Reason.isEmpty() : location.Reason.contains(reason),
                 qPrintable(location.Reason));
        QCOMPARE(NewEntryMimeData(location) != nullptr, location.Online);
    }

private:
    int EntryId(const QString &name) const
    {
        const QStringList rows = FFixture->Rows(QStringLiteral("SELECT ID, Name FROM Entries"));
        for (const QString &row : rows)
            if (row.section(u'|', 1) == name)
                return row.section(u'|', 0, 0).toInt();
        return -1;
    }

    std::unique_ptr<TCatalogFixture> FFixture;
    std::unique_ptr<QTemporaryDir> FDisk;
};

QTEST_GUILESS_MAIN(TestEntryLocations)
#include "tst_EntryLocations.moc"
