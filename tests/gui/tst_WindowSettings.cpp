// Window places, sizes and splitters kept between runs, and a window never restored out of sight.

#include "WindowSettings.h"

#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

class TestWindowSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void FileIsTheProgramsSettingsFile();
    void PlaceAndSizeComeBack();
    void RestoredWithinTheWindowsLimits_data();
    void RestoredWithinTheWindowsLimits();
    void AHeightOfItsOwnIsKept();
    void LostPlacesComeBackOnScreen_data();
    void LostPlacesComeBackOnScreen();
    void SplittersComeBackOnlyWhereTheyFit();

private:
    std::unique_ptr<QTemporaryDir> FConfig;
};

void TestWindowSettings::initTestCase()
{
    // Before any QSettings, so that its own idea of the user's folder is this one too.
    init();
}

void TestWindowSettings::init()
{
    FConfig = std::make_unique<QTemporaryDir>();
    QVERIFY(FConfig->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FConfig->path()));
}

void TestWindowSettings::FileIsTheProgramsSettingsFile()
{
    QCOMPARE(TWindowSettings::FileName(), FConfig->filePath(u"vor-nex/vor-nex.conf"_s));
    // The file QSettings itself names for the program, and which is an INI file on Linux.
    QCOMPARE(QSettings(u"vor-nex"_s, u"vor-nex"_s).fileName(), TWindowSettings::FileName());
    {
        TWindowSettings settings(u"Explorer"_s);
        settings.SetValue(u"ViewStyle"_s, 3);
    }
    QSettings written(TWindowSettings::FileName(), QSettings::IniFormat);
    QCOMPARE(written.value(u"Explorer/ViewStyle"_s).toInt(), 3);
}

void TestWindowSettings::PlaceAndSizeComeBack()
{
    QWidget first;
    first.setMinimumSize(200, 100);
    first.resize(333, 222);
    first.move(40, 30);
    TWindowSettings(u"Window"_s).SaveGeometry(&first);

    QWidget second;
    second.setMinimumSize(200, 100);
    second.resize(200, 100);
    TWindowSettings(u"Window"_s).RestoreGeometry(&second);
    QCOMPARE(second.size(), QSize(333, 222));
    QCOMPARE(second.pos(), QPoint(40, 30));
    // Another window's settings are its own.
    QWidget other;
    other.resize(250, 150);
    TWindowSettings(u"Other"_s).RestoreGeometry(&other);
    QCOMPARE(other.size(), QSize(250, 150));
}

void TestWindowSettings::RestoredWithinTheWindowsLimits_data()
{
    QTest::addColumn<QSize>("saved");
    QTest::addColumn<QSize>("restored");
    QTest::newRow("smaller than the minimum") << QSize(50, 40) << QSize(300, 200);
    QTest::newRow("narrower only") << QSize(100, 250) << QSize(300, 250);
    QTest::newRow("larger than the maximum") << QSize(700, 900) << QSize(600, 500);
    QTest::newRow("no size") << QSize() << QSize(320, 240);
}

void TestWindowSettings::RestoredWithinTheWindowsLimits()
{
    QFETCH(QSize, saved);
    {
        QSettings settings(TWindowSettings::FileName(), QSettings::IniFormat);
        settings.setValue(u"Window/Position"_s, QPoint(10, 10));
        if (saved.isValid())
            settings.setValue(u"Window/Size"_s, saved);
    }
    QWidget window;
    window.setMinimumSize(300, 200);
    window.setMaximumSize(600, 500);
    window.resize(320, 240);
    TWindowSettings(u"Window"_s).RestoreGeometry(&window);
    QTEST(window.size(), "restored");
}

void TestWindowSettings::AHeightOfItsOwnIsKept()
{
    QWidget first;
    first.resize(500, 400);
    TWindowSettings(u"Window"_s).SaveGeometry(&first);
    QWidget second;
    second.resize(300, 150);
    TWindowSettings(u"Window"_s).RestoreGeometry(&second, false);
    QCOMPARE(second.size(), QSize(500, 150));
}

void TestWindowSettings::LostPlacesComeBackOnScreen_data()
{
    QTest::addColumn<QPoint>("saved");
    QTest::newRow("far right") << QPoint(5000, 100);
    QTest::newRow("far below") << QPoint(100, 4000);
    QTest::newRow("above and left") << QPoint(-3000, -2000);
    QTest::newRow("title bar above the screen") << QPoint(100, -300);
    QTest::newRow("all but a corner off") << QPoint(-380, 100);
}

void TestWindowSettings::LostPlacesComeBackOnScreen()
{
    QFETCH(QPoint, saved);
    {
        QSettings settings(TWindowSettings::FileName(), QSettings::IniFormat);
        settings.setValue(u"Window/Position"_s, saved);
        settings.setValue(u"Window/Size"_s, QSize(400, 300));
    }
    QWidget window;
    window.resize(200, 200);
    TWindowSettings(u"Window"_s).RestoreGeometry(&window);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(available.contains(QRect(window.pos(), QSize(std::min(window.width(), 100), 24))),
             qPrintable(u"%1,%2 in %3x%4"_s.arg(window.x())
                            .arg(window.y())
                            .arg(available.width())
                            .arg(available.height())));
    QCOMPARE(window.size(), QSize(400, 300).boundedTo(available.size()));
}

void TestWindowSettings::SplittersComeBackOnlyWhereTheyFit()
{
    QSplitter first;
    first.setObjectName(u"Splitter1"_s);
    first.addWidget(new QLabel(&first));
    first.addWidget(new QLabel(&first));
    first.resize(400, 100);
    first.setSizes({150, 249});
    const QList<int> sizes = first.sizes();
    TWindowSettings(u"Window"_s).SaveSplitter(&first);

    QSplitter second;
    second.setObjectName(u"Splitter1"_s);
    second.addWidget(new QLabel(&second));
    second.addWidget(new QLabel(&second));
    second.resize(400, 100);
    TWindowSettings(u"Window"_s).RestoreSplitter(&second);
    QCOMPARE(second.sizes(), sizes);

    // Saved for a layout of two panes, a splitter of three keeps its own sizes.
    QSplitter third;
    third.setObjectName(u"Splitter1"_s);
    for (int i = 0; i < 3; ++i)
        third.addWidget(new QLabel(&third));
    third.resize(400, 100);
    third.setSizes({100, 100, 199});
    const QList<int> own = third.sizes();
    TWindowSettings(u"Window"_s).RestoreSplitter(&third);
    QCOMPARE(third.sizes(), own);
}

QTEST_MAIN(TestWindowSettings)
#include "tst_WindowSettings.moc"
