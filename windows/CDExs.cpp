#include "CDExs.h"

#include "Abouts.h"
#include "DBControls.h"
#include "DBCustomTreeView.h"
#include "DBImLst.h"
#include "DataBaseListView.h"
#include "EntryOpeners.h"
#include "ErrorHandlers.h"
#include "ExportDialogs.h"
#include "FindDialogs.h"
#include "FindMatchs.h"
#include "HelpWindows.h"
#include "ImageEds.h"
#include "MessageBoxes.h"
#include "NFOs.h"
#include "ProgramIcons.h"
#include "ProgressPanels.h"
#include "Properties.h"
#include "QuickSearches.h"
#include "SelectDrives.h"
#include "UpdateReports.h"
#include "ViewMenus.h"
#include "VolumeDeletes.h"
#include "WindowSettings.h"
#include "dmGlobal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

TGlobal &Global()
{
    return *TGlobal::Instance();
}

// A whole number with the desktop's thousands separator, as the status line shows sizes.
QString Bytes(TField *size)
{
    return QCoreApplication::translate("TCDEx", "%1 bytes")
        .arg(QLocale().toString(size->IsNull() ? qint64(0) : size->AsLargeInt()));
}

int ParentOf(TDataSet &dataSet)
{
    TField *parent = dataSet.FieldByName(QStringLiteral("Parent"));
    return parent->IsNull() ? 0 : parent->AsInteger();
}

} // namespace

TCDEx::TCDEx(QWidget *parent) : QMainWindow(parent)
{
    TGlobal &global = Global();
    setObjectName(QStringLiteral("CDEx"));
    setWindowTitle(QStringLiteral("VOR_NEX"));
    setWindowIcon(ProgramIcon());

    dsFolders.SetName(QStringLiteral("dsFolders"));
    dsFolders.SetAutoEdit(false);
    dsFolders.SetDataSet(&global.Folders);
    dsFullList.SetName(QStringLiteral("dsFullList"));
    dsFullList.SetAutoEdit(false);
    dsFullList.SetDataSet(&global.FullList);
    dsFullList.OnDataChange = TDataChangeEvent(
        [this](TDataSource *, TField *) { Guarded([this] { dsFullListDataChange(); }); }, this);

    CreateMenus();

    FoldersTree = new TDBTreeView(this);
    FoldersTree->setObjectName(QStringLiteral("FoldersTree"));
    FoldersTree->SetReadOnly(true);
    FoldersTree->SetIndent(19);
    FoldersTree->SetImages(&global.DBIL_Little);
    FoldersTree->SetPopupMenu(PM1);
    FoldersTree->SetNameField(QStringLiteral("Name"));
    FoldersTree->SetImageIDField(QStringLiteral("ImageID"));
    FoldersTree->SetLinksFields(QStringLiteral("Parent->ID"));
    FoldersTree->SetRootKey(QStringLiteral("null"));
    FoldersTree->OnClick = {[this](QObject *) {
                                // Choosing a folder leaves the quick search, so its entries show.
                                QuickSearch->Clear();
                                FoldersTreeClick();
                            },
                            this};
    FoldersTree->OnEnter = {[this](QObject *) { FoldersTreeClick(); }, this};
    FoldersTree->OnGetSelectedIndex = {
        [this](TCustomTreeView *, TTreeNode *node) { FoldersTreeGetSelectedIndex(node); }, this};
    FoldersTree->BeforeNodesLoading = {[this](QObject *) { EntriesListBeforeItemsLoading(); }, this};
    FoldersTree->AfterNodesLoading = {[this](QObject *) { EntriesListAfterItemsLoading(); }, this};

    EntriesList = new TDBListView(this);
    EntriesList->setObjectName(QStringLiteral("EntriesList"));
    EntriesList->SetReadOnly(true);
    EntriesList->SetLargeImages(&global.DBIL_Big);
    EntriesList->SetSmallImages(&global.DBIL_Little);
    EntriesList->SetPopupMenu(PM2);
    EntriesList->SetDefStatus(0);
    EntriesList->SetDefImage(0);
    EntriesList->Columns()->Add(tr("Name"), 220);
    EntriesList->Columns()->Add(tr("Size"), 70);
    EntriesList->Columns()->Add(tr("Modified"), 82);
    EntriesList->SetViewStyle(vsList);
    EntriesList->SetNameField(QStringLiteral("Name"));
    EntriesList->SetImageIDField(QStringLiteral("ImageID"));
    EntriesList->SetKeyFields(QStringLiteral("ID"));
    EntriesList->SetColumnsFields(QStringLiteral("Size;Modified"));
    // Sorted by a column, folders stay before files either way, as file managers show them; until
    // the user sorts, the entries keep the catalogue's order.
    EntriesList->SetSortOnColumnClick(true);
    EntriesList->OnItemSetup = {[](TDBCustomListView *, TListItem *item, TDataSet *dataSet) {
                                    item->SetSortGroup(
                                        dataSet->FieldByName(QStringLiteral("Folder"))->AsBoolean() ? 0 : 1);
                                },
                                this};
    EntriesList->OnClick = {[this](TCustomListView *) { EntriesListClick(); }, this};
    EntriesList->OnEnter = {[this](TCustomListView *) { EntriesListClick(); }, this};
    EntriesList->OnDblClick = {[this](TCustomListView *) {
                                   if (EntriesList->Selected())
                                       OpenSelectedFolder();
                               },
                               this};
    EntriesList->OnKeyDown = {[this](TCustomListView *, int &key, Qt::KeyboardModifiers) {
                                  if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
                                      EntriesList->Selected())
                                      OpenSelectedFolder();
                              },
                              this};
    EntriesList->BeforeItemsLoading = {[this](TDBCustomListView *) { EntriesListBeforeItemsLoading(); },
                                       this};
    EntriesList->AfterItemsLoading = {[this](TDBCustomListView *) { EntriesListAfterItemsLoading(); }, this};
    FListOpener->EnableDrag(EntriesList);

    FileDescription = new TDBMemo(this);
    FileDescription->setObjectName(QStringLiteral("FileDescription"));
    FileDescription->SetDataField(QStringLiteral("Description"));
    FileDescription->SetDataSource(&global.dsFolders);
    FileDescription->setBackgroundRole(QPalette::Window);
    FileDescription->hide();

    QuickSearch = new TQuickSearch(this);
    EntriesPages = new QStackedWidget(this);
    EntriesPages->setObjectName(QStringLiteral("EntriesPages"));
    EntriesPages->addWidget(EntriesList);
    EntriesPages->addWidget(QuickSearch);
    connect(QuickSearch, &TQuickSearch::ActiveChanged, this,
            [this](bool active) { EntriesPages->setCurrentIndex(active ? 1 : 0); });
    connect(QuickSearch, &TQuickSearch::Left, this, [this] { EntriesList->setFocus(); });
    connect(QuickSearch, &TQuickSearch::ResultFocused, this, [this](const TFoundEntry &entry) {
        SBPanel0->setText(entry.InFolder + entry.Name);
        SBPanel1->setText(
            tr("%1 bytes").arg(QLocale().toString(entry.Size.IsNull() ? qint64(0) : entry.Size.AsInt64())));
    });
    connect(QuickSearch, &TQuickSearch::OpenEntry, this,
            [this](int id, int folder) { Guarded([&] { OpenFoundEntry(id, folder); }); });
    connect(QuickSearch, &TQuickSearch::MoreWanted, this,
            [this](const QString &pattern) { Guarded([&] { FindMore(pattern); }); });

    SearchBar = addToolBar(tr("Search"));
    SearchBar->setObjectName(QStringLiteral("SearchBar"));
    SearchBar->setMovable(false);
    QuickSearch->SearchBox->setMinimumWidth(240);
    SearchBar->addWidget(QuickSearch->SearchBox);
    auto *findBox = new QAction(this);
    findBox->setObjectName(QStringLiteral("SearchBoxFocus"));
    findBox->setShortcut(QKeySequence::Find);
    connect(findBox, &QAction::triggered, this, [this] {
        QuickSearch->SearchBox->setFocus(Qt::ShortcutFocusReason);
        QuickSearch->SearchBox->selectAll();
    });
    addAction(findBox);

    Splitter2 = new QSplitter(Qt::Vertical, this);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setHandleWidth(1);
    Splitter2->addWidget(EntriesPages);
    Splitter2->addWidget(FileDescription);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setSizes({300, 72});

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(1);
    Splitter1->addWidget(FoldersTree);
    Splitter1->addWidget(Splitter2);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({209, 394});
    setCentralWidget(Splitter1);

    statusBar()->setObjectName(QStringLiteral("SB"));
    SBPanel0 = new QLabel(statusBar());
    SBPanel0->setObjectName(QStringLiteral("SBPanel0"));
    SBPanel0->setMinimumWidth(300);
    SBPanel1 = new QLabel(statusBar());
    SBPanel1->setObjectName(QStringLiteral("SBPanel1"));
    SBPanel1->setMinimumWidth(100);
    statusBar()->addWidget(SBPanel0, 300);
    statusBar()->addWidget(SBPanel1, 350);
    SBProgress = new TProgressPanel(TCommonAVI::aviCopyFiles, true, statusBar());
    statusBar()->addPermanentWidget(SBProgress);

    // FormCreate: the pictures of every type, before any view draws one.
    global.ReloadImageLists();
    FoldersTree->SetDataSource(&dsFolders);
    EntriesList->SetDataSource(&dsFullList);

    setMinimumSize(603, 455);
    resize(603, 455);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    RestoreSettings();
    FoldersTree->setFocus();
}

void TCDEx::RestoreSettings()
{
    const TWindowSettings settings(QStringLiteral("Explorer"));
    settings.RestoreGeometry(this);
    settings.RestoreSplitter(Splitter1);
    settings.RestoreSplitter(Splitter2);
    const int style = settings.Value(QStringLiteral("ViewStyle"), int(vsList)).toInt();
    if (style >= vsIcon && style <= vsReport)
        SetViewStyle(TViewStyle(style));
    Toolbar1->setChecked(settings.Value(QStringLiteral("StatusBar"), true).toBool());
    statusBar()->setVisible(Toolbar1->isChecked());
    Description1->setChecked(settings.Value(QStringLiteral("Description"), false).toBool());
    FileDescription->setVisible(Description1->isChecked());
}

void TCDEx::SaveSettings()
{
    TWindowSettings settings(QStringLiteral("Explorer"));
    settings.SaveGeometry(this);
    settings.SaveSplitter(Splitter1);
    // A hidden pane has no height: saved so, it would come back closed when shown.
    if (FileDescription->isVisible())
        settings.SaveSplitter(Splitter2);
    settings.SetValue(QStringLiteral("ViewStyle"), int(EntriesList->ViewStyle()));
    settings.SetValue(QStringLiteral("StatusBar"), Toolbar1->isChecked());
    settings.SetValue(QStringLiteral("Description"), Description1->isChecked());
}

TCDEx::~TCDEx()
{
    // The views go before the data sources they are bound to, the quick search first, which
    // stops a search still running.
    delete QuickSearch;
    delete FoldersTree;
    delete EntriesList;
    delete FileDescription;
}

QAction *TCDEx::AddItem(QMenu *menu, const QString &name, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}

void TCDEx::CreateMenus()
{
    auto guarded = [this](void (TCDEx::*handler)()) {
        return [this, handler] { Guarded([this, handler] { (this->*handler)(); }); };
    };

    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MM1"));
    QMenu *file = bar->addMenu(tr("&File"));
    file->setObjectName(QStringLiteral("File1"));
    connect(AddItem(file, QStringLiteral("Addnewentry1"), tr("&Add new entry... ")), &QAction::triggered,
            this, guarded(&TCDEx::Addnewentry1Click));
    connect(AddItem(file, QStringLiteral("Export1"), tr("&Export...")), &QAction::triggered, this,
            guarded(&TCDEx::Export1Click));
    file->addSeparator()->setObjectName(QStringLiteral("N1"));
    connect(AddItem(file, QStringLiteral("Exit1"), tr("E&xit")), &QAction::triggered, this, &QWidget::close);

    QMenu *edit = bar->addMenu(tr("&Edit"));
    edit->setObjectName(QStringLiteral("Edit1"));
    Deleteentry1 = AddItem(edit, QStringLiteral("Deleteentry1"), tr("&Delete entry"));
    connect(Deleteentry1, &QAction::triggered, this, guarded(&TCDEx::Delete1Click));
    Updateentry1 = AddItem(edit, QStringLiteral("Updateentry1"), tr("&Update entry..."));
    connect(Updateentry1, &QAction::triggered, this, guarded(&TCDEx::Updateentry1Click));
    const auto entryOf = [](TTable &table) {
        return table.Active() && !table.IsEmpty() ? table.FieldByName(QStringLiteral("ID"))->AsInteger() : 0;
    };
    FEditOpener = new TEntryOpener(
        [this, entryOf] { return entryOf(FListActive ? Global().FullList : Global().Folders); }, statusBar(),
        this);
    FListOpener = new TEntryOpener([entryOf] { return entryOf(Global().FullList); }, statusBar(), this);
    edit->addSeparator();
    FEditOpener->AddItems(edit, QStringLiteral("Open1"), QStringLiteral("OpenFolder1"));

    QMenu *view = bar->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("View1"));
    Toolbar1 = AddItem(view, QStringLiteral("Toolbar1"), tr("&Status Bar"));
    Toolbar1->setCheckable(true);
    Toolbar1->setChecked(true);
    connect(Toolbar1, &QAction::triggered, this, guarded(&TCDEx::Toolbar1Click));
    Description1 = AddItem(view, QStringLiteral("Description1"), tr("&Description"));
    Description1->setCheckable(true);
    connect(Description1, &QAction::triggered, this, guarded(&TCDEx::Description1Click));
    view->addSeparator()->setObjectName(QStringLiteral("N3"));

    const auto setStyle = [this](TViewStyle style) { SetViewStyle(style); };
    FViewItems = AddViewItems(view,
                              {{vsIcon, QStringLiteral("Lagreicons1"), tr("&Large icons")},
                               {vsSmallIcon, QStringLiteral("Smallicons1"), tr("S&mall icons")},
                               {vsList, QStringLiteral("List1"), tr("L&ist")},
                               {vsReport, QStringLiteral("Details1"), tr("&Details")}},
                              vsList, setStyle);
    view->addSeparator()->setObjectName(QStringLiteral("N4"));
    connect(AddItem(view, QStringLiteral("Refresh1"), tr("&Refresh")), &QAction::triggered, this,
            guarded(&TCDEx::Refresh1Click));

    QMenu *tools = bar->addMenu(tr("&Tools"));
    tools->setObjectName(QStringLiteral("Options1"));
    connect(AddItem(tools, QStringLiteral("Find1"), tr("&Find...")), &QAction::triggered, this,
            guarded(&TCDEx::Filesorfolder1Click));
    connect(AddItem(tools, QStringLiteral("Extentionsetup1"), tr("Fi&nd matches...")), &QAction::triggered,
            this, guarded(&TCDEx::Extentionsetup1Click));
    tools->addSeparator()->setObjectName(QStringLiteral("N2"));
    connect(AddItem(tools, QStringLiteral("Imagessetup1"), tr("&Images setup...")), &QAction::triggered, this,
            guarded(&TCDEx::Imagessetup1Click));
    connect(AddItem(tools, QStringLiteral("Info1"), tr("In&fo files setup...")), &QAction::triggered, this,
            guarded(&TCDEx::Info1Click));

    QMenu *help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    connect(AddItem(help, QStringLiteral("Contents1"), tr("&Contents")), &QAction::triggered, this,
            guarded(&TCDEx::Contents1Click));
    connect(AddItem(help, QStringLiteral("About1"), tr("&About")), &QAction::triggered, this,
            guarded(&TCDEx::About1Click));

    PM1 = new QMenu(this);
    PM1->setObjectName(QStringLiteral("PM1"));
    Properties1 = AddItem(PM1, QStringLiteral("Properties1"), tr("Properties"));
    connect(Properties1, &QAction::triggered, this, guarded(&TCDEx::Properties1Click));
    connect(PM1, &QMenu::aboutToShow, this, &TCDEx::UpdateTreeCommands);
    PM1->addSeparator()->setObjectName(QStringLiteral("N6"));
    Delete1 = AddItem(PM1, QStringLiteral("Delete1"), tr("Delete"));
    connect(Delete1, &QAction::triggered, this, guarded(&TCDEx::Delete1Click));
    Update1 = AddItem(PM1, QStringLiteral("Update1"), tr("&Update entry..."));
    connect(Update1, &QAction::triggered, this, guarded(&TCDEx::Updateentry1Click));

    PM2 = new QMenu(this);
    PM2->setObjectName(QStringLiteral("PM2"));
    QMenu *vie1 = PM2->addMenu(tr("&View"));
    vie1->setObjectName(QStringLiteral("Vie1"));
    FPopupViewItems = AddViewItems(vie1,
                                   {{vsIcon, QStringLiteral("Largeicons1"), tr("&Large icons")},
                                    {vsSmallIcon, QStringLiteral("Smallicons2"), tr("&Small icons")},
                                    {vsList, QStringLiteral("List2"), tr("L&ist")},
                                    {vsReport, QStringLiteral("Details2"), tr("&Details")}},
                                   vsList, setStyle);
    PM2->addSeparator()->setObjectName(QStringLiteral("N5"));
    FListOpener->AddItems(PM2, QStringLiteral("Open2"), QStringLiteral("OpenFolder2"));
    connect(AddItem(PM2, QStringLiteral("Properties2"), tr("&Properties")), &QAction::triggered, this,
            guarded(&TCDEx::Properties2Click));

    // A catalogue that cannot be written offers only what reads it; deleting a volume stays off
    // too (FoldersTreeClick).
    if (Global().ReadOnly())
        for (const char *name : {"Addnewentry1", "Extentionsetup1", "Imagessetup1", "Info1"})
            findChild<QAction *>(QLatin1StringView(name))->setEnabled(false);
}

void TCDEx::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    // FormShow: the list is read afresh once the window is there to show it.
    Guarded([] {
        Global().FullList.Close();
        Global().FullList.Open();
    });
}

void TCDEx::closeEvent(QCloseEvent *event)
{
    TTable &folders = Global().Folders;
    if (folders.State() == TDataSetState::Edit || folders.State() == TDataSetState::Insert) {
        QString error;
        try {
            folders.CheckBrowseMode();
        } catch (const Exception &failure) {
            error = failure.Message();
        } catch (const std::exception &failure) {
            error = QString::fromLocal8Bit(failure.what());
        }
        if (!error.isEmpty()) {
            const QString question = tr("The description could not be saved:") + QStringLiteral("\r\n") +
                                     error + QStringLiteral("\r\n") + tr("Close anyway and lose it?");
            if (TMessageBox::Show(this, question, tr("Warning"), QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::Warning, QMessageBox::No) != QMessageBox::Yes) {
                event->ignore();
                return;
            }
            folders.Cancel();
        }
    }
    SaveSettings();
    QMainWindow::closeEvent(event);
}

void TCDEx::SetViewStyle(TViewStyle style)
{
    // The main menu's items and their twins in the list's menu always show the same choice.
    const int item = int(style);
    FViewItems[size_t(item)]->setChecked(true);
    FPopupViewItems[size_t(item)]->setChecked(true);
    EntriesList->SetViewStyle(style);
}

void TCDEx::ShowFolderStatus()
{
    TGlobal &global = Global();
    TTable &folders = global.Folders;
    if (folders.IsEmpty()) {
        SBPanel0->clear();
        SBPanel1->clear();
        return;
    }
    const QString path = folders.FieldByName(QStringLiteral("FullPath"))->AsString() +
                         folders.FieldByName(QStringLiteral("Name"))->AsString();
    if (ParentOf(folders) != 0)
        SBPanel0->setText(global.CDs.FieldByName(QStringLiteral("VolumeLabel"))->AsString() +
                          QStringLiteral(":\\") + path);
    else
        SBPanel0->setText(path);
    SBPanel1->setText(Bytes(folders.FieldByName(QStringLiteral("Size"))));
}

void TCDEx::ShowEntryStatus()
{
    TGlobal &global = Global();
    TTable &list = global.FullList;
    if (list.IsEmpty()) {
        SBPanel0->clear();
        SBPanel1->clear();
        return;
    }
    SBPanel0->setText(global.CDs.FieldByName(QStringLiteral("VolumeLabel"))->AsString() +
                      QStringLiteral(":\\") + list.FieldByName(QStringLiteral("FullPath"))->AsString() +
                      list.FieldByName(QStringLiteral("Name"))->AsString());
    SBPanel1->setText(Bytes(list.FieldByName(QStringLiteral("Size"))));
}

void TCDEx::UpdateDeleteItems()
{
    TTable &folders = Global().Folders;
    const bool root =
        folders.Active() && !folders.IsEmpty() && ParentOf(folders) == 0 && !Global().ReadOnly();
    Delete1->setEnabled(root);
    Deleteentry1->setEnabled(root);
    Update1->setEnabled(root);
    Updateentry1->setEnabled(root);
}

void TCDEx::UpdateTreeCommands()
{
    // The tree made the node under the mouse current before its menu opens.
    UpdateDeleteItems();
    TTable &folders = Global().Folders;
    Properties1->setEnabled(folders.Active() && !folders.IsEmpty());
}

void TCDEx::FoldersTreeClick()
{
    FListActive = false;
    UpdateDeleteItems();
    ShowFolderStatus();
    // The folder's description can be edited in place: the data module's source edits on demand.
    FileDescription->SetDataSource(&Global().dsFolders);
}

void TCDEx::EntriesListClick()
{
    FListActive = true;
    Delete1->setEnabled(false);
    Deleteentry1->setEnabled(false);
    Update1->setEnabled(false);
    Updateentry1->setEnabled(false);
    ShowEntryStatus();
    FileDescription->SetDataSource(&dsFullList);
}

void TCDEx::dsFullListDataChange()
{
    if (EntriesList->hasFocus() || EntriesList->isAncestorOf(QApplication::focusWidget())) {
        ShowEntryStatus();
        FileDescription->SetDataSource(&dsFullList);
    }
    if (FoldersTree->hasFocus()) {
        ShowFolderStatus();
        FileDescription->SetDataSource(&Global().dsFolders);
    }
}

void TCDEx::OpenSelectedFolder()
{
    TGlobal &global = Global();
    // An archive whose entries were read opens as a folder does.
    if (!global.FullList.FieldByName(QStringLiteral("Folder"))->AsBoolean() &&
        !global.FullList.FieldByName(QStringLiteral("Archive"))->AsBoolean()) {
        QApplication::beep();
        return;
    }
    const int id = global.FullList.FieldByName(QStringLiteral("ID"))->AsInteger();
    TTable &folders = global.Folders;
    const QString indexName = folders.IndexName();
    const QString indexFieldNames = folders.IndexFieldNames();
    TControlsDisabled disabled(folders);
    // Switching back keeps the record the seek landed on.
    auto restoreIndex = [&] {
        if (!indexFieldNames.isEmpty())
            folders.SetIndexFieldNames(indexFieldNames);
        if (!indexName.isEmpty())
            folders.SetIndexName(indexName);
    };
    try {
        folders.SetIndexFieldNames(QStringLiteral("ID"));
        folders.FindKey({TVariant(id)});
    } catch (...) {
        restoreIndex();
        throw;
    }
    restoreIndex();
}

void TCDEx::OpenFoundEntry(int id, int folder)
{
    TGlobal &global = Global();
    QuickSearch->Clear();
    // The list has the focus first, so the status line follows it to the entry.
    EntriesList->setFocus();
    // The list reloads for the new folder and then selects the current record: the entry.
    if (!global.Folders.Locate(QStringLiteral("ID"), TVariant(folder)) ||
        !global.FullList.Locate(QStringLiteral("ID"), TVariant(id)))
        QApplication::beep();
}

void TCDEx::FindMore(const QString &pattern)
{
    TFind find;
    find.FillChoices();
    find.Edit1->setText(pattern);
    QTimer::singleShot(0, &find, [&find] { find.Button1->click(); });
    find.exec();
}

void TCDEx::Delete1Click()
{
    TGlobal &global = Global();
    TTable &folders = global.Folders;
    FoldersTree->setCursor(Qt::WaitCursor);
    if (folders.Active() && !folders.IsEmpty() && ParentOf(folders) == 0) {
        // A large volume takes a while: the status bar shows how far it is, and the window takes
        // no command meanwhile.
        bool busy = false;
        const auto done = qScopeGuard([&] {
            global.OnProgress = nullptr;
            SBProgress->Finish();
            if (busy) {
                menuBar()->setEnabled(true);
                SearchBar->setEnabled(true);
                centralWidget()->setEnabled(true);
                FoldersTree->setFocus();
            }
        });
        global.OnProgress = [this, &busy](TGlobal *, int percent, int secondsLeft) {
            if (!busy) {
                busy = true;
                menuBar()->setEnabled(false);
                SearchBar->setEnabled(false);
                centralWidget()->setEnabled(false);
            }
            SBProgress->Progress(percent, secondsLeft);
            return false;
        };
        if (DeleteVolume(global, folders.FieldByName(QStringLiteral("ID"))->AsInteger()))
            folders.Delete();
    }
    // DataChanged stays as it is: the views followed the delete themselves, and reloading them
    // later would only lose the user's place.
    UpdateDeleteItems();
    ShowFolderStatus();
    FoldersTree->unsetCursor();
}

void TCDEx::Updateentry1Click()
{
    TGlobal &global = Global();
    TTable &folders = global.Folders;
    if (!folders.Active() || folders.IsEmpty() || ParentOf(folders) != 0)
        return;
    // A description being typed in the pane is stored before the views are read afresh.
    folders.CheckBrowseMode();
    UpdateVolume(this, folders.FieldByName(QStringLiteral("ID"))->AsInteger());
    global.RefreshViews();
    UpdateDeleteItems();
    ShowFolderStatus();
}

void TCDEx::Refresh1Click()
{
    Global().ReloadImageLists();
    FoldersTree->ReopenDataSet();
    EntriesList->ReopenDataSet();
}

void TCDEx::FoldersTreeGetSelectedIndex(TTreeNode *node)
{
    // A closed folder shows itself open while selected.
    if (node->ImageIndex() == 1)
        node->SetSelectedIndex(0);
}

void TCDEx::EntriesListBeforeItemsLoading()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TCDEx::EntriesListAfterItemsLoading()
{
    QApplication::restoreOverrideCursor();
}

void TCDEx::Properties1Click()
{
    TTable &folders = Global().Folders;
    if (!folders.Active() || folders.IsEmpty())
        return;
    // A description typed in the pane is stored first: the dialog shows and edits what is stored.
    folders.CheckBrowseMode();
    TProp *prop = TProp::Instance();
    prop->ShowEntry(folders.FieldByName(QStringLiteral("ID"))->AsInteger());
    prop->exec();
}

void TCDEx::Properties2Click()
{
    TTable &list = Global().FullList;
    if (list.IsEmpty())
        return;
    TProp *prop = TProp::Instance();
    prop->ShowEntry(list.FieldByName(QStringLiteral("ID"))->AsInteger());
    prop->exec();
}

void TCDEx::Export1Click()
{
    TGlobal &global = Global();
    TTable &folders = global.Folders;
    int volume = 0;
    QString name;
    if (folders.Active() && !folders.IsEmpty()) {
        volume = folders.FieldByName(QStringLiteral("CD"))->AsInteger();
        name = global.CDs.FieldByName(QStringLiteral("VolumeLabel"))->AsString();
    }
    TExportDialog dialog(volume, name, this);
    dialog.exec();
}

void TCDEx::Addnewentry1Click()
{
    TSelectDrive dialog(this);
    dialog.exec();
}
void TCDEx::Filesorfolder1Click()
{
    TFind find;
    find.FillChoices();
    find.exec();
}

void TCDEx::Extentionsetup1Click()
{
    TFindMatch findMatch;
    findMatch.exec();
}
void TCDEx::Imagessetup1Click()
{
    TImagEd editor(this);
    editor.exec();
}
void TCDEx::Info1Click()
{
    TNFO editor(this);
    editor.exec();
}

void TCDEx::About1Click()
{
    TAbout about;
    about.exec();
}

void TCDEx::Contents1Click()
{
    THelp::SetHelpFile(QStringLiteral("vor_nex.HLP"));
    THelp::ShowContents(this);
}

void TCDEx::Toolbar1Click()
{
    statusBar()->setVisible(Toolbar1->isChecked());
}

void TCDEx::Description1Click()
{
    FileDescription->setVisible(Description1->isChecked());
}
