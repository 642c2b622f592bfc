#pragma once

#include <QObject>
#include <functional>

class QAction;
class QMenu;
class QMimeData;
class QStatusBar;
class TCustomListView;
class TListItem;

// "Open" and "Open containing folder" for the entry a window has current, and dragging it out of
// a list as a file: all only while its volume is mounted (or its folder is there), and for an
// entry inside a disc image file only "Open containing folder", which shows the image's folder. A menu about
// to show enables the two items for the entry, and when they are off the status bar tells why.
class TEntryOpener : public QObject
{
    Q_OBJECT

public:
    // currentId gives the ID of the entry the commands are for, 0 for none.
    TEntryOpener(std::function<int()> currentId, QStatusBar *statusBar, QObject *parent);

    // Adds the two items to the menu with these object names, and keeps them up to date whenever
    // it is about to show.
    void AddItems(QMenu *menu, const QString &openName, const QString &folderName);
    // Items dragged out of the list carry the current entry's file URL.
    void EnableDrag(TCustomListView *list);

    // Checks whether the current entry can be opened: enables or disables the items, and tells
    // the reason in the status bar when it cannot.
    void Update();
    void Open(bool containingFolder);
    QMimeData *DragData();

private:
    void Tell(const QString &text);

    std::function<int()> FCurrentId;
    QStatusBar *FStatusBar;
    QList<QAction *> FOpenItems;
    QList<QAction *> FFolderItems;
};
