// Reading the entries of archives made by other tools, damaged ones and hostile ones among them.

#include "ArchiveMakers.h"
#include "ArchiveReaders.h"
#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Each entry as "depth path", with " [size]" for a file and " archive" for one read inside.
class TRecorder final : public TArchiveVisitor
{
public:
    QStringList Lines;
    QList<TArchiveEntry> Entries;
    void Entry(const TArchiveEntry &entry, int depth, bool nested) override
    {
        QString line = u"%1 %2"_s.arg(depth).arg(entry.Path);
        if (!entry.IsDirectory)
            line += u" [%1]"_s.arg(entry.Size);
        if (nested)
            line += u" archive"_s;
        Lines << line;
        Entries << entry;
    }
};

QByteArray Noise(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

// Bytes this process has read through read() and its kin so far.
qint64 BytesRead()
{
    QFile io(u"/proc/self/io"_s);
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("rchar: "))
            return line.mid(7).toLongLong();
    return -1;
}

int OpenRead(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
}

} // namespace

class TestArchiveReaders : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(FDir.isValid()); }
    void recognition_data();
    void recognition();
    void recognitionReadsLittle();
    void entries();
    void namesBeyondAsciiInTheCLocale();
    void truncatedKeepsWhatCameBefore();
    void limits_data();
    void limits();
    void nested();
    void probeBudget();
    void encrypted();
    void pathParts_data();
    void pathParts();

private:
    QString Path(const QString &name) const { return FDir.filePath(name); }
    QTemporaryDir FDir;
};

void TestArchiveReaders::recognition_data()
{
    QTest::addColumn<QString>("kind"); // an archive kind, or "text", "zeros", "empty"
    QTest::addColumn<bool>("archive");
    QTest::newRow("zip") << u"zip"_s << true;
    QTest::newRow("tar") << u"tar"_s << true;
    QTest::newRow("tar.gz") << u"tar.gz"_s << true;
    QTest::newRow("tar.xz") << u"tar.xz"_s << true;
    // A script that unpacks the zip joined to it.
    QTest::newRow("text before a zip") << u"script"_s << true;
    QTest::newRow("text") << u"text"_s << false;
    // A tar reader takes a block of zeros for the end of an archive without entries.
    QTest::newRow("zeros") << u"zeros"_s << false;
    QTest::newRow("empty") << u"empty"_s << false;
}

void TestArchiveReaders::recognition()
{
    QFETCH(QString, kind);
    QFETCH(bool, archive);
    // Named .txt: only the content tells.
    const QString path = Path(kind + u".txt"_s);
    if (kind == u"text")
        WriteFile(path, QByteArray("PK is not enough\nname/with/slashes\n").repeated(100));
    else if (kind == u"zeros")
        WriteFile(path, QByteArray(20 * 1024, '\0'));
    else if (kind == u"empty")
        WriteFile(path, QByteArray());
    else
        QVERIFY(MakeArchive(path, {{u"a.txt"_s, "hello"}}, kind == u"script" ? u"zip"_s : kind));
    if (kind == u"script")
        WriteFile(path, QByteArray("#!/bin/sh\nexec unzip \"$0\"\n").repeated(5000) + FileBytes(path));
    TArchiveReader reader;
    QCOMPARE(reader.OpenFile(OpenRead(path)), archive);
    TRecorder recorder;
    QVERIFY(reader.Walk(recorder).isEmpty());
    QCOMPARE(recorder.Lines, archive ? QStringList{u"1 a.txt [5]"_s} : QStringList());
}

void TestArchiveReaders::recognitionReadsLittle()
{
    // A large file that is no archive costs a block at its start and one at its end.
    const QString path = Path(u"movie.mkv"_s);
    WriteFile(path, Noise(8 * 1024 * 1024));
    const int fd = OpenRead(path);
    const qint64 before = BytesRead();
    if (before < 0)
        QSKIP("no /proc/self/io to count the bytes read");
    TArchiveReader reader;
    QVERIFY(!reader.OpenFile(fd));
    QVERIFY2(BytesRead() - before < 512 * 1024, qPrintable(QString::number(BytesRead() - before)));
}

void TestArchiveReaders::entries()
{
    const QString path = Path(u"x.zip"_s);
    QVERIFY(MakeArchive(
        path, {{u"docs/"_s, {}}, {u"docs/old/Read Me.TXT"_s, "12345"}, {u"top.bin"_s, Noise(3000)}}));
    TArchiveReader reader;
    QVERIFY(reader.OpenFile(OpenRead(path)));
    TRecorder recorder;
    QVERIFY(reader.Walk(recorder).isEmpty());
    QCOMPARE(recorder.Lines,
             (QStringList{u"1 docs/"_s, u"1 docs/old/Read Me.TXT [5]"_s, u"1 top.bin [3000]"_s}));
    QVERIFY(recorder.Entries[0].IsDirectory);
    QVERIFY(recorder.Entries[1].HasTime);
    QCOMPARE(recorder.Entries[1].Time, TDateTime::FromParts(2021, 5, 6, 7, 8, 10));
}

void TestArchiveReaders::namesBeyondAsciiInTheCLocale()
{
    const QString path = Path(u"u.zip"_s);
    QVERIFY(MakeArchive(path, {{u"Café/naïve.txt"_s, "x"}}));
    // As a program started without LANG runs.
    const QByteArray previous = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "C");
    TArchiveReader reader;
    const bool opened = reader.OpenFile(OpenRead(path));
    TRecorder recorder;
    reader.Walk(recorder);
    std::setlocale(LC_CTYPE, previous.constData());
    QVERIFY(opened);
    QCOMPARE(recorder.Lines, QStringList{u"1 Café/naïve.txt [1]"_s});
}

void TestArchiveReaders::truncatedKeepsWhatCameBefore()
{
    QList<TArchiveItem> items;
    for (int i = 0; i < 10; ++i)
        items.append({u"f%1.bin"_s.arg(i), Noise(4000 + i)});
    const QString whole = Path(u"whole.zip"_s);
    QVERIFY(MakeArchive(whole, items));
    const QString cut = Path(u"cut.zip"_s);
    WriteFile(cut, FileBytes(whole).left(FileBytes(whole).size() * 6 / 10));

    TArchiveReader reader;
    QVERIFY(reader.OpenFile(OpenRead(cut)));
    TRecorder recorder;
    const QList<TArchiveProblem> problems = reader.Walk(recorder);
    QVERIFY2(recorder.Lines.size() >= 4 && recorder.Lines.size() < 10,
             qPrintable(recorder.Lines.join(u", ")));
    QCOMPARE(recorder.Lines.first(), u"1 f0.bin [4000]"_s);
    QCOMPARE(problems.size(), 1);
    QCOMPARE(problems[0].End, TArchiveEnd::Damaged);
    QCOMPARE(problems[0].EntriesRead, recorder.Lines.size());
}

void TestArchiveReaders::limits_data()
{
    QTest::addColumn<qint64>("maxEntries");
    QTest::addColumn<qint64>("maxHeaderBytes");
    QTest::addColumn<int>("least"); // entries given
    QTest::addColumn<int>("most");
    QTest::addColumn<TArchiveEnd>("end");
    QTest::newRow("entries") << qint64(50) << (qint64(1) << 30) << 50 << 50 << TArchiveEnd::TooManyEntries;
    // Names of 40 bytes: at most 25 of them in 1,000 bytes of headers, fewer with what a zip
    // keeps beside each name.
    QTest::newRow("header bytes") << qint64(1000000) << qint64(1000) << 5 << 25
                                  << TArchiveEnd::TooManyHeaderBytes;
}

void TestArchiveReaders::limits()
{
    QFETCH(qint64, maxEntries);
    QFETCH(qint64, maxHeaderBytes);
    QFETCH(int, least);
    QFETCH(int, most);
    QFETCH(TArchiveEnd, end);
    // Many empty entries: little to store, much to catalogue.
    QList<TArchiveItem> items;
    for (int i = 0; i < 200; ++i)
        items.append({u"%1"_s.arg(i, 40, 10, QChar(u'0')), {}});
    const QString path = Path(u"bomb.zip"_s);
    QVERIFY(MakeArchive(path, items));
    TArchiveLimits limits;
    limits.MaxEntries = maxEntries;
    limits.MaxHeaderBytes = maxHeaderBytes;
    TArchiveReader reader(limits);
    QVERIFY(reader.OpenFile(OpenRead(path)));
    TRecorder recorder;
    const QList<TArchiveProblem> problems = reader.Walk(recorder);
    QVERIFY2(recorder.Lines.size() >= least && recorder.Lines.size() <= most,
             qPrintable(QString::number(recorder.Lines.size())));
    QCOMPARE(problems.size(), 1);
    QCOMPARE(problems[0].End, end);
}

void TestArchiveReaders::nested()
{
    // Four levels: the fourth is read no more, and stays an entry of the third.
    const QString level4 = Path(u"level4.zip"_s);
    QVERIFY(MakeArchive(level4, {{u"bottom.txt"_s, "b"}}));
    const QString level3 = Path(u"level3.zip"_s);
    QVERIFY(MakeArchive(level3, {{u"level4.zip"_s, FileBytes(level4)}}));
    // One inner archive larger than a block, so read from the outer stream rather than memory.
    const QString big = Path(u"big.tar"_s);
    QVERIFY(MakeArchive(big, {{u"noise.bin"_s, Noise(300 * 1024)}, {u"last.txt"_s, "last"}}, u"tar"_s));
    const QString level2 = Path(u"level2.zip"_s);
    QVERIFY(MakeArchive(level2, {{u"in/level3.zip"_s, FileBytes(level3)}, {u"big.tar"_s, FileBytes(big)}}));
    const QString top = Path(u"top.zip"_s);
    QVERIFY(MakeArchive(top, {{u"level2.zip"_s, FileBytes(level2)}, {u"after.txt"_s, "after"}}));

    TArchiveReader reader;
    QVERIFY(reader.OpenFile(OpenRead(top)));
    TRecorder recorder;
    QVERIFY(reader.Walk(recorder).isEmpty());
    QCOMPARE(recorder.Lines, (QStringList{
                                 u"1 level2.zip [%1] archive"_s.arg(FileBytes(level2).size()),
                                 u"2 in/level3.zip [%1] archive"_s.arg(FileBytes(level3).size()),
                                 u"3 level4.zip [%1]"_s.arg(FileBytes(level4).size()),
                                 u"2 big.tar [%1] archive"_s.arg(FileBytes(big).size()),
                                 u"3 noise.bin [307200]"_s,
                                 u"3 last.txt [4]"_s,
                                 u"1 after.txt [5]"_s,
                             }));
}

void TestArchiveReaders::probeBudget()
{
    const QString inner = Path(u"inner.zip"_s);
    QVERIFY(MakeArchive(inner, {{u"x.txt"_s, "x"}}));
    const QString top = Path(u"top.zip"_s);
    QVERIFY(MakeArchive(top, {{u"a.zip"_s, FileBytes(inner)}, {u"b.zip"_s, FileBytes(inner)}}));
    // Once the budget is spent, the entries come without a look inside.
    TArchiveLimits limits;
    limits.MaxProbeBytes = 1;
    TArchiveReader reader(limits);
    QVERIFY(reader.OpenFile(OpenRead(top)));
    TRecorder recorder;
    QVERIFY(reader.Walk(recorder).isEmpty());
    const qint64 size = FileBytes(inner).size();
    QCOMPARE(recorder.Lines, (QStringList{u"1 a.zip [%1] archive"_s.arg(size), u"2 x.txt [1]"_s,
                                          u"1 b.zip [%1]"_s.arg(size)}));
}

void TestArchiveReaders::encrypted()
{
    QTemporaryDir files;
    const QString path = Path(u"locked.zip"_s);
    QVERIFY(MakeEncryptedZip(path, files.path(), {{u"plans.txt"_s, "top secret"}, {u"inner.zip"_s, "PK"}}));
    TArchiveReader reader;
    QVERIFY(reader.OpenFile(OpenRead(path)));
    TRecorder recorder;
    reader.Walk(recorder);
    // The names are there to read; the data is not looked at, inner.zip included.
    QCOMPARE(recorder.Lines, (QStringList{u"1 plans.txt [10]"_s, u"1 inner.zip [2]"_s}));
    QVERIFY(recorder.Entries[0].Encrypted);
}

void TestArchiveReaders::pathParts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<QStringList>("parts");
    QTest::newRow("plain") << u"a/b/c.txt"_s << true << QStringList{u"a"_s, u"b"_s, u"c.txt"_s};
    QTest::newRow("dots and doubled slashes") << u"./a//b/"_s << true << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("top") << u"./"_s << true << QStringList();
    QTest::newRow("dots inside a name") << u"a..b/..c"_s << true << QStringList{u"a..b"_s, u"..c"_s};
    QTest::newRow("up") << u"../x"_s << false << QStringList();
    QTest::newRow("up later") << u"a/../../x"_s << false << QStringList();
    QTest::newRow("absolute") << u"/etc/passwd"_s << false << QStringList();
    QTest::newRow("drive") << u"C:/x"_s << false << QStringList();
    QTest::newRow("backslash") << u"a\\b.txt"_s << false << QStringList();
}

void TestArchiveReaders::pathParts()
{
    QFETCH(QString, path);
    QFETCH(bool, usable);
    QFETCH(QStringList, parts);
    const std::optional<QStringList> result = ArchivePathParts(path);
    QCOMPARE(result.has_value(), usable);
    if (usable)
        QCOMPARE(*result, parts);
}

QTEST_GUILESS_MAIN(TestArchiveReaders)
#include "tst_ArchiveReaders.moc"
