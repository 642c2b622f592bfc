#include "CDExs.h"
#include "CatalogSchema.h"
#include "CheckAlias.h"
#include "DBCustomTreeView.h"
#include "Databases.h"
#include "EngineConfig.h"
#include "MessageBoxes.h"
#include "Properties.h"
#include "Startup.h"
#include "TestSupport.h"
#include "dmGlobal.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

// Start-up against fresh configuration and data folders, as on a new machine.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstStartCreatesAliasAndCatalogue();
    void startsIntoTheExplorerShowingTheCatalogue();
    void secondStartUsesThemUnchanged();
    void aliasPointingElsewhereIsKept();
    void catalogueThatCannotBeWrittenStillOpens();
    void unwritableConfigurationShowsOneError();
    void unusableCatalogueIsReportedAndLeftAlone_data();
    void unusableCatalogueIsReportedAndLeftAlone();
    void installedHelpIsFoundBesideTheProgram();

private:
    QString ConfigPath() const { return FConfig->filePath(QStringLiteral("vor-nex/engine.ini")); }
    QString CataloguePath() const { return FData->filePath(QStringLiteral("vor-nex/vor-nex.db")); }

    std::unique_ptr<QTemporaryDir> FConfig;
    std::unique_ptr<QTemporaryDir> FData;
};

void TestStartup::init()
{
    FConfig = std::make_unique<QTemporaryDir>();
    FData = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FConfig->path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(FData->path()));
    TMessageBox::ClearShown();
    TMessageBox::SetAnswerAutomatically(true);
}

void TestStartup::cleanup()
{
    TMessageBox::SetAnswerAutomatically(false);
    TMessageBox::ClearShown();
}

void TestStartup::firstStartCreatesAliasAndCatalogue()
{
    std::unique_ptr<TProgram> program = StartProgram();
    QVERIFY(program);
    QVERIFY(TMessageBox::Shown().isEmpty());
    QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("VOR-NEX"));

    TEngineConfig config;
    config.Load();
    const std::optional<TAliasInfo> alias = config.Alias(QStringLiteral("VOR-NEX"));
    QVERIFY(alias);
    QCOMPARE(alias->Driver, QStringLiteral("SQLITE"));
    QCOMPARE(alias->Params, (QStringList{QStringLiteral("DATABASE NAME=") + CataloguePath(),
                                         QStringLiteral("OPEN MODE=READ/WRITE")}));

    // The data module is open on the new catalogue with its views, and the file is a catalogue.
    TGlobal &global = *program->Global;
    QCOMPARE(global.Database.FileName(), CataloguePath());
    QVERIFY(global.Folders.Active() && global.FullList.Active() && global.CDs.Active() &&
            global.Images.Active());
    QVERIFY(!global.Main.Active());
    QVERIFY(global.Folders.IsEmpty());
    QVERIFY(global.Images.RecordCount() > 4);
    QCOMPARE(CatalogSchema::FileVersion(global.Database), CatalogSchema::Version);
    QCOMPARE(program->MainWindow->objectName(), QStringLiteral("CDEx"));
    QCOMPARE(TProp::Instance(), program->Prop.get());
}

void TestStartup::startsIntoTheExplorerShowingTheCatalogue()
{
    {
        std::unique_ptr<TProgram> program = StartProgram();
        QVERIFY(program);
        program->Global->Database.ExecSQL(
            QStringLiteral("INSERT INTO Entries (ID, Parent, Name, Size, ImageID, CD, Folder) VALUES (7, "
                           "NULL, 'Holiday', 0, 2, 7, 1)"),
            {});
        program->Global->Database.ExecSQL(
            QStringLiteral("INSERT INTO CDs (ID, SerialNum, VolumeLabel) VALUES (7, '1234-5678', 'Holiday')"),
            {});
    }
    std::unique_ptr<TProgram> program = StartProgram();
    QVERIFY(program);
    program->MainWindow->show();
    QTRY_VERIFY(program->MainWindow->FoldersTree->Items()->GetFirstNode());
    QCOMPARE(program->MainWindow->FoldersTree->Items()->GetFirstNode()->Text(), QStringLiteral("Holiday"));
}

void TestStartup::secondStartUsesThemUnchanged()
{
    QVERIFY(StartProgram());
    const QByteArray config = readAll(ConfigPath());
    {
        std::unique_ptr<TProgram> program = StartProgram();
        QVERIFY(program);
        program->Global->Main.Open();
        QVERIFY(program->Global->Main.IsEmpty());
    }
    QCOMPARE(readAll(ConfigPath()), config);
    QVERIFY(TMessageBox::Shown().isEmpty());
}

void TestStartup::aliasPointingElsewhereIsKept()
{
    QTemporaryDir elsewhere;
    const QString path = elsewhere.filePath(QStringLiteral("mine.db"));
    CatalogSchema::CreateFile(path);
    TEngineConfig config;
    config.AddAlias(QStringLiteral("VOR-NEX"), QStringLiteral("SQLITE"),
                    {QStringLiteral("DATABASE NAME=") + path});
    config.Save();

    std::unique_ptr<TProgram> program = StartProgram();
    QVERIFY(program);
    QCOMPARE(program->Global->Database.FileName(), path);
    QVERIFY(!QFile::exists(CataloguePath()));
}

void TestStartup::catalogueThatCannotBeWrittenStillOpens()
{
    QVERIFY(StartProgram());
    const QByteArray before = readAll(CataloguePath());
    // As on a disc or a read-only share: the log and its index cannot be made beside the file.
    TImmutable folder(QFileInfo(CataloguePath()).absolutePath());
    if (!folder.Set())
        QSKIP("the file system does not let the folder be made immutable");
    {
        std::unique_ptr<TProgram> program = StartProgram();
        QVERIFY(program);
        QVERIFY(program->Global->ReadOnly());
        program->MainWindow->show();
        QTRY_VERIFY(program->MainWindow->FoldersTree->isVisible());
    }
    QVERIFY(TMessageBox::Shown().isEmpty());
    QCOMPARE(readAll(CataloguePath()), before);
}

void TestStartup::unwritableConfigurationShowsOneError()
{
    // A file where the configuration folder should be: nothing can be written under it.
    const QString blocked = FConfig->filePath(QStringLiteral("blocked"));
    writeAll(blocked, "not a folder");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocked));

    QVERIFY(!CheckDatabaseAlias());
    // Without the alias that would name it, no catalogue (nor its folder) was made.
    QVERIFY(!QFileInfo::exists(QFileInfo(CataloguePath()).path()));
    QCOMPARE(TMessageBox::Shown().size(), 1);
    const TMessageBox::TShown shown = TMessageBox::Shown().first();
    QCOMPARE(shown.Caption, QStringLiteral("Error"));
    QCOMPARE(shown.Icon, QMessageBox::Critical);
    QCOMPARE(shown.Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY2(shown.Text.startsWith(QStringLiteral("Can not create database alias\r\n")),
             qPrintable(shown.Text));
    QVERIFY(shown.Text.size() > int(qstrlen("Can not create database alias\r\n")));

    TMessageBox::ClearShown();
    QVERIFY(!StartProgram());
    QCOMPARE(TMessageBox::Shown().size(), 1);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
    QVERIFY(!TGlobal::Instance());
}

void TestStartup::unusableCatalogueIsReportedAndLeftAlone_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing") << QStringLiteral("delete") << QStringLiteral("unable to open database file");
    QTest::newRow("not a database") << QStringLiteral("garbage") << QStringLiteral("file is not a database");
    QTest::newRow("cut short") << QStringLiteral("truncate") << QStringLiteral("malformed");
    QTest::newRow("another program's database")
        << QStringLiteral("foreign") << QStringLiteral("is not a VOR-NEX catalogue");
    QTest::newRow("newer layout") << QStringLiteral("newer") << QStringLiteral("newer version of VOR-NEX");
}

void TestStartup::unusableCatalogueIsReportedAndLeftAlone()
{
    QFETCH(QString, damage);
    QFETCH(QString, message);

    QVERIFY(CheckDatabaseAlias());
    const QString path = CataloguePath();
    if (damage == u"delete") {
        QVERIFY(QFile::remove(path));
    } else if (damage == u"garbage") {
        writeAll(path, QByteArray(8192, 'x'));
    } else if (damage == u"truncate") {
        const QByteArray bytes = readAll(path);
        writeAll(path, bytes.left(bytes.size() / 3));
    } else {
        QFile::remove(path);
        TDatabase database;
        database.SetDriverName(QStringLiteral("SQLITE"));
        database.SetParams({QStringLiteral("DATABASE NAME=") + path, QStringLiteral("CREATE=TRUE")});
        database.Open();
        if (damage == u"foreign") {
            database.ExecSQL(QStringLiteral("CREATE TABLE Entries (ID INTEGER PRIMARY KEY)"));
        } else {
            database.Close();
            CatalogSchema::CreateFile(path + QStringLiteral(".tmp"));
            QFile::remove(path);
            QVERIFY(QFile::rename(path + QStringLiteral(".tmp"), path));
            database.Open();
            database.ExecSQL(QStringLiteral("PRAGMA user_version = %1").arg(CatalogSchema::Version + 1));
        }
        database.Close();
    }
    const bool existed = QFile::exists(path);
    const QByteArray before = readAll(path);

    QVERIFY(!StartProgram());
    QCOMPARE(TMessageBox::Shown().size(), 1);
    QCOMPARE(TMessageBox::Shown().first().Caption, QStringLiteral("Error"));
    QVERIFY2(TMessageBox::Shown().first().Text.contains(message),
             qPrintable(TMessageBox::Shown().first().Text));
    QVERIFY(!TGlobal::Instance());
    // Never replaced, never created, never touched.
    QCOMPARE(QFile::exists(path), existed);
    QCOMPARE(readAll(path), before);
}

// Installed under a prefix, the program reads the help installed beside it; run from its build
// folder, where nothing is installed, the copy built into it.
void TestStartup::installedHelpIsFoundBesideTheProgram()
{
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    QCOMPARE(HelpIndexPage(bin), QStringLiteral(":/help/index.html"));
    QVERIFY(QFileInfo(HelpIndexPage(bin)).isFile());

    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/vor-nex/help")));
    const QString index = prefix.filePath(QStringLiteral("share/vor-nex/help/index.html"));
    writeAll(index, "<html><body>Installed</body></html>");
    QCOMPARE(HelpIndexPage(bin), index);
}

QTEST_MAIN(TestStartup)
#include "tst_Startup.moc"
