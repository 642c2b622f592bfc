// vor-nex-cli killed with SIGKILL (or stopped with Ctrl+C) while it scans, replaces, updates or
// deletes a volume, at points spread over the whole run: the catalogue must stay sound, the other
// volumes untouched, a replaced or updated volume either as it was or wholly new, and the file
// usable by the next run.

#include "CliFixture.h"

#include <QElapsedTimer>
#include <chrono>
#include <csignal>
#include <thread>

namespace {

const QString SmallSerial = QStringLiteral("aaaa-0001");
const QString BigSerial = QStringLiteral("bbbb-0002");

} // namespace

class TestKilledOperations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void Killed_data();
    void Killed();

private:
    QString Template() const { return FCli.Path(QStringLiteral("template.db")); }
    QString Work() const { return FCli.Path(QStringLiteral("work.db")); }
    QString Tree(const char *name) const { return FCli.Path(QString::fromLatin1(name)); }
    bool ResetWork() const;
    // The rows of the volume catalogued under BigSerial in the work catalogue, whatever its ID.
    QStringList BigVolume() const;

    TCliFixture FCli;
    qint64 FSmall = 0;
    qint64 FBig = 0;
    QStringList FSmallRows;
    QStringList FBigRows;
};

void TestKilledOperations::initTestCase()
{
    // The large tree is what the killed runs work on: some 4,500 entries, long enough that most
    // kills land in the middle of the walk, the deletion or the commit.
    TByteTree small(Tree("small"));
    small.Wide(QByteArray(), 3, 10);
    TByteTree big(Tree("big"));
    big.Wide("a", 15, 150);
    big.Wide("b", 15, 150);
    // The big tree changed: one half as it was, the other gone, a new part added.
    TByteTree changed(Tree("changed"));
    changed.Wide("a", 15, 150);
    changed.Wide("c", 3, 100);
    TByteTree tiny(Tree("tiny"));
    tiny.File("one.txt", 1);
    QVERIFY2(small.Error.isEmpty() && big.Error.isEmpty() && changed.Error.isEmpty() && tiny.Error.isEmpty(),
             qPrintable(small.Error + big.Error + changed.Error + tiny.Error));

    const TCliRun first = FCli.Run({QStringLiteral("--catalog"), Template(), QStringLiteral("scan"),
                                    Tree("small"), QStringLiteral("--serial"), SmallSerial});
    QCOMPARE(first.ExitCode, 0);
    const TCliRun second = FCli.Run({QStringLiteral("--catalog"), Template(), QStringLiteral("scan"),
                                     Tree("big"), QStringLiteral("--serial"), BigSerial});
    QCOMPARE(second.ExitCode, 0);
    FSmall = first.Out.trimmed().toLongLong();
    FBig = second.Out.trimmed().toLongLong();
    QVERIFY(FSmall > 0 && FBig > FSmall);

    const TRawCatalogue raw(Template());
    FSmallRows = raw.Volume(FSmall);
    FBigRows = raw.Volume(FBig);
    QCOMPARE(FSmallRows.size(), 1 + 3 + 30 + 1);
    QCOMPARE(FBigRows.size(), 1 + 2 + 30 + 4500 + 1);
}

QStringList TestKilledOperations::BigVolume() const
{
    const TRawCatalogue raw(Work());
    const QStringList ids =
        raw.Rows(QStringLiteral("SELECT ID FROM CDs WHERE SerialNum = '") + BigSerial + QStringLiteral("'"));
    return ids.size() == 1 ? raw.Volume(ids[0].toLongLong()) : ids;
}

bool TestKilledOperations::ResetWork() const
{
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(Work() + suffix);
    // The template was closed by its last user, so the log is folded back and the file is whole.
    return !QFile::exists(Template() + QStringLiteral("-wal")) && QFile::copy(Template(), Work());
}

void TestKilledOperations::Killed_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("bigKept");
    QTest::addColumn<bool>("bigDeleted");
    // The volume is rewritten: either as it was or as the whole run left it.
    QTest::addColumn<bool>("bigRewritten");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("points");

    const QStringList scan{QStringLiteral("scan"), QStringLiteral("<big>"), QStringLiteral("--serial"),
                           QStringLiteral("cccc-0003")};
    const QStringList replace{QStringLiteral("scan"), QStringLiteral("<big>"), QStringLiteral("--serial"),
                              BigSerial, QStringLiteral("--force")};
    const QStringList remove{QStringLiteral("delete"), QStringLiteral("<id>")};
    const QStringList update{QStringLiteral("update"), QStringLiteral("<changed>"),
                             QStringLiteral("--serial"), BigSerial};
    QTest::newRow("scan of a new volume") << scan << true << false << false << SIGKILL << 20;
    QTest::newRow("replacement") << replace << false << false << true << SIGKILL << 20;
    QTest::newRow("update") << update << false << false << true << SIGKILL << 12;
    QTest::newRow("deletion") << remove << false << true << false << SIGKILL << 20;
    // Ctrl+C: the tool's own stop, or the end of a process that has not yet set its handler.
    QTest::newRow("scan, Ctrl+C") << scan << true << false << false << SIGINT << 10;
    QTest::newRow("replacement, Ctrl+C") << replace << false << false << true << SIGINT << 10;
    QTest::newRow("update, Ctrl+C") << update << false << false << true << SIGINT << 6;
}

void TestKilledOperations::Killed()
{
    QFETCH(QStringList, args);
    QFETCH(bool, bigKept);
    QFETCH(bool, bigDeleted);
    QFETCH(bool, bigRewritten);
    QFETCH(int, signal);
    QFETCH(int, points);
    args.replaceInStrings(QStringLiteral("<big>"), Tree("big"));
    args.replaceInStrings(QStringLiteral("<changed>"), Tree("changed"));
    args.replaceInStrings(QStringLiteral("<id>"), QString::number(FBig));
    args.prepend(Work());
    args.prepend(QStringLiteral("--catalog"));

    // One whole run tells how long the operation takes here.
    QVERIFY(ResetWork());
    QElapsedTimer clock;
    clock.start();
    const TCliRun whole = FCli.Run(args);
    const auto runTime = std::chrono::nanoseconds(clock.nsecsElapsed());
    QCOMPARE(whole.ExitCode, 0);
    const QStringList rewritten = BigVolume();
    QVERIFY(!bigRewritten || rewritten != FBigRows);

    int killed = 0;
    for (int point = 0; point < points; ++point) {
        const QByteArray where =
            "kill at " + QByteArray::number(point) + '/' + QByteArray::number(points) + ": ";
        QVERIFY(ResetWork());
        QProcess child;
        FCli.Prepare(child);
        child.setArguments(args);
        const auto started = std::chrono::steady_clock::now();
        child.start();
        QVERIFY(child.waitForStarted());
        std::this_thread::sleep_until(started + runTime * point / points);
        // A child that has ended has no ID any more, and signalling 0 would hit this process's group.
        if (const qint64 pid = child.processId(); pid > 0)
            ::kill(pid_t(pid), signal);
        QVERIFY(child.waitForFinished());
        const bool running = child.exitStatus() == QProcess::CrashExit ||
                             (child.exitCode() == 1 && child.readAllStandardError().contains("stopped"));
        if (running)
            ++killed;
        // A stop is reported as one, never as a volume catalogued.
        if (signal == SIGINT && child.exitStatus() == QProcess::NormalExit)
            QVERIFY2(child.exitCode() == 0 || child.exitCode() == 1, where.constData());

        {
            const TRawCatalogue raw(Work());
            const QString damage = raw.Damage();
            QVERIFY2(damage.isEmpty(), (where + damage.toUtf8()).constData());
            QVERIFY2(raw.Volume(FSmall) == FSmallRows, (where + "the other volume changed").constData());
            if (bigKept)
                QVERIFY2(raw.Volume(FBig) == FBigRows, (where + "the other volume changed").constData());
            // A volume is deleted whole or not at all.
            if (bigRewritten) {
                const QStringList rows = BigVolume();
                QVERIFY2(rows == FBigRows || rows == rewritten,
                         (where + "the volume is neither old nor new").constData());
            }
            if (bigDeleted) {
                const QStringList rows = raw.Volume(FBig);
                QVERIFY2(rows == FBigRows || rows.isEmpty(),
                         (where + "part of the volume deleted").constData());
            }
        }

        // The next user finds the catalogue whole and can add to it.
        const TCliRun found = FCli.Run({QStringLiteral("--catalog"), Work(), QStringLiteral("find"),
                                        QStringLiteral("file7.txt"), QStringLiteral("--whole"),
                                        QStringLiteral("--volume"), QString::number(FSmall)});
        QVERIFY2(found.ExitCode == 0, (where + found.Err.toUtf8()).constData());
        QCOMPARE(found.Out.count(u'\n'), 3);
        const TCliRun scanned =
            FCli.Run({QStringLiteral("--catalog"), Work(), QStringLiteral("scan"), Tree("tiny"),
                      QStringLiteral("--serial"), QStringLiteral("eeee-0005")});
        QVERIFY2(scanned.ExitCode == 0, (where + scanned.Err.toUtf8()).constData());
        const QString damage = TRawCatalogue(Work()).Damage();
        QVERIFY2(damage.isEmpty(), (where + damage.toUtf8()).constData());
    }
    // At the least the signals early in the run find the child still working.
    QVERIFY(killed > 0);
    qInfo("%d of %d signals ended the child before its work was done (a whole run: %lld ms)", killed, points,
          qint64(std::chrono::duration_cast<std::chrono::milliseconds>(runTime).count()));
}

QTEST_GUILESS_MAIN(TestKilledOperations)
#include "tst_KilledOperations.moc"
