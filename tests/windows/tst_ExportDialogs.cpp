// The export window: from the explorer's File menu for the current volume or all of them, the
// file named through the file dialog, with progress and a Stop that leaves the file as it was.

#include "ByteTrees.h"
#include "CDExs.h"
#include "DBCustomTreeView.h"
#include "ExplorerDriver.h"
#include "ExportDialogs.h"
#include "FileDialogs.h"
#include "ProgressPanels.h"
#include "Screenshots.h"
#include "WindowsFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestExportDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TWindowsFixture>();
        QVERIFY(FOut.isValid());
        F->Write(u"one"_s, u"docs/Manual.txt"_s, "0123456789");
        F->Write(u"two"_s, u"pics/Cat.jpg"_s, "jpg");
        FOne = F->Catalogue(u"one"_s, u"BACKUP"_s, 0x11112222);
        QVERIFY(FOne > 0 && F->Catalogue(u"two"_s, u"PHOTOS"_s, 0x33334444) > 0);
        TOpenFileDialog::ClearShown();
    }
    void cleanup()
    {
        F.reset();
        TOpenFileDialog::ClearShown();
    }

    void ExportFromTheExplorer_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("current volume, csv") << false << 0 << QByteArray("Volume,Path,");
        QTest::newRow("all, html") << true << 2 << QByteArray("<!DOCTYPE html>");
    }
    void ExportFromTheExplorer()
    {
        QFETCH(bool, all);
        QFETCH(int, format);
        QFETCH(QByteArray, start);
        TCDEx explorer;
        explorer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&explorer));
        QTRY_VERIFY(explorer.FoldersTree->Items()->GetFirstNode());
        ClickNode(explorer.FoldersTree, NodeByPath(explorer.FoldersTree, {u"BACKUP"_s, u"docs"_s}));
        const QString path = FOut.filePath(u"export.out"_s);
        TOpenFileDialog::SetNextAnswer(path);
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<TExportDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            shown = true;
            // The current volume is the one of the folder chosen in the tree.
            QVERIFY(dialog->RbCurrent->isChecked() && dialog->RbCurrent->text().contains(u"Backup"_s));
            KeepScreenshot(dialog->grab(), u"export-dialog.png"_s);
            (all ? dialog->RbAll : dialog->RbCurrent)->setChecked(true);
            dialog->CbFormat->setCurrentIndex(format);
            dialog->BtnExport->click();
            if (dialog->isVisible())
                dialog->reject();
        });
        Item(&explorer, "Export1")->trigger();
        QVERIFY(shown);
        QCOMPARE(TOpenFileDialog::Shown().size(), 1);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY(written.startsWith(start));
        QVERIFY(written.contains("Manual.txt"));
        QCOMPARE(written.contains("Cat.jpg"), all);
    }

    void StopLeavesTheFileAsItWas()
    {
        TByteTree(F->VolumePath(u"wide"_s)).Wide(QByteArray(), 4, 200);
        QVERIFY(F->Catalogue(u"wide"_s, u"WIDE"_s, 0x55556666) > 0);
        const QString path = FOut.filePath(u"kept.json"_s);
        WriteFile(path, "as it was");
        TExportDialog dialog(0, QString());
        QVERIFY(dialog.RbAll->isChecked() && !dialog.RbCurrent->isEnabled());
        dialog.CbFormat->setCurrentIndex(1);
        F->Services.SetTickStep(600);
        bool progressShown = false;
        F->Services.OnTickCount = [&] {
            if (!dialog.Progress->isHidden()) {
                if (!progressShown)
                    KeepScreenshot(dialog.grab(), u"export-progress.png"_s);
                progressShown = true;
                QCOMPARE(dialog.BtnClose->text(), u"&Stop"_s);
                dialog.BtnClose->click();
            }
        };
        QVERIFY(!dialog.ExportTo(path));
        F->Services.OnTickCount = nullptr;
        QVERIFY(progressShown);
        QVERIFY(dialog.Progress->isHidden());
        QCOMPARE(dialog.StatusLabel->text(), u"Stopped: nothing was written."_s);
        QCOMPARE(dialog.BtnClose->text(), u"Close"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("as it was"));
    }

private:
    std::unique_ptr<TWindowsFixture> F;
    QTemporaryDir FOut;
    int FOne = 0;
};

QTEST_MAIN(TestExportDialogs)
#include "tst_ExportDialogs.moc"
