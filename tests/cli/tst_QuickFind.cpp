// vor-nex-cli answers a find itself, without Qt, or leaves it to the full tool it hands every
// other command to: either way a user sees what the full tool alone would show.

#include "CliFixture.h"
#include "TestSupport.h"

#include <QDate>

class TestQuickFind : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void sameAnswer_data();
    void sameAnswer();
    void entriesNotIndexedYet();
    void leavesNoLogBeside();

private:
    QString Volume() const { return FCli.Path(QStringLiteral("Disc")); }
    QString Catalogue() const { return FCli.Path(QStringLiteral("data/vor-nex/vor-nex.db")); }
    TCliRun Run(const char *program, const QStringList &args) const
    {
        QProcess process;
        FCli.Prepare(process);
        process.setProgram(QString::fromUtf8(program));
        process.setArguments(args);
        process.start();
        return TCliFixture::Finish(process);
    }

    TCliFixture FCli;
};

void TestQuickFind::initTestCase()
{
    // Names a line must show as they are, or with blanks for its separators.
    WriteFile(Volume() + QStringLiteral("/Readme.txt"), "hello");
    WriteFile(Volume() + QStringLiteral("/tab\there.txt"), "x");
    WriteFile(Volume() + QStringLiteral("/Zoë.txt"), "x");
    WriteFile(Volume() + QStringLiteral("/50%_off.doc"), "x");
    WriteFile(Volume() + QStringLiteral("/Docs/Big.iso"), QByteArray(3072, 'x'));
    WriteFile(Volume() + QStringLiteral("/Docs/file_id.diz"), "Documents of the disc");
    WriteFile(Volume() + QStringLiteral("/Café/file_id.diz"), "Menu du café");
    WriteFile(Volume() + QStringLiteral("/smile \U0001F600.txt"), "x");
    // Into the catalogue the alias names, made on first use.
    const TCliRun scan = FCli.Run({QStringLiteral("scan"), Volume()});
    QCOMPARE(scan.Err, QString());
    QCOMPARE(scan.ExitCode, 0);
}

void TestQuickFind::sameAnswer_data()
{
    QTest::addColumn<QStringList>("args");
    const QString find = QStringLiteral("find");
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    QTest::newRow("every entry") << QStringList{find, QStringLiteral("*")};
    QTest::newRow("pattern, letter case aside") << QStringList{find, QStringLiteral("*.TXT")};
    QTest::newRow("pattern with blanks around") << QStringList{QStringLiteral(" *me.txt\u3000"), find};
    QTest::newRow("% and _ as themselves") << QStringList{find, QStringLiteral("5?%_*")};
    QTest::newRow("a tab in the name") << QStringList{find, QStringLiteral("*\t*")};
    QTest::newRow("a character beyond 16 bits") << QStringList{find, QStringLiteral("smile ?.txt")};
    QTest::newRow("whole name beyond ASCII")
        << QStringList{find, QStringLiteral("zoë.TXT"), QStringLiteral("--whole")};
    QTest::newRow("larger than 2 KB") << QStringList{find, QStringLiteral("*"), QStringLiteral("--size"),
                                                     QStringLiteral(">"), QStringLiteral("2")};
    QTest::newRow("exactly 3 KB") << QStringList{find, QStringLiteral("*"), QStringLiteral("--size"),
                                                 QStringLiteral("=3")};
    QTest::newRow("modified today") << QStringList{find,  QStringLiteral("*.txt"), QStringLiteral("--from"),
                                                   today, QStringLiteral("--to"),  today};
    QTest::newRow("a day the calendar lacks") << QStringList{find,
                                                             QStringLiteral("*"),
                                                             QStringLiteral("--from"),
                                                             QStringLiteral("2023-02-29"),
                                                             QStringLiteral("--to"),
                                                             today};
    QTest::newRow("volume picture") << QStringList{find, QStringLiteral("*"), QStringLiteral("--type"),
                                                   QStringLiteral("2")};
    QTest::newRow("on the volume") << QStringList{find, QStringLiteral("*"), QStringLiteral("--volume"),
                                                  QStringLiteral("1")};
    QTest::newRow("description words")
        << QStringList{find, QStringLiteral("--text"), QStringLiteral("DISC docum")};
    QTest::newRow("description words beyond ASCII")
        << QStringList{find, QStringLiteral("--text"), QStringLiteral("CAFE")};
    QTest::newRow("catalogue given") << QStringList{QStringLiteral("--catalog"), Catalogue(), find,
                                                    QStringLiteral("*.doc")};
    QTest::newRow("catalogue given that is no catalogue") << QStringList{
        QStringLiteral("--catalog"), Volume() + QStringLiteral("/Readme.txt"), find, QStringLiteral("*")};
    QTest::newRow("wrong usage") << QStringList{find, QStringLiteral("*"), QStringLiteral("--time")};
    QTest::newRow("help") << QStringList{find, QStringLiteral("--help")};
    QTest::newRow("help as a value") << QStringList{find, QStringLiteral("--text"), QStringLiteral("--help")};
    QTest::newRow("another command") << QStringList{QStringLiteral("volumes")};
}

void TestQuickFind::sameAnswer()
{
    QFETCH(QStringList, args);
    const TCliRun quick = Run(VNX_CLI_PATH, args);
    const TCliRun full = Run(VNX_CLI_FULL_PATH, args);
    QVERIFY(quick.Finished && full.Finished);
    QCOMPARE(quick.Out, full.Out);
    QCOMPARE(quick.Err, full.Err);
    QCOMPARE(quick.ExitCode, full.ExitCode);
}

void TestQuickFind::entriesNotIndexedYet()
{
    // An entry another program added without indexing it: the description's index does not know
    // its words yet, so a search read as the file lies would miss it.
    TRawCatalogue raw(Catalogue());
    const QStringList added = raw.Rows(QStringLiteral(
        "INSERT INTO Entries (Parent, Name, Size, Modified, ImageID, CD, Folder, Description) "
        "SELECT ID, 'late.txt', 1, '2024-01-01 00:00:00.000', 1, ID, 0, 'added late' FROM Entries "
        "WHERE Parent IS NULL RETURNING ID"));
    QCOMPARE(added.size(), 1);

    const TCliRun run =
        Run(VNX_CLI_PATH, {QStringLiteral("find"), QStringLiteral("--text"), QStringLiteral("late")});
    QCOMPARE(run.ExitCode, 0);
    QCOMPARE(run.Out.section(u'\t', 0, 1), added[0] + QStringLiteral("\tlate.txt"));
    QCOMPARE(raw.Rows(QStringLiteral("SELECT UpTo FROM SearchIndexed")), added);
}

void TestQuickFind::leavesNoLogBeside()
{
    // A reader that cannot write leaves the engine's log and its index behind, where a user sees
    // them and where another user's program may not open them.
    const TCliRun run = Run(VNX_CLI_PATH, {QStringLiteral("find"), QStringLiteral("*.txt")});
    QCOMPARE(run.ExitCode, 0);
    QVERIFY(!QFile::exists(Catalogue() + QStringLiteral("-wal")));
    QVERIFY(!QFile::exists(Catalogue() + QStringLiteral("-shm")));
}

QTEST_GUILESS_MAIN(TestQuickFind)
#include "tst_QuickFind.moc"
