#include "ImageLists.h"
#include "Screenshots.h"
#include "TreeViews.h"

#include <QLineEdit>
#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QImage Swatch(const QColor &color)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

} // namespace

// The framework's tree control, driven with the mouse and the keyboard. Fixture:
//   A (B, C (D)), E
class TestTreeViews : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void nodesKeepTheirPlaces_data();
    void nodesKeepTheirPlaces();
    void deletingTheLastChildRemovesTheButton();
    void expandButtonAsksFirstAndLoadsOnDemand();
    void clickSelectsUnlessRefused();
    void keyboardMovesAndExpands();
    void deletingTheSelectedNodeClearsTheSelection();
    void captionEditing_data();
    void captionEditing();
    void dragAndDrop_data();
    void dragAndDrop();
    void rendersNodesWithImages();

private:
    QPoint Centre(TTreeNode *node) const { return FTree->NodeRect(node, true).center(); }
    QPoint Button(TTreeNode *node) const
    {
        const QRect item = FTree->visualRect(FTree->Items()->IndexOf(node));
        return QPoint(item.left() - FTree->Indent() / 2, item.center().y());
    }

    std::unique_ptr<TCustomTreeView> FTree;
    TTreeNode *A = nullptr, *B = nullptr, *C = nullptr, *D = nullptr, *E = nullptr;
};

void TestTreeViews::init()
{
    FTree = std::make_unique<TCustomTreeView>();
    TTreeNodes *items = FTree->Items();
    A = items->AddChild(nullptr, u"A"_s);
    B = items->AddChild(A, u"B"_s);
    C = items->AddChild(A, u"C"_s);
    D = items->AddChild(C, u"D"_s);
    E = items->Add(A, u"E"_s);
    FTree->resize(240, 200);
    FTree->show();
    FTree->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(FTree.get()));
    FTree->setFocus();
}

void TestTreeViews::cleanup()
{
    FTree.reset();
}

void TestTreeViews::nodesKeepTheirPlaces_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("expected"); // the tree in depth-first order, children in brackets
    QTest::newRow("child of E") << int(naAddChild) << u"E"_s << u"A(B,C(D)),E(X)"_s;
    QTest::newRow("first child of A") << int(naAddChildFirst) << u"A"_s << u"A(X,B,C(D)),E"_s;
    QTest::newRow("before C") << int(naInsert) << u"C"_s << u"A(B,X,C(D)),E"_s;
    QTest::newRow("last sibling of D") << int(naAdd) << u"D"_s << u"A(B,C(D,X)),E"_s;
    QTest::newRow("first at top") << int(naAddFirst) << u"E"_s << u"X,A(B,C(D)),E"_s;
}

void TestTreeViews::nodesKeepTheirPlaces()
{
    QFETCH(int, mode);
    QFETCH(QString, destination);
    QFETCH(QString, expected);
    TTreeNode *x = FTree->Items()->AddChild(B, u"X"_s);
    QVERIFY(B->HasChildren());
    TTreeNode *target = destination == u"A"_s ? A : destination == u"C"_s ? C : destination == u"D"_s ? D : E;
    x->MoveTo(target, TNodeAttachMode(mode));
    QVERIFY(!B->HasChildren());
    std::function<QString(TTreeNode *)> text = [&text](TTreeNode *node) {
        QStringList parts;
        for (; node; node = node->GetNextSibling())
            parts << node->Text() + (node->Count() ? u'(' + text(node->GetFirstChild()) + u')' : QString());
        return parts.join(u',');
    };
    QCOMPARE(text(FTree->Items()->GetFirstNode()), expected);
    QCOMPARE(FTree->Items()->Count(), 6);
    // The model agrees with the nodes: the moved node's index leads back to it.
    QCOMPARE(TTreeNodes::NodeOf(FTree->Items()->IndexOf(x)), x);
    QCOMPARE(TTreeNodes::NodeOf(FTree->Items()->parent(FTree->Items()->IndexOf(x))), x->Parent());
    QVERIFY_THROWS_EXCEPTION(ETreeViewError, A->MoveTo(D, naAddChild));
}

void TestTreeViews::deletingTheLastChildRemovesTheButton()
{
    C->Expand(false);
    QVERIFY(C->Expanded());
    int deletions = 0;
    FTree->OnDeletion = TTVExpandedEvent([&deletions](TCustomTreeView *, TTreeNode *) { ++deletions; });
    D->Delete();
    QVERIFY(!C->HasChildren());
    QVERIFY(!C->Expanded());
    A->Delete();
    QCOMPARE(deletions, 4);
    QCOMPARE(FTree->Items()->Count(), 1);
}

void TestTreeViews::expandButtonAsksFirstAndLoadsOnDemand()
{
    TTreeNode *lazy = FTree->Items()->AddChild(nullptr, u"Lazy"_s);
    lazy->SetHasChildren(true);
    bool allow = false;
    int asked = 0;
    FTree->OnExpanding = TTVExpandingEvent([&](TCustomTreeView *tree, TTreeNode *node, bool &allowExpansion) {
        ++asked;
        allowExpansion = allow;
        if (allow && node->Count() == 0)
            tree->Items()->AddChild(node, u"Loaded"_s);
    });
    QTest::mouseClick(FTree->viewport(), Qt::LeftButton, {}, Button(lazy));
    QCOMPARE(asked, 1);
    QVERIFY(!lazy->Expanded());
    QCOMPARE(lazy->Count(), 0);
    allow = true;
    QTest::mouseClick(FTree->viewport(), Qt::LeftButton, {}, Button(lazy));
    QVERIFY(lazy->Expanded());
    QCOMPARE(lazy->GetFirstChild()->Text(), u"Loaded"_s);
    QVERIFY(FTree->isExpanded(FTree->Items()->IndexOf(lazy)));
    QCOMPARE(FTree->Selected(), nullptr);
    // A node whose button promised children it does not have stays collapsed without a button.
    TTreeNode *empty = FTree->Items()->AddChild(nullptr, u"Empty"_s);
    empty->SetHasChildren(true);
    FTree->OnExpanding =
        TTVExpandingEvent([](TCustomTreeView *, TTreeNode *node, bool &) { node->SetHasChildren(false); });
    QTest::mouseClick(FTree->viewport(), Qt::LeftButton, {}, Button(empty));
    QVERIFY(!empty->Expanded());
    QVERIFY(!FTree->Items()->hasChildren(FTree->Items()->IndexOf(empty)));
}

void TestTreeViews::clickSelectsUnlessRefused()
{
    QList<QString> changes;
    bool allow = true;
    FTree->OnChanging = TTVChangingEvent(
        [&allow](TCustomTreeView *, TTreeNode *, bool &allowChange) { allowChange = allow; });
    FTree->OnChange =
        TTVChangedEvent([&changes](TCustomTreeView *, TTreeNode *node) { changes << node->Text(); });
    int clicks = 0;
    FTree->OnClick = TCustomTreeView::TNotifyEvent([&clicks](QObject *) { ++clicks; });
    QTest::mouseClick(FTree->viewport(), Qt::LeftButton, {}, Centre(E));
    QCOMPARE(FTree->Selected(), E);
    QCOMPARE(changes, QList<QString>{u"E"_s});
    QCOMPARE(FTree->currentIndex(), FTree->Items()->IndexOf(E));
    allow = false;
    QTest::mouseClick(FTree->viewport(), Qt::LeftButton, {}, Centre(A));
    QCOMPARE(FTree->Selected(), E);
    QCOMPARE(FTree->currentIndex(), FTree->Items()->IndexOf(E));
    QCOMPARE(changes.size(), 1);
    QCOMPARE(clicks, 2);
}

void TestTreeViews::keyboardMovesAndExpands()
{
    FTree->SetSelected(A);
    QTest::keyClick(FTree.get(), Qt::Key_Down);
    QCOMPARE(FTree->Selected(), E); // A is collapsed
    QTest::keyClick(FTree.get(), Qt::Key_Up);
    QTest::keyClick(FTree.get(), Qt::Key_Right);
    QVERIFY(A->Expanded());
    QTest::keyClick(FTree.get(), Qt::Key_Right);
    QCOMPARE(FTree->Selected(), B);
    QTest::keyClick(FTree.get(), Qt::Key_End);
    QCOMPARE(FTree->Selected(), E);
    QTest::keyClick(FTree.get(), Qt::Key_Home);
    QTest::keyClick(FTree.get(), Qt::Key_Left);
    QVERIFY(!A->Expanded());
    // A key handler that takes the key keeps the control from acting on it.
    FTree->OnKeyDown =
        TCustomTreeView::TKeyEvent([](QObject *, int &key, Qt::KeyboardModifiers) { key = 0; });
    QTest::keyClick(FTree.get(), Qt::Key_Down);
    QCOMPARE(FTree->Selected(), A);
}

void TestTreeViews::deletingTheSelectedNodeClearsTheSelection()
{
    A->Expand(true);
    FTree->SetSelected(D);
    int changes = 0;
    FTree->OnChange = TTVChangedEvent([&changes](TCustomTreeView *, TTreeNode *) { ++changes; });
    C->Delete();
    QCOMPARE(FTree->Selected(), nullptr);
    QVERIFY(!FTree->currentIndex().isValid());
    QCOMPARE(changes, 0);
    // Collapsing over a selection moves it to the collapsed node.
    FTree->SetSelected(B);
    A->Collapse(false);
    QCOMPARE(FTree->Selected(), A);
    QCOMPARE(changes, 2);
}

void TestTreeViews::captionEditing_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("allow");
    QTest::addColumn<QString>("expected");
    QTest::newRow("edited") << false << true << u"Renamed!"_s;
    QTest::newRow("refused by OnEditing") << false << false << u"E"_s;
    QTest::newRow("read-only") << true << true << u"E"_s;
}

void TestTreeViews::captionEditing()
{
    QFETCH(bool, readOnly);
    QFETCH(bool, allow);
    QFETCH(QString, expected);
    FTree->SetReadOnly(readOnly);
    FTree->OnEditing =
        TTVEditingEvent([allow](TCustomTreeView *, TTreeNode *, bool &allowEdit) { allowEdit = allow; });
    FTree->OnEdited = TTVEditedEvent([](TCustomTreeView *, TTreeNode *, QString &text) { text += u'!'; });
    FTree->SetSelected(E);
    QTest::keyClick(FTree.get(), Qt::Key_F2);
    QCOMPARE(FTree->IsEditing(), !readOnly && allow);
    if (auto *editor = FTree->viewport()->findChild<QLineEdit *>(); editor && editor->isVisible()) {
        editor->selectAll();
        QTest::keyClicks(editor, u"Renamed"_s);
        KeepScreenshot(FTree->grab(), u"tree-editing.png"_s);
        QVERIFY(FTree->viewport()->rect().contains(editor->geometry()));
        QTest::keyClick(editor, Qt::Key_Return);
    }
    QTRY_VERIFY(!FTree->IsEditing());
    QCOMPARE(E->Text(), expected);
}

void TestTreeViews::dragAndDrop_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("on another node") << u"E"_s << false << true;
    QTest::newRow("on empty space") << u""_s << false << true;
    QTest::newRow("on a refused node") << u"D"_s << false << false;
    QTest::newRow("cancelled with Escape") << u"E"_s << true << false;
}

void TestTreeViews::dragAndDrop()
{
    QFETCH(QString, target);
    QFETCH(bool, cancel);
    QFETCH(bool, dropped);
    A->Expand(true);
    FTree->SetDragMode(TCustomTreeView::dmAutomatic);
    FTree->OnDragOver = TCustomTreeView::TDragOverEvent(
        [this](QObject *, QObject *, int x, int y, TCustomTreeView::TDragState, bool &accept) {
            accept = accept && FTree->GetNodeAt(x, y) != D;
        });
    QObject *dropSource = nullptr;
    QObject *endTarget = this;
    QPoint endPoint;
    FTree->OnDragDrop =
        TCustomTreeView::TDragDropEvent([&](QObject *, QObject *source, int, int) { dropSource = source; });
    FTree->OnEndDrag = TCustomTreeView::TEndDragEvent([&](QObject *, QObject *to, int x, int y) {
        endTarget = to;
        endPoint = QPoint(x, y);
    });
    TTreeNode *to = target == u"E"_s ? E : target == u"D"_s ? D : nullptr;
    const QPoint end = to ? Centre(to) : QPoint(20, FTree->viewport()->height() - 5);
    QTest::mousePress(FTree->viewport(), Qt::LeftButton, {}, Centre(B));
    QCOMPARE(FTree->Selected(), B);
    QTest::mouseMove(FTree->viewport(), Centre(B) + QPoint(0, 20));
    QVERIFY(FTree->Dragging());
    QTest::mouseMove(FTree->viewport(), end);
    QCOMPARE(FTree->DropTarget(), dropped || cancel ? to : nullptr);
    if (cancel)
        QTest::keyClick(FTree.get(), Qt::Key_Escape);
    else
        QTest::mouseRelease(FTree->viewport(), Qt::LeftButton, {}, end);
    QVERIFY(!FTree->Dragging());
    QCOMPARE(FTree->DropTarget(), nullptr);
    QCOMPARE(dropSource, dropped ? FTree.get() : nullptr);
    QCOMPARE(endTarget, dropped ? FTree.get() : nullptr);
    if (!cancel) {
        QCOMPARE(endPoint, end);
        QCOMPARE(FTree->GetHitTestInfoAt(end.x(), end.y()) & TCustomTreeView::htNowhere,
                 to ? 0 : int(TCustomTreeView::htNowhere));
    }
}

void TestTreeViews::rendersNodesWithImages()
{
    TCustomImageList images;
    for (const QColor &color : {QColor(Qt::red), QColor(Qt::darkGreen), QColor(Qt::blue)})
        images.Add(Swatch(color));
    TCustomImageList states;
    states.Add(Swatch(Qt::black));
    FTree->SetImages(&images);
    FTree->SetStateImages(&states);
    for (TTreeNode *node = FTree->Items()->GetFirstNode(); node; node = node->GetNext()) {
        node->SetImageIndex(0);
        node->SetSelectedIndex(1);
    }
    E->SetStateIndex(0);
    FTree->OnGetSelectedIndex =
        TTVExpandedEvent([](TCustomTreeView *, TTreeNode *node) { node->SetSelectedIndex(2); });
    A->Expand(true);
    FTree->SetSelected(C);
    const QImage shot = FTree->grab().toImage();
    KeepScreenshot(shot, u"tree.png"_s);
    // The selected node shows the picture its hook chose; the state image comes before E's picture.
    auto colourAt = [&](TTreeNode *node, int dx) {
        const QRect row = FTree->visualRect(FTree->Items()->IndexOf(node));
        const QPoint at = FTree->viewport()->mapTo(FTree.get(), QPoint(row.left() + dx, row.center().y()));
        return shot.pixelColor(at * shot.devicePixelRatio());
    };
    // (the style tints a selected picture with the highlight colour)
    const QColor selected = colourAt(C, 8);
    QVERIFY2(selected.blue() > 200 && selected.red() < 60 && selected.green() < 60,
             qPrintable(selected.name()));
    QCOMPARE(colourAt(B, 8), QColor(Qt::red));
    QCOMPARE(colourAt(E, 6), QColor(Qt::black));
    QCOMPARE(FTree->GetHitTestInfoAt(FTree->visualRect(FTree->Items()->IndexOf(E)).left() + 6, Centre(E).y()),
             TCustomTreeView::htOnItem | TCustomTreeView::htOnStateIcon);
    FTree->SetImages(nullptr);
}

QTEST_MAIN(TestTreeViews)
#include "tst_TreeViews.moc"
