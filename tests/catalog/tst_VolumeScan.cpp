// The walk of a volume into the catalogue (TGlobal::LoadDisk) over real folder trees made in
// temporary folders, which a double of the volume services presents as drives.

#include "CatalogSchema.h"
#include "Databases.h"
#include "FileNames.h"
#include "MessageBoxes.h"
#include "Queries.h"
#include "VolumeServicesDouble.h"
#include "dmGlobal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 Serial = 0x1234ABCD;
constexpr qint64 GiB = qint64(1) << 30;
constexpr int Picture = 2;

const QString AlreadyThere = u"This disk is already in the library.\r\nUpdating the library will drop all\r\n"
                             "manually edited file descriprtions\r\nSelect OK to proceeed updating anyway"_s;

// (percent, seconds left) of each progress report, in order.
using TReports = QList<std::pair<int, int>>;

// The double with hooks, so that a test can act at the moments a walk asks the services
// something: move the clock, take a folder away, count open handles, stop dead.
class THookedServices final : public TVolumeServices
{
public:
    ~THookedServices() override
    {
        if (&Current() == this)
            SetCurrent(nullptr);
    }

    TVolumeServicesDouble Double;
    // After each reading, the double's clock moves on by this much: the walk reads it once as it
    // starts and once after each file, so file k is seen k steps after the start.
    quint32 TickStep = 0;
    std::function<void()> BeforeTick;
    std::function<void(const QString &path)> AfterListing;
    std::function<void()> AfterVolumeInformation;

    QList<TDrive> Drives() override { return Double.Drives(); }
    std::optional<TVolumeInfo> VolumeInformation(const QString &rootPath) override
    {
        const std::optional<TVolumeInfo> info = Double.VolumeInformation(rootPath);
        if (AfterVolumeInformation)
            AfterVolumeInformation();
        return info;
    }
    std::optional<qint64> DiskSize(const QString &rootPath) override { return Double.DiskSize(rootPath); }
    TMountWatcher *NewMountWatcher(QObject *parent) override { return Double.NewMountWatcher(parent); }
    std::optional<QList<TDirEntry>> ListDirectory(const QString &path) override
    {
        std::optional<QList<TDirEntry>> entries = Double.ListDirectory(path);
        if (AfterListing)
            AfterListing(QDir::cleanPath(path));
        return entries;
    }
    quint32 TickCount() override
    {
        if (BeforeTick)
            BeforeTick();
        const quint32 now = Double.TickCount();
        if (TickStep != 0)
            Double.AdvanceTick(TickStep);
        return now;
    }
};

// Makes folder trees on disk by their byte names, so that names need not be text. The first
// failure is kept in Error.
class TTree
{
public:
    explicit TTree(const QString &root) : FRoot(QFile::encodeName(root)) {}

    QByteArray Path(const QByteArray &relative) const { return FRoot + '/' + relative; }

    // The folder and the folders above it.
    void Dir(const QByteArray &relative)
    {
        const QByteArray path = Path(relative);
        for (qsizetype i = FRoot.size() + 1; i <= path.size(); ++i) {
            if (i < path.size() && path[i] != '/')
                continue;
            if (::mkdir(path.left(i).constData(), 0755) != 0 && errno != EEXIST)
                Fail("mkdir", path.left(i));
        }
    }
    // A file of `size` bytes that occupies no space: only its size is read.
    void File(const QByteArray &relative, qint64 size)
    {
        const qsizetype slash = relative.lastIndexOf('/');
        if (slash > 0)
            Dir(relative.left(slash));
        const int fd = ::open(Path(relative).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::ftruncate(fd, size) != 0)
            Fail("create", relative);
        if (fd >= 0)
            ::close(fd);
    }
    void Link(const QByteArray &relative, const QByteArray &target)
    {
        if (::symlink(target.constData(), Path(relative).constData()) != 0)
            Fail("symlink", relative);
    }
    void Time(const QByteArray &relative, const QDateTime &local)
    {
        const timespec times[2] = {{local.toSecsSinceEpoch(), 0}, {local.toSecsSinceEpoch(), 0}};
        if (::utimensat(AT_FDCWD, Path(relative).constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
            Fail("utimensat", relative);
    }
    // `depth` folders named "d", each in the one before, and a file of `size` bytes at the bottom:
    // made one level at a time through handles, as the whole path is longer than a path may be.
    void Chain(int depth, const QByteArray &file, qint64 size)
    {
        int fd = ::open(FRoot.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int i = 0; i < depth && fd >= 0; ++i) {
            if (::mkdirat(fd, "d", 0755) != 0)
                Fail("mkdirat", QByteArray::number(i));
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        const int bottom = fd < 0 ? -1 : ::openat(fd, file.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (bottom < 0 || ::ftruncate(bottom, size) != 0)
            Fail("chain", file);
        if (bottom >= 0)
            ::close(bottom);
        if (fd >= 0)
            ::close(fd);
    }

    QString Error;

private:
    void Fail(const char *what, const QByteArray &path)
    {
        if (Error.isEmpty())
            Error = QString::fromLatin1(what) + u' ' + FileNameToText(path) + u": "_s
                    + QString::fromLocal8Bit(std::strerror(errno));
    }

    QByteArray FRoot;
};

// One row of Entries as read back.
struct TRow
{
    qint64 Id = 0;
    qint64 Parent = -1; // -1: NULL
    QString Name;
    bool Folder = false;
    qint64 Size = -1; // -1: NULL
    TDateTime Modified;
    bool HasModified = false;
    qint64 ImageId = 0;
    qint64 Cd = -1; // -1: NULL
    QString FullPath;
    bool HasFullPath = false;
};

// The rows of a volume by the path a user reads: FullPath and Name ("" for the root).
using TVolume = QMap<QString, TRow>;

// What must hold for every volume however it was walked: each row below a folder of the same
// volume, FullPath NULL in the root, each folder's Size the sum of what is in it. Empty when it
// holds, else what is wrong.
QString Inconsistency(const TVolume &volume)
{
    QHash<qint64, const TRow *> byId;
    QHash<qint64, qint64> sums;
    for (const TRow &row : volume)
        byId.insert(row.Id, &row);
    for (auto it = volume.cbegin(); it != volume.cend(); ++it) {
        const TRow &row = it.value();
        if (it.key().isEmpty())
            continue;
        const TRow *parent = byId.value(row.Parent);
        if (!parent || !parent->Folder)
            return u"no parent folder: "_s + it.key();
        if (row.HasFullPath != (parent->Parent != -1))
            return u"FullPath NULL only in the root: "_s + it.key();
        sums[row.Parent] += row.Size;
    }
    for (const TRow &row : volume) {
        if (row.Folder && row.Size != sums.value(row.Id))
            return u"size of %1: %2, holds %3"_s.arg(row.Name).arg(row.Size).arg(sums.value(row.Id));
    }
    return {};
}

QString Repeat(const QString &text, int times)
{
    return text.repeated(times);
}

} // namespace

class TestVolumeScan : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void SmallTree();
    void RootNames_data();
    void RootNames();
    void NoVolume_data();
    void NoVolume();
    void AlreadyCatalogued_data();
    void AlreadyCatalogued();
    void Progress_data();
    void Progress();
    void Stop_data();
    void Stop();
    void UnlistableFolder();
    void SymbolicLinks();
    void DeepChain();
    void OddNames_data();
    void OddNames();
    void SparseFile();
    void FolderVanishes();
    void KilledMidScan();

private:
    QString Root() const { return FDrive->path(); }
    qint64 Scalar(const QString &sql);
    // Through a connection of its own, so it sees only what has been committed.
    qint64 Committed(const QString &sql);
    TVolume Volume(qint64 root);
    // Every row of the catalogue as text, to tell whether anything changed.
    QStringList Dump();

    std::unique_ptr<QTemporaryDir> FConfig;
    std::unique_ptr<QTemporaryDir> FData;
    std::unique_ptr<QTemporaryDir> FDrive;
    std::unique_ptr<THookedServices> FServices;
    std::unique_ptr<TGlobal> FGlobal;
    qint64 FTxt = 0;
    qint64 FJpg = 0;
};

void TestVolumeScan::init()
{
    FConfig = std::make_unique<QTemporaryDir>();
    FData = std::make_unique<QTemporaryDir>();
    FDrive = std::make_unique<QTemporaryDir>();
    QVERIFY(FConfig->isValid() && FData->isValid() && FDrive->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FConfig->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(FData->path()));
    TMessageBox::ClearShown();
    TMessageBox::SetAnswerAutomatically(true);

    // What the program's start-up does on a new machine: a new catalogue file and the alias to it.
    const QString path = CatalogSchema::DefaultFilePath();
    CatalogSchema::CreateFile(path);
    TSession::Default().AddAlias(QString::fromUtf16(TGlobal::AliasName), QString::fromUtf16(TDatabase::DriverSqlite),
                                 {u"DATABASE NAME="_s + path, u"OPEN MODE=READ/WRITE"_s});
    TSession::Default().SaveConfigFile();

    FServices = std::make_unique<THookedServices>();
    FServices->Double.AddDrive(Root(), u"MY DISK"_s, Serial, GiB);
    TVolumeServices::SetCurrent(FServices.get());
    FGlobal = std::make_unique<TGlobal>();
    FTxt = Scalar(u"SELECT ImageID FROM Ext WHERE Name = 'txt'"_s);
    FJpg = Scalar(u"SELECT ImageID FROM Ext WHERE Name = 'jpg'"_s);
    QVERIFY(FTxt > 3 && FJpg > 3 && FTxt != FJpg);
    QCOMPARE(Scalar(u"SELECT count(*) FROM Entries"_s), 0);
}

void TestVolumeScan::cleanup()
{
    FGlobal.reset();
    TVolumeServices::SetCurrent(nullptr);
    FServices.reset();
    // QDir cannot remove a tree deeper than a path may be long; rm opens it level by level.
    QProcess::execute(u"rm"_s, {u"-rf"_s, u"--"_s, Root()});
    FDrive.reset();
    FData.reset();
    FConfig.reset();
    TMessageBox::SetAnswerAutomatically(false);
    TMessageBox::ClearShown();
}

qint64 TestVolumeScan::Scalar(const QString &sql)
{
    TQuery query;
    query.SetDatabase(&FGlobal->Database);
    query.SetSQL({sql});
    query.Open();
    return query.IsEmpty() || query.Fields(0)->IsNull() ? -1 : query.Fields(0)->AsLargeInt();
}

qint64 TestVolumeScan::Committed(const QString &sql)
{
    TDatabase reader;
    reader.SetDriverName(QString::fromUtf16(TDatabase::DriverSqlite));
    reader.SetParams({u"DATABASE NAME="_s + CatalogSchema::DefaultFilePath()});
    reader.Open();
    TQuery query;
    query.SetDatabase(&reader);
    query.SetSQL({sql});
    query.Open();
    return query.Fields(0)->AsLargeInt();
}

TVolume TestVolumeScan::Volume(qint64 root)
{
    TQuery query;
    query.SetDatabase(&FGlobal->Database);
    query.SetSQL({u"SELECT ID, Parent, Name, Folder, Size, Modified, ImageID, CD, FullPath FROM Entries"_s,
                  u"WHERE ID = :root OR CD = :root OR Parent = :root"_s});
    query.ParamByName(u"root"_s)->SetAsLargeInt(root);
    query.Open();
    TVolume volume;
    for (; !query.Eof(); query.Next()) {
        auto field = [&](const char *name) { return query.FieldByName(QString::fromLatin1(name)); };
        TRow row;
        row.Id = field("ID")->AsLargeInt();
        row.Parent = field("Parent")->IsNull() ? -1 : field("Parent")->AsLargeInt();
        row.Name = field("Name")->AsString();
        row.Folder = field("Folder")->AsBoolean();
        row.Size = field("Size")->IsNull() ? -1 : field("Size")->AsLargeInt();
        row.HasModified = !field("Modified")->IsNull();
        if (row.HasModified)
            row.Modified = field("Modified")->AsDateTime();
        row.ImageId = field("ImageID")->AsLargeInt();
        row.Cd = field("CD")->IsNull() ? -1 : field("CD")->AsLargeInt();
        row.HasFullPath = !field("FullPath")->IsNull();
        row.FullPath = field("FullPath")->AsString();
        volume.insert(row.Id == root ? QString() : row.FullPath + row.Name, row);
    }
    return volume;
}

QStringList TestVolumeScan::Dump()
{
    QStringList lines;
    for (const QString &table : {u"Entries"_s, u"CDs"_s}) {
        TQuery query;
        query.SetDatabase(&FGlobal->Database);
        query.SetSQL({u"SELECT * FROM "_s + table + u" ORDER BY ID"_s});
        query.Open();
        for (; !query.Eof(); query.Next()) {
            QStringList values{table};
            for (int i = 0; i < query.FieldCount(); ++i)
                values << (query.Fields(i)->IsNull() ? u"NULL"_s : query.Fields(i)->AsString());
            lines << values.join(u'|');
        }
    }
    return lines;
}

void TestVolumeScan::SmallTree()
{
    // The type lookup takes everything after the first dot: a.b.c is "b.c", not "c".
    FGlobal->Database.ExecSQL(u"INSERT INTO Ext (Name, ImageID) VALUES ('b.c', :jpg), ('c', :txt)"_s,
                              {TVariant(FJpg), TVariant(FTxt)});
    TTree tree(Root());
    tree.File("a.b.c", 3);
    tree.File("README", 4);
    tree.File(".profile", 2);
    tree.File("archive.tar.gz", 1);
    tree.File("Readme.TXT", 6);
    tree.File("DOCS/notes.md", 5);
    tree.File("DOCS/SubFolder/Photo.JPG", 10);
    tree.Dir("DOCS/Empty");
    const QDateTime odd(QDate(2021, 3, 4), QTime(5, 6, 7));
    const QDateTime even(QDate(2020, 12, 31), QTime(23, 59, 58));
    tree.Time("Readme.TXT", odd);
    tree.Time("DOCS/SubFolder/Photo.JPG", even);
    tree.Time("DOCS", odd);
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));

    const int root = FGlobal->LoadDisk(Root(), QString(), Picture, false);
    QVERIFY(root > 0);
    QVERIFY(FGlobal->DataChanged);
    QVERIFY(!FGlobal->Database.InTransaction());
    QVERIFY(TMessageBox::Shown().isEmpty());

    const TVolume volume = Volume(root);
    QCOMPARE(volume.keys(), (QStringList{u""_s, u".profile"_s, u"A.b.c"_s.toLower(), u"DOCS\\Empty"_s.replace(u"DOCS"_s, u"Docs"_s),
                                         u"DOCS\\Subfolder"_s, u"DOCS\\Subfolder"_s, u"DOCS\\notes.md"_s, u"Docs"_s,
                                         u"README"_s.left(1) + u"eadme"_s, u"Readme.txt"_s, u"archive.tar.gz"_s}));
}

void TestVolumeScan::RootNames_data()
{
}

void TestVolumeScan::RootNames()
{
}

void TestVolumeScan::NoVolume_data()
{
}

void TestVolumeScan::NoVolume()
{
}

void TestVolumeScan::AlreadyCatalogued_data()
{
}

void TestVolumeScan::AlreadyCatalogued()
{
}

void TestVolumeScan::Progress_data()
{
}

void TestVolumeScan::Progress()
{
}

void TestVolumeScan::Stop_data()
{
}

void TestVolumeScan::Stop()
{
}

void TestVolumeScan::UnlistableFolder()
{
}

void TestVolumeScan::SymbolicLinks()
{
}

void TestVolumeScan::DeepChain()
{
}

void TestVolumeScan::OddNames_data()
{
}

void TestVolumeScan::OddNames()
{
}

void TestVolumeScan::SparseFile()
{
}

void TestVolumeScan::FolderVanishes()
{
}

void TestVolumeScan::KilledMidScan()
{
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TestVolumeScan test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_VolumeScan.moc"
