#include "ImageEds.h"

#include "DBControls.h"
#include "DBGrids.h"
#include "DBNavigators.h"
#include "DataBaseListView.h"
#include "ErrorHandlers.h"
#include "FileDialogs.h"
#include "ViewMenus.h"
#include "dmGlobal.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

TTable &Images()
{
    return TGlobal::Instance()->Images2;
}

// A picture as a button shows it: the colour of its bottom-left pixel is left out, as the image
// lists do, unless the picture brings its own transparency.
QIcon Glyph(const QByteArray &bytes)
{
    QImage picture = QImage::fromData(bytes);
    if (picture.isNull())
        return QIcon();
    if (!picture.hasAlphaChannel()) {
        picture = picture.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = picture.pixel(0, picture.height() - 1);
        for (int y = 0; y < picture.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
            for (int x = 0; x < picture.width(); ++x)
                if (line[x] == key)
                    line[x] = 0;
        }
    }
    return QIcon(QPixmap::fromImage(picture));
}

QToolButton *PictureButton(const QString &name, int size, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setIconSize(QSize(size, size));
    button->setFixedSize(size + 4, size + 4);
    return button;
}

} // namespace

TImagEd::TImagEd(QWidget *parent) : QDialog(parent)
{
    TGlobal &global = *TGlobal::Instance();
    setObjectName(QStringLiteral("ImagEd"));
    setWindowTitle(tr("Images setup"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);

    dsImages.SetName(QStringLiteral("dsImages"));
    dsImages.SetDataSet(&global.Images2);
    dsExtention.SetName(QStringLiteral("dsExtention"));
    dsExtention.SetDataSet(&global.Extention);

    CreateMenu();

    DBL = new TDBListView(this);
    DBL->setObjectName(QStringLiteral("DBL"));
    DBL->SetReadOnly(false);
    DBL->SetViewStyle(vsList);
    DBL->SetLargeImages(&global.DBIL_Big);
    DBL->SetSmallImages(&global.DBIL_Little);
    DBL->SetPopupMenu(PM);
    DBL->SetImageIDField(QStringLiteral("ImageID"));
    DBL->SetNameField(QStringLiteral("Description"));
    DBL->SetKeyFields(QStringLiteral("ImageID"));
    DBL->SetDataSource(&dsImages);

    DBEdit1 = new TDBEdit(this);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->SetDataField(QStringLiteral("Description"));
    DBEdit1->SetDataSource(&dsImages);

    BnLoadSmall = PictureButton(QStringLiteral("BnLoadSmall"), 16, this);
    BnLoadSmall->setToolTip(tr("Small picture: click to load another"));
    BnLoadLarge = PictureButton(QStringLiteral("BnLoadLarge"), 32, this);
    BnLoadLarge->setToolTip(tr("Large picture: click to load another"));
    for (QToolButton *button : {BnLoadSmall, BnLoadLarge})
        connect(button, &QToolButton::clicked, this,
                [this, button] { Guarded([&] { LoadPictureFile(button); }); });

    DBCheckBox1 = new TDBCheckBox(this);
    DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
    DBCheckBox1->setText(tr("Is a CD image"));
    DBCheckBox1->SetDataField(QStringLiteral("CD"));
    DBCheckBox1->SetValueChecked(QStringLiteral("True"));
    DBCheckBox1->SetValueUnchecked(QStringLiteral("False"));
    DBCheckBox1->SetDataSource(&dsImages);

    DBN1 = new TDBNavigator(this);
    DBN1->setObjectName(QStringLiteral("DBN1"));
    DBN1->SetConfirmDelete(false);
    DBN1->SetDataSource(&dsImages);

    Label3 = new QLabel(tr("Extentions:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));

    DBGrid2 = new TDBGrid(this);
    DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
    DBGrid2->AddColumn(QStringLiteral("Name"), QString(), 80);
    DBGrid2->SetDataSource(&dsExtention);
    Label3->setBuddy(DBGrid2);

    DBNavigator1 = new TDBNavigator(this);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->SetVisibleButtons({nbInsert, nbDelete, nbPost, nbCancel});
    DBNavigator1->SetDataSource(&dsExtention);

    auto *pictures = new QHBoxLayout;
    pictures->addWidget(DBEdit1, 1);
    pictures->addWidget(BnLoadSmall, 0, Qt::AlignBottom);
    pictures->addWidget(BnLoadLarge);
    auto *type = new QVBoxLayout;
    type->addLayout(pictures);
    type->addWidget(DBCheckBox1);
    type->addWidget(DBN1);

    auto *extensionButtons = new QVBoxLayout;
    extensionButtons->addWidget(DBNavigator1);
    extensionButtons->addStretch(1);
    auto *extensions = new QGridLayout;
    extensions->addWidget(Label3, 0, 0, 1, 2);
    extensions->addWidget(DBGrid2, 1, 0);
    extensions->addLayout(extensionButtons, 1, 1);
    extensions->setColumnStretch(0, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(DBL, 1);
    layout->addLayout(type);
    layout->addLayout(extensions);
    DBGrid2->setFixedHeight(110);

    setMinimumSize(380, 392);
    resize(380, 392);

    dsImages.OnDataChange = {[this](TDataSource *, TField *) { ShowPictures(); }, this};
    global.Images2.Open();
    global.Images2.First();
    global.Extention.Open();
    ShowPictures();
}

TImagEd::~TImagEd()
{
    // The controls let go of the data sources before these go.
    delete DBL;
    delete DBEdit1;
    delete DBCheckBox1;
    delete DBN1;
    delete DBGrid2;
    delete DBNavigator1;
    dsImages.OnDataChange.Clear();
}

void TImagEd::CreateMenu()
{
    PM = new QMenu(this);
    PM->setObjectName(QStringLiteral("PM"));
    auto addItem = [](QMenu *menu, const char *name, const QString &caption) {
        QAction *item = menu->addAction(caption);
        item->setObjectName(QString::fromLatin1(name));
        return item;
    };

    QMenu *view = PM->addMenu(tr("&View"));
    view->menuAction()->setObjectName(QStringLiteral("View1"));
    AddViewItems(view,
                 {{vsIcon, QStringLiteral("Large1"), tr("&Large")},
                  {vsSmallIcon, QStringLiteral("Small1"), tr("&Small")},
                  {vsList, QStringLiteral("List1"), tr("L&ist")}},
                 vsList, [this](TViewStyle style) { DBL->SetViewStyle(style); });
    PM->addSeparator();

    QMenu *load = PM->addMenu(tr("&Load  image"));
    load->menuAction()->setObjectName(QStringLiteral("LoadImage1"));
    connect(addItem(load, "Large2", tr("&Large")), &QAction::triggered, this,
            [this] { Guarded([this] { LoadPictureFile(BnLoadLarge); }); });
    connect(addItem(load, "Small2", tr("&Small")), &QAction::triggered, this,
            [this] { Guarded([this] { LoadPictureFile(BnLoadSmall); }); });
    PM->addSeparator();

    IsCDimage1 = addItem(PM, "IsCDimage1", tr("Is CD image"));
    IsCDimage1->setCheckable(true);
    connect(IsCDimage1, &QAction::triggered, this, [this] { Guarded([this] { IsCDimage1Click(); }); });
    connect(PM, &QMenu::aboutToShow, this, [this] { Guarded([this] { PMPopup(); }); });
}

void TImagEd::ShowPictures()
{
    TTable &images = Images();
    const bool current = images.Active() && !(images.IsEmpty() && images.State() == TDataSetState::Browse);
    BnLoadSmall->setIcon(current ? Glyph(images.FieldByName(QStringLiteral("Small"))->AsBytes()) : QIcon());
    BnLoadLarge->setIcon(current ? Glyph(images.FieldByName(QStringLiteral("Large"))->AsBytes()) : QIcon());
}

void TImagEd::LoadPictureFile(QToolButton *button)
{
    const std::optional<QString> chosen =
        TOpenFileDialog::Execute(this, tr("Select a bitmap image"),
                                 tr("Bitmap files (*.bmp);;PNG files (*.png)"), QStringLiteral("bmp"));
    if (!chosen)
        return;
    // The file is read whole before the record is touched, so a file that cannot be read leaves
    // the stored picture as it was.
    QFile file(*chosen);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError)
        throw Exception(
            tr("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(*chosen), file.errorString()));

    TTable &images = Images();
    images.Edit();
    images.FieldByName(button == BnLoadLarge ? QStringLiteral("Large") : QStringLiteral("Small"))
        ->SetAsBytes(bytes);
}

void TImagEd::PMPopup()
{
    TTable &images = Images();
    const bool current = images.Active() && !(images.IsEmpty() && images.State() == TDataSetState::Browse);
    IsCDimage1->setEnabled(current);
    IsCDimage1->setChecked(current && images.FieldByName(QStringLiteral("CD"))->AsBoolean());
}

void TImagEd::IsCDimage1Click()
{
    TTable &images = Images();
    images.Edit();
    TField *cd = images.FieldByName(QStringLiteral("CD"));
    cd->SetAsBoolean(!cd->AsBoolean());
}

void TImagEd::done(int result)
{
    TGlobal &global = *TGlobal::Instance();
    try {
        // What is being typed or was loaded is kept, not left pending in the data module.
        for (TTable *table : {&global.Extention, &global.Images2})
            if (table->Active())
                table->CheckBrowseMode();
    } catch (...) {
        HandleException();
        return;
    }
    Guarded([&global] { global.ReloadImageLists(); });
    QDialog::done(result);
}
