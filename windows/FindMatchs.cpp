#include "FindMatchs.h"

#include "BusyAnimations.h"
#include "DataBaseListView.h"
#include "ErrorHandlers.h"
#include "FolderBrowsers.h"
#include "FolderMatches.h"
#include "Hourglass.h"
#include "MessageBoxes.h"
#include "ViewMenus.h"
#include "VolumeServices.h"
#include "WindowSettings.h"
#include "dmGlobal.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

TFindMatch::TFindMatch(QWidget *parent)
    : QDialog(parent), FComparison(std::make_unique<TFolderComparison>(*TGlobal::Instance()))
{
    setObjectName(QStringLiteral("FindMatch"));
    setWindowTitle(tr("Find matches"));
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setMinimumSize(392, 400);

    Folder = new QLineEdit(this);
    Folder->setObjectName(QStringLiteral("Folder"));
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    SpeedButton1->setAutoRaise(true);
    ckbPath = new QCheckBox(tr("&Path"), this);
    ckbPath->setObjectName(QStringLiteral("ckbPath"));
    VolumeRoot = new QLineEdit(this);
    VolumeRoot->setObjectName(QStringLiteral("VolumeRoot"));
    VolumeRoot->setPlaceholderText(tr("where the folder's volume is mounted"));
    VolumeRoot->setEnabled(false);
    SpeedButton2 = new QToolButton(this);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    SpeedButton2->setAutoRaise(true);
    SpeedButton2->setEnabled(false);
    ckbSize = new QCheckBox(tr("&Size"), this);
    ckbSize->setObjectName(QStringLiteral("ckbSize"));
    ckbTime = new QCheckBox(tr("&Time of modification"), this);
    ckbTime->setObjectName(QStringLiteral("ckbTime"));
    Compare = new QPushButton(tr("Compare"), this);
    Compare->setObjectName(QStringLiteral("Compare"));
    Compare->setDefault(true);
    Compare->setEnabled(false);
    Anim1 = new TAnimate(this);
    Anim1->setObjectName(QStringLiteral("Anim1"));
    Anim1->SetCommonAVI(TCommonAVI::aviFindFile);
    Anim1->SetStopFrame(23);
    Anim1->setFixedSize(48, 50);
    Anim1->hide();

    DBL1 = MakeList(QStringLiteral("DBL1"), {tr("Name"), tr("In Folder"), tr("Size"), tr("Modified ")},
                    QStringLiteral("FullPath;Size;Modified"), QStringLiteral("PM1"), QStringLiteral("1"));
    DBL1->SetDataSource(&FComparison->dsOnDisk);
    DBL2 = MakeList(QStringLiteral("DBL2"), {tr("Name"), tr("In Folder"), tr("Size"), tr("Modified")},
                    QStringLiteral("CDPath;size;Modified"), QStringLiteral("PM2"), QStringLiteral("2"));
    DBL2->SetDataSource(&FComparison->dsInLib);
    DBL1->OnClick = {[this](TCustomListView *) { ShowMatchesInLibrary(); }, this};
    DBL1->OnKeyPress = {[this](TCustomListView *, QChar &) { ShowMatchesInLibrary(); }, this};
    DBL1->OnKeyUp = {[this](TCustomListView *, int &, Qt::KeyboardModifiers) { ShowMatchesInLibrary(); },
                     this};

    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("Splitter1"));
    splitter->setHandleWidth(3);
    splitter->addWidget(DBL1);
    splitter->addWidget(DBL2);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({200, 97});

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setEnabled(false);
    status->addWidget(new QLabel(status), 300);
    status->addWidget(new QLabel(status), 50);

    auto *boxes = new QHBoxLayout;
    boxes->addWidget(ckbPath);
    boxes->addWidget(ckbSize);
    boxes->addWidget(ckbTime);
    boxes->addStretch();
    auto *top = new QGridLayout;
    top->addWidget(new QLabel(tr("In:"), this), 0, 0);
    top->addWidget(Folder, 0, 1);
    top->addWidget(SpeedButton1, 0, 2);
    top->addWidget(Compare, 0, 3);
    top->addWidget(new QLabel(tr("Compare files by name and by:"), this), 1, 0, 1, 3);
    top->addLayout(boxes, 2, 0, 1, 3);
    auto *rootLabel = new QLabel(tr("Volume &root:"), this);
    rootLabel->setBuddy(VolumeRoot);
    top->addWidget(rootLabel, 3, 0);
    top->addWidget(VolumeRoot, 3, 1);
    top->addWidget(SpeedButton2, 3, 2);
    top->addWidget(Anim1, 1, 3, 3, 1, Qt::AlignCenter);
    top->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);
    layout->addWidget(status);
    resize(392, 399);
    const TWindowSettings settings(QStringLiteral("FindMatch"));
    settings.RestoreGeometry(this);
    settings.RestoreSplitter(splitter);

    connect(Folder, &QLineEdit::textChanged, this, [this] { UpdateCompareButton(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { Guarded([this] { SpeedButton1Click(); }); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { Guarded([this] { SpeedButton2Click(); }); });
    connect(ckbPath, &QCheckBox::toggled, this, [this] { UpdateComparingControls(); });
    connect(Compare, &QPushButton::clicked, this, [this] { CompareClick(); });

    // A folder that has gone since (a disc taken out) is not offered again.
    const QString lastFolder = settings.Value(QStringLiteral("Folder")).toString();
    if (!lastFolder.isEmpty() && QDir(lastFolder).exists())
        Folder->setText(lastFolder);
}

TFindMatch::~TFindMatch()
{
    delete DBL1;
    delete DBL2;
}

TDBListView *TFindMatch::MakeList(const QString &name, const QStringList &columns,
                                  const QString &columnFields, const QString &menuName, const QString &suffix)
{
    TGlobal &global = *TGlobal::Instance();
    auto *list = new TDBListView(this);
    list->setObjectName(name);
    list->SetReadOnly(true);
    list->SetLargeImages(&global.DBIL_Big);
    list->SetSmallImages(&global.DBIL_Little);
    const int widths[4] = {100, 100, 60, 120};
    for (int i = 0; i < columns.size(); ++i)
        list->Columns()->Add(columns[i], widths[i]);
    list->SetViewStyle(vsReport);
    list->SetNameField(QStringLiteral("Name"));
    list->SetImageIDField(QStringLiteral("ImageID"));
    list->SetKeyFields(QStringLiteral("ID"));
    list->SetColumnsFields(columnFields);

    auto *menu = new QMenu(this);
    menu->setObjectName(menuName);
    AddViewItems(menu,
                 {{vsIcon, QStringLiteral("Largeicons") + suffix, tr("&Large icons")},
                  {vsSmallIcon, QStringLiteral("Smallicons") + suffix, tr("&Small icons")},
                  {vsList, QStringLiteral("List") + suffix, tr("L&ist")},
                  {vsReport, QStringLiteral("Detail") + suffix, tr("&Detail")}},
                 vsReport, [list](TViewStyle style) { list->SetViewStyle(style); });
    list->SetPopupMenu(menu);
    return list;
}

void TFindMatch::SpeedButton1Click()
{
    const std::optional<QString> chosen =
        TFolderBrowser::Browse(this, tr("Select directory:"), Folder->text());
    if (!chosen)
        return;
    QString path = QDir(*chosen).absolutePath();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    Folder->setText(path);
}

void TFindMatch::SpeedButton2Click()
{
    const QString initial = VolumeRoot->text().isEmpty() ? Folder->text() : VolumeRoot->text();
    if (const std::optional<QString> chosen =
            TFolderBrowser::Browse(this, tr("Select the volume's root:"), initial))
        VolumeRoot->setText(QDir(*chosen).absolutePath());
}

void TFindMatch::UpdateCompareButton()
{
    Compare->setEnabled(FComparing || !Folder->text().trimmed().isEmpty());
}

void TFindMatch::SetComparing(bool value)
{
    if (value == FComparing)
        return;
    FComparing = value;
    UpdateComparingControls();
}

void TFindMatch::UpdateComparingControls()
{
    Anim1->setVisible(FComparing);
    Anim1->SetActive(FComparing);
    if (FComparing) {
        FHourglass = std::make_unique<THourglass>();
        Compare->setText(tr("Cancel"));
    } else {
        Compare->setText(tr("Compare"));
        FHourglass.reset();
        FStopRequested = false;
    }
    UpdateCompareButton();
    for (QWidget *w : {static_cast<QWidget *>(ckbPath), static_cast<QWidget *>(ckbSize),
                       static_cast<QWidget *>(ckbTime), static_cast<QWidget *>(Folder)})
        w->setEnabled(!FComparing);
    // The root matters only to paths.
    VolumeRoot->setEnabled(!FComparing && ckbPath->isChecked());
    SpeedButton2->setEnabled(!FComparing && ckbPath->isChecked());
}

void TFindMatch::CompareClick()
{
    if (FComparing) {
        FStopRequested = true;
        return;
    }
    SetComparing(true);
    TWindowSettings(QStringLiteral("FindMatch")).SetValue(QStringLiteral("Folder"), Folder->text());
    FLastTick = TVolumeServices::Current().TickCount();
    try {
        RunComparison();
        SetComparing(false);
    } catch (const EStopComparing &) {
        SetComparing(false);
    } catch (...) {
        SetComparing(false);
        HandleException();
    }
    // The window was asked to close while it compared: it closes now that the scan has let go.
    if (FCloseRequested) {
        FCloseRequested = false;
        close();
    }
}

void TFindMatch::RunComparison()
{
    FComparison->SetVolumeRoot(ckbPath->isChecked() ? VolumeRoot->text().trimmed() : QString());
    const bool matched =
        FComparison->RunComparison(Folder->text(), ckbPath->isChecked(), ckbSize->isChecked(),
                                   ckbTime->isChecked(), [this] { return CheckStop(); });
    if (!matched)
        TMessageBox::Show(this, tr("Not found any matches"), tr("Find result"), QMessageBox::Ok,
                          QMessageBox::Information);
}

bool TFindMatch::CheckStop()
{
    const quint32 now = TVolumeServices::Current().TickCount();
    if (now - FLastTick > 500) {
        FLastTick = now;
        QCoreApplication::processEvents();
    }
    return FStopRequested;
}

void TFindMatch::ShowMatchesInLibrary()
{
    TQuery &onDisk = FComparison->OnDisk;
    if (FComparing || !onDisk.Active() || onDisk.IsEmpty())
        return;
    DBL1->setCursor(Qt::WaitCursor);
    Guarded([this, &onDisk] {
        FComparison->ShowMatchesInLibrary(onDisk.FieldByName(QStringLiteral("ID"))->AsInteger());
    });
    DBL1->unsetCursor();
}

void TFindMatch::keyPressEvent(QKeyEvent *event)
{
    // While comparing, Escape is the Cancel button; the window stays.
    if (event->key() == Qt::Key_Escape && FComparing) {
        CompareClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFindMatch::closeEvent(QCloseEvent *event)
{
    if (FComparing) {
        FStopRequested = true;
        FCloseRequested = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TFindMatch::done(int result)
{
    if (FComparing) {
        FStopRequested = true;
        FCloseRequested = true;
        return;
    }
    TWindowSettings settings(QStringLiteral("FindMatch"));
    settings.SaveGeometry(this);
    if (auto *splitter = findChild<QSplitter *>(QStringLiteral("Splitter1")))
        settings.SaveSplitter(splitter);
    Guarded([this] { FComparison->ClearScratch(); });
    QDialog::done(QDialog::Accepted);
    (void)result;
}
