// The properties dialog over scanned test volumes: what it shows of a volume, a folder and a file,
// and which way of closing keeps a typed description.

#include "DBControls.h"
#include "Properties.h"
#include "Queries.h"
#include "WindowsFixture.h"

#include <QLabel>
#include <QPushButton>
#include <QToolButton>

using namespace Qt::StringLiterals;

class TestProperties : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void ShowsTheEntry_data();
    void ShowsTheEntry();
    void ClosingKeepsOrDropsTheDescription_data();
    void ClosingKeepsOrDropsTheDescription();
    void UnknownEntryShowsAndWritesNothing();

private:
    int IdOf(const QString &name);
    QString Text(const char *name) { return P->findChild<QLabel *>(QString::fromLatin1(name))->text(); }
    bool Shown(const char *name)
    {
        return P->findChild<QWidget *>(QString::fromLatin1(name))->isVisibleTo(P.get());
    }

    std::unique_ptr<TWindowsFixture> F;
    std::unique_ptr<TProp> P;
};

void TestProperties::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestProperties::init()
{
    F = std::make_unique<TWindowsFixture>();
    F->Write(u"one"_s, u"Readme.txt"_s, {});
    QFile::resize(F->VolumePath(u"one"_s) + u"/Readme.txt"_s, 1234567);
    F->Write(u"one"_s, u"docs/Manual.txt"_s, "0123456789");
    QVERIFY(F->Catalogue(u"one"_s, u"MY DISK"_s, 0x1234ABCD, u"My disk"_s) > 0);
    P = std::make_unique<TProp>();
}

void TestProperties::cleanup()
{
    P.reset();
    F.reset();
}

int TestProperties::IdOf(const QString &name)
{
    TQuery query;
    query.SetDatabase(&F->Global->Database);
    query.SetSQL({u"SELECT ID FROM Entries WHERE Name = :n"_s});
    query.ParamByName(u"n"_s)->SetAsString(name);
    query.Open();
    return query.Fields(0)->AsInteger();
}

void TestProperties::ShowsTheEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("size");
    QTest::addColumn<bool>("root");

    QTest::newRow("volume") << u"My disk"_s << QString() << u"My disk:\\"_s << u"1,234,577 bytes"_s << true;
    QTest::newRow("folder") << u"docs"_s << u"Folder"_s << u"My disk:\\"_s << u"10 bytes"_s << false;
    QTest::newRow("file in the root")
        << u"Readme.txt"_s << QString() << u"My disk:\\"_s << u"1,234,567 bytes"_s << false;
    QTest::newRow("file in a folder")
        << u"Manual.txt"_s << QString() << u"My disk:\\docs\\"_s << u"10 bytes"_s << false;
}

void TestProperties::ShowsTheEntry()
{
    QFETCH(QString, entry);
    QFETCH(QString, type);
    QFETCH(bool, root);
    P->ShowEntry(IdOf(entry));
    P->show();
    QCOMPARE(Text("FileName"), entry);
    QTEST(Text("LocatedIn"), "location");
    QTEST(Text("FileSize"), "size");
    if (!type.isEmpty())
        QCOMPARE(Text("FileType"), type);
    else
        QVERIFY(!Text("FileType").isEmpty());
    QCOMPARE(Shown("SNLabel"), root);
    QCOMPARE(Shown("SerialNumber"), root);
    QCOMPARE(Shown("ModifiedLabel"), !root);
    QCOMPARE(Shown("DateModified"), !root);
    if (root)
        QCOMPARE(Text("SerialNumber"), u"1234-abcd"_s);
    else
        QVERIFY(!Text("DateModified").isEmpty());
    QVERIFY(!P->findChild<QToolButton *>(u"Image"_s)->icon().isNull());
    const QString folder = qEnvironmentVariable("VNX_SCREENSHOTS");
    if (!folder.isEmpty())
        P->grab().save(folder + u"/properties-"_s +
                       QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + u".png"_s);
}

void TestProperties::ClosingKeepsOrDropsTheDescription_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("OK stores") << u"ok"_s << u"A manual"_s << u"A manual"_s;
    QTest::newRow("OK without typing") << u"ok"_s << QString() << QString();
    QTest::newRow("Cancel drops") << u"cancel"_s << u"A manual"_s << QString();
    QTest::newRow("Escape drops") << u"escape"_s << u"A manual"_s << QString();
    QTest::newRow("close box drops") << u"close"_s << u"A manual"_s << QString();
}

void TestProperties::ClosingKeepsOrDropsTheDescription()
{
    QFETCH(QString, how);
    QFETCH(QString, typed);
    const int id = IdOf(u"Manual.txt"_s);
    P->ShowEntry(id);
    P->show();
    QVERIFY(QTest::qWaitForWindowExposed(P.get()));
    auto *memo = P->findChild<TDBMemo *>(u"FileDescription"_s);
    memo->setFocus();
    QTest::keyClicks(memo, typed);
    if (how == u"ok")
        QTest::mouseClick(P->findChild<QPushButton *>(u"btnOK"_s), Qt::LeftButton);
    else if (how == u"cancel")
        QTest::mouseClick(P->findChild<QPushButton *>(u"btnCancel"_s), Qt::LeftButton);
    else if (how == u"escape")
        QTest::keyClick(memo, Qt::Key_Escape), QTest::keyClick(P.get(), Qt::Key_Escape);
    else
        P->close();
    QVERIFY(!P->isVisible());

    TQuery query;
    query.SetDatabase(&F->Global->Database);
    query.SetSQL({u"SELECT IFNULL(Description, '') FROM Entries WHERE ID = :id"_s});
    query.ParamByName(u"id"_s)->SetAsInteger(id);
    query.Open();
    QTEST(query.Fields(0)->AsString(), "stored");
    QCOMPARE(F->Global->ForProperties.State(), TDataSetState::Browse);

    // The dialog is reused: the next entry shows its own description.
    P->ShowEntry(IdOf(u"Readme.txt"_s));
    QCOMPARE(memo->toPlainText(), QString());
}

void TestProperties::UnknownEntryShowsAndWritesNothing()
{
    // Shown on a real entry first: a failed seek must not leave it on screen to be edited.
    P->ShowEntry(IdOf(u"Manual.txt"_s));
    P->ShowEntry(999999);
    P->show();
    QVERIFY(QTest::qWaitForWindowExposed(P.get()));
    QCOMPARE(Text("FileName"), QString());
    QCOMPARE(Text("LocatedIn"), QString());
    auto *memo = P->findChild<TDBMemo *>(u"FileDescription"_s);
    memo->setFocus();
    QTest::keyClicks(memo, u"ghost"_s);
    QTest::mouseClick(P->findChild<QPushButton *>(u"btnOK"_s), Qt::LeftButton);
    QVERIFY(!P->isVisible());

    TQuery query;
    query.SetDatabase(&F->Global->Database);
    query.SetSQL({u"SELECT count(*) FROM Entries WHERE Parent IS NULL OR IFNULL(Description, '') <> ''"_s});
    query.Open();
    QCOMPARE(query.Fields(0)->AsInteger(), 1); // the volume root alone
}

QTEST_MAIN(TestProperties)
#include "tst_Properties.moc"
