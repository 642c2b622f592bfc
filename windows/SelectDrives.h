#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class TAnimate;
class TListItem;
class TListView;
class TMountWatcher;
class TVolumeSource;
struct TDriveLine;

// Where the drive dialog stands; the controls follow it (UpdateControls).
enum TSelectState { ssNoDrive, ssReady, ssLoading, ssStopping, ssRefreshing };

// The drive dialog: lists the drives with their discs, lets the user name each disc and pick its
// picture, and catalogues the selected drives one after another with progress, a time estimate
// and a Stop button. Besides the drives, the user can add any folder and any disc image file as
// a volume of its own. An item's data is the drive's root path, the folder or the image file,
// empty when it holds no readable disc.
class TSelectDrive : public QDialog
{
    Q_OBJECT

public:
    explicit TSelectDrive(QWidget *parent = nullptr);
    // Whether the user chose to look inside archives, the lasting choice of the dialog's
    // "Retrieve archive files content"; updates follow it too.
    static bool ArchivesChosen();
    ~TSelectDrive() override;

    TSelectState State() const { return FState; }
    bool Stopped() const { return FStopped; }

    void FillDriveList();
    bool HasLoadableDrive() const;
    void BtnStartClick();
    void StartLoading();
    // The progress handlers of the walk and of the description import: they show the progress,
    // let the window breathe, and answer whether the user asked to stop.
    bool LoadProgress(int percent, int secondsLeft);
    bool DescriptionsProgress(int percent);
    void ChangePictureClick();
    void RenameClick();
    void RefreshClick();
    // Ask for a folder or an image file and list it, selected; one already listed is selected.
    void AddFolderClick();
    void AddImageClick();

    // Closing is refused while a run is on; afterwards the views are brought up to date.
    void done(int result) override;

    TListView *DriveList = nullptr;
    QPushButton *BtnStart = nullptr;
    QPushButton *BtnAddFolder = nullptr;
    QPushButton *BtnAddImage = nullptr;
    QCheckBox *ForceOverwrite = nullptr;
    QCheckBox *ProcessZips = nullptr;
    TAnimate *Animation = nullptr;
    QProgressBar *ProgressBar = nullptr;
    QLabel *StatusLabel = nullptr;
    // Shown while no drive holds a disc: what the user can do about it.
    QLabel *NoDiscLabel = nullptr;
    QMenu *PopupMenu = nullptr;
    QAction *ChangePicture = nullptr;
    QAction *Rename = nullptr;
    QAction *Refresh = nullptr;
    QAction *AddFolder = nullptr;
    QAction *AddImage = nullptr;

private:
    void SetState(TSelectState value);
    void UpdateControls();
    void UpdateItemCommands();
    void ShowSkipped();
    void SelectionChanged();
    void MountChanged();
    static bool HasDisc(const TListItem *item);
    // Lists an added volume after the drives, or selects the line that already shows it.
    void AddVolume(const QString &path, std::unique_ptr<TVolumeSource> source);
    void AddItem(const TDriveLine &line);
    // The source an item is read from: the added volume's own, or the drive's mounted one.
    TVolumeSource *AddedSource(const QString &path) const;

    TSelectState FState = ssNoDrive;
    bool FStopped = false;
    // A refresh asked for during a run or while the picture picker is open waits for its end: both
    // hold on to items of the list.
    bool FRefreshPending = false;
    bool FPicking = false;
    // The info files the last run passed over ("path: reason"); the status line tells of them
    // after the run.
    QStringList FSkipped;
    // What the last run could not read of the archives it looked into.
    QStringList FArchiveNotes;
    QWidget *FLoadingPanel = nullptr;
    TMountWatcher *FMountWatcher = nullptr;
    // The folders and image files the user added, in the order added; they stay over refreshes.
    struct TAddedVolume
    {
        QString Path;
        std::unique_ptr<TVolumeSource> Source;
    };
    std::vector<TAddedVolume> FAdded;
};
