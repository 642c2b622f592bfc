// vor-nex-cli scanning volumes whose names and files are hostile to a careless walk: control
// characters, names as long as a name may be, letter-case twins, bytes that are no UTF-8, a
// folder that cannot be read, and pipes and devices that look like ordinary files. The scan never
// blocks, and the catalogue holds exactly what the tree holds.

#include "CliFixture.h"
#include "EntryRows.h"
#include "FileNames.h"

#include <QStandardPaths>
#include <dirent.h>
#include <sys/sysmacros.h>

namespace {

enum TKind { kName, kCaseTwins, kFifo, kCharDevice, kBlockDevice, kUnreadable };

// What the catalogue should hold of the tree below `relative`, one "FullPath|Name|Folder|Size" a
// line: each name as it is stored, each folder's path as found. A folder that no one may read
// (mode 000) is listed as empty, since the walk cannot list it; this process may be root.
void Expect(const QByteArray &root, const QByteArray &relative, QStringList &rows, qint64 &total)
{
    total = 0;
    const QByteArray path = relative.isEmpty() ? root : root + '/' + relative;
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return;
    QList<QByteArray> names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    ::closedir(dir);
    QString fullPath = FileNameToText(relative).replace(u'/', u'\\');
    if (!fullPath.isEmpty())
        fullPath += u'\\';
    for (const QByteArray &name : names) {
        const QByteArray inside = relative.isEmpty() ? name : relative + '/' + name;
        struct stat info;
        if (::lstat((root + '/' + inside).constData(), &info) != 0)
            continue;
        const bool folder = S_ISDIR(info.st_mode);
        qint64 size = info.st_size;
        if (folder) {
            size = 0;
            if ((info.st_mode & 0777) != 0)
                Expect(root, inside, rows, size);
        }
        total += size;
        rows << QStringList{fullPath, LowerAfterFirst(FileNameToText(name)),
                            folder ? QStringLiteral("1") : QStringLiteral("0"), QString::number(size)}
                    .join(u'|');
    }
}

} // namespace

class TestHostileVolumes : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void Scanned_data();
    void Scanned();

private:
    QString Root() const { return FCli->Path(QStringLiteral("volume")); }

    std::unique_ptr<TCliFixture> FCli;
    QByteArray FLocked;
};

void TestHostileVolumes::init()
{
    FCli = std::make_unique<TCliFixture>();
}

void TestHostileVolumes::cleanup()
{
    // Readable again, so that the temporary folder can be removed by anyone.
    if (!FLocked.isEmpty())
        ::chmod(FLocked.constData(), 0755);
    FLocked.clear();
    // QDir cannot remove a name that is no text; rm works on the bytes.
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), QStringLiteral("--"), Root()});
    FCli.reset();
}

void TestHostileVolumes::Scanned_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("kind");

    QTest::newRow("newline") << QByteArray("new\nline.txt") << int(kName);
    QTest::newRow("tab") << QByteArray("tab\there") << int(kName);
    QTest::newRow("carriage return") << QByteArray("cr\rname") << int(kName);
    QTest::newRow("255 bytes") << QByteArray(251, 'N') + ".TXT" << int(kName);
    QTest::newRow("255 bytes of 3-byte UTF-8") << QByteArray("\xe2\x82\xac").repeated(85) << int(kName);
    QTest::newRow("255 bytes of 2-byte UTF-8 and one")
        << QByteArray("\xc3\x89").repeated(127) + 'X' << int(kName);
    QTest::newRow("not UTF-8") << QByteArray("caf\xe9 \xff\xfe.txt") << int(kName);
    QTest::newRow("letter case only") << QByteArray() << int(kCaseTwins);
    QTest::newRow("FIFO") << QByteArray("song.mp3") << int(kFifo);
    QTest::newRow("character device") << QByteArray("data.bin") << int(kCharDevice);
    QTest::newRow("block device") << QByteArray("disk.img") << int(kBlockDevice);
    QTest::newRow("unreadable folder") << QByteArray("locked") << int(kUnreadable);
}

void TestHostileVolumes::Scanned()
{
    QFETCH(QByteArray, name);
    QFETCH(int, kind);

    TByteTree tree(Root());
    tree.File("plain.txt", 7);
    const QByteArray node = tree.Path(name);
    QStringList wrapper;
    switch (TKind(kind)) {
    case kName:
        // As a folder with a file in it, and as a file.
        tree.File(name + "/inner.txt", 3);
        tree.File("files/" + name, 5);
        break;
    case kCaseTwins:
        tree.File("readme.TXT", 1);
        tree.File("README.txt", 2);
        tree.File("ReadMe.Txt", 3);
        tree.File("Docs/a", 4);
        tree.File("DOCS/b", 5);
        break;
    case kFifo:
        QVERIFY(::mkfifo(node.constData(), 0644) == 0);
        break;
    case kCharDevice:
    case kBlockDevice:
        if (::mknod(node.constData(), (kind == kCharDevice ? S_IFCHR : S_IFBLK) | 0644,
                    kind == kCharDevice ? makedev(1, 3) : makedev(7, 0)) != 0)
            QSKIP("device nodes can be made only by root");
        break;
    case kUnreadable:
        tree.File(name + "/inner.txt", 3);
        tree.File(name + "/deeper/x", 1);
        QVERIFY(::chmod(node.constData(), 0) == 0);
        FLocked = node;
        if (::geteuid() == 0) {
            // Root reads any folder; without the capabilities that let it, the tool cannot.
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (setpriv.isEmpty())
                QSKIP("root reads any folder, and setpriv is missing to take that from the tool");
            wrapper = QStringList{setpriv, QStringLiteral("--bounding-set"),
                                  QStringLiteral("-dac_override,-dac_read_search")};
        }
        break;
    }
    QVERIFY2(tree.Error.isEmpty(), qPrintable(tree.Error));

    const QString catalogue = FCli->Path(QStringLiteral("catalogue.db"));
    QStringList args{QStringLiteral("--catalog"), catalogue, QStringLiteral("scan"), Root()};
    QProcess child;
    FCli->Prepare(child);
    if (!wrapper.isEmpty()) {
        args = wrapper.mid(1) + QStringList{child.program()} + args;
        child.setProgram(wrapper.first());
    }
    child.setArguments(args);
    child.start();
    // A walk that opened a pipe or a device would wait here for ever.
    const TCliRun run = TCliFixture::Finish(child, 30000);
    QVERIFY2(run.Finished, "the scan blocked");
    QCOMPARE(run.Status, QProcess::NormalExit);
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Err));
    const qint64 root = run.Out.trimmed().toLongLong();

    QStringList expected;
    qint64 total = 0;
    Expect(QFile::encodeName(Root()), QByteArray(), expected, total);
    const TRawCatalogue raw(catalogue);
    QStringList stored =
        raw.Rows(QStringLiteral("SELECT IFNULL(FullPath, ''), Name, Folder, Size FROM Entries "
                                "WHERE CD = ?1 AND ID <> ?1"),
                 root);
    expected.sort();
    stored.sort();
    QCOMPARE(stored, expected);
    QCOMPARE(raw.Rows(QStringLiteral("SELECT Size FROM Entries WHERE ID = ?1"), root),
             QStringList{QString::number(total)});

    // Each stored folder path turns back into the bytes of a folder on the disk.
    const QStringList paths = raw.Rows(
        QStringLiteral("SELECT DISTINCT FullPath FROM Entries WHERE CD = ?1 AND FullPath IS NOT NULL"), root);
    QVERIFY(!paths.isEmpty() || kind != kName);
    for (const QString &path : paths) {
        const QByteArray bytes = TextToFileName(QString(path).chopped(1).replace(u'\\', u'/'));
        struct stat info;
        QVERIFY2(::lstat(tree.Path(bytes).constData(), &info) == 0 && S_ISDIR(info.st_mode),
                 qPrintable(path));
    }
}

QTEST_GUILESS_MAIN(TestHostileVolumes)
#include "tst_HostileVolumes.moc"
