// The explorer's update of a volume, driven as a user drives it, and the window that reports
// what changed.

#include "ExplorerDriver.h"
#include "FolderBrowsers.h"
#include "MountedSources.h"
#include "Screenshots.h"
#include "UpdateReports.h"
#include "WindowsFixture.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTreeView>

using namespace Qt::StringLiterals;

class TestUpdateReports : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void UpdateFromTheDrive();
    void DiskNotOnline_data();
    void DiskNotOnline();
    void StopChangesNothing();

private:
    void Open();
    // Selects the volume's node and chooses "Update entry..." in the Edit menu.
    void UpdateVolume(const QString &node);
    QStringList Entries()
    {
        return F->Rows(u"SELECT ID, Name, Size, Description FROM Entries ORDER BY ID"_s);
    }

    std::unique_ptr<TWindowsFixture> F;
    std::unique_ptr<TCDEx> W;
};

void TestUpdateReports::init()
{
    F = std::make_unique<TWindowsFixture>();
    TFolderBrowser::SetAnswerAutomatically(true);
    F->Write(u"one"_s, u"Readme.txt"_s, "hello");
    F->Write(u"one"_s, u"docs/Manual.txt"_s, "0123456789");
    F->Write(u"one"_s, u"docs/Old.txt"_s, "old");
    QVERIFY(F->Catalogue(u"one"_s, u"BACKUP"_s, 0x11112222, u"Backup disc"_s) > 0);
}

void TestUpdateReports::Open()
{
    W = std::make_unique<TCDEx>();
    W->show();
    QVERIFY(QTest::qWaitForWindowExposed(W.get()));
    QTRY_VERIFY(W->FoldersTree->Items()->GetFirstNode() != nullptr);
}

void TestUpdateReports::cleanup()
{
    W.reset();
    TFolderBrowser::SetAnswerAutomatically(false);
    TFolderBrowser::ClearShown();
    F.reset();
}

void TestUpdateReports::UpdateVolume(const QString &node)
{
    TTreeNode *root = NodeByPath(W->FoldersTree, {node});
    QVERIFY(root);
    ClickNode(W->FoldersTree, root);
    QAction *update = W->findChild<QAction *>(u"Updateentry1"_s);
    QVERIFY(update && update->isEnabled());
    update->trigger();
}

void TestUpdateReports::UpdateFromTheDrive()
{
    Open();
    auto *edit = W->findChild<QMenu *>(u"Edit1"_s);
    QVERIFY(edit);
    edit->popup(W->mapToGlobal(QPoint(10, 10)));
    KeepScreenshot(edit->grab(), u"EditMenu.png"_s);
    edit->hide();
    F->Global->Database.ExecSQL(u"UPDATE Entries SET Description = 'mine' WHERE Name = 'Manual.txt'"_s);
    QVERIFY(QFile::remove(F->VolumePath(u"one"_s) + u"/docs/Old.txt"_s));
    F->Write(u"one"_s, u"Readme.txt"_s, "hello, world");
    F->Write(u"one"_s, u"docs/New.txt"_s, "new");
    UpdateVolume(u"Backup disc"_s);
    QVERIFY2(F->Errors.isEmpty(), qPrintable(F->Errors.join(u'\n')));

    TUpdateReport *report = W->findChild<TUpdateReport *>();
    QVERIFY(report && report->isVisible());
    QVERIFY(report->Summary->text().startsWith(u"1 added, 1 removed, "_s));
    // A folder that lost a file may have a new time too.
    QStringList lines = report->Lines().split(u'\n', Qt::SkipEmptyParts);
    lines.removeAll(u"~ docs"_s);
    QCOMPARE(lines, (QStringList{u"+ docs/New.txt"_s, u"- docs/Old.txt"_s, u"~ Readme.txt"_s}));
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'Manual.txt' AND Description = 'mine'"_s),
             1);

    // Sorted by the kind of change, the lines are copied in the order shown.
    report->ChangesList->sortByColumn(0, Qt::AscendingOrder);
    report->BtnCopy->click();
    lines = QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
    lines.removeAll(u"~ docs"_s);
    QCOMPARE(lines, (QStringList{u"+ docs/New.txt"_s, u"~ Readme.txt"_s, u"- docs/Old.txt"_s}));
    const QImage shot = report->grab().toImage();
    QVERIFY(!shot.isNull());
    KeepScreenshot(shot, u"UpdateReport.png"_s);

    // The explorer shows the volume as it is now.
    QTRY_VERIFY(NodeByPath(W->FoldersTree, {u"Backup disc"_s, u"docs"_s}));
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s, u"docs"_s}));
    QTRY_VERIFY(ItemByCaption(W->EntriesList, u"New.txt"_s));
    QVERIFY(!ItemByCaption(W->EntriesList, u"Old.txt"_s));
    report->BtnClose->click();
}

void TestUpdateReports::DiskNotOnline_data()
{
    QTest::addColumn<QString>("answer"); // empty: the folder is where it was catalogued from
    QTest::addColumn<QString>("error");  // empty: updated
    QTest::newRow("found where it was catalogued from") << QString() << QString();
    QTest::newRow("not looked for") << u"cancel"_s << QString();
    QTest::newRow("no folder chosen") << u"no folder"_s << QString();
    QTest::newRow("another volume's folder") << u"other"_s << u"is not the one catalogued"_s;
    QTest::newRow("the folder where it went") << u"own"_s << QString();
}

void TestUpdateReports::DiskNotOnline()
{
    QFETCH(QString, answer);
    QFETCH(QString, error);
    // A folder catalogued as a volume of its own, in no drive.
    F->Write(u"folder"_s, u"a.txt"_s, "a");
    F->Write(u"other"_s, u"b.txt"_s, "b");
    TMountedSource folder(F->VolumePath(u"folder"_s), TMountedSource::TKind::Folder);
    const int cd = F->Global->LoadDisk(folder, u"My folder"_s, 2, false);
    QVERIFY(cd > 0);
    F->Global->RefreshViews();
    F->Write(u"folder"_s, u"c.txt"_s, "c");
    // Moved, the folder keeps its serial number but is not where the catalogue says.
    const QString moved = F->VolumePath(u"moved"_s);
    const QString catalogued = QFileInfo(F->VolumePath(u"folder"_s)).canonicalFilePath();
    if (!answer.isEmpty())
        QVERIFY(QFile::rename(F->VolumePath(u"folder"_s), moved));
    Open();
    const QStringList before = Entries();

    TMessageBox::ClearShown();
    if (answer == u"cancel") {
        TMessageBox::SetNextAnswer(QMessageBox::Cancel);
    } else if (!answer.isEmpty()) {
        TMessageBox::SetNextAnswer(QMessageBox::Yes);
        TFolderBrowser::SetNextAnswer(
            answer == u"no folder"
                ? std::nullopt
                : std::optional<QString>(answer == u"own" ? moved : F->VolumePath(u"other"_s)));
    }
    UpdateVolume(u"My folder"_s);
    QVERIFY2(F->Errors.isEmpty(), qPrintable(F->Errors.join(u'\n')));
    TUpdateReport *report = W->findChild<TUpdateReport *>();
    if (answer.isEmpty()) {
        QCOMPARE(TMessageBox::Shown().size(), 0);
        QVERIFY(report);
        QCOMPARE(report->Lines(), u"+ c.txt\n"_s);
        return;
    }
    QVERIFY(TMessageBox::Shown().size() >= 1);
    QVERIFY(TMessageBox::Shown().first().Text.contains(u"is in no drive"_s));
    QVERIFY(TMessageBox::Shown().first().Text.contains(u"is not there any more"_s));
    const QString source = u"SELECT Source FROM CDs WHERE ID = %1"_s.arg(cd);
    if (answer != u"own") {
        QVERIFY(!report);
        QCOMPARE(Entries(), before);
        QCOMPARE(TMessageBox::Shown().size(), error.isEmpty() ? 1 : 2);
        if (!error.isEmpty()) {
            QCOMPARE(TMessageBox::Shown().last().Caption, u"Error"_s);
            QVERIFY(TMessageBox::Shown().last().Text.contains(error));
        }
        QCOMPARE(F->Rows(source), QStringList{catalogued});
        return;
    }
    QVERIFY(report);
    QCOMPARE(report->Lines(), u"+ c.txt\n"_s);
    // The next update finds it there.
    QCOMPARE(F->Rows(source), QStringList{QFileInfo(moved).canonicalFilePath()});
}

void TestUpdateReports::StopChangesNothing()
{
    for (int i = 0; i < 5; ++i)
        F->Write(u"one"_s, u"more/f%1.txt"_s.arg(i), "more");
    Open();
    const QStringList before = Entries();
    // Each reading of the clock is 600 ms on: every file is reported, and the first report the
    // progress window shows stops the update.
    F->Services.SetTick(0);
    F->Services.SetTickStep(600);
    bool stopped = false;
    F->Services.OnTickCount = [&] {
        if (auto *progress = W->findChild<QProgressDialog *>(u"UpdateProgress"_s); progress && !stopped) {
            stopped = true;
            progress->cancel();
        }
    };
    UpdateVolume(u"Backup disc"_s);
    F->Services.OnTickCount = nullptr;
    QVERIFY(stopped);
    QVERIFY(!W->findChild<TUpdateReport *>());
    QCOMPARE(Entries(), before);
    QVERIFY(!F->Global->Database.InTransaction());
    QVERIFY2(F->Errors.isEmpty(), qPrintable(F->Errors.join(u'\n')));
}

QTEST_MAIN(TestUpdateReports)
#include "tst_UpdateReports.moc"
