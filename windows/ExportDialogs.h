#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TProgressPanel;

// Writes the current volume or the whole catalogue to a file as a table (CSV), data (JSON) or a
// page that a browser shows without the program (HTML), with progress and a Stop button.
class TExportDialog : public QDialog
{
    Q_OBJECT

public:
    // volumeId: the root ID of the explorer's current volume, 0 when there is none.
    TExportDialog(int volumeId, const QString &volumeName, QWidget *parent = nullptr);

    // Asks for the file name, then writes it.
    void BtnExportClick();
    // Writes the chosen volumes in the chosen format to fileName; false when stopped or failed
    // (the file is then left as it was).
    bool ExportTo(const QString &fileName);

    // A run is stopped first; closing is refused while it ends.
    void done(int result) override;

    QRadioButton *RbCurrent = nullptr;
    QRadioButton *RbAll = nullptr;
    QComboBox *CbFormat = nullptr;
    QPushButton *BtnExport = nullptr;
    QPushButton *BtnClose = nullptr;
    TProgressPanel *Progress = nullptr;
    QLabel *StatusLabel = nullptr;

private:
    int FVolumeId;
    bool FRunning = false;
    bool FStopRequested = false;
};
