#include "DiscImageSources.h"
#include "FileNames.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr qsizetype Sector = 2048;
// 2021-03-04 05:06:08 UTC: an even second, so truncation to two seconds keeps it.
constexpr time_t FileTime = 1614834368;

QString Message(const QString &file, const QString &reason)
{
    return QStringLiteral("%1 is not a disc image VOR-NEX can read: %2").arg(file, reason);
}

// The serial as Windows gives it, computed here from the image's bytes: the Joliet descriptor
// when there is one, else the primary one, summed byte by byte into four wrapping lanes.
quint32 SerialOfImage(const QByteArray &image)
{
    QByteArray chosen;
    for (qsizetype s = 16; (s + 1) * Sector <= image.size(); ++s) {
        const QByteArray sector = image.mid(s * Sector, Sector);
        if (sector.mid(1, 5) != "CD001" || quint8(sector[0]) == 255)
            break;
        const QByteArray escape = sector.mid(88, 3);
        if (sector[0] == 2 && (escape == "%/@" || escape == "%/C" || escape == "%/E")) {
            chosen = sector;
            break;
        }
        if (sector[0] == 1 && chosen.isEmpty())
            chosen = sector;
    }
    quint8 lanes[4] = {};
    for (qsizetype i = 0; i < chosen.size(); ++i)
        lanes[i % 4] += quint8(chosen[i]);
    return quint32(lanes[0]) << 24 | lanes[1] << 16 | lanes[2] << 8 | lanes[3];
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Every entry below folder as "path size" lines, folders with a trailing "/".
QStringList Walk(TDiscImageSource &source, const QString &folder = {})
{
    QStringList lines;
    const auto entries = source.ListFolder(folder);
    if (!entries)
        return {folder + QStringLiteral(" unreadable")};
    for (const TDirEntry &entry : *entries) {
        const QString path = folder + FileNameToText(entry.Name);
        if (entry.IsDirectory) {
            lines << path + QLatin1Char('/');
            lines << Walk(source, path + QLatin1Char('/'));
        } else {
            lines << QStringLiteral("%1 %2").arg(path).arg(entry.Size);
        }
    }
    lines.sort();
    return lines;
}

// The extent of the entry of a folder (given by its extent) named name, and where its record lies.
std::optional<std::pair<quint32, qsizetype>> FindRecord(const QByteArray &image, quint32 folder,
                                                        const QByteArray &name)
{
    const qsizetype start = qsizetype(folder) * Sector;
    for (qsizetype offset = start; offset < start + Sector && offset < image.size();) {
        const int length = quint8(image[offset]);
        if (length == 0)
            break;
        if (image.mid(offset + 33, quint8(image[offset + 32])).startsWith(name))
            return std::pair(qFromLittleEndian<quint32>(image.constData() + offset + 2), offset);
        offset += length;
    }
    return std::nullopt;
}

} // namespace

class TestDiscImageSources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void Trees_data();
    void Trees();
    void LongNames();
    void BadImages_data();
    void BadImages();
    void FuzzFindings_data();
    void FuzzFindings();

private:
    QString MakeImage(const QString &name, const QString &tool, QStringList arguments);

    QTemporaryDir FDir;
    QString FSource;
};

void TestDiscImageSources::initTestCase()
{
    QVERIFY(FDir.isValid());
    FSource = FDir.filePath(QStringLiteral("source"));
    QVERIFY(QDir().mkpath(FSource + QStringLiteral("/sub/deep")));
    WriteAll(FSource + QStringLiteral("/Readme.txt"), "hello");
    WriteAll(FSource + QStringLiteral("/noext"), QByteArray(5000, 'n'));
    WriteAll(FSource + QStringLiteral("/sub/deep/data.bin"), QByteArray(3000, 'd'));
    for (const char *path : {"/Readme.txt", "/noext", "/sub/deep/data.bin", "/sub/deep", "/sub"}) {
        const timespec times[2] = {{FileTime, 0}, {FileTime, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, TextToFileName(FSource + QLatin1String(path)).constData(), times, 0),
                 0);
    }
}

QString TestDiscImageSources::MakeImage(const QString &name, const QString &tool, QStringList arguments)
{
    if (QStandardPaths::findExecutable(tool).isEmpty())
        return {};
    const QString image = FDir.filePath(name);
    arguments << QStringLiteral("-quiet") << QStringLiteral("-o") << image << FSource;
    if (tool == QLatin1String("xorriso"))
        arguments.prepend(QStringLiteral("mkisofs")), arguments.prepend(QStringLiteral("-as"));
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        qWarning() << process.readAllStandardError();
    return image;
}

void TestDiscImageSources::Trees_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("udfOnly");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("tree");

    const QStringList original = {QStringLiteral("Readme.txt 5"), QStringLiteral("noext 5000"),
                                  QStringLiteral("sub/"), QStringLiteral("sub/deep/"),
                                  QStringLiteral("sub/deep/data.bin 3000")};
    const QStringList upper = {QStringLiteral("NOEXT 5000"), QStringLiteral("README.TXT 5"),
                               QStringLiteral("SUB/"), QStringLiteral("SUB/DEEP/"),
                               QStringLiteral("SUB/DEEP/DATA.BIN 3000")};
    QTest::newRow("plain") << "genisoimage" << QStringList{QStringLiteral("-V"), QStringLiteral("Plain Disc")}
                           << false << "ISO 9660"
                           << "Plain Disc" << upper;
    QTest::newRow("rock ridge") << "xorriso"
                                << QStringList{QStringLiteral("-R"), QStringLiteral("-V"),
                                               QStringLiteral("RR")}
                                << false << "Rock Ridge"
                                << "RR" << original;
    QTest::newRow("joliet and rock ridge") << "xorriso"
                                           << QStringList{QStringLiteral("-J"), QStringLiteral("-R"),
                                                          QStringLiteral("-V"), QStringLiteral("Both")}
                                           << false << "Rock Ridge"
                                           << "Both" << original;
    QTest::newRow("joliet") << "genisoimage"
                            << QStringList{QStringLiteral("-J"), QStringLiteral("-V"), QStringLiteral("Geni")}
                            << false << "Joliet"
                            << "Geni" << original;
    QTest::newRow("udf bridge") << "genisoimage"
                                << QStringList{QStringLiteral("-udf"), QStringLiteral("-V"),
                                               QStringLiteral("Bridge")}
                                << false << "ISO 9660"
                                << "Bridge" << upper;
    QTest::newRow("udf only") << "genisoimage"
                              << QStringList{QStringLiteral("-udf"), QStringLiteral("-V"),
                                             QStringLiteral("OnlyUdf")}
                              << true << "UDF"
                              << "OnlyUdf" << original;
}

void TestDiscImageSources::Trees()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QFETCH(bool, udfOnly);
    QFETCH(QString, kind);
    QFETCH(QString, label);
    QFETCH(QStringList, tree);

    const QString image =
        MakeImage(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')) +
                      QStringLiteral(".iso"),
                  tool, arguments);
    if (image.isEmpty())
        QSKIP("the image maker is not installed");
    QByteArray bytes = ReadAll(image);
    QVERIFY(bytes.size() > 32 * Sector);
    quint32 serial = SerialOfImage(bytes);
    if (udfOnly) {
        // The ISO 9660 descriptors give way to the UDF recognition sequence that followed them.
        qsizetype begin = 16;
        while (begin < 32 && bytes.mid(begin * Sector + 1, 5) != "BEA01")
            ++begin;
        QVERIFY(begin < 32);
        const QByteArray sequence = bytes.mid(begin * Sector, 3 * Sector);
        bytes.replace(16 * Sector, (begin + 3 - 16) * Sector, QByteArray((begin + 3 - 16) * Sector, '\0'));
        bytes.replace(16 * Sector, 3 * Sector, sequence);
        WriteAll(image, bytes);
        serial = 0;
    }

    const auto source = TDiscImageSource::Open(image);
    QCOMPARE(source->TreeKind(), kind);
    QCOMPARE(source->DisplayName(), image);
    QCOMPARE(source->Capacity(), bytes.size());
    const auto volume = source->VolumeInformation();
    QVERIFY(volume);
    QCOMPARE(volume->Label, label);
    if (!udfOnly)
        QCOMPARE(volume->Serial, serial);
    else
        QVERIFY(volume->Serial != 0);
    QCOMPARE(Walk(*source), tree);

    const auto root = source->ListFolder({});
    QVERIFY(root);
    const QDateTime local = QDateTime::fromSecsSinceEpoch(FileTime).toLocalTime();
    for (const TDirEntry &entry : *root) {
        QVERIFY(entry.Stated);
        QCOMPARE(entry.Device, 0u);
        QCOMPARE(entry.Time, TDateTime::FromQDateTime(local));
    }

    const QString readme = tree.at(0).startsWith(QLatin1Char('R'))
                               ? tree.at(0).section(QLatin1Char(' '), 0, 0)
                               : tree.at(1).section(QLatin1Char(' '), 0, 0);
    QCOMPARE(source->ReadFile({}, readme.toLower(), 100).Bytes, QByteArray("hello"));
    QCOMPARE(source->ReadFile({}, readme, 3).Bytes, QByteArray("hel"));
    const QString deep = tree.at(3).chopped(1);
    const TFileBytes data = source->ReadFile(
        deep, tree.at(4).section(QLatin1Char('/'), 2).section(QLatin1Char(' '), 0, 0).toUpper(), 1 << 20);
    QCOMPARE(data.Error, 0);
    QCOMPARE(data.Bytes, QByteArray(3000, 'd'));
    QCOMPARE(source->ReadFile({}, tree.at(2).chopped(1), 10).Error, EISDIR);
    QCOMPARE(source->ReadFile({}, QStringLiteral("missing"), 10).Error, ENOENT);
    QCOMPARE(source->ReadFile(QStringLiteral("missing"), QStringLiteral("x"), 10).Error, ENOENT);
}

// A writer leaves out of the Joliet tree the names it cannot hold; the Rock Ridge tree beside it
// has them all.
void TestDiscImageSources::LongNames()
{
    if (QStandardPaths::findExecutable(QStringLiteral("xorriso")).isEmpty())
        QSKIP("the image maker is not installed");
    QTemporaryDir dir;
    const QByteArray longName = QByteArray(90, 'x') + ".txt";
    const QString deep =
        dir.filePath(QStringLiteral("tree/") + QString(6, QLatin1Char('d')) + QStringLiteral("/") +
                     QString(60, QLatin1Char('e')) + QStringLiteral("/") + QString(60, QLatin1Char('f')) +
                     QStringLiteral("/") + QString(60, QLatin1Char('g')));
    QVERIFY(QDir().mkpath(deep));
    WriteAll(dir.filePath(QStringLiteral("tree/")) + QString::fromLatin1(longName), "long");
    WriteAll(deep + QStringLiteral("/") + QString(60, QLatin1Char('h')), "deep");
    const QString image = dir.filePath(QStringLiteral("long.iso"));
    QProcess xorriso;
    xorriso.start(QStringLiteral("xorriso"),
                  {QStringLiteral("-as"), QStringLiteral("mkisofs"), QStringLiteral("-quiet"),
                   QStringLiteral("-J"), QStringLiteral("-joliet-long"), QStringLiteral("-R"),
                   QStringLiteral("-o"), image, dir.filePath(QStringLiteral("tree"))});
    QVERIFY(xorriso.waitForFinished(60000));
    const auto source = TDiscImageSource::Open(image);
    const QStringList tree = Walk(*source);
    QVERIFY2(tree.contains(QString::fromLatin1(longName) + QStringLiteral(" 4")),
             qPrintable(tree.join(QLatin1Char(','))));
    QCOMPARE(tree.filter(QStringLiteral(" 4")).size(), 2);
}

void TestDiscImageSources::BadImages_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "missing" << QString::fromLocal8Bit(std::strerror(ENOENT));
    QTest::newRow("folder") << "folder" << QString::fromLocal8Bit(std::strerror(EISDIR));
    QTest::newRow("named pipe") << "pipe"
                                << "it is not a file";
    QTest::newRow("too short") << "short"
                               << "it is too short";
    QTest::newRow("random bytes") << "random"
                                  << "it holds no ISO 9660 or UDF volume";
    QTest::newRow("truncated") << "truncated"
                               << "it is cut short: ";
    QTest::newRow("looping folder") << "loop"
                                    << "its folders loop";
    QTest::newRow("folder into the root") << "self"
                                          << "its folders loop";
}

void TestDiscImageSources::BadImages()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    QString image = FDir.filePath(kind + QStringLiteral(".bad"));
    if (kind == QLatin1String("folder")) {
        image = FDir.path();
    } else if (kind == QLatin1String("pipe")) {
        QCOMPARE(::mkfifo(TextToFileName(image).constData(), 0600), 0);
    } else if (kind == QLatin1String("short")) {
        WriteAll(image, QByteArray(16 * Sector, '\0'));
    } else if (kind == QLatin1String("random")) {
        QByteArray bytes(300 * Sector, Qt::Uninitialized);
        quint32 state = 12345;
        for (char &byte : bytes)
            byte = char((state = state * 1103515245u + 12345u) >> 24);
        WriteAll(image, bytes);
    } else if (kind != QLatin1String("missing")) {
        const QString made = MakeImage(kind + QStringLiteral(".iso"), QStringLiteral("xorriso"), {});
        if (made.isEmpty())
            QSKIP("the image maker is not installed");
        QByteArray bytes = ReadAll(made);
        const quint32 root = qFromLittleEndian<quint32>(bytes.constData() + 16 * Sector + 156 + 2);
        if (kind == QLatin1String("truncated")) {
            bytes.truncate(qsizetype(root) * Sector);
        } else {
            // A folder's record is made to point back at its parent, or at the root.
            const auto sub = FindRecord(bytes, root, "SUB");
            QVERIFY(sub);
            const auto deep = FindRecord(bytes, sub->first, "DEEP");
            QVERIFY(deep);
            const auto [target, record] = kind == QLatin1String("loop") ? std::pair(sub->first, deep->second)
                                                                        : std::pair(root, sub->second);
            qToLittleEndian<quint32>(target, bytes.data() + record + 2);
            qToBigEndian<quint32>(target, bytes.data() + record + 6);
        }
        WriteAll(image, bytes);
    }

    QString message;
    try {
        const auto source = TDiscImageSource::Open(image);
        Walk(*source);
    } catch (const EDiscImageError &error) {
        message = error.Message();
    }
    // A cut short image tells how much of it is there.
    QVERIFY2(message == Message(image, reason) ||
                 (reason.endsWith(u' ') && message.startsWith(Message(image, reason))),
             qPrintable(message));
}

// Images the fuzzer found to break a reader, kept in its input form: sector number and length
// (16 bits each, little-endian) before that many bytes of the sector.
void TestDiscImageSources::FuzzFindings_data()
{
    QTest::addColumn<QString>("file");
    const QDir data(QStringLiteral(VNX_TEST_DATA));
    for (const QString &name : data.entryList({QStringLiteral("*.sectors")}))
        QTest::newRow(qPrintable(name)) << data.filePath(name);
    if (data.isEmpty())
        QTest::newRow("none") << QString();
}

void TestDiscImageSources::FuzzFindings()
{
    QFETCH(QString, file);
    QVERIFY(!file.isEmpty());
    const QByteArray input = ReadAll(file);
    QByteArray bytes;
    for (qsizetype at = 0; at + 4 <= input.size();) {
        const auto *head = reinterpret_cast<const uchar *>(input.constData() + at);
        const qsizetype sector = qFromLittleEndian<quint16>(head) % 1024;
        const qsizetype length =
            qMin<qsizetype>(qFromLittleEndian<quint16>(head + 2) % (Sector + 1), input.size() - at - 4);
        if (bytes.size() < (sector + 1) * Sector)
            bytes.resize((sector + 1) * Sector, '\0');
        bytes.replace(sector * Sector, length, input.mid(at + 4, length));
        at += 4 + length;
    }
    const QString image = FDir.filePath(QFileInfo(file).completeBaseName() + QStringLiteral(".iso"));
    WriteAll(image, bytes);
    try {
        const auto source = TDiscImageSource::Open(image);
        QVERIFY(!Walk(*source).isEmpty() || source->ListFolder({}));
    } catch (const EDiscImageError &error) {
        QVERIFY(error.Message().startsWith(Message(image, {})));
    }
}

QTEST_GUILESS_MAIN(TestDiscImageSources)
#include "tst_DiscImageSources.moc"
