#include "ViewMenus.h"

#include <QActionGroup>
#include <QMenu>

std::vector<QAction *> AddViewItems(QMenu *menu, const std::vector<TViewItem> &items, TViewStyle checked,
                                    const std::function<void(TViewStyle)> &apply)
{
    auto *group = new QActionGroup(menu);
    std::vector<QAction *> actions;
    for (const TViewItem &item : items) {
        QAction *action = menu->addAction(item.Caption);
        action->setObjectName(item.Name);
        action->setCheckable(true);
        action->setChecked(item.Style == checked);
        group->addAction(action);
        const TViewStyle style = item.Style;
        QObject::connect(action, &QAction::triggered, menu, [apply, style] { apply(style); });
        actions.push_back(action);
    }
    return actions;
}
