#include "BusyAnimations.h"
#include "Screenshots.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TCommonAVI)

class TestBusyAnimations : public QObject
{
    Q_OBJECT

private slots:
    void Films_data();
    void Films();
    void PlaysFromStartToStopFrame();
    void PlaysAGivenNumberOfTimes();
    void StopSeekAndReset();
};

namespace {

// How many pixels of the picture are not background.
int Drawn(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) != 0 ? 1 : 0;
    return count;
}

QImage Frame(TAnimate &animate, int frame)
{
    animate.Seek(frame);
    QImage image(animate.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    animate.render(&image, {}, {}, QWidget::RenderFlags());
    return image;
}

} // namespace

void TestBusyAnimations::Films_data()
{
    QTest::addColumn<TCommonAVI>("avi");
    QTest::addColumn<QSize>("size");
    QTest::newRow("find file") << TCommonAVI::aviFindFile << QSize(48, 50);
    QTest::newRow("find folder") << TCommonAVI::aviFindFolder << QSize(48, 50);
    QTest::newRow("copy files") << TCommonAVI::aviCopyFiles << QSize(272, 60);
    QTest::newRow("copy file") << TCommonAVI::aviCopyFile << QSize(272, 60);
}

// Each film has its own size, draws something in every frame, and moves from frame to frame.
void TestBusyAnimations::Films()
{
    QFETCH(TCommonAVI, avi);
    QFETCH(QSize, size);
    TAnimate animate;
    animate.SetCommonAVI(avi);
    QCOMPARE(animate.sizeHint(), size);
    animate.resize(size);
    QVERIFY(animate.FrameCount() >= 23);
    QImage previous;
    for (const int frame : {1, 7, 13, 19}) {
        const QImage image = Frame(animate, frame);
        QVERIFY(Drawn(image) > size.width() * size.height() / 20);
        QVERIFY(image != previous);
        previous = image;
        KeepScreenshot(image, u"animate-%1-%2.png"_s.arg(int(avi)).arg(frame));
    }
}

void TestBusyAnimations::PlaysFromStartToStopFrame()
{
    TAnimate animate;
    animate.SetCommonAVI(TCommonAVI::aviFindFile);
    animate.SetStartFrame(20);
    animate.SetStopFrame(23);
    QSignalSpy frames(&animate, &TAnimate::FrameChanged);
    QSignalSpy started(&animate, &TAnimate::Started);
    animate.SetActive(true);
    QVERIFY(animate.Active());
    QCOMPARE(started.count(), 1);
    QCOMPARE(animate.Frame(), 20);
    // Round and round: 20 21 22 23 20 ...
    QTRY_VERIFY(frames.count() >= 6);
    QList<int> shown;
    for (const QList<QVariant> &arguments : frames)
        shown << arguments.first().toInt();
    QCOMPARE(shown.mid(0, 6), (QList<int>{20, 21, 22, 23, 20, 21}));
    animate.SetActive(false);
    QVERIFY(!animate.Active());
}

void TestBusyAnimations::PlaysAGivenNumberOfTimes()
{
    TAnimate animate;
    animate.SetCommonAVI(TCommonAVI::aviCopyFiles);
    QSignalSpy stopped(&animate, &TAnimate::Stopped);
    animate.Play(2, 4, 2);
    QTRY_COMPARE(stopped.count(), 1);
    QCOMPARE(animate.Frame(), 4);
    QVERIFY(!animate.Active());
}

void TestBusyAnimations::StopSeekAndReset()
{
    TAnimate animate;
    animate.SetActive(true); // no film: nothing to play
    QVERIFY(!animate.Active());
    animate.SetCommonAVI(TCommonAVI::aviCopyFile);
    animate.SetStartFrame(5);
    animate.Play(8, 24, 0);
    animate.Stop();
    QCOMPARE(animate.Frame(), 8);
    animate.Seek(99);
    QCOMPARE(animate.Frame(), animate.FrameCount());
    animate.Reset();
    QCOMPARE(animate.Frame(), 5);
    animate.SetActive(true);
    animate.SetCommonAVI(TCommonAVI::aviNone);
    QVERIFY(!animate.Active());
}

QTEST_MAIN(TestBusyAnimations)
#include "tst_BusyAnimations.moc"
