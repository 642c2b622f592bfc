// The find window driven as a user drives it, over a scanned test volume.

#include "DataBaseListView.h"
#include "ExplorerDriver.h"
#include "FindDialogs.h"
#include "Properties.h"
#include "Queries.h"
#include "WindowsFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestFindDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void Searching_data();
    void Searching();
    void OneDayIncludesTheWholeDay();
    void ABadSizeFailsAndLeavesTheWindowUsable();
    void NewSearchKeepsSomeChoices();
    void ContainingTextFindsByDescription();
    void PropertiesOfAResult();
    void ALargeResultIsCountedAfterItIsShown();
    void AResultSortedWhileItLoadsEndsSorted();
    void TheNextSearchHasTheRoomOfTheLast();

private:
    QStringList Found();
    void FindNow();
    // Copies of the catalogued report.txt named copy1.txt, copy2.txt ..., each of the size the
    // expression of i gives.
    void AddCopies(int count, const QString &size);

    std::unique_ptr<TWindowsFixture> F;
    std::unique_ptr<TFind> W;
    std::unique_ptr<TProp> P;
};

void TestFindDialogs::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestFindDialogs::init()
{
    F = std::make_unique<TWindowsFixture>();
    F->Write(u"one"_s, u"report.txt"_s, QByteArray(1024, 'r'));
    F->Write(u"one"_s, u"Big report.doc"_s, QByteArray(3 * 1024, 'b'));
    F->Write(u"one"_s, u"docs/notes.txt"_s, QByteArray(2 * 1024, 'n'));
    F->Write(u"one"_s, u"docs/photo.jpg"_s, QByteArray(100, 'p'));
    QVERIFY(F->Catalogue(u"one"_s, u"ONE"_s, 0x11111111) > 0);
    P = std::make_unique<TProp>();
    W = std::make_unique<TFind>();
    W->FillChoices();
    W->show();
    QVERIFY(QTest::qWaitForWindowExposed(W.get()));
}

void TestFindDialogs::cleanup()
{
    W.reset();
    P.reset();
    F.reset();
}

void TestFindDialogs::FindNow()
{
    QTest::mouseClick(W->Button1, Qt::LeftButton);
    QCoreApplication::processEvents();
}

void TestFindDialogs::AddCopies(int count, const QString &size)
{
    F->Global->Database.ExecSQL(
        u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
        "INSERT INTO Entries (Parent, Name, Folder, Size, Modified, ImageID, CD, FullPath) "
        "SELECT Parent, 'copy' || i || '.txt', 0, %2, Modified, ImageID, CD, FullPath "
        "FROM n, (SELECT * FROM Entries WHERE Name = 'report.txt')"_s.arg(count)
            .arg(size),
        {});
}

void TestFindDialogs::ALargeResultIsCountedAfterItIsShown()
{
    // Copies of a catalogued file, more than the list shows.
    AddCopies(20500, u"Size"_s);
    W->Edit1->setText(u"copy*"_s);
    FindNow();
    // The first screenful is there at once, the rest follows while the window takes events.
    QVERIFY(W->Entries->Items()->Count() > 0 && W->Entries->Items()->Count() < 20000);
    QTRY_COMPARE(W->SB2->currentMessage(), u"20,500 file(s) found, the first 20,000 shown"_s);
    QCOMPARE(W->Entries->Items()->Count(), 20000);
    QVERIFY(!QApplication::overrideCursor());

    // A search started while the count runs shows its own figure only.
    W->Edit1->setText(u"copy*"_s);
    FindNow();
    W->Edit1->setText(u"report.txt"_s);
    FindNow();
    QTRY_COMPARE(W->SB2->currentMessage(), u"1 file(s) found"_s);
    QTest::qWait(100);
    QCOMPARE(W->SB2->currentMessage(), u"1 file(s) found"_s);
}

void TestFindDialogs::AResultSortedWhileItLoadsEndsSorted()
{
    AddCopies(3000, u"(i * 7919) % 10007"_s);
    W->Edit1->setText(u"copy*"_s);
    FindNow();
    QVERIFY(W->Entries->Items()->Count() < 3000);
    ClickHeader(W->Entries, 2);
    ClickHeader(W->Entries, 2);
    QTRY_VERIFY(W->Entries->LoadingComplete());
    QCOMPARE(W->Entries->Items()->Count(), 3000);
    // By size as a number, largest first, over every row however it came in.
    qint64 previous = std::numeric_limits<qint64>::max();
    for (int i = 0; i < W->Entries->Items()->Count(); ++i) {
        const qint64 size = W->Entries->Items()->Item(i)->SubItems().at(1).toLongLong();
        QVERIFY2(size <= previous, qPrintable(u"row %1"_s.arg(i)));
        previous = size;
    }
}

QStringList TestFindDialogs::Found()
{
    QStringList names;
    for (int i = 0; i < W->Entries->Items()->Count(); ++i)
        names << W->Entries->Items()->Item(i)->Caption();
    names.sort();
    return names;
}

void TestFindDialogs::Searching_data()
{
    QTest::addColumn<QString>("named");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<int>("sizeRelation");
    QTest::addColumn<QString>("kb");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("found");

    const QStringList everything{u"Big report.doc"_s, u"docs"_s, u"notes.txt"_s, u"photo.jpg"_s,
                                 u"report.txt"_s};
    QTest::newRow("defaults: every entry but the root")
        << u"*"_s << false << -1 << u"0"_s << QString() << everything;
    QTest::newRow("a pattern, letter case aside") << u"*REPORT*"_s << false << -1 << u"0"_s << QString()
                                                  << QStringList{u"Big report.doc"_s, u"report.txt"_s};
    QTest::newRow("blank and star is a pattern")
        << u" *"_s << true << -1 << u"0"_s << QString() << QStringList();
    QTest::newRow("star with whole match is no condition")
        << u"*"_s << true << -1 << u"0"_s << QString() << everything;
    QTest::newRow("whole match") << u"REPORT.TXT"_s << true << -1 << u"0"_s << QString()
                                 << QStringList{u"report.txt"_s};
    QTest::newRow("size equal, in KB")
        << u"*"_s << false << 0 << u"2"_s << QString() << QStringList{u"notes.txt"_s};
    QTest::newRow("at least") << u"*.*"_s << false << 1 << u"1"_s << QString()
                              << QStringList{u"Big report.doc"_s, u"notes.txt"_s};
    QTest::newRow("at most") << u"*.*"_s << false << 2 << u"2"_s << QString()
                             << QStringList{u"photo.jpg"_s, u"report.txt"_s};
    QTest::newRow("of a type") << u"*"_s << false << -1 << u"0"_s << u"txt"_s
                               << QStringList{u"notes.txt"_s, u"report.txt"_s};
    QTest::newRow("nothing") << u"*.zip"_s << false << -1 << u"0"_s << QString() << QStringList();
}

void TestFindDialogs::Searching()
{
    QFETCH(QString, named);
    QFETCH(int, sizeRelation);
    QFETCH(QString, type);
    QFETCH(QStringList, found);
    W->Edit1->setText(named);
    QFETCH(bool, whole);
    W->CheckBox1->setChecked(whole);
    W->ComboBox1->setCurrentIndex(sizeRelation);
    QFETCH(QString, kb);
    W->Edit2->setText(kb);
    if (!type.isEmpty()) {
        const int typeId = F->Global->ImageIDForFile(u"x."_s + type);
        W->ComboBox3->setCurrentIndex(W->ComboBox3->findData(typeId));
    }
    FindNow();
    QTRY_COMPARE(Found(), found);
    QCOMPARE(W->SB2->currentMessage(), u"%1 file(s) found"_s.arg(found.size()));
    QVERIFY(W->Entries->isVisible());
    QCOMPARE(W->height(), 370);
    QVERIFY(F->Errors.isEmpty());
}

void TestFindDialogs::OneDayIncludesTheWholeDay()
{
    F->Global->Database.ExecSQL(
        u"UPDATE Entries SET Modified = CASE Name WHEN 'report.txt' THEN '2024-05-17 23:59:59.500' "
        "WHEN 'notes.txt' THEN '2024-05-17 00:00:00.000' WHEN 'photo.jpg' THEN '2024-05-18 00:00:00.000' "
        "ELSE '2024-05-16 23:59:59.999' END"_s,
        {});
    QTest::mouseClick(W->RadioButton2, Qt::LeftButton);
    QVERIFY(W->Edit3->isEnabled());
    W->Edit3->setText(u"5/17/2024"_s);
    W->Edit4->setText(u"5/17/2024"_s);
    FindNow();
    QTRY_COMPARE(Found(), (QStringList{u"notes.txt"_s, u"report.txt"_s}));

    // A date that is no date turns red when left and keeps Find Now disabled.
    W->Edit3->setFocus();
    W->Edit3->setText(u"31/31/2024"_s);
    W->Edit4->setFocus();
    QCOMPARE(W->Edit3->palette().color(QPalette::Text), QColor(Qt::red));
    QVERIFY(!W->Button1->isEnabled());
    W->Edit3->setFocus();
    W->Edit3->setText(u"5/1/2024"_s);
    W->Edit4->setFocus();
    QVERIFY(W->Button1->isEnabled());
}

void TestFindDialogs::ABadSizeFailsAndLeavesTheWindowUsable()
{
    FindNow();
    QTRY_VERIFY(W->Entries->Items()->Count() > 0);
    // The failed search shows none of the previous one's rows nor its count.
    W->Edit2->setText(u"12a"_s);
    FindNow();
    QCOMPARE(F->Errors, QStringList{u"'12a' is not a valid integer value"_s});
    QCOMPARE(W->height(), 370);
    QVERIFY(W->Entries->isVisible() && W->Button1->isEnabled());
    QCOMPARE(W->Entries->Items()->Count(), 0);
    QVERIFY(W->SB2->currentMessage().isEmpty());
    QVERIFY(!QApplication::overrideCursor());
    W->Edit2->setText(u"0"_s);
    FindNow();
    QTRY_COMPARE(Found().size(), 5);
}

void TestFindDialogs::NewSearchKeepsSomeChoices()
{
    W->CheckBox1->setChecked(true);
    W->RadioButton2->setChecked(true);
    W->Edit1->setText(u"report.txt"_s);
    W->Edit2->setText(u"7"_s);
    W->ComboBox1->setCurrentIndex(1);
    FindNow();
    QTest::mouseClick(W->Button2, Qt::LeftButton);
    QCOMPARE(W->height(), 225);
    QVERIFY(W->Entries->isHidden());
    QCOMPARE(W->Entries->Items()->Count(), 0);
    QCOMPARE(W->Edit1->text(), u"*"_s);
    QCOMPARE(W->Edit2->text(), u"0"_s);
    QCOMPARE(W->ComboBox1->currentIndex(), -1);
    QVERIFY(W->CheckBox1->isChecked());
    QVERIFY(W->RadioButton2->isChecked());
    QVERIFY(W->SB2->isVisible());
    QVERIFY(W->SB2->currentMessage().isEmpty());
    const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
    if (!folder.isEmpty())
        W->grab().save(folder + u"/find-before.png"_s);
}

void TestFindDialogs::ContainingTextFindsByDescription()
{
    F->Global->Database.ExecSQL(u"UPDATE Entries SET Description = ? WHERE Name = ?"_s,
                                {TVariant(u"Holiday at the Lake, day one"_s), TVariant(u"photo.jpg"_s)});
    F->Global->Database.ExecSQL(u"UPDATE Entries SET Description = ? WHERE Name = ?"_s,
                                {TVariant(u"Lake notes"_s), TVariant(u"notes.txt"_s)});
    W->Edit5->setFocus();
    QTest::keyClicks(W->Edit5, u"lake holi"_s);
    const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
    if (!folder.isEmpty())
        W->grab().save(folder + u"/find-text.png"_s);
    FindNow();
    QTRY_COMPARE(Found(), QStringList{u"photo.jpg"_s});
    // With the name it holds together; New Search empties the field.
    W->Edit5->setText(u"lake"_s);
    W->Edit1->setText(u"*.txt"_s);
    FindNow();
    QTRY_COMPARE(Found(), QStringList{u"notes.txt"_s});
    QTest::mouseClick(W->Button2, Qt::LeftButton);
    QVERIFY(W->Edit5->text().isEmpty());
    FindNow();
    QTRY_COMPARE(Found().size(), 5);
    QVERIFY(F->Errors.isEmpty());
}

void TestFindDialogs::PropertiesOfAResult()
{
    W->Edit1->setText(u"notes.txt"_s);
    FindNow();
    QTRY_COMPARE(W->Entries->Items()->Count(), 1);
    TListItem *item = W->Entries->Items()->Item(0);
    QTest::mouseClick(W->Entries->Viewport(), Qt::LeftButton, {}, item->DisplayRect().center());
    QString shown;
    QTimer::singleShot(0, this, [&] {
        if (auto *prop = qobject_cast<TProp *>(QApplication::activeModalWidget())) {
            shown = prop->findChild<QLabel *>(u"FileName"_s)->text();
            prop->reject();
        }
    });
    W->findChild<QAction *>(u"Properties1"_s)->trigger();
    QCOMPARE(shown, u"notes.txt"_s);
    const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
    if (!folder.isEmpty())
        W->grab().save(folder + u"/find-after.png"_s);
}

// The width and the room given to the results come back; before a search the window keeps its
// own height, whatever it had when it closed.
void TestFindDialogs::TheNextSearchHasTheRoomOfTheLast()
{
    W->Edit1->setText(u"*report*"_s);
    FindNow();
    QTRY_VERIFY(!Found().isEmpty());
    W->resize(600, 450);
    W->close();
    W = std::make_unique<TFind>();
    W->FillChoices();
    W->show();
    QVERIFY(QTest::qWaitForWindowExposed(W.get()));
    QCOMPARE(W->size(), QSize(600, 225));
    W->Edit1->setText(u"*report*"_s);
    FindNow();
    QTRY_VERIFY(!Found().isEmpty());
    QCOMPARE(W->size(), QSize(600, 450));
}

QTEST_MAIN(TestFindDialogs)
#include "tst_FindDialogs.moc"
