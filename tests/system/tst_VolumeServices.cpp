#include "FileNames.h"
#include "SystemVolumeServices.h"
#include "VolumeServicesDouble.h"

#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

QByteArray Path(const QTemporaryDir &dir, const QByteArray &name)
{
    return TextToFileName(dir.path()) + '/' + name;
}

// Qt removes a temporary folder by names it can decode; names that are not UTF-8 are removed here.
int RemoveEntry(const char *path, const struct stat *, int, FTW *)
{
    return ::remove(path);
}

void RemoveTree(const QTemporaryDir &dir)
{
    ::nftw(TextToFileName(dir.path()).constData(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

bool MakeFile(const QByteArray &path, qint64 size)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::ftruncate(fd, size) == 0;
    ::close(fd);
    return ok;
}

const TDirEntry *Entry(const QList<TDirEntry> &entries, const QByteArray &name)
{
    for (const TDirEntry &entry : entries) {
        if (entry.Name == name)
            return &entry;
    }
    return nullptr;
}

} // namespace

class TestVolumeServices : public QObject
{
    Q_OBJECT

private slots:
    void ListDirectory_data();
    void ListDirectory();
    void ListDirectoryFailure_data();
    void ListDirectoryFailure();
    void Times_data();
    void Times();
    void TickCount();
    void DeviceOf();
    void CurrentInstance();
};

void TestVolumeServices::ListDirectory_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("isDirectory");
    QTest::addColumn<bool>("isSymLink");
    QTest::addColumn<qint64>("size");

    QTest::newRow("file") << QByteArray("a.txt") << false << false << 3ll;
    QTest::newRow("empty file") << QByteArray("empty") << false << false << 0ll;
    QTest::newRow("folder") << QByteArray("sub") << true << false << -1ll;
    // A link's own size is the length of its target text.
    QTest::newRow("link to a folder is a file") << QByteArray("to-sub") << false << true << 3ll;
    QTest::newRow("link loop") << QByteArray("loop-a") << false << true << 6ll;
    QTest::newRow("dangling link") << QByteArray("dangling") << false << true << 7ll;
    QTest::newRow("5 GiB sparse file") << QByteArray("big.bin") << false << false << 5ll * 1024 * 1024 * 1024;
    QTest::newRow("Latin-1 name") << QByteArray("caf\xe9.txt") << false << false << 1ll;
    QTest::newRow("lone continuation byte") << QByteArray("\x80\xff") << false << false << 2ll;
    QTest::newRow("newline and backslash") << QByteArray("line\nbreak\\*") << false << false << 4ll;
}

void TestVolumeServices::ListDirectory()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, isDirectory);
    QFETCH(bool, isSymLink);
    QFETCH(qint64, size);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto removeTree = qScopeGuard([&] { RemoveTree(dir); });
    QVERIFY(MakeFile(Path(dir, "a.txt"), 3));
    QVERIFY(MakeFile(Path(dir, "empty"), 0));
    QVERIFY(::mkdir(Path(dir, "sub").constData(), 0755) == 0);
    QVERIFY(MakeFile(Path(dir, "sub/inside"), 1));
    QVERIFY(::symlink("sub", Path(dir, "to-sub").constData()) == 0);
    QVERIFY(::symlink("loop-b", Path(dir, "loop-a").constData()) == 0);
    QVERIFY(::symlink("loop-a", Path(dir, "loop-b").constData()) == 0);
    QVERIFY(::symlink("nowhere", Path(dir, "dangling").constData()) == 0);
    QVERIFY(MakeFile(Path(dir, "big.bin"), 5ll * 1024 * 1024 * 1024));
    QVERIFY(MakeFile(Path(dir, "caf\xe9.txt"), 1));
    QVERIFY(MakeFile(Path(dir, "\x80\xff"), 2));
    QVERIFY(MakeFile(Path(dir, "line\nbreak\\*"), 4));

    const std::optional<QList<TDirEntry>> entries = TSystemVolumeServices().ListDirectory(dir.path());
    QVERIFY(entries);
    QCOMPARE(entries->size(), 11);
    QVERIFY(!Entry(*entries, "."));
    QVERIFY(!Entry(*entries, ".."));
    QVERIFY(!Entry(*entries, "inside"));

    const TDirEntry *entry = Entry(*entries, name);
    QVERIFY(entry);
    QVERIFY(entry->Stated);
    QCOMPARE(entry->IsDirectory, isDirectory);
    QCOMPARE(entry->IsSymLink, isSymLink);
    if (size >= 0)
        QCOMPARE(entry->Size, size);
    struct stat folder;
    QVERIFY(::stat(TextToFileName(dir.path()).constData(), &folder) == 0);
    QCOMPARE(entry->Device, quint64(folder.st_dev));
}

void TestVolumeServices::ListDirectoryFailure_data()
{
    QTest::addColumn<QString>("relative");

    QTest::newRow("missing folder") << QStringLiteral("missing");
    QTest::newRow("a file") << QStringLiteral("file");
}

void TestVolumeServices::ListDirectoryFailure()
{
    QFETCH(QString, relative);

    QTemporaryDir dir;
    QVERIFY(MakeFile(Path(dir, "file"), 1));
    QVERIFY(!TSystemVolumeServices().ListDirectory(dir.filePath(relative)));
}

void TestVolumeServices::Times_data()
{
    QTest::addColumn<QByteArray>("timeZone");
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QDateTime>("expected");

    // 1700000001 is 2023-11-14 22:13:21 UTC.
    QTest::newRow("odd second truncated")
        << QByteArray("UTC0") << 1700000001ll << QDateTime(QDate(2023, 11, 14), QTime(22, 13, 20));
    QTest::newRow("even second kept")
        << QByteArray("UTC0") << 1700000000ll << QDateTime(QDate(2023, 11, 14), QTime(22, 13, 20));
    QTest::newRow("local time, not UTC")
        << QByteArray("XST-5:45") << 1700000001ll << QDateTime(QDate(2023, 11, 15), QTime(3, 58, 20));
    QTest::newRow("local time west of UTC")
        << QByteArray("YST8") << 1700000003ll << QDateTime(QDate(2023, 11, 14), QTime(14, 13, 22));
    QTest::newRow("before 1970") << QByteArray("UTC0") << -1ll
                                 << QDateTime(QDate(1969, 12, 31), QTime(23, 59, 58));
}

void TestVolumeServices::Times()
{
    QFETCH(QByteArray, timeZone);
    QFETCH(qint64, seconds);
    QFETCH(QDateTime, expected);

    const QByteArray savedZone = qgetenv("TZ");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", timeZone);
    ::tzset();
    const auto restoreZone = qScopeGuard([&] {
        if (hadZone)
            qputenv("TZ", savedZone);
        else
            qunsetenv("TZ");
        ::tzset();
    });

    QTemporaryDir dir;
    QVERIFY(MakeFile(Path(dir, "f"), 1));
    // The fraction of a second must go too, not round up.
    const timespec times[2] = {{seconds, 999999999}, {seconds, 999999999}};
    QVERIFY(::utimensat(AT_FDCWD, Path(dir, "f").constData(), times, 0) == 0);

    const std::optional<QList<TDirEntry>> entries = TSystemVolumeServices().ListDirectory(dir.path());
    QVERIFY(entries && entries->size() == 1);
    const QDate date = expected.date();
    const QTime time = expected.time();
    QCOMPARE(entries->first().Time.ToText(), TDateTime::FromParts(date.year(), date.month(), date.day(),
                                                                  time.hour(), time.minute(), time.second())
                                                 .ToText());
}

void TestVolumeServices::TickCount()
{
    TSystemVolumeServices services;
    const quint32 first = services.TickCount();
    QTest::qSleep(50);
    const quint32 second = services.TickCount();
    // Unsigned difference: right even across the 32-bit wrap.
    QVERIFY2(second - first >= 45 && second - first < 5000, qPrintable(QString::number(second - first)));
}

void TestVolumeServices::DeviceOf()
{
    QTemporaryDir dir;
    QVERIFY(::symlink("/proc", Path(dir, "proc-link").constData()) == 0);
    struct stat folder, proc;
    QVERIFY(::stat(TextToFileName(dir.path()).constData(), &folder) == 0);
    QVERIFY(::stat("/proc", &proc) == 0);

    TSystemVolumeServices services;
    QCOMPARE(services.DeviceOf(dir.path()), std::optional(quint64(folder.st_dev)));
    // A root reached through a link is on the device the link leads to, as its entries are.
    QCOMPARE(services.DeviceOf(dir.filePath(QStringLiteral("proc-link"))),
             std::optional(quint64(proc.st_dev)));
    QVERIFY(!services.DeviceOf(dir.filePath(QStringLiteral("missing"))));
}

void TestVolumeServices::CurrentInstance()
{
    QVERIFY(dynamic_cast<TSystemVolumeServices *>(&TVolumeServices::Current()));
    {
        TVolumeServicesDouble double_;
        TVolumeServices::SetCurrent(&double_);
        QCOMPARE(&TVolumeServices::Current(), static_cast<TVolumeServices *>(&double_));
        TVolumeServices::SetCurrent(nullptr);
        QVERIFY(dynamic_cast<TSystemVolumeServices *>(&TVolumeServices::Current()));
        TVolumeServices::SetCurrent(&double_);
    }
    // A double that goes while installed takes itself out.
    QVERIFY(dynamic_cast<TSystemVolumeServices *>(&TVolumeServices::Current()));
}

QTEST_GUILESS_MAIN(TestVolumeServices)
#include "tst_VolumeServices.moc"
