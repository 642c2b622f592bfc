#include "DiscImages.h"
#include "VolumeSerials.h"

#include <QTest>

using namespace DiscImages;

class TestVolumeSerials : public QObject
{
    Q_OBJECT

private slots:
    void DescriptorSerial_data();
    void DescriptorSerial();
    void IsoDescriptor_data();
    void IsoDescriptor();
    void IsoLabel_data();
    void IsoLabel();
    void BootSectorSerial_data();
    void BootSectorSerial();
    void UuidSerial_data();
    void UuidSerial();
    void SerialText_data();
    void SerialText();
};

void TestVolumeSerials::DescriptorSerial_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<quint32>("serial");

    QByteArray lanes(Sector, '\0');
    lanes[0] = 1, lanes[1] = 2, lanes[2] = 3, lanes[3] = 4;
    QTest::newRow("one byte per lane") << lanes << 0x01020304u;

    // A lane past 255 must wrap on its own: summing 32-bit words would carry into the next lane.
    QByteArray wrapping(Sector, '\0');
    wrapping[0] = char(0x80), wrapping[4] = char(0x90);
    wrapping[1] = char(0xFF), wrapping[5] = char(0x02);
    wrapping[3] = char(0xFF), wrapping[7] = char(0xFF), wrapping[2047] = char(0x03);
    QTest::newRow("lanes wrap separately") << wrapping << 0x10010001u;
    QTest::newRow("every byte 0xFF") << QByteArray(Sector, char(0xFF)) << 0u;
    QTest::newRow("every byte 1") << QByteArray(Sector, 1) << 0u;
    QTest::newRow("bytes beyond the sector ignored") << (lanes + QByteArray(100, 7)) << 0x01020304u;
    QTest::newRow("primary descriptor") << Primary("MY_DISC") << 0xdd36fdbbu;
    QTest::newRow("Joliet descriptor")
        << Supplementary(QStringLiteral("Urlaub 2023 ä"), "%/E") << 0xe1ea14f7u;
}

void TestVolumeSerials::DescriptorSerial()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(quint32, serial);
    QCOMPARE(TVolumeSerials::DescriptorSerial(descriptor), serial);
}

void TestVolumeSerials::IsoDescriptor_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<qint64>("sessionStart");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray primary = Primary("MY_DISC");
    const QByteArray joliet = Supplementary(QStringLiteral("Urlaub"), "%/E");
    const QByteArray none;
    QTest::newRow("primary only") << Image({{16, primary}, {17, Terminator()}}) << 0ll << primary;
    QTest::newRow("Joliet at 17 wins")
        << Image({{16, primary}, {17, joliet}, {18, Terminator()}}) << 0ll << joliet;
    for (const QByteArray escape : {"%/@", "%/C", "%/E"}) {
        const QByteArray level = Supplementary(QStringLiteral("A"), escape);
        QTest::addRow("Joliet %s", escape.constData()) << Image({{16, primary}, {17, level}}) << 0ll << level;
    }
    QTest::newRow("supplementary without escape")
        << Image({{16, primary}, {17, Supplementary(QStringLiteral("A"), "%/X")}, {18, Terminator()}}) << 0ll
        << primary;
    QTest::newRow("first Joliet of two") << Image({{16, primary},
                                                   {17, joliet},
                                                   {18, Supplementary(QStringLiteral("B"), "%/C", 0x33)},
                                                   {19, Terminator()}})
                                         << 0ll << joliet;
    QTest::newRow("Joliet before primary")
        << Image({{16, joliet}, {17, primary}, {18, Terminator()}}) << 0ll << joliet;
    QTest::newRow("first primary of two")
        << Image({{16, primary}, {17, Primary("OTHER", 0x44)}, {18, Terminator()}}) << 0ll << primary;
    QTest::newRow("nothing after the terminator")
        << Image({{16, primary}, {17, Terminator()}, {18, joliet}}) << 0ll << primary;
    QTest::newRow("without terminator the image end stops")
        << Image({{16, primary}, {17, joliet}}) << 0ll << joliet;
    QByteArray udf(Sector, '\0');
    udf.replace(1, 5, "BEA01");
    QTest::newRow("UDF only") << Image({{16, udf}, {17, primary}}) << 0ll << none;
    QTest::newRow("empty sector 16") << Image({{17, primary}}) << 0ll << none;
    QTest::newRow("image too short") << QByteArray(16 * Sector + 100, '\0') << 0ll << none;
    QTest::newRow("last session") << Image({{16, Primary("FIRST", 0x44)},
                                            {17, Terminator()},
                                            {116, primary},
                                            {117, joliet},
                                            {118, Terminator()}})
                                  << 100ll << joliet;
}

void TestVolumeSerials::IsoDescriptor()
{
    QFETCH(QByteArray, image);
    QFETCH(qint64, sessionStart);
    QFETCH(QByteArray, expected);

    const auto read = [&](qint64 sector) { return image.mid(sector * Sector, Sector); };
    const std::optional<QByteArray> descriptor = TVolumeSerials::IsoDescriptor(read, sessionStart);
    QCOMPARE(descriptor.has_value(), !expected.isEmpty());
    if (descriptor)
        QCOMPARE(*descriptor, expected);
}

void TestVolumeSerials::IsoLabel_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<QString>("label");

    QTest::newRow("padded with spaces") << Primary("MY_DISC") << QStringLiteral("MY_DISC");
    QTest::newRow("inner spaces kept") << Primary("  MY DISC") << QStringLiteral("MY DISC");
    QTest::newRow("all 32") << Primary("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345")
                            << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");
    QTest::newRow("empty") << Primary("") << QString();
    QTest::newRow("Latin-1 bytes") << Primary("CAF\xc9") << QStringLiteral("CAFÉ");
    QTest::newRow("Joliet UCS-2") << Supplementary(QStringLiteral("Urlaub 2023 ä"), "%/E")
                                  << QStringLiteral("Urlaub 2023 ä");
    QTest::newRow("Joliet all 16 characters")
        << Supplementary(QStringLiteral("0123456789ABCDEF"), "%/@") << QStringLiteral("0123456789ABCDEF");
    QByteArray nulPadded = Primary("NUL");
    nulPadded.replace(43, 29, QByteArray(29, '\0'));
    QTest::newRow("padded with NUL") << nulPadded << QStringLiteral("NUL");
}

void TestVolumeSerials::IsoLabel()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(QString, label);
    QCOMPARE(TVolumeSerials::IsoLabel(descriptor), label);
}

void TestVolumeSerials::BootSectorSerial_data()
{
    QTest::addColumn<QByteArray>("sector");
    QTest::addColumn<bool>("found");
    QTest::addColumn<quint32>("serial");

    QTest::newRow("FAT16") << BootSector(TBoot::Fat16, 0x1234ABCD) << true << 0x1234ABCDu;
    QTest::newRow("FAT32") << BootSector(TBoot::Fat32, 0xCAFEF00D) << true << 0xCAFEF00Du;
    QTest::newRow("exFAT") << BootSector(TBoot::ExFat, 0x0BADC0DE) << true << 0x0BADC0DEu;
    QTest::newRow("NTFS low half") << BootSector(TBoot::Ntfs, 0x1122334455667788ull) << true << 0x55667788u;

    QByteArray shortSignature = BootSector(TBoot::Fat16, 0x01020304);
    shortSignature[0x26] = 0x28;
    QTest::newRow("FAT16, signature 0x28") << shortSignature << true << 0x01020304u;
    QByteArray noExtended = BootSector(TBoot::Fat16, 0x01020304);
    noExtended[0x26] = 0;
    QTest::newRow("FAT16 without extended record") << noExtended << false << 0u;
    QByteArray fat32NoExtended = BootSector(TBoot::Fat32, 0x01020304);
    fat32NoExtended[0x42] = 0;
    QTest::newRow("FAT32 without extended record") << fat32NoExtended << false << 0u;
    QTest::newRow("zeros, as ext4 starts") << QByteArray(512, '\0') << false << 0u;
    QTest::newRow("too short") << BootSector(TBoot::ExFat, 1).left(511) << false << 0u;
}

void TestVolumeSerials::BootSectorSerial()
{
    QFETCH(QByteArray, sector);
    QFETCH(bool, found);
    QFETCH(quint32, serial);

    const std::optional<quint32> result = TVolumeSerials::BootSectorSerial(sector);
    QCOMPARE(result.has_value(), found);
    if (found)
        QCOMPARE(*result, serial);
}

void TestVolumeSerials::UuidSerial_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<quint32>("serial");

    QTest::newRow("FAT as blkid writes it") << QStringLiteral("1234-ABCD") << 0x1234ABCDu;
    QTest::newRow("FAT lower case") << QStringLiteral("cafe-f00d") << 0xCAFEF00Du;
    QTest::newRow("NTFS, low half") << QStringLiteral("1122334455667788") << 0x55667788u;
    QTest::newRow("standard UUID, first bytes")
        << QStringLiteral("550e8400-e29b-41d4-a716-446655440000") << 0x550E8400u;
    QTest::newRow("ISO 9660 date, hashed") << QStringLiteral("2023-01-01-12-00-00-00") << 0xdc877dfdu;
}

void TestVolumeSerials::UuidSerial()
{
    QFETCH(QString, uuid);
    QFETCH(quint32, serial);
    QCOMPARE(TVolumeSerials::UuidSerial(uuid), serial);
}

void TestVolumeSerials::SerialText_data()
{
    QTest::addColumn<quint32>("serial");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0u << QStringLiteral("0000-0000");
    QTest::newRow("lower-case hex") << 0x1234ABCDu << QStringLiteral("1234-abcd");
    QTest::newRow("leading zeros per half") << 0x000F0001u << QStringLiteral("000f-0001");
    QTest::newRow("largest") << 0xFFFFFFFFu << QStringLiteral("ffff-ffff");
}

void TestVolumeSerials::SerialText()
{
    QFETCH(quint32, serial);
    QFETCH(QString, text);
    QCOMPARE(TVolumeSerials::SerialText(serial), text);
}

QTEST_GUILESS_MAIN(TestVolumeSerials)
#include "tst_VolumeSerials.moc"
