#include "UpdateReports.h"

#include "CataloguedSources.h"
#include "DiscImageSources.h"
#include "FileDialogs.h"
#include "FolderBrowsers.h"
#include "MessageBoxes.h"
#include "MountedSources.h"
#include "ProgressPanels.h"
#include "SelectDrives.h"
#include "dmGlobal.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>
#include <memory>

namespace {

// The symbol that starts a change's line, and the word the list shows for it.
QString Symbol(TChangeKind kind)
{
    switch (kind) {
    case TChangeKind::Added:
        return QStringLiteral("+");
    case TChangeKind::Removed:
        return QStringLiteral("-");
    case TChangeKind::Changed:
        break;
    }
    return QStringLiteral("~");
}

QString KindText(TChangeKind kind)
{
    switch (kind) {
    case TChangeKind::Added:
        return TUpdateReport::tr("Added");
    case TChangeKind::Removed:
        return TUpdateReport::tr("Removed");
    case TChangeKind::Changed:
        break;
    }
    return TUpdateReport::tr("Changed");
}

constexpr int SymbolRole = Qt::UserRole + 1;

} // namespace

TUpdateReport::TUpdateReport(const QString &volumeName, const TVolumeChanges &changes, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("UpdateReport"));
    setWindowTitle(tr("Update of %1").arg(volumeName));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(560, 400);

    Summary = new QLabel(this);
    Summary->setObjectName(QStringLiteral("Summary"));
    QString summary = tr("%1 added, %2 removed, %3 changed, %4 unchanged")
                          .arg(changes.Added)
                          .arg(changes.Removed)
                          .arg(changes.Changed)
                          .arg(changes.Unchanged);
    if (!changes.Skipped.isEmpty())
        summary += QStringLiteral("\n") +
                   tr("%n info file(s) could not be read.", nullptr, int(changes.Skipped.size()));
    Summary->setText(summary);

    FModel = new QStandardItemModel(0, 2, this);
    FModel->setHorizontalHeaderLabels({tr("Change"), tr("Path")});
    FModel->setSortRole(Qt::DisplayRole);
    for (const TVolumeChange &change : changes.Changes) {
        auto *kind = new QStandardItem(KindText(change.Kind));
        kind->setData(Symbol(change.Kind), SymbolRole);
        kind->setEditable(false);
        auto *path = new QStandardItem(change.Path);
        path->setEditable(false);
        FModel->appendRow({kind, path});
    }

    ChangesList = new QTreeView(this);
    ChangesList->setObjectName(QStringLiteral("ChangesList"));
    ChangesList->setModel(FModel);
    ChangesList->setRootIsDecorated(false);
    ChangesList->setUniformRowHeights(true);
    ChangesList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Until the user sorts, the changes stay in the order of their paths.
    ChangesList->header()->setSortIndicator(-1, Qt::AscendingOrder);
    ChangesList->setSortingEnabled(true);
    ChangesList->header()->setStretchLastSection(true);
    ChangesList->setColumnWidth(0, 90);

    BtnCopy = new QPushButton(tr("&Copy"), this);
    BtnCopy->setObjectName(QStringLiteral("BtnCopy"));
    BtnCopy->setEnabled(!changes.Changes.isEmpty());
    connect(BtnCopy, &QPushButton::clicked, this, &TUpdateReport::BtnCopyClick);
    BtnClose = new QPushButton(tr("Close"), this);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    BtnClose->setDefault(true);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnCopy);
    buttons->addWidget(BtnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Summary);
    layout->addWidget(ChangesList, 1);
    layout->addLayout(buttons);
}

QString TUpdateReport::Lines() const
{
    QString lines;
    for (int row = 0; row < FModel->rowCount(); ++row)
        lines +=
            FModel->item(row, 0)->data(SymbolRole).toString() + u' ' + FModel->item(row, 1)->text() + u'\n';
    return lines;
}

void TUpdateReport::BtnCopyClick()
{
    QGuiApplication::clipboard()->setText(Lines());
}

namespace {

// The disk of the volume: in a drive, found by its serial number, or at the folder or disc image
// it was catalogued from while that holds it still, or where the user says.
std::unique_ptr<TVolumeSource> FindSource(QWidget *parent, const TCataloguedVolume &volume)
{
    TFoundSource found = FindCataloguedSource(volume);
    if (found.Source)
        return std::move(found.Source);
    const QString &volumeName = volume.Name;
    QString question = TUpdateReport::tr("The disk of \"%1\" (serial number %2) is in no drive.")
                           .arg(volumeName, volume.Serial);
    if (!found.Reason.isEmpty())
        question += QStringLiteral("\r\n") + found.Reason;
    question += QStringLiteral("\r\n") +
                TUpdateReport::tr("Select YES to choose the folder it was catalogued from") +
                QStringLiteral("\r\n") + TUpdateReport::tr("Select NO to choose its disc image file");
    // The choice starts beside where the volume was last read from.
    const QString near = volume.Source.isEmpty() ? QString() : QFileInfo(volume.Source).absolutePath();
    switch (TMessageBox::Show(parent, question, TUpdateReport::tr("Information"),
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Question,
                              QMessageBox::Cancel)) {
    case QMessageBox::Yes: {
        const std::optional<QString> folder = TFolderBrowser::Browse(
            parent, TUpdateReport::tr("Select the folder of %1:").arg(volumeName), near);
        if (!folder)
            return nullptr;
        const QString path = QFileInfo(*folder).canonicalFilePath();
        if (path.isEmpty())
            throw Exception(
                TUpdateReport::tr("%1 cannot be read as a volume.").arg(QDir::toNativeSeparators(*folder)));
        return std::make_unique<TMountedSource>(path, TMountedSource::TKind::Folder);
    }
    case QMessageBox::No: {
        const std::optional<QString> file =
            TOpenFileDialog::Execute(parent, TUpdateReport::tr("Select the disc image of %1").arg(volumeName),
                                     TUpdateReport::tr("Disc images (*.iso *.udf *.img);;All files (*)"));
        if (!file)
            return nullptr;
        return TDiscImageSource::Open(QFileInfo(*file).absoluteFilePath());
    }
    default:
        return nullptr;
    }
}

} // namespace

TUpdateReport *UpdateVolume(QWidget *parent, int cd)
{
    TGlobal &global = *TGlobal::Instance();
    const std::optional<TCataloguedVolume> volume = CataloguedVolume(global.Database, cd);
    if (!volume)
        return nullptr;
    const QString &volumeName = volume->Name;
    const std::unique_ptr<TVolumeSource> source = FindSource(parent, *volume);
    if (!source)
        return nullptr;

    QProgressDialog progress(TUpdateReport::tr("Updating %1...").arg(volumeName), TUpdateReport::tr("&Stop"),
                             0, 100, parent);
    progress.setObjectName(QStringLiteral("UpdateProgress"));
    progress.setWindowTitle(TUpdateReport::tr("Update entry"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    global.OnProgress = [&progress](TGlobal *, int percent, int secondsLeft) {
        const QString left = TProgressPanel::TimeLeftText(secondsLeft);
        progress.setLabelText(left.isEmpty() ? TUpdateReport::tr("Updating...") : left);
        progress.setValue(percent);
        QCoreApplication::processEvents();
        return progress.wasCanceled();
    };
    struct TClearProgress
    {
        TGlobal &Global;
        ~TClearProgress() { Global.OnProgress = nullptr; }
    } clearProgress{global};

    TVolumeChanges changes;
    bool done = false;
    global.ProcessArchives = TSelectDrive::ArchivesChosen();
    try {
        done = global.UpdateDisk(*source, cd, QString(), changes);
    } catch (const EUpdateError &error) {
        progress.close();
        TMessageBox::Show(
            parent, error.Message() + QStringLiteral("\r\n") + TUpdateReport::tr("Nothing was changed."),
            TUpdateReport::tr("Error"), QMessageBox::Ok, QMessageBox::Critical);
        return nullptr;
    }
    progress.close();
    if (!done)
        return nullptr;
    auto *report = new TUpdateReport(volumeName, changes, parent);
    report->show();
    return report;
}
