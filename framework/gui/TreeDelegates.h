#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class TCustomTreeView;
class TTreeNode;

// Draws a node's state image before its picture and caption, and the drop target as if it were
// selected, as the platform's tree control does; keeps track of the one caption editor it opened.
class TTreeDelegate : public QStyledItemDelegate
{
public:
    // Where the parts of a row are drawn.
    struct TLayout
    {
        QRect State, Icon, Text;
    };

    explicit TTreeDelegate(TCustomTreeView *view);

    QWidget *Editor() const { return FEditor; }
    int StateWidth(const TTreeNode *node) const;
    TLayout Layout(const QStyleOptionViewItem &option, const QModelIndex &index) const;
    // Ends the edit with the editor's text, as Enter would; or closes it.
    void Commit();
    void Close(bool cancel);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

private:
    TCustomTreeView *FView;
    mutable QPointer<QWidget> FEditor;
};
