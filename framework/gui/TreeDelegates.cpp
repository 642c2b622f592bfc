#include "TreeDelegates.h"

#include "ImageLists.h"
#include "TreeViews.h"

#include <QApplication>
#include <QPainter>

TTreeDelegate::TTreeDelegate(TCustomTreeView *view) : QStyledItemDelegate(view), FView(view)
{}

int TTreeDelegate::StateWidth(const TTreeNode *node) const
{
    const TCustomImageList *states = FView->StateImages();
    if (!states || !node || node->StateIndex() < 0 || node->StateIndex() >= states->Count())
        return 0;
    return states->Width() + 2;
}

TTreeDelegate::TLayout TTreeDelegate::Layout(const QStyleOptionViewItem &option,
                                             const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    TLayout layout;
    const int stateWidth = StateWidth(TTreeNodes::NodeOf(index));
    layout.State = QRect(opt.rect.left(), opt.rect.top(), stateWidth, opt.rect.height());
    opt.rect.setLeft(opt.rect.left() + stateWidth);
    const QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
    if (opt.features & QStyleOptionViewItem::HasDecoration)
        layout.Icon = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, opt.widget);
    layout.Text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
    layout.Text.setWidth(qMin(layout.Text.width(), opt.fontMetrics.horizontalAdvance(opt.text) + 2 * margin));
    return layout;
}

void TTreeDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    const TTreeNode *node = TTreeNodes::NodeOf(index);
    if (node && node == FView->DropTarget())
        opt.state |= QStyle::State_Selected;
    if (const int stateWidth = StateWidth(node)) {
        const TCustomImageList *states = FView->StateImages();
        states->Draw(*painter, opt.rect.left() + 1,
                     opt.rect.top() + (opt.rect.height() - states->Height()) / 2, node->StateIndex());
        opt.rect.setLeft(opt.rect.left() + stateWidth);
    }
    QStyledItemDelegate::paint(painter, opt, index);
}

QSize TTreeDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += StateWidth(TTreeNodes::NodeOf(index));
    if (const TCustomImageList *states = FView->StateImages())
        size.setHeight(qMax(size.height(), states->Height() + 2));
    if (const TCustomImageList *images = FView->Images())
        size.setHeight(qMax(size.height(), images->Height() + 2));
    return size;
}

QWidget *TTreeDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    FEditor = QStyledItemDelegate::createEditor(parent, option, index);
    return FEditor;
}

void TTreeDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    if (FEditor == editor)
        FEditor = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

void TTreeDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                         const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    opt.rect.setLeft(opt.rect.left() + StateWidth(TTreeNodes::NodeOf(index)));
    QStyledItemDelegate::updateEditorGeometry(editor, opt, index);
}

void TTreeDelegate::Commit()
{
    if (FEditor)
        emit commitData(FEditor);
}

void TTreeDelegate::Close(bool cancel)
{
    if (FEditor)
        emit closeEditor(FEditor, cancel ? RevertModelCache : NoHint);
}
