#include "FileNames.h"

#include <QTest>

namespace {

// The text a byte 0x80-0xFF of a name that is not UTF-8 becomes.
QString Escaped(uchar byte)
{
    const char32_t codePoint = 0x10FE00 + (byte - 0x80);
    return QString::fromUcs4(&codePoint, 1);
}

} // namespace

class TestFileNames : public QObject
{
    Q_OBJECT

private slots:
    void RoundTrip_data();
    void RoundTrip();
    void EveryByte();
    void TypedText_data();
    void TypedText();
};

void TestFileNames::RoundTrip_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("text");

    QTest::newRow("ASCII") << QByteArray("readme.txt") << QStringLiteral("readme.txt");
    QTest::newRow("two-byte UTF-8") << QByteArray("caf\xc3\xa9") << QStringLiteral("café");
    QTest::newRow("three-byte UTF-8") << QByteArray("\xe6\x97\xa5\xe6\x9c\xac") << QStringLiteral("日本");
    QTest::newRow("four-byte UTF-8") << QByteArray("\xf0\x9f\x92\xbf.iso") << QStringLiteral("💿.iso");
    QTest::newRow("backslash, star, newline") << QByteArray("a\\b*c\nd") << QStringLiteral("a\\b*c\nd");
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9") << (QStringLiteral("caf") + Escaped(0xE9));
    QTest::newRow("0xFF") << QByteArray("\xff") << Escaped(0xFF);
    QTest::newRow("lone continuation byte") << QByteArray("\x80") << Escaped(0x80);
    QTest::newRow("truncated sequence")
        << QByteArray("x\xe6\x97") << (QStringLiteral("x") + Escaped(0xE6) + Escaped(0x97));
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << (Escaped(0xC0) + Escaped(0xAF));
    QTest::newRow("overlong three bytes")
        << QByteArray("\xe0\x80\xaf") << (Escaped(0xE0) + Escaped(0x80) + Escaped(0xAF));
    QTest::newRow("encoded surrogate")
        << QByteArray("\xed\xa0\x80") << (Escaped(0xED) + Escaped(0xA0) + Escaped(0x80));
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80")
                                     << (Escaped(0xF4) + Escaped(0x90) + Escaped(0x80) + Escaped(0x80));
    // A valid name is kept byte for byte as a whole once any part of it is not UTF-8.
    QTest::newRow("valid and invalid mixed")
        << QByteArray("\xc3\xa9\xff") << (Escaped(0xC3) + Escaped(0xA9) + Escaped(0xFF));
    // Valid UTF-8 of an escape character would come back as one byte if it were decoded.
    QTest::newRow("escape character as UTF-8")
        << QByteArray("\xf4\x8f\xb8\x80") << (Escaped(0xF4) + Escaped(0x8F) + Escaped(0xB8) + Escaped(0x80));
    QTest::newRow("character after the escapes")
        << QByteArray("\xf4\x8f\xba\x80") << QString::fromUtf8("\xf4\x8f\xba\x80");
}

void TestFileNames::RoundTrip()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, text);

    QCOMPARE(FileNameToText(name), text);
    QCOMPARE(TextToFileName(FileNameToText(name)), name);
}

void TestFileNames::EveryByte()
{
    QByteArray all;
    for (int byte = 1; byte < 256; ++byte)
        all.append(char(byte));
    QCOMPARE(TextToFileName(FileNameToText(all)), all);
    for (int byte = 0x80; byte < 256; ++byte) {
        const QByteArray name(1, char(byte));
        QCOMPARE(TextToFileName(FileNameToText(name)), name);
    }
}

void TestFileNames::TypedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("name");

    QTest::newRow("typed text is UTF-8") << QStringLiteral("Übersicht")
                                         << QByteArray("\xc3\x9c"
                                                       "bersicht");
    QTest::newRow("escapes among typed text") << (QStringLiteral("é") + Escaped(0xFF) + QStringLiteral("💿"))
                                              << QByteArray("\xc3\xa9\xff\xf0\x9f\x92\xbf");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestFileNames::TypedText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, name);
    QCOMPARE(::TextToFileName(text), name);
}

QTEST_GUILESS_MAIN(TestFileNames)
#include "tst_FileNames.moc"
