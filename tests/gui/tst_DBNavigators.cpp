#include "DBControls.h"
#include "DBNavigators.h"
#include "DataControlsFixture.h"
#include "ErrorHandlers.h"
#include "MessageBoxes.h"
#include "Screenshots.h"

#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>

using namespace Qt::StringLiterals;

class TestDBNavigators : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ButtonsFollowTheState_data();
    void ButtonsFollowTheState();
    void ButtonsActOnTheDataSet();
    void DeleteAsks_data();
    void DeleteAsks();
    void BeforeActionCanStopIt();
    void VisibleButtonsAndHints();

private:
    QString Enabled() const;
    void Click(const char *button);
    QString Stored(const QString &sql) { return FData->Stored(sql); }

    std::unique_ptr<TDataControlsFixture> FData;
    TTable *FTable = nullptr;
    std::unique_ptr<QWidget> FForm;
    TDBNavigator *FNavigator = nullptr;
    TDBEdit *FEdit = nullptr;
    QStringList FErrors;
};

void TestDBNavigators::init()
{
    FData = std::make_unique<TDataControlsFixture>(
        u"Nfo"_s,
        QStringList{u"CREATE TABLE Nfo (ID INTEGER PRIMARY KEY AUTOINCREMENT, NameNFO VARCHAR(20))"_s,
                    u"INSERT INTO Nfo (NameNFO) VALUES ('*.nfo'), ('*.diz'), ('readme.*')"_s});
    FTable = &FData->Table;
    FForm = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(FForm.get());
    FNavigator = new TDBNavigator(FForm.get());
    FNavigator->SetDataSource(&FData->Source);
    FEdit = new TDBEdit(FForm.get());
    FEdit->SetDataSource(&FData->Source);
    FEdit->SetDataField(u"NameNFO"_s);
    layout->addWidget(FNavigator);
    layout->addWidget(FEdit);
    FTable->Open();
    FForm->show();
    FForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
    FErrors.clear();
    SetExceptionDisplay([this](const QString &message) { FErrors << message; });
    TMessageBox::ClearShown();
}

void TestDBNavigators::cleanup()
{
    FForm.reset();
    SetExceptionDisplay({});
    TMessageBox::ClearShown();
    FData.reset();
}

// The enabled buttons, one letter each: First Prior Next Last Insert Delete Edit Post Cancel Refresh.
QString TestDBNavigators::Enabled() const
{
    static const char letters[] = "FPNLIDEOCR";
    QString result;
    for (int i = 0; i < NavigateBtnCount; ++i)
        result +=
            FNavigator->Button(TNavigateBtn(i))->isEnabled() ? QChar::fromLatin1(letters[i]) : QChar(u'.');
    return result;
}

void TestDBNavigators::Click(const char *button)
{
    auto *tool = FNavigator->findChild<QToolButton *>(QString::fromLatin1(button));
    QVERIFY(tool);
    QTest::mouseClick(tool, Qt::LeftButton);
}

void TestDBNavigators::ButtonsFollowTheState_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("enabled");
    QTest::newRow("opened at the first") << u"open"_s << u"..NLIDE..R"_s;
    QTest::newRow("after next") << u"next"_s << u"FPNLIDE..R"_s;
    QTest::newRow("at the last") << u"last"_s << u"FP..IDE..R"_s;
    QTest::newRow("editing") << u"edit"_s << u"..NLID.OC."_s;
    QTest::newRow("inserting") << u"insert"_s << u"..NLID.OC."_s;
    QTest::newRow("read-only table") << u"readonly"_s << u"..NL.....R"_s;
    QTest::newRow("empty table") << u"empty"_s << u"....I.E..R"_s;
    QTest::newRow("closed") << u"close"_s << u".........."_s;
    QTest::newRow("no data source") << u"none"_s << u".........."_s;
}

void TestDBNavigators::ButtonsFollowTheState()
{
    QFETCH(QString, setup);
    QFETCH(QString, enabled);
    if (setup == u"next")
        FTable->Next();
    else if (setup == u"last")
        FTable->Last();
    else if (setup == u"edit")
        FTable->Edit();
    else if (setup == u"insert")
        FTable->Insert();
    else if (setup == u"empty")
        FTable->EmptyTable();
    else if (setup == u"close")
        FTable->Close();
    else if (setup == u"none")
        FNavigator->SetDataSource(nullptr);
    else if (setup == u"readonly") {
        FTable->Close();
        FTable->SetReadOnly(true);
        FTable->Open();
    }
    QCOMPARE(Enabled(), enabled);
}

void TestDBNavigators::ButtonsActOnTheDataSet()
{
    const auto name = [this] { return FTable->FieldByName(u"NameNFO"_s)->AsString(); };
    Click("nbNext");
    QCOMPARE(name(), u"*.diz"_s);
    Click("nbLast");
    QCOMPARE(name(), u"readme.*"_s);
    Click("nbNext"); // disabled at the end: nothing happens
    QCOMPARE(Enabled(), u"FP..IDE..R"_s);
    Click("nbFirst");
    QCOMPARE(name(), u"*.nfo"_s);
    Click("nbInsert");
    QCOMPARE(FTable->State(), TDataSetState::Insert);
    FEdit->setFocus();
    QTest::keyClicks(FEdit, u"*.txt"_s);
    Click("nbPost"); // takes the text the edit still holds
    QCOMPARE(FTable->State(), TDataSetState::Browse);
    QCOMPARE(Stored(u"SELECT COUNT(*) FROM Nfo WHERE NameNFO = '*.txt'"_s), u"1"_s);
    Click("nbEdit");
    QTest::keyClicks(FEdit, u"x"_s);
    Click("nbCancel");
    QCOMPARE(name(), u"*.txt"_s);
    QCOMPARE(FEdit->text(), u"*.txt"_s);
    FData->Db.ExecSQL(u"UPDATE Nfo SET NameNFO = 'changed' WHERE NameNFO = '*.txt'"_s);
    Click("nbRefresh");
    QCOMPARE(FEdit->text(), u"changed"_s);
    QVERIFY(FErrors.isEmpty());
}

void TestDBNavigators::DeleteAsks_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("left");
    QTest::newRow("confirmed") << true << int(QMessageBox::Ok) << 2;
    QTest::newRow("cancelled") << true << int(QMessageBox::Cancel) << 3;
    QTest::newRow("without question") << false << int(QMessageBox::NoButton) << 2;
}

void TestDBNavigators::DeleteAsks()
{
    QFETCH(bool, confirm);
    QFETCH(int, answer);
    QFETCH(int, left);
    FNavigator->SetConfirmDelete(confirm);
    if (confirm)
        TMessageBox::SetNextAnswer(QMessageBox::StandardButton(answer));
    Click("nbDelete");
    QCOMPARE(TMessageBox::Shown().size(), confirm ? 1 : 0);
    if (confirm) {
        QCOMPARE(TMessageBox::Shown().first().Text, u"Delete record?"_s);
        QCOMPARE(TMessageBox::Shown().first().Buttons, QMessageBox::Ok | QMessageBox::Cancel);
    }
    QCOMPARE(Stored(u"SELECT COUNT(*) FROM Nfo"_s), QString::number(left));
}

void TestDBNavigators::BeforeActionCanStopIt()
{
    QList<TNavigateBtn> seen;
    FNavigator->BeforeAction =
        TEvent<TDBNavigator *, TNavigateBtn>([&seen](TDBNavigator *, TNavigateBtn button) {
            seen << button;
            if (button == nbLast)
                throw EAbort();
        });
    Click("nbNext");
    Click("nbLast");
    QCOMPARE(seen, (QList<TNavigateBtn>{nbNext, nbLast}));
    QCOMPARE(FTable->FieldByName(u"NameNFO"_s)->AsString(), u"*.diz"_s);
    QVERIFY(FErrors.isEmpty()); // an abort is silent
    FNavigator->BeforeAction.Clear();
}

void TestDBNavigators::VisibleButtonsAndHints()
{
    FNavigator->SetVisibleButtons({nbInsert, nbDelete, nbPost, nbCancel});
    QStringList visible;
    for (int i = 0; i < NavigateBtnCount; ++i)
        if (FNavigator->Button(TNavigateBtn(i))->isVisible())
            visible << FNavigator->Button(TNavigateBtn(i))->objectName();
    QCOMPARE(visible, (QStringList{u"nbInsert"_s, u"nbDelete"_s, u"nbPost"_s, u"nbCancel"_s}));
    QCOMPARE(FNavigator->Button(nbPost)->toolTip(), u"Post edit"_s);
    FNavigator->SetHints({{}, {}, {}, {}, u"Add a pattern"_s});
    QCOMPARE(FNavigator->Button(nbInsert)->toolTip(), u"Add a pattern"_s);
    QCOMPARE(FNavigator->Button(nbDelete)->toolTip(), u"Delete record"_s);
    FTable->Edit();
    FNavigator->resize(FNavigator->sizeHint());
    KeepScreenshot(FNavigator->grab(), u"navigator-some.png"_s);
    FNavigator->SetVisibleButtons(TNavButtons::All());
    FNavigator->resize(240, 25);
    KeepScreenshot(FNavigator->grab(), u"navigator-all.png"_s);
}

QTEST_MAIN(TestDBNavigators)
#include "tst_DBNavigators.moc"
