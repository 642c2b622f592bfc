// vor-nex-cli scanning into, or deleting from, a catalogue that runs out of room: on a small file
// system of its own, or under a limit on the size of the files it writes. The user is told why,
// nothing catalogued before is harmed, and once there is room again the catalogue takes the next
// scan.

#include "CliFixture.h"

#include <QStorageInfo>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

class TestDiskFull : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void NoRoomLeft_data();
    void NoRoomLeft();
    void NewCatalogueWithoutRoom();

private:
    QString Tree(const char *name) const { return FCli.Path(QString::fromLatin1(name)); }
    QStringList Scan(const QString &catalogue, const char *tree, const QString &serial) const
    {
        return {QStringLiteral("--catalog"), catalogue, QStringLiteral("scan"), Tree(tree),
                QStringLiteral("--serial"),  serial};
    }

    TCliFixture FCli;
    int FRow = 0;
};

void TestDiskFull::initTestCase()
{
    TByteTree small(Tree("small"));
    small.Wide(QByteArray(), 2, 5);
    // Long names fill the catalogue quickly: some 8,000 entries need several MB.
    TByteTree big(Tree("big"));
    big.Wide(QByteArray(), 40, 200, 120);
    TByteTree medium(Tree("medium"));
    medium.Wide(QByteArray(), 10, 200, 120);
    TByteTree tiny(Tree("tiny"));
    tiny.File("one.txt", 1);
    QVERIFY2(small.Error.isEmpty() && big.Error.isEmpty() && medium.Error.isEmpty() && tiny.Error.isEmpty(),
             qPrintable(small.Error + big.Error + medium.Error + tiny.Error));
}

void TestDiskFull::NoRoomLeft_data()
{
    QTest::addColumn<bool>("smallFileSystem");
    QTest::addColumn<bool>("deletion");
    QTest::addColumn<QString>("message");

    const QString full = QStringLiteral("database or disk is full");
    // A write past the limit fails with EFBIG, which the engine reports as an I/O error unless
    // the write was cut short instead.
    const QString limited = QStringLiteral("database or disk is full|disk I/O error");
    QTest::newRow("scan, file system of 8 MB") << true << false << full;
    QTest::newRow("scan, limit on file size") << false << false << limited;
    QTest::newRow("deletion, file system of 8 MB") << true << true << full;
    QTest::newRow("deletion, limit on file size") << false << true << limited;
}

void TestDiskFull::NoRoomLeft()
{
    QFETCH(bool, smallFileSystem);
    QFETCH(bool, deletion);
    QFETCH(QString, message);

    // A folder of each row's own, so that no row finds the catalogue of another.
    const QString folder = FCli.Path(QStringLiteral("room%1").arg(++FRow));
    QVERIFY(QDir().mkpath(folder));
    struct TUnmount
    {
        QByteArray Path;
        ~TUnmount()
        {
            if (!Path.isEmpty())
                ::umount2(Path.constData(), MNT_DETACH);
        }
    } unmount;
    if (smallFileSystem) {
        const QByteArray path = QFile::encodeName(folder);
        if (::mount("tmpfs", path.constData(), "tmpfs", 0, "size=8m") != 0)
            QSKIP("a file system cannot be mounted here");
        unmount.Path = path;
    }
    const QString catalogue = folder + QStringLiteral("/catalogue.db");
    const TCliRun first = FCli.Run(Scan(catalogue, "small", QStringLiteral("aaaa-0001")));
    QCOMPARE(first.ExitCode, 0);
    const qint64 small = first.Out.trimmed().toLongLong();
    const QStringList smallRows = TRawCatalogue(catalogue).Volume(small);
    QCOMPARE(smallRows.size(), 1 + 2 + 10 + 1);
    qint64 medium = 0;
    QStringList mediumRows;
    if (deletion) {
        const TCliRun second = FCli.Run(Scan(catalogue, "medium", QStringLiteral("dddd-0004")));
        QCOMPARE(second.ExitCode, 0);
        medium = second.Out.trimmed().toLongLong();
        mediumRows = TRawCatalogue(catalogue).Volume(medium);
        QCOMPARE(mediumRows.size(), 1 + 10 + 2000 + 1);
    }

    // Far less room than the work needs: the large scan writes several MB, the deletion rewrites
    // about 1 MB of pages into the log.
    const qint64 room = deletion ? 128 << 10 : 1 << 20;
    QProcess child;
    FCli.Prepare(child);
    child.setArguments(deletion ? QStringList{QStringLiteral("--catalog"), catalogue,
                                              QStringLiteral("delete"), QString::number(medium)}
                                : Scan(catalogue, "big", QStringLiteral("bbbb-0002")));
    const QString filler = folder + QStringLiteral("/filler");
    if (smallFileSystem) {
        QFile file(filler);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray block(1 << 14, '\0');
        while (QStorageInfo(folder).bytesAvailable() > room)
            QVERIFY(file.write(block) == block.size());
    } else {
        // The limit is on each file: a deletion grows only the log, a scan the catalogue too.
        const rlim_t limit = rlim_t(deletion ? room : QFileInfo(catalogue).size() + room);
        child.setChildProcessModifier([limit] {
            // Ignored, the signal of a write past the limit leaves the program its error to report.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit size{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &size);
        });
    }
    child.start();
    const TCliRun full = TCliFixture::Finish(child);
    QVERIFY(full.Finished);
    QCOMPARE(full.Status, QProcess::NormalExit);
    QCOMPARE(full.ExitCode, 3);
    QVERIFY2(QRegularExpression(message).match(full.Err).hasMatch(), qPrintable(full.Err));

    {
        const TRawCatalogue raw(catalogue);
        const QString damage = raw.Damage();
        QVERIFY2(damage.isEmpty(), qPrintable(damage));
        QVERIFY(raw.Volume(small) == smallRows);
        // A deletion that could not be written leaves the volume whole.
        if (deletion)
            QVERIFY(raw.Volume(medium) == mediumRows);
    }

    // Room again: the next scan is catalogued whole, and the deletion goes through.
    QFile::remove(filler);
    const TCliRun next = FCli.Run(Scan(catalogue, "tiny", QStringLiteral("cccc-0003")));
    QVERIFY2(next.ExitCode == 0, qPrintable(next.Err));
    const qint64 tiny = next.Out.trimmed().toLongLong();
    if (deletion) {
        const TCliRun removed = FCli.Run(
            {QStringLiteral("--catalog"), catalogue, QStringLiteral("delete"), QString::number(medium)});
        QVERIFY2(removed.ExitCode == 0, qPrintable(removed.Err));
    }
    const TRawCatalogue raw(catalogue);
    const QString damage = raw.Damage();
    QVERIFY2(damage.isEmpty(), qPrintable(damage));
    QVERIFY(raw.Volume(small) == smallRows);
    QCOMPARE(raw.Rows(QStringLiteral("SELECT Name, Size, CD FROM Entries WHERE ID = ?1"), tiny),
             QStringList{QStringLiteral("Tiny|1|") + QString::number(tiny)});
    if (deletion)
        QCOMPARE(raw.Volume(medium), QStringList());
}

void TestDiskFull::NewCatalogueWithoutRoom()
{
    const QString folder = FCli.Path(QStringLiteral("bare"));
    QVERIFY(QDir().mkpath(folder));
    const QByteArray path = QFile::encodeName(folder);
    // Room for a new catalogue, with its word indexes, and a small scan once the filler is gone.
    if (::mount("tmpfs", path.constData(), "tmpfs", 0, "size=2m") != 0)
        QSKIP("a file system cannot be mounted here");
    struct TUnmount
    {
        QByteArray Path;
        ~TUnmount() { ::umount2(Path.constData(), MNT_DETACH); }
    } unmount{path};
    const QString filler = folder + QStringLiteral("/filler");
    {
        QFile file(filler);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray block(1 << 14, '\0');
        while (QStorageInfo(folder).bytesAvailable() > 0 && file.write(block) == block.size())
            ;
    }

    // No room for even the empty catalogue: said so, and nothing half-made is left in its place.
    const QString catalogue = folder + QStringLiteral("/catalogue.db");
    const TCliRun refused = FCli.Run({QStringLiteral("--catalog"), catalogue, QStringLiteral("volumes")});
    QCOMPARE(refused.ExitCode, 3);
    QVERIFY2(refused.Err.contains(QStringLiteral("database or disk is full")), qPrintable(refused.Err));
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("filler")});

    QFile::remove(filler);
    const TCliRun made =
        FCli.Run({QStringLiteral("--catalog"), catalogue, QStringLiteral("scan"), Tree("tiny")});
    QVERIFY2(made.ExitCode == 0, qPrintable(made.Err));
    const QString damage = TRawCatalogue(catalogue).Damage();
    QVERIFY2(damage.isEmpty(), qPrintable(damage));
}

QTEST_GUILESS_MAIN(TestDiskFull)
#include "tst_DiskFull.moc"
