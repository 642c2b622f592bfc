#include "ErrorHandlers.h"
#include "ImageLists.h"
#include "ListViews.h"
#include "Screenshots.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TViewStyle)

namespace {

// A picture of one colour with a white corner, which the list leaves out.
QImage Picture(QColor color, int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(color);
    image.setPixelColor(0, size - 1, Qt::white);
    return image;
}

void Fill(TCustomImageList &images, int size)
{
    images.SetWidth(size);
    images.SetHeight(size);
    for (QColor color : {QColor(Qt::red), QColor(Qt::darkGreen), QColor(Qt::blue)})
        images.Add(Picture(color, size), Qt::white);
}

} // namespace

// The framework's list control driven as a user drives it: clicks, keys and the caption editor.
class TestListViews : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void StylesKeepItemsFocusAndSelection_data();
    void StylesKeepItemsFocusAndSelection();
    void ClicksAndKeysMoveTheFocus();
    void ARefusedChangeKeepsTheFocus();
    void CaptionEditing();
    void PopupMenuOnRightClick();
    void ManyAdditionsOneInsertion();
    void DeletingTheFocusedItem();
    void HeaderClicksSortAndReverse_data();
    void HeaderClicksSortAndReverse();
    void RenderEachStyle();
    void DragCarriesWhatTheHandlerGives_data();
    void DragCarriesWhatTheHandlerGives();

private:
    void ShowSortable();
    QStringList Captions() const;
    void ClickHeader(int column);
    TListItem *ItemNamed(const QString &caption) const;
    void Show(int count, TViewStyle style);
    void Click(TListItem *item, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = {});

    std::unique_ptr<TListView> FView;
    std::unique_ptr<TCustomImageList> FSmall;
    std::unique_ptr<TCustomImageList> FLarge;
    QStringList FChanges; // "Caption:change" for every OnChange
    QStringList FShown;   // what the error handler showed
};

void TestListViews::init()
{
    FChanges.clear();
    FShown.clear();
    SetExceptionDisplay([this](const QString &message) { FShown << message; });
    FSmall = std::make_unique<TCustomImageList>();
    FLarge = std::make_unique<TCustomImageList>();
    Fill(*FSmall, 16);
    Fill(*FLarge, 32);
    FView = std::make_unique<TListView>();
    FView->SetSmallImages(FSmall.get());
    FView->SetLargeImages(FLarge.get());
    FView->OnChange = {[this](TCustomListView *, TListItem *item, TItemChange change) {
        FChanges << QStringLiteral("%1:%2").arg(item->Caption()).arg(int(change));
    }};
}

void TestListViews::cleanup()
{
    FView.reset();
    SetExceptionDisplay({});
}

void TestListViews::Show(int count, TViewStyle style)
{
    FView->Columns()->Add(QStringLiteral("Name"), 120);
    FView->Columns()->Add(QStringLiteral("Size"), 60);
    FView->Items()->BeginUpdate();
    for (int i = 0; i < count; ++i) {
        TListItem *item = FView->Items()->Add();
        item->SetCaption(QStringLiteral("Item %1").arg(i));
        item->SetImageIndex(i % 3);
        item->SetSubItems({QString::number(i * 100)});
    }
    FView->Items()->EndUpdate();
    FView->SetViewStyle(style);
    FView->resize(420, 260);
    FView->show();
    QVERIFY(QTest::qWaitForWindowActive(FView.get()));
    FView->setFocus();
    FChanges.clear();
}

void TestListViews::Click(TListItem *item, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    QTest::mouseClick(FView->Viewport(), button, modifiers, item->DisplayRect().center());
}

void TestListViews::StylesKeepItemsFocusAndSelection_data()
{
    QTest::addColumn<TViewStyle>("from");
    QTest::addColumn<TViewStyle>("to");
    QTest::newRow("icons to report") << vsIcon << vsReport;
    QTest::newRow("report to small icons") << vsReport << vsSmallIcon;
    QTest::newRow("list to icons") << vsList << vsIcon;
    QTest::newRow("small icons to list") << vsSmallIcon << vsList;
}

void TestListViews::StylesKeepItemsFocusAndSelection()
{
    QFETCH(TViewStyle, from);
    QFETCH(TViewStyle, to);
    FView->SetMultiSelect(true);
    Show(40, from);
    TListItems &items = *FView->Items();
    Click(items[3]);
    Click(items[7], Qt::LeftButton, Qt::ControlModifier);
    QCOMPARE(FView->SelCount(), 2);

    FView->SetViewStyle(to);
    QCOMPARE(items.Count(), 40);
    QCOMPARE(FView->ItemFocused(), items[7]);
    QCOMPARE(FView->Selected(), items[3]);
    QVERIFY(items[7]->Selected() && !items[5]->Selected());
    QCOMPARE(FView->SelCount(), 2);
    QVERIFY(FView->Viewport()->rect().intersects(items[7]->DisplayRect()));
    // The new style reacts to the user as the old one did.
    Click(items[5]);
    QCOMPARE(FView->ItemFocused(), items[5]);
    QCOMPARE(FView->SelCount(), 1);
    QVERIFY(FChanges.contains(QStringLiteral("Item 5:%1").arg(int(ctState))));
}

void TestListViews::ClicksAndKeysMoveTheFocus()
{
    Show(10, vsReport);
    QList<int> keys;
    FView->OnKeyDown = {[&keys](TCustomListView *, int &key, Qt::KeyboardModifiers) {
        keys << key;
        if (key == Qt::Key_End)
            key = 0;
    }};
    int clicks = 0;
    int doubleClicks = 0;
    QString typed;
    FView->OnClick = {[&clicks](TCustomListView *) { ++clicks; }};
    FView->OnDblClick = {[&doubleClicks](TCustomListView *) { ++doubleClicks; }};
    FView->OnKeyPress = {[&typed](TCustomListView *, QChar &key) { typed += key; }};
    TListItems &items = *FView->Items();
    Click(items[2]);
    QCOMPARE(FView->ItemFocused(), items[2]);
    QCOMPARE(FView->Selected(), items[2]);
    QCOMPARE(clicks, 1);
    QVERIFY(FChanges.contains(QStringLiteral("Item 2:%1").arg(int(ctState))));

    QTest::keyClick(FView->ActivePane(), Qt::Key_Down);
    QCOMPARE(FView->ItemFocused(), items[3]);
    QVERIFY(!items[2]->Selected());
    QTest::keyClick(FView->ActivePane(), Qt::Key_End); // swallowed by the handler
    QCOMPARE(FView->ItemFocused(), items[3]);
    QCOMPARE(keys, (QList<int>{Qt::Key_Down, Qt::Key_End}));
    QTest::keyClicks(FView->ActivePane(), u"Item 8"_s); // typing finds an item by its caption
    QCOMPARE(typed, u"Item 8"_s);
    QCOMPARE(FView->ItemFocused(), items[8]);
    QTest::mouseDClick(FView->Viewport(), Qt::LeftButton, {}, items[1]->DisplayRect().center());
    QCOMPARE(doubleClicks, 1);
    QCOMPARE(FView->ItemFocused(), items[1]);
    QCOMPARE(FView->GetItemAt(items[6]->DisplayRect().center().x(), items[6]->DisplayRect().center().y()),
             items[6]);
    QCOMPARE(FView->GetItemAt(5, FView->Viewport()->height() - 2), nullptr);
}

void TestListViews::ARefusedChangeKeepsTheFocus()
{
    Show(5, vsList);
    TListItems &items = *FView->Items();
    Click(items[1]);
    FView->OnChanging = {
        [](TCustomListView *, TListItem *, TItemChange change, bool &allow) { allow = change != ctState; }};
    FChanges.clear();
    Click(items[3]);
    QTest::keyClick(FView->ActivePane(), Qt::Key_Down);
    QCOMPARE(FView->ItemFocused(), items[1]);
    QCOMPARE(FView->Selected(), items[1]);
    QVERIFY(FChanges.isEmpty());
    // An exception of a handler is shown, and the click changes nothing.
    FView->OnChanging = {
        [](TCustomListView *, TListItem *, TItemChange, bool &) { throw EListError(QStringLiteral("no")); }};
    Click(items[4]);
    QCOMPARE(FView->ItemFocused(), items[1]);
    QVERIFY(FShown.contains(QStringLiteral("no")));
}

void TestListViews::CaptionEditing()
{
    Show(5, vsIcon);
    TListItems &items = *FView->Items();
    QStringList edited;
    FView->OnEditing = {[](TCustomListView *, TListItem *item, bool &allow) { allow = item->Index() != 4; }};
    FView->OnEdited = {[&edited](TCustomListView *, TListItem *item, QString &s) {
        edited << item->Caption() + QStringLiteral("->") + s;
        s = s.toUpper();
    }};
    Click(items[2]);
    QTest::keyClick(FView->ActivePane(), Qt::Key_F2);
    QVERIFY(FView->IsEditing());
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("renamed"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!FView->IsEditing());
    QCOMPARE(edited, QStringList{QStringLiteral("Item 2->renamed")});
    QCOMPARE(items[2]->Caption(), QStringLiteral("RENAMED"));

    // Escape keeps the caption; a refused item and a read-only view open no editor.
    QTest::keyClick(FView->ActivePane(), Qt::Key_F2);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("zzz"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!FView->IsEditing());
    QCOMPARE(items[2]->Caption(), QStringLiteral("RENAMED"));
    items[4]->EditCaption();
    QVERIFY(!FView->IsEditing());
    FView->SetReadOnly(true);
    items[3]->EditCaption();
    QVERIFY(!FView->IsEditing());
    QCOMPARE(edited.size(), 1);
}

void TestListViews::PopupMenuOnRightClick()
{
    Show(3, vsReport);
    QMenu menu;
    menu.addAction(QStringLiteral("Properties"));
    FView->SetPopupMenu(&menu);
    std::vector<std::tuple<Qt::MouseButton, TListItem *>> downs;
    FView->OnMouseDown = {[&](TCustomListView *view, Qt::MouseButton button, Qt::KeyboardModifiers, int x,
                              int y) { downs.emplace_back(button, view->GetItemAt(x, y)); }};
    const QPoint pos = FView->Items()->Item(1)->DisplayRect().center();
    QTest::mousePress(FView->Viewport(), Qt::RightButton, {}, pos);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, FView->Viewport()->mapToGlobal(pos));
    QApplication::sendEvent(FView->Viewport(), &event);
    QTRY_VERIFY(menu.isVisible());
    QCOMPARE(downs.size(), size_t(1));
    QCOMPARE(std::get<0>(downs[0]), Qt::RightButton);
    QCOMPARE(std::get<1>(downs[0]), FView->Items()->Item(1));
    QCOMPARE(FView->ItemFocused(), FView->Items()->Item(1));
    menu.close();
}

void TestListViews::ManyAdditionsOneInsertion()
{
    Show(0, vsList);
    QSignalSpy inserted(FView->ActivePane()->model(), &QAbstractItemModel::rowsInserted);
    TListItems &items = *FView->Items();
    items.BeginUpdate();
    for (int i = 0; i < 1000; ++i)
        items.Add()->SetCaption(QString::number(i));
    QCOMPARE(inserted.count(), 0);
    items.EndUpdate();
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(FView->ActivePane()->model()->rowCount(), 1000);
    QCOMPARE(FView->ActivePane()->model()->index(999, 0).data().toString(), QStringLiteral("999"));
    items[999]->MakeVisible(false);
    QVERIFY(FView->Viewport()->rect().contains(items[999]->DisplayRect()));
    QVERIFY_THROWS_EXCEPTION(EListError, items[1000]);
}

void TestListViews::DeletingTheFocusedItem()
{
    Show(4, vsSmallIcon);
    QStringList deleted;
    FView->OnDeletion = {[&deleted](TCustomListView *, TListItem *item) { deleted << item->Caption(); }};
    TListItems &items = *FView->Items();
    Click(items[2]);
    FChanges.clear();
    items[2]->Delete();
    QCOMPARE(deleted, QStringList{QStringLiteral("Item 2")});
    QCOMPARE(items.Count(), 3);
    QCOMPARE(items[2]->Caption(), QStringLiteral("Item 3"));
    QCOMPARE(items[2]->Index(), 2);
    QCOMPARE(FView->ItemFocused(), nullptr);
    QCOMPARE(FView->Selected(), nullptr);
    QVERIFY(FChanges.isEmpty());
    items.Clear();
    QCOMPARE(deleted.size(), 4);
}

// Sizes whose texts sort otherwise than their numbers, one item without a size, and a folder,
// which stays first.
void TestListViews::ShowSortable()
{
    FView->Columns()->Add(QStringLiteral("Name"), 120);
    FView->Columns()->Add(QStringLiteral("Size"), 60);
    const struct
    {
        const char16_t *Caption;
        const char16_t *Size;
        int Group;
    } rows[] = {{u"Item 9", u"9", 1},
                {u"alpha", u"100", 1},
                {u"item 10", u"10", 1},
                {u"Beta", u"", 1},
                {u"b folder", u"2000", 0}};
    for (const auto &row : rows) {
        TListItem *item = FView->Items()->Add();
        item->SetCaption(QString::fromUtf16(row.Caption));
        item->SetSubItems({QString::fromUtf16(row.Size)});
        item->SetSortGroup(row.Group);
        if (const QString size = QString::fromUtf16(row.Size); !size.isEmpty())
            item->SetSortKey(1, size.toLongLong());
    }
    FView->SetSortOnColumnClick(true);
    FView->SetViewStyle(vsReport);
    FView->resize(420, 260);
    FView->show();
    QVERIFY(QTest::qWaitForWindowActive(FView.get()));
}

QStringList TestListViews::Captions() const
{
    QStringList captions;
    for (int i = 0; i < FView->Items()->Count(); ++i)
        captions << FView->Items()->Item(i)->Caption();
    return captions;
}

void TestListViews::ClickHeader(int column)
{
    QHeaderView *header = static_cast<QTreeView *>(FView->ActivePane())->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

void TestListViews::HeaderClicksSortAndReverse_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending");
    QTest::addColumn<QStringList>("descending");
    QTest::newRow("names, letter case aside")
        << 0 << QStringList{u"b folder"_s, u"alpha"_s, u"Beta"_s, u"item 10"_s, u"Item 9"_s}
        << QStringList{u"b folder"_s, u"Item 9"_s, u"item 10"_s, u"Beta"_s, u"alpha"_s};
    QTest::newRow("sizes as numbers, none first")
        << 1 << QStringList{u"b folder"_s, u"Beta"_s, u"Item 9"_s, u"item 10"_s, u"alpha"_s}
        << QStringList{u"b folder"_s, u"alpha"_s, u"item 10"_s, u"Item 9"_s, u"Beta"_s};
}

void TestListViews::HeaderClicksSortAndReverse()
{
    QFETCH(int, column);
    ShowSortable();
    QList<int> clicked;
    FView->OnColumnClick = {[&clicked](TCustomListView *, TListColumn *c) { clicked << c->Index(); }};
    TListItem *item = ItemNamed(u"item 10"_s);
    Click(item);
    FChanges.clear();
    QHeaderView *header = static_cast<QTreeView *>(FView->ActivePane())->header();

    ClickHeader(column);
    QTEST(Captions(), "ascending");
    QCOMPARE(FView->SortColumn(), column);
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), column);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    ClickHeader(column);
    QTEST(Captions(), "descending");
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(clicked, (QList<int>{column, column}));

    // The same item keeps the focus and the selection, silently, wherever it went.
    QCOMPARE(FView->ItemFocused(), item);
    QCOMPARE(FView->Selected(), item);
    QCOMPARE(FView->SelCount(), 1);
    QVERIFY(FChanges.isEmpty());
    QCOMPARE(FView->ActivePane()->model()->index(item->Index(), 0).data().toString(), u"item 10"_s);
    QTest::keyClick(FView->ActivePane(), Qt::Key_Down);
    QCOMPARE(FView->ItemFocused(), FView->Items()->Item(item->Index() + 1));
}

TListItem *TestListViews::ItemNamed(const QString &caption) const
{
    for (int i = 0; i < FView->Items()->Count(); ++i)
        if (FView->Items()->Item(i)->Caption() == caption)
            return FView->Items()->Item(i);
    return nullptr;
}

void TestListViews::RenderEachStyle()
{
    TCustomImageList state;
    state.Add(Picture(Qt::yellow, 16), Qt::white);
    FView->SetStateImages(&state);
    Show(14, vsIcon);
    FView->Items()->Item(1)->SetStateIndex(0);
    FView->Items()->Item(4)->SetCaption(QStringLiteral("A much longer caption than the others"));
    FView->Items()->Item(2)->SetSelected(true);
    FView->Items()->Item(2)->SetFocused(true);
    for (TViewStyle style : {vsIcon, vsSmallIcon, vsList, vsReport}) {
        FView->SetViewStyle(style);
        QApplication::processEvents();
        const QImage shot = FView->grab().toImage();
        KeepScreenshot(shot, QStringLiteral("listview-style-%1.png").arg(int(style)));
        // The selected item's picture is drawn where the item is.
        const QRect rect = FView->Items()->Item(0)->DisplayRect().translated(
            FView->Viewport()->mapTo(FView.get(), QPoint()));
        QVERIFY(!rect.isEmpty());
    }
}

void TestListViews::DragCarriesWhatTheHandlerGives_data()
{
    QTest::addColumn<TViewStyle>("style");
    QTest::newRow("icons") << vsIcon;
    QTest::newRow("report") << vsReport;
}

void TestListViews::DragCarriesWhatTheHandlerGives()
{
    QFETCH(TViewStyle, style);
    Show(3, style);
    QAbstractItemModel *model = FView->ActivePane()->model();
    const QModelIndex second = model->index(1, 0);
    // Without a handler nothing is dragged, and a press and move still selects.
    QVERIFY(!(model->flags(second) & Qt::ItemIsDragEnabled));
    QStringList asked;
    FView->OnStartDrag = {[&asked](TCustomListView *, TListItem *item, QMimeData *&data) {
        asked << item->Caption();
        if (item->Caption() == u"Item 1") {
            data = new QMimeData;
            data->setUrls({QUrl(QStringLiteral("file:///one"))});
        }
    }};
    QVERIFY(model->flags(second) & Qt::ItemIsDragEnabled);
    std::unique_ptr<QMimeData> data(model->mimeData({second}));
    QVERIFY(data && data->hasFormat(QStringLiteral("text/uri-list")));
    QCOMPARE(data->urls(), QList<QUrl>{QUrl(QStringLiteral("file:///one"))});
    QVERIFY(!model->mimeData({model->index(2, 0)}));
    QCOMPARE(asked, (QStringList{QStringLiteral("Item 1"), QStringLiteral("Item 2")}));
}

QTEST_MAIN(TestListViews)
#include "tst_ListViews.moc"
