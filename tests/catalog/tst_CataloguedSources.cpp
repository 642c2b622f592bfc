// Where a catalogued volume is found again: a drive by its serial number, a folder or a disc image
// at the place it was catalogued from while that still holds the same volume; what the catalogue
// records of that place, and an older catalogue that recorded none.

#include "CatalogFixture.h"
#include "CataloguedSources.h"
#include "DiscImageSources.h"
#include "MountedSources.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCataloguedSources : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void FoundAgain_data();
    void FoundAgain();
    void UpgradeFromLayout3();

private:
    QString Path(const QString &name) const { return QDir(FDir->path()).canonicalPath() + u'/' + name; }
    // An image of the folder volume/ with that volume name; false when no image could be made.
    bool MakeImage(const QString &image, const QString &name);
    int Catalogue(TVolumeSource &source) { return F->Global->LoadDisk(source, QString(), 2, true); }
    QString Source(int cd)
    {
        return F->Rows(u"SELECT IFNULL(Source, 'NULL') FROM CDs WHERE ID = %1"_s.arg(cd)).value(0);
    }

    std::unique_ptr<TCatalogFixture> F;
    std::unique_ptr<QTemporaryDir> FDir;
};

void TestCataloguedSources::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    F = std::make_unique<TCatalogFixture>();
    QVERIFY(F->IsValid() && FDir->isValid());
    WriteFile(Path(u"volume/a.txt"_s), "a");
}

void TestCataloguedSources::cleanup()
{
    F.reset();
    FDir.reset();
}

bool TestCataloguedSources::MakeImage(const QString &image, const QString &name)
{
    QProcess maker;
    maker.start(u"xorriso"_s, {u"-as"_s, u"mkisofs"_s, u"-quiet"_s, u"-R"_s, u"-V"_s, name, u"-o"_s, image,
                               Path(u"volume"_s)});
    return maker.waitForFinished(60000) && maker.exitStatus() == QProcess::NormalExit &&
           maker.exitCode() == 0;
}

void TestCataloguedSources::FoundAgain_data()
{
    QTest::addColumn<QString>("kind");   // what was catalogued: drive, folder, image
    QTest::addColumn<QString>("change"); // what happened to it since
    QTest::addColumn<int>("where");      // TFoundSource::TWhere
    QTest::addColumn<QString>("reason");
    using W = TFoundSource::TWhere;
    QTest::newRow("drive in its drive") << u"drive"_s << QString() << int(W::Drive) << QString();
    QTest::newRow("folder still there") << u"folder"_s << QString() << int(W::Folder) << QString();
    QTest::newRow("folder moved") << u"folder"_s << u"move"_s << int(W::Nowhere)
                                  << u"is not there any more"_s;
    QTest::newRow("another folder in its place")
        << u"folder"_s << u"replace"_s << int(W::Nowhere) << u"holds another volume now"_s;
    QTest::newRow("image still there") << u"image"_s << QString() << int(W::DiscImage) << QString();
    QTest::newRow("image made anew") << u"image"_s << u"replace"_s << int(W::Nowhere)
                                     << u"holds another volume now"_s;
}

void TestCataloguedSources::FoundAgain()
{
    QFETCH(QString, kind);
    QFETCH(QString, change);
    QFETCH(int, where);
    QFETCH(QString, reason);
    const QString volume = Path(u"volume"_s);
    const QString image = Path(u"disc.iso"_s);
    QString place;
    int cd = 0;
    if (kind == u"drive") {
        F->Services.AddDrive(volume, u"DRIVE"_s, 0x0badcafe, 1000);
        cd = F->Global->LoadDisk(volume, QString(), 2, false);
    } else if (kind == u"folder") {
        TMountedSource source(volume, TMountedSource::TKind::Folder);
        cd = Catalogue(source);
        place = volume;
    } else {
        if (!MakeImage(image, u"First"_s))
            QSKIP("xorriso could not make an image");
        cd = Catalogue(*TDiscImageSource::Open(image));
        place = image;
    }
    QVERIFY(cd > 0);
    QCOMPARE(Source(cd), place.isEmpty() ? u"NULL"_s : place);
    if (!change.isEmpty())
        QVERIFY(QFile::rename(place, place + u".moved"_s));
    if (change == u"replace")
        QVERIFY(kind == u"folder" ? QDir().mkpath(volume) : MakeImage(image, u"Second"_s));

    const std::optional<TCataloguedVolume> catalogued = CataloguedVolume(F->Global->Database, cd);
    QVERIFY(catalogued && !CataloguedVolume(F->Global->Database, cd + 1));
    const TFoundSource found = FindCataloguedSource(*catalogued);
    QCOMPARE(int(found.Where), where);
    QCOMPARE(found.Source != nullptr, where != int(TFoundSource::TWhere::Nowhere));
    QCOMPARE(found.Path, found.Source ? (place.isEmpty() ? volume : place) : QString());
    QVERIFY2(reason.isEmpty() ? found.Reason.isEmpty() : found.Reason.contains(reason),
             qPrintable(found.Reason));
}

void TestCataloguedSources::UpgradeFromLayout3()
{
    F->Services.AddDrive(Path(u"volume"_s), u"DRIVE"_s, 0x0badcafe, 1000);
    const int cd = F->Global->LoadDisk(Path(u"volume"_s), u"Old disc"_s, 2, false);
    QVERIFY(cd > 0);
    const QString volumeRows =
        u"SELECT CDs.ID, SerialNum, VolumeLabel, Name FROM CDs JOIN Entries ON Entries.ID = CDs.ID"_s;
    const QStringList before = F->Rows(volumeRows);
    QCOMPARE(before.size(), 1);
    F->Global.reset();
    QCOMPARE(MakeOlderLayout(CatalogSchema::DefaultFilePath(), 3), 3);

    F->Global = std::make_unique<TGlobal>();
    QCOMPARE(CatalogSchema::FileVersion(F->Global->Database), CatalogSchema::Version);
    QCOMPARE(F->Rows(volumeRows), before);
    QCOMPARE(Source(cd), u"NULL"_s);
    // The volumes catalogued from then on record their place.
    WriteFile(Path(u"new/b.txt"_s), "b");
    TMountedSource folder(Path(u"new"_s), TMountedSource::TKind::Folder);
    const int added = Catalogue(folder);
    QVERIFY(added > 0);
    QCOMPARE(Source(added), Path(u"new"_s));
}

QTEST_GUILESS_MAIN(TestCataloguedSources)
#include "tst_CataloguedSources.moc"
