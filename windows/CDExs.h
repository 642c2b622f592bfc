#pragma once

#include "DataSources.h"
#include "ListViews.h"

#include <QMainWindow>
#include <vector>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QSplitter;
class QStackedWidget;
class QToolBar;
class TDBListView;
class TDBMemo;
class TDBTreeView;
class TEntryOpener;
class TProgressPanel;
class TQuickSearch;
class TTreeNode;

// The explorer: the folder tree of every catalogued volume, the entries of the current folder, an
// optional description pane and the status line. Every other window opens from its menus.
class TCDEx : public QMainWindow
{
    Q_OBJECT

public:
    explicit TCDEx(QWidget *parent = nullptr);
    ~TCDEx() override;

    // Opens the folder of the current list entry in the tree; beeps on a file.
    void OpenSelectedFolder();
    // Opens the folder an entry is in and makes the entry the list's current one; beeps when the
    // catalogue no longer holds it.
    void OpenFoundEntry(int id, int folder);

    // The menu commands, by their handlers' names, so that the windows of other units hook in.
    void Delete1Click();
    // Brings the current volume up to date with its disk and shows what changed.
    void Updateentry1Click();
    void Refresh1Click();
    void Properties1Click();
    void Properties2Click();
    void Export1Click();

    TDBTreeView *FoldersTree = nullptr;
    TDBListView *EntriesList = nullptr;
    TDBMemo *FileDescription = nullptr;
    QLabel *SBPanel0 = nullptr;
    QLabel *SBPanel1 = nullptr;
    // Progress of a long operation of the window itself (deleting a large volume).
    TProgressPanel *SBProgress = nullptr;
    // The search box in the tool bar, and its results in place of the entries while it holds text.
    TQuickSearch *QuickSearch = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    // A description typed in the pane is stored before the window goes, or the user is asked.
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateMenus();
    // Place, size, panes and view style as the user left them.
    void RestoreSettings();
    void SaveSettings();
    QAction *AddItem(QMenu *menu, const QString &name, const QString &caption);
    void SetViewStyle(TViewStyle style);
    void ShowFolderStatus();
    void UpdateDeleteItems();
    void UpdateTreeCommands();
    void ShowEntryStatus();
    void FoldersTreeClick();
    void EntriesListClick();
    void dsFullListDataChange();
    void FoldersTreeGetSelectedIndex(TTreeNode *node);
    void EntriesListBeforeItemsLoading();
    void EntriesListAfterItemsLoading();
    void Addnewentry1Click();
    void Filesorfolder1Click();
    void Extentionsetup1Click();
    void Imagessetup1Click();
    void Info1Click();
    void About1Click();
    void Contents1Click();
    void Toolbar1Click();
    void Description1Click();
    void FindMore(const QString &pattern);

    TDataSource dsFolders;
    TDataSource dsFullList;
    QSplitter *Splitter1 = nullptr;
    QSplitter *Splitter2 = nullptr;
    QStackedWidget *EntriesPages = nullptr;
    QToolBar *SearchBar = nullptr;
    QMenu *PM1 = nullptr;
    QMenu *PM2 = nullptr;
    QAction *Deleteentry1 = nullptr;
    QAction *Delete1 = nullptr;
    QAction *Updateentry1 = nullptr;
    QAction *Update1 = nullptr;
    QAction *Properties1 = nullptr;
    QAction *Toolbar1 = nullptr;
    QAction *Description1 = nullptr;
    // Open and Open containing folder: in the Edit menu for the entry of the view last used, in
    // the list's menu (and a drag out of the list) for the list's entry.
    TEntryOpener *FEditOpener = nullptr;
    TEntryOpener *FListOpener = nullptr;
    bool FListActive = false;
    // The four view items of the main menu and their twins in the list's popup menu.
    std::vector<QAction *> FViewItems;
    std::vector<QAction *> FPopupViewItems;
    bool FShown = false;
};
