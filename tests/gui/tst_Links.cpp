#include "Links.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestLinks : public QObject
{
    Q_OBJECT

private slots:
    void LinkUrl_data();
    void LinkUrl();
    void OpenLinkIsRecordedWhileTesting();
};

void TestLinks::LinkUrl_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QUrl>("url");
    QTest::newRow("web") << u"https://www.sqlite.org/"_s << QUrl(u"https://www.sqlite.org/"_s);
    QTest::newRow("web without scheme") << u" www.qt.io "_s << QUrl(u"http://www.qt.io"_s);
    QTest::newRow("mail") << u"someone@example.org"_s << QUrl(u"mailto:someone@example.org"_s);
    QTest::newRow("mail with scheme") << u"mailto:a@b.c"_s << QUrl(u"mailto:a@b.c"_s);
    QTest::newRow("absolute path") << u"/usr/share/doc"_s << QUrl::fromLocalFile(u"/usr/share/doc"_s);
    QTest::newRow("home path") << u"~/notes.txt"_s << QUrl::fromLocalFile(QDir::homePath() + u"/notes.txt"_s);
    QTest::newRow("relative path") << u"docs/a b.txt"_s
                                   << QUrl::fromLocalFile(
                                          QDir::current().absoluteFilePath(u"docs/a b.txt"_s));
    QTest::newRow("at sign in a path") << u"/tmp/x@y.z/file"_s << QUrl::fromLocalFile(u"/tmp/x@y.z/file"_s);
    QTest::newRow("blank") << u"  "_s << QUrl();
}

void TestLinks::LinkUrl()
{
    QFETCH(QString, text);
    QFETCH(QUrl, url);
    QCOMPARE(::LinkUrl(text), url);
}

void TestLinks::OpenLinkIsRecordedWhileTesting()
{
    TLinkRecorder outer;
    {
        TLinkRecorder recorder;
        QVERIFY(OpenLink(u"www.example.org"_s));
        QVERIFY(!OpenLink(QString()));
        QCOMPARE(recorder.Opened(), (QList<QUrl>{QUrl(u"http://www.example.org"_s)}));
    }
    QVERIFY(OpenLink(u"a@b.org"_s));
    QCOMPARE(outer.Opened(), (QList<QUrl>{QUrl(u"mailto:a@b.org"_s)}));
}

QTEST_MAIN(TestLinks)
#include "tst_Links.moc"
