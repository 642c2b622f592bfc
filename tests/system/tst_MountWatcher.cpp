#include "DiscImages.h"
#include "MountWatcher.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/mount.h>

class TestMountWatcher : public QObject
{
    Q_OBJECT

private slots:
    void Idle();
    void ProcMountTable();
    void ProcMountTableNotifies();
    void PolledFile_data();
    void PolledFile();
};

void TestMountWatcher::Idle()
{
    TMountWatcher watcher{QString()};
    QCOMPARE(watcher.Mode(), TMountWatcher::TMode::Idle);
}

void TestMountWatcher::ProcMountTable()
{
    if (!QFileInfo::exists(QStringLiteral("/proc/self/mountinfo")))
        QSKIP("no /proc on this machine");
    auto watcher = std::make_unique<TMountWatcher>(QStringLiteral("/proc/self/mountinfo"));
    QCOMPARE(watcher->Mode(), TMountWatcher::TMode::Notified);
}

void TestMountWatcher::ProcMountTableNotifies()
{
    QTemporaryDir dir;
    TMountWatcher watcher(QStringLiteral("/proc/self/mountinfo"));
    QSignalSpy spy(&watcher, &TMountWatcher::Changed);
    const QByteArray target = QFile::encodeName(dir.path());
    // Only where this process may mount (not in an ordinary container).
    if (::mount("vnx-test", target.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
        QSKIP("mounting is not allowed here");
    const auto unmount = qScopeGuard([&] { ::umount2(target.constData(), MNT_DETACH); });
    QTRY_COMPARE(spy.count(), 1);
    ::umount2(target.constData(), MNT_DETACH);
    QTRY_COMPARE(spy.count(), 2);
}

void TestMountWatcher::PolledFile_data()
{
    QTest::addColumn<bool>("existsFirst");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<int>("changes");

    QTest::newRow("contents change") << true << QByteArray("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 ...\n")
                                     << 1;
    QTest::newRow("same contents written again")
        << true << QByteArray("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n") << 0;
    QTest::newRow("file appears") << false << QByteArray("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n") << 1;
}

void TestMountWatcher::PolledFile()
{
    QFETCH(bool, existsFirst);
    QFETCH(QByteArray, second);
    QFETCH(int, changes);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mountinfo"));
    if (existsFirst)
        QVERIFY(DiscImages::WriteFile(path, "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"));
    TMountWatcher watcher(path);
    QCOMPARE(watcher.Mode(), TMountWatcher::TMode::Polled);
    QSignalSpy spy(&watcher, &TMountWatcher::Changed);

    QVERIFY(DiscImages::WriteFile(path, second));
    if (changes > 0) {
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), changes, 3 * TMountWatcher::PollInterval);
    } else {
        QTest::qWait(TMountWatcher::PollInterval + 300);
        QCOMPARE(spy.count(), 0);
    }
}

QTEST_GUILESS_MAIN(TestMountWatcher)
#include "tst_MountWatcher.moc"
