// The explorer's quick search driven as a user drives it: typing in the box, keys and clicks on
// the results, over a catalogue of two scanned test volumes.

#include "ExplorerDriver.h"
#include "FindDialogs.h"
#include "QuickSearches.h"
#include "Screenshots.h"
#include "WindowsFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestQuickSearches : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void TypingListsMatchesOfEveryVolume_data();
    void TypingListsMatchesOfEveryVolume();
    void OpeningAResult_data();
    void OpeningAResult();
    void EscapeAndCtrlF();
    void MoreThanTheLimitOpensTheFindWindow();

private:
    QStringList Results() const;
    void Type(const QString &text);

    std::unique_ptr<TWindowsFixture> F;
    std::unique_ptr<TCDEx> W;
    TQuickSearch *Q = nullptr;
};

void TestQuickSearches::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestQuickSearches::init()
{
    F = std::make_unique<TWindowsFixture>();
    F->Write(u"one"_s, u"Readme.txt"_s, "read me");
    F->Write(u"one"_s, u"docs/Manual.txt"_s, "0123456789");
    F->Write(u"one"_s, u"docs/deep/a/Leaf.txt"_s, "12345");
    F->Write(u"two"_s, u"pics/Cat.jpg"_s, "jpg");
    QVERIFY(F->Catalogue(u"one"_s, u"BACKUP"_s, 0x11112222, u"Backup disc"_s) > 0);
    QVERIFY(F->Catalogue(u"two"_s, u"PHOTOS"_s, 0x33334444) > 0);
    W = std::make_unique<TCDEx>();
    W->resize(820, 480);
    W->show();
    QVERIFY(QTest::qWaitForWindowExposed(W.get()));
    QTRY_VERIFY(W->FoldersTree->Items()->GetFirstNode());
    Q = W->QuickSearch;
}

void TestQuickSearches::cleanup()
{
    W.reset();
    F.reset();
}

QStringList TestQuickSearches::Results() const
{
    QStringList names = Captions(Q->SearchResults);
    names.sort();
    return names;
}

void TestQuickSearches::Type(const QString &text)
{
    Q->SearchBox->setFocus();
    QTest::keyClicks(Q->SearchBox, text);
}

void TestQuickSearches::TypingListsMatchesOfEveryVolume_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QString>("status");
    QTest::newRow("both volumes") << u"a"_s
                                  << QStringList{u"Cat.jpg"_s, u"Leaf.txt"_s, u"Manual.txt"_s,
                                                 u"Readme.txt"_s, u"a"_s}
                                  << u"5 file(s) found"_s;
    QTest::newRow("letter case aside") << u"MANU"_s << QStringList{u"Manual.txt"_s} << u"1 file(s) found"_s;
    QTest::newRow("blanks around") << u"  e.t "_s << QStringList{u"Readme.txt"_s} << u"1 file(s) found"_s;
    QTest::newRow("% is itself") << u"%"_s << QStringList{} << u"Nothing found for \"%\""_s;
}

void TestQuickSearches::TypingListsMatchesOfEveryVolume()
{
    QFETCH(QString, typed);
    QFETCH(QString, status);
    auto *pages = W->findChild<QStackedWidget *>(u"EntriesPages"_s);
    QCOMPARE(pages->currentWidget(), W->EntriesList);
    Type(typed);
    QCOMPARE(pages->currentWidget(), Q);
    // Keys typed one after another make searches that end with the whole text's.
    QTRY_COMPARE(Q->SearchStatus->text(), status);
    QTEST(Results(), "found");
    QVERIFY(F->Errors.isEmpty());
}

void TestQuickSearches::OpeningAResult_data()
{
    QTest::addColumn<bool>("byEnter");
    QTest::newRow("Enter in the box") << true;
    QTest::newRow("double-click on the result") << false;
}

void TestQuickSearches::OpeningAResult()
{
    QFETCH(bool, byEnter);
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"PHOTOS"_s}));
    Type(u"manual"_s);
    QTRY_COMPARE(Results(), QStringList{u"Manual.txt"_s});
    if (byEnter)
        QTest::keyClick(Q->SearchBox, Qt::Key_Return);
    else
        ClickItem(Q->SearchResults, Q->SearchResults->Items()->Item(0), true);

    QCOMPARE(W->FoldersTree->Selected()->Text(), u"docs"_s);
    QCOMPARE(W->findChild<QStackedWidget *>(u"EntriesPages"_s)->currentWidget(), W->EntriesList);
    QVERIFY(Q->SearchBox->text().isEmpty());
    QTRY_VERIFY(W->EntriesList->Selected() && W->EntriesList->Selected()->Caption() == u"Manual.txt"_s);
    QCOMPARE(W->EntriesList->ItemFocused(), W->EntriesList->Selected());
    QCOMPARE(F->Global->FullList.FieldByName(u"Name"_s)->AsString(), u"Manual.txt"_s);
    QTRY_COMPARE(W->SBPanel0->text(), u"Backup:\\docs\\Manual.txt"_s);
}

void TestQuickSearches::EscapeAndCtrlF()
{
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"Backup disc"_s}));
    QTRY_VERIFY(ItemByCaption(W->EntriesList, u"Readme.txt"_s));
    QTest::keyClick(W.get(), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), Q->SearchBox);
    QTest::keyClicks(Q->SearchBox, u"txt"_s);
    QTRY_COMPARE(Q->SearchResults->Items()->Count(), 3);

    // From the results as from the box, Escape ends the search and the folder's entries are back.
    QTest::keyClick(Q->SearchBox, Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), Q->SearchResults->ActivePane());
    TListItem *focused = Q->SearchResults->ItemFocused();
    QVERIFY(focused);
    // The status line tells where the result lies.
    QCOMPARE(W->SBPanel0->text(), focused->SubItems().at(0) + focused->Caption());
    QTest::keyClick(Q->SearchResults->ActivePane(), Qt::Key_Escape);
    QVERIFY(Q->SearchBox->text().isEmpty());
    QCOMPARE(Q->SearchResults->Items()->Count(), 0);
    QCOMPARE(W->findChild<QStackedWidget *>(u"EntriesPages"_s)->currentWidget(), W->EntriesList);
    QVERIFY(W->EntriesList->isAncestorOf(QApplication::focusWidget()));
    QVERIFY(ItemByCaption(W->EntriesList, u"Readme.txt"_s));

    Type(u"cat"_s);
    QTRY_COMPARE(Results(), QStringList{u"Cat.jpg"_s});
    QApplication::processEvents();
    KeepScreenshot(W->grab(), u"quick-search.png"_s);
    QTest::keyClick(Q->SearchBox, Qt::Key_Escape);
    QVERIFY(Q->SearchBox->text().isEmpty() && !Q->Active());

    // Choosing a folder in the tree leaves the search too.
    Type(u"cat"_s);
    QTRY_COMPARE(Results(), QStringList{u"Cat.jpg"_s});
    ClickNode(W->FoldersTree, NodeByPath(W->FoldersTree, {u"PHOTOS"_s}));
    QVERIFY(!Q->Active());
    QCOMPARE(W->findChild<QStackedWidget *>(u"EntriesPages"_s)->currentWidget(), W->EntriesList);
    QTRY_VERIFY(ItemByCaption(W->EntriesList, u"pics"_s));
}

void TestQuickSearches::MoreThanTheLimitOpensTheFindWindow()
{
    Q->SetLimit(2);
    Type(u"t"_s);
    QTRY_VERIFY(Q->SearchStatus->text().contains(u"More"_s));
    QCOMPARE(Q->SearchResults->Items()->Count(), 2);
    QString named;
    int found = -1;
    QTimer::singleShot(0, this, [&] {
        auto *find = qobject_cast<TFind *>(QApplication::activeModalWidget());
        if (!find)
            return;
        named = find->Edit1->text();
        QTRY_VERIFY(find->Entries->isVisible() && find->Entries->LoadingComplete());
        found = find->Entries->Items()->Count();
        find->close();
    });
    emit Q->SearchStatus->linkActivated(u"more"_s);
    QCOMPARE(named, u"*t*"_s);
    // Readme.txt, Manual.txt, Leaf.txt and Cat.jpg.
    QCOMPARE(found, 4);
}

QTEST_MAIN(TestQuickSearches)
#include "tst_QuickSearches.moc"
