#include "CDImage.h"

#include "DataBaseListView.h"
#include "ErrorHandlers.h"
#include "dmGlobal.h"

#include <QActionGroup>
#include <QDialogButtonBox>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

TCDImages::TCDImages(QWidget *parent)
    : QDialog(parent)
{
    TGlobal &global = *TGlobal::Instance();
    setObjectName(QStringLiteral("CDImages"));
    setWindowTitle(tr("Select picture"));
    setMinimumSize(227, 217);

    FDataSource.SetName(QStringLiteral("DataSource"));
    FDataSource.SetDataSet(&global.Images3);
    global.Images3.Open();

    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("PopupMenu1"));
    auto *group = new QActionGroup(this);
    const TViewStyle styles[3] = {vsIcon, vsSmallIcon, vsList};
    const QString names[3] = {QStringLiteral("LargeIcons1"), QStringLiteral("Smallicons1"), QStringLiteral("List1")};
    const QString captions[3] = {tr("&Large Icons"), tr("&Small icons"), tr("L&ist")};

    DBL = new TDBListView(this);
    DBL->setObjectName(QStringLiteral("DBL"));
    DBL->SetReadOnly(true);
    DBL->SetViewStyle(vsList);
    DBL->SetLargeImages(&global.DBIL_Big);
    DBL->SetSmallImages(&global.DBIL_Little);
    DBL->SetPopupMenu(menu);
    DBL->SetImageIDField(QStringLiteral("ImageID"));
    DBL->SetNameField(QStringLiteral("Description"));
    DBL->SetKeyFields(QStringLiteral("ImageID"));
    DBL->SetDataSource(&FDataSource);
    DBL->OnDblClick = {[this](TCustomListView *) { accept(); }, this};

    for (int i = 0; i < 3; ++i) {
        QAction *item = menu->addAction(captions[i]);
        item->setObjectName(names[i]);
        item->setCheckable(true);
        item->setChecked(styles[i] == vsList);
        group->addAction(item);
        const TViewStyle style = styles[i];
        connect(item, &QAction::triggered, this, [this, style] { DBL->SetViewStyle(style); });
    }

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(DBL, 1);
    layout->addWidget(buttons);
    resize(227, 217);
    DBL->setFocus();
}

TCDImages::~TCDImages()
{
    delete DBL;
}

bool TCDImages::SetSelectedImageID(int id)
{
    TTable &images = TGlobal::Instance()->Images3;
    images.Open();
    return images.FindKey({TVariant(id)});
}

int TCDImages::GetSelectedImageID() const
{
    return TGlobal::Instance()->Images3.FieldByName(QStringLiteral("ImageID"))->AsInteger();
}
