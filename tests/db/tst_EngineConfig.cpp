#include "DatabaseError.h"
#include "EngineConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <memory>

class TestEngineConfig : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void DefaultPath_data();
    void DefaultPath();
    void RoundTrip();
    void LoadMissingFile();
    void LoadKeepsLinesAsGiven();
    void LoadMalformed_data();
    void LoadMalformed();
    void LoadUnreadable();
    void AddAliasRefuses_data();
    void AddAliasRefuses();
    void LookupIgnoresCase();
    void SaveFailure_data();
    void SaveFailure();

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QByteArray FSavedXdg, FSavedHome;

    QString ConfigPath() const { return FDir->filePath(QStringLiteral("vor-nex/engine.ini")); }
    void WriteConfig(const QByteArray &text);
};

void TestEngineConfig::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FSavedXdg = qgetenv("XDG_CONFIG_HOME");
    FSavedHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FDir->path()));
}

void TestEngineConfig::cleanup()
{
    qputenv("XDG_CONFIG_HOME", FSavedXdg);
    qputenv("HOME", FSavedHome);
    FDir.reset();
}

void TestEngineConfig::WriteConfig(const QByteArray &text)
{
    QVERIFY(QDir().mkpath(QFileInfo(ConfigPath()).path()));
    QFile file(ConfigPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(text), text.size());
}

void TestEngineConfig::DefaultPath_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<QString>("expected"); // "~" stands for HOME
    QTest::newRow("absolute") << true << QStringLiteral("/srv/cfg")
                              << QStringLiteral("/srv/cfg/vor-nex/engine.ini");
    QTest::newRow("trailing slash") << true << QStringLiteral("/srv/cfg/")
                                    << QStringLiteral("/srv/cfg/vor-nex/engine.ini");
    QTest::newRow("unset") << false << QString() << QStringLiteral("~/.config/vor-nex/engine.ini");
    QTest::newRow("empty") << true << QString() << QStringLiteral("~/.config/vor-nex/engine.ini");
    QTest::newRow("relative is ignored")
        << true << QStringLiteral("cfg") << QStringLiteral("~/.config/vor-nex/engine.ini");
}

void TestEngineConfig::DefaultPath()
{
    QFETCH(bool, set);
    QFETCH(QString, xdg);
    QFETCH(QString, expected);
    const QString home = FDir->filePath(QStringLiteral("home"));
    qputenv("HOME", QFile::encodeName(home));
    if (set)
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(xdg));
    else
        qunsetenv("XDG_CONFIG_HOME");
    expected.replace(u'~', home);
    QCOMPARE(TEngineConfig::DefaultPath(), expected);
    QCOMPARE(TEngineConfig().Path(), expected);
}

void TestEngineConfig::RoundTrip()
{
    const QStringList params{QStringLiteral("DATABASE NAME=/home/u/.local/share/vor-nex/vor-nex.db"),
                             QStringLiteral("OPEN MODE=READ/WRITE"), QStringLiteral("FILTER=A=B"),
                             QStringLiteral("EMPTY=")};
    TEngineConfig config;
    QCOMPARE(config.Path(), ConfigPath());
    config.AddAlias(QStringLiteral("VOR-NEX"), QStringLiteral("SQLITE"), params);
    config.AddAlias(QStringLiteral("Another Alias"), QStringLiteral("SQLITE"), {});
    config.AddAlias(QStringLiteral("AAA"), QStringLiteral("OTHER"), {QStringLiteral("PATH=/tmp")});
    config.Save(); // creates the vor-nex folder too

    TEngineConfig loaded;
    loaded.Load();
    QCOMPARE(loaded.AliasNames(), (QStringList{QStringLiteral("VOR-NEX"), QStringLiteral("Another Alias"),
                                               QStringLiteral("AAA")}));
    const std::optional<TAliasInfo> alias = loaded.Alias(QStringLiteral("VOR-NEX"));
    QVERIFY(alias);
    QCOMPARE(alias->Name, QStringLiteral("VOR-NEX"));
    QCOMPARE(alias->Driver, QStringLiteral("SQLITE"));
    QCOMPARE(alias->Params, params);
    QCOMPARE(alias->Param(QStringLiteral("DATABASE NAME")),
             QStringLiteral("/home/u/.local/share/vor-nex/vor-nex.db"));
    QCOMPARE(alias->Param(QStringLiteral("filter")), QStringLiteral("A=B"));
    QCOMPARE(alias->Param(QStringLiteral("DATABASE")), QString());
    QCOMPARE(loaded.Alias(QStringLiteral("Another Alias"))->Params, QStringList());
    QCOMPARE(loaded.Alias(QStringLiteral("AAA"))->Driver, QStringLiteral("OTHER"));

    // Saving again replaces the file rather than appending to it.
    loaded.Save();
    TEngineConfig again;
    again.Load();
    QCOMPARE(again.AliasNames().size(), 3);
}

void TestEngineConfig::LoadMissingFile()
{
    TEngineConfig config;
    config.AddAlias(QStringLiteral("OLD"), QStringLiteral("SQLITE"), {});
    config.Load();
    QVERIFY(config.AliasNames().isEmpty());
    QVERIFY(!QFile::exists(ConfigPath()));
}

void TestEngineConfig::LoadKeepsLinesAsGiven()
{
    WriteConfig("; written by hand\r\n"
                "\r\n"
                "# another comment\n"
                "  [ VOR-NEX ]  \n"
                "  ; indented comment\n"
                "OPEN MODE=READ ONLY\n"
                "driver = SQLITE \n"
                "\n"
                "  DATABASE NAME=/data/my catalogue.db\r\n"
                "[Second]\n"
                "DRIVER=SQLITE\n"
                "DRIVER=kept as a parameter\n");
    TEngineConfig config;
    config.Load();
    QCOMPARE(config.AliasNames(), (QStringList{QStringLiteral("VOR-NEX"), QStringLiteral("Second")}));
    const TAliasInfo alias = *config.Alias(QStringLiteral("vor-nex"));
    QCOMPARE(alias.Driver, QStringLiteral("SQLITE"));
    QCOMPARE(alias.Params, (QStringList{QStringLiteral("OPEN MODE=READ ONLY"),
                                        QStringLiteral("DATABASE NAME=/data/my catalogue.db")}));
    QCOMPARE(alias.Param(QStringLiteral("open mode")), QStringLiteral("READ ONLY"));
    QCOMPARE(config.Alias(QStringLiteral("Second"))->Params,
             QStringList{QStringLiteral("DRIVER=kept as a parameter")});
}

void TestEngineConfig::LoadMalformed_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");
    QTest::newRow("line outside a section") << QByteArray("DRIVER=SQLITE\n[A]\n") << QStringLiteral("line 1");
    QTest::newRow("line without '='")
        << QByteArray("[A]\nDRIVER=SQLITE\nDATABASE NAME\n") << QStringLiteral("line 3");
    QTest::newRow("unclosed section") << QByteArray("[A\nDRIVER=SQLITE\n") << QStringLiteral("line 1");
    QTest::newRow("empty section name") << QByteArray("[ ]\n") << QStringLiteral("line 1");
    QTest::newRow("duplicate alias") << QByteArray("[A]\n[a]\n") << QStringLiteral("Duplicate alias name");
}

void TestEngineConfig::LoadMalformed()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);
    WriteConfig(text);
    TEngineConfig config;
    config.AddAlias(QStringLiteral("KEPT"), QStringLiteral("SQLITE"), {});
    try {
        config.Load();
        QFAIL("Load accepted a malformed file");
    } catch (const EDatabaseError &e) {
        QVERIFY2(e.Message().contains(ConfigPath()), qPrintable(e.Message()));
        QVERIFY2(e.Message().contains(reason), qPrintable(e.Message()));
    }
    QCOMPARE(config.AliasNames(), QStringList{QStringLiteral("KEPT")});
}

void TestEngineConfig::LoadUnreadable()
{
    // A folder where the file should be cannot be read, whoever runs the test.
    QVERIFY(QDir().mkpath(ConfigPath()));
    TEngineConfig config;
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, config.Load());
}

void TestEngineConfig::AddAliasRefuses_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("params");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty name") << QString() << QStringList() << QStringLiteral("Invalid alias name");
    QTest::newRow("blank name") << QStringLiteral("  ") << QStringList()
                                << QStringLiteral("Invalid alias name");
    QTest::newRow("name with a line break")
        << QStringLiteral("A\nB") << QStringList() << QStringLiteral("Invalid alias name");
    QTest::newRow("duplicate") << QStringLiteral("VOR-NEX") << QStringList()
                               << QStringLiteral("Duplicate alias name");
    QTest::newRow("duplicate, other case")
        << QStringLiteral(" vor-nex ") << QStringList() << QStringLiteral("Duplicate alias name");
    QTest::newRow("param without '='")
        << QStringLiteral("NEW") << QStringList{QStringLiteral("A=1"), QStringLiteral("OPEN MODE")}
        << QStringLiteral("'OPEN MODE'");
    QTest::newRow("param read back as a comment")
        << QStringLiteral("NEW") << QStringList{QStringLiteral("#A=1")} << QStringLiteral("'#A=1'");
    QTest::newRow("param with a line break")
        << QStringLiteral("NEW") << QStringList{QStringLiteral("A=1\n[B]")}
        << QStringLiteral("Invalid parameter");
}

void TestEngineConfig::AddAliasRefuses()
{
    QFETCH(QString, name);
    QFETCH(QStringList, params);
    QFETCH(QString, reason);
    TEngineConfig config;
    config.AddAlias(QStringLiteral("VOR-NEX"), QStringLiteral("SQLITE"), {});
    try {
        config.AddAlias(name, QStringLiteral("SQLITE"), params);
        QFAIL("AddAlias accepted it");
    } catch (const EDatabaseError &e) {
        QVERIFY2(e.Message().contains(reason), qPrintable(e.Message()));
    }
    QCOMPARE(config.AliasNames(), QStringList{QStringLiteral("VOR-NEX")});
}

void TestEngineConfig::LookupIgnoresCase()
{
    TEngineConfig config;
    config.AddAlias(QStringLiteral("Vor-Nex"), QStringLiteral("SQLITE"),
                    {QStringLiteral("Open Mode=READ/WRITE")});
    QVERIFY(config.IsAlias(QStringLiteral("VOR-NEX")));
    QVERIFY(config.IsAlias(QStringLiteral("vor-nex")));
    QVERIFY(!config.IsAlias(QStringLiteral("VOR")));
    QVERIFY(!config.Alias(QStringLiteral("VOR")));
    const std::optional<TAliasInfo> alias = config.Alias(QStringLiteral("VOR-nex"));
    QVERIFY(alias);
    QCOMPARE(alias->Name, QStringLiteral("Vor-Nex"));
    QCOMPARE(alias->Param(QStringLiteral("OPEN MODE")), QStringLiteral("READ/WRITE"));
}

void TestEngineConfig::SaveFailure_data()
{
    QTest::addColumn<QString>("blocker"); // made a regular file or a folder, relative to the temp dir
    QTest::addColumn<bool>("asFolder");
    QTest::addColumn<QString>("configPath");
    QTest::addColumn<QString>("reason");
    // Permissions do not stop root, so the target is made unwritable by what stands in its place.
    QTest::newRow("parent is a file")
        << QStringLiteral("blocker") << false << QStringLiteral("blocker/vor-nex/engine.ini")
        << qt_error_string(ENOTDIR);
    QTest::newRow("file is a folder")
        << QStringLiteral("cfg/vor-nex/engine.ini") << true << QStringLiteral("cfg/vor-nex/engine.ini")
        << QStringLiteral("directory");
}

void TestEngineConfig::SaveFailure()
{
    QFETCH(QString, blocker);
    QFETCH(bool, asFolder);
    QFETCH(QString, configPath);
    QFETCH(QString, reason);
    if (asFolder) {
        QVERIFY(QDir().mkpath(FDir->filePath(blocker)));
    } else {
        QFile file(FDir->filePath(blocker));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    TEngineConfig config(FDir->filePath(configPath));
    config.AddAlias(QStringLiteral("VOR-NEX"), QStringLiteral("SQLITE"), {});
    try {
        config.Save();
        QFAIL("Save did not fail");
    } catch (const EDatabaseError &e) {
        QVERIFY2(e.Message().contains(config.Path()), qPrintable(e.Message()));
        QVERIFY2(e.Message().contains(reason, Qt::CaseInsensitive), qPrintable(e.Message()));
    }
}

QTEST_GUILESS_MAIN(TestEngineConfig)
#include "tst_EngineConfig.moc"
