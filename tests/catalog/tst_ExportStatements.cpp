// An export on each engine (VNX_TEST_DRIVER): the same catalogue is written out byte for byte
// alike, whichever way the engine's rows are read.

#include "Databases.h"
#include "Exports.h"
#include "SearchTables.h"
#include "Statements.h"
#include "VolumeServicesDouble.h"
#include "db/TestDrivers.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A volume with a folder, and a file in each; a second volume left out when one is asked for.
// Texts that a reader could spoil: quotes, a separator, letters beyond ASCII, a missing size.
const QString Catalogue = uR"sql(
INSERT INTO Images (ImageID, CD, Description) VALUES (1, FALSE, 'Folder'), (2, TRUE, 'Volume'), (3, FALSE, 'Text');
INSERT INTO Entries (ID, Parent, Name, Folder, Size, Modified, ImageID, CD, FullPath, Description) VALUES
 (1, NULL, 'Disk', TRUE, 30, '2024-01-01 10:00:00.000', 2, 1, NULL, NULL),
 (2, 1, 'Docs', TRUE, 20, '2024-01-02 11:30:00.500', 1, 1, NULL, 'Lake "report", ÉTÉ'),
 (3, 2, 'Naïve; notes.txt', FALSE, 20, '2024-01-03 12:00:02.000', 3, 1, 'Docs\', NULL),
 (4, 1, 'readme.txt', FALSE, NULL, '2024-01-04 00:00:00.000', 3, 1, NULL, 'Read me'),
 (5, NULL, 'Other', TRUE, 0, '2024-02-01 10:00:00.000', 2, 5, NULL, NULL);
INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (1, '1111-2222', 'DISK'), (5, '3333-4444', 'OTHER');
)sql"_s;

} // namespace

class TestExportStatements : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void WrittenAlike_data();
    void WrittenAlike();

private:
    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TDatabase> FDb;
    TVolumeServicesDouble FServices;
};

void TestExportStatements::init()
{
    TVolumeServices::SetCurrent(&FServices);
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FDb = std::make_unique<TDatabase>();
    FDb->SetDriverName(TestDriver());
    FDb->SetParams(TestDatabaseParams(FDir->path(), u"exportstatements"_s) + QStringList{u"CREATE=TRUE"_s});
    FDb->Open();
    CreateSearchTables(*FDb);
    FDb->ExecuteScript(Catalogue, [](TStatement &) {});
}

void TestExportStatements::cleanup()
{
    FDb.reset();
    FDir.reset();
    TVolumeServices::SetCurrent(nullptr);
}

void TestExportStatements::WrittenAlike_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("volume");
    QTest::addColumn<QString>("expected");
    QTest::newRow("csv, every volume")
        << int(TExportFormat::Csv) << 0
        << u"Volume,Path,Name,Folder,Size,Modified,Type,Description\r\n"
           "Disk,,Disk,1,30,2024-01-01 10:00:00,Volume,\r\n"
           "Disk,,Docs,1,20,2024-01-02 11:30:00,Folder,\"Lake \"\"report\"\", ÉTÉ\"\r\n"
           "Disk,Docs\\,Naïve; notes.txt,0,20,2024-01-03 12:00:02,Text,\r\n"
           "Disk,,readme.txt,0,,2024-01-04 00:00:00,Text,Read me\r\n"
           "Other,,Other,1,0,2024-02-01 10:00:00,Volume,\r\n"_s;
    QTest::newRow("json, one volume")
        << int(TExportFormat::Json) << 1
        << u"{\"volumes\":[\n"
           "{\"id\":1,\"label\":\"DISK\",\"serial\":\"1111-2222\",\"name\":\"Disk\",\"size\":30,"
           "\"modified\":\"2024-01-01 10:00:00\",\"type\":\"Volume\",\"children\":[\n"
           "{\"name\":\"Docs\",\"folder\":true,\"size\":20,\"modified\":\"2024-01-02 11:30:00\","
           "\"type\":\"Folder\",\"description\":\"Lake \\\"report\\\", ÉTÉ\",\"children\":[\n"
           "{\"name\":\"Naïve; notes.txt\",\"folder\":false,\"size\":20,\"modified\":\"2024-01-03 "
           "12:00:02\",\"type\":\"Text\"}]},\n"
           "{\"name\":\"readme.txt\",\"folder\":false,\"size\":null,\"modified\":\"2024-01-04 00:00:00\","
           "\"type\":\"Text\",\"description\":\"Read me\"}]}\n"
           "]}\n"_s;
}

void TestExportStatements::WrittenAlike()
{
    QFETCH(int, format);
    QFETCH(int, volume);
    QFETCH(QString, expected);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(ExportCatalogue(*FDb, out, TExportFormat(format),
                            volume ? std::optional<int>(volume) : std::nullopt, {}));
    QCOMPARE(QString::fromUtf8(out.data()), expected);
}

QTEST_GUILESS_MAIN(TestExportStatements)
#include "tst_ExportStatements.moc"
