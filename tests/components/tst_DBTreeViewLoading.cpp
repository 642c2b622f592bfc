#include "DBTreeViewFixture.h"
#include "Queries.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TVariant)
Q_DECLARE_METATYPE(TLoadStyle)

char *toString(const TVariant &value)
{
    return QTest::toString(value.DebugText());
}

// Binding and loading of the data-aware tree view on a real folder table (see DBTreeViewFixture.h).
class TestDBTreeViewLoading : public QObject
{
    Q_OBJECT

private slots:
    void init() { F = std::make_unique<TDBTreeFixture>(); }
    void cleanup() { F.reset(); }

    void loadStyles_data();
    void loadStyles();
    void emptyTableStillReportsTheLoad();
    void selectionFollowsTheCursorIntoCollapsedFolders();
    void severalChangesCauseOneReload();
    void rootKeyParsing_data();
    void rootKeyParsing();
    void integerRootNeverEqualsSmallintLink();
    void linkPairsAreValidated_data();
    void linkPairsAreValidated();
    void parentCycleDoesNotHang();
    void twoFieldLink();
    void failuresOfALoadAreShown_data();
    void failuresOfALoadAreShown();
    void defaultImagesReadBackAgainstTheList();
    void removedSourceClearsTheTree();

private:
    std::unique_ptr<TDBTreeFixture> F;
};

void TestDBTreeViewLoading::loadStyles_data()
{
    QTest::addColumn<TLoadStyle>("style");
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<bool>("root1Complete");
    QTest::addColumn<QString>("expanded"); // after a click on Root1's button
    QTest::newRow("explorer") << lsExplorer << u"Root1+,Root2+,Root3+"_s << false
                              << u"Root1+(Docs+,Music+),Root2+,Root3+"_s;
    QTest::newRow("one ahead") << lsOneAhead << u"Root1+(Docs),Root2,Root3+(Photos)"_s << false
                               << u"Root1+(Docs+(Work),Music),Root2,Root3+(Photos)"_s;
    QTest::newRow("all ahead") << lsAllAhead << u"Root1+(Docs,Music),Root2,Root3+(Photos)"_s << true
                               << u"Root1+(Docs+(Work,Letters),Music),Root2,Root3+(Photos)"_s;
}

void TestDBTreeViewLoading::loadStyles()
{
    QFETCH(TLoadStyle, style);
    QFETCH(QString, loaded);
    QFETCH(bool, root1Complete);
    QFETCH(QString, expanded);
    F->Bind(style);
    QCOMPARE(F->Shape(), loaded);
    QCOMPARE(F->Node(1)->ChildrenLoaded(), root1Complete);
    QCOMPARE(F->Node(1)->Text(), u"Root1"_s);
    QCOMPARE(F->Node(1)->ImageIndex(), 2);
    QCOMPARE(F->Node(1)->StateIndex(), 1);
    QCOMPARE(F->Node(6)->StateIndex(), -1); // a null status with no state images
    QCOMPARE(F->Tree->Selected(), F->Node(1));
    QCOMPARE(F->CurrentId(), 1);
    F->ClickButton(F->Node(1));
    QVERIFY(F->Node(1)->Expanded());
    QCOMPARE(F->Shape(), expanded);
    QVERIFY(F->Node(1)->ChildrenLoaded());
    QCOMPARE(F->CurrentId(), 1);
    // Expanding a folder without children takes its button away.
    F->ClickButton(F->Node(6));
    QVERIFY(!F->Node(6)->HasChildren());
    QVERIFY(!F->Node(6)->Expanded());
    QCOMPARE(F->Tree->BusyCount(), 0);
}

void TestDBTreeViewLoading::emptyTableStillReportsTheLoad()
{
    F->Db.ExecSQL(u"DELETE FROM Folders"_s);
    F->Bind();
    int before = 0, after = 0;
    F->Tree->BeforeNodesLoading = TDBTEEBeforeNodesLoading([&before](QObject *) { ++before; });
    F->Tree->AfterNodesLoading = TDBTEEAfterNodesLoading([&after](QObject *) { ++after; });
    F->Tree->ReopenDataSet();
    F->Settle();
    QCOMPARE(F->Tree->Items()->Count(), 0);
    QCOMPARE(before, 1);
    QCOMPARE(after, 1);
    QCOMPARE(F->Tree->Selected(), nullptr);
}

void TestDBTreeViewLoading::selectionFollowsTheCursorIntoCollapsedFolders()
{
    F->Bind();
    int loads = 0;
    F->Tree->AfterNodesLoading = TDBTEEAfterNodesLoading([&loads](QObject *) { ++loads; });
    QVERIFY(F->Locate(7));
    QVERIFY(F->Tree->Selected());
    QCOMPARE(F->Tree->Selected()->Text(), u"Deep"_s);
    QVERIFY(F->Tree->Selected()->IsVisible());
    QCOMPARE(loads, 3); // Root1, Docs and Work were expanded in turn
    QCOMPARE(F->CurrentId(), 7);
    QCOMPARE(F->Shape(), u"Root1+(Docs+(Work+(Deep+(Deeper)),Letters),Music),Root2,Root3+(Photos)"_s);
    // Back to a shown folder: no loading at all.
    QVERIFY(F->Locate(3));
    QCOMPARE(F->Tree->Selected(), F->Node(3));
    QCOMPARE(loads, 3);
}

void TestDBTreeViewLoading::severalChangesCauseOneReload()
{
    F->Bind();
    int loads = 0;
    F->Tree->BeforeNodesLoading = TDBTEEBeforeNodesLoading([&loads](QObject *) { ++loads; });
    F->Tree->SetImageIDField(u"Status"_s);
    F->Tree->SetRootKey(u"NULL"_s); // the same value as "null": nothing changes
    F->Tree->SetStatusIDField(QString());
    F->Tree->SetNameField(u"name"_s);
    QCOMPARE(F->Tree->RootKey(), u"null"_s);
    QVERIFY(F->Tree->RefreshPending());
    QCOMPARE(loads, 0);
    F->Settle();
    QCOMPARE(loads, 1);
    QVERIFY(!F->Tree->RefreshPending());
    QCOMPARE(F->Node(1)->ImageIndex(), 1);
}

void TestDBTreeViewLoading::rootKeyParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<TVariant>("expected");
    QTest::addColumn<QString>("error");
    const TVariant none;
    QTest::newRow("null") << u"null"_s << TVariant::Array({TVariant::Null()}) << QString();
    QTest::newRow("two nulls") << u"Null; nULL"_s << TVariant::Array({TVariant::Null(), TVariant::Null()})
                               << QString();
    QTest::newRow("empty") << u""_s << TVariant(TVariantArray{}) << QString();
    QTest::newRow("doubled quote") << u"'it''s'"_s << TVariant::Array({TVariant(u"it's"_s)}) << QString();
    QTest::newRow("integer, float") << u"12;1.5"_s << TVariant::Array({TVariant(qint32(12)), TVariant(1.5)})
                                    << QString();
    QTest::newRow("quotes do not protect ;")
        << u"'a;b'"_s << none << u"Wrong root expression has been specified: 'b''"_s;
    QTest::newRow("empty piece") << u"null;;1"_s << none << u"Wrong root expression has been specified: ''"_s;
    QTest::newRow("word") << u"root"_s << none << u"Wrong root expression has been specified: 'root'"_s;
}

void TestDBTreeViewLoading::rootKeyParsing()
{
    QFETCH(QString, text);
    QFETCH(TVariant, expected);
    QFETCH(QString, error);
    TDBTreeView tree;
    tree.SetRootKey(u"7"_s);
    try {
        tree.SetRootKey(text);
        QVERIFY2(error.isEmpty(), "no error was raised");
        QVERIFY(KeysEqual(tree.RootKeyValue(), expected));
        QCOMPARE(tree.RootKey(), text);
        QCOMPARE(tree.KeyFieldsCount(), KeyLength(expected));
    } catch (const EConvertError &e) {
        QCOMPARE(e.Message(), error);
        QCOMPARE(tree.RootKey(), u"7"_s);
        QCOMPARE(tree.KeyFieldsCount(), 1);
    }
}

void TestDBTreeViewLoading::integerRootNeverEqualsSmallintLink()
{
    F->Bind();
    F->Tree->SetLinksFields(u"Status->ID"_s);
    F->Tree->SetRootKey(u"1"_s);
    QVERIFY(F->Locate(1)); // Status 1, read from a 16-bit column
    TVariant parentKey;
    QVERIFY(F->Tree->ReadParentKey(parentKey));
    QCOMPARE(parentKey[0].VarType(), TVarType::Smallint);
    F->Tree->SetRootKey(u"null"_s);
    QVERIFY(F->Locate(2));
    QVERIFY(!F->Tree->ReadParentKey(parentKey));
}

void TestDBTreeViewLoading::linkPairsAreValidated_data()
{
    QTest::addColumn<QString>("links");
    QTest::addColumn<QString>("linkNames");
    QTest::addColumn<QString>("keyNames");
    QTest::newRow("one pair") << u" Parent -> ID "_s << u"Parent;"_s << u"ID"_s;
    QTest::newRow("repeated link field") << u"Parent->ID;parent->Name"_s << u"Parent;"_s << u"ID"_s;
    QTest::newRow("missing key field") << u"Parent->Nope"_s << u";"_s << u""_s;
    QTest::newRow("no arrow") << u"Parent;Status->ImageID"_s << u"Status;"_s << u"ImageID"_s;
    QTest::newRow("pairs of two fields")
        << u"Parent->ID;Status->ImageID"_s << u"Parent;Status;"_s << u"ID;ImageID"_s;
    QTest::newRow("grouped two fields")
        << u"Parent; Status->ID;ImageID"_s << u"Parent;Status;"_s << u"ID;ImageID"_s;
}

void TestDBTreeViewLoading::linkPairsAreValidated()
{
    QFETCH(QString, links);
    QFETCH(QString, linkNames);
    QFETCH(QString, keyNames);
    F->Bind();
    F->Tree->SetLinksFields(links);
    QCOMPARE(F->Tree->LinkFieldNames(), linkNames);
    QCOMPARE(F->Tree->KeyFieldNames(), keyNames);
}

void TestDBTreeViewLoading::parentCycleDoesNotHang()
{
    F->Db.ExecSQL(
        u"INSERT INTO Folders (ID, Parent, Name) VALUES (20, 21, 'Ping'), (21, 20, 'Pong'), (22, 22, 'Self')"_s);
    F->Bind();
    for (int id : {20, 22}) {
        QVERIFY(F->Locate(id));
        QCOMPARE(F->Tree->Selected(), nullptr);
        QCOMPARE(F->CurrentId(), id);
    }
}

void TestDBTreeViewLoading::twoFieldLink()
{
    F->Db.ExecSQL(u"CREATE TABLE Pairs (A INTEGER, B VARCHAR(10), ParentA INTEGER, ParentB VARCHAR(10), Name "
                  u"VARCHAR(20));"
                  "CREATE INDEX \"Pairs.Parent\" ON Pairs(ParentA, ParentB);"
                  "INSERT INTO Pairs VALUES (1, 'x', NULL, NULL, 'Top1'), (1, 'y', 1, 'x', 'Child'), "
                  "(2, 'x', 1, 'y', 'Grand'), (3, 'z', NULL, NULL, 'Top2'), (4, 'q', 1, 'q', 'Stray')"_s);
    F->Folders.SetTableName(u"Pairs"_s);
    F->Folders.SetIndexFieldNames(u"ParentA;ParentB"_s);
    F->Bind();
    F->Errors.clear(); // the folder binding does not fit this table
    F->Tree->SetLinksFields(u"ParentA;ParentB->A;B"_s);
    F->Tree->SetRootKey(u"null;null"_s);
    F->Tree->SetImageIDField(QString());
    F->Tree->SetStatusIDField(QString());
    F->Settle();
    QCOMPARE(F->Errors.join(u'|'), QString());
    QCOMPARE(F->Shape(), u"Top1+(Child),Top2"_s);
    QVERIFY(F->Folders.Locate(u"Name"_s, TVariant(u"Grand"_s)));
    QVERIFY(F->Tree->Selected());
    QVERIFY(KeysEqual(F->Tree->Selected()->Key(), TVariant::Array({TVariant(qint32(2)), TVariant(u"x"_s)})));
    QCOMPARE(F->Shape(), u"Top1+(Child+(Grand)),Top2"_s);
}

void TestDBTreeViewLoading::failuresOfALoadAreShown_data()
{
    QTest::addColumn<bool>("query");
    QTest::addColumn<QString>("error");
    QTest::newRow("not a table") << true << u"Invalid class typecast"_s;
    QTest::newRow("node setup fails") << false << u"Cannot setup a node"_s;
}

void TestDBTreeViewLoading::failuresOfALoadAreShown()
{
    QFETCH(bool, query);
    QFETCH(QString, error);
    TQuery folders;
    folders.SetDatabase(&F->Db);
    folders.SetSQL({u"SELECT * FROM Folders"_s});
    if (query)
        F->Source.SetDataSet(&folders);
    F->Tree = std::make_unique<TDBTreeView>();
    F->Tree->OnNodeSetup = TDBLVOnNodeSetup([](QObject *, TTreeNode *node, TDataSet *) {
        if (node->Text() == u"Root3"_s)
            throw EDatabaseError(u"no"_s);
    });
    F->Tree->SetNameField(u"Name"_s);
    F->Tree->SetLinksFields(u"Parent->ID"_s);
    F->Tree->SetRootKey(u"null"_s);
    F->Tree->SetDataSource(&F->Source);
    (query ? static_cast<TDataSet &>(folders) : F->Folders).Open();
    F->Settle();
    QCOMPARE(F->Errors, QStringList{error});
    QCOMPARE(F->Tree->BusyCount(), 0);
    QVERIFY(!F->Folders.ControlsDisabled() && !folders.ControlsDisabled());
    QVERIFY(!F->Tree->RefreshPending());
    if (!query) {
        // The walk stopped at Root3: what came before stays, the table is out of its range.
        QCOMPARE(F->Shape(), u"Root1+(Docs),Root2"_s);
        QCOMPARE(F->Folders.RecordCount(), 10);
        QCOMPARE(F->CurrentId(), 1);
    }
}

void TestDBTreeViewLoading::defaultImagesReadBackAgainstTheList()
{
    F->Db.ExecSQL(u"UPDATE Folders SET ImageID = NULL WHERE ID = 6"_s);
    F->Bind();
    TCustomImageList images;
    for (int i = 0; i < 3; ++i)
        images.Add(QImage(16, 16, QImage::Format_ARGB32));
    F->Tree->SetDefImage(5);
    QCOMPARE(F->Tree->DefImage(), -1);
    F->Tree->SetImages(&images);
    QCOMPARE(F->Tree->DefImage(), -1);
    F->Tree->SetDefImage(2);
    QCOMPARE(F->Tree->DefImage(), 2);
    F->Tree->ReopenDataSet();
    F->Settle();
    QCOMPARE(F->Node(6)->ImageIndex(), 2);
    QCOMPARE(F->Node(6)->SelectedIndex(), 2);
    QCOMPARE(F->Node(9)->ImageIndex(), 1);
    F->Tree->SetImages(nullptr);
}

void TestDBTreeViewLoading::removedSourceClearsTheTree()
{
    F->Bind();
    auto source = std::make_unique<TDataSource>(&F->Folders);
    F->Tree->SetDataSource(source.get());
    F->Settle();
    QCOMPARE(F->Tree->Items()->TopLevelCount(), 3);
    QVERIFY(!F->Tree->NeedsLoad());
    source.reset();
    QVERIFY(F->Tree->NeedsLoad());
    QCOMPARE(F->Tree->Items()->Count(), 0);
    QCOMPARE(F->Tree->DataSource(), nullptr);
    // The data set no longer calls the tree when a record is deleted.
    QCOMPARE(F->Folders.BeforeDelete.Target(), nullptr);
    F->Locate(10);
    F->Folders.Delete();
    QCOMPARE(F->Tree->Items()->Count(), 0);
}

QTEST_MAIN(TestDBTreeViewLoading)
#include "tst_DBTreeViewLoading.moc"
