#include "DBGrids.h"
#include "DataControlsFixture.h"
#include "ErrorHandlers.h"
#include "MessageBoxes.h"
#include "Screenshots.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TDBGridOptions)

class TestDBGrids : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ShowsAWindowAroundTheCursor();
    void FollowsTheCursor();
    void MovesTheCursor();
    void EditingACellEditsTheField();
    void DownAtTheLastRowAppends();
    void CtrlDeleteDeletes_data();
    void CtrlDeleteDeletes();
    void LeavingTheGrid_data();
    void LeavingTheGrid();
    void EscapeCancels();
    void EditingRefused_data();
    void EditingRefused();
    void TabMovesAcrossCellsAndRecords();
    void EmptyTableShowsARowToTypeInto();
    void PostTakesTheOpenCell();
    void DetailFollowsItsMaster();
    void Render();

private:
    QString Stored(const QString &sql) { return FData->Stored(sql); }
    QString Cell(int row, int column = 0) const;
    QString Current() const { return FTable->FieldByName(u"Name"_s)->AsString(); }
    void ClickRow(int row);
    void Type(const QString &text);
    void Enter();
    int Expected() const;

    std::unique_ptr<TDataControlsFixture> FData;
    TTable *FTable = nullptr;
    TDataSource *FSource = nullptr;
    std::unique_ptr<QWidget> FForm;
    TDBGrid *FGrid = nullptr;
    QLineEdit *FOther = nullptr;
    QStringList FErrors;
};

void TestDBGrids::init()
{
    FData = std::make_unique<TDataControlsFixture>(
        u"Ext"_s,
        QStringList{
            u"CREATE TABLE Ext (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(4), Kind INTEGER)"_s,
            u"WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 29) "
            "INSERT INTO Ext (Name, Kind) SELECT printf('e%02d', i), i FROM n"_s});
    FTable = &FData->Table;
    FSource = &FData->Source;
    FForm = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(FForm.get());
    FGrid = new TDBGrid(FForm.get());
    FGrid->setObjectName(u"DBGrid2"_s);
    FGrid->SetColumns({{u"Name"_s, u"Extension"_s, 90, false}, {u"Kind"_s, {}, 0, false}});
    FGrid->SetDataSource(FSource);
    FGrid->setFixedHeight(200);
    FOther = new QLineEdit(FForm.get());
    layout->addWidget(FGrid);
    layout->addWidget(FOther);
    FForm->resize(260, 250);
    FTable->Open();
    FForm->show();
    FForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
    FGrid->setFocus();
    QTRY_VERIFY(FGrid->hasFocus());
    FErrors.clear();
    SetExceptionDisplay([this](const QString &message) { FErrors << message; });
    TMessageBox::ClearShown();
}

void TestDBGrids::cleanup()
{
    FForm.reset();
    QCoreApplication::processEvents();
    SetExceptionDisplay({});
    TMessageBox::ClearShown();
    FData.reset();
}

QString TestDBGrids::Cell(int row, int column) const
{
    return FGrid->model()->index(row, column).data().toString();
}

void TestDBGrids::ClickRow(int row)
{
    const QRect cell = FGrid->visualRect(FGrid->model()->index(row, 0));
    QTest::mouseClick(FGrid->viewport(), Qt::LeftButton, {}, cell.center());
}

// Keys go where the user's would: to the cell editor once one is open.
void TestDBGrids::Type(const QString &text)
{
    for (const QChar c : text)
        QTest::keyClicks(QApplication::focusWidget(), QString(c));
}

// A cell editor hands its text over once the key has been handled, a moment later.
void TestDBGrids::Enter()
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCoreApplication::processEvents();
}

// As many rows as fit in the grid.
int TestDBGrids::Expected() const
{
    return FGrid->viewport()->height() / FGrid->verticalHeader()->defaultSectionSize();
}

void TestDBGrids::ShowsAWindowAroundTheCursor()
{
    const int rows = Expected();
    QVERIFY(rows > 3 && rows < 30);
    QCOMPARE(FGrid->WindowRowCount(), rows);
    QCOMPARE(FGrid->model()->headerData(0, Qt::Horizontal).toString(), u"Extension"_s);
    QCOMPARE(FGrid->model()->headerData(1, Qt::Horizontal).toString(), u"Kind"_s);
    QCOMPARE(Cell(0), u"e00"_s);
    QCOMPARE(Cell(rows - 1, 1), QString::number(rows - 1));
    QCOMPARE(FGrid->ActiveRow(), 0);
    QCOMPARE(FGrid->verticalScrollBar()->value(), 0);
    FTable->Last();
    QCOMPARE(FGrid->ActiveRow(), rows - 1);
    QCOMPARE(Cell(rows - 1), u"e29"_s);
    QCOMPARE(Cell(0), u"e%1"_s.arg(30 - rows));
    QCOMPARE(FGrid->verticalScrollBar()->value(), FGrid->verticalScrollBar()->maximum());
    // Reading the window leaves the data set's own flags as the move set them.
    QVERIFY(FTable->Eof());
    FTable->First();
    QVERIFY(FTable->Bof());
    QVERIFY(FTable->Locate(u"Name"_s, TVariant(u"e15"_s)));
    QCOMPARE(Cell(FGrid->ActiveRow()), u"e15"_s);
    QCOMPARE(FGrid->WindowRowCount(), rows);
    QVERIFY(FGrid->verticalScrollBar()->value() > 0 &&
            FGrid->verticalScrollBar()->value() < FGrid->verticalScrollBar()->maximum());
}

void TestDBGrids::FollowsTheCursor()
{
    const int rows = Expected();
    for (int i = 1; i < rows + 3; ++i) {
        FTable->Next();
        QCOMPARE(Cell(FGrid->ActiveRow()), Current());
    }
    QCOMPARE(FGrid->ActiveRow(), rows - 1);
    QCOMPARE(FGrid->currentIndex().row(), rows - 1);
    FTable->MoveBy(-(rows - 1));
    QCOMPARE(FGrid->ActiveRow(), 0);
    QCOMPARE(Cell(0), u"e03"_s);
}

void TestDBGrids::MovesTheCursor()
{
    const int rows = Expected();
    ClickRow(3);
    QCOMPARE(Current(), u"e03"_s);
    QCOMPARE(FGrid->ActiveRow(), 3);
    QTest::keyClick(FGrid, Qt::Key_Down);
    QCOMPARE(Current(), u"e04"_s);
    QTest::keyClick(FGrid, Qt::Key_PageDown);
    QCOMPARE(Current(), u"e%1"_s.arg(4 + rows, 2, 10, QChar(u'0')));
    QTest::keyClick(FGrid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(Current(), u"e29"_s);
    QTest::keyClick(FGrid, Qt::Key_Up);
    QCOMPARE(Current(), u"e28"_s);
    QTest::keyClick(FGrid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(Current(), u"e00"_s);
    FGrid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(Current(), u"e29"_s);
    FGrid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(Current(), u"e28"_s);
}

void TestDBGrids::EditingACellEditsTheField()
{
    ClickRow(1);
    Type(u"abc"_s);
    QVERIFY(FGrid->EditorMode());
    QCOMPARE(FTable->State(), TDataSetState::Edit);
    Enter();
    QCOMPARE(Current(), u"abc"_s);
    QCOMPARE(Stored(u"SELECT Name FROM Ext WHERE ID = 2"_s), u"e01"_s);
    QTest::keyClick(FGrid, Qt::Key_Down);
    QCOMPARE(Stored(u"SELECT Name FROM Ext WHERE ID = 2"_s), u"abc"_s);
    QCOMPARE(Cell(1), u"abc"_s);
    QCOMPARE(Current(), u"e02"_s);
}

void TestDBGrids::DownAtTheLastRowAppends()
{
    QTest::keyClick(FGrid, Qt::Key_End, Qt::ControlModifier);
    const int last = FGrid->ActiveRow();
    QTest::keyClick(FGrid, Qt::Key_Down);
    QCOMPARE(FTable->State(), TDataSetState::Insert);
    QCOMPARE(FGrid->ActiveRow(), last); // the window moved up one row to make room
    QCOMPARE(Cell(last - 1), u"e29"_s);
    QTest::keyClick(FGrid, Qt::Key_Down); // an untouched new row stays the last
    QCOMPARE(FTable->State(), TDataSetState::Insert);
    Type(u"new"_s);
    Enter();
    QTest::keyClick(FGrid, Qt::Key_Down);
    QCOMPARE(Stored(u"SELECT Name FROM Ext WHERE ID = 31"_s), u"new"_s);
    QCOMPARE(FTable->State(), TDataSetState::Insert);
    QTest::keyClick(FGrid, Qt::Key_Up); // drops the untouched second one
    QCOMPARE(FTable->State(), TDataSetState::Browse);
    QCOMPARE(Current(), u"new"_s);
    QCOMPARE(Stored(u"SELECT COUNT(*) FROM Ext"_s), u"31"_s);
}

void TestDBGrids::CtrlDeleteDeletes_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("confirmed") << true << int(QMessageBox::Ok) << true;
    QTest::newRow("cancelled") << true << int(QMessageBox::Cancel) << false;
    QTest::newRow("without question") << false << int(QMessageBox::NoButton) << true;
}

void TestDBGrids::CtrlDeleteDeletes()
{
    QFETCH(bool, confirm);
    QFETCH(int, answer);
    QFETCH(bool, deleted);
    FGrid->SetOptions(confirm ? TDBGrid::DefaultOptions() : TDBGrid::DefaultOptions() & ~dgConfirmDelete);
    if (confirm)
        TMessageBox::SetNextAnswer(QMessageBox::StandardButton(answer));
    ClickRow(2);
    QTest::keyClick(FGrid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(TMessageBox::Shown().size(), confirm ? 1 : 0);
    if (confirm) {
        QCOMPARE(TMessageBox::Shown().first().Text, u"Delete record?"_s);
        QCOMPARE(TMessageBox::Shown().first().Buttons, QMessageBox::Ok | QMessageBox::Cancel);
    }
    QCOMPARE(Stored(u"SELECT COUNT(*) FROM Ext WHERE Name = 'e02'"_s), deleted ? u"0"_s : u"1"_s);
    QCOMPARE(Cell(2), deleted ? u"e03"_s : u"e02"_s);
    QCOMPARE(Current(), Cell(2));
}

void TestDBGrids::LeavingTheGrid_data()
{
    QTest::addColumn<bool>("cancelOnExit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("untouched new row") << true << QString() << true;
    QTest::newRow("typed into") << true << u"z"_s << false;
    QTest::newRow("option off") << false << QString() << false;
}

void TestDBGrids::LeavingTheGrid()
{
    QFETCH(bool, cancelOnExit);
    QFETCH(QString, typed);
    QFETCH(bool, dropped);
    if (!cancelOnExit)
        FGrid->SetOptions(TDBGrid::DefaultOptions() & ~dgCancelOnExit);
    ClickRow(2);
    QTest::keyClick(FGrid, Qt::Key_Insert);
    QCOMPARE(FTable->State(), TDataSetState::Insert);
    QCOMPARE(FGrid->ActiveRow(), 2);
    QCOMPARE(Cell(3), u"e02"_s);
    if (!typed.isEmpty())
        Type(typed); // the editor is still open when the focus leaves
    FOther->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(FOther->hasFocus());
    QCOMPARE(FTable->State(), dropped ? TDataSetState::Browse : TDataSetState::Insert);
    if (!typed.isEmpty())
        QCOMPARE(Current(), typed);
    if (dropped)
        QCOMPARE(Cell(FGrid->ActiveRow()), u"e02"_s);
}

void TestDBGrids::EscapeCancels()
{
    ClickRow(1);
    Type(u"q"_s);
    QTest::keyClick(FGrid->focusWidget(), Qt::Key_Escape);
    QVERIFY(!FGrid->EditorMode());
    QCOMPARE(FTable->State(), TDataSetState::Browse);
    QCOMPARE(Cell(1), u"e01"_s);
    Type(u"r"_s);
    Enter();
    QCOMPARE(Current(), u"r"_s);
    QTest::keyClick(FGrid, Qt::Key_Escape);
    QCOMPARE(FTable->State(), TDataSetState::Browse);
    QCOMPARE(Current(), u"e01"_s);
    QCOMPARE(Stored(u"SELECT Name FROM Ext WHERE ID = 2"_s), u"e01"_s);
}

void TestDBGrids::EditingRefused_data()
{
    QTest::addColumn<QString>("why");
    QTest::newRow("no auto edit") << u"autoedit"_s;
    QTest::newRow("read-only grid") << u"grid"_s;
    QTest::newRow("read-only table") << u"table"_s;
    QTest::newRow("no editing option") << u"option"_s;
}

void TestDBGrids::EditingRefused()
{
    QFETCH(QString, why);
    if (why == u"autoedit")
        FSource->SetAutoEdit(false);
    else if (why == u"grid")
        FGrid->SetReadOnly(true);
    else if (why == u"option")
        FGrid->SetOptions(TDBGrid::DefaultOptions() & ~dgEditing);
    else {
        FTable->Close();
        FTable->SetReadOnly(true);
        FTable->Open();
    }
    ClickRow(1);
    Type(u"x"_s);
    QVERIFY(!FGrid->EditorMode());
    QCOMPARE(FTable->State(), TDataSetState::Browse);
    QTest::keyClick(FGrid, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(FGrid, Qt::Key_Down);
    // Without AutoEdit a new row is still allowed: only typing into a stored record is refused.
    QCOMPARE(FTable->State(), why == u"autoedit" ? TDataSetState::Insert : TDataSetState::Browse);
    QCOMPARE(Stored(u"SELECT Name FROM Ext WHERE ID = 2"_s), u"e01"_s);
}

void TestDBGrids::TabMovesAcrossCellsAndRecords()
{
    ClickRow(0);
    QTest::keyClick(FGrid, Qt::Key_Tab);
    QCOMPARE(FGrid->SelectedIndex(), 1);
    QCOMPARE(FGrid->SelectedField()->FieldName(), u"Kind"_s);
    Type(u"7"_s);
    QTest::keyClick(FGrid->focusWidget(), Qt::Key_Tab); // from the editor of the last cell
    QCOMPARE(FGrid->SelectedIndex(), 0);
    QCOMPARE(Current(), u"e01"_s);
    QCOMPARE(Stored(u"SELECT Kind FROM Ext WHERE ID = 1"_s), u"7"_s);
    QTest::keyClick(FGrid, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(Current(), u"e00"_s);
    QCOMPARE(FGrid->SelectedIndex(), 1);
    FGrid->SetOptions(TDBGrid::DefaultOptions() & ~dgTabs);
    QTest::keyClick(FGrid, Qt::Key_Tab);
    QTRY_VERIFY(FOther->hasFocus());
}

void TestDBGrids::EmptyTableShowsARowToTypeInto()
{
    FTable->EmptyTable();
    QCOMPARE(FGrid->WindowRowCount(), 1);
    QCOMPARE(FGrid->verticalScrollBar()->isEnabled(), false);
    ClickRow(0);
    Type(u"txt"_s);
    QCOMPARE(FTable->State(), TDataSetState::Insert);
    Enter();
    QTest::keyClick(FGrid, Qt::Key_Down);
    QCOMPARE(Stored(u"SELECT Name FROM Ext"_s), u"txt"_s);
}

void TestDBGrids::PostTakesTheOpenCell()
{
    ClickRow(0);
    Type(u"zz"_s);
    FTable->Post();
    QCOMPARE(Stored(u"SELECT Name FROM Ext WHERE ID = 1"_s), u"zz"_s);
    QVERIFY(!FGrid->EditorMode());
    // A text the field refuses stops the post; the record stays as it was being edited.
    FGrid->SetSelectedIndex(1);
    Type(u"x1"_s);
    QVERIFY_THROWS_EXCEPTION(Exception, FTable->Post());
    QCOMPARE(FTable->State(), TDataSetState::Edit);
    QCOMPARE(Stored(u"SELECT Kind FROM Ext WHERE ID = 1"_s), u"0"_s);
    // Handed over by the editor itself, the refused text is reported once the key is handled.
    Enter();
    QTRY_COMPARE(FErrors.size(), 1);
    QCOMPARE(FTable->FieldByName(u"Kind"_s)->AsInteger(), 0);
}

void TestDBGrids::DetailFollowsItsMaster()
{
    FTable->Close();
    FData->Db.ExecSQL(u"CREATE INDEX ExtKind ON Ext (Kind)"_s);
    FData->Db.ExecSQL(u"UPDATE Ext SET Kind = ID % 3"_s);
    FData->Db.ExecSQL(u"CREATE TABLE Kinds (ID INTEGER PRIMARY KEY)"_s);
    FData->Db.ExecSQL(u"INSERT INTO Kinds VALUES (0), (1), (2), (3)"_s);
    TTable master;
    master.SetDatabase(&FData->Db);
    master.SetTableName(u"Kinds"_s);
    TDataSource masterSource(&master);
    master.Open();
    FTable->SetIndexFieldNames(u"Kind"_s);
    FTable->SetMasterSource(&masterSource);
    FTable->SetMasterFields(u"ID"_s);
    FTable->Open();
    QCOMPARE(Cell(0), u"e02"_s); // ID 3
    QCOMPARE(Cell(1), u"e05"_s);
    master.Next();
    QCOMPARE(Cell(0), u"e00"_s);
    master.Last(); // a kind without extensions: one empty row to type into
    QCOMPARE(FGrid->WindowRowCount(), 1);
    ClickRow(0);
    Type(u"doc"_s);
    Enter();
    QTest::keyClick(FGrid, Qt::Key_Down);
    QCOMPARE(Stored(u"SELECT Kind FROM Ext WHERE Name = 'doc'"_s), u"3"_s);
    QCOMPARE(Cell(0), u"doc"_s);
    FGrid->SetDataSource(&masterSource); // another open data set: its own columns and rows
    QCOMPARE(FGrid->model()->headerData(0, Qt::Horizontal).toString(), u"Extension"_s);
    QCOMPARE(FGrid->ColumnField(0), nullptr);
    QCOMPARE(FGrid->WindowRowCount(), 4);
    FTable->Close();
    FTable->SetMasterSource(nullptr);
}

void TestDBGrids::Render()
{
    FGrid->SetColumns({{u"Name"_s, u"Extension"_s, 90, false}, {u"Kind"_s, u"Type"_s, 60, false}});
    FTable->MoveBy(4);
    FTable->Edit();
    FTable->FieldByName(u"Name"_s)->SetAsString(u"txt"_s);
    KeepScreenshot(FGrid->grab(), u"dbgrid-edit.png"_s);
    FTable->Cancel();
    FTable->Last();
    QTest::keyClick(FGrid, Qt::Key_Down);
    KeepScreenshot(FGrid->grab(), u"dbgrid-append.png"_s);
    QCOMPARE(FTable->State(), TDataSetState::Insert);
}

QTEST_MAIN(TestDBGrids)
#include "tst_DBGrids.moc"
