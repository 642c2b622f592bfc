#include "SelectDrives.h"

#include "BusyAnimations.h"
#include "CDImage.h"
#include "DiscImageSources.h"
#include "ErrorHandlers.h"
#include "FileDialogs.h"
#include "FolderBrowsers.h"
#include "Hourglass.h"
#include "ListViews.h"
#include "MountWatcher.h"
#include "MountedSources.h"
#include "ProgressPanels.h"
#include "VolumeServices.h"
#include "WindowSettings.h"
#include "dmGlobal.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {

// The dialog's height: the lower part with the animation, the bar and the status line shows only
// while cataloguing.
constexpr int IdleHeight = 216;
constexpr int LoadingHeight = 312;

// Whether archives are looked into is the user's lasting choice, not one per run.
QSettings Settings()
{
    return QSettings(QStringLiteral("vor-nex"), QStringLiteral("vor-nex"));
}

const QString ProcessZipsKey = QStringLiteral("SelectDrive/ProcessZips");

template <class F> class TAtExit
{
public:
    explicit TAtExit(F fn) : FFn(std::move(fn)) {}
    ~TAtExit() { FFn(); }
    TAtExit(const TAtExit &) = delete;
    TAtExit &operator=(const TAtExit &) = delete;

private:
    F FFn;
};

// What the user gave a drive's disc, kept over a refresh of the list.
struct TItemChoice
{
    QString Caption;
    int ImageIndex = 2;
    bool Selected = false;
    bool Focused = false;
};

} // namespace

bool TSelectDrive::ArchivesChosen()
{
    return Settings().value(ProcessZipsKey, false).toBool();
}

TSelectDrive::TSelectDrive(QWidget *parent) : QDialog(parent)
{
    TGlobal &global = *TGlobal::Instance();
    setObjectName(QStringLiteral("SelectDrive"));
    setWindowTitle(tr("Select drive"));

    auto *label = new QLabel(tr("Active drives:"), this);
    label->setObjectName(QStringLiteral("Label1"));

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    ChangePicture = PopupMenu->addAction(tr("Change Picture"));
    ChangePicture->setObjectName(QStringLiteral("ChangePicture"));
    Rename = PopupMenu->addAction(tr("Rename"));
    Rename->setObjectName(QStringLiteral("Rename"));
    PopupMenu->addSeparator();
    Refresh = PopupMenu->addAction(tr("Refresh"));
    Refresh->setObjectName(QStringLiteral("Refresh"));
    Refresh->setShortcut(QKeySequence(Qt::Key_F5));
    PopupMenu->addSeparator();
    AddFolder = PopupMenu->addAction(tr("Add &folder..."));
    AddFolder->setObjectName(QStringLiteral("AddFolder"));
    AddImage = PopupMenu->addAction(tr("Add &image..."));
    AddImage->setObjectName(QStringLiteral("AddImage"));
    connect(AddFolder, &QAction::triggered, this, [this] { Guarded([this] { AddFolderClick(); }); });
    connect(AddImage, &QAction::triggered, this, [this] { Guarded([this] { AddImageClick(); }); });
    // F5 works without the menu open.
    addAction(Refresh);
    connect(ChangePicture, &QAction::triggered, this, [this] { Guarded([this] { ChangePictureClick(); }); });
    connect(Rename, &QAction::triggered, this, [this] { Guarded([this] { RenameClick(); }); });
    connect(Refresh, &QAction::triggered, this, [this] { Guarded([this] { RefreshClick(); }); });
    connect(PopupMenu, &QMenu::aboutToShow, this, &TSelectDrive::UpdateItemCommands);

    DriveList = new TListView(this);
    DriveList->setObjectName(QStringLiteral("DriveList"));
    DriveList->SetViewStyle(vsReport);
    DriveList->SetMultiSelect(true);
    DriveList->Columns()->Add(tr("Name"), 150);
    DriveList->Columns()->Add(tr("Drive"), 190);
    DriveList->Columns()->Add(tr("Volume"), 110);
    DriveList->SetSmallImages(&global.DBIL_Little);
    DriveList->SetLargeImages(&global.DBIL_Big);
    DriveList->SetPopupMenu(PopupMenu);
    DriveList->OnEditing = {[](TCustomListView *, TListItem *item, bool &allow) { allow = HasDisc(item); },
                            this};
    DriveList->OnChange = {[this](TCustomListView *, TListItem *, TItemChange change) {
                               if (change != ctState)
                                   return;
                               SelectionChanged();
                               UpdateItemCommands();
                           },
                           this};
    label->setBuddy(DriveList);

    BtnStart = new QPushButton(tr("&Start"), this);
    BtnStart->setObjectName(QStringLiteral("BtnStart"));
    connect(BtnStart, &QPushButton::clicked, this, [this] { Guarded([this] { BtnStartClick(); }); });
    BtnAddFolder = new QPushButton(tr("Add &folder..."), this);
    BtnAddFolder->setObjectName(QStringLiteral("BtnAddFolder"));
    connect(BtnAddFolder, &QPushButton::clicked, AddFolder, &QAction::trigger);
    BtnAddImage = new QPushButton(tr("Add &image..."), this);
    BtnAddImage->setObjectName(QStringLiteral("BtnAddImage"));
    connect(BtnAddImage, &QPushButton::clicked, AddImage, &QAction::trigger);

    ForceOverwrite = new QCheckBox(tr("Force overwrite existing entries"), this);
    ForceOverwrite->setObjectName(QStringLiteral("ForceOverwrite"));
    ProcessZips = new QCheckBox(tr("Retrieve archive files content"), this);
    ProcessZips->setObjectName(QStringLiteral("ProcessZips"));
    ProcessZips->setChecked(ArchivesChosen());
    connect(ProcessZips, &QCheckBox::toggled, this,
            [](bool checked) { Settings().setValue(ProcessZipsKey, checked); });

    FLoadingPanel = new QWidget(this);
    Animation = new TAnimate(FLoadingPanel);
    Animation->setObjectName(QStringLiteral("Animation"));
    Animation->SetCommonAVI(TCommonAVI::aviCopyFiles);
    ProgressBar = new QProgressBar(FLoadingPanel);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    StatusLabel = new QLabel(FLoadingPanel);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));

    auto *progress = new QVBoxLayout;
    progress->addStretch(1);
    progress->addWidget(ProgressBar);
    progress->addWidget(StatusLabel);
    auto *panel = new QHBoxLayout(FLoadingPanel);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addWidget(Animation);
    panel->addLayout(progress, 1);

    NoDiscLabel =
        new QLabel(tr("No drive with a volume was found. Insert a disc or connect a drive, or add a "
                      "folder or a disc image file (ISO or UDF) to catalogue it."),
                   this);
    NoDiscLabel->setObjectName(QStringLiteral("NoDiscLabel"));
    NoDiscLabel->setWordWrap(true);
    NoDiscLabel->hide();

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(BtnStart);
    buttons->addStretch(1);
    buttons->addWidget(BtnAddFolder);
    buttons->addWidget(BtnAddImage);
    auto *list = new QHBoxLayout;
    list->addWidget(DriveList, 1);
    list->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(list, 1);
    layout->addWidget(NoDiscLabel);
    layout->addWidget(ForceOverwrite);
    layout->addWidget(ProcessZips);
    layout->addWidget(FLoadingPanel);

    FMountWatcher = TVolumeServices::Current().NewMountWatcher(this);
    connect(FMountWatcher, &TMountWatcher::Changed, this, [this] { Guarded([this] { MountChanged(); }); });

    resize(560, IdleHeight);
    TWindowSettings(QStringLiteral("SelectDrive")).RestoreGeometry(this, false);
    UpdateControls();
    Guarded([this] { FillDriveList(); });
}

TSelectDrive::~TSelectDrive() = default;

bool TSelectDrive::HasDisc(const TListItem *item)
{
    return !item->Data().toString().isEmpty();
}

void TSelectDrive::SetState(TSelectState value)
{
    if (FState == value)
        return;
    FState = value;
    UpdateControls();
}

void TSelectDrive::UpdateControls()
{
    const bool loading = FState == ssLoading;
    if (loading)
        FStopped = false;
    BtnStart->setText(loading ? tr("&Stop") : tr("&Start"));
    BtnStart->setEnabled(FState == ssReady || loading);
    // Until a run has really ended the items it walks stay as they are.
    DriveList->setEnabled(!loading && FState != ssStopping);
    BtnAddFolder->setEnabled(!loading && FState != ssStopping);
    BtnAddImage->setEnabled(!loading && FState != ssStopping);
    ProcessZips->setEnabled(!loading && FState != ssStopping);
    // After a run that passed over info files or parts of archives the status line stays to tell
    // of them.
    const bool skipped = !loading && (!FSkipped.isEmpty() || !FArchiveNotes.isEmpty());
    FLoadingPanel->setVisible(loading || skipped);
    Animation->setVisible(loading);
    ProgressBar->setVisible(loading);
    Animation->SetActive(loading);
    if (!loading) {
        ProgressBar->setValue(0);
        StatusLabel->clear();
        StatusLabel->setToolTip(QString());
        if (skipped)
            ShowSkipped();
    }
    // The panel's own layout too: the status line alone takes its whole width.
    FLoadingPanel->layout()->activate();
    layout()->activate();
    resize(width(), std::max(loading ? LoadingHeight : IdleHeight, minimumSizeHint().height()));
    UpdateItemCommands();
}

void TSelectDrive::ShowSkipped()
{
    QStringList parts;
    if (FSkipped.size() == 1)
        parts << tr("Skipped info file %1").arg(FSkipped.first());
    else if (!FSkipped.isEmpty())
        parts << tr("Skipped %1 info files that cannot be read; first: %2")
                     .arg(FSkipped.size())
                     .arg(FSkipped.first());
    if (FArchiveNotes.size() == 1)
        parts << FArchiveNotes.first();
    else if (!FArchiveNotes.isEmpty())
        parts << tr("%1 archives could not be read whole; first: %2")
                     .arg(FArchiveNotes.size())
                     .arg(FArchiveNotes.first());
    const QString text = parts.join(QStringLiteral("; "));
    // A path of a deep folder would widen the dialog past the screen; the tip has them all.
    StatusLabel->setText(
        StatusLabel->fontMetrics().elidedText(text, Qt::ElideMiddle, std::max(200, width() - 40)));
    constexpr qsizetype listed = 30;
    const QStringList all = FSkipped + FArchiveNotes;
    QStringList tip = all.mid(0, listed);
    if (all.size() > listed)
        tip << tr("and %1 more").arg(all.size() - listed);
    StatusLabel->setToolTip(tip.join(u'\n'));
}

void TSelectDrive::UpdateItemCommands()
{
    const bool idle = FState != ssLoading && FState != ssStopping;
    const TListItem *focused = DriveList->ItemFocused();
    ChangePicture->setEnabled(idle && focused);
    Rename->setEnabled(idle && focused && HasDisc(focused));
    AddFolder->setEnabled(idle);
    AddImage->setEnabled(idle);
}

void TSelectDrive::SelectionChanged()
{
    if (FState < ssLoading)
        SetState(HasLoadableDrive() ? ssReady : ssNoDrive);
}

bool TSelectDrive::HasLoadableDrive() const
{
    for (int i = 0; i < DriveList->Items()->Count(); ++i) {
        const TListItem *item = DriveList->Items()->Item(i);
        if (item->Selected() && HasDisc(item) && !item->Caption().isEmpty())
            return true;
    }
    return false;
}

void TSelectDrive::FillDriveList()
{
    if (FState == ssLoading || FState == ssStopping || FPicking) {
        FRefreshPending = true;
        return;
    }
    FRefreshPending = false;
    SetState(ssRefreshing);
    THourglass hourglass;
    TAtExit ready([this] { SetState(HasLoadableDrive() ? ssReady : ssNoDrive); });

    const QList<TDriveLine> lines = TGlobal::Instance()->GetDrives();
    // The mount table changes for many reasons besides discs: a drive whose disc is the same
    // keeps the name, picture and selection the user gave it.
    QHash<QString, TItemChoice> kept;
    for (int i = 0; i < DriveList->Items()->Count(); ++i) {
        const TListItem *item = DriveList->Items()->Item(i);
        if (HasDisc(item))
            kept.insert(item->SubItems().value(0),
                        {item->Caption(), item->ImageIndex(), item->Selected(), item->Focused()});
    }
    DriveList->CancelEdit();

    TListItems *items = DriveList->Items();
    items->BeginUpdate();
    items->Clear();
    for (const TDriveLine &line : lines)
        AddItem(line);
    // An added volume is read again: a folder that went away, or whose drive did, shows so.
    for (const TAddedVolume &added : FAdded)
        AddItem(TGlobal::Instance()->VolumeLine(*added.Source, added.Path));
    items->EndUpdate();
    bool anyDisc = false;
    for (int i = 0; i < items->Count() && !anyDisc; ++i)
        anyDisc = HasDisc(items->Item(i));
    NoDiscLabel->setVisible(!anyDisc);

    for (int i = 0; i < items->Count(); ++i) {
        TListItem *item = items->Item(i);
        const auto choice = kept.constFind(item->SubItems().value(0));
        if (!HasDisc(item) || choice == kept.constEnd())
            continue;
        item->SetCaption(choice->Caption);
        item->SetImageIndex(choice->ImageIndex);
        if (choice->Selected)
            item->SetSelected(true);
        if (choice->Focused)
            item->SetFocused(true);
    }
}

void TSelectDrive::AddItem(const TDriveLine &line)
{
    TListItem *item = DriveList->Items()->Add();
    item->SetCaption(line.Name);
    item->SetData(line.RootPath);
    item->SetSubItems({line.Drive, line.RootPath.isEmpty() ? QString() : line.Name});
    item->SetImageIndex(2);
}

TVolumeSource *TSelectDrive::AddedSource(const QString &path) const
{
    for (const TAddedVolume &added : FAdded)
        if (added.Path == path)
            return added.Source.get();
    return nullptr;
}

void TSelectDrive::AddVolume(const QString &path, std::unique_ptr<TVolumeSource> source)
{
    TListItems *items = DriveList->Items();
    TListItem *shown = nullptr;
    for (int i = 0; i < items->Count() && !shown; ++i)
        if (items->Item(i)->Data().toString() == path)
            shown = items->Item(i);
    if (!shown) {
        const TDriveLine line = TGlobal::Instance()->VolumeLine(*source, path);
        if (line.RootPath.isEmpty())
            throw Exception(tr("%1 cannot be read as a volume.").arg(QDir::toNativeSeparators(path)));
        FAdded.push_back({path, std::move(source)});
        AddItem(line);
        shown = items->Item(items->Count() - 1);
        NoDiscLabel->hide();
    }
    shown->SetSelected(true);
    shown->SetFocused(true);
    shown->MakeVisible(false);
    SelectionChanged();
}

void TSelectDrive::AddFolderClick()
{
    const std::optional<QString> folder =
        TFolderBrowser::Browse(this, tr("Select a folder to catalogue:"), QString());
    if (!folder)
        return;
    const QString path = QFileInfo(*folder).canonicalFilePath();
    if (path.isEmpty())
        throw Exception(tr("%1 cannot be read as a volume.").arg(QDir::toNativeSeparators(*folder)));
    AddVolume(path, std::make_unique<TMountedSource>(path, TMountedSource::TKind::Folder));
}

void TSelectDrive::AddImageClick()
{
    const std::optional<QString> file = TOpenFileDialog::Execute(
        this, tr("Select a disc image to catalogue"), tr("Disc images (*.iso *.udf *.img);;All files (*)"));
    if (!file)
        return;
    // An image that cannot be read says why when it is added, not when the run reaches it.
    const QString path = QFileInfo(*file).absoluteFilePath();
    // Reading an image's descriptors from a slow disc or a share takes a moment.
    std::unique_ptr<TVolumeSource> source;
    {
        const THourglass hourglass;
        source = TDiscImageSource::Open(path);
    }
    AddVolume(path, std::move(source));
}

void TSelectDrive::MountChanged()
{
    FillDriveList();
}

void TSelectDrive::RefreshClick()
{
    FillDriveList();
}

void TSelectDrive::BtnStartClick()
{
    switch (FState) {
    case ssReady:
        StartLoading();
        break;
    case ssLoading:
        FStopped = true;
        SetState(ssStopping);
        break;
    default:
        break;
    }
}

void TSelectDrive::StartLoading()
{
    TGlobal &global = *TGlobal::Instance();
    FSkipped.clear();
    FArchiveNotes.clear();
    SetState(ssLoading);
    TAtExit ended([this] {
        SetState(ssNoDrive);
        if (FRefreshPending)
            Guarded([this] { FillDriveList(); });
    });
    THourglass hourglass;
    TAtExit noHandler([&global] { global.OnProgress = nullptr; });

    const TListItem *first = DriveList->Selected();
    for (int i = first ? first->Index() : DriveList->Items()->Count(); i < DriveList->Items()->Count(); ++i) {
        TListItem *item = DriveList->Items()->Item(i);
        if (!item->Selected() || !HasDisc(item))
            continue;
        const QString rootPath = item->Data().toString();
        TMountedSource drive(rootPath);
        TVolumeSource *added = AddedSource(rootPath);
        TVolumeSource &source = added ? *added : drive;
        global.OnProgress = [this](TGlobal *, int percent, int secondsLeft) {
            return LoadProgress(percent, secondsLeft);
        };
        item->SetFocused(true);
        global.ProcessArchives = ProcessZips->isChecked();
        const int cd =
            global.LoadDisk(source, item->Caption(), item->ImageIndex(), ForceOverwrite->isChecked());
        global.OnProgress = nullptr;
        FArchiveNotes += global.ArchiveNotes;
        // No disc, not confirmed or stopped: the drives after it are left alone.
        if (cd == -1)
            break;
        global.OnProgress = [this](TGlobal *, int percent, int) { return DescriptionsProgress(percent); };
        for (const TSkippedInfoFile &file : global.LoadDescriptions(cd, source))
            FSkipped << QStringLiteral("%1: %2").arg(file.Path, file.Reason);
        global.OnProgress = nullptr;
        item->SetSelected(false);
    }
}

bool TSelectDrive::LoadProgress(int percent, int secondsLeft)
{
    StatusLabel->setText(TProgressPanel::TimeLeftText(secondsLeft));
    ProgressBar->setValue(percent);
    QCoreApplication::processEvents();
    return FStopped;
}

bool TSelectDrive::DescriptionsProgress(int percent)
{
    StatusLabel->setText(tr("Processing file descriptions"));
    ProgressBar->setValue(percent);
    QCoreApplication::processEvents();
    return FStopped;
}

void TSelectDrive::ChangePictureClick()
{
    TListItem *item = DriveList->ItemFocused();
    if (!item)
        return;
    // The picker runs its own event loop; a refresh meanwhile would take the item away.
    FPicking = true;
    TAtExit picked([this] {
        FPicking = false;
        if (FRefreshPending)
            Guarded([this] { FillDriveList(); });
    });
    TCDImages picker(this);
    picker.SetSelectedImageID(item->ImageIndex());
    if (picker.exec() == QDialog::Accepted && !TGlobal::Instance()->Images3.IsEmpty())
        item->SetImageIndex(picker.GetSelectedImageID());
}

void TSelectDrive::RenameClick()
{
    TListItem *item = DriveList->ItemFocused();
    if (item && HasDisc(item))
        item->EditCaption();
}

void TSelectDrive::done(int result)
{
    if (FState >= ssLoading)
        return;
    TWindowSettings(QStringLiteral("SelectDrive")).SaveGeometry(this);
    Guarded([] { TGlobal::Instance()->RefreshViews(); });
    QDialog::done(result);
}
