#include "DataSources.h"
#include "Databases.h"
#include "Queries.h"
#include "Tables.h"
#include "TestDrivers.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

namespace {

// Logs each notification with the link's state at that moment: "/A-" active, "/AE" active and
// editing, "/--" inactive. The defaults of DataSetScrolled, DataSetChanged and LayoutChanged are
// still called, so the log shows what a control that keeps them would receive.
class TRecordingLink : public TDataLink
{
public:
    QStringList Log;
    // Runs after a notification is logged: lets a test act from inside a notification.
    std::function<void(const QString &)> OnNotify;

    QString Text() const { return Log.join(QStringLiteral(", ")); }
    QString TakeText()
    {
        const QString text = Text();
        Log.clear();
        return text;
    }

protected:
    void ActiveChanged() override { Record(QStringLiteral("ActiveChanged")); }
    void CheckBrowseMode() override { Record(QStringLiteral("CheckBrowseMode")); }
    void DataSetChanged() override
    {
        Record(QStringLiteral("DataSetChanged"));
        TDataLink::DataSetChanged();
    }
    void DataSetScrolled(int distance) override
    {
        Record(QStringLiteral("DataSetScrolled(%1)").arg(distance));
        TDataLink::DataSetScrolled(distance);
    }
    void EditingChanged() override { Record(QStringLiteral("EditingChanged")); }
    void LayoutChanged() override
    {
        Record(QStringLiteral("LayoutChanged"));
        TDataLink::LayoutChanged();
    }
    void RecordChanged(TField *field) override
    {
        Record(QStringLiteral("RecordChanged(%1)").arg(field ? field->FieldName() : QStringLiteral("none")));
    }
    void UpdateData() override { Record(QStringLiteral("UpdateData")); }

private:
    void Record(const QString &name)
    {
        const QString state =
            QStringLiteral("/%1%2").arg(QChar(Active() ? u'A' : u'-'), QChar(Editing() ? u'E' : u'-'));
        Log << name + state;
        if (OnNotify)
            OnNotify(name);
    }
};

} // namespace

class TestDataLinks : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void Notifications_data();
    void Notifications();
    void DisableControls_data();
    void DisableControls();
    void DisableControlsKeepsFieldLinkValid();

    void AutoEdit_data();
    void AutoEdit();
    void DataSourceEvents();
    void DataSourceDisabled();

    void FieldLinkFindsField();
    void FieldLinkDataChange();
    void FieldLinkUpdateData();
    void FieldLinkPostWritesPendingEdit();
    void FieldLinkCanModify_data();
    void FieldLinkCanModify();

    void LinkDetachesItselfWhileNotified();
    void LinkDestroysAnotherWhileNotified_data();
    void LinkDestroysAnotherWhileNotified();
    void DataSetDestroyedBeforeSource();
    void SourceDestroyedBeforeLinks();

    void CalculatedFields();
    void CalculatedFieldIsReadOnlyOutsideOnCalcFields();
    void GetTextDrivesDisplayText();
    void DisplayFormat_data();
    void DisplayFormat();

    void BlobStreamRead();
    void BlobStreamWrite_data();
    void BlobStreamWrite();
    void BlobStreamWriteNeedsEditState();
    void BlobStreamOutlivingTheEdit();

private:
    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TDatabase> FDb;
    std::unique_ptr<TTable> FTable;
    std::unique_ptr<TDataSource> FSource;
    std::unique_ptr<TRecordingLink> FLink;
    QLocale FSavedLocale;

    bool Perform(const QString &operation);
    QVariant Stored(const QString &sql);
};

void TestDataLinks::init()
{
    FSavedLocale = QLocale();
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FDb = std::make_unique<TDatabase>();
    FDb->SetDatabaseName(QStringLiteral("Links"));
    FDb->SetDriverName(TestDriver());
    FDb->SetParams(TestDatabaseParams(FDir->path(), QStringLiteral("links")) +
                   QStringList{QStringLiteral("CREATE=TRUE")});
    FDb->Open();
    FDb->ExecSQL(QStringLiteral("CREATE TABLE Files (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(40), "
                                "Size BIGINT, Data BLOB, Notes TEXT)"));
    FDb->ExecSQL(QStringLiteral("INSERT INTO Files (Name, Size, Data, Notes) VALUES "
                                "('alpha', 100, x'00FF10', 'first'), ('beta', 200, NULL, NULL), "
                                "('gamma', 300, NULL, NULL)"));
    FTable = std::make_unique<TTable>();
    FTable->SetDatabase(FDb.get());
    FTable->SetTableName(QStringLiteral("Files"));
    FSource = std::make_unique<TDataSource>(FTable.get());
    FLink = std::make_unique<TRecordingLink>();
    FLink->SetDataSource(FSource.get());
    QCOMPARE(FLink->Text(), QString());
    FTable->Open();
    FLink->Log.clear();
}

void TestDataLinks::cleanup()
{
    // Handlers of a test capture its locals, which are gone by now.
    if (FSource) {
        FSource->OnDataChange.Clear();
        FSource->OnStateChange.Clear();
    }
    if (FTable)
        FTable->OnCalcFields.Clear();
    FLink.reset();
    FSource.reset();
    FTable.reset();
    FDb.reset();
    FDir.reset();
    QLocale::setDefault(FSavedLocale);
}

bool TestDataLinks::Perform(const QString &operation)
{
    TTable &table = *FTable;
    if (operation == u"Open")
        table.Open();
    else if (operation == u"Close")
        table.Close();
    else if (operation == u"Next")
        table.Next();
    else if (operation == u"Prior")
        table.Prior();
    else if (operation == u"First")
        table.First();
    else if (operation == u"Last")
        table.Last();
    else if (operation == u"Edit")
        table.Edit();
    else if (operation == u"Insert")
        table.Insert();
    else if (operation == u"Append")
        table.Append();
    else if (operation == u"Post")
        table.Post();
    else if (operation == u"Cancel")
        table.Cancel();
    else if (operation == u"Delete")
        table.Delete();
    else if (operation == u"SetName")
        table.FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("changed"));
    else
        return false;
    return true;
}

// A value as a second look at the file shows it, not as the data set under test holds it.
QVariant TestDataLinks::Stored(const QString &sql)
{
    TQuery query;
    query.SetDatabase(FDb.get());
    query.SetSQL({sql});
    query.Open();
    if (query.IsEmpty())
        return QVariant();
    const TVariant value = query.Fields(0)->Value();
    if (value.IsEmptyOrNull())
        return QVariant();
    if (value.VarType() == TVarType::Bytes)
        return QVariant(value.AsBytes());
    return QVariant(value.AsString());
}

// ---------------------------------------------------------------------------------------------
// Order of notifications

void TestDataLinks::Notifications_data()
{
    QTest::addColumn<QStringList>("prepare");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("expected");

    const QString changed = QStringLiteral("DataSetChanged/A-, RecordChanged(none)/A-");
    QTest::newRow("open") << QStringList{QStringLiteral("Close")} << QStringLiteral("Open")
                          << QStringLiteral("ActiveChanged/A-");
    QTest::newRow("close") << QStringList() << QStringLiteral("Close") << QStringLiteral("ActiveChanged/--");
    // The link learns it is inactive before it learns editing ended: both come, in that order.
    QTest::newRow("close while editing") << QStringList{QStringLiteral("Edit")} << QStringLiteral("Close")
                                         << QStringLiteral("ActiveChanged/-E, EditingChanged/--");
    QTest::newRow("next") << QStringList() << QStringLiteral("Next")
                          << QStringLiteral("CheckBrowseMode/A-, DataSetScrolled(1)/A-, ") + changed;
    QTest::newRow("prior") << QStringList{QStringLiteral("Last")} << QStringLiteral("Prior")
                           << QStringLiteral("CheckBrowseMode/A-, DataSetScrolled(-1)/A-, ") + changed;
    QTest::newRow("prior at first") << QStringList() << QStringLiteral("Prior")
                                    << QStringLiteral("CheckBrowseMode/A-");
    QTest::newRow("first") << QStringList{QStringLiteral("Last")} << QStringLiteral("First")
                           << QStringLiteral("CheckBrowseMode/A-, ") + changed;
    QTest::newRow("last") << QStringList() << QStringLiteral("Last")
                          << QStringLiteral("CheckBrowseMode/A-, ") + changed;
    QTest::newRow("edit") << QStringList() << QStringLiteral("Edit")
                          << QStringLiteral("CheckBrowseMode/A-, EditingChanged/AE, RecordChanged(none)/AE");
    QTest::newRow("edit while editing")
        << QStringList{QStringLiteral("Edit")} << QStringLiteral("Edit") << QString();
    QTest::newRow("set field") << QStringList{QStringLiteral("Edit")} << QStringLiteral("SetName")
                               << QStringLiteral("RecordChanged(Name)/AE");
    QTest::newRow("post edit") << QStringList{QStringLiteral("Edit"), QStringLiteral("SetName")}
                               << QStringLiteral("Post")
                               << QStringLiteral("UpdateData/AE, CheckBrowseMode/AE, EditingChanged/A-, ") +
                                      changed;
    QTest::newRow("cancel edit") << QStringList{QStringLiteral("Edit"), QStringLiteral("SetName")}
                                 << QStringLiteral("Cancel")
                                 << QStringLiteral("CheckBrowseMode/AE, EditingChanged/A-, ") + changed;
    QTest::newRow("cancel while browsing") << QStringList() << QStringLiteral("Cancel") << QString();
    QTest::newRow("insert") << QStringList() << QStringLiteral("Insert")
                            << QStringLiteral("CheckBrowseMode/A-, EditingChanged/AE, DataSetChanged/AE, "
                                              "RecordChanged(none)/AE");
    QTest::newRow("append") << QStringList() << QStringLiteral("Append")
                            << QStringLiteral("CheckBrowseMode/A-, EditingChanged/AE, DataSetChanged/AE, "
                                              "RecordChanged(none)/AE");
    QTest::newRow("post insert") << QStringList{QStringLiteral("Insert"), QStringLiteral("SetName")}
                                 << QStringLiteral("Post")
                                 << QStringLiteral("UpdateData/AE, CheckBrowseMode/AE, EditingChanged/A-, ") +
                                        changed;
    QTest::newRow("cancel insert") << QStringList{QStringLiteral("Insert")} << QStringLiteral("Cancel")
                                   << QStringLiteral("CheckBrowseMode/AE, EditingChanged/A-, ") + changed;
    QTest::newRow("delete") << QStringList() << QStringLiteral("Delete")
                            << QStringLiteral("CheckBrowseMode/A-, ") + changed;
    QTest::newRow("delete while editing")
        << QStringList{QStringLiteral("Edit"), QStringLiteral("SetName")} << QStringLiteral("Delete")
        << QStringLiteral("CheckBrowseMode/AE, EditingChanged/A-, ") + changed;
    QTest::newRow("delete while inserting cancels")
        << QStringList{QStringLiteral("Insert")} << QStringLiteral("Delete")
        << QStringLiteral("CheckBrowseMode/AE, EditingChanged/A-, ") + changed;
    // Leaving a modified record posts it first; the controls are asked for their edits once for
    // the decision to post and once by the post itself, so a control writes only what it still
    // holds as modified.
    QTest::newRow("next posts a modified record")
        << QStringList{QStringLiteral("Edit"), QStringLiteral("SetName")} << QStringLiteral("Next")
        << QStringLiteral("CheckBrowseMode/AE, UpdateData/AE, UpdateData/AE, CheckBrowseMode/AE, "
                          "EditingChanged/A-, ") +
               changed + QStringLiteral(", DataSetScrolled(1)/A-, ") + changed;
    QTest::newRow("next cancels an unmodified edit")
        << QStringList{QStringLiteral("Edit")} << QStringLiteral("Next")
        << QStringLiteral("CheckBrowseMode/AE, UpdateData/AE, CheckBrowseMode/AE, EditingChanged/A-, ") +
               changed + QStringLiteral(", DataSetScrolled(1)/A-, ") + changed;
}

void TestDataLinks::Notifications()
{
    QFETCH(QStringList, prepare);
    QFETCH(QString, operation);
    QFETCH(QString, expected);

    for (const QString &step : prepare)
        QVERIFY(Perform(step));
    FLink->Log.clear();
    QVERIFY(Perform(operation));
    QCOMPARE(FLink->Text(), expected);
    // The link's own view agrees with the data set once the operation is over.
    QCOMPARE(FLink->Active(), FTable->Active());
    QCOMPARE(FLink->Editing(),
             FTable->State() == TDataSetState::Edit || FTable->State() == TDataSetState::Insert);
    // A record that is only browsed has nothing unposted.
    if (FTable->State() == TDataSetState::Browse)
        QVERIFY(!FTable->Modified());
}

void TestDataLinks::DisableControls_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("whileDisabled");
    QTest::addColumn<QString>("expected");

    const QString changed = QStringLiteral("DataSetChanged/A-, RecordChanged(none)/A-");
    QTest::newRow("moves") << QStringList() << QStringList{QStringLiteral("Next"), QStringLiteral("Next")}
                           << changed;
    QTest::newRow("edit and post") << QStringList()
                                   << QStringList{QStringLiteral("Edit"), QStringLiteral("SetName"),
                                                  QStringLiteral("Post")}
                                   << changed;
    QTest::newRow("nothing") << QStringList() << QStringList() << changed;
    QTest::newRow("edit left open") << QStringList()
                                    << QStringList{QStringLiteral("Edit"), QStringLiteral("SetName")}
                                    << QStringLiteral(
                                           "EditingChanged/AE, DataSetChanged/AE, RecordChanged(none)/AE");
    QTest::newRow("post of an edit begun before")
        << QStringList{QStringLiteral("Edit")}
        << QStringList{QStringLiteral("SetName"), QStringLiteral("Post")}
        << QStringLiteral("EditingChanged/A-, ") + changed;
    QTest::newRow("closed") << QStringList() << QStringList{QStringLiteral("Close")}
                            << QStringLiteral("ActiveChanged/--");
    QTest::newRow("opened") << QStringList{QStringLiteral("Close")} << QStringList{QStringLiteral("Open")}
                            << QStringLiteral("ActiveChanged/A-");
    // The fields were made anew: the controls must look them up again.
    QTest::newRow("closed and opened again")
        << QStringList() << QStringList{QStringLiteral("Close"), QStringLiteral("Open")}
        << QStringLiteral("LayoutChanged/A-, ") + changed;
}

void TestDataLinks::DisableControls()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, whileDisabled);
    QFETCH(QString, expected);

    for (const QString &step : before)
        QVERIFY(Perform(step));
    FLink->Log.clear();

    FTable->DisableControls();
    QVERIFY(FTable->ControlsDisabled());
    for (const QString &step : whileDisabled)
        QVERIFY(Perform(step));
    // A nested pair inside changes nothing.
    FTable->DisableControls();
    FTable->EnableControls();
    QVERIFY(FTable->ControlsDisabled());
    QCOMPARE(FLink->Text(), QString());

    FTable->EnableControls();
    QVERIFY(!FTable->ControlsDisabled());
    QCOMPARE(FLink->TakeText(), expected);
    QCOMPARE(FLink->Active(), FTable->Active());
    QCOMPARE(FSource->State(), FTable->State());

    // One EnableControls too many is harmless and sends nothing.
    FTable->EnableControls();
    QCOMPARE(FLink->Text(), QString());
    // And the controls hear of everything again.
    if (FTable->Active() && FTable->State() == TDataSetState::Browse) {
        FTable->First();
        QCOMPARE(FLink->Text(),
                 QStringLiteral("CheckBrowseMode/A-, DataSetChanged/A-, RecordChanged(none)/A-"));
    }
}

void TestDataLinks::DisableControlsKeepsFieldLinkValid()
{
    TFieldDataLink fieldLink;
    fieldLink.SetFieldName(QStringLiteral("Name"));
    fieldLink.SetDataSource(FSource.get());
    QCOMPARE(fieldLink.Field(), FTable->FieldByName(QStringLiteral("Name")));

    FTable->DisableControls();
    FTable->Close();
    FTable->Open();
    FTable->EnableControls();
    // The old field is gone with the close; the link must hold the new one.
    QCOMPARE(fieldLink.Field(), FTable->FieldByName(QStringLiteral("Name")));
    QCOMPARE(fieldLink.Field()->AsString(), QStringLiteral("alpha"));
}

// ---------------------------------------------------------------------------------------------
// Data sources

void TestDataLinks::AutoEdit_data()
{
    QTest::addColumn<bool>("autoEdit");
    QTest::addColumn<bool>("linkReadOnly");
    QTest::addColumn<bool>("editing");

    QTest::newRow("auto edit") << true << false << true;
    QTest::newRow("no auto edit") << false << false << false;
    QTest::newRow("read-only link") << true << true << false;
}

void TestDataLinks::AutoEdit()
{
    QFETCH(bool, autoEdit);
    QFETCH(bool, linkReadOnly);
    QFETCH(bool, editing);

    FSource->SetAutoEdit(autoEdit);
    FLink->SetReadOnly(linkReadOnly);
    QCOMPARE(FLink->Edit(), editing);
    QCOMPARE(FTable->State(), editing ? TDataSetState::Edit : TDataSetState::Browse);
    QCOMPARE(FSource->State(), FTable->State());

    // A data set already editing stays so, whatever AutoEdit says.
    FTable->Edit();
    FSource->SetAutoEdit(false);
    QCOMPARE(FLink->Edit(), !linkReadOnly);
    QCOMPARE(FTable->State(), TDataSetState::Edit);
}

void TestDataLinks::DataSourceEvents()
{
    QStringList changes;
    QList<TDataSetState> states;
    FSource->OnDataChange = {[&changes](TDataSource *, TField *field) {
        changes << (field ? field->FieldName() : QStringLiteral("none"));
    }};
    FSource->OnStateChange = {[&states](TDataSource *source) { states << source->State(); }};

    FTable->Next();
    QCOMPARE(changes, QStringList{QStringLiteral("none")});
    changes.clear();

    FTable->Edit();
    FTable->FieldByName(QStringLiteral("Size"))->SetAsLargeInt(5);
    QCOMPARE(states, QList<TDataSetState>{TDataSetState::Edit});
    QCOMPARE(changes, (QStringList{QStringLiteral("none"), QStringLiteral("Size")}));
    changes.clear();

    FTable->Post();
    QCOMPARE(states, (QList<TDataSetState>{TDataSetState::Edit, TDataSetState::Browse}));
    QCOMPARE(changes, QStringList{QStringLiteral("none")});
    changes.clear();
    states.clear();

    // Becoming active also tells that the data is new.
    FTable->Close();
    FTable->Open();
    QCOMPARE(states, (QList<TDataSetState>{TDataSetState::Inactive, TDataSetState::Browse}));
    QCOMPARE(changes, QStringList{QStringLiteral("none")});
}

void TestDataLinks::DataSourceDisabled()
{
    int dataChanges = 0;
    FSource->OnDataChange = {[&dataChanges](TDataSource *, TField *) { ++dataChanges; }};

    FSource->SetEnabled(false);
    QCOMPARE(FSource->State(), TDataSetState::Inactive);
    QVERIFY(!FLink->Active());
    QCOMPARE(FLink->TakeText(), QStringLiteral("ActiveChanged/--"));

    FTable->Next();
    FTable->Edit();
    FTable->Cancel();
    QCOMPARE(FLink->Text(), QString());
    QCOMPARE(dataChanges, 0);
    // A disabled source does not start an edit for its controls.
    QVERIFY(!FLink->Edit());
    QCOMPARE(FTable->State(), TDataSetState::Browse);

    FSource->SetEnabled(true);
    QVERIFY(FLink->Active());
    QCOMPARE(FLink->TakeText(), QStringLiteral("ActiveChanged/A-"));
    QCOMPARE(dataChanges, 1);
    FTable->Next();
    QCOMPARE(FLink->Text(), QStringLiteral("CheckBrowseMode/A-, DataSetScrolled(1)/A-, DataSetChanged/A-, "
                                           "RecordChanged(none)/A-"));
}

// ---------------------------------------------------------------------------------------------
// Field data links

void TestDataLinks::FieldLinkFindsField()
{
    FTable->Close();
    TFieldDataLink link;
    int activeChanges = 0;
    link.OnActiveChange = {[&activeChanges](TFieldDataLink *) { ++activeChanges; }};
    link.SetFieldName(QStringLiteral("name"));
    link.SetDataSource(FSource.get());
    QCOMPARE(link.Field(), nullptr);

    FTable->Open();
    QCOMPARE(activeChanges, 1);
    QCOMPARE(link.Field(), FTable->FieldByName(QStringLiteral("Name")));
    QCOMPARE(link.Field()->AsString(), QStringLiteral("alpha"));

    link.SetFieldName(QStringLiteral("Size"));
    QCOMPARE(link.Field(), FTable->FieldByName(QStringLiteral("Size")));
    link.SetFieldName(QStringLiteral("NoSuchField"));
    QCOMPARE(link.Field(), nullptr);

    link.SetFieldName(QStringLiteral("Name"));
    FTable->Close();
    QCOMPARE(activeChanges, 2);
    QCOMPARE(link.Field(), nullptr);
}

void TestDataLinks::FieldLinkDataChange()
{
    TFieldDataLink link;
    link.SetFieldName(QStringLiteral("Name"));
    link.SetDataSource(FSource.get());
    QStringList seen;
    link.OnDataChange = {[&seen](TFieldDataLink *l) { seen << l->Field()->AsString(); }};

    FTable->Edit();
    QCOMPARE(seen, QStringList{QStringLiteral("alpha")}); // editing began: the whole record
    seen.clear();
    FTable->FieldByName(QStringLiteral("Size"))->SetAsLargeInt(7);
    QCOMPARE(seen, QStringList());
    FTable->FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("renamed"));
    QCOMPARE(seen, QStringList{QStringLiteral("renamed")});
    seen.clear();
    FTable->Cancel();
    QCOMPARE(seen, QStringList{QStringLiteral("alpha")});
    seen.clear();
    FTable->Next();
    QCOMPARE(seen, QStringList{QStringLiteral("beta")});
}

void TestDataLinks::FieldLinkUpdateData()
{
    TFieldDataLink link;
    link.SetFieldName(QStringLiteral("Name"));
    link.SetDataSource(FSource.get());
    TFieldDataLink other;
    other.SetFieldName(QStringLiteral("Name"));
    other.SetDataSource(FSource.get());

    int updates = 0;
    int ownChanges = 0;
    int otherChanges = 0;
    link.OnUpdateData = {[&updates](TFieldDataLink *l) {
        ++updates;
        l->Field()->SetAsString(QStringLiteral("typed"));
    }};
    link.OnDataChange = {[&ownChanges](TFieldDataLink *) { ++ownChanges; }};
    other.OnDataChange = {[&otherChanges](TFieldDataLink *) { ++otherChanges; }};

    QVERIFY(link.Edit());
    ownChanges = otherChanges = 0;

    // Nothing typed: nothing to write.
    link.UpdateRecord();
    QCOMPARE(updates, 0);

    link.Modified();
    QVERIFY(link.IsModified());
    link.UpdateRecord();
    QCOMPARE(updates, 1);
    QVERIFY(!link.IsModified());
    QCOMPARE(FTable->FieldByName(QStringLiteral("Name"))->AsString(), QStringLiteral("typed"));
    // The writing control is not told of its own write (it would reload what it is writing); the
    // other control is.
    QCOMPARE(ownChanges, 0);
    QCOMPARE(otherChanges, 1);

    link.UpdateRecord();
    QCOMPARE(updates, 1);

    // Reset discards a pending change and shows the value again.
    link.Modified();
    link.Reset();
    QVERIFY(!link.IsModified());
    QCOMPARE(ownChanges, 1);
    link.UpdateRecord();
    QCOMPARE(updates, 1);
}

void TestDataLinks::FieldLinkPostWritesPendingEdit()
{
    TFieldDataLink link;
    link.SetFieldName(QStringLiteral("Name"));
    link.SetDataSource(FSource.get());
    int updates = 0;
    link.OnUpdateData = {[&updates](TFieldDataLink *l) {
        ++updates;
        l->Field()->SetAsString(QStringLiteral("from the control"));
    }};

    QVERIFY(link.Edit());
    link.Modified();
    // Leaving the record posts the pending edit, written once although the controls are asked twice.
    FTable->Next();
    QCOMPARE(updates, 1);
    QCOMPARE(FTable->State(), TDataSetState::Browse);
    QCOMPARE(Stored(QStringLiteral("SELECT Name FROM Files WHERE ID = 1")).toString(),
             QStringLiteral("from the control"));
    QCOMPARE(FTable->FieldByName(QStringLiteral("Name"))->AsString(), QStringLiteral("beta"));
}

void TestDataLinks::FieldLinkCanModify_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<bool>("tableReadOnly");
    QTest::addColumn<bool>("fieldReadOnly");
    QTest::addColumn<bool>("linkReadOnly");
    QTest::addColumn<bool>("canModify");

    QTest::newRow("writable") << QStringLiteral("Name") << false << false << false << true;
    QTest::newRow("read-only table") << QStringLiteral("Name") << true << false << false << false;
    QTest::newRow("read-only field") << QStringLiteral("Name") << false << true << false << false;
    QTest::newRow("read-only link") << QStringLiteral("Name") << false << false << true << false;
    QTest::newRow("calculated field") << QStringLiteral("Calc") << false << false << false << false;
    QTest::newRow("no such field") << QStringLiteral("Missing") << false << false << false << false;
}

void TestDataLinks::FieldLinkCanModify()
{
    QFETCH(QString, fieldName);
    QFETCH(bool, tableReadOnly);
    QFETCH(bool, fieldReadOnly);
    QFETCH(bool, linkReadOnly);
    QFETCH(bool, canModify);

    FTable->Close();
    FTable->SetReadOnly(tableReadOnly);
    FTable->AddCalculatedField(QStringLiteral("Calc"), TFieldType::Integer);
    FTable->Open();
    if (TField *field = FTable->FindField(fieldName))
        field->SetReadOnly(fieldReadOnly);

    TFieldDataLink link;
    link.SetFieldName(fieldName);
    link.SetDataSource(FSource.get());
    link.SetReadOnly(linkReadOnly);
    QCOMPARE(link.CanModify(), canModify);
    QCOMPARE(link.Edit(), canModify);
    QCOMPARE(FTable->State(), canModify ? TDataSetState::Edit : TDataSetState::Browse);
}

// ---------------------------------------------------------------------------------------------
// Links that come and go while notified

void TestDataLinks::LinkDetachesItselfWhileNotified()
{
    auto other = std::make_unique<TRecordingLink>();
    other->SetDataSource(FSource.get());
    other->Log.clear();
    TRecordingLink *self = FLink.get();
    FLink->OnNotify = [self](const QString &name) {
        if (name == u"DataSetChanged")
            self->SetDataSource(nullptr);
    };

    FTable->Next();
    QCOMPARE(FLink->DataSource(), nullptr);
    QVERIFY(!FLink->Active());
    // The default went on to RecordChanged after the link had let go: it sees itself inactive.
    QCOMPARE(FLink->TakeText(),
             QStringLiteral("CheckBrowseMode/A-, DataSetScrolled(1)/A-, DataSetChanged/A-, "
                            "ActiveChanged/--, RecordChanged(none)/--"));
    QCOMPARE(other->TakeText(),
             QStringLiteral("CheckBrowseMode/A-, DataSetScrolled(1)/A-, DataSetChanged/A-, "
                            "RecordChanged(none)/A-"));
    FTable->Next();
    QCOMPARE(FLink->Text(), QString());
    QVERIFY(!other->Text().isEmpty());
}

void TestDataLinks::LinkDestroysAnotherWhileNotified_data()
{
    QTest::addColumn<QString>("notification");
    QTest::addColumn<QString>("operation");

    QTest::newRow("scrolled") << QStringLiteral("DataSetScrolled(1)") << QStringLiteral("Next");
    QTest::newRow("editing changed") << QStringLiteral("EditingChanged") << QStringLiteral("Edit");
    QTest::newRow("deactivated") << QStringLiteral("ActiveChanged") << QStringLiteral("Close");
}

// Run this one under the sanitizer build (VNX_SANITIZE) to see a use after free, should one return.
void TestDataLinks::LinkDestroysAnotherWhileNotified()
{
    QFETCH(QString, notification);
    QFETCH(QString, operation);

    // Links are told in the order they were attached: the victim comes after the killer.
    auto victim = std::make_unique<TRecordingLink>();
    victim->SetDataSource(FSource.get());
    auto witness = std::make_unique<TRecordingLink>();
    witness->SetDataSource(FSource.get());
    witness->Log.clear();
    FLink->OnNotify = [&victim, notification](const QString &name) {
        if (name == notification)
            victim.reset();
    };

    QVERIFY(Perform(operation));
    QVERIFY(!victim);
    QVERIFY(witness->Text().contains(notification));
    QCOMPARE(witness->Active(), FTable->Active());
}

void TestDataLinks::DataSetDestroyedBeforeSource()
{
    TFieldDataLink fieldLink;
    fieldLink.SetFieldName(QStringLiteral("Name"));
    fieldLink.SetDataSource(FSource.get());
    FTable->Edit();

    FTable.reset();
    QCOMPARE(FSource->DataSet(), nullptr);
    QCOMPARE(FSource->State(), TDataSetState::Inactive);
    QVERIFY(!FLink->Active());
    QVERIFY(!FLink->Editing());
    QCOMPARE(FLink->DataSet(), nullptr);
    QCOMPARE(fieldLink.Field(), nullptr);
    // The source is still usable, with another data set.
    TTable table;
    table.SetDatabase(FDb.get());
    table.SetTableName(QStringLiteral("Files"));
    FSource->SetDataSet(&table);
    table.Open();
    QVERIFY(FLink->Active());
    QCOMPARE(fieldLink.Field()->AsString(), QStringLiteral("alpha"));
    FSource.reset();
}

void TestDataLinks::SourceDestroyedBeforeLinks()
{
    TFieldDataLink fieldLink;
    fieldLink.SetFieldName(QStringLiteral("Name"));
    fieldLink.SetDataSource(FSource.get());

    FSource.reset();
    QCOMPARE(FLink->DataSource(), nullptr);
    QVERIFY(!FLink->Active());
    QCOMPARE(FLink->TakeText(), QStringLiteral("ActiveChanged/--"));
    QCOMPARE(fieldLink.DataSource(), nullptr);
    QCOMPARE(fieldLink.Field(), nullptr);
    // The data set no longer knows the source.
    FTable->Next();
    FTable->Edit();
    FTable->Post();
    QCOMPARE(FLink->Text(), QString());
}

// ---------------------------------------------------------------------------------------------
// Calculated fields and display

void TestDataLinks::CalculatedFields()
{
    FTable->Close();
    FTable->AddCalculatedField(QStringLiteral("Double"), TFieldType::Largeint);
    FTable->AddCalculatedField(QStringLiteral("Label"), TFieldType::String, 60);
    int calculations = 0;
    FTable->OnCalcFields = {[&calculations](TDataSet *dataSet) {
        ++calculations;
        dataSet->FieldByName(QStringLiteral("Double"))
            ->SetAsLargeInt(dataSet->FieldByName(QStringLiteral("Size"))->AsLargeInt() * 2);
        dataSet->FieldByName(QStringLiteral("Label"))
            ->SetAsString(dataSet->FieldByName(QStringLiteral("Name"))->AsString().toUpper());
    }};
    FTable->Open();
    TField *doubled = FTable->FieldByName(QStringLiteral("Double"));
    TField *label = FTable->FieldByName(QStringLiteral("Label"));
    QCOMPARE(doubled->FieldKind(), TFieldKind::Calculated);
    QCOMPARE(label->Index(), FTable->FieldCount() - 1);

    QCOMPARE(doubled->AsLargeInt(), 200);
    QCOMPARE(label->AsString(), QStringLiteral("ALPHA"));
    const int once = calculations;
    QCOMPARE(doubled->AsLargeInt(), 200);
    QCOMPARE(calculations, once); // kept until the record changes

    FTable->Next();
    QCOMPARE(doubled->AsLargeInt(), 400);
    QCOMPARE(label->AsString(), QStringLiteral("BETA"));
    FTable->Last();
    QCOMPARE(doubled->AsLargeInt(), 600);
    FTable->Prior();
    QCOMPARE(doubled->AsLargeInt(), 400);

    // While editing they follow the edit buffer, and after a cancel the record again.
    FTable->Edit();
    FTable->FieldByName(QStringLiteral("Size"))->SetAsLargeInt(21);
    QCOMPARE(doubled->AsLargeInt(), 42);
    FTable->Cancel();
    QCOMPARE(doubled->AsLargeInt(), 400);

    FTable->Insert();
    QVERIFY(doubled->IsNull() || doubled->AsLargeInt() == 0);
    FTable->FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("delta"));
    QCOMPARE(label->AsString(), QStringLiteral("DELTA"));
    FTable->Cancel();

    // Kept across closing; null while closed.
    FTable->Close();
    QVERIFY(FTable->FindField(QStringLiteral("Double")));
    QVERIFY(doubled->IsNull());
    FTable->Open();
    QCOMPARE(FTable->FieldByName(QStringLiteral("Double"))->AsLargeInt(), 200);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError,
                             FTable->AddCalculatedField(QStringLiteral("Late"), TFieldType::Integer));
}

void TestDataLinks::CalculatedFieldIsReadOnlyOutsideOnCalcFields()
{
    FTable->Close();
    FTable->AddCalculatedField(QStringLiteral("Double"), TFieldType::Largeint);
    FTable->OnCalcFields = {
        [](TDataSet *dataSet) { dataSet->FieldByName(QStringLiteral("Double"))->SetAsLargeInt(1); }};
    FTable->Open();
    TField *doubled = FTable->FieldByName(QStringLiteral("Double"));
    QCOMPARE(ErrorOf([doubled] { doubled->SetAsLargeInt(5); }),
             QStringLiteral("Field 'Double' cannot be modified"));
    FTable->Edit();
    QCOMPARE(ErrorOf([doubled] { doubled->SetAsLargeInt(5); }),
             QStringLiteral("Field 'Double' cannot be modified"));
    QCOMPARE(doubled->AsLargeInt(), 1);
    QVERIFY(!doubled->CanModify());
}

void TestDataLinks::GetTextDrivesDisplayText()
{
    TField *name = FTable->FieldByName(QStringLiteral("Name"));
    QCOMPARE(name->DisplayText(), QStringLiteral("alpha"));
    name->OnGetText = {[](TField *field, QString &text, bool displayText) {
        text = (displayText ? QStringLiteral("<%1>") : QStringLiteral("[%1]")).arg(field->AsString());
    }};
    QCOMPARE(name->DisplayText(), QStringLiteral("<alpha>"));
    QCOMPARE(name->Text(), QStringLiteral("[alpha]"));
    FTable->Next();
    QCOMPARE(name->DisplayText(), QStringLiteral("<beta>"));
    // The handler wins over a display format.
    TField *size = FTable->FieldByName(QStringLiteral("Size"));
    size->SetDisplayFormat(QStringLiteral("0.00"));
    size->OnGetText = {[](TField *, QString &text, bool) { text = QStringLiteral("big"); }};
    QCOMPARE(size->DisplayText(), QStringLiteral("big"));
    size->OnGetText.Clear();
    QCOMPARE(size->DisplayText(), QLocale().toString(200.0, 'f', 2));
}

void TestDataLinks::DisplayFormat_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("expected");

    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::newRow("english") << english << qint64(1234567) << QStringLiteral("1,234,567 bytes");
    QTest::newRow("german") << german << qint64(1234567) << QStringLiteral("1.234.567 bytes");
    QTest::newRow("beyond 32 bits") << english << qint64(5000000000) << QStringLiteral("5,000,000,000 bytes");
    QTest::newRow("short") << english << qint64(512) << QStringLiteral("512 bytes");
}

void TestDataLinks::DisplayFormat()
{
    QFETCH(QLocale, locale);
    QFETCH(qint64, size);
    QFETCH(QString, expected);

    QLocale::setDefault(locale);
    TField *field = FTable->FieldByName(QStringLiteral("Size"));
    QCOMPARE(field->DataType(), TFieldType::Largeint);
    field->SetDisplayFormat(QStringLiteral("#,###,###,### bytes"));
    FTable->Edit();
    field->SetAsLargeInt(size);
    FTable->Post();
    QCOMPARE(field->DisplayText(), expected);
    // Editing starts from the plain value.
    QCOMPARE(field->Text(), QString::number(size));
}

// ---------------------------------------------------------------------------------------------
// Blob streams

void TestDataLinks::BlobStreamRead()
{
    TField *data = FTable->FieldByName(QStringLiteral("Data"));
    QCOMPARE(data->DataType(), TFieldType::Blob);
    std::unique_ptr<QIODevice> stream = FTable->CreateBlobStream(data, TBlobStreamMode::Read);
    QVERIFY(stream->isReadable());
    QCOMPARE(stream->readAll(), QByteArray::fromHex("00FF10"));

    TField *notes = FTable->FieldByName(QStringLiteral("Notes"));
    QCOMPARE(FTable->CreateBlobStream(notes, TBlobStreamMode::Read)->readAll(), QByteArray("first"));

    FTable->Next();
    QCOMPARE(FTable->CreateBlobStream(data, TBlobStreamMode::Read)->readAll(), QByteArray());
}

void TestDataLinks::BlobStreamWrite_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("closeFirst");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray written("\x01\x02 new bytes", 12);
    QTest::newRow("write, destroyed")
        << QStringLiteral("Data") << int(TBlobStreamMode::Write) << false << written;
    QTest::newRow("write, closed") << QStringLiteral("Data") << int(TBlobStreamMode::Write) << true
                                   << written;
    QTest::newRow("read-write appends") << QStringLiteral("Data") << int(TBlobStreamMode::ReadWrite) << true
                                        << QByteArray::fromHex("00FF10") + written;
    QTest::newRow("memo") << QStringLiteral("Notes") << int(TBlobStreamMode::Write) << false
                          << QByteArray("caf\xc3\xa9 notes");
}

void TestDataLinks::BlobStreamWrite()
{
    QFETCH(QString, fieldName);
    QFETCH(int, mode);
    QFETCH(bool, closeFirst);
    QFETCH(QByteArray, expected);

    TField *field = FTable->FieldByName(fieldName);
    FTable->Edit();
    const QByteArray tail = fieldName == u"Notes" ? expected : QByteArray("\x01\x02 new bytes", 12);
    {
        std::unique_ptr<QIODevice> stream = FTable->CreateBlobStream(field, TBlobStreamMode(mode));
        QVERIFY(stream->isWritable());
        if (TBlobStreamMode(mode) == TBlobStreamMode::ReadWrite)
            QVERIFY(stream->seek(stream->size()));
        QCOMPARE(stream->write(tail), tail.size());
        // Nothing is stored while the stream is still being written.
        QVERIFY(field->AsBytes() != expected);
        if (closeFirst) {
            stream->close();
            QCOMPARE(field->AsBytes(), expected);
        }
    }
    QCOMPARE(field->AsBytes(), expected);
    QVERIFY(FTable->Modified());
    FTable->Post();
    const QVariant stored = Stored(QStringLiteral("SELECT %1 FROM Files WHERE ID = 1").arg(fieldName));
    if (fieldName == u"Notes") {
        QCOMPARE(field->DataType(), TFieldType::Memo);
        QCOMPARE(stored.toString(), QString::fromUtf8(expected));
    } else {
        QCOMPARE(stored.toByteArray(), expected);
    }
}

void TestDataLinks::BlobStreamWriteNeedsEditState()
{
    TField *data = FTable->FieldByName(QStringLiteral("Data"));
    QCOMPARE(ErrorOf([&] { FTable->CreateBlobStream(data, TBlobStreamMode::Write); }),
             QStringLiteral("Dataset not in edit or insert mode"));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, FTable->CreateBlobStream(data, TBlobStreamMode::ReadWrite));
    FTable->Close();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, FTable->CreateBlobStream(data, TBlobStreamMode::Read));
}

void TestDataLinks::BlobStreamOutlivingTheEdit()
{
    TField *data = FTable->FieldByName(QStringLiteral("Data"));
    FTable->Edit();
    std::unique_ptr<QIODevice> stream = FTable->CreateBlobStream(data, TBlobStreamMode::Write);
    stream->write("late");
    FTable->Cancel();
    // Storing into a record no longer edited fails; the stream's destruction must swallow that.
    stream.reset();
    QCOMPARE(FTable->State(), TDataSetState::Browse);
    QCOMPARE(data->AsBytes(), QByteArray::fromHex("00FF10"));
    QCOMPARE(Stored(QStringLiteral("SELECT Data FROM Files WHERE ID = 1")).toByteArray(),
             QByteArray::fromHex("00FF10"));
}

QTEST_GUILESS_MAIN(TestDataLinks)
#include "tst_DataLinks.moc"
