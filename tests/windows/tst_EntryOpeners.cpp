// Opening catalogued entries from the explorer and the Find window, and dragging them out of the
// explorer's list, while their volume is mounted; and what the windows say when it is not.
// Nothing is opened for real: the opener records the URLs.

#include "CDExs.h"
#include "DBCustomTreeView.h"
#include "DataBaseListView.h"
#include "EntryLocations.h"
#include "ExplorerDriver.h"
#include "FindDialogs.h"
#include "WindowsFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestEntryOpeners : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TWindowsFixture>();
        F->Write(u"one"_s, u"docs/Manual.txt"_s, "0123456789");
        F->Write(u"one"_s, u"Readme.txt"_s, "hello");
        QVERIFY(F->Catalogue(u"one"_s, u"BACKUP"_s, 0x11112222) > 0);
        FOpened.clear();
        SetEntryUrlOpener([this](const QUrl &url) {
            FOpened << url;
            return true;
        });
        W = std::make_unique<TCDEx>();
        W->show();
        QVERIFY(QTest::qWaitForWindowExposed(W.get()));
        QTRY_VERIFY(W->FoldersTree->Items()->GetFirstNode());
        ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"BACKUP"_s}));
        QTRY_VERIFY(ItemByCaption(W->EntriesList, u"Readme.txt"_s));
    }
    void cleanup()
    {
        W.reset();
        F.reset();
        SetEntryUrlOpener(nullptr);
    }

    void ListEntryOpens_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("expected"); // below the volume
        QTest::newRow("list menu, open") << u"PM2"_s << u"Open2"_s << u"/Readme.txt"_s;
        QTest::newRow("list menu, folder") << u"PM2"_s << u"OpenFolder2"_s << QString();
        QTest::newRow("edit menu, open") << u"Edit1"_s << u"Open1"_s << u"/Readme.txt"_s;
    }
    void ListEntryOpens()
    {
        QFETCH(QString, menu);
        QFETCH(QString, item);
        QFETCH(QString, expected);
        ClickItem(W->EntriesList, ItemByCaption(W->EntriesList, u"Readme.txt"_s));
        QAction *action = ShowMenu(menu, item);
        QVERIFY(action->isEnabled());
        action->trigger();
        QCOMPARE(FOpened,
                 QList<QUrl>{QUrl::fromLocalFile(QDir(F->VolumePath(u"one"_s)).canonicalPath() + expected)});
    }

    void TreeFolderOpensFromTheEditMenu()
    {
        ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"BACKUP"_s, u"docs"_s}));
        ShowMenu(u"Edit1"_s, u"Open1"_s)->trigger();
        QCOMPARE(FOpened, QList<QUrl>{QUrl::fromLocalFile(QDir(F->VolumePath(u"one"_s)).canonicalPath() +
                                                          u"/docs"_s)});
    }

    void OfflineVolumeDisablesAndTellsWhy()
    {
        F->Services.RemoveDrive(F->VolumePath(u"one"_s));
        ClickItem(W->EntriesList, ItemByCaption(W->EntriesList, u"Readme.txt"_s));
        QAction *open = ShowMenu(u"PM2"_s, u"Open2"_s);
        QVERIFY(!open->isEnabled());
        QVERIFY(!Item(W.get(), "OpenFolder2")->isEnabled());
        QVERIFY2(W->statusBar()->currentMessage().contains(u"Backup (1111-2222) is not online"_s),
                 qPrintable(W->statusBar()->currentMessage()));
        // Triggered anyway (a shortcut): nothing opens.
        open->trigger();
        QCOMPARE(FOpened, QList<QUrl>());
        // Nor is anything dragged.
        TListItem *readme = ItemByCaption(W->EntriesList, u"Readme.txt"_s);
        QVERIFY(!W->EntriesList->ActivePane()->model()->mimeData({Index(readme)}));
    }

    void DragCarriesTheFileUrl()
    {
        TListItem *readme = ItemByCaption(W->EntriesList, u"Readme.txt"_s);
        ClickItem(W->EntriesList, readme);
        std::unique_ptr<QMimeData> data(W->EntriesList->ActivePane()->model()->mimeData({Index(readme)}));
        QVERIFY(data && data->hasFormat(u"text/uri-list"_s));
        QCOMPARE(data->urls(), QList<QUrl>{QUrl::fromLocalFile(QDir(F->VolumePath(u"one"_s)).canonicalPath() +
                                                               u"/Readme.txt"_s)});
    }

    void FoundEntryOpensItsFolder()
    {
        TFind find;
        find.FillChoices();
        find.Edit1->setText(u"Manual.txt"_s);
        find.CheckBox1->setChecked(true);
        find.Button1Click();
        QTRY_COMPARE(find.Entries->Items()->Count(), 1);
        ClickItem(find.Entries, find.Entries->Items()->Item(0));
        auto *menu = find.findChild<QMenu *>(u"PopupMenu1"_s);
        emit menu->aboutToShow();
        QAction *folder = find.findChild<QAction *>(u"OpenFolder1"_s);
        QVERIFY(folder->isEnabled());
        folder->trigger();
        QCOMPARE(FOpened, QList<QUrl>{QUrl::fromLocalFile(QDir(F->VolumePath(u"one"_s)).canonicalPath() +
                                                          u"/docs"_s)});
    }

private:
    // The menu's items as they are when it is about to show.
    QAction *ShowMenu(const QString &menu, const QString &item)
    {
        emit W->findChild<QMenu *>(menu)->aboutToShow();
        return W->findChild<QAction *>(item);
    }
    QModelIndex Index(TListItem *item) const
    {
        return W->EntriesList->ActivePane()->model()->index(item->Index(), 0);
    }

    std::unique_ptr<TWindowsFixture> F;
    std::unique_ptr<TCDEx> W;
    QList<QUrl> FOpened;
};

QTEST_MAIN(TestEntryOpeners)
#include "tst_EntryOpeners.moc"
