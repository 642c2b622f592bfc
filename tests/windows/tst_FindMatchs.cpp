// Find matches over a scanned test volume and a changed copy of it on another drive: renamed,
// resized, touched and moved files.

#include "DataBaseListView.h"
#include "FindMatchs.h"
#include "FolderBrowsers.h"
#include "FolderMatches.h"
#include "Queries.h"
#include "Screenshots.h"
#include "WindowsFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

using namespace Qt::StringLiterals;

class TestFindMatchs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void EachChoiceFindsItsMatches_data();
    void EachChoiceFindsItsMatches();
    void StoppingMidScan_data();
    void StoppingMidScan();
    void ClosingMidScanStopsFirst();
    void CompareNeedsAFolder();
    void NothingMatching();
    void PathsBelowTheRootNamed();
    void TheLastFolderIsOfferedAgain_data();
    void TheLastFolderIsOfferedAgain();

private:
    QStringList Matched();
    // A clock that moves on each time it is read, so that every stop check of a scan lets the
    // window's messages run.
    void TickAtEachReading()
    {
        F->Services.SetTick(0);
        F->Services.SetTickStep(600);
    }
    void SetTime(const QString &volume, const QString &file, const QDateTime &time);

    std::unique_ptr<TWindowsFixture> F;
    std::unique_ptr<TFindMatch> W;
};

void TestFindMatchs::SetTime(const QString &volume, const QString &file, const QDateTime &time)
{
    QFile f(F->VolumePath(volume) + u"/"_s + file);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(time, QFileDevice::FileModificationTime));
}

void TestFindMatchs::init()
{
    F = std::make_unique<TWindowsFixture>();
    const QDateTime t1(QDate(2024, 5, 17), QTime(10, 30, 0));
    const QDateTime t2(QDate(2024, 6, 1), QTime(8, 0, 0));
    // The catalogued volume.
    F->Write(u"one"_s, u"a.txt"_s, QByteArray(10, 'a'));
    F->Write(u"one"_s, u"b.txt"_s, QByteArray(20, 'b'));
    F->Write(u"one"_s, u"sub/c.txt"_s, QByteArray(30, 'c'));
    F->Write(u"one"_s, u"d.txt"_s, QByteArray(40, 'd'));
    F->Write(u"one"_s, u"Readme.txt"_s, QByteArray(50, 'r'));
    for (const QString &file : {u"a.txt"_s, u"b.txt"_s, u"sub/c.txt"_s, u"d.txt"_s, u"Readme.txt"_s})
        SetTime(u"one"_s, file, t1);
    QVERIFY(F->Catalogue(u"one"_s, u"ONE"_s, 0x11111111) > 0);
    // The changed copy, on a drive of its own.
    F->Write(u"two"_s, u"a.txt"_s, QByteArray(10, 'a'));
    F->Write(u"two"_s, u"b.txt"_s, QByteArray(25, 'b'));
    F->Write(u"two"_s, u"sub/c.txt"_s, QByteArray(30, 'c'));
    F->Write(u"two"_s, u"e.txt"_s, QByteArray(40, 'd'));
    F->Write(u"two"_s, u"moved/a.txt"_s, QByteArray(10, 'a'));
    F->Write(u"two"_s, u"README.TXT"_s, QByteArray(50, 'r'));
    for (const QString &file : {u"a.txt"_s, u"b.txt"_s, u"e.txt"_s, u"moved/a.txt"_s, u"README.TXT"_s})
        SetTime(u"two"_s, file, t1);
    SetTime(u"two"_s, u"sub/c.txt"_s, t2);
    F->Services.AddDrive(F->VolumePath(u"two"_s), u"TWO"_s, 0x22222222, 1000000);
    W = std::make_unique<TFindMatch>();
    W->show();
}

void TestFindMatchs::cleanup()
{
    W.reset();
    F.reset();
}

// The matched files of the upper list, each as its path and name.
QStringList TestFindMatchs::Matched()
{
    QStringList files;
    for (int i = 0; i < W->DBL1->Items()->Count(); ++i) {
        TListItem *item = W->DBL1->Items()->Item(i);
        if (item->Caption().contains(u'.'))
            files << item->SubItems().value(0) + item->Caption();
        else
            [&] { QVERIFY(!item->Caption().isEmpty()); }();
    }
    files.sort();
    return files;
}

void TestFindMatchs::EachChoiceFindsItsMatches_data()
{
    QTest::addColumn<bool>("path");
    QTest::addColumn<bool>("size");
    QTest::addColumn<bool>("time");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("matched");
    const QString a = u"a.txt"_s, b = u"b.txt"_s, c = u"sub\\c.txt"_s, m = u"moved\\a.txt"_s,
                  r = u"Readme.txt"_s;
    QTest::newRow("name") << false << false << false << u"FindMatch"_s << QStringList{r, a, b, m, c};
    QTest::newRow("time") << false << false << true << u"FindMatchByTime"_s << QStringList{r, a, b, m};
    QTest::newRow("size") << false << true << false << u"FindMatchBySize"_s << QStringList{r, a, m, c};
    QTest::newRow("size time") << false << true << true << u"FindMatchBySizeTime"_s << QStringList{r, a, m};
    QTest::newRow("path") << true << false << false << u"FindMatchByPath"_s << QStringList{r, a, b, c};
    QTest::newRow("path time") << true << false << true << u"FindMatchByPathTime"_s << QStringList{r, a, b};
    QTest::newRow("path size") << true << true << false << u"FindMatchBySizePath"_s << QStringList{r, a, c};
    QTest::newRow("all") << true << true << true << u"FindMatchBySizePathTime"_s << QStringList{r, a};
}

void TestFindMatchs::EachChoiceFindsItsMatches()
{
    QFETCH(bool, path);
    QFETCH(bool, size);
    QFETCH(bool, time);
    QFETCH(QStringList, matched);
    TFolderBrowser::SetNextAnswer(F->VolumePath(u"two"_s));
    QTest::mouseClick(W->SpeedButton1, Qt::LeftButton);
    QCOMPARE(W->Folder->text(), F->VolumePath(u"two"_s) + u"/"_s);
    W->ckbPath->setChecked(path);
    W->ckbSize->setChecked(size);
    W->ckbTime->setChecked(time);
    QTest::mouseClick(W->Compare, Qt::LeftButton);
    QTEST(W->Comparison().FindMatch.StoredProcName(), "query");
    matched.sort();
    QTRY_COMPARE(Matched(), matched);
    QCOMPARE(TMessageBox::Shown().size(), 0);

    // The lower list shows where the chosen disk file lies in the catalogue, never a volume root.
    TListItem *first = W->DBL1->Items()->Item(0);
    first->MakeVisible(false);
    QTest::mouseClick(W->DBL1->Viewport(), Qt::LeftButton, {}, first->DisplayRect().center());
    QTRY_VERIFY(W->DBL2->Items()->Count() >= 1);
    for (int i = 0; i < W->DBL2->Items()->Count(); ++i) {
        QCOMPARE(W->DBL2->Items()->Item(i)->Caption(), first->Caption());
        QVERIFY(W->DBL2->Items()->Item(i)->SubItems().value(0).startsWith(u"One:\\"_s));
    }

    const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
    if (!folder.isEmpty() && path && size && time)
        W->grab().save(folder + u"/findmatch.png"_s);
    W->close();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Temp_Entry"_s), 0);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM MatchedEntries"_s), 0);
}

void TestFindMatchs::StoppingMidScan_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("Cancel") << false;
    QTest::newRow("Escape") << true;
}

void TestFindMatchs::StoppingMidScan()
{
    QFETCH(bool, byEscape);
    TickAtEachReading();
    W->Folder->setText(F->VolumePath(u"two"_s));
    bool stoppedWhileComparing = false;
    QTimer::singleShot(0, this, [&] {
        stoppedWhileComparing =
            W->Comparing() && W->Compare->text() == u"Cancel"_s && !W->Folder->isEnabled();
        if (byEscape)
            QTest::keyClick(W.get(), Qt::Key_Escape);
        else
            QTest::mouseClick(W->Compare, Qt::LeftButton);
    });
    QTest::mouseClick(W->Compare, Qt::LeftButton);
    QVERIFY(stoppedWhileComparing);
    QVERIFY(!W->Comparing());
    QVERIFY(W->isVisible());
    QCOMPARE(W->Compare->text(), u"Compare"_s);
    QVERIFY(W->Folder->isEnabled() && W->ckbTime->isEnabled());
    QCOMPARE(W->DBL1->Items()->Count(), 0);
    QCOMPARE(TMessageBox::Shown().size(), 0);
    QVERIFY(F->Errors.isEmpty());
    // What was scanned stays until the window closes; the pairing never ran.
    QVERIFY(F->Scalar(u"SELECT count(*) FROM Temp_Entry"_s) >= 1);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM MatchedEntries"_s), 0);
    W->close();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Temp_Entry"_s), 0);
}

void TestFindMatchs::ClosingMidScanStopsFirst()
{
    TickAtEachReading();
    W->Folder->setText(F->VolumePath(u"two"_s));
    bool stillOpenWhileStopping = false;
    QTimer::singleShot(0, this, [&] {
        W->close();
        stillOpenWhileStopping = W->isVisible() && W->Comparing();
    });
    QTest::mouseClick(W->Compare, Qt::LeftButton);
    QVERIFY(stillOpenWhileStopping);
    QVERIFY(!W->Comparing());
    QVERIFY(!W->isVisible());
    QVERIFY(F->Errors.isEmpty());
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Temp_Entry"_s), 0);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM MatchedEntries"_s), 0);
}

void TestFindMatchs::CompareNeedsAFolder()
{
    QVERIFY(!W->Compare->isEnabled());
    QTest::keyClicks(W->Folder, u"   "_s);
    QVERIFY(!W->Compare->isEnabled());
    QTest::keyClicks(W->Folder, u"x"_s);
    QVERIFY(W->Compare->isEnabled());
}

void TestFindMatchs::NothingMatching()
{
    W->Folder->setText(F->VolumePath(u"missing"_s));
    TMessageBox::ClearShown();
    QTest::mouseClick(W->Compare, Qt::LeftButton);
    QCOMPARE(TMessageBox::Shown().size(), 1);
    QCOMPARE(TMessageBox::Shown().at(0).Text, u"Not found any matches"_s);
    QCOMPARE(TMessageBox::Shown().at(0).Caption, u"Find result"_s);
    QCOMPARE(W->DBL1->Items()->Count(), 0);
}

// A volume catalogued from a folder or an image has no mount point of its own: paths match once
// the folder it was catalogued from is named as the root.
void TestFindMatchs::PathsBelowTheRootNamed()
{
    F->Write(u"copy"_s, u"sub/c.txt"_s, QByteArray(30, 'c'));
    W->Folder->setText(F->VolumePath(u"copy"_s) + u"/sub/"_s);
    QVERIFY(!W->VolumeRoot->isEnabled());
    W->ckbPath->setChecked(true);
    QVERIFY(W->VolumeRoot->isEnabled());
    QTest::mouseClick(W->Compare, Qt::LeftButton);
    QTRY_COMPARE(TMessageBox::Shown().size(), 1);
    QCOMPARE(Matched(), QStringList());

    TFolderBrowser::SetNextAnswer(F->VolumePath(u"copy"_s));
    QTest::mouseClick(W->SpeedButton2, Qt::LeftButton);
    QCOMPARE(W->VolumeRoot->text(), F->VolumePath(u"copy"_s));
    QTest::mouseClick(W->Compare, Qt::LeftButton);
    QTRY_COMPARE(Matched(), QStringList{u"sub\\c.txt"_s});
    KeepScreenshot(W->grab(), u"findmatch-root.png"_s);
}

void TestFindMatchs::TheLastFolderIsOfferedAgain_data()
{
    QTest::addColumn<bool>("stillThere");
    QTest::newRow("folder still there") << true;
    QTest::newRow("folder gone") << false;
}

void TestFindMatchs::TheLastFolderIsOfferedAgain()
{
    QFETCH(bool, stillThere);
    const QString folder = F->VolumePath(u"two"_s) + u"/sub"_s;
    W->Folder->setText(folder);
    QTest::mouseClick(W->Compare, Qt::LeftButton);
    QTRY_VERIFY(!Matched().isEmpty());
    W->resize(500, 480);
    W->close();
    W.reset();
    if (!stillThere)
        QVERIFY(QDir(folder).removeRecursively());

    W = std::make_unique<TFindMatch>();
    QCOMPARE(W->size(), QSize(500, 480));
    QCOMPARE(W->Folder->text(), stillThere ? folder : QString());
    QCOMPARE(W->Compare->isEnabled(), stillThere);
}

QTEST_MAIN(TestFindMatchs)
#include "tst_FindMatchs.moc"
