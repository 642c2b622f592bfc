#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QStandardItemModel;
class QTreeView;
struct TVolumeChanges;

// What an update of a catalogued volume changed: the counts, and each added, removed or changed
// entry in a list the user can sort by either column and copy as text, one "+ path", "- path"
// or "~ path" a line.
class TUpdateReport : public QDialog
{
    Q_OBJECT

public:
    TUpdateReport(const QString &volumeName, const TVolumeChanges &changes, QWidget *parent = nullptr);

    // The lines in the order the list shows them; the Copy button puts them on the clipboard.
    QString Lines() const;
    void BtnCopyClick();

    QLabel *Summary = nullptr;
    QTreeView *ChangesList = nullptr;
    QPushButton *BtnCopy = nullptr;
    QPushButton *BtnClose = nullptr;

private:
    QStandardItemModel *FModel = nullptr;
};

// The explorer's "Update entry" for the volume with root ID cd: finds the disk in a drive by its
// serial number, or at the folder or disc image it was catalogued from while that still holds a
// volume of its serial number, or else asks the user for the folder or image; updates the
// volume with progress and a Stop button, and shows what changed in a report window of its own
// (returned; it deletes itself when closed). Nullptr when nothing was updated: the user gave no
// volume, stopped, or the volume given is not that one (the user was told).
TUpdateReport *UpdateVolume(QWidget *parent, int cd);
