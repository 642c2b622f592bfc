#include "DBTreeViewFixture.h"
#include "Screenshots.h"

#include <QLineEdit>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TInsertMode)

// Editing through the data-aware tree view and the tree following edits of the data set, on a real
// folder table (see DBTreeViewFixture.h).
class TestDBTreeViewEditing : public QObject
{
    Q_OBJECT

private slots:
    void init() { F = std::make_unique<TDBTreeFixture>(); }
    void cleanup() { F.reset(); }

    void clickMovesTheCursor();
    void inserts_data();
    void inserts();
    void captionEditWritesTheName_data();
    void captionEditWritesTheName();
    void linkEditMovesOrDropsTheNode_data();
    void linkEditMovesOrDropsTheNode();
    void dragReparents_data();
    void dragReparents();
    void deletingTheSelectedRecordRemovesItsSubtree();
    void recordDeletedBehindTheTreesBack();

private:
    std::unique_ptr<TDBTreeFixture> F;
};

void TestDBTreeViewEditing::clickMovesTheCursor()
{
    F->Bind();
    QStringList changes;
    F->Tree->OnChange =
        TTVChangedEvent([&changes](TCustomTreeView *, TTreeNode *node) { changes << node->Text(); });
    F->ClickButton(F->Node(1));
    F->Click(F->Node(3));
    QCOMPARE(F->CurrentId(), 3);
    F->Click(F->Node(9));
    QCOMPARE(F->CurrentId(), 9);
    QCOMPARE(changes, (QStringList{u"Music"_s, u"Root3"_s}));
    // The cursor moving by itself is followed without a change event.
    QVERIFY(F->Locate(2));
    QCOMPARE(F->Tree->Selected(), F->Node(2));
    QCOMPARE(changes.size(), 2);
    // As the explorer shows its folders: pictures by ImageID, an open folder for the selected one.
    TCustomImageList images;
    for (const QColor &color : {QColor(Qt::yellow), QColor(Qt::darkYellow), QColor(Qt::gray)}) {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(color);
        images.Add(image);
    }
    F->Tree->SetImages(&images);
    F->Tree->OnGetSelectedIndex = TTVExpandedEvent([](TCustomTreeView *, TTreeNode *node) {
        if (node->ImageIndex() == 1)
            node->SetSelectedIndex(0);
    });
    const QImage shot = F->Tree->grab().toImage();
    KeepScreenshot(shot, u"tree-DBTreeView.png"_s);
    QCOMPARE(F->Node(2)->SelectedIndex(), 0);
    QCOMPARE(F->Node(3)->SelectedIndex(), 1);
    F->Tree->SetImages(nullptr);
}

void TestDBTreeViewEditing::inserts_data()
{
    QTest::addColumn<TInsertMode>("mode");
    QTest::addColumn<bool>("allow");
    QTest::addColumn<bool>("post");
    QTest::addColumn<QString>("parentCaption"); // of the new node; "-" for no node
    QTest::addColumn<QString>("parentId");      // as stored
    QTest::newRow("child, posted") << imAddChild << true << true << u"Docs"_s << u"2"_s;
    QTest::newRow("child, cancelled") << imAddChild << true << false << u"Docs"_s << u"-"_s;
    QTest::newRow("sibling, posted") << imAddSibling << true << true << u"Root1"_s << u"1"_s;
    QTest::newRow("sibling, cancelled") << imAddSibling << true << false << u"Root1"_s << u"-"_s;
    QTest::newRow("root, posted") << imAddRootNode << true << true << u""_s << u"NULL"_s;
    QTest::newRow("from table, posted") << imAddFromTable << true << true << u""_s << u"NULL"_s;
    QTest::newRow("from table, cancelled") << imAddFromTable << true << false << u""_s << u"-"_s;
    QTest::newRow("refused, cancelled") << imAddChild << false << false << u"-"_s << u"-"_s;
}

void TestDBTreeViewEditing::inserts()
{
    QFETCH(TInsertMode, mode);
    QFETCH(bool, allow);
    QFETCH(bool, post);
    QFETCH(QString, parentCaption);
    QFETCH(QString, parentId);
    F->Bind();
    QVERIFY(F->Locate(2));
    const QString before = F->Shape();
    F->Tree->SetInsertMode(mode);
    TTreeNode *asked = nullptr;
    auto ask = [&](QObject *, TTreeNode *parent, bool &allowInsert) {
        asked = parent;
        allowInsert = allow;
    };
    F->Tree->BeforeChildInsert = TDBTEEBeforeChildInsert(ask);
    F->Tree->BeforeNodeInsert = TDBTEEBeforeNodeInsert(ask);
    TTreeNodeRef added;
    F->Tree->AfterInsert = TDBTEEAfterInsert([&added](QObject *, TTreeNode *node) { added = node; });
    F->Folders.Insert();
    QCOMPARE(asked, mode == imAddSibling ? F->Node(1) : F->Node(2));
    if (parentCaption == u"-"_s) {
        QVERIFY(!added);
        QCOMPARE(F->Tree->Selected(), F->Node(2));
    } else {
        QVERIFY(added);
        QCOMPARE(F->Tree->Selected(), added.Get());
        QCOMPARE(added.Get()->Parent() ? added.Get()->Parent()->Text() : QString(), parentCaption);
        QVERIFY(added.As<TDBTreeNode>()->ChildrenLoaded());
    }
    F->Folders.FieldByName(u"Name"_s)->SetAsString(u"New"_s);
    if (post)
        F->Folders.Post();
    else
        F->Folders.Cancel();
    QCOMPARE(F->Sql(u"SELECT IFNULL(Parent, 'NULL') FROM Folders WHERE Name = 'New'"_s), parentId);
    QCOMPARE(F->Tree->LastState(), TDataSetState::Browse);
    if (!post) {
        QVERIFY(!added);
        QCOMPARE(F->Shape(), before);
        QCOMPARE(F->Tree->Selected(), F->Node(2));
        return;
    }
    // The posted record's node has its key, caption and pictures, and stays selected.
    const int id = F->Sql(u"SELECT ID FROM Folders WHERE Name = 'New'"_s).toInt();
    QCOMPARE(F->Node(id), added.Get());
    QCOMPARE(added.Get()->Text(), u"New"_s);
    QCOMPARE(F->Tree->Selected(), added.Get());
    QCOMPARE(F->CurrentId(), id);
}

void TestDBTreeViewEditing::captionEditWritesTheName_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("deleted"); // the record went behind the tree's back
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");
    QTest::newRow("edited") << false << false << u"Songs"_s << QString();
    QTest::newRow("read-only tree") << true << false << u"Music"_s << QString();
    QTest::newRow("record gone") << false << true << u"-"_s << u"Can't edit unexisting record"_s;
}

void TestDBTreeViewEditing::captionEditWritesTheName()
{
    QFETCH(bool, readOnly);
    QFETCH(bool, deleted);
    QFETCH(QString, name);
    QFETCH(QString, error);
    F->Bind();
    F->Tree->SetReadOnly(readOnly);
    QVERIFY(F->Locate(3));
    if (deleted)
        F->Db.ExecSQL(u"DELETE FROM Folders WHERE ID = 3"_s);
    QTest::keyClick(F->Tree.get(), Qt::Key_F2);
    QCOMPARE(F->Tree->IsEditing(), !readOnly && !deleted);
    if (F->Tree->IsEditing()) {
        QCOMPARE(F->Folders.State(), TDataSetState::Edit);
        auto *editor = F->Tree->viewport()->findChild<QLineEdit *>();
        editor->selectAll();
        QTest::keyClicks(editor, u"Songs"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(F->Folders.FieldByName(u"Name"_s)->AsString(), u"Songs"_s);
        QVERIFY(!F->Tree->IsEditing());
        QCOMPARE(F->Tree->LastState(), TDataSetState::Edit);
    }
    // Leaving the record posts what was typed.
    F->Click(F->Node(9));
    QCOMPARE(F->CurrentId(), 9);
    QCOMPARE(F->Folders.State(), TDataSetState::Browse);
    QCOMPARE(F->Sql(u"SELECT Name FROM Folders WHERE ID = 3"_s), name);
    QCOMPARE(F->Errors.join(u'|'), error);
    if (!deleted)
        QCOMPARE(F->Node(3)->Text(), name);
}

void TestDBTreeViewEditing::linkEditMovesOrDropsTheNode_data()
{
    QTest::addColumn<int>("newParent");
    QTest::addColumn<bool>("moved"); // the node moved as it is; else it was dropped and read anew
    QTest::newRow("to a folder whose children were read") << 9 << true;
    QTest::newRow("to a folder never expanded") << 2 << false;
    QTest::newRow("to the top level") << 0 << true;
}

void TestDBTreeViewEditing::linkEditMovesOrDropsTheNode()
{
    QFETCH(int, newParent);
    QFETCH(bool, moved);
    F->Bind();
    F->ClickButton(F->Node(9));
    QVERIFY(F->Locate(3));
    const TTreeNodeRef music(F->Node(3));
    F->Folders.Edit();
    TField *parent = F->Folders.FieldByName(u"Parent"_s);
    newParent ? parent->SetAsInteger(newParent) : parent->Clear();
    F->Folders.Post();
    QCOMPARE(bool(music), moved);
    TDBTreeNode *node = F->Node(3);
    QVERIFY(node);
    QCOMPARE(node->Parent(), newParent ? F->Node(newParent) : nullptr);
    QCOMPARE(F->Tree->Selected(), node);
    QCOMPARE(F->CurrentId(), 3);
}

void TestDBTreeViewEditing::dragReparents_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("target");  // 0: the empty space below the nodes
    QTest::addColumn<QString>("how"); // drop, a failing post, Escape, a read-only table
    QTest::addColumn<QString>("parentId");
    QTest::addColumn<QString>("error");
    QTest::newRow("on another folder") << 3 << 9 << u"drop"_s << u"9"_s << QString();
    QTest::newRow("on empty space") << 3 << 0 << u"drop"_s << u"NULL"_s << QString();
    QTest::newRow("on a descendant") << 2 << 4 << u"drop"_s << u"1"_s << QString();
    QTest::newRow("post fails") << 3 << 9 << u"fail"_s << u"1"_s << u"locked"_s;
    QTest::newRow("cancelled") << 3 << 9 << u"cancel"_s << u"1"_s << QString();
    QTest::newRow("read-only table") << 3 << 9 << u"readonly"_s << u"1"_s << QString();
}

void TestDBTreeViewEditing::dragReparents()
{
    QFETCH(int, source);
    QFETCH(int, target);
    QFETCH(QString, how);
    QFETCH(QString, parentId);
    QFETCH(QString, error);
    F->Folders.SetReadOnly(how == u"readonly"_s);
    F->Bind();
    F->Tree->SetDragMode(TCustomTreeView::dmAutomatic);
    F->ClickButton(F->Node(1));
    F->ClickButton(F->Node(2));
    if (how == u"fail"_s)
        F->Folders.BeforePost = TDataSetNotifyEvent([](TDataSet *) { throw EDatabaseError(u"locked"_s); });
    const QString before = F->Shape();
    const QPoint from = F->Centre(F->Node(source));
    const QPoint to = target ? F->Centre(F->Node(target)) : QPoint(30, F->Tree->viewport()->height() - 4);
    QTest::mousePress(F->Tree->viewport(), Qt::LeftButton, {}, from);
    QCOMPARE(F->CurrentId(), source);
    QTest::mouseMove(F->Tree->viewport(), from + QPoint(0, 12));
    QCOMPARE(F->Tree->Dragging(), how != u"readonly"_s);
    QTest::mouseMove(F->Tree->viewport(), to);
    if (how == u"cancel"_s)
        QTest::keyClick(F->Tree.get(), Qt::Key_Escape);
    QTest::mouseRelease(F->Tree->viewport(), Qt::LeftButton, {}, to);
    F->Settle();
    QVERIFY(F->Tree->DragAllowed());
    QCOMPARE(F->Sql(u"SELECT IFNULL(Parent, 'NULL') FROM Folders WHERE ID = %1"_s.arg(source)), parentId);
    QCOMPARE(F->Errors.join(u'|'), error);
    QCOMPARE(F->Folders.State(), TDataSetState::Browse);
    TDBTreeNode *node = F->Node(source);
    if (parentId == u"1"_s) {
        QCOMPARE(F->Shape(), before);
    } else {
        QCOMPARE(node->Parent(), target ? F->Node(target) : nullptr);
        QCOMPARE(F->Tree->Selected(), node);
    }
    QCOMPARE(F->Tree->BusyCount(), 0);
}

void TestDBTreeViewEditing::deletingTheSelectedRecordRemovesItsSubtree()
{
    F->Bind();
    QVERIFY(F->Locate(4));
    QVERIFY(F->Node(7)); // Work's probe
    const int nodes = F->Tree->Items()->Count();
    F->Folders.Delete();
    QCOMPARE(F->Node(4), nullptr);
    QCOMPARE(F->Node(7), nullptr);
    QCOMPARE(F->Tree->Items()->Count(), nodes - 2);
    QCOMPARE(F->CurrentId(), 5);
    QCOMPARE(F->Tree->Selected(), F->Node(5));
    // A handler of the data set's own still runs, and the tree hooks in again for the next delete.
    int handled = 0;
    F->Folders.AfterDelete = TDataSetNotifyEvent([&handled](TDataSet *) { ++handled; });
    F->Folders.Delete();
    QCOMPARE(handled, 1);
    QCOMPARE(F->Node(5), nullptr);
    F->Folders.Delete();
    QCOMPARE(handled, 2);
}

void TestDBTreeViewEditing::recordDeletedBehindTheTreesBack()
{
    F->Bind();
    F->ClickButton(F->Node(1));
    F->Db.ExecSQL(u"DELETE FROM Folders WHERE ID IN (3, 9)"_s);
    F->Click(F->Node(3));
    QCOMPARE(F->Node(3), nullptr);
    QCOMPARE(F->Tree->Selected(), nullptr);
    QCOMPARE(F->CurrentId(), 1);
    // Expanding a node whose record is gone reads nothing and leaves the cursor where it was.
    const TTreeNodeRef photos(F->Node(10));
    int loads = 0;
    F->Tree->AfterNodesLoading = TDBTEEAfterNodesLoading([&loads](QObject *) { ++loads; });
    F->ClickButton(F->Node(9));
    QCOMPARE(loads, 1);
    QVERIFY(photos);
    QCOMPARE(F->CurrentId(), 1);
    QCOMPARE(F->Tree->BusyCount(), 0);
}

QTEST_MAIN(TestDBTreeViewEditing)
#include "tst_DBTreeViewEditing.moc"
