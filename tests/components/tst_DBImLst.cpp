#include "DBImLst.h"
#include "Databases.h"
#include "Tables.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPalette>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A picture of one colour whose bottom-left pixel is magenta, the colour left out when drawn.
QByteArray Bmp(QColor color, int size, const char *format = "BMP")
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(color);
    image.setPixelColor(0, size - 1, Qt::magenta);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QColor Window()
{
    return QGuiApplication::palette().color(QPalette::Base);
}

} // namespace

// The image list over a real table of pictures kept as whole BMP (or PNG) files.
class TestDBImLst : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void IndexesAreIds();
    void BadAndEmptyPictures();
    void TwoColourAndTransparentPictures();
    void ReloadLeavesTheDataSet_data();
    void ReloadLeavesTheDataSet();
    void WrongFields_data();
    void WrongFields();

private:
    void Insert(int id, const QVariant &small);
    QImage Image(int index) const { return FList->Pixmap(index).toImage(); }

    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TDatabase> FDb;
    std::unique_ptr<TTable> FTable;
    std::unique_ptr<TDBImageList> FList;
};

void TestDBImLst::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    FDb = std::make_unique<TDatabase>();
    FDb->SetDriverName(u"SQLITE"_s);
    FDb->SetParams({u"DATABASE NAME="_s + FDir->filePath(u"images.db"_s), u"CREATE=TRUE"_s});
    FDb->Open();
    // No key: a repeated id is possible.
    FDb->ExecSQL(u"CREATE TABLE Images (ImageID SMALLINT, Description VARCHAR(50), Small BLOB)"_s);
    FDb->ExecSQL(u"CREATE INDEX ByID ON Images (ImageID)"_s);
    FTable = std::make_unique<TTable>();
    FTable->SetDatabase(FDb.get());
    FTable->SetTableName(u"Images"_s);
    FTable->SetIndexFieldNames(u"ImageID"_s);
    FList = std::make_unique<TDBImageList>();
    FList->SetIDFieldName(u"ImageID"_s);
    FList->SetImageFieldName(u"Small"_s);
    FList->SetDataSet(FTable.get());
}

void TestDBImLst::cleanup()
{
    FList.reset();
    FTable.reset();
    FDb.reset();
}

void TestDBImLst::Insert(int id, const QVariant &small)
{
    TVariant picture = small.isNull() ? TVariant::Null() : TVariant(small.toByteArray());
    FDb->ExecSQL(u"INSERT INTO Images (ImageID, Small) VALUES (?, ?)"_s, {TVariant(qint32(id)), picture});
}

void TestDBImLst::IndexesAreIds()
{
    Insert(1, Bmp(Qt::red, 16));
    Insert(2, Bmp(Qt::green, 16));
    Insert(2, Bmp(Qt::yellow, 16)); // later in the table: it wins
    Insert(5, Bmp(Qt::blue, 32));
    QSignalSpy changed(FList.get(), &TCustomImageList::Changed);
    FList->Reload();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(FList->Count(), 6);
    for (int gap : {0, 3, 4}) {
        QCOMPARE(Image(gap).pixelColor(0, 15), Window());
        QCOMPARE(Image(gap).pixelColor(8, 8), Window());
    }
    QCOMPARE(Image(1).pixelColor(8, 8), QColor(Qt::red));
    QCOMPARE(Image(2).pixelColor(8, 8), QColor(Qt::yellow));
    QCOMPARE(Image(5).size(), QSize(16, 16));
    QCOMPARE(Image(5).pixelColor(15, 0), QColor(Qt::blue));
    for (int picture : {1, 2})
        QCOMPARE(Image(picture).pixelColor(0, 15).alpha(), 0);

    // Unchanged ids keep their indexes when the table changes.
    FDb->ExecSQL(u"DELETE FROM Images WHERE ImageID = 5"_s);
    Insert(3, Bmp(Qt::cyan, 16));
    Insert(40000 - 65536, Bmp(Qt::black, 16)); // a negative id has no index
    FList->Reload();
    QCOMPARE(FList->Count(), 4);
    QCOMPARE(Image(1).pixelColor(8, 8), QColor(Qt::red));
    QCOMPARE(Image(3).pixelColor(8, 8), QColor(Qt::cyan));
}

void TestDBImLst::BadAndEmptyPictures()
{
    Insert(0, QByteArray("BM this is no picture"));
    Insert(1, QByteArray());
    Insert(2, QVariant());
    Insert(3, Bmp(Qt::red, 16));
    Insert(4, QByteArray("\x89PNG garbage", 12));
    FList->Reload();
    QCOMPARE(FList->Count(), 5);
    // "Bad" in text colour on the window colour; before any picture nothing is left out.
    const QImage bad = Image(0);
    int ink = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (bad.pixelColor(x, y) != Window())
                ++ink;
    QVERIFY(ink > 5);
    QCOMPARE(bad.pixelColor(15, 15), Window());
    for (int empty : {1, 2})
        QCOMPARE(Image(empty).pixelColor(8, 8).alpha(), 0);
    // After a picture, a bad one leaves out that picture's colour: magenta is not in it.
    QCOMPARE(Image(4).pixelColor(15, 15), Window());
}

void TestDBImLst::TwoColourAndTransparentPictures()
{
    QImage mono(16, 16, QImage::Format_Mono);
    // White all over but for a black line; white is what a two-colour picture leaves out.
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.fill(0);
    for (int i = 4; i < 12; ++i)
        mono.setPixel(i, i, 1);
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(mono.save(&buffer, "BMP"));
    Insert(0, bmp);

    QImage alpha(32, 32, QImage::Format_ARGB32);
    alpha.fill(Qt::transparent);
    for (int y = 8; y < 24; ++y)
        for (int x = 8; x < 24; ++x)
            alpha.setPixelColor(x, y, Qt::red);
    QByteArray png;
    QBuffer pngBuffer(&png);
    pngBuffer.open(QIODevice::WriteOnly);
    QVERIFY(alpha.save(&pngBuffer, "PNG"));
    Insert(1, png);
    FList->Reload();

    QCOMPARE(Image(0).pixelColor(6, 6), QColor(Qt::black));
    QCOMPARE(Image(0).pixelColor(0, 15).alpha(), 0);
    QCOMPARE(Image(0).pixelColor(15, 0).alpha(), 0);
    QCOMPARE(Image(1).pixelColor(8, 8), QColor(Qt::red));
    QCOMPARE(Image(1).pixelColor(0, 0).alpha(), 0);
}

void TestDBImLst::ReloadLeavesTheDataSet_data()
{
    QTest::addColumn<bool>("open");
    QTest::newRow("open") << true;
    QTest::newRow("closed") << false;
}

void TestDBImLst::ReloadLeavesTheDataSet()
{
    QFETCH(bool, open);
    for (int id = 0; id < 4; ++id)
        Insert(id, Bmp(Qt::red, 16));
    if (open) {
        FTable->Open();
        FTable->Last();
    }
    FList->Reload();
    QCOMPARE(FList->Count(), 4);
    QCOMPARE(FTable->Active(), open);
    if (open) {
        QVERIFY(FTable->Bof());
        QCOMPARE(FTable->FieldByName(u"ImageID"_s)->AsInteger(), 0);
    }
    // The data set going makes the list forget it.
    FTable.reset();
    QCOMPARE(FList->DataSet(), nullptr);
    FList->Reload();
    QCOMPARE(FList->Count(), 0);
}

void TestDBImLst::WrongFields_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("message");
    QTest::newRow("no id field") << u"Nope"_s << u"Small"_s << u"Field 'Nope' not found"_s;
    QTest::newRow("text id") << u"Description"_s << u"Small"_s << u"is not an integer field"_s;
    QTest::newRow("number picture") << u"ImageID"_s << u"ImageID"_s << u"is not a blob field"_s;
}

void TestDBImLst::WrongFields()
{
    QFETCH(QString, id);
    QFETCH(QString, picture);
    QFETCH(QString, message);
    Insert(0, Bmp(Qt::red, 16));
    FTable->Open();
    QString raised;
    try {
        FList->SetIDFieldName(id);
        FList->SetImageFieldName(picture);
        FList->Reload();
    } catch (const Exception &error) {
        raised = error.Message();
    }
    QVERIFY2(raised.contains(message), qPrintable(raised));
    QVERIFY(FTable->Active());
}

QTEST_MAIN(TestDBImLst)
#include "tst_DBImLst.moc"
