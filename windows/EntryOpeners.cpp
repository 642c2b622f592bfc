#include "EntryOpeners.h"

#include "EntryLocations.h"
#include "ErrorHandlers.h"
#include "ListViews.h"
#include "dmGlobal.h"

#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>

namespace {

// Long enough to be read.
constexpr int ReasonShownMs = 10000;

} // namespace

TEntryOpener::TEntryOpener(std::function<int()> currentId, QStatusBar *statusBar, QObject *parent)
    : QObject(parent), FCurrentId(std::move(currentId)), FStatusBar(statusBar)
{}

void TEntryOpener::AddItems(QMenu *menu, const QString &openName, const QString &folderName)
{
    QAction *open = menu->addAction(tr("&Open"));
    open->setObjectName(openName);
    connect(open, &QAction::triggered, this, [this] { Guarded([this] { Open(false); }); });
    QAction *folder = menu->addAction(tr("Open containing &folder"));
    folder->setObjectName(folderName);
    connect(folder, &QAction::triggered, this, [this] { Guarded([this] { Open(true); }); });
    FOpenItems << open;
    FFolderItems << folder;
    connect(menu, &QMenu::aboutToShow, this, [this] { Guarded([this] { Update(); }); });
}

void TEntryOpener::EnableDrag(TCustomListView *list)
{
    list->OnStartDrag = {[this, list](TCustomListView *, TListItem *item, QMimeData *&data) {
                             // The press made the item current before the drag began.
                             if (list->Selected() == item)
                                 data = DragData();
                         },
                         this};
}

void TEntryOpener::Update()
{
    const int id = FCurrentId();
    const TEntryLocation location = id > 0 ? LocateEntry(*TGlobal::Instance(), id) : TEntryLocation();
    for (QAction *item : FOpenItems + FFolderItems) {
        item->setEnabled(location.Online || (location.FolderOnline && FFolderItems.contains(item)));
        item->setStatusTip(location.Reason);
    }
    if (id > 0 && !location.Online)
        Tell(location.Reason);
}

void TEntryOpener::Open(bool containingFolder)
{
    const int id = FCurrentId();
    if (id <= 0)
        return;
    const TEntryLocation location = LocateEntry(*TGlobal::Instance(), id);
    if (!location.Online && !(containingFolder && location.FolderOnline)) {
        Tell(location.Reason);
        QApplication::beep();
        return;
    }
    const QUrl url = containingFolder ? location.FolderUrl() : location.Url();
    if (!OpenEntryUrl(url))
        Tell(tr("No program could open %1.").arg(url.toDisplayString(QUrl::PreferLocalFile)));
}

QMimeData *TEntryOpener::DragData()
{
    const int id = FCurrentId();
    if (id <= 0)
        return nullptr;
    const TEntryLocation location = LocateEntry(*TGlobal::Instance(), id);
    if (!location.Online)
        Tell(location.Reason);
    return NewEntryMimeData(location).release();
}

void TEntryOpener::Tell(const QString &text)
{
    if (!FStatusBar)
        return;
    // What the status bar said before (a window's count of results) comes back afterwards.
    QStatusBar *bar = FStatusBar;
    const QString before = bar->currentMessage();
    if (before == text)
        return;
    bar->showMessage(text);
    QTimer::singleShot(ReasonShownMs, bar, [bar, text, before] {
        if (bar->currentMessage() == text)
            bar->showMessage(before);
    });
}
