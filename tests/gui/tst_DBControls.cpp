#include "DBControls.h"
#include "DataControlsFixture.h"
#include "ErrorHandlers.h"
#include "Screenshots.h"

#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QVBoxLayout>
#include <memory>

using namespace Qt::StringLiterals;

class TestDBControls : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ShowTheCurrentRecord();
    void TypingStartsEditing_data();
    void TypingStartsEditing();
    void PostStoresWhatWasTyped_data();
    void PostStoresWhatWasTyped();
    void LeavingWritesTheField();
    void RefusedValueStaysToBeCorrected();
    void EscapeAndCancelGiveTheFieldBack();
    void CheckBox_data();
    void CheckBox();
    void CheckBoxFollowsAutoEdit();
    void LabelShowsDisplayTextAsPlainText();
    void LongOrControlTextIsShownCapped_data();
    void LongOrControlTextIsShownCapped();
    void Render();

private:
    QString Stored(const QString &sql) { return FData->Stored(sql); }
    void Focus(QWidget *widget);
    QWidget *ControlFor(const QString &kind);

    std::unique_ptr<TDataControlsFixture> FData;
    TTable *FTable = nullptr;
    TDataSource *FSource = nullptr;
    std::unique_ptr<QWidget> FForm;
    TDBEdit *FEdit = nullptr;
    TDBMemo *FMemo = nullptr;
    TDBMemo *FNameMemo = nullptr;
    TDBText *FText = nullptr;
    TDBCheckBox *FCheck = nullptr;
    QLineEdit *FOther = nullptr;
    QStringList FErrors;
};

void TestDBControls::init()
{
    FData = std::make_unique<TDataControlsFixture>(
        u"Types"_s,
        QStringList{u"CREATE TABLE Types (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(12), "
                    "Notes TEXT, Size INTEGER, CD BOOLEAN, Flag VARCHAR(5))"_s,
                    u"INSERT INTO Types (Name, Notes, Size, CD, Flag) VALUES ('alpha', 'first line', "
                    "1234, 1, 'Yes'), ('beta', NULL, 20, 0, 'No'), ('<b>gamma</b>', 'x', NULL, NULL, "
                    "'maybe')"_s});
    FTable = &FData->Table;
    FSource = &FData->Source;
    FForm = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(FForm.get());
    const auto bind = [&](auto *control, const QString &field) {
        control->SetDataSource(FSource);
        control->SetDataField(field);
        layout->addWidget(control);
        return control;
    };
    FEdit = bind(new TDBEdit(FForm.get()), u"Name"_s);
    FMemo = bind(new TDBMemo(FForm.get()), u"Notes"_s);
    FNameMemo = bind(new TDBMemo(FForm.get()), u"Name"_s);
    FText = bind(new TDBText(FForm.get()), u"Size"_s);
    FCheck = bind(new TDBCheckBox(FForm.get()), u"CD"_s);
    FCheck->setText(u"Is a CD image"_s);
    FOther = new QLineEdit(FForm.get());
    layout->addWidget(FOther);
    FMemo->setFixedHeight(60);
    FNameMemo->setFixedHeight(40);
    FForm->resize(320, 300);
    FTable->Open();
    FForm->show();
    FForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
    FErrors.clear();
    SetExceptionDisplay([this](const QString &message) { FErrors << message; });
}

void TestDBControls::cleanup()
{
    SetExceptionDisplay({});
    FForm.reset();
    FData.reset();
}

void TestDBControls::Focus(QWidget *widget)
{
    widget->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(widget->hasFocus());
}

QWidget *TestDBControls::ControlFor(const QString &kind)
{
    return kind == u"edit" ? static_cast<QWidget *>(FEdit) : kind == u"memo" ? FMemo : FNameMemo;
}

static QString TextOf(QWidget *widget)
{
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    return qobject_cast<QPlainTextEdit *>(widget)->toPlainText();
}

void TestDBControls::ShowTheCurrentRecord()
{
    QCOMPARE(FEdit->text(), u"alpha"_s);
    QCOMPARE(FMemo->toPlainText(), u"first line"_s);
    QCOMPARE(FText->text(), u"1234"_s);
    QCOMPARE(FCheck->checkState(), Qt::Checked);
    QVERIFY(FEdit->isReadOnly()); // until typing starts editing
    FTable->Next();
    QCOMPARE(FEdit->text(), u"beta"_s);
    QCOMPARE(FMemo->toPlainText(), QString());
    QCOMPARE(FText->text(), u"20"_s);
    QCOMPARE(FCheck->checkState(), Qt::Unchecked);
    FTable->Close();
    QCOMPARE(FEdit->text(), QString());
    QCOMPARE(FText->text(), QString());
}

void TestDBControls::TypingStartsEditing_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("autoEdit");
    QTest::addColumn<bool>("tableReadOnly");
    QTest::addColumn<bool>("controlReadOnly");
    QTest::addColumn<bool>("editFirst");
    QTest::addColumn<bool>("accepted");
    for (const QString &control : {u"edit"_s, u"memo"_s}) {
        const QByteArray c = control.toLatin1();
        QTest::newRow(c + " auto edit") << control << true << false << false << false << true;
        QTest::newRow(c + " no auto edit") << control << false << false << false << false << false;
        QTest::newRow(c + " no auto edit, editing") << control << false << false << false << true << true;
        QTest::newRow(c + " read-only table") << control << true << true << false << false << false;
        QTest::newRow(c + " read-only control") << control << true << false << true << true << false;
    }
}

void TestDBControls::TypingStartsEditing()
{
    QFETCH(QString, control);
    QFETCH(bool, autoEdit);
    QFETCH(bool, tableReadOnly);
    QFETCH(bool, controlReadOnly);
    QFETCH(bool, editFirst);
    QFETCH(bool, accepted);
    if (tableReadOnly) {
        FTable->Close();
        FTable->SetReadOnly(true);
        FTable->Open();
    }
    FSource->SetAutoEdit(autoEdit);
    FEdit->SetReadOnly(controlReadOnly);
    FMemo->SetReadOnly(controlReadOnly);
    if (editFirst)
        FTable->Edit();
    QWidget *widget = ControlFor(control);
    const QString before = TextOf(widget);
    Focus(widget);
    QTest::keyClick(widget, Qt::Key_End);
    QTest::keyClicks(widget, u"zz"_s);
    QTest::keyClick(widget, Qt::Key_Backspace);
    QCOMPARE(TextOf(widget), accepted ? before + u'z' : before);
    QCOMPARE(FTable->State() != TDataSetState::Browse, accepted || editFirst);
    QCOMPARE(qobject_cast<QLineEdit *>(widget) ? FEdit->isReadOnly() : FMemo->isReadOnly(), !accepted);
}

void TestDBControls::PostStoresWhatWasTyped_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("stored");
    QTest::newRow("edit") << u"edit"_s << u" one"_s << u"Name"_s << u"alpha one"_s;
    QTest::newRow("edit cut to the field's size")
        << u"edit"_s << u"0123456789"_s << u"Name"_s << u"alpha0123456"_s;
    QTest::newRow("memo on a text field")
        << u"memo"_s << u"\nsecond line"_s << u"Notes"_s << u"first line\nsecond line"_s;
    QTest::newRow("memo on a string field") << u"name memo"_s << u"-x"_s << u"Name"_s << u"alpha-x"_s;
}

void TestDBControls::PostStoresWhatWasTyped()
{
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(QString, column);
    QFETCH(QString, stored);
    QWidget *widget = ControlFor(control);
    Focus(widget);
    QTest::keyClick(widget, Qt::Key_End, Qt::ControlModifier);
    for (const QChar c : typed) {
        if (c == u'\n')
            QTest::keyClick(widget, Qt::Key_Return);
        else
            QTest::keyClicks(widget, QString(c));
    }
    // Posted while the control still has the focus: the data set asks it for its text.
    FTable->Post();
    QCOMPARE(Stored(u"SELECT %1 FROM Types WHERE ID = 1"_s.arg(column)), stored);
    QCOMPARE(TextOf(widget), stored);
}

void TestDBControls::LeavingWritesTheField()
{
    Focus(FEdit);
    QTest::keyClicks(FEdit, u"!"_s);
    QCOMPARE(FTable->FieldByName(u"Name"_s)->AsString(), u"alpha"_s);
    Focus(FOther);
    QCOMPARE(FTable->FieldByName(u"Name"_s)->AsString(), u"alpha!"_s);
    QVERIFY(FTable->Modified());
    FTable->Next(); // leaving the record posts it
    QCOMPARE(Stored(u"SELECT Name FROM Types WHERE ID = 1"_s), u"alpha!"_s);
}

void TestDBControls::RefusedValueStaysToBeCorrected()
{
    TDBEdit size(FForm.get());
    size.SetDataSource(FSource);
    size.SetDataField(u"Size"_s);
    FForm->layout()->addWidget(&size);
    QCOMPARE(size.text(), u"1234"_s);
    QCOMPARE(size.alignment() & Qt::AlignRight, Qt::AlignRight);
    Focus(&size);
    QTest::keyClicks(&size, u"x"_s);
    Focus(FOther);
    QCOMPARE(FErrors.size(), 1);
    QCOMPARE(size.text(), u"1234x"_s);
    QCOMPARE(FTable->FieldByName(u"Size"_s)->AsInteger(), 1234);
    // Still pending: a post tries again and fails the same way, so nothing wrong is stored.
    QVERIFY_THROWS_EXCEPTION(Exception, FTable->Post());
    Focus(&size);
    QTest::keyClick(&size, Qt::Key_End);
    QTest::keyClick(&size, Qt::Key_Backspace);
    QTest::keyClicks(&size, u"5"_s);
    FTable->Post();
    QCOMPARE(Stored(u"SELECT Size FROM Types WHERE ID = 1"_s), u"12345"_s);
}

void TestDBControls::EscapeAndCancelGiveTheFieldBack()
{
    Focus(FEdit);
    QTest::keyClicks(FEdit, u"xyz"_s);
    QTest::keyClick(FEdit, Qt::Key_Escape);
    QCOMPARE(FEdit->text(), u"alpha"_s);
    QCOMPARE(FTable->State(), TDataSetState::Edit); // only the control's change is gone
    QTest::keyClicks(FEdit, u"2"_s);
    Focus(FMemo);
    QTest::keyClicks(FMemo, u" more"_s);
    FTable->Cancel();
    QCOMPARE(FEdit->text(), u"alpha"_s);
    QCOMPARE(FMemo->toPlainText(), u"first line"_s);
    QCOMPARE(Stored(u"SELECT Name || Notes FROM Types WHERE ID = 1"_s), u"alphafirst line"_s);
}

void TestDBControls::CheckBox_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("record");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("storedAfterClick");
    QTest::newRow("boolean true") << u"CD"_s << 1 << int(Qt::Checked) << u"0"_s;
    QTest::newRow("boolean false") << u"CD"_s << 2 << int(Qt::Unchecked) << u"1"_s;
    QTest::newRow("boolean null") << u"CD"_s << 3 << int(Qt::PartiallyChecked) << u"1"_s;
    QTest::newRow("text checked") << u"Flag"_s << 1 << int(Qt::Checked) << u"No"_s;
    QTest::newRow("text unchecked") << u"Flag"_s << 2 << int(Qt::Unchecked) << u"Y"_s;
    QTest::newRow("text neither") << u"Flag"_s << 3 << int(Qt::PartiallyChecked) << u"Y"_s;
}

void TestDBControls::CheckBox()
{
    QFETCH(QString, field);
    QFETCH(int, record);
    QFETCH(int, shown);
    QFETCH(QString, storedAfterClick);
    FCheck->SetValueChecked(u"Y;Yes"_s);
    FCheck->SetValueUnchecked(u"No"_s);
    FCheck->SetDataField(field);
    FTable->MoveBy(record - 1);
    QCOMPARE(int(FCheck->checkState()), shown);
    QTest::mouseClick(FCheck, Qt::LeftButton, {}, QPoint(8, FCheck->height() / 2));
    QCOMPARE(FTable->State(), TDataSetState::Edit);
    FTable->Post();
    QCOMPARE(Stored(u"SELECT %1 || '' FROM Types WHERE ID = %2"_s.arg(field).arg(record)), storedAfterClick);
}

void TestDBControls::CheckBoxFollowsAutoEdit()
{
    FSource->SetAutoEdit(false);
    QTest::mouseClick(FCheck, Qt::LeftButton, {}, QPoint(8, FCheck->height() / 2));
    QCOMPARE(FCheck->checkState(), Qt::Checked);
    QCOMPARE(FTable->State(), TDataSetState::Browse);
    FCheck->SetReadOnly(true);
    FTable->Edit();
    QTest::keyClick(FCheck, Qt::Key_Space);
    QCOMPARE(FCheck->checkState(), Qt::Checked);
    FCheck->SetReadOnly(false);
    QTest::keyClick(FCheck, Qt::Key_Space);
    FTable->Cancel();
    QCOMPARE(FCheck->checkState(), Qt::Checked);
}

void TestDBControls::LabelShowsDisplayTextAsPlainText()
{
    FTable->FieldByName(u"Size"_s)->SetDisplayFormat(u"#,##0 bytes"_s);
    FTable->Refresh();
    QCOMPARE(FText->text(), QLocale().toString(1234) + u" bytes"_s);
    QVERIFY(FText->ReadOnly());
    FText->SetDataField(u"Name"_s);
    FTable->Last();
    QCOMPARE(FText->text(), u"<b>gamma</b>"_s);
    QCOMPARE(FText->textFormat(), Qt::PlainText);
}

void TestDBControls::LongOrControlTextIsShownCapped_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("editableWhole");
    QTest::newRow("1 MiB of U+0000") << QString(1 << 20, QChar(0)) << false;
    QTest::newRow("100,000 letters without a break") << QString(100000, u'a') << true;
    QTest::newRow("short text with a control character") << u"a\u0001b"_s << false;
}

void TestDBControls::LongOrControlTextIsShownCapped()
{
    QFETCH(QString, value);
    QFETCH(bool, editableWhole);
    FData->Db.ExecSQL(u"UPDATE Types SET Notes = ? WHERE ID = 1"_s, {TVariant(value)});
    FTable->Refresh();
    const QString storedLength = QString::number(value.size());
    const QString lengthSql = u"SELECT length(CAST(Notes AS BLOB)) FROM Types WHERE ID = 1"_s;
    QVERIFY(FMemo->Capped());
    QVERIFY(FMemo->toPlainText().size() <= TDBMemo::ShownLimit);
    QVERIFY(!FMemo->toPlainText().contains(QChar(0)) && !FMemo->toPlainText().contains(QChar(1)));

    // The capped view takes no typing and is never written back.
    Focus(FMemo);
    QTest::keyClick(FMemo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(FMemo, u"x"_s);
    QCOMPARE(FTable->State(), TDataSetState::Browse);
    Focus(FOther);
    FTable->Edit();
    FTable->FieldByName(u"Name"_s)->SetAsString(u"renamed"_s);
    FTable->Post();
    QCOMPARE(Stored(lengthSql), storedLength);

    auto *notice = FMemo->findChild<QLabel *>(u"MemoNotice"_s);
    QVERIFY(notice->isVisibleTo(FMemo));
    if (value.size() > TDBMemo::ShownLimit)
        emit notice->linkActivated(u"all"_s);
    QCOMPARE(FMemo->Capped(), !editableWhole);
    if (!editableWhole)
        return;
    QCOMPARE(FMemo->toPlainText(), value);
    Focus(FMemo);
    QTest::keyClick(FMemo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(FMemo, u"!"_s);
    FTable->Post();
    QCOMPARE(Stored(lengthSql), QString::number(value.size() + 1));
}

void TestDBControls::Render()
{
    FTable->Edit();
    FTable->FieldByName(u"Notes"_s)
        ->SetAsString(u"A description long enough to wrap over more than one line "
                      "of the memo, so that the word wrap shows."_s);
    const QImage image = FForm->grab().toImage();
    KeepScreenshot(image, u"dbcontrols.png"_s);
    QVERIFY(FMemo->document()->firstBlock().layout()->lineCount() > 1);
}

QTEST_MAIN(TestDBControls)
#include "tst_DBControls.moc"
