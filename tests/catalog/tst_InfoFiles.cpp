#include "FileNames.h"
#include "InfoFiles.h"
#include "SysUtils.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray realPath(const QByteArray &path)
{
    char *resolved = ::realpath(path.constData(), nullptr);
    const QByteArray result(resolved);
    std::free(resolved);
    return result;
}

QString systemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeFile(const QByteArray &path, const QByteArray &content)
{
    const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0)
        return false;
    const bool written =
        ::write(file, content.constData(), size_t(content.size())) == ssize_t(content.size());
    ::close(file);
    return written;
}

QByteArray repeated(char c, qsizetype count)
{
    return QByteArray(count, c);
}

} // namespace

// Info files are found below a volume root by the names the catalogue keeps, and read as text.
class TestInfoFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void Paths_data();
    void Paths();
    void Decoding_data();
    void Decoding();
    void NoText_data();
    void NoText();
    void SizeLimit_data();
    void SizeLimit();
    void RereadsTheOpenFileFromItsStart();
    void Refused_data();
    void Refused();
    void ReadErrorSaysWhy();
    void DeeperThanAPathMayBeLong();

private:
    // Names are bytes, so that names that are not UTF-8 can be made.
    void Write(const QByteArray &relative, const QByteArray &content);
    void MakeFolder(const QByteArray &relative);
    void Link(const QByteArray &target, const QByteArray &relative);

    std::unique_ptr<QTemporaryDir> FVolume;
    std::unique_ptr<QTemporaryDir> FOutside;
    QByteArray FRoot; // the volume root with links resolved
};

void TestInfoFiles::init()
{
    FVolume = std::make_unique<QTemporaryDir>();
    FOutside = std::make_unique<QTemporaryDir>();
    QVERIFY(FVolume->isValid() && FOutside->isValid());
    FRoot = realPath(QFile::encodeName(FVolume->path()));
}

void TestInfoFiles::cleanup()
{
    // QTemporaryDir removes only names it can decode.
    ::unlink((FRoot + "/d\xE9j\xE0/\xE9t\xE9.nfo").constData());
    ::rmdir((FRoot + "/d\xE9j\xE0").constData());
    FVolume.reset();
    FOutside.reset();
}

void TestInfoFiles::Write(const QByteArray &relative, const QByteArray &content)
{
    QVERIFY2(writeFile(FRoot + '/' + relative, content), relative.constData());
}

void TestInfoFiles::MakeFolder(const QByteArray &relative)
{
    QCOMPARE(::mkdir((FRoot + '/' + relative).constData(), 0755), 0);
}

void TestInfoFiles::Link(const QByteArray &target, const QByteArray &relative)
{
    QCOMPARE(::symlink(target.constData(), (FRoot + '/' + relative).constData()), 0);
}

void TestInfoFiles::Paths_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("infoName");
    // Relative to the resolved volume root; empty when the names must be refused.
    QTest::addColumn<QByteArray>("expected");

    const QString dejaVu = FileNameToText("d\xE9j\xE0");
    const QString ete = FileNameToText("\xE9t\xE9.nfo");
    QVERIFY(dejaVu.size() > 4); // escaped, not decoded

    QTest::newRow("in the root") << u""_s << u"a.diz"_s << "a.diz"_ba;
    QTest::newRow("in a folder") << u"sub"_s << u"b.nfo"_s << "sub/b.nfo"_ba;
    QTest::newRow("two levels") << u"sub\\deeper"_s << u"c.txt"_s << "sub/deeper/c.txt"_ba;
    QTest::newRow("letter case lost by the walk") << u"Sub2"_s << u"Readme.txt"_s << "SUB2/README.TXT"_ba;
    QTest::newRow("names not UTF-8") << dejaVu << ete << "d\xE9j\xE0/\xE9t\xE9.nfo"_ba;
    QTest::newRow("a folder") << u""_s << u"sub"_s << "sub"_ba;
    QTest::newRow("missing file") << u"sub"_s << u"gone.diz"_s << "sub/gone.diz"_ba;
    QTest::newRow("missing folder") << u"nosuch"_s << u"x.diz"_s << "nosuch/x.diz"_ba;
    QTest::newRow("link inside") << u""_s << u"in.diz"_s << "sub/b.nfo"_ba;
    QTest::newRow("link up, still inside") << u"sub"_s << u"up.diz"_s << "a.diz"_ba;

    QTest::newRow("link to a file outside") << u""_s << u"out.diz"_s << QByteArray();
    QTest::newRow("folder linked outside") << u"outdir"_s << u"x.diz"_s << QByteArray();
    QTest::newRow("missing file, folder linked outside") << u"outdir"_s << u"gone.diz"_s << QByteArray();
    QTest::newRow("dangling link") << u""_s << u"dangling.diz"_s << QByteArray();
    QTest::newRow("parent folder") << u".."_s << u"x.diz"_s << QByteArray();
    QTest::newRow("parent inside the path") << u"sub\\.."_s << u"a.diz"_s << QByteArray();
    QTest::newRow("current folder") << u"."_s << u"a.diz"_s << QByteArray();
    QTest::newRow("empty folder name") << u"sub\\\\deeper"_s << u"c.txt"_s << QByteArray();
    QTest::newRow("leading separator") << u"\\sub"_s << u"b.nfo"_s << QByteArray();
    QTest::newRow("trailing separator") << u"sub\\"_s << u"b.nfo"_s << QByteArray();
    QTest::newRow("slash in a folder name") << u"sub/deeper"_s << u"c.txt"_s << QByteArray();
    QTest::newRow("empty name") << u""_s << u""_s << QByteArray();
    QTest::newRow("name .") << u"sub"_s << u"."_s << QByteArray();
    QTest::newRow("name ..") << u"sub"_s << u".."_s << QByteArray();
    QTest::newRow("slash in the name") << u""_s << u"sub/b.nfo"_s << QByteArray();
    QTest::newRow("backslash in the name") << u""_s << u"back\\slash.diz"_s << QByteArray();
    QTest::newRow("NUL in the name") << u""_s << QString(u"a.diz"_s + QChar(0) + u"x"_s) << QByteArray();
}

void TestInfoFiles::Paths()
{
    QFETCH(QString, folder);
    QFETCH(QString, infoName);
    QFETCH(QByteArray, expected);

    Write("a.diz", "a");
    MakeFolder("sub");
    Write("sub/b.nfo", "b");
    MakeFolder("sub/deeper");
    Write("sub/deeper/c.txt", "c");
    MakeFolder("SUB2");
    Write("SUB2/README.TXT", "r");
    MakeFolder("d\xE9j\xE0");
    Write("d\xE9j\xE0/\xE9t\xE9.nfo", "e");
    Write("back\\slash.diz", "s");
    const QByteArray outside = realPath(QFile::encodeName(FOutside->path()));
    QVERIFY(writeFile(outside + "/x.diz", "outside"));
    Link(outside + "/x.diz", "out.diz");
    Link(outside, "outdir");
    Link("sub/b.nfo", "in.diz");
    Link("../a.diz", "sub/up.diz");
    Link("/nonexistent/nowhere", "dangling.diz");

    const std::optional<QByteArray> path = InfoFilePath(FileNameToText(FRoot), folder, infoName);
    const std::optional<QByteArray> slashed = InfoFilePath(FileNameToText(FRoot) + u'/', folder, infoName);
    if (expected.isEmpty()) {
        QVERIFY2(!path, path ? path->constData() : "");
        QVERIFY(!slashed);
    } else {
        QVERIFY(path);
        QCOMPARE(*path, FRoot + '/' + expected);
        QCOMPARE(slashed, path);
    }
}

void TestInfoFiles::Decoding_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    QTest::newRow("UTF-8, line ends kept")
        << "a.txt"_ba
        << "caf\xC3\xA9 \xE2\x82\xAC\r\nline\nend"_ba << u"café €\r\nline\nend"_s;
    QTest::newRow("UTF-8 in a .nfo") << "a.nfo"_ba
                                     << "\xE2\x95\x94\xE2\x95\x97"_ba << u"╔╗"_s;
    QTest::newRow("byte order mark dropped") << "b.txt"_ba
                                             << "\xEF\xBB\xBFhi\n"_ba << u"hi\n"_s;
    QTest::newRow("byte order mark only") << "b.diz"_ba
                                          << "\xEF\xBB\xBF"_ba << QString();
    QTest::newRow("empty") << "e.txt"_ba << QByteArray() << QString();
    QTest::newRow("437 box drawing")
        << "art.nfo"_ba
        << "\xC9\xCD\xBB\r\n\xBA\xB0\xB1\xB2\xDB\xBA\r\n\xC8\xCD\xBC \xE0\xE1\xFE"_ba
        << u"╔═╗\r\n║░▒▓█║\r\n╚═╝ αß■"_s;
    QTest::newRow("437, upper-case extension") << "FILE_ID.DIZ"_ba
                                               << "\x80\x9B\xA9\xF9\xFF"_ba << u"Ç¢⌐∙\u00A0"_s;
    QTest::newRow("437 keeps tabs and controls") << "c.diz"_ba
                                                 << "a\tb\x01\r\n\x7F\xC4"_ba << u"a\tb\u0001\r\n\u007F─"_s;
    QTest::newRow("1252 quotes") << "q.txt"_ba
                                 << "\x93Hi\x94 \x91x\x92 \x85 \x80 \x96"_ba << u"“Hi” ‘x’ … € –"_s;
    QTest::newRow("1252 unassigned bytes")
        << "u.txt"_ba
        << "\x81\x8D\x8F\x90\x9D"_ba << u"\u0081\u008D\u008F\u0090\u009D"_s;
    QTest::newRow("1252 for box bytes in a .txt") << "art.txt"_ba
                                                  << "\xC9\xCD\xBB"_ba << u"ÉÍ»"_s;
    QTest::newRow("overlong form is no UTF-8") << "o.txt"_ba
                                               << "\xC0\xAF"_ba << u"À¯"_s;
    QTest::newRow("surrogate is no UTF-8") << "s.txt"_ba
                                           << "\xED\xA0\x80"_ba << u"í\u00A0€"_s;
    QTest::newRow("past U+10FFFF is no UTF-8") << "p.txt"_ba
                                               << "\xF4\x90\x80\x80"_ba << u"ô\u0090€€"_s;
    QTest::newRow("cut short by the file itself") << "t.txt"_ba
                                                  << "ab\xC3"_ba << u"abÃ"_s;
    QTest::newRow("UTF-8 mark, then a bad byte") << "m.nfo"_ba
                                                 << "\xEF\xBB\xBF"
                                                    "caf\xE9"_ba
                                                 << u"caf\uFFFD"_s;
    QTest::newRow("UTF-16LE mark") << "w.txt"_ba
                                   << "\xFF\xFEh\0\xE9\0\r\0\n\0\x3D\xD8\x00\xDE"_ba << u"hé\r\n😀"_s;
    QTest::newRow("UTF-16BE mark") << "w.nfo"_ba
                                   << "\xFE\xFF\0h\x25\x54\0\n"_ba << u"h╔\n"_s;
    QTest::newRow("UTF-16, a half unit at the end") << "h.txt"_ba
                                                    << "\xFF\xFEo\0k\0!"_ba << u"ok"_s;
    // The DOS glyphs of control bytes (smileys, arrows) are drawn in some art; they stay.
    QTest::newRow("437 art with control glyphs")
        << "art.nfo"_ba
        << "\x01\x02 Smile \x10\x11 arrows \xDB\xDB\r\n\x03 Heart"_ba
        << u"\u0001\u0002 Smile \u0010\u0011 arrows ██\r\n\u0003 Heart"_s;
}

void TestInfoFiles::NoText_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("all NUL") << "file_id.diz"_ba << QByteArray(1234567, '\0');
    QTest::newRow("mostly binary") << "x.nfo"_ba
                                   << "\x7F"
                                      "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0\x01\0\0\0\x10\x1A"_ba;
    QTest::newRow("UTF-16 without its mark") << "readme.txt"_ba
                                             << "r\0e\0a\0d\0\r\0\n\0"_ba;
    QTest::newRow("UTF-16 mark before zeros") << "z.txt"_ba
                                              << "\xFF\xFE" + QByteArray(64, '\0');
}

// Such a file leaves the description as it was: nothing, not an error.
void TestInfoFiles::NoText()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, content);

    Write(name, content);
    TInfoFileReader reader;
    QCOMPARE(reader.Read(FRoot + '/' + name), std::nullopt);
}

void TestInfoFiles::Decoding()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    Write(name, content);
    TInfoFileReader reader;
    const std::optional<QString> text = reader.Read(FRoot + '/' + name);
    QVERIFY(text);
    QCOMPARE(*text, expected);
}

void TestInfoFiles::SizeLimit_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("last");

    const qsizetype limit = MaxInfoFileSize;
    QCOMPARE(limit, 1048576);
    QTest::newRow("longer: cut") << repeated('a', limit) + "bbbb" << int(limit) << u"a"_s;
    QTest::newRow("exactly the limit") << repeated('a', limit - 1) + 'z' << int(limit) << u"z"_s;
    QTest::newRow("two-byte character cut")
        << repeated('a', limit - 1) + "\xC3\xA9tail" << int(limit - 1) << u"a"_s;
    QTest::newRow("three-byte character cut")
        << repeated('a', limit - 2) + "\xE2\x82\xAC" << int(limit - 2) << u"a"_s;
    QTest::newRow("whole character before the cut")
        << repeated('a', limit - 2) + "\xC3\xA9x" << int(limit - 1) << u"é"_s;
    QTest::newRow("ends inside a character, not cut")
        << repeated('a', limit - 1) + "\xC3" << int(limit) << u"Ã"_s;
    QTest::newRow("not UTF-8, cut") << "\xFF" + repeated('a', limit) << int(limit) << u"a"_s;
}

void TestInfoFiles::SizeLimit()
{
    QFETCH(QByteArray, content);
    QFETCH(int, length);
    QFETCH(QString, last);

    Write("big.txt", content);
    TInfoFileReader reader;
    const std::optional<QString> text = reader.Read(FRoot + "/big.txt");
    QVERIFY(text);
    QCOMPARE(text->size(), length);
    QCOMPARE(text->right(1), last);
}

void TestInfoFiles::RereadsTheOpenFileFromItsStart()
{
    const QByteArray first = FRoot + "/first.diz";
    const QByteArray second = FRoot + "/second.diz";
    Write("first.diz", "one");
    Write("second.diz", "two");

    TInfoFileReader reader;
    QCOMPARE(reader.Read(first), u"one"_s);
    // Another file in its place: the reader still holds the one it opened and reads it again.
    QCOMPARE(::unlink(first.constData()), 0);
    Write("first.diz", "replaced");
    QCOMPARE(reader.Read(first), u"one"_s);
    QCOMPARE(reader.Read(first), u"one"_s);

    QCOMPARE(reader.Read(second), u"two"_s);
    QCOMPARE(reader.Read(first), u"replaced"_s);
    QCOMPARE(::unlink(first.constData()), 0);
    reader.Close();
    QVERIFY_THROWS_EXCEPTION(Exception, reader.Read(first));
}

void TestInfoFiles::Refused_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("error");

    QTest::newRow("missing") << "missing.diz"_ba << ENOENT;
    QTest::newRow("directory") << "folder.diz"_ba << EISDIR;
    QTest::newRow("FIFO") << "fifo.diz"_ba << EINVAL;
    QTest::newRow("symbolic link") << "link.diz"_ba << ELOOP;
    QTest::newRow("below a file") << "plain.txt/x.diz"_ba << ENOTDIR;
}

void TestInfoFiles::Refused()
{
    QFETCH(QByteArray, name);
    QFETCH(int, error);

    Write("plain.txt", "plain");
    MakeFolder("folder.diz");
    QCOMPARE(::mkfifo((FRoot + "/fifo.diz").constData(), 0644), 0);
    Link("plain.txt", "link.diz");

    TInfoFileReader reader;
    QCOMPARE(reader.Read(FRoot + "/plain.txt"), u"plain"_s);
    const QByteArray path = FRoot + '/' + name;
    try {
        reader.Read(path);
        QFAIL("not refused");
    } catch (const Exception &e) {
        QCOMPARE(e.Message(), u"Cannot open file %1: %2"_s.arg(FileNameToText(path), systemMessage(error)));
    }
    QCOMPARE(reader.Read(FRoot + "/plain.txt"), u"plain"_s);
}

// Reading a process's memory from its start fails as a failing disc does: the error must reach
// the import, not read as an empty file. (/proc/self is a link, which the reader refuses.)
void TestInfoFiles::ReadErrorSaysWhy()
{
    const QByteArray mem = "/proc/" + QByteArray::number(::getpid()) + "/mem";
    TInfoFileReader reader;
    try {
        reader.Read(mem);
        QFAIL("no error");
    } catch (const EInfoFileError &e) {
        QCOMPARE(e.Error(), EIO);
        QVERIFY(e.DiscUnreadable());
        QCOMPARE(e.Message(), u"Cannot read file %1: %2"_s.arg(QString::fromLatin1(mem), systemMessage(EIO)));
    }
}

void TestInfoFiles::DeeperThanAPathMayBeLong()
{
    // 200 folders of 25 letters: over 5,000 bytes, past PATH_MAX (4,096).
    const QByteArray name(25, 'f');
    int fd = ::open(FRoot.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QStringList folders;
    for (int i = 0; i < 200; ++i) {
        QCOMPARE(::mkdirat(fd, i % 2 ? name.constData() : name.toUpper().constData(), 0755), 0);
        const int next =
            ::openat(fd, i % 2 ? name.constData() : name.toUpper().constData(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        QVERIFY(fd >= 0);
        folders << QString::fromLatin1(name); // as the walk keeps them: letters lowered
    }
    const int file = ::openat(fd, "FILE_ID.DIZ", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(file >= 0);
    QCOMPARE(::write(file, "deep", 4), 4);
    ::close(file);
    ::close(fd);

    const std::optional<QByteArray> path =
        InfoFilePath(FileNameToText(FRoot), folders.join(u'\\'), u"file_id.diz"_s);
    QVERIFY(path);
    QVERIFY(path->size() > PATH_MAX);
    QVERIFY(path->endsWith("/" + name + "/FILE_ID.DIZ"));
    TInfoFileReader reader;
    QCOMPARE(reader.Read(*path), u"deep"_s);
    QCOMPARE(reader.Read(*path), u"deep"_s);
    QProcess::execute(u"rm"_s, {u"-rf"_s, u"--"_s, FileNameToText(FRoot + '/' + name.toUpper())});
}

QTEST_GUILESS_MAIN(TestInfoFiles)
#include "tst_InfoFiles.moc"
