#include "Properties.h"

#include "DBControls.h"
#include "ErrorHandlers.h"
#include "dmGlobal.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

TDBText *FieldLabel(TDataSource *source, const QString &field, const QString &name, QWidget *parent)
{
    auto *label = new TDBText(parent);
    label->setObjectName(name);
    label->SetDataSource(source);
    label->SetDataField(field);
    return label;
}

// The explorer's views read the entry through data sets of their own: the one that has it as its
// current record reads it again, so that its description pane shows what was just stored.
void ShowStoredEntry(int id)
{
    TGlobal &global = *TGlobal::Instance();
    for (TTable *view : {&global.Folders, &global.FullList}) {
        if (view->State() == TDataSetState::Browse && !view->IsEmpty() &&
            view->FieldByName(QStringLiteral("ID"))->AsInteger() == id)
            view->Refresh();
    }
}

QFrame *Separator(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

TProp::TProp(QWidget *parent) : QDialog(parent)
{
    TGlobal &global = *TGlobal::Instance();
    setObjectName(QStringLiteral("Prop"));
    setWindowTitle(tr("Properties"));

    FDescription.SetName(QStringLiteral("Description"));
    FDescription.SetDataSet(&global.ForProperties);
    FImages.SetName(QStringLiteral("Images"));
    FImages.SetDataSet(&global.ImageProperties);
    FCDS.SetName(QStringLiteral("CDS"));
    FCDS.SetDataSet(&global.CDProperties);
    TDataSource *description = &FDescription;

    Image = new QToolButton(this);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setAutoRaise(true);
    Image->setIconSize(QSize(32, 32));
    Image->setFixedSize(40, 40);
    FileName = FieldLabel(description, QStringLiteral("Name"), QStringLiteral("FileName"), this);
    FileName->setTextInteractionFlags(Qt::TextSelectableByMouse);

    FileType = FieldLabel(&FImages, QStringLiteral("Description"), QStringLiteral("FileType"), this);
    LocatedIn = FieldLabel(description, QStringLiteral("LocatedIn"), QStringLiteral("LocatedIn"), this);
    LocatedIn->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FileSize = FieldLabel(description, QStringLiteral("Size"), QStringLiteral("FileSize"), this);
    ModifiedLabel = new QLabel(tr("Created:"), this);
    ModifiedLabel->setObjectName(QStringLiteral("ModifiedLabel"));
    DateModified = FieldLabel(description, QStringLiteral("Modified"), QStringLiteral("DateModified"), this);
    SNLabel = new QLabel(tr("Serial number:"), this);
    SNLabel->setObjectName(QStringLiteral("SNLabel"));
    SerialNumber = FieldLabel(&FCDS, QStringLiteral("SerialNum"), QStringLiteral("SerialNumber"), this);
    SNLabel->hide();
    SerialNumber->hide();

    FileDescription = new TDBMemo(this);
    FileDescription->setObjectName(QStringLiteral("FileDescription"));
    FileDescription->SetDataSource(description);
    FileDescription->SetDataField(QStringLiteral("Description"));

    auto *head = new QHBoxLayout;
    head->addWidget(Image);
    head->addWidget(FileName, 1);

    // A volume shows its serial number where the others show their date; the hidden row takes no room.
    auto *facts = new QGridLayout;
    facts->setColumnStretch(1, 1);
    facts->addWidget(new QLabel(tr("Type:"), this), 0, 0);
    facts->addWidget(FileType, 0, 1);
    facts->addWidget(new QLabel(tr("Locations:"), this), 1, 0);
    facts->addWidget(LocatedIn, 1, 1);
    facts->addWidget(new QLabel(tr("Size:"), this), 2, 0);
    facts->addWidget(FileSize, 2, 1);
    facts->addWidget(ModifiedLabel, 3, 0);
    facts->addWidget(DateModified, 3, 1);
    facts->addWidget(SNLabel, 4, 0);
    facts->addWidget(SerialNumber, 4, 1);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    QPushButton *cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(Separator(this));
    layout->addLayout(facts);
    layout->addWidget(Separator(this));
    layout->addWidget(new QLabel(tr("Description:"), this));
    layout->addWidget(FileDescription, 1);
    layout->addWidget(buttons);
    resize(330, 400);
    if (!FInstance)
        FInstance = this;
}

TProp::~TProp()
{
    if (FInstance == this)
        FInstance = nullptr;
}

void TProp::ShowEntry(int id)
{
    TGlobal &global = *TGlobal::Instance();
    global.OpenProperties();
    // A failed seek leaves the cursor on whatever it was on before: that entry is not shown.
    const bool found = global.ForProperties.FindKey({TVariant(id)});
    FDescription.SetEnabled(found);
    FImages.SetEnabled(found);
    FCDS.SetEnabled(found);
    LoadPicture();
    const bool root = found && global.ForProperties.FieldByName(QStringLiteral("Parent"))->IsNull();
    SNLabel->setVisible(root);
    SerialNumber->setVisible(root);
    ModifiedLabel->setVisible(!root);
    DateModified->setVisible(!root);
}

void TProp::LoadPicture()
{
    TTable &images = TGlobal::Instance()->ImageProperties;
    QImage picture;
    if (FImages.Enabled() && !images.IsEmpty())
        picture.loadFromData(images.FieldByName(QStringLiteral("Large"))->AsBytes());
    if (picture.isNull()) {
        Image->setIcon({});
        return;
    }
    // Our pictures mark their background with the colour of their bottom-left pixel.
    QPixmap pixmap =
        QPixmap::fromImage(picture.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setMask(
        pixmap.createMaskFromColor(pixmap.toImage().pixelColor(0, pixmap.height() - 1), Qt::MaskInColor));
    Image->setIcon(QIcon(pixmap));
}

void TProp::done(int result)
{
    // Cancel, Escape and the close box all end here with Rejected: only OK keeps a typed
    // description. The dialog edits an entry that exists and never makes one.
    TTable &entry = TGlobal::Instance()->ForProperties;
    if (entry.State() == TDataSetState::Insert) {
        entry.Cancel();
    } else if (entry.State() == TDataSetState::Edit) {
        if (result == QDialog::Accepted) {
            const int id = entry.FieldByName(QStringLiteral("ID"))->AsInteger();
            try {
                entry.Post();
            } catch (...) {
                HandleException();
                return;
            }
            Guarded([id] { ShowStoredEntry(id); });
        } else {
            entry.Cancel();
        }
    }
    QDialog::done(result);
}
