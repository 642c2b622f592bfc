#include "ExportDialogs.h"

#include "ErrorHandlers.h"
#include "Exports.h"
#include "FileDialogs.h"
#include "MessageBoxes.h"
#include "ProgressPanels.h"
#include "dmGlobal.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QVBoxLayout>

TExportDialog::TExportDialog(int volumeId, const QString &volumeName, QWidget *parent)
    : QDialog(parent), FVolumeId(volumeId)
{
    setObjectName(QStringLiteral("Export"));
    setWindowTitle(tr("Export"));

    RbCurrent = new QRadioButton(this);
    RbCurrent->setObjectName(QStringLiteral("RbCurrent"));
    RbAll = new QRadioButton(tr("&All volumes"), this);
    RbAll->setObjectName(QStringLiteral("RbAll"));
    if (volumeId > 0) {
        RbCurrent->setText(tr("&Current volume: %1").arg(volumeName));
        RbCurrent->setChecked(true);
    } else {
        RbCurrent->setText(tr("&Current volume"));
        RbCurrent->setEnabled(false);
        RbAll->setChecked(true);
    }
    CbFormat = new QComboBox(this);
    CbFormat->setObjectName(QStringLiteral("CbFormat"));
    CbFormat->addItem(tr("CSV table, for spreadsheets"), int(TExportFormat::Csv));
    CbFormat->addItem(tr("JSON data, one tree per volume"), int(TExportFormat::Json));
    CbFormat->addItem(tr("HTML page with a tree and a search"), int(TExportFormat::Html));
    auto *formatLabel = new QLabel(tr("&Format:"), this);
    formatLabel->setBuddy(CbFormat);

    BtnExport = new QPushButton(tr("&Export..."), this);
    BtnExport->setObjectName(QStringLiteral("BtnExport"));
    BtnExport->setDefault(true);
    connect(BtnExport, &QPushButton::clicked, this, [this] { Guarded([this] { BtnExportClick(); }); });
    BtnClose = new QPushButton(tr("Close"), this);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    connect(BtnClose, &QPushButton::clicked, this, [this] {
        if (FRunning)
            FStopRequested = true;
        else
            reject();
    });

    Progress = new TProgressPanel(TCommonAVI::aviCopyFiles, false, this);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    StatusLabel->setWordWrap(true);

    auto *grid = new QGridLayout;
    grid->addWidget(RbCurrent, 0, 0, 1, 2);
    grid->addWidget(RbAll, 1, 0, 1, 2);
    grid->addWidget(formatLabel, 2, 0);
    grid->addWidget(CbFormat, 2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnExport);
    buttons->addWidget(BtnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(Progress);
    layout->addWidget(StatusLabel);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setMinimumWidth(380);
}

void TExportDialog::BtnExportClick()
{
    const auto format = TExportFormat(CbFormat->currentData().toInt());
    const QString suffix = ExportFormatSuffix(format);
    const QString filter = CbFormat->currentText() + QStringLiteral(" (*.") + suffix + u')';
    const std::optional<QString> file = TOpenFileDialog::ExecuteSave(this, tr("Export to"), filter, suffix,
                                                                     QStringLiteral("catalogue.") + suffix);
    if (!file)
        return;
    if (ExportTo(*file))
        accept();
}

bool TExportDialog::ExportTo(const QString &fileName)
{
    TGlobal &global = *TGlobal::Instance();
    const auto format = TExportFormat(CbFormat->currentData().toInt());
    // Written under another name and put in place when whole: a stopped or failed export leaves
    // the file that was there.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        TMessageBox::Show(
            this, tr("%1 cannot be written: %2").arg(QDir::toNativeSeparators(fileName), file.errorString()),
            tr("Error"), QMessageBox::Ok, QMessageBox::Critical);
        return false;
    }
    FRunning = true;
    FStopRequested = false;
    StatusLabel->clear();
    BtnExport->setEnabled(false);
    RbCurrent->setEnabled(false);
    RbAll->setEnabled(false);
    CbFormat->setEnabled(false);
    BtnClose->setText(tr("&Stop"));
    const bool hadCurrent = FVolumeId > 0;
    const auto end = qScopeGuard([&] {
        global.OnProgress = nullptr;
        FRunning = false;
        Progress->Finish();
        BtnExport->setEnabled(true);
        RbCurrent->setEnabled(hadCurrent);
        RbAll->setEnabled(true);
        CbFormat->setEnabled(true);
        BtnClose->setText(tr("Close"));
    });
    global.OnProgress = [this](TGlobal *, int percent, int secondsLeft) {
        Progress->Progress(percent, secondsLeft);
        return FStopRequested;
    };
    bool done = false;
    try {
        done = ExportCatalogue(global, file, format,
                               RbCurrent->isChecked() ? std::optional<int>(FVolumeId) : std::nullopt);
    } catch (const EExportError &error) {
        TMessageBox::Show(this, error.Message(), tr("Error"), QMessageBox::Ok, QMessageBox::Critical);
        return false;
    }
    if (!done) {
        StatusLabel->setText(tr("Stopped: nothing was written."));
        return false;
    }
    if (!file.commit()) {
        TMessageBox::Show(
            this, tr("%1 cannot be written: %2").arg(QDir::toNativeSeparators(fileName), file.errorString()),
            tr("Error"), QMessageBox::Ok, QMessageBox::Critical);
        return false;
    }
    return true;
}

void TExportDialog::done(int result)
{
    if (FRunning) {
        FStopRequested = true;
        return;
    }
    QDialog::done(result);
}
