// The catalogue used by more than one program at once: the data module open in this process, as
// the program's windows hold it, while vor-nex-cli scans and deletes; and two scans of the
// command-line tool into one catalogue at the same time.

#include "CliFixture.h"
#include "dmGlobal.h"

class TestConcurrency : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void DataModuleOpenMeanwhile_data();
    void DataModuleOpenMeanwhile();
    void TwoScansAtOnce();

private:
    QString Tree(const char *name) const { return FCli.Path(QString::fromLatin1(name)); }
    QStringList Args(const QString &catalogue, const QStringList &command) const
    {
        return QStringList{QStringLiteral("--catalog"), catalogue} + command;
    }
    QStringList Scan(const char *tree, const QString &serial) const
    {
        return {QStringLiteral("scan"), Tree(tree), QStringLiteral("--serial"), serial};
    }
    // Runs the tool while the data module reads its views over and over, as windows redraw.
    TCliRun RunWhileReading(TGlobal &global, const QStringList &args, bool readAllAlong) const;

    TCliFixture FCli;
};

namespace {

// What a window shows of the views: every folder of the tree, with the entries and the volume of
// each, left on the first as a window is left showing it.
void ReadViews(TGlobal &global)
{
    for (global.Folders.First(); !global.Folders.Eof(); global.Folders.Next()) {
        global.Folders.FieldByName(QStringLiteral("Name"))->AsString();
        global.FullList.First();
        if (!global.FullList.Eof())
            global.FullList.FieldByName(QStringLiteral("Name"))->AsString();
        if (!global.CDs.Eof())
            global.CDs.FieldByName(QStringLiteral("SerialNum"))->AsString();
    }
    global.Folders.First();
}

// The data module cannot know what another program changed; a window that learns of it marks
// the views as changed and refreshes them.
void Refresh(TGlobal &global)
{
    global.DataChanged = true;
    global.RefreshViews();
}

// A busy catalogue may make the tool give up with its message; it never crashes or reports success
// that is none.
bool EndedWell(const TCliRun &run)
{
    return run.Finished && run.Status == QProcess::NormalExit &&
           (run.ExitCode == 0 || (run.ExitCode == 3 && run.Err.contains(QStringLiteral("locked"))));
}

} // namespace

void TestConcurrency::initTestCase()
{
    TByteTree small(Tree("small"));
    small.Wide(QByteArray(), 2, 5);
    TByteTree one(Tree("one"));
    one.Wide(QByteArray(), 15, 200);
    TByteTree two(Tree("two"));
    two.Wide(QByteArray(), 15, 200);
    QVERIFY2(small.Error.isEmpty() && one.Error.isEmpty() && two.Error.isEmpty(),
             qPrintable(small.Error + one.Error + two.Error));
}

TCliRun TestConcurrency::RunWhileReading(TGlobal &global, const QStringList &args, bool readAllAlong) const
{
    if (!readAllAlong)
        return FCli.Run(args);
    QProcess child;
    FCli.Prepare(child);
    child.setArguments(args);
    child.start();
    if (!child.waitForStarted())
        return {};
    while (!child.waitForFinished(10) && child.state() != QProcess::NotRunning) {
        Refresh(global);
        ReadViews(global);
    }
    return TCliFixture::Finish(child);
}

void TestConcurrency::DataModuleOpenMeanwhile_data()
{
    QTest::addColumn<bool>("readAllAlong");
    QTest::newRow("views read all along") << true;
    QTest::newRow("views left open, read before") << false;
}

void TestConcurrency::DataModuleOpenMeanwhile()
{
    QFETCH(bool, readAllAlong);
    const QString catalogue = FCli.Path(QStringLiteral("held%1.db").arg(readAllAlong));
    const TCliRun first = FCli.Run(Args(catalogue, Scan("small", QStringLiteral("aaaa-0001"))));
    QCOMPARE(first.ExitCode, 0);
    const qint64 small = first.Out.trimmed().toLongLong();

    TGlobal global(catalogue);
    ReadViews(global);
    const TCliRun scanned =
        RunWhileReading(global, Args(catalogue, Scan("one", QStringLiteral("bbbb-0002"))), readAllAlong);
    QVERIFY2(EndedWell(scanned), qPrintable(scanned.Err));
    if (scanned.ExitCode != 0)
        QSKIP("the catalogue stayed locked; nothing more to compare");
    const qint64 id = scanned.Out.trimmed().toLongLong();
    QVERIFY(id > 0);

    Refresh(global);
    QVERIFY(global.Folders.Locate(QStringLiteral("ID"), TVariant(id)));
    QCOMPARE(global.Folders.FieldByName(QStringLiteral("Size"))->AsLargeInt(), 15 * (199 * 200 / 2));
    // CDs follows the current folder.
    QCOMPARE(global.CDs.FieldByName(QStringLiteral("SerialNum"))->AsString(), QStringLiteral("bbbb-0002"));

    const TCliRun deleted = RunWhileReading(
        global, Args(catalogue, {QStringLiteral("delete"), QString::number(id)}), readAllAlong);
    QVERIFY2(EndedWell(deleted), qPrintable(deleted.Err));
    Refresh(global);
    if (deleted.ExitCode == 0) {
        QVERIFY(!global.Folders.Locate(QStringLiteral("ID"), TVariant(id)));
        QVERIFY(global.Folders.Locate(QStringLiteral("ID"), TVariant(small)));
        QCOMPARE(global.CDs.FieldByName(QStringLiteral("SerialNum"))->AsString(),
                 QStringLiteral("aaaa-0001"));
    }
    const TRawCatalogue raw(catalogue);
    const QString damage = raw.Damage();
    QVERIFY2(damage.isEmpty(), qPrintable(damage));
    // Views that are open but not being read hold no snapshot of the file: another program can
    // fold the whole log back into it.
    const QStringList checkpoint = raw.Rows(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    QCOMPARE(checkpoint.value(0).section(u'|', 0, 0), QStringLiteral("0"));
}

void TestConcurrency::TwoScansAtOnce()
{
    const QString catalogue = FCli.Path(QStringLiteral("shared.db"));
    // Made before, so that the two do not both make the file.
    QCOMPARE(FCli.Run(Args(catalogue, {QStringLiteral("volumes")})).ExitCode, 0);

    QProcess first;
    QProcess second;
    FCli.Prepare(first);
    FCli.Prepare(second);
    first.setArguments(Args(catalogue, Scan("one", QStringLiteral("1111-0001"))));
    second.setArguments(Args(catalogue, Scan("two", QStringLiteral("2222-0002"))));
    first.start();
    second.start();
    const TCliRun one = TCliFixture::Finish(first);
    const TCliRun two = TCliFixture::Finish(second);
    QVERIFY2(one.Finished && one.ExitCode == 0, qPrintable(one.Err));
    QVERIFY2(two.Finished && two.ExitCode == 0, qPrintable(two.Err));

    const TRawCatalogue raw(catalogue);
    const QString damage = raw.Damage();
    QVERIFY2(damage.isEmpty(), qPrintable(damage));
    for (const TCliRun &run : {one, two}) {
        const qint64 id = run.Out.trimmed().toLongLong();
        QCOMPARE(raw.Rows(QStringLiteral("SELECT count(*) FROM Entries WHERE CD = ?1"), id),
                 QStringList{QString::number(1 + 15 + 15 * 200)});
        QCOMPARE(raw.Rows(QStringLiteral("SELECT Size FROM Entries WHERE ID = ?1 AND CD = ID"), id),
                 QStringList{QString::number(15 * (199 * 200 / 2))});
    }
    QCOMPARE(raw.Rows(QStringLiteral("SELECT SerialNum FROM CDs ORDER BY SerialNum")),
             (QStringList{QStringLiteral("1111-0001"), QStringLiteral("2222-0002")}));
}

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_Concurrency.moc"
