#include "CatalogFixture.h"
#include "SysUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using TAnswers = QList<TSuspiciousAnswer>;

namespace {

const QString Old = u"old"_s;
const QString IonText = u"Ion text\r\n"_s;

} // namespace

// The import of info files into the descriptions of a volume that was just walked, on a real
// catalogue and a volume made of a temporary folder tree.
class TestLoadDescriptions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void Descriptions_data();
    void Descriptions();
    void SuspiciousPairs_data();
    void SuspiciousPairs();
    void AllHoldsForOneImport();
    void VolumeWithoutInfoFiles();
    void NotedFoldersGiveWhatTheWholeVolumeGives();
    void Progress_data();
    void Progress();
    void UnreadableInfoFileIsSkipped_data();
    void UnreadableInfoFileIsSkipped();
    void DeeperThanAPathMayBeLong();

private:
    // Catalogues the folder as a volume of the double's and sets every description of it to old.
    int Catalogue(const QString &root, quint32 serial);
    // The description of an entry named by its path below the root as the catalogue keeps it
    // ("ion\a.txt"), "" for the root itself.
    QString Description(const QString &entry, int cd = 0);

    std::unique_ptr<TCatalogFixture> F;
    std::unique_ptr<QTemporaryDir> FVolume;
    std::unique_ptr<QTemporaryDir> FOutside;
    int FCd = 0;
    // The answers to the next questions about suspicious pairs (then Skip), and the pairs asked
    // about: (info file, file).
    TAnswers FAnswers;
    QList<std::pair<QString, QString>> FAsked;
};

void TestLoadDescriptions::init()
{
    F = std::make_unique<TCatalogFixture>();
    FVolume = std::make_unique<QTemporaryDir>();
    FOutside = std::make_unique<QTemporaryDir>();
    QVERIFY(F->IsValid() && FVolume->isValid() && FOutside->isValid());
    FAnswers.clear();
    FAsked.clear();
    F->Global->OnConfirmSuspicious = [this](const QString &infoName, const QString &name) {
        FAsked.append({infoName, name});
        return FAnswers.isEmpty() ? TSuspiciousAnswer::Skip : FAnswers.takeFirst();
    };

    // The default patterns: file_id.diz for folders, descript.ion and *.diz for files.
    const QString v = FVolume->path();
    WriteFile(v + u"/file_id.diz"_s, "Root text\r\n");
    WriteFile(v + u"/game.exe"_s, "MZ");
    WriteFile(v + u"/game.diz"_s, "Game\r\ntext");
    // The walk keeps these as "Sub" and "File_id.diz"; the drawing is code page 437.
    WriteFile(v + u"/SUB/FILE_ID.DIZ"_s, "\xC9\xCD\xBB Sub");
    for (const QString &name : {u"a.txt"_s, u"b.txt"_s, u"c.txt"_s})
        WriteFile(v + u"/ion/"_s + name, "text");
    WriteFile(v + u"/ion/descript.ion"_s, IonText.toUtf8());
    WriteFile(FOutside->path() + u"/secret"_s, "secret");
    QDir(v).mkpath(u"trap"_s);
    QVERIFY(QFile::link(FOutside->path() + u"/secret"_s, v + u"/trap/file_id.diz"_s));
    WriteFile(v + u"/esc/file_id.diz"_s, "Escape text");
    WriteFile(v + u"/plain/x.txt"_s, "x");
    WriteFile(v + u"/zeros/file_id.diz"_s, QByteArray(1234567, '\0'));

    FCd = Catalogue(v, 0x1234ABCD);
    QVERIFY(FCd > 0);
    // A path that names the parent folder, as a tampered catalogue could.
    F->Global->Database.ExecSQL(u"UPDATE Entries SET FullPath = '..\\' WHERE CD = ? AND FullPath = 'esc\\'"_s,
                                {TVariant(FCd)});
}

void TestLoadDescriptions::cleanup()
{
    F.reset();
    FVolume.reset();
    FOutside.reset();
}

int TestLoadDescriptions::Catalogue(const QString &root, quint32 serial)
{
    F->Services.AddDrive(root, u"VOL"_s, serial, 1000000);
    const int cd = F->Global->LoadDisk(root, QString(), 2, false);
    F->Global->Database.ExecSQL(u"UPDATE Entries SET Description = ? WHERE CD = ?"_s,
                                {TVariant(Old), TVariant(cd)});
    return cd;
}

QString TestLoadDescriptions::Description(const QString &entry, int cd)
{
    const qsizetype separator = entry.lastIndexOf(u'\\');
    TQuery query;
    query.SetDatabase(&F->Global->Database);
    query.SetSQL({u"SELECT Description FROM Entries WHERE CD = :cd AND "
                  "(:root AND ID = :cd OR NOT :root AND Name = :name AND IFNULL(FullPath, '') = :path)"_s});
    query.ParamByName(u"cd"_s)->SetAsInteger(cd ? cd : FCd);
    query.ParamByName(u"root"_s)->SetAsBoolean(entry.isEmpty());
    query.ParamByName(u"name"_s)->SetAsString(entry.mid(separator + 1));
    query.ParamByName(u"path"_s)->SetAsString(entry.left(separator + 1));
    query.Open();
    if (query.IsEmpty())
        return u"<no entry>"_s;
    return query.Fields(0)->IsNull() ? u"<null>"_s : query.Fields(0)->AsString();
}

void TestLoadDescriptions::Descriptions_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");

    QTest::newRow("root from file_id.diz") << u""_s << u"Root text\r\n"_s;
    QTest::newRow("folder whose names lost their case, 437") << u"Sub"_s << u"╔═╗ Sub"_s;
    QTest::newRow("file from its own .diz") << u"game.exe"_s << u"Game\r\ntext"_s;
    QTest::newRow("the .diz itself") << u"game.diz"_s << Old;
    QTest::newRow("descript.ion, first of its rows") << u"ion\\a.txt"_s << IonText;
    QTest::newRow("descript.ion, read again") << u"ion\\b.txt"_s << IonText;
    QTest::newRow("descript.ion, read a third time") << u"ion\\c.txt"_s << IonText;
    QTest::newRow("info file linked outside") << u"trap"_s << Old;
    QTest::newRow("info path through ..") << u"esc"_s << Old;
    QTest::newRow("folder without info file") << u"plain"_s << Old;
    QTest::newRow("info file of zeros") << u"zeros"_s << Old;
    QTest::newRow("file without info file") << u"plain\\x.txt"_s << Old;
}

void TestLoadDescriptions::Descriptions()
{
    QFETCH(QString, entry);
    QFETCH(QString, expected);

    QCOMPARE(Description(entry), Old);
    FAnswers << TSuspiciousAnswer::ProcessAll;
    F->Global->LoadDescriptions(FCd, FVolume->path());
    QCOMPARE(FAsked.size(), 1);
    QCOMPARE(Description(entry), expected);
    QVERIFY(!F->Global->Database.InTransaction());
}

void TestLoadDescriptions::SuspiciousPairs_data()
{
    QTest::addColumn<bool>("asked"); // false: nobody answers, and the pairs are skipped
    QTest::addColumn<TAnswers>("answers");

    using enum TSuspiciousAnswer;
    QTest::newRow("all takes all") << true << TAnswers{ProcessAll};
    QTest::newRow("skip skips each") << true << TAnswers{Skip, Skip, Skip};
    QTest::newRow("this takes one") << true << TAnswers{Skip, ProcessThis, Skip};
    QTest::newRow("this, then all for the rest") << true << TAnswers{ProcessThis, ProcessAll};
    QTest::newRow("skip, then all for the rest") << true << TAnswers{Skip, ProcessAll};
    QTest::newRow("nobody to ask skips each") << false << TAnswers{};
}

// The files of ion are paired with descript.ion by the folder, not by name, so each pair is asked
// about. The walk decides their order, so what is expected follows from what was asked.
void TestLoadDescriptions::SuspiciousPairs()
{
    QFETCH(bool, asked);
    QFETCH(TAnswers, answers);

    if (!asked)
        F->Global->OnConfirmSuspicious = nullptr;
    FAnswers = answers;
    F->Global->LoadDescriptions(FCd, FVolume->path());
    QCOMPARE(FAsked.size(), answers.size());

    QStringList unasked{u"a.txt"_s, u"b.txt"_s, u"c.txt"_s};
    for (qsizetype i = 0; i < FAsked.size(); ++i) {
        QCOMPARE(FAsked[i].first, u"descript.ion"_s);
        const QString name = FAsked[i].second;
        QVERIFY2(unasked.removeOne(name), qPrintable(name));
        QCOMPARE(Description(u"ion\\"_s + name), answers[i] == TSuspiciousAnswer::Skip ? Old : IonText);
    }
    for (const QString &name : std::as_const(unasked))
        QCOMPARE(Description(u"ion\\"_s + name), asked ? IonText : Old);
    // Pairs of the same name are never asked about.
    QCOMPARE(Description(u"game.exe"_s), u"Game\r\ntext"_s);
}

void TestLoadDescriptions::AllHoldsForOneImport()
{
    FAnswers << TSuspiciousAnswer::ProcessAll;
    F->Global->LoadDescriptions(FCd, FVolume->path());
    QCOMPARE(FAsked.size(), 1);

    F->Global->Database.ExecSQL(u"UPDATE Entries SET Description = ? WHERE CD = ?"_s,
                                {TVariant(Old), TVariant(FCd)});
    F->Global->LoadDescriptions(FCd, FVolume->path());
    QCOMPARE(FAsked.size(), 4);
    for (const QString &name : {u"a.txt"_s, u"b.txt"_s, u"c.txt"_s})
        QCOMPARE(Description(u"ion\\"_s + name), Old);
}

void TestLoadDescriptions::VolumeWithoutInfoFiles()
{
    QTemporaryDir other;
    WriteFile(other.path() + u"/docs/readme.doc"_s, "r");
    WriteFile(other.path() + u"/notes.txt"_s, "n");
    const int otherCd = Catalogue(other.path(), 0x5678);
    QVERIFY(otherCd > 0);
    // The first volume was imported before; its descriptions are then changed by hand.
    FAnswers << TSuspiciousAnswer::ProcessAll;
    F->Global->LoadDescriptions(FCd, FVolume->path());
    F->Global->Database.ExecSQL(u"UPDATE Entries SET Description = ? WHERE CD = ?"_s,
                                {TVariant(Old), TVariant(FCd)});
    FAsked.clear();

    F->Global->LoadDescriptions(otherCd, other.path());
    QVERIFY(FAsked.isEmpty());
    for (const QString &entry : {u""_s, u"docs"_s, u"docs\\readme.doc"_s, u"notes.txt"_s})
        QCOMPARE(Description(entry, otherCd), Old);
    // Only the volume named was imported, not the one before it.
    QCOMPARE(Description(QString()), Old);
    QCOMPARE(Description(u"game.exe"_s), Old);
}

// Right after its walk only the folders the walk noted are looked at; a later import looks at the
// whole volume. Both give the same, questions included.
void TestLoadDescriptions::NotedFoldersGiveWhatTheWholeVolumeGives()
{
    const QString all = u"SELECT ID, Description FROM Entries WHERE CD = %1 ORDER BY ID"_s.arg(FCd);
    FAnswers = {TSuspiciousAnswer::ProcessThis, TSuspiciousAnswer::Skip, TSuspiciousAnswer::ProcessThis};
    F->Global->LoadDescriptions(FCd, FVolume->path());
    const QStringList noted = F->Rows(all);
    const auto asked = FAsked;
    QVERIFY(noted.size() > 10 && asked.size() == 3);

    F->Global->Database.ExecSQL(u"UPDATE Entries SET Description = ? WHERE CD = ?"_s,
                                {TVariant(Old), TVariant(FCd)});
    FAsked.clear();
    FAnswers = {TSuspiciousAnswer::ProcessThis, TSuspiciousAnswer::Skip, TSuspiciousAnswer::ProcessThis};
    F->Global->LoadDescriptions(FCd, FVolume->path());
    QCOMPARE(F->Rows(all), noted);
    QCOMPARE(FAsked, asked);
}

void TestLoadDescriptions::Progress_data()
{
    QTest::addColumn<quint32>("step");
    QTest::addColumn<bool>("reports");

    QTest::newRow("clock standing still") << 0u << false;
    QTest::newRow("300 ms a reading") << 300u << true;
}

void TestLoadDescriptions::Progress()
{
    QFETCH(quint32, step);
    QFETCH(bool, reports);

    QList<int> percents;
    bool asExpected = true;
    F->Global->OnProgress = [&](TGlobal *sender, int percent, int secondsLeft) {
        asExpected = asExpected && sender == F->Global.get() && secondsLeft == 0 &&
                     F->Global->Database.InTransaction();
        percents << percent;
        return true; // a stop request, which the import ignores
    };
    // Every reading of the clock is step milliseconds after the one before.
    F->Services.SetTick(0);
    F->Services.SetTickStep(step);
    FAnswers << TSuspiciousAnswer::ProcessAll;
    F->Global->LoadDescriptions(FCd, FVolume->path());
    F->Global->OnProgress = nullptr;

    QCOMPARE(!percents.isEmpty(), reports);
    QVERIFY(asExpected);
    QVERIFY(!F->Global->Database.InTransaction());
    QVERIFY(std::is_sorted(percents.cbegin(), percents.cend()));
    if (reports) {
        QVERIFY(percents.first() > 0);
        QCOMPARE(percents.last(), 100);
    }
    QCOMPARE(Description(u"ion\\c.txt"_s), IonText);
}

void TestLoadDescriptions::UnreadableInfoFileIsSkipped_data()
{
    QTest::addColumn<QString>("info"); // below the volume root
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    const auto reason = [](int error) { return QString::fromLocal8Bit(std::strerror(error)); };
    QTest::newRow("removed") << u"ion/descript.ion"_s << u"removed"_s << reason(ENOENT);
    QTest::newRow("a folder in its place") << u"ion/descript.ion"_s << u"folder"_s << reason(EISDIR);
    QTest::newRow("a dangling link") << u"ion/descript.ion"_s << u"dangling"_s
                                     << u"it is not on the volume"_s;
    QTest::newRow("a FIFO, before the walk") << u"SUB/FILE_ID.DIZ"_s << u"fifo"_s << reason(EINVAL);
    QTest::newRow("a device, before the walk") << u"ion/descript.ion"_s << u"device"_s << reason(EINVAL);
}

// The import passes over the file, tells of it, and goes on: what the other info files describe
// is imported. A FIFO or a device is never opened, so the import cannot block on it.
void TestLoadDescriptions::UnreadableInfoFileIsSkipped()
{
    QFETCH(QString, info);
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    const QString path = FVolume->path() + u'/' + info;
    QVERIFY(QFile::remove(path));
    if (kind == u"folder")
        QVERIFY(QDir().mkdir(path));
    else if (kind == u"dangling")
        QVERIFY(QFile::link(u"gone"_s, path));
    else if (kind == u"fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    else if (kind == u"device" &&
             ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0644, makedev(1, 3)) != 0)
        QSKIP("no device node can be made here");
    const bool walkedAgain = kind == u"fifo" || kind == u"device";
    if (walkedAgain) {
        FCd = F->Global->LoadDisk(FVolume->path(), QString(), 2, true);
        QVERIFY(FCd > 0);
        F->Global->Database.ExecSQL(u"UPDATE Entries SET Description = ? WHERE CD = ?"_s,
                                    {TVariant(Old), TVariant(FCd)});
    }

    FAnswers << TSuspiciousAnswer::ProcessAll;
    const QList<TSkippedInfoFile> skipped = F->Global->LoadDescriptions(FCd, FVolume->path());
    // The link out of the volume is told of too (and the path through "..", until a new walk
    // writes the paths afresh); the file named by three rows in a row once.
    const QString canonical = QFileInfo(FVolume->path()).canonicalFilePath();
    const QString shown = kind == u"dangling" ? FVolume->path() + u'/' + info : canonical + u'/' + info;
    QVERIFY(skipped.contains(TSkippedInfoFile{shown, reason}));
    QCOMPARE(skipped.size(), walkedAgain ? 2 : 3);
    QVERIFY(!F->Global->Database.InTransaction());

    QCOMPARE(Description(QString()), u"Root text\r\n"_s);
    QCOMPARE(Description(u"Sub"_s), info.startsWith(u"SUB"_s) ? Old : u"╔═╗ Sub"_s);
    QCOMPARE(Description(u"game.exe"_s), u"Game\r\ntext"_s);
    QCOMPARE(Description(u"ion\\a.txt"_s), info.startsWith(u"ion"_s) ? Old : IonText);
}

void TestLoadDescriptions::DeeperThanAPathMayBeLong()
{
    // 200 folders of 25 letters below "deep": over 5,000 bytes, past PATH_MAX (4,096).
    const QByteArray name(25, 'd');
    const QByteArray top = QFile::encodeName(FVolume->path()) + "/deep";
    QCOMPARE(::mkdir(top.constData(), 0755), 0);
    int fd = ::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QString entry = u"deep"_s;
    for (int i = 0; i < 200 && fd >= 0; ++i) {
        QCOMPARE(::mkdirat(fd, name.constData(), 0755), 0);
        const int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        entry += u'\\' + QString::fromLatin1(name);
    }
    QVERIFY(fd >= 0);
    const int file = ::openat(fd, "file_id.diz", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ::close(fd);
    QVERIFY(file >= 0);
    QCOMPARE(::write(file, "Deep text", 9), 9);
    ::close(file);
    FCd = F->Global->LoadDisk(FVolume->path(), QString(), 2, true);
    QVERIFY(FCd > 0);

    FAnswers << TSuspiciousAnswer::ProcessAll;
    const QList<TSkippedInfoFile> skipped = F->Global->LoadDescriptions(FCd, FVolume->path());
    QCOMPARE(Description(entry), u"Deep text"_s);
    QCOMPARE(Description(QString()), u"Root text\r\n"_s);
    QCOMPARE(skipped.size(), 1); // the link out of the volume
    // QTemporaryDir cannot remove a tree deeper than a path may be long; rm opens it level by level.
    QProcess::execute(u"rm"_s, {u"-rf"_s, u"--"_s, QFile::decodeName(top)});
}

QTEST_MAIN(TestLoadDescriptions)
#include "tst_LoadDescriptions.moc"
