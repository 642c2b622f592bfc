#include "NFOs.h"

#include "DBControls.h"
#include "DBGrids.h"
#include "DBNavigators.h"
#include "ErrorHandlers.h"
#include "dmGlobal.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TNFO::TNFO(QWidget *parent) : QDialog(parent)
{
    TGlobal &global = *TGlobal::Instance();
    setObjectName(QStringLiteral("NFO"));
    setWindowTitle(tr("Edit info files patterns"));

    dsNFO.SetName(QStringLiteral("dsNFO"));
    dsNFO.SetDataSet(&global.NFO);
    global.NFO.Open();

    Grid = new TDBGrid(this);
    Grid->setObjectName(QStringLiteral("DBGrid1"));
    Grid->AddColumn(QStringLiteral("NameNFO"), tr("File name or mask"), 220);
    Grid->SetDataSource(&dsNFO);

    ForFolder = new TDBCheckBox(this);
    ForFolder->setObjectName(QStringLiteral("ForFolder"));
    ForFolder->setText(tr("Use this pattern for f&olders"));
    ForFolder->SetDataField(QStringLiteral("ForFolder"));
    ForFolder->SetDataSource(&dsNFO);
    ForFile = new TDBCheckBox(this);
    ForFile->setObjectName(QStringLiteral("ForFile"));
    ForFile->setText(tr("Use this pattern for &files"));
    ForFile->SetDataField(QStringLiteral("ForFile"));
    ForFile->SetDataSource(&dsNFO);

    Navigator = new TDBNavigator(this);
    Navigator->setObjectName(QStringLiteral("DBNavigator1"));
    Navigator->SetVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbPost, nbCancel});
    Navigator->SetDataSource(&dsNFO);

    auto *hint = new QLabel(
        tr("File pattern should include an asteric '*', a dot '.' and a file extension pattern"), this);
    hint->setObjectName(QStringLiteral("Hint"));
    hint->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("btnClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Grid, 1);
    layout->addWidget(ForFolder);
    layout->addWidget(ForFile);
    layout->addWidget(Navigator);
    layout->addWidget(hint);
    layout->addWidget(buttons);
    resize(360, 340);
}

TNFO::~TNFO()
{
    delete Grid;
    delete ForFolder;
    delete ForFile;
    delete Navigator;
}

void TNFO::done(int result)
{
    // A pattern being typed when the window closes is kept, not lost.
    TTable &patterns = TGlobal::Instance()->NFO;
    try {
        if (patterns.Active())
            patterns.CheckBrowseMode();
    } catch (...) {
        HandleException();
        return;
    }
    QDialog::done(result);
}
