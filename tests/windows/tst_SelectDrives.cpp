// The drive dialog driven as a user drives it, over drives that are temporary folders. A clock
// that moves on each time it is read makes every file of a walk report progress, and gives the
// test a hand inside the walk, where a user would press Stop or watch the progress.

#include "ArchiveMakers.h"
#include "BusyAnimations.h"
#include "CDImage.h"
#include "ExplorerDriver.h"
#include "FileDialogs.h"
#include "FolderBrowsers.h"
#include "Queries.h"
#include "Screenshots.h"
#include "SelectDrives.h"
#include "WindowsFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestSelectDrives : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void WhatADriveOffers_data();
    void WhatADriveOffers();
    void CataloguesTheSelectedDrivesInTurn();
    void TellsOfSkippedInfoFiles();
    void RetrievesArchiveContent();
    void AlreadyCatalogued_data();
    void AlreadyCatalogued();
    void RunEndsEarly_data();
    void RunEndsEarly();
    void TimeRemaining_data();
    void TimeRemaining();
    void RenameAndPicture();
    void DiscsComingAndGoing();
    void AddsAVolumeOfItsOwn_data();
    void AddsAVolumeOfItsOwn();

private:
    void Open(std::initializer_list<const char *> selected = {});
    QString AddDrive(const QString &volume, const QString &label, quint32 serial, bool hasDisc = true);
    TListItem *Item(const QString &volume);
    void Start(std::function<void(int read)> onTick = {});
    void CheckIdle();

    std::unique_ptr<TWindowsFixture> F;
    // Readings of the clock while a run started by Start was watched, over the whole test.
    int FReads = 0;
    std::unique_ptr<TSelectDrive> D;
};

void TestSelectDrives::init()
{
    F = std::make_unique<TWindowsFixture>();
    F->Services.SetTick(1000);
    F->Services.SetTickStep(600);
    FReads = 0;
}

void TestSelectDrives::cleanup()
{
    D.reset();
    F.reset();
}

// Opens the dialog and selects the drives of those volumes, the first by a click, the others by
// Ctrl+click.
void TestSelectDrives::Open(std::initializer_list<const char *> selected)
{
    D = std::make_unique<TSelectDrive>();
    D->show();
    D->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(D.get()));
    Qt::KeyboardModifiers modifiers;
    for (const char *volume : selected) {
        TListItem *item = Item(QString::fromLatin1(volume));
        QTest::mouseClick(D->DriveList->Viewport(), Qt::LeftButton, modifiers, item->DisplayRect().center());
        modifiers = Qt::ControlModifier;
    }
}

QString TestSelectDrives::AddDrive(const QString &volume, const QString &label, quint32 serial, bool hasDisc)
{
    F->Folder(volume, QString());
    F->Services.AddDrive(F->VolumePath(volume), label, serial, 1000, hasDisc);
    return F->VolumePath(volume);
}

TListItem *TestSelectDrives::Item(const QString &volume)
{
    for (int i = 0; i < D->DriveList->Items()->Count(); ++i)
        if (D->DriveList->Items()->Item(i)->SubItems().value(0).startsWith(F->VolumePath(volume) + u':'))
            return D->DriveList->Items()->Item(i);
    return nullptr;
}

void TestSelectDrives::Start(std::function<void(int read)> onTick)
{
    if (onTick)
        F->Services.OnTickCount = [&] { onTick(++FReads); };
    QTest::mouseClick(D->BtnStart, Qt::LeftButton);
    F->Services.OnTickCount = nullptr;
}

// After a run, however it ended.
void TestSelectDrives::CheckIdle()
{
    QCOMPARE(D->State(), ssNoDrive);
    QCOMPARE(D->BtnStart->text(), u"&Start"_s);
    QVERIFY(D->DriveList->isEnabled() && !D->ProgressBar->isVisible() && !D->Animation->Active());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(!F->Global->OnProgress);
}

void TestSelectDrives::WhatADriveOffers_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("hasDisc");
    QTest::addColumn<QStringList>("columns");
    QTest::newRow("labelled disc") << u"Backup"_s << true
                                   << QStringList{u"BACKUP"_s, u":1234-abcd"_s, u"BACKUP"_s};
    QTest::newRow("no label") << QString() << true
                              << QStringList{u"no label"_s, u":1234-abcd"_s, u"no label"_s};
    QTest::newRow("no disc") << u"X"_s << false
                             << QStringList{u"[audio or no disk]"_s, u":         "_s, QString()};
}

void TestSelectDrives::WhatADriveOffers()
{
    QFETCH(QString, label);
    QFETCH(bool, hasDisc);
    QFETCH(QStringList, columns);
    AddDrive(u"cd"_s, label, 0x1234abcd, hasDisc);
    AddDrive(u"other"_s, u"OTHER"_s, 0x1);
    Open({"cd"});
    TListItem *item = Item(u"cd"_s);
    QCOMPARE(D->DriveList->Items()->Count(), 2);
    QCOMPARE(item->Caption(), columns[0]);
    QCOMPARE(item->SubItems(), (QStringList{F->VolumePath(u"cd"_s) + columns[1], columns[2]}));
    QCOMPARE(item->ImageIndex(), 2);
    QCOMPARE(D->State(), hasDisc ? ssReady : ssNoDrive);
    QCOMPARE(D->BtnStart->isEnabled(), hasDisc);
    QVERIFY(D->ProcessZips->isEnabled() && !D->ProcessZips->isChecked() && D->ChangePicture->isEnabled());
    QCOMPARE(D->Rename->isEnabled(), hasDisc);
    QTest::keyClick(D->DriveList->ActivePane(), Qt::Key_F2);
    QCOMPARE(D->DriveList->IsEditing(), hasDisc);
    D->DriveList->CancelEdit();

    // Another drive with a disc makes the selection worth starting.
    QTest::mouseClick(D->DriveList->Viewport(), Qt::LeftButton, Qt::ControlModifier,
                      Item(u"other"_s)->DisplayRect().center());
    QCOMPARE(D->DriveList->SelCount(), 2);
    QVERIFY(D->State() == ssReady && D->BtnStart->isEnabled());
    const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
    if (!folder.isEmpty() && hasDisc)
        D->grab().save(folder + u"/select-drive-idle.png"_s);
}

void TestSelectDrives::CataloguesTheSelectedDrivesInTurn()
{
    AddDrive(u"a"_s, u"First"_s, 0x11110001);
    F->Write(u"a"_s, u"Readme.txt"_s, "readme");
    F->Write(u"a"_s, u"docs/file_id.diz"_s, "The manuals");
    AddDrive(u"b"_s, QString(), 0x22220002);
    F->Write(u"b"_s, u"x/y/Deep.bin"_s, "deep");
    AddDrive(u"c"_s, u"NOT CHOSEN"_s, 0x33330003);
    Open({"a", "b"});
    const int idleHeight = D->height();

    QStringList walked; // the focused drive at each reading of the clock, without repeats
    QStringList statuses;
    bool loadingShown = false, closingRefused = false, listKept = false;
    Start([&](int read) {
        const QString focused = D->DriveList->ItemFocused()->Caption();
        if (walked.isEmpty() || walked.last() != focused)
            walked << focused;
        statuses << D->StatusLabel->text();
        if (read != 2)
            return;
        loadingShown = D->ProgressBar->isVisible() && D->StatusLabel->isVisible() && D->Animation->Active() &&
                       !D->DriveList->isEnabled() && D->BtnStart->text() == u"&Stop"_s &&
                       D->BtnStart->isEnabled() && D->height() > idleHeight && QApplication::overrideCursor();
        const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
        if (!folder.isEmpty())
            D->grab().save(folder + u"/select-drive-loading.png"_s);
        // Neither closing nor a disc arriving touches a run.
        closingRefused = !D->close() && D->isVisible();
        F->Services.AddDrive(F->VolumePath(u"c"_s), u"NEW DISC"_s, 0x44440004, 1000);
        F->Services.EmitMountChange();
        listKept = Item(u"c"_s)->Caption() == u"NOT CHOSEN"_s;
    });

    QVERIFY(F->Errors.isEmpty());
    QCOMPARE(walked, (QStringList{u"FIRST"_s, u"no label"_s}));
    QVERIFY(loadingShown && closingRefused && listKept);
    QVERIFY(statuses.contains(u"Processing file descriptions"_s));
    QCOMPARE(
        F->Scalar(
            u"SELECT count(*) FROM Entries e JOIN CDs c ON c.ID = e.ID WHERE e.CD = e.ID AND e.ImageID = 2 "
            u"AND "
            "(e.Name = 'FIRST' AND c.SerialNum = '1111-0001' AND e.Size = 17 OR e.Name = 'no label' AND "
            "c.SerialNum = '2222-0002' AND e.Size = 4)"_s),
        2);
    QVERIFY(F->Scalar(u"SELECT ID FROM Entries WHERE Name = 'FIRST'"_s) <
            F->Scalar(u"SELECT ID FROM Entries WHERE Name = 'no label'"_s));
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'docs' AND Description = 'The manuals'"_s),
             1);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'Deep.bin' AND FullPath = 'x\\y\\'"_s), 1);

    // Done drives are deselected; the disc that arrived meanwhile shows now.
    QCOMPARE(D->DriveList->SelCount(), 0);
    QCOMPARE(Item(u"c"_s)->Caption(), u"NEW DISC"_s);
    CheckIdle();
    QCOMPARE(D->height(), idleHeight);

    // Closing brings the views up to date.
    QVERIFY(F->Global->DataChanged && D->close() && !F->Global->DataChanged);
    F->Global->Folders.First();
    QCOMPARE(F->Global->Folders.FieldByName(u"Name"_s)->AsString(), u"FIRST"_s);
}

namespace {

// On its box: the check box is as wide as the dialog, its text is not.
void ClickCheckBox(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

} // namespace

void TestSelectDrives::RetrievesArchiveContent()
{
    AddDrive(u"a"_s, u"First"_s, 0x11110001);
    QVERIFY(MakeArchive(F->VolumePath(u"a"_s) + u"/pack.zip"_s, {{u"in/side.txt"_s, "inside"}}));
    QList<TArchiveItem> many;
    for (int i = 0; i < 5; ++i)
        many.append({u"e%1"_s.arg(i), {}});
    QVERIFY(MakeArchive(F->VolumePath(u"a"_s) + u"/many.zip"_s, many));
    F->Global->ArchiveLimits.MaxEntries = 3;
    Open({"a"});
    ClickCheckBox(D->ProcessZips);
    QVERIFY(D->ProcessZips->isChecked());
    Start();

    CheckIdle();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'side.txt' AND InArchive <> 0"_s), 1);
    QVERIFY(D->StatusLabel->isVisible());
    QVERIFY2(D->StatusLabel->text().startsWith(u"many.zip holds more than 3 entries"_s),
             qPrintable(D->StatusLabel->text()));
    if (const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS"); !folder.isEmpty())
        D->grab().save(folder + u"/select-drive-archive-note.png"_s);

    // The choice stays for the next time the dialog opens; unchecked, archives are not read.
    D.reset();
    Open({"a"});
    QVERIFY(D->ProcessZips->isChecked());
    ClickCheckBox(D->ProcessZips);
    QVERIFY(!D->ProcessZips->isChecked());
    D->ForceOverwrite->setChecked(true);
    Start();
    CheckIdle();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE InArchive <> 0"_s), 0);
}

void TestSelectDrives::TellsOfSkippedInfoFiles()
{
    const QString root = AddDrive(u"a"_s, u"First"_s, 0x11110001);
    F->Write(u"a"_s, u"docs/file_id.diz"_s, "The manuals");
    F->Folder(u"a"_s, u"pipe"_s);
    const QString fifo = QDir(root).canonicalPath() + u"/pipe/file_id.diz"_s;
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    Open({"a"});
    Start();

    CheckIdle();
    QVERIFY(F->Errors.isEmpty());
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'docs' AND Description = 'The manuals'"_s),
             1);
    // The status line stays after the run to tell of the file, until the next run.
    QVERIFY(D->StatusLabel->isVisible());
    const QString note = u"%1: %2"_s.arg(fifo, QString::fromLocal8Bit(std::strerror(EINVAL)));
    QCOMPARE(D->StatusLabel->toolTip(), note);
    QVERIFY2(D->StatusLabel->text().startsWith(u"Skipped info file "_s), qPrintable(D->StatusLabel->text()));
    const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
    if (!folder.isEmpty())
        D->grab().save(folder + u"/select-drive-skipped.png"_s);

    QVERIFY(QFile::remove(fifo));
    Open({"a"});
    D->ForceOverwrite->setChecked(true);
    Start();
    QVERIFY(!D->StatusLabel->isVisible());
}

void TestSelectDrives::AlreadyCatalogued_data()
{
    QTest::addColumn<bool>("force");
    QTest::addColumn<int>("answer");
    QTest::newRow("question answered Cancel") << false << int(QMessageBox::Cancel);
    QTest::newRow("question answered OK") << false << int(QMessageBox::Ok);
    QTest::newRow("forced: no question") << true << int(QMessageBox::Ok);
}

void TestSelectDrives::AlreadyCatalogued()
{
    QFETCH(bool, force);
    QFETCH(int, answer);
    const bool replaced = answer == QMessageBox::Ok;
    const int old = F->Catalogue(u"a"_s, u"FIRST"_s, 0x11110001);
    AddDrive(u"b"_s, u"SECOND"_s, 0x22220002);
    Open({"a", "b"});
    if (force)
        QTest::mouseClick(D->ForceOverwrite, Qt::LeftButton, {}, QPoint(8, D->ForceOverwrite->height() / 2));
    QCOMPARE(D->ForceOverwrite->isChecked(), force);
    TMessageBox::ClearShown();
    if (!force)
        TMessageBox::SetNextAnswer(QMessageBox::StandardButton(answer));
    Start();

    QCOMPARE(TMessageBox::Shown().size(), force ? 0 : 1);
    if (!force)
        QVERIFY(TMessageBox::Shown().first().Caption == u"Warning"_s &&
                TMessageBox::Shown().first().Text.startsWith(u"This disk is already in the library."_s));
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE ID = %1"_s.arg(old)), replaced ? 0 : 1);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'FIRST'"_s), 1);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'SECOND'"_s), replaced ? 1 : 0);
    QCOMPARE(Item(u"b"_s)->Selected(), !replaced);
    CheckIdle();
}

void TestSelectDrives::RunEndsEarly_data()
{
    QTest::addColumn<bool>("stop");
    QTest::newRow("Stop pressed") << true;
    QTest::newRow("an error") << false;
}

// The clock is read as a walk starts and for each file: the run ends after the second file,
// what was walked stays, and the next drive is left alone.
void TestSelectDrives::RunEndsEarly()
{
    QFETCH(bool, stop);
    AddDrive(u"a"_s, u"FIRST"_s, 0x11110001);
    for (int i = 0; i < 6; ++i)
        F->Write(u"a"_s, u"File%1.dat"_s.arg(i), "12345");
    AddDrive(u"b"_s, u"SECOND"_s, 0x22220002);
    Open({"a", "b"});
    Start([&](int read) {
        if (read == 3 && stop)
            QTest::mouseClick(D->BtnStart, Qt::LeftButton);
        else if (read == 3)
            throw Exception(u"The drive stopped answering"_s);
    });
    QCOMPARE(D->Stopped(), stop);
    QCOMPARE(F->Errors, stop ? QStringList() : QStringList{u"The drive stopped answering"_s});
    CheckIdle();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Parent IS NOT NULL"_s), 2);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name = 'SECOND'"_s), 0);
    QVERIFY(Item(u"b"_s)->Selected());
    QVERIFY(D->close());
}

void TestSelectDrives::TimeRemaining_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("text");
    // Half of the disc done after `step` ms leaves as long again, in units of 5 seconds.
    QTest::newRow("within the first 20 seconds") << 19000 << QString();
    QTest::newRow("120 seconds") << 120000 << u"Time remaining: 120 sec"_s;
    QTest::newRow("125 seconds") << 125000 << u"Time remaining: 2 min"_s;
}

void TestSelectDrives::TimeRemaining()
{
    QFETCH(int, step);
    AddDrive(u"a"_s, u"FIRST"_s, 0x11110001);
    F->Services.AddDrive(F->VolumePath(u"a"_s), u"FIRST"_s, 0x11110001, 100);
    F->Write(u"a"_s, u"One.dat"_s, QByteArray(50, 'x'));
    F->Write(u"a"_s, u"Two.dat"_s, QByteArray(50, 'x'));
    Open({"a"});
    F->Services.SetTickStep(quint32(step));
    // The third reading is the second file's, when the first file's report shows.
    QString shown;
    int percent = -1;
    Start([&](int read) {
        if (read != 3)
            return;
        std::tie(shown, percent) = std::pair(D->StatusLabel->text(), D->ProgressBar->value());
        if (const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
            !folder.isEmpty() && step == 125000)
            D->grab().save(folder + u"/select-drive-progress.png"_s);
    });
    QTEST(shown, "text");
    QCOMPARE(percent, 50);
}

void TestSelectDrives::RenameAndPicture()
{
    AddDrive(u"a"_s, u"First"_s, 0x11110001);
    Open({"a"});
    TListItem *item = Item(u"a"_s);
    D->Rename->trigger();
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(D->DriveList->IsEditing() && editor);
    editor->selectAll();
    QTest::keyClicks(editor, u"Holiday photos"_s);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!D->DriveList->IsEditing());
    QCOMPARE(item->Caption(), u"Holiday photos"_s);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries"_s), 0);

    const int dvd =
        int(F->Scalar(u"SELECT ImageID FROM Images WHERE Description = 'DVD disc' AND CD <> 0"_s));
    // The picker opens on the drive's picture; OK takes the one clicked, Cancel keeps the drive's.
    for (const bool ok : {true, false}) {
        int shownWith = -1;
        QTimer::singleShot(0, this, [&] {
            auto *picker = qobject_cast<TCDImages *>(QApplication::activeModalWidget());
            if (!picker)
                return;
            [&] {
                shownWith = picker->GetSelectedImageID();
                QTRY_VERIFY(ItemByCaption(picker->DBL, u"CD-ROM disc"_s));
                ClickItem(picker->DBL, ItemByCaption(picker->DBL, ok ? u"DVD disc"_s : u"CD-ROM disc"_s));
                QTest::mouseClick(picker->findChild<QPushButton *>(ok ? u"btnOK"_s : u"btnCancel"_s),
                                  Qt::LeftButton);
            }();
            // A failed check must not leave the test waiting on the picker.
            if (picker->isVisible())
                picker->reject();
        });
        D->ChangePicture->trigger();
        QCOMPARE(shownWith, ok ? 2 : dvd);
        QCOMPARE(item->ImageIndex(), dvd);
    }

    Start();
    QCOMPARE(
        F->Scalar(u"SELECT count(*) FROM Entries e JOIN CDs c ON c.ID = e.ID WHERE e.Name = 'Holiday photos' "
                  "AND e.ImageID = %1 AND c.VolumeLabel = 'First'"_s.arg(dvd)),
        1);
}

void TestSelectDrives::DiscsComingAndGoing()
{
    AddDrive(u"a"_s, u"FIRST"_s, 0x11110001);
    AddDrive(u"b"_s, u"SECOND"_s, 0x22220002, false);
    Open({"a"});
    QVERIFY(!D->NoDiscLabel->isVisible());
    Item(u"a"_s)->SetCaption(u"Mine"_s);

    // A disc arrives: it is listed; the drive the user named keeps its name and selection.
    F->Services.SetHasDisc(F->VolumePath(u"b"_s), true);
    F->Services.EmitMountChange();
    QCOMPARE(Item(u"b"_s)->SubItems(), (QStringList{F->VolumePath(u"b"_s) + u":2222-0002"_s, u"SECOND"_s}));
    QVERIFY(Item(u"a"_s)->Caption() == u"Mine"_s && Item(u"a"_s)->Selected() && D->State() == ssReady);

    // Another disc in the same drive is another volume: it starts afresh.
    F->Services.AddDrive(F->VolumePath(u"a"_s), u"OTHER"_s, 0x55550005, 1000);
    D->Refresh->trigger();
    QVERIFY(Item(u"a"_s)->Caption() == u"OTHER"_s && !Item(u"a"_s)->Selected() && D->State() == ssNoDrive);

    // F5 refreshes too; a drive that goes is no longer listed.
    F->Services.RemoveDrive(F->VolumePath(u"b"_s));
    QTest::keyClick(D->DriveList->ActivePane(), Qt::Key_F5);
    QVERIFY(D->DriveList->Items()->Count() == 1 && !Item(u"b"_s));

    // With no disc left the dialog says so and what to do instead.
    F->Services.RemoveDrive(F->VolumePath(u"a"_s));
    D->Refresh->trigger();
    QVERIFY(D->NoDiscLabel->isVisible() && D->NoDiscLabel->text().contains(u"add a folder"_s));
}

void TestSelectDrives::AddsAVolumeOfItsOwn_data()
{
    QTest::addColumn<bool>("image");
    QTest::newRow("folder") << false;
    QTest::newRow("image") << true;
}

// A folder or an image file is listed after the drives, selected, with its own label and serial,
// stays over a refresh, and is catalogued like a drive; adding it again selects its line. One that
// cannot be read is refused with the reason.
void TestSelectDrives::AddsAVolumeOfItsOwn()
{
    QFETCH(bool, image);
    AddDrive(u"cd"_s, u"DISC"_s, 0x1);
    F->Write(u"Photos 2024"_s, u"trip/a.jpg"_s, "jpeg");
    QString path = F->VolumePath(u"Photos 2024"_s);
    if (image) {
        const QString folder = path;
        path = F->VolumePath(u"photos.iso"_s);
        if (QProcess::execute(u"xorriso"_s, {u"-as"_s, u"mkisofs"_s, u"-quiet"_s, u"-R"_s, u"-V"_s,
                                             u"Photos 2024"_s, u"-o"_s, path, folder}) != 0)
            QSKIP("xorriso could not make an image");
    }
    const auto add = [&](const QString &answer) {
        if (image)
            TOpenFileDialog::SetNextAnswer(answer);
        else
            TFolderBrowser::SetNextAnswer(answer);
        (image ? D->AddImage : D->AddFolder)->trigger();
    };
    Open();
    if (image) {
        TOpenFileDialog::SetNextAnswer(path);
        QTest::mouseClick(D->BtnAddImage, Qt::LeftButton);
    } else {
        TFolderBrowser::SetNextAnswer(path);
        QTest::mouseClick(D->BtnAddFolder, Qt::LeftButton);
    }
    QCOMPARE(D->DriveList->Items()->Count(), 2);
    TListItem *item = D->DriveList->Items()->Item(1);
    QCOMPARE(item->Caption(), u"PHOTOS 2024"_s);
    QVERIFY2(item->SubItems().value(0).startsWith(path + u':'), qPrintable(item->SubItems().value(0)));
    QVERIFY(item->Selected() && D->State() == ssReady);
    KeepScreenshot(D->grab(), u"select-drive-added-%1.png"_s.arg(image ? u"image"_s : u"folder"_s));

    D->Refresh->trigger();
    QCOMPARE(D->DriveList->Items()->Count(), 2);
    add(path);
    QCOMPARE(D->DriveList->Items()->Count(), 2);

    Start();
    CheckIdle();
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM Entries WHERE Name IN ('trip', 'a.jpg')"_s), 2);
    QCOMPARE(F->Scalar(u"SELECT count(*) FROM CDs WHERE VolumeLabel = 'Photos 2024'"_s), 1);

    const QString gone = F->VolumePath(u"gone"_s);
    add(gone);
    QCOMPARE(D->DriveList->Items()->Count(), 2);
    QCOMPARE(F->Errors.size(), 1);
    QVERIFY2(F->Errors[0].startsWith(image ? gone + u" is not a disc image VOR-NEX can read: "_s
                                           : gone + u" cannot be read as a volume."_s),
             qPrintable(F->Errors[0]));
}

QTEST_MAIN(TestSelectDrives)
#include "tst_SelectDrives.moc"
