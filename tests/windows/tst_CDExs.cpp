// The explorer window driven as a user drives it, over a catalogue of two scanned test volumes.

#include "ArchiveMakers.h"
#include "DBControls.h"
#include "ExplorerDriver.h"
#include "HelpWindows.h"
#include "Links.h"
#include "Properties.h"
#include "Queries.h"
#include "Screenshots.h"
#include "WindowsFixture.h"

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestCDExs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void StatusLineAndDeleteItems_data();
    void StatusLineAndDeleteItems();
    void OpeningFromTheList_data();
    void OpeningFromTheList();
    void ArchivesOpenAsFolders();
    void ViewItemsStayInStep();
    void HeaderClicksSortTheEntries_data();
    void HeaderClicksSortTheEntries();
    void DescriptionPaneEditsFoldersOnly();
    void DeletingVolumes();
    void DeleteOnASubFolderChangesNothing();
    void LongDeleteShowsProgress();
    void PopupConcernsTheNodeUnderTheMouse_data();
    void PopupConcernsTheNodeUnderTheMouse();
    void EmptyTreeOffersNoProperties();
    void ClosingStoresTheTypedDescription_data();
    void ClosingStoresTheTypedDescription();
    void ClosingAsksWhenTheDescriptionCannotBeStored();
    void PaneFollowsThePropertiesDialog();
    void RefreshShowsChangedPictures();
    void EveryViewStyleDrawsTheEntries();
    void HelpAndAbout();
    void MenuItemsOpenTheirWindows_data();
    void MenuItemsOpenTheirWindows();
    void ReadOnlyCatalogueOffersOnlyReading();
    void TheNextRunLooksAsTheUserLeftIt();

private:
    void Open();
    // Runs the action of a modal window; `inside` sees the window while it is open.
    void WhileModal(const std::function<void()> &action, const std::function<void(QWidget *)> &inside);

    std::unique_ptr<TWindowsFixture> F;
    std::unique_ptr<TCDEx> W;
    int FBackup = 0;
    int FPhotos = 0;
};

void TestCDExs::initTestCase()
{
    // Sizes are shown with the desktop's thousands separator.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestCDExs::init()
{
    F = std::make_unique<TWindowsFixture>();
    F->Write(u"one"_s, u"Readme.txt"_s, {});
    QFile::resize(F->VolumePath(u"one"_s) + u"/Readme.txt"_s, 1234567);
    F->Write(u"one"_s, u"docs/Manual.txt"_s, "0123456789");
    F->Write(u"one"_s, u"docs/deep/a/b/Leaf.txt"_s, "12345");
    F->Folder(u"one"_s, u"empty"_s);
    F->Write(u"two"_s, u"pics/Cat.jpg"_s, "jpg");
    FBackup = F->Catalogue(u"one"_s, u"BACKUP"_s, 0x11112222, u"Backup disc"_s);
    FPhotos = F->Catalogue(u"two"_s, u"PHOTOS"_s, 0x33334444);
    QVERIFY(FBackup > 0 && FPhotos > 0);
    Open();
}

void TestCDExs::Open()
{
    W = std::make_unique<TCDEx>();
    W->show();
    QVERIFY(QTest::qWaitForWindowExposed(W.get()));
    QTRY_COMPARE(W->FoldersTree->Items()->GetFirstNode() != nullptr, true);
}

void TestCDExs::cleanup()
{
    W.reset();
    F.reset();
}

void TestCDExs::WhileModal(const std::function<void()> &action, const std::function<void(QWidget *)> &inside)
{
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        inside(modal);
        if (modal)
            modal->close();
    });
    timer.start(0);
    action();
    // No modal loop ran the timer: nothing was opened.
    if (timer.isActive()) {
        timer.stop();
        inside(nullptr);
    }
    QVERIFY(!QApplication::activeModalWidget());
}

void TestCDExs::StatusLineAndDeleteItems_data()
{
    QTest::addColumn<QStringList>("folder");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("panel0");
    QTest::addColumn<QString>("panel1");
    QTest::addColumn<bool>("deleteEnabled");

    QTest::newRow("volume root") << QStringList{u"Backup disc"_s} << QString() << u"Backup disc"_s
                                 << u"1,234,582 bytes"_s << true;
    QTest::newRow("sub-folder") << QStringList{u"Backup disc"_s, u"docs"_s, u"deep"_s} << QString()
                                << u"Backup:\\docs\\deep"_s << u"5 bytes"_s << false;
    QTest::newRow("empty folder") << QStringList{u"Backup disc"_s, u"empty"_s} << QString()
                                  << u"Backup:\\empty"_s << u"0 bytes"_s << false;
    QTest::newRow("entry in the root") << QStringList{u"Backup disc"_s} << u"Readme.txt"_s
                                       << u"Backup:\\Readme.txt"_s << u"1,234,567 bytes"_s << false;
    QTest::newRow("entry in a folder") << QStringList{u"Backup disc"_s, u"docs"_s} << u"Manual.txt"_s
                                       << u"Backup:\\docs\\Manual.txt"_s << u"10 bytes"_s << false;
}

void TestCDExs::StatusLineAndDeleteItems()
{
    QFETCH(QStringList, folder);
    QFETCH(QString, entry);
    TTreeNode *node = NodeByPath(W->FoldersTree, folder);
    QVERIFY(node);
    ClickNode(W->FoldersTree, node);
    QCOMPARE(W->FoldersTree->Selected(), node);
    if (!entry.isEmpty()) {
        QTRY_VERIFY(ItemByCaption(W->EntriesList, entry));
        ClickItem(W->EntriesList, ItemByCaption(W->EntriesList, entry));
    }
    QTEST(W->SBPanel0->text(), "panel0");
    QTEST(W->SBPanel1->text(), "panel1");
    QTEST(Item(W.get(), "Delete1")->isEnabled(), "deleteEnabled");
    QTEST(Item(W.get(), "Deleteentry1")->isEnabled(), "deleteEnabled");
    // A volume is updated where it could be deleted.
    QTEST(Item(W.get(), "Update1")->isEnabled(), "deleteEnabled");
    QTEST(Item(W.get(), "Updateentry1")->isEnabled(), "deleteEnabled");
}

void TestCDExs::OpeningFromTheList_data()
{
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("opens");
    QTest::newRow("double-click on a folder") << false << u"docs"_s << true;
    QTest::newRow("Enter on a folder") << true << u"docs"_s << true;
    QTest::newRow("double-click on a file") << false << u"Readme.txt"_s << false;
    QTest::newRow("Enter on a file") << true << u"Readme.txt"_s << false;
}

void TestCDExs::OpeningFromTheList()
{
    QFETCH(bool, byEnter);
    QFETCH(QString, entry);
    QFETCH(bool, opens);
    TTreeNode *root = NodeByPath(W->FoldersTree, {u"Backup disc"_s});
    ClickNode(W->FoldersTree, root);
    QTRY_VERIFY(ItemByCaption(W->EntriesList, entry));
    TListItem *item = ItemByCaption(W->EntriesList, entry);
    ClickItem(W->EntriesList, item, !byEnter);
    if (byEnter)
        QTest::keyClick(W->EntriesList->ActivePane(), Qt::Key_Return);

    TTreeNode *selected = W->FoldersTree->Selected();
    QVERIFY(selected);
    QCOMPARE(selected->Text(), opens ? entry : u"Backup disc"_s);
    QCOMPARE(F->Global->Folders.FieldByName(u"Name"_s)->AsString(), selected->Text());
    if (opens)
        QTRY_VERIFY(ItemByCaption(W->EntriesList, u"Manual.txt"_s));
    else
        QVERIFY(ItemByCaption(W->EntriesList, entry));
}

void TestCDExs::ArchivesOpenAsFolders()
{
    QVERIFY(MakeArchive(F->VolumePath(u"three"_s) + u"/Pack.zip"_s,
                        {{u"in/Leaf.txt"_s, "leaf"}, {u"top.txt"_s, "top"}}));
    QVERIFY(MakeArchive(F->VolumePath(u"three"_s) + u"/Unread.zip"_s, {{u"x.txt"_s, "x"}}));
    F->Global->ProcessArchives = true;
    QVERIFY(F->Catalogue(u"three"_s, u"ARCH"_s, 0x55556666) > 0);
    F->Global->ProcessArchives = false;
    // Another archive, catalogued without its content, stays a plain file.
    F->Global->Database.ExecSQL(u"DELETE FROM Entries WHERE Parent = "
                                "(SELECT ID FROM Entries WHERE Name = 'Unread.zip'); "
                                "UPDATE Entries SET Archive = 0 WHERE Name = 'Unread.zip'"_s);
    W.reset();
    Open();

    TTreeNode *archive = NodeByPath(W->FoldersTree, {u"ARCH"_s, u"Pack.zip"_s});
    QVERIFY(archive);
    QVERIFY(!NodeByPath(W->FoldersTree, {u"ARCH"_s, u"Unread.zip"_s}));
    // With the picture of its type, not a folder's.
    QCOMPARE(archive->ImageIndex(), F->Scalar(u"SELECT ImageID FROM Entries WHERE Name = 'Pack.zip'"_s));
    QVERIFY(archive->ImageIndex() > 3);
    QVERIFY(NodeByPath(W->FoldersTree, {u"ARCH"_s, u"Pack.zip"_s, u"in"_s}));

    // Opened from the list, it shows what it holds.
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"ARCH"_s}));
    QTRY_VERIFY(ItemByCaption(W->EntriesList, u"Pack.zip"_s));
    ClickItem(W->EntriesList, ItemByCaption(W->EntriesList, u"Pack.zip"_s), true);
    QCOMPARE(W->FoldersTree->Selected(), archive);
    QTRY_VERIFY(ItemByCaption(W->EntriesList, u"top.txt"_s));
    QVERIFY(ItemByCaption(W->EntriesList, u"in"_s));
    if (const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS"); !folder.isEmpty())
        W->grab().save(folder + u"/explorer-archive.png"_s);
}

void TestCDExs::HeaderClicksSortTheEntries_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending");
    QTest::addColumn<QStringList>("descending");
    QTest::newRow("Name") << 0 << QStringList{u"adir"_s, u"zdir"_s, u"a.txt"_s, u"B.txt"_s, u"c.txt"_s}
                          << QStringList{u"zdir"_s, u"adir"_s, u"c.txt"_s, u"B.txt"_s, u"a.txt"_s};
    QTest::newRow("Size") << 1 << QStringList{u"adir"_s, u"zdir"_s, u"B.txt"_s, u"c.txt"_s, u"a.txt"_s}
                          << QStringList{u"zdir"_s, u"adir"_s, u"a.txt"_s, u"c.txt"_s, u"B.txt"_s};
    QTest::newRow("Modified") << 2 << QStringList{u"zdir"_s, u"adir"_s, u"B.txt"_s, u"a.txt"_s, u"c.txt"_s}
                              << QStringList{u"adir"_s, u"zdir"_s, u"c.txt"_s, u"a.txt"_s, u"B.txt"_s};
}

void TestCDExs::HeaderClicksSortTheEntries()
{
    QFETCH(int, column);
    // Sizes and dates whose texts sort otherwise: 9 < 10 < 100 bytes, 9/1/23 < 10/1/23 < 1/5/24.
    const struct
    {
        const char16_t *Path;
        int Size;
        QDate Modified;
    } files[] = {{u"a.txt", 100, {2023, 10, 1}},
                 {u"B.txt", 9, {2023, 9, 1}},
                 {u"c.txt", 10, {2024, 1, 5}},
                 {u"zdir/inner.bin", 5000, {2022, 1, 1}}};
    for (const auto &file : files)
        F->Write(u"three"_s, QString::fromUtf16(file.Path), QByteArray(file.Size, 'x'));
    F->Folder(u"three"_s, u"adir"_s);
    const auto touch = [this](const QString &path, QDate day) {
        const timespec time{QDateTime(day, QTime(12, 0)).toSecsSinceEpoch(), 0};
        const timespec times[2] = {time, time};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(F->VolumePath(u"three"_s) + u'/' + path).constData(),
                             times, 0),
                 0);
    };
    for (const auto &file : files)
        touch(QString::fromUtf16(file.Path), file.Modified);
    touch(u"zdir"_s, {2022, 1, 1});
    touch(u"adir"_s, {2023, 6, 1});
    QVERIFY(F->Catalogue(u"three"_s, u"THREE"_s, 0x55556666, u"Third disc"_s) > 0);

    Item(W.get(), "Details1")->trigger();
    QTRY_VERIFY(NodeByPath(W->FoldersTree, {u"Third disc"_s}));
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Third disc"_s}));
    QTRY_COMPARE(W->EntriesList->Items()->Count(), 5);
    ClickItem(W->EntriesList, ItemByCaption(W->EntriesList, u"c.txt"_s));

    ClickHeader(W->EntriesList, column);
    QTEST(Captions(W->EntriesList), "ascending");
    ClickHeader(W->EntriesList, column);
    QTEST(Captions(W->EntriesList), "descending");
    KeepScreenshot(W->grab(), u"explorer-sorted-%1.png"_s.arg(column));
    // The entry chosen stays chosen, and its record current.
    QCOMPARE(W->EntriesList->Selected()->Caption(), u"c.txt"_s);
    QCOMPARE(W->EntriesList->ItemFocused()->Caption(), u"c.txt"_s);
    QCOMPARE(F->Global->FullList.FieldByName(u"Name"_s)->AsString(), u"c.txt"_s);
    // The list of another folder comes sorted the same way.
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s}));
    QTRY_VERIFY(ItemByCaption(W->EntriesList, u"Readme.txt"_s));
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Third disc"_s}));
    QFETCH(QStringList, descending);
    QTRY_VERIFY(W->EntriesList->Items()->Count() == 5 && Captions(W->EntriesList) == descending);
}

void TestCDExs::ViewItemsStayInStep()
{
    const char *main[4] = {"Lagreicons1", "Smallicons1", "List1", "Details1"};
    const char *popup[4] = {"Largeicons1", "Smallicons2", "List2", "Details2"};
    const TViewStyle styles[4] = {vsIcon, vsSmallIcon, vsList, vsReport};
    QCOMPARE(W->EntriesList->ViewStyle(), vsList);
    QVERIFY(Item(W.get(), "List1")->isChecked() && Item(W.get(), "List2")->isChecked());
    for (int round = 0; round < 8; ++round) {
        const int chosen = (round * 3) % 4;
        Item(W.get(), round % 2 ? main[chosen] : popup[chosen])->trigger();
        QCOMPARE(W->EntriesList->ViewStyle(), styles[chosen]);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(Item(W.get(), main[i])->isChecked(), i == chosen);
            QCOMPARE(Item(W.get(), popup[i])->isChecked(), i == chosen);
        }
    }
}

void TestCDExs::DescriptionPaneEditsFoldersOnly()
{
    QVERIFY(W->FileDescription->isHidden());
    Item(W.get(), "Description1")->trigger();
    QVERIFY(W->FileDescription->isVisible());

    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s, u"docs"_s}));
    W->FileDescription->setFocus();
    QTest::keyClicks(W->FileDescription, u"Manuals"_s);
    // Moving to another folder stores what was typed.
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s, u"empty"_s}));
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'docs' AND Description = 'Manuals'"_s), 1);

    QTRY_VERIFY(W->EntriesList->Items()->Count() == 0);
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s}));
    QTRY_VERIFY(ItemByCaption(W->EntriesList, u"docs"_s));
    ClickItem(W->EntriesList, ItemByCaption(W->EntriesList, u"docs"_s));
    QCOMPARE(F->Global->FullList.FieldByName(u"Name"_s)->AsString(), u"docs"_s);
    QCOMPARE(F->Global->FullList.FieldByName(u"Description"_s)->AsString(), u"Manuals"_s);
    QCOMPARE(W->FileDescription->toPlainText(), u"Manuals"_s);
    W->FileDescription->setFocus();
    QTest::keyClicks(W->FileDescription, u"xyz"_s);
    QCOMPARE(W->FileDescription->toPlainText(), u"Manuals"_s);
    QCOMPARE(F->Global->FullList.State(), TDataSetState::Browse);
}

void TestCDExs::DeletingVolumes()
{
    TTreeNode *root = NodeByPath(W->FoldersTree, {u"Backup disc"_s});
    ClickNode(W->FoldersTree, root);
    Item(W.get(), "Deleteentry1")->trigger();
    QVERIFY(!NodeByPath(W->FoldersTree, {u"Backup disc"_s}));
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE CD = %1 OR ID = %1"_s.arg(FBackup)), 0);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM CDs WHERE ID = %1"_s.arg(FBackup)), 0);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE CD = %1"_s.arg(FPhotos)), 3);
    QVERIFY(F->Errors.isEmpty());

    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"PHOTOS"_s}));
    Item(W.get(), "Delete1")->trigger();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), 0);
    QTRY_COMPARE(W->FoldersTree->Items()->GetFirstNode(), nullptr);
    QTRY_COMPARE(W->EntriesList->Items()->Count(), 0);
    QCOMPARE(W->SBPanel0->text(), QString());
    QVERIFY(!Item(W.get(), "Deleteentry1")->isEnabled() && !Item(W.get(), "Delete1")->isEnabled());
    // The views followed the delete: a later refresh of them (the drive dialog's) has nothing to do.
    QVERIFY(!F->Global->DataChanged);
    QVERIFY(F->Errors.isEmpty());
}

void TestCDExs::LongDeleteShowsProgress()
{
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s}));
    auto *panel = W->findChild<QWidget *>(u"ProgressPanel"_s);
    QVERIFY(panel && panel->isHidden());
    // Every reading of the clock is 600 ms later: the delete reports after its first slice.
    F->Services.SetTickStep(600);
    bool shown = false;
    F->Services.OnTickCount = [&] {
        if (panel->isHidden())
            return;
        if (!shown)
            KeepScreenshot(W->grab(), u"explorer-deleting.png"_s);
        shown = true;
        // No command meanwhile: the window is busy deleting.
        QVERIFY(!W->menuBar()->isEnabled());
    };
    Item(W.get(), "Deleteentry1")->trigger();
    F->Services.OnTickCount = nullptr;
    QVERIFY(shown);
    QVERIFY(panel->isHidden());
    QVERIFY(W->menuBar()->isEnabled());
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE CD = %1"_s.arg(FBackup)), 0);
    QVERIFY(!NodeByPath(W->FoldersTree, {u"Backup disc"_s}));
    QVERIFY(F->Errors.isEmpty());
}

void TestCDExs::PopupConcernsTheNodeUnderTheMouse_data()
{
    QTest::addColumn<QStringList>("node");
    QTest::addColumn<bool>("deletes");
    QTest::newRow("another volume") << QStringList{u"PHOTOS"_s} << true;
    QTest::newRow("sub-folder of the current volume") << QStringList{u"Backup disc"_s, u"docs"_s} << false;
}

void TestCDExs::PopupConcernsTheNodeUnderTheMouse()
{
    QFETCH(QStringList, node);
    QFETCH(bool, deletes);
    TProp prop;
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s}));
    TTreeNode *target = NodeByPath(W->FoldersTree, node);
    RightClickNode(W->FoldersTree, target);
    auto *pm1 = W->findChild<QMenu *>(u"PM1"_s);
    QTRY_VERIFY(pm1->isVisible());
    QCOMPARE(W->FoldersTree->Selected(), target);
    QCOMPARE(Item(W.get(), "Delete1")->isEnabled(), deletes);

    QString shown;
    WhileModal([&] { Item(W.get(), "Properties1")->trigger(); },
               [&](QWidget *modal) {
                   shown = modal ? modal->findChild<QLabel *>(u"FileName"_s)->text() : QString();
               });
    QCOMPARE(shown, node.last());

    const qint64 before = F->Scalar(u"SELECT count(*) FROM Entries"_s);
    Item(W.get(), "Delete1")->trigger();
    pm1->close();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE CD = %1"_s.arg(FPhotos)), deletes ? 0 : 3);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), before - (deletes ? 3 : 0));
    QVERIFY(F->Errors.isEmpty());
}

void TestCDExs::EmptyTreeOffersNoProperties()
{
    TProp prop;
    for (const QString &volume : {u"Backup disc"_s, u"PHOTOS"_s}) {
        ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {volume}));
        Item(W.get(), "Deleteentry1")->trigger();
    }
    QTRY_COMPARE(W->FoldersTree->Items()->GetFirstNode(), nullptr);
    RightClickAt(W->FoldersTree, QPoint(20, 20));
    auto *pm1 = W->findChild<QMenu *>(u"PM1"_s);
    QTRY_VERIFY(pm1->isVisible());
    QVERIFY(!Item(W.get(), "Properties1")->isEnabled() && !Item(W.get(), "Delete1")->isEnabled());
    pm1->close();
    // Even asked for directly, the command opens nothing and so cannot write anything.
    QWidget *opened = nullptr;
    WhileModal([&] { W->Properties1Click(); }, [&](QWidget *modal) { opened = modal; });
    QVERIFY(!opened);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), 0);
}

void TestCDExs::ClosingStoresTheTypedDescription_data()
{
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("File > Exit") << true;
    QTest::newRow("close box") << false;
}

void TestCDExs::ClosingStoresTheTypedDescription()
{
    QFETCH(bool, byMenu);
    Item(W.get(), "Description1")->trigger();
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s, u"docs"_s}));
    W->FileDescription->setFocus();
    QTest::keyClicks(W->FileDescription, u"Manuals"_s);
    if (byMenu)
        Item(W.get(), "Exit1")->trigger();
    else
        W->windowHandle()->close();
    QVERIFY(!W->isVisible());
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'docs' AND Description = 'Manuals'"_s), 1);
    QVERIFY(TMessageBox::Shown().isEmpty());
}

void TestCDExs::ClosingAsksWhenTheDescriptionCannotBeStored()
{
    Item(W.get(), "Description1")->trigger();
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s, u"docs"_s}));
    W->FileDescription->setFocus();
    QTest::keyClicks(W->FileDescription, u"Manuals"_s);
    F->Global->Folders.BeforePost =
        TDataSetNotifyEvent([](TDataSet *) { throw EDatabaseError(u"disk full"_s); }, this);

    TMessageBox::SetNextAnswer(QMessageBox::No);
    Item(W.get(), "Exit1")->trigger();
    QVERIFY(W->isVisible());
    QCOMPARE(TMessageBox::Shown().size(), 1);
    QCOMPARE(TMessageBox::Shown().first().Caption, u"Warning"_s);
    QVERIFY(TMessageBox::Shown().first().Text.contains(u"disk full"_s));
    QCOMPARE(W->FileDescription->toPlainText(), u"Manuals"_s);

    TMessageBox::SetNextAnswer(QMessageBox::Yes);
    Item(W.get(), "Exit1")->trigger();
    QVERIFY(!W->isVisible());
    QCOMPARE(F->Global->Folders.State(), TDataSetState::Browse);
    F->Global->Folders.BeforePost = {};
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Description IS NOT NULL"_s), 0);
}

void TestCDExs::PaneFollowsThePropertiesDialog()
{
    TProp prop;
    Item(W.get(), "Description1")->trigger();
    TTreeNode *docs = NodeByPath(W->FoldersTree, {u"Backup disc"_s, u"docs"_s});
    ClickNode(W->FoldersTree, docs);
    RightClickNode(W->FoldersTree, docs);
    WhileModal([&] { Item(W.get(), "Properties1")->trigger(); },
               [&](QWidget *modal) {
                   auto *memo = modal->findChild<TDBMemo *>(u"FileDescription"_s);
                   memo->setFocus();
                   QTest::keyClicks(memo, u"Manuals"_s);
                   QTest::mouseClick(modal->findChild<QPushButton *>(u"btnOK"_s), Qt::LeftButton);
               });
    W->findChild<QMenu *>(u"PM1"_s)->close();
    QCOMPARE(W->FileDescription->toPlainText(), u"Manuals"_s);

    // Typing goes where the user put the cursor.
    W->FileDescription->setFocus();
    W->FileDescription->moveCursor(QTextCursor::End);
    QTest::keyClicks(W->FileDescription, u" 2"_s);
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s, u"empty"_s}));
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'docs' AND Description = 'Manuals 2'"_s),
             1);
}

void TestCDExs::DeleteOnASubFolderChangesNothing()
{
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s, u"docs"_s}));
    const qint64 before = F->Scalar(u"SELECT count(*) FROM Entries"_s);
    W->Delete1Click();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), before);
    QCOMPARE(W->SBPanel0->text(), u"Backup:\\docs"_s);
}

void TestCDExs::RefreshShowsChangedPictures()
{
    const int txt = F->Global->ImageIDForFile(u"a.txt"_s);
    QImage red(16, 16, QImage::Format_RGB32);
    red.fill(Qt::red);
    red.setPixelColor(0, 15, Qt::white);
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    red.save(&buffer, "BMP");
    TQuery update;
    update.SetDatabase(&F->Global->Database);
    update.SetSQL({u"UPDATE Images SET Small = :p WHERE ImageID = :id"_s});
    update.ParamByName(u"p"_s)->SetValue(TVariant(bmp));
    update.ParamByName(u"id"_s)->SetValue(TVariant(txt));
    update.ExecSQL();

    QVERIFY(F->Global->DBIL_Little.Pixmap(txt).toImage().pixelColor(8, 8) != QColor(Qt::red));
    Item(W.get(), "Refresh1")->trigger();
    QCOMPARE(F->Global->DBIL_Little.Pixmap(txt).toImage().pixelColor(8, 8), QColor(Qt::red));
    QTRY_VERIFY(W->FoldersTree->Items()->GetFirstNode());
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s}));
    QTRY_VERIFY(ItemByCaption(W->EntriesList, u"Readme.txt"_s));
    QCOMPARE(ItemByCaption(W->EntriesList, u"Readme.txt"_s)->ImageIndex(), txt);
}

// Each style draws the entries, not an empty pane; VNX_SCREENSHOTS names a folder to keep the
// pictures in for a look.
void TestCDExs::EveryViewStyleDrawsTheEntries()
{
    // The window never gets smaller than its first size.
    W->resize(300, 200);
    QCOMPARE(W->size(), QSize(603, 455));
    W->resize(760, 520);
    Item(W.get(), "Description1")->trigger();
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s}));
    QTRY_VERIFY(ItemByCaption(W->EntriesList, u"Readme.txt"_s));
    const char *items[4] = {"Lagreicons1", "Smallicons1", "List1", "Details1"};
    for (const char *name : items) {
        Item(W.get(), name)->trigger();
        QCoreApplication::processEvents();
        const QImage list = W->EntriesList->grab().toImage();
        const QColor background = list.pixelColor(list.width() - 2, list.height() - 2);
        int drawn = 0;
        for (int y = 0; y < list.height(); y += 2)
            for (int x = 0; x < list.width(); x += 2)
                drawn += list.pixelColor(x, y) != background;
        QVERIFY2(drawn > 100, name);
        const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
        if (!folder.isEmpty())
            W->grab().save(folder + u"/explorer-"_s + QString::fromLatin1(name) + u".png"_s);
    }
}

void TestCDExs::HelpAndAbout()
{
    // The manual travels with the program: every page the contents list names opens.
    Item(W.get(), "Contents1")->trigger();
    THelpWindow *help = THelp::Window();
    QVERIFY(help && help->isVisible());
    QCOMPARE(help->CurrentTitle(), u"VOR-NEX Help"_s);
    QVERIFY(help->Contents().size() >= 8);
    for (const THelpTopic &topic : help->Contents()) {
        help->ShowPage(topic.Page);
        QCOMPARE(help->CurrentPage().fileName(), topic.Page);
        QVERIFY2(!help->CurrentTitle().isEmpty(), qPrintable(topic.Page));
    }
    help->close();

    TLinkRecorder links;
    bool shown = false;
    QTimer::singleShot(0, this, [&] {
        auto *about = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        shown = about && about->objectName() == u"About"_s;
        if (!about)
            return;
        QVERIFY(!about->findChild<QPlainTextEdit *>(u"Credits"_s)->toPlainText().isEmpty());
        QVERIFY(about->findChild<QPlainTextEdit *>(u"Credits"_s)->isReadOnly());
        emit about->findChild<QLabel *>(u"SqliteLink"_s)->linkActivated(QString());
        const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
        if (!folder.isEmpty())
            about->grab().save(folder + u"/about.png"_s);
        about->accept();
    });
    Item(W.get(), "About1")->trigger();
    QVERIFY(shown);
    QCOMPARE(links.Opened(), QList<QUrl>{QUrl(u"https://www.sqlite.org"_s)});
}

void TestCDExs::MenuItemsOpenTheirWindows_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("window");
    QTest::newRow("add new entry") << u"Addnewentry1"_s << u"SelectDrive"_s;
    QTest::newRow("find") << u"Find1"_s << u"Find"_s;
    QTest::newRow("find matches") << u"Extentionsetup1"_s << u"FindMatch"_s;
    QTest::newRow("images setup") << u"Imagessetup1"_s << u"ImagEd"_s;
    QTest::newRow("info files setup") << u"Info1"_s << u"NFO"_s;
}

void TestCDExs::MenuItemsOpenTheirWindows()
{
    QFETCH(QString, item);
    QString opened;
    QTimer::singleShot(0, this, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            opened = modal->objectName();
            modal->close();
        }
    });
    W->findChild<QAction *>(item)->trigger();
    QTEST(opened, "window");
    QVERIFY(F->Errors.isEmpty());
    QVERIFY(!QApplication::activeModalWidget());
}

void TestCDExs::ReadOnlyCatalogueOffersOnlyReading()
{
    W.reset();
    F->Global.reset();
    const QString ini = qEnvironmentVariable("XDG_CONFIG_HOME") + u"/vor-nex/engine.ini"_s;
    QFile config(ini);
    QVERIFY(config.open(QIODevice::ReadWrite));
    const QByteArray text = config.readAll();
    QVERIFY(text.contains("OPEN MODE=READ/WRITE"));
    config.resize(0);
    config.write(QByteArray(text).replace("OPEN MODE=READ/WRITE", "OPEN MODE=READ ONLY"));
    config.close();
    F->Global = std::make_unique<TGlobal>();
    AskInMessageBoxes(*F->Global);
    QVERIFY(F->Global->ReadOnly());
    Open();

    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s}));
    QCOMPARE(W->SBPanel0->text(), u"Backup disc"_s);
    for (const char *writes : {"Delete1", "Deleteentry1", "Update1", "Updateentry1", "Addnewentry1",
                               "Extentionsetup1", "Imagessetup1", "Info1"})
        QVERIFY2(!Item(W.get(), writes)->isEnabled(), writes);
    for (const char *reads : {"Find1", "Properties1", "Properties2", "Refresh1"})
        QVERIFY2(Item(W.get(), reads)->isEnabled(), reads);
    // Browsing reads on: the other volume's folder opens.
    TTreeNode *pictures = NodeByPath(W->FoldersTree, {u"PHOTOS"_s, u"pics"_s});
    QVERIFY(pictures);
    ClickNode(W->FoldersTree, pictures);
    QTRY_VERIFY(ItemByCaption(W->EntriesList, u"Cat.jpg"_s));
}

void TestCDExs::TheNextRunLooksAsTheUserLeftIt()
{
    W->resize(720, 540);
    Item(W.get(), "Details2")->trigger();
    Item(W.get(), "Description1")->trigger();
    Item(W.get(), "Toolbar1")->trigger();
    auto *tree = W->findChild<QSplitter *>(u"Splitter1"_s);
    auto *pane = W->findChild<QSplitter *>(u"Splitter2"_s);
    tree->setSizes({260, 459});
    pane->setSizes({380, 120});
    // The window lays itself out anew without its status bar first.
    QCoreApplication::sendPostedEvents();
    const QList<int> treeSizes = tree->sizes();
    const QList<int> paneSizes = pane->sizes();
    QVERIFY(W->close());
    W.reset();

    Open();
    QCOMPARE(W->size(), QSize(720, 540));
    QCOMPARE(W->EntriesList->ViewStyle(), vsReport);
    QVERIFY(Item(W.get(), "Details1")->isChecked() && Item(W.get(), "Details2")->isChecked());
    QVERIFY(Item(W.get(), "Description1")->isChecked() && W->FileDescription->isVisible());
    QVERIFY(!Item(W.get(), "Toolbar1")->isChecked() && !W->statusBar()->isVisible());
    QCOMPARE(W->findChild<QSplitter *>(u"Splitter1"_s)->sizes(), treeSizes);
    QCOMPARE(W->findChild<QSplitter *>(u"Splitter2"_s)->sizes(), paneSizes);

    // Without a description pane its height is not forgotten: shown again, it has it.
    Item(W.get(), "Description1")->trigger();
    QVERIFY(W->close());
    W.reset();
    Open();
    QVERIFY(!W->FileDescription->isVisible());
    Item(W.get(), "Description1")->trigger();
    QTRY_COMPARE(W->findChild<QSplitter *>(u"Splitter2"_s)->sizes(), paneSizes);
}

QTEST_MAIN(TestCDExs)
#include "tst_CDExs.moc"
