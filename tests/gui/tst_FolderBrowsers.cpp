#include "FolderBrowsers.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFolderBrowsers : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { TFolderBrowser::ClearShown(); }
    void AnsweredInAdvance();
    void AnsweredAutomatically();
};

void TestFolderBrowsers::AnsweredInAdvance()
{
    TFolderBrowser::SetNextAnswer(u"/media/cdrom"_s);
    TFolderBrowser::SetNextAnswer(std::nullopt);
    QCOMPARE(TFolderBrowser::Browse(nullptr, u"Select directory:"_s, u"/home"_s),
             std::optional(u"/media/cdrom"_s));
    QCOMPARE(TFolderBrowser::Browse(nullptr, u"Second"_s, QString()), std::nullopt);
    QCOMPARE(TFolderBrowser::Shown().size(), 2);
    QCOMPARE(TFolderBrowser::Shown().first().Title, u"Select directory:"_s);
    QCOMPARE(TFolderBrowser::Shown().first().Initial, u"/home"_s);
    TFolderBrowser::ClearShown();
    QVERIFY(TFolderBrowser::Shown().isEmpty());
}

void TestFolderBrowsers::AnsweredAutomatically()
{
    // ClearShown also drops answers given but not used.
    TFolderBrowser::SetNextAnswer(u"/stale"_s);
    TFolderBrowser::ClearShown();
    TFolderBrowser::SetAnswerAutomatically(true);
    QCOMPARE(TFolderBrowser::Browse(nullptr, u"Pick"_s, u"/tmp"_s), std::nullopt);
    TFolderBrowser::SetAnswerAutomatically(false);
    QCOMPARE(TFolderBrowser::Shown().size(), 1);
}

QTEST_MAIN(TestFolderBrowsers)
#include "tst_FolderBrowsers.moc"
