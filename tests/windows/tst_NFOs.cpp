// The info-file patterns editor and the volume picture picker, driven as a user drives them.

#include "CDImage.h"
#include "DBControls.h"
#include "DBGrids.h"
#include "DBNavigators.h"
#include "DataBaseListView.h"
#include "NFOs.h"
#include "Queries.h"
#include "WindowsFixture.h"

#include <QAction>
#include <QApplication>
#include <QToolButton>

using namespace Qt::StringLiterals;

// A check box takes clicks on its box and caption only, not on the rest of its width.
void Tick(QWidget *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

class TestNFOs : public QObject
{
    Q_OBJECT

private slots:
    void init() { F = std::make_unique<TWindowsFixture>(); }
    void cleanup() { F.reset(); }

    void AddEditAndDeletePatterns();
    void ANewPatternIsUsedByTheNextImport();
    void PickerOffersVolumePicturesOnly();

private:
    QStringList Patterns();
    void Type(const QString &text);
    void ClickRow(TDBGrid *grid, int row);

    std::unique_ptr<TWindowsFixture> F;
};

QStringList TestNFOs::Patterns()
{
    TQuery query;
    query.SetDatabase(&F->Global->Database);
    query.SetSQL({u"SELECT NameNFO, ForFolder, ForFile FROM Nfo ORDER BY NameNFO"_s});
    query.Open();
    QStringList rows;
    for (; !query.Eof(); query.Next())
        rows << u"%1 %2 %3"_s.arg(query.Fields(0)->AsString())
                    .arg(int(query.Fields(1)->AsBoolean()))
                    .arg(int(query.Fields(2)->AsBoolean()));
    return rows;
}

void TestNFOs::Type(const QString &text)
{
    for (const QChar c : text)
        QTest::keyClicks(QApplication::focusWidget(), QString(c));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::processEvents();
}

void TestNFOs::ClickRow(TDBGrid *grid, int row)
{
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(row, 0)).center());
}

void TestNFOs::AddEditAndDeletePatterns()
{
    const QStringList before = Patterns();
    TNFO editor;
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));

    // A new pattern for folders only.
    QTest::mouseClick(editor.Navigator->Button(nbInsert), Qt::LeftButton);
    editor.Grid->setFocus();
    Type(u"notes.txt"_s);
    Tick(editor.ForFolder);
    QTest::mouseClick(editor.Navigator->Button(nbPost), Qt::LeftButton);
    QVERIFY2(Patterns().contains(u"notes.txt 1 0"_s), qPrintable(Patterns().join(u'|')));

    // Both boxes turned the other way, on the same row.
    Tick(editor.ForFolder);
    Tick(editor.ForFile);
    QTest::mouseClick(editor.Navigator->Button(nbPost), Qt::LeftButton);
    QVERIFY2(Patterns().contains(u"notes.txt 0 1"_s), qPrintable(Patterns().join(u"|"_s)));

    // Neither box: the editor refuses nothing.
    Tick(editor.ForFile);
    QTest::mouseClick(editor.Navigator->Button(nbPost), Qt::LeftButton);
    QVERIFY(Patterns().contains(u"notes.txt 0 0"_s));

    TMessageBox::SetNextAnswer(QMessageBox::Ok);
    TMessageBox::SetNextAnswer(QMessageBox::Yes);
    QTest::mouseClick(editor.Navigator->Button(nbDelete), Qt::LeftButton);
    QCOMPARE(Patterns(), before);

    // A pattern typed but not posted when the window closes is kept.
    QTest::mouseClick(editor.Navigator->Button(nbInsert), Qt::LeftButton);
    editor.Grid->setFocus();
    Type(u"*.txt"_s);
    editor.close();
    QVERIFY(Patterns().contains(u"*.txt 0 0"_s));
    QVERIFY(F->Errors.isEmpty());
    const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
    if (!folder.isEmpty())
        editor.grab().save(folder + u"/nfo.png"_s);
}

void TestNFOs::ANewPatternIsUsedByTheNextImport()
{
    {
        TNFO editor;
        editor.show();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        QTest::mouseClick(editor.Navigator->Button(nbInsert), Qt::LeftButton);
        editor.Grid->setFocus();
        Type(u"notes.txt"_s);
        Tick(editor.ForFolder);
        editor.close();
    }
    F->Write(u"one"_s, u"music/notes.txt"_s, "Concert recordings");
    const int cd = F->Catalogue(u"one"_s, u"ONE"_s, 0x12345678);
    F->Global->LoadDescriptions(cd, F->VolumePath(u"one"_s));
    TQuery query;
    query.SetDatabase(&F->Global->Database);
    query.SetSQL({u"SELECT Description FROM Entries WHERE Name = 'music'"_s});
    query.Open();
    QCOMPARE(query.Fields(0)->AsString(), u"Concert recordings"_s);
}

void TestNFOs::PickerOffersVolumePicturesOnly()
{
    TCDImages picker;
    QVERIFY(!picker.SetSelectedImageID(3));
    QVERIFY(picker.SetSelectedImageID(2));
    picker.show();
    QVERIFY(QTest::qWaitForWindowExposed(&picker));
    QCOMPARE(picker.GetSelectedImageID(), 2);
    QTRY_VERIFY(picker.DBL->Items()->Count() > 1);
    TQuery query;
    query.SetDatabase(&F->Global->Database);
    query.SetSQL({u"SELECT count(*) FROM Images WHERE CD <> 0"_s});
    query.Open();
    QCOMPARE(picker.DBL->Items()->Count(), query.Fields(0)->AsInteger());

    // A double click on another picture takes it and closes the picker with OK.
    TListItem *other = picker.DBL->Items()->Item(picker.DBL->Items()->Count() - 1);
    other->MakeVisible(false);
    QTest::mouseDClick(picker.DBL->Viewport(), Qt::LeftButton, {}, other->DisplayRect().center());
    QCOMPARE(picker.result(), int(QDialog::Accepted));
    QVERIFY(picker.GetSelectedImageID() != 2);
    QCOMPARE(picker.GetSelectedImageID(),
             static_cast<TDBListItem *>(other)->Key().Elements().at(0).AsInteger());

    picker.findChild<QAction *>(u"LargeIcons1"_s)->trigger();
    QCOMPARE(picker.DBL->ViewStyle(), vsIcon);
    const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
    if (!folder.isEmpty())
        picker.grab().save(folder + u"/picker.png"_s);
}

QTEST_MAIN(TestNFOs)
#include "tst_NFOs.moc"
