#include "DBControls.h"
#include "DataBaseListView.h"
#include "Databases.h"
#include "ErrorHandlers.h"
#include "ImageLists.h"
#include "Queries.h"
#include "Tables.h"
#include "TestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

using namespace Qt::StringLiterals;

// The data-aware list view over a real table, driven by clicks and keys and by the table itself.
class TestDataBaseListView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void Loading_data();
    void Loading();
    void FocusAndCursorFollowEachOther();
    void Insert_data();
    void Insert();
    void InsertNamedInPlace();
    void EditsThroughAnotherControl();
    void CaptionEditWritesTheName();
    void DeleteFocusedRecord_data();
    void DeleteFocusedRecord();
    void TwoChangesOneReload();
    void PopupMenus_data();
    void PopupMenus();
    void MissingFields();
    void EffectiveDefaults_data();
    void EffectiveDefaults();
    void FirstItemWithAKey();
    void OwnDeleteHandlersStayCalled();
    void LoadInSteps();

private:
    // Shows the form and waits until the posted reload has run.
    void Open(const QString &keyFields = u"ID"_s);
    int CurrentId() const { return FTable->FieldByName(u"ID"_s)->AsInteger(); }
    int Stored(const QString &sql) { return int(ScalarOf(*FDb, sql)); }
    void Click(TListItem *item, Qt::MouseButton button = Qt::LeftButton);
    QStringList Captions() const;

    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TDatabase> FDb;
    std::unique_ptr<TTable> FTable;
    std::unique_ptr<TDataSource> FSource;
    std::unique_ptr<TCustomImageList> FLarge;
    std::unique_ptr<QWidget> FForm;
    TDBListView *FView = nullptr;
    TDBEdit *FEdit = nullptr;
    int FBefore = 0;
    int FAfter = 0;
    QStringList FErrors;
};

void TestDataBaseListView::init()
{
    FBefore = FAfter = 0;
    FErrors.clear();
    SetExceptionDisplay([this](const QString &message) { FErrors << message; });
    FDir = std::make_unique<QTemporaryDir>();
    FDb = std::make_unique<TDatabase>();
    FDb->SetDriverName(u"SQLITE"_s);
    FDb->SetParams({u"DATABASE NAME="_s + FDir->filePath(u"list.db"_s), u"CREATE=TRUE"_s});
    FDb->Open();
    FDb->ExecSQL(
        u"CREATE TABLE Files (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(40), ImageID SMALLINT, "
        "Status SMALLINT, Size INTEGER, Note VARCHAR(20))"_s);
    FDb->ExecSQL(u"INSERT INTO Files (Name, ImageID, Status, Size, Note) VALUES ('alpha', 0, 1, 10, 'a'), "
                 "('beta', 1, NULL, 20, 'b'), ('gamma', 2, 0, 30, NULL), ('delta', NULL, 1, 40, 'd'), "
                 "('epsilon', 1, 0, 50, 'e')"_s);
    FTable = std::make_unique<TTable>();
    FTable->SetDatabase(FDb.get());
    FTable->SetTableName(u"Files"_s);
    FTable->SetIndexName(u"PrimaryKey"_s);
    FSource = std::make_unique<TDataSource>(FTable.get());
    FLarge = std::make_unique<TCustomImageList>();
    FLarge->SetWidth(32);
    FLarge->SetHeight(32);
    for (QColor color : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue)}) {
        QImage picture(32, 32, QImage::Format_RGB32);
        picture.fill(color);
        FLarge->Add(picture);
    }

    FForm = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(FForm.get());
    FView = new TDBListView(FForm.get());
    FEdit = new TDBEdit(FForm.get());
    layout->addWidget(FView);
    layout->addWidget(FEdit);
    FView->Columns()->Add(u"Name"_s, 100);
    FView->Columns()->Add(u"Size"_s, 60);
    FView->Columns()->Add(u"Note"_s, 60);
    FView->SetViewStyle(vsReport);
    FView->SetLargeImages(FLarge.get());
    FView->SetNameField(u"Name"_s);
    FView->SetImageIDField(u"ImageID"_s);
    FView->SetColumnsFields(u"Size;Note"_s);
    FView->BeforeItemsLoading = {[this](TDBCustomListView *view) {
        ++FBefore;
        QCOMPARE(view->Items()->Count(), 0);
    }};
    FView->AfterItemsLoading = {[this](TDBCustomListView *) { ++FAfter; }};
    FEdit->SetDataSource(FSource.get());
    FEdit->SetDataField(u"Name"_s);
    FForm->resize(360, 320);
}

void TestDataBaseListView::cleanup()
{
    FForm.reset();
    FSource.reset();
    FTable.reset();
    FDb.reset();
    FDir.reset();
    SetExceptionDisplay({});
}

void TestDataBaseListView::Open(const QString &keyFields)
{
    FView->SetKeyFields(keyFields);
    FView->SetDataSource(FSource.get());
    FTable->Open();
    FForm->show();
    FForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
    QCoreApplication::sendPostedEvents(FView);
}

void TestDataBaseListView::Click(TListItem *item, Qt::MouseButton button)
{
    QTest::mouseClick(FView->Viewport(), button, {}, item->DisplayRect().center());
}

QStringList TestDataBaseListView::Captions() const
{
    QStringList captions;
    for (int i = 0; i < FView->Items()->Count(); ++i)
        captions << FView->Items()->Item(i)->Caption();
    return captions;
}

void TestDataBaseListView::Loading_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("keyFields");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<int>("loads");
    const QStringList all{u"alpha"_s, u"beta"_s, u"gamma"_s, u"delta"_s, u"epsilon"_s};
    QTest::newRow("all") << QString() << u"ID"_s << all << 1;
    QTest::newRow("two key fields") << QString() << u"ID;Name"_s << all << 1;
    QTest::newRow("one key field missing") << QString() << u"Nope;ID"_s << all << 1;
    QTest::newRow("no key field exists") << QString() << u"Nope;Other"_s << QStringList() << 0;
    QTest::newRow("empty table") << u"1"_s << u"ID"_s << QStringList() << 1;
}

void TestDataBaseListView::Loading()
{
    QFETCH(QString, where);
    QFETCH(QString, keyFields);
    QFETCH(QStringList, captions);
    QFETCH(int, loads);
    if (!where.isEmpty())
        FDb->ExecSQL(u"DELETE FROM Files"_s);
    FView->SetDefImage(2);
    Open(keyFields);
    QCOMPARE(Captions(), captions);
    QCOMPARE(FBefore, loads);
    QCOMPARE(FAfter, loads);
    if (captions.isEmpty())
        return;
    TListItems &items = *FView->Items();
    QCOMPARE(items[0]->SubItems(), (QStringList{u"10"_s, u"a"_s}));
    QCOMPARE(items[2]->SubItems(), (QStringList{u"30"_s, QString()}));
    QCOMPARE(items[1]->ImageIndex(), 1);
    QCOMPARE(items[3]->ImageIndex(), 2); // null: the default
    QCOMPARE(FView->KeyFieldsCount(), keyFields == u"ID;Name"_s ? 2 : 1);
    // The table stays on its first record and the focus is on its item.
    QCOMPARE(CurrentId(), 1);
    QCOMPARE(FView->ItemFocused(), items[0]);
    QCOMPARE(FView->Selected(), items[0]);
    auto *first = static_cast<TDBListItem *>(items[0]);
    QCOMPARE(first->Key(), keyFields == u"ID;Name"_s
                               ? TVariant::Array({TVariant(qint32(1)), TVariant(u"alpha"_s)})
                               : TVariant::Array({TVariant(qint32(1))}));
}

void TestDataBaseListView::FocusAndCursorFollowEachOther()
{
    Open();
    TListItems &items = *FView->Items();
    FTable->Locate(u"ID"_s, TVariant(qint32(3)));
    QCOMPARE(FView->ItemFocused(), items[2]);
    QCOMPARE(FView->Selected(), items[2]);
    FTable->Next();
    QCOMPARE(FView->ItemFocused(), items[3]);

    Click(items[1]);
    QCOMPARE(CurrentId(), 2);
    QTest::keyClick(FView->ActivePane(), Qt::Key_Down);
    QCOMPARE(CurrentId(), 3);
    QTest::keyClick(FView->ActivePane(), Qt::Key_End);
    QCOMPARE(CurrentId(), 5);
    FView->SetViewStyle(vsIcon);
    Click(items[0]);
    QCOMPARE(CurrentId(), 1);
    QCOMPARE(FBefore, 1); // no move made the list load again
}

void TestDataBaseListView::Insert_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("cancelled unchanged") << QString();
    QTest::newRow("posted") << u"zeta"_s;
}

void TestDataBaseListView::Insert()
{
    QFETCH(QString, name);
    Open();
    TListItems &items = *FView->Items();
    FTable->Locate(u"ID"_s, TVariant(qint32(2)));
    FTable->Append();
    QCOMPARE(items.Count(), 6);
    QCOMPARE(FView->ItemFocused(), items[5]);
    QVERIFY(items[5]->Selected());
    if (name.isEmpty()) {
        FTable->Cancel();
        QCOMPARE(items.Count(), 5);
        QCOMPARE(CurrentId(), 2);
        QCOMPARE(FView->ItemFocused(), items[1]);
        return;
    }
    FTable->FieldByName(u"Name"_s)->SetAsString(name);
    QCOMPARE(items[5]->Caption(), name);
    FTable->FieldByName(u"Size"_s)->SetAsInteger(60);
    FTable->Post();
    QCOMPARE(items.Count(), 6);
    QCOMPARE(FView->ItemFocused(), items[5]);
    auto *item = static_cast<TDBListItem *>(items[5]);
    QCOMPARE(item->Key(), TVariant::Array({TVariant(qint32(6))}));
    QCOMPARE(item->SubItems(), (QStringList{u"60"_s, QString()}));
    // Its record is reached from the item like any other.
    Click(items[0]);
    Click(items[5]);
    QCOMPARE(CurrentId(), 6);
    QCOMPARE(FBefore, 1);
}

void TestDataBaseListView::InsertNamedInPlace()
{
    Open();
    TListItems &items = *FView->Items();
    FEdit->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(FEdit->hasFocus());
    FTable->Append();
    // Coming back to the list opens the new item's caption for its name.
    FView->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(FView->IsEditing());
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    QTest::keyClicks(editor, u"omega"_s);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!FView->IsEditing());
    QCOMPARE(FTable->State(), TDataSetState::Insert);
    QCOMPARE(FEdit->text(), u"omega"_s);
    Click(items[0]);
    QCOMPARE(Stored(u"SELECT count(*) FROM Files WHERE Name = 'omega' AND ID = 6"_s), 1);
    QCOMPARE(items.Count(), 6);
    QCOMPARE(items[5]->Caption(), u"omega"_s);
    QCOMPARE(static_cast<TDBListItem *>(items[5])->Key(), TVariant::Array({TVariant(qint32(6))}));
    QCOMPARE(CurrentId(), 1);
}

void TestDataBaseListView::EditsThroughAnotherControl()
{
    Open();
    TListItems &items = *FView->Items();
    Click(items[1]);
    FEdit->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(FEdit->hasFocus());
    QTest::keyClick(FEdit, Qt::Key_End);
    QTest::keyClicks(FEdit, u" two"_s);
    QCOMPARE(FTable->State(), TDataSetState::Edit);
    // Leaving the edit for another item writes, posts, and shows the new name in the old item.
    Click(items[3]);
    QCOMPARE(FTable->State(), TDataSetState::Browse);
    QCOMPARE(Stored(u"SELECT Name = 'beta two' FROM Files WHERE ID = 2"_s), 1);
    QCOMPARE(items[1]->Caption(), u"beta two"_s);
    QCOMPARE(CurrentId(), 4);
    QCOMPARE(FView->ItemFocused(), items[3]);

    FTable->Edit();
    FTable->FieldByName(u"Size"_s)->SetAsInteger(41);
    QCOMPARE(items[3]->SubItems().value(0), u"41"_s);
    FTable->Cancel();
    QCOMPARE(items[3]->SubItems().value(0), u"40"_s);
}

void TestDataBaseListView::CaptionEditWritesTheName()
{
    Open();
    TListItems &items = *FView->Items();
    Click(items[2]);
    QTest::keyClick(FView->ActivePane(), Qt::Key_F2);
    QCOMPARE(FTable->State(), TDataSetState::Edit);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, u"Gamma ray"_s);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!FView->IsEditing());
    QCOMPARE(FTable->FieldByName(u"Name"_s)->AsString(), u"Gamma ray"_s);
    QCOMPARE(FEdit->text(), u"Gamma ray"_s);
    Click(items[0]);
    QCOMPARE(Stored(u"SELECT Name = 'Gamma ray' FROM Files WHERE ID = 3"_s), 1);
    QCOMPARE(items[2]->Caption(), u"Gamma ray"_s);
    QCOMPARE(CurrentId(), 1);

    // A read-only view opens no editor and leaves the table browsing.
    FView->SetReadOnly(true);
    QTest::keyClick(FView->ActivePane(), Qt::Key_F2);
    QVERIFY(!FView->IsEditing());
    QCOMPARE(FTable->State(), TDataSetState::Browse);
}

void TestDataBaseListView::DeleteFocusedRecord_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("focused"); // index afterwards
    QTest::newRow("first") << 1 << 0;
    QTest::newRow("second") << 2 << 0;
    QTest::newRow("middle") << 3 << 1;
    QTest::newRow("last") << 5 << 3;
}

void TestDataBaseListView::DeleteFocusedRecord()
{
    QFETCH(int, id);
    QFETCH(int, focused);
    Open();
    TListItems &items = *FView->Items();
    Click(items[id - 1]);
    FTable->Delete();
    QCOMPARE(items.Count(), 4);
    QVERIFY(!Captions().contains(
        QStringList{u"alpha"_s, u"beta"_s, u"gamma"_s, u"delta"_s, u"epsilon"_s}[id - 1]));
    QCOMPARE(FView->ItemFocused(), items[focused]);
    QCOMPARE(CurrentId(), static_cast<TDBListItem *>(items[focused])->Key()[0].AsInteger());
    QCOMPARE(FBefore, 1);

    // The last records go too, down to an empty list.
    while (!FTable->IsEmpty())
        FTable->Delete();
    QCOMPARE(items.Count(), 0);
    QVERIFY(FErrors.isEmpty());
}

void TestDataBaseListView::TwoChangesOneReload()
{
    Open();
    QCOMPARE(FBefore, 1);
    FView->SetColumnsFields(u"Note"_s);
    FView->SetKeyFields(u"ID;Name"_s);
    FDb->ExecSQL(u"INSERT INTO Files (Name) VALUES ('zeta')"_s);
    FTable->Refresh();
    QCOMPARE(FBefore, 1);
    QCoreApplication::sendPostedEvents(FView);
    QCOMPARE(FBefore, 2);
    QCOMPARE(FView->Items()->Count(), 6);
    QCOMPARE(FView->Items()->Item(0)->SubItems(), QStringList{u"a"_s});
    QCoreApplication::sendPostedEvents(FView);
    QCOMPARE(FBefore, 2);
    FView->ReopenDataSet();
    QCoreApplication::sendPostedEvents(FView);
    QCOMPARE(FBefore, 3);
    QCOMPARE(FView->Items()->Count(), 6);
}

void TestDataBaseListView::PopupMenus_data()
{
    QTest::addColumn<bool>("objectMenu");
    QTest::addColumn<bool>("overItem");
    QTest::addColumn<QString>("shown");
    QTest::newRow("item, object menu") << true << true << u"object"_s;
    QTest::newRow("empty space, object menu") << true << false << u"popup"_s;
    QTest::newRow("item, no object menu") << false << true << u"popup"_s;
    QTest::newRow("empty space, no object menu") << false << false << u"popup"_s;
}

void TestDataBaseListView::PopupMenus()
{
    QFETCH(bool, objectMenu);
    QFETCH(bool, overItem);
    QFETCH(QString, shown);
    QMenu popup;
    QMenu object;
    popup.addAction(u"&View"_s);
    object.addAction(u"&Properties"_s);
    FView->SetPopupMenu(&popup);
    if (objectMenu)
        FView->SetObjectMenu(&object);
    Open();
    const QPoint pos = overItem ? FView->Items()->Item(1)->DisplayRect().center()
                                : QPoint(20, FView->Viewport()->height() - 5);
    QTest::mousePress(FView->Viewport(), Qt::RightButton, {}, pos);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, FView->Viewport()->mapToGlobal(pos));
    QApplication::sendEvent(FView->Viewport(), &event);
    QMenu &expected = shown == u"object"_s ? object : popup;
    QTRY_VERIFY(expected.isVisible());
    QVERIFY(!(&expected == &popup ? object : popup).isVisible());
    QCOMPARE(FView->PopupMenu(), &popup);
    expected.close();
    if (overItem)
        QCOMPARE(CurrentId(), 2);
}

void TestDataBaseListView::MissingFields()
{
    Open();
    FView->SetColumnsFields(u"Size;Nope"_s);
    QCOMPARE(FView->ColumnsFields(), u"Size"_s);
    FView->SetImageIDField(u"Nope"_s);
    FView->SetDefImage(1);
    QCoreApplication::sendPostedEvents(FView);
    QCOMPARE(FView->Items()->Item(0)->ImageIndex(), 1);
    QCOMPARE(FView->Items()->Item(0)->SubItems(), QStringList{u"10"_s});

    bool raised = false;
    try {
        FView->SetNameField(u"Nope"_s);
    } catch (const EDatabaseError &error) {
        raised = error.Message().contains(u"Field 'Nope' not found"_s);
    }
    QVERIFY(raised);
    // Nothing of the failed binding is used: a move shows no caption rather than crashing.
    FTable->Next();
    QCOMPARE(FView->ItemFocused(), FView->Items()->Item(1));
}

void TestDataBaseListView::EffectiveDefaults_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<bool>("images");
    QTest::addColumn<int>("effective");
    QTest::newRow("in range") << 2 << true << 2;
    QTest::newRow("beyond the list") << 5 << true << 0;
    QTest::newRow("at the count") << 3 << true << 0;
    QTest::newRow("negative") << -1 << true << 0;
    QTest::newRow("no list") << 2 << false << 0;
}

void TestDataBaseListView::EffectiveDefaults()
{
    QFETCH(int, raw);
    QFETCH(bool, images);
    QFETCH(int, effective);
    if (!images)
        FView->SetLargeImages(nullptr);
    FView->SetStateImages(images ? FLarge.get() : nullptr);
    FView->SetDefImage(raw);
    FView->SetDefStatus(raw);
    QCOMPARE(FView->DefImage(), effective);
    QCOMPARE(FView->DefStatus(), effective);
    FView->SetStatusIDField(u"Status"_s);
    Open();
    QCOMPARE(FView->Items()->Item(3)->ImageIndex(), effective);
    QCOMPARE(FView->Items()->Item(1)->StateIndex(), effective);
    QCOMPARE(FView->Items()->Item(0)->StateIndex(), 1);
}

void TestDataBaseListView::FirstItemWithAKey()
{
    FDb->ExecSQL(u"UPDATE Files SET Name = 'same' WHERE ID IN (2, 4)"_s);
    Open(u"Name"_s);
    TListItems &items = *FView->Items();
    const TVariant same = TVariant::Array({TVariant(u"same"_s)});
    QCOMPARE(FView->FindItemByKey(same), items[1]);
    QCOMPARE(FView->FindItemByKey(TVariant::Array({TVariant(u"Same"_s)})), nullptr);
    QCOMPARE(FView->FindItemByKey(TVariant::Array({TVariant(qint32(2))})), nullptr);
    QCOMPARE(FView->FindItemByKey(TVariant::Array({TVariant::Null()})), nullptr);
    // A new key moves an item in the index; a deleted one leaves it.
    static_cast<TDBListItem *>(items[3])->SetKey(TVariant::Array({TVariant(u"other"_s)}));
    QCOMPARE(FView->FindItemByKey(TVariant::Array({TVariant(u"other"_s)})), items[3]);
    items[1]->Delete();
    QCOMPARE(FView->FindItemByKey(same), nullptr);
    static_cast<TDBListItem *>(items[0])->SetKey(same);
    static_cast<TDBListItem *>(items[3])->SetKey(same);
    QCOMPARE(FView->FindItemByKey(same), items[0]);
    // A table move finds its item among equal keys the same way.
    FTable->Locate(u"ID"_s, TVariant(qint32(3)));
    QCOMPARE(FView->ItemFocused(), items[1]);
}

void TestDataBaseListView::OwnDeleteHandlersStayCalled()
{
    QStringList calls;
    FTable->BeforeDelete = {[&calls](TDataSet *) { calls << u"before"_s; }};
    FTable->AfterDelete = {[&calls](TDataSet *) { calls << u"after"_s; }};
    Open();
    FTable->Delete();
    FTable->Next();
    FTable->Delete();
    QCOMPARE(calls, (QStringList{u"before"_s, u"after"_s, u"before"_s, u"after"_s}));
    QCOMPARE(FView->Items()->Count(), 3);
    // Bound to another open table, the view shows it and gives the first its handlers back.
    TTable other;
    other.SetDatabase(FDb.get());
    other.SetTableName(u"Files"_s);
    other.SetIndexName(u"PrimaryKey"_s);
    other.SetFilter(u"Size > 40"_s);
    other.SetFiltered(true);
    other.Open();
    TDataSource otherSource(&other);
    FView->SetDataSource(&otherSource);
    QVERIFY(FTable->BeforeDelete.Target() != FView && FTable->BeforeDelete);
    QCOMPARE(other.BeforeDelete.Target(), FView);
    QCoreApplication::sendPostedEvents(FView);
    QCOMPARE(Captions(), QStringList{u"epsilon"_s});
    FForm.reset();
    QVERIFY(!other.BeforeDelete);
    FTable->Delete();
    QCOMPARE(calls.size(), 6);
}

void TestDataBaseListView::LoadInSteps()
{
    FView->SetLoadStep(2);
    Open();
    QTRY_COMPARE(FView->Items()->Count(), 5);
    QCOMPARE(Captions(), (QStringList{u"alpha"_s, u"beta"_s, u"gamma"_s, u"delta"_s, u"epsilon"_s}));
    QCOMPARE(FBefore, 1);
    QCOMPARE(FAfter, 1);
    QVERIFY(FView->LoadingComplete());

    // The first slice only, then a close cuts the load short: it still ends once.
    FView->ReopenDataSet();
    QCoreApplication::sendPostedEvents(FView);
    QCOMPARE(FView->Items()->Count(), 2);
    QCOMPARE(FAfter, 1);
    FTable->Close();
    QCOMPARE(FAfter, 2);
    QVERIFY(!FView->LoadingComplete());
    QTest::qWait(20);
    QCOMPARE(FView->Items()->Count(), 0);
    QCOMPARE(FBefore, 2);
    QCOMPARE(FAfter, 2);
}

QTEST_MAIN(TestDataBaseListView)
#include "tst_DataBaseListView.moc"
