#include "CDImage.h"

#include "DataBaseListView.h"
#include "ViewMenus.h"
#include "dmGlobal.h"

#include <QDialogButtonBox>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

TCDImages::TCDImages(QWidget *parent) : QDialog(parent)
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

    AddViewItems(menu,
                 {{vsIcon, QStringLiteral("LargeIcons1"), tr("&Large Icons")},
                  {vsSmallIcon, QStringLiteral("Smallicons1"), tr("&Small icons")},
                  {vsList, QStringLiteral("List1"), tr("L&ist")}},
                 vsList, [this](TViewStyle style) { DBL->SetViewStyle(style); });

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("btnCancel"));
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
