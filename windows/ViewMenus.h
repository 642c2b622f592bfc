#pragma once

#include "ListViews.h"

#include <QString>
#include <functional>
#include <vector>

class QAction;
class QMenu;

// One item of a menu that switches a list between its view styles.
struct TViewItem
{
    TViewStyle Style;
    QString Name;
    QString Caption;
};

// Adds the items to menu as one group of radio items, `checked` starting checked; choosing one
// checks it and hands its style to apply.
std::vector<QAction *> AddViewItems(QMenu *menu, const std::vector<TViewItem> &items, TViewStyle checked,
                                    const std::function<void(TViewStyle)> &apply);
