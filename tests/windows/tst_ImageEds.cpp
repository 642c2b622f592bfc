// The images setup driven as a user drives it, over a catalogue with one scanned volume, so that
// some types are in use; pictures are files in a temporary folder, chosen through the answerable
// open dialog.

#include "DBControls.h"
#include "DBGrids.h"
#include "DBNavigators.h"
#include "ExplorerDriver.h"
#include "FileDialogs.h"
#include "ImageEds.h"
#include "Queries.h"
#include "WindowsFixture.h"

#include <QApplication>
#include <QMenu>
#include <QToolButton>

using namespace Qt::StringLiterals;

class TestImageEds : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void TypesFromThreeOnAreListed();
    void NewTypeWithAnExtension();
    void Deleting_data();
    void Deleting();
    void LoadingAPicture_data();
    void LoadingAPicture();
    void IsCDImageFromTheMenu();
    void ChangedPictureShowsInTheExplorer();

private:
    void Open(const QString &type = QString());
    QString Picture(const QString &name, int size);
    TField *Value(const QString &sql);
    static QColor Middle(const QToolButton *button);

    std::unique_ptr<TWindowsFixture> F;
    std::unique_ptr<TImagEd> W;
    TQuery FQuery;
    QTemporaryDir FFiles;
};

void TestImageEds::init()
{
    F = std::make_unique<TWindowsFixture>();
    TOpenFileDialog::ClearShown();
    TOpenFileDialog::SetAnswerAutomatically(true);
    F->Write(u"one"_s, u"Readme.txt"_s, "readme");
    QVERIFY(F->Catalogue(u"one"_s, u"BACKUP"_s, 0x11112222, u"Backup"_s) > 0);
    FQuery.SetDatabase(&F->Global->Database);
}

void TestImageEds::cleanup()
{
    W.reset();
    FQuery.Close();
    TOpenFileDialog::SetAnswerAutomatically(false);
    TOpenFileDialog::ClearShown();
    F.reset();
}

// Opens the window and clicks the type in the list.
void TestImageEds::Open(const QString &type)
{
    W = std::make_unique<TImagEd>();
    W->show();
    W->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(W.get()));
    QTRY_VERIFY(W->DBL->Items()->Count() > 0);
    if (type.isEmpty())
        return;
    QVERIFY(ItemByCaption(W->DBL, type));
    ClickItem(W->DBL, ItemByCaption(W->DBL, type));
    QCOMPARE(W->DBEdit1->text(), type);
}

// A red picture whose bottom-left pixel, white, is left out where it is shown.
QString TestImageEds::Picture(const QString &name, int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.setPixelColor(0, size - 1, Qt::white);
    image.save(FFiles.filePath(name));
    return FFiles.filePath(name);
}

TField *TestImageEds::Value(const QString &sql)
{
    FQuery.Close();
    FQuery.SetSQL({sql});
    FQuery.Open();
    return FQuery.Fields(0);
}

QColor TestImageEds::Middle(const QToolButton *button)
{
    const QImage image = button->icon().pixmap(button->iconSize()).toImage();
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

void TestImageEds::TypesFromThreeOnAreListed()
{
    Open();
    QCOMPARE(W->DBL->Items()->Count(),
             Value(u"SELECT count(*) FROM Images WHERE ImageID > 2"_s)->AsInteger());
    for (const QString &builtIn : {u"Open folder"_s, u"Folder"_s, u"CD-ROM disc"_s})
        QVERIFY2(!ItemByCaption(W->DBL, builtIn), qPrintable(builtIn));
    QCOMPARE(ItemByCaption(W->DBL, u"Text file"_s)->ImageIndex(), 9);
    // The first type shows at once, with its pictures; a type clicked shows its extensions.
    QCOMPARE(W->DBEdit1->text(), u"Unknown"_s);
    QVERIFY(!W->BnLoadSmall->icon().isNull() && !W->BnLoadLarge->icon().isNull());
    ClickItem(W->DBL, ItemByCaption(W->DBL, u"Text file"_s));
    QCOMPARE(W->DBGrid2->model()->index(0, 0).data().toString(), u"txt"_s);

    W->resize(100, 100);
    QVERIFY(W->width() >= 380 && W->height() >= 392);
    if (const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS"); !folder.isEmpty())
        W->grab().save(folder + u"/images-setup.png"_s);
}

void TestImageEds::NewTypeWithAnExtension()
{
    Open();
    const int next = Value(u"SELECT max(ImageID) + 1 FROM Images"_s)->AsInteger();
    QTest::mouseClick(W->DBN1->Button(nbInsert), Qt::LeftButton);
    W->DBEdit1->setFocus();
    QTest::keyClicks(W->DBEdit1, u"Scanned letter"_s);
    QTest::mouseClick(W->DBN1->Button(nbPost), Qt::LeftButton);
    QCOMPARE(Value(u"SELECT ImageID FROM Images WHERE Description = 'Scanned letter'"_s)->AsInteger(), next);
    QTRY_VERIFY(ItemByCaption(W->DBL, u"Scanned letter"_s));

    QTest::mouseClick(W->DBNavigator1->Button(nbInsert), Qt::LeftButton);
    W->DBGrid2->setFocus();
    // The first key opens the cell editor, which takes the keys after it.
    for (const QChar c : u"TXT"_s)
        QTest::keyClicks(QApplication::focusWidget(), QString(c));
    QTest::mouseClick(W->DBNavigator1->Button(nbPost), Qt::LeftButton);
    QCOMPARE(Value(u"SELECT group_concat(Name) FROM Ext WHERE ImageID = %1"_s.arg(next))->AsString(),
             u"txt"_s);
    QVERIFY(F->Errors.isEmpty());
}

void TestImageEds::Deleting_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("inUse");
    QTest::newRow("a type entries use") << u"Text file"_s << true;
    QTest::newRow("an unused type") << u"PDF document"_s << false;
}

void TestImageEds::Deleting()
{
    QFETCH(QString, type);
    QFETCH(bool, inUse);
    Open(type);
    const QString id = QString::number(F->Global->Images2.FieldByName(u"ImageID"_s)->AsInteger());
    TMessageBox::ClearShown();
    QTest::mouseClick(W->DBN1->Button(nbDelete), Qt::LeftButton);

    QVERIFY(F->Errors.isEmpty());
    QCOMPARE(TMessageBox::Shown().size(), inUse ? 1 : 0);
    if (inUse)
        QVERIFY(TMessageBox::Shown().first().Text == u"This image is in use and can not be deleted."_s &&
                TMessageBox::Shown().first().Caption == u"Information"_s);
    QCOMPARE(Value(u"SELECT count(*) FROM Images WHERE ImageID = "_s + id)->AsInteger(), inUse ? 1 : 0);
    QCOMPARE(Value(u"SELECT count(*) FROM Ext WHERE ImageID = "_s + id)->AsInteger() > 0, inUse);
    QTRY_COMPARE(ItemByCaption(W->DBL, type) != nullptr, inUse);
    QCOMPARE(F->Global->Images2.State(), TDataSetState::Browse);
}

void TestImageEds::LoadingAPicture_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("file"); // none: the dialog is cancelled; "gone": a file not there
    QTest::addColumn<bool>("post");
    QTest::newRow("large by its button, cancelled") << u"BnLoadLarge"_s << u"big.bmp"_s << false;
    QTest::newRow("small from the menu, cancelled") << u"Small2"_s << u"big.png"_s << false;
    QTest::newRow("large from the menu, posted") << u"Large2"_s << u"big.png"_s << true;
    QTest::newRow("small by its button, posted") << u"BnLoadSmall"_s << u"big.bmp"_s << true;
    QTest::newRow("dialog cancelled") << u"BnLoadLarge"_s << QString() << true;
    QTest::newRow("file that cannot be read") << u"BnLoadLarge"_s << u"gone"_s << true;
}

void TestImageEds::LoadingAPicture()
{
    QFETCH(QString, command);
    QFETCH(QString, file);
    QFETCH(bool, post);
    Open(u"Text file"_s);
    const bool large = command.contains(u"Large"_s);
    const QString stored = u"SELECT %1 FROM Images WHERE ImageID = 9"_s.arg(large ? u"Large"_s : u"Small"_s);
    const QByteArray before = Value(stored)->AsBytes();
    const bool loads = !file.isEmpty() && file != u"gone"_s;
    QFile picture(loads ? Picture(file, 200) : FFiles.filePath(u"gone.bmp"_s));
    QCOMPARE(picture.open(QIODevice::ReadOnly), loads);
    QToolButton *button = large ? W->BnLoadLarge : W->BnLoadSmall;
    const QColor shown = Middle(button);
    QVERIFY(shown != QColor(Qt::red));

    TOpenFileDialog::SetNextAnswer(file.isEmpty() ? std::nullopt : std::optional(picture.fileName()));
    if (auto *clicked = W->findChild<QToolButton *>(command))
        QTest::mouseClick(clicked, Qt::LeftButton);
    else
        Item(W.get(), command.toLatin1().constData())->trigger();
    QCOMPARE(TOpenFileDialog::Shown().size(), 1);
    QCOMPARE(TOpenFileDialog::Shown().first().Title, u"Select a bitmap image"_s);
    QCOMPARE(TOpenFileDialog::Shown().first().Filter, u"Bitmap files (*.bmp);;PNG files (*.png)"_s);
    QCOMPARE(F->Global->Images2.State(), loads ? TDataSetState::Edit : TDataSetState::Browse);
    QCOMPARE(Middle(button), loads ? QColor(Qt::red) : shown);
    QCOMPARE(F->Errors.size(), file == u"gone"_s ? 1 : 0);

    QTest::mouseClick(W->DBN1->Button(post ? nbPost : nbCancel), Qt::LeftButton);
    QCOMPARE(Value(stored)->AsBytes(), loads && post ? picture.readAll() : before);
    QCOMPARE(Middle(button) == QColor(Qt::red), loads && post);
}

void TestImageEds::IsCDImageFromTheMenu()
{
    Open(u"Text file"_s);
    for (const bool expected : {true, false}) {
        W->PM->popup(W->DBL->mapToGlobal(QPoint(10, 10)));
        QTRY_VERIFY(W->PM->isVisible());
        QCOMPARE(W->IsCDimage1->isChecked(), !expected);
        W->PM->close();
        W->IsCDimage1->trigger();
        QVERIFY(F->Global->Images2.State() == TDataSetState::Edit && W->DBCheckBox1->isChecked() == expected);
        QTest::mouseClick(W->DBN1->Button(nbPost), Qt::LeftButton);
        QCOMPARE(Value(u"SELECT count(*) FROM Images WHERE ImageID = 9 AND CD <> 0"_s)->AsInteger(),
                 expected ? 1 : 0);
    }
}

void TestImageEds::ChangedPictureShowsInTheExplorer()
{
    TCDEx explorer;
    explorer.resize(700, 450);
    explorer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&explorer));
    QTRY_VERIFY(explorer.FoldersTree->Items()->GetFirstNode());
    ClickNode(explorer.FoldersTree, NodeByPath(explorer.FoldersTree, {u"Backup"_s}));
    QTRY_VERIFY(ItemByCaption(explorer.EntriesList, u"Readme.txt"_s));
    auto redPixels = [&explorer] {
        const QImage list = explorer.EntriesList->grab().toImage();
        int red = 0;
        // A selected item's picture is tinted with the selection colour.
        for (int y = 0; y < list.height(); ++y)
            for (int x = 0; x < list.width(); ++x) {
                const QColor c = list.pixelColor(x, y);
                red += c.red() > 120 && c.red() > 2 * c.green() && c.red() > 2 * c.blue();
            }
        return red;
    };
    QCOMPARE(redPixels(), 0);

    Open(u"Text file"_s);
    TOpenFileDialog::SetNextAnswer(Picture(u"red.bmp"_s, 16));
    QTest::mouseClick(W->BnLoadSmall, Qt::LeftButton);
    // Closing keeps the picture loaded but not yet posted, and reloads the image lists.
    QVERIFY(W->close() && F->Errors.isEmpty());
    QCOMPARE(F->Global->DBIL_Little.Pixmap(9).toImage().pixelColor(8, 8), QColor(Qt::red));
    QTRY_VERIFY(redPixels() > 100);
    W.reset();
}

QTEST_MAIN(TestImageEds)
#include "tst_ImageEds.moc"
