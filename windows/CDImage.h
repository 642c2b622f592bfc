#pragma once

#include "DataSources.h"

#include <QDialog>

class QAction;
class TDBListView;

// Picks the picture of a volume among the types marked as volume pictures.
class TCDImages : public QDialog
{
    Q_OBJECT

public:
    explicit TCDImages(QWidget *parent = nullptr);
    ~TCDImages() override;

    // Moves to the type with that ImageID; false when it is no volume picture.
    bool SetSelectedImageID(int id);
    int GetSelectedImageID() const;

    TDBListView *DBL = nullptr;

private:
    TDataSource FDataSource;
};
