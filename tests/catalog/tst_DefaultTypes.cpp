#include "DefaultTypes.h"

#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <algorithm>

namespace {

QImage Picture(qint16 imageId, int size)
{
    return QImage::fromData(DefaultPicture(imageId, size), "BMP");
}

} // namespace

class TestDefaultTypes : public QObject
{
    Q_OBJECT

private slots:
    void IdsFollowWithoutGaps();
    void ReservedTypes_data();
    void ReservedTypes();
    void Types_data();
    void Types();
    void ExtensionsBelongToOneType();
    void Pictures_data();
    void Pictures();
    void PicturesDiffer_data();
    void PicturesDiffer();
    void PicturesAreDeterministic();
    void NoPictureForUnknownTypeOrSize();
    void VolumePictures();
    void InfoPatterns_data();
    void InfoPatterns();
    void InfoPatternsAreUsable();
};

void TestDefaultTypes::IdsFollowWithoutGaps()
{
    const std::vector<TDefaultType> types = DefaultTypes();
    QVERIFY(types.size() > 20);
    for (size_t index = 0; index < types.size(); ++index)
        QCOMPARE(types[index].ImageID, qint16(index));
}

void TestDefaultTypes::ReservedTypes_data()
{
    QTest::addColumn<qint16>("imageId");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("cd");
    QTest::newRow("open folder") << DefaultImage::OpenFolder << QStringLiteral("Open folder") << false;
    QTest::newRow("folder") << DefaultImage::Folder << QStringLiteral("Folder") << false;
    QTest::newRow("disc") << DefaultImage::Disc << QStringLiteral("CD-ROM disc") << true;
    QTest::newRow("unknown") << DefaultImage::Unknown << QStringLiteral("Unknown") << false;
}

void TestDefaultTypes::ReservedTypes()
{
    QFETCH(qint16, imageId);
    QFETCH(QString, description);
    QFETCH(bool, cd);
    const TDefaultType type = DefaultTypes().at(imageId);
    QCOMPARE(type.ImageID, imageId);
    QCOMPARE(type.Description, description);
    QCOMPARE(type.CD, cd);
    // Folders, volumes and unknown files are found by number, never by an extension.
    QVERIFY(type.Extensions.isEmpty());
}

void TestDefaultTypes::Types_data()
{
    QTest::addColumn<int>("index");
    for (const TDefaultType &type : DefaultTypes())
        QTest::newRow(qPrintable(type.Description)) << int(type.ImageID);
}

void TestDefaultTypes::Types()
{
    QFETCH(int, index);
    const TDefaultType type = DefaultTypes().at(index);
    QVERIFY(!type.Description.trimmed().isEmpty());
    QVERIFY(type.Description.size() <= 50);
    if (type.ImageID > DefaultImage::Unknown)
        QCOMPARE(type.Extensions.isEmpty(), type.CD);
    static const QRegularExpression valid(QStringLiteral("^[a-z0-9]{1,4}$"));
    for (const QString &extension : type.Extensions)
        QVERIFY2(valid.match(extension).hasMatch(), qPrintable(extension));
}

void TestDefaultTypes::ExtensionsBelongToOneType()
{
    QHash<QString, QString> owners;
    for (const TDefaultType &type : DefaultTypes()) {
        for (const QString &extension : type.Extensions) {
            QVERIFY2(!owners.contains(extension),
                     qPrintable(QStringLiteral("%1: %2 and %3")
                                    .arg(extension, owners.value(extension), type.Description)));
            owners.insert(extension, type.Description);
        }
    }
    for (const char *common : {"txt", "doc", "pdf", "xls",  "ppt", "jpg", "png", "mp3", "avi", "mp4",
                               "zip", "rar", "exe", "html", "cpp", "iso", "bin", "ttf", "nfo", "diz"})
        QVERIFY2(owners.contains(QString::fromLatin1(common)), common);
}

void TestDefaultTypes::Pictures_data()
{
    QTest::addColumn<qint16>("imageId");
    QTest::addColumn<int>("size");
    for (const TDefaultType &type : DefaultTypes()) {
        for (const int size : {16, 32})
            QTest::addRow("%d %s %d", type.ImageID, qPrintable(type.Description), size)
                << type.ImageID << size;
    }
}

void TestDefaultTypes::Pictures()
{
    QFETCH(qint16, imageId);
    QFETCH(int, size);
    const QByteArray bytes = DefaultPicture(imageId, size);
    QVERIFY(bytes.startsWith("BM"));
    // Bits per pixel, a little-endian word at offset 28 of the file.
    const int bitsPerPixel = quint8(bytes.at(28)) | quint8(bytes.at(29)) << 8;
    QVERIFY2(bitsPerPixel == 24 || bitsPerPixel == 32, qPrintable(QString::number(bitsPerPixel)));
    QImage image;
    QVERIFY(image.loadFromData(bytes, "BMP"));
    QCOMPARE(image.size(), QSize(size, size));
    const QRgb background = image.pixel(0, size - 1) & RGB_MASK;
    QCOMPARE(background, DefaultPictureBackground & RGB_MASK);
    int drawn = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            drawn += (image.pixel(x, y) & RGB_MASK) != background;
    // A quarter of the square at least, so the picture reads at a glance.
    QVERIFY2(drawn >= size * size / 4, qPrintable(QString::number(drawn)));
}

void TestDefaultTypes::PicturesDiffer_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("small") << 16;
    QTest::newRow("large") << 32;
}

void TestDefaultTypes::PicturesDiffer()
{
    QFETCH(int, size);
    QHash<QByteArray, QString> seen;
    for (const TDefaultType &type : DefaultTypes()) {
        const QImage image = Picture(type.ImageID, size).convertToFormat(QImage::Format_RGB32);
        const QByteArray pixels(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
        QVERIFY2(!seen.contains(pixels),
                 qPrintable(seen.value(pixels) + QStringLiteral(" = ") + type.Description));
        seen.insert(pixels, type.Description);
    }
}

void TestDefaultTypes::PicturesAreDeterministic()
{
    for (const TDefaultType &type : DefaultTypes()) {
        QCOMPARE(DefaultPicture(type.ImageID, 16), DefaultPicture(type.ImageID, 16));
        QCOMPARE(DefaultPicture(type.ImageID, 32), DefaultPicture(type.ImageID, 32));
    }
}

void TestDefaultTypes::NoPictureForUnknownTypeOrSize()
{
    const qint16 count = qint16(DefaultTypes().size());
    QVERIFY(DefaultPicture(count, 16).isEmpty());
    QVERIFY(DefaultPicture(-1, 16).isEmpty());
    QVERIFY(DefaultPicture(DefaultImage::Folder, 24).isEmpty());
    QVERIFY(DefaultPicture(DefaultImage::Folder, 0).isEmpty());
}

void TestDefaultTypes::VolumePictures()
{
    int volumes = 0;
    for (const TDefaultType &type : DefaultTypes())
        volumes += type.CD;
    QVERIFY(volumes >= 4);
    QVERIFY(DefaultTypes().at(DefaultImage::Disc).CD);
}

void TestDefaultTypes::InfoPatterns_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("forFolder");
    QTest::addColumn<bool>("forFile");
    QTest::newRow("file_id.diz") << QStringLiteral("file_id.diz") << true << false;
    QTest::newRow("*.diz") << QStringLiteral("*.diz") << false << true;
    QTest::newRow("descript.ion") << QStringLiteral("descript.ion") << false << true;
    QTest::newRow("readme.txt") << QStringLiteral("readme.txt") << true << false;
    QTest::newRow("*.nfo") << QStringLiteral("*.nfo") << true << false;
}

void TestDefaultTypes::InfoPatterns()
{
    QFETCH(QString, name);
    QFETCH(bool, forFolder);
    QFETCH(bool, forFile);
    const std::vector<TDefaultPattern> patterns = DefaultInfoPatterns();
    const auto found = std::find_if(patterns.begin(), patterns.end(),
                                    [&](const TDefaultPattern &pattern) { return pattern.NameNFO == name; });
    QVERIFY(found != patterns.end());
    QCOMPARE(found->ForFolder, forFolder);
    QCOMPARE(found->ForFile, forFile);
}

void TestDefaultTypes::InfoPatternsAreUsable()
{
    QSet<QString> names;
    for (const TDefaultPattern &pattern : DefaultInfoPatterns()) {
        QVERIFY(!pattern.NameNFO.isEmpty());
        QCOMPARE(pattern.NameNFO, pattern.NameNFO.toLower());
        QVERIFY(pattern.ForFolder || pattern.ForFile);
        QVERIFY2(!names.contains(pattern.NameNFO), qPrintable(pattern.NameNFO));
        names.insert(pattern.NameNFO);
    }
}

QTEST_GUILESS_MAIN(TestDefaultTypes)
#include "tst_DefaultTypes.moc"
