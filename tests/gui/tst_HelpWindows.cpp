#include "HelpWindows.h"
#include "Links.h"
#include "Screenshots.h"
#include "SysUtils.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolButton>
#include <memory>

using namespace Qt::StringLiterals;

class TestHelpWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ContentsComeFromTheIndexLinks();
    void ContentsAndLinksMoveBetweenPages();
    void OutsideLinksOpenOutside();
    void OneWindowAtATime();
    void MissingHelpIsAnError();

private:
    void Write(const QString &name, const QString &html);
    void ClickLink(const QString &href);
    void ClickTool(const char *name);
    THelpWindow *Window();
    QString Page();

    std::unique_ptr<QTemporaryDir> FDir;
};

void TestHelpWindows::Write(const QString &name, const QString &html)
{
    QFile file(FDir->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(html.toUtf8());
}

void TestHelpWindows::init()
{
    FDir = std::make_unique<QTemporaryDir>();
    Write(u"index.html"_s,
          u"<html><head><title>VOR-NEX Help</title></head><body><h1>Contents</h1><ul>"
          "<li><a href=\"scan.html\">Cataloguing a disc</a></li>"
          "<li><a href='find.html#size'>Searching by <b>size</b></a></li>"
          "<li><a href=\"#top\">Top</a></li><li><a href=\"https://www.sqlite.org/\">SQLite</a></li>"
          "<li><a href=\"scan.html\">again</a></li></ul></body></html>"_s);
    Write(u"scan.html"_s,
          u"<html><head><title>Cataloguing</title></head><body><p>Put the disc in, then "
          "<a href=\"find.html\">search</a> or write to <a href=\"mailto:help@example.org\">us</a>."
          "</p></body></html>"_s);
    Write(u"find.html"_s, u"<html><head><title>Searching</title></head><body><p>By name.</p>"
                          "<h2><a name=\"size\"></a>Size</h2><p>By size.</p></body></html>"_s);
    THelp::SetIndexPage(FDir->path());
    THelp::SetHelpFile(u"vor_nex.hlp"_s);
    THelp::ShowContents(nullptr);
    QVERIFY(Window());
    QVERIFY(QTest::qWaitForWindowExposed(Window()));
}

void TestHelpWindows::cleanup()
{
    delete THelp::Window();
    FDir.reset();
}

THelpWindow *TestHelpWindows::Window()
{
    return THelp::Window();
}

QString TestHelpWindows::Page()
{
    const QUrl page = Window()->CurrentPage();
    return page.fileName() + (page.hasFragment() ? u'#' + page.fragment() : QString());
}

void TestHelpWindows::ClickLink(const QString &href)
{
    auto *browser = Window()->findChild<QTextBrowser *>(u"Browser"_s);
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().anchorHref() != href)
                continue;
            QTextCursor cursor(browser->document());
            cursor.setPosition(fragment.position() + 1);
            const QPoint point = browser->cursorRect(cursor).center() - QPoint(2, 0);
            QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, point);
            return;
        }
    }
    QFAIL(qPrintable(u"no link to "_s + href));
}

void TestHelpWindows::ClickTool(const char *name)
{
    auto *button = Window()->findChild<QToolButton *>(QString::fromLatin1(name));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

void TestHelpWindows::ContentsComeFromTheIndexLinks()
{
    const QList<THelpTopic> expected{{u"VOR-NEX Help"_s, u"index.html"_s},
                                     {u"Cataloguing a disc"_s, u"scan.html"_s},
                                     {u"Searching by size"_s, u"find.html#size"_s}};
    QCOMPARE(Window()->Contents(), expected);
    auto *list = Window()->findChild<QListWidget *>(u"Contents"_s);
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(2)->text(), u"Searching by size"_s);
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(Page(), u"index.html"_s);
    QCOMPARE(Window()->windowTitle(), u"VOR-NEX Help - Help"_s);
    Window()->resize(640, 400);
    KeepScreenshot(Window()->grab(), u"help.png"_s);
    Window()->SetContents({{u"Finding files"_s, u"find.html"_s}, {u"Start"_s, u"index.html"_s}});
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->currentRow(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QCOMPARE(Page(), u"find.html"_s);
    Window()->SetContents({}); // back to the index's links
    QCOMPARE(list->count(), 3);
}

void TestHelpWindows::ContentsAndLinksMoveBetweenPages()
{
    auto *list = Window()->findChild<QListWidget *>(u"Contents"_s);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QCOMPARE(Page(), u"scan.html"_s);
    QCOMPARE(Window()->CurrentTitle(), u"Cataloguing"_s);
    ClickLink(u"find.html"_s);
    QCOMPARE(Page(), u"find.html"_s);
    QCOMPARE(list->currentRow(), 2); // the topic of the page, though it names a place in it
    ClickTool("BtnBack");
    QCOMPARE(Page(), u"scan.html"_s);
    QCOMPARE(list->currentRow(), 1);
    ClickTool("BtnForward");
    QCOMPARE(Page(), u"find.html"_s);
    ClickTool("BtnHome");
    QCOMPARE(Page(), u"index.html"_s);
    ClickLink(u"find.html#size"_s);
    QCOMPARE(Page(), u"find.html#size"_s);
    Window()->ShowPage(u"missing.html"_s);
    QVERIFY(Window()->findChild<QTextBrowser *>(u"Browser"_s)->toPlainText().contains(u"Page not found"_s));
}

void TestHelpWindows::OutsideLinksOpenOutside()
{
    TLinkRecorder recorder;
    Window()->ShowPage(u"scan.html"_s);
    ClickLink(u"mailto:help@example.org"_s);
    Window()->Home();
    ClickLink(u"https://www.sqlite.org/"_s);
    QCOMPARE(recorder.Opened(),
             (QList<QUrl>{QUrl(u"mailto:help@example.org"_s), QUrl(u"https://www.sqlite.org/"_s)}));
    QCOMPARE(Page(), u"index.html"_s);
}

void TestHelpWindows::OneWindowAtATime()
{
    THelpWindow *first = Window();
    first->ShowPage(u"scan.html"_s);
    THelp::ShowContents(nullptr);
    QCOMPARE(Window(), first);
    QCOMPARE(Page(), u"index.html"_s);
    THelp::ShowPage(nullptr, u"find.html"_s);
    QCOMPARE(Page(), u"find.html"_s);
    first->close();
    QTRY_VERIFY(!Window());
    THelp::ShowContents(nullptr);
    QVERIFY(Window());
}

void TestHelpWindows::MissingHelpIsAnError()
{
    THelp::SetIndexPage(FDir->filePath(u"nothing"_s));
    QString message;
    try {
        THelp::ShowContents(nullptr);
    } catch (const Exception &error) {
        message = error.Message();
    }
    QCOMPARE(message, u"Cannot find the help file vor_nex.hlp."_s);
    THelp::SetIndexPage(u":/help/index.html"_s);
}

QTEST_MAIN(TestHelpWindows)
#include "tst_HelpWindows.moc"
