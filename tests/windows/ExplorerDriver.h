#pragma once

// Drives the explorer as a user does: finds nodes and items by what they show and clicks them.

#include "CDExs.h"
#include "DBCustomTreeView.h"
#include "DataBaseListView.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QTest>
#include <QTreeView>

inline TTreeNode *ChildByText(TCustomTreeView *tree, TTreeNode *parent, const QString &text)
{
    if (parent)
        parent->Expand(false);
    for (TTreeNode *node = parent ? parent->GetFirstChild() : tree->Items()->GetFirstNode(); node;
         node = node->GetNextSibling())
        if (node->Text() == text)
            return node;
    return nullptr;
}

// The node at the end of a path of captions from the top level, expanding on the way.
inline TTreeNode *NodeByPath(TCustomTreeView *tree, const QStringList &path)
{
    TTreeNode *node = nullptr;
    for (const QString &text : path)
        if (!(node = ChildByText(tree, node, text)))
            return nullptr;
    return node;
}

inline void ClickNode(TCustomTreeView *tree, TTreeNode *node)
{
    node->MakeVisible();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->NodeRect(node, true).center());
}

// Asks for the tree's popup menu at a point of its client area, as the platform does: the press
// of the right button, then the context-menu event.
inline void RightClickAt(TCustomTreeView *tree, const QPoint &at)
{
    QTest::mousePress(tree->viewport(), Qt::RightButton, {}, at);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &event);
}

inline void RightClickNode(TCustomTreeView *tree, TTreeNode *node)
{
    node->MakeVisible();
    RightClickAt(tree, tree->NodeRect(node, true).center());
}

inline TListItem *ItemByCaption(TCustomListView *list, const QString &caption)
{
    for (int i = 0; i < list->Items()->Count(); ++i)
        if (list->Items()->Item(i)->Caption() == caption)
            return list->Items()->Item(i);
    return nullptr;
}

inline void ClickItem(TCustomListView *list, TListItem *item, bool twice = false)
{
    item->MakeVisible(false);
    const QPoint at = item->DisplayRect().center();
    if (twice)
        QTest::mouseDClick(list->Viewport(), Qt::LeftButton, {}, at);
    else
        QTest::mouseClick(list->Viewport(), Qt::LeftButton, {}, at);
}

// Clicks the header of a report column; the list must be in the report style.
inline void ClickHeader(TCustomListView *list, int column)
{
    QHeaderView *header = static_cast<QTreeView *>(list->ActivePane())->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

inline QStringList Captions(const TCustomListView *list)
{
    QStringList captions;
    for (int i = 0; i < list->Items()->Count(); ++i)
        captions << list->Items()->Item(i)->Caption();
    return captions;
}

inline QAction *Item(QWidget *window, const char *name)
{
    return window->findChild<QAction *>(QString::fromLatin1(name));
}
