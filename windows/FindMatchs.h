#pragma once

#include <QDialog>
#include <memory>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QToolButton;
class TAnimate;
class TDBListView;
class TFolderComparison;
class THourglass;

// Compares a folder of a live disc with the catalogue: which of its files and folders are
// catalogued already, and where.
class TFindMatch : public QDialog
{
    Q_OBJECT

public:
    explicit TFindMatch(QWidget *parent = nullptr);
    ~TFindMatch() override;

    void CompareClick();
    bool Comparing() const { return FComparing; }

    QLineEdit *Folder = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QCheckBox *ckbPath = nullptr;
    // Where the volume's root lies for the paths matched: empty for the mount point of the folder,
    // else a folder the volume was catalogued from, or where its image is mounted or unpacked.
    QLineEdit *VolumeRoot = nullptr;
    QToolButton *SpeedButton2 = nullptr;
    QCheckBox *ckbSize = nullptr;
    QCheckBox *ckbTime = nullptr;
    QPushButton *Compare = nullptr;
    TAnimate *Anim1 = nullptr;
    TDBListView *DBL1 = nullptr;
    TDBListView *DBL2 = nullptr;
    TFolderComparison &Comparison() const { return *FComparison; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void done(int result) override;

private:
    void SpeedButton1Click();
    void SpeedButton2Click();
    void RunComparison();
    bool CheckStop();
    void SetComparing(bool value);
    void UpdateComparingControls();
    void UpdateCompareButton();
    void ShowMatchesInLibrary();
    TDBListView *MakeList(const QString &name, const QStringList &columns, const QString &columnFields,
                          const QString &menuName, const QString &suffix);

    std::unique_ptr<TFolderComparison> FComparison;
    bool FComparing = false;
    std::unique_ptr<THourglass> FHourglass; // while comparing
    bool FStopRequested = false;
    bool FCloseRequested = false;
    quint32 FLastTick = 0;
};
