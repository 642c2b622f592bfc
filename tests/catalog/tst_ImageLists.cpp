#include "CatalogSchema.h"
#include "DefaultTypes.h"
#include "ListViews.h"
#include "Screenshots.h"
#include "dmGlobal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

// The data module's two image lists on a new catalogue, as the program starts it.
class TestImageLists : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void DefaultPicturesAtTheirIds_data();
    void DefaultPicturesAtTheirIds();
    void ReloadFollowsTheTable();

private:
    std::unique_ptr<QTemporaryDir> FConfig;
    std::unique_ptr<QTemporaryDir> FData;
    std::unique_ptr<TGlobal> FGlobal;
};

void TestImageLists::init()
{
    FConfig = std::make_unique<QTemporaryDir>();
    FData = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FConfig->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(FData->path()));
    CatalogSchema::EnsureAlias(QString::fromUtf16(TGlobal::AliasName));
    FGlobal = std::make_unique<TGlobal>();
}

void TestImageLists::cleanup()
{
    FGlobal.reset();
}

void TestImageLists::DefaultPicturesAtTheirIds_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("DBIL_Little") << 16;
    QTest::newRow("DBIL_Big") << 32;
}

void TestImageLists::DefaultPicturesAtTheirIds()
{
    QFETCH(int, size);
    const TDBImageList &list = size == 16 ? FGlobal->DBIL_Little : FGlobal->DBIL_Big;
    const std::vector<TDefaultType> types = DefaultTypes();
    QCOMPARE(list.Size(), QSize(size, size));
    QCOMPARE(list.Count(), int(types.size()));
    for (const TDefaultType &type : types) {
        const QImage expected = QImage::fromData(DefaultPicture(type.ImageID, size), "BMP");
        const QImage shown = list.Pixmap(type.ImageID).toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const QColor pixel = expected.pixelColor(x, y);
                // The background colour is left out, every other pixel is as drawn.
                const QColor want = pixel.rgb() == DefaultPictureBackground ? QColor(Qt::transparent) : pixel;
                if (shown.pixelColor(x, y).rgba() != want.rgba())
                    QFAIL(qPrintable(
                        u"%1 (%2) differs at %3,%4"_s.arg(type.Description).arg(type.ImageID).arg(x).arg(y)));
            }
    }
    QVERIFY(FGlobal->Images.Active());
    QVERIFY(FGlobal->Images.Bof());
}

void TestImageLists::ReloadFollowsTheTable()
{
    TListView view;
    view.SetSmallImages(&FGlobal->DBIL_Little);
    view.SetLargeImages(&FGlobal->DBIL_Big);
    for (const TDefaultType &type : DefaultTypes()) {
        TListItem *item = view.Items()->Add();
        item->SetCaption(type.Description);
        item->SetImageIndex(type.ImageID);
    }
    view.resize(560, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    KeepScreenshot(view.grab(), u"imagelists-types.png"_s);

    const int folder = DefaultImage::Folder;
    const QImage before = FGlobal->DBIL_Big.Pixmap(folder).toImage();
    FGlobal->Database.ExecSQL(
        u"UPDATE Images SET Large = (SELECT Large FROM Images WHERE ImageID = 2) WHERE ImageID = 1"_s);
    FGlobal->ReloadImageLists();
    QCOMPARE(FGlobal->DBIL_Big.Pixmap(folder).toImage(),
             FGlobal->DBIL_Big.Pixmap(DefaultImage::Disc).toImage());
    QVERIFY(FGlobal->DBIL_Big.Pixmap(folder).toImage() != before);
    QCOMPARE(FGlobal->DBIL_Little.Count(), int(DefaultTypes().size()));
}

QTEST_MAIN(TestImageLists)
#include "tst_ImageLists.moc"
