// Removing a volume a slice at a time: nothing of it stays at any depth, other volumes stay
// whole, progress is told, and a stop leaves the volume as it was.

#include "ByteTrees.h"
#include "CatalogFixture.h"
#include "VolumeDeletes.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestVolumeDeletes : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FFixture = std::make_unique<TCatalogFixture>();
        QVERIFY(FFixture->IsValid() && FFirst.isValid() && FSecond.isValid());
        TByteTree first(FFirst.path());
        first.Wide(QByteArray(), 3, 50);
        // Deeper than the engine cascades.
        first.Chain(1100, "bottom.txt", 4);
        TByteTree(FSecond.path()).Wide(QByteArray(), 2, 5);
        QVERIFY2(first.Error.isEmpty(), qPrintable(first.Error));
        FFixture->Services.AddDrive(FFirst.path(), QStringLiteral("FIRST"), 0x11111111, 1000);
        FFixture->Services.AddDrive(FSecond.path(), QStringLiteral("SECOND"), 0x22222222, 1000);
        FFirstId = FFixture->Global->LoadDisk(FFirst.path(), QStringLiteral("First"), 2, false);
        FSecondId = FFixture->Global->LoadDisk(FSecond.path(), QStringLiteral("Second"), 2, false);
        QVERIFY(FFirstId > 0 && FSecondId > 0);
        QCOMPARE(Count(FFirstId), 1 + 3 + 150 + 1100 + 1);
    }
    void cleanup()
    {
        FFixture.reset();
        // QDir cannot remove a tree deeper than a path may be long; rm opens it level by level.
        QProcess::execute(QStringLiteral("rm"),
                          {QStringLiteral("-rf"), FFirst.path() + QStringLiteral("/d")});
    }

    void DeletesAllOfItAndTellsProgress()
    {
        FFixture->Services.SetTickStep(600);
        QList<int> percents;
        FFixture->Global->OnProgress = [&percents](TGlobal *, int percent, int) {
            percents << percent;
            return false;
        };
        QVERIFY(DeleteVolume(*FFixture->Global, FFirstId));
        QCOMPARE(Count(FFirstId), 0);
        QCOMPARE(FFixture->Scalar(QStringLiteral("SELECT count(*) FROM CDs WHERE ID = %1").arg(FFirstId)), 0);
        QCOMPARE(Count(FSecondId), 1 + 2 + 10);
        QCOMPARE(FFixture->BrokenReferences(), 0);
        QVERIFY(!percents.isEmpty());
        QVERIFY(std::is_sorted(percents.begin(), percents.end()));
        QVERIFY(percents.last() <= 100);
        // Committed: another connection sees it gone.
        QCOMPARE(
            FFixture->Committed(QStringLiteral("SELECT count(*) FROM Entries WHERE CD = %1").arg(FFirstId)),
            0);
    }

    void DeletesTheSecond()
    {
        QVERIFY(DeleteVolume(*FFixture->Global, FSecondId));
        QCOMPARE(Count(FSecondId), 0);
        QCOMPARE(Count(FFirstId), 1 + 3 + 150 + 1100 + 1);
    }

    void StopLeavesTheVolume()
    {
        FFixture->Services.SetTickStep(600);
        FFixture->Global->OnProgress = [](TGlobal *, int, int) { return true; };
        QVERIFY(!DeleteVolume(*FFixture->Global, FFirstId));
        QCOMPARE(Count(FFirstId), 1 + 3 + 150 + 1100 + 1);
        QCOMPARE(
            FFixture->Scalar(QStringLiteral("SELECT count(*) FROM Entries WHERE CD = %1 AND Parent IS NULL")
                                 .arg(FFirstId)),
            1);
    }

private:
    qint64 Count(int cd) const
    {
        return FFixture->Scalar(QStringLiteral("SELECT count(*) FROM Entries WHERE CD = %1").arg(cd));
    }

    std::unique_ptr<TCatalogFixture> FFixture;
    QTemporaryDir FFirst;
    QTemporaryDir FSecond;
    int FFirstId = 0;
    int FSecondId = 0;
};

QTEST_GUILESS_MAIN(TestVolumeDeletes)
#include "tst_VolumeDeletes.moc"
