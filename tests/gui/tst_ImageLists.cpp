#include "ErrorHandlers.h"
#include "ImageLists.h"
#include "SysUtils.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

class TestImageLists : public QObject
{
    Q_OBJECT

private slots:
    void PicturesAreScaledAndMasked();
    void ManyChangesOneNotification();
    void ANewSizeStartsEmpty();
    void ExceptionsAreShownOnceAndAbortsSilently();
};

namespace {

// A 32x32 picture: magenta background with a blue square in its middle.
QImage Picture()
{
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    for (int y = 8; y < 24; ++y)
        for (int x = 8; x < 24; ++x)
            image.setPixelColor(x, y, Qt::blue);
    return image;
}

} // namespace

void TestImageLists::PicturesAreScaledAndMasked()
{
    TCustomImageList list;
    QCOMPARE(list.Add(Picture(), Qt::magenta), 0);
    QCOMPARE(list.Add(Picture()), 1);
    const QImage masked = list.Pixmap(0).toImage();
    QCOMPARE(masked.size(), QSize(16, 16));
    QCOMPARE(masked.pixelColor(0, 15).alpha(), 0);
    QCOMPARE(masked.pixelColor(8, 8), QColor(Qt::blue));
    QCOMPARE(list.Pixmap(1).toImage().pixelColor(0, 15), QColor(Qt::magenta));

    list.Replace(1, Picture(), Qt::magenta);
    QCOMPARE(list.Pixmap(1).toImage().pixelColor(0, 0).alpha(), 0);
    list.Replace(5, Picture());
    QCOMPARE(list.Count(), 2);
    QVERIFY(list.Pixmap(2).isNull());
    QVERIFY(list.Pixmap(-1).isNull());
    QVERIFY(list.Icon(7).isNull());
}

void TestImageLists::ManyChangesOneNotification()
{
    TCustomImageList list;
    QSignalSpy changed(&list, &TCustomImageList::Changed);
    list.BeginUpdate();
    for (int i = 0; i < 5; ++i)
        list.Add(Picture());
    list.Clear();
    list.Add(Picture());
    QCOMPARE(changed.count(), 0);
    list.EndUpdate();
    QCOMPARE(changed.count(), 1);
    list.EndUpdate();
    QCOMPARE(changed.count(), 1);
    list.Add(Picture());
    QCOMPARE(changed.count(), 2);
}

void TestImageLists::ANewSizeStartsEmpty()
{
    TCustomImageList list;
    list.Add(Picture());
    list.SetWidth(32);
    list.SetHeight(32);
    QCOMPARE(list.Count(), 0);
    list.Add(Picture());
    QCOMPARE(list.Pixmap(0).size(), QSize(32, 32));
}

void TestImageLists::ExceptionsAreShownOnceAndAbortsSilently()
{
    QStringList shown;
    SetExceptionDisplay([&shown](const QString &message) { shown << message; });
    QVERIFY(Guarded([] {}));
    QVERIFY(!Guarded([] { throw Exception(QStringLiteral("Cannot setup a node")); }));
    QVERIFY(!Guarded([] { throw EAbort(); }));
    QVERIFY(!Guarded([] { throw std::runtime_error("disk full"); }));
    SetExceptionDisplay({});
    QCOMPARE(shown, QStringList({QStringLiteral("Cannot setup a node"), QStringLiteral("disk full")}));
}

QTEST_MAIN(TestImageLists)
#include "tst_ImageLists.moc"
