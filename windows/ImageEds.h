#pragma once

#include "DataSources.h"

#include <QDialog>

class QAction;
class QLabel;
class QMenu;
class QToolButton;
class TDBCheckBox;
class TDBEdit;
class TDBGrid;
class TDBListView;
class TDBNavigator;

// The setup of the file types: each type's description, its small and large pictures, whether
// it is a picture for volumes, and the extensions that map to it. The three built-in types
// (open folder, folder, volume) are not shown.
class TImagEd : public QDialog
{
    Q_OBJECT

public:
    explicit TImagEd(QWidget *parent = nullptr);
    ~TImagEd() override;

    // Reads a picture file chosen by the user into the current type's picture under button.
    void LoadPictureFile(QToolButton *button);

    // Keeps what is being edited and brings every view's pictures up to date.
    void done(int result) override;

    TDBListView *DBL = nullptr;
    TDBEdit *DBEdit1 = nullptr;
    TDBCheckBox *DBCheckBox1 = nullptr;
    QToolButton *BnLoadSmall = nullptr;
    QToolButton *BnLoadLarge = nullptr;
    TDBNavigator *DBN1 = nullptr;
    QLabel *Label3 = nullptr;
    TDBGrid *DBGrid2 = nullptr;
    TDBNavigator *DBNavigator1 = nullptr;
    QMenu *PM = nullptr;
    QAction *IsCDimage1 = nullptr;

private:
    void CreateMenu();
    void ShowPictures();
    void PMPopup();
    void IsCDimage1Click();

    TDataSource dsImages;
    TDataSource dsExtention;
};
