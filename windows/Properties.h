#pragma once

#include "DataSources.h"

#include <QDialog>

class QLabel;
class QToolButton;
class TDBMemo;
class TDBText;

// The properties of one catalogue entry (a volume, a folder or a file), with its description to
// edit. Made once at start-up and shown again for every request.
class TProp : public QDialog
{
    Q_OBJECT

public:
    explicit TProp(QWidget *parent = nullptr);
    ~TProp() override;

    // The one dialog made at start-up, while it exists.
    static TProp *Instance() { return FInstance; }

    // Positions the dialog on the entry with that Entries ID; show it modally afterwards.
    void ShowEntry(int id);

    void done(int result) override;

private:
    void LoadPicture();

    static inline TProp *FInstance = nullptr;
    // The dialog's own sources, switched off while no entry is found, so that nothing shows and
    // nothing can be typed for an entry that is not there.
    TDataSource FDescription;
    TDataSource FImages;
    TDataSource FCDS;

    QToolButton *Image = nullptr;
    TDBText *FileName = nullptr;
    TDBText *FileType = nullptr;
    TDBText *LocatedIn = nullptr;
    TDBText *FileSize = nullptr;
    QLabel *ModifiedLabel = nullptr;
    TDBText *DateModified = nullptr;
    QLabel *SNLabel = nullptr;
    TDBText *SerialNumber = nullptr;
    TDBMemo *FileDescription = nullptr;
};
