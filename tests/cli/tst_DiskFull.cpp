// vor-nex-cli scanning into a catalogue that runs out of room: on a small file system of its own,
// or under a limit on the size of the files it writes. The user is told why, nothing catalogued
// before is harmed, and once there is room again the catalogue takes the next scan.

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

private:
    QString Tree(const char *name) const { return FCli.Path(QString::fromLatin1(name)); }
    QStringList Scan(const QString &catalogue, const char *tree, const QString &serial) const
    {
        return {QStringLiteral("--catalog"), catalogue, QStringLiteral("scan"), Tree(tree),
                QStringLiteral("--serial"),  serial};
    }

    TCliFixture FCli;
};

void TestDiskFull::initTestCase()
{
    TByteTree small(Tree("small"));
    small.Wide(QByteArray(), 2, 5);
    // Long names fill the catalogue quickly: some 8,000 entries need several MB.
    TByteTree big(Tree("big"));
    big.Wide(QByteArray(), 40, 200, 120);
    TByteTree tiny(Tree("tiny"));
    tiny.File("one.txt", 1);
    QVERIFY2(small.Error.isEmpty() && big.Error.isEmpty() && tiny.Error.isEmpty(),
             qPrintable(small.Error + big.Error + tiny.Error));
}

void TestDiskFull::NoRoomLeft_data()
{
    QTest::addColumn<bool>("smallFileSystem");
    QTest::addColumn<QString>("message");

    QTest::newRow("file system of 8 MB") << true << QStringLiteral("database or disk is full");
    // A write past the limit fails with EFBIG, which the engine reports as an I/O error unless
    // the write was cut short instead.
    QTest::newRow("limit on file size") << false << QStringLiteral("database or disk is full|disk I/O error");
}

void TestDiskFull::NoRoomLeft()
{
    QFETCH(bool, smallFileSystem);
    QFETCH(QString, message);

    QString folder = FCli.Path(QStringLiteral("room"));
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

    // About 1 MB of room left, far less than the large tree needs.
    constexpr qint64 room = 1 << 20;
    QProcess child;
    FCli.Prepare(child);
    child.setArguments(Scan(catalogue, "big", QStringLiteral("bbbb-0002")));
    const QString filler = folder + QStringLiteral("/filler");
    if (smallFileSystem) {
        QFile file(filler);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray block(1 << 16, '\0');
        while (QStorageInfo(folder).bytesAvailable() > room)
            QVERIFY(file.write(block) == block.size());
    } else {
        const rlim_t limit = rlim_t(QFileInfo(catalogue).size() + room);
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
    }

    // Room again: the next scan is catalogued whole.
    QFile::remove(filler);
    const TCliRun next = FCli.Run(Scan(catalogue, "tiny", QStringLiteral("cccc-0003")));
    QVERIFY2(next.ExitCode == 0, qPrintable(next.Err));
    const qint64 tiny = next.Out.trimmed().toLongLong();
    const TRawCatalogue raw(catalogue);
    const QString damage = raw.Damage();
    QVERIFY2(damage.isEmpty(), qPrintable(damage));
    QVERIFY(raw.Volume(small) == smallRows);
    QCOMPARE(raw.Rows(QStringLiteral("SELECT Name, Size, CD FROM Entries WHERE ID = ?1"), tiny),
             QStringList{QStringLiteral("Tiny|1|") + QString::number(tiny)});
}

QTEST_GUILESS_MAIN(TestDiskFull)
#include "tst_DiskFull.moc"
